#include "FtpServers.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>

#include <mutex>
#include <stdexcept>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>
#include <sys/stat.h>
#endif

namespace testsupport {

namespace {

QString fixture(const QString& name) { return QStringLiteral(FTPC_FIXTURES_DIR "/ftp/") + name; }

[[noreturn]] void fail(const QString& text) { throw std::runtime_error(text.toStdString()); }

// Short commands run on the Linux side (under Wine too, see runProgram).
int run(const QString& program, const QStringList& args, const QByteArray& input = {}, QByteArray* output = nullptr)
{
    return runProgram(program, args, input, output);
}

// chmod of a file or folder that the test made.
void setMode(const QString& path, int mode)
{
#ifdef _WIN32
    run(QStringLiteral("chmod"), {QString::number(mode, 8), hostPath(path)});
#else
    ::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode));
#endif
}

// The folders above root get the search bit for others, so the server's user
// reaches its root.
void makeParentsTraversable(const QString& root)
{
#ifdef _WIN32
    run(QStringLiteral("sh"), {QStringLiteral("-c"),
                               QStringLiteral("p=$1; while [ \"$p\" != / ]; do p=$(dirname \"$p\"); chmod o+x \"$p\"; done"),
                               QStringLiteral("sh"), hostPath(root)});
#else
    for (QDir up(root); !up.isRoot(); ) {
        if (!up.cdUp())
            break;
        const QFile::Permissions perms = QFile::permissions(up.path());
        if (!(perms & QFile::ExeOther))
            QFile::setPermissions(up.path(), perms | QFile::ExeOther);
    }
#endif
}

void ensureSystemUser(const QString& user, const QString& password)
{
    // Several test programs may start at once; the account files have their own
    // locks, so the steps are retried rather than serialised across processes.
    static std::mutex inProcess;
    std::lock_guard lock(inProcess);
    QByteArray entry;
    if (run(QStringLiteral("getent"), {QStringLiteral("passwd"), user}, {}, &entry) != 0) {
        QByteArray out;
        const int rc = run(QStringLiteral("useradd"), {QStringLiteral("-M"), QStringLiteral("-d"), QStringLiteral("/"),
                                                       QStringLiteral("-s"), QStringLiteral("/bin/bash"), user},
                           {}, &out);
        if (rc != 0 && rc != 9) // 9: it exists (made by a program running beside us)
            fail(QStringLiteral("useradd %1 failed (%2): %3").arg(user).arg(rc).arg(QString::fromLocal8Bit(out)));
    } else if (const QString home = QString::fromLocal8Bit(entry.trimmed()).section(QLatin1Char(':'), 5, 5);
               run(QStringLiteral("test"), {QStringLiteral("-d"), home}) != 0) {
        // vsftpd enters the home folder before the chroot and refuses a login without one.
        run(QStringLiteral("usermod"), {QStringLiteral("-d"), QStringLiteral("/"), user});
    }
    QByteArray out;
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (run(QStringLiteral("chpasswd"), {}, (user + QLatin1Char(':') + password + QLatin1Char('\n')).toLocal8Bit(), &out) == 0)
            return;
        QThread::msleep(100);
    }
    fail(QStringLiteral("chpasswd for %1 failed: %2").arg(user, QString::fromLocal8Bit(out)));
}

// Opens a TCP connection to 127.0.0.1:port and waits for a line starting with 220.
bool greets(int port)
{
    const int fd = connectLoopback(port);
    if (fd < 0)
        return false;
    const bool ok = receiveSome(fd, 63, std::chrono::seconds(3)).startsWith("220");
    closeSocket(fd);
    return ok;
}

}

QString systemPython() { return QStringLiteral("/usr/bin/python3"); }

