// The one loop every transfer runs, in either direction: a named step at a time, and
// every failure a transition. A broken line leads back to Reconnect after a pause, up
// to RetryPolicy::pauses.size() times; a server that cannot go on from a position,
// or whose digest does not match, gets the data again from its first byte, once.
#include "TransferMachine.h"

#include "FileDigest.h"
#include "FtpCancel.h"
#include "FtpSessionCalls.h"
#include "VisibleText.h"

enum class FtpSession::Transfers::Step {
    Reconnect,       // a new connection where the old one is gone, and the client folder again
    FindResumePoint, // where the data stopped
    MoveData,
    CheckSize,
    CheckDigest,
    Place,           // the checked copy takes its final name
    Done,
};

TransferCheck FtpSession::Transfers::run(TransferDirection& direction, std::int64_t from)
{
    const TWorkMode mode = direction.mode();
    // The first attempt goes on the connection that is open, from where the caller
    // found the data to stand (for an upload, with the user's consent).
    Step step = Step::MoveData;
    TransferCheck check = TransferCheck::Unconfirmed;
    bool startedOver = false;        // the one start from the first byte has been spent
    bool serverDigestFailed = false; // then the server is not asked again on a new attempt
    for (;;) {
        try {
            switch (step) {
            case Step::Reconnect:
                reconnectForRetry();
                step = Step::FindResumePoint;
                break;
            case Step::FindResumePoint:
                if (direction.placedMeanwhile()) {
                    s.endTransfer(TransferOutcome::Completed);
                    step = Step::Done;
                    break;
                }
                from = direction.resumePoint();
                s.m_transfer->done = from;
                s.m_events.transferResumed(mode, from);
                step = Step::MoveData;
                break;
            case Step::MoveData:
                direction.moveData(from);
                s.m_events.transferChecking(mode);
                step = Step::CheckSize;
                break;
            case Step::CheckSize:
                check = direction.checkSize();
                step = Step::CheckDigest;
                break;
            case Step::CheckDigest:
                if (checkDigest(direction, serverDigestFailed))
                    check = TransferCheck::SizeAndDigest;
                else
                    direction.checkWithoutDigest();
                step = Step::Place;
                break;
            case Step::Place:
                direction.place();
                s.endTransfer(TransferOutcome::Completed);
                step = Step::Done;
                break;
            case Step::Done:
                direction.afterPlace();
                return check;
            }
        } catch (const std::exception&) {
            // After a cancel every failure is the cancel, which failTransfer says.
            if (s.m_state == State::Cancelling)
                throw;
            step = afterFailure(direction, failureOf(std::current_exception()), startedOver, from);
        }
    }
}

FtpSession::Transfers::Step FtpSession::Transfers::afterFailure(TransferDirection& direction, const Failure& failure, bool& startedOver,
                                                                std::int64_t& from)
{
    const FailureKind kind = failure.kind;
    if ((kind == FailureKind::RestartRefused || kind == FailureKind::ContentMismatch) && !startedOver) {
        startedOver = true;
        const QString again = QStringLiteral("o %1 recomeça do início").arg(direction.noun());
        if (kind == FailureKind::RestartRefused) {
            s.m_events.log(failure.message);
            s.m_events.log(QStringLiteral("O servidor não continua um %1 interrompido: ").arg(direction.noun()) + again);
        } else {
            s.m_events.log(failure.message + QStringLiteral(": ") + again);
        }
        if (!direction.startOver())
            throw;
        return fromTheStart(direction, from);
    }
    if (kind == FailureKind::RenameRefused) {
        // The direction has turned to the final name: the data goes there.
        s.m_events.log(failure.message);
        return fromTheStart(direction, from);
    }
    if (kind == FailureKind::ContentMismatch) {
        direction.discardBadCopy();
        throw;
    }
    if (!isLineBreak(kind))
        throw;
    direction.lineBroke();
    if (s.m_transfer->retries == static_cast<int>(s.m_settings.retry.pauses.size()))
        throw;
    ++s.m_transfer->retries;
    s.m_events.log(QStringLiteral("Conexão perdida: %1").arg(failure.message));
    pauseBeforeRetry(s.m_transfer->retries);
    return Step::Reconnect;
}

FtpSession::Transfers::Step FtpSession::Transfers::fromTheStart(TransferDirection& direction, std::int64_t& from)
{
    from = 0;
    s.m_transfer->done = 0;
    s.m_events.transferResumed(direction.mode(), 0);
    return Step::MoveData;
}

bool FtpSession::Transfers::checkDigest(TransferDirection& direction, bool& serverDigestFailed)
{
    const TransferDirection::DigestPair pair = direction.digestPair();
    std::optional<RemoteHash> digest;
    if (!serverDigestFailed) {
        try {
            digest = s.ftp([&] { return s.m_ftp->Hash(pair.remote, digestWait(pair.size)); });
        } catch (const ESessionFailure& e) {
            if (e.kind() == FailureKind::Cancelled)
                throw;
            serverDigestFailed = true;
            s.m_events.log(QStringLiteral("O servidor não calculou o resumo do arquivo para conferência: %1").arg(e.Message()));
            if (pair.placeNeedsServer && !s.Connected())
                throw ESessionFailure(FailureKind::TransferBroken, e.Message());
        }
    }
    if (!digest)
        return false;
    QByteArray ours;
    ours = fileDigest(pair.local, digest->algorithm, s.cancelToken()->flag());
    s.throwIfCancelled();
    if (ours != digest->digest)
        throw ESessionFailure(FailureKind::ContentMismatch, QStringLiteral("O resumo %1 do %2 não confere com o do %3")
                                                                       .arg(digest->algorithm, pair.checked, pair.reference));
    s.m_events.log(QStringLiteral("Arquivo %1 conferido: resumo %2 igual ao do %3")
                     .arg(visibleText(s.m_transfer->name), digest->algorithm, pair.reference));
    return true;
}
