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
#include "FtpSession.h"

#include "FileDigest.h"
#include "FtpPartFile.h"
#include "Formatos.h"
#include "FtpSessionCalls.h"
#include "LocalFile.h"
#include "NomeBaseCorrompida.h"
#include "PartialUploadName.h"
#include "VisibleText.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>

namespace {

// The local file changed while it was sent: no new attempt brings back what it was.
class ELocalFileChanged : public Exception {
public:
    using Exception::Exception;
};

// The server's digest of the file differs from ours.
class EContentMismatch : public Exception {
public:
    using Exception::Exception;
};

QString shown(const QString& text) { return visibleText(text); }

// A message as the end of a sentence.
QString sentence(const QString& text)
{
    const QString t = text.trimmed();
    return t.endsWith(QLatin1Char('.')) || t.endsWith(QLatin1Char('!')) || t.endsWith(QLatin1Char('?')) ? t : t + QLatin1Char('.');
}

QString messageOf(const std::exception& e)
{
    const auto* exception = dynamic_cast<const Exception*>(&e);
    return exception ? exception->Message() : QString::fromLocal8Bit(e.what());
}

// "1,2 GB" in the user's locale, as the busy panel writes amounts.
QString amount(std::int64_t bytes)
{
    return TextoBytes(bytes, QLocale());
}

// How long a server may take to compute a digest: it reads the whole file, at worst
// from a slow disk.
std::chrono::milliseconds digestWait(std::int64_t size)
{
    return std::chrono::seconds(60) + std::chrono::milliseconds(size / (10 * 1000));
}

}

// ---------------------------------------------------------------- the transfer's record

