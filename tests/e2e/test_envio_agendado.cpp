// The real executable in its mode without a window (--enviar), as a scheduled task
// starts it: no display at all, the FTP endpoints pointed at local servers, a real
// Firebird server holding the client database.
#include "Execucao.h"
#include "FtpServers.h"
#include "Instalacao.h"
#include "TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace e2e;
using testsupport::readFile;

const QRegularExpression kNomeUnico(QStringLiteral("^PREFEITURA_usuario-\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d_backup da prefeitura\\.fbk$"));

class EnvioAgendado : public ::testing::Test {
protected:
    QTemporaryDir raizFtp;
    QTemporaryDir trabalho;
    QString arquivo;
    QByteArray conteudo = testsupport::ScriptedFtp::patternBytes(3 << 20);

    void SetUp() override
    {
        arquivo = trabalho.filePath(QStringLiteral("backup da prefeitura.fbk"));
        testsupport::writeFile(arquivo, conteudo);
    }
    // The one file in the shared folder of clients that cannot be identified.
    QString unicoNaPastaCompartilhada(const QString& raiz) const
    {
        const QStringList nomes = QDir(raiz + kPastaCorrompida).entryList(QDir::Files | QDir::Hidden);
        return nomes.size() == 1 ? nomes[0] : QString();
    }
};

TEST_F(EnvioAgendado, SendsToTheClientFolderWithoutADisplay)
{
    auto inst = instalacaoKorv();
    testsupport::PyFtpd ftp(raizFtp.path());
    const QString log = trabalho.filePath(QStringLiteral("envio.log"));
    const Execucao r = executar(*inst, {QStringLiteral("--enviar"), arquivo, QStringLiteral("--log"), log}, ftp.port(), ftp.port(), trabalho.path());
    ASSERT_TRUE(r.terminou) << r.tudo();
    EXPECT_EQ(r.codigo, 0) << r.tudo();
    EXPECT_EQ(readFile(raizFtp.path() + kPastaCliente + QStringLiteral("/backup da prefeitura.fbk")), conteudo) << r.tudo();
    EXPECT_EQ(arquivosAbaixo(raizFtp.path()), QStringList{kPastaCliente + QStringLiteral("/backup da prefeitura.fbk")});

    // The window's log lines, on standard error and in the log file alike; the file
    // starts each run with a line that says when and what.
    const QStringList erros = r.linhasDeErro();
    EXPECT_EQ(erros.mid(0, 2), (QStringList{QStringLiteral("Identificando Sistema Quintara"), QStringLiteral("Sistema KORV identificado")}));
    for (const QString& linha : {QStringLiteral("Cliente: KORV: PM de São José do Rio Preto/SP"), QStringLiteral("Criando Pasta do Cliente"),
                                 QStringLiteral("Pasta do Cliente Criada com Sucesso"), QStringLiteral("Arquivo Enviado com Sucesso")})
        EXPECT_TRUE(erros.contains(linha)) << linha.toStdString() << '\n' << r.tudo();
    // Lines end in CRLF on Windows.
    QStringList doArquivo = QString::fromUtf8(readFile(log)).remove(QLatin1Char('\r')).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_FALSE(doArquivo.isEmpty());
    EXPECT_TRUE(doArquivo.takeFirst().endsWith(QStringLiteral(": envio de %1 ---").arg(QDir::toNativeSeparators(arquivo))));
    EXPECT_EQ(doArquivo, erros);

    // Output that is no terminal: plain lines, from the start to the whole file, then
    // the check; no unique name in normal mode.
    // Amounts in the user's locale: Brazilian here, whatever Wine's is under Wine.
#ifdef _WIN32
    const QStringList saida = r.linhasDaSaida().replaceInStrings(QStringLiteral("3.1 MB"), QStringLiteral("3,1 MB"));
#else
    const QStringList saida = r.linhasDaSaida();
#endif
    ASSERT_GE(saida.size(), 3) << r.tudo();
    EXPECT_EQ(saida.first(), QStringLiteral("Enviando:   0 % · 0 B de 3,1 MB"));
    EXPECT_TRUE(saida.contains(QStringLiteral("Conferindo o arquivo no servidor..."))) << r.tudo();
    EXPECT_EQ(saida.last(), QStringLiteral("Enviado: 3,1 MB"));
    EXPECT_EQ(saida.filter(QRegularExpression(QStringLiteral("^Enviando: 100 % · 3,1 MB de 3,1 MB"))).size(), 1) << r.tudo();
    EXPECT_LE(saida.size(), 14) << "a line at each tenth at most\n" << r.tudo();
}

