#include "ufPrincipal.h"

#include "AbrirComThread.h"
#include "FileListModel.h"
#include "FileListView.h"
#include "JanelaTextos.h"
#include "FailureText.h"
#include "LogText.h"
#include "uTQuintaraConexoes.h"
#include "uTVersao.h"
#include "VisibleText.h"

#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QTabBar>
#include <QPointer>
#include <QTimer>

const QString kTituloAplicacao = QStringLiteral("Utilitário FTP Quintara");

namespace {
// FTPCALDORIA_LOG names a file that receives a copy of every log line, for
// support staff and for runs without a screen. Never a FIFO (main leaves out a
// target it cannot write; openLogFile never waits).
void copiarParaArquivoDeLog(const QString& text)
{
    static const QString arquivo = qEnvironmentVariable("FTPCALDORIA_LOG");
    if (arquivo.isEmpty())
        return;
    QString erro;
    if (const auto f = openLogFile(arquivo, erro))
        f->write(text.toUtf8() + '\n');
}

// What the window remembers in the user's settings.
const QString kGeometria = QStringLiteral("janela/geometria");
const QString kRegistroAberto = QStringLiteral("janela/registro-aberto");
const QString kAlturaDoRegistro = QStringLiteral("janela/altura-do-registro");
}

void TfPrincipal::registrarResultado(const QString& texto)
{
    for (const QString& linha : outcomeLines(QDateTime::currentDateTime(), texto))
        copiarParaArquivoDeLog(linha);
}

// The pictures live in this static library; its resources must be registered by hand.
static void registrarImagens()
{
    Q_INIT_RESOURCE(imagens);
}

TfPrincipal::TfPrincipal() : TfPrincipal(Dependencias{}) {}

TfPrincipal::TfPrincipal(Dependencias deps, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::fPrincipal>()), m_deps(std::move(deps)),
      m_trabalhador(std::make_unique<SessionWorker>(static_cast<FtpSessionEvents&>(*this), m_deps.ajustes))
{
    if (!m_deps.dialogos)
        m_deps.dialogos = std::make_shared<DialogosQt>();
    if (!m_deps.criarSistema)
        m_deps.criarSistema = [] { return std::make_shared<TQuintaraConexaoInstalada>(); };
    registrarImagens();
    ui->setupUi(this);
    ligarControles();
    protegido(this, [this] { FormCreate(); });
}

TfPrincipal::~TfPrincipal()
{
    // The session's thread ends before the controls its reports would reach.
    m_trabalhador.reset();
}

