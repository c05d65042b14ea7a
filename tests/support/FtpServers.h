#pragma once
// The FTP peers the tests talk to, all on 127.0.0.1: pyftpdlib, vsftpd, and our
// scripted server (tests/fixtures/ftp/scripted_ftp.py) for the faults real servers
// do not make on demand. Each starts in its constructor, ready to serve, and stops
// in its destructor; a start that fails throws std::runtime_error with the peer's
// output.
#include "TestCertificates.h"
#include "TestSupport.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <memory>
#include <optional>

namespace testsupport {

// The login the program uses.
inline const QString kFtpUser = QStringLiteral("caldoria");
inline const QString kFtpPassword = QStringLiteral("vesplodu");

// Debian's python3, which has pyftpdlib (a python found first on PATH may not).
QString systemPython();

// Explicit TLS (AUTH TLS) offered by a server, with this certificate.
struct FtpTls {
    ServerCertificate certificate;
    // The server keeps no TLS sessions, so no data connection can resume the
    // control connection's (pyftpdlib only; vsftpd: see requireReuse).
    bool noSessionReuse = false;
    // vsftpd's require_ssl_reuse: data connections that do not resume are refused.
    bool requireReuse = true;
};

class PyFtpd {
public:
    // readOnlyDirs: folders below rootDir (relative) where the user may list and
    // download but not create, store or delete. tls: pyftpdlib's TLS handler.
    // permissions: the user's, in pyftpdlib's letters (default "elradfmwMT"; without
    // "f" no rename).
    explicit PyFtpd(const QString& rootDir, const QString& user = kFtpUser, const QString& password = kFtpPassword,
                    const QStringList& readOnlyDirs = {}, const std::optional<FtpTls>& tls = std::nullopt,
                    const QString& permissions = {});
    int port() const { return m_port; }
    QString rootDir() const { return m_root; }
    // Stops the server, as a crash or a reboot does, and starts it again on the same
    // port over the same folder.
    void restart();

private:
    void start(int port);

    QString m_root;
    QStringList m_args;
    std::unique_ptr<ServerProcess> m_process;
    int m_port = 0;
};

// Our relay (tests/fixtures/ftp/cutting_proxy.py) in front of a server on
// upstreamPort: each file transfer that reaches one of the positions in cuts is cut
// there (both sides reset); with cutControl the control connection goes down at the
// same moment, as when the server goes away.
class CuttingProxy {
public:
    CuttingProxy(int upstreamPort, const QList<qint64>& cuts, bool cutControl = false);
    int port() const { return m_port; }

    // One entry per data connection of a file transfer that has ended.
    struct Relayed {
        QString command; // RETR, STOR or APPE
        qint64 start;    // file position it started from
        qint64 bytes;    // bytes relayed
        bool cut;
    };
    QList<Relayed> relayed() const;
    // File bytes that crossed the relay, in all transfers so far.
    qint64 bytesRelayed() const;

private:
    QTemporaryDir m_dir;
    std::unique_ptr<ServerProcess> m_process;
    int m_port = 0;
};

// vsftpd logs in through PAM, so it needs a system user of that name: the helper
// creates it when missing (useradd, the tests run as root) and sets its password.
// The user gets rootDir and what lies below it (chown), and rootDir's parents are
// made traversable.
class Vsftpd {
public:
    // tls: ssl_enable, with debug_ssl so that the log tells resumed data connections.
    // moreSettings: lines added to its configuration ("cmds_denied=RNFR,RNTO").
    explicit Vsftpd(const QString& rootDir, const QString& user = kFtpUser, const QString& password = kFtpPassword,
                    const std::optional<FtpTls>& tls = std::nullopt, const QStringList& moreSettings = {});
    int port() const { return m_port; }
    QString rootDir() const { return m_root; }
    // Hands path and what lies below it to the server's user, for files a test puts
    // into the root after the start that the server must change or delete.
    void handOver(const QString& path) const;
    // vsftpd's log so far (commands and replies).
    QString log() const;

private:
    QString m_root;
    QString m_user;
    QTemporaryDir m_dir; // configuration, logs, the empty secure_chroot_dir
    std::unique_ptr<ServerProcess> m_process;
    int m_port = 0;
};

class ScriptedFtp {
public:
    struct File {
        QString name; // path from the server's root, e.g. "data.bin" or "docs/a.txt"
        qint64 size;  // content: patternBytes(size)
    };

    // AUTH TLS with this certificate; the data connections show dataCertificate
    // instead when set (and then resume no session).
    struct Tls {
        ServerCertificate certificate;
        std::optional<ServerCertificate> dataCertificate;
    };

    // scenario: one of the names in scripted_ftp.py's SCENARIOS ("normal", "silent",
    // "pasv-foreign", "data-drop", "multiline", "iis-list", ...).
    explicit ScriptedFtp(const QString& scenario, const QList<File>& files = {}, const QString& user = kFtpUser,
                         const QString& password = kFtpPassword, const std::optional<Tls>& tls = std::nullopt);
    int port() const { return m_port; }

    // Command lines received so far, in order, without CRLF.
    QStringList commands() const;
    // The server's notes about its side, in order: "data connection from 127.0.0.1",
    // "stored /name 123".
    QStringList notes() const;
    // Waits until at least count command lines have arrived.
    bool waitForCommands(int count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

    // The content the server gives a file of size bytes.
    static QByteArray patternBytes(qint64 size);

private:
    QStringList transcriptLines(char kind) const;

    QTemporaryDir m_dir;
    std::unique_ptr<ServerProcess> m_process;
    int m_port = 0;
};

}
