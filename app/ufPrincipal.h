#pragma once
// The program's one window. Its controls are laid out in ufPrincipal.ui; this class
// asks the FTP session's worker (client/SessionWorker.h) for operations, which run
// on the session's own thread, and shows what the session reports and what the
// operations give: the log, the busy panel, the file list, and the message boxes
// that answer its questions. It decides nothing of how an operation goes.
//
// ufPrincipal.cpp: start-up, closing, the guard and the busy state;
// EventosJanela.cpp: what the session reports and asks; OperacoesJanela.cpp: what
// the buttons, a drop and a file handed over at start ask of the session.
#include "BusyPanel.h"
#include "Dialogos.h"
#include "EnvioArquivo.h"
#include "LocalFileLock.h"
#include "SessionWorker.h"
#include "uTFtpQuintaraUtil.h"
#include "ui_ufPrincipal.h"

#include <QMainWindow>
#include <QSettings>
#include <QTimer>

#include <atomic>
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
        SessionSettings ajustes;                              // how the session reaches the server
        // Where the window's size and the log's state are remembered from one run to
        // the next (main: the user's settings); none, nothing is remembered.
        std::function<std::unique_ptr<QSettings>()> preferencias;
    };

    TfPrincipal();
    explicit TfPrincipal(Dependencias deps, QWidget* parent = nullptr);
    ~TfPrincipal() override;

    // The controls, named as support staff know them. The pages of PageControl1,
    // which only the program switches (no tab row):
    //   tsNenhum   "Selecione uma opção", until the first operation;
    //   TabSheet1  the client folder's file list, with download and delete;
    //   TabSheet2  corrupted-base mode: the shared folder is never listed, so a
    //              file is downloaded by the name typed (edtNomeArquivo);
    //   TabSheet3  corrupted-base mode, after a send: the unique name the file
    //              got on the server (edtUploadUniqueName), for the user to tell support;
    //   TabSheet4  the proxy settings of the original form, never shown.
    const std::unique_ptr<Ui::fPrincipal> ui;

    // State that tests and support staff look at, as of the last operation's end.
    const QString& directory() const { return m_trabalhador->status().directory; }
    bool baseCorrompida() const { return m_trabalhador->status().baseCorrompida; }
    TQuintaraSistema sistema() const { return m_trabalhador->status().sistema; }
    bool conectada() const { return m_trabalhador->status().connected; }
    ConnectionSecurity seguranca() const { return m_trabalhador->status().security; }
    // An operation, or the identification of the installed system, runs.
    bool operacaoEmAndamento() const { return m_trabalhador->busy() || m_identificando; }
    FileListModel& arquivos() const { return *m_arquivos; }

    // Drops the given local paths on the window, as the platform's drop does.
    void SoltarArquivos(const QStringList& paths);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ligarControles();
    void FormCreate();
    void FormShow();
    void FormClose();
    // The window's size and the log's state: put back as it opens, kept as it closes.
    bool restaurarPreferencias();
    void guardarPreferencias();
    // F5: the list again, or the client folder's view while no list shows.
    void atualizarComF5();

    // The one guard every handler runs through: nothing escapes to Qt's event
    // dispatch, and nothing is swallowed silently.
    void protegido(QObject* sender, const std::function<void()>& handler);
    void excecao(QObject* sender, std::exception_ptr error);
    // An operation of the worker starts: one at a time (false, and a line in the
    // log, while another runs), with the panel cleared of what the last one left.
    // arquivo names the file an upload or a download moves, for the panel and for
    // the question that closing the window asks.
    bool iniciarOperacao(const QString& arquivo = {});
    // ... and ends: the panel's wait goes, a failure is said.
    void terminarOperacao(const std::optional<Failure>& falha);
    // A failure, as FailureText.h says it: the busy panel, the log (which opens),
    // the box.
    void mostrarFalha(const Failure& falha);
    bool ocupada();
    void ApplicationEvents1Exception(QObject* sender, const Exception& e);
    int MessageBox(const QString& text, const QString& caption, int flags);
    // A question the session asks: nothing busy shows behind it.
    int pergunta(const QString& text, const QString& caption, int flags);

    // Log and busy state.
    void Log(const QString& text);
    void Aguardar(std::int64_t max, const QString& text);
    void Liberar();
    void ListView1SelectItem();
    void Splitter1Moved();
    // Opens the log below the page, as dragging the splitter does.
    void mostrarLog();
    // The closed log takes no focus: Tab never stops where nothing shows.
    void focoDoLog();
    void btnCancelarClick();

    // What the session reports and asks.
    void log(const QString& line) override;
    void warning(const QString& line) override;
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
    void connectionSecurity(ConnectionSecurity security) override;

    // The buttons and what they start (OperacoesJanela.cpp).
    void Listar(PedidoListagem pedido);
    void mostrarListagem(const ListagemPasta& listagem);
    void btnViewFilesClick();
    void btnRefreshClick();
    // The one send flow, for the button, a drop and a file handed over at start;
    // depois runs once the file went (or was kept on the server).
    void Enviar(PedidoEnvio pedido, std::function<void(const Envio&)> depois = {});
    void btnUploadClick();
    // What the window shows of a file that went: the unique name, or the refreshed list.
    void mostrarEnviado(const Envio& envio);
    void mensagemDeSucesso(const QString& texto);
    // How a transfer ended, as the last line about it in the log file (outcomeLines),
    // stamped with the moment it ended.
    void registrarResultado(const QString& texto);
    // The list no longer says what the server holds (the connection could not be
    // made): it goes, rather than stand there as if it did.
    void descartarListagem();
    int linhaSelecionada() const;
    void GarantirSelecao();
    void btnDownloadSelectedClick();
    void btnDownloadFinalClick();
    void BaixarArquivo(const RemoteName& remoteName);
    bool ConfirmaSubstituirLocal(const QString& localPath);
    void btnDeleteClick();

    // Command line and drops.
    void EnviarArquivoLinhaComando(std::function<void()> depois);
    void WMDropFiles(const QStringList& paths);

    Dependencias m_deps;
    // The session and its thread. It goes first when the window goes
    // (~TfPrincipal): a report still queued then is dropped with it.
    std::unique_ptr<SessionWorker> m_trabalhador;
    FileListModel* m_arquivos = nullptr;
    std::unique_ptr<BusyPanel> m_painel;
    // A wait shows in the panel only once it lasts: a quick listing does not flash it.
    QTimer m_esperaVisivel;
    QString m_textoEspera;
    bool m_mostrada = false;
    bool m_identificando = false;
    // Certificates the user refused in the running operation: the alternate
    // endpoint showing the same one is not asked about again.
    QStringList m_certificadosRecusados;
    // The file the running upload or download moves.
    QString m_arquivoEmTransferencia;
    // The local file the running send holds (LocalFileLock.h), until it has ended.
    std::unique_ptr<LocalFileLock> m_travaEnvio;
};
