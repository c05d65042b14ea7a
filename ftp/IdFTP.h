#pragma once
// FTP client component: a synchronous RFC 959 client (with the FEAT/MLSD/MLST/SIZE/REST
// extensions of RFC 2389/3659, EPSV of RFC 2428, explicit TLS of RFC 4217, and the hash
// commands that servers offer: HASH of draft-ietf-ftpext2-hash, XSHA256/XSHA1/XMD5/XCRC).
// Every call blocks until it is
// done and reports failure by throwing an EIdFTPError whose message is the server's
// reply text for a refused command (without the code, lines joined with '\n'), or
// our own text, and whose failure() says what went wrong (FtpTypes.h), set where it
// was raised: by the reply's code class for a refusal.
//
// The component itself is not tied to any thread: the window runs its calls on a
// worker thread and receives the events there (see IFtpEvents). Abort() and
// SetCancel's token are the ones that may come from another thread while an
// operation runs.
//
// Names: the calls that name a remote file or folder take a RemoteName, which a
// QString (the user's text, a local file's name: sent as UTF-8) or an entry of
// DirectoryListing() (sent as the very bytes the server listed) converts to.
//
// Nothing waits without end: each command's final reply has one deadline of
// readTimeout, however many preliminary (1xx) replies come before it, and a data
// connection that moves less than the minimum rate of FtpDataTransfer.h over
// readTimeout counts as stalled; only a hash command waits longer (see Hash).
#include "FtpListing.h"
#include "FtpTypes.h"

namespace ftp {
class CancelToken;
class PartFile;
}

#include <QDateTime>
#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

// What a connection is made with (TIdFTP::configure): where and as whom, the
// encryption, how long a wait may last, and how fast the data may move.
struct FtpSettings {
    QString host = {};
    int port = 21;
    QString username = {};
    QString password = {};
    TIdFTPTransferType transferType = ftBinary;
    // "EPSV ALL" after the login where the server offers EPSV (RFC 2428 section 4).
    bool tryNatFastTrack = true;
    // Plain FTP unless set otherwise. With TLS the control connection is secured
    // before the login ("AUTH TLS") and the data connections after it ("PROT P").
    // A certificate that cannot be verified fails Connect with
    // UntrustedCertificateError before the login, unless its fingerprint is among
    // acceptedCertificates and the mode is IfAvailable (Required takes verified
    // certificates only).
    TlsMode tls = TlsMode::Never;
    // SHA-256 fingerprints (as UntrustedCertificateError gives them) of certificates
    // of host that the user accepted although they could not be verified.
    QStringList acceptedCertificates = {};
    // The name host's certificate must carry and that is sent as SNI; empty: host.
    QString tlsName = {};
    // SHA-256 digests of the public keys (DER SubjectPublicKeyInfo) the server may
    // show. When there are any, a certificate with one of these keys is accepted
    // whatever its names, issuer or dates, one with another key fails Connect with
    // InterceptionSuspectedError before the login, and with IfAvailable a server that
    // offers no TLS (or refuses PROT P) is refused too: the pins mean this is our
    // own server, which always speaks TLS.
    QList<QByteArray> pinnedKeys = {};
    // With IfAvailable: the service host belongs to (the vendor's server, at either
    // of its endpoints) completed TLS before, so a server there that now offers none
    // (or refuses PROT P) is refused before the login instead of being given the
    // password in clear: someone on the way may be removing the TLS offer.
    bool tlsSeenBefore = false;
    // Zero or less means the default: nothing waits forever.
    std::chrono::milliseconds connectTimeout{15000}; // name resolution plus TCP connect, also of data connections
    std::chrono::milliseconds readTimeout{60000};    // reply wait, and the window of the data connections' minimum rate
    // The most the data connections may move, in bytes per second; 0: no limit.
    // Taken and kept; not applied yet.
    std::int64_t speedLimit = 0;
};

class TIdFTP {
public:
    TIdFTP();
    ~TIdFTP();
    TIdFTP(const TIdFTP&) = delete;
    TIdFTP& operator=(const TIdFTP&) = delete;

    // The settings of the next Connect and of the calls on its connection. Not
    // while a call runs.
    void configure(const FtpSettings& settings);
    const FtpSettings& settings() const;

    // May be null. A change takes effect at once, also inside a running transfer.
    void SetEvents(IFtpEvents* events) { m_events.store(events); }
    IFtpEvents* Events() const { return m_events.load(); }

