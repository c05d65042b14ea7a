#pragma once
// The client's session with support's FTP server: the one connection (primary
// endpoint, then the alternate one), the client folder (worked out from the
// installed system's database, then walked on the server), and the file
// operations in it.
//
// It knows nothing of windows: it reports and asks through FtpSessionEvents. Every
// call blocks the thread that makes it until the server has answered: the window
// and the command line run the session on the thread of a SessionWorker, which owns
// it for the program's life, and receive its reports there as queued calls. One
// operation at a time: a driver marks each one (beginOperation .. endOperation, or
// an Operation), so that a second request can be told to wait, and a cancel from
// another thread knows what it stops. How it reaches the server and behaves there
// is one value, SessionSettings.
//
// Transfers never leave a piece under a final name: an upload goes to a temporary
// name (PartialUploadName.h) and is renamed only once the server's copy has been
// checked; a download goes to a temporary file beside its target. When the line
// breaks, a transfer goes on where the data stopped, after a pause, up to
// RetryPolicy::pauses.size() times. How is the business of the transfers' private
// header (FtpSessionTransfers.h).
#include "FtpSessionEvents.h"
#include "IdFTP.h"
#include "PastaCliente.h"
#include "SessionFailure.h"
#include "SessionSettings.h"
#include "TransferRecord.h"
#include "uIQuintaraConexoes.h"

#include <QMutex>
#include <QSet>
#include <QString>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

// The listing as the FTP component keeps it, copied out of the component.
using FtpListing = std::remove_cvref_t<decltype(std::declval<const TIdFTP&>().DirectoryListing())>;

// How a transfer that went through was checked.
enum class TransferCheck {
    SizeAndDigest, // the server's size, and its digest of the file, match ours
    Size,          // the server's size matches; it offers no digest
    Unconfirmed,   // the server told no size to compare
};

// What the session knows of the client and of its connection, as a front end
// shows it.
struct SessionStatus {
    TQuintaraSistema sistema = qncNenhum;
    QString directory;     // the client folder on the server; empty until resolved
    bool baseCorrompida = false;
    MotivoBaseCorrompida motivo = MotivoBaseCorrompida::Nenhum;
    // The failure's own words behind the reason (PastaResolvida::detalhe).
    QString detalheMotivo;
    bool connected = false;
    ConnectionSecurity security = ConnectionSecurity::Plain;
};

class FtpSession : private IFtpEvents {
public:
    enum class State {
        Idle,       // nobody uses the connection
        Running,    // an operation holds it
        Cancelling, // the operation was told to stop; its next FTP call fails
    };
    explicit FtpSession(FtpSessionEvents& events, SessionSettings settings = {});
    ~FtpSession() override;

    // From the next connection, the next wait and the next pause on.
    void configure(SessionSettings settings);

    // Finds the installed system (create looks beside the executable) and says in
    // the log which one it is; a system that cannot be found is none.
    void identificarSistema(const std::function<IQuintaraConexaoPtr()>& create);
    // The client folder on the server; empty until resolved.
    const QString& directory() const { return m_directory; }
    // Corrupted-base mode: once on, never off.
    bool baseCorrompida() const { return m_baseCorrompida; }
    // Why the client could not be identified (Nenhum while identified).
    MotivoBaseCorrompida motivoBaseCorrompida() const { return m_motivoBaseCorrompida; }
    SessionStatus status() const;

    State state() const { return m_state.load(); }
    // What runs: what a cancel says, and whether closing the window asks first (an
    // upload or a download, from its connection to its end).
    Operation operation() const { return m_operation; }
    bool transferring() const { return m_operation == Operation::Upload || m_operation == Operation::Download; }
    // One operation, questions and dialogs included, from the driver's thread: begin
    // before it is handed to the thread that runs it, end once that thread is done
    // with it.
    void beginOperation(Operation operation);
    void endOperation();
    // The same for an operation run inline, for its scope.
    class OperationScope {
    public:
        OperationScope(FtpSession& session, Operation operation);
        ~OperationScope();
        OperationScope(const OperationScope&) = delete;
        OperationScope& operator=(const OperationScope&) = delete;

    private:
        FtpSession& m_session;
    };
    // Stops the running operation: a transfer breaks off at once, a pause before a
    // new attempt ends, and no further FTP call of the operation is started. What
    // is partial stays under no final name. Nothing happens when idle. May come from
    // another thread (a run without a window, stopped by a signal).
    void cancel();