#ifdef _WIN32
// A 32-bit fbClient.dll in the system's folder: the package's own client identifies
// the client all the same, and the run says which library it used.
TEST_F(EnvioAgendado, OnWindowsASystemsThirtyTwoBitClientLibraryIsPassedOver)
{
    auto inst = instalacaoKorv();
    ASSERT_TRUE(QFile::copy(clienteFirebirdWindows("x86"), inst->pasta.filePath(QStringLiteral("fbclient.dll"))));
    testsupport::PyFtpd ftp(raizFtp.path());
    const Execucao r = executar(*inst, {QStringLiteral("--enviar"), arquivo}, ftp.port(), ftp.port(), trabalho.path());
    ASSERT_TRUE(r.terminou) << r.tudo();
    EXPECT_EQ(r.codigo, 0) << r.tudo();
    EXPECT_EQ(readFile(raizFtp.path() + kPastaCliente + QStringLiteral("/backup da prefeitura.fbk")), conteudo) << r.tudo();
    const QStringList erros = r.linhasDeErro();
    EXPECT_TRUE(erros.contains(QStringLiteral("fbClient.dll da pasta do sistema é de 32 bits; usando o cliente Firebird do pacote")))
        << r.tudo();
    EXPECT_TRUE(erros.contains(QStringLiteral("Cliente: KORV: PM de São José do Rio Preto/SP"))) << r.tudo();
}

// No client library at all: the file goes to the shared folder, and the run says so
// and why, with its own exit code.
TEST_F(EnvioAgendado, OnWindowsWithoutAnyClientLibraryTheRunSaysWhyTheSharedFolder)
{
    auto inst = instalacaoKorv();
    ASSERT_TRUE(QDir(inst->pasta.filePath(QStringLiteral("FTPCaldoria-Firebird"))).removeRecursively());
    testsupport::PyFtpd ftp(raizFtp.path());
    const Execucao r = executar(*inst, {QStringLiteral("--enviar"), arquivo}, ftp.port(), ftp.port(), trabalho.path());
    ASSERT_TRUE(r.terminou) << r.tudo();
    EXPECT_EQ(r.codigo, 5) << r.tudo();
    const QStringList erros = r.linhasDeErro();
    EXPECT_FALSE(erros.filter(QStringLiteral("Nenhum cliente Firebird pôde ser carregado: fbClient.dll não está na pasta do sistema")).isEmpty())
        << r.tudo();
    EXPECT_TRUE(erros.contains(QStringLiteral("Cliente não identificado (nenhum cliente Firebird pôde ser carregado): o arquivo está "
                                              "na pasta compartilhada de base corrompida, /gCALDORIA/Cidades/_corrompida")))
        << r.tudo();
    EXPECT_FALSE(unicoNaPastaCompartilhada(raizFtp.path()).isEmpty()) << r.tudo();
}
#endif

