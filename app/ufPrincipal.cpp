#include "ufPrincipal.h"

#include "AbrirComThread.h"
#include "BlockingCall.h"
#include "ExePath.h"
#include "FileListModel.h"
#include "FileListView.h"
#include "LogText.h"
#include "Formatos.h"
#include "uTQuintaraConexoes.h"
#include "uTVersao.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QScreen>
#include <QScrollBar>
#include <QTabBar>
#include <QTimer>
#include <QUrl>

const QString kTituloAplicacao = QStringLiteral("Utilitário FTP Quintara");

namespace {
const QString kTextoEnviando = QStringLiteral("Aguarde, enviando arquivo...");
const QString kTextoBaixando = QStringLiteral("Aguarde, baixando arquivo...");
const QString kTextoOcupado = QStringLiteral("Aguarde o término da operação em andamento.");
const QString kTextoConferindoEnvio = QStringLiteral("Conferindo o arquivo no servidor...");
const QString kTextoConferindoDownload = QStringLiteral("Conferindo o arquivo baixado...");

bool contemSemCaixa(const QString& text, const char* what)
{
    return text.toLower().contains(QLatin1String(what));
}

// FTPCALDORIA_LOG names a file that receives a copy of every log line, for
// support staff and for runs without a screen.
void copiarParaArquivoDeLog(const QString& text)
{
    static const QString arquivo = qEnvironmentVariable("FTPCALDORIA_LOG");
    if (arquivo.isEmpty())
        return;
    QFile f(arquivo);
    if (f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        f.write(text.toUtf8() + '\n');
}
}

// The pictures live in this static library; its resources must be registered by hand.
static void registrarImagens()
{
    Q_INIT_RESOURCE(imagens);
}

TfPrincipal::TfPrincipal() : TfPrincipal(Dependencias{}) {}

TfPrincipal::TfPrincipal(Dependencias deps, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::fPrincipal>()), m_deps(std::move(deps)), m_sessao(*this)
{
    if (!m_deps.dialogos)
        m_deps.dialogos = std::make_shared<DialogosQt>();
    if (!m_deps.criarSistema)
        m_deps.criarSistema = [] { return std::make_shared<TQuintaraConexaoInstalada>(); };
    registrarImagens();
    ui->setupUi(this);
    m_sessao.setRetryPolicy(m_deps.novasTentativas);
    ligarControles();
    protegido(this, [this] { FormCreate(); });
    // Creation failed before the system was known: go on as with no system.
    if (!m_sessao.sistema())
        m_sessao.setSistema(std::make_shared<TQuintaraConexao>());
}

TfPrincipal::~TfPrincipal() = default;

void TfPrincipal::ligarControles()
{
    m_arquivos = new FileListModel(this);
    setUpFileList(*ui->ListView1, *m_arquivos,
                  {[this] { operacao(ui->ListView1, [this] { btnDownloadSelectedClick(); }, FtpSession::Kind::Transfer); },
                   [this] { operacao(ui->ListView1, [this] { btnDeleteClick(); }); }});

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

    m_esperaVisivel.setSingleShot(true);
    m_esperaVisivel.setInterval(m_deps.atrasoDaEsperaMs);
    connect(&m_esperaVisivel, &QTimer::timeout, this, [this] { m_painel->wait(m_textoEspera); });
    const auto transferencia = FtpSession::Kind::Transfer;
    connect(ui->btnViewFiles, &QPushButton::clicked, this, [this] { operacao(ui->btnViewFiles, [this] { btnViewFilesClick(); }); });
    connect(ui->btnUpload, &QPushButton::clicked, this,
            [this, transferencia] { operacao(ui->btnUpload, [this] { btnUploadClick(); }, transferencia); });
    connect(ui->btnRefresh, &QPushButton::clicked, this, [this] { operacao(ui->btnRefresh, [this] { btnRefreshClick(); }); });
    connect(ui->btnDownloadSelected, &QPushButton::clicked, this,
            [this, transferencia] { operacao(ui->btnDownloadSelected, [this] { btnDownloadSelectedClick(); }, transferencia); });
    connect(ui->btnDownloadFinal, &QPushButton::clicked, this,
            [this, transferencia] { operacao(ui->btnDownloadFinal, [this] { btnDownloadFinalClick(); }, transferencia); });
    connect(ui->btnCancelar, &QPushButton::clicked, this, [this] { protegido(ui->btnCancelar, [this] { btnCancelarClick(); }); });
    connect(ui->btnDelete, &QPushButton::clicked, this, [this] { operacao(ui->btnDelete, [this] { btnDeleteClick(); }); });
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
    m_sessao.identificarSistema(m_deps.criarSistema);
}

void TfPrincipal::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (m_mostrada)
        return;
    m_mostrada = true;
    if (QScreen* tela = screen())
        move(tela->availableGeometry().center() - frameGeometry().center() + pos());
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
    if (m_sessao.state() != FtpSession::State::Idle) {
        event->ignore();
        if (m_sessao.state() == FtpSession::State::Running && m_sessao.kind() == FtpSession::Kind::Transfer) {
            if (MessageBox(QStringLiteral("Há uma transferência em andamento. Deseja cancelá-la e sair?"), QStringLiteral("Sair"),
                           mb::Question) != mb::IdYes)
                return;
            // It may have ended while the question was open.
            if (m_sessao.state() == FtpSession::State::Idle) {
                QTimer::singleShot(0, this, &QWidget::close);
                return;
            }
        }
        // Stop the operation first; the window closes as soon as it has unwound.
        m_sessao.cancel();
        connect(&m_sessao, &FtpSession::idle, this, &QWidget::close,
                Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
        return;
    }
    FormClose();
    event->accept();
}

void TfPrincipal::FormClose()
{
    m_sessao.closeConnection();
}

// ---------------------------------------------------------------- guards and errors

void TfPrincipal::protegido(QObject* sender, const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const Exception& e) {
        ApplicationEvents1Exception(sender, e);
    } catch (const std::exception& e) {
        ApplicationEvents1Exception(sender, Exception(QString::fromLocal8Bit(e.what())));
    } catch (...) {
        ApplicationEvents1Exception(sender, Exception(QStringLiteral("Erro inesperado")));
    }
}

