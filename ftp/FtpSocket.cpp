#include "FtpSocket.h"

#include "FtpTls.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace ftp {

namespace {

using Clock = std::chrono::steady_clock;
constexpr Millis kCancelCheck{100};

#ifdef _WIN32
using IoResult = int;
constexpr int kNoSignal = 0;
int lastError() { return WSAGetLastError(); }
bool wouldBlock(int e) { return e == WSAEWOULDBLOCK; }
bool interrupted(int e) { return e == WSAEINTR; }
bool connectPending(int e) { return e == WSAEWOULDBLOCK || e == WSAEINPROGRESS; }
void closeHandle(Socket::Handle h) { ::closesocket(static_cast<SOCKET>(h)); }
// Windows before 10 (2004) has WSAPoll miss a refused connect: the wait then ends in
// the connect time-out instead of "refused", which is still an end.
int pollHandles(WSAPOLLFD* fds, ULONG n, int ms) { return ::WSAPoll(fds, n, ms); }
using PollFd = WSAPOLLFD;

void ensureSockets()
{
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    });
}
#else
using IoResult = ssize_t;
constexpr int kNoSignal = MSG_NOSIGNAL;
int lastError() { return errno; }
bool wouldBlock(int e) { return e == EAGAIN || e == EWOULDBLOCK; }
bool interrupted(int e) { return e == EINTR; }
bool connectPending(int e) { return e == EINPROGRESS; }
void closeHandle(Socket::Handle h) { ::close(h); }
int pollHandles(pollfd* fds, nfds_t n, int ms) { return ::poll(fds, n, ms); }
using PollFd = pollfd;
void ensureSockets() {}
#endif

QString systemText(int error)
{
#ifdef _WIN32
    // MinGW's std::system_category() knows errno values only, not Winsock's.
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString message = n ? QString::fromWCharArray(text, static_cast<int>(n)).trimmed() : QString();
    if (text)
        ::LocalFree(text);
    if (message.isEmpty())
        message = QStringLiteral("erro %1").arg(error);
    return message;
#else
    return QString::fromStdString(std::system_category().message(error));
#endif
}

QString timeoutText(WaitFor what, Millis timeout)
{
    return what == WaitFor::Reply
        ? QStringLiteral("Tempo esgotado: o servidor não respondeu em %1").arg(durationText(timeout))
        : QStringLiteral("Tempo esgotado: a transferência de dados ficou parada por %1").arg(durationText(timeout));
}

[[noreturn]] void throwNetwork(int error)
{
    throw LinkError(QStringLiteral("Falha na conexão com o servidor: %1").arg(systemText(error)));
}

// Waits until the socket is ready for events or the deadline passes. Returns false
// on time-out; throws when cancelled.
bool waitReady(Socket::Handle h, short events, Clock::time_point deadline, const std::atomic<bool>& cancel)
{
    for (;;) {
        if (cancel.load(std::memory_order_relaxed))
            throw LinkError(cancelledText());
        const auto now = Clock::now();
        if (now >= deadline)
            return false;
        const auto slice = std::min<Millis>(kCancelCheck, std::chrono::ceil<Millis>(deadline - now));
        PollFd p{};
        p.fd = h;
        p.events = events;
        const int r = pollHandles(&p, 1, static_cast<int>(slice.count()));
        if (r > 0)
            return true;
        if (r < 0 && !interrupted(lastError()))
            throwNetwork(lastError());
    }
}

void setNonBlocking(Socket::Handle h)
{
#ifdef _WIN32
    u_long on = 1;
    ::ioctlsocket(static_cast<SOCKET>(h), FIONBIO, &on);
#else
    ::fcntl(h, F_SETFL, ::fcntl(h, F_GETFL, 0) | O_NONBLOCK);
#endif
}

struct ResolveState {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::uint32_t address = 0;
    QString error;
};

}

bool waitForSocket(Socket::Handle handle, Readiness what, Clock::time_point deadline, const std::atomic<bool>& cancel)
{
    return waitReady(handle, what == Readiness::Read ? POLLIN : POLLOUT, deadline, cancel);
}

QString cancelledText() { return QStringLiteral("Operação cancelada"); }

QString durationText(Millis timeout)
{
    if (timeout.count() % 1000 == 0)
        return QStringLiteral("%1 s").arg(timeout.count() / 1000);
    return QStringLiteral("%1 ms").arg(timeout.count());
}

QString Ipv4Endpoint::toString() const
{
    return QStringLiteral("%1.%2.%3.%4:%5")
        .arg(address >> 24)
        .arg((address >> 16) & 0xff)
        .arg((address >> 8) & 0xff)
        .arg(address & 0xff)
        .arg(port);
}

