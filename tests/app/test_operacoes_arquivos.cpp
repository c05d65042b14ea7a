// Listing, upload, download and delete through the window, against a real FTP
// server and, in normal mode, the real client database.
#include "AmbienteJanela.h"
#include "QuandoSegurar.h"
#include "Formatos.h"
#include "FtpText.h"
#include "NomeBaseCorrompida.h"
#include "uTFtpQuintaraUtil.h"

#include <QCryptographicHash>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <fcntl.h>
#include <unistd.h>

namespace {

using testsupport::readFile;

// Watches the busy state while a transfer runs: every progress step is seen with
// the action buttons disabled.
struct Observador {
    int passos = 0;
    int passosComBotoesLivres = 0;
    explicit Observador(TfPrincipal& w)
    {
        QObject::connect(w.ui->pgbr, &QProgressBar::valueChanged, w.ui->pgbr, [this, &w](int v) {
            if (v <= 0)
                return;
            ++passos;
            if (w.ui->btnUpload->isEnabled() || w.ui->btnViewFiles->isEnabled() || w.ui->ListView1->isEnabled())
                ++passosComBotoesLivres;
        });
    }
};

void esperaProntaParaUsar(TfPrincipal& w)
{
    EXPECT_TRUE(w.ui->btnUpload->isEnabled());
    EXPECT_TRUE(w.ui->btnViewFiles->isEnabled());
    EXPECT_TRUE(w.ui->btnRefresh->isEnabled());
    EXPECT_TRUE(w.ui->ListView1->isEnabled());
    EXPECT_FALSE(w.operacaoEmAndamento());
}

class Arquivos : public ::testing::Test {
protected:
    QTemporaryDir raiz;  // the FTP server's root
    QTemporaryDir local; // the user's side
    std::shared_ptr<DialogosRoteirizados> dialogos = std::make_shared<DialogosRoteirizados>();
    std::unique_ptr<testsupport::PyFtpd> servidor;

