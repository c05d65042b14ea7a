// Takes the README's pictures of the window, as a user in São José do Rio Preto
// sees it: the question about a server certificate that cannot be verified, the
// client folder listed with one file chosen, the busy panel while a large backup
// goes up, the pause after the line broke, and an upload that could not be
// finished, with its error box. The window is the real one, against a private
// Firebird server holding the client database and a pyftpdlib server on 127.0.0.1
// that offers TLS with a self-signed certificate; the broken lines come from our
// relay, which breaks transfers where told and sees only clear text.
//
//   ftpc_screenshots OUTPUT_FOLDER      writes janela-certificado.png, janela.png,
//                                       janela-enviando.png, caixa-fechar.png,
//                                       janela-retomando.png,
//                                       janela-falha.png and caixa-falha.png
#include "Dialogos.h"
#include "FileListModel.h"
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
#include <QItemSelectionModel>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QSettings>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <cstdio>
#include <functional>

// The window's friend in tests: what this program needs of its private parts.
struct AcessoTeste {
    // Drops the connection, so that the next action connects again (through the relay).
    static void Desconectar(TfPrincipal& w)
    {
        w.m_trabalhador->closeConnection();
        while (w.operacaoEmAndamento())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
};

namespace {

bool salvar(QWidget& w, const QString& path);

// The user's answers: the backup to send, OK to every box, yes to the
// certificate's question and no to closing during the upload; both questions are
// shown for real and pictured. An error box is also shown for its picture.
class Respostas : public IDialogos {
public:
    QString enviar;
    QString pergunta; // where the picture of the question goes
    bool perguntou = false;
    QString fechar; // where the picture of the close question goes
    bool perguntouAoFechar = false;
    std::function<void(const QString& text, const QString& caption)> aoErro;
    int MessageBox(QWidget* parent, const QString& text, const QString& caption, int flags) override
    {
        if (flags == mb::Error && aoErro)
            aoErro(text, caption);
        if ((flags & 0x0F) != mb::YesNo)
            return mb::IdOk;
        const bool aoFechar = caption == QStringLiteral("Sair");
        QTimer::singleShot(400, [this, aoFechar] {
            auto* caixa = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!caixa)
                return;
            if (aoFechar) {
                perguntouAoFechar = salvar(*caixa, fechar);
                caixa->button(QMessageBox::No)->click();
                return;
            }
            perguntou = salvar(*caixa, pergunta);
            caixa->button(QMessageBox::Yes)->click();
        });
        return DialogosQt().MessageBox(parent, text, caption, flags);
    }
    QString AbrirArquivo(QWidget*, const QString&, const QString&) override { return enviar; }
    QString SalvarArquivo(QWidget*, const QString&, const QString&) override { return {}; }
};

void arquivo(const QString& path, qint64 size, const QDateTime& when)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || !f.resize(size)) // sparse: costs no disk
        throw std::runtime_error("cannot create " + path.toStdString());
    f.setFileTime(when, QFileDevice::FileModificationTime);
}

bool salvar(QWidget& w, const QString& path)
{
    const bool ok = w.grab().save(path);
    std::printf("%s %s\n", ok ? "saved" : "could not save", qPrintable(path));
    return ok;
}

}

