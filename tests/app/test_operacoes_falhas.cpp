// Every kind of failure a send can meet, through each front end that meets it: the
// window's "Enviar Arquivo", a file dropped on the window, and a run with --enviar
// (the same UnattendedSend the executable runs). One table says, for each kind, the
// busy panel, the box (or none) and the log's last line the window shows, and the
// outcome line and exit code of the run without a window. The installation is
// empty, so every send goes to the shared folder of corrupted-base mode: no
// database is needed, and the three front ends take the same way.
#include "AmbienteJanela.h"
#include "CommandLine.h"
#include "TestCertificates.h"
#include "UnattendedSend.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTabWidget>
#include <QTimer>

namespace {

using namespace std::chrono_literals;
using testsupport::ScriptedFtp;

// Exact, or the start of it where it ends in '*'.
bool confere(const QString& visto, const QString& esperado)
{
    return esperado.endsWith(QLatin1Char('*')) ? visto.startsWith(esperado.chopped(1)) : visto == esperado;
}

// What the window shows of a failure. caixa: "Erro|text", "Atenção|text", or empty
// for no box; log: the log's last line (trimmed), or empty when the failure adds
// no line.
struct NaJanela {
    const char* painel;
    const char* caixa;
    const char* log;
};

// What the run without a window ends with.
struct SemJanela {
    const char* resultado;
    ExitCode codigo;
};

// How the server fails.
enum class Servidor { Fechado, Roteirizado, SeguraOEnvio, TlsNaoConfiavel, TlsOutraChave };

struct Caso {
    FailureKind tipo;
    Servidor servidor;
    const char* cenario;          // the scripted server's scenario
    std::optional<NaJanela> botao;  // "Enviar Arquivo"; nothing where this front end cannot meet the kind
    std::optional<NaJanela> soltar; // a drop; nothing: as the button
    std::optional<SemJanela> linhaDeComando;
};

const char* const kSemResposta = "O servidor FTP não respondeu. Verifique a internet ou tente mais tarde.";

class Falhas : public ::testing::Test {
protected:
    QTemporaryDir local;
    QTemporaryDir configuracao;
    QTemporaryDir certificados;
    std::unique_ptr<testsupport::TestCa> ca;
    std::shared_ptr<DialogosRoteirizados> dialogos = std::make_shared<DialogosRoteirizados>();

    void SetUp() override
    {
        // Nothing remembered of earlier servers, and no authority but the tests'.
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, configuracao.path());
        ca = std::make_unique<testsupport::TestCa>(certificados.path());
        ca->trustOnly();
        qputenv("FTPCALDORIA_FTP_TLS", "se disponível");
        qunsetenv("FTPCALDORIA_FTP_TLS_PIN");
        qunsetenv("FTPCALDORIA_LOG");
    }
    void TearDown() override
    {
        qunsetenv("FTPCALDORIA_FTP_TLS");
        qunsetenv("FTPCALDORIA_FTP_TLS_PIN");
    }

    // The server of a case, and the endpoints pointed at it.
    std::unique_ptr<ScriptedFtp> servidor(const Caso& c)
    {
        qunsetenv("FTPCALDORIA_FTP_TLS_PIN");
        std::unique_ptr<ScriptedFtp> s;
        switch (c.servidor) {
        case Servidor::Fechado:
            apontarFtp(testsupport::closedPort());
            return s;
        case Servidor::Roteirizado:
            s = std::make_unique<ScriptedFtp>(QString::fromLatin1(c.cenario));
            break;
        case Servidor::SeguraOEnvio:
            // The upload of the file itself held until the test has cancelled it.
            s = std::make_unique<ScriptedFtp>(QStringLiteral("normal"),
                                              ScriptedFtp::Options{.faults = {ScriptedFtp::Fault::hold(QStringLiteral("STOR:*dados.bin*#1"))}});
            break;
        case Servidor::TlsNaoConfiavel:
        case Servidor::TlsOutraChave: {
            testsupport::TestCa::Options proprio;
            proprio.selfSigned = c.servidor == Servidor::TlsNaoConfiavel;
            s = std::make_unique<ScriptedFtp>(QString::fromLatin1(c.cenario), QList<ScriptedFtp::File>{}, testsupport::kFtpUser,
                                              testsupport::kFtpPassword,
                                              ScriptedFtp::Tls{ca->issue(QStringLiteral("servidor"), proprio), {}});
            break;
        }
        }
        if (c.servidor == Servidor::TlsOutraChave)
            qputenv("FTPCALDORIA_FTP_TLS_PIN", "sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=");
        apontarFtp(s->port());
        return s;
    }