void TfPrincipal::operacao(QObject* sender, const std::function<void()>& handler, FtpSession::Kind kind)
{
    switch (m_sessao.state()) {
    case FtpSession::State::Idle:
        break;
    case FtpSession::State::Running:
        Log(kTextoOcupado);
        return;
    case FtpSession::State::Cancelling:
        return;
    }
    {
        FtpSession::Operation uso(m_sessao, kind);
        protegido(sender, handler);
    }
    m_esperaVisivel.stop();
    m_painel->operationEnded();
}

void TfPrincipal::ApplicationEvents1Exception(QObject*, const Exception& e)
{
    try {
        if (dynamic_cast<const EUserWarning*>(&e))
            MessageBox(e.Message(), QStringLiteral("Atenção"), mb::Warning);
        else if (dynamic_cast<const EUserException*>(&e))
            MessageBox(e.Message(), QStringLiteral("Erro"), mb::Error);
        else
            Log(e.Message());
    } catch (...) {
        // The handler itself raises nothing.
    }
}

int TfPrincipal::MessageBox(const QString& text, const QString& caption, int flags)
{
    return m_deps.dialogos->MessageBox(this, text, caption, flags);
}

// ---------------------------------------------------------------- log and busy state

void TfPrincipal::Log(const QString& text)
{
    for (const QString& linha : logLines(text)) {
        ui->memoLog->appendPlainText(linha);
        copiarParaArquivoDeLog(linha);
    }
    ui->memoLog->verticalScrollBar()->setValue(ui->memoLog->verticalScrollBar()->maximum());
    bombearMensagens();
}

void TfPrincipal::bombearMensagens()
{
    // Slow work runs off the GUI thread, so this only lets the window repaint at
    // once. Never nested: a queued event handled here may log too.
    if (m_bombeando > 0)
        return;
    ++m_bombeando;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    --m_bombeando;
}

