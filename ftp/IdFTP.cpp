// The control session: RFC 959 commands and replies on one control connection,
// passive data connections (PASV of RFC 959, EPSV of RFC 2428), FEAT (RFC 2389),
// SIZE, MLSD, MLST and REST in stream mode (RFC 3659), UTF-8 path names (RFC 2640),
// APPE and RNFR/RNTO (RFC 959), the hash commands (HASH, XSHA256 and kin), and explicit
// TLS with protected data connections (AUTH TLS, PBSZ, PROT of RFC 4217 and RFC 2228).
#include "IdFTP.h"

#include "FtpDataTransfer.h"
#include "FtpListParser.h"
#include "FtpPartFile.h"
#include "FtpReply.h"
#include "FtpReplyParsers.h"
#include "FtpSocket.h"
#include "FtpText.h"
#include "FtpTls.h"
#include "VisibleText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <mutex>
#include <optional>

using namespace ftp;

namespace {

// Downloads are received in pieces of up to this much: over loopback a download to
// a file ran about twice as fast with 1 MiB as with 64 KiB (fewer, larger writes).
constexpr std::size_t kBufferSize = std::size_t(1) << 20;
// No folder of ours sends this much listing; reading on would only cost time (the
// entries themselves are bounded by FtpListing's limits).
constexpr qsizetype kMaxListingBytes = qsizetype(256) << 20;
// QUIT is a courtesy: we close in any case, so we do not wait long for its reply.
constexpr Millis kQuitWait{3000};
// After the data connection broke, how long the server has to say so on the control
// connection before that one counts as broken too.
constexpr Millis kBrokenDataReplyWait{2000};
// Between commands a server has at most a closing notice or a late reply to say;
// more than this is a server gone wrong, and reading on would never end while it
// keeps sending.
constexpr std::size_t kMaxIdleBytes = 64 * 1024;
// RFC 959 allows one preliminary reply before the final one; a server may say
// "120 ready in n minutes" or pad a little, but one that keeps sending them is only
// keeping us busy.
constexpr int kMaxPreliminaryReplies = 20;

QString notConnectedText() { return QStringLiteral("Não conectado ao servidor FTP"); }
QString closedByServerText() { return QStringLiteral("A conexão foi fechada pelo servidor"); }

// What a server says reaches messages, status lines and the log: its control
// characters are shown, not obeyed.
QString serverText(const QString& text) { return visibleText(text, LineBreaks::Keep); }

EIdFTPError serverError(const FtpReply& reply)
{
    return EIdFTPError(serverText(reply.text), reply.code);
}

// A name as status lines and messages show it.
QString shownName(const RemoteName& name) { return visibleText(name.displayText()); }

}

struct TIdFTP::Impl {
    explicit Impl(TIdFTP& owner) : q(owner) {}

    TIdFTP& q;
    Socket control;
    Socket data;
    // Abort() shuts the sockets down from another thread; the operation's thread takes
    // this lock whenever it opens or closes one, so Abort never touches a closed handle.
    std::mutex socketsMutex;
    std::atomic<bool> aborted{false};
    FtpReplyReader reader;
    FtpCapabilities caps;
    // Set when the control connection negotiated TLS; its data connections use it too.
    std::unique_ptr<TlsContext> tls;
    bool dataProtected = false; // the server took "PROT P"
    Ipv4Endpoint server;
    FtpListing listing;
    std::vector<char> buffer;

    void status(const QString& text)
    {
        if (IFtpEvents* e = q.m_events.load())
            e->OnStatus(text);
    }

    void closeData() noexcept
    {
        std::lock_guard lock(socketsMutex);
        data.close();
    }

    void closeAll() noexcept
    {
        std::lock_guard lock(socketsMutex);
        data.close();
        control.close();
        reader.clear();
    }

    // Runs an operation. A failure of the connection itself closes it, since the
    // replies that are still on their way would answer the wrong commands; after
    // Abort every failure reads as the cancel it is.
    template <typename F>
    auto guarded(F&& operation) -> decltype(operation())
    {
        try {
            return operation();
        } catch (const LinkError&) {
            closeAll();
            if (aborted.load())
                throw EIdFTPError(cancelledText());
            throw;
        } catch (...) {
            if (aborted.load()) {
                closeAll();
                throw EIdFTPError(cancelledText());
            }
            throw;
        }
    }

    void ensureConnected()
    {
        if (aborted.load())
            throw LinkError(cancelledText());
        if (!control.isOpen())
            throw EIdFTPError(notConnectedText());
    }

