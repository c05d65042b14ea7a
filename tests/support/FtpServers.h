#pragma once
// The FTP peers the tests talk to, all on 127.0.0.1: pyftpdlib, vsftpd, and our
// scripted server (tests/fixtures/ftp/scripted_ftp.py) for the faults real servers
// do not make on demand. Each starts in its constructor, ready to serve, and stops
// in its destructor; a start that fails throws std::runtime_error with the peer's
// output.
#include "TestCertificates.h"
#include "TestSupport.h"

#include <QList>
#include <QMap>
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
    // The two halves of restart: the port refuses connections in between.
    void stop();
    void startAgain();

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
// same moment, as when the server goes away. With holdAfterCut the relay takes no
// new connection after a cut (the client waits, connected, for a greeting) until
// release(): a test acts in between (restarts the server) at a known point.
class CuttingProxy {
public:
    CuttingProxy(int upstreamPort, const QList<qint64>& cuts, bool cutControl = false, bool holdAfterCut = false);
    int port() const { return m_port; }

    // holdAfterCut only: whether a cut was made (waiting up to timeout for one), and
    // the end of the hold.
    bool waitForCut(std::chrono::milliseconds timeout) const;
    void release() const;

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
    int m_controlPort = 0;
};

// Our relay (tests/fixtures/ftp/stripping_relay.py) in front of a server on
// upstreamPort, as someone on the way. Passing, it hands the bytes on untouched
// (TLS too); stripping, it answers "500" to AUTH TLS itself and records every line
// the client sends, so a test sees whether a login crossed it in clear; closing,
// it plays a server that is down. A connection keeps the way it started with.
class StrippingRelay {
public:
    enum class Mode { Pass, Strip, Close };
    StrippingRelay(int upstreamPort, Mode mode = Mode::Pass);
    int port() const { return m_port; }
    // For the connections that come from now on.
    void setMode(Mode mode) const;
    // The lines clients sent while stripping, in order, without CRLF.
    QStringList commands() const;
    // Control connections so far, whatever the way.
    int connections() const;

private:
    std::unique_ptr<ServerProcess> m_process;
    int m_port = 0;
    int m_controlPort = 0;
};

// One request line to a helper's control channel on 127.0.0.1:port and its one
// line of answer; throws std::runtime_error when there is none in time.
QString controlRequest(int port, const QString& request, std::chrono::milliseconds timeout = std::chrono::seconds(10));

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

// Our scripted server (tests/fixtures/ftp/scripted_ftp.py, whose docstring tells
// the details): a scenario, switches for what the server may not do (a profile),
// and faults that make one command go wrong, armed at the start or later. A test
// that must act in the middle of an operation (Cancel, a signal, a local file
// changed) holds the command there, acts, and releases it:
//
//   ScriptedFtp servidor(QStringLiteral("normal"), {.faults = {ScriptedFtp::Fault::holdAt(QStringLiteral("STOR#1"), 65536)}});
//   ... start the upload; servidor.waitForHold(); change the file; servidor.release(); ...
//
// A sweep counts a clean run's commands (commands().size()), then, for every k,
// runs again on a fresh server with Fault::reply(QString::number(k), ...) or any
// other fault, and checks the server's files (files()) after each run.
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

    // What the server may not do, whatever the scenario.
    struct Profile {
        enum class Renames {
            Replace,         // RNTO onto an existing name replaces it
            NotOntoExisting, // RNTO onto an existing name: 553
            Refused,         // RNFR and RNTO: "550 Permission denied."
            NotImplemented,  // RNFR and RNTO: "502 Command not implemented."
        };
        Renames renames = Renames::Replace;
        bool rest = true;   // false: REST gets 502
        bool digest = true; // false: no HASH nor X* digests in FEAT, the commands unknown
        double replyDelaySeconds = 0; // every reply waits this long
    };

    // One command made to go wrong. when: "K", the K-th command counted from when
    // the fault is armed (at the start: from the first command on); "VERB#K", the
    // K-th command of that verb ("STOR#1"); "VERB:GLOB#K", the K-th of that verb
    // whose argument matches GLOB ("STOR:backup.fbk*#1"). Each fault fires once.
    struct Fault {
        QString when;
        QString how;
        // The reply line instead of doing the command: "450 ...", "550 ...", "452 ...".
        static Fault reply(const QString& when, const QString& line) { return {when, QStringLiteral("reply:") + line}; }
        // The connection closed before the command is done, without a reply.
        static Fault drop(const QString& when) { return {when, QStringLiteral("drop")}; }
        // The command done, the connection closed instead of its final reply.
        static Fault replyLost(const QString& when) { return {when, QStringLiteral("lost")}; }
        // The command held before it is done, until release().
        static Fault hold(const QString& when) { return {when, QStringLiteral("hold")}; }
        // The command done, its final reply held until release().
        static Fault holdReply(const QString& when) { return {when, QStringLiteral("hold-done")}; }
        // STOR, APPE, RETR: held after bytes of the data connection until release();
        // an upload's bytes so far are on the server meanwhile.
        static Fault holdAt(const QString& when, qint64 bytes) { return {when, QStringLiteral("hold@%1").arg(bytes)}; }
        // STOR, APPE, RETR: after bytes, the data connection reset and the control
        // connection closed.
        static Fault dropAt(const QString& when, qint64 bytes) { return {when, QStringLiteral("drop@%1").arg(bytes)}; }
        QString spec() const { return when + QLatin1Char('=') + how; }
    };

    struct Options {
        QList<File> files = {};
        Profile profile = {};
        QList<Fault> faults = {};
        QString user = kFtpUser;
        QString password = kFtpPassword;
        std::optional<Tls> tls = std::nullopt;
    };

    // scenario: one of the names in scripted_ftp.py's SCENARIOS ("normal", "silent",
    // "pasv-foreign", "data-drop", "multiline", "iis-list", ...).
    explicit ScriptedFtp(const QString& scenario, const QList<File>& files = {}, const QString& user = kFtpUser,
                         const QString& password = kFtpPassword, const std::optional<Tls>& tls = std::nullopt);
    ScriptedFtp(const QString& scenario, const Options& options);
    int port() const { return m_port; }

    // Arms a fault now (its K counts from here); returns the commands so far.
    qsizetype arm(const Fault& fault) const;
    // Drops the faults not yet fired and releases every hold.
    void clearFaults() const;
    // The command line a hold stopped ("STOR dados.bin"), empty while none holds.
    QString held() const;
    // Waits for a hold; returns its command line, empty when none came in time.
    QString waitForHold(std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;
    // Lets every hold go on; returns how many there were.
    int release() const;

    // The server's files now, by path from its root ("/docs/a.txt").
    struct Stored {
        qint64 size;
        QByteArray sha256; // hex
        bool operator==(const Stored&) const = default;
    };
    QMap<QString, Stored> files() const;
    static Stored storedOf(const QByteArray& content);
    // A file of patternBytes(size), made or replaced now; a file removed.
    void putFile(const File& file) const;
    void removeFile(const QString& name) const;

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
    // One request of the control channel and its answer; throws when there is none.
    QString control(const QString& request, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    QTemporaryDir m_dir;
    std::unique_ptr<ServerProcess> m_process;
    int m_port = 0;
    int m_controlPort = 0;
};

}
