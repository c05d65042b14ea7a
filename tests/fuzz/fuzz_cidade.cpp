// City names as a client database might hold them: the folder name that comes out
// holds only the characters a folder level may have, is never longer than the name,
// and normalising it again changes nothing.
#include "uTFtpQuintaraUtil.h"

#include <QString>

#include <cstddef>
#include <cstdint>

namespace {
bool permitido(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == 0 || u == 0x00B4 ||
           QStringView(u"_()*,-./:[]{|}").contains(c);
}
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString nome = QString::fromUtf16(reinterpret_cast<const char16_t*>(data), static_cast<qsizetype>(size / 2));
    const QString pasta = TFtpQuintaraUtil::FormataNomeCidade(nome);
    if (pasta.size() > nome.size())
        __builtin_trap();
    for (QChar c : pasta)
        if (!permitido(c))
            __builtin_trap();
    if (TFtpQuintaraUtil::FormataNomeCidade(pasta) != pasta)
        __builtin_trap();
    return 0;
}
