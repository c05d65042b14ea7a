// MLSD and LIST listings as a server might send them, whole and line by line. The
// first byte chooses the format and the day the listing is read on (a leap day and
// the turn of a year among them, for the LIST dates that carry no year).
#include "FtpListParser.h"

#include <QByteArray>
#include <QDate>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    static const QDate days[] = {QDate(2026, 12, 9), QDate(2024, 2, 29), QDate(2024, 3, 1), QDate(2025, 1, 1),
                                 QDate(2025, 12, 31), QDate(2023, 2, 28), QDate(1970, 1, 1), QDate(9999, 12, 31)};
    const bool mlsd = data[0] & 1;
    const QDate hoje = days[(data[0] >> 1) & 7];
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    const auto items = ftp::parseListing(bytes, mlsd, hoje);
    if (static_cast<qsizetype>(items.size()) > bytes.count('\n') + 1)
        __builtin_trap(); // one entry per line at most
    for (const TIdFTPListItem& item : items) {
        // A name may hold anything but the line break that ended its line.
        if (item.FileName.isEmpty() || item.FileName.contains(QLatin1Char('\n')) || item.Size < 0)
            __builtin_trap();
    }
    const QString linha = QString::fromUtf8(bytes);
    ftp::parseMlsdLine(linha);
    ftp::parseListLine(linha, hoje);
    return 0;
}
