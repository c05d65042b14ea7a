// A download's side of the transfer loop: the data goes to a temporary file beside
// its target, goes on from that file's size, and takes the target's place once
// whole, after asking again if another program put a file there meanwhile.
#include "TransferMachine.h"

#include "FtpPartFile.h"
#include "FtpSessionCalls.h"
#include "LocalFile.h"
#include "VisibleText.h"

#include <QDir>
#include <QFileInfo>

class FtpSession::Transfers::DownloadDirection final : public TransferDirection {
public:
    DownloadDirection(Transfers& transfers, const RemoteName& remoteName, const QString& localPath, std::int64_t size,
                      const LocalFileState& targetBefore, ftp::PartFile& part)
        : TransferDirection(transfers, wmRead), m_remoteName(remoteName), m_localPath(localPath), m_size(size),
          m_targetBefore(targetBefore), m_part(part)
    {
    }

    std::int64_t resumePoint() override { return m_part.size(); }

    void moveData(std::int64_t from) override
    {
        transfers().dataPhase(from, [&] { session().m_ftp->Get(m_remoteName, m_part, from, m_size); });
        record().done = m_part.size();
    }

    // The component has held the data to the size known before it came (Get's
    // expectedSize): a short download has failed already.
    TransferCheck checkSize() override
    {
        if (m_size < 0) {
            events().log(QStringLiteral("O servidor não informou o tamanho de %1 para conferência").arg(visibleText(record().name)));
            return TransferCheck::Unconfirmed;
        }
        events().log(QStringLiteral("Tamanho conferido: %1 bytes").arg(m_part.size()));
        return TransferCheck::Size;
    }

    DigestPair digestPair() override
    {
        return {m_remoteName, m_part.file().fileName(), m_part.size(), QStringLiteral("arquivo baixado"), QStringLiteral("servidor"), false};
    }

    void place() override
    {
        // Another program may have put a file there meanwhile: ask again.
        if (LocalFileState::of(m_localPath) != m_targetBefore) {
            events().log(QStringLiteral("O arquivo %1 foi criado ou alterado durante o download").arg(QDir::toNativeSeparators(m_localPath)));
            if (!events().replaceLocalFile(m_localPath))
                throw ESessionFailure(FailureKind::Declined, QStringLiteral("Download descartado: o arquivo %1 foi mantido").arg(QDir::toNativeSeparators(m_localPath)));
            ftp::checkDownloadTarget(m_localPath, true);
        }
        m_part.commitAs(m_localPath);
    }

    bool startOver() override { return m_part.file().resize(0) && m_part.file().seek(0); }
    void lineBroke() override { record().done = m_part.size(); }

private:
    const RemoteName& m_remoteName;
    const QString& m_localPath;
    const std::int64_t m_size; // -1: the server gave none
    const LocalFileState m_targetBefore;
    ftp::PartFile& m_part;
};

std::optional<TransferCheck> FtpSession::Transfers::receiveFile(const RemoteName& remoteName, const QString& localPath)
{
    // The size known now is kept: a server that refuses SIZE later cannot make a short
    // download pass as whole.
    const RemoteFileInfo info = s.ftp([&] { return s.m_ftp->FileInfo(remoteName); });
    // An empty folder may list as nothing at all (vsftpd): it is asked about first.
    if (info.folder || (info.size < 0 && s.ftp([&] { return s.m_ftp->IsFolder(remoteName); })))
        throw ESessionFailure(FailureKind::NameIsFolder,
                             QStringLiteral("%1 é uma pasta no servidor, não um arquivo: só arquivos podem ser baixados")
                                 .arg(visibleText(remoteName.displayText())));
    if (!info.exists)
        throw ESessionFailure(FailureKind::RemoteFileNotFound, QStringLiteral("Arquivo Não Encontrado no FTP"));
    const LocalFileState targetBefore = LocalFileState::of(localPath);
    const bool substituir = (targetBefore.exists || QFileInfo(localPath).isSymLink()) && s.m_events.replaceLocalFile(localPath);
    s.m_transfer->replacing = targetBefore.exists;
    try {
        ftp::checkDownloadTarget(localPath, substituir);
    } catch (const EIdFTPError& e) {
        if (targetBefore.exists && !substituir)
            throw ESessionFailure(FailureKind::Declined, e.Message());
        throw;
    }
    ftp::PartFile part(localPath);

    s.m_transfer->total = info.size;
    s.m_transfer->begun = true;
    s.m_events.transferBegin(wmRead, info.size);

    DownloadDirection direction(*this, remoteName, localPath, info.size, targetBefore, part);
    return run(direction, part.size());
}
