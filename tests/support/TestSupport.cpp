#include "TestSupport.h"

#include <cstdio>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <mutex>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace testsupport {

namespace {
#ifdef _WIN32
void ensureSockets()
{
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    });
}
int closeFd(int fd) { return ::closesocket(static_cast<SOCKET>(fd)); }
using socklen_t = int;
#else
void ensureSockets() {}
int closeFd(int fd) { return ::close(fd); }
#endif

int boundPort(bool listenToo, int* keepFd)
{
    ensureSockets();
    int fd = static_cast<int>(::socket(AF_INET, SOCK_STREAM, 0));
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
        closeFd(fd);
    return ntohs(a.sin_port);
}
}

int freePort() { return boundPort(false, nullptr); }

int connectLoopback(int port)
{
    ensureSockets();
    const int fd = static_cast<int>(::socket(AF_INET, SOCK_STREAM, 0));
    if (fd < 0)
        return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        closeFd(fd);
        return -1;
    }
    return fd;
}

void closeSocket(int fd) { closeFd(fd); }

QByteArray receiveSome(int fd, int max, std::chrono::milliseconds timeout)
{
#ifdef _WIN32
    WSAPOLLFD p{};
    p.fd = static_cast<SOCKET>(fd);
    p.events = POLLIN;
    if (::WSAPoll(&p, 1, static_cast<int>(timeout.count())) <= 0)
        return {};
#else
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0)
        return {};
#endif
    QByteArray out(max, Qt::Uninitialized);
    const auto n = ::recv(fd, out.data(), max, 0);
    out.resize(n > 0 ? n : 0);
    return out;
}

int silentPort()
{
    int fd = -1;
    return boundPort(true, &fd);
}
int closedPort() { return boundPort(false, nullptr); }

SilentListener::SilentListener() { m_port = boundPort(true, &m_fd); }

bool SilentListener::hasWaiting() const
{
    if (m_fd < 0)
        return false;
#ifdef _WIN32
    WSAPOLLFD p{};
    p.fd = static_cast<SOCKET>(m_fd);
    p.events = POLLIN;
    return ::WSAPoll(&p, 1, 0) > 0;
#else
    pollfd p{m_fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
#endif
}

int SilentListener::close()
{
    if (m_fd < 0)
        return 0;
    // Closed unaccepted, a connection in the queue is not always told (Firebird's
    // client then tries again and again until its time-out): each is taken first.
#ifdef _WIN32
    u_long nonBlocking = 1;
    ::ioctlsocket(static_cast<SOCKET>(m_fd), FIONBIO, &nonBlocking);
#else
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK);
#endif
    int taken = 0;
    for (;; ++taken) {
        const auto waiting = ::accept(m_fd, nullptr, nullptr);
        if (static_cast<int>(waiting) < 0)
            break;
        closeFd(static_cast<int>(waiting));
    }
    closeFd(m_fd);
    m_fd = -1;
    return taken;
}

int unacceptingPort()
{
    ensureSockets();
    const int listener = static_cast<int>(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len) != 0 || ::listen(listener, 0) != 0)
        throw std::runtime_error("no listener for unacceptingPort");
    const int port = ntohs(a.sin_port);
    if (connectLoopback(port) < 0) // the filler, which takes the one place in the queue
        throw std::runtime_error("the filler of unacceptingPort was refused");
    return port;
}

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

#ifndef _WIN32
QString hostPath(const QString& path) { return path; }

int runProgram(const QString& program, const QStringList& args, const QByteArray& input, QByteArray* output)
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
#endif

}
