// The window against a real FTP server on loopback, driven through its buttons as a
// user would, with the platform "offscreen" unless QT_QPA_PLATFORM says otherwise.
//
//   ftpc_bench_janela listar PORT [ROUNDS]        refresh the listing of the client folder
//   ftpc_bench_janela enviar PORT LOCAL           upload LOCAL under a unique name
//   ftpc_bench_janela baixar PORT REMOTE LOCAL    download REMOTE of the shared folder to LOCAL
//
// "listar" identifies the client of a KORV installation over a private Firebird
// server, so it lists /gCALDORIA/Cidades/SAO_JOSE_DO_RIO_PRETO-SP/PM/KORV; the
// transfers find no installed system and work in the shared folder
// /gCALDORIA/Cidades/_corrompida.
//
// Prints key=value lines. gui_max_gap_ms is the longest stretch in which the GUI
// thread dispatched no event while the operation ran, up to the list's paint (a
// 1 ms timer keeps events coming whenever the thread is free).
#include "Dialogos.h"
#include "IdFTP.h"
#include "InstalacaoKorv.h"
#include "ufPrincipal.h"
#include "uTQuintaraConexoes.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QMouseEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QHeaderView>
#include <QProgressBar>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <vector>

namespace {

// Answers every dialog from a script: the file to open, the place to save, "OK".
class DialogosDoBenchmark : public IDialogos {
public:
    std::deque<QString> abrir;
    std::deque<QString> salvar;
    QStringList caixas;

    int MessageBox(QWidget*, const QString& text, const QString&, int) override
    {
        caixas << text;
        return mb::IdOk;
    }
    QString AbrirArquivo(QWidget*, const QString&, const QString&) override { return proximo(abrir); }
    QString SalvarArquivo(QWidget*, const QString&, const QString&) override { return proximo(salvar); }

private:
    static QString proximo(std::deque<QString>& fila)
    {
        if (fila.empty())
            return {};
        QString s = fila.front();
        fila.pop_front();
        return s;
    }
};

// Records the longest pause between two events dispatched on the GUI thread.
class MedidorDePausas : public QObject {
public:
    MedidorDePausas()
    {
        qApp->installEventFilter(this);
        m_tique.setTimerType(Qt::PreciseTimer);
        m_tique.setInterval(1);
        QObject::connect(&m_tique, &QTimer::timeout, this, [] {});
    }
    ~MedidorDePausas() override { qApp->removeEventFilter(this); }

    void iniciar()
    {
        m_maior = 0;
        m_eventos = 0;
        m_relogio.start();
        m_ultimo = 0;
        m_ativo = true;
        m_tique.start();
    }
    void parar()
    {
        marcar();
        m_ativo = false;
        m_tique.stop();
    }
    double maiorPausaMs() const { return static_cast<double>(m_maior) / 1e6; }
    double quandoMs() const { return static_cast<double>(m_quando) / 1e6; }
    qint64 eventos() const { return m_eventos; }
    double decorridoMs() const { return static_cast<double>(m_relogio.nsecsElapsed()) / 1e6; }

protected:
    bool eventFilter(QObject*, QEvent*) override
    {
        if (m_ativo)
            marcar();
        return false;
    }

private:
    void marcar()
    {
        const qint64 agora = m_relogio.nsecsElapsed();
        if (agora - m_ultimo > m_maior) {
            m_maior = agora - m_ultimo;
            m_quando = m_ultimo;
        }
        m_ultimo = agora;
        ++m_eventos;
    }

    QTimer m_tique;
    QElapsedTimer m_relogio;
    qint64 m_ultimo = 0;
    qint64 m_maior = 0;
    qint64 m_quando = 0;
    qint64 m_eventos = 0;
    bool m_ativo = false;
};

// Counts the paints of a widget.
class ContadorDePinturas : public QObject {
public:
    explicit ContadorDePinturas(QWidget* w) { w->installEventFilter(this); }
    int pinturas = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            ++pinturas;
        return false;
    }
};

