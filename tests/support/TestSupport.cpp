#include "TestSupport.h"

#include <QFile>

#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {
int boundPort(bool listenToo, int* keepFd)
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        throw std::runtime_error("bind failed");
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    if (listenToo)
        ::listen(fd, 16);
    if (keepFd)
        *keepFd = fd;
    else
        ::close(fd);
    return ntohs(a.sin_port);
}
}

int freePort() { return boundPort(false, nullptr); }

int connectLoopback(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int silentPort()
{
    int fd = -1;
    return boundPort(true, &fd);
}
int closedPort() { return boundPort(false, nullptr); }

QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error(("cannot read " + path).toStdString());
    return f.readAll();
}

void writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(data) != data.size())
        throw std::runtime_error(("cannot write " + path).toStdString());
}

ServerProcess::ServerProcess(const QString& program, const QStringList& args, const QString& workDir)
    : m_proc(std::make_unique<QProcess>())
{
    m_proc->setProcessChannelMode(QProcess::MergedChannels);
    if (!workDir.isEmpty())
        m_proc->setWorkingDirectory(workDir);
    // Own process group, so stop() also ends whatever the helper started.
    m_proc->setChildProcessModifier([] { ::setpgid(0, 0); });
    m_proc->start(program, args);
    if (!m_proc->waitForStarted(10000))
        throw std::runtime_error(("cannot start " + program).toStdString());
}

ServerProcess::~ServerProcess() { stop(); }

qint64 ServerProcess::pid() const { return m_proc ? m_proc->processId() : 0; }

void ServerProcess::stop()
{
    if (!m_proc || m_proc->state() == QProcess::NotRunning)
        return;
    const qint64 pid = m_proc->processId();
    if (pid > 0)
        ::kill(-static_cast<pid_t>(pid), SIGTERM);
    if (!m_proc->waitForFinished(5000)) {
        if (pid > 0)
            ::kill(-static_cast<pid_t>(pid), SIGKILL);
        m_proc->waitForFinished(5000);
    }
}

QString ServerProcess::waitForLine(const QString& prefix, std::chrono::milliseconds timeout)
{
    QElapsedTimer t;
    t.start();
    for (;;) {
        qsizetype nl;
        while ((nl = m_pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(m_pending.left(nl)).trimmed();
            m_pending.remove(0, nl + 1);
            if (line.startsWith(prefix))
                return line.mid(prefix.size()).trimmed();
        }
        if (t.elapsed() > timeout.count() || m_proc->state() == QProcess::NotRunning) {
            const QByteArray rest = m_proc->readAll();
            m_seen += rest;
            throw std::runtime_error(("no '" + prefix + "' from helper process; output:\n").toStdString() + m_seen.toStdString());
        }
        m_proc->waitForReadyRead(100);
        const QByteArray chunk = m_proc->readAll();
        m_seen += chunk;
        m_pending += chunk;
    }
}

}
