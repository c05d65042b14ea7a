#pragma once
// What the user's settings remember of each FTP server, by host and port: the
// certificates that the user accepted although they could not be verified (so the
// question comes once per server and certificate, and again when the certificate
// changes). A certificate forgotten is only asked about again; which servers spoke
// TLS, whose loss would let a login go out in clear, lives apart (TlsSeenMemory.h).
//
// The settings are an INI file on every platform (Qt's user scope: ~/.config on
// Linux, %APPDATA% on Windows), which a test moves to a folder of its own with
// QSettings::setPath.
#include <QString>
#include <QStringList>

namespace acceptedCertificates {

// The SHA-256 fingerprints accepted for host and port, in the form TIdFTP takes
// them; also those accepted for the host before the port was part of the key.
QStringList forServer(const QString& host, int port);
void add(const QString& host, int port, const QString& fingerprint);

}
