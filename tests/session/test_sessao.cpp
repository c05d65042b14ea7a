// The FTP session without a window: what it reports, what it asks, and what it
// sends. Nothing here runs an event loop, so every call runs inline, as it does for
// a run from the command line.
#include "Endpoints.h"
#include "FtpServers.h"
#include "FtpSession.h"
#include "TestSupport.h"

#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>

namespace {

using testsupport::ScriptedFtp;

const QString kPastaCorrompida = QStringLiteral("gCALDORIA/Cidades/_corrompida");

// Records what the session reports and answers its questions from a script.
class Roteiro : public FtpSessionEvents {
public:
    QStringList eventos; // what was reported and asked, in order
    QStringList linhas; // the log
    std::deque<bool> respostas;

    void log(const QString& line) override { linhas << line; }
    void clientCaption(const QString& caption) override { eventos << QStringLiteral("caption ") + caption; }
    void transferBegin(TWorkMode mode, std::int64_t total) override
    {
        eventos << QStringLiteral("begin %1 %2").arg(mode == wmWrite ? "write" : "read").arg(total);
    }
    void transferProgress(TWorkMode, std::int64_t soFar) override { ultimoProgresso = soFar; }
    void transferEnd(TWorkMode, TransferOutcome outcome) override
    {
        const char* como[] = {"completed", "failed", "cancelled"};
        eventos << QStringLiteral("end ") + QLatin1String(como[static_cast<int>(outcome)]);
    }
    bool replaceRemoteFile(const QString& name) override { return responder(QStringLiteral("replace remote ") + name); }
    bool replaceLocalFile(const QString& localPath) override { return responder(QStringLiteral("replace local ") + localPath); }
    void uniqueNameChosen(const QString& name) override { eventos << QStringLiteral("unique ") + name; }
    bool acceptCertificate(const QString& host, const QString& problem, const QString& fingerprint) override
    {
        return responder(QStringLiteral("certificate %1: %2 %3").arg(host, problem, fingerprint));
    }

    std::int64_t ultimoProgresso = -1;

private:
    bool responder(const QString& pergunta)
    {
        eventos << pergunta;
        const bool r = !respostas.empty() && respostas.front();
        if (!respostas.empty())
            respostas.pop_front();
        return r;
    }
};

class Sessao : public ::testing::Test {
protected:
    QTemporaryDir local;
    Roteiro roteiro;