    void SetUp() override
    {
        servidor = std::make_unique<testsupport::PyFtpd>(raiz.path());
        apontarFtp(servidor->port());
    }
    std::unique_ptr<TfPrincipal> normal()
    {
        auto w = novaJanela(instalacaoKorv(), dialogos);
        w->show();
        return w;
    }
    std::unique_ptr<TfPrincipal> corrompida()
    {
        auto w = novaJanela(instalacaoVazia(), dialogos);
        w->show();
        return w;
    }
    QString remoto(const QString& nome, const QString& pasta = kPastaCliente) const { return raiz.path() + pasta + QLatin1Char('/') + nome; }
    QString arquivoLocal(const QString& nome, const QByteArray& conteudo)
    {
        const QString p = local.filePath(nome);
        testsupport::writeFile(p, conteudo);
        return p;
    }
    QStringList caixas(int desde = 0) const
    {
        QStringList out;
        for (size_t i = static_cast<size_t>(desde); i < dialogos->caixas.size(); ++i)
            out << dialogos->caixas[i].texto;
        return out;
    }
};

TEST_F(Arquivos, FirstViewListsTheClientFolderInOrder)
{
    criarArquivo(raiz.path(), kPastaCliente.mid(1) + QStringLiteral("/backup.fbk"), QByteArray(1536, 'b'));
    criarArquivo(raiz.path(), kPastaCliente.mid(1) + QStringLiteral("/sub/x.txt"), "x");
    auto w = normal();
    clicarEEsperar(*w, w->ui->btnViewFiles);

    const QStringList log = linhasDoLog(*w);
    const int conectando = static_cast<int>(log.indexOf(QStringLiteral("Tentando conectar no endereço principal do FTP")));
    const int criando = static_cast<int>(log.indexOf(QStringLiteral("Criando Pasta do Cliente")));
    ASSERT_GE(conectando, 0);
    ASSERT_GT(criando, conectando) << "connection, then resolution and walk";
    EXPECT_EQ(w->directory(), kPastaCliente);
    EXPECT_FALSE(w->baseCorrompida());
    EXPECT_EQ(w->ui->PageControl1->currentWidget(), w->ui->TabSheet1);
    QStringList nomes = nomesDaLista(*w);
    nomes.sort();
    EXPECT_EQ(nomes, (QStringList{QStringLiteral("backup.fbk"), QStringLiteral("sub")}));
    const int backup = linhaDe(*w, QStringLiteral("backup.fbk"));
    ASSERT_GE(backup, 0);
    EXPECT_EQ(celula(*w, backup, 1), QStringLiteral("1,500 KiB"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d$")).match(celula(*w, backup, 2)).hasMatch())
        << celula(*w, backup, 2).toStdString();
    // A listing on an open connection never touches the busy display.
    EXPECT_FALSE(w->ui->pnlAguarde->isVisible());
}

TEST_F(Arquivos, CorruptedBaseViewShowsTheDownloadPageWithoutListing)
{
    auto w = corrompida();
    clicarEEsperar(*w, w->ui->btnViewFiles);
    EXPECT_TRUE(w->baseCorrompida());
    EXPECT_EQ(w->directory(), kPastaCorrompida);
    EXPECT_EQ(w->ui->pnlCliente->text(), QStringLiteral("Base Corrompida"));
    EXPECT_EQ(w->ui->PageControl1->currentWidget(), w->ui->TabSheet2);
    EXPECT_TRUE(linhasDoLog(*w).contains(QStringLiteral("Argument out of range")));
    EXPECT_FALSE(QFileInfo::exists(raiz.path() + kPastaCorrompida)) << "the shared folder is not entered";
    EXPECT_EQ(linhasNaLista(*w), 0);
}

// A file stored and checked is sent, whatever becomes of the list afterwards: a
// refresh that the server refuses leaves the panel at "Concluído", the success box,
// and the refusal in the log; the list keeps what it showed. The send's first
// listing looks for old interrupted uploads; the second is the refresh.
TEST_F(Arquivos, ASendWhoseRefreshFailsIsStillASuccess)
{
    testsupport::ScriptedFtp ftp(QStringLiteral("normal"),
                                 testsupport::ScriptedFtp::Options{
                                     .faults = {testsupport::ScriptedFtp::Fault::reply(QStringLiteral("MLSD#2"), QStringLiteral("450 Listing unavailable."))}});
    apontarFtp(ftp.port());
    auto w = normal();
    dialogos->arquivosAbrir = {arquivoLocal(QStringLiteral("dados.bin"), QByteArray(70000, 'd'))};
    clicarEEsperar(*w, w->ui->btnUpload);
    EXPECT_EQ(ftp.files().value(kPastaCliente + QStringLiteral("/dados.bin")), testsupport::ScriptedFtp::storedOf(QByteArray(70000, 'd')))
        << ftp.commands().join(' ').toStdString();
    EXPECT_EQ(w->ui->lbVerbose->text(), QStringLiteral("Concluído"));
    EXPECT_EQ(caixas(), QStringList{QStringLiteral("Arquivo Enviado com Sucesso")});
    EXPECT_TRUE(linhasDoLog(*w).contains(QStringLiteral("Listing unavailable."))) << linhasDoLog(*w).join('\n').toStdString();
    EXPECT_TRUE(linhasDoLog(*w).filter(QStringLiteral("Falha")).isEmpty()) << linhasDoLog(*w).join('\n').toStdString();
    esperaProntaParaUsar(*w);
}

TEST_F(Arquivos, UploadAsksBeforeReplacing)
{
    auto w = normal();
    const QString origem = arquivoLocal(QStringLiteral("dados.bin"), QByteArray("primeira versão"));
    dialogos->arquivosAbrir = {origem};
    Observador obs(*w);
    clicarEEsperar(*w, w->ui->btnUpload);
    EXPECT_EQ(readFile(remoto(QStringLiteral("dados.bin"))), QByteArray("primeira versão"));
    ASSERT_EQ(dialogos->caixas.size(), 1u) << "no question for a new file";
    EXPECT_EQ(dialogos->caixas[0].texto, QStringLiteral("Arquivo Enviado com Sucesso"));
    EXPECT_EQ(dialogos->caixas[0].titulo, kTituloAplicacao);
    EXPECT_EQ(dialogos->caixas[0].flags, 64);
    EXPECT_EQ(dialogos->dialogosAbrir.at(0).titulo, QStringLiteral("Selecione o Arquivo"));
    EXPECT_TRUE(nomesDaLista(*w).contains(QStringLiteral("dados.bin"))) << "the list is refreshed";
    EXPECT_EQ(obs.passosComBotoesLivres, 0);
    EXPECT_EQ(w->ui->lbVerbose->text(), QStringLiteral("Concluído"));
    EXPECT_EQ(w->ui->pgbr->value(), w->ui->pgbr->maximum());
    esperaProntaParaUsar(*w);

    // Declined: nothing is sent, no success box.
    testsupport::writeFile(origem, "segunda versão");
    dialogos->arquivosAbrir = {origem};
    dialogos->respostas = {mb::IdNo};
    clicarEEsperar(*w, w->ui->btnUpload);
    ASSERT_EQ(dialogos->caixas.size(), 2u);
    EXPECT_EQ(dialogos->caixas[1].texto, QStringLiteral("O Arquivo Já Existe no FTP. Deseja Substituir?"));
    EXPECT_EQ(dialogos->caixas[1].titulo, QStringLiteral("Substituir"));
    EXPECT_EQ(dialogos->caixas[1].flags, 36);
    EXPECT_EQ(readFile(remoto(QStringLiteral("dados.bin"))), QByteArray("primeira versão"));

    // Accepted: replaced.
    dialogos->arquivosAbrir = {origem};
    dialogos->respostas = {mb::IdYes};
    clicarEEsperar(*w, w->ui->btnUpload);
    EXPECT_EQ(caixas(2), (QStringList{QStringLiteral("O Arquivo Já Existe no FTP. Deseja Substituir?"), QStringLiteral("Arquivo Enviado com Sucesso")}));
    EXPECT_EQ(readFile(remoto(QStringLiteral("dados.bin"))), QByteArray("segunda versão"));

    // An empty remote file also counts as existing.
    criarArquivo(raiz.path(), kPastaCliente.mid(1) + QStringLiteral("/vazio.txt"), QByteArray());
    dialogos->arquivosAbrir = {arquivoLocal(QStringLiteral("vazio.txt"), "conteúdo")};
    dialogos->respostas = {mb::IdNo};
    clicarEEsperar(*w, w->ui->btnUpload);
    EXPECT_EQ(dialogos->caixas.back().texto, QStringLiteral("O Arquivo Já Existe no FTP. Deseja Substituir?"));

    // Cancelling the dialog does nothing at all.
    const size_t antes = dialogos->caixas.size();
    clicarEEsperar(*w, w->ui->btnUpload);
    EXPECT_EQ(dialogos->caixas.size(), antes);
}

TEST_F(Arquivos, CorruptedBaseUploadUsesAUniqueName)
{
    qputenv("USERDOMAIN", "PREFEITURA");
    qputenv("USERNAME", "usuario");
    auto w = corrompida();
    const QByteArray conteudo(100000, 'z');
    dialogos->arquivosAbrir = {arquivoLocal(QStringLiteral("backup.fbk"), conteudo)};
    clicarEEsperar(*w, w->ui->btnUpload);
    qunsetenv("USERDOMAIN");
    qunsetenv("USERNAME");

    const QString nome = w->ui->edtUploadUniqueName->text();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^PREFEITURA_usuario-\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d_backup\\.fbk$")).match(nome).hasMatch())
        << nome.toStdString();
    EXPECT_EQ(readFile(remoto(nome, kPastaCorrompida)), conteudo);
    EXPECT_EQ(w->ui->edtNomeArquivo->text(), nome);
    EXPECT_EQ(w->ui->PageControl1->currentWidget(), w->ui->TabSheet3);
    EXPECT_TRUE(linhasDoLog(*w).contains(nome));
    EXPECT_EQ(caixas(), QStringList{QStringLiteral("Arquivo Enviado com Sucesso")});
}

TEST_F(Arquivos, UniqueNameWithoutTheWindowsVariables)
{
    qunsetenv("USERDOMAIN");
    qunsetenv("USERNAME");
    const QString nome = NomeUnicoBaseCorrompida(QStringLiteral("/tmp/pasta/b.fbk"), QDateTime(QDate(2017, 12, 5), QTime(14, 3, 9)));
    EXPECT_TRUE(nome.startsWith(QLatin1Char('_')));
    EXPECT_TRUE(nome.endsWith(QStringLiteral("-2017-12-05_14-03-09_b.fbk"))) << nome.toStdString();
    EXPECT_GT(nome.size(), QStringLiteral("_-2017-12-05_14-03-09_b.fbk").size()) << "the login name stands in for USERNAME";
}

TEST_F(Arquivos, DownloadTheSelectedRowOrATypedName)
{
    const QByteArray conteudo = testsupport::ScriptedFtp::patternBytes(300000);
    criarArquivo(raiz.path(), kPastaCliente.mid(1) + QStringLiteral("/relatorio.pdf"), conteudo);
    criarArquivo(raiz.path(), kPastaCliente.mid(1) + QStringLiteral("/outro.txt"), "o");
    auto w = normal();
    clicarEEsperar(*w, w->ui->btnViewFiles);
    ASSERT_EQ(linhasNaLista(*w), 2);
    selecionarLinha(*w, linhaDe(*w, QStringLiteral("relatorio.pdf")));
    const QString destino = local.filePath(QStringLiteral("baixado.pdf"));
    dialogos->arquivosSalvar = {destino};
    Observador obs(*w);
    clicarEEsperar(*w, w->ui->btnDownloadSelected);
    EXPECT_EQ(dialogos->dialogosSalvar.at(0).titulo, QStringLiteral("Salvar Arquivo"));
    EXPECT_EQ(dialogos->dialogosSalvar.at(0).argumento, QStringLiteral("relatorio.pdf"));
    EXPECT_EQ(readFile(destino), conteudo);
    EXPECT_EQ(caixas(), QStringList{QStringLiteral("Arquivo Baixado com Sucesso")});
    EXPECT_EQ(dialogos->caixas.back().flags, 64);
    EXPECT_EQ(obs.passosComBotoesLivres, 0);
    EXPECT_EQ(w->ui->pgbr->maximum(), conteudo.size());
    esperaProntaParaUsar(*w);
    EXPECT_TRUE(w->ui->btnDownloadSelected->isEnabled()) << "the row is still selected";

    // Replacing a local file: No keeps it and the window is ready again; Yes replaces it.
    testsupport::writeFile(destino, "antigo");
    dialogos->arquivosSalvar = {destino};
    dialogos->respostas = {mb::IdNo};
    clicarEEsperar(*w, w->ui->btnDownloadSelected);
    EXPECT_EQ(dialogos->caixas.back().texto, QStringLiteral("Deseja Substituir o Arquivo ") + destino + QStringLiteral(" ?"));
    EXPECT_EQ(dialogos->caixas.back().titulo, QStringLiteral("Substituir Arquivo Local"));
    EXPECT_EQ(readFile(destino), QByteArray("antigo"));
    esperaProntaParaUsar(*w);
    dialogos->arquivosSalvar = {destino};
    dialogos->respostas = {mb::IdYes};
    clicarEEsperar(*w, w->ui->btnDownloadSelected);
    EXPECT_EQ(readFile(destino), conteudo);
    EXPECT_EQ(dialogos->caixas.back().texto, QStringLiteral("Arquivo Baixado com Sucesso"));
    EXPECT_EQ(QDir(local.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("baixado.pdf")});
}

TEST_F(Arquivos, DownloadByTypedNameInCorruptedBaseMode)
{
    criarArquivo(raiz.path(), kPastaCorrompida.mid(1) + QStringLiteral("/PREF_u-2017-12-05_14-03-09_b.fbk"), "suporte");
    auto w = corrompida();
    clicarEEsperar(*w, w->ui->btnViewFiles);
    ASSERT_EQ(w->ui->PageControl1->currentWidget(), w->ui->TabSheet2);
    w->ui->edtNomeArquivo->setText(QStringLiteral("PREF_u-2017-12-05_14-03-09_b.fbk"));
    const QString destino = local.filePath(QStringLiteral("b.fbk"));
    dialogos->arquivosSalvar = {destino};
    clicarEEsperar(*w, w->ui->btnDownloadFinal);
    EXPECT_EQ(readFile(destino), QByteArray("suporte"));

    // Enter in the name downloads it as the button does.
    const QString porEnter = local.filePath(QStringLiteral("enter.fbk"));
    dialogos->arquivosSalvar = {porEnter};
    QTest::keyClick(w->ui->edtNomeArquivo, Qt::Key_Return);
    AcessoTeste::esperar(*w);
    EXPECT_EQ(readFile(porEnter), QByteArray("suporte"));

    // A name the server does not have: the error box, and the user stays on the page
    // for downloads by name. The shared folder's other files are not shown.
    w->ui->edtNomeArquivo->setText(QStringLiteral("nao-existe.fbk"));
    dialogos->arquivosSalvar = {local.filePath(QStringLiteral("n.fbk"))};
    clicarEEsperar(*w, w->ui->btnDownloadFinal);
    EXPECT_EQ(dialogos->caixas.back().texto, QStringLiteral("Arquivo Não Encontrado no FTP"));
    EXPECT_EQ(dialogos->caixas.back().titulo, QStringLiteral("Erro"));
    EXPECT_EQ(dialogos->caixas.back().flags, 16);
    EXPECT_EQ(w->ui->PageControl1->currentWidget(), w->ui->TabSheet2);
    EXPECT_EQ(linhasNaLista(*w), 0);
    EXPECT_FALSE(QFileInfo::exists(local.filePath(QStringLiteral("n.fbk"))));
    esperaProntaParaUsar(*w);

    // Blanks only: a warning, nothing else.
    w->ui->edtNomeArquivo->setText(QStringLiteral("  \t "));
    clicarEEsperar(*w, w->ui->btnDownloadFinal);
    EXPECT_EQ(dialogos->caixas.back().texto, QStringLiteral("Informe o nome completo do arquivo"));
    EXPECT_EQ(dialogos->caixas.back().flags, 48);
}

// The download-by-name field reaches the shared folder and nothing beyond it: a
// name that climbs out or starts at the root is refused before any dialog or
// command, with a warning that says what is taken; a name in a sub-folder of the
// shared folder is downloaded.
TEST_F(Arquivos, TheNameFieldTakesNamesInsideTheSharedFolderOnly)
{
    testsupport::ScriptedFtp servidor(QStringLiteral("normal"),
                                      {{QStringLiteral("gCALDORIA/Cidades/SAO_JOSE_DO_RIO_PRETO-SP/PM/KORV/segredo.fbk"), 10},
                                       {kPastaCorrompida.mid(1) + QStringLiteral("/suporte/base.fbk"), 300}});
    apontarFtp(servidor.port());
    auto w = corrompida();
    clicarEEsperar(*w, w->ui->btnViewFiles);
    ASSERT_EQ(w->ui->PageControl1->currentWidget(), w->ui->TabSheet2);
    const qsizetype comandosAntes = servidor.commands().size();
    dialogos->arquivosSalvar = {local.filePath(QStringLiteral("x.fbk"))};
    for (const QString& nome : {QStringLiteral("../SAO_JOSE_DO_RIO_PRETO-SP/PM/KORV/segredo.fbk"), QStringLiteral("../OUTRO/arquivo"),
                                QStringLiteral("suporte/../../OUTRO/arquivo"), QStringLiteral("suporte/ .. /x"),
                                QStringLiteral("..\\OUTRO\\arquivo"), QStringLiteral(".."), QStringLiteral("./base.fbk"),
                                QStringLiteral("/etc/passwd"), QStringLiteral(" /etc/passwd"), QStringLiteral("nome\x01com-controle.fbk")}) {
        SCOPED_TRACE(nome.toStdString());
        dialogos->caixas.clear();
        w->ui->edtNomeArquivo->setText(nome);
        clicarEEsperar(*w, w->ui->btnDownloadFinal);
        ASSERT_EQ(dialogos->caixas.size(), 1u);
        EXPECT_EQ(dialogos->caixas[0].texto, QStringLiteral("Informe o nome do arquivo dentro da pasta: um nome que começa com \"/\", "
                                                            "partes \".\" ou \"..\", \"\\\" e caracteres de controle não são aceitos"));
        EXPECT_EQ(dialogos->caixas[0].flags, 48);
        EXPECT_EQ(w->ui->PageControl1->currentWidget(), w->ui->TabSheet2);
        EXPECT_EQ(dialogos->arquivosSalvar.size(), 1u) << "no save dialog";
    }
    EXPECT_TRUE(QDir(local.path()).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(servidor.commands().size(), comandosAntes) << servidor.commands().join(' ').toStdString();

    // A name in a sub-folder of the shared folder stays inside it.
    dialogos->caixas.clear();
    w->ui->edtNomeArquivo->setText(QStringLiteral("suporte/base.fbk"));
    clicarEEsperar(*w, w->ui->btnDownloadFinal);
    ASSERT_EQ(dialogos->caixas.size(), 1u);
    EXPECT_EQ(dialogos->caixas[0].texto, QStringLiteral("Arquivo Baixado com Sucesso"));
    EXPECT_EQ(readFile(local.filePath(QStringLiteral("x.fbk"))), testsupport::ScriptedFtp::patternBytes(300));
    EXPECT_TRUE(servidor.commands().contains(QStringLiteral("RETR suporte/base.fbk"))) << servidor.commands().join(' ').toStdString();
}

// Every unidentified client shares the corrupted-base folder: whatever the user
// does, nothing ever lists it, so no client sees (or can delete) another's backups.
TEST_F(Arquivos, CorruptedBaseModeNeverListsTheSharedFolder)
{
    const QString deOutro = QStringLiteral("OUTRA_PREF_x-2017-12-05_14-03-09_backup.fbk");
    testsupport::ScriptedFtp servidor(QStringLiteral("normal"), {{kPastaCorrompida.mid(1) + QLatin1Char('/') + deOutro, 10}});
    apontarFtp(servidor.port());
    auto w = corrompida();
    clicarEEsperar(*w, w->ui->btnViewFiles);
    ASSERT_EQ(w->ui->PageControl1->currentWidget(), w->ui->TabSheet2);

    w->ui->edtNomeArquivo->setText(QStringLiteral("digitado-errado.fbk"));
    dialogos->arquivosSalvar = {local.filePath(QStringLiteral("x.fbk"))};
    clicarEEsperar(*w, w->ui->btnDownloadFinal);
    EXPECT_EQ(caixas(), QStringList{QStringLiteral("Arquivo Não Encontrado no FTP")});
    EXPECT_EQ(w->ui->PageControl1->currentWidget(), w->ui->TabSheet2);

    dialogos->arquivosAbrir = {arquivoLocal(QStringLiteral("minha.fbk"), "minha base")};
    clicarEEsperar(*w, w->ui->btnUpload);
    EXPECT_EQ(w->ui->PageControl1->currentWidget(), w->ui->TabSheet3);

    // Even a refresh pressed on a page left over from before the mode was known.
    clicarEEsperar(*w, w->ui->btnRefresh);
    EXPECT_NE(w->ui->PageControl1->currentWidget(), w->ui->TabSheet1);
    EXPECT_FALSE(nomesDaLista(*w).contains(deOutro));
    for (const QString& comando : servidor.commands())
        EXPECT_FALSE(comando.startsWith(QStringLiteral("MLSD")) || comando.startsWith(QStringLiteral("LIST")) ||
                     comando.startsWith(QStringLiteral("NLST")))
            << comando.toStdString();
    EXPECT_TRUE(servidor.commands().contains(QStringLiteral("SIZE digitado-errado.fbk")));
}

TEST_F(Arquivos, SelectionIsEnsuredBeforeDownloadAndDelete)
{
    auto w = normal();
    // The row buttons are only enabled with a selection; the handlers check again.
    auto clicar = [&w](QPushButton* b) {
        b->setEnabled(true);
        clicarEEsperar(*w, b);
    };
    // No row at all.
    clicarEEsperar(*w, w->ui->btnViewFiles);
    clicar(w->ui->btnDelete);
    EXPECT_EQ(caixas(), QStringList{QStringLiteral("Selecione um arquivo")});
    EXPECT_EQ(dialogos->caixas.back().titulo, QStringLiteral("Atenção"));

    // Exactly one row, none selected: that row is taken.
    criarArquivo(raiz.path(), kPastaCliente.mid(1) + QStringLiteral("/unico.txt"), "u");
    clicarEEsperar(*w, w->ui->btnRefresh);
    dialogos->respostas = {mb::IdYes};
    clicar(w->ui->btnDelete);
    EXPECT_EQ(dialogos->caixas.back().texto, QStringLiteral("Confirma a Exclusão do Arquivo Selecionado?"));
    EXPECT_EQ(dialogos->caixas.back().titulo, QStringLiteral("Excluir"));
    EXPECT_EQ(dialogos->caixas.back().flags, 36);
    EXPECT_FALSE(QFileInfo::exists(remoto(QStringLiteral("unico.txt"))));
    EXPECT_EQ(linhasNaLista(*w), 0);

    // Two rows, none selected.
    criarArquivo(raiz.path(), kPastaCliente.mid(1) + QStringLiteral("/a.txt"), "a");
    criarArquivo(raiz.path(), kPastaCliente.mid(1) + QStringLiteral("/b.txt"), "b");
    clicarEEsperar(*w, w->ui->btnRefresh);
    const size_t antes = dialogos->caixas.size();
    clicar(w->ui->btnDownloadSelected);
    EXPECT_EQ(caixas(static_cast<int>(antes)), QStringList{QStringLiteral("Selecione um arquivo")});
    EXPECT_TRUE(dialogos->dialogosSalvar.empty());
}

TEST_F(Arquivos, DeleteOnlyRemovesTheRowTheServerConfirmed)
{
    criarArquivo(raiz.path(), kPastaCliente.mid(1) + QStringLiteral("/a.txt"), "a");
    criarArquivo(raiz.path(), kPastaCliente.mid(1) + QStringLiteral("/b.txt"), "b");
    auto w = normal();
    clicarEEsperar(*w, w->ui->btnViewFiles);
    selecionarLinha(*w, linhaDe(*w, QStringLiteral("a.txt")));
    dialogos->respostas = {mb::IdNo};
    clicarEEsperar(*w, w->ui->btnDelete);
    EXPECT_TRUE(QFileInfo::exists(remoto(QStringLiteral("a.txt"))));
    EXPECT_EQ(linhasNaLista(*w), 2);

    // The server refuses: the row stays, the refusal is logged.
    servidor.reset();
    testsupport::PyFtpd somenteLeitura(raiz.path(), testsupport::kFtpUser, testsupport::kFtpPassword, {kPastaCliente.mid(1)});
    apontarFtp(somenteLeitura.port());
    auto w2 = normal();
    clicarEEsperar(*w2, w2->ui->btnViewFiles);
    selecionarLinha(*w2, linhaDe(*w2, QStringLiteral("b.txt")));
    dialogos->respostas = {mb::IdYes};
    clicarEEsperar(*w2, w2->ui->btnDelete);
    EXPECT_TRUE(QFileInfo::exists(remoto(QStringLiteral("b.txt"))));
    EXPECT_GE(linhaDe(*w2, QStringLiteral("b.txt")), 0);
    const QStringList log = linhasDoLog(*w2);
    EXPECT_TRUE(log.filter(QStringLiteral("privileges"), Qt::CaseInsensitive).size() == 1) << log.join('\n').toStdString();
    EXPECT_EQ(w2->ui->lbVerbose->text(), QStringLiteral("Falha ao excluir o arquivo: recusado pelo servidor"));
    EXPECT_GT(w2->ui->memoLog->height(), 0) << "the log opens";
}

// A deletion is logged with the file's name, and leaves no row chosen: Delete and
// Enter again ask to choose a file rather than take the next one.
TEST_F(Arquivos, ADeletionIsLoggedAndLeavesNoRowChosen)
{
    for (const char* nome : {"a.txt", "b.txt", "c.txt"})
        criarArquivo(raiz.path(), kPastaCliente.mid(1) + QLatin1Char('/') + QLatin1String(nome), "x");
    auto w = normal();
    clicarEEsperar(*w, w->ui->btnViewFiles);
    selecionarLinha(*w, linhaDe(*w, QStringLiteral("b.txt")));
    dialogos->respostas = {mb::IdYes};
    clicarEEsperar(*w, w->ui->btnDelete);
    EXPECT_FALSE(QFileInfo::exists(remoto(QStringLiteral("b.txt"))));
    EXPECT_EQ(linhasDoLog(*w).last(), QStringLiteral("Arquivo excluído: b.txt"));
    EXPECT_EQ(linhasSelecionadas(*w), 0);
    EXPECT_FALSE(w->ui->btnDelete->isEnabled());
    QStringList restantes = nomesDaLista(*w);
    restantes.sort();
    EXPECT_EQ(restantes, (QStringList{QStringLiteral("a.txt"), QStringLiteral("c.txt")}));
}

// A question, a success box or an idle window never has a busy text or "Cancelar"
// behind it, even when every wait shows at once.
TEST_F(Arquivos, NothingBusyBehindABox)
{
    criarArquivo(raiz.path(), kPastaCliente.mid(1) + QStringLiteral("/backup.fbk"), "antigo");
    TfPrincipal::Dependencias deps;
    deps.dialogos = dialogos;
    const QString pasta = instalacaoKorv();
    deps.criarSistema = [pasta] {
        return std::make_shared<TQuintaraConexaoInstalada>(pasta + QStringLiteral("/FTPCaldoria"), [] { return 2017; });
    };
    deps.atrasoDaEsperaMs = 0;
    auto w = std::make_unique<TfPrincipal>(std::move(deps));
    w->show();
    QStringList fundos;
    dialogos->fundo = [&] {
        fundos << (w->ui->pnlAguarde->isVisible() ? w->ui->lbVerbose->text() : QStringLiteral("(painel oculto)")) +
                      (w->ui->btnCancelar->isVisible() ? QStringLiteral(" + Cancelar") : QString()) +
                      // A percentage short of 100 %: a transfer under way (a finished one's bar reads "100 %").
                      (w->ui->pgbr->text().contains(QRegularExpression(QStringLiteral("(^|\\D)\\d{1,2} %"))) ? QStringLiteral(" + %") : QString());
    };
    dialogos->arquivosAbrir = {arquivoLocal(QStringLiteral("backup.fbk"), "novo")};
    dialogos->respostas = {mb::IdYes};
    clicarEEsperar(*w, w->ui->btnUpload);
    dialogos->fundo = {};
    ASSERT_EQ(caixas(), (QStringList{QStringLiteral("O Arquivo Já Existe no FTP. Deseja Substituir?"), QStringLiteral("Arquivo Enviado com Sucesso")}));
    EXPECT_EQ(fundos, (QStringList{QStringLiteral("(painel oculto)"), QStringLiteral("Concluído")}));
    EXPECT_EQ(readFile(remoto(QStringLiteral("backup.fbk"))), QByteArray("novo"));
}

// Rows that look alike, "são.txt" named by other programs in Latin-1 and in UTF-8,
// and a name that exists only in Latin-1: each row downloads and deletes its own
// file, since the window hands the session the name's bytes, not its text.
TEST_F(Arquivos, RowsThatLookAlikeActOnTheirOwnFile)
{
    struct Arquivo {
        QByteArray nome;
        QByteArray conteudo;
    };
    const Arquivo arquivos[] = {{"s\xe3o.txt", "latin-1"}, {"s\xc3\xa3o.txt", "utf-8"}, {"relat\xf3rio.txt", "so latin-1"}};
    criarArquivo(raiz.path(), kPastaCliente.mid(1) + QStringLiteral("/marca.txt"), "m");
    const QByteArray pasta = QFile::encodeName(raiz.path() + kPastaCliente) + '/';
    // Written by their bytes: a QString would turn the Latin-1 ones into UTF-8.
    for (const Arquivo& a : arquivos) {
        const int fd = ::open((pasta + a.nome).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, a.conteudo.constData(), static_cast<size_t>(a.conteudo.size())), a.conteudo.size());
        ::close(fd);
    }
    const auto existe = [&](const QByteArray& nome) { return ::access((pasta + nome).constData(), F_OK) == 0; };

    auto w = normal();
    clicarEEsperar(*w, w->ui->btnViewFiles);
    ASSERT_EQ(linhasNaLista(*w), 4);
    const QString latin1 = ftp::displayName("s\xe3o.txt");
    const QString utf8 = QStringLiteral("são.txt");
    ASSERT_NE(latin1, utf8);
    int n = 0;
    for (const auto& [mostrado, conteudo] : {std::pair{latin1, QByteArray("latin-1")}, std::pair{utf8, QByteArray("utf-8")},
                                            std::pair{ftp::displayName("relat\xf3rio.txt"), QByteArray("so latin-1")}}) {
        SCOPED_TRACE(mostrado.toStdString());
        selecionarLinha(*w, linhaDe(*w, mostrado));
        const QString destino = local.filePath(QStringLiteral("baixado-%1.txt").arg(++n));
        dialogos->arquivosSalvar = {destino};
        clicarEEsperar(*w, w->ui->btnDownloadSelected);
        ASSERT_TRUE(QFileInfo::exists(destino)) << linhasDoLog(*w).join(QLatin1Char(10)).toStdString();
        EXPECT_EQ(readFile(destino), conteudo);
        EXPECT_EQ(dialogos->caixas.back().texto, QStringLiteral("Arquivo Baixado com Sucesso"));
    }

    selecionarLinha(*w, linhaDe(*w, latin1));
    dialogos->respostas = {mb::IdYes};
    clicarEEsperar(*w, w->ui->btnDelete);
    EXPECT_FALSE(existe("s\xe3o.txt"));
    EXPECT_TRUE(existe("s\xc3\xa3o.txt"));
    EXPECT_LT(linhaDe(*w, latin1), 0);
    EXPECT_GE(linhaDe(*w, utf8), 0);
    // Names Qt cannot decode would stay behind in the temporary folders.
    for (const Arquivo& a : arquivos)
        ::unlink((pasta + a.nome).constData());
}

// While an upload runs (the server holds it after its first 64 KiB), another
// operation, by a button that stays enabled or by a drop, waits for it: the window
// says so and the upload goes on, whole.
TEST_F(Arquivos, ASecondOperationWaitsForTheFirst)
{
    const QString remoto = kPastaCliente + QStringLiteral("/grande.bin");
    testsupport::ScriptedFtp servidor(QStringLiteral("normal"),
                                      {.faults = {testsupport::ScriptedFtp::Fault::holdAt(QStringLiteral("STOR:grande.bin*#1"), 64 << 10)}});
    apontarFtp(servidor.port());
    auto w = normal();
    const QByteArray conteudo = testsupport::ScriptedFtp::patternBytes(3 << 20);
    const QString origem = arquivoLocal(QStringLiteral("grande.bin"), conteudo);
    dialogos->arquivosAbrir = {origem};
    QuandoSegurar tentativa(servidor, [&] {
        w->ui->btnDownloadFinal->click(); // still enabled while busy
        w->SoltarArquivos({origem});
        servidor.release();
    });
    clicarEEsperar(*w, w->ui->btnUpload);
    ASSERT_TRUE(tentativa.agiu());
    EXPECT_EQ(linhasDoLog(*w).count(QStringLiteral("Aguarde o término da operação em andamento.")), 2);
    EXPECT_EQ(servidor.files().value(remoto), testsupport::ScriptedFtp::storedOf(conteudo));
    EXPECT_EQ(caixas(), QStringList{QStringLiteral("Arquivo Enviado com Sucesso")});
}

// Closing the window while a download runs (the server holds it after its first
// 64 KiB, for good) asks first; "Sim" stops the download and keeps the local file.
TEST_F(Arquivos, ClosingDuringADownloadStopsItAndKeepsTheLocalFile)
{
    const QString nome = QStringLiteral("enorme.bin");
    testsupport::ScriptedFtp servidor(QStringLiteral("normal"),
                                      {.files = {{kPastaCliente.mid(1) + QLatin1Char('/') + nome, 3 << 20}},
                                       .faults = {testsupport::ScriptedFtp::Fault::holdAt(QStringLiteral("RETR#1"), 64 << 10)}});
    apontarFtp(servidor.port());
    auto w = normal();
    clicarEEsperar(*w, w->ui->btnViewFiles);
    selecionarLinha(*w, linhaDe(*w, nome));
    const QString destino = local.filePath(nome);
    testsupport::writeFile(destino, "versão anterior");
    dialogos->arquivosSalvar = {destino};
    // Replace the local file: yes. Cancel the transfer and quit: yes.
    dialogos->respostas = {mb::IdYes, mb::IdYes};
    QuandoSegurar fechar(servidor, [&] { w->close(); });
    clicarEEsperar(*w, w->ui->btnDownloadSelected);
    ASSERT_TRUE(fechar.agiu());
    EXPECT_TRUE(testsupport::waitUntil([&] { return !w->isVisible(); }, std::chrono::seconds(20)));
    EXPECT_EQ(readFile(destino), QByteArray("versão anterior"));
    EXPECT_EQ(QDir(local.path()).entryList(QDir::Files | QDir::Hidden), QStringList{nome}) << "no partial file is left";
    ASSERT_EQ(dialogos->caixas.size(), 2u);
    EXPECT_EQ(dialogos->caixas[1].texto, QStringLiteral("Há uma transferência em andamento (enorme.bin). Deseja cancelá-la e sair?"));
    EXPECT_EQ(dialogos->caixas[1].flags, mb::Question | mb::DefaultButton2);
    EXPECT_EQ(linhasDoLog(*w).last(), QStringLiteral("Transferência cancelada pelo usuário"));
}

// Files beyond 4 GiB: sizes and progress must be right end to end.
TEST_F(Arquivos, FilesLargerThan4GiB)
{
    const qint64 tamanho = (4LL << 30) + 12345;
    const QStorageInfo disco(QDir::tempPath());
    if (disco.bytesAvailable() < (12LL << 30)) {
        std::printf("skipped: %lld bytes free, 12 GiB needed\n", static_cast<long long>(disco.bytesAvailable()));
        GTEST_SKIP() << "less than 12 GiB free on the disk";
    }
    servidor.reset();
    testsupport::Vsftpd vs(raiz.path());
    apontarFtp(vs.port());
    const QString origem = local.filePath(QStringLiteral("grande.fbk"));
    {
        QFile f(origem);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("inicio");
        ASSERT_TRUE(f.resize(tamanho - 3)); // sparse middle
        ASSERT_TRUE(f.seek(tamanho - 3));
        f.write("fim");
    }
    auto hash = [](const QString& p) {
        QFile f(p);
        f.open(QIODevice::ReadOnly);
        QCryptographicHash h(QCryptographicHash::Sha1);
        h.addData(&f);
        return h.result();
    };
    auto w = normal();
    dialogos->arquivosAbrir = {origem};
    clicarEEsperar(*w, w->ui->btnUpload);
    ASSERT_EQ(QFileInfo(remoto(QStringLiteral("grande.fbk"))).size(), tamanho) << linhasDoLog(*w).join('\n').toStdString();
    EXPECT_EQ(w->ui->pgbr->value(), w->ui->pgbr->maximum());
    EXPECT_GT(w->ui->pgbr->maximum(), 1 << 20);
    const int l = linhaDe(*w, QStringLiteral("grande.fbk"));
    ASSERT_GE(l, 0);
    EXPECT_EQ(celula(*w, l, 1), QLocale().toString(tamanho / 1024.0, 'f', 3) + QStringLiteral(" KiB"));

    selecionarLinha(*w, l);
    const QString destino = local.filePath(QStringLiteral("de-volta.fbk"));
    dialogos->arquivosSalvar = {destino};
    clicarEEsperar(*w, w->ui->btnDownloadSelected);
    EXPECT_EQ(QFileInfo(destino).size(), tamanho);
    EXPECT_EQ(w->ui->pgbr->value(), w->ui->pgbr->maximum());
    EXPECT_EQ(hash(destino), hash(origem));
    QFile::remove(destino);
    QFile::remove(origem);
    QFile::remove(remoto(QStringLiteral("grande.fbk")));
}

} // namespace
