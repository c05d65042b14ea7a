// Uploads and downloads that never report a failure as success, never leave a piece
// under a final name, and go on where the data stopped when the line breaks.
//
// An upload goes to a temporary name beside the final one (PartialUploadName.h).
// When it is complete the local file must not have changed while it was read, the
// server's size of the temporary file must be the local file's size, and where the
// server computes digests its digest must match ours; only then does the file take
// its final name, and only then does an older file of that name go. A download goes
// to a temporary file beside its target (ftp::PartFile) and takes the target's
// place once whole.
//
// A broken line costs a pause (RetryPolicy), a new connection where the old one is
// gone (primary endpoint, then the alternate, as always), and the bytes that had not
// arrived: an upload goes on from the server's size of its temporary file (REST
// then STOR, or APPE), a download from the size of its temporary file (REST then
// RETR). A server that cannot go on from a position gets the file from its start,
// once.
//
// Both directions run the one loop of TransferMachine.cpp; UploadTransfer.cpp and
// DownloadTransfer.cpp say what differs. Here: the transfer's record, what its
// failure tells the user (FailureText.h), the pause between attempts, and the
// file operations the send flow (EnvioArquivo.h) and the window use.
#include "FtpSessionTransfers.h"

#include "FailureText.h"
#include "FtpCancel.h"
#include "FtpSessionCalls.h"
#include "NomeBaseCorrompida.h"
#include "SystemErrorText.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// A local file that cannot be read is refused before the server is asked anything
// about it.
void checkReadable(const QString& localPath)
{
    QFile arquivo(localPath);
    if (!arquivo.open(QIODevice::ReadOnly))
        throw ESessionFailure(FailureKind::LocalFileError,
                             QStringLiteral("Não foi possível abrir o arquivo local %1: %2")
                                 .arg(QDir::toNativeSeparators(localPath), systemErrorText(arquivo.errorString())));
}

}

// ---------------------------------------------------------------- the transfer's record

void FtpSession::beginTransfer(TWorkMode mode, const QString& name)
{
    m_transfer = TransferRecord{};
    m_transfer->mode = mode;
    m_transfer->name = name;
}

void FtpSession::endTransfer(TransferOutcome outcome, const QString& failure)
{
    if (!m_transfer || m_transfer->ended)
        return;
    m_transfer->ended = true;
    m_events.transferEnd(m_transfer->mode, outcome, failure);
}

void FtpSession::failTransfer(std::exception_ptr error)
{
    // Ends the record however this goes: a failure is reported once.
    struct Reset {
        FtpSession& s;
        ~Reset() { s.m_transfer.reset(); }
    } reset{*this};
    Failure failure = failureOf(error);
    if (failure.transfer) {
        // Said already, by a step inside this one.
        endTransfer(TransferOutcome::Failed);
        std::rethrow_exception(error);
    }
    if (failure.kind == FailureKind::Cancelled) {
        endTransfer(TransferOutcome::Cancelled);
        std::rethrow_exception(error);
    }
    if (failure.kind == FailureKind::Declined) {
        // Declined before anything moved: nothing to show.
        if (m_transfer && m_transfer->begun)
            endTransfer(TransferOutcome::Cancelled);
        std::rethrow_exception(error);
    }
    if (m_state == State::Cancelling) {
        endTransfer(TransferOutcome::Cancelled);
        throw cancelled();
    }
    if (!m_transfer || !failsTheTransfer(failure.kind))
        throw ESessionFailure(std::move(failure));
    // The technical reason stays in the log, where support reads it.
    m_events.log(failure.message);
    failure.transfer = *m_transfer;
    endTransfer(TransferOutcome::Failed, describeFailure(failure).panel);
    throw ESessionFailure(std::move(failure));
}

// ---------------------------------------------------------------- between attempts

void FtpSession::Transfers::reconnectForRetry()
{
    if (!s.Connected())
        s.ConectarFTP();
    s.CriarPastaCliente();
}

void FtpSession::Transfers::pauseBeforeRetry(int attempt)
{
    const std::chrono::milliseconds pause = s.m_settings.retry.pauses.at(static_cast<std::size_t>(attempt - 1));
    const QDeadlineTimer end(pause);
    const int attempts = static_cast<int>(s.m_settings.retry.pauses.size());
    const std::shared_ptr<const ftp::CancelToken> cancel = s.cancelToken();
    for (;;) {
        s.throwIfCancelled();
        const qint64 left = end.remainingTime();
        if (left <= 0)
            break;
        // Whole seconds, rounded up: the panel counts down to "1 s", never "0 s".
        const auto seconds = static_cast<int>((left + 999) / 1000);
        s.m_events.transferRetry(s.m_transfer->mode, attempt, attempts, seconds);
        // Until the next whole second, or the cancel.
        cancel->sleepUntil(QDeadlineTimer(left - static_cast<qint64>(seconds - 1) * 1000));
    }
    s.throwIfCancelled();
}

// ---------------------------------------------------------------- what the front ends ask for

FtpSession::SentFile FtpSession::EnviarArquivo(const QString& localPath)
{
    const QString nome = QFileInfo(localPath).fileName();
    return asTransfer(wmWrite, nome, [&]() -> SentFile {
        checkReadable(localPath);
        // Where the server does not answer SIZE, the other ways tell whether the file
        // is there: the question is never skipped for want of a size.
        const RemoteFileInfo existente = ftp([&] { return m_ftp->FileInfo(nome); });
        if (existente.folder || (existente.size < 0 && ftp([&] { return m_ftp->IsFolder(nome); })))
            throw ESessionFailure(FailureKind::NameIsFolder,
                                 QStringLiteral("Já existe uma pasta chamada %1 na pasta do cliente no servidor: renomeie o arquivo e envie-o de novo")
                                     .arg(nome));
        if (existente.exists && !m_events.replaceRemoteFile(nome))
            return {nome, std::nullopt};
        m_transfer->replacing = existente.exists;
        Transfers::Upload upload{localPath, RemoteName(nome), true, std::nullopt, {}};
        if (existente.exists)
            upload.replacing = Transfers(*this).remoteCopy(upload.finalName, existente.size);
        return Transfers(*this).sendFile(std::move(upload));
    });
}

FtpSession::SentFile FtpSession::EnviarArquivoBaseCorrompida(const QString& localPath)
{
    const QDateTime agora = QDateTime::currentDateTime();
    return asTransfer(wmWrite, QFileInfo(localPath).fileName(), [&] {
        checkReadable(localPath);
        Transfers::Upload upload{localPath, {}, false, std::nullopt, {}};
        upload.uniqueName = [localPath, agora](int vez) { return RemoteName(NomeUnicoBaseCorrompida(localPath, agora, vez)); };
        return Transfers(*this).sendFile(std::move(upload));
    });
}

std::optional<TransferCheck> FtpSession::BaixarArquivo(const RemoteName& remoteName, const QString& localPath)
{
    return asTransfer(wmRead, remoteName.displayText(), [&] {
        CriarPastaCliente();
        return Transfers(*this).receiveFile(remoteName, localPath);
    });
}
