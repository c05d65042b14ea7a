#include "RetryWindow.h"

#include <algorithm>

std::optional<std::chrono::seconds> RetryWindow::pauseBefore(int next, std::chrono::seconds elapsed) const
{
    if (next < 2 || !open(elapsed))
        return std::nullopt;
    std::chrono::seconds pause = kFirstPause;
    for (int i = 2; i < next && pause < kLongestPause; ++i)
        pause *= 2;
    return std::min({pause, kLongestPause, m_length - elapsed});
}

bool RetryWindow::waitingMayHelp(const Failure& failure)
{
    switch (failure.kind) {
    // The server did not answer, or the line broke more often than a transfer tries
    // again by itself.
    case FailureKind::ConnectionLost:
    case FailureKind::TransferBroken:
        return true;
    case FailureKind::ServerFull:
    case FailureKind::NotThere:
    case FailureKind::FileRefused:
    case FailureKind::RefusedByServer:
    case FailureKind::UnexpectedReply:
    case FailureKind::RestartRefused:
    case FailureKind::RenameRefused:
    case FailureKind::CertificateRefused:
    case FailureKind::InterceptionSuspected:
    case FailureKind::NameIsFolder:
    case FailureKind::RemoteFileNotFound:
    case FailureKind::LocalFileChanged:
    case FailureKind::ContentMismatch:
    case FailureKind::NotAFile:
    case FailureKind::UnreadableFile:
    case FailureKind::LocalFileError:
    case FailureKind::Cancelled:
    case FailureKind::Declined:
        break;
    }
    return false;
}
