// The server's digest of a file: HASH (draft-ietf-ftpext2-hash), with the algorithm
// chosen by OPTS HASH, or one of the older commands that name theirs (XSHA256,
// XSHA1, XMD5, XCRC).
#include "IdFTPImpl.h"

#include <algorithm>

using namespace ftp;

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
                throw EIdFTPError(FtpFailure::UnexpectedReply, QStringLiteral("Resposta inválida ao HASH: %1").arg(serverText(r.text)), r.code);
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
                throw EIdFTPError(FtpFailure::UnexpectedReply, QStringLiteral("Resposta inválida ao %1: %2").arg(QLatin1String(x.verb), serverText(r.text)), r.code);
            return RemoteHash{algorithm, *digest};
        }
        return std::nullopt;
    });
}
