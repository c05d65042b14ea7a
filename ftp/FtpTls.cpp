#include "FtpTls.h"

#include "SocketPlatform.h"

// Winsock and the CryptoAPI before OpenSSL, whose headers undo the names that
// wincrypt.h defines over its own (X509_NAME and others).
#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>
#include <wincrypt.h>
#endif

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <algorithm>

namespace ftp {

namespace {

using Clock = TlsLayer::Clock;

// ---------------------------------------------------------------- our socket as OpenSSL's transport
// OpenSSL's own socket BIO would send with a plain send(): a peer that had closed
// would raise SIGPIPE and end the program. Ours sends as the plain layer does.

enum class Direction { Read, Write };

// A socket that is not ready asks OpenSSL to repeat the call once it is; any other
// failure is kept for the message.
int transportResult(BIO* bio, std::ptrdiff_t n, Direction direction)
{
    if (n >= 0)
        return static_cast<int>(n);
    const int e = lastSocketError();
    if (wouldBlock(e) || interrupted(e)) {
        if (direction == Direction::Write)
            BIO_set_retry_write(bio);
        else
            BIO_set_retry_read(bio);
    } else {
        static_cast<TlsLayer::Transport*>(BIO_get_data(bio))->lastError = e;
    }
    return -1;
}

int transportWrite(BIO* bio, const char* data, int size)
{
    BIO_clear_retry_flags(bio);
    const auto* t = static_cast<const TlsLayer::Transport*>(BIO_get_data(bio));
    return transportResult(bio, sendSome(t->handle, data, static_cast<std::size_t>(size)), Direction::Write);
}

int transportRead(BIO* bio, char* buffer, int size)
{
    BIO_clear_retry_flags(bio);
    const auto* t = static_cast<const TlsLayer::Transport*>(BIO_get_data(bio));
    return transportResult(bio, receiveSome(t->handle, buffer, static_cast<std::size_t>(size)), Direction::Read);
}

long transportControl(BIO*, int command, long, void*)
{
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

BIO_METHOD* transportMethod()
{
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "ftp socket");
        BIO_meth_set_write(m, transportWrite);
        BIO_meth_set_read(m, transportRead);
        BIO_meth_set_ctrl(m, transportControl);
        return m;
    }();
    return method;
}

// ---------------------------------------------------------------- texts

// The reason OpenSSL gives for the last failure ("wrong version number",
// "tlsv1 alert protocol version").
QString openSslReason()
{
    const unsigned long e = ERR_peek_last_error();
    const char* reason = e ? ERR_reason_error_string(e) : nullptr;
    return reason ? QString::fromLatin1(reason) : QStringLiteral("erro desconhecido");
}

[[noreturn]] void throwTlsFailure()
{
    throw LinkError(QStringLiteral("Falha na conexão segura (TLS): %1").arg(openSslReason()));
}

#ifdef _WIN32
// OpenSSL's default trust store is a folder fixed when OpenSSL was built, which no
// Windows machine has: the certificates Windows trusts are in its ROOT store.
void addWindowsRootStore(X509_STORE* store)
{
    HCERTSTORE system = CertOpenSystemStoreW(0, L"ROOT");
    if (!system)
        return;
    for (PCCERT_CONTEXT c = CertEnumCertificatesInStore(system, nullptr); c;
         c = CertEnumCertificatesInStore(system, c)) {
        const unsigned char* der = c->pbCertEncoded;
        if (X509* cert = d2i_X509(nullptr, &der, static_cast<long>(c->cbCertEncoded))) {
            X509_STORE_add_cert(store, cert);
            X509_free(cert);
        }
    }
    CertCloseStore(system, 0);
}
#endif

QString verifyProblemText(long result, const QString& host)
{
    switch (result) {
    case X509_V_OK:
        return {};
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return QStringLiteral("o certificado expirou");
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return QStringLiteral("o certificado ainda não é válido");
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        return QStringLiteral("o certificado é autoassinado");
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        return QStringLiteral("o certificado foi emitido por uma autoridade que este computador não reconhece");
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return QStringLiteral("o certificado não é do servidor %1").arg(host);
    case X509_V_ERR_CERT_REVOKED:
        return QStringLiteral("o certificado foi revogado");
    default:
        return QStringLiteral("o certificado não pôde ser verificado (%1)")
            .arg(QString::fromLatin1(X509_verify_cert_error_string(result)));
    }
}

}

// ---------------------------------------------------------------- context

