#pragma once
// Why a transfer failed, as one closed set of kinds, and what the user is told of
// each: the busy panel's few words and the error box's sentences come from the kind
// and from what the transfer's record says (how far it got, how often it was tried
// again, what it left on the server), never from the type of whatever was thrown.
//
// The session's own steps raise ETransferFault with the kind already set. What the
// FTP component and the rest of the program throw is given its kind in one place,
// failureKindOf, at the boundary between them and the session.
#include "Exception.h"
#include "TransferRecord.h"

#include <QString>

#include <exception>
#include <utility>

enum class TransferFailureKind {
    ConnectionLost,   // the control or the data connection broke, timed out, or the server said "not now" (4xx)
    TransferBroken,   // the data stopped short while the server still took part
    RestartRefused,   // the server cannot go on from a position
    RefusedByServer,  // a lasting refusal (5xx)
    UnexpectedReply,  // a reply the command does not call for
    CertificateRefused, // the server's certificate could not be verified and was not accepted
    NameIsFolder,     // the name is a folder's on the far end
    RenameRefused,    // the login may not rename: the upload goes again under its final name
    LocalFileChanged, // the local file changed while it was sent
    ContentMismatch,  // the server's digest differs from ours
    LocalFileError,   // our side: the local file, the client folder, anything not of the line
    Cancelled,        // the user stopped the operation (EOperationCancelled)
    Declined,         // the user declined a step (ETransferDeclined): nothing failed
};

// A line that broke: the transfer goes on from where the data stopped, after a pause.
constexpr bool isLineBreak(TransferFailureKind kind)
{
    return kind == TransferFailureKind::ConnectionLost || kind == TransferFailureKind::TransferBroken;
}

// A failure of one of the session's transfer steps, of a kind it knows where it
// raises it.
class ETransferFault : public Exception {
public:
    ETransferFault(TransferFailureKind kind, QString message) : Exception(std::move(message)), m_kind(kind) {}
    TransferFailureKind kind() const noexcept { return m_kind; }

private:
    TransferFailureKind m_kind;
};

// The kind of any failure that reaches a transfer: the session's own faults carry
// it; the FTP component's exceptions and the session's public ones are mapped here,
// and only here.
TransferFailureKind failureKindOf(const std::exception& e);

// The text an exception carries: the program's own message, or what() of another.
QString messageOf(const std::exception& e);

// What the user is shown of a failed transfer.
struct TransferFailureReport {
    QString panel;   // the busy panel's words after "Falha no envio: "
    QString message; // the error box: what failed, why, and what became of the file
};

// message is the technical reason (messageOf the failure), which the box quotes
// where the kind leaves something to explain.
TransferFailureReport describeFailure(TransferFailureKind kind, const QString& message, const TransferRecord& transfer);