void TfPrincipal::ligarControles()
{
    m_arquivos = new FileListModel(this);
    setUpFileList(*ui->ListView1, *m_arquivos,
                  {[this] { protegido(ui->ListView1, [this] { btnDownloadSelectedClick(); }); },
                   [this] { protegido(ui->ListView1, [this] { btnDeleteClick(); }); }});

    m_painel = std::make_unique<BusyPanel>(BusyPanel::Controls{
        ui->pnlAguarde, ui->lbVerbose, ui->pgbr, ui->btnCancelar,
        {ui->btnViewFiles, ui->btnUpload, ui->btnRefresh, ui->ListView1},
        {ui->btnDownloadSelected, ui->btnDelete},
        [this] { return linhaSelecionada() >= 0; }});

    // The log starts with no height: dragging the splitter reveals it.
    ui->Splitter1->setStretchFactor(0, 1);
    ui->Splitter1->setStretchFactor(1, 0);
    ui->Splitter1->setCollapsible(0, false);
    ui->Splitter1->setCollapsible(1, true);
    ui->Splitter1->setSizes({height(), 0});
    // Closed, the log takes no focus: Tab would stop where nothing shows.
    ui->memoLog->installEventFilter(this);
    focoDoLog();
    auto* f5 = new QShortcut(QKeySequence(Qt::Key_F5), this);
    connect(f5, &QShortcut::activated, this, [this] { protegido(this, [this] { atualizarComF5(); }); });

    m_esperaVisivel.setSingleShot(true);
    m_esperaVisivel.setInterval(m_deps.atrasoDaEsperaMs);
    connect(&m_esperaVisivel, &QTimer::timeout, this, [this] { m_painel->wait(m_textoEspera); });
    const auto ligar = [this](QPushButton* botao, void (TfPrincipal::*handler)()) {
        connect(botao, &QPushButton::clicked, this, [this, botao, handler] { protegido(botao, [this, handler] { (this->*handler)(); }); });
    };
    ligar(ui->btnViewFiles, &TfPrincipal::btnViewFilesClick);
    ligar(ui->btnUpload, &TfPrincipal::btnUploadClick);
    ligar(ui->btnRefresh, &TfPrincipal::btnRefreshClick);
    ligar(ui->btnDownloadSelected, &TfPrincipal::btnDownloadSelectedClick);
    ligar(ui->btnDownloadFinal, &TfPrincipal::btnDownloadFinalClick);
    ligar(ui->btnCancelar, &TfPrincipal::btnCancelarClick);
    ligar(ui->btnDelete, &TfPrincipal::btnDeleteClick);
    // Enter in the name typed downloads it, as the button does.
    connect(ui->edtNomeArquivo, &QLineEdit::returnPressed, this, [this] {
        if (ui->PageControl1->currentWidget() == ui->TabSheet2 && ui->btnDownloadFinal->isEnabled())
            ui->btnDownloadFinal->click();
    });
    // A new listing or a deleted row takes the selection with it without a word
    // from the selection model.
    connect(m_arquivos, &QAbstractItemModel::modelReset, this, [this] { protegido(ui->ListView1, [this] { ListView1SelectItem(); }); });
    connect(m_arquivos, &QAbstractItemModel::rowsRemoved, this, [this] { protegido(ui->ListView1, [this] { ListView1SelectItem(); }); });
    connect(ui->ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { protegido(ui->ListView1, [this] { ListView1SelectItem(); }); });
    connect(ui->Splitter1, &QSplitter::splitterMoved, this, [this] { protegido(ui->Splitter1, [this] { Splitter1Moved(); }); });
}

// ---------------------------------------------------------------- start-up and end

void TfPrincipal::FormCreate()
{
    setAcceptDrops(true);
    TVersao::SetFase(RELEASE_CANDIDATE);
    setWindowTitle(windowTitle() + QLatin1Char(' ') + TVersao::GetVersaoExe());
    // No tab row: only the program switches pages.
    ui->PageControl1->tabBar()->setVisible(false);
    ui->PageControl1->setCurrentWidget(ui->tsNenhum);
    // On the session's thread, before whatever the user asks: what it says comes to
    // the log.
    m_identificando = true;
    m_trabalhador->identify(m_deps.criarSistema, [this](const Outcome<std::monostate>& fim) {
        m_identificando = false;
        if (fim.failure)
            mostrarFalha(*fim.failure);
    });
}

void TfPrincipal::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (m_mostrada)
        return;
    m_mostrada = true;
    if (restaurarPreferencias()) {
        protegido(this, [this] { FormShow(); });
        return;
    }
    if (QScreen* tela = screen()) {
        // Inside the screen's free area, title bar included, also at a large scale
        // on a small screen.
        const QRect livre = tela->availableGeometry();
        const QSize moldura = frameGeometry().size() - size();
        const QSize cabe(std::max(livre.width() - moldura.width(), minimumSizeHint().width()),
                         std::max(livre.height() - moldura.height(), minimumSizeHint().height()));
        if (width() > cabe.width() || height() > cabe.height())
            resize(std::min(width(), cabe.width()), std::min(height(), cabe.height()));
        QRect janela = frameGeometry();
        janela.moveCenter(livre.center());
        janela.moveTop(std::max(janela.top(), livre.top()));
        janela.moveLeft(std::max(janela.left(), livre.left()));
        move(janela.topLeft());
    }
    protegido(this, [this] { FormShow(); });
}