std::uint32_t resolveIPv4(const QString& host, Millis timeout, const std::atomic<bool>& cancel)
{
    ensureSockets();
    const std::string name = host.trimmed().toStdString();
    in_addr literal{};
    if (::inet_pton(AF_INET, name.c_str(), &literal) == 1)
        return ntohl(literal.s_addr);

    // The helper thread owns a share of the state, so it may outlive a caller that
    // stopped waiting for it.
    auto state = std::make_shared<ResolveState>();
    std::thread([state, name] {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &found);
        std::lock_guard lock(state->mutex);
        if (rc == 0 && found) {
            state->address = ntohl(reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
        } else {
#ifdef _WIN32
            state->error = systemText(rc);
#else
            state->error = QString::fromLocal8Bit(::gai_strerror(rc));
#endif
        }
        if (found)
            ::freeaddrinfo(found);
        state->finished = true;
        state->done.notify_all();
    }).detach();

    const auto deadline = Clock::now() + timeout;
    std::unique_lock lock(state->mutex);
    while (!state->finished) {
        if (cancel.load())
            throw LinkError(cancelledText());
        if (Clock::now() >= deadline)
            throw LinkError(QStringLiteral("Tempo esgotado ao resolver o nome %1 (%2)").arg(host, durationText(timeout)));
        state->done.wait_for(lock, kCancelCheck);
    }
    if (!state->error.isEmpty())
        throw LinkError(QStringLiteral("Não foi possível resolver o nome %1: %2").arg(host, state->error));
    return state->address;
}

Socket::Socket() = default;

Socket::Socket(Handle handle) : m_handle(handle) {}

Socket::~Socket() { close(); }

Socket::Socket(Socket&& other) noexcept : m_handle(other.m_handle), m_tls(std::move(other.m_tls))
{
    other.m_handle = kInvalid;
}

Socket& Socket::operator=(Socket&& other) noexcept
{
    if (this != &other) {
        close();
        m_handle = other.m_handle;
        m_tls = std::move(other.m_tls);
        other.m_handle = kInvalid;
    }
    return *this;
}

