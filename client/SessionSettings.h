#pragma once
// How the session reaches support's FTP server and behaves there, as one value a
// front end hands to its SessionWorker (and a test shortens): where the server is
// and how it is encrypted, how long a wait may last, when a broken transfer is
// tried again, what is remembered of each server's TLS, and how fast the data may
// move. The session turns it into the FTP component's settings (FtpSettings,
// ftp/IdFTP.h) for each connection it opens.
#include "Endpoints.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

// When a broken transfer is tried again.
struct RetryPolicy {
    // The pause before each new attempt of a transfer; as many new attempts as pauses.
    std::vector<std::chrono::milliseconds> pauses{std::chrono::seconds(2), std::chrono::seconds(5), std::chrono::seconds(10),
                                                  std::chrono::seconds(20), std::chrono::seconds(30)};
};

// What is remembered of each server, by host and port, from one run to the next:
// the certificates the user accepted although they could not be verified (by
// default in the user's settings, AcceptedCertificates.h), and whether TLS was
// ever completed there (by default in a file of its own beside them,
// TlsSeenMemory.h).
struct TlsMemory {
    std::function<QStringList(const QString& host, int port)> acceptedCertificates;
    std::function<void(const QString& host, int port, const QString& fingerprint)> acceptCertificate;
    std::function<bool(const QString& host, int port)> tlsSeen;
    // Remembers that these servers completed TLS: the service's two endpoints
    // together. Empty when it was kept; otherwise why not, for the log.
    std::function<QString(const QList<Endpoints::Destino>& servers)> rememberTls;

    static TlsMemory userSettings();
};

struct SessionSettings {
    // Where the server is, its encryption mode, its pinned keys and the name its
    // certificate is checked against (Endpoints.h). Asked at each connection: the
    // environment's overrides count from the next one.
    std::function<Endpoints()> endpoints = &Endpoints::atuais;
    // Zero or less means the FTP component's default: nothing waits forever.
    std::chrono::milliseconds connectTimeout{15000}; // a name's resolution plus the TCP connect
    std::chrono::milliseconds readTimeout{60000};    // a reply; the data connections' window of minimum rate
    RetryPolicy retry;
    TlsMemory tlsMemory = TlsMemory::userSettings();
    // The most the data may move at, in bytes per second; 0: no limit. The FTP
    // component takes it (FtpSettings::speedLimit), which does not apply it yet.
    std::int64_t speedLimit = 0;
};
