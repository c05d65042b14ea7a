// Pictures of the moments where what the window shows must match what happens:
// the server unreachable on "Visualizar Arquivos", the panel behind a success box,
// the speed of an upload that continues an interrupted one, the window at its
// minimum width during an upload, and the whole screen with the window as it opens
// (run it with QT_SCALE_FACTOR=2 on a 1366x768 screen for the larger scale). Same
// peers as ftpc_screenshots: a private Firebird server and pyftpdlib on loopback.
//
//   ftpc_screenshots_estados OUTPUT_FOLDER [PREFIX]
#include "Dialogos.h"
#include "FtpServers.h"
#include "InstalacaoKorv.h"
#include "Translations.h"
#include "ufPrincipal.h"
#include "uTQuintaraConexoes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

bool salvar(QWidget& w, const QString& path)
{
    const bool ok = w.grab().save(path);
    std::printf("%s %s\n", ok ? "saved" : "could not save", qPrintable(path));
    return ok;
}

// Yes to every question; at each box that is no question, a picture of the window behind it.
class Respostas : public IDialogos {
public:
    QString enviar;
    std::function<void(QWidget* janela, const QString& texto, int flags)> aoMostrar;
    int MessageBox(QWidget* parent, const QString& text, const QString&, int flags) override
    {
        if (aoMostrar)
            aoMostrar(parent, text, flags);
        return (flags & 0x0F) == mb::YesNo ? mb::IdYes : mb::IdOk;
    }
    QString AbrirArquivo(QWidget*, const QString&, const QString&) override { return enviar; }
    QString SalvarArquivo(QWidget*, const QString&, const QString&) override { return {}; }
};

void arquivo(const QString& path, qint64 size)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || !f.resize(size))
        throw std::runtime_error("cannot create " + path.toStdString());
}

void clicar(TfPrincipal& janela, QAbstractButton* botao)
{
    botao->click();
    while (janela.operacaoEmAndamento())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    QCoreApplication::processEvents();
}

void apontar(int porta)
{
    qputenv("FTPCALDORIA_FTP_HOST", QByteArray("127.0.0.1:") + QByteArray::number(porta));
    qputenv("FTPCALDORIA_FTP_ALT_HOST", QByteArray("127.0.0.1:") + QByteArray::number(porta));
}

}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    installQtTranslation();
    if (argc < 2) {
        std::fputs("usage: ftpc_screenshots_estados OUTPUT_FOLDER [PREFIX]\n", stderr);
        return 2;
    }
    const QString saida = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const QString prefixo = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    const auto nome = [&](const char* n) { return saida + QLatin1Char('/') + prefixo + QLatin1String(n) + QStringLiteral(".png"); };
    QDir().mkpath(saida);
    qputenv("FTPCALDORIA_FTP_TLS", "nunca");

    const int ano = QDate::currentDate().year();
    testsupport::FirebirdServer firebird;
    QTemporaryDir base(QDir::tempPath() + QStringLiteral("/ftpc-estados.XXXXXX"));
    const QString instalacao = base.filePath(QStringLiteral("Quintara/KORV"));
    testsupport::criarInstalacaoKorv(firebird, instalacao, ano);
    const QString raiz = base.filePath(QStringLiteral("ftp"));
    QDir().mkpath(raiz + testsupport::kPastaClienteKorv);
    testsupport::PyFtpd ftp(raiz);

    auto respostas = std::make_shared<Respostas>();
    const auto janela = [&](bool novasTentativas = true) {
        TfPrincipal::Dependencias deps;
        deps.dialogos = respostas;
        deps.criarSistema = [instalacao, ano] {
            return std::make_shared<TQuintaraConexaoInstalada>(instalacao + QStringLiteral("/FTPCaldoria"), [ano] { return ano; });
        };
        if (!novasTentativas)
            deps.ajustes.retry.pauses.clear();
        auto w = std::make_unique<TfPrincipal>(std::move(deps));
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()))
            std::fputs("ftpc_screenshots_estados: the window was not shown\n", stderr);
        return w;
    };
    bool ok = true;

    {
        // The window as it opens, on the whole screen.
        auto w = janela();
        QTest::qWait(300);
        QScreen* tela = w->screen();
        const QPixmap p = tela->grabWindow(0);
        ok = p.save(nome("tela")) && ok;
        std::printf("screen %dx%d available %dx%d%+d%+d, window frame %dx%d%+d%+d\n", tela->geometry().width(), tela->geometry().height(),
                    tela->availableGeometry().width(), tela->availableGeometry().height(), tela->availableGeometry().x(),
                    tela->availableGeometry().y(), w->frameGeometry().width(), w->frameGeometry().height(), w->frameGeometry().x(),
                    w->frameGeometry().y());
    }
    {
        // Nobody answers on the server's port.
        apontar(testsupport::closedPort());
        auto w = janela();
        clicar(*w, w->ui->btnViewFiles);
        QTest::qWait(200);
        ok = salvar(*w, nome("inacessivel")) && ok;
        apontar(ftp.port());
    }
    {
        // A success box, and what the panel says behind it.
        auto w = janela();
        clicar(*w, w->ui->btnViewFiles);
        respostas->enviar = base.filePath(QStringLiteral("backup-pequeno.fbk"));
        arquivo(respostas->enviar, 64LL << 20);
        respostas->aoMostrar = [&](QWidget*, const QString&, int flags) {
            if (flags == mb::Information)
                ok = salvar(*w, nome("sucesso")) && ok;
        };
        clicar(*w, w->ui->btnUpload);
        respostas->aoMostrar = {};
    }
    {
        // An upload broken off at 90 %, then continued: the speed of what is left.
        respostas->enviar = base.filePath(QStringLiteral("backup-retomado.fbk"));
        arquivo(respostas->enviar, 1LL << 30);
        {
            testsupport::CuttingProxy relay(ftp.port(), {(1LL << 30) * 9 / 10}, true);
            apontar(relay.port());
            auto w = janela(false);
            clicar(*w, w->ui->btnUpload);
        }
        apontar(ftp.port());
        auto w = janela();
        respostas->aoMostrar = [&](QWidget*, const QString&, int flags) {
            if (flags == mb::Information)
                ok = salvar(*w, nome("retomada")) && ok;
        };
        clicar(*w, w->ui->btnUpload);
        respostas->aoMostrar = {};
    }
    {
        // The narrowest window, during an upload.
        auto w = janela();
        w->resize(w->minimumSizeHint().width(), w->height());
        clicar(*w, w->ui->btnViewFiles);
        respostas->enviar = base.filePath(QStringLiteral("backup-korv-%1-12-10-completo.fbk").arg(ano));
        arquivo(respostas->enviar, 1LL << 30);
        bool tirada = false;
        QElapsedTimer relogio;
        QObject::connect(w->ui->pgbr, &QProgressBar::valueChanged, w.get(), [&](int v) {
            if (tirada || !relogio.isValid() || relogio.elapsed() < 700 || v < qint64(w->ui->pgbr->maximum()) * 2 / 5)
                return;
            tirada = true;
            ok = salvar(*w, nome("largura-minima")) && ok;
        });
        relogio.start();
        clicar(*w, w->ui->btnUpload);
        ok = tirada && ok;
    }
    return ok ? 0 : 1;
}
