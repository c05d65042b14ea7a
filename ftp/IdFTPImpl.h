#pragma once
// What TIdFTP's operations share: the connections, the server's capabilities and
// the steps each operation is built of. The steps are defined beside the
// operations that need them:
//   IdFTP.cpp            the object itself: state, abort, which failures may pass
//   IdFTPControl.cpp     commands and replies, connect (greeting, FEAT), disconnect
//   IdFTPLogin.cpp       the login, with explicit TLS before it and PROT after it
//   IdFTPData.cpp        passive data connections and one transfer over them
//   IdFTPList.cpp        directory listings
//   IdFTPFileInfo.cpp    a name's existence and size (SIZE, MLST, LIST)
//   IdFTPRetrieve.cpp    downloads (RETR)
//   IdFTPStore.cpp       uploads (STOR, APPE)
//   IdFTPFileCommands.cpp  PWD, CWD, MKD, DELE, RNFR/RNTO
//   IdFTPHash.cpp        the server's digest of a file
// Private to the component: nothing outside ftp/ includes it.
#include "IdFTP.h"

#include "FtpCancel.h"
#include "FtpDataTransfer.h"
#include "FtpListing.h"
#include "FtpNameLookup.h"
#include "FtpReply.h"
#include "FtpReplyParsers.h"
#include "FtpSocket.h"
#include "FtpTls.h"

#include <QByteArray>
#include <QMutex>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace ftp {

// What a server says reaches messages, status lines and the log: its control
// characters are shown, not obeyed.
QString serverText(const QString& text);
// The server's refusal, in its own words.
EIdFTPError serverError(const FtpReply& reply);
// A name as status lines and messages show it.
QString shownName(const RemoteName& name);

}

struct TIdFTP::Impl {
    using Clock = std::chrono::steady_clock;

    explicit Impl(TIdFTP& owner) : q(owner) {}

    TIdFTP& q;
    FtpSettings settings;
    ftp::Socket control;
    ftp::Socket data;
    // Abort() shuts the sockets down from another thread; the operation's thread takes
    // this lock whenever it opens or closes one, or changes the cancel token, so Abort
    // never touches a closed handle.
    QMutex socketsMutex;
    // The operation's cancel (FtpCancel.h): the one given (SetCancel), never cleared
    // here; or, where none was given, the component's own, made anew by Connect.
    std::shared_ptr<ftp::CancelToken> cancel = std::make_shared<ftp::CancelToken>();
    bool ownCancel = true;
    bool cancelled() const { return cancel->cancelled(); }
    // What every wait looks at.
    const std::atomic<bool>& aborted() const { return cancel->flag(); }
    ftp::NameLookups lookups;
    ftp::FtpReplyReader reader;
    ftp::FtpCapabilities caps;
    // Set when the control connection negotiated TLS; its data connections use it too.
    std::unique_ptr<ftp::TlsContext> tls;
    bool dataProtected = false; // the server took "PROT P"
    bool keyPinned = false;     // the certificate's key was one of settings.pinnedKeys
    ftp::Ipv4Endpoint server;
    FtpListing listing;
    std::vector<char> buffer;

    // ---- IdFTP.cpp

    void status(const QString& text);
    // Whether a server that offers no TLS, or no protected data, is refused.
    bool plainRefused() const;
    // The name the certificates of this connection must carry.
    QString tlsName() const;
    void closeData() noexcept;
    void closeAll() noexcept;
    void ensureConnected();

    // Runs an operation. A failure of the connection itself closes it, since the
    // replies that are still on their way would answer the wrong commands; after
    // Abort every failure reads as the cancel it is.
    template <typename F>
    auto guarded(F&& operation) -> decltype(operation())
    {
        try {
            return operation();
        } catch (const ftp::LinkError&) {
            closeAll();
            if (cancelled())
                throw EIdFTPError(FtpFailure::Cancelled, ftp::cancelledText());
            throw;
        } catch (...) {
            if (cancelled()) {
                closeAll();
                throw EIdFTPError(FtpFailure::Cancelled, ftp::cancelledText());
            }
            throw;
        }
    }

