#include "uTFtpQuintaraUtil.h"

namespace {

static_assert(TFtpQuintaraUtil::LetrasAcentuadas.size() == 46);
static_assert(TFtpQuintaraUtil::LetrasSemAcento.size() == 46);

// Folder names on the server are made of these; anything else is dropped. NUL,
// the space and the double quote belong to the set although the earlier steps
// leave no space or quote behind; the acute accent stays because clients type it
// for the apostrophe ("Olho d´Água").
bool permitido(char16_t c)
{
    return c == 0x00 || c == 0x20 || c == 0x22 || (c >= 0x28 && c <= 0x2A) || (c >= 0x2C && c <= 0x3A)
        || (c >= 0x41 && c <= 0x5B) || c == 0x5D || c == 0x5F || (c >= 0x61 && c <= 0x7D) || c == 0xB4;
}

}

QString TFtpQuintaraUtil::FormataNomeCidade(const QString& nomeCidade)
{
    QString resultado = FiltraCaracteres(TrocaEspacos(RemoveAspas(RemoveAcentos(nomeCidade))));
    // Only a to z: a locale-aware upper case would turn the acute accent or the
    // digits of other scripts into something else.
    for (QChar& c : resultado) {
        if (c.unicode() >= u'a' && c.unicode() <= u'z')
            c = QChar(static_cast<char16_t>(c.unicode() - u'a' + u'A'));
    }
    return resultado;
}

QString TFtpQuintaraUtil::RemoveAcentos(const QString& texto)
{
    QString resultado = texto;
    for (QChar& c : resultado) {
        const qsizetype pos = LetrasAcentuadas.indexOf(c);
        if (pos >= 0)
            c = LetrasSemAcento.at(pos);
    }
    return resultado;
}

QString TFtpQuintaraUtil::RemoveAspas(const QString& texto)
{
    QString resultado = texto;
    resultado.remove(QLatin1Char('\''));
    resultado.remove(QLatin1Char('"'));
    return resultado;
}

QString TFtpQuintaraUtil::TrocaEspacos(const QString& texto)
{
    QString resultado = texto;
    resultado.replace(QLatin1Char(' '), QLatin1Char('_'));
    return resultado;
}

QString TFtpQuintaraUtil::FiltraCaracteres(const QString& texto)
{
    QString resultado;
    resultado.reserve(texto.size());
    for (const QChar c : texto) {
        if (permitido(c.unicode()))
            resultado.append(c);
    }
    return resultado;
}