    bool Connected() const;
    // How the open connection is protected.
    ConnectionSecurity security() const;
    // Connects and logs in at the primary endpoint, at the alternate one when that fails.
    void ConectarFTP();
    // Works out the client folder; on any failure switches to corrupted-base mode.
    void DefinirPastaCliente();
    // Resolves the folder if needed, connects if needed, and makes the client folder
    // the server's current directory, creating the levels that are missing.
    void CriarPastaCliente();
    // The client folder's entries, as received. Never lists the folder shared in
    // corrupted-base mode: that one holds other clients' files.
    FtpListing fetchListing();
    // An upload that did not fail.
    struct SentFile {
        QString name;                      // the name it has on the server
        std::optional<TransferCheck> check; // nothing when a file of that name was kept
    };
    // Sends a file under its own name into the current directory, asking before a
    // remote file is replaced (also when one appeared while the data went) and
    // before an interrupted upload of the same file is continued. ERemoteNameTaken
    // when a file that appeared meanwhile was kept.
    SentFile EnviarArquivo(const QString& localPath);
    // Sends a file under a unique name into the current directory: one that no file
    // there has, before the data goes and when it takes the name.
    SentFile EnviarArquivoBaseCorrompida(const QString& localPath);
    // Fetches remoteName of the client folder into localPath, asking before a local
    // file is replaced, also when one appeared or changed there while the data
    // came. Fails as RemoteFileNotFound when the server has no such file. Nothing
    // when the user kept a local file that appeared meanwhile.
    // A listing entry names its file by the bytes the server sent; a typed name
    // goes out as UTF-8.
    std::optional<TransferCheck> BaixarArquivo(const RemoteName& remoteName, const QString& localPath);
    // Runs the steps of one transfer the user asked for (connecting, entering the
    // folder, the transfer itself): whatever fails in them ends the transfer once, as
    // failed, and comes out as an ESessionFailure that carries the transfer's record
    // (what became of the file); a cancel comes out as one of kind Cancelled.
    template <typename F>
    auto asTransfer(TWorkMode mode, const QString& fileName, F&& steps) -> decltype(steps());
    // Deletes a file of the client folder, connecting and entering the folder where
    // needed, as every other operation does.
    void deleteFile(const RemoteName& name);
    // QUIT when connected; never fails.
    void closeConnection();
    // A line of the operation's own for the log.
    void log(const QString& line) { m_events.log(line); }

private:
    // IFtpEvents: raised on whichever thread runs the FTP call.
    void OnStatus(const QString& text) override;
    void OnWorkBegin(TWorkMode mode, std::int64_t expected) override;
    void OnWork(TWorkMode mode, std::int64_t soFar) override;
    void OnWorkEnd(TWorkMode mode) override;

    // A call of the FTP component (FtpSessionCalls.h).
    template <typename F>
    auto ftp(F&& f) -> decltype(f());
    void throwIfCancelled() const;
    ESessionFailure cancelled() const;
    std::shared_ptr<ftp::CancelToken> cancelToken() const;

    // The transfer that runs, for its progress, its end and its failure message.
    void beginTransfer(TWorkMode mode, const QString& name);
    void endTransfer(TransferOutcome outcome, const QString& failure = {});
    [[noreturn]] void failTransfer(std::exception_ptr error);
    // The transfers' machinery (FtpSessionTransfers.h).
    class Transfers;

    // ConectarFTP's two endpoints; one connection, and one more if the user accepts a
    // certificate that could not be verified.
    void conectarComAlternativo();
    void conectar(const Endpoints& destinos, const Endpoints::Destino& destino, const QString& nomeTls);
    // Whether the service these endpoints make up completed TLS before, in this run
    // or in the memory kept between runs (TlsMemory): then a connection to either
    // that is offered no TLS gets no login.
    bool tlsVisto(const Endpoints& destinos) const;
    void lembrarTls(const Endpoints& destinos);

    FtpSessionEvents& m_events;
    SessionSettings m_settings;
    IQuintaraConexaoPtr m_sistema;
    QString m_directory;
    bool m_baseCorrompida = false;
    MotivoBaseCorrompida m_motivoBaseCorrompida = MotivoBaseCorrompida::Nenhum;
    QString m_detalheBaseCorrompida;
    std::unique_ptr<TIdFTP> m_ftp;
    ConnectionSecurity m_security = ConnectionSecurity::Plain;
    // "host:port" of the endpoints that completed TLS in this run.
    QSet<QString> m_tlsNestaExecucao;
    bool m_avisoMemoriaTls = false;
    std::atomic<State> m_state{State::Idle};
    Operation m_operation = Operation::Listing;

    std::optional<TransferRecord> m_transfer;
    // Whether the login may rename, once a rename of this connection went through
    // or was refused.
    std::optional<bool> m_mayRename;
    // While a Put or Get of the transfer runs: the component's byte counts start
    // at 0 for each call, and base is where the call started in the file. Other
    // data (listings, the listing of one name) is no progress of the file.
    std::atomic<bool> m_dataPhase{false};
    std::atomic<std::int64_t> m_dataBase{0};

    // The running operation's cancel (ftp/FtpCancel.h), a new one for each: the FTP
    // component's waits, the pause between attempts and a digest look at it. The
    // mutex is for a cancel from another thread.
    mutable QMutex m_cancelMutex;
    std::shared_ptr<ftp::CancelToken> m_cancel;
};

template <typename F>
auto FtpSession::asTransfer(TWorkMode mode, const QString& fileName, F&& steps) -> decltype(steps())
{
    if (!m_transfer)
        beginTransfer(mode, fileName);
    try {
        if constexpr (std::is_void_v<decltype(steps())>) {
            steps();
            m_transfer.reset();
        } else {
            auto result = steps();
            m_transfer.reset();
            return result;
        }
    } catch (...) {
        failTransfer(std::current_exception());
    }
}