    // Connects and logs in; a connection still open is dropped first. A failure leaves
    // the component disconnected.
    void Connect();
    // Whether the connection made by the last Connect is encrypted (control and data).
    bool IsSecure() const;
    // Whether the server of that connection was known by one of its pinnedKeys.
    bool IsKeyPinned() const;
    // False once the server has closed the connection, after Abort and after a failure
    // that left the connection out of step.
    bool Connected() const;
    // QUIT and close; never throws.
    void Disconnect();
    QString RetrieveCurrentDir();
    void ChangeDir(const RemoteName& dir);
    void MakeDir(const RemoteName& dir);
    void Delete(const RemoteName& name);
    // Fills DirectoryListing from MLSD where the server has it, else from LIST. A
    // listing beyond FtpListing's limits fails with a message that says so, and
    // leaves DirectoryListing empty.
    void List();
    const FtpListing& DirectoryListing() const;
    // The size on reply 213; -1 on any other reply or failure. Never throws.
    std::int64_t Size(const RemoteName& name);
    // Whether name exists, and its size. SIZE first; where it gives no size (refused,
    // or a 550 that may mean either "no such file" or "not now"), MLST where FEAT
    // offers it, else a LIST of that one name. Throws when the connection fails or
    // no way tells.
    RemoteFileInfo FileInfo(const RemoteName& name);
    // Whether name is a folder: MLST where FEAT offers it, else whether CWD enters it
    // (and then CWD back to where it was). Throws when the connection fails.
    bool IsFolder(const RemoteName& name);
    // The modification time MDTM gives (RFC 3659 section 3), UTC; nothing where the
    // server gives none. Throws when the connection fails.
    std::optional<QDateTime> ModifiedTime(const RemoteName& name);
    // RNFR then RNTO; raises the refusal of either.
    void Rename(const RemoteName& from, const RemoteName& to);
    // The server's digest of name, where it offers a hash command: HASH (choosing
    // SHA-256 with OPTS HASH where it offers it), else XSHA256, XSHA1, XMD5 or XCRC;
    // nothing where it offers none. The server reads the whole file first, so the
    // reply may take up to wait. Raises a refusal.
    std::optional<RemoteHash> Hash(const RemoteName& name, std::chrono::milliseconds wait);
    // resume must be false (not supported). localPath must be a regular file or not
    // exist yet (anything else is refused before a command is sent). The data goes
    // to a hidden temporary file beside localPath, with a short name of its own, that
    // replaces it only after a complete transfer.
    void Get(const RemoteName& remoteName, const QString& localPath, bool canOverwrite, bool resume);
    // The data goes into destination, open for writing, as it arrives. From startPos
    // on (REST, RFC 3659 section 5; EIdFTPRestartRefused where the server refuses it).
    // expectedSize is the whole file's size where the caller knows it, else -1 (then
    // SIZE is asked): a transfer that ends short of it fails. Returns the bytes received.
    std::int64_t Get(const RemoteName& remoteName, QIODevice& destination, std::int64_t startPos = 0,
                     std::int64_t expectedSize = -1);
    // The same into the temporary file of a download, whose messages name its target.
    std::int64_t Get(const RemoteName& remoteName, ftp::PartFile& destination, std::int64_t startPos, std::int64_t expectedSize);
    // Up to length bytes of remoteName from offset on (REST then RETR, the data
    // connection closed once they are there): fewer where the file ends before.
    QByteArray ReadRange(const RemoteName& remoteName, std::int64_t offset, std::int64_t length);
    // An empty remoteName means the local file's bare name. Sends the local file from
    // startPos on: at 0, STOR of the whole file; beyond it, REST startPos then STOR,
    // or APPE where the server refuses REST before STOR (the server's file must then
    // hold exactly startPos bytes); with append, APPE. EIdFTPRestartRefused when the
    // server can do neither. Returns the bytes sent.
    std::int64_t Put(const QString& localPath, const RemoteName& remoteName = {}, bool append = false, std::int64_t startPos = 0);

    // The cancel of the operation that runs (FtpCancel.h), owned by whoever runs it:
    // every wait looks at it, a cancelled one fails every call, and the component
    // never clears it. Without one (nullptr) the component keeps its own, which
    // Abort sets and each Connect makes anew. Not while a call runs.
    void SetCancel(std::shared_ptr<ftp::CancelToken> token);
    // Thread-safe: sets the cancel token, which breaks off the operation that runs
    // now and fails the next ones, and shuts the sockets down, which wakes a wait at
    // once. The connection counts as closed.
    void Abort();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
    std::atomic<IFtpEvents*> m_events{nullptr};
};
