// Passive data connections (PASV of RFC 959, EPSV of RFC 2428), protected by TLS
// where the login asked for it (RFC 4217 section 10), and one transfer over such a
// connection: REST where it starts further on (RFC 3659 section 5), the transfer
// command, the bytes, and the final reply.
#include "IdFTPImpl.h"

using namespace ftp;

namespace {

// Downloads are received in pieces of up to this much: over loopback a download to
// a file ran about twice as fast with 1 MiB as with 64 KiB (fewer, larger writes).
constexpr std::size_t kBufferSize = std::size_t(1) << 20;
// After the data connection broke, how long the server has to say so on the control
// connection before that one counts as broken too.
constexpr Millis kBrokenDataReplyWait{2000};

}

void TIdFTP::Impl::openDataConnection()
{
    std::optional<std::uint16_t> port;
    // After an accepted "EPSV ALL" the server refuses PASV, so EPSV it is.
    if (!caps.epsvRefused && (caps.epsvAll || caps.useEpsv())) {
        const FtpReply r = command(QStringLiteral("EPSV"));
        if (r.code == 229) {
            port = parseEpsvReply(r.text);
            if (!port)
                throw EIdFTPError(FtpFailure::UnexpectedReply, QStringLiteral("Resposta inválida ao EPSV: %1").arg(serverText(r.text)), r.code);
        } else {
            caps.epsvRefused = true;
        }
    }
    if (!port) {
        const FtpReply r = command(QStringLiteral("PASV"));
        if (r.code != 227)
            throw serverError(r);
        const auto pasv = parsePasvReply(r.text);
        if (!pasv)
            throw EIdFTPError(FtpFailure::UnexpectedReply, QStringLiteral("Resposta inválida ao PASV: %1").arg(serverText(r.text)), r.code);
        // The address in the reply is not used: the data connection goes to the
        // host we already talk to. Otherwise a server, or anyone who rewrites its
        // reply, could have us connect to any host and hand it our file; servers
        // behind NAT also often name a private address we cannot reach.
        port = pasv->port;
    }
    try {
        Socket s = Socket::connectTo({server.address, *port}, connectTimeout(), aborted());
        if (dataProtected)
            s.attachTls(std::make_unique<TlsLayer>(*tls, s.handle(), tlsName(), control.tls()));
        const QMutexLocker lock(&socketsMutex);
        data = std::move(s);
    } catch (const LinkError& e) {
        if (cancelled())
            throw;
        // The control connection is still in step: the server only waits for us, and
        // may well take the next one.
        throw EIdFTPTransferBroken(QStringLiteral("Não foi possível abrir a conexão de dados: %1").arg(e.Message()));
    }
}

// The TLS handshake of a protected data connection comes once the server has
// answered the transfer command: servers start theirs only then (vsftpd), and one
// that reads a handshake before the command takes it for a peer that went away and
// closes the connection (pyftpdlib). A data connection that did not resume the
// control connection's session must at least show the same certificate: anyone
// else could have taken the server's data port.
void TIdFTP::Impl::secureDataConnection()
{
    TlsLayer* layer = data.tls();
    if (!layer)
        return;
    QString failure;
    // Another certificate is someone else's; a handshake that failed is a data
    // connection that did not come.
    FtpFailure kind = FtpFailure::TransferBroken;
    try {
        layer->handshake(Clock::now() + readTimeout(), readTimeout(), aborted());
        if (!layer->resumed() && layer->fingerprint() != control.tls()->fingerprint()) {
            failure = QStringLiteral("a conexão de dados apresentou um certificado diferente do da conexão de controle");
            kind = FtpFailure::InterceptionSuspected;
        }
    } catch (const LinkError& e) {
        if (cancelled())
            throw;
        failure = e.Message();
    }
    if (failure.isEmpty())
        return;
    closeData();
    // The server says why in its reply (vsftpd: "session reuse required"); it
    // also keeps the replies in step with the commands.
    FtpReply reply;
    try {
        reply = readReply(readTimeout());
    } catch (const EIdFTPError&) {
        closeAll();
        throw LinkError(QStringLiteral("Falha na conexão segura de dados: %1").arg(failure));
    }
    if (reply.isPositive() || reply.isPreliminary())
        throw EIdFTPError(kind, QStringLiteral("Falha na conexão segura de dados: %1").arg(failure));
    throw EIdFTPError(refusalOf(reply), QStringLiteral("Falha na conexão segura de dados: %1 (%2)").arg(failure, serverText(reply.text)),
                      reply.code);
}

// After a failure on our side in the middle of a transfer the server still sends
// its final reply; reading it keeps the replies in step with the commands.
void TIdFTP::Impl::resyncAfterBrokenTransfer() noexcept
{
    try {
        readReply(readTimeout());
    } catch (...) {
        closeAll();
    }
}

void TIdFTP::Impl::startTransfer(const QByteArray& request, std::int64_t restartAt)
{
    try {
        openDataConnection();
    } catch (const LinkError&) {
        throw;
    } catch (const EIdFTPError& e) {
        // Our own failure to prepare the data connection's TLS: the next one may
        // well go through.
        if (e.failure() == FtpFailure::LocalFile)
            throw EIdFTPTransferBroken(e.Message());
        throw;
    }
    if (restartAt > 0) {
        // REST comes last before the transfer command (RFC 3659 section 5.3): some
        // servers forget it at a PASV.
        FtpReply rest;
        try {
            rest = command(QStringLiteral("REST %1").arg(restartAt));
        } catch (...) {
            closeData();
            throw;
        }
        if (rest.code != 350) {
            closeData();
            throw EIdFTPRestartRefused(serverText(rest.text), rest.code);
        }
    }
    FtpReply first;
    try {
        first = send(request);
    } catch (...) {
        closeData();
        throw;
    }
    if (!first.isPreliminary()) {
        closeData();
        throw serverError(first);
    }
    secureDataConnection();
}

std::int64_t TIdFTP::Impl::transfer(const QByteArray& request, TWorkMode mode, std::int64_t expected,
                                    const std::function<void(Socket&, WorkReporter&)>& body, std::int64_t restartAt)
{
    if (buffer.empty())
        buffer.resize(kBufferSize);
    startTransfer(request, restartAt);

    WorkReporter work(q.m_events, mode);
    bool finalReplyRead = false;
    try {
        work.begin(expected);
        try {
            body(data, work);
        } catch (const LinkError& e) {
            if (cancelled())
                throw;
            // The data connection broke; the control connection may well live on.
            // A server that saw the break says so at once (426): then it stays
            // open, and a new attempt needs no new login.
            work.endQuietly();
            closeData();
            try {
                readReply(kBrokenDataReplyWait);
            } catch (...) {
                throw LinkError(e.Message());
            }
            finalReplyRead = true;
            throw EIdFTPDataConnectionLost(e.Message());
        }
        // With an upload, closing our end is what tells the server the file is whole.
        data.finishStream(readTimeout(), aborted());
        closeData();
        const auto deadline = Clock::now() + readTimeout();
        const FtpReply final = finalReply(readReply(deadline, readTimeout()), deadline, readTimeout());
        finalReplyRead = true;
        if (final.code != 226 && final.code != 250)
            throw serverError(final);
        work.end();
    } catch (const LinkError&) {
        work.endQuietly();
        throw;
    } catch (...) {
        work.endQuietly();
        closeData();
        if (!finalReplyRead && !cancelled())
            resyncAfterBrokenTransfer();
        throw;
    }
    return work.total();
}
