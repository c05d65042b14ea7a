// Connecting with fall-back, and the client folder on real FTP servers.
#include "AmbienteJanela.h"
#include "SqlConnection.h"
#include "TestSupport.h"
#include "uTFtpQuintaraUtil.h"

#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>

namespace {

int indiceDe(const QStringList& linhas, const QString& linha, int desde = 0)
{
    for (int i = desde; i < linhas.size(); ++i)
        if (linhas[i] == linha)
            return i;
    return -1;
}

const QString kPrincipal = QStringLiteral("Tentando conectar no endereço principal do FTP");
const QString kAlternativo = QStringLiteral("Tentando conectar no endereço alternativo do FTP");

class Conexao : public ::testing::Test {
protected:
    QTemporaryDir raiz;
    std::shared_ptr<DialogosRoteirizados> dialogos = std::make_shared<DialogosRoteirizados>();
};

TEST_F(Conexao, FallsBackToTheAlternateEndpoint)
{
    testsupport::PyFtpd bom(raiz.path());
    QTemporaryDir outraRaiz;
    // Another server that does not know our login.
    testsupport::PyFtpd recusa(outraRaiz.path(), QStringLiteral("outro"), QStringLiteral("segredo"));
    struct Caso {
        const char* nome;
        int principal;
    };
    const Caso casos[] = {{"primary refuses connections", testsupport::closedPort()}, {"primary refuses the login", recusa.port()}};
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        apontarFtp(c.principal, bom.port());
        auto w = novaJanela(instalacaoVazia(), dialogos);
        clicarEEsperar(*w, w->ui->btnViewFiles);
        const QStringList log = linhasDoLog(*w);
        const int p = indiceDe(log, kPrincipal);
        const int a = indiceDe(log, kAlternativo, p);
        ASSERT_GE(p, 0) << log.join('\n').toStdString();
        ASSERT_GT(a, p + 1) << "the primary's failure is logged between the two attempts";
        EXPECT_FALSE(log[a - 1].isEmpty());
        EXPECT_GT(log.size(), a + 1) << "the alternate's status lines follow";
        EXPECT_TRUE(w->conectada());
        // The operation went on: corrupted-base mode shows its download page.
        EXPECT_EQ(w->ui->PageControl1->currentWidget(), w->ui->TabSheet2);
    }
}

// Nobody answers: whichever button was used, the panel says the connection failed
// and why, the log opens with a sentence that says what to do, and the system's own
// words stay in the log; no box opens, not even for a transfer, whose log also says
// what became of the file. The next action starts from a clean panel.
TEST_F(Conexao, AnUnreachableServerIsSaidTheSameWayForEveryButton)
{
    const QString frase = QStringLiteral("O servidor FTP não respondeu. Verifique a internet ou tente mais tarde.");
    QTemporaryDir local;
    const QString arquivo = local.filePath(QStringLiteral("backup.fbk"));
    testsupport::writeFile(arquivo, QByteArray(1000, 'x'));
    struct Caso {
        const char* nome;
        QPushButton* Ui::fPrincipal::*botao;
        const char* painel;
        const char* destino; // what the log says became of the file; none outside a transfer
    };
    const Caso casos[] = {
        {"Visualizar Arquivos", &Ui::fPrincipal::btnViewFiles, "Falha ao conectar: o servidor não respondeu", nullptr},
        {"Atualizar", &Ui::fPrincipal::btnRefresh, "Falha ao conectar: o servidor não respondeu", nullptr},
        {"Enviar Arquivo", &Ui::fPrincipal::btnUpload, "Falha no envio: o servidor não respondeu",
         "O arquivo não foi enviado; nenhum arquivo chamado backup.fbk foi criado no servidor."},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        apontarFtp(testsupport::closedPort(), testsupport::closedPort());
        auto w = novaJanela(instalacaoKorv(), dialogos);
        w->show();
        dialogos->caixas.clear();
        dialogos->arquivosAbrir = {arquivo};
        clicarEEsperar(*w, (*w->ui).*(c.botao));
        EXPECT_TRUE(w->ui->pnlAguarde->isVisible());
        EXPECT_EQ(w->ui->lbVerbose->text(), QString::fromUtf8(c.painel));
        EXPECT_FALSE(w->ui->btnCancelar->isVisible());
        EXPECT_FALSE(w->ui->pgbr->text().contains(QLatin1Char('%'))) << w->ui->pgbr->text().toStdString();
        EXPECT_GT(w->ui->memoLog->height(), 0) << "the log opens";
        // The log indents the lines after a message's first.
        QStringList log;
        for (const QString& linha : linhasDoLog(*w))
            log << linha.trimmed();
        EXPECT_TRUE(log.contains(frase)) << log.join('\n').toStdString();
        EXPECT_TRUE(dialogos->caixas.empty()) << dialogos->caixas.front().texto.toStdString();
        if (c.destino) {
            EXPECT_TRUE(log.contains(QString::fromUtf8(c.destino))) << log.join('\n').toStdString();
        }

        // The next action starts clean: the failure does not stay behind it.
        testsupport::PyFtpd servidor(raiz.path());
        apontarFtp(servidor.port());
        clicarEEsperar(*w, w->ui->btnViewFiles);
        EXPECT_FALSE(w->ui->lbVerbose->text().startsWith(QStringLiteral("Falha")) && w->ui->pnlAguarde->isVisible())
            << w->ui->lbVerbose->text().toStdString();
        EXPECT_EQ(w->ui->PageControl1->currentWidget(), w->ui->TabSheet1);
    }
}

