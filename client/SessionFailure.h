#pragma once
// Why an operation of the session failed: one closed set of kinds, set where the
// failure is raised, and the one exception that carries it out of the session.
//
// The session's own steps raise ESessionFailure with the kind already set. The FTP
// component raises EIdFTPError with a category it set itself, from the reply's code
// class (FtpFailure, ftp/FtpTypes.h); that category gets its kind here, in kindOf,
// and nowhere else. What the user is told of each kind is in FailureText.h. A new
// kind is one enumerator here and its texts there: every switch over the kinds
// names them all, and the compiler says which one misses it.
#include "Exception.h"
#include "FtpTypes.h"
#include "TransferRecord.h"

#include <QString>

#include <exception>
#include <optional>
#include <utility>

enum class FailureKind {
    // The line.
    ConnectionLost, // the control or the data connection broke or timed out, or the server said "not now" (4xx)
    TransferBroken, // the data stopped short while the server still took part
    // The server's refusals.
    ServerFull,      // no room on the server (452, 552: a quota, a full disk): waiting will not make room
    NotThere,        // the server says the file or folder named is not there
    FileRefused,     // a refusal about the one file or folder named (550, 553: no access, a name not allowed)
    RefusedByServer, // a lasting refusal of the command itself (5xx)
    UnexpectedReply, // a reply the command does not call for
    RestartRefused,  // the server cannot go on from a position
    RenameRefused,   // the login may not rename: the upload goes again under its final name
    // Trust.
    CertificateRefused,    // the server's certificate could not be verified and was not accepted
    InterceptionSuspected, // a key that is not the pinned one, or no TLS where TLS was spoken before
    // The files.
    NameIsFolder,       // the name is a folder's on the far end
    RemoteFileNotFound, // a download of a name the server does not have
    LocalFileChanged,   // the local file changed while it was sent
    ContentMismatch,    // the server's digest differs from ours
    NotAFile,           // a folder was given to be sent
    UnreadableFile,     // a file given to be sent cannot be read
    LocalFileError,     // our side: the local file, the client folder, anything not of the line
    // The user.
    Cancelled, // the user stopped the operation
    Declined,  // the user declined a step: nothing was changed
};

// A line that broke: a transfer goes on from where the data stopped, after a pause.
constexpr bool isLineBreak(FailureKind kind)
{
    return kind == FailureKind::ConnectionLost || kind == FailureKind::TransferBroken;
}

// A refusal that waiting does not change, of the command or of the name it is about.
constexpr bool isRefusal(FailureKind kind)
{
    return kind == FailureKind::ServerFull || kind == FailureKind::NotThere || kind == FailureKind::FileRefused ||
           kind == FailureKind::RefusedByServer;
}

// What was running when it failed: the words that name what failed.
enum class Operation {
    Identification, // finding the installed system
    Listing,        // the client folder's list
    Upload,
    Download,
    Deletion,
    Closing,        // QUIT: never fails
};

// What a front end receives of an operation that failed.
struct Failure {
    Failure() = default;
    Failure(FailureKind k, QString m) : kind(k), message(std::move(m)) {}

    FailureKind kind = FailureKind::LocalFileError;
    // The system's, the server's or the program's own words.
    QString message;
    Operation operation = Operation::Listing;
    // Raised while connecting: the panel says "Falha ao conectar".
    bool whileConnecting = false;
    // A transfer that failed: how far it got and what became of the file.
    std::optional<TransferRecord> transfer;
};

// The one exception the session raises.
class ESessionFailure : public Exception {
public:
    ESessionFailure(FailureKind kind, QString message) : ESessionFailure(Failure{kind, std::move(message)}) {}
    explicit ESessionFailure(Failure failure) : Exception(failure.message), m_failure(std::move(failure)) {}
    const Failure& failure() const noexcept { return m_failure; }
    // What the session adds as the failure leaves a step (caught by reference, then
    // thrown on).
    Failure& failure() noexcept { return m_failure; }
    FailureKind kind() const noexcept { return m_failure.kind; }

private:
    Failure m_failure;
};

// The name of an upload was taken, while it ran, by a file the user did not agree to
// replace: the checked upload stays under its temporary name, keptAs. The send flow
// makes of it how the send ended.
class ERemoteNameTaken : public ESessionFailure {
public:
    ERemoteNameTaken(QString message, QString keptAs) : ESessionFailure(FailureKind::Declined, std::move(message)), m_keptAs(std::move(keptAs)) {}
    const QString& keptAs() const { return m_keptAs; }

private:
    QString m_keptAs;
};

// The kind of what the FTP component raised.
FailureKind kindOf(FtpFailure failure);

// Whatever an operation threw, as a failure: the session's own as it is, the FTP
// component's by its category, anything else as our own side's, with its text.
Failure failureOf(std::exception_ptr error);