std::unique_ptr<TfPrincipal> novaJanela(int porta, std::shared_ptr<DialogosDoBenchmark> dialogos,
                                        std::function<IQuintaraConexaoPtr()> sistema = [] { return std::make_shared<TQuintaraConexao>(); })
{
    qputenv("FTPCALDORIA_FTP_HOST", QByteArray("127.0.0.1:") + QByteArray::number(porta));
    qputenv("FTPCALDORIA_FTP_ALT_HOST", QByteArray("127.0.0.1:") + QByteArray::number(porta));
    qunsetenv("FTPCALDORIA_FTP_PORT");
    TfPrincipal::Dependencias deps;
    deps.dialogos = std::move(dialogos);
    deps.criarSistema = std::move(sistema);
    auto w = std::make_unique<TfPrincipal>(std::move(deps));
    w->show();
    QCoreApplication::processEvents();
    return w;
}

// Lets whatever is pending (a paint of the previous round) happen before a measurement.
void esvaziarEventos()
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 100)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

void imprimir(const char* chave, double valor) { std::printf("%s=%.1f\n", chave, valor); }

// The time for the client component alone to fetch and parse the same listing.
double listagemSemJanelaMs(int porta)
{
    TIdFTP ftp;
    ftp.configure({.host = QStringLiteral("127.0.0.1"), .port = porta, .username = QStringLiteral("caldoria"), .password = QStringLiteral("vesplodu")});
    ftp.Connect();
    ftp.ChangeDir(testsupport::kPastaClienteKorv);
    QElapsedTimer t;
    t.start();
    ftp.List();
    const double ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
    ftp.Disconnect();
    return ms;
}

// Lets the GUI thread work until what a click started on the session's thread has ended.
void esperarFim(TfPrincipal& w)
{
    while (w.operacaoEmAndamento())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
}

