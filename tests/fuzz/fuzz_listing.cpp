// MLSD and LIST listings as a server might send them, whole and line by line.
#include "FtpListParser.h"

#include <QByteArray>
#include <QDate>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const bool mlsd = data[0] & 1;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    const QDate hoje(2026, 12, 9);
    for (const TIdFTPListItem& item : ftp::parseListing(bytes, mlsd, hoje)) {
        if (item.FileName.isEmpty() || item.Size < 0)
            __builtin_trap();
    }
    const QString linha = QString::fromUtf8(bytes);
    ftp::parseMlsdLine(linha);
    ftp::parseListLine(linha, hoje);
    return 0;
}
