#pragma once
// Server certificates that the user accepted although they could not be verified,
// kept in the user's settings per host, so that the question comes once per host
// and certificate, and again when the certificate changes.
//
// The settings are an INI file on every platform (Qt's user scope: ~/.config on
// Linux, %APPDATA% on Windows), which a test moves to a folder of its own with
// QSettings::setPath.
#include <QString>
#include <QStringList>

namespace acceptedCertificates {

// The SHA-256 fingerprints accepted for host, in the form TIdFTP takes them.
QStringList forHost(const QString& host);
void add(const QString& host, const QString& fingerprint);

}