void FtpSession::beginTransfer(TWorkMode mode, const QString& name)
{
    m_transfer = Transfer{};
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
    try {
        std::rethrow_exception(error);
    } catch (const ETransferFailed&) {
        endTransfer(TransferOutcome::Failed);
        throw;
    } catch (const EOperationCancelled&) {
        endTransfer(TransferOutcome::Cancelled);
        throw;
    } catch (const ETransferDeclined&) {
        // Declined before anything moved: nothing to show.
        if (m_transfer && m_transfer->begun)
            endTransfer(TransferOutcome::Cancelled);
        throw;
    } catch (const ERemoteFileNotFound&) {
        throw;
    } catch (const std::exception& e) {
        if (m_state == State::Cancelling) {
            endTransfer(TransferOutcome::Cancelled);
            throw cancelled();
        }
        if (!m_transfer)
            throw;
        const Transfer t = *m_transfer;
        const bool sending = t.mode == wmWrite;
        const QString message = messageOf(e);
        // The technical reason stays in the log, where support reads it.
        m_events.log(message);

        const QString where = t.begun && t.total > 0
                                  ? QStringLiteral(" em %1 %").arg(std::clamp<std::int64_t>(t.done * 100 / t.total, 0, 100))
                                  : QString();
        QString panel;
        QString why;
        if (dynamic_cast<const ELocalFileChanged*>(&e)) {
            panel = QStringLiteral("o arquivo local mudou durante o envio");
            why = QStringLiteral("O arquivo local foi alterado enquanto era enviado (mudou de tamanho ou de data de "
                                 "modificação). Envie-o de novo quando nenhum outro programa o estiver alterando.");
        } else if (dynamic_cast<const EContentMismatch*>(&e)) {
            panel = QStringLiteral("o conteúdo no servidor não confere");
            why = sentence(message);
        } else if (dynamic_cast<const EIdFTPRestartRefused*>(&e)) {
            panel = QStringLiteral("o servidor não continua transferências interrompidas") + where;
            why = sentence(QStringLiteral("A transferência foi interrompida%1 e o servidor não permite continuá-la: %2").arg(where, message));
        } else if (dynamic_cast<const EIdFTPTransferBroken*>(&e) && !dynamic_cast<const EIdFTPDataConnectionLost*>(&e) && t.begun) {
            panel = QStringLiteral("transferência interrompida") + where;
            why = t.retries > 0 ? QStringLiteral("A transferência foi interrompida%1 e não se completou depois de %2 novas tentativas (%3).")
                                      .arg(where)
                                      .arg(t.retries)
                                      .arg(message)
                                : QStringLiteral("A transferência foi interrompida%1 (%2).").arg(where, message);
        } else if (TIdFTP::IsTransientFailure(e) && t.begun) {
            panel = QStringLiteral("conexão perdida") + where;
            why = t.retries > 0 ? QStringLiteral("A conexão com o servidor foi perdida%1 e não voltou depois de %2 novas tentativas (%3).")
                                      .arg(where)
                                      .arg(t.retries)
                                      .arg(message)
                                : QStringLiteral("A conexão com o servidor foi perdida%1 (%2).").arg(where, message);
        } else if (TIdFTP::IsTransientFailure(e)) {
            panel = QStringLiteral("não foi possível falar com o servidor");
            why = sentence(QStringLiteral("Não foi possível falar com o servidor FTP: %1").arg(message));
        } else if (const auto* ftpError = dynamic_cast<const EIdFTPError*>(&e); ftpError && ftpError->Code() >= 500) {
            panel = QStringLiteral("recusado pelo servidor");
            why = sentence(QStringLiteral("O servidor recusou: %1").arg(message));
        } else if (ftpError && ftpError->Code() > 0) {
            panel = QStringLiteral("resposta inválida do servidor");
            why = sentence(QStringLiteral("O servidor respondeu o que não se esperava: %1").arg(message));
        } else {
            // Our own failures that are no failure of the line: the local file's.
            panel = QStringLiteral("erro no arquivo local");
            why = sentence(message);
        }

        QString fate;
        if (sending) {
            fate = t.replacing ? QStringLiteral("O arquivo não foi enviado. A cópia anterior no servidor foi mantida.")
                               : QStringLiteral("O arquivo não foi enviado; nenhum arquivo chamado %1 foi criado no servidor.")
                                     .arg(shown(t.remoteName.isEmpty() ? t.name : t.remoteName));
            if (!t.leftOver.isEmpty() && t.leftOverBytes > 0)
                fate += t.resumable ? QStringLiteral("\nA parte já enviada ficou no servidor como %1; um novo envio deste arquivo "
                                                     "pode continuar dela.")
                                          .arg(shown(t.leftOver))
                                    : QStringLiteral("\nUma parte incompleta ficou no servidor como %1.").arg(shown(t.leftOver));
        } else {
            fate = t.replacing ? QStringLiteral("O arquivo não foi baixado. O arquivo local anterior foi mantido como estava.")
                               : QStringLiteral("O arquivo não foi baixado; nenhum arquivo foi gravado no seu lugar.");
        }
        endTransfer(TransferOutcome::Failed, panel);
        throw ETransferFailed((sending ? QStringLiteral("Não foi possível enviar o arquivo %1.") : QStringLiteral("Não foi possível baixar o arquivo %1."))
                                  .arg(shown(t.name)) +
                              QStringLiteral("\n\n") + why + QStringLiteral("\n\n") + fate);
    }
}

// ---------------------------------------------------------------- between attempts

void FtpSession::reconnectForRetry()
{
    if (!Connected())
        ConectarFTP();
    CriarPastaCliente();
}

void FtpSession::pauseBeforeRetry(int attempt)
{
    using namespace std::chrono;
    const milliseconds pause = m_retry.pauses.at(static_cast<std::size_t>(attempt - 1));
    const auto end = steady_clock::now() + pause;
    const int attempts = static_cast<int>(m_retry.pauses.size());
    for (;;) {
        throwIfCancelled();
        const auto left = duration_cast<milliseconds>(end - steady_clock::now());
        if (left.count() <= 0)
            break;
        // Whole seconds, rounded up: the panel counts down to "1 s", never "0 s".
        const auto seconds = static_cast<int>((left.count() + 999) / 1000);
        m_events.transferRetry(m_transfer->mode, attempt, attempts, seconds);
        const milliseconds wait = left - milliseconds(static_cast<std::int64_t>(seconds - 1) * 1000);
        executarBloqueante([this, wait] {
            std::unique_lock lock(m_pauseMutex);
            m_pauseWake.wait_for(lock, wait, [this] { return m_cancelRequested.load(); });
        });
    }
    throwIfCancelled();
}

// ---------------------------------------------------------------- upload

