// City names as a client database might hold them: the folder name that comes out
// holds only the characters a folder level may have, is never longer than the name,
// and normalising it again changes nothing. City and state values that make a
// client folder lead inside the client tree, and the walk to any folder never
// climbs.
#include "ClientFolderPath.h"
#include "Exception.h"
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

    try {
        for (const QString& piece : clientFolderPieces(nome))
            if (piece == QLatin1String(".") || piece == QLatin1String("..") || piece.contains(QLatin1Char('/')))
                __builtin_trap();
    } catch (const Exception&) {
    }

    // The name cut in two: the city, and what is left as the state.
    const qsizetype corte = nome.isEmpty() ? 0 : nome.at(0).unicode() % (nome.size() + 1);
    QString caminho;
    try {
        caminho = clientFolderPath(nome.left(corte), nome.mid(corte), QStringLiteral("PM"), QStringLiteral("KORV"));
    } catch (const Exception&) {
        return 0;
    }
    const QStringList pecas = clientFolderPieces(caminho); // never throws for an accepted folder
    if (pecas.size() < 5 || pecas[0] != QLatin1String("gCALDORIA") || pecas[1] != QLatin1String("Cidades")
        || pecas[pecas.size() - 2] != QLatin1String("PM") || pecas.last() != QLatin1String("KORV"))
        __builtin_trap();
    return 0;
}
