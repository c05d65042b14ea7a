#pragma once
// The program's one window. Its controls are laid out in ufPrincipal.ui; this class
// wires them to the FTP session (client/FtpSession.h), which does the work, and
// shows what the session reports: the log, the busy panel, the file list, and the
// message boxes that answer its questions.
#include "BusyPanel.h"
#include "Dialogos.h"
#include "FtpSession.h"
#include "ui_ufPrincipal.h"

#include <QMainWindow>
#include <QTimer>

#include <functional>
#include <memory>

class FileListModel;

// Application title: taskbar and the captions of success boxes.
extern const QString kTituloAplicacao;

class TfPrincipal : public QMainWindow, private FtpSessionEvents {
    Q_OBJECT
    friend class TAbrirComThread;
    friend struct AcessoTeste; // the window's tests reach its private operations

public:
    struct Dependencias {
        std::shared_ptr<IDialogos> dialogos;                  // default: the platform's dialogs
        std::function<IQuintaraConexaoPtr()> criarSistema;    // default: detect beside the executable
        QStringList argumentos;                               // command-line arguments, program name excluded
        int pausaAntesDeFecharMs = 1500;                      // after a command-line send
        int atrasoDaEsperaMs = 400;                           // before a wait shows in the busy panel
        RetryPolicy novasTentativas;                          // after a broken line
    };

    TfPrincipal();
    explicit TfPrincipal(Dependencias deps, QWidget* parent = nullptr);
    ~TfPrincipal() override;

    // The controls, named as support staff know them.
    const std::unique_ptr<Ui::fPrincipal> ui;

    // State that tests and support staff look at.
    const QString& directory() const { return m_sessao.directory(); }
    bool baseCorrompida() const { return m_sessao.baseCorrompida(); }
    IQuintaraConexao* sistema() const { return m_sessao.sistema(); }
    bool operacaoEmAndamento() const { return m_sessao.state() != FtpSession::State::Idle; }
    TIdFTP& IdFTP1() { return m_sessao.IdFTP1(); }
    FileListModel& arquivos() const { return *m_arquivos; }

    // Drops the given local paths on the window, as the platform's drop does.
    void SoltarArquivos(const QStringList& paths);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void ligarControles();
    void FormCreate();
    void FormShow();
    void FormClose();

    // The one guard every handler runs through: nothing escapes to Qt's event
    // dispatch, and nothing is swallowed silently.
    void protegido(QObject* sender, const std::function<void()>& handler);
    // A handler that uses the FTP connection: one at a time. A transfer's handler
    // says so: closing the window then asks first.
    void operacao(QObject* sender, const std::function<void()>& handler, FtpSession::Kind kind = FtpSession::Kind::Other);
    void ApplicationEvents1Exception(QObject* sender, const Exception& e);
    int MessageBox(const QString& text, const QString& caption, int flags);

    // Log and busy state.
    void Log(const QString& text);
    void Aguardar(std::int64_t max, const QString& text);
    void Liberar();
    void bombearMensagens();
    void ListView1SelectItem();
    void Splitter1Moved();
    // Opens the log below the page, as dragging the splitter does.
    void mostrarLog();
    void btnCancelarClick();

    // What the session reports and asks.
    void log(const QString& line) override;
    void clientCaption(const QString& caption) override;
    void waiting(const QString& what) override;
    void transferBegin(TWorkMode mode, std::int64_t total) override;
    void transferProgress(TWorkMode mode, std::int64_t soFar) override;
    void transferRetry(TWorkMode mode, int attempt, int maxAttempts, int secondsLeft) override;
    void transferResumed(TWorkMode mode, std::int64_t soFar) override;
    void transferChecking(TWorkMode mode) override;
    void transferEnd(TWorkMode mode, TransferOutcome outcome, const QString& failure) override;
    bool replaceRemoteFile(const QString& name) override;
    bool resumeInterruptedUpload(const QString& name, std::int64_t done, std::int64_t total) override;
    bool replaceLocalFile(const QString& localPath) override;
    void uniqueNameChosen(const QString& name) override;
    bool acceptCertificate(const QString& host, const QString& problem, const QString& fingerprint) override;
    void connectionSecurity(bool secure) override;

    // The buttons and what they start.
    void ListarArquivos();
    void btnViewFilesClick();
    void btnRefreshClick();
    void btnUploadClick();
    // Both send localPath in the mode the client is in; nothing when the user declined.
    std::optional<TransferCheck> enviar(const QString& localPath);
    // What the window shows of a file that went: the unique name, or the refreshed list.
    void mostrarEnviado(const FtpSession::Sent& enviado);
    void mensagemDeSucesso(TWorkMode mode, TransferCheck check);
    int linhaSelecionada() const;
    void GarantirSelecao();
    void btnDownloadSelectedClick();
    void btnDownloadFinalClick();
    void BaixarArquivo(const RemoteName& remoteName);
    bool ConfirmaSubstituirLocal(const QString& localPath);
    void btnDeleteClick();

    // Command line and drops.
    void EnviarArquivoLinhaComando();
    void WMDropFiles(const QStringList& paths);
    void verificarArquivoParaEnvio(const QString& path);

    Dependencias m_deps;
    FtpSession m_sessao;
    FileListModel* m_arquivos = nullptr;
    std::unique_ptr<BusyPanel> m_painel;
    // A wait shows in the panel only once it lasts: a quick listing does not flash it.
    QTimer m_esperaVisivel;
    QString m_textoEspera;
    bool m_mostrada = false;
    int m_bombeando = 0;
};
