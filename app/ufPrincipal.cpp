#include "ufPrincipal.h"

#include "BlockingCall.h"
#include "Endpoints.h"
#include "ExePath.h"
#include "Formatos.h"
#include "uTQuintaraConexoes.h"
#include "uTFtpQuintaraUtil.h"
#include "uTVersao.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <climits>
#include <optional>
#include <type_traits>

const QString kTituloAplicacao = QStringLiteral("Utilitário FTP Quintara");

namespace {
const QString kPastaCorrompida = QStringLiteral("/gCALDORIA/Cidades/_corrompida");
const QString kTextoEnviando = QStringLiteral("Aguarde, enviando arquivo...");
const QString kTextoBaixando = QStringLiteral("Aguarde, baixando arquivo...");
const QString kTextoOcupado = QStringLiteral("Aguarde o término da operação em andamento.");

bool contemSemCaixa(const QString& text, const char* what)
{
    return text.toLower().contains(QLatin1String(what));
}
}

// Relays the component's events, raised on the worker thread that runs an FTP call,
// to the window on the GUI thread. Whether the work events reach the window is
// decided on delivery, so attaching and detaching takes effect at once.
class TfPrincipal::EventosFTP : public IFtpEvents {
public:
    explicit EventosFTP(TfPrincipal* janela) : m_janela(janela) {}

    void OnStatus(const QString& text) override
    {
        entregar([text](TfPrincipal* w) { w->IdFTP1Status(text); });
    }
    void OnWorkBegin(TWorkMode mode, std::int64_t expected) override
    {
        entregar([mode, expected](TfPrincipal* w) {
            if (w->m_eventosAtivos)
                w->IdFTP1WorkBegin(mode, expected);
        });
    }
    void OnWork(TWorkMode mode, std::int64_t soFar) override
    {
        entregar([mode, soFar](TfPrincipal* w) {
            if (w->m_eventosAtivos)
                w->IdFTP1Work(mode, soFar);
        });
    }
    void OnWorkEnd(TWorkMode mode) override
    {
        entregar([mode](TfPrincipal* w) {
            if (w->m_eventosAtivos)
                w->IdFTP1WorkEnd(mode);
        });
    }

private:
    template <typename F>
    void entregar(F f)
    {
        QPointer<TfPrincipal> janela(m_janela);
        naThreadPrincipal([janela, f] {
            if (janela)
                janela->protegido(nullptr, [&] { f(janela.data()); });
        });
    }
    TfPrincipal* m_janela;
};

TfPrincipal::TfPrincipal() : TfPrincipal(Dependencias{}) {}

TfPrincipal::TfPrincipal(Dependencias deps, QWidget* parent)
    : QMainWindow(parent), m_deps(std::move(deps)), m_ftp(std::make_unique<TIdFTP>())
{
    if (!m_deps.dialogos)
        m_deps.dialogos = std::make_shared<DialogosQt>();
    if (!m_deps.criarSistema)
        m_deps.criarSistema = [] { return std::make_shared<TQuintaraConexaoInstalada>(); };
    m_eventos = std::make_unique<EventosFTP>(this);
    m_ftp->SetEvents(m_eventos.get());
    montarLayout();
    protegido(this, [this] { FormCreate(); });
    // Creation failed before the system was known: go on as with no system.
    if (!m_sistema)
        m_sistema = std::make_shared<TQuintaraConexao>();
}

TfPrincipal::~TfPrincipal()
{
    m_ftp->SetEvents(nullptr);
}

// ---------------------------------------------------------------- layout

// The pictures live in this static library; its resources must be registered by hand.
static void registrarImagens()
{
    Q_INIT_RESOURCE(imagens);
}

namespace {
QPushButton* botao(QWidget* parent, const char* name, const QString& caption, const QString& hint)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    // Hints are kept with the control for support staff, never displayed.
    b->setProperty("hint", hint);
    return b;
}

QPixmap desenhoAguarde()
{
    QPixmap pm(QStringLiteral(":/imagens/aguarde.png"));
    return pm;
}
}