TlsContext::TlsContext()
{
    m_ctx = SSL_CTX_new(TLS_client_method());
    if (!m_ctx)
        throw EIdFTPError(FtpFailure::LocalFile, QStringLiteral("Não foi possível preparar a conexão segura (TLS): %1").arg(openSslReason()));
    SSL_CTX_set_min_proto_version(m_ctx, TLS1_2_VERSION);
    SSL_CTX_set_options(m_ctx, SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION);
    // A write returns once a record is out, and may be repeated from another copy
    // of the same bytes: the callers' buffers move on as the socket takes them.
    SSL_CTX_set_mode(m_ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_read_ahead(m_ctx, 1);
    SSL_CTX_set_default_read_buffer_len(m_ctx, TlsLayer::kReadAhead);
    SSL_CTX_set_verify(m_ctx, SSL_VERIFY_NONE, nullptr);
    SSL_CTX_set_default_verify_paths(m_ctx);
#ifdef _WIN32
    addWindowsRootStore(SSL_CTX_get_cert_store(m_ctx));
#endif
    ERR_clear_error(); // a trust-store folder that does not exist is no failure
}

TlsContext::~TlsContext() { SSL_CTX_free(m_ctx); }

// ---------------------------------------------------------------- one connection

TlsLayer::TlsLayer(const TlsContext& context, Socket::Handle handle, const QString& host, const TlsLayer* resumeFrom)
    : m_transport{handle}
{
    m_ssl = SSL_new(context.native());
    BIO* bio = m_ssl ? BIO_new(transportMethod()) : nullptr;
    if (!bio) {
        SSL_free(m_ssl);
        throw EIdFTPError(FtpFailure::LocalFile, QStringLiteral("Não foi possível preparar a conexão segura (TLS): %1").arg(openSslReason()));
    }
    BIO_set_data(bio, &m_transport);
    BIO_set_init(bio, 1);
    SSL_set_bio(m_ssl, bio, bio);

    const QByteArray name = host.trimmed().toUtf8();
    X509_VERIFY_PARAM* param = SSL_get0_param(m_ssl);
    if (X509_VERIFY_PARAM_set1_ip_asc(param, name.constData()) != 1) {
        // A host name: the certificate must name it, and the server is told which
        // one we want (SNI), for servers with several.
        SSL_set_tlsext_host_name(m_ssl, name.constData());
        X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        X509_VERIFY_PARAM_set1_host(param, name.constData(), 0);
    }
    // With TLS 1.3 the server sends what a resumption needs after the handshake, in
    // session tickets; they have arrived on the control connection by the time it
    // opens a data connection (the replies since were read after them), and its
    // current session carries the latest one.
    if (resumeFrom) {
        if (SSL_SESSION* session = SSL_get1_session(resumeFrom->m_ssl)) {
            SSL_set_session(m_ssl, session);
            SSL_SESSION_free(session);
        }
    }
    ERR_clear_error();
}

TlsLayer::~TlsLayer() { SSL_free(m_ssl); }

std::optional<TlsLayer::Stop> TlsLayer::afterFailure(int result, Clock::time_point deadline,
                                                     const std::atomic<bool>& cancel)
{
    const int error = SSL_get_error(m_ssl, result);
    switch (error) {
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
        if (Clock::now() >= deadline)
            return Stop::Deadline;
        // In slices, as in Socket::receiveBefore: with a low-water mark a wait for
        // reading may end only once enough has arrived.
        waitForSocket(m_transport.handle, error == SSL_ERROR_WANT_READ ? Readiness::Read : Readiness::Write,
                      std::min(deadline, Clock::now() + kCancelCheck), cancel);
        return std::nullopt;
    case SSL_ERROR_ZERO_RETURN:
        return Stop::Closed;
    case SSL_ERROR_SYSCALL:
        if (ERR_peek_error() != 0)
            throwTlsFailure();
        if (m_transport.lastError == 0) {
            m_cutWithoutNotify = true;
            return Stop::Closed;
        }
        throwSocketError(m_transport.lastError);
    default:
        // The connection ended without close_notify: closed, but not cleanly.
        if (ERR_GET_LIB(ERR_peek_error()) == ERR_LIB_SSL && ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
            ERR_clear_error();
            m_cutWithoutNotify = true;
            return Stop::Closed;
        }
        throwTlsFailure();
    }
}

TlsLayer::Stop TlsLayer::run(const std::function<int()>& call, Clock::time_point deadline,
                             const std::atomic<bool>& cancel)
{
    for (;;) {
        if (cancel.load(std::memory_order_relaxed))
            throw cancelledError();
        ERR_clear_error();
        m_transport.lastError = 0;
        const int r = call();
        if (r > 0)
            return Stop::Done;
        if (const auto stop = afterFailure(r, deadline, cancel))
            return *stop;
    }
}

void TlsLayer::handshake(Clock::time_point deadline, Millis timeout, const std::atomic<bool>& cancel)
{
    switch (run([this] { return SSL_connect(m_ssl); }, deadline, cancel)) {
    case Stop::Done:
        return;
    case Stop::Deadline:
        throw LinkError(QStringLiteral("Tempo esgotado: o servidor não concluiu a negociação TLS em %1").arg(durationText(timeout)));
    case Stop::Closed:
        throw LinkError(QStringLiteral("A conexão foi fechada pelo servidor durante a negociação TLS"));
    }
}

QString TlsLayer::protocol() const
{
    QString v = QString::fromLatin1(SSL_get_version(m_ssl));
    if (v.startsWith(QLatin1String("TLSv")))
        v = QStringLiteral("TLS ") + v.mid(4);
    return v;
}

QString TlsLayer::cipher() const { return QString::fromLatin1(SSL_get_cipher_name(m_ssl)); }

bool TlsLayer::resumed() const { return SSL_session_reused(m_ssl) == 1; }

QString TlsLayer::fingerprint() const
{
    X509* cert = SSL_get0_peer_certificate(m_ssl);
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!cert || X509_digest(cert, EVP_sha256(), md, &size) != 1)
        return {};
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(md), static_cast<qsizetype>(size)).toHex(':').toUpper());
}