    // Short retry pauses; the waits for a reply stay long: a server held on purpose
    // (SeguraOEnvio) must be met by the test's Cancel, never by a reply timeout that a
    // loaded machine reaches first.
    static SessionSettings ajustesCurtos()
    {
        SessionSettings a;
        a.connectTimeout = a.readTimeout = 60s;
        for (auto& pausa : a.retry.pauses)
            pausa = 10ms;
        return a;
    }

    // Cancels once the scripted server holds the upload, and only then.
    static void cancelarQuandoSegurar(ScriptedFtp* s, QTimer& olho, const std::function<void()>& cancelar)
    {
        if (!s)
            return;
        QObject::connect(&olho, &QTimer::timeout, [s, &olho, cancelar] {
            if (!s->held().isEmpty()) {
                olho.stop();
                cancelar();
            }
        });
        olho.start(20);
    }

    void naJanela(const Caso& c, bool soltando, const NaJanela& esperado)
    {
        auto s = servidor(c);
        auto w = novaJanela(instalacaoVazia(), dialogos);
        AcessoTeste::Ajustes(*w, [](SessionSettings& a) { a = ajustesCurtos(); });
        w->show();
        const QString arquivo = c.tipo == FailureKind::NotAFile ? local.path() : local.filePath(QStringLiteral("dados.bin"));
        testsupport::writeFile(local.filePath(QStringLiteral("dados.bin")), ScriptedFtp::patternBytes(100000));
        dialogos->caixas.clear();
        dialogos->arquivosAbrir = {arquivo};
        dialogos->respostas = {mb::IdNo}; // a certificate that cannot be verified is not accepted
        const qsizetype linhasAntes = linhasDoLog(*w).size();
        QTimer olho;
        cancelarQuandoSegurar(c.tipo == FailureKind::Cancelled ? s.get() : nullptr, olho, [&] { w->ui->btnCancelar->click(); });
        if (soltando) {
            w->SoltarArquivos({arquivo});
            AcessoTeste::esperar(*w);
        } else {
            clicarEEsperar(*w, w->ui->btnUpload);
        }

        EXPECT_TRUE(confere(w->ui->lbVerbose->text(), QString::fromUtf8(esperado.painel))) << w->ui->lbVerbose->text().toStdString();
        const QString caixa = QString::fromUtf8(esperado.caixa);
        std::vector<DialogosRoteirizados::Caixa> caixas = dialogos->caixas;
        // The certificate's question is the user's; the box is what follows it.
        std::erase_if(caixas, [](const auto& b) { return b.titulo == QStringLiteral("Certificado do servidor"); });
        if (caixa.isEmpty()) {
            EXPECT_TRUE(caixas.empty()) << caixas.front().texto.toStdString();
        } else {
            ASSERT_EQ(caixas.size(), 1u);
            EXPECT_EQ(caixas[0].titulo, caixa.section(QLatin1Char('|'), 0, 0));
            EXPECT_EQ(caixas[0].flags, caixa.startsWith(QStringLiteral("Erro")) ? mb::Error : mb::Warning);
            EXPECT_TRUE(confere(caixas[0].texto, caixa.section(QLatin1Char('|'), 1))) << caixas[0].texto.toStdString();
        }
        const QStringList log = linhasDoLog(*w);
        if (*esperado.log)
            EXPECT_TRUE(confere(log.last().trimmed(), QString::fromUtf8(esperado.log))) << log.join('\n').toStdString();
        else
            EXPECT_EQ(log.size(), linhasAntes) << log.join('\n').toStdString();
        EXPECT_FALSE(w->operacaoEmAndamento());
        EXPECT_TRUE(w->ui->btnUpload->isEnabled());
    }