PyFtpd::PyFtpd(const QString& rootDir, const QString& user, const QString& password, const QStringList& readOnlyDirs,
               const std::optional<FtpTls>& tls, const QString& permissions)
    : m_root(rootDir)
{
    m_args = QStringList{fixture(QStringLiteral("pyftpd_server.py")), QStringLiteral("--root"), hostPath(rootDir),
                         QStringLiteral("--user"), user, QStringLiteral("--password"), password};
    if (!permissions.isEmpty())
        m_args << QStringLiteral("--perm") << permissions;
    for (const QString& dir : readOnlyDirs)
        m_args << QStringLiteral("--readonly") << dir;
    if (tls) {
        m_args << QStringLiteral("--tls-cert") << hostPath(tls->certificate.certFile) << QStringLiteral("--tls-key")
             << hostPath(tls->certificate.keyFile);
        if (tls->noSessionReuse)
            m_args << QStringLiteral("--tls-no-session-reuse");
    }
    start(0);
}

void PyFtpd::start(int port)
{
    m_process = std::make_unique<ServerProcess>(systemPython(), m_args + QStringList{QStringLiteral("--port"), QString::number(port)});
    m_port = m_process->waitForLine(QStringLiteral("PORT")).toInt();
}

void PyFtpd::restart()
{
    stop();
    startAgain();
}

void PyFtpd::stop()
{
    m_process.reset();
}

void PyFtpd::startAgain()
{
    // The port is free again at once (the server reuses addresses); someone else
    // may still take it in between, which a few tries tell.
    for (int attempt = 0;; ++attempt) {
        try {
            start(m_port);
            return;
        } catch (const std::runtime_error&) {
            if (attempt == 20)
                throw;
            QThread::msleep(50);
        }
    }
}

QString controlRequest(int port, const QString& request, std::chrono::milliseconds timeout)
{
    const int fd = connectLoopback(port);
    if (fd < 0)
        fail(QStringLiteral("the helper's control channel refused: ") + request);
    const QByteArray line = request.toUtf8() + '\n';
    const bool sent = ::send(fd, line.constData(), static_cast<int>(line.size()), 0) == line.size();
    QByteArray answer;
    QElapsedTimer t;
    t.start();
    while (sent && !answer.endsWith('\n') && !t.hasExpired(timeout.count())) {
        const QByteArray more = receiveSome(fd, 1 << 16, timeout - std::chrono::milliseconds(t.elapsed()));
        if (more.isEmpty())
            break;
        answer += more;
    }
    closeSocket(fd);
    if (!answer.endsWith('\n'))
        fail(QStringLiteral("no answer from the helper's control channel to: ") + request);
    const QString text = QString::fromUtf8(answer).trimmed();
    if (text.startsWith(QStringLiteral("error ")))
        fail(QStringLiteral("the helper refused \"%1\": %2").arg(request, text));
    return text;
}

CuttingProxy::CuttingProxy(int upstreamPort, const QList<qint64>& cuts, bool cutControl, bool holdAfterCut)
{
    if (!m_dir.isValid())
        fail(QStringLiteral("no temporary folder for the relay"));
    QStringList args{fixture(QStringLiteral("cutting_proxy.py")), QStringLiteral("--upstream"), QString::number(upstreamPort),
                     QStringLiteral("--stats"), hostPath(m_dir.filePath(QStringLiteral("stats.txt")))};
    for (const qint64 cut : cuts)
        args << QStringLiteral("--cut") << QString::number(cut);
    if (cutControl)
        args << QStringLiteral("--cut-control");
    if (holdAfterCut)
        args << QStringLiteral("--hold-after-cut");
    m_process = std::make_unique<ServerProcess>(systemPython(), args);
    m_port = m_process->waitForLine(QStringLiteral("PORT")).toInt();
    if (holdAfterCut)
        m_controlPort = m_process->waitForLine(QStringLiteral("CONTROL")).toInt();
}

namespace {
QString modeName(StrippingRelay::Mode mode)
{
    switch (mode) {
    case StrippingRelay::Mode::Pass:
        return QStringLiteral("pass");
    case StrippingRelay::Mode::Strip:
        return QStringLiteral("strip");
    case StrippingRelay::Mode::Close:
        break;
    }
    return QStringLiteral("close");
}
}

