#include "NomeBaseCorrompida.h"

#include <QFileInfo>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

QString NomeUsuario()
{
    const QString nome = qEnvironmentVariable("USERNAME");
    if (!nome.isEmpty())
        return nome;
#ifndef _WIN32
    if (const passwd* pw = getpwuid(geteuid()))
        return QString::fromLocal8Bit(pw->pw_name);
#endif
    return qEnvironmentVariable("USER");
}

QString NomeUnicoBaseCorrompida(const QString& localPath, const QDateTime& now)
{
    return qEnvironmentVariable("USERDOMAIN") + QLatin1Char('_') + NomeUsuario() + QLatin1Char('-') +
           now.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) + QLatin1Char('_') + QFileInfo(localPath).fileName();
}