TEST_F(EnvioAgendado, CorruptedBaseModePrintsTheUniqueName)
{
    for (const CasoBaseCorrompida& c : casosBaseCorrompida()) {
        SCOPED_TRACE(c.nome);
        QTemporaryDir raiz;
        testsupport::PyFtpd ftp(raiz.path());
        auto inst = c.instalar();
        const Execucao r = executar(*inst, {QStringLiteral("--enviar"), arquivo}, ftp.port(), ftp.port(), trabalho.path());
        ASSERT_TRUE(r.terminou) << r.tudo();
        // Checked on the server, but not where the client's backups belong.
        EXPECT_EQ(r.codigo, 5) << r.tudo();
        EXPECT_TRUE(r.linhasDeErro().contains(
            QStringLiteral("Cliente não identificado (%1): o arquivo está na pasta compartilhada de base corrompida, "
                           "/gCALDORIA/Cidades/_corrompida")
                .arg(QString::fromUtf8(c.motivo))))
            << r.tudo();
        const QString enviado = unicoNaPastaCompartilhada(raiz.path());
        EXPECT_TRUE(kNomeUnico.match(enviado).hasMatch()) << enviado.toStdString() << '\n' << r.tudo();
        EXPECT_EQ(readFile(raiz.path() + kPastaCorrompida + QLatin1Char('/') + enviado), conteudo);
        // The last line of the output names it, for a script to pass on to support.
        ASSERT_FALSE(r.linhasDaSaida().isEmpty());
        EXPECT_EQ(r.linhasDaSaida().last(), enviado) << r.tudo();
        EXPECT_TRUE(r.linhasDeErro().contains(QStringLiteral("Cliente: Base Corrompida"))) << r.tudo();
    }
}

TEST_F(EnvioAgendado, AnExistingFileIsReplacedOnlyWhenAsked)
{
    auto inst = instalacaoKorv();
    const QString noServidor = raizFtp.path() + kPastaCliente + QStringLiteral("/backup da prefeitura.fbk");
    QDir().mkpath(QFileInfo(noServidor).path());
    const QByteArray antigo("a backup of last week");
    testsupport::writeFile(noServidor, antigo);
    testsupport::PyFtpd ftp(raizFtp.path());

    const Execucao sem = executar(*inst, {QStringLiteral("--enviar"), arquivo}, ftp.port(), ftp.port(), trabalho.path());
    ASSERT_TRUE(sem.terminou) << sem.tudo();
    EXPECT_EQ(sem.codigo, 4) << sem.tudo();
    EXPECT_EQ(readFile(noServidor), antigo);
    EXPECT_EQ(arquivosAbaixo(raizFtp.path()), QStringList{kPastaCliente + QStringLiteral("/backup da prefeitura.fbk")});
    EXPECT_TRUE(sem.linhasDeErro().contains(QStringLiteral("O Arquivo Já Existe no FTP e não foi substituído (para substituí-lo: --substituir)")))
        << sem.tudo();

    const Execucao com = executar(*inst, {QStringLiteral("--substituir"), QStringLiteral("--enviar"), arquivo}, ftp.port(), ftp.port(), trabalho.path());
    ASSERT_TRUE(com.terminou) << com.tudo();
    EXPECT_EQ(com.codigo, 0) << com.tudo();
    EXPECT_EQ(readFile(noServidor), conteudo);
    EXPECT_EQ(arquivosAbaixo(raizFtp.path()), QStringList{kPastaCliente + QStringLiteral("/backup da prefeitura.fbk")});
}

TEST_F(EnvioAgendado, AServerThatIsDownEndsTheRunAsNotSent)
{
    auto inst = std::make_unique<Instalacao>();
    const Execucao r = executar(*inst, {QStringLiteral("--enviar"), arquivo}, testsupport::closedPort(), testsupport::closedPort(), trabalho.path());
    ASSERT_TRUE(r.terminou) << r.tudo();
    EXPECT_EQ(r.codigo, 1) << r.tudo();
    const QStringList erros = r.linhasDeErro();
    EXPECT_TRUE(erros.contains(QStringLiteral("Tentando conectar no endereço principal do FTP"))) << r.tudo();
    EXPECT_TRUE(erros.contains(QStringLiteral("Tentando conectar no endereço alternativo do FTP"))) << r.tudo();
    EXPECT_TRUE(erros.contains(QStringLiteral("Não foi possível enviar o arquivo backup da prefeitura.fbk."))) << r.tudo();
    EXPECT_TRUE(r.linhasDaSaida().isEmpty()) << r.tudo();
}

