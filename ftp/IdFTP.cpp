// The control session: RFC 959 commands and replies on one control connection,
// passive data connections (PASV of RFC 959, EPSV of RFC 2428), FEAT (RFC 2389),
// SIZE and MLSD (RFC 3659), UTF-8 path names (RFC 2640), explicit TLS with
// protected data connections (AUTH TLS, PBSZ, PROT of RFC 4217 and RFC 2228).
#include "IdFTP.h"

#include "FtpDataTransfer.h"
#include "FtpListParser.h"
#include "FtpReply.h"
#include "FtpReplyParsers.h"
#include "FtpSocket.h"
#include "FtpText.h"
#include "FtpTls.h"
#include "VisibleText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <optional>
#include <system_error>

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

std::filesystem::path nativePath(const QString& path)
{
#ifdef _WIN32
    return std::filesystem::path(QDir::toNativeSeparators(path).toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

// The temporary file a download goes to: beside the target (so the final rename
// stays on one file system), hidden where a leading dot hides, with a short name no
// one else uses. It does not repeat the target's name, which may already be as long
// as the file system allows.
class PartFile {
public:
    explicit PartFile(const QString& target)
    {
        const QFileInfo info(target);
        const QString stem = info.absolutePath() + QLatin1String("/.ftpcaldoria.part-");
        for (int attempt = 0; attempt < 20; ++attempt) {
            QString suffix;
            for (int i = 0; i < 8; ++i)
                suffix.append(QLatin1Char("abcdefghijklmnopqrstuvwxyz0123456789"[QRandomGenerator::global()->bounded(36)]));
            m_file.setFileName(stem + suffix);
            if (m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
                return;
            if (m_file.error() != QFileDevice::OpenError || !QFileInfo::exists(m_file.fileName()))
                break;
        }
        throw EIdFTPError(QStringLiteral("Não foi possível criar o arquivo temporário em %1: %2")
                              .arg(QDir::toNativeSeparators(info.absolutePath()), m_file.errorString()));
    }
    ~PartFile()
    {
        if (!m_committed) {
            m_file.close();
            QFile::remove(m_file.fileName());
        }
    }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    QFile& file() { return m_file; }

    void commitAs(const QString& target)
    {
        m_file.close();
        if (m_file.error() != QFileDevice::NoError)
            throw EIdFTPError(QStringLiteral("Erro ao gravar o arquivo local %1: %2")
                                  .arg(QDir::toNativeSeparators(target), m_file.errorString()));
        std::error_code ec;
        std::filesystem::rename(nativePath(m_file.fileName()), nativePath(target), ec);
        if (ec)
            throw EIdFTPError(QStringLiteral("Não foi possível gravar o arquivo %1: %2")
                                  .arg(QDir::toNativeSeparators(target), QString::fromStdString(ec.message())));
        m_committed = true;
    }

private:
    QFile m_file;
    bool m_committed = false;
};

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

    // One transfer on a new passive data connection. Returns the bytes moved.
    std::int64_t transfer(const QByteArray& command, TWorkMode mode, std::int64_t expected,
                          const std::function<void(Socket&, WorkReporter&)>& body)
    {
        if (buffer.empty())
            buffer.resize(kBufferSize);
        openDataConnection();
        FtpReply first;
        try {
            first = send(command);
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
            body(data, work);
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

    // RETR into out; localPath names it in messages (empty: a stream of the caller's).
    // Returns the bytes received.
    std::int64_t receiveFile(const RemoteName& remoteName, QIODevice& out, const QString& localPath)
    {
        const FtpReply sizeReply = command("SIZE", remoteName);
        const std::int64_t expected = sizeReply.code == 213 ? parseSizeReply(sizeReply.text).value_or(-1) : -1;

        const QString where = localPath.isEmpty() ? QStringLiteral("o destino") : QDir::toNativeSeparators(localPath);
        status(QStringLiteral("Recebendo arquivo %1...").arg(shownName(remoteName)));
        const std::int64_t received = transfer(commandBytes("RETR", remoteName), wmRead, 0,
            [&](Socket& data, WorkReporter& work) {
                receiveToSink(data, limits(), work, buffer, [&out, &where](const char* p, std::size_t n) {
                    if (out.write(p, static_cast<qint64>(n)) != static_cast<qint64>(n))
                        throw LocalError(QStringLiteral("Erro ao gravar o arquivo local %1: %2").arg(where, out.errorString()));
                });
            });
        // A server whose data connection broke may still say 226; the size it gave
        // before tells a whole file from a cut one (in image type, where the bytes
        // on the wire are the bytes of the file).
        if (q.TransferType == ftBinary && expected >= 0 && received != expected)
            throw EIdFTPError(QStringLiteral("Transferência incompleta: recebidos %1 de %2 bytes").arg(received).arg(expected));
        return received;
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
    // Only a regular file is replaced: opening a named pipe would block until some
    // other program opened its other end, and a device is nobody's download.
    // A link is judged by what it leads to (the download replaces the link itself).
    std::error_code ec;
    auto type = std::filesystem::symlink_status(nativePath(localPath), ec).type();
    if (type == std::filesystem::file_type::symlink) {
        type = std::filesystem::status(nativePath(localPath), ec).type();
        if (type == std::filesystem::file_type::not_found)
            type = std::filesystem::file_type::regular; // a dangling link is replaced like a file
    }
    if (type == std::filesystem::file_type::directory)
        throw EIdFTPError(QStringLiteral("O destino é uma pasta: %1").arg(QDir::toNativeSeparators(localPath)));
    if (type != std::filesystem::file_type::not_found && type != std::filesystem::file_type::none) {
        if (type != std::filesystem::file_type::regular)
            throw EIdFTPError(QStringLiteral("O destino não é um arquivo comum: %1").arg(QDir::toNativeSeparators(localPath)));
        if (!canOverwrite)
            throw EIdFTPError(QStringLiteral("O arquivo de destino já existe: %1").arg(QDir::toNativeSeparators(localPath)));
    }

    d->guarded([&] {
        d->ensureConnected();
        PartFile part(localPath);
        const std::int64_t received = d->receiveFile(remoteName, part.file(), localPath);
        part.commitAs(localPath);
        d->status(QStringLiteral("Arquivo %1 recebido (%2 bytes).").arg(shownName(remoteName)).arg(received));
    });
}

void TIdFTP::Get(const RemoteName& remoteName, QIODevice& destination)
{
    d->guarded([&] {
        d->ensureConnected();
        const std::int64_t received = d->receiveFile(remoteName, destination, QString());
        d->status(QStringLiteral("Arquivo %1 recebido (%2 bytes).").arg(shownName(remoteName)).arg(received));
    });
}

void TIdFTP::Put(const QString& localPath, const RemoteName& remoteName, bool append, std::int64_t startPos)
{
    if (append || startPos != 0)
        throw EIdFTPError(QStringLiteral("Continuar um envio (APPE/REST) não é suportado"));
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw EIdFTPError(QStringLiteral("Não foi possível abrir o arquivo local %1: %2")
                              .arg(QDir::toNativeSeparators(localPath), file.errorString()));
    const RemoteName name = remoteName.isEmpty() ? RemoteName(QFileInfo(localPath).fileName()) : remoteName;

    d->guarded([&] {
        d->ensureConnected();
        const std::int64_t size = file.size();
        d->status(QStringLiteral("Enviando arquivo %1 (%2 bytes)...").arg(shownName(name)).arg(size));
        const std::int64_t sent = d->transfer(Impl::commandBytes("STOR", name), wmWrite, size,
            [&](Socket& data, WorkReporter& work) { sendFromFile(data, file, size, d->limits(), work, d->buffer); });
        // Another program cut the file short while we sent it: what the server got is
        // a piece of a file that no longer exists as it was.
        if (sent != size)
            throw EIdFTPError(QStringLiteral("O arquivo local %1 mudou durante o envio: enviados %2 de %3 bytes")
                                  .arg(QDir::toNativeSeparators(localPath)).arg(sent).arg(size));
        // A server that lost part of the file still says 226; where it can tell the
        // size of what it stored, that size has the last word.
        if (TransferType == ftBinary) {
            const FtpReply r = d->command("SIZE", name);
            if (r.code == 213) {
                const auto stored = parseSizeReply(r.text);
                if (stored && *stored != sent)
                    throw EIdFTPError(QStringLiteral("Envio incompleto: o servidor guardou %1 de %2 bytes").arg(*stored).arg(sent));
            }
        }
        d->status(QStringLiteral("Arquivo %1 enviado (%2 bytes).").arg(shownName(name)).arg(sent));
    });
}

void TIdFTP::Abort()
{
    d->aborted.store(true);
    std::lock_guard lock(d->socketsMutex);
    d->data.shutdownBoth();
    d->control.shutdownBoth();
}
