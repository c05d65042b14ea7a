#pragma once
// Every call to the system's sockets (BSD sockets, or Winsock on Windows) in one
// place, for the plain socket layer (FtpSocket.cpp) and for OpenSSL's transport
// over our sockets (FtpTls.cpp); the few places where the two systems differ are
// here and nowhere else. No system header comes with it. Private to ftp/ (and its
// tests).
#include "FtpSocket.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace ftp {

// Every wait looks at the cancel flag at least this often.
constexpr Millis kCancelCheck{100};

// The error code of the last failed socket call on this thread: Winsock's own codes
// on Windows, errno elsewhere.
int lastSocketError();
// "Not now": the call is to be repeated once the socket is ready.
bool wouldBlock(int error);
// A signal came first: the call is to be repeated at once.
bool interrupted(int error);
// A non-blocking connect that goes on in the background.
bool connectInProgress(int error);

// The system's text for such a code, as the user reads it in a message.
QString socketErrorText(int error);
[[noreturn]] void throwSocketError(int error);

// One send or receive that never waits: how many bytes moved (0 from a receive: the
// peer closed its side), or -1 and lastSocketError() says why. A send to a peer that
// has closed fails instead of raising SIGPIPE, which would end the program.
std::ptrdiff_t sendSome(Socket::Handle handle, const char* data, std::size_t size);
std::ptrdiff_t receiveSome(Socket::Handle handle, char* buffer, std::size_t capacity);
// As receiveSome, but the bytes stay for the next receive.
std::ptrdiff_t peekSome(Socket::Handle handle, char* buffer, std::size_t capacity);

// An IPv4 address written as one ("192.0.2.1"), in host byte order.
std::optional<std::uint32_t> ipv4Literal(const std::string& text);
struct LookUp {
    std::uint32_t address = 0; // host byte order
    QString error;             // why there is none
};
// The system resolver's first IPv4 address for name. It takes as long as it takes:
// resolveIPv4 bounds the wait.
LookUp lookUpIPv4(const std::string& name);

// TCP keep-alive on every connection, control and data alike. The control
// connection lies silent for as long as a file moves on the data connection, and
// longer while the server computes a digest of a large file: a router's address
// translation that forgets a connection idle for a few minutes (many forget one
// after 5 minutes, some after 1) would cut it without a word, and the next reply
// would never come. A probe after kKeepAliveIdle of silence keeps the mapping, and
// a link that answers none of kKeepAliveProbes probes, kKeepAliveInterval apart,
// is found broken in a minute and a half instead of at the end of a reply's wait.
// Windows fixes the number of probes itself (10).
constexpr std::chrono::seconds kKeepAliveIdle{30};
constexpr std::chrono::seconds kKeepAliveInterval{10};
constexpr int kKeepAliveProbes = 6;

// A non-blocking TCP socket that sends small pieces (commands, the end of a file)
// at once instead of waiting for the peer's acknowledgement of what went before,
// with the keep-alive above; Socket::kInvalid, with lastSocketError(), where the
// system gives none.
Socket::Handle openTcpSocket();
// Starts a connect: 0 when it is done at once, else the error code (see
// connectInProgress; then the socket turns writable when it is over).
int startConnect(Socket::Handle handle, const Ipv4Endpoint& to);
// How the connect that was in progress ended: 0, or the error code.
int connectError(Socket::Handle handle);
// The other end; throws LinkError where the system cannot tell.
Ipv4Endpoint peerOf(Socket::Handle handle);
// See Socket::setReceiveLowWater.
void setLowWater(Socket::Handle handle, int bytes) noexcept;

enum class ShutdownSide { Send, Both };
void shutdownHandle(Socket::Handle handle, ShutdownSide side) noexcept;
void closeHandle(Socket::Handle handle) noexcept;

enum class Readiness { Read, Write };
// Waits until the socket is ready or the deadline passes (false); throws LinkError
// when cancelled. Looks at the cancel flag at least every kCancelCheck.
bool waitForSocket(Socket::Handle handle, Readiness what, std::chrono::steady_clock::time_point deadline,
                   const std::atomic<bool>& cancel);

}
