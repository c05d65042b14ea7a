// The control connection (RFC 959): connecting and the greeting, commands and their
// replies (section 4.2, with the closing notice 421 of section 5.4), the session's
// settings after the login (TYPE; FEAT of RFC 2389; UTF-8 names of RFC 2640;
// "EPSV ALL" of RFC 2428), and QUIT.
#include "IdFTPImpl.h"

#include "VisibleText.h"

#include <algorithm>

using namespace ftp;

namespace {

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

QString closedByServerText() { return QStringLiteral("A conexão foi fechada pelo servidor"); }

}

void TIdFTP::Connect()
{
    d->closeAll();
    // The component's own cancel is for one connection; one that was given is the
    // giver's, cancelled or not, and never cleared here.
    if (d->ownCancel) {
        const QMutexLocker lock(&d->socketsMutex);
        d->cancel = std::make_shared<ftp::CancelToken>();
    }
    d->caps = {};
    d->listing = {};
    d->tls.reset();
    d->dataProtected = false;
    d->keyPinned = false;
    d->guarded([&] {
        try {
            d->openControl();
            d->logIn();

            FtpReply r = d->command(d->settings.transferType == ftBinary ? QStringLiteral("TYPE I") : QStringLiteral("TYPE A"));
            if (!r.isPositive())
                throw serverError(r);

            r = d->command(QStringLiteral("FEAT"));
            if (r.code == 211)
                d->caps = parseFeatReply(r.text);
            if (d->caps.utf8)
                d->command(QStringLiteral("OPTS UTF8 ON")); // servers that always speak UTF-8 may refuse it
            if (d->settings.tryNatFastTrack && d->caps.epsv)
                d->caps.epsvAll = d->command(QStringLiteral("EPSV ALL")).isPositive();
            d->status(QStringLiteral("Login efetuado em %1.").arg(d->settings.host));
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
    if (d->cancelled() || d->idleProblem()) {
        d->closeAll();
        return false;
    }
    return true;
}

void TIdFTP::Disconnect()
{
    const bool wasOpen = d->control.isOpen() && !d->cancelled();
    if (wasOpen) {
        d->status(QStringLiteral("Desconectando..."));
        try {
            if (!d->idleProblem()) {
                const QByteArray bytes = Impl::commandBytes(QStringLiteral("QUIT"));
                d->control.sendAll(bytes.constData(), static_cast<std::size_t>(bytes.size()), kQuitWait, WaitFor::Reply, d->aborted());
                d->readReply(std::min(kQuitWait, d->readTimeout()));
            }
        } catch (...) {
        }
    }
    d->closeAll();
    if (wasOpen)
        d->status(QStringLiteral("Desconectado."));
}

void TIdFTP::Impl::openControl()
{
    status(QStringLiteral("Conectando em %1:%2...").arg(settings.host).arg(settings.port));
    const auto started = Clock::now();
    const std::uint32_t address = lookups.resolve(settings.host, connectTimeout(), aborted());
    const auto left = std::max(Millis(1), connectTimeout() - std::chrono::ceil<Millis>(Clock::now() - started));
    try {
        Socket s = Socket::connectTo({address, static_cast<std::uint16_t>(settings.port)}, left, aborted());
        const QMutexLocker lock(&socketsMutex);
        control = std::move(s);
    } catch (const LinkError& e) {
        if (cancelled())
            throw;
        // Name the host as the user knows it, not only its address.
        throw LinkError(QStringLiteral("%1 (%2)").arg(e.Message(), settings.host));
    }
    server = control.peer();

    // "120 ready in nnn minutes" comes before the real greeting; the wait for it
    // is part of the one wait for the greeting.
    const auto deadline = Clock::now() + readTimeout();
    const FtpReply greeting = finalReply(readReply(deadline, readTimeout()), deadline, readTimeout());
    if (greeting.code != 220)
        throw serverError(greeting);
}

std::optional<EIdFTPError> TIdFTP::Impl::idleProblem()
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
                return EIdFTPError(FtpFailure::ConnectionLost, QStringLiteral("O servidor enviou mais de %1 KiB sem que nada fosse pedido").arg(kMaxIdleBytes / 1024));
        }
        // Replies that came in behind the last one we read.
        while (auto stale = reader.next()) {
            if (stale->code == 421)
                return serverError(*stale);
        }
    } catch (const EIdFTPError& e) {
        // Bytes that are no reply: the connection is out of step, as good as broken.
        return EIdFTPError(FtpFailure::ConnectionLost, e.Message());
    }
    reader.clear(); // a stray half line must not run into the next reply
    if (closed)
        return EIdFTPError(FtpFailure::ConnectionLost, closedByServerText());
    return std::nullopt;
}

