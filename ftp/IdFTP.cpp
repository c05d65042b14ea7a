// The control session: RFC 959 commands and replies on one control connection,
// passive data connections (PASV of RFC 959, EPSV of RFC 2428), FEAT (RFC 2389),
// SIZE and MLSD (RFC 3659), UTF-8 path names (RFC 2640).
#include "IdFTP.h"

#include "FtpDataTransfer.h"
#include "FtpListParser.h"
#include "FtpReply.h"
#include "FtpReplyParsers.h"
#include "FtpSocket.h"

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
// A listing is held in memory; one this large is no folder of ours.
constexpr qsizetype kMaxListingBytes = qsizetype(256) << 20;
// QUIT is a courtesy: we close in any case, so we do not wait long for its reply.
constexpr Millis kQuitWait{3000};
// Between commands a server has at most a closing notice or a late reply to say;
// more than this is a server gone wrong, and reading on would never end while it
// keeps sending.
constexpr std::size_t kMaxIdleBytes = 64 * 1024;

QString notConnectedText() { return QStringLiteral("Não conectado ao servidor FTP"); }
QString closedByServerText() { return QStringLiteral("A conexão foi fechada pelo servidor"); }

EIdFTPError serverError(const FtpReply& reply)
{
    return EIdFTPError(reply.text, reply.code);
}