    // Between commands the server has nothing to say, unless it is closing the
    // connection (421, RFC 959 section 5.4) or has closed it. Returns why the
    // connection is gone, or nothing while it is alive.
    std::optional<EIdFTPError> idleProblem()
    {
        bool closed = false;
        char chunk[4096];
        std::size_t drained = 0;
        try {
            for (;;) {
                const Socket::Pending p = control.pendingNow();
                if (p == Socket::Pending::Nothing)
                    break;
                if (p == Socket::Pending::Closed) {
                    closed = true;
                    break;
                }
                const std::size_t n = control.receiveNow(chunk, sizeof chunk);
                if (n == 0)
                    break;
                reader.append(chunk, n);
                while (auto stale = reader.next()) {
                    if (stale->code == 421)
                        return serverError(*stale);
                }
                drained += n;
                if (drained > kMaxIdleBytes)
                    return EIdFTPError(QStringLiteral("O servidor enviou mais de %1 KiB sem que nada fosse pedido").arg(kMaxIdleBytes / 1024));
            }
            // Replies that came in behind the last one we read.
            while (auto stale = reader.next()) {
                if (stale->code == 421)
                    return serverError(*stale);
            }
        } catch (const EIdFTPError& e) {
            return e;
        }
        reader.clear(); // a stray half line must not run into the next reply
        if (closed)
            return EIdFTPError(closedByServerText());
        return std::nullopt;
    }

