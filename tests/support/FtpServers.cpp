#include "FtpServers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <mutex>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

namespace {

QString fixture(const QString& name) { return QStringLiteral(FTPC_FIXTURES_DIR "/ftp/") + name; }

[[noreturn]] void fail(const QString& text) { throw std::runtime_error(text.toStdString()); }

// Runs a short system command; returns its exit code (-1 when it did not run).
int run(const QString& program, const QStringList& args, const QByteArray& input = {}, QByteArray* output = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return -1;
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(30000);
    if (output)
        *output = p.readAll();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

void ensureSystemUser(const QString& user, const QString& password)
{
    // Several test programs may start at once; the account files have their own
    // locks, so the steps are retried rather than serialised across processes.
    static std::mutex inProcess;
    std::lock_guard lock(inProcess);
    const QByteArray name = user.toLocal8Bit();
    if (!::getpwnam(name.constData())) {
        QByteArray out;
        const int rc = run(QStringLiteral("useradd"), {QStringLiteral("-M"), QStringLiteral("-d"), QStringLiteral("/"),
                                                       QStringLiteral("-s"), QStringLiteral("/bin/bash"), user},
                           {}, &out);
        if (rc != 0 && rc != 9) // 9: it exists (made by a program running beside us)
            fail(QStringLiteral("useradd %1 failed (%2): %3").arg(user).arg(rc).arg(QString::fromLocal8Bit(out)));
    } else if (const passwd* pw = ::getpwnam(name.constData()); pw && !QFileInfo(QString::fromLocal8Bit(pw->pw_dir)).isDir()) {
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
    pollfd p{fd, POLLIN, 0};
    char buf[64] = {};
    const bool ok = ::poll(&p, 1, 3000) > 0 && ::recv(fd, buf, sizeof buf - 1, 0) >= 3 && QByteArray(buf).startsWith("220");
    ::close(fd);
    return ok;
}

}

QString systemPython() { return QStringLiteral("/usr/bin/python3"); }

PyFtpd::PyFtpd(const QString& rootDir, const QString& user, const QString& password, const QStringList& readOnlyDirs,
               const std::optional<FtpTls>& tls)
    : m_root(rootDir)
{
    QStringList args{fixture(QStringLiteral("pyftpd_server.py")), QStringLiteral("--root"), rootDir,
                     QStringLiteral("--user"), user, QStringLiteral("--password"), password};
    for (const QString& dir : readOnlyDirs)
        args << QStringLiteral("--readonly") << dir;
    if (tls) {
        args << QStringLiteral("--tls-cert") << tls->certificate.certFile << QStringLiteral("--tls-key") << tls->certificate.keyFile;
        if (tls->noSessionReuse)
            args << QStringLiteral("--tls-no-session-reuse");
    }
    m_process = std::make_unique<ServerProcess>(systemPython(), args);
    m_port = m_process->waitForLine(QStringLiteral("PORT")).toInt();
}

Vsftpd::Vsftpd(const QString& rootDir, const QString& user, const QString& password, const std::optional<FtpTls>& tls)
    : m_root(QDir(rootDir).absolutePath()), m_user(user)
{
    if (!m_dir.isValid())
        fail(QStringLiteral("no temporary folder for vsftpd"));
    ensureSystemUser(user, password);

    // The user must reach its root: parents traversable, the root its own.
    QFile::setPermissions(m_dir.path(), QFile::permissions(m_dir.path()) | QFile::ExeOther | QFile::ExeGroup);
    for (QDir up(m_root); !up.isRoot(); ) {
        if (!up.cdUp())
            break;
        const QFile::Permissions perms = QFile::permissions(up.path());
        if (!(perms & QFile::ExeOther))
            QFile::setPermissions(up.path(), perms | QFile::ExeOther);
    }
    handOver(m_root);

    // vsftpd wants an empty folder, owned by root and not writable by others, to
    // lock its unprivileged helper into.
    const QString empty = m_dir.filePath(QStringLiteral("empty"));
    QDir().mkpath(empty);
    ::chmod(QFile::encodeName(empty).constData(), 0755);

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
            QStringLiteral("allow_writeable_chroot=YES"), QStringLiteral("local_root=%1").arg(m_root),
            QStringLiteral("pasv_enable=YES"), QStringLiteral("pasv_address=127.0.0.1"),
            QStringLiteral("secure_chroot_dir=%1").arg(empty), QStringLiteral("pam_service_name=vsftpd"),
            QStringLiteral("userlist_enable=NO"), QStringLiteral("use_localtime=YES"),
            QStringLiteral("delay_failed_login=0"),
            QStringLiteral("xferlog_enable=YES"), QStringLiteral("dual_log_enable=YES"),
            QStringLiteral("log_ftp_protocol=YES"),
            QStringLiteral("vsftpd_log_file=%1").arg(m_dir.filePath(QStringLiteral("vsftpd.log"))),
            QStringLiteral("xferlog_file=%1").arg(m_dir.filePath(QStringLiteral("xferlog"))),
        };
        if (tls) {
            settings << QStringLiteral("ssl_enable=YES") << QStringLiteral("rsa_cert_file=%1").arg(tls->certificate.certFile)
                     << QStringLiteral("rsa_private_key_file=%1").arg(tls->certificate.keyFile)
                     << QStringLiteral("require_ssl_reuse=%1").arg(tls->requireReuse ? "YES" : "NO")
                     // The default cipher list (DES-CBC3-SHA) leaves OpenSSL 3 nothing for TLS 1.2.
                     << QStringLiteral("ssl_ciphers=HIGH") << QStringLiteral("force_local_logins_ssl=NO")
                     << QStringLiteral("force_local_data_ssl=NO") << QStringLiteral("debug_ssl=YES");
        }
        writeFile(conf, (settings.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
        ::chmod(QFile::encodeName(conf).constData(), 0600);

        m_process = std::make_unique<ServerProcess>(QStringLiteral("/usr/sbin/vsftpd"), QStringList{conf});
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
    if (run(QStringLiteral("chown"), {QStringLiteral("-R"), m_user, path}) != 0)
        fail(QStringLiteral("chown %1 %2 failed").arg(m_user, path));
}

QString Vsftpd::log() const
{
    QFile f(m_dir.filePath(QStringLiteral("vsftpd.log")));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

ScriptedFtp::ScriptedFtp(const QString& scenario, const QList<File>& files, const QString& user, const QString& password,
                         const std::optional<Tls>& tls)
{
    if (!m_dir.isValid())
        fail(QStringLiteral("no temporary folder for the scripted FTP server"));
    QStringList args{fixture(QStringLiteral("scripted_ftp.py")), QStringLiteral("--scenario"), scenario,
                     QStringLiteral("--user"), user, QStringLiteral("--password"), password,
                     QStringLiteral("--transcript"), m_dir.filePath(QStringLiteral("transcript.txt"))};
    for (const File& f : files)
        args << QStringLiteral("--file") << QStringLiteral("%1=%2").arg(f.name).arg(f.size);
    if (tls) {
        args << QStringLiteral("--tls-cert") << tls->certificate.certFile << QStringLiteral("--tls-key") << tls->certificate.keyFile;
        if (tls->dataCertificate)
            args << QStringLiteral("--tls-data-cert") << tls->dataCertificate->certFile << QStringLiteral("--tls-data-key")
                 << tls->dataCertificate->keyFile;
    }
    m_process = std::make_unique<ServerProcess>(systemPython(), args);
    m_port = m_process->waitForLine(QStringLiteral("PORT")).toInt();
}

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
