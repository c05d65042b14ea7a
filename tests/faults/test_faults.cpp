// Every way a server, a network or the local disk can fail, seen from the window:
// a clear line in the log (or the box the user must see), the window ready again,
// no hang beyond our time-outs, and nothing lost.
#include "AmbienteJanela.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>

#include <chrono>

namespace {

using testsupport::readFile;
using testsupport::ScriptedFtp;

const QString kArquivoRemoto = kPastaCliente.mid(1) + QStringLiteral("/dados.bin");
constexpr qint64 kTamanho = 3 << 20;

class Falhas : public ::testing::Test {
protected:
    QTemporaryDir local;
    std::shared_ptr<DialogosRoteirizados> dialogos = std::make_shared<DialogosRoteirizados>();

    std::unique_ptr<TfPrincipal> janela(int porta)
    {
        apontarFtp(porta);
        auto w = novaJanela(instalacaoKorv(), dialogos);
        // Short, so that a silent peer costs the suite little.
        w->IdFTP1().ConnectTimeout = std::chrono::seconds(2);
        w->IdFTP1().ReadTimeout = std::chrono::seconds(2);
        w->show();
        return w;
    }
    static void prontaDeNovo(TfPrincipal& w)
    {
        EXPECT_FALSE(w.operacaoEmAndamento());
        EXPECT_TRUE(w.btnUpload->isEnabled());
        EXPECT_TRUE(w.btnViewFiles->isEnabled());
        EXPECT_TRUE(w.ListView1->isEnabled());
    }
    static void semCaixaDeSucesso(const DialogosRoteirizados& d)
    {
        for (const auto& c : d.caixas)
            EXPECT_FALSE(c.texto.contains(QStringLiteral("com Sucesso"))) << c.texto.toStdString();
    }
};

struct CasoControle {
    const char* cenario;
    const char* trecho; // what the last log line says, lower-cased
    bool lista;         // the listing still comes through
};

// The control connection: refused, refused service, closed at each stage, silent,
// very long or foreign replies, a PWD reply without quotes.
TEST_F(Falhas, ControlConnection)
{
    const CasoControle casos[] = {
        {"greeting-421", "too many users", false},
        {"close-during-login", "fechada", false},
        {"close-during-reply", "fechada", false},
        {"silent", "tempo esgotado", false},
        {"not-ftp", "", false},
        {"long-reply", "", true},
        {"pwd-unquoted", "", true},
    };
    for (const CasoControle& c : casos) {
        SCOPED_TRACE(c.cenario);
        ScriptedFtp servidor(QString::fromLatin1(c.cenario));
        auto w = janela(servidor.port());
        QElapsedTimer relogio;
        relogio.start();
        w->btnViewFiles->click();
        EXPECT_LT(relogio.elapsed(), 10000) << "bounded by our time-outs";
        const QStringList log = linhasDoLog(*w);
        prontaDeNovo(*w);
        EXPECT_TRUE(dialogos->caixas.empty());
        if (c.lista) {
            EXPECT_EQ(w->PageControl1->currentWidget(), w->TabSheet1) << log.join('\n').toStdString();
            continue;
        }
        EXPECT_NE(w->PageControl1->currentWidget(), w->TabSheet1);
        EXPECT_FALSE(log.last().isEmpty());
        EXPECT_TRUE(log.last().toLower().contains(QString::fromUtf8(c.trecho))) << log.last().toStdString();
    }
}

TEST_F(Falhas, ConnectionRefused)
{
    auto w = janela(testsupport::closedPort());
    w->btnViewFiles->click();
    const QStringList log = linhasDoLog(*w);
    EXPECT_TRUE(log.last().contains(QStringLiteral("127.0.0.1"))) << log.last().toStdString();
    prontaDeNovo(*w);
}

TEST_F(Falhas, AConnectionClosedBetweenOperationsIsOpenedAgain)
{
    ScriptedFtp servidor(QStringLiteral("close-between"));
    auto w = janela(servidor.port());
    w->btnViewFiles->click();
    ASSERT_EQ(w->PageControl1->currentWidget(), w->TabSheet1);
    w->btnRefresh->click();
    const QStringList log = linhasDoLog(*w);
    EXPECT_EQ(log.count(QStringLiteral("Tentando conectar no endereço principal do FTP")), 2);
    EXPECT_EQ(log.count(QStringLiteral("Tentando conectar no endereço alternativo do FTP")), 0);
    EXPECT_EQ(w->PageControl1->currentWidget(), w->TabSheet1);
}

// Downloads that break: the earlier local file survives, no partial file is left,
// no success box, and the window is ready again.
TEST_F(Falhas, BrokenDownloads)
{
    for (const char* cenario : {"data-drop", "data-reset", "short-226", "data-stall"}) {
        SCOPED_TRACE(cenario);
        ScriptedFtp servidor(QString::fromLatin1(cenario), {{kArquivoRemoto, kTamanho}});
        auto w = janela(servidor.port());
        w->btnViewFiles->click();
        ASSERT_EQ(w->ListView1->topLevelItemCount(), 1);
        w->ListView1->topLevelItem(0)->setSelected(true);
        const QString destino = local.filePath(QStringLiteral("dados.bin"));
        testsupport::writeFile(destino, "a cópia de ontem");
        dialogos->arquivosSalvar = {destino};
        dialogos->respostas = {mb::IdYes};
        dialogos->caixas.clear();
        w->btnDownloadSelected->click();
        EXPECT_EQ(readFile(destino), QByteArray("a cópia de ontem"));
        EXPECT_EQ(QDir(local.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("dados.bin")});
        semCaixaDeSucesso(*dialogos);
        EXPECT_FALSE(linhasDoLog(*w).last().isEmpty());
        prontaDeNovo(*w);
        EXPECT_EQ(w->lbVerbose->text(), QStringLiteral("Concluído"));
    }
}

// Uploads whose data connection cannot be had or breaks, or that the server keeps
// only in part: reported, the source untouched.
TEST_F(Falhas, BrokenUploads)
{
    const QByteArray conteudo = ScriptedFtp::patternBytes(kTamanho);
    for (const char* cenario : {"pasv-malformed", "epsv-malformed", "data-port-refused", "store-drop", "store-truncates", "pasv-foreign"}) {
        SCOPED_TRACE(cenario);
        ScriptedFtp servidor(QString::fromLatin1(cenario));
        auto w = janela(servidor.port());
        const QString origem = local.filePath(QStringLiteral("envio.bin"));
        testsupport::writeFile(origem, conteudo);
        dialogos->arquivosAbrir = {origem};
        dialogos->caixas.clear();
        w->btnUpload->click();
        EXPECT_EQ(readFile(origem), conteudo);
        prontaDeNovo(*w);
        if (QByteArray(cenario) == "pasv-foreign") {
            // The address in the reply is ignored: the data goes to the server we talk to.
            EXPECT_TRUE(servidor.notes().contains(QStringLiteral("data connection from 127.0.0.1")));
            continue;
        }
        semCaixaDeSucesso(*dialogos);
        EXPECT_FALSE(linhasDoLog(*w).last().isEmpty()) << linhasDoLog(*w).join('\n').toStdString();
    }
}

TEST_F(Falhas, HostileAndHugeListings)
{
    {
        ScriptedFtp servidor(QStringLiteral("list-weird"));
        auto w = janela(servidor.port());
        w->btnViewFiles->click();
        QStringList nomes;
        for (int i = 0; i < w->ListView1->topLevelItemCount(); ++i)
            nomes << w->ListView1->topLevelItem(i)->text(0);
        EXPECT_TRUE(nomes.contains(QStringLiteral("nome com espaços.txt")));
        EXPECT_TRUE(nomes.contains(QStringLiteral("../../etc/passwd"))) << "shown as it is";
        EXPECT_TRUE(nomes.contains(QStringLiteral("a/b.txt")));
        EXPECT_TRUE(nomes.contains(QStringLiteral("ok.txt")));
        EXPECT_FALSE(nomes.contains(QStringLiteral("garbage that is no fact list")));

        // A remote name is only a suggestion for the save dialog; cancelling writes nothing.
        for (int i = 0; i < w->ListView1->topLevelItemCount(); ++i)
            w->ListView1->topLevelItem(i)->setSelected(w->ListView1->topLevelItem(i)->text(0) == QStringLiteral("../../etc/passwd"));
        dialogos->arquivosSalvar = {QString()};
        w->btnDownloadSelected->click();
        EXPECT_EQ(dialogos->dialogosSalvar.back().argumento, QStringLiteral("../../etc/passwd"));
        EXPECT_TRUE(servidor.commands().filter(QStringLiteral("RETR")).isEmpty());
    }
    {
        ScriptedFtp servidor(QStringLiteral("huge-listing"));
        auto w = janela(servidor.port());
        w->btnViewFiles->click();
        EXPECT_EQ(w->ListView1->topLevelItemCount(), 100000);
        prontaDeNovo(*w);
    }
}

// The local side: a source that is gone or no file, a target that cannot be
// written, a disk that fills up.
TEST_F(Falhas, LocalSide)
{
    ScriptedFtp servidor(QStringLiteral("normal"), {{kArquivoRemoto, kTamanho}});
    auto w = janela(servidor.port());
    w->btnViewFiles->click();
    ASSERT_EQ(w->ListView1->topLevelItemCount(), 1);

    for (const QString& origem : {local.filePath(QStringLiteral("sumiu.bin")), local.path()}) {
        dialogos->arquivosAbrir = {origem};
        w->btnUpload->click();
        EXPECT_TRUE(servidor.commands().filter(QStringLiteral("STOR")).isEmpty());
        EXPECT_FALSE(linhasDoLog(*w).last().isEmpty());
        prontaDeNovo(*w);
    }

    // A folder that cannot exist: its parent is a file.
    testsupport::writeFile(local.filePath(QStringLiteral("arquivo")), "x");
    w->ListView1->topLevelItem(0)->setSelected(true);
    dialogos->arquivosSalvar = {local.filePath(QStringLiteral("arquivo/sub/dados.bin"))};
    w->btnDownloadSelected->click();
    EXPECT_FALSE(linhasDoLog(*w).last().isEmpty());
    semCaixaDeSucesso(*dialogos);
    prontaDeNovo(*w);

    // A full disk: a 1 MiB file system for a 3 MiB file.
    QTemporaryDir pequeno;
    const int montou = QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                                                   QStringLiteral("size=1m"), QStringLiteral("tmpfs"), pequeno.path()});
    if (montou != 0) {
        std::printf("disk-full case skipped: cannot mount a small tmpfs here\n");
        return;
    }
    const QString destino = pequeno.filePath(QStringLiteral("dados.bin"));
    testsupport::writeFile(destino, "anterior");
    dialogos->arquivosSalvar = {destino};
    dialogos->respostas = {mb::IdYes};
    w->btnDownloadSelected->click();
    EXPECT_EQ(readFile(destino), QByteArray("anterior"));
    EXPECT_EQ(QDir(pequeno.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("dados.bin")});
    EXPECT_FALSE(linhasDoLog(*w).last().isEmpty());
    semCaixaDeSucesso(*dialogos);
    prontaDeNovo(*w);
    QProcess::execute(QStringLiteral("umount"), {pequeno.path()});
}

} // namespace