std::optional<TransferCheck> FtpSession::EnviarArquivo(const QString& localPath)
{
    const QString nome = QFileInfo(localPath).fileName();
    return asTransfer(wmWrite, nome, [&]() -> std::optional<TransferCheck> {
        QFile arquivo(localPath);
        if (!arquivo.open(QIODevice::ReadOnly))
            throw EIdFTPError(QStringLiteral("Não foi possível abrir o arquivo local %1: %2")
                                  .arg(QDir::toNativeSeparators(localPath), arquivo.errorString()));
        arquivo.close();
        // Where the server does not answer SIZE, the other ways tell whether the file
        // is there: the question is never skipped for want of a size.
        const RemoteFileInfo existente = ftp([&] { return m_ftp->FileInfo(nome); });
        if (existente.exists && !m_events.replaceRemoteFile(nome))
            return std::nullopt;
        m_transfer->replacing = existente.exists;
        return sendFile({localPath, RemoteName(nome), true});
    });
}

FtpSession::UniqueUpload FtpSession::EnviarArquivoBaseCorrompida(const QString& localPath)
{
    const QString nome = NomeUnicoBaseCorrompida(localPath, QDateTime::currentDateTime());
    m_events.uniqueNameChosen(nome);
    m_events.log(nome);
    return asTransfer(wmWrite, nome, [&] {
        QFile arquivo(localPath);
        if (!arquivo.open(QIODevice::ReadOnly))
            throw EIdFTPError(QStringLiteral("Não foi possível abrir o arquivo local %1: %2")
                                  .arg(QDir::toNativeSeparators(localPath), arquivo.errorString()));
        arquivo.close();
        // The name holds the time: no earlier run sent under it, so there is nothing
        // to continue.
        return UniqueUpload{nome, sendFile({localPath, RemoteName(nome), false})};
    });
}

FtpSession::Sent FtpSession::enviar(const QString& localPath)
{
    return asTransfer(wmWrite, QFileInfo(localPath).fileName(), [&] {
        CriarPastaCliente();
        if (m_baseCorrompida) {
            const UniqueUpload enviado = EnviarArquivoBaseCorrompida(localPath);
            return Sent{enviado.check, enviado.name};
        }
        return Sent{EnviarArquivo(localPath), {}};
    });
}