std::filesystem::path nativePath(const QString& path)
{
#ifdef _WIN32
    return std::filesystem::path(QDir::toNativeSeparators(path).toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

// The temporary file a download goes to: beside the target (so the final rename
// stays on one file system), hidden where a leading dot hides, with a name no one
// else uses.
class PartFile {
public:
    explicit PartFile(const QString& target)
    {
        const QFileInfo info(target);
        const QString stem = info.absolutePath() + QLatin1String("/.") + info.fileName() + QLatin1String(".part-");
        for (int attempt = 0; attempt < 20; ++attempt) {
            QString suffix;
            for (int i = 0; i < 6; ++i)
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
    Ipv4Endpoint server;
    std::vector<TIdFTPListItem> listing;
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
        // A name with a line break would end our command early and smuggle the rest
        // in as a second one.
        for (const QChar c : command)
            if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0))
                throw EIdFTPError(QStringLiteral("Nome inválido (contém quebra de linha): %1").arg(command.simplified()));
        return command.toUtf8() + "\r\n";
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

    FtpReply readReply(Millis timeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
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
            const auto left = std::max(Millis(0), std::chrono::ceil<Millis>(deadline - std::chrono::steady_clock::now()));
            if (left.count() == 0)
                throw LinkError(QStringLiteral("Tempo esgotado: o servidor não respondeu em %1").arg(durationText(timeout)));
            const std::size_t n = control.receive(chunk, sizeof chunk, left, WaitFor::Reply, aborted);
            if (n == 0)
                throw LinkError(closedByServerText());
            reader.append(chunk, n);
        }
    }

    // Sends a command and returns its first reply, preliminary (1xx) or not.
    FtpReply send(const QString& command)
    {
        ensureConnected();
        if (auto problem = idleProblem()) {
            closeAll();
            throw *problem;
        }
        const QByteArray bytes = commandBytes(command);
        control.sendAll(bytes.constData(), static_cast<std::size_t>(bytes.size()), readTimeout(), WaitFor::Reply, aborted);
        return readReply(readTimeout());
    }

    // Sends a command that opens no data connection and returns its final reply.
    FtpReply command(const QString& command)
    {
        FtpReply reply = send(command);
        while (reply.isPreliminary())
            reply = readReply(readTimeout());
        return reply;
    }

    void openDataConnection()
    {
        std::optional<std::uint16_t> port;
        // After an accepted "EPSV ALL" the server refuses PASV, so EPSV it is.
        if (!caps.epsvRefused && (caps.epsvAll || caps.useEpsv())) {
            const FtpReply r = command(QStringLiteral("EPSV"));
            if (r.code == 229) {
                port = parseEpsvReply(r.text);
                if (!port)
                    throw EIdFTPError(QStringLiteral("Resposta inválida ao EPSV: %1").arg(r.text), r.code);
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
                throw EIdFTPError(QStringLiteral("Resposta inválida ao PASV: %1").arg(r.text), r.code);
            // The address in the reply is not used: the data connection goes to the
            // host we already talk to. Otherwise a server, or anyone who rewrites its
            // reply, could have us connect to any host and hand it our file; servers
            // behind NAT also often name a private address we cannot reach.
            port = pasv->port;
        }
        try {
            Socket s = Socket::connectTo({server.address, *port}, connectTimeout(), aborted);
            std::lock_guard lock(socketsMutex);
            data = std::move(s);
        } catch (const LinkError& e) {
            if (aborted.load())
                throw;
            // The control connection is still in step: the server only waits for us.
            throw EIdFTPError(QStringLiteral("Não foi possível abrir a conexão de dados: %1").arg(e.Message()));
        }
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
    std::int64_t transfer(const QString& command, TWorkMode mode, std::int64_t expected,
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

        WorkReporter work(q.m_events, mode);
        bool finalReplyRead = false;
        try {
            work.begin(expected);
            body(data, work);
            // With an upload, closing our end is what tells the server the file is whole.
            closeData();
            const FtpReply final = readReply(readTimeout());
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
    d->listing.clear();
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

            FtpReply greeting = d->readReply(d->readTimeout());
            while (greeting.code == 120) // "ready in nnn minutes": the real greeting follows
                greeting = d->readReply(d->readTimeout());
            if (greeting.code != 220)
                throw serverError(greeting);

            d->status(QStringLiteral("Conectado; efetuando login como %1...").arg(Username));
            FtpReply r = d->command(QStringLiteral("USER ") + Username);
            if (r.code == 331)
                r = d->command(QStringLiteral("PASS ") + Password);
            if (r.code == 332)
                throw EIdFTPError(QStringLiteral("O servidor exige uma conta (ACCT), o que este programa não usa"), r.code);
            if (r.code != 230 && r.code != 202)
                throw serverError(r);

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
            throw EIdFTPError(QStringLiteral("Resposta ao PWD sem caminho: %1").arg(r.text), r.code);
        return *path;
    });
}

void TIdFTP::ChangeDir(const QString& dir)
{
    d->guarded([&] {
        const FtpReply r = d->command(QStringLiteral("CWD ") + dir);
        if (!r.isPositive())
            throw serverError(r);
    });
}

void TIdFTP::MakeDir(const QString& dir)
{
    d->guarded([&] {
        const FtpReply r = d->command(QStringLiteral("MKD ") + dir);
        if (!r.isPositive())
            throw serverError(r);
    });
}

void TIdFTP::Delete(const QString& name)
{
    d->guarded([&] {
        const FtpReply r = d->command(QStringLiteral("DELE ") + name);
        if (!r.isPositive())
            throw serverError(r);
    });
}

void TIdFTP::List()
{
    d->listing.clear();
    d->guarded([&] {
        d->ensureConnected();
        QByteArray raw;
        const auto collect = [&](Socket& data, WorkReporter& work) {
            receiveToSink(data, d->limits(), work, d->buffer, [&raw](const char* p, std::size_t n) {
                if (raw.size() + static_cast<qsizetype>(n) > kMaxListingBytes)
                    throw LocalError(QStringLiteral("Listagem grande demais (mais de %1 MiB)").arg(kMaxListingBytes >> 20));
                raw.append(p, static_cast<qsizetype>(n));
            });
        };
        bool machine = d->caps.mlsd;
        try {
            d->transfer(machine ? QStringLiteral("MLSD") : QStringLiteral("LIST"), wmRead, 0, collect);
        } catch (const EIdFTPError& e) {
            // A server whose FEAT promised MLSD but that does not know the command.
            if (!machine || (e.Code() != 500 && e.Code() != 502) || !d->control.isOpen())
                throw;
            d->caps.mlsd = machine = false;
            raw.clear();
            d->transfer(QStringLiteral("LIST"), wmRead, 0, collect);
        }
        d->listing = parseListing(raw, machine, QDate::currentDate());
    });
}

const std::vector<TIdFTPListItem>& TIdFTP::DirectoryListing() const { return d->listing; }

std::int64_t TIdFTP::Size(const QString& name)
{
    try {
        return d->guarded([&]() -> std::int64_t {
            const FtpReply r = d->command(QStringLiteral("SIZE ") + name);
            if (r.code != 213)
                return -1;
            return parseSizeReply(r.text).value_or(-1);
        });
    } catch (...) {
        return -1;
    }
}

void TIdFTP::Get(const QString& remoteName, const QString& localPath, bool canOverwrite, bool resume)
{
    if (resume)
        throw EIdFTPError(QStringLiteral("Retomar um download não é suportado"));
    const QFileInfo target(localPath);
    if (target.exists() || target.isSymLink()) {
        if (target.isDir())
            throw EIdFTPError(QStringLiteral("O destino é uma pasta: %1").arg(QDir::toNativeSeparators(localPath)));
        if (!canOverwrite)
            throw EIdFTPError(QStringLiteral("O arquivo de destino já existe: %1").arg(QDir::toNativeSeparators(localPath)));
    }
    // A device (the null device of a test or a benchmark) is written in place: there
    // is nothing to keep and nothing to rename over.
    const bool inPlace = target.exists() && !target.isFile();

    d->guarded([&] {
        d->ensureConnected();
        std::optional<PartFile> part;
        QFile device;
        QFile* out = &device;
        if (inPlace) {
            device.setFileName(localPath);
            if (!device.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
                throw EIdFTPError(QStringLiteral("Não foi possível abrir %1: %2")
                                      .arg(QDir::toNativeSeparators(localPath), device.errorString()));
        } else {
            part.emplace(localPath);
            out = &part->file();
        }

        const FtpReply sizeReply = d->command(QStringLiteral("SIZE ") + remoteName);
        const std::int64_t expected = sizeReply.code == 213 ? parseSizeReply(sizeReply.text).value_or(-1) : -1;

        d->status(QStringLiteral("Recebendo arquivo %1...").arg(remoteName));
        const std::int64_t received = d->transfer(QStringLiteral("RETR ") + remoteName, wmRead, 0,
            [&](Socket& data, WorkReporter& work) {
                receiveToSink(data, d->limits(), work, d->buffer, [out, &localPath](const char* p, std::size_t n) {
                    if (out->write(p, static_cast<qint64>(n)) != static_cast<qint64>(n))
                        throw LocalError(QStringLiteral("Erro ao gravar o arquivo local %1: %2")
                                             .arg(QDir::toNativeSeparators(localPath), out->errorString()));
                });
            });
        // A server whose data connection broke may still say 226; the size it gave
        // before tells a whole file from a cut one (in image type, where the bytes
        // on the wire are the bytes of the file).
        if (TransferType == ftBinary && expected >= 0 && received != expected)
            throw EIdFTPError(QStringLiteral("Transferência incompleta: recebidos %1 de %2 bytes").arg(received).arg(expected));
        if (part)
            part->commitAs(localPath);
        d->status(QStringLiteral("Arquivo %1 recebido (%2 bytes).").arg(remoteName).arg(received));
    });
}

void TIdFTP::Put(const QString& localPath, const QString& remoteName, bool append, std::int64_t startPos)
{
    if (append || startPos != 0)
        throw EIdFTPError(QStringLiteral("Continuar um envio (APPE/REST) não é suportado"));
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw EIdFTPError(QStringLiteral("Não foi possível abrir o arquivo local %1: %2")
                              .arg(QDir::toNativeSeparators(localPath), file.errorString()));
    const QString name = remoteName.isEmpty() ? QFileInfo(localPath).fileName() : remoteName;

    d->guarded([&] {
        d->ensureConnected();
        const std::int64_t size = file.size();
        d->status(QStringLiteral("Enviando arquivo %1 (%2 bytes)...").arg(name).arg(size));
        const std::int64_t sent = d->transfer(QStringLiteral("STOR ") + name, wmWrite, size,
            [&](Socket& data, WorkReporter& work) { sendFromFile(data, file, size, d->limits(), work, d->buffer); });
        // Another program cut the file short while we sent it: what the server got is
        // a piece of a file that no longer exists as it was.
        if (sent != size)
            throw EIdFTPError(QStringLiteral("O arquivo local %1 mudou durante o envio: enviados %2 de %3 bytes")
                                  .arg(QDir::toNativeSeparators(localPath)).arg(sent).arg(size));
        // A server that lost part of the file still says 226; where it can tell the
        // size of what it stored, that size has the last word.
        if (TransferType == ftBinary) {
            const FtpReply r = d->command(QStringLiteral("SIZE ") + name);
            if (r.code == 213) {
                const auto stored = parseSizeReply(r.text);
                if (stored && *stored != sent)
                    throw EIdFTPError(QStringLiteral("Envio incompleto: o servidor guardou %1 de %2 bytes").arg(*stored).arg(sent));
            }
        }
        d->status(QStringLiteral("Arquivo %1 enviado (%2 bytes).").arg(name).arg(sent));
    });
}

void TIdFTP::Abort()
{
    d->aborted.store(true);
    std::lock_guard lock(d->socketsMutex);
    d->data.shutdownBoth();
    d->control.shutdownBoth();
}