void TfPrincipal::FormShow()
{
    const QString arquivo = m_deps.argumentos.value(0);
    if (!arquivo.isEmpty() && QFileInfo(arquivo).isFile())
        (new TAbrirComThread(this))->Start();
}

void TfPrincipal::closeEvent(QCloseEvent* event)
{
    if (m_trabalhador->busy()) {
        event->ignore();
        if (m_trabalhador->transferring()) {
            // "Não" is the default: one Enter must not throw away an upload of hours.
            const QString arquivo =
                m_arquivoEmTransferencia.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(visibleText(m_arquivoEmTransferencia));
            if (MessageBox(QStringLiteral("Há uma transferência em andamento%1. Deseja cancelá-la e sair?").arg(arquivo),
                           QStringLiteral("Sair"), mb::Question | mb::DefaultButton2) != mb::IdYes)
                return;
            // It may have ended while the question was open.
            if (!m_trabalhador->busy()) {
                QTimer::singleShot(0, this, &QWidget::close);
                return;
            }
        }
        // Stop the operation first; the window closes as soon as it has unwound.
        m_trabalhador->cancel();
        connect(m_trabalhador.get(), &SessionWorker::idle, this, &QWidget::close,
                Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
        return;
    }
    FormClose();
    event->accept();
}

void TfPrincipal::FormClose()
{
    guardarPreferencias();
    // QUIT, on the session's thread; the thread waits for it when the window goes.
    m_trabalhador->closeConnection();
}

// ---------------------------------------------------------------- guards and errors

void TfPrincipal::protegido(QObject* sender, const std::function<void()>& handler)
{
    try {
        handler();
    } catch (...) {
        excecao(sender, std::current_exception());
    }
}

void TfPrincipal::excecao(QObject* sender, std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const Exception& e) {
        ApplicationEvents1Exception(sender, e);
    } catch (const std::exception& e) {
        ApplicationEvents1Exception(sender, Exception(QString::fromLocal8Bit(e.what())));
    } catch (...) {
        ApplicationEvents1Exception(sender, Exception(QStringLiteral("Erro inesperado")));
    }
}

bool TfPrincipal::ocupada()
{
    if (!m_trabalhador->busy())
        return false;
    // A cancel under way says so itself.
    if (!m_trabalhador->cancelling())
        Log(janela::kTextoOcupado);
    return true;
}

void TfPrincipal::mostrarFalha(const Failure& falha)
{
    const FailureReport relato = describeFailure(falha);
    if (falha.operation == Operation::Upload || falha.operation == Operation::Download)
        registrarResultado(relato.outcome);
    // The panel and the log first: a box, where there is one, opens over them. A
    // transfer that ended with a failure or a cancel has said so in the panel already.
    if (!relato.panel.isEmpty()) {
        if (m_painel->state() != BusyPanel::State::Failed && m_painel->state() != BusyPanel::State::Cancelled)
            m_painel->fail(relato.panel);
        mostrarLog();
    }
    for (const QString& linha : relato.log)
        Log(linha);
    switch (relato.box) {
    case FailureBox::None:
        break;
    case FailureBox::Warning:
        MessageBox(relato.boxText, QStringLiteral("Atenção"), mb::Warning);
        break;
    case FailureBox::Error:
        MessageBox(relato.boxText, QStringLiteral("Erro"), mb::Error);
        break;
    }
}

void TfPrincipal::ApplicationEvents1Exception(QObject*, const Exception& e)
{
    try {
        if (dynamic_cast<const EUserWarning*>(&e)) {
            MessageBox(e.Message(), QStringLiteral("Atenção"), mb::Warning);
        } else if (dynamic_cast<const EUserException*>(&e)) {
            // The box goes once closed: what it said stays in the log.
            Log(e.Message());
            MessageBox(e.Message(), QStringLiteral("Erro"), mb::Error);
        } else {
            Log(e.Message());
        }
    } catch (...) {
        // The handler itself raises nothing.
    }
}