FtpSession::Sent FtpSession::enviarAoIniciar(const QString& localPath, const std::function<void(const Sent&)>& then)
{
    return asTransfer(wmWrite, QFileInfo(localPath).fileName(), [&] {
        ConectarFTP();
        DefinirPastaCliente();
        const Sent enviado = enviar(localPath);
        if (then)
            then(enviado);
        return enviado;
    });
}

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
    const QString partialShown = partial.displayText();
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

    bool startedOver = false;
    bool afterBreak = false;
    bool digestFailed = false;
    for (;;) {
        try {
            if (afterBreak) {
                afterBreak = false;
                reconnectForRetry();
                from = resumePoint(partial, total);
                m_transfer->done = from;
                m_events.transferResumed(wmWrite, from);
            }
            m_transfer->leftOver = partialShown;
            if (from < total || total == 0)
                dataPhase(from, [&] { m_ftp->Put(upload.localPath, partial, false, from); });
            m_transfer->done = total;
            m_transfer->leftOverBytes = total;
            m_events.transferChecking(wmWrite);

            const LocalFileState after = LocalFileState::of(upload.localPath);
            if (after != before) {
                // What the server has is a mix of two versions: of no use to anyone.
                m_transfer->leftOver.clear();
                try {
                    ftp([&] { m_ftp->Delete(partial); });
                } catch (const EOperationCancelled&) {
                    throw;
                } catch (const Exception&) {
                }
                throw ELocalFileChanged(QStringLiteral("O arquivo local %1 mudou durante o envio").arg(QDir::toNativeSeparators(upload.localPath)));
            }

            TransferCheck check = TransferCheck::Size;
            const RemoteFileInfo stored = ftp([&] { return m_ftp->FileInfo(partial); });
            if (!stored.exists)
                throw EIdFTPTransferBroken(QStringLiteral("O servidor não mostra o arquivo enviado %1").arg(shown(partialShown)));
            if (stored.size >= 0 && stored.size != total) {
                m_transfer->leftOverBytes = std::min(stored.size, total);
                throw EIdFTPTransferBroken(QStringLiteral("Envio incompleto: o servidor guardou %1 de %2 bytes").arg(stored.size).arg(total));
            }
            if (stored.size < 0) {
                check = TransferCheck::Unconfirmed;
                m_events.log(QStringLiteral("O servidor não informou o tamanho de %1 para conferência").arg(shown(partialShown)));
            } else {
                m_events.log(QStringLiteral("Tamanho conferido no servidor: %1 bytes").arg(total));
            }

            std::optional<RemoteHash> digest;
            if (!digestFailed) {
                try {
                    digest = ftp([&] { return m_ftp->Hash(partial, digestWait(total)); });
                } catch (const EOperationCancelled&) {
                    throw;
                } catch (const Exception& e) {
                    digestFailed = true;
                    m_events.log(QStringLiteral("O servidor não calculou o resumo do arquivo para conferência: %1").arg(e.Message()));
                    if (!Connected())
                        throw EIdFTPTransferBroken(e.Message());
                }
            }
            if (digest) {
                QByteArray ours;
                executarBloqueante([&] { ours = fileDigest(upload.localPath, digest->algorithm, m_cancelRequested); });
                throwIfCancelled();
                if (ours != digest->digest)
                    throw EContentMismatch(QStringLiteral("O resumo %1 do arquivo no servidor não confere com o do arquivo local").arg(digest->algorithm));
                check = TransferCheck::SizeAndDigest;
                m_events.log(QStringLiteral("Arquivo %1 conferido: resumo %2 igual ao do arquivo local").arg(shown(m_transfer->name), digest->algorithm));
            }

            placeUpload(partial, upload.finalName);
            m_transfer->leftOver.clear();
            endTransfer(TransferOutcome::Completed);
            if (upload.offerResume)
                removeStalePartials(upload.finalName);
            return check;
        } catch (const EOperationCancelled&) {
            throw;
        } catch (const EIdFTPRestartRefused& e) {
            if (startedOver || m_state == State::Cancelling)
                throw;
            startedOver = true;
            m_events.log(e.Message());
            m_events.log(QStringLiteral("O servidor não continua um envio interrompido: o envio recomeça do início"));
            from = 0;
            m_transfer->done = 0;
            m_events.transferResumed(wmWrite, 0);
        } catch (const EContentMismatch& e) {
            if (startedOver || m_state == State::Cancelling)
                throw;
            startedOver = true;
            m_events.log(e.Message() + QStringLiteral(": o envio recomeça do início"));
            from = 0;
            m_transfer->done = 0;
            m_events.transferResumed(wmWrite, 0);
        } catch (const std::exception& e) {
            if (m_state == State::Cancelling || !TIdFTP::IsTransientFailure(e))
                throw;
            m_transfer->leftOverBytes = std::max(m_transfer->leftOverBytes, m_transfer->done);
            if (m_transfer->retries == static_cast<int>(m_retry.pauses.size()))
                throw;
            ++m_transfer->retries;
            m_events.log(QStringLiteral("Conexão perdida: %1").arg(messageOf(e)));
            pauseBeforeRetry(m_transfer->retries);
            afterBreak = true;
        }
    }
}