    static QByteArray commandBytes(const QString& command)
    {
        for (const QChar c : command)
            if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0))
                throw EIdFTPError(QStringLiteral("Nome inválido (contém quebra de linha): %1").arg(visibleText(command)));
        return command.toUtf8() + "\r\n";
    }

    // A command about a remote name: its bytes go out exactly as they are.
    static QByteArray commandBytes(const char* verb, const RemoteName& name)
    {
        // A name with a line break would end our command early and smuggle the rest
        // in as a second one.
        const QByteArray& bytes = name.bytes();
        if (bytes.contains('\r') || bytes.contains('\n') || bytes.contains('\0'))
            throw EIdFTPError(QStringLiteral("Nome inválido (contém quebra de linha): %1").arg(shownName(name)));
        return QByteArray(verb) + ' ' + bytes + "\r\n";
    }

    // Bytes that are no reply leave us unable to tell which reply answers which
    // command: that is a broken connection, which gets closed.
    std::optional<FtpReply> nextReply()
    {
        try {
            return reader.next();
        } catch (const LinkError&) {
            throw;
        } catch (const EIdFTPError& e) {
            throw LinkError(e.Message());
        }
    }

    // The next reply, which must come before the deadline; timeout is the wait that
    // deadline stands for, for the message.
    FtpReply readReply(std::chrono::steady_clock::time_point deadline, Millis timeout)
    {
        char chunk[16384];
        for (;;) {
            if (auto reply = nextReply()) {
                if (reply->code == 421) {
                    // The server is closing the connection (RFC 959 section 5.4).
                    closeAll();
                    throw serverError(*reply);
                }
                return *reply;
            }
            const std::optional<std::size_t> n = control.receiveBefore(chunk, sizeof chunk, deadline, aborted);
            if (!n)
                throw LinkError(QStringLiteral("Tempo esgotado: o servidor não respondeu em %1").arg(durationText(timeout)));
            if (*n == 0)
                throw LinkError(closedByServerText());
            reader.append(chunk, *n);
        }
    }

    FtpReply readReply(Millis timeout) { return readReply(std::chrono::steady_clock::now() + timeout, timeout); }

    // The final reply, after the preliminary ones, all before one deadline.
    FtpReply finalReply(FtpReply reply, std::chrono::steady_clock::time_point deadline, Millis timeout)
    {
        for (int preliminary = 0; reply.isPreliminary(); ++preliminary) {
            if (preliminary == kMaxPreliminaryReplies)
                throw LinkError(QStringLiteral("O servidor enviou mais de %1 respostas preliminares sem a resposta final")
                                    .arg(kMaxPreliminaryReplies));
            reply = readReply(deadline, timeout);
        }
        return reply;
    }

    // Sends a command and returns its first reply, preliminary (1xx) or not.
    FtpReply send(const QByteArray& bytes) { return send(bytes, std::chrono::steady_clock::now() + readTimeout()); }
    FtpReply send(const QByteArray& bytes, std::chrono::steady_clock::time_point deadline)
    {
        ensureConnected();
        if (auto problem = idleProblem()) {
            closeAll();
            throw *problem;
        }
        control.sendAll(bytes.constData(), static_cast<std::size_t>(bytes.size()), readTimeout(), WaitFor::Reply, aborted);
        return readReply(deadline, readTimeout());
    }

    // Sends a command that opens no data connection and returns its final reply.
    FtpReply command(const QByteArray& bytes)
    {
        const auto deadline = std::chrono::steady_clock::now() + readTimeout();
        return finalReply(send(bytes, deadline), deadline, readTimeout());
    }
    FtpReply command(const QString& text) { return command(commandBytes(text)); }
    FtpReply command(const char* verb, const RemoteName& name) { return command(commandBytes(verb, name)); }

    void openDataConnection()
    {
        std::optional<std::uint16_t> port;
        // After an accepted "EPSV ALL" the server refuses PASV, so EPSV it is.
        if (!caps.epsvRefused && (caps.epsvAll || caps.useEpsv())) {
            const FtpReply r = command(QStringLiteral("EPSV"));
            if (r.code == 229) {
                port = parseEpsvReply(r.text);
                if (!port)
                    throw EIdFTPError(QStringLiteral("Resposta inválida ao EPSV: %1").arg(serverText(r.text)), r.code);
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
                throw EIdFTPError(QStringLiteral("Resposta inválida ao PASV: %1").arg(serverText(r.text)), r.code);
            // The address in the reply is not used: the data connection goes to the
            // host we already talk to. Otherwise a server, or anyone who rewrites its
            // reply, could have us connect to any host and hand it our file; servers
            // behind NAT also often name a private address we cannot reach.
            port = pasv->port;
        }
        try {
            Socket s = Socket::connectTo({server.address, *port}, connectTimeout(), aborted);
            if (dataProtected)
                s.attachTls(std::make_unique<TlsLayer>(*tls, s.handle(), q.Host, control.tls()));
            std::lock_guard lock(socketsMutex);
            data = std::move(s);
        } catch (const LinkError& e) {
            if (aborted.load())
                throw;
            // The control connection is still in step: the server only waits for us.
            throw EIdFTPError(QStringLiteral("Não foi possível abrir a conexão de dados: %1").arg(e.Message()));
        }
    }

    // The TLS handshake of a protected data connection, once the server has answered
    // the transfer command: servers start theirs only then (vsftpd), and one that
    // reads a handshake before the command takes it for a peer that went away and
    // closes the connection (pyftpdlib). A data connection that did not resume the
    // control connection's session must at least show the same certificate: anyone
    // else could have taken the server's data port.
    void secureDataConnection()
    {
        TlsLayer* layer = data.tls();
        if (!layer)
            return;
        QString failure;
        try {
            layer->handshake(std::chrono::steady_clock::now() + readTimeout(), readTimeout(), aborted);
            if (!layer->resumed() && layer->fingerprint() != control.tls()->fingerprint())
                failure = QStringLiteral("a conexão de dados apresentou um certificado diferente do da conexão de controle");
        } catch (const LinkError& e) {
            if (aborted.load())
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
            throw EIdFTPError(QStringLiteral("Falha na conexão segura de dados: %1").arg(failure));
        throw EIdFTPError(QStringLiteral("Falha na conexão segura de dados: %1 (%2)").arg(failure, serverText(reply.text)), reply.code);
    }

    // Before the login: "AUTH TLS" as the mode asks, then the handshake and the
    // certificate check. The password goes out only on a connection whose
    // certificate was verified or accepted.
    void negotiateTls()
    {
        if (q.Tls == TlsMode::Never) {
            status(QStringLiteral("Conexão sem criptografia"));
            return;
        }
        const FtpReply r = command(QStringLiteral("AUTH TLS"));
        if (r.code != 234) {
            if (q.Tls == TlsMode::Required)
                throw EIdFTPError(QStringLiteral("O servidor %1 não oferece conexão segura (TLS), que esta instalação exige: %2")
                                      .arg(q.Host, serverText(r.text)), r.code);
            status(QStringLiteral("O servidor não aceitou o AUTH TLS: %1").arg(serverText(r.text)));
            status(QStringLiteral("Conexão sem criptografia"));
            return;
        }
        // Whatever came behind the 234 came before the encryption, from anyone on the
        // way; read later, it would pass for the encrypted server's replies.
        if (reader.hasBufferedBytes() || control.pendingNow() == Socket::Pending::Data)
            throw LinkError(QStringLiteral("O servidor enviou dados inesperados após aceitar o AUTH TLS"));

        tls = std::make_unique<TlsContext>();
        {
            auto layer = std::make_unique<TlsLayer>(*tls, control.handle(), q.Host);
            std::lock_guard lock(socketsMutex);
            control.attachTls(std::move(layer));
        }
        TlsLayer& layer = *control.tls();
        layer.handshake(std::chrono::steady_clock::now() + readTimeout(), readTimeout(), aborted);

        const QString problem = layer.verificationProblem();
        if (!problem.isEmpty()) {
            const QString fingerprint = layer.fingerprint();
            if (q.Tls == TlsMode::Required || fingerprint.isEmpty() || !q.AcceptedCertificates.contains(fingerprint))
                throw UntrustedCertificateError(QStringLiteral("O certificado do servidor %1 não pôde ser verificado: %2")
                                                    .arg(q.Host, problem),
                                                q.Host, fingerprint, problem);
            status(QStringLiteral("Certificado aceito anteriormente pelo usuário (%1; SHA-256 %2)").arg(problem, fingerprint));
        }
        status(QStringLiteral("Conexão segura (%1, %2)").arg(layer.protocol(), layer.cipher()));
    }

    // After the login on a secured connection: protected data connections.
    void protectData()
    {
        if (!control.tls())
            return;
        command(QStringLiteral("PBSZ 0")); // required before PROT, whatever it answers (RFC 4217 section 9)
        const FtpReply r = command(QStringLiteral("PROT P"));
        if (r.isPositive()) {
            dataProtected = true;
            return;
        }
        if (q.Tls == TlsMode::Required)
            throw EIdFTPError(QStringLiteral("O servidor recusou a proteção dos dados (PROT P): %1").arg(serverText(r.text)), r.code);
        status(QStringLiteral("O servidor recusou a proteção dos dados (PROT P); os arquivos e as listagens seguem sem criptografia: %1")
                   .arg(serverText(r.text)));
    }

    // After a failure on our side in the middle of a transfer the server still sends
    // its final reply; reading it keeps the replies in step with the commands.
    void resyncAfterBrokenTransfer() noexcept
    {
        try {
            readReply(readTimeout());
        } catch (...) {
            closeAll();
        }
    }

    // One transfer on a new passive data connection; with restartAt, from that
    // position of the file on. Returns the bytes moved.
    std::int64_t transfer(const QByteArray& request, TWorkMode mode, std::int64_t expected,
                          const std::function<void(Socket&, WorkReporter&)>& body, std::int64_t restartAt = 0)
    {
        if (buffer.empty())
            buffer.resize(kBufferSize);
        try {
            openDataConnection();
        } catch (const LinkError&) {
            throw;
        } catch (const EIdFTPError& e) {
            // Our own failure to reach the data port: the server may well take the
            // next one.
            if (e.Code() == 0)
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

        WorkReporter work(q.m_events, mode);
        bool finalReplyRead = false;
        try {
            work.begin(expected);
            try {
                body(data, work);
            } catch (const LinkError& e) {
                if (aborted.load())
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
            data.finishStream(readTimeout(), aborted);
            closeData();
            const auto deadline = std::chrono::steady_clock::now() + readTimeout();
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
            if (!finalReplyRead && !aborted.load())
                resyncAfterBrokenTransfer();
            throw;
        }
        return work.total();
    }

    TransferLimits limits() const { return {readTimeout(), &aborted}; }

    // RETR into out, from startPos of the file on; localPath names it in messages
    // (empty: a stream of the caller's). expected: the file's size, -1 to ask SIZE.
    // Returns the bytes received.
    std::int64_t receiveFile(const RemoteName& remoteName, QIODevice& out, const QString& localPath,
                             std::int64_t startPos = 0, std::int64_t expected = -1)
    {
        if (expected < 0) {
            const FtpReply sizeReply = command("SIZE", remoteName);
            expected = sizeReply.code == 213 ? parseSizeReply(sizeReply.text).value_or(-1) : -1;
        }

        const QString where = localPath.isEmpty() ? QStringLiteral("o destino") : QDir::toNativeSeparators(localPath);
        if (startPos > 0)
            status(QStringLiteral("Recebendo arquivo %1 a partir do byte %2...").arg(shownName(remoteName)).arg(startPos));
        else
            status(QStringLiteral("Recebendo arquivo %1...").arg(shownName(remoteName)));
        const std::int64_t received = transfer(commandBytes("RETR", remoteName), wmRead, 0,
            [&](Socket& data, WorkReporter& work) {
                receiveToSink(data, limits(), work, buffer, [&out, &where](const char* p, std::size_t n) {
                    if (out.write(p, static_cast<qint64>(n)) != static_cast<qint64>(n))
                        throw LocalError(QStringLiteral("Erro ao gravar o arquivo local %1: %2").arg(where, out.errorString()));
                });
            }, startPos);
        // A server whose data connection broke may still say 226; the size it gave
        // before tells a whole file from a cut one (in image type, where the bytes
        // on the wire are the bytes of the file).
        if (q.TransferType == ftBinary && expected >= 0 && startPos + received != expected)
            throw EIdFTPTransferBroken(QStringLiteral("Transferência incompleta: recebidos %1 de %2 bytes").arg(startPos + received).arg(expected));
        return received;
    }

    // A command whose reply may take longer than the usual wait.
    FtpReply commandWithin(const QByteArray& bytes, Millis wait)
    {
        const auto deadline = std::chrono::steady_clock::now() + wait;
        return finalReply(send(bytes, deadline), deadline, wait);
    }

    // Zero or less would mean "no time-out of our own"; nothing may wait forever, so
    // it means the default instead.
    Millis readTimeout() const { return q.ReadTimeout.count() > 0 ? q.ReadTimeout : Millis(60000); }
    Millis connectTimeout() const { return q.ConnectTimeout.count() > 0 ? q.ConnectTimeout : Millis(15000); }
};

TIdFTP::TIdFTP() : d(std::make_unique<Impl>(*this)) {}

TIdFTP::~TIdFTP() { d->closeAll(); }

void TIdFTP::Connect()
{
    d->closeAll();
    d->aborted.store(false);
    d->caps = {};
    d->listing = {};
    d->tls.reset();
    d->dataProtected = false;
    d->guarded([&] {
        try {
            d->status(QStringLiteral("Conectando em %1:%2...").arg(Host).arg(Port));
            const auto started = std::chrono::steady_clock::now();
            const std::uint32_t address = resolveIPv4(Host, d->connectTimeout(), d->aborted);
            const auto left = std::max(Millis(1), d->connectTimeout() - std::chrono::ceil<Millis>(std::chrono::steady_clock::now() - started));
            try {
                Socket s = Socket::connectTo({address, static_cast<std::uint16_t>(Port)}, left, d->aborted);
                std::lock_guard lock(d->socketsMutex);
                d->control = std::move(s);
            } catch (const LinkError& e) {
                if (d->aborted.load())
                    throw;
                // Name the host as the user knows it, not only its address.
                throw LinkError(QStringLiteral("%1 (%2)").arg(e.Message(), Host));
            }
            d->server = d->control.peer();

            // "120 ready in nnn minutes" comes before the real greeting; the wait for it
            // is part of the one wait for the greeting.
            const auto deadline = std::chrono::steady_clock::now() + d->readTimeout();
            const FtpReply greeting = d->finalReply(d->readReply(deadline, d->readTimeout()), deadline, d->readTimeout());
            if (greeting.code != 220)
                throw serverError(greeting);
            d->negotiateTls();

            d->status(QStringLiteral("Conectado; efetuando login como %1...").arg(Username));
            FtpReply r = d->command(QStringLiteral("USER ") + Username);
            if (r.code == 331)
                r = d->command(QStringLiteral("PASS ") + Password);
            if (r.code == 332)
                throw EIdFTPError(QStringLiteral("O servidor exige uma conta (ACCT), o que este programa não usa"), r.code);
            if (r.code != 230 && r.code != 202)
                throw serverError(r);
            d->protectData();

            r = d->command(TransferType == ftBinary ? QStringLiteral("TYPE I") : QStringLiteral("TYPE A"));
            if (!r.isPositive())
                throw serverError(r);

            r = d->command(QStringLiteral("FEAT"));
            if (r.code == 211)
                d->caps = parseFeatReply(r.text);
            if (d->caps.utf8)
                d->command(QStringLiteral("OPTS UTF8 ON")); // servers that always speak UTF-8 may refuse it
            if (TryNATFastTrack && d->caps.epsv)
                d->caps.epsvAll = d->command(QStringLiteral("EPSV ALL")).isPositive();
            d->status(QStringLiteral("Login efetuado em %1.").arg(Host));
        } catch (...) {
            d->closeAll();
            throw;
        }
    });
}

bool TIdFTP::IsSecure() const { return d->control.isOpen() && d->control.tls() && d->dataProtected; }

bool TIdFTP::Connected() const
{
    if (!d->control.isOpen())
        return false;
    if (d->aborted.load() || d->idleProblem()) {
        d->closeAll();
        return false;
    }
    return true;
}

void TIdFTP::Disconnect()
{
    const bool wasOpen = d->control.isOpen() && !d->aborted.load();
    if (wasOpen) {
        d->status(QStringLiteral("Desconectando..."));
        try {
            if (!d->idleProblem()) {
                const QByteArray bytes = Impl::commandBytes(QStringLiteral("QUIT"));
                d->control.sendAll(bytes.constData(), static_cast<std::size_t>(bytes.size()), kQuitWait, WaitFor::Reply, d->aborted);
                d->readReply(std::min(kQuitWait, d->readTimeout()));
            }
        } catch (...) {
        }
    }
    d->closeAll();
    if (wasOpen)
        d->status(QStringLiteral("Desconectado."));
}

QString TIdFTP::RetrieveCurrentDir()
{
    return d->guarded([&] {
        const FtpReply r = d->command(QStringLiteral("PWD"));
        if (r.code != 257)
            throw serverError(r);
        const auto path = parsePwdReply(r.text);
        if (!path)
            throw EIdFTPError(QStringLiteral("Resposta ao PWD sem caminho: %1").arg(serverText(r.text)), r.code);
        return *path;
    });
}

void TIdFTP::ChangeDir(const RemoteName& dir)
{
    d->guarded([&] {
        const FtpReply r = d->command("CWD", dir);
        if (!r.isPositive())
            throw serverError(r);
    });
}

void TIdFTP::MakeDir(const RemoteName& dir)
{
    d->guarded([&] {
        const FtpReply r = d->command("MKD", dir);
        if (!r.isPositive())
            throw serverError(r);
    });
}

void TIdFTP::Delete(const RemoteName& name)
{
    d->guarded([&] {
        const FtpReply r = d->command("DELE", name);
        if (!r.isPositive())
            throw serverError(r);
    });
}

void TIdFTP::List()
{
    d->listing = {};
    d->guarded([&] {
        d->ensureConnected();
        std::optional<ListingParser> parser;
        qsizetype received = 0;
        // The listing is read as it arrives: only the line in progress is held besides
        // the entries.
        const auto collect = [&](Socket& data, WorkReporter& work) {
            receiveToSink(data, d->limits(), work, d->buffer, [&](const char* p, std::size_t n) {
                received += static_cast<qsizetype>(n);
                if (received > kMaxListingBytes)
                    throw LocalError(QStringLiteral("Listagem grande demais (mais de %1 MiB)").arg(kMaxListingBytes >> 20));
                parser->feed(p, n);
            });
        };
        bool machine = d->caps.mlsd;
        try {
            parser.emplace(machine, QDate::currentDate());
            d->transfer(Impl::commandBytes(machine ? QStringLiteral("MLSD") : QStringLiteral("LIST")), wmRead, 0, collect);
        } catch (const EIdFTPError& e) {
            // A server whose FEAT promised MLSD but that does not know the command.
            if (!machine || (e.Code() != 500 && e.Code() != 502) || !d->control.isOpen())
                throw;
            d->caps.mlsd = machine = false;
            received = 0;
            parser.emplace(machine, QDate::currentDate());
            d->transfer(Impl::commandBytes(QStringLiteral("LIST")), wmRead, 0, collect);
        }
        d->listing = parser->finish();
    });
}

const FtpListing& TIdFTP::DirectoryListing() const { return d->listing; }

std::int64_t TIdFTP::Size(const RemoteName& name)
{
    try {
        return d->guarded([&]() -> std::int64_t {
            const FtpReply r = d->command("SIZE", name);
            if (r.code != 213)
                return -1;
            return parseSizeReply(r.text).value_or(-1);
        });
    } catch (...) {
        return -1;
    }
}

void TIdFTP::Get(const RemoteName& remoteName, const QString& localPath, bool canOverwrite, bool resume)
{
    if (resume)
        throw EIdFTPError(QStringLiteral("Retomar um download não é suportado"));
    checkDownloadTarget(localPath, canOverwrite);

    d->guarded([&] {
        d->ensureConnected();
        PartFile part(localPath);
        const std::int64_t received = d->receiveFile(remoteName, part.file(), localPath);
        part.commitAs(localPath);
        d->status(QStringLiteral("Arquivo %1 recebido (%2 bytes).").arg(shownName(remoteName)).arg(received));
    });
}

std::int64_t TIdFTP::Get(const RemoteName& remoteName, QIODevice& destination, std::int64_t startPos, std::int64_t expectedSize)
{
    return d->guarded([&] {
        d->ensureConnected();
        const std::int64_t received = d->receiveFile(remoteName, destination, QString(), startPos, expectedSize);
        d->status(QStringLiteral("Arquivo %1 recebido (%2 bytes).").arg(shownName(remoteName)).arg(received));
        return received;
    });
}

std::int64_t TIdFTP::Get(const RemoteName& remoteName, PartFile& destination, std::int64_t startPos, std::int64_t expectedSize)
{
    return d->guarded([&] {
        d->ensureConnected();
        const std::int64_t received = d->receiveFile(remoteName, destination.file(), destination.target(), startPos, expectedSize);
        d->status(QStringLiteral("Arquivo %1 recebido (%2 bytes).").arg(shownName(remoteName)).arg(startPos + received));
        return received;
    });
}

std::int64_t TIdFTP::Put(const QString& localPath, const RemoteName& remoteName, bool append, std::int64_t startPos)
{
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw EIdFTPError(QStringLiteral("Não foi possível abrir o arquivo local %1: %2")
                              .arg(QDir::toNativeSeparators(localPath), file.errorString()));
    const RemoteName name = remoteName.isEmpty() ? RemoteName(QFileInfo(localPath).fileName()) : remoteName;
    const std::int64_t size = file.size();
    if (startPos < 0 || startPos > size || !file.seek(startPos))
        throw EIdFTPError(QStringLiteral("Posição %1 fora do arquivo local %2 (%3 bytes)")
                              .arg(startPos).arg(QDir::toNativeSeparators(localPath)).arg(size));

    return d->guarded([&] {
        d->ensureConnected();
        const std::int64_t count = size - startPos;
        const auto body = [&](Socket& data, WorkReporter& work) { sendFromFile(data, file, count, d->limits(), work, d->buffer); };
        std::int64_t sent = 0;
        if (startPos == 0 && !append) {
            d->status(QStringLiteral("Enviando arquivo %1 (%2 bytes)...").arg(shownName(name)).arg(size));
            sent = d->transfer(Impl::commandBytes("STOR", name), wmWrite, size, body);
        } else {
            d->status(QStringLiteral("Continuando o envio de %1 a partir do byte %2 de %3...").arg(shownName(name)).arg(startPos).arg(size));
            bool appendIt = append || d->caps.restStorRefused;
            if (!appendIt) {
                try {
                    sent = d->transfer(Impl::commandBytes("STOR", name), wmWrite, count, body, startPos);
                } catch (const EIdFTPRestartRefused&) {
                    // Servers that cannot restart a STOR may still append (RFC 959 APPE).
                    d->caps.restStorRefused = appendIt = true;
                }
            }
            if (appendIt) {
                try {
                    sent = d->transfer(Impl::commandBytes("APPE", name), wmWrite, count, body);
                } catch (const EIdFTPError& e) {
                    if (e.Code() == 500 || e.Code() == 502 || e.Code() == 504)
                        throw EIdFTPRestartRefused(e.Message(), e.Code());
                    throw;
                }
            }
        }
        // Another program cut the file short while we sent it: what the server got is
        // a piece of a file that no longer exists as it was.
        if (sent != count)
            throw EIdFTPError(QStringLiteral("O arquivo local %1 mudou durante o envio: enviados %2 de %3 bytes")
                                  .arg(QDir::toNativeSeparators(localPath)).arg(startPos + sent).arg(size));
        // A server that lost part of the file still says 226; where it can tell the
        // size of what it stored, that size has the last word.
        if (TransferType == ftBinary) {
            const FtpReply r = d->command("SIZE", name);
            if (r.code == 213) {
                const auto stored = parseSizeReply(r.text);
                if (stored && *stored != size)
                    throw EIdFTPTransferBroken(QStringLiteral("Envio incompleto: o servidor guardou %1 de %2 bytes").arg(*stored).arg(size));
            }
        }
        d->status(QStringLiteral("Arquivo %1 enviado (%2 bytes).").arg(shownName(name)).arg(startPos + sent));
        return sent;
    });
}

RemoteFileInfo TIdFTP::FileInfo(const RemoteName& name)
{
    return d->guarded([&]() -> RemoteFileInfo {
        d->ensureConnected();
        const FtpReply size = d->command("SIZE", name);
        if (size.code == 213) {
            if (const auto n = parseSizeReply(size.text))
                return {true, *n};
        }
        if (d->caps.mlst) {
            const FtpReply r = d->command("MLST", name);
            if (r.code == 250) {
                const auto item = parseMlstReply(r.text);
                return {true, item && !item->IsDirectory ? item->Size : -1};
            }
            if (r.code == 550)
                return {false, -1};
            // Anything else says nothing of the name: the listing may.
        }
        // What LIST shows for a name differs between servers: "-l" output for a
        // file, the contents of a folder, nothing or a refusal for a name that is not
        // there. Anything listed means something is there.
        std::optional<ListingParser> parser;
        parser.emplace(false, QDate::currentDate());
        qsizetype received = 0;
        try {
            d->transfer(Impl::commandBytes("LIST", name), wmRead, 0, [&](Socket& data, WorkReporter& work) {
                receiveToSink(data, d->limits(), work, d->buffer, [&](const char* p, std::size_t n) {
                    received += static_cast<qsizetype>(n);
                    if (received > kMaxListingBytes)
                        throw LocalError(QStringLiteral("Listagem grande demais (mais de %1 MiB)").arg(kMaxListingBytes >> 20));
                    parser->feed(p, n);
                });
            });
        } catch (const LinkError&) {
            throw;
        } catch (const EIdFTPError& e) {
            if (e.Code() == 450 || e.Code() == 550)
                return {false, -1};
            throw;
        }
        const FtpListing entries = parser->finish();
        // Lines we cannot read (a bare name, as NLST gives it) still say that
        // something is there; only an empty listing says nothing is.
        if (entries.empty())
            return {received > 0, -1};
        const QByteArray& wanted = name.bytes();
        std::int64_t found = -1;
        int files = 0;
        for (const TIdFTPListItem item : entries) {
            if (item.IsDirectory)
                continue;
            ++files;
            if (item.RawName == wanted || item.RawName.endsWith('/' + wanted))
                found = item.Size;
        }
        if (found < 0 && files == 1 && entries.size() == 1)
            found = entries[0].Size;
        return {true, found};
    });
}

void TIdFTP::Rename(const RemoteName& from, const RemoteName& to)
{
    d->guarded([&] {
        d->ensureConnected();
        FtpReply r = d->command("RNFR", from);
        if (r.code != 350)
            throw serverError(r);
        r = d->command("RNTO", to);
        if (!r.isPositive())
            throw serverError(r);
        d->status(QStringLiteral("Arquivo %1 renomeado para %2.").arg(shownName(from), shownName(to)));
    });
}

std::optional<RemoteHash> TIdFTP::Hash(const RemoteName& name, std::chrono::milliseconds wait)
{
    const Millis within = std::max(wait, d->readTimeout());
    return d->guarded([&]() -> std::optional<RemoteHash> {
        d->ensureConnected();
        FtpCapabilities& caps = d->caps;
        const QString sha256 = QStringLiteral("SHA-256");
        if (!caps.hashAlgorithms.isEmpty()) {
            if (caps.hashAlgorithms.first() != sha256 && caps.hashAlgorithms.contains(sha256)
                && d->command(QStringLiteral("OPTS HASH SHA-256")).isPositive()) {
                caps.hashAlgorithms.removeAll(sha256);
                caps.hashAlgorithms.prepend(sha256);
            }
            const FtpReply r = d->commandWithin(Impl::commandBytes("HASH", name), within);
            if (r.code != 213)
                throw serverError(r);
            const auto h = parseHashReply(r.text);
            if (!h)
                throw EIdFTPError(QStringLiteral("Resposta inválida ao HASH: %1").arg(serverText(r.text)), r.code);
            return RemoteHash{h->algorithm, h->digest};
        }
        struct XCommand {
            bool offered;
            const char* verb;
            const char* algorithm;
        };
        const XCommand commands[] = {
            {caps.xsha256, "XSHA256", "SHA-256"}, {caps.xsha1, "XSHA1", "SHA-1"}, {caps.xmd5, "XMD5", "MD5"}, {caps.xcrc, "XCRC", "CRC32"}};
        for (const XCommand& x : commands) {
            if (!x.offered)
                continue;
            const FtpReply r = d->commandWithin(Impl::commandBytes(x.verb, name), within);
            if (!r.isPositive())
                throw serverError(r);
            const QString algorithm = QString::fromLatin1(x.algorithm);
            const auto digest = parseHashValue(r.text, hashDigits(algorithm));
            if (!digest)
                throw EIdFTPError(QStringLiteral("Resposta inválida ao %1: %2").arg(QLatin1String(x.verb), serverText(r.text)), r.code);
            return RemoteHash{algorithm, *digest};
        }
        return std::nullopt;
    });
}

bool TIdFTP::IsTransientFailure(const std::exception& e)
{
    if (dynamic_cast<const LocalError*>(&e))
        return false;
    if (dynamic_cast<const LinkError*>(&e) || dynamic_cast<const EIdFTPTransferBroken*>(&e))
        return true;
    const auto* ftpError = dynamic_cast<const EIdFTPError*>(&e);
    if (!ftpError)
        return false;
    // 452: no room on the server; waiting a minute does not make room.
    const int code = ftpError->Code();
    return code >= 400 && code < 500 && code != 452;
}

void TIdFTP::Abort()
{
    d->aborted.store(true);
    std::lock_guard lock(d->socketsMutex);
    d->data.shutdownBoth();
    d->control.shutdownBoth();
}