TEST_F(Conexao, BothEndpointsDownEndTheOperationWithOneLogLine)
{
    apontarFtp(testsupport::closedPort(), testsupport::closedPort());
    auto w = novaJanela(instalacaoVazia(), dialogos);
    clicarEEsperar(*w, w->ui->btnViewFiles);
    const QStringList log = linhasDoLog(*w);
    const int p = indiceDe(log, kPrincipal);
    const int a = indiceDe(log, kAlternativo, p);
    ASSERT_GT(a, p);
    ASSERT_GT(log.size(), a + 1);
    // The alternate's failure is logged once by the application handler, and then
    // what the clerk reads of it.
    EXPECT_EQ(log.last(), QStringLiteral("O servidor FTP não respondeu. Verifique a internet ou tente mais tarde."));
    const QString tecnica = log[log.size() - 2];
    EXPECT_EQ(log.count(tecnica), log.mid(0, a).count(tecnica) + 1);
    EXPECT_FALSE(w->conectada());
    EXPECT_EQ(w->ui->PageControl1->currentWidget(), w->ui->tsNenhum);
    EXPECT_TRUE(dialogos->caixas.empty());
    EXPECT_TRUE(w->directory().isEmpty()) << "nothing ran after the failed connection";
}

// The folder walk on each real server, from a fresh login, with the chain absent,
// partly there and all there. vsftpd refuses an existing folder without saying
// "exist": the walk must still go on.
TEST_F(Conexao, FolderWalkOnRealServers)
{
    enum class Servidor { Py, Vs };
    for (Servidor tipo : {Servidor::Py, Servidor::Vs}) {
        for (int existentes : {0, 2, 5}) {
            SCOPED_TRACE(std::string(tipo == Servidor::Py ? "pyftpdlib" : "vsftpd") + " with " + std::to_string(existentes) +
                         " levels present");
            QTemporaryDir r;
            const QStringList niveis = kPastaCliente.mid(1).split(QLatin1Char('/'));
            QDir().mkpath(r.path() + QLatin1Char('/') + niveis.mid(0, existentes).join(QLatin1Char('/')));
            std::unique_ptr<testsupport::PyFtpd> py;
            std::unique_ptr<testsupport::Vsftpd> vs;
            int porta;
            if (tipo == Servidor::Py) {
                py = std::make_unique<testsupport::PyFtpd>(r.path());
                porta = py->port();
            } else {
                vs = std::make_unique<testsupport::Vsftpd>(r.path());
                porta = vs->port();
            }
            criarArquivo(r.path(), QStringLiteral("leia-me.txt"), "x");
            if (vs)
                vs->handOver(r.path());
            apontarFtp(porta);
            auto w = novaJanela(instalacaoKorv(), dialogos);
            clicarEEsperar(*w, w->ui->btnViewFiles);
            const QStringList log = linhasDoLog(*w);
            EXPECT_EQ(w->directory(), kPastaCliente);
            EXPECT_TRUE(QFileInfo(r.path() + kPastaCliente).isDir()) << log.join('\n').toStdString();
            const int criando = indiceDe(log, QStringLiteral("Criando Pasta do Cliente"));
            EXPECT_GT(indiceDe(log, QStringLiteral("Pasta do Cliente Criada com Sucesso"), criando), criando);
            EXPECT_EQ(w->ui->PageControl1->currentWidget(), w->ui->TabSheet1);
            EXPECT_EQ(w->ui->pnlCliente->text(), QStringLiteral("  KORV: PM de São José do Rio Preto/SP"));

            // Once inside, the next listing only compares the current folder.
            const int antes = static_cast<int>(linhasDoLog(*w).size());
            clicarEEsperar(*w, w->ui->btnRefresh);
            EXPECT_EQ(linhasDoLog(*w).mid(antes).count(QStringLiteral("Criando Pasta do Cliente")), 0);
        }
    }
}

