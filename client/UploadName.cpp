// The names an upload deals with on the server, beside the data itself: whether a
// temporary file there holds this file's bytes, which unique name is free in the
// shared folder, the last look at the final name before the upload takes it, and
// the clean-up of temporary files nobody needs any more.
#include "TransferMachine.h"

#include "FileDigest.h"
#include "FtpCancel.h"
#include "PartialUploadName.h"
#include "VisibleText.h"

#include <algorithm>

namespace {

// Temporary files older than this are nobody's any more.
constexpr int kStaleDays = 7;

QString shown(const QString& text) { return visibleText(text); }

}

FtpSession::Transfers::RemoteCopy FtpSession::Transfers::remoteCopy(const RemoteName& name, std::int64_t size)
{
    return {size, s.ftp([&] { return s.m_ftp->ModifiedTime(name); })};
}

bool FtpSession::Transfers::remoteEndMatches(const RemoteName& remote, const QString& localPath, std::int64_t size)
{
    const std::int64_t start = std::max<std::int64_t>(size - kResumeCheckBytes, 0);
    try {
        const QByteArray theirs = s.ftp([&] { return s.m_ftp->ReadRange(remote, start, size - start); });
        return theirs.size() == size - start && theirs == localBytes(localPath, start, size - start);
    } catch (const ESessionFailure& e) {
        // No reading from a position: the server's digest of what it holds, where
        // it computes one, against ours of as much of the file.
        if (e.kind() != FailureKind::RestartRefused)
            throw;
    }
    std::optional<RemoteHash> digest;
    try {
        digest = s.ftp([&] { return s.m_ftp->Hash(remote, digestWait(size)); });
    } catch (const ESessionFailure& e) {
        if (isLineBreak(e.kind()) || e.kind() == FailureKind::Cancelled)
            throw;
    }
    if (!digest)
        return false;
    return fileDigest(localPath, digest->algorithm, s.cancelToken()->flag(), size) == digest->digest;
}

int FtpSession::Transfers::freeUniqueName(const Upload& upload, int start)
{
    for (int n = start;; ++n) {
        const RemoteName name = upload.uniqueName(n);
        if (!s.ftp([&] { return s.m_ftp->FileInfo(name); }).exists)
            return n;
        s.m_events.log(QStringLiteral("Já existe um arquivo %1 no servidor").arg(shown(name.displayText())));
    }
}

void FtpSession::Transfers::claimName(Upload& upload, TransferRecord& record)
{
    if (upload.uniqueName) {
        if (!s.ftp([&] { return s.m_ftp->FileInfo(upload.finalName); }).exists)
            return;
        s.m_events.log(QStringLiteral("Outro arquivo chamado %1 apareceu no servidor durante o envio").arg(shown(upload.finalName.displayText())));
        upload.finalName = upload.uniqueName(freeUniqueName(upload, ++upload.uniqueTry));
        record.remoteName = upload.finalName.displayText();
        s.m_events.uniqueNameChosen(upload.finalName.displayText());
        s.m_events.log(upload.finalName.displayText());
        return;
    }
    const RemoteFileInfo now = s.ftp([&] { return s.m_ftp->FileInfo(upload.finalName); });
    if (!now.exists) {
        // Gone meanwhile: nothing is replaced after all.
        record.replacing = false;
        return;
    }
    const RemoteCopy there = remoteCopy(upload.finalName, now.size);
    if (upload.replacing && *upload.replacing == there)
        return;
    s.m_events.log(upload.replacing ? QStringLiteral("O arquivo %1 mudou no servidor durante o envio").arg(shown(upload.finalName.displayText()))
                                  : QStringLiteral("Outro arquivo chamado %1 apareceu no servidor durante o envio")
                                        .arg(shown(upload.finalName.displayText())));
    if (!s.m_events.replaceRemoteFile(upload.finalName.displayText()))
        throw ERemoteNameTaken(QStringLiteral("O arquivo %1 do servidor foi mantido").arg(shown(upload.finalName.displayText())),
                               record.leftOver);
    upload.replacing = there;
    record.replacing = true;
}

void FtpSession::Transfers::removeStalePartials(const RemoteName& finalName, const LocalFileIdentity& identity, const RemoteName& keep)
{
    // Interrupted uploads of this very file, which nothing needs now, and temporary
    // files nobody has touched for days. Never a younger one of another version: it
    // may be another machine's upload, running now. Best effort: the file has been
    // sent whatever happens here.
    try {
        const FtpListing entries = s.ftp([this] {
            s.m_ftp->List();
            return FtpListing(s.m_ftp->DirectoryListing());
        });
        const QDateTime staleBefore = QDateTime::currentDateTime().addDays(-kStaleDays);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const TIdFTPListItem entry = entries[i];
            if (entry.IsDirectory || !isPartialUploadName(entry.RawName) || RemoteName(entry) == keep)
                continue;
            const bool sameFile = partialUploadIdentity(entry.RawName, finalName.bytes()) == identity;
            const bool stale = entry.ModifiedDate.isValid() && entry.ModifiedDate < staleBefore;
            if (!sameFile && !stale)
                continue;
            s.ftp([&] { s.m_ftp->Delete(entry); });
            s.m_events.log(sameFile ? QStringLiteral("Envio interrompido anterior deste arquivo removido: %1").arg(shown(entry.FileName))
                                  : QStringLiteral("Envio interrompido de mais de %1 dias removido: %2").arg(kStaleDays).arg(shown(entry.FileName)));
        }
    } catch (const Exception& e) {
        s.m_events.log(QStringLiteral("Envios interrompidos antigos não puderam ser procurados: %1").arg(e.Message()));
    }
}