    void semJanela(const Caso& c, const SemJanela& esperado)
    {
        auto s = servidor(c);
        const QString arquivo = c.tipo == FailureKind::NotAFile ? local.path() : local.filePath(QStringLiteral("dados.bin"));
        testsupport::writeFile(local.filePath(QStringLiteral("dados.bin")), ScriptedFtp::patternBytes(100000));
        CommandOptions opcoes;
        opcoes.file = arquivo;
        // One attempt: what is tried again, and when, is test_envio_desassistido's.
        opcoes.retryFor = std::chrono::seconds(0);
        QString erros;
        UnattendedSend envio(opcoes, {[](const QString&) {}, [&erros](const QString& t) { erros += t; }, false, false}, ajustesCurtos());
        QTimer olho;
        cancelarQuandoSegurar(c.tipo == FailureKind::Cancelled ? s.get() : nullptr, olho, [&envio] { envio.cancel(); });
        const ExitCode codigo = envio.run();

        EXPECT_EQ(static_cast<int>(codigo), static_cast<int>(esperado.codigo));
        const QString marca = QStringLiteral(" RESULTADO: ");
        const QStringList linhas = erros.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        const QStringList resultados = linhas.filter(QRegularExpression(QStringLiteral("^=== ")));
        ASSERT_EQ(resultados.size(), 1) << erros.toStdString();
        EXPECT_TRUE(confere(resultados[0].section(marca, 1), QString::fromUtf8(esperado.resultado))) << erros.toStdString();
    }
};

TEST_F(Falhas, EveryKindIsSaidTheSameWayByEachFrontEnd)
{
    const char* const naoEnviado = "O arquivo não foi enviado; nenhum arquivo chamado *";
    std::vector<Caso> casos = {
        {FailureKind::ConnectionLost, Servidor::Fechado, nullptr,
         // A transfer that could not connect opens no box, as a listing does not.
         NaJanela{"Falha no envio: o servidor não respondeu", "", "O arquivo não foi enviado; nenhum arquivo chamado dados.bin foi criado no servidor."},
         NaJanela{"Falha ao conectar: o servidor não respondeu", "", kSemResposta},
         SemJanela{"Não foi possível enviar o arquivo dados.bin.", ExitCode::NotSent}},
        {FailureKind::TransferBroken, Servidor::Roteirizado, "store-truncates",
         NaJanela{"Falha no envio: transferência interrompida em 100 %",
                  "Erro|Não foi possível enviar o arquivo dados.bin.\n\nA transferência foi interrompida em 100 % e não se completou "
                  "depois de 5 novas tentativas (Envio incompleto: o servidor guardou *",
                  naoEnviado},
         std::nullopt,
         SemJanela{"Não foi possível enviar o arquivo dados.bin.", ExitCode::NotSent}},
        {FailureKind::ServerFull, Servidor::Roteirizado, "store-refused-452",
         NaJanela{"Falha no envio: recusado pelo servidor",
                  "Erro|Não foi possível enviar o arquivo dados.bin.\n\nO servidor recusou: Insufficient storage space.\n\n*", naoEnviado},
         std::nullopt,
         SemJanela{"Não foi possível enviar o arquivo dados.bin.", ExitCode::NotSent}},
        {FailureKind::NotThere, Servidor::Roteirizado, "store-refused-550",
         NaJanela{"Falha no envio: recusado pelo servidor",
                  "Erro|Não foi possível enviar o arquivo dados.bin.\n\nO servidor recusou: No such file or directory.\n\n*", naoEnviado},
         std::nullopt, SemJanela{"Não foi possível enviar o arquivo dados.bin.", ExitCode::NotSent}},
        {FailureKind::FileRefused, Servidor::Roteirizado, "store-refused-553",
         NaJanela{"Falha no envio: recusado pelo servidor",
                  "Erro|Não foi possível enviar o arquivo dados.bin.\n\nO servidor recusou: Could not create file.\n\n*", naoEnviado},
         std::nullopt,
         SemJanela{"Não foi possível enviar o arquivo dados.bin.", ExitCode::NotSent}},
        {FailureKind::RefusedByServer, Servidor::Roteirizado, "store-refused-502",
         NaJanela{"Falha no envio: recusado pelo servidor",
                  "Erro|Não foi possível enviar o arquivo dados.bin.\n\nO servidor recusou: Command not implemented.\n\n*", naoEnviado},
         std::nullopt, SemJanela{"Não foi possível enviar o arquivo dados.bin.", ExitCode::NotSent}},
        {FailureKind::UnexpectedReply, Servidor::Roteirizado, "pasv-malformed",
         NaJanela{"Falha no envio: resposta inválida do servidor",
                  "Erro|Não foi possível enviar o arquivo dados.bin.\n\nO servidor respondeu o que não se esperava: Resposta inválida ao "
                  "PASV: Entering passive mode (no numbers here).\n\n*",
                  naoEnviado},
         std::nullopt, SemJanela{"Não foi possível enviar o arquivo dados.bin.", ExitCode::NotSent}},
        {FailureKind::ContentMismatch, Servidor::Roteirizado, "hash-mismatch",
         NaJanela{"Falha no envio: o conteúdo no servidor não confere",
                  "Erro|Não foi possível enviar o arquivo dados.bin.\n\nO resumo SHA-256 do arquivo no servidor não confere com o do "
                  "arquivo local.\n\n*",
                  naoEnviado},
         std::nullopt,
         SemJanela{"Não foi possível enviar o arquivo dados.bin.", ExitCode::NotSent}},
        {FailureKind::CertificateRefused, Servidor::TlsNaoConfiavel, "normal",
         NaJanela{"Falha no envio: certificado do servidor recusado", "",
                  "O arquivo não foi enviado; nenhum arquivo chamado dados.bin foi criado no servidor."},
         NaJanela{"Falha ao conectar: o certificado do servidor não foi aceito", "",
                  "A conexão não foi feita porque o certificado do servidor FTP não foi aceito. Fale com o suporte da Quintara."},
         SemJanela{"Não foi possível enviar o arquivo dados.bin.", ExitCode::NotSent}},
        {FailureKind::InterceptionSuspected, Servidor::TlsOutraChave, "normal",
         NaJanela{"Falha no envio: possível interceptação da conexão", "",
                  "O arquivo não foi enviado; nenhum arquivo chamado dados.bin foi criado no servidor."},
         NaJanela{"Falha ao conectar: possível interceptação da conexão", "",
                  "A conexão foi encerrada antes do login: a senha e os arquivos não foram enviados. Fale com o suporte da Quintara."},
         SemJanela{"Não foi possível enviar o arquivo dados.bin.", ExitCode::NotSent}},
        {FailureKind::NotAFile, Servidor::Roteirizado, "normal", std::nullopt,
         NaJanela{"Falha no envio: Apenas arquivos podem ser enviados, não pastas: *",
                  "Atenção|Apenas arquivos podem ser enviados, não pastas: *", ""},
         SemJanela{"Apenas arquivos podem ser enviados, não pastas: *", ExitCode::NotSent}},
        {FailureKind::Cancelled, Servidor::SeguraOEnvio, nullptr,
         NaJanela{"Transferência cancelada", "", "Transferência cancelada pelo usuário"}, std::nullopt,
         SemJanela{"Transferência cancelada pelo usuário", ExitCode::NotSent}},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(static_cast<int>(c.tipo));
        if (c.botao) {
            SCOPED_TRACE("Enviar Arquivo");
            naJanela(c, false, *c.botao);
        }
        if (c.soltar || c.botao) {
            SCOPED_TRACE("a drop");
            naJanela(c, true, c.soltar ? *c.soltar : *c.botao);
        }
        if (c.linhaDeComando) {
            SCOPED_TRACE("--enviar");
            semJanela(c, *c.linhaDeComando);
        }
        EXPECT_EQ(static_cast<int>(exitCodeOf(c.tipo)), static_cast<int>(ExitCode::NotSent));
    }
}