TEST_F(Conexao, RefusedFolderCreationStopsTheOperation)
{
    QDir().mkpath(raiz.path() + QStringLiteral("/gCALDORIA/Cidades"));
    testsupport::PyFtpd servidor(raiz.path(), testsupport::kFtpUser, testsupport::kFtpPassword, {QStringLiteral("gCALDORIA/Cidades")});
    apontarFtp(servidor.port());
    auto w = novaJanela(instalacaoKorv(), dialogos);
    clicarEEsperar(*w, w->ui->btnViewFiles);
    const QStringList log = linhasDoLog(*w);
    EXPECT_EQ(log.count(QStringLiteral("Pasta do Cliente Criada com Sucesso")), 0);
    EXPECT_EQ(log.filter(QStringLiteral("privileges"), Qt::CaseInsensitive).size(), 1) << log.join('\n').toStdString();
    EXPECT_EQ(w->ui->lbVerbose->text(), QStringLiteral("Falha ao listar os arquivos: recusado pelo servidor"));
    EXPECT_FALSE(QFileInfo::exists(raiz.path() + QStringLiteral("/gCALDORIA/Cidades/SAO_JOSE_DO_RIO_PRETO-SP")));
    EXPECT_NE(w->ui->PageControl1->currentWidget(), w->ui->TabSheet1);
    EXPECT_EQ(linhasNaLista(*w), 0);
}

TEST_F(Conexao, ClosingTheWindowSaysGoodbyeToTheServer)
{
    testsupport::ScriptedFtp servidor(QStringLiteral("normal"));
    apontarFtp(servidor.port());
    auto w = novaJanela(instalacaoVazia(), dialogos);
    w->show();
    clicarEEsperar(*w, w->ui->btnViewFiles);
    ASSERT_TRUE(w->conectada());
    w->close();
    EXPECT_TRUE(servidor.waitForCommands(1));
    EXPECT_TRUE(testsupport::waitUntil([&] { return servidor.commands().contains(QStringLiteral("QUIT")); }, std::chrono::seconds(5)));

    // Closed while disconnected: nothing is sent.
    testsupport::ScriptedFtp outro(QStringLiteral("normal"));
    apontarFtp(outro.port());
    auto w2 = novaJanela(instalacaoVazia(), dialogos);
    w2->show();
    w2->close();
    EXPECT_TRUE(outro.commands().isEmpty());
}

} // namespace