    // Zero or less would mean "no time-out of our own"; nothing may wait forever, so
    // it means the default instead.
    ftp::Millis readTimeout() const { return settings.readTimeout.count() > 0 ? settings.readTimeout : ftp::Millis(60000); }
    ftp::Millis connectTimeout() const { return settings.connectTimeout.count() > 0 ? settings.connectTimeout : ftp::Millis(15000); }

    // ---- IdFTPControl.cpp

    // The TCP connection to the host and the server's greeting.
    void openControl();
    // Between commands the server has nothing to say, unless it is closing the
    // connection (421, RFC 959 section 5.4) or has closed it. Returns why the
    // connection is gone, or nothing while it is alive.
    std::optional<EIdFTPError> idleProblem();

    static QByteArray commandBytes(const QString& command);
    // A command about a remote name: its bytes go out exactly as they are.
    static QByteArray commandBytes(const char* verb, const RemoteName& name);

    // The next reply, which must come before the deadline; timeout is the wait that
    // deadline stands for, for the message.
    ftp::FtpReply readReply(Clock::time_point deadline, ftp::Millis timeout);
    ftp::FtpReply readReply(ftp::Millis timeout);
    // The final reply, after the preliminary ones, all before one deadline.
    ftp::FtpReply finalReply(ftp::FtpReply reply, Clock::time_point deadline, ftp::Millis timeout);

    // Sends a command and returns its first reply, preliminary (1xx) or not.
    ftp::FtpReply send(const QByteArray& bytes);
    ftp::FtpReply send(const QByteArray& bytes, Clock::time_point deadline);
    // Sends a command that opens no data connection and returns its final reply.
    ftp::FtpReply command(const QByteArray& bytes);
    ftp::FtpReply command(const QString& text);
    ftp::FtpReply command(const char* verb, const RemoteName& name);
    // A command whose reply may take longer than the usual wait.
    ftp::FtpReply commandWithin(const QByteArray& bytes, ftp::Millis wait);

    // ---- IdFTPLogin.cpp

    // From the greeting to a logged-in session: TLS first where the mode asks for
    // it, USER and PASS, then protected data connections.
    void logIn();
    void negotiateTls();
    void protectData();

    // ---- IdFTPData.cpp

    // One transfer on a new passive data connection; with restartAt, from that
    // position of the file on. Returns the bytes moved.
    std::int64_t transfer(const QByteArray& request, TWorkMode mode, std::int64_t expected,
                          const std::function<void(ftp::Socket&, ftp::WorkReporter&)>& body,
                          std::int64_t restartAt = 0);
    // The data connection, REST where the transfer starts further on, the transfer
    // command and its preliminary reply, and the data connection's TLS.
    void startTransfer(const QByteArray& request, std::int64_t restartAt);
    ftp::TransferLimits limits() const { return {readTimeout(), &aborted()}; }
    void openDataConnection();
    void secureDataConnection();
    void resyncAfterBrokenTransfer() noexcept;

    // ---- IdFTPList.cpp

    struct ListingRead {
        FtpListing entries;
        qsizetype bytes = 0; // as they came over the data connection, read or not
    };
    // request (MLSD, or LIST with or without a name) over a data connection, read
    // by the parser of MLSD lines or of LIST lines as it arrives.
    ListingRead readListing(const QByteArray& request, bool machineListing);

    // ---- IdFTPFileInfo.cpp

    // SIZE: the size where the server answers 213 with one, else nothing.
    std::optional<std::int64_t> remoteSize(const RemoteName& name);

    // ---- IdFTPRetrieve.cpp

    // RETR into out, from startPos of the file on; localPath names it in messages
    // (empty: a stream of the caller's). expected: the file's size, -1 to ask SIZE.
    // Returns the bytes received.
    std::int64_t receiveFile(const RemoteName& remoteName, QIODevice& out, const QString& localPath,
                             std::int64_t startPos = 0, std::int64_t expected = -1);

    // ---- IdFTPFileCommands.cpp

    // A command about one name that only succeeds or is refused.
    void commandOn(const char* verb, const RemoteName& name);
};
