#pragma once
// Small helpers shared by every test program.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <memory>

#include <ostream>

// Readable QString values in test failure messages.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace testsupport {


// The test programs of the Windows build run under Wine, and their peers (FTP
// servers, system commands) are Linux programs: those start through the host runner
// (tests/fixtures/host_runner.py) that the Wine wrapper provides, and paths handed
// to them go through hostPath().

// The path as Linux programs see it: path itself in the Linux build, the Unix path
// of a Windows path under Wine (also for a file that does not exist yet).
QString hostPath(const QString& path);

// Runs a short Linux command (useradd, chown, ...) with input on its standard input;
// returns its exit code (-1 when it did not run or did not end in 30 s) and, when
// asked, its output and error output.
int runProgram(const QString& program, const QStringList& args, const QByteArray& input = {},
               QByteArray* output = nullptr);

// A loopback TCP port that nobody listens on right now.
int freePort();

// A loopback port that refuses connections (bound, never listening is not portable:
// we bind and close, so a connect gets RST).
int closedPort();

// A loopback port whose listener's accept queue is full, so further SYNs are
// dropped and a connect hangs. It stays so until the program ends.
int unacceptingPort();

// A TCP connection to 127.0.0.1:port, or -1 when it is refused. The caller closes it
// with closeSocket.
int connectLoopback(int port);
void closeSocket(int fd);
// Waits up to timeout for something to read on fd; reads what came (at most max bytes).
QByteArray receiveSome(int fd, int max, std::chrono::milliseconds timeout);

// A loopback port whose listener takes connections (the kernel completes them from
// its backlog) and never says a word. It stays open until the program ends.
int silentPort();

// The same, until close(): then the connections waiting in its queue are taken and
// closed, and the listener goes, so a client waiting there fails at a moment the
// test chooses.
class SilentListener {
public:
    SilentListener();
    ~SilentListener() { close(); }
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;
    int port() const { return m_port; }
    bool isOpen() const { return m_fd >= 0; }
    // Whether a connection waits in the queue now.
    bool hasWaiting() const;
    // Returns how many connections were waiting.
    int close();

private:
    int m_fd = -1;
    int m_port = 0;
};

QByteArray readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& data);

class HostProgram;

// A helper process started by a test; stopped (and its group killed) when destroyed.
// program and args are as Linux sees them (see hostPath).
class ServerProcess {
public:
    ServerProcess(const QString& program, const QStringList& args, const QString& workDir = {});
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Waits for a line on standard output that starts with prefix and returns the rest
    // of it (trimmed). Throws std::runtime_error with the process output on time-out.
    QString waitForLine(const QString& prefix, std::chrono::milliseconds timeout = std::chrono::seconds(30));
    QByteArray output() const { return m_seen; }
    void stop();
    qint64 pid() const;

private:
#ifdef _WIN32
    std::unique_ptr<HostProgram> m_proc;
#else
    std::unique_ptr<QProcess> m_proc;
#endif
    QByteArray m_seen;
    QByteArray m_pending;
};

// Polls until cond() holds or the time runs out; returns cond().
template <typename F>
bool waitUntil(F cond, std::chrono::milliseconds timeout);

}

#include <QCoreApplication>
#include <QThread>
#include <QElapsedTimer>

template <typename F>
bool testsupport::waitUntil(F cond, std::chrono::milliseconds timeout)
{
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > timeout.count())
            return cond();
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}