namespace {

// "No such file or directory" from the listing is silent on "Visualizar Arquivos"
// and reported by "Atualizar".
TEST_F(Conexao, ListingOfAMissingFolder)
{
    testsupport::ScriptedFtp servidor(QStringLiteral("list-missing"));
    apontarFtp(servidor.port());
    auto w = novaJanela(instalacaoKorv(), dialogos);
    w->show();
    clicarEEsperar(*w, w->ui->btnViewFiles);
    QStringList log = linhasDoLog(*w);
    EXPECT_FALSE(log.last().contains(QStringLiteral("No such file"), Qt::CaseInsensitive)) << log.last().toStdString();
    EXPECT_EQ(linhasNaLista(*w), 0);
    EXPECT_EQ(w->ui->PageControl1->currentWidget(), w->ui->tsNenhum) << "a failed listing leaves the page as it was";
    EXPECT_TRUE(w->ui->btnUpload->isEnabled());

    clicarEEsperar(*w, w->ui->btnRefresh);
    log = linhasDoLog(*w);
    ASSERT_GE(log.size(), 2);
    EXPECT_EQ(log[log.size() - 2], QStringLiteral("No such file or directory."));
    EXPECT_EQ(log.last(), QStringLiteral("O servidor FTP recusou a operação. Tente de novo; se continuar, fale com o suporte da Quintara."));
    EXPECT_EQ(w->ui->lbVerbose->text(), QStringLiteral("Falha ao listar os arquivos: recusado pelo servidor"));
    EXPECT_TRUE(dialogos->caixas.empty());
}

} // namespace

namespace {

// A database server that does not answer: the window keeps processing events while
// it waits, and ends in corrupted-base mode once the attach fails. The database's
// port takes the connection and never answers until the window has run its timers a
// good many times while the connection waited there; then the port closes it, and
// only that ends the wait.
TEST_F(Conexao, WaitingForTheDatabaseKeepsTheWindowAlive)
{
    testsupport::SilentListener banco;
    QTemporaryDir instalacao;
    testsupport::writeFile(instalacao.filePath(QStringLiteral("korv.ini")),
                           QStringLiteral("[KORV]\nServidor=127.0.0.1/%1\nCaminho_Base_Dados=/dados/\n").arg(banco.port()).toUtf8());
    TSQLConnection::SetDefaultConnectTimeout(120);
    testsupport::ScriptedFtp servidor(QStringLiteral("normal"));
    apontarFtp(servidor.port());
    auto w = novaJanela(instalacao.path(), dialogos);
    w->show();
    constexpr int kBatidas = 20;
    int batidasNaEspera = 0;
    int esperando = 0;
    QTimer relogio;
    QObject::connect(&relogio, &QTimer::timeout, [&] {
        if (w->operacaoEmAndamento() && banco.hasWaiting() && ++batidasNaEspera == kBatidas)
            esperando = banco.close();
    });
    relogio.start(10);
    clicarEEsperar(*w, w->ui->btnViewFiles);
    TSQLConnection::SetDefaultConnectTimeout(12);
    EXPECT_EQ(batidasNaEspera, kBatidas) << "the GUI thread kept running its timers while it waited";
    EXPECT_EQ(esperando, 1) << "the attach waited on the database's port";
    EXPECT_TRUE(w->baseCorrompida());
    EXPECT_EQ(w->ui->PageControl1->currentWidget(), w->ui->TabSheet2);
}

} // namespace

namespace {

// A certificate that cannot be verified: the window asks once, showing its
// fingerprint, with "Não" as the default; the lock in the client panel shows an
// encrypted connection, and only then.
TEST_F(Conexao, CertificadoNaoVerificadoECadeado)
{
    static QTemporaryDir configuracao;
    static QTemporaryDir certificados;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, configuracao.path());
    testsupport::TestCa ca(certificados.path());
    ca.trustOnly();
    testsupport::TestCa::Options proprio;
    proprio.selfSigned = true;
    const testsupport::ServerCertificate certificado = ca.issue(QStringLiteral("janela"), proprio);
    testsupport::PyFtpd seguro(raiz.path(), testsupport::kFtpUser, testsupport::kFtpPassword, {},
                               testsupport::FtpTls{certificado});
    qputenv("FTPCALDORIA_FTP_TLS", "se disponível");
    apontarFtp(seguro.port());

