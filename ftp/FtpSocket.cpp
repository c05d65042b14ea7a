#include "FtpSocket.h"

#include "FtpTls.h"
#include "SocketPlatform.h"

#include <algorithm>
#include <memory>

namespace ftp {

namespace {

using Clock = std::chrono::steady_clock;

QString timeoutText(WaitFor what, Millis timeout)
{
    return what == WaitFor::Reply
        ? QStringLiteral("Tempo esgotado: o servidor não respondeu em %1").arg(durationText(timeout))
        : QStringLiteral("Tempo esgotado: a transferência de dados ficou parada por %1").arg(durationText(timeout));
}

}

QString cancelledText() { return QStringLiteral("Operação cancelada"); }

LinkError cancelledError() { return LinkError(cancelledText(), FtpFailure::Cancelled); }

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
    const Handle h = openTcpSocket();
    if (h == kInvalid)
        throwSocketError(lastSocketError());
    Socket s(h);
    const auto deadline = Clock::now() + timeout;
    if (const int e = startConnect(h, to); e != 0) {
        if (!connectInProgress(e))
            throw LinkError(QStringLiteral("Não foi possível conectar em %1: %2").arg(to.toString(), socketErrorText(e)));
        if (!waitForSocket(h, Readiness::Write, deadline, cancel))
            throw LinkError(QStringLiteral("Tempo esgotado ao conectar em %1 (%2)").arg(to.toString(), durationText(timeout)));
        if (const int err = connectError(h); err != 0)
            throw LinkError(QStringLiteral("Não foi possível conectar em %1: %2").arg(to.toString(), socketErrorText(err)));
    }
    return s;
}

Ipv4Endpoint Socket::peer() const { return peerOf(m_handle); }

void Socket::attachTls(std::unique_ptr<TlsLayer> tls) { m_tls = std::move(tls); }

void Socket::finishStream(Millis timeout, const std::atomic<bool>& cancel)
{
    if (m_tls)
        m_tls->finish(Clock::now() + timeout, cancel);
}

void Socket::sendAll(const char* data, std::size_t size, Millis timeout, WaitFor what, const std::atomic<bool>& cancel)
{
    while (size > 0) {
        // The time-out is for a stall, not for the whole.
        const std::size_t n = sendBefore(data, size, Clock::now() + timeout, cancel);
        if (n == 0)
            throw LinkError(timeoutText(what, timeout));
        data += n;
        size -= n;
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
    for (;;) {
        if (cancel.load(std::memory_order_relaxed))
            throw cancelledError();
        const std::ptrdiff_t n = receiveSome(m_handle, buffer, capacity);
        if (n >= 0)
            return static_cast<std::size_t>(n);
        const int e = lastSocketError();
        if (interrupted(e))
            continue;
        if (!wouldBlock(e))
            throwSocketError(e);
        // With a low-water mark the wait may end only once enough has arrived, so
        // it is cut into slices that each end in another look at what is there.
        if (Clock::now() >= deadline)
            return std::nullopt;
        waitForSocket(m_handle, Readiness::Read, std::min(deadline, Clock::now() + kCancelCheck), cancel);
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
        const std::ptrdiff_t n = sendSome(m_handle, data, size);
        if (n > 0)
            return static_cast<std::size_t>(n);
        const int e = lastSocketError();
        if (n < 0 && interrupted(e))
            continue;
        if (n < 0 && !wouldBlock(e))
            throwSocketError(e);
        if (!waitForSocket(m_handle, Readiness::Write, deadline, cancel))
            return 0;
    }
}

void Socket::setReceiveLowWater(int bytes) noexcept { setLowWater(m_handle, bytes); }

Socket::Pending Socket::pendingNow() const noexcept
{
    if (!isOpen())
        return Pending::Closed;
    if (m_tls)
        return m_tls->pending();
    char c;
    const std::ptrdiff_t n = peekSome(m_handle, &c, 1);
    if (n > 0)
        return Pending::Data;
    if (n == 0)
        return Pending::Closed;
    const int e = lastSocketError();
    return wouldBlock(e) || interrupted(e) ? Pending::Nothing : Pending::Closed;
}

std::size_t Socket::receiveNow(char* buffer, std::size_t capacity)
{
    if (m_tls) {
        static const std::atomic<bool> never{false};
        return m_tls->read(buffer, capacity, Clock::time_point::min(), never).value_or(0);
    }
    const std::ptrdiff_t n = receiveSome(m_handle, buffer, capacity);
    if (n >= 0)
        return static_cast<std::size_t>(n);
    const int e = lastSocketError();
    if (wouldBlock(e) || interrupted(e))
        return 0;
    throwSocketError(e);
}

void Socket::shutdownSend() noexcept
{
    if (isOpen())
        shutdownHandle(m_handle, ShutdownSide::Send);
}

void Socket::shutdownBoth() noexcept
{
    if (isOpen())
        shutdownHandle(m_handle, ShutdownSide::Both);
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
