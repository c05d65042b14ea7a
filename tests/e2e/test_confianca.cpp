// Trust on every way to the server, through the real executable without a window:
// someone on the way who strips the offer of TLS from both endpoints gets no login
// once the vendor's service spoke TLS, whatever becomes of the user's settings; and
// the control connection keeps its keep-alive while a file moves.
#include "Execucao.h"
#include "FtpServers.h"
#include "Instalacao.h"
#include "TestCertificates.h"
#include "TestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace e2e;
using Modo = testsupport::StrippingRelay::Mode;

class Confianca : public ::testing::Test {
protected:
    QTemporaryDir trabalho;
    QTemporaryDir pastaCertificados;
    std::unique_ptr<testsupport::TestCa> ca;
    QString arquivo;

    void SetUp() override
    {
        // The program trusts the test's authority alone, and so needs no question to
        // complete TLS: what it remembers then is what is tested.
        ca = std::make_unique<testsupport::TestCa>(pastaCertificados.path());
        ca->trustOnly();
        arquivo = trabalho.filePath(QStringLiteral("backup da prefeitura.fbk"));
        testsupport::writeFile(arquivo, testsupport::ScriptedFtp::patternBytes(256 << 10));
    }
    void TearDown() override { qunsetenv("SSL_CERT_FILE"); }
    std::unique_ptr<testsupport::ScriptedFtp> servidorTls(const QString& cenario = QStringLiteral("normal"),
                                                          const QList<testsupport::ScriptedFtp::Fault>& falhas = {})
    {
        testsupport::ScriptedFtp::Options o;
        o.tls = testsupport::ScriptedFtp::Tls{ca->issue(QStringLiteral("servidor")), {}};
        o.faults = falhas;
        return std::make_unique<testsupport::ScriptedFtp>(cenario, o);
    }
};

const QString kInterceptacao = QStringLiteral("possível interceptação da conexão. O login não foi enviado.");

// A run that spoke TLS with the vendor's service, at either endpoint, leaves the next
// one, whose way to both endpoints strips AUTH TLS, nothing to give away: it ends
// with the interception's words and exit code 1, and neither relay saw a user name
// or a password; the alternate endpoint is not even tried after the primary's
// refusal.
TEST_F(Confianca, AStrippedOfferOfTlsAtBothEndpointsGetsNoLogin)
{
    const struct Caso {
        const char* nome;
        Modo principalAntes, alternativoAntes;
    } casos[] = {
        {"TLS at the primary", Modo::Pass, Modo::Pass},
        {"TLS at the alternate, the primary down", Modo::Close, Modo::Pass},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        auto servidor = servidorTls();
        const testsupport::StrippingRelay principal(servidor->port(), c.principalAntes), alternativo(servidor->port(), c.alternativoAntes);
        QTemporaryDir configuracao;
        auto inst = std::make_unique<Instalacao>();
        const QMap<QString, QString> ambiente{{QStringLiteral("XDG_CONFIG_HOME"), configuracao.path()}};
        const Execucao antes =
            executar(*inst, {QStringLiteral("--enviar"), arquivo}, principal.port(), alternativo.port(), trabalho.path(), std::chrono::seconds(120), ambiente);
        ASSERT_TRUE(antes.terminou) << antes.tudo();
        ASSERT_EQ(antes.codigo, 5) << antes.tudo();
        ASSERT_FALSE(antes.linhasDeErro().filter(QStringLiteral("Conexão segura (TLS 1.3")).isEmpty()) << antes.tudo();

        principal.setMode(Modo::Strip);
        alternativo.setMode(Modo::Strip);
        const int alternativoAntes = alternativo.connections();
        const Execucao depois =
            executar(*inst, {QStringLiteral("--enviar"), arquivo}, principal.port(), alternativo.port(), trabalho.path(), std::chrono::seconds(120), ambiente);
        ASSERT_TRUE(depois.terminou) << depois.tudo();
        EXPECT_EQ(depois.codigo, 1) << depois.tudo();
        EXPECT_EQ(depois.resultado(), QStringLiteral("Não foi possível enviar o arquivo backup da prefeitura.fbk.")) << depois.tudo();
        EXPECT_TRUE(depois.erros.contains(kInterceptacao)) << depois.tudo();
        EXPECT_TRUE(depois.linhasDeErro().filter(QStringLiteral("Tentando conectar no endereço alternativo do FTP")).isEmpty()) << depois.tudo();
        EXPECT_EQ(principal.commands(), QStringList{QStringLiteral("AUTH TLS")});
        EXPECT_TRUE(alternativo.commands().isEmpty()) << alternativo.commands().join(' ').toStdString();
        EXPECT_EQ(alternativo.connections(), alternativoAntes);
    }
}

