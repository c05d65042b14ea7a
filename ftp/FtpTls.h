#pragma once
// TLS for explicit FTP over TLS (RFC 4217), with OpenSSL on our own sockets: the
// settings a control connection and its data connections share, and the TLS
// layer of one connection (Socket::attachTls).
//
// OpenSSL works on the non-blocking socket and says what it waits for; each such
// wait is one of the socket layer's (FtpSocket.h), so a TLS read or write ends at
// its deadline, and the cancel flag and Abort() break it off as they break off a
// plain one. Errors come as LinkError, like those of the socket layer.
#include "FtpSocket.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>

struct ssl_ctx_st;
struct ssl_st;

namespace ftp {

// TLS 1.2 or newer; certificates checked against OpenSSL's default trust store
// and, on Windows, the system's ROOT store. The handshake itself never fails on a
// certificate: TlsLayer::verificationProblem() says what was wrong with it, and the
// caller decides (the user may accept a certificate that cannot be verified).
class TlsContext {
public:
    TlsContext();
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    ssl_ctx_st* native() const noexcept { return m_ctx; }

private:
    ssl_ctx_st* m_ctx = nullptr;
};

class TlsLayer {
public:
    using Clock = std::chrono::steady_clock;

    // With read-ahead OpenSSL takes from the socket as much as this at a time instead
    // of one record's header and then its body.
    static constexpr std::size_t kReadAhead = 64 * 1024;

    // host: the name the server's certificate must carry, also sent as SNI; an IPv4
    // address is looked for among the certificate's IP entries. resumeFrom: for a data connection, the
    // control connection's layer, whose TLS session the data connection resumes
    // (servers refuse data connections that do not: vsftpd's require_ssl_reuse).
    TlsLayer(const TlsContext& context, Socket::Handle handle, const QString& host,
             const TlsLayer* resumeFrom = nullptr);
    ~TlsLayer();
    TlsLayer(const TlsLayer&) = delete;
    TlsLayer& operator=(const TlsLayer&) = delete;

    // The handshake; timeout is the wait the deadline stands for, for the message.
    void handshake(Clock::time_point deadline, Millis timeout, const std::atomic<bool>& cancel);

    // After the handshake.
    QString protocol() const; // "TLS 1.3"
    QString cipher() const;   // "TLS_AES_256_GCM_SHA384"
    bool resumed() const;
    // SHA-256 of the server's certificate as upper-case hex pairs joined by ':';
    // empty when it sent none.
    QString fingerprint() const;
    // SHA-256 of the server's public key (the certificate's DER SubjectPublicKeyInfo,
    // what a pin names); empty when it sent no certificate.
    QByteArray publicKeyDigest() const;
    // Why the certificate could not be verified, as a phrase for the user; empty
    // when it was verified.
    QString verificationProblem() const;

    // As Socket::receiveBefore: the bytes that arrived (as many as are there, up to
    // capacity), 0 when the peer closed, nothing when the deadline passed first. A
    // peer that closes without TLS's close_notify counts as closed too (servers do
    // that at the end of listings), and cutWithoutNotify() says so: where no size
    // tells a whole file from a cut one, that is a cut.
    std::optional<std::size_t> read(char* buffer, std::size_t capacity, Clock::time_point deadline,
                                    const std::atomic<bool>& cancel);
    // As Socket::sendBefore: how much went out, 0 when the deadline passed first.
    std::size_t write(const char* data, std::size_t size, Clock::time_point deadline,
                      const std::atomic<bool>& cancel);
    // The peer's end came without its close_notify.
    bool cutWithoutNotify() const { return m_cutWithoutNotify; }
    // As Socket::pendingNow.
    Socket::Pending pending() noexcept;
    // As Socket::finishStream.
    void finish(Clock::time_point deadline, const std::atomic<bool>& cancel);

    // The transport under OpenSSL: our socket, and the system's error code of its
    // last failure.
    struct Transport {
        Socket::Handle handle;
        int lastError = 0;
    };

private:
    enum class Stop { Done, Deadline, Closed };
    // Repeats call until it succeeds (> 0), waiting for what OpenSSL asks for.
    Stop run(const std::function<int()>& call, Clock::time_point deadline, const std::atomic<bool>& cancel);
    // Deals with a failed call: Deadline or Closed, or a throw; waits and returns
    // nothing when the call is to be repeated.
    std::optional<Stop> afterFailure(int result, Clock::time_point deadline, const std::atomic<bool>& cancel);

    ssl_st* m_ssl = nullptr;
    Transport m_transport;
    bool m_cutWithoutNotify = false;
};

}
