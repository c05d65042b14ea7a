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

class EIdFTPError : public Exception {
public:
    explicit EIdFTPError(QString message, int code = 0) : Exception(std::move(message)), m_code(code) {}
    // The server's reply code, or 0 for our own failures (time-out, closed connection, local file).
    int Code() const noexcept { return m_code; }

private:
    int m_code;
};

// A transfer that stopped short while the server still took part: the data
// connection could not be opened or broke off, or it carried less than the file.
// Another try may well go through.
class EIdFTPTransferBroken : public EIdFTPError {
public:
    using EIdFTPError::EIdFTPError;
};

// The data connection broke off while the control connection lives on.
class EIdFTPDataConnectionLost : public EIdFTPTransferBroken {
public:
    using EIdFTPTransferBroken::EIdFTPTransferBroken;
};

// The server cannot continue a transfer from a position (it refused REST, and for
// an upload APPE too): only a transfer from the first byte is left.
class EIdFTPRestartRefused : public EIdFTPError {
public:
    using EIdFTPError::EIdFTPError;
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
        : EIdFTPError(std::move(message)), m_host(std::move(host)), m_fingerprint(std::move(fingerprint)),
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

// The server's public key is not one of the keys pinned for it (TIdFTP::PinnedKeys),
// or a server that must speak TLS offered none: someone between us and the server
// may be intercepting the connection. Closed before the login; never asked about.
class InterceptionSuspectedError : public EIdFTPError {
public:
    using EIdFTPError::EIdFTPError;
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
