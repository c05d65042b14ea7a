#include "AcceptedCertificates.h"

#include <QSettings>

namespace acceptedCertificates {

namespace {

QSettings settings()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Quintara"), QStringLiteral("FTPCaldoria"));
}

QString hostName(const QString& host)
{
    QString name = host.trimmed().toLower();
    name.replace(QLatin1Char('/'), QLatin1Char('_')); // a group separator in keys
    name.replace(QLatin1Char('\\'), QLatin1Char('_'));
    return name;
}

QString serverKey(const QString& group, const QString& host, int port)
{
    return group + QLatin1Char('/') + hostName(host) + QLatin1Char(':') + QString::number(port);
}

const QString kCertificates = QStringLiteral("certificados-aceitos");

}

QStringList forServer(const QString& host, int port)
{
    const QSettings s = settings();
    QStringList accepted = s.value(serverKey(kCertificates, host, port)).toStringList();
    // Older versions kept them by host alone: they still stand for every port there.
    for (const QString& fingerprint : s.value(kCertificates + QLatin1Char('/') + hostName(host)).toStringList())
        if (!accepted.contains(fingerprint))
            accepted << fingerprint;
    return accepted;
}

void add(const QString& host, int port, const QString& fingerprint)
{
    QSettings s = settings();
    const QString key = serverKey(kCertificates, host, port);
    QStringList accepted = s.value(key).toStringList();
    if (accepted.contains(fingerprint))
        return;
    accepted << fingerprint;
    s.setValue(key, accepted);
}

}
