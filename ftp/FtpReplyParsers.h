#pragma once
// What the client reads out of the text of particular replies: FEAT (RFC 2389),
// PASV (RFC 959), EPSV (RFC 2428), PWD (RFC 959), SIZE (RFC 3659). Pure functions of
// the reply text (code and separators already removed by the reply reader).
#include <QString>

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

    bool useEpsv() const { return epsv && eprt && !epsvRefused; }
};

FtpCapabilities parseFeatReply(const QString& text);

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

}
