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

// A loopback TCP port that nobody listens on right now.
int freePort();

// A loopback port that refuses connections (bound, never listening is not portable:
// we bind and close, so a connect gets RST).
int closedPort();

// A TCP connection to 127.0.0.1:port, or -1 when it is refused. The caller closes it.
int connectLoopback(int port);

// A loopback port whose listener takes connections (the kernel completes them from
// its backlog) and never says a word. It stays open until the program ends.
int silentPort();

QByteArray readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& data);

// A helper process started by a test; stopped (and its group killed) when destroyed.
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
    std::unique_ptr<QProcess> m_proc;
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
