// Downloads: RETR (RFC 959), from a position on with REST (RFC 3659 section 5),
// checked against the size SIZE gave (RFC 3659 section 4).
#include "IdFTPImpl.h"

#include "FtpPartFile.h"
#include "SystemErrorText.h"

#include <QDir>

#include <algorithm>

using namespace ftp;

std::int64_t TIdFTP::Impl::receiveFile(const RemoteName& remoteName, QIODevice& out, const QString& localPath,
                                       std::int64_t startPos, std::int64_t expected)
{
    if (expected < 0)
        expected = remoteSize(remoteName).value_or(-1);

    const QString where = localPath.isEmpty() ? QStringLiteral("o destino") : QDir::toNativeSeparators(localPath);
    if (startPos > 0)
        status(QStringLiteral("Recebendo arquivo %1 a partir do byte %2...").arg(shownName(remoteName)).arg(startPos));
    else
        status(QStringLiteral("Recebendo arquivo %1...").arg(shownName(remoteName)));
    // In image type the bytes on the wire are the file's; in ASCII type their count
    // may differ from the size.
    const std::int64_t toCome = settings.transferType == ftBinary && expected >= startPos ? expected - startPos : -1;
    bool cutWithoutNotify = false;
    const std::int64_t received = transfer(commandBytes("RETR", remoteName), wmRead, 0,
        [&](Socket& connection, WorkReporter& work) {
            receiveToSink(connection, toCome, limits(), work, buffer, [&out, &where](const char* p, std::size_t n) {
                if (out.write(p, static_cast<qint64>(n)) != static_cast<qint64>(n))
                    throw LocalError(QStringLiteral("Erro ao gravar o arquivo local %1: %2").arg(where, systemErrorText(out.errorString())));
            });
            cutWithoutNotify = connection.tls() && connection.tls()->cutWithoutNotify();
        }, startPos);
    // Over TLS the end of the data is the server's close_notify; an end without it
    // is a connection that was cut, perhaps by someone else, and with no size to
    // compare nothing else tells a whole file from part of one.
    if (cutWithoutNotify && toCome < 0)
        throw EIdFTPTransferBroken(QStringLiteral("A conexão segura de dados terminou sem o aviso de fim do TLS (close_notify) e o "
                                                  "servidor não informou o tamanho: o arquivo pode estar incompleto"));
    // A server whose data connection broke may still say 226; the size it gave
    // before tells a whole file from a cut one (in image type, where the bytes
    // on the wire are the bytes of the file).
    if (settings.transferType == ftBinary && expected >= 0 && startPos + received != expected)
        throw EIdFTPTransferBroken(QStringLiteral("Transferência incompleta: recebidos %1 de %2 bytes").arg(startPos + received).arg(expected));
    return received;
}

void TIdFTP::Get(const RemoteName& remoteName, const QString& localPath, bool canOverwrite, bool resume)
{
    if (resume)
        throw EIdFTPError(FtpFailure::LocalFile, QStringLiteral("Retomar um download não é suportado"));
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

namespace {
// Ends a read of a range once it has what it asked for.
struct RangeComplete {};
}

QByteArray TIdFTP::ReadRange(const RemoteName& remoteName, std::int64_t offset, std::int64_t length)
{
    return d->guarded([&] {
        d->ensureConnected();
        QByteArray range;
        range.reserve(static_cast<qsizetype>(length));
        try {
            d->transfer(Impl::commandBytes("RETR", remoteName), wmRead, 0,
                [&](Socket& connection, WorkReporter& work) {
                    receiveToSink(connection, -1, d->limits(), work, d->buffer, [&](const char* p, std::size_t n) {
                        const auto take = std::min<std::int64_t>(static_cast<std::int64_t>(n), length - range.size());
                        range.append(p, static_cast<qsizetype>(take));
                        if (range.size() == length)
                            throw RangeComplete{};
                    });
                }, offset);
        } catch (const RangeComplete&) {
            // The data connection was closed before its end; the server's reply to
            // that (226 or 426) has been read.
        }
        return range;
    });
}