    // A session with no installed system: it works in the shared folder of
    // corrupted-base mode, which needs no database.
    std::unique_ptr<FtpSession> abrir(const ScriptedFtp& servidor)
    {
        qputenv("FTPCALDORIA_FTP_HOST", QByteArray("127.0.0.1:") + QByteArray::number(servidor.port()));
        qputenv("FTPCALDORIA_FTP_ALT_HOST", QByteArray("127.0.0.1:") + QByteArray::number(servidor.port()));
        auto s = std::make_unique<FtpSession>(roteiro);
        s->IdFTP1().ConnectTimeout = std::chrono::seconds(5);
        s->IdFTP1().ReadTimeout = std::chrono::seconds(5);
        s->CriarPastaCliente();
        EXPECT_TRUE(s->baseCorrompida());
        roteiro.eventos.clear();
        return s;
    }
    QString arquivo(const QString& nome, const QByteArray& conteudo)
    {
        testsupport::writeFile(local.filePath(nome), conteudo);
        return local.filePath(nome);
    }
};

TEST_F(Sessao, UploadAsksTheDriverBeforeReplacing)
{
    ScriptedFtp servidor(QStringLiteral("normal"), {{kPastaCorrompida + QStringLiteral("/dados.bin"), 10}});
    auto s = abrir(servidor);
    const QString origem = arquivo(QStringLiteral("dados.bin"), QByteArray(70000, 'd'));

    roteiro.respostas = {false};
    EXPECT_FALSE(s->EnviarArquivo(origem));
    EXPECT_EQ(roteiro.eventos, QStringList{QStringLiteral("replace remote dados.bin")});
    EXPECT_TRUE(servidor.commands().filter(QStringLiteral("STOR")).isEmpty());

    roteiro.eventos.clear();
    roteiro.respostas = {true};
    EXPECT_TRUE(s->EnviarArquivo(origem));
    EXPECT_EQ(roteiro.eventos, (QStringList{QStringLiteral("replace remote dados.bin"), QStringLiteral("begin write 70000"),
                                            QStringLiteral("end completed")}));
    EXPECT_EQ(roteiro.ultimoProgresso, 70000);
    EXPECT_TRUE(servidor.notes().contains(QStringLiteral("stored /%1/dados.bin 70000").arg(kPastaCorrompida)));

    // Under a unique name nothing is asked; the name is told before the data moves.
    roteiro.eventos.clear();
    const QString nome = s->EnviarArquivoBaseCorrompida(origem);
    EXPECT_TRUE(nome.endsWith(QStringLiteral("_dados.bin")));
    EXPECT_EQ(roteiro.eventos, (QStringList{QStringLiteral("unique ") + nome, QStringLiteral("begin write 70000"),
                                            QStringLiteral("end completed")}));
    EXPECT_TRUE(roteiro.linhas.contains(nome)) << "logged, for support";
}

TEST_F(Sessao, DownloadAsksBeforeReplacingALocalFile)
{
    ScriptedFtp servidor(QStringLiteral("normal"), {{kPastaCorrompida + QStringLiteral("/b.fbk"), 5000}});
    auto s = abrir(servidor);
    const QString destino = arquivo(QStringLiteral("b.fbk"), "ontem");

    // Declined: the component refuses to overwrite, before any data moves.
    roteiro.respostas = {false};
    EXPECT_THROW(s->BaixarArquivo(QStringLiteral("b.fbk"), destino), Exception);
    EXPECT_EQ(testsupport::readFile(destino), QByteArray("ontem"));
    EXPECT_EQ(roteiro.eventos, (QStringList{QStringLiteral("replace local ") + destino, QStringLiteral("begin read 5000"),
                                            QStringLiteral("end failed")}));

    roteiro.eventos.clear();
    roteiro.respostas = {true};
    s->BaixarArquivo(QStringLiteral("b.fbk"), destino);
    EXPECT_EQ(testsupport::readFile(destino), ScriptedFtp::patternBytes(5000));
    EXPECT_EQ(roteiro.eventos, (QStringList{QStringLiteral("replace local ") + destino, QStringLiteral("begin read 5000"),
                                            QStringLiteral("end completed")}));

    // A name the server does not have: nothing is fetched, nothing begins.
    roteiro.eventos.clear();
    EXPECT_THROW(s->BaixarArquivo(QStringLiteral("nao-ha.fbk"), local.filePath(QStringLiteral("n.fbk"))), ERemoteFileNotFound);
    EXPECT_TRUE(roteiro.eventos.isEmpty());
    EXPECT_TRUE(servidor.commands().filter(QStringLiteral("RETR nao-ha")).isEmpty());
}

// However a transfer breaks, it ends once, as failed.
TEST_F(Sessao, ABrokenTransferEndsOnceAsFailed)
{
    for (const char* cenario : {"data-drop", "short-226"}) {
        SCOPED_TRACE(cenario);
        roteiro.eventos.clear();
        ScriptedFtp servidor(QString::fromLatin1(cenario), {{kPastaCorrompida + QStringLiteral("/grande.bin"), 300000}});
        auto s = abrir(servidor);
        EXPECT_THROW(s->BaixarArquivo(QStringLiteral("grande.bin"), local.filePath(QStringLiteral("grande.bin"))), Exception);
        EXPECT_EQ(roteiro.eventos, (QStringList{QStringLiteral("begin read 300000"), QStringLiteral("end failed")}));
        EXPECT_FALSE(QFileInfo::exists(local.filePath(QStringLiteral("grande.bin"))));
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

// A driver that cannot ask anything, as a run without a window: only what the
// interface answers by itself.
class SemPerguntas : public FtpSessionEvents {
public:
    void log(const QString&) override {}
    void clientCaption(const QString&) override {}
    void transferBegin(TWorkMode, std::int64_t) override {}
    void transferProgress(TWorkMode, std::int64_t) override {}
    void transferEnd(TWorkMode, TransferOutcome) override {}
    bool replaceRemoteFile(const QString&) override { return false; }
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
        qputenv("FTPCALDORIA_FTP_HOST", QByteArray("127.0.0.1:") + QByteArray::number(servidor.port()));
        qputenv("FTPCALDORIA_FTP_ALT_HOST", QByteArray("127.0.0.1:") + QByteArray::number(servidor.port()));
        auto s = std::make_unique<FtpSession>(eventos);
        s->IdFTP1().ConnectTimeout = std::chrono::seconds(5);
        s->IdFTP1().ReadTimeout = std::chrono::seconds(5);
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
    EXPECT_TRUE(conectar(*servidorA, roteiro)->IdFTP1().IsSecure());
    EXPECT_EQ(roteiro.eventos, QStringList{pergunta(a)});
    EXPECT_EQ(servidorA->commands().mid(0, 3),
              (QStringList{QStringLiteral("AUTH TLS"), QStringLiteral("AUTH TLS"), QStringLiteral("USER caldoria")}));
    EXPECT_TRUE(roteiro.linhas.contains(QStringLiteral("Conexão segura (TLS 1.3, TLS_AES_256_GCM_SHA384)")));

    // Remembered: another session, the same certificate at another port of the host.
    roteiro.eventos.clear();
    auto outraPortaA = servidor(a);
    EXPECT_TRUE(conectar(*outraPortaA, roteiro)->IdFTP1().IsSecure());
    EXPECT_TRUE(roteiro.eventos.isEmpty());

    // Another certificate: asked again, for each endpoint; no means no login.
    roteiro.eventos.clear();
    roteiro.respostas = {false, false};
    auto servidorB = servidor(b);
    EXPECT_THROW(conectar(*servidorB, roteiro), UntrustedCertificateError);
    EXPECT_EQ(roteiro.eventos, (QStringList{pergunta(b), pergunta(b)}));
    EXPECT_EQ(servidorB->commands(), (QStringList{QStringLiteral("AUTH TLS"), QStringLiteral("AUTH TLS")}));
    EXPECT_EQ(roteiro.linhas.count(recusa), 1) << "the primary's failure; the alternate's goes to the caller";

    // A driver that cannot ask: in with the certificate accepted before, out with the other.
    SemPerguntas semJanela;
    EXPECT_TRUE(conectar(*outraPortaA, semJanela)->IdFTP1().IsSecure());
    EXPECT_THROW(conectar(*servidorB, semJanela), UntrustedCertificateError);
    EXPECT_EQ(servidorB->commands().count(QStringLiteral("USER caldoria")), 0);

    // Where TLS is required only a verified certificate will do: nothing is asked,
    // and what was accepted before counts for nothing.
    qputenv("FTPCALDORIA_FTP_TLS", "sempre");
    roteiro.eventos.clear();
    EXPECT_THROW(conectar(*servidorA, roteiro), UntrustedCertificateError);
    EXPECT_TRUE(roteiro.eventos.isEmpty());
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
