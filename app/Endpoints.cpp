#include "Endpoints.h"

#include <QtGlobal>

Endpoints Endpoints::atuais()
{
    Endpoints e{QStringLiteral(FTPCALDORIA_FTP_HOST), QStringLiteral(FTPCALDORIA_FTP_ALT_HOST), 21};
    const QString host = qEnvironmentVariable("FTPCALDORIA_FTP_HOST");
    const QString alt = qEnvironmentVariable("FTPCALDORIA_FTP_ALT_HOST");
    const QString porta = qEnvironmentVariable("FTPCALDORIA_FTP_PORT");
    if (!host.isEmpty())
        e.principal = host;
    if (!alt.isEmpty())
        e.alternativo = alt;
    bool ok = false;
    const int p = porta.toInt(&ok);
    if (ok && p > 0 && p < 65536)
        e.porta = p;
    return e;
}
