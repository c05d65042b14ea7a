#include "Endpoints.h"

#include <QtGlobal>

namespace {
int portaValida(const QString& text, int padrao)
{
    bool ok = false;
    const int p = text.toInt(&ok);
    return ok && p > 0 && p < 65536 ? p : padrao;
}

Endpoints::Destino destino(const char* variavel, const QString& hostPadrao, int portaPadrao)
{
    Endpoints::Destino d{hostPadrao, portaPadrao};
    const QString valor = qEnvironmentVariable(variavel).trimmed();
    if (valor.isEmpty())
        return d;
    const qsizetype doisPontos = valor.lastIndexOf(QLatin1Char(':'));
    if (doisPontos > 0) {
        d.host = valor.left(doisPontos);
        d.porta = portaValida(valor.mid(doisPontos + 1), portaPadrao);
    } else {
        d.host = valor;
    }
    return d;
}
}

Endpoints Endpoints::atuais()
{
    const int porta = portaValida(qEnvironmentVariable("FTPCALDORIA_FTP_PORT"), 21);
    return {destino("FTPCALDORIA_FTP_HOST", QStringLiteral(FTPCALDORIA_FTP_HOST), porta),
            destino("FTPCALDORIA_FTP_ALT_HOST", QStringLiteral(FTPCALDORIA_FTP_ALT_HOST), porta)};
}
