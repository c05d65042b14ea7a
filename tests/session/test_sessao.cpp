// The FTP session without a window: what it reports, what it asks, and what it
// sends. Nothing here runs an event loop, so every call runs inline, as it does for
// a run from the command line.
#include "SessaoTeste.h"

#include <QDir>
#include <QRegularExpression>
#include <QSettings>

#include <thread>

namespace {

using namespace sessiontest;

TEST_F(Sessao, UploadAsksTheDriverBeforeReplacing)
{
    ScriptedFtp servidor(QStringLiteral("normal"), {{kPastaCorrompida + QStringLiteral("/dados.bin"), 10}});
    auto s = abrir(servidor);
    const QString origem = arquivo(QStringLiteral("dados.bin"), QByteArray(70000, 'd'));

    roteiro.respostas = {false};
    EXPECT_FALSE(s->EnviarArquivo(origem).check);
    EXPECT_EQ(roteiro.eventos, QStringList{QStringLiteral("replace remote dados.bin")});
    EXPECT_TRUE(servidor.commands().filter(QStringLiteral("STOR")).isEmpty());

    roteiro.eventos.clear();
    roteiro.respostas = {true};
    EXPECT_EQ(s->EnviarArquivo(origem).check, TransferCheck::SizeAndDigest);
    EXPECT_EQ(roteiro.eventos, (QStringList{QStringLiteral("replace remote dados.bin"), QStringLiteral("begin write 70000"),
                                            QStringLiteral("checking"), QStringLiteral("end completed")}));
    EXPECT_EQ(roteiro.ultimoProgresso, 70000);
    EXPECT_TRUE(servidor.notes().contains(QStringLiteral("renamed /%1/%2 to /%1/dados.bin").arg(kPastaCorrompida, partialName("dados.bin", origem))));

    // Under a unique name nothing is asked; the name is told before the data moves.
    roteiro.eventos.clear();
    const FtpSession::SentFile unico = s->EnviarArquivoBaseCorrompida(origem);
    const QString nome = unico.name;
    EXPECT_TRUE(nome.endsWith(QStringLiteral("_dados.bin")));
    EXPECT_EQ(roteiro.eventos, (QStringList{QStringLiteral("unique ") + nome, QStringLiteral("begin write 70000"),
                                            QStringLiteral("checking"), QStringLiteral("end completed")}));
    EXPECT_TRUE(roteiro.linhas.contains(nome)) << "logged, for support";
}

TEST_F(Sessao, DownloadAsksBeforeReplacingALocalFile)
{
    ScriptedFtp servidor(QStringLiteral("normal"), {{kPastaCorrompida + QStringLiteral("/b.fbk"), 5000}});
    auto s = abrir(servidor);
    const QString destino = arquivo(QStringLiteral("b.fbk"), "ontem");

    // Declined: nothing begins, nothing is fetched.
    roteiro.respostas = {false};
    EXPECT_EQ(tipoDaFalha([&] { s->BaixarArquivo(QStringLiteral("b.fbk"), destino); }), FailureKind::Declined);
    EXPECT_EQ(testsupport::readFile(destino), QByteArray("ontem"));
    EXPECT_EQ(roteiro.eventos, (QStringList{QStringLiteral("replace local ") + destino}));
    EXPECT_TRUE(servidor.commands().filter(QStringLiteral("RETR")).isEmpty());

    roteiro.eventos.clear();
    roteiro.respostas = {true};
    EXPECT_EQ(s->BaixarArquivo(QStringLiteral("b.fbk"), destino), TransferCheck::SizeAndDigest);
    EXPECT_EQ(testsupport::readFile(destino), ScriptedFtp::patternBytes(5000));
    EXPECT_EQ(roteiro.eventos, (QStringList{QStringLiteral("replace local ") + destino, QStringLiteral("begin read 5000"),
                                            QStringLiteral("checking"), QStringLiteral("end completed")}));

    // A name the server does not have: nothing is fetched, nothing begins.
    roteiro.eventos.clear();
    EXPECT_EQ(tipoDaFalha([&] { s->BaixarArquivo(QStringLiteral("nao-ha.fbk"), local.filePath(QStringLiteral("n.fbk"))); }),
              FailureKind::RemoteFileNotFound);
    EXPECT_TRUE(roteiro.eventos.isEmpty());
    EXPECT_TRUE(servidor.commands().filter(QStringLiteral("RETR nao-ha")).isEmpty());
}

// However a transfer breaks, and however often it is tried again, it ends once, as
// failed, and nothing is left under the target's name.
TEST_F(Sessao, ABrokenTransferEndsOnceAsFailed)
{
    const std::pair<const char*, const char*> casos[] = {{"data-drop", "conexão perdida em 98 %"},
                                                         {"short-226", "transferência interrompida em 98 %"}};
    for (const auto& [cenario, painel] : casos) {
        SCOPED_TRACE(cenario);
        roteiro.eventos.clear();
        ScriptedFtp servidor(QString::fromLatin1(cenario), {{kPastaCorrompida + QStringLiteral("/grande.bin"), 300000}});
        auto s = abrir(servidor);
        EXPECT_TRUE(tipoDaFalha([&] { s->BaixarArquivo(QStringLiteral("grande.bin"), local.filePath(QStringLiteral("grande.bin"))); }));
        ASSERT_FALSE(roteiro.eventos.isEmpty());
        EXPECT_EQ(roteiro.eventos.first(), QStringLiteral("begin read 300000"));
        EXPECT_EQ(roteiro.eventos.last(), QStringLiteral("end failed"));
        EXPECT_EQ(roteiro.eventos.filter(QStringLiteral("end ")).size(), 1);
        EXPECT_EQ(roteiro.falha, QStringLiteral("Falha no download: ") + QString::fromUtf8(painel));
        EXPECT_EQ(QDir(local.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }
}

// A server whose digest never matches ours gets the data once more, from the first
// byte; then the transfer fails and says so, and the copy that was there stays.
TEST_F(Sessao, ADigestThatNeverMatchesCostsOneNewStartThenTheTransferFails)
{
    struct Caso {
        TWorkMode direcao;
        const char* transferencia; // the command that moves the data, as a pattern
        const char* recomeco;      // the log line of the new start
        const char* caixa;         // the error box; %1: the upload's temporary name
    };
    const Caso casos[] = {
        // The copy whose digest never matched is of no use to a later run: it goes.
        {wmWrite, "STOR dados\\.bin\\.[0-9a-f]+-[0-9a-f]+\\.parcial$",
         "O resumo SHA-256 do arquivo no servidor não confere com o do arquivo local: o envio recomeça do início",
         "Não foi possível enviar o arquivo dados.bin.\n\nO resumo SHA-256 do arquivo no servidor não confere com o do arquivo local.\n\n"
         "O arquivo não foi enviado. A cópia anterior no servidor foi mantida."},
        {wmRead, "RETR dados\\.bin$", "O resumo SHA-256 do arquivo baixado não confere com o do servidor: o download recomeça do início",
         "Não foi possível baixar o arquivo dados.bin.\n\nO resumo SHA-256 do arquivo baixado não confere com o do servidor.\n\n"
         "O arquivo não foi baixado. O arquivo local anterior foi mantido como estava."},
    };
    for (const Caso& c : casos) {
        const bool envio = c.direcao == wmWrite;
        SCOPED_TRACE(envio ? "upload" : "download");
        roteiro.linhas.clear();
        ScriptedFtp servidor(QStringLiteral("hash-mismatch"), {{kPastaCorrompida + QStringLiteral("/dados.bin"), 5000}});
        auto s = abrir(servidor);
        const QByteArray conteudo(70000, 'd');
        const QString caminho = arquivo(QStringLiteral("dados.bin"), conteudo);

        roteiro.respostas = {true};
        try {
            if (envio)
                s->EnviarArquivo(caminho);
            else
                s->BaixarArquivo(QStringLiteral("dados.bin"), caminho);
            ADD_FAILURE() << "the transfer went through";
        } catch (const ESessionFailure& e) {
            const QString caixa = QString::fromUtf8(c.caixa);
            EXPECT_EQ(caixaDe(e), caixa);
        }
        const QString pergunta = envio ? QStringLiteral("replace remote dados.bin") : QStringLiteral("replace local ") + caminho;
        const QString inicio = envio ? QStringLiteral("begin write 70000") : QStringLiteral("begin read 5000");
        EXPECT_EQ(roteiro.eventos, (QStringList{pergunta, inicio, QStringLiteral("checking"), QStringLiteral("resumed 0"),
                                                QStringLiteral("checking"), QStringLiteral("end failed")}));
        EXPECT_EQ(roteiro.falha, (envio ? QStringLiteral("Falha no envio: ") : QStringLiteral("Falha no download: ")) +
                                     QStringLiteral("o conteúdo no servidor não confere"));
        EXPECT_EQ(roteiro.linhas.filter(QStringLiteral("recomeça")), QStringList{QString::fromUtf8(c.recomeco)});
        EXPECT_EQ(servidor.commands().filter(QRegularExpression(QStringLiteral("^") + QLatin1String(c.transferencia))).size(), 2);
        EXPECT_TRUE(servidor.notes().filter(QRegularExpression(QStringLiteral("^renamed .* to \\S*/dados\\.bin$"))).isEmpty());
        if (envio) {
            EXPECT_TRUE(servidor.commands().contains(QStringLiteral("DELE ") + partialName(QStringLiteral("dados.bin"), caminho)));
        }
        EXPECT_EQ(testsupport::readFile(caminho), conteudo);
        EXPECT_EQ(QDir(local.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{QStringLiteral("dados.bin")});
    }
}

// The shared folder of corrupted-base mode holds every unidentified client's
// files: the session never lists it.
TEST_F(Sessao, TheSharedFolderIsNeverListed)
{
    ScriptedFtp servidor(QStringLiteral("normal"), {{kPastaCorrompida + QStringLiteral("/de-outro.fbk"), 10}});
    auto s = abrir(servidor);
    EXPECT_THROW(s->fetchListing(), Exception);
    for (const QString& comando : servidor.commands())
        EXPECT_FALSE(comando.startsWith(QStringLiteral("MLSD")) || comando.startsWith(QStringLiteral("LIST"))) << comando.toStdString();
}

}

namespace {

// The temporary name of an upload: beside the final one, marked for a person, within
// the name limit whatever the final name, and carrying the identity it came from.
TEST(NomeParcial, CarriesTheLocalFileAndStaysShort)
{
    const LocalFileIdentity id{3400000000LL, 1700000000};
    struct Caso {
        const char* nome;
        QByteArray final;
        QByteArray esperado; // empty: only the rules below
    };
    const QByteArray longo(300, 'a');
    const QByteArray acentos = QString(QStringLiteral("ç")).repeated(130).toUtf8(); // 260 bytes, 2 each
    const Caso casos[] = {
        {"a backup", "backup.fbk", "backup.fbk.caa7e200-6553f100.parcial"},
        {"blanks and accents", "São José 2024.fbk", "São José 2024.fbk.caa7e200-6553f100.parcial"},
        {"as long as a name may be", longo, {}},
        {"cut between characters", acentos, {}},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        const QByteArray parcial = partialUploadName(c.final, id);
        if (!c.esperado.isEmpty()) {
            EXPECT_EQ(parcial, c.esperado);
        }
        EXPECT_LE(parcial.size(), kMaxNameBytes);
        EXPECT_TRUE(parcial.endsWith(".parcial"));
        EXPECT_TRUE(QString::fromUtf8(parcial).toUtf8() == parcial) << "valid UTF-8, cut at a character";
        EXPECT_EQ(partialUploadIdentity(parcial, c.final), std::optional<LocalFileIdentity>(id));
    }
    // Two long names that share their start do not share a temporary name.
    EXPECT_NE(partialUploadName(longo + "1", id), partialUploadName(longo + "2", id));
}

TEST(NomeParcial, OnlyItsOwnFormIsRecognised)
{
    const QByteArray final = "backup.fbk";
    const struct {
        QByteArray candidato;
        bool dele;
    } casos[] = {
        {"backup.fbk.caa7e200-6553f100.parcial", true},
        {"backup.fbk.1-0.parcial", true},
        {"backup.fbk", false},
        {"backup.fbk.parcial", false},
        {"outro.fbk.caa7e200-6553f100.parcial", false},
        {"backup.fbk.CAA7E200-6553F100.parcial", false},
        {"backup.fbk.0caa7e200-6553f100.parcial", false},
        {"backup.fbk.caa7e200-6553f100-1.parcial", false},
        {"backup.fbk.caa7e200.parcial", false},
        {"backup.fbk.x-1.parcial", false},
        {"backup.fbk.caa7e200-6553f100.parcial.txt", false},
    };
    for (const auto& c : casos)
        EXPECT_EQ(partialUploadIdentity(c.candidato, final).has_value(), c.dele) << c.candidato.constData();
}

// The pauses come as the policy says, counted down to the second, and a cancel ends
// a pause at once, from another thread as a run without a window gets it: sent as
// the long pause begins, before or while the session waits in it, it ends it.
TEST_F(Sessao, PausesBetweenAttemptsAndACancelDuringOne)
{
    ScriptedFtp servidor(QStringLiteral("data-drop"), {{kPastaCorrompida + QStringLiteral("/b.bin"), 300000}});
    auto s = abrir(servidor);
    RetryPolicy politica;
    politica.pauses = {std::chrono::milliseconds(1500), std::chrono::milliseconds(10), std::chrono::seconds(60)};
    s->configure(ajustesCurtos(politica));
    std::thread cancelador;
    roteiro.aCadaPausa = [&] {
        if (roteiro.eventos.last() == QStringLiteral("retry 3/3 in 60 s") && !cancelador.joinable())
            cancelador = std::thread([&] { s->cancel(); });
    };
    {
        FtpSession::OperationScope uso(*s, Operation::Download);
        try {
            s->BaixarArquivo(QStringLiteral("b.bin"), local.filePath(QStringLiteral("b.bin")));
            ADD_FAILURE() << "the download went through";
        } catch (const ESessionFailure& e) {
            EXPECT_EQ(e.kind(), FailureKind::Cancelled);
            EXPECT_EQ(e.Message(), QStringLiteral("Transferência cancelada pelo usuário"));
        }
    }
    cancelador.join();
    EXPECT_EQ(roteiro.eventos.filter(QStringLiteral("retry")),
              (QStringList{QStringLiteral("retry 1/3 in 2 s"), QStringLiteral("retry 1/3 in 1 s"), QStringLiteral("retry 2/3 in 1 s"),
                           QStringLiteral("retry 3/3 in 60 s")}));
    EXPECT_EQ(roteiro.eventos.last(), QStringLiteral("end cancelled"));
    EXPECT_EQ(servidor.commands().filter(QStringLiteral("RETR")).size(), 3);
    EXPECT_EQ(QDir(local.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

// A driver that cannot ask anything, as a run without a window: only what the
// interface answers by itself.
class SemPerguntas : public FtpSessionEvents {
public:
    void log(const QString&) override {}
    void clientCaption(const QString&) override {}
    void waiting(const QString&) override {}
    void transferBegin(TWorkMode, std::int64_t) override {}
    void transferProgress(TWorkMode, std::int64_t) override {}
    void transferRetry(TWorkMode, int, int, int) override {}
    void transferResumed(TWorkMode, std::int64_t) override {}
    void transferChecking(TWorkMode) override {}
    void transferEnd(TWorkMode, TransferOutcome, const QString&) override {}
    bool replaceRemoteFile(const QString&) override { return false; }
    bool resumeInterruptedUpload(const QString&, std::int64_t, std::int64_t) override { return false; }
    bool replaceLocalFile(const QString&) override { return false; }
    void uniqueNameChosen(const QString&) override {}
};

// The user's settings in a folder of the test's, an authority the program trusts
// alone, and the encryption mode set as a build sets it.
class SessaoTls : public ::testing::Test {
protected:
    void SetUp() override
    {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, configuracao.path());
        ca = std::make_unique<testsupport::TestCa>(certificados.path());
        ca->trustOnly();
        qputenv("FTPCALDORIA_FTP_TLS", "se disponível");
    }
    void TearDown() override { qunsetenv("FTPCALDORIA_FTP_TLS"); }

    std::unique_ptr<FtpSession> conectar(const ScriptedFtp& servidor, FtpSessionEvents& eventos)
    {
        return conectarEm(servidor.port(), servidor.port(), eventos);
    }
    std::unique_ptr<FtpSession> conectarEm(int principal, int alternativo, FtpSessionEvents& eventos)
    {
        qputenv("FTPCALDORIA_FTP_HOST", QByteArray("127.0.0.1:") + QByteArray::number(principal));
        qputenv("FTPCALDORIA_FTP_ALT_HOST", QByteArray("127.0.0.1:") + QByteArray::number(alternativo));
        SessionSettings ajustes;
        ajustes.connectTimeout = ajustes.readTimeout = std::chrono::seconds(5);
        auto s = std::make_unique<FtpSession>(eventos, ajustes);
        s->ConectarFTP();
        return s;
    }
    std::unique_ptr<ScriptedFtp> servidor(const testsupport::ServerCertificate& certificado)
    {
        return std::make_unique<ScriptedFtp>(QStringLiteral("normal"), QList<ScriptedFtp::File>{}, testsupport::kFtpUser,
                                             testsupport::kFtpPassword, ScriptedFtp::Tls{certificado, {}});
    }

    QTemporaryDir configuracao;
    QTemporaryDir certificados;
    std::unique_ptr<testsupport::TestCa> ca;
    Roteiro roteiro;
};

// A certificate that cannot be verified is asked about once per host and
// certificate, between two connections: the password goes out only on the
// connection made after a yes.
TEST_F(SessaoTls, CertificadoNaoVerificadoPerguntadoUmaVezPorHostECertificado)
{
    testsupport::TestCa::Options proprio;
    proprio.selfSigned = true;
    const testsupport::ServerCertificate a = ca->issue(QStringLiteral("a"), proprio);
    const testsupport::ServerCertificate b = ca->issue(QStringLiteral("b"), proprio);
    const auto pergunta = [](const testsupport::ServerCertificate& c) {
        return QStringLiteral("certificate 127.0.0.1: o certificado é autoassinado ") + c.fingerprint;
    };
    const QString recusa = QStringLiteral("O certificado do servidor 127.0.0.1 não pôde ser verificado: o certificado é autoassinado");

    auto servidorA = servidor(a);
    roteiro.respostas = {true};
    EXPECT_NE(conectar(*servidorA, roteiro)->security(), ConnectionSecurity::Plain);
    EXPECT_EQ(roteiro.eventos, QStringList{pergunta(a)});
    EXPECT_EQ(servidorA->commands().mid(0, 3),
              (QStringList{QStringLiteral("AUTH TLS"), QStringLiteral("AUTH TLS"), QStringLiteral("USER caldoria")}));
    EXPECT_TRUE(roteiro.linhas.contains(QStringLiteral("Conexão segura (TLS 1.3, TLS_AES_256_GCM_SHA384)")));

    // Remembered for that host and port: another session is not asked again; another
    // port of the host is another server, asked about afresh.
    roteiro.eventos.clear();
    EXPECT_NE(conectar(*servidorA, roteiro)->security(), ConnectionSecurity::Plain);
    EXPECT_TRUE(roteiro.eventos.isEmpty());
    auto outraPortaA = servidor(a);
    roteiro.respostas = {true};
    EXPECT_NE(conectar(*outraPortaA, roteiro)->security(), ConnectionSecurity::Plain);
    EXPECT_EQ(roteiro.eventos, QStringList{pergunta(a)});

    // Another certificate: asked again, for each endpoint; no means no login.
    roteiro.eventos.clear();
    roteiro.respostas = {false, false};
    auto servidorB = servidor(b);
    EXPECT_EQ(tipoDaFalha([&] { conectar(*servidorB, roteiro); }), FailureKind::CertificateRefused);
    EXPECT_EQ(roteiro.eventos, (QStringList{pergunta(b), pergunta(b)}));
    EXPECT_EQ(servidorB->commands(), (QStringList{QStringLiteral("AUTH TLS"), QStringLiteral("AUTH TLS")}));
    EXPECT_EQ(roteiro.linhas.count(recusa), 1) << "the primary's failure; the alternate's goes to the caller";

    // A driver that cannot ask: in with the certificate accepted before, out with the other.
    SemPerguntas semJanela;
    EXPECT_NE(conectar(*outraPortaA, semJanela)->security(), ConnectionSecurity::Plain);
    EXPECT_EQ(tipoDaFalha([&] { conectar(*servidorB, semJanela); }), FailureKind::CertificateRefused);
    EXPECT_EQ(servidorB->commands().count(QStringLiteral("USER caldoria")), 0);

    // Where TLS is required only a verified certificate will do: nothing is asked,
    // and what was accepted before counts for nothing.
    qputenv("FTPCALDORIA_FTP_TLS", "sempre");
    roteiro.eventos.clear();
    EXPECT_EQ(tipoDaFalha([&] { conectar(*servidorA, roteiro); }), FailureKind::CertificateRefused);
    EXPECT_TRUE(roteiro.eventos.isEmpty());
}

// Someone on the way who strips AUTH TLS gets no login where the vendor's service
// completed TLS before, at either of its endpoints: the memory covers both together,
// and the refusal ends the connecting, so the alternate endpoint, behind the same
// someone, is not tried after the primary's refusal. Both endpoints are relays to
// one server with TLS; what crossed a stripping relay is what it recorded.
TEST_F(SessaoTls, UmServicoQueJaFalouTlsNaoRecebeOLoginSemTlsEmNenhumEndereco)
{
    using Modo = testsupport::StrippingRelay::Mode;
    ScriptedFtp servidor(QStringLiteral("normal"), {}, testsupport::kFtpUser, testsupport::kFtpPassword,
                         ScriptedFtp::Tls{ca->issue(QStringLiteral("servidor")), {}});
    const QStringList soAuth{QStringLiteral("AUTH TLS")};
    const struct Caso {
        const char* nome;
        std::optional<std::pair<Modo, Modo>> antes; // the endpoints of the run that spoke TLS; none: no such run
        std::pair<Modo, Modo> depois;                // the endpoints of the next run
        std::optional<FailureKind> falha;
        QStringList noPrincipal, noAlternativo; // what the next run's client sent through each relay in clear
    } casos[] = {
        {"TLS at the primary, then both stripped", std::pair{Modo::Pass, Modo::Pass}, {Modo::Strip, Modo::Strip},
         FailureKind::InterceptionSuspected, soAuth, {}},
        {"TLS at the alternate only, then both stripped", std::pair{Modo::Close, Modo::Pass}, {Modo::Strip, Modo::Strip},
         FailureKind::InterceptionSuspected, soAuth, {}},
        {"TLS at the primary, then the primary down and the alternate stripped", std::pair{Modo::Pass, Modo::Close},
         {Modo::Close, Modo::Strip}, FailureKind::InterceptionSuspected, {}, soAuth},
        // Without a memory a server that offers no TLS gets plain FTP, as before.
        {"never TLS, both stripped", std::nullopt, {Modo::Strip, Modo::Strip}, std::nullopt,
         {QStringLiteral("AUTH TLS"), QStringLiteral("USER caldoria"), QStringLiteral("PASS vesplodu")}, {}},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        QTemporaryDir memoria;
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, memoria.path());
        const testsupport::StrippingRelay principal(servidor.port()), alternativo(servidor.port());
        SemPerguntas semJanela;
        if (c.antes) {
            principal.setMode(c.antes->first);
            alternativo.setMode(c.antes->second);
            EXPECT_EQ(conectarEm(principal.port(), alternativo.port(), semJanela)->security(), ConnectionSecurity::Tls);
            // A text file: its lines end in CRLF on Windows.
            EXPECT_EQ(QString::fromUtf8(testsupport::readFile(memoria.filePath(QStringLiteral("Quintara/FTPCaldoria-servidores-tls.txt"))))
                          .remove(QLatin1Char('\r'))
                          .split(QLatin1Char('\n'))
                          .filter(QRegularExpression(QStringLiteral("^127\\.0\\.0\\.1:"))),
                      (QStringList{QStringLiteral("127.0.0.1:%1").arg(principal.port()), QStringLiteral("127.0.0.1:%1").arg(alternativo.port())}));
        }
        principal.setMode(c.depois.first);
        alternativo.setMode(c.depois.second);
        const int alternativoAntes = alternativo.connections();
        EXPECT_EQ(tipoDaFalha([&] { conectarEm(principal.port(), alternativo.port(), semJanela); }), c.falha);
        EXPECT_EQ(principal.commands().mid(0, 3), c.noPrincipal);
        EXPECT_EQ(alternativo.commands(), c.noAlternativo);
        if (c.falha && c.depois.first == Modo::Strip) {
            EXPECT_EQ(alternativo.connections(), alternativoAntes) << "the alternate endpoint is not tried after an interception";
        }
    }
}

// The memory of TLS keeps whatever becomes of the settings file (a folder in its
// place, garbage in it). Where nothing can be kept at all, that is said, and the
// run that could not keep it goes on refusing a connection without TLS there.
TEST_F(SessaoTls, AMemoriaDeTlsNaoSePerdeSemAviso)
{
    using Modo = testsupport::StrippingRelay::Mode;
    ScriptedFtp servidor(QStringLiteral("normal"), {}, testsupport::kFtpUser, testsupport::kFtpPassword,
                         ScriptedFtp::Tls{ca->issue(QStringLiteral("servidor")), {}});
    const struct Caso {
        const char* nome;
        std::function<void(const QString& pasta)> preparar; // the folder of the user's settings
        bool guarda;
    } casos[] = {
        {"settings file is a folder", [](const QString& pasta) { QDir(pasta).mkpath(QStringLiteral("Quintara/FTPCaldoria.ini")); }, true},
        {"settings file holds garbage",
         [](const QString& pasta) {
             QDir(pasta).mkpath(QStringLiteral("Quintara"));
             testsupport::writeFile(pasta + QStringLiteral("/Quintara/FTPCaldoria.ini"), QByteArray("\x01\xff[[[=\n\0garbage", 15));
         },
         true},
        {"the settings' folder is a file", [](const QString& pasta) { testsupport::writeFile(pasta + QStringLiteral("/Quintara"), "x"); },
         false},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        QTemporaryDir memoria;
        c.preparar(memoria.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, memoria.path());
        const testsupport::StrippingRelay relay(servidor.port());
        roteiro.linhas.clear();
        auto sessao = conectarEm(relay.port(), relay.port(), roteiro);
        ASSERT_EQ(sessao->security(), ConnectionSecurity::Tls);
        const QStringList avisos = roteiro.linhas.filter(QStringLiteral("Não foi possível guardar em"));
        if (c.guarda) {
            EXPECT_TRUE(avisos.isEmpty()) << avisos.join(QLatin1Char('\n')).toStdString();
        } else {
            ASSERT_EQ(avisos.size(), 1) << roteiro.linhas.join(QLatin1Char('\n')).toStdString();
            EXPECT_TRUE(avisos[0].contains(QStringLiteral("(127.0.0.1:%1) concluiu uma conexão segura (TLS)").arg(relay.port())))
                << avisos[0].toStdString();
        }

        // Connecting again in the same run says nothing new.
        sessao->ConectarFTP();
        EXPECT_EQ(roteiro.linhas.filter(QStringLiteral("Não foi possível guardar em")).size(), avisos.size()) << "said once a run";

        // The same run, connecting again through someone who strips TLS.
        relay.setMode(Modo::Strip);
        EXPECT_EQ(tipoDaFalha([&] { sessao->ConectarFTP(); }), FailureKind::InterceptionSuspected);
        // A later run, where the memory was kept.
        if (c.guarda) {
            SemPerguntas semJanela;
            EXPECT_EQ(tipoDaFalha([&] { conectarEm(relay.port(), relay.port(), semJanela); }), FailureKind::InterceptionSuspected);
        }
        EXPECT_FALSE(relay.commands().contains(QStringLiteral("USER caldoria"))) << relay.commands().join(' ').toStdString();
    }
}

// The primary endpoint is an address, which certificates seldom name: unless the
// build or the environment names it otherwise, its certificate is checked against
// the alternate endpoint's host name, the vendor's, which is also sent as SNI.
TEST_F(SessaoTls, OCertificadoDoPrincipalEConferidoPeloNomeDoFornecedor)
{
    testsupport::TestCa::Options soNome;
    soNome.ips = {};
    soNome.dnsNames = {QStringLiteral("localhost")};
    ScriptedFtp servidor(QStringLiteral("normal"), {}, testsupport::kFtpUser, testsupport::kFtpPassword,
                         ScriptedFtp::Tls{ca->issue(QStringLiteral("por-nome"), soNome), {}});
    const struct Caso {
        const char* nome;
        std::optional<QByteArray> nomeTls; // FTPCALDORIA_FTP_TLS_NAME; none: unset
        bool verificado;
        QString sni;
    } casos[] = {
        {"unset: the alternate's name", std::nullopt, true, QStringLiteral("sni localhost")},
        {"set: that name", QByteArray("localhost"), true, QStringLiteral("sni localhost")},
#ifndef _WIN32
        // Windows has no empty environment variable: setting one to "" removes it.
        {"set empty: the address", QByteArray(""), false, QStringLiteral("sni -")},
#endif
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        if (c.nomeTls)
            qputenv("FTPCALDORIA_FTP_TLS_NAME", *c.nomeTls);
        else
            qunsetenv("FTPCALDORIA_FTP_TLS_NAME");
        qputenv("FTPCALDORIA_FTP_HOST", QByteArray("127.0.0.1:") + QByteArray::number(servidor.port()));
        qputenv("FTPCALDORIA_FTP_ALT_HOST", QByteArray("localhost:") + QByteArray::number(testsupport::closedPort()));
        SemPerguntas semJanela;
        FtpSession sessao(semJanela, ajustesCurtos());
        const qsizetype logins = servidor.commands().count(QStringLiteral("USER caldoria"));
        EXPECT_EQ(tipoDaFalha([&] { sessao.ConectarFTP(); }).has_value(), !c.verificado);
        EXPECT_EQ(servidor.notes().filter(QStringLiteral("sni ")).last(), c.sni) << servidor.notes().join('\n').toStdString();
        EXPECT_EQ(servidor.commands().count(QStringLiteral("USER caldoria")) - logins, c.verificado ? 1 : 0);
    }
    qunsetenv("FTPCALDORIA_FTP_TLS_NAME");
}

// What older versions remembered, by host alone, still counts at any port there.
TEST_F(SessaoTls, CertificadosAceitosPorHostAntesDaPortaContinuamAceitos)
{
    testsupport::TestCa::Options proprio;
    proprio.selfSigned = true;
    const testsupport::ServerCertificate c = ca->issue(QStringLiteral("antigo"), proprio);
    QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Quintara"), QStringLiteral("FTPCaldoria"))
        .setValue(QStringLiteral("certificados-aceitos/127.0.0.1"), QStringList{c.fingerprint});
    auto s = servidor(c);
    SemPerguntas semJanela;
    EXPECT_NE(conectar(*s, semJanela)->security(), ConnectionSecurity::Plain);
}

TEST(ChavesFixadas, FormasDoPino)
{
    const QByteArray a(32, 'a');
    const QByteArray b(32, 'b');
    const QString pinoA = QStringLiteral("sha256//") + QString::fromLatin1(a.toBase64());
    const QString pinoB = QStringLiteral("sha256//") + QString::fromLatin1(b.toBase64());
    const QByteArray nenhuma = QByteArrayLiteral("pino inválido");
    const struct {
        QString texto;
        QList<QByteArray> chaves;
    } casos[] = {
        {QString(), {}},
        {QStringLiteral(" ; "), {}},
        {pinoA, {a}},
        {pinoA + QLatin1Char(';') + pinoB, {a, b}},
        {QLatin1Char(' ') + pinoA + QStringLiteral(" ; ") + pinoB + QLatin1Char(';'), {a, b}},
        {pinoA + QLatin1Char(',') + pinoB, {a, b}},
        // Mistyped pins stay, matching no key: the server is refused, not unpinned.
        {QString::fromLatin1(a.toBase64()), {nenhuma}},
        {QStringLiteral("sha1//") + QString::fromLatin1(a.toBase64()), {nenhuma}},
        {QStringLiteral("sha256//") + QString::fromLatin1(QByteArray(20, 'a').toBase64()), {nenhuma}},
        {QStringLiteral("sha256//não é base64"), {nenhuma}},
        {pinoA + QStringLiteral(";sha256//x"), {a, nenhuma}},
    };
    for (const auto& c : casos)
        EXPECT_EQ(lerChavesFixadas(c.texto), c.chaves) << c.texto.toStdString();

    // The environment's pins and name replace the build's, even when empty.
    qputenv("FTPCALDORIA_FTP_TLS_PIN", pinoB.toLatin1());
    qputenv("FTPCALDORIA_FTP_TLS_NAME", " ftp.quintara.example ");
    EXPECT_EQ(Endpoints::atuais().chavesFixadas, QList<QByteArray>{b});
    EXPECT_EQ(Endpoints::atuais().nomeTlsPrincipal, QStringLiteral("ftp.quintara.example"));
    qputenv("FTPCALDORIA_FTP_TLS_PIN", "");
    EXPECT_TRUE(Endpoints::atuais().chavesFixadas.isEmpty());
    qunsetenv("FTPCALDORIA_FTP_TLS_PIN");
    qunsetenv("FTPCALDORIA_FTP_TLS_NAME");
}

TEST(ModoTls, NomesDoModo)
{
    const struct {
        const char* texto;
        std::optional<TlsMode> modo;
    } casos[] = {
        {"nunca", TlsMode::Never},
        {"se disponível", TlsMode::IfAvailable},
        {" Se  Disponível ", TlsMode::IfAvailable},
        {"se-disponivel", TlsMode::IfAvailable},
        {"SE_DISPONIVEL", TlsMode::IfAvailable},
        {"sempre", TlsMode::Required},
        {"", std::nullopt},
        {"sim", std::nullopt},
        {"always", std::nullopt},
        {"sempre!", std::nullopt},
    };
    for (const auto& c : casos)
        EXPECT_EQ(modoTls(QString::fromUtf8(c.texto)), c.modo) << c.texto;

    // The environment overrides the build's mode; a name it does not know leaves it.
    qputenv("FTPCALDORIA_FTP_TLS", "nunca");
    EXPECT_EQ(Endpoints::atuais().tls, TlsMode::Never);
    qputenv("FTPCALDORIA_FTP_TLS", "talvez");
    EXPECT_EQ(Endpoints::atuais().tls, modoTls(QStringLiteral(FTPCALDORIA_FTP_TLS_BUILT)));
    qunsetenv("FTPCALDORIA_FTP_TLS");
    EXPECT_EQ(Endpoints::atuais().tls, modoTls(QStringLiteral(FTPCALDORIA_FTP_TLS_BUILT)));
}

}
