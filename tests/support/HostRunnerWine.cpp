// The Windows build's side of tests/fixtures/host_runner.py: the Linux peers of a
// test program running under Wine start, talk and stop through the runner that
// build-win/wine-run.sh started beside it (FTPC_HOST_RUNNER = "port token").
#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <stdexcept>

#include <winsock2.h>
#include <windows.h>

namespace testsupport {

namespace {

[[noreturn]] void fail(const std::string& text) { throw std::runtime_error(text); }

}

// One Linux program started by the runner, over one connection.
class HostProgram {
public:
    HostProgram(const QString& program, const QStringList& args, const QString& workDir, const QByteArray* input)
    {
        const QStringList runner = qEnvironmentVariable("FTPC_HOST_RUNNER").split(QLatin1Char(' '));
        if (runner.size() != 2)
            fail("FTPC_HOST_RUNNER is not set: run the Windows tests through wine-run.sh (ctest does)");
        m_fd = connectLoopback(runner[0].toInt());
        if (m_fd < 0)
            fail("the host runner does not answer on port " + runner[0].toStdString());

        QJsonObject request;
        request[QStringLiteral("token")] = runner[1];
        request[QStringLiteral("argv")] = QJsonArray::fromStringList(QStringList{program} + args);
        request[QStringLiteral("cwd")] = workDir.isEmpty() ? QJsonValue() : QJsonValue(hostPath(workDir));
        request[QStringLiteral("input")] = input ? QJsonValue(QString::fromUtf8(*input)) : QJsonValue();
        sendRaw(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');

        QElapsedTimer t;
        t.start();
        while (m_pid == 0 && !m_ended && t.elapsed() < 10000)
            readFrames(100);
        if (m_pid == 0)
            fail(("cannot start " + program + ": " + m_error).toStdString());
    }

    ~HostProgram() { stop(); }

    // Reads what the runner sent, waiting up to waitMs for the first of it.
    void readFrames(int waitMs)
    {
        if (m_fd >= 0 && !m_closed) {
            const QByteArray got = receiveSome(m_fd, 65536, std::chrono::milliseconds(waitMs));
            if (got.isEmpty()) {
                // Nothing in time, or the runner closed: a second look without waiting tells.
                WSAPOLLFD p{};
                p.fd = static_cast<SOCKET>(m_fd);
                p.events = POLLIN;
                char c;
                if (::WSAPoll(&p, 1, 0) > 0 && ::recv(static_cast<SOCKET>(m_fd), &c, 1, MSG_PEEK) <= 0)
                    m_closed = true;
            }
            m_raw += got;
        }
        for (;;) {
            const qsizetype nl = m_raw.indexOf('\n');
            if (nl < 0)
                break;
            const QByteArray head = m_raw.left(nl);
            if (head.startsWith("OUT ")) {
                const qsizetype n = head.mid(4).toLongLong();
                if (m_raw.size() < nl + 1 + n)
                    break;
                m_output += m_raw.mid(nl + 1, n);
                m_raw.remove(0, nl + 1 + n);
                continue;
            }
            m_raw.remove(0, nl + 1);
            if (head.startsWith("PID ")) {
                m_pid = head.mid(4).toLongLong();
            } else if (head.startsWith("EXIT ")) {
                m_exitCode = head.mid(5).toInt();
                m_ended = true;
            } else if (head.startsWith("ERROR ")) {
                m_error = QString::fromUtf8(head.mid(6));
                m_ended = true;
            }
        }
        if (m_closed && !m_ended) {
            m_ended = true;
            m_exitCode = -1;
        }
    }

    // Output that arrived since the last call.
    QByteArray takeOutput()
    {
        QByteArray out;
        out.swap(m_output);
        return out;
    }

    bool ended() const { return m_ended; }
    int exitCode() const { return m_exitCode; }
    qint64 pid() const { return m_ended ? 0 : m_pid; }

    bool waitForEnd(int ms)
    {
        QElapsedTimer t;
        t.start();
        while (!m_ended && t.elapsed() < ms)
            readFrames(100);
        return m_ended;
    }

    // Ends the program (its whole process group) and waits until it is gone.
    void stop()
    {
        if (m_fd < 0)
            return;
        if (!m_ended) {
            sendRaw("KILL\n");
            waitForEnd(15000);
        }
        closeSocket(m_fd);
        m_fd = -1;
    }

private:
    void sendRaw(const QByteArray& bytes)
    {
        qsizetype sent = 0;
        while (sent < bytes.size()) {
            const int n = ::send(static_cast<SOCKET>(m_fd), bytes.constData() + sent, static_cast<int>(bytes.size() - sent), 0);
            if (n <= 0)
                return; // the runner went; readFrames notices
            sent += n;
        }
    }

    int m_fd = -1;
    QByteArray m_raw;
    QByteArray m_output;
    qint64 m_pid = 0;
    int m_exitCode = -1;
    bool m_ended = false;
    bool m_closed = false;
    QString m_error;
};

QString hostPath(const QString& path)
{
    using UnixName = char*(CDECL*)(LPCWSTR);
    static const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixName)
        fail("not running under Wine: no wine_get_unix_file_name");
    // Wine names only what exists: the missing tail is added back as it stands.
    QString native = QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    QString tail;
    for (;;) {
        if (char* name = unixName(reinterpret_cast<LPCWSTR>(native.utf16()))) {
            QString unix = QString::fromUtf8(name);
            ::HeapFree(::GetProcessHeap(), 0, name);
            // Wine names C: through its link ".../dosdevices/c:", and a colon in a path
            // is a host name to Firebird's client ("host:path"): the folder it links
            // to has none.
            unix.replace(QStringLiteral("/dosdevices/c:/"), QStringLiteral("/drive_c/"));
            return unix + tail;
        }
        const qsizetype cut = native.lastIndexOf(QLatin1Char('\\'));
        if (cut <= 2)
            fail("no Unix path for " + path.toStdString());
        tail.prepend(QLatin1Char('/') + native.mid(cut + 1));
        native.truncate(cut);
    }
}

int runProgram(const QString& program, const QStringList& args, const QByteArray& input, QByteArray* output)
{
    try {
        HostProgram p(program, args, {}, &input);
        const bool ended = p.waitForEnd(30000);
        if (output)
            *output = p.takeOutput();
        return ended ? p.exitCode() : -1;
    } catch (const std::runtime_error& e) {
        if (output)
            *output = e.what();
        return -1;
    }
}

ServerProcess::ServerProcess(const QString& program, const QStringList& args, const QString& workDir)
    : m_proc(std::make_unique<HostProgram>(program, args, workDir, nullptr))
{
}

ServerProcess::~ServerProcess() { stop(); }

qint64 ServerProcess::pid() const
{
    m_proc->readFrames(0);
    return m_proc->pid();
}

void ServerProcess::stop()
{
    if (m_proc)
        m_proc->stop();
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
        if (t.elapsed() > timeout.count() || m_proc->ended()) {
            m_proc->readFrames(0);
            m_seen += m_proc->takeOutput();
            throw std::runtime_error(("no '" + prefix + "' from helper process; output:\n").toStdString() + m_seen.toStdString());
        }
        m_proc->readFrames(100);
        const QByteArray chunk = m_proc->takeOutput();
        m_seen += chunk;
        m_pending += chunk;
    }
}

}
