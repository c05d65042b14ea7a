#pragma once
// The client's session with support's FTP server: the one connection (primary
// endpoint, then the alternate one), the client folder (worked out from the
// installed system's database, then walked on the server), and the file
// operations in it.
//
// It knows nothing of windows: it reports and asks through FtpSessionEvents. Each
// blocking FTP or database call runs through executarBloqueante, which keeps a
// window painting while it waits and simply runs the call where there is no event
// loop. One operation at a time: a driver that has an event loop holds an
// Operation while it works, so that a second request can be told to wait.
#include "FtpSessionEvents.h"
#include "IdFTP.h"
#include "PastaCliente.h"
#include "uIQuintaraConexoes.h"
#include "uTFtpQuintaraUtil.h"

#include <QObject>
#include <QString>

#include <optional>
#include <type_traits>
#include <utility>

// The listing as the FTP component keeps it, copied out of the component.
using FtpListing = std::remove_cvref_t<decltype(std::declval<const TIdFTP&>().DirectoryListing())>;

// A download of a name the server does not have.
class ERemoteFileNotFound : public EUserException {
public:
    using EUserException::EUserException;
};

class FtpSession : public QObject, private IFtpEvents, private IPastaClienteAlvo {
    Q_OBJECT

public:
    enum class State {
        Idle,       // nobody uses the connection
        Running,    // an operation holds it
        Cancelling, // the operation was told to stop; its next FTP call fails
    };

    explicit FtpSession(FtpSessionEvents& events, QObject* parent = nullptr);
    ~FtpSession() override;

    // The installed system whose client this session serves.
    void setSistema(IQuintaraConexaoPtr sistema);
    IQuintaraConexao* sistema() const { return m_sistema.get(); }
    // The client folder on the server; empty until resolved.
    const QString& directory() const { return m_directory; }
    // Corrupted-base mode: once on, never off.
    bool baseCorrompida() const { return m_baseCorrompida; }
    TIdFTP& IdFTP1() { return *m_ftp; }

    State state() const { return m_state; }
    // Held for the length of one operation, questions and dialogs included.
    class Operation {
    public:
        explicit Operation(FtpSession& session);
        ~Operation();
        Operation(const Operation&) = delete;
        Operation& operator=(const Operation&) = delete;

    private:
        FtpSession& m_session;
    };
    // Stops the running operation: a transfer breaks off at once, and no further
    // FTP call of the operation is started. Nothing happens when idle.
    void cancel();

    bool Connected() const;
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
    // Sends a file under its own name into the current directory, asking before a
    // remote file is replaced; false when the user declined.
    bool EnviarArquivo(const QString& localPath);
    // Sends a file under a unique name into the current directory; returns that name.
    QString EnviarArquivoBaseCorrompida(const QString& localPath);
    // Fetches remoteName of the client folder into localPath, asking before a local
    // file is replaced. Raises ERemoteFileNotFound when the server has no such file.
    // A listing entry names its file by the bytes the server sent; a typed name
    // goes out as UTF-8.
    void BaixarArquivo(const RemoteName& remoteName, const QString& localPath);
    // Deletes a file of the current directory.
    void deleteFile(const RemoteName& name);
    // QUIT when connected; never fails.
    void closeConnection();

signals:
    // The operation that held the session has ended.
    void idle();

private:
    // IFtpEvents: raised on whichever thread runs the FTP call.
    void OnStatus(const QString& text) override;
    void OnWorkBegin(TWorkMode mode, std::int64_t expected) override;
    void OnWork(TWorkMode mode, std::int64_t soFar) override;
    void OnWorkEnd(TWorkMode mode) override;
    template <typename F>
    void relay(F f);

    // IPastaClienteAlvo
    void Log(const QString& text) override;
    void SetCaptionCliente(const QString& caption) override;
    void SetDirectory(const QString& value) override;
    void SetBaseCorrompida() override;

    template <typename F>
    auto ftp(F&& f) -> decltype(f());
    // Connect at the endpoint set in the component, and once more if the user accepts
    // a certificate that could not be verified.
    void conectar();
    // Runs a Put or Get and reports its end once, with how it went.
    template <typename F>
    void transfer(TWorkMode mode, F&& call);

    FtpSessionEvents& m_events;
    IQuintaraConexaoPtr m_sistema;
    QString m_directory;
    bool m_baseCorrompida = false;
    std::unique_ptr<TIdFTP> m_ftp;
    State m_state = State::Idle;

    // The transfer whose progress is reported. The component also reports the data
    // of listings, which are no transfer of the user's.
    struct Transfer {
        TWorkMode mode;
        bool begun;
    };
    std::optional<Transfer> m_transfer;
};
