#include "ClientFolderPath.h"

#include "Exception.h"
#include "VisibleText.h"
#include "uTFtpQuintaraUtil.h"

namespace {

bool isControl(QChar c) { return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F); }

bool isSeparator(QChar c) { return c == QLatin1Char('/') || (c.unicode() >= 1 && c.unicode() <= 32); }

bool holdsBackslashOrControl(const QString& text)
{
    for (const QChar c : text)
        if (c == QLatin1Char('\\') || isControl(c))
            return true;
    return false;
}

// What the walk cannot take apart: a "\" (a folder separator on some servers), NUL
// (which ends a name early) and the controls beyond the blanks. Blanks and "/" only
// separate folders (clientFolderPieces), so they climb nowhere.
bool holdsWhatTheWalkCannotSplit(const QString& text)
{
    for (const QChar c : text)
        if (c == QLatin1Char('\\') || (isControl(c) && !isSeparator(c)))
            return true;
    return false;
}

QStringList splitPieces(const QString& path)
{
    QStringList pieces;
    QString piece;
    for (const QChar c : path) {
        if (!isSeparator(c)) {
            piece += c;
            continue;
        }
        if (!piece.isEmpty())
            pieces << piece;
        piece.clear();
    }
    if (!piece.isEmpty())
        pieces << piece;
    return pieces;
}

QString refused(const QString& why) { return QStringLiteral("Pasta do cliente recusada: ") + why; }

}

QString clientFolderPath(const QString& cidade, const QString& uf, const QString& tipo, const QString& sigla)
{
    // The UF goes to the server as the database has it; the city as the normaliser
    // leaves it, which drops tabs, backslashes and most control characters but keeps
    // "/" (folders on the server hold it) and NUL. What is checked is what would be
    // sent: nothing that climbs out of the tree, empties a level or cuts a name
    // short. A blank or a "/" inside the UF splits its level into nested folders, as
    // the walk has always split them: the client keeps its own folder.
    if (holdsWhatTheWalkCannotSplit(uf))
        throw Exception(refused(QStringLiteral("a UF \"%1\" contém \"\\\" ou caracteres de controle").arg(visibleText(uf))));
    const QString cidadeNormalizada = TFtpQuintaraUtil::FormataNomeCidade(cidade);
    if (holdsBackslashOrControl(cidadeNormalizada))
        throw Exception(refused(QStringLiteral("a cidade \"%1\" contém \"\\\" ou caracteres de controle").arg(visibleText(cidade))));
    const QString lugar = cidadeNormalizada + QLatin1Char('-') + uf;
    bool bad = false;
    // A level of blanks alone is as empty as no level: the walk drops blanks.
    for (const QString& level : lugar.split(QLatin1Char('/')))
        bad = bad || splitPieces(level).isEmpty();
    for (const QString& piece : splitPieces(lugar))
        bad = bad || piece == QLatin1String(".") || piece == QLatin1String("..");
    if (bad)
        throw Exception(refused(QStringLiteral("a cidade \"%1\" e a UF \"%2\" levariam a uma pasta vazia, \".\" ou \"..\"")
                                    .arg(visibleText(cidade), visibleText(uf))));
    return QStringLiteral("/gCALDORIA/Cidades/") + lugar + QLatin1Char('/') + tipo + QLatin1Char('/') + sigla;
}

QStringList clientFolderPieces(const QString& directory)
{
    const QStringList pieces = splitPieces(directory);
    for (const QString& piece : pieces)
        if (piece == QLatin1String(".") || piece == QLatin1String(".."))
            throw Exception(QStringLiteral("Caminho da pasta do cliente inválido (contém \"%1\"): %2").arg(piece, visibleText(directory)));
    return pieces;
}

