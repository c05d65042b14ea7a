#pragma once
// Value types of the FTP client component, shared by the session, the parsers and
// their callers.
#include "Exception.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <utility>

enum TWorkMode { wmRead = 0, wmWrite = 1 };
enum TIdFTPTransferType { ftASCII = 0, ftBinary = 1 };

// What went wrong, as the component knows it where it raises the failure: from the
// code class of the server's refusal (RFC 959 section 4.2: 4xx for now, 5xx for
// good), or from what failed on its own side. The words of a reply are read in one
// place, the reply parsers (ftp::refusalOf), and only where the code does not tell.
enum class FtpFailure {
    ConnectionLost,        // the control connection broke, timed out, or the server closes it (421)
    DataConnectionLost,    // the data connection broke off while the control connection lives on
    TransferBroken,        // the data connection could not be opened, or the data came out short
    NotNow,                // 4xx: refused for now; another try may pass
    InsufficientStorage,   // 452, 552: no room on the server (a quota, a full disk)
    NotThere,              // the file or folder named is not there ("No such file or directory")
    FileUnavailable,       // 550, 553: refused for the one file or folder named (no access, a name not allowed)
    AlreadyThere,          // MKD of a folder that is there already ("File exists")
    Refused,               // any other 5xx: a lasting refusal of the command itself
    RestartRefused,        // neither REST nor APPE: no going on from a position
    UnexpectedReply,       // a reply the command does not call for, or one that cannot be read
    UntrustedCertificate,  // the certificate could not be verified and was not accepted
    InterceptionSuspected, // a key that is not the pinned one, or TLS withdrawn where it was spoken
    LocalFile,             // our side: the local file, a name we do not send, a limit of ours
    Cancelled,             // the operation's cancel token
};

class EIdFTPError : public Exception {
public:
    EIdFTPError(FtpFailure failure, QString message, int code = 0)
        : Exception(std::move(message)), m_failure(failure), m_code(code)
    {
    }
    FtpFailure failure() const noexcept { return m_failure; }
    // The server's reply code, or 0 for our own failures (time-out, closed connection, local file).
    int Code() const noexcept { return m_code; }

private:
    FtpFailure m_failure;
    int m_code;
};

// A transfer that stopped short while the server still took part: the data
// connection could not be opened or broke off, or it carried less than the file.
// Another try may well go through.
class EIdFTPTransferBroken : public EIdFTPError {
public:
    explicit EIdFTPTransferBroken(QString message) : EIdFTPError(FtpFailure::TransferBroken, std::move(message)) {}

protected:
    EIdFTPTransferBroken(FtpFailure failure, QString message) : EIdFTPError(failure, std::move(message)) {}
};

// The data connection broke off while the control connection lives on.
class EIdFTPDataConnectionLost : public EIdFTPTransferBroken {
public:
    explicit EIdFTPDataConnectionLost(QString message) : EIdFTPTransferBroken(FtpFailure::DataConnectionLost, std::move(message)) {}
};

// The server cannot continue a transfer from a position (it refused REST, and for
// an upload APPE too): only a transfer from the first byte is left.
class EIdFTPRestartRefused : public EIdFTPError {
public:
    EIdFTPRestartRefused(QString message, int code) : EIdFTPError(FtpFailure::RestartRefused, std::move(message), code) {}
};

// What the server says of one name (TIdFTP::FileInfo).
struct RemoteFileInfo {
    bool exists = false;
    std::int64_t size = -1; // -1: the server gave none
    bool folder = false;    // as far as MLST tells (TIdFTP::IsFolder asks more ways)
};

// A file's digest as the server computed it (TIdFTP::Hash).
struct RemoteHash {
    QString algorithm; // "SHA-256", "SHA-1", "MD5" or "CRC32"
    QByteArray digest; // raw bytes
};

// Explicit FTP over TLS (RFC 4217) for the control and the data connections.
enum class TlsMode {
    Never,       // plain FTP
    IfAvailable, // TLS when the server accepts AUTH TLS, plain FTP otherwise
    Required,    // no login without TLS and a verified certificate
};

// The server's certificate could not be verified (against the trust store and the
// host name) and was not among those the user accepted: the connection was closed
// before the login, so the password never went out on it.
class UntrustedCertificateError : public EIdFTPError {
public:
    UntrustedCertificateError(QString message, QString host, QString fingerprint, QString problem)
        : EIdFTPError(FtpFailure::UntrustedCertificate, std::move(message)), m_host(std::move(host)), m_fingerprint(std::move(fingerprint)),
          m_problem(std::move(problem))
    {
    }
    const QString& host() const { return m_host; }
    // SHA-256 of the certificate, as upper-case hex pairs joined by ':'.
    const QString& fingerprint() const { return m_fingerprint; }
    // Why it could not be verified, as a phrase for the user ("o certificado expirou").
    const QString& problem() const { return m_problem; }

private:
    QString m_host;
    QString m_fingerprint;
    QString m_problem;
};

// The server's public key is not one of the keys pinned for it (FtpSettings::pinnedKeys),
// or a server that must speak TLS offered none: someone between us and the server
// may be intercepting the connection. Closed before the login; never asked about.
class InterceptionSuspectedError : public EIdFTPError {
public:
    explicit InterceptionSuspectedError(QString message, int code = 0)
        : EIdFTPError(FtpFailure::InterceptionSuspected, std::move(message), code)
    {
    }
};

struct TIdFTPListItem {
    QString FileName;   // for display (see ftp::displayName)
    QByteArray RawName; // the name as the server sent it: what commands about the entry send
    std::int64_t Size = 0;
    QDateTime ModifiedDate; // local time; invalid when the listing gave none
    bool IsDirectory = false;
};

// A remote file or folder name as the bytes the server knows it by: an entry's own
// bytes, or the UTF-8 of a name the user typed or of a local file (see FtpText.h).
// The component's calls that take a name take this, so a QString or a listing entry
// can be passed as it is.
class RemoteName {
public:
    RemoteName() = default;
    // A name as the user typed it goes out as UTF-8; a name as the window shows it
    // (ftp::displayName, marks and all) goes out as the bytes it shows.
    RemoteName(const QString& text);
    RemoteName(const TIdFTPListItem& entry) : m_bytes(entry.RawName) {}
    static RemoteName fromBytes(QByteArray bytes)
    {
        RemoteName name;
        name.m_bytes = std::move(bytes);
        return name;
    }

    const QByteArray& bytes() const { return m_bytes; }
    bool isEmpty() const { return m_bytes.isEmpty(); }
    // The name as shown to the user (ftp::displayName).
    QString displayText() const;

    bool operator==(const RemoteName&) const = default;

private:
    QByteArray m_bytes;
};

// Events of the component. They are raised on the thread that runs the operation.
class IFtpEvents {
public:
    virtual ~IFtpEvents() = default;
    virtual void OnStatus(const QString& text) = 0;
    // At the start of each data transfer: sending reports the file's size, receiving 0.
    virtual void OnWorkBegin(TWorkMode mode, std::int64_t expected) = 0;
    // Bytes moved so far in this transfer; at most every few tens of milliseconds, and once at the end.
    virtual void OnWork(TWorkMode mode, std::int64_t soFar) = 0;
    // At the end of each data transfer that began, also when it broke off.
    virtual void OnWorkEnd(TWorkMode mode) = 0;
};