Socket Socket::connectTo(const Ipv4Endpoint& to, Millis timeout, const std::atomic<bool>& cancel)
{
    ensureSockets();
#ifdef _WIN32
    const Handle h = static_cast<Handle>(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
#else
    const Handle h = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
#endif
    if (h == kInvalid)
        throwNetwork(lastError());
    Socket s(h);
    setNonBlocking(h);
    // Commands and the last piece of a file go out at once instead of waiting for
    // the peer's acknowledgement of what went before.
    int one = 1;
    ::setsockopt(h, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);

    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(to.address);
    a.sin_port = htons(to.port);
    const auto deadline = Clock::now() + timeout;
    if (::connect(h, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        const int e = lastError();
        if (!connectPending(e))
            throw LinkError(QStringLiteral("Não foi possível conectar em %1: %2").arg(to.toString(), systemText(e)));
        if (!waitReady(h, POLLOUT, deadline, cancel))
            throw LinkError(QStringLiteral("Tempo esgotado ao conectar em %1 (%2)").arg(to.toString(), durationText(timeout)));
        int err = 0;
        socklen_t len = sizeof err;
        ::getsockopt(h, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len);
        if (err != 0)
            throw LinkError(QStringLiteral("Não foi possível conectar em %1: %2").arg(to.toString(), systemText(err)));
    }
    return s;
}

Ipv4Endpoint Socket::peer() const
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (::getpeername(m_handle, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        throwNetwork(lastError());
    return {ntohl(a.sin_addr.s_addr), ntohs(a.sin_port)};
}

void Socket::attachTls(std::unique_ptr<TlsLayer> tls) { m_tls = std::move(tls); }

void Socket::finishStream(Millis timeout, const std::atomic<bool>& cancel)
{
    if (m_tls)
        m_tls->finish(Clock::now() + timeout, cancel);
}

void Socket::sendAll(const char* data, std::size_t size, Millis timeout, WaitFor what, const std::atomic<bool>& cancel)
{
    if (m_tls) {
        while (size > 0) {
            const std::size_t n = m_tls->write(data, size, Clock::now() + timeout, cancel);
            if (n == 0)
                throw LinkError(timeoutText(what, timeout));
            data += n;
            size -= n;
        }
        return;
    }
    auto deadline = Clock::now() + timeout;
    while (size > 0) {
        const int chunk = static_cast<int>(std::min<std::size_t>(size, 1 << 30));
        const IoResult n = ::send(m_handle, data, chunk, kNoSignal);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
            deadline = Clock::now() + timeout; // the time-out is for a stall, not for the whole
            continue;
        }
        const int e = lastError();
        if (n < 0 && interrupted(e))
            continue;
        if (n < 0 && !wouldBlock(e))
            throwNetwork(e);
        if (!waitReady(m_handle, POLLOUT, deadline, cancel))
            throw LinkError(timeoutText(what, timeout));
    }
}

std::size_t Socket::receive(char* buffer, std::size_t capacity, Millis timeout, WaitFor what,
                            const std::atomic<bool>& cancel)
{
    if (const auto n = receiveBefore(buffer, capacity, Clock::now() + timeout, cancel))
        return *n;
    throw LinkError(timeoutText(what, timeout));
}

std::optional<std::size_t> Socket::receiveBefore(char* buffer, std::size_t capacity, Clock::time_point deadline,
                                                 const std::atomic<bool>& cancel)
{
    if (m_tls)
        return m_tls->read(buffer, capacity, deadline, cancel);
    const int cap = static_cast<int>(std::min<std::size_t>(capacity, 1 << 30));
    for (;;) {
        if (cancel.load(std::memory_order_relaxed))
            throw LinkError(cancelledText());
        const IoResult n = ::recv(m_handle, buffer, cap, 0);
        if (n >= 0)
            return static_cast<std::size_t>(n);
        const int e = lastError();
        if (interrupted(e))
            continue;
        if (!wouldBlock(e))
            throwNetwork(e);
        // With a low-water mark the wait may end only once enough has arrived, so
        // it is cut into slices that each end in another look at what is there.
        if (Clock::now() >= deadline)
            return std::nullopt;
        waitReady(m_handle, POLLIN, std::min(deadline, Clock::now() + kCancelCheck), cancel);
    }
}

std::size_t Socket::sendBefore(const char* data, std::size_t size, Clock::time_point deadline,
                               const std::atomic<bool>& cancel)
{
    if (size == 0)
        return 0;
    if (m_tls)
        return m_tls->write(data, size, deadline, cancel);
    for (;;) {
        const int chunk = static_cast<int>(std::min<std::size_t>(size, 1 << 30));
        const IoResult n = ::send(m_handle, data, chunk, kNoSignal);
        if (n > 0)
            return static_cast<std::size_t>(n);
        const int e = lastError();
        if (n < 0 && interrupted(e))
            continue;
        if (n < 0 && !wouldBlock(e))
            throwNetwork(e);
        if (!waitReady(m_handle, POLLOUT, deadline, cancel))
            return 0;
    }
}

void Socket::setReceiveLowWater(int bytes) noexcept
{
#ifdef SO_RCVLOWAT
    ::setsockopt(m_handle, SOL_SOCKET, SO_RCVLOWAT, reinterpret_cast<const char*>(&bytes), sizeof bytes);
#else
    (void)bytes;
#endif
}

Socket::Pending Socket::pendingNow() const noexcept
{
    if (!isOpen())
        return Pending::Closed;
    if (m_tls)
        return m_tls->pending();
    char c;
    const IoResult n = ::recv(m_handle, &c, 1, MSG_PEEK);
    if (n > 0)
        return Pending::Data;
    if (n == 0)
        return Pending::Closed;
    const int e = lastError();
    return wouldBlock(e) || interrupted(e) ? Pending::Nothing : Pending::Closed;
}

std::size_t Socket::receiveNow(char* buffer, std::size_t capacity)
{
    if (m_tls) {
        static const std::atomic<bool> never{false};
        return m_tls->read(buffer, capacity, Clock::time_point::min(), never).value_or(0);
    }
    const IoResult n = ::recv(m_handle, buffer, static_cast<int>(std::min<std::size_t>(capacity, 1 << 30)), 0);
    if (n >= 0)
        return static_cast<std::size_t>(n);
    const int e = lastError();
    if (wouldBlock(e) || interrupted(e))
        return 0;
    throwNetwork(e);
}

void Socket::shutdownSend() noexcept
{
    if (isOpen()) {
#ifdef _WIN32
        ::shutdown(static_cast<SOCKET>(m_handle), SD_SEND);
#else
        ::shutdown(m_handle, SHUT_WR);
#endif
    }
}

void Socket::shutdownBoth() noexcept
{
    if (isOpen()) {
#ifdef _WIN32
        ::shutdown(static_cast<SOCKET>(m_handle), SD_BOTH);
#else
        ::shutdown(m_handle, SHUT_RDWR);
#endif
    }
}

void Socket::close() noexcept
{
    m_tls.reset();
    if (isOpen()) {
        closeHandle(m_handle);
        m_handle = kInvalid;
    }
}

}