StrippingRelay::StrippingRelay(int upstreamPort, Mode mode)
{
    m_process = std::make_unique<ServerProcess>(systemPython(), QStringList{fixture(QStringLiteral("stripping_relay.py")),
                                                                            QStringLiteral("--upstream"), QString::number(upstreamPort),
                                                                            QStringLiteral("--mode"), modeName(mode)});
    m_port = m_process->waitForLine(QStringLiteral("PORT")).toInt();
    m_controlPort = m_process->waitForLine(QStringLiteral("CONTROL")).toInt();
}

void StrippingRelay::setMode(Mode mode) const { controlRequest(m_controlPort, QStringLiteral("mode ") + modeName(mode)); }

QStringList StrippingRelay::commands() const
{
    QStringList out;
    for (const QJsonValue& line : QJsonDocument::fromJson(controlRequest(m_controlPort, QStringLiteral("commands")).toUtf8()).array())
        out << line.toString();
    return out;
}

int StrippingRelay::connections() const { return controlRequest(m_controlPort, QStringLiteral("connections")).toInt(); }

bool CuttingProxy::waitForCut(std::chrono::milliseconds timeout) const
{
    const double seconds = static_cast<double>(timeout.count()) / 1000.0;
    return controlRequest(m_controlPort, QStringLiteral("wait-cut %1").arg(seconds), timeout + std::chrono::seconds(10))
        .startsWith(QStringLiteral("cut "));
}

void CuttingProxy::release() const { controlRequest(m_controlPort, QStringLiteral("release")); }

QList<CuttingProxy::Relayed> CuttingProxy::relayed() const
{
    QFile f(m_dir.filePath(QStringLiteral("stats.txt")));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QList<Relayed> out;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 4)
            out.append({QString::fromLatin1(parts[0]), parts[1].toLongLong(), parts[2].toLongLong(), parts[3] == "cut"});
    }
    return out;
}

qint64 CuttingProxy::bytesRelayed() const
{
    qint64 total = 0;
    for (const Relayed& r : relayed())
        total += r.bytes;
    return total;
}