// Clicks as the user does and lets the window work until what the click started
// on the session's thread has ended.
static void clicar(TfPrincipal& janela, QAbstractButton* botao)
{
    botao->click();
    while (janela.operacaoEmAndamento())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    QCoreApplication::processEvents();
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    installQtTranslation();
    if (argc != 2) {
        std::fputs("usage: ftpc_screenshots OUTPUT_FOLDER\n", stderr);
        return 2;
    }
    const QString saida = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(saida);

    const int ano = QDate::currentDate().year();
    testsupport::FirebirdServer firebird;
    QTemporaryDir base(QDir::tempPath() + QStringLiteral("/ftpc-screenshots.XXXXXX"));
    const QString instalacao = base.filePath(QStringLiteral("Quintara/KORV"));
    testsupport::criarInstalacaoKorv(firebird, instalacao, ano);

    // What support and the client have left in the client folder.
    const QString cliente = base.filePath(QStringLiteral("ftp")) + testsupport::kPastaClienteKorv;
    const QDateTime dia(QDate(ano, 12, 1), QTime(18, 42, 5));
    arquivo(cliente + QStringLiteral("/backup-korv-%1-12-01.fbk").arg(ano), 3412004864LL, dia);
    arquivo(cliente + QStringLiteral("/backup-korv-%1-11-03.fbk").arg(ano), 3297411072LL, dia.addDays(-28));
    arquivo(cliente + QStringLiteral("/relatorio-suporte.pdf"), 254310, dia.addDays(2).addSecs(-25000));
    arquivo(cliente + QStringLiteral("/atualizacao-1.0.10.zip"), 48211456, dia.addDays(-40));
    arquivo(cliente + QStringLiteral("/leia-me.txt"), 1874, dia.addDays(-40));
    // A server whose certificate signs itself: the window asks before it logs in.
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, base.filePath(QStringLiteral("configuracao")));
    testsupport::TestCa ca(base.path());
    testsupport::TestCa::Options proprio;
    proprio.selfSigned = true;
    testsupport::PyFtpd ftp(base.filePath(QStringLiteral("ftp")), testsupport::kFtpUser, testsupport::kFtpPassword, {},
                            testsupport::FtpTls{ca.issue(QStringLiteral("ftp"), proprio)});
    qputenv("FTPCALDORIA_FTP_TLS", "se disponível");
    qputenv("FTPCALDORIA_FTP_HOST", QByteArray("127.0.0.1:") + QByteArray::number(ftp.port()));
    qputenv("FTPCALDORIA_FTP_ALT_HOST", QByteArray("127.0.0.1:") + QByteArray::number(ftp.port()));

    auto respostas = std::make_shared<Respostas>();
    respostas->enviar = base.filePath(QStringLiteral("backup-korv-%1-12-10.fbk").arg(ano));
    arquivo(respostas->enviar, 1LL << 30, QDateTime::currentDateTime());
    respostas->pergunta = saida + QStringLiteral("/janela-certificado.png");
    respostas->fechar = saida + QStringLiteral("/caixa-fechar.png");

    TfPrincipal::Dependencias deps;
    deps.dialogos = respostas;
    deps.criarSistema = [instalacao] { return std::make_shared<TQuintaraConexaoInstalada>(instalacao + QStringLiteral("/FTPCaldoria"), [] { return QDate::currentDate().year(); }); };
    TfPrincipal janela(std::move(deps));
    janela.show();
    if (!QTest::qWaitForWindowExposed(&janela))
        return 1;

    clicar(janela, janela.ui->btnViewFiles);
    QTreeView& lista = *janela.ui->ListView1;
    if (lista.model()->rowCount() < 5) {
        std::fprintf(stderr, "ftpc_screenshots: the folder was not listed (%d rows); the log:\n%s\n", lista.model()->rowCount(), qPrintable(janela.ui->memoLog->toPlainText()));
        return 1;
    }
    lista.selectionModel()->setCurrentIndex(lista.model()->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    lista.setFocus();
    QTest::qWait(200);
    bool ok = respostas->perguntou && salvar(janela, saida + QStringLiteral("/janela.png"));

    // Halfway through a 1 GiB upload, once the speed is known.
    bool tirada = false;
    QElapsedTimer relogio;
    QObject::connect(janela.ui->pgbr, &QProgressBar::valueChanged, &janela, [&](int v) {
        if (tirada || !relogio.isValid() || relogio.elapsed() < 700 || v < qint64(janela.ui->pgbr->maximum()) * 2 / 5)
            return;
        tirada = true;
        ok = salvar(janela, saida + QStringLiteral("/janela-enviando.png")) && ok;
        // Closing now asks first, "Não" the default; the picture's answer is "Não".
        QTimer::singleShot(0, &janela, [&janela] { janela.close(); });
    });
    relogio.start();
    clicar(janela, janela.ui->btnUpload);
    if (!tirada) {
        std::fputs("ftpc_screenshots: the upload ended before its picture was taken\n", stderr);
        ok = false;
    }
    if (!respostas->perguntouAoFechar || !janela.isVisible()) {
        std::fputs("ftpc_screenshots: closing during the upload did not ask, or closed\n", stderr);
        ok = false;
    }

    // The line breaks at 30 % of the next upload: the pause before the new attempt.
    // The relay reads the server's passive replies, so these go in clear text.
    qputenv("FTPCALDORIA_FTP_TLS", "nunca");
    const QString segundo = base.filePath(QStringLiteral("backup-korv-%1-12-11.fbk").arg(ano));
    arquivo(segundo, 1LL << 30, QDateTime::currentDateTime());
    respostas->enviar = segundo;
    {
        testsupport::CuttingProxy relay(ftp.port(), {(1LL << 30) * 3 / 10});
        qputenv("FTPCALDORIA_FTP_HOST", QByteArray("127.0.0.1:") + QByteArray::number(relay.port()));
        qputenv("FTPCALDORIA_FTP_ALT_HOST", QByteArray("127.0.0.1:") + QByteArray::number(relay.port()));
        AcessoTeste::Desconectar(janela);
        bool pausa = false;
        QTimer olho;
        QObject::connect(&olho, &QTimer::timeout, &janela, [&] {
            if (!pausa && janela.ui->lbVerbose->text().startsWith(QStringLiteral("Conexão perdida; nova tentativa em 1 s"))) {
                pausa = true;
                ok = salvar(janela, saida + QStringLiteral("/janela-retomando.png")) && ok;
            }
        });
        olho.start(20);
        clicar(janela, janela.ui->btnUpload);
        if (!pausa) {
            std::fputs("ftpc_screenshots: no pause before a new attempt was seen\n", stderr);
            ok = false;
        }
    }
    janela.close();

    // The server goes away for good at 32 % of an upload: what the user is told.
    {
        const QString terceiro = base.filePath(QStringLiteral("backup-korv-%1-12-12.fbk").arg(ano));
        arquivo(terceiro, 1LL << 30, QDateTime::currentDateTime());
        respostas->enviar = terceiro;
        testsupport::CuttingProxy relay(ftp.port(), {(1LL << 30) * 32 / 100}, true);
        qputenv("FTPCALDORIA_FTP_HOST", QByteArray("127.0.0.1:") + QByteArray::number(relay.port()));
        qputenv("FTPCALDORIA_FTP_ALT_HOST", QByteArray("127.0.0.1:") + QByteArray::number(relay.port()));
        TfPrincipal::Dependencias semNovasTentativas;
        semNovasTentativas.dialogos = respostas;
        semNovasTentativas.criarSistema = [instalacao] {
            return std::make_shared<TQuintaraConexaoInstalada>(instalacao + QStringLiteral("/FTPCaldoria"), [] { return QDate::currentDate().year(); });
        };
        semNovasTentativas.ajustes.retry.pauses.clear();
        TfPrincipal falha(std::move(semNovasTentativas));
        falha.show();
        if (!QTest::qWaitForWindowExposed(&falha))
            return 1;
        clicar(falha, falha.ui->btnViewFiles);
        bool caixa = false;
        respostas->aoErro = [&](const QString& texto, const QString& titulo) {
            caixa = true;
            QTest::qWait(100);
            ok = salvar(falha, saida + QStringLiteral("/janela-falha.png")) && ok;
            QMessageBox box(QMessageBox::Critical, titulo, texto, QMessageBox::Ok, &falha);
            box.show();
            QTest::qWait(100);
            ok = salvar(box, saida + QStringLiteral("/caixa-falha.png")) && ok;
        };
        clicar(falha, falha.ui->btnUpload);
        if (!caixa) {
            std::fputs("ftpc_screenshots: the broken upload showed no error box\n", stderr);
            ok = false;
        }
        falha.close();
    }
    return ok ? 0 : 1;
}