void TfPrincipal::Aguardar(std::int64_t max, const QString& text)
{
    m_painel->begin(max, text);
    bombearMensagens();
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

void TfPrincipal::btnCancelarClick()
{
    m_sessao.cancel();
}

// ---------------------------------------------------------------- what the session reports and asks

void TfPrincipal::log(const QString& line)
{
    Log(line);
}

void TfPrincipal::clientCaption(const QString& caption)
{
    ui->pnlCliente->setText(caption);
}

void TfPrincipal::waiting(const QString& what)
{
    m_textoEspera = what;
    if (m_painel->state() == BusyPanel::State::Transferring || m_painel->state() == BusyPanel::State::Retrying ||
        m_painel->state() == BusyPanel::State::Checking || m_painel->state() == BusyPanel::State::Waiting) {
        m_painel->wait(what);
        return;
    }
    if (!m_esperaVisivel.isActive())
        m_esperaVisivel.start();
}

void TfPrincipal::transferBegin(TWorkMode mode, std::int64_t total)
{
    m_esperaVisivel.stop();
    Aguardar(total, mode == wmWrite ? kTextoEnviando : kTextoBaixando);
}

void TfPrincipal::transferProgress(TWorkMode, std::int64_t soFar)
{
    m_painel->progress(soFar);
}

void TfPrincipal::transferRetry(TWorkMode, int attempt, int maxAttempts, int secondsLeft)
{
    m_painel->retry(QStringLiteral("Conexão perdida; nova tentativa em %1 s (%2 de %3)").arg(secondsLeft).arg(attempt).arg(maxAttempts));
}

void TfPrincipal::transferResumed(TWorkMode mode, std::int64_t soFar)
{
    m_painel->resume(soFar, mode == wmWrite ? kTextoEnviando : kTextoBaixando);
}

void TfPrincipal::transferChecking(TWorkMode mode)
{
    m_painel->checking(mode == wmWrite ? kTextoConferindoEnvio : kTextoConferindoDownload);
}

void TfPrincipal::transferEnd(TWorkMode mode, TransferOutcome outcome, const QString& failure)
{
    m_esperaVisivel.stop();
    switch (outcome) {
    case TransferOutcome::Completed:
        m_painel->end(BusyPanel::State::Done);
        break;
    case TransferOutcome::Failed:
        m_painel->end(BusyPanel::State::Failed,
                      failure.isEmpty() ? QString()
                                        : (mode == wmWrite ? QStringLiteral("Falha no envio: ") : QStringLiteral("Falha no download: ")) + failure);
        // The log holds what led to it.
        mostrarLog();
        break;
    case TransferOutcome::Cancelled:
        m_painel->end(BusyPanel::State::Cancelled);
        break;
    }
}

bool TfPrincipal::replaceRemoteFile(const QString&)
{
    return MessageBox(QStringLiteral("O Arquivo Já Existe no FTP. Deseja Substituir?"), QStringLiteral("Substituir"), mb::Question) ==
           mb::IdYes;
}

bool TfPrincipal::resumeInterruptedUpload(const QString&, std::int64_t done, std::int64_t total)
{
    const QLocale locale;
    return MessageBox(QStringLiteral("Existe um envio interrompido deste arquivo (%1 de %2). Deseja continuar de onde parou?")
                          .arg(TextoBytes(done, locale), TextoBytes(total, locale)),
                      QStringLiteral("Continuar Envio"), mb::Question) == mb::IdYes;
}

bool TfPrincipal::replaceLocalFile(const QString& localPath)
{
    return ConfirmaSubstituirLocal(localPath);
}

void TfPrincipal::uniqueNameChosen(const QString& name)
{
    ui->edtUploadUniqueName->setText(name);
}

bool TfPrincipal::acceptCertificate(const QString& host, const QString& problem, const QString& fingerprint)
{
    // Sixteen pairs a line: the whole fingerprint would make the box as wide as the screen.
    QStringList pares = fingerprint.split(QLatin1Char(':'));
    QStringList linhas;
    while (!pares.isEmpty()) {
        linhas << QStringList(pares.mid(0, 16)).join(QLatin1Char(':'));
        pares = pares.mid(16);
    }
    const QString texto =
        QStringLiteral("O certificado do servidor FTP %1 não pôde ser verificado: %2.\n\n"
                       "Impressão digital SHA-256 do certificado:\n%3\n\n"
                       "Confie neste certificado somente se a impressão digital for a que o suporte da Quintara informou. "
                       "Conectar assim mesmo?")
            .arg(host, problem, linhas.join(QLatin1Char('\n')));
    return MessageBox(texto, QStringLiteral("Certificado do servidor"), mb::YesNo | mb::IconWarning | mb::DefaultButton2) == mb::IdYes;
}

void TfPrincipal::connectionSecurity(bool secure)
{
    ui->lblConexaoSegura->setVisible(secure);
}

// ---------------------------------------------------------------- listing

void TfPrincipal::ListarArquivos()
{
    FileListModel::Contents anterior = m_arquivos->takeContents();
    // The folder of corrupted-base mode is shared by every unidentified client:
    // its contents are never shown.
    if (m_sessao.baseCorrompida()) {
        ui->PageControl1->setCurrentWidget(ui->TabSheet2);
        return;
    }
    FtpListing listagem = m_sessao.fetchListing();
    FileListModel::Contents novo;
    // Touching 100,000 entries (and releasing the last listing's) takes a while:
    // the window keeps painting meanwhile.
    executarBloqueante([&] {
        anterior = {};
        novo = FileListModel::prepare(std::move(listagem), m_arquivos->sortColumn(), m_arquivos->sortOrder());
    });
    m_arquivos->setContents(std::move(novo));
    ui->PageControl1->setCurrentWidget(ui->TabSheet1);
}

void TfPrincipal::btnViewFilesClick()
{
    if (!m_sessao.Connected())
        m_sessao.ConectarFTP();
    if (m_sessao.directory().isEmpty())
        m_sessao.DefinirPastaCliente();
    if (m_sessao.baseCorrompida()) {
        ui->PageControl1->setCurrentWidget(ui->TabSheet2);
        return;
    }
    try {
        ListarArquivos();
    } catch (const Exception& e) {
        if (!contemSemCaixa(e.Message(), "no such file or directory"))
            Log(e.Message());
    }
}

void TfPrincipal::btnRefreshClick()
{
    ListarArquivos();
}

// ---------------------------------------------------------------- upload

void TfPrincipal::btnUploadClick()
{
    const QString caminho =
        m_deps.dialogos->AbrirArquivo(this, QStringLiteral("Selecione o Arquivo"), exepath::executableFolder());
    if (caminho.isEmpty())
        return;
    if (const auto enviado = enviar(caminho))
        mensagemDeSucesso(wmWrite, *enviado);
}

std::optional<TransferCheck> TfPrincipal::enviar(const QString& localPath)
{
    return m_sessao.asTransfer(wmWrite, QFileInfo(localPath).fileName(), [&] {
        const FtpSession::Sent enviado = m_sessao.enviar(localPath);
        mostrarEnviado(enviado);
        return enviado.check;
    });
}

void TfPrincipal::mostrarEnviado(const FtpSession::Sent& enviado)
{
    if (!enviado.uniqueName.isEmpty()) {
        ui->edtNomeArquivo->setText(enviado.uniqueName);
        ui->PageControl1->setCurrentWidget(ui->TabSheet3);
    } else if (enviado.check) {
        ListarArquivos();
    }
}

void TfPrincipal::mensagemDeSucesso(TWorkMode mode, TransferCheck check)
{
    QString texto;
    if (check == TransferCheck::Unconfirmed)
        texto = mode == wmWrite ? QStringLiteral("Arquivo enviado, mas o servidor não informou o tamanho para conferência")
                                : QStringLiteral("Arquivo baixado, mas o servidor não informou o tamanho para conferência");
    else
        texto = mode == wmWrite ? QStringLiteral("Arquivo Enviado com Sucesso") : QStringLiteral("Arquivo Baixado com Sucesso");
    MessageBox(texto, kTituloAplicacao, mb::Information);
}

// ---------------------------------------------------------------- download and delete

int TfPrincipal::linhaSelecionada() const
{
    const QModelIndexList linhas = ui->ListView1->selectionModel()->selectedRows();
    return linhas.isEmpty() ? -1 : linhas.first().row();
}

void TfPrincipal::GarantirSelecao()
{
    if (linhaSelecionada() >= 0)
        return;
    if (m_arquivos->rowCount() == 1) {
        ui->ListView1->selectionModel()->setCurrentIndex(m_arquivos->index(0, 0),
                                                         QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        return;
    }
    throw EUserWarning(QStringLiteral("Selecione um arquivo"));
}

void TfPrincipal::btnDownloadSelectedClick()
{
    GarantirSelecao();
    BaixarArquivo(m_arquivos->remoteName(linhaSelecionada()));
}

void TfPrincipal::btnDownloadFinalClick()
{
    if (ui->edtNomeArquivo->text().trimmed().isEmpty())
        throw EUserWarning(QStringLiteral("Informe o nome completo do arquivo"));
    BaixarArquivo(ui->edtNomeArquivo->text());
}

void TfPrincipal::BaixarArquivo(const RemoteName& remoteName)
{
    const QString destino =
        m_deps.dialogos->SalvarArquivo(this, QStringLiteral("Salvar Arquivo"), NomeSugeridoParaSalvar(remoteName.displayText()));
    if (destino.isEmpty())
        return;
    std::optional<TransferCheck> baixado;
    try {
        baixado = m_sessao.BaixarArquivo(remoteName, destino);
    } catch (const ERemoteFileNotFound&) {
        // The list shows what is there now. In corrupted-base mode there is no list to
        // show: the folder holds other clients' files, and the user stays on the page
        // for downloads by name.
        if (!m_sessao.baseCorrompida())
            ListarArquivos();
        throw;
    }
    if (baixado)
        mensagemDeSucesso(wmRead, *baixado);
}

bool TfPrincipal::ConfirmaSubstituirLocal(const QString& localPath)
{
    if (!QFileInfo::exists(localPath))
        return false;
    return MessageBox(QStringLiteral("Deseja Substituir o Arquivo ") + QDir::toNativeSeparators(localPath) + QStringLiteral(" ?"),
                      QStringLiteral("Substituir Arquivo Local"), mb::Question) == mb::IdYes;
}

void TfPrincipal::btnDeleteClick()
{
    GarantirSelecao();
    if (MessageBox(QStringLiteral("Confirma a Exclusão do Arquivo Selecionado?"), QStringLiteral("Excluir"), mb::Question) != mb::IdYes)
        return;
    const int linha = linhaSelecionada();
    try {
        m_sessao.deleteFile(m_arquivos->remoteName(linha));
    } catch (const Exception& e) {
        // The row stays: the file is still there.
        Log(e.Message());
        return;
    }
    m_arquivos->removeFileRow(linha);
}

// ---------------------------------------------------------------- command line and drops

void TfPrincipal::EnviarArquivoLinhaComando()
{
    m_sessao.enviarAoIniciar(m_deps.argumentos.value(0), [this](const FtpSession::Sent& enviado) { mostrarEnviado(enviado); });
}

void TfPrincipal::verificarArquivoParaEnvio(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir())
        throw EUserWarning(QStringLiteral("Apenas arquivos podem ser enviados, não pastas: ") + QDir::toNativeSeparators(path));
    QFile arquivo(path);
    if (!info.isFile() || !arquivo.open(QIODevice::ReadOnly))
        throw EUserException(QStringLiteral("Não foi possível ler o arquivo ") + QDir::toNativeSeparators(path));
}

void TfPrincipal::WMDropFiles(const QStringList& paths)
{
    raise();
    activateWindow();
    if (paths.size() > 1)
        throw EUserException(QStringLiteral("Apenas Um Arquivo Pode ser Enviado"));
    if (paths.isEmpty())
        return;
    const QString nome = paths.first();
    verificarArquivoParaEnvio(nome);
    btnViewFilesClick();
    enviar(nome);
}

void TfPrincipal::SoltarArquivos(const QStringList& paths)
{
    operacao(this, [&] { WMDropFiles(paths); }, FtpSession::Kind::Transfer);
}

void TfPrincipal::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TfPrincipal::dropEvent(QDropEvent* event)
{
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    event->acceptProposedAction();
    // Handled after the platform's drop has finished, so the source is not kept waiting.
    QTimer::singleShot(0, this, [this, paths] { SoltarArquivos(paths); });
}
