#pragma once
// The program's one window: its controls, the start-up, the log, the busy and ready
// states, and the operations behind its buttons, its command line and its drops.
#include "Dialogos.h"
#include "IdFTP.h"
#include "PastaCliente.h"
#include "uIQuintaraConexoes.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSplitter;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;
class QComboBox;
class QFrame;
class TAbrirComThread;

// Application title: taskbar and the captions of success boxes.
extern const QString kTituloAplicacao;

class TfPrincipal : public QMainWindow, private IPastaClienteAlvo {
    Q_OBJECT
    friend class TAbrirComThread;
    friend struct AcessoTeste; // the window's tests reach its private operations

public:
    struct Dependencias {
        std::shared_ptr<IDialogos> dialogos;                  // default: the platform's dialogs
        std::function<IQuintaraConexaoPtr()> criarSistema;    // default: detect beside the executable
        QStringList argumentos;                               // command-line arguments, program name excluded
        int pausaAntesDeFecharMs = 1500;                      // after a command-line send
    };

    TfPrincipal();
    explicit TfPrincipal(Dependencias deps, QWidget* parent = nullptr);
    ~TfPrincipal() override;

    // State that tests and support staff look at.
    const QString& directory() const { return m_directory; }
    bool baseCorrompida() const { return m_baseCorrompida; }
    IQuintaraConexao* sistema() const { return m_sistema.get(); }
    bool operacaoEmAndamento() const { return m_estado == Estado::EmOperacao || m_estado == Estado::FecharAoTerminar; }
    TIdFTP& IdFTP1() { return *m_ftp; }

    // Drops the given local paths on the window, as the platform's drop does.
    void SoltarArquivos(const QStringList& paths);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    class EventosFTP;
    // What the window is doing with the FTP connection.
    enum class Estado { Livre, EmOperacao, FecharAoTerminar, Fechada };

    void montarLayout();
    void FormCreate();
    void FormShow();
    void FormClose();

    // The one guard every handler runs through: nothing escapes to Qt's event
    // dispatch, and nothing is swallowed silently.
    void protegido(QObject* sender, const std::function<void()>& handler);
    // A handler that uses the FTP connection: one at a time.
    void operacao(QObject* sender, const std::function<void()>& handler);
    void ApplicationEvents1Exception(QObject* sender, const Exception& e);

    // Log and busy state.
    void Log(const QString& text) override;
    void Aguardar(std::int64_t max, const QString& text);
    void Liberar();
    void bombearMensagens();
    void copiarParaArquivoDeLog(const QString& text);
    void atualizarTextoProgresso(std::int64_t soFar);

    // Events of the FTP component, delivered on the GUI thread.
    void IdFTP1Status(const QString& text);
    void IdFTP1WorkBegin(TWorkMode mode, std::int64_t expected);
    void IdFTP1Work(TWorkMode mode, std::int64_t soFar);
    void IdFTP1WorkEnd(TWorkMode mode);
    void ListView1SelectItem();
    void Splitter1Moved();

    // Client folder.
    void SetCaptionCliente(const QString& caption) override;
    void SetDirectory(const QString& value) override;
    void SetBaseCorrompida() override;
    void DefinirPastaCliente();
    void CriarPastaCliente();

    // FTP connection and operations.
    template <typename F>
    auto ftp(F&& f) -> decltype(f());
    void ConectarFTP();
    bool Connected() const;
    void AtivarEventosFTP();
    void DesativarEventosFTP();
    void ListarArquivos();
    void PreencherItem(const TIdFTPListItem& entry, QTreeWidgetItem* row);
    void btnViewFilesClick();
    void btnRefreshClick();
    void btnUploadClick();
    bool EnviarArquivo(const QString& localPath);
    void EnviarArquivoBaseCorrompida(const QString& localPath);
    void GarantirSelecao();
    void btnDownloadSelectedClick();
    void btnDownloadFinalClick();
    void BaixarArquivo(const QString& remoteName);
    bool ConfirmaSubstituirLocal(const QString& localPath);
    void btnDeleteClick();

    // Command line and drops.
    void EnviarArquivoLinhaComando();
    void WMDropFiles(const QStringList& paths);
    void verificarArquivoParaEnvio(const QString& path);

    int MessageBox(const QString& text, const QString& caption, int flags);

    Dependencias m_deps;
    IQuintaraConexaoPtr m_sistema;
    QString m_directory;
    bool m_baseCorrompida = false;

    std::unique_ptr<TIdFTP> m_ftp;
    std::unique_ptr<EventosFTP> m_eventos;
    bool m_eventosAtivos = true;

    Estado m_estado = Estado::Livre;
    bool m_mostrada = false;
    int m_bombeando = 0;

    // Progress: the bar is 32-bit, so large sizes are scaled down by a shift.
    int m_escalaProgresso = 0;
    std::int64_t m_totalTransferencia = 0;
    QElapsedTimer m_relogioTransferencia;

public:
    // Controls, named as support staff know them.
    QFrame* Panel1 = nullptr;
    QLabel* imgAguarde = nullptr;
    QWidget* pnlAguarde = nullptr;
    QLabel* lbVerbose = nullptr;
    QProgressBar* pgbr = nullptr;
    QPushButton* btnViewFiles = nullptr;
    QPushButton* btnUpload = nullptr;
    QPushButton* btnProxy = nullptr;
    QLabel* pnlCliente = nullptr;
    QSplitter* Splitter1 = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    QWidget* TabSheet3 = nullptr;
    QWidget* TabSheet4 = nullptr;
    QWidget* tsNenhum = nullptr;
    QFrame* Panel2 = nullptr;
    QPushButton* btnRefresh = nullptr;
    QPushButton* btnDownloadSelected = nullptr;
    QPushButton* btnDelete = nullptr;
    QTreeWidget* ListView1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* edtNomeArquivo = nullptr;
    QPushButton* btnDownloadFinal = nullptr;
    QLineEdit* edtUploadUniqueName = nullptr;
    QLineEdit* edtProxyHost = nullptr;
    QLineEdit* edtProxyPort = nullptr;
    QLineEdit* edtProxyUsername = nullptr;
    QLineEdit* edtProxyPassword = nullptr;
    QLabel* Label2 = nullptr;
    QComboBox* cbProxyType = nullptr;
    QFrame* Panel3 = nullptr;
    QPlainTextEdit* memoLog = nullptr;
};

// Starts the send of a file named on the command line once the window is shown,
// on the GUI thread, and closes the window after a pause in normal mode.
class TAbrirComThread : public QObject {
    Q_OBJECT
public:
    explicit TAbrirComThread(TfPrincipal* janela);
    void Start();

private:
    void Execute();
    QPointer<TfPrincipal> m_janela;
};
