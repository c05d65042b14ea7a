#include "SocketPlatform.h"

#include "SystemErrorText.h"

#include <QMutex>

#include <algorithm>

#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>
#include <mstcpip.h>
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

// One call moves at most this much: the system's calls take an int on Windows.
constexpr std::size_t kMaxPiece = std::size_t(1) << 30;
int pieceOf(std::size_t size) { return static_cast<int>(std::min(size, kMaxPiece)); }

#ifdef _WIN32

SOCKET native(Socket::Handle h) { return static_cast<SOCKET>(h); }
constexpr int kNoSignal = 0; // Windows has no SIGPIPE
using PollFd = WSAPOLLFD;
// Windows before 10 (2004) has WSAPoll miss a refused connect: the wait then ends in
// the connect time-out instead of "refused", which is still an end.
int pollOne(PollFd& p, int ms) { return ::WSAPoll(&p, 1, ms); }

// Winsock wants its start-up once per process before any other call. Qt's mutex,
// which needs no start-up of its own: the C++ library's waits on a thread Qt started
// held the process up at its end under Wine.
void startSockets()
{
    static QBasicMutex mutex;
    static bool started = false;
    const QMutexLocker lock(&mutex);
    if (started)
        return;
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    started = true;
}

Socket::Handle newSocket() { return static_cast<Socket::Handle>(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)); }

void setNonBlocking(Socket::Handle h)
{
    u_long on = 1;
    ::ioctlsocket(native(h), FIONBIO, &on);
}

QString lookUpErrorText(int rc) { return socketErrorText(rc); }

void setKeepAlive(Socket::Handle h)
{
    tcp_keepalive values{};
    values.onoff = 1;
    values.keepalivetime = static_cast<ULONG>(std::chrono::milliseconds(kKeepAliveIdle).count());
    values.keepaliveinterval = static_cast<ULONG>(std::chrono::milliseconds(kKeepAliveInterval).count());
    DWORD returned = 0;
    ::WSAIoctl(native(h), SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned, nullptr, nullptr);
}

#else

int native(Socket::Handle h) { return h; }
constexpr int kNoSignal = MSG_NOSIGNAL;
using PollFd = pollfd;
int pollOne(PollFd& p, int ms) { return ::poll(&p, 1, ms); }

void startSockets() {}

Socket::Handle newSocket() { return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0); }

void setNonBlocking(Socket::Handle h) { ::fcntl(h, F_SETFL, ::fcntl(h, F_GETFL, 0) | O_NONBLOCK); }

QString lookUpErrorText(int rc) { return QString::fromLocal8Bit(::gai_strerror(rc)); }

void setKeepAlive(Socket::Handle h)
{
    const int on = 1;
    const int idle = static_cast<int>(kKeepAliveIdle.count());
    const int interval = static_cast<int>(kKeepAliveInterval.count());
    const int probes = kKeepAliveProbes;
    ::setsockopt(h, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(h, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(h, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(h, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
}

#endif

}

#ifdef _WIN32

int lastSocketError() { return WSAGetLastError(); }
bool wouldBlock(int error) { return error == WSAEWOULDBLOCK; }
bool interrupted(int error) { return error == WSAEINTR; }
bool connectInProgress(int error) { return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS; }

QString socketErrorText(int error)
{
    // MinGW's std::system_category() is no sure way to Winsock's codes (older ones
    // know errno values only); the system's own table is, behind our own words.
    return systemErrorText(error);
}

void shutdownHandle(Socket::Handle handle, ShutdownSide side) noexcept
{
    ::shutdown(native(handle), side == ShutdownSide::Send ? SD_SEND : SD_BOTH);
}

void closeHandle(Socket::Handle handle) noexcept { ::closesocket(native(handle)); }

#else

int lastSocketError() { return errno; }
bool wouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }
bool interrupted(int error) { return error == EINTR; }
bool connectInProgress(int error) { return error == EINPROGRESS; }

QString socketErrorText(int error) { return systemErrorText(error); }

void shutdownHandle(Socket::Handle handle, ShutdownSide side) noexcept
{
    ::shutdown(handle, side == ShutdownSide::Send ? SHUT_WR : SHUT_RDWR);
}

void closeHandle(Socket::Handle handle) noexcept { ::close(handle); }

#endif

void throwSocketError(int error)
{
    throw LinkError(QStringLiteral("Falha na conexão com o servidor: %1").arg(socketErrorText(error)));
}

std::optional<std::uint32_t> ipv4Literal(const std::string& text)
{
    startSockets();
    in_addr literal{};
    if (::inet_pton(AF_INET, text.c_str(), &literal) != 1)
        return std::nullopt;
    return ntohl(literal.s_addr);
}

LookUp lookUpIPv4(const std::string& name)
{
    startSockets();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &found);
    LookUp result;
    if (rc == 0 && found)
        result.address = ntohl(reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
    else
        result.error = lookUpErrorText(rc);
    if (found)
        ::freeaddrinfo(found);
    return result;
}

Socket::Handle openTcpSocket()
{
    startSockets();
    const Socket::Handle h = newSocket();
    if (h == Socket::kInvalid)
        return h;
    setNonBlocking(h);
    int one = 1;
    ::setsockopt(native(h), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    setKeepAlive(h);
    return h;
}

int startConnect(Socket::Handle handle, const Ipv4Endpoint& to)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(to.address);
    a.sin_port = htons(to.port);
    if (::connect(native(handle), reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0)
        return lastSocketError();
    return 0;
}

int connectError(Socket::Handle handle)
{
    int err = 0;
    socklen_t len = sizeof err;
    ::getsockopt(native(handle), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len);
    return err;
}

Ipv4Endpoint peerOf(Socket::Handle handle)
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (::getpeername(native(handle), reinterpret_cast<sockaddr*>(&a), &len) != 0)
        throwSocketError(lastSocketError());
    return {ntohl(a.sin_addr.s_addr), ntohs(a.sin_port)};
}

void setLowWater(Socket::Handle handle, int bytes) noexcept
{
#ifdef SO_RCVLOWAT
    ::setsockopt(native(handle), SOL_SOCKET, SO_RCVLOWAT, reinterpret_cast<const char*>(&bytes), sizeof bytes);
#else
    (void)handle;
    (void)bytes;
#endif
}

std::ptrdiff_t sendSome(Socket::Handle handle, const char* data, std::size_t size)
{
    return ::send(native(handle), data, pieceOf(size), kNoSignal);
}

std::ptrdiff_t receiveSome(Socket::Handle handle, char* buffer, std::size_t capacity)
{
    return ::recv(native(handle), buffer, pieceOf(capacity), 0);
}

std::ptrdiff_t peekSome(Socket::Handle handle, char* buffer, std::size_t capacity)
{
    return ::recv(native(handle), buffer, pieceOf(capacity), MSG_PEEK);
}

bool waitForSocket(Socket::Handle handle, Readiness what, Clock::time_point deadline, const std::atomic<bool>& cancel)
{
    for (;;) {
        if (cancel.load(std::memory_order_relaxed))
            throw cancelledError();
        const auto now = Clock::now();
        if (now >= deadline)
            return false;
        const auto slice = std::min<Millis>(kCancelCheck, std::chrono::ceil<Millis>(deadline - now));
        PollFd p{};
        p.fd = native(handle);
        p.events = what == Readiness::Read ? POLLIN : POLLOUT;
        const int r = pollOne(p, static_cast<int>(slice.count()));
        if (r > 0)
            return true;
        if (r < 0 && !interrupted(lastSocketError()))
            throwSocketError(lastSocketError());
    }
}

}
