// Uploads: STOR, or from a position on REST then STOR (RFC 3659 section 5) or APPE
// (RFC 959), checked against the size the server then reports (SIZE, RFC 3659
// section 4).
#include "IdFTPImpl.h"

#include "SystemErrorText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace ftp;

std::int64_t TIdFTP::Put(const QString& localPath, const RemoteName& remoteName, bool append, std::int64_t startPos)
{
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw EIdFTPError(FtpFailure::LocalFile, QStringLiteral("Não foi possível abrir o arquivo local %1: %2")
                              .arg(QDir::toNativeSeparators(localPath), systemErrorText(file.errorString())));
    const RemoteName name = remoteName.isEmpty() ? RemoteName(QFileInfo(localPath).fileName()) : remoteName;
    const std::int64_t size = file.size();
    if (startPos < 0 || startPos > size || !file.seek(startPos))
        throw EIdFTPError(FtpFailure::LocalFile, QStringLiteral("Posição %1 fora do arquivo local %2 (%3 bytes)")
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
            throw EIdFTPError(FtpFailure::LocalFile, QStringLiteral("O arquivo local %1 mudou durante o envio: enviados %2 de %3 bytes")
                                  .arg(QDir::toNativeSeparators(localPath)).arg(startPos + sent).arg(size));
        // A server that lost part of the file still says 226; where it can tell the
        // size of what it stored, that size has the last word.
        if (d->settings.transferType == ftBinary) {
            const auto stored = d->remoteSize(name);
            // A file the server kept nothing of is not a cut transfer but a refusal,
            // which the caller tells from what it then sees there.
            if (stored && *stored != size && !(*stored == 0 && startPos == 0))
                throw EIdFTPTransferBroken(QStringLiteral("Envio incompleto: o servidor guardou %1 de %2 bytes").arg(*stored).arg(size));
        }
        d->status(QStringLiteral("Arquivo %1 enviado (%2 bytes).").arg(shownName(name)).arg(startPos + sent));
        return sent;
    });
}
