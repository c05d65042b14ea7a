// An upload's side of the transfer loop: it travels under a temporary name beside
// the final one (PartialUploadName.h), goes on from the server's size of that file,
// is checked against the local file (unchanged since the start, same size, same
// digest) and only then takes the final name.
#include "TransferMachine.h"

#include "Formatos.h"
#include "FtpSessionCalls.h"
#include "LocalFile.h"
#include "PartialUploadName.h"
#include "TransferFailure.h"
#include "VisibleText.h"

#include <QDir>
#include <QLocale>

#include <algorithm>

namespace {

QString shown(const QString& text) { return visibleText(text); }

// "1,2 GB" in the user's locale, as the busy panel writes amounts.
QString amount(std::int64_t bytes)
{
    return TextoBytes(bytes, QLocale());
}

}

class FtpSession::UploadDirection final : public FtpSession::TransferDirection {
public:
    UploadDirection(FtpSession& session, const Upload& upload, const LocalFileState& before, const RemoteName& partial)
        : TransferDirection(session, wmWrite), m_upload(upload), m_before(before), m_partial(partial)
    {
    }

    std::int64_t resumePoint() override { return session().resumePoint(m_partial, m_before.size); }

    void moveData(std::int64_t from) override
    {
        record().leftOver = m_partial.displayText();
        if (from < m_before.size || m_before.size == 0)
            session().dataPhase(from, [&] { session().m_ftp->Put(m_upload.localPath, m_partial, false, from); });
        record().done = m_before.size;
        record().leftOverBytes = m_before.size;
    }

    TransferCheck checkSize() override
    {
        if (LocalFileState::of(m_upload.localPath) != m_before) {
            // What the server has is a mix of two versions: of no use to anyone.
            record().leftOver.clear();
            try {
                session().ftp([&] { session().m_ftp->Delete(m_partial); });
            } catch (const EOperationCancelled&) {
                throw;
            } catch (const Exception&) {
            }
            throw ETransferFault(TransferFailureKind::LocalFileChanged,
                                 QStringLiteral("O arquivo local %1 mudou durante o envio").arg(QDir::toNativeSeparators(m_upload.localPath)));
        }
        const std::int64_t total = m_before.size;
        const RemoteFileInfo stored = session().ftp([&] { return session().m_ftp->FileInfo(m_partial); });
        if (!stored.exists)
            throw ETransferFault(TransferFailureKind::TransferBroken,
                                 QStringLiteral("O servidor não mostra o arquivo enviado %1").arg(shown(m_partial.displayText())));
        if (stored.size >= 0 && stored.size != total) {
            record().leftOverBytes = std::min(stored.size, total);
            throw ETransferFault(TransferFailureKind::TransferBroken,
                                 QStringLiteral("Envio incompleto: o servidor guardou %1 de %2 bytes").arg(stored.size).arg(total));
        }
        if (stored.size < 0) {
            events().log(QStringLiteral("O servidor não informou o tamanho de %1 para conferência").arg(shown(m_partial.displayText())));
            return TransferCheck::Unconfirmed;
        }
        events().log(QStringLiteral("Tamanho conferido no servidor: %1 bytes").arg(total));
        return TransferCheck::Size;
    }

    DigestPair digestPair() override
    {
        return {m_partial, m_upload.localPath, m_before.size, QStringLiteral("arquivo no servidor"), QStringLiteral("arquivo local"), true};
    }

    void place() override
    {
        session().placeUpload(m_partial, m_upload.finalName);
        record().leftOver.clear();
    }
    void afterPlace() override
    {
        if (m_upload.offerResume)
            session().removeStalePartials(m_upload.finalName);
    }

    // What the server holds is overwritten from the first byte.
    bool startOver() override { return true; }
    void lineBroke() override { record().leftOverBytes = std::max(record().leftOverBytes, record().done); }

private:
    const Upload& m_upload;
    const LocalFileState m_before;
    const RemoteName m_partial;
};

std::int64_t FtpSession::resumePoint(const RemoteName& partial, std::int64_t total)
{
    const RemoteFileInfo there = ftp([&] { return m_ftp->FileInfo(partial); });
    // A size we cannot see, or more than the file has, is nothing to go on from.
    if (!there.exists || there.size < 0 || there.size > total)
        return 0;
    return there.size;
}

TransferCheck FtpSession::sendFile(const Upload& upload)
{
    const LocalFileState before = LocalFileState::of(upload.localPath);
    const std::int64_t total = before.size;
    const RemoteName partial = RemoteName::fromBytes(partialUploadName(upload.finalName.bytes(), before.identity()));
    m_transfer->remoteName = upload.finalName.displayText();
    m_transfer->resumable = upload.offerResume;

    std::int64_t from = 0;
    if (upload.offerResume) {
        // Its name proves that it came from this very file (same size and time).
        const std::int64_t there = resumePoint(partial, total);
        if (there > 0 && m_events.resumeInterruptedUpload(m_transfer->name, there, total)) {
            from = there;
            m_events.log(QStringLiteral("Continuando o envio interrompido de %1 a partir de %2 de %3")
                             .arg(shown(m_transfer->name), amount(from), amount(total)));
        }
    }

    m_transfer->total = total;
    m_transfer->begun = true;
    m_transfer->done = from;
    m_events.transferBegin(wmWrite, total);
    if (from > 0)
        m_events.transferProgress(wmWrite, from);

    UploadDirection direction(*this, upload, before, partial);
    return runTransfer(direction, from);
}

void FtpSession::placeUpload(const RemoteName& partial, const RemoteName& finalName)
{
    try {
        ftp([&] { m_ftp->Rename(partial, finalName); });
        return;
    } catch (const EOperationCancelled&) {
        throw;
    } catch (const EIdFTPError& e) {
        if (isLineBreak(failureKindOf(e)))
            throw;
        // Some servers do not rename onto an existing name. The new copy has been
        // checked: only now may the old one go.
        if (!ftp([&] { return m_ftp->FileInfo(finalName); }).exists)
            throw;
        m_events.log(e.Message());
        m_events.log(QStringLiteral("O servidor não substitui um arquivo ao renomear: a cópia anterior de %1 é excluída e a nova, já "
                                    "conferida, fica com o nome")
                         .arg(shown(finalName.displayText())));
    }
    ftp([&] { m_ftp->Delete(finalName); });
    ftp([&] { m_ftp->Rename(partial, finalName); });
}

void FtpSession::removeStalePartials(const RemoteName& finalName)
{
    // Interrupted uploads of other versions of this file: nothing can continue them
    // any more. Best effort: the file has been sent whatever happens here.
    try {
        const FtpListing entries = ftp([this] {
            m_ftp->List();
            return FtpListing(m_ftp->DirectoryListing());
        });
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const TIdFTPListItem entry = entries[i];
            if (entry.IsDirectory || !partialUploadIdentity(entry.RawName, finalName.bytes()))
                continue;
            ftp([&] { m_ftp->Delete(entry); });
            m_events.log(QStringLiteral("Envio interrompido de outra versão do arquivo removido: %1").arg(shown(entry.FileName)));
        }
    } catch (const Exception& e) {
        m_events.log(QStringLiteral("Envios interrompidos antigos não puderam ser procurados: %1").arg(e.Message()));
    }
}