// Runs action, then lets the GUI thread work until the operation it started has
// ended and the list has painted its last contents. Returns the time to the paint
// and the longest GUI pause on the way.
struct Medida {
    double ms;
    double maiorPausaMs;
};
Medida atePintar(TfPrincipal& w, const std::function<void()>& action)
{
    esvaziarEventos();
    QTreeView* lista = w.ui->ListView1;
    ContadorDePinturas pinturas(lista->viewport());
    // A refresh empties the list first: only a paint of the new contents counts.
    const QMetaObject::Connection novos =
        QObject::connect(lista->model(), &QAbstractItemModel::modelReset, [&pinturas] { pinturas.pinturas = 0; });
    MedidorDePausas medidor;
    QElapsedTimer t;
    t.start();
    medidor.iniciar();
    action();
    while ((w.operacaoEmAndamento() || pinturas.pinturas == 0) && t.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QObject::disconnect(novos);
    medidor.parar();
    return {static_cast<double>(t.nsecsElapsed()) / 1e6, medidor.maiorPausaMs()};
}

double mediana(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

int listar(int porta, int rodadas)
{
    // A KORV installation whose client is São José do Rio Preto/SP.
    testsupport::FirebirdServer firebird;
    QTemporaryDir pasta;
    const QString instalacao = pasta.filePath(QStringLiteral("KORV"));
    testsupport::criarInstalacaoKorv(firebird, instalacao, 2017);
    auto dialogos = std::make_shared<DialogosDoBenchmark>();
    auto w = novaJanela(porta, dialogos, [instalacao] {
        return std::make_shared<TQuintaraConexaoInstalada>(instalacao + QStringLiteral("/FTPCaldoria"), [] { return 2017; });
    });
    QTreeView* lista = w->ui->ListView1;
    QWidget* viewport = lista->viewport();
    // The first view connects, identifies the client and walks to the folder; the
    // refreshes measured only list.
    w->ui->btnViewFiles->click();
    esperarFim(*w);
    const int linhas = lista->model()->rowCount();
    std::printf("rows=%d\n", linhas);
    if (linhas == 0)
        return 1;

    std::vector<double> total, pausas;
    for (int i = 0; i < rodadas; ++i) {
        const Medida m = atePintar(*w, [&] { w->ui->btnRefresh->click(); });
        total.push_back(m.ms);
        pausas.push_back(m.maiorPausaMs);
    }
    imprimir("refresh_to_painted_ms", mediana(total));
    imprimir("gui_max_gap_ms", mediana(pausas));

    // Scrolling: 200 jumps across the whole list, each painted; the longest one.
    double maiorPasso = 0;
    QScrollBar* barra = lista->verticalScrollBar();
    for (int i = 1; i <= 200; ++i) {
        const int alvo = static_cast<int>(static_cast<qint64>(barra->maximum()) * ((i * 37) % 200) / 199);
        QElapsedTimer t;
        t.start();
        barra->setValue(alvo);
        viewport->repaint();
        maiorPasso = std::max(maiorPasso, static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    imprimir("scroll_max_step_ms", maiorPasso);

    // Sorting by name with a click on its header, twice (ascending, descending).
    std::vector<double> ordenar, pausasOrdenar;
    for (int i = 0; i < 2; ++i) {
        QHeaderView* h = lista->header();
        const Medida m = atePintar(*w, [&] {
            const QPoint meio(h->sectionViewportPosition(0) + 10, h->height() / 2);
            QMouseEvent aperta(QEvent::MouseButtonPress, meio, h->viewport()->mapToGlobal(meio), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QMouseEvent solta(QEvent::MouseButtonRelease, meio, h->viewport()->mapToGlobal(meio), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(h->viewport(), &aperta);
            QApplication::sendEvent(h->viewport(), &solta);
        });
        ordenar.push_back(m.ms);
        pausasOrdenar.push_back(m.maiorPausaMs);
    }
    imprimir("sort_to_painted_ms", mediana(ordenar));
    imprimir("sort_gui_max_gap_ms", *std::max_element(pausasOrdenar.begin(), pausasOrdenar.end()));

    std::vector<double> soCliente;
    for (int i = 0; i < rodadas; ++i)
        soCliente.push_back(listagemSemJanelaMs(porta));
    imprimir("client_list_ms", mediana(soCliente));
    return lista->model()->rowCount() == linhas ? 0 : 1;
}

int transferir(int porta, bool enviar, const QString& remoto, const QString& local)
{
    auto dialogos = std::make_shared<DialogosDoBenchmark>();
    auto w = novaJanela(porta, dialogos);
    int passos = 0;
    QObject::connect(w->ui->pgbr, &QProgressBar::valueChanged, w.get(), [&passos](int) { ++passos; });
    MedidorDePausas medidor;
    medidor.iniciar();
    if (enviar) {
        dialogos->abrir.push_back(local);
        w->ui->btnUpload->click();
    } else {
        // The first click connects and creates the folder, then downloads.
        w->ui->edtNomeArquivo->setText(remoto);
        dialogos->salvar.push_back(local);
        w->ui->btnDownloadFinal->click();
    }
    esperarFim(*w);
    medidor.parar();
    const QString esperado = enviar ? QStringLiteral("Arquivo Enviado com Sucesso") : QStringLiteral("Arquivo Baixado com Sucesso");
    const bool ok = dialogos->caixas.contains(esperado);
    imprimir("operation_ms", medidor.decorridoMs());
    imprimir("gui_max_gap_ms", medidor.maiorPausaMs());
    imprimir("gui_max_gap_at_ms", medidor.quandoMs());
    std::printf("gui_events=%lld\nprogress_steps=%d\nok=%d\n", static_cast<long long>(medidor.eventos()), passos, ok ? 1 : 0);
    if (!ok)
        std::fprintf(stderr, "ftpc_bench_janela: %s\n", qPrintable(dialogos->caixas.join(QLatin1String(" | "))));
    return ok ? 0 : 1;
}

int uso()
{
    std::fputs("usage: ftpc_bench_janela listar PORT [ROUNDS] | enviar PORT LOCAL | baixar PORT REMOTE LOCAL\n", stderr);
    return 2;
}

}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.size() < 3)
        return uso();
    const int porta = a[2].toInt();
    if (a[1] == QLatin1String("listar"))
        return listar(porta, a.size() > 3 ? std::max(1, a[3].toInt()) : 3);
    if (a[1] == QLatin1String("enviar") && a.size() == 4)
        return transferir(porta, true, {}, QFileInfo(a[3]).absoluteFilePath());
    if (a[1] == QLatin1String("baixar") && a.size() == 5)
        return transferir(porta, false, a[3], QFileInfo(a[4]).absoluteFilePath());
    return uso();
}
