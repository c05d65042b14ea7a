#pragma once
// What the client reads out of the text of particular replies: FEAT (RFC 2389),
// PASV (RFC 959), EPSV (RFC 2428), PWD (RFC 959), SIZE and MLST (RFC 3659), HASH
// (draft-ietf-ftpext2-hash) and the older XSHA256/XSHA1/XMD5/XCRC; and what a
// refusal stands for. Pure functions of the reply text (code and separators
// already removed by the reply reader).
#include "FtpReply.h"
#include "FtpTypes.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace ftp {

// What the server can do, from its FEAT reply and from what it refused since.
struct FtpCapabilities {
    bool mlsd = false;        // FEAT lists MLSD or MLST
    bool epsv = false;
    bool eprt = false;
    bool size = false;
    bool utf8 = false;
    bool epsvRefused = false; // it answered EPSV with anything but 229: PASV from then on
    bool epsvAll = false;     // it accepted "EPSV ALL": PASV is not allowed any more
    bool mlst = false;        // FEAT lists MLST: the facts of one name
    // HASH and the algorithms it offers (canonical names, see hashDigits), the one
    // in use first; and the older commands that each name their algorithm.
    QStringList hashAlgorithms;
    bool xsha256 = false;
    bool xsha1 = false;
    bool xmd5 = false;
    bool xcrc = false;
    bool restStorRefused = false; // it refused REST before STOR: APPE from then on

    bool useEpsv() const { return epsv && eprt && !epsvRefused; }
};

FtpCapabilities parseFeatReply(const QString& text);

// What a refusing reply stands for, by its code class (RFC 959 section 4.2): 421
// the connection closing; 452 and 552 no room; another 4xx "not now"; 550 and 553
// the one file named; another 5xx the command itself; any other code a reply the
// command does not call for. A missing name is worded alike by servers whatever
// code they give it (proftpd lists a missing folder with 450): that wording, and
// only it, is read.
FtpFailure refusalOf(const FtpReply& reply);
// MKD refused because the folder is there already ("File exists", "already
// exists"). Some servers (vsftpd) refuse an existing folder without saying so.
bool refusesAsExisting(const FtpReply& reply);

struct PasvReply {
    std::uint32_t address = 0; // host byte order; the client does not use it (see TIdFTP)
    std::uint16_t port = 0;
};
std::optional<PasvReply> parsePasvReply(const QString& text);

std::optional<std::uint16_t> parseEpsvReply(const QString& text);

// The path of a 257 reply: between the first pair of double quotes, with "" inside
// standing for one quote. Servers that leave the quotes out give the first word
// that starts with "/".
std::optional<QString> parsePwdReply(const QString& text);

std::optional<std::int64_t> parseSizeReply(const QString& text);

// The entry of an MLST reply: the facts line between the first and the last line
// (it starts with a blank). Its name is the path the server gives.
std::optional<TIdFTPListItem> parseMlstReply(const QString& text);

// Hex digits of a digest: "SHA-256" 64, "SHA-1" 40, "MD5" 32, "CRC32" 8; 0 for an
// algorithm we cannot compute.
int hashDigits(const QString& algorithm);
// An algorithm name as FEAT or a HASH reply writes it ("sha256", "SHA-256") in its
// canonical form, or empty when it is none of ours.
QString canonicalHashName(const QString& name);

struct HashReply {
    QString algorithm; // canonical
    QByteArray digest; // raw bytes
};
// A HASH reply: "SHA-256 0-1048575 <hex> name".
std::optional<HashReply> parseHashReply(const QString& text);
// The reply of an X command of a known algorithm: the first word that is a digest
// of that many hex digits ("250 <hex>", "213 <hex> name", "250 name <hex>").
std::optional<QByteArray> parseHashValue(const QString& text, int hexDigits);

}