int TfPrincipal::MessageBox(const QString& text, const QString& caption, int flags)
{
    const int resposta = m_deps.dialogos->MessageBox(this, text, caption, flags);
    // What was declined leaves a trace: the log tells later why nothing happened.
    if ((flags & 0x0F) == mb::YesNo && resposta != mb::IdYes)
        Log(QStringLiteral("Resposta \"Não\" (%1): %2").arg(caption, text.section(QLatin1Char('\n'), 0, 0)));
    return resposta;
}

// ---------------------------------------------------------------- log and busy state

void TfPrincipal::Log(const QString& text)
{
    for (const QString& linha : logLines(text)) {
        ui->memoLog->appendPlainText(linha);
        copiarParaArquivoDeLog(linha);
    }
    ui->memoLog->verticalScrollBar()->setValue(ui->memoLog->verticalScrollBar()->maximum());
}

void TfPrincipal::Aguardar(std::int64_t max, const QString& text)
{
    m_painel->begin(max, text);
}

void TfPrincipal::Liberar()
{
    m_painel->end(BusyPanel::State::Done);
}

void TfPrincipal::ListView1SelectItem()
{
    m_painel->selectionChanged();
}

void TfPrincipal::Splitter1Moved()
{
    focoDoLog();
    if (ui->Splitter1->property("Tag").toInt() != 0)
        return;
    ui->Splitter1->setProperty("Tag", 1);
    resize(width(), height() + ui->memoLog->height());
}

void TfPrincipal::mostrarLog()
{
    if (ui->memoLog->height() > 0)
        return;
    const QList<int> tamanhos = ui->Splitter1->sizes();
    if (tamanhos.size() != 2)
        return;
    // About eight lines: enough for the failure and what led to it.
    const int altura = std::min(ui->memoLog->fontMetrics().lineSpacing() * 8 + 8, std::max(tamanhos[0] / 2, 1));
    ui->Splitter1->setSizes({tamanhos[0] - altura, tamanhos[1] + altura});
    Splitter1Moved();
    ui->memoLog->verticalScrollBar()->setValue(ui->memoLog->verticalScrollBar()->maximum());
}

void TfPrincipal::focoDoLog()
{
    ui->memoLog->setFocusPolicy(ui->memoLog->height() > 0 ? Qt::StrongFocus : Qt::NoFocus);
    if (ui->memoLog->height() == 0 && ui->memoLog->hasFocus())
        focusNextChild();
}

bool TfPrincipal::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->memoLog && event->type() == QEvent::Resize)
        focoDoLog();
    return QMainWindow::eventFilter(watched, event);
}

void TfPrincipal::btnCancelarClick()
{
    m_trabalhador->cancel();
}

// ---------------------------------------------------------------- what is remembered

bool TfPrincipal::restaurarPreferencias()
{
    if (!m_deps.preferencias)
        return false;
    const std::unique_ptr<QSettings> p = m_deps.preferencias();
    if (!restoreGeometry(p->value(kGeometria).toByteArray()))
        return false;
    // The window's height holds the log already: opening it again does not grow it.
    const int altura = p->value(kAlturaDoRegistro).toInt();
    if (p->value(kRegistroAberto).toBool() && altura > 0) {
        ui->Splitter1->setProperty("Tag", 1);
        const int total = ui->Splitter1->sizes().value(0) + ui->Splitter1->sizes().value(1);
        ui->Splitter1->setSizes({std::max(total - altura, 1), std::min(altura, std::max(total - 1, 0))});
        focoDoLog();
    }
    return true;
}

void TfPrincipal::guardarPreferencias()
{
    if (!m_deps.preferencias)
        return;
    const std::unique_ptr<QSettings> p = m_deps.preferencias();
    p->setValue(kGeometria, saveGeometry());
    p->setValue(kRegistroAberto, ui->memoLog->height() > 0);
    p->setValue(kAlturaDoRegistro, ui->memoLog->height());
}

void TfPrincipal::atualizarComF5()
{
    QPushButton* botao = ui->PageControl1->currentWidget() == ui->TabSheet1 ? ui->btnRefresh : ui->btnViewFiles;
    if (botao->isEnabled())
        botao->click();
}