// A name the server does not have, downloaded by its name from the page of
// corrupted-base mode: the panel and an error box say so, and the page stays.
TEST_F(Falhas, ANameTheServerDoesNotHave)
{
    ScriptedFtp s(QStringLiteral("normal"));
    apontarFtp(s.port());
    auto w = novaJanela(instalacaoVazia(), dialogos);
    w->show();
    clicarEEsperar(*w, w->ui->btnViewFiles);
    ASSERT_EQ(w->ui->PageControl1->currentWidget(), w->ui->TabSheet2);
    w->ui->edtNomeArquivo->setText(QStringLiteral("nao-ha.bin"));
    dialogos->arquivosSalvar = {local.filePath(QStringLiteral("nao-ha.bin"))};
    dialogos->caixas.clear();
    clicarEEsperar(*w, w->ui->btnDownloadFinal);
    EXPECT_EQ(w->ui->lbVerbose->text(), QStringLiteral("Falha no download: Arquivo Não Encontrado no FTP"));
    ASSERT_EQ(dialogos->caixas.size(), 1u);
    EXPECT_EQ(dialogos->caixas[0].titulo, QStringLiteral("Erro"));
    EXPECT_EQ(dialogos->caixas[0].texto, QStringLiteral("Arquivo Não Encontrado no FTP"));
    EXPECT_EQ(linhasDoLog(*w).last(), QStringLiteral("Arquivo Não Encontrado no FTP"));
    EXPECT_EQ(w->ui->PageControl1->currentWidget(), w->ui->TabSheet2);
}

} // namespace