QByteArray TIdFTP::Impl::commandBytes(const QString& command)
{
    for (const QChar c : command)
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0))
            throw EIdFTPError(FtpFailure::LocalFile, QStringLiteral("Nome inválido (contém quebra de linha): %1").arg(visibleText(command)));
    return command.toUtf8() + "\r\n";
}

QByteArray TIdFTP::Impl::commandBytes(const char* verb, const RemoteName& name)
{
    // A name with a line break would end our command early and smuggle the rest
    // in as a second one.
    const QByteArray& bytes = name.bytes();
    if (bytes.contains('\r') || bytes.contains('\n') || bytes.contains('\0'))
        throw EIdFTPError(FtpFailure::LocalFile, QStringLiteral("Nome inválido (contém quebra de linha): %1").arg(shownName(name)));
    return QByteArray(verb) + ' ' + bytes + "\r\n";
}

FtpReply TIdFTP::Impl::readReply(Clock::time_point deadline, Millis timeout)
{
    char chunk[16384];
    for (;;) {
        std::optional<FtpReply> reply;
        try {
            reply = reader.next();
        } catch (const LinkError&) {
            throw;
        } catch (const EIdFTPError& e) {
            // Bytes that are no reply leave us unable to tell which reply answers
            // which command: that is a broken connection, which gets closed.
            throw LinkError(e.Message());
        }
        if (reply) {
            if (reply->code == 421) {
                // The server is closing the connection (RFC 959 section 5.4).
                closeAll();
                throw serverError(*reply);
            }
            return *reply;
        }
        const std::optional<std::size_t> n = control.receiveBefore(chunk, sizeof chunk, deadline, aborted());
        if (!n)
            throw LinkError(QStringLiteral("Tempo esgotado: o servidor não respondeu em %1").arg(durationText(timeout)));
        if (*n == 0)
            throw LinkError(closedByServerText());
        reader.append(chunk, *n);
    }
}

FtpReply TIdFTP::Impl::readReply(Millis timeout) { return readReply(Clock::now() + timeout, timeout); }

FtpReply TIdFTP::Impl::finalReply(FtpReply reply, Clock::time_point deadline, Millis timeout)
{
    for (int preliminary = 0; reply.isPreliminary(); ++preliminary) {
        if (preliminary == kMaxPreliminaryReplies)
            throw LinkError(QStringLiteral("O servidor enviou mais de %1 respostas preliminares sem a resposta final")
                                .arg(kMaxPreliminaryReplies));
        reply = readReply(deadline, timeout);
    }
    return reply;
}

FtpReply TIdFTP::Impl::send(const QByteArray& bytes) { return send(bytes, Clock::now() + readTimeout()); }

FtpReply TIdFTP::Impl::send(const QByteArray& bytes, Clock::time_point deadline)
{
    ensureConnected();
    if (auto problem = idleProblem()) {
        closeAll();
        throw *problem;
    }
    control.sendAll(bytes.constData(), static_cast<std::size_t>(bytes.size()), readTimeout(), WaitFor::Reply, aborted());
    return readReply(deadline, readTimeout());
}

FtpReply TIdFTP::Impl::command(const QByteArray& bytes) { return commandWithin(bytes, readTimeout()); }

FtpReply TIdFTP::Impl::command(const QString& text) { return command(commandBytes(text)); }

FtpReply TIdFTP::Impl::command(const char* verb, const RemoteName& name) { return command(commandBytes(verb, name)); }

FtpReply TIdFTP::Impl::commandWithin(const QByteArray& bytes, Millis wait)
{
    const auto deadline = Clock::now() + wait;
    return finalReply(send(bytes, deadline), deadline, wait);
}