TEST_F(EnvioAgendado, ALineThatBreaksOnceIsResumed)
{
    auto inst = std::make_unique<Instalacao>();
    testsupport::PyFtpd ftp(raizFtp.path());
    testsupport::CuttingProxy linha(ftp.port(), {1 << 20});
    const Execucao r = executar(*inst, {QStringLiteral("--enviar"), arquivo}, linha.port(), linha.port(), trabalho.path());
    ASSERT_TRUE(r.terminou) << r.tudo();
    EXPECT_EQ(r.codigo, 5) << r.tudo(); // no system here: the shared folder
    const QString enviado = unicoNaPastaCompartilhada(raizFtp.path());
    ASSERT_FALSE(enviado.isEmpty()) << r.tudo();
    EXPECT_EQ(readFile(raizFtp.path() + kPastaCorrompida + QLatin1Char('/') + enviado), conteudo);
    EXPECT_EQ(r.linhasDaSaida().last(), enviado);

    // Cut at 1 MiB, then the rest from what the server had kept of it (the reset
    // may lose what was still on its way), not the whole file again.
    const QList<testsupport::CuttingProxy::Relayed> dados = linha.relayed();
    ASSERT_EQ(dados.size(), 2) << r.tudo();
    EXPECT_TRUE(dados[0].cut);
    EXPECT_GT(dados[1].start, 0);
    EXPECT_LE(dados[1].start, 1 << 20);
    EXPECT_EQ(dados[1].start + dados[1].bytes, conteudo.size());
    EXPECT_EQ(r.linhasDaSaida().filter(QStringLiteral("Conexão perdida; nova tentativa em ")).size(), 1) << r.tudo();
}

TEST_F(EnvioAgendado, AServerThatCannotTellTheSizeGivesSentButNotVerified)
{
    auto inst = std::make_unique<Instalacao>();
    testsupport::ScriptedFtp ftp(QStringLiteral("size-unknown"));
    const Execucao r = executar(*inst, {QStringLiteral("--enviar"), arquivo}, ftp.port(), ftp.port(), trabalho.path());
    ASSERT_TRUE(r.terminou) << r.tudo();
    EXPECT_EQ(r.codigo, 3) << r.tudo();
    const QStringList guardados = ftp.notes().filter(QRegularExpression(QStringLiteral("^stored ")));
    ASSERT_FALSE(guardados.isEmpty());
    EXPECT_TRUE(guardados.last().endsWith(QStringLiteral(" %1").arg(conteudo.size()))) << guardados.join('\n').toStdString();
    EXPECT_TRUE(r.linhasDeErro().contains(QStringLiteral("Arquivo enviado, mas o servidor não informou o tamanho para conferência"))) << r.tudo();
}

#ifndef _WIN32
// A stopped task (SIGTERM) or Ctrl+C: the transfer breaks off, and the run ends as
// not sent, saying so.
TEST_F(EnvioAgendado, AnInterruptEndsTheRunAsNotSent)
{
    auto inst = std::make_unique<Instalacao>();
    testsupport::ScriptedFtp ftp(QStringLiteral("store-stall"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("FTPCALDORIA_FTP_HOST"), QStringLiteral("127.0.0.1:%1").arg(ftp.port()));
    env.insert(QStringLiteral("FTPCALDORIA_FTP_ALT_HOST"), QStringLiteral("127.0.0.1:%1").arg(ftp.port()));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(inst->programa, {QStringLiteral("--enviar"), arquivo});
    ASSERT_TRUE(p.waitForStarted(10000));
    QByteArray erros;
    ASSERT_TRUE(testsupport::waitUntil(
        [&] {
            p.waitForReadyRead(50);
            erros += p.readAllStandardError();
            return erros.contains("Enviando arquivo ");
        },
        std::chrono::seconds(30)))
        << erros.toStdString();
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(30000));
    erros += p.readAllStandardError();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 1) << erros.toStdString();
    EXPECT_TRUE(QString::fromUtf8(erros).split(QLatin1Char('\n')).contains(QStringLiteral("Transferência cancelada pelo usuário"))) << erros.toStdString();
}
#endif