Vsftpd::Vsftpd(const QString& rootDir, const QString& user, const QString& password, const std::optional<FtpTls>& tls,
               const QStringList& moreSettings)
    : m_root(QDir(rootDir).absolutePath()), m_user(user)
{
    if (!m_dir.isValid())
        fail(QStringLiteral("no temporary folder for vsftpd"));
    ensureSystemUser(user, password);

    // The user must reach its root: parents traversable, the root its own.
    QFile::setPermissions(m_dir.path(), QFile::permissions(m_dir.path()) | QFile::ExeOther | QFile::ExeGroup);
    makeParentsTraversable(m_root);
    handOver(m_root);

    // vsftpd wants an empty folder, owned by root and not writable by others, to
    // lock its unprivileged helper into.
    const QString empty = m_dir.filePath(QStringLiteral("empty"));
    QDir().mkpath(empty);
    setMode(empty, 0755);

    QString lastOutput;
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = freePort();
        const QString conf = m_dir.filePath(QStringLiteral("vsftpd.conf"));
        QStringList settings{
            QStringLiteral("listen=YES"), QStringLiteral("listen_ipv6=NO"), QStringLiteral("listen_address=127.0.0.1"),
            QStringLiteral("listen_port=%1").arg(m_port), QStringLiteral("background=NO"),
            QStringLiteral("seccomp_sandbox=NO"), QStringLiteral("isolate=NO"), QStringLiteral("isolate_network=NO"),
            QStringLiteral("anonymous_enable=NO"), QStringLiteral("local_enable=YES"), QStringLiteral("write_enable=YES"),
            QStringLiteral("local_umask=022"), QStringLiteral("chroot_local_user=YES"),
            QStringLiteral("allow_writeable_chroot=YES"), QStringLiteral("local_root=%1").arg(hostPath(m_root)),
            QStringLiteral("pasv_enable=YES"), QStringLiteral("pasv_address=127.0.0.1"),
            QStringLiteral("secure_chroot_dir=%1").arg(hostPath(empty)), QStringLiteral("pam_service_name=vsftpd"),
            QStringLiteral("userlist_enable=NO"), QStringLiteral("use_localtime=YES"),
            QStringLiteral("delay_failed_login=0"),
            QStringLiteral("xferlog_enable=YES"), QStringLiteral("dual_log_enable=YES"),
            QStringLiteral("log_ftp_protocol=YES"),
            QStringLiteral("vsftpd_log_file=%1").arg(hostPath(m_dir.filePath(QStringLiteral("vsftpd.log")))),
            QStringLiteral("xferlog_file=%1").arg(hostPath(m_dir.filePath(QStringLiteral("xferlog")))),
        };
        if (tls) {
            settings << QStringLiteral("ssl_enable=YES") << QStringLiteral("rsa_cert_file=%1").arg(hostPath(tls->certificate.certFile))
                     << QStringLiteral("rsa_private_key_file=%1").arg(hostPath(tls->certificate.keyFile))
                     << QStringLiteral("require_ssl_reuse=%1").arg(tls->requireReuse ? "YES" : "NO")
                     // The default cipher list (DES-CBC3-SHA) leaves OpenSSL 3 nothing for TLS 1.2.
                     << QStringLiteral("ssl_ciphers=HIGH") << QStringLiteral("force_local_logins_ssl=NO")
                     << QStringLiteral("force_local_data_ssl=NO") << QStringLiteral("debug_ssl=YES");
        }
        settings << moreSettings;
        writeFile(conf, (settings.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
        setMode(conf, 0600);

        m_process = std::make_unique<ServerProcess>(QStringLiteral("/usr/sbin/vsftpd"), QStringList{hostPath(conf)});
        // vsftpd prints nothing when it listens; it is ready when it greets.
        const bool up = waitUntil([&] { return greets(m_port) || m_process->pid() == 0; }, std::chrono::seconds(10));
        if (up && m_process->pid() != 0)
            return;
        lastOutput = QString::fromLocal8Bit(m_process->output());
        m_process.reset(); // most likely the port was taken between freePort() and the start
    }
    fail(QStringLiteral("vsftpd did not start: ") + lastOutput);
}

void Vsftpd::handOver(const QString& path) const
{
    if (run(QStringLiteral("chown"), {QStringLiteral("-R"), m_user, hostPath(path)}) != 0)
        fail(QStringLiteral("chown %1 %2 failed").arg(m_user, path));
}

QString Vsftpd::log() const
{
    QFile f(m_dir.filePath(QStringLiteral("vsftpd.log")));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

ScriptedFtp::ScriptedFtp(const QString& scenario, const QList<File>& files, const QString& user, const QString& password,
                         const std::optional<Tls>& tls)
    : ScriptedFtp(scenario, Options{files, {}, {}, user, password, tls})
{
}

ScriptedFtp::ScriptedFtp(const QString& scenario, const Options& options)
{
    if (!m_dir.isValid())
        fail(QStringLiteral("no temporary folder for the scripted FTP server"));
    QStringList args{fixture(QStringLiteral("scripted_ftp.py")), QStringLiteral("--scenario"), scenario,
                     QStringLiteral("--user"), options.user, QStringLiteral("--password"), options.password,
                     QStringLiteral("--transcript"), hostPath(m_dir.filePath(QStringLiteral("transcript.txt"))),
                     QStringLiteral("--control")};
    for (const File& f : options.files)
        args << QStringLiteral("--file") << QStringLiteral("%1=%2").arg(f.name).arg(f.size);
    if (const std::optional<Tls>& tls = options.tls) {
        args << QStringLiteral("--tls-cert") << hostPath(tls->certificate.certFile) << QStringLiteral("--tls-key")
             << hostPath(tls->certificate.keyFile);
        if (tls->dataCertificate)
            args << QStringLiteral("--tls-data-cert") << hostPath(tls->dataCertificate->certFile) << QStringLiteral("--tls-data-key")
                 << hostPath(tls->dataCertificate->keyFile);
    }
    const Profile& p = options.profile;
    switch (p.renames) {
    case Profile::Renames::Replace:
        break;
    case Profile::Renames::NotOntoExisting:
        args << QStringLiteral("--no-rename-onto-existing");
        break;
    case Profile::Renames::Refused:
        args << QStringLiteral("--no-rename") << QStringLiteral("550");
        break;
    case Profile::Renames::NotImplemented:
        args << QStringLiteral("--no-rename") << QStringLiteral("502");
        break;
    }
    if (!p.rest)
        args << QStringLiteral("--no-rest");
    if (!p.digest)
        args << QStringLiteral("--no-digest");
    if (p.replyDelaySeconds > 0)
        args << QStringLiteral("--reply-delay") << QString::number(p.replyDelaySeconds);
    for (const Fault& f : options.faults)
        args << QStringLiteral("--fault") << f.spec();
    m_process = std::make_unique<ServerProcess>(systemPython(), args);
    m_port = m_process->waitForLine(QStringLiteral("PORT")).toInt();
    m_controlPort = m_process->waitForLine(QStringLiteral("CONTROL")).toInt();
}

QString ScriptedFtp::control(const QString& request, std::chrono::milliseconds timeout) const
{
    return controlRequest(m_controlPort, request, timeout);
}

qsizetype ScriptedFtp::arm(const Fault& fault) const
{
    return control(QStringLiteral("fault ") + fault.spec()).section(QLatin1Char(' '), 1).toLongLong();
}

void ScriptedFtp::clearFaults() const { control(QStringLiteral("clear")); }

namespace {

// "held K VERB ARG": the command line; "none": empty.
QString heldCommand(const QString& answer)
{
    return answer.startsWith(QStringLiteral("held ")) ? answer.section(QLatin1Char(' '), 2) : QString();
}

}

QString ScriptedFtp::held() const { return heldCommand(control(QStringLiteral("held"))); }

QString ScriptedFtp::waitForHold(std::chrono::milliseconds timeout) const
{
    const double seconds = static_cast<double>(timeout.count()) / 1000.0;
    return heldCommand(control(QStringLiteral("wait-held %1").arg(seconds), timeout + std::chrono::seconds(10)));
}

int ScriptedFtp::release() const { return control(QStringLiteral("release")).section(QLatin1Char(' '), 1).toInt(); }

QMap<QString, ScriptedFtp::Stored> ScriptedFtp::files() const
{
    const QJsonObject all = QJsonDocument::fromJson(control(QStringLiteral("files")).toUtf8()).object();
    QMap<QString, Stored> out;
    for (auto it = all.begin(); it != all.end(); ++it) {
        const QJsonArray facts = it.value().toArray();
        out.insert(it.key(), {static_cast<qint64>(facts.at(0).toDouble()), facts.at(1).toString().toLatin1()});
    }
    return out;
}

ScriptedFtp::Stored ScriptedFtp::storedOf(const QByteArray& content)
{
    return {content.size(), QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex()};
}

void ScriptedFtp::putFile(const File& file) const { control(QStringLiteral("put %1 %2").arg(file.name).arg(file.size)); }

void ScriptedFtp::removeFile(const QString& name) const { control(QStringLiteral("rm ") + name); }

QStringList ScriptedFtp::transcriptLines(char kind) const
{
    QFile f(m_dir.filePath(QStringLiteral("transcript.txt")));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList out;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray& line : lines)
        if (line.size() >= 2 && line[0] == kind && line[1] == ' ')
            out << QString::fromUtf8(line.mid(2));
    return out;
}

QStringList ScriptedFtp::commands() const { return transcriptLines('C'); }
QStringList ScriptedFtp::notes() const { return transcriptLines('N'); }

bool ScriptedFtp::waitForCommands(int count, std::chrono::milliseconds timeout) const
{
    return waitUntil([&] { return commands().size() >= count; }, timeout);
}

QByteArray ScriptedFtp::patternBytes(qint64 size)
{
    QByteArray out(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        out[i] = static_cast<char>(i % 251);
    return out;
}

}