QByteArray TlsLayer::publicKeyDigest() const
{
    X509* cert = SSL_get0_peer_certificate(m_ssl);
    X509_PUBKEY* key = cert ? X509_get_X509_PUBKEY(cert) : nullptr;
    unsigned char* der = nullptr;
    const int size = key ? i2d_X509_PUBKEY(key, &der) : -1;
    if (size <= 0)
        return {};
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int mdSize = 0;
    const bool ok = EVP_Digest(der, static_cast<std::size_t>(size), md, &mdSize, EVP_sha256(), nullptr) == 1;
    OPENSSL_free(der);
    return ok ? QByteArray(reinterpret_cast<const char*>(md), static_cast<qsizetype>(mdSize)) : QByteArray();
}

QString TlsLayer::verificationProblem() const
{
    if (!SSL_get0_peer_certificate(m_ssl))
        return QStringLiteral("o servidor não apresentou certificado");
    const X509_VERIFY_PARAM* param = SSL_get0_param(m_ssl);
    QString host;
    if (const char* name = X509_VERIFY_PARAM_get0_host(const_cast<X509_VERIFY_PARAM*>(param), 0))
        host = QString::fromUtf8(name);
    else if (char* ip = X509_VERIFY_PARAM_get1_ip_asc(const_cast<X509_VERIFY_PARAM*>(param))) {
        host = QString::fromLatin1(ip);
        OPENSSL_free(ip);
    }
    return verifyProblemText(SSL_get_verify_result(m_ssl), host);
}

std::optional<std::size_t> TlsLayer::read(char* buffer, std::size_t capacity, Clock::time_point deadline,
                                          const std::atomic<bool>& cancel)
{
    std::size_t total = 0;
    for (;;) {
        if (cancel.load(std::memory_order_relaxed))
            throw cancelledError();
        ERR_clear_error();
        m_transport.lastError = 0;
        std::size_t n = 0;
        // A record holds at most 16 KiB: the records that are there already are taken
        // together, so the caller gets the large pieces it gets without TLS.
        const int r = SSL_read_ex(m_ssl, buffer + total, capacity - total, &n);
        if (r == 1) {
            total += n;
            if (total == capacity)
                return total;
            continue;
        }
        if (total > 0) {
            const int error = SSL_get_error(m_ssl, r);
            if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE || error == SSL_ERROR_ZERO_RETURN)
                return total;
        }
        if (const auto stop = afterFailure(r, deadline, cancel)) {
            if (*stop == Stop::Deadline)
                return std::nullopt;
            return total; // closed
        }
    }
}

std::size_t TlsLayer::write(const char* data, std::size_t size, Clock::time_point deadline,
                            const std::atomic<bool>& cancel)
{
    if (size == 0)
        return 0;
    std::size_t written = 0;
    switch (run([&] { return SSL_write_ex(m_ssl, data, size, &written); }, deadline, cancel)) {
    case Stop::Done:
        return written;
    case Stop::Deadline:
        return 0;
    case Stop::Closed:
        break;
    }
    throw LinkError(QStringLiteral("A conexão foi fechada pelo servidor"));
}

Socket::Pending TlsLayer::pending() noexcept
{
    ERR_clear_error();
    m_transport.lastError = 0;
    char c;
    std::size_t n = 0;
    const int r = SSL_peek_ex(m_ssl, &c, 1, &n);
    if (r == 1)
        return Socket::Pending::Data;
    const int error = SSL_get_error(m_ssl, r);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
        return Socket::Pending::Nothing;
    ERR_clear_error();
    return Socket::Pending::Closed;
}

void TlsLayer::finish(Clock::time_point deadline, const std::atomic<bool>& cancel)
{
    try {
        // SSL_shutdown answers 0 once our close_notify is out and the peer's has not
        // come yet: that is all we wait for here.
        run([this] { return SSL_shutdown(m_ssl) >= 0 ? 1 : -1; }, deadline, cancel);
        char rest[4096];
        for (;;) {
            const auto n = read(rest, sizeof rest, deadline, cancel);
            if (!n || *n == 0)
                return;
        }
    } catch (const LinkError&) {
        if (cancel.load())
            throw;
        ERR_clear_error();
    }
}

}