#ifndef _WIN32
// Where the user's settings cannot be written at all (their folder's place is taken
// by a file), a run says so on standard error and still refuses, within the run, a
// connection that comes back without TLS: the server takes AUTH TLS on its first
// connection only, and the upload breaks, so the run connects again. Linux only:
// under Wine the settings live in the prefix's profile, which the test cannot take
// away without taking it from every test.
TEST_F(Confianca, SettingsThatCannotBeWrittenAreSaidAndTheRunStillRefusesTheDowngrade)
{
    auto servidor = servidorTls(QStringLiteral("tls-once"), {testsupport::ScriptedFtp::Fault::dropAt(QStringLiteral("STOR#1"), 65536)});
    QTemporaryDir configuracao;
    testsupport::writeFile(configuracao.filePath(QStringLiteral("Quintara")), "não é uma pasta");
    auto inst = std::make_unique<Instalacao>();
    const Execucao r = executar(*inst, {QStringLiteral("--enviar"), arquivo}, servidor->port(), servidor->port(), trabalho.path(),
                                std::chrono::seconds(120), {{QStringLiteral("XDG_CONFIG_HOME"), configuracao.path()}});
    ASSERT_TRUE(r.terminou) << r.tudo();
    EXPECT_EQ(r.codigo, 1) << r.tudo();
    const QStringList aviso = r.linhasDeErro().filter(QStringLiteral("Não foi possível guardar em %1/Quintara/FTPCaldoria-servidores-tls.txt")
                                                          .arg(configuracao.path()));
    EXPECT_EQ(aviso.size(), 1) << r.tudo();
    EXPECT_TRUE(r.erros.contains(kInterceptacao)) << r.tudo();
    EXPECT_EQ(servidor->commands().count(QStringLiteral("USER caldoria")), 1) << servidor->commands().join(' ').toStdString();
    EXPECT_EQ(servidor->commands().count(QStringLiteral("AUTH TLS")), 2) << "the first connection, then the one after the break";
}
#endif

// While a file moves, the control connection lies silent; it carries TCP
// keep-alive all the same, which the system shows (ss -o) as a keep-alive timer.
// The server holds the upload after its first 64 KiB, so the look comes while the
// data connection is open. Under Wine, ss runs on the host and sees Wine's sockets.
TEST_F(Confianca, TheControlConnectionKeepsAliveDuringATransfer)
{
    testsupport::ScriptedFtp servidor(QStringLiteral("normal"),
                                      testsupport::ScriptedFtp::Options{.faults = {testsupport::ScriptedFtp::Fault::holdAt(QStringLiteral("STOR#1"), 65536)}});
    auto inst = std::make_unique<Instalacao>();
    auto execucao = iniciar(*inst, {QStringLiteral("--enviar"), arquivo}, servidor.port(), servidor.port(), trabalho.path());
    ASSERT_FALSE(servidor.waitForHold().isEmpty());
    QByteArray saida;
    const int codigoSs = testsupport::runProgram(
        QStringLiteral("ss"), {QStringLiteral("-tnoH"), QStringLiteral("state"), QStringLiteral("established"),
                               QStringLiteral("( dport = :%1 )").arg(servidor.port())},
        {}, &saida);
    servidor.release();
    const Execucao r = esperar(*execucao);
    ASSERT_EQ(codigoSs, 0) << saida.toStdString();
    const QStringList linhas = QString::fromUtf8(saida).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(linhas.size(), 1) << "the one control connection\n" << saida.toStdString();
    EXPECT_TRUE(linhas[0].contains(QStringLiteral("timer:(keepalive,"))) << linhas[0].toStdString();
    EXPECT_EQ(r.codigo, 5) << r.tudo();
}

}