void FtpSession::placeUpload(const RemoteName& partial, const RemoteName& finalName)
{
    try {
        ftp([&] { m_ftp->Rename(partial, finalName); });
        return;
    } catch (const EOperationCancelled&) {
        throw;
    } catch (const EIdFTPError& e) {
        if (TIdFTP::IsTransientFailure(e))
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

// ---------------------------------------------------------------- download

std::optional<TransferCheck> FtpSession::BaixarArquivo(const RemoteName& remoteName, const QString& localPath)
{
    return asTransfer(wmRead, remoteName.displayText(), [&] {
        CriarPastaCliente();
        return receiveFile(remoteName, localPath);
    });
}

std::optional<TransferCheck> FtpSession::receiveFile(const RemoteName& remoteName, const QString& localPath)
{
    // The size known now is kept: a server that refuses SIZE later cannot make a short
    // download pass as whole.
    const RemoteFileInfo info = ftp([&] { return m_ftp->FileInfo(remoteName); });
    if (!info.exists)
        throw ERemoteFileNotFound(QStringLiteral("Arquivo Não Encontrado no FTP"));
    const LocalFileState targetBefore = LocalFileState::of(localPath);
    const bool substituir = (targetBefore.exists || QFileInfo(localPath).isSymLink()) && m_events.replaceLocalFile(localPath);
    m_transfer->replacing = targetBefore.exists;
    try {
        ftp::checkDownloadTarget(localPath, substituir);
    } catch (const EIdFTPError& e) {
        if (targetBefore.exists && !substituir)
            throw ETransferDeclined(e.Message());
        throw;
    }
    ftp::PartFile part(localPath);

    m_transfer->total = info.size;
    m_transfer->begun = true;
    m_events.transferBegin(wmRead, info.size);

    bool startedOver = false;
    bool afterBreak = false;
    bool digestFailed = false;
    for (;;) {
        try {
            std::int64_t from = part.size();
            if (afterBreak) {
                afterBreak = false;
                reconnectForRetry();
                m_transfer->done = from;
                m_events.transferResumed(wmRead, from);
            }
            dataPhase(from, [&] { m_ftp->Get(remoteName, part, from, info.size); });
            m_transfer->done = part.size();
            m_events.transferChecking(wmRead);

            TransferCheck check = info.size >= 0 ? TransferCheck::Size : TransferCheck::Unconfirmed;
            if (info.size >= 0)
                m_events.log(QStringLiteral("Tamanho conferido: %1 bytes").arg(part.size()));
            else
                m_events.log(QStringLiteral("O servidor não informou o tamanho de %1 para conferência").arg(shown(m_transfer->name)));
            std::optional<RemoteHash> digest;
            if (!digestFailed) {
                try {
                    digest = ftp([&] { return m_ftp->Hash(remoteName, digestWait(part.size())); });
                } catch (const EOperationCancelled&) {
                    throw;
                } catch (const Exception& e) {
                    digestFailed = true;
                    m_events.log(QStringLiteral("O servidor não calculou o resumo do arquivo para conferência: %1").arg(e.Message()));
                }
            }
            if (digest) {
                QByteArray ours;
                executarBloqueante([&] { ours = fileDigest(part.file().fileName(), digest->algorithm, m_cancelRequested); });
                throwIfCancelled();
                if (ours != digest->digest)
                    throw EContentMismatch(QStringLiteral("O resumo %1 do arquivo baixado não confere com o do servidor").arg(digest->algorithm));
                check = TransferCheck::SizeAndDigest;
                m_events.log(QStringLiteral("Arquivo %1 conferido: resumo %2 igual ao do servidor").arg(shown(m_transfer->name), digest->algorithm));
            }

            // Another program may have put a file there meanwhile: ask again.
            if (LocalFileState::of(localPath) != targetBefore) {
                m_events.log(QStringLiteral("O arquivo %1 foi criado ou alterado durante o download").arg(QDir::toNativeSeparators(localPath)));
                if (!m_events.replaceLocalFile(localPath))
                    throw ETransferDeclined(QStringLiteral("Download descartado: o arquivo %1 foi mantido").arg(QDir::toNativeSeparators(localPath)));
                ftp::checkDownloadTarget(localPath, true);
            }
            part.commitAs(localPath);
            endTransfer(TransferOutcome::Completed);
            return check;
        } catch (const EOperationCancelled&) {
            throw;
        } catch (const ETransferDeclined&) {
            throw;
        } catch (const EIdFTPRestartRefused& e) {
            if (startedOver || m_state == State::Cancelling)
                throw;
            startedOver = true;
            m_events.log(e.Message());
            m_events.log(QStringLiteral("O servidor não continua um download interrompido: o download recomeça do início"));
            if (!part.file().resize(0) || !part.file().seek(0))
                throw;
            m_transfer->done = 0;
            m_events.transferResumed(wmRead, 0);
        } catch (const EContentMismatch& e) {
            if (startedOver || m_state == State::Cancelling)
                throw;
            startedOver = true;
            m_events.log(e.Message() + QStringLiteral(": o download recomeça do início"));
            if (!part.file().resize(0) || !part.file().seek(0))
                throw;
            m_transfer->done = 0;
            m_events.transferResumed(wmRead, 0);
        } catch (const std::exception& e) {
            if (m_state == State::Cancelling || !TIdFTP::IsTransientFailure(e))
                throw;
            m_transfer->done = part.size();
            if (m_transfer->retries == static_cast<int>(m_retry.pauses.size()))
                throw;
            ++m_transfer->retries;
            m_events.log(QStringLiteral("Conexão perdida: %1").arg(messageOf(e)));
            pauseBeforeRetry(m_transfer->retries);
            afterBreak = true;
        }
    }
}