void TfPrincipal::montarLayout()
{
    registrarImagens();
    setObjectName(QStringLiteral("fPrincipal"));
    setWindowTitle(QStringLiteral("Utilitário FTP Caldoria"));
    setWindowIcon(QIcon(QStringLiteral(":/imagens/ftpcaldoria.png")));
    QFont fonte(QStringLiteral("Segoe UI"));
    fonte.setPixelSize(11);
    setFont(fonte);
    resize(712, 436);

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("central"));
    auto* raiz = new QVBoxLayout(central);
    raiz->setContentsMargins(0, 0, 0, 0);
    raiz->setSpacing(0);
    setCentralWidget(central);

    // Panel1: picture, busy panel, action buttons.
    Panel1 = new QFrame(central);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(56);
    auto* l1 = new QHBoxLayout(Panel1);
    l1->setContentsMargins(4, 4, 4, 4);
    imgAguarde = new QLabel(Panel1);
    imgAguarde->setObjectName(QStringLiteral("imgAguarde"));
    imgAguarde->setFixedSize(48, 48);
    imgAguarde->setPixmap(desenhoAguarde());
    l1->addWidget(imgAguarde);

    pnlAguarde = new QWidget(Panel1);
    pnlAguarde->setObjectName(QStringLiteral("pnlAguarde"));
    auto* la = new QVBoxLayout(pnlAguarde);
    la->setContentsMargins(4, 0, 4, 0);
    lbVerbose = new QLabel(QStringLiteral("..."), pnlAguarde);
    lbVerbose->setObjectName(QStringLiteral("lbVerbose"));
    lbVerbose->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    pgbr = new QProgressBar(pnlAguarde);
    pgbr->setObjectName(QStringLiteral("pgbr"));
    pgbr->setFixedHeight(17);
    pgbr->setRange(0, 100);
    pgbr->setValue(0);
    pgbr->setTextVisible(true);
    la->addWidget(lbVerbose, 1);
    la->addWidget(pgbr);
    pnlAguarde->setVisible(false);
    l1->addWidget(pnlAguarde, 1);
    // Keeps the buttons right-aligned while the busy panel is hidden.
    l1->addStretch(0);

    btnViewFiles = botao(Panel1, "btnViewFiles", QStringLiteral("Visualizar\nArquivos"),
                         QStringLiteral("Lista os Arquivos Disponíveis no FTP da Quintara"));
    btnUpload = botao(Panel1, "btnUpload", QStringLiteral("Enviar\nArquivo"),
                      QStringLiteral("Envia um Arquivo do Seu Computador para o FTP da Quintara"));
    btnProxy = botao(Panel1, "btnProxy", QStringLiteral("Configurar\nProxy"),
                     QStringLiteral("Configura os Parâmetros para Conexão com Proxy"));
    for (QPushButton* b : {btnViewFiles, btnUpload, btnProxy}) {
        b->setFixedSize(79, 48);
        l1->addWidget(b);
    }
    btnProxy->setVisible(false);
    raiz->addWidget(Panel1);

    pnlCliente = new QLabel(QStringLiteral(" Selecione uma opção"), central);
    pnlCliente->setObjectName(QStringLiteral("pnlCliente"));
    pnlCliente->setFixedHeight(23);
    pnlCliente->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    pnlCliente->setFrameShape(QFrame::Panel);
    pnlCliente->setFrameShadow(QFrame::Raised);
    QFont negrito = pnlCliente->font();
    negrito.setBold(true);
    pnlCliente->setFont(negrito);
    raiz->addWidget(pnlCliente);

    Splitter1 = new QSplitter(Qt::Vertical, central);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(5);
    Splitter1->setProperty("Tag", 0);
    raiz->addWidget(Splitter1, 1);

    PageControl1 = new QTabWidget(Splitter1);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setDocumentMode(true);

    // TabSheet1: the listing.
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    auto* t1 = new QVBoxLayout(TabSheet1);
    t1->setContentsMargins(0, 0, 0, 0);
    t1->setSpacing(0);
    Panel2 = new QFrame(TabSheet1);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFixedHeight(30);
    auto* l2 = new QHBoxLayout(Panel2);
    l2->setContentsMargins(4, 4, 4, 4);
    btnRefresh = botao(Panel2, "btnRefresh", QStringLiteral("Atualizar"), QStringLiteral("Atualiza a Lista de Arquivos do FTP"));
    btnDownloadSelected = botao(Panel2, "btnDownloadSelected", QStringLiteral("Baixar Selecionado"),
                                QStringLiteral("Salva o Arquivo Selecionado do FTP da Quintara no Seu Computador"));
    btnDelete = botao(Panel2, "btnDelete", QStringLiteral("Excluir Selecionado"),
                      QStringLiteral("Excluí o Arquivo Selecionado do FTP da Quintara"));
    btnRefresh->setFixedSize(115, 22);
    btnDownloadSelected->setFixedSize(117, 22);
    btnDelete->setFixedSize(117, 22);
    btnDownloadSelected->setEnabled(false);
    btnDelete->setEnabled(false);
    l2->addWidget(btnRefresh);
    l2->addWidget(btnDownloadSelected);
    l2->addWidget(btnDelete);
    l2->addStretch(1);
    t1->addWidget(Panel2);
    ListView1 = new QTreeWidget(TabSheet1);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setColumnCount(3);
    ListView1->setHeaderLabels({QStringLiteral("Nome"), QStringLiteral("Tamanho"), QStringLiteral("Data/Hora")});
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setAlternatingRowColors(false);
    ListView1->setStyleSheet(QStringLiteral("QTreeView::item { border-right: 1px solid palette(mid); border-bottom: 1px solid palette(midlight); }"));
    ListView1->headerItem()->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    ListView1->headerItem()->setTextAlignment(2, Qt::AlignCenter);
    ListView1->header()->setStretchLastSection(false);
    ListView1->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    ListView1->header()->setSectionResizeMode(1, QHeaderView::Fixed);
    ListView1->header()->setSectionResizeMode(2, QHeaderView::Fixed);
    ListView1->header()->resizeSection(1, 100);
    ListView1->header()->resizeSection(2, 120);
    t1->addWidget(ListView1, 1);
    Label3 = new QLabel(QStringLiteral("Atenção: Os arquivos enviados ao FTP podem ser excluídos a qualquer momento após o suporte."), TabSheet1);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setStyleSheet(QStringLiteral("color: palette(highlight);"));
    t1->addWidget(Label3);

    // TabSheet2: download by typed name in corrupted-base mode.
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    Label1 = new QLabel(QStringLiteral("Para baixar arquivos sem conexão com o banco de dados, é necessário informar o nome "
                                       "completo do arquivo disponibilizado pelo suporte técnico."),
                        TabSheet2);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    Label1->setGeometry(40, 24, 409, 33);
    auto* lblNome = new QLabel(QStringLiteral("Nome do Arquivo"), TabSheet2);
    lblNome->setGeometry(40, 118, 409, 16);
    edtNomeArquivo = new QLineEdit(TabSheet2);
    edtNomeArquivo->setObjectName(QStringLiteral("edtNomeArquivo"));
    edtNomeArquivo->setGeometry(40, 136, 409, 23);
    lblNome->setBuddy(edtNomeArquivo);
    btnDownloadFinal = new QPushButton(QStringLiteral("Baixar"), TabSheet2);
    btnDownloadFinal->setObjectName(QStringLiteral("btnDownloadFinal"));
    btnDownloadFinal->setGeometry(40, 163, 75, 25);

    // TabSheet3: the unique name of the last corrupted-base upload.
    TabSheet3 = new QWidget;
    TabSheet3->setObjectName(QStringLiteral("TabSheet3"));
    auto* t3 = new QVBoxLayout(TabSheet3);
    t3->setContentsMargins(32, 22, 32, 0);
    auto* lblEnviado = new QLabel(QStringLiteral("Nome do Arquivo Enviado"), TabSheet3);
    edtUploadUniqueName = new QLineEdit(TabSheet3);
    edtUploadUniqueName->setObjectName(QStringLiteral("edtUploadUniqueName"));
    edtUploadUniqueName->setReadOnly(true);
    lblEnviado->setBuddy(edtUploadUniqueName);
    t3->addWidget(lblEnviado);
    t3->addWidget(edtUploadUniqueName);
    t3->addStretch(1);

    // TabSheet4: proxy settings, kept but inert.
    TabSheet4 = new QWidget;
    TabSheet4->setObjectName(QStringLiteral("TabSheet4"));
    auto* t4 = new QVBoxLayout(TabSheet4);
    auto campo = [&](const char* name, const QString& rotulo) {
        auto* lbl = new QLabel(rotulo, TabSheet4);
        auto* e = new QLineEdit(TabSheet4);
        e->setObjectName(QLatin1String(name));
        lbl->setBuddy(e);
        t4->addWidget(lbl);
        t4->addWidget(e);
        return e;
    };
    edtProxyHost = campo("edtProxyHost", QStringLiteral("Servidor (IP/Nome)"));
    edtProxyPort = campo("edtProxyPort", QStringLiteral("Porta"));
    edtProxyPort->setInputMask(QStringLiteral("99999;"));
    edtProxyUsername = campo("edtProxyUsername", QStringLiteral("Usuário"));
    edtProxyPassword = campo("edtProxyPassword", QStringLiteral("Senha"));
    edtProxyPassword->setEchoMode(QLineEdit::Password);
    Label2 = new QLabel(QStringLiteral("Tipo"), TabSheet4);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setVisible(false);
    cbProxyType = new QComboBox(TabSheet4);
    cbProxyType->setObjectName(QStringLiteral("cbProxyType"));
    cbProxyType->setVisible(false);
    t4->addWidget(Label2);
    t4->addWidget(cbProxyType);
    t4->addStretch(1);

    // tsNenhum: the blank page shown at start.
    tsNenhum = new QWidget;
    tsNenhum->setObjectName(QStringLiteral("tsNenhum"));
    auto* tn = new QVBoxLayout(tsNenhum);
    tn->setContentsMargins(0, 0, 0, 0);
    Panel3 = new QFrame(tsNenhum);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setAutoFillBackground(true);
    Panel3->setBackgroundRole(QPalette::Base);
    tn->addWidget(Panel3);

    PageControl1->addTab(TabSheet1, QStringLiteral("Conectado no Banco"));
    PageControl1->addTab(TabSheet2, QStringLiteral("Download Base Corrompida"));
    PageControl1->addTab(TabSheet3, QStringLiteral("Upload Base Corrompida"));
    PageControl1->addTab(TabSheet4, QStringLiteral("Proxy"));
    PageControl1->addTab(tsNenhum, QStringLiteral("Nenhum"));

    memoLog = new QPlainTextEdit(Splitter1);
    memoLog->setObjectName(QStringLiteral("memoLog"));
    memoLog->setReadOnly(true);
    memoLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memoLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont mono(QStringLiteral("Courier New"));
    mono.setStyleHint(QFont::Monospace);
    mono.setPixelSize(11);
    memoLog->setFont(mono);
    memoLog->setMinimumHeight(0);
    Splitter1->addWidget(PageControl1);
    Splitter1->addWidget(memoLog);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    Splitter1->setCollapsible(0, false);
    Splitter1->setCollapsible(1, true);
    Splitter1->setSizes({436 - 56 - 23, 0});

    // Keyboard order.
    setTabOrder(btnViewFiles, btnUpload);
    setTabOrder(btnUpload, btnProxy);
    setTabOrder(btnProxy, memoLog);
    setTabOrder(memoLog, PageControl1);
    setTabOrder(PageControl1, ListView1);
    setTabOrder(ListView1, btnRefresh);
    setTabOrder(btnRefresh, btnDelete);
    setTabOrder(btnDelete, btnDownloadSelected);
    setTabOrder(btnDownloadSelected, edtNomeArquivo);
    setTabOrder(edtNomeArquivo, btnDownloadFinal);
    setTabOrder(btnDownloadFinal, edtProxyHost);
    setTabOrder(edtProxyHost, edtProxyPort);
    setTabOrder(edtProxyPort, edtProxyUsername);
    setTabOrder(edtProxyUsername, edtProxyPassword);
    setTabOrder(edtProxyPassword, cbProxyType);

    // Wiring.
    connect(btnViewFiles, &QPushButton::clicked, this, [this] { operacao(btnViewFiles, [this] { btnViewFilesClick(); }); });
    connect(btnUpload, &QPushButton::clicked, this, [this] { operacao(btnUpload, [this] { btnUploadClick(); }); });
    connect(btnRefresh, &QPushButton::clicked, this, [this] { operacao(btnRefresh, [this] { btnRefreshClick(); }); });
    connect(btnDownloadSelected, &QPushButton::clicked, this,
            [this] { operacao(btnDownloadSelected, [this] { btnDownloadSelectedClick(); }); });
    connect(btnDownloadFinal, &QPushButton::clicked, this,
            [this] { operacao(btnDownloadFinal, [this] { btnDownloadFinalClick(); }); });
    connect(btnDelete, &QPushButton::clicked, this, [this] { operacao(btnDelete, [this] { btnDeleteClick(); }); });
    connect(ListView1, &QTreeWidget::itemSelectionChanged, this, [this] { protegido(ListView1, [this] { ListView1SelectItem(); }); });
    connect(Splitter1, &QSplitter::splitterMoved, this, [this] { protegido(Splitter1, [this] { Splitter1Moved(); }); });
}