    const QStringList pares = certificado.fingerprint.split(QLatin1Char(':'));
    const QString pergunta =
        QStringLiteral("O certificado do servidor FTP 127.0.0.1 não pôde ser verificado: o certificado é autoassinado.\n\n"
                       "Impressão digital SHA-256 do certificado:\n%1\n%2\n\n"
                       "Confie neste certificado somente se a impressão digital for a que o suporte da Quintara informou. "
                       "Conectar assim mesmo?")
            .arg(pares.mid(0, 16).join(QLatin1Char(':')), pares.mid(16).join(QLatin1Char(':')));
    dialogos->respostas = {mb::IdYes};
    auto w = novaJanela(instalacaoVazia(), dialogos);
    w->show();
    EXPECT_FALSE(w->ui->lblConexaoSegura->isVisible());
    clicarEEsperar(*w, w->ui->btnViewFiles);
    ASSERT_EQ(dialogos->caixas.size(), 1u);
    EXPECT_EQ(dialogos->caixas[0].texto, pergunta);
    EXPECT_EQ(dialogos->caixas[0].titulo, QStringLiteral("Certificado do servidor"));
    EXPECT_EQ(dialogos->caixas[0].flags, mb::YesNo | mb::IconWarning | mb::DefaultButton2);
    EXPECT_NE(w->seguranca(), ConnectionSecurity::Plain);
    EXPECT_TRUE(w->ui->lblConexaoSegura->isVisible());
    EXPECT_EQ(w->ui->lblConexaoSegura->toolTip(), QStringLiteral("Conexão segura (TLS)"));
    EXPECT_TRUE(linhasDoLog(*w).contains(QStringLiteral("Conexão segura (TLS 1.3, TLS_AES_256_GCM_SHA384)")));
    EXPECT_EQ(w->ui->PageControl1->currentWidget(), w->ui->TabSheet2);

    // "Não": asked once, though the alternate endpoint shows the same certificate,
    // and the panel says why nothing was listed.
    {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QTemporaryDir().path());
        auto recusa = novaJanela(instalacaoVazia(), dialogos);
        recusa->show();
        dialogos->caixas.clear();
        dialogos->respostas = {mb::IdNo};
        clicarEEsperar(*recusa, recusa->ui->btnViewFiles);
        EXPECT_EQ(dialogos->caixas.size(), 1u);
        EXPECT_EQ(recusa->ui->lbVerbose->text(), QStringLiteral("Falha ao conectar: o certificado do servidor não foi aceito"));
        EXPECT_FALSE(recusa->ui->btnCancelar->isVisible());
        EXPECT_GT(recusa->ui->memoLog->height(), 0) << "the log opens";
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, configuracao.path());
        dialogos->caixas.resize(1);
    }

    // Another window, the same certificate: nothing asked.
    auto w2 = novaJanela(instalacaoVazia(), dialogos);
    w2->show();
    clicarEEsperar(*w2, w2->ui->btnViewFiles);
    EXPECT_EQ(dialogos->caixas.size(), 1u);
    EXPECT_TRUE(w2->ui->lblConexaoSegura->isVisible());

    // A server without TLS: no lock, and the log says so.
    testsupport::ScriptedFtp simples(QStringLiteral("normal"));
    apontarFtp(simples.port());
    auto w3 = novaJanela(instalacaoVazia(), dialogos);
    w3->show();
    clicarEEsperar(*w3, w3->ui->btnViewFiles);
    EXPECT_TRUE(w3->conectada());
    EXPECT_FALSE(w3->ui->lblConexaoSegura->isVisible());
    EXPECT_TRUE(linhasDoLog(*w3).contains(QStringLiteral("Conexão sem criptografia")));
    qunsetenv("FTPCALDORIA_FTP_TLS");
}

} // namespace
