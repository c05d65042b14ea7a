// MLSD and LIST listings as a server might send them, whole and in pieces, and line
// by line. The first byte chooses the format and the day the listing is read on (a
// leap day and the turn of a year among them, for the LIST dates that carry no
// year); the second how the listing is cut into the pieces a download hands over.
// However it is cut, the same entries come out, and each keeps its name's bytes.
#include "FtpListParser.h"
#include "FtpText.h"

#include <QByteArray>
#include <QDate>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

bool sameEntries(const FtpListing& a, const FtpListing& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a.rawName(i) != b.rawName(i) || a.fileSize(i) != b.fileSize(i) || a.isDirectory(i) != b.isDirectory(i)
            || a.modifiedKey(i) != b.modifiedKey(i))
            return false;
    return true;
}

}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    static const QDate days[] = {QDate(2026, 12, 9), QDate(2024, 2, 29), QDate(2024, 3, 1), QDate(2025, 1, 1),
                                 QDate(2025, 12, 31), QDate(2023, 2, 28), QDate(1970, 1, 1), QDate(9999, 12, 31)};
    const bool mlsd = data[0] & 1;
    const QDate hoje = days[(data[0] >> 1) & 7];
    const std::size_t pedaco = 1 + data[1] % 97;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 2), static_cast<qsizetype>(size - 2));

    const FtpListing inteira = ftp::parseListing(bytes, mlsd, hoje);
    ftp::ListingParser parser(mlsd, hoje);
    for (qsizetype at = 0; at < bytes.size(); at += static_cast<qsizetype>(pedaco))
        parser.feed(bytes.constData() + at, std::min<std::size_t>(pedaco, static_cast<std::size_t>(bytes.size() - at)));
    if (!sameEntries(inteira, parser.finish()))
        __builtin_trap();

    if (static_cast<qsizetype>(inteira.size()) > bytes.count('\n') + 1)
        __builtin_trap(); // one entry per line at most
    for (const TIdFTPListItem& item : inteira) {
        // A name may hold anything but the line break that ended its line, and no
        // more bytes than a file system allows.
        if (item.RawName.isEmpty() || item.RawName.contains('\n') || item.RawName.size() > FtpListing::kMaxNameBytes
            || item.Size < 0)
            __builtin_trap();
        // The bytes of the name are the listing's own, or MLSD's "." and "..".
        const bool ownBytes = bytes.contains(item.RawName) || (mlsd && (item.RawName == "." || item.RawName == ".."));
        if (item.FileName != ftp::displayName(item.RawName) || !ownBytes)
            __builtin_trap();
    }
    const QString linha = QString::fromUtf8(bytes);
    ftp::parseMlsdLine(linha);
    ftp::parseListLine(linha, hoje);
    return 0;
}