// ---------------------------------------------------------------- start-up

void TfPrincipal::FormCreate()
{
    setAcceptDrops(true);
    TVersao::SetFase(RELEASE_CANDIDATE);
    setWindowTitle(windowTitle() + QLatin1Char(' ') + TVersao::GetVersaoExe());
    // No tab row: only the program switches pages.
    PageControl1->tabBar()->setVisible(false);
    PageControl1->setCurrentWidget(tsNenhum);
    Log(QStringLiteral("Identificando Sistema Quintara"));
    m_sistema = m_deps.criarSistema();
    if (m_sistema->GetSistema() != qncNenhum)
        Log(QStringLiteral("Sistema ") + m_sistema->GetSiglaSistema() + QStringLiteral(" identificado"));
    else
        Log(QStringLiteral("Nenhum sistema Quintara identificado"));
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
    if (m_estado == Estado::EmOperacao || m_estado == Estado::FecharAoTerminar) {
        // Stop the transfer first; the window closes as soon as the operation has
        // unwound (see operacao()).
        m_estado = Estado::FecharAoTerminar;
        m_ftp->Abort();
        event->ignore();
        return;
    }
    m_estado = Estado::Fechada;
    FormClose();
    event->accept();
}

void TfPrincipal::FormClose()
{
    if (!Connected())
        return;
    try {
        ftp([this] { m_ftp->Disconnect(); });
    } catch (...) {
        // Closing goes on whatever the server does.
    }
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

void TfPrincipal::operacao(QObject* sender, const std::function<void()>& handler)
{
    if (m_estado != Estado::Livre) {
        if (m_estado == Estado::EmOperacao)
            Log(kTextoOcupado);
        return;
    }
    m_estado = Estado::EmOperacao;
    protegido(sender, handler);
    if (m_estado == Estado::FecharAoTerminar) {
        m_estado = Estado::Livre;
        QTimer::singleShot(0, this, &QWidget::close);
    } else if (m_estado == Estado::EmOperacao) {
        m_estado = Estado::Livre;
    }
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
    memoLog->appendPlainText(text);
    copiarParaArquivoDeLog(text);
    memoLog->verticalScrollBar()->setValue(memoLog->verticalScrollBar()->maximum());
    bombearMensagens();
}

void TfPrincipal::copiarParaArquivoDeLog(const QString& text)
{
    // FTPCALDORIA_LOG names a file that receives a copy of every log line, for
    // support staff and for runs without a screen.
    static const QString arquivo = qEnvironmentVariable("FTPCALDORIA_LOG");
    if (arquivo.isEmpty())
        return;
    QFile f(arquivo);
    if (f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        f.write(text.toUtf8() + '\n');
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
    for (QWidget* w : std::initializer_list<QWidget*>{btnViewFiles, btnUpload, btnRefresh, btnDownloadSelected, btnDelete, ListView1})
        w->setEnabled(false);
    m_escalaProgresso = 0;
    while ((std::max<std::int64_t>(max, 0) >> m_escalaProgresso) > INT_MAX)
        ++m_escalaProgresso;
    m_totalTransferencia = std::max<std::int64_t>(max, 0);
    pgbr->setValue(0);
    pgbr->setMaximum(static_cast<int>(m_totalTransferencia >> m_escalaProgresso));
    pgbr->setFormat(QStringLiteral("%p%"));
    pnlAguarde->setVisible(true);
    if (!text.isEmpty())
        lbVerbose->setText(text);
    bombearMensagens();
}

void TfPrincipal::Liberar()
{
    btnViewFiles->setEnabled(true);
    btnUpload->setEnabled(true);
    btnRefresh->setEnabled(true);
    const bool selecionado = !ListView1->selectedItems().isEmpty();
    btnDownloadSelected->setEnabled(selecionado);
    btnDelete->setEnabled(selecionado);
    ListView1->setEnabled(true);
    lbVerbose->setText(QStringLiteral("Concluído"));
    pgbr->setFormat(QStringLiteral("%p%"));
}

void TfPrincipal::IdFTP1Status(const QString& text)
{
    Log(text);
}

void TfPrincipal::IdFTP1WorkBegin(TWorkMode mode, std::int64_t expected)
{
    m_relogioTransferencia.start();
    if (mode == wmWrite) {
        Aguardar(expected, QString());
        lbVerbose->setText(kTextoEnviando);
    } else {
        lbVerbose->setText(kTextoBaixando);
    }
}

void TfPrincipal::IdFTP1Work(TWorkMode, std::int64_t soFar)
{
    const int pos = static_cast<int>(std::min<std::int64_t>(std::max<std::int64_t>(soFar, 0) >> m_escalaProgresso, INT_MAX));
    pgbr->setValue(std::min(pos, pgbr->maximum()));
    atualizarTextoProgresso(soFar);
}

void TfPrincipal::atualizarTextoProgresso(std::int64_t soFar)
{
    const double segundos = m_relogioTransferencia.isValid() ? m_relogioTransferencia.elapsed() / 1000.0 : 0.0;
    pgbr->setFormat(TextoProgresso(soFar, m_totalTransferencia, segundos, QLocale()).replace(QLatin1Char('%'), QStringLiteral("%%")));
}

void TfPrincipal::IdFTP1WorkEnd(TWorkMode)
{
    Liberar();
}

void TfPrincipal::ListView1SelectItem()
{
    const bool selecionado = !ListView1->selectedItems().isEmpty();
    btnDelete->setEnabled(selecionado);
    btnDownloadSelected->setEnabled(selecionado);
}

void TfPrincipal::Splitter1Moved()
{
    if (Splitter1->property("Tag").toInt() != 0)
        return;
    Splitter1->setProperty("Tag", 1);
    resize(width(), height() + memoLog->height());
}

// ---------------------------------------------------------------- client folder

void TfPrincipal::SetCaptionCliente(const QString& caption)
{
    pnlCliente->setText(caption);
}

void TfPrincipal::SetDirectory(const QString& value)
{
    m_directory = value;
}

void TfPrincipal::SetBaseCorrompida()
{
    m_baseCorrompida = true;
}

void TfPrincipal::DefinirPastaCliente()
{
    ::DefinirPastaCliente(*m_sistema, *this, [](const std::function<void()>& work) { executarBloqueante(work); });
}

void TfPrincipal::CriarPastaCliente()
{
    if (m_directory.isEmpty())
        DefinirPastaCliente();
    if (!Connected())
        ConectarFTP();
    if (ftp([this] { return m_ftp->RetrieveCurrentDir(); }) == m_directory)
        return;
    Log(QStringLiteral("Criando Pasta do Cliente"));

    // Blanks (codes 1 to 32) separate pieces just as "/" does.
    QStringList pecas;
    QString atual;
    for (QChar c : m_directory) {
        if (c == QLatin1Char('/') || (c.unicode() >= 1 && c.unicode() <= 32)) {
            if (!atual.isEmpty())
                pecas << atual;
            atual.clear();
        } else {
            atual += c;
        }
    }
    if (!atual.isEmpty())
        pecas << atual;

    ftp([this] { m_ftp->ChangeDir(QStringLiteral("/")); });
    for (const QString& peca : pecas) {
        try {
            ftp([&] { m_ftp->MakeDir(peca); });
        } catch (const Exception& e) {
            if (!contemSemCaixa(e.Message(), "exist")) {
                // Some servers (vsftpd) refuse an existing folder without saying so:
                // if we can enter it, it was there. Otherwise the refusal stands.
                const std::exception_ptr recusa = std::current_exception();
                try {
                    ftp([&] { m_ftp->ChangeDir(peca); });
                } catch (const Exception&) {
                    std::rethrow_exception(recusa);
                }
                continue;
            }
        }
        ftp([&] { m_ftp->ChangeDir(peca); });
    }
    Log(QStringLiteral("Pasta do Cliente Criada com Sucesso"));
}

// ---------------------------------------------------------------- FTP connection

template <typename F>
auto TfPrincipal::ftp(F&& f) -> decltype(f())
{
    // The window is closing: whatever the operation meant to do next is not started.
    if (m_estado == Estado::FecharAoTerminar)
        throw EIdFTPError(QStringLiteral("Operação cancelada"));
    if constexpr (std::is_void_v<decltype(f())>) {
        executarBloqueante([&] { f(); });
    } else {
        std::optional<decltype(f())> resultado;
        executarBloqueante([&] { resultado.emplace(f()); });
        return std::move(*resultado);
    }
}

bool TfPrincipal::Connected() const
{
    return m_ftp->Connected();
}

void TfPrincipal::ConectarFTP()
{
    const Endpoints destinos = Endpoints::atuais();
    m_ftp->Host = destinos.principal.host;
    m_ftp->Port = destinos.principal.porta;
    m_ftp->Username = QStringLiteral("caldoria");
    m_ftp->Password = QStringLiteral("vesplodu");
    m_ftp->TransferType = ftBinary;
    m_ftp->TryNATFastTrack = true;
    Log(QStringLiteral("Tentando conectar no endereço principal do FTP"));
    try {
        ftp([this] { m_ftp->Connect(); });
    } catch (const Exception& e) {
        if (m_estado == Estado::FecharAoTerminar)
            throw;
        Log(e.Message());
        Log(QStringLiteral("Tentando conectar no endereço alternativo do FTP"));
        m_ftp->Host = destinos.alternativo.host;
        m_ftp->Port = destinos.alternativo.porta;
        ftp([this] { m_ftp->Connect(); });
    }
    AtivarEventosFTP();
}

void TfPrincipal::AtivarEventosFTP()
{
    m_eventosAtivos = true;
}

void TfPrincipal::DesativarEventosFTP()
{
    m_eventosAtivos = false;
}

// ---------------------------------------------------------------- listing

void TfPrincipal::ListarArquivos()
{
    DesativarEventosFTP();
    ListView1->clear();
    // One repaint for the whole listing.
    ListView1->setUpdatesEnabled(false);
    auto fim = [this] {
        ListView1->setUpdatesEnabled(true);
        ListView1->updateGeometry();
        AtivarEventosFTP();
    };
    try {
        if (!Connected())
            ConectarFTP();
        if (ftp([this] { return m_ftp->RetrieveCurrentDir(); }) != m_directory)
            CriarPastaCliente();
        ftp([this] { m_ftp->List(); });
        const auto& listagem = m_ftp->DirectoryListing();
        QList<QTreeWidgetItem*> linhas;
        linhas.reserve(static_cast<qsizetype>(listagem.size()));
        for (const TIdFTPListItem& entrada : listagem) {
            if (entrada.FileName == QLatin1String(".") || entrada.FileName == QLatin1String(".."))
                continue;
            auto* linha = new QTreeWidgetItem;
            PreencherItem(entrada, linha);
            linhas.append(linha);
        }
        ListView1->addTopLevelItems(linhas);
        PageControl1->setCurrentWidget(TabSheet1);
    } catch (...) {
        fim();
        throw;
    }
    fim();
}

void TfPrincipal::PreencherItem(const TIdFTPListItem& entry, QTreeWidgetItem* row)
{
    const QLocale local;
    row->setText(0, entry.FileName);
    row->setText(1, TextoTamanho(entry.Size, local));
    row->setText(2, TextoDataHora(entry.ModifiedDate, local));
    row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    row->setTextAlignment(2, Qt::AlignCenter);
}

void TfPrincipal::btnViewFilesClick()
{
    if (!Connected())
        ConectarFTP();
    if (m_directory.isEmpty())
        DefinirPastaCliente();
    if (m_baseCorrompida) {
        PageControl1->setCurrentWidget(TabSheet2);
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
    CriarPastaCliente();
    bool enviado = true;
    if (m_baseCorrompida)
        EnviarArquivoBaseCorrompida(caminho);
    else
        enviado = EnviarArquivo(caminho);
    if (enviado)
        MessageBox(QStringLiteral("Arquivo Enviado com Sucesso"), kTituloAplicacao, mb::Information);
}

bool TfPrincipal::EnviarArquivo(const QString& localPath)
{
    const QString nome = QFileInfo(localPath).fileName();
    const std::int64_t tamanho = ftp([&] { return m_ftp->Size(nome); });
    if (tamanho >= 0 &&
        MessageBox(QStringLiteral("O Arquivo Já Existe no FTP. Deseja Substituir?"), QStringLiteral("Substituir"), mb::Question) == mb::IdNo)
        return false;
    ftp([&] { m_ftp->Put(localPath, QString(), false, 0); });
    // The transfer has ended whatever order its events arrived in.
    Liberar();
    ListarArquivos();
    return true;
}

void TfPrincipal::EnviarArquivoBaseCorrompida(const QString& localPath)
{
    edtUploadUniqueName->setText(NomeUnicoBaseCorrompida(localPath, QDateTime::currentDateTime()));
    Log(edtUploadUniqueName->text());
    const QString remoto = edtUploadUniqueName->text();
    ftp([&] { m_ftp->Put(localPath, remoto, false, 0); });
    Liberar();
    edtNomeArquivo->setText(edtUploadUniqueName->text());
    PageControl1->setCurrentWidget(TabSheet3);
}

// ---------------------------------------------------------------- download and delete

void TfPrincipal::GarantirSelecao()
{
    if (!ListView1->selectedItems().isEmpty())
        return;
    if (ListView1->topLevelItemCount() == 1) {
        ListView1->topLevelItem(0)->setSelected(true);
        ListView1->setCurrentItem(ListView1->topLevelItem(0));
        return;
    }
    throw EUserWarning(QStringLiteral("Selecione um arquivo"));
}

void TfPrincipal::btnDownloadSelectedClick()
{
    GarantirSelecao();
    BaixarArquivo(ListView1->selectedItems().first()->text(0));
}

void TfPrincipal::btnDownloadFinalClick()
{
    if (edtNomeArquivo->text().trimmed().isEmpty())
        throw EUserWarning(QStringLiteral("Informe o nome completo do arquivo"));
    BaixarArquivo(edtNomeArquivo->text());
}

void TfPrincipal::BaixarArquivo(const QString& remoteName)
{
    const QString destino = m_deps.dialogos->SalvarArquivo(this, QStringLiteral("Salvar Arquivo"), NomeSugeridoParaSalvar(remoteName));
    if (destino.isEmpty())
        return;
    AtivarEventosFTP();
    CriarPastaCliente();
    const std::int64_t tamanho = ftp([&] { return m_ftp->Size(remoteName); });
    if (tamanho == -1) {
        ListarArquivos();
        throw EUserException(QStringLiteral("Arquivo Não Encontrado no FTP"));
    }
    const bool substituir = ConfirmaSubstituirLocal(destino);
    Aguardar(tamanho, QString());
    try {
        ftp([&] { m_ftp->Get(remoteName, destino, substituir, false); });
    } catch (...) {
        // Also when no data moved (refused file, no data connection, local file
        // kept): the window must not stay busy.
        Liberar();
        throw;
    }
    MessageBox(QStringLiteral("Arquivo Baixado com Sucesso"), kTituloAplicacao, mb::Information);
}

bool TfPrincipal::ConfirmaSubstituirLocal(const QString& localPath)
{
    if (!QFileInfo::exists(localPath))
        return false;
    return MessageBox(QStringLiteral("Deseja Substituir o Arquivo ") + localPath + QStringLiteral(" ?"),
                      QStringLiteral("Substituir Arquivo Local"), mb::Question) == mb::IdYes;
}

void TfPrincipal::btnDeleteClick()
{
    GarantirSelecao();
    if (MessageBox(QStringLiteral("Confirma a Exclusão do Arquivo Selecionado?"), QStringLiteral("Excluir"), mb::Question) != mb::IdYes)
        return;
    QTreeWidgetItem* linha = ListView1->selectedItems().first();
    const QString nome = linha->text(0);
    try {
        ftp([&] { m_ftp->Delete(nome); });
    } catch (const Exception& e) {
        // The row stays: the file is still there.
        Log(e.Message());
        return;
    }
    delete linha;
}

// ---------------------------------------------------------------- command line and drops

void TfPrincipal::EnviarArquivoLinhaComando()
{
    const QString arquivo = m_deps.argumentos.value(0);
    ConectarFTP();
    DefinirPastaCliente();
    CriarPastaCliente();
    if (m_baseCorrompida)
        EnviarArquivoBaseCorrompida(arquivo);
    else
        EnviarArquivo(arquivo);
}

void TfPrincipal::verificarArquivoParaEnvio(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir())
        throw EUserWarning(QStringLiteral("Apenas arquivos podem ser enviados, não pastas: ") + path);
    QFile arquivo(path);
    if (!info.isFile() || !arquivo.open(QIODevice::ReadOnly))
        throw EUserException(QStringLiteral("Não foi possível ler o arquivo ") + path);
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
    CriarPastaCliente();
    if (m_baseCorrompida)
        EnviarArquivoBaseCorrompida(nome);
    else
        EnviarArquivo(nome);
}

void TfPrincipal::SoltarArquivos(const QStringList& paths)
{
    operacao(this, [&] { WMDropFiles(paths); });
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

// ---------------------------------------------------------------- TAbrirComThread

TAbrirComThread::TAbrirComThread(TfPrincipal* janela) : QObject(janela), m_janela(janela) {}

void TAbrirComThread::Start()
{
    // Runs once the window has been shown and painted, on the GUI thread.
    QTimer::singleShot(0, this, [this] { Execute(); });
}

void TAbrirComThread::Execute()
{
    if (!m_janela) {
        deleteLater();
        return;
    }
    bool enviado = false;
    m_janela->operacao(m_janela, [this, &enviado] {
        m_janela->EnviarArquivoLinhaComando();
        enviado = true;
    });
    if (m_janela && enviado && !m_janela->baseCorrompida() && m_janela->m_estado == TfPrincipal::Estado::Livre) {
        QPointer<TfPrincipal> janela = m_janela;
        QTimer::singleShot(m_janela->m_deps.pausaAntesDeFecharMs, m_janela, [janela] {
            if (janela)
                janela->close();
        });
    }
    deleteLater();
}
