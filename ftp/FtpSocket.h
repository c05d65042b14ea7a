#pragma once
// Thin portable layer over TCP sockets: BSD sockets, with Winsock behind the same
// calls on Windows (the system calls themselves are in SocketPlatform.h). IPv4
// only. Once a connection carries TLS (FtpTls.h), the same calls send and receive
// through it, under the same time-outs and cancel flag.
//
// Sockets are non-blocking; every wait is bounded by a time-out and looks at a
// cancel flag at least every 100 ms. TIdFTP::Abort also shuts the sockets down
// from its thread, which wakes a wait at once on the platforms that support it;
// the flag is the fallback that makes a cancel prompt everywhere.
#include "FtpTypes.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace ftp {

class TlsLayer;

using Millis = std::chrono::milliseconds;

// A failure of the connection itself (time-out, reset, closed by the peer, cancelled).
// After it the control connection is out of step with the server and gets closed.
class LinkError : public EIdFTPError {
public:
    explicit LinkError(QString message, FtpFailure failure = FtpFailure::ConnectionLost) : EIdFTPError(failure, std::move(message)) {}
};

QString cancelledText();
// What a wait throws once the operation's cancel token is set.
LinkError cancelledError();
QString durationText(Millis timeout);

// What a wait is for; it picks the time-out text.
enum class WaitFor { Reply, Data };

struct Ipv4Endpoint {
    std::uint32_t address = 0; // host byte order
    std::uint16_t port = 0;
    QString toString() const;
};

class Socket {
public:
#ifdef _WIN32
    using Handle = std::uintptr_t;
    static constexpr Handle kInvalid = ~Handle(0);
#else
    using Handle = int;
    static constexpr Handle kInvalid = -1;
#endif

    Socket();
    ~Socket();
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    static Socket connectTo(const Ipv4Endpoint& to, Millis timeout, const std::atomic<bool>& cancel);

    bool isOpen() const noexcept { return m_handle != kInvalid; }
    Handle handle() const noexcept { return m_handle; }
    Ipv4Endpoint peer() const;

    // From here on the calls below send and receive through tls, which was made
    // for this socket's handle.
    void attachTls(std::unique_ptr<TlsLayer> tls);
    TlsLayer* tls() const noexcept { return m_tls.get(); }
    // The end of a data connection's stream, before close(): with TLS, our
    // close_notify, and then the peer's end is awaited (at most timeout), so that
    // nothing it sent stays unread; an unread byte turns the close into a reset,
    // which can discard the end of an upload the server has not read yet. Without
    // TLS nothing: the close itself marks the end. Failures are left to the
    // server's reply; only a cancel throws.
    void finishStream(Millis timeout, const std::atomic<bool>& cancel);

    void sendAll(const char* data, std::size_t size, Millis timeout, WaitFor what, const std::atomic<bool>& cancel);
    // Waits for bytes; returns how many arrived, 0 when the peer closed its side.
    std::size_t receive(char* buffer, std::size_t capacity, Millis timeout, WaitFor what,
                        const std::atomic<bool>& cancel);

    // Without a time-out of their own: they end at the deadline, and the caller decides
    // whether that is a failure (the data connections' minimum rate).
    // Waits for bytes until the deadline: how many arrived, 0 when the peer closed its
    // side, nothing when the deadline passed first.
    std::optional<std::size_t> receiveBefore(char* buffer, std::size_t capacity,
                                             std::chrono::steady_clock::time_point deadline,
                                             const std::atomic<bool>& cancel);
    // Sends as much as the peer takes until the deadline; returns how much (0 when the
    // deadline passed first).
    std::size_t sendBefore(const char* data, std::size_t size, std::chrono::steady_clock::time_point deadline,
                           const std::atomic<bool>& cancel);

    // A wait in receive() then ends once this much has arrived or the peer closed,
    // which spares both sides a wake-up for every segment; receive() still looks at
    // least every 100 ms, so a slow peer's smaller pieces are not held back. Systems
    // without the option (Windows) end the wait at every arrival.
    void setReceiveLowWater(int bytes) noexcept;

    enum class Pending { Nothing, Data, Closed };
    // Without waiting: does the peer have something for us, or has it closed?
    Pending pendingNow() const noexcept;
    // Without waiting: reads what is there (0 when nothing is).
    std::size_t receiveNow(char* buffer, std::size_t capacity);

    void shutdownSend() noexcept;
    // Safe to call from another thread while this one waits on the socket.
    void shutdownBoth() noexcept;
    void close() noexcept;

private:
    explicit Socket(Handle handle);
    Handle m_handle = kInvalid;
    std::unique_ptr<TlsLayer> m_tls;
};

}
