#include "AcceptedCertificates.h"

#include <QSettings>

namespace acceptedCertificates {

namespace {

QSettings settings()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Quintara"), QStringLiteral("FTPCaldoria"));
}

QString key(const QString& host)
{
    QString name = host.trimmed().toLower();
    name.replace(QLatin1Char('/'), QLatin1Char('_')); // a group separator in keys
    name.replace(QLatin1Char('\\'), QLatin1Char('_'));
    return QStringLiteral("certificados-aceitos/") + name;
}

}

QStringList forHost(const QString& host)
{
    return settings().value(key(host)).toStringList();
}

void add(const QString& host, const QString& fingerprint)
{
    QSettings s = settings();
    QStringList accepted = s.value(key(host)).toStringList();
    if (accepted.contains(fingerprint))
        return;
    accepted << fingerprint;
    s.setValue(key(host), accepted);
}

}
