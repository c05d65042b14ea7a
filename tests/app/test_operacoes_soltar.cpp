// Files dropped on the window, through Qt's drag-and-drop of local files.
#include "AmbienteJanela.h"

#include <QApplication>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeView>
#include <QUrl>

namespace {

using testsupport::readFile;

void soltar(TfPrincipal& w, const QStringList& paths)
{
    QMimeData dados;
    QList<QUrl> urls;
    for (const QString& p : paths)
        urls << QUrl::fromLocalFile(p);
    dados.setUrls(urls);
    QDragEnterEvent entrada(QPoint(10, 10), Qt::CopyAction, &dados, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &entrada);
    EXPECT_TRUE(entrada.isAccepted());
    QDropEvent soltura(QPointF(10, 10), Qt::CopyAction, &dados, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &soltura);
    // The drop is handled once the platform's drop has returned: by a call the window
    // posted to itself, delivered here.
    QCoreApplication::sendPostedEvents(&w, QEvent::MetaCall);
    testsupport::waitUntil([&] { return !w.operacaoEmAndamento(); }, std::chrono::seconds(30));
}

class Soltar : public ::testing::Test {
protected:
    QTemporaryDir raiz;
    QTemporaryDir local;
    std::shared_ptr<DialogosRoteirizados> dialogos = std::make_shared<DialogosRoteirizados>();

    QString arquivo(const QString& nome, const QByteArray& conteudo)
    {
        criarArquivo(local.path(), nome, conteudo);
        return local.path() + QLatin1Char('/') + nome;
    }
};

TEST_F(Soltar, OneFileIsListedThenSent)
{
    testsupport::PyFtpd ftp(raiz.path());
    apontarFtp(ftp.port());
    auto w = novaJanela(instalacaoKorv(), dialogos);
    w->show();
    const QString origem = arquivo(QStringLiteral("ata.pdf"), "ata da reunião");
    soltar(*w, {origem});
    EXPECT_EQ(readFile(raiz.path() + kPastaCliente + QStringLiteral("/ata.pdf")), QByteArray("ata da reunião"));
    EXPECT_EQ(w->ui->PageControl1->currentWidget(), w->ui->TabSheet1);
    EXPECT_EQ(linhasNaLista(*w), 1);
    EXPECT_TRUE(dialogos->caixas.empty()) << "no success box for a drop";
}

TEST_F(Soltar, InCorruptedBaseModeTheUniqueNameIsShown)
{
    testsupport::PyFtpd ftp(raiz.path());
    apontarFtp(ftp.port());
    auto w = novaJanela(instalacaoVazia(), dialogos);
    w->show();
    soltar(*w, {arquivo(QStringLiteral("b.fbk"), "base")});
    const QString nome = w->ui->edtUploadUniqueName->text();
    ASSERT_TRUE(nome.endsWith(QStringLiteral("_b.fbk"))) << nome.toStdString();
    EXPECT_EQ(readFile(raiz.path() + kPastaCorrompida + QLatin1Char('/') + nome), QByteArray("base"));
    EXPECT_EQ(w->ui->PageControl1->currentWidget(), w->ui->TabSheet3);
    EXPECT_EQ(w->ui->edtNomeArquivo->text(), nome);
}

// A listing that fails when a file is dropped is said in the log, as "Visualizar
// Arquivos" says it, and the file goes all the same; the list shows the folder once
// the file is there.
TEST_F(Soltar, ADropWhoseListingIsRefusedStillSends)
{
    testsupport::ScriptedFtp ftp(QStringLiteral("normal"),
                                 testsupport::ScriptedFtp::Options{
                                     .faults = {testsupport::ScriptedFtp::Fault::reply(QStringLiteral("MLSD#1"), QStringLiteral("550 Permission denied."))}});
    apontarFtp(ftp.port());
    auto w = novaJanela(instalacaoKorv(), dialogos);
    w->show();
    soltar(*w, {arquivo(QStringLiteral("ata.pdf"), "ata da reunião")});
    EXPECT_EQ(ftp.files().value(kPastaCliente + QStringLiteral("/ata.pdf")), testsupport::ScriptedFtp::storedOf("ata da reunião"))
        << ftp.commands().join(' ').toStdString();
    EXPECT_TRUE(linhasDoLog(*w).contains(QStringLiteral("Permission denied."))) << linhasDoLog(*w).join('\n').toStdString();
    EXPECT_EQ(w->ui->lbVerbose->text(), QStringLiteral("Concluído"));
    EXPECT_TRUE(dialogos->caixas.empty()) << dialogos->caixas.front().texto.toStdString();
    EXPECT_EQ(nomesDaLista(*w), QStringList{QStringLiteral("ata.pdf")});
}

// What must be refused before anything reaches the server.
TEST_F(Soltar, RefusedDrops)
{
    struct Caso {
        const char* nome;
        QStringList paths;
        const char* texto; // start of the box's text
        int flags;
    };
    const QString a = arquivo(QStringLiteral("a.txt"), "a");
    const QString b = arquivo(QStringLiteral("b.txt"), "b");
    const QString pasta = local.path() + QStringLiteral("/pasta");
    QDir().mkpath(pasta);
    const QString semLeitura = arquivo(QStringLiteral("trancado.txt"), "t");
    QFile::setPermissions(semLeitura, QFileDevice::Permissions());
    const bool root = QFile(semLeitura).open(QIODevice::ReadOnly); // root reads anything
    std::vector<Caso> casos = {
        {"two files", {a, b}, "Apenas Um Arquivo Pode ser Enviado", 16},
        {"a folder", {pasta}, "Apenas arquivos podem ser enviados", 48},
    };
    if (!root)
        casos.push_back({"an unreadable file", {semLeitura}, "Não foi possível ler o arquivo", 16});
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        testsupport::ScriptedFtp ftp(QStringLiteral("normal"));
        apontarFtp(ftp.port());
        auto w = novaJanela(instalacaoVazia(), dialogos);
        w->show();
        dialogos->caixas.clear();
        soltar(*w, c.paths);
        ASSERT_EQ(dialogos->caixas.size(), 1u);
        EXPECT_TRUE(dialogos->caixas[0].texto.startsWith(QString::fromUtf8(c.texto))) << dialogos->caixas[0].texto.toStdString();
        EXPECT_EQ(dialogos->caixas[0].flags, c.flags);
        EXPECT_TRUE(ftp.commands().isEmpty()) << "no connection was made";
    }
}

TEST_F(Soltar, ALongPathIsUsedWhole)
{
    testsupport::PyFtpd ftp(raiz.path());
    apontarFtp(ftp.port());
    QString relativo;
    while (relativo.size() < 300)
        relativo += QStringLiteral("uma-pasta-com-nome-comprido-de-verdade/");
    relativo += QStringLiteral("arquivo final.txt");
    const QString origem = arquivo(relativo, "longe");
    ASSERT_GT(origem.size(), 255);
    auto w = novaJanela(instalacaoKorv(), dialogos);
    w->show();
    soltar(*w, {origem});
    EXPECT_EQ(readFile(raiz.path() + kPastaCliente + QStringLiteral("/arquivo final.txt")), QByteArray("longe"));
}

} // namespace