// What is wrong before any connection: bad options (2), a file that is not there
// or is a folder (1). Nothing reaches the server.
TEST_F(EnvioAgendado, WhatIsWrongBeforeAnyConnection)
{
    const struct Caso {
        QStringList args;
        int codigo;
        QString erro; // the first line of standard error
    } casos[] = {
        {{QStringLiteral("--enviar")}, 2, QStringLiteral("a opção --enviar precisa de um ARQUIVO")},
        {{QStringLiteral("--substituir")}, 2, QStringLiteral("falta a opção --enviar ARQUIVO")},
        {{QStringLiteral("--enviar"), arquivo, QStringLiteral("--sobrescrever")}, 2, QStringLiteral("opção desconhecida: --sobrescrever")},
        {{QStringLiteral("--enviar"), arquivo, QStringLiteral("--enviar"), arquivo}, 2,
         QStringLiteral("a opção --enviar foi dada mais de uma vez: envia-se um arquivo por vez")},
        {{QStringLiteral("--log"), QStringLiteral("x.log"), arquivo}, 2, QStringLiteral("argumento inesperado: %1").arg(arquivo)},
        {{QStringLiteral("--enviar"), trabalho.filePath(QStringLiteral("nao-existe.fbk"))}, 1,
         QStringLiteral("Não foi possível ler o arquivo %1").arg(QDir::toNativeSeparators(trabalho.filePath(QStringLiteral("nao-existe.fbk"))))},
        {{QStringLiteral("--enviar"), trabalho.path()}, 1,
         QStringLiteral("Apenas arquivos podem ser enviados, não pastas: %1").arg(QDir::toNativeSeparators(trabalho.path()))},
    };
    auto inst = std::make_unique<Instalacao>();
    const QString programa = QFileInfo(inst->programa).fileName();
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        testsupport::ScriptedFtp ftp(QStringLiteral("normal"));
        const Execucao r = executar(*inst, c.args, ftp.port(), ftp.port(), trabalho.path());
        ASSERT_TRUE(r.terminou) << r.tudo();
        EXPECT_EQ(r.codigo, c.codigo) << r.tudo();
        if (c.codigo == 2) {
            EXPECT_EQ(r.linhasDeErro(), (QStringList{programa + QStringLiteral(": ") + c.erro,
                                                      QStringLiteral("Uso: %1 --enviar ARQUIVO [--substituir] [--log ARQUIVO]").arg(programa),
                                                      QStringLiteral("Para mais informações: %1 --help").arg(programa)}));
        } else {
            EXPECT_EQ(r.linhasDeErro().last(), c.erro) << r.tudo();
        }
        EXPECT_TRUE(ftp.commands().isEmpty()) << ftp.commands().join(' ').toStdString();
    }
}

TEST_F(EnvioAgendado, HelpAndVersion)
{
    auto inst = std::make_unique<Instalacao>();
    const QString programa = QFileInfo(inst->programa).fileName();
    const Execucao ajuda = executar(*inst, {QStringLiteral("--enviar"), arquivo, QStringLiteral("--help")}, testsupport::closedPort(),
                                    testsupport::closedPort(), trabalho.path());
    ASSERT_TRUE(ajuda.terminou);
    EXPECT_EQ(ajuda.codigo, 0);
    EXPECT_TRUE(ajuda.erros.isEmpty()) << ajuda.tudo();
    const QStringList linhas = ajuda.linhasDaSaida();
    ASSERT_FALSE(linhas.isEmpty());
    EXPECT_EQ(linhas.first(), QStringLiteral("Uso: %1 --enviar ARQUIVO [--substituir] [--log ARQUIVO]").arg(programa));
    for (const QString& linha : {QStringLiteral("Códigos de saída:"), QStringLiteral("  4  o arquivo já existe no servidor e --substituir não foi dada"),
                                 QStringLiteral("Exemplo:")})
        EXPECT_TRUE(linhas.contains(linha)) << linha.toStdString();

    const Execucao versao = executar(*inst, {QStringLiteral("--versao")}, testsupport::closedPort(), testsupport::closedPort(), trabalho.path());
    ASSERT_TRUE(versao.terminou);
    EXPECT_EQ(versao.codigo, 0);
    EXPECT_EQ(versao.linhasDaSaida(), QStringList{QStringLiteral("Utilitário FTP Caldoria 1.0.10.1/RC")});
}

} // namespace
