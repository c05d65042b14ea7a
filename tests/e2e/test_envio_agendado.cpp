// The real executable in its mode without a window (--enviar), as a scheduled task
// starts it: no display at all, the FTP endpoints pointed at local servers, a real
// Firebird server holding the client database.
#include "Execucao.h"
#include "FtpServers.h"
#include "Instalacao.h"
#include "TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QMap>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <sys/stat.h>
#endif

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
                                 QStringLiteral("Pasta do Cliente Criada com Sucesso")})
        EXPECT_TRUE(erros.contains(linha)) << linha.toStdString() << '\n' << r.tudo();
    EXPECT_EQ(r.resultado(), QStringLiteral("Arquivo Enviado com Sucesso")) << r.tudo();
    // Lines end in CRLF on Windows.
    QStringList doArquivo = QString::fromUtf8(readFile(log)).remove(QLatin1Char('\r')).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GE(doArquivo.size(), 3);
    const QString cabecalho = doArquivo.takeFirst();
    EXPECT_TRUE(cabecalho.endsWith(QStringLiteral(": envio de %1 ---").arg(QDir::toNativeSeparators(arquivo)))) << cabecalho.toStdString();
    // The last line: when the run ended, how long it took, what moved and how fast.
    const QString rodape = doArquivo.takeLast();
    static const QRegularExpression formaDoRodape(
        QStringLiteral("^--- (\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d): fim do envio de (.*); duração: [^;]+; velocidade média: ([\\d,]+ [KMG]?i?B/s|não medida) ---$"));
    const QRegularExpressionMatch m = formaDoRodape.match(rodape);
    ASSERT_TRUE(m.hasMatch()) << rodape.toStdString();
    EXPECT_EQ(m.captured(2), QDir::toNativeSeparators(arquivo));
    EXPECT_EQ(doArquivo, erros);
    // The outcome carries its own time: between the run's start and its end.
    ASSERT_FALSE(doArquivo.isEmpty());
    static const QRegularExpression formaDoResultado(QStringLiteral("^=== (\\S+ \\S+) RESULTADO: Arquivo Enviado com Sucesso$"));
    const QRegularExpressionMatch r2 = formaDoResultado.match(doArquivo.last());
    ASSERT_TRUE(r2.hasMatch()) << doArquivo.last().toStdString();
    const auto quando = [](const QString& t) { return QDateTime::fromString(t, QStringLiteral("dd/MM/yyyy HH:mm:ss")); };
    EXPECT_LE(quando(cabecalho.mid(4, 19)), quando(r2.captured(1)));
    EXPECT_LE(quando(r2.captured(1)), quando(m.captured(1)));

    // Output that is no terminal: plain lines, from the start to the whole file, then
    // the check; no unique name in normal mode.
    // Amounts in the user's locale: Brazilian here, whatever Wine's is under Wine.
#ifdef _WIN32
    const QStringList saida = r.linhasDaSaida().replaceInStrings(QStringLiteral("3.0 MiB"), QStringLiteral("3,0 MiB"));
#else
    const QStringList saida = r.linhasDaSaida();
#endif
    ASSERT_GE(saida.size(), 3) << r.tudo();
    EXPECT_EQ(saida.first(), QStringLiteral("Enviando:   0 % · 0 B de 3,0 MiB"));
    EXPECT_TRUE(saida.contains(QStringLiteral("Conferindo o arquivo no servidor..."))) << r.tudo();
    EXPECT_EQ(saida.last(), QStringLiteral("Enviado: 3,0 MiB"));
    EXPECT_EQ(saida.filter(QRegularExpression(QStringLiteral("^Enviando: 100 % · 3,0 MiB de 3,0 MiB"))).size(), 1) << r.tudo();
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
        // The outcome says where the file went, the name support needs and why.
        EXPECT_EQ(r.resultado(), QStringLiteral("Enviado para a pasta compartilhada de base corrompida como %1 — informe este nome ao "
                                                "suporte (cliente não identificado: %2)")
                                     .arg(enviado, QString::fromUtf8(c.motivo)))
            << r.tudo();
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
    EXPECT_EQ(sem.resultado(), QStringLiteral("O Arquivo Já Existe no FTP e não foi substituído (para substituí-lo: --substituir)"))
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
    const Execucao r = executar(*inst, {QStringLiteral("--enviar"), arquivo, QStringLiteral("--tentar-por"), QStringLiteral("0s")},
                                testsupport::closedPort(), testsupport::closedPort(), trabalho.path());
    ASSERT_TRUE(r.terminou) << r.tudo();
    EXPECT_EQ(r.codigo, 1) << r.tudo();
    const QStringList erros = r.linhasDeErro();
    EXPECT_EQ(erros.filter(QRegularExpression(QStringLiteral("^Tentativa 1 às \\d\\d:\\d\\d:\\d\\d; sem novas tentativas \\(--tentar-por 0s\\)$"))).size(), 1)
        << r.tudo();
    EXPECT_TRUE(erros.contains(QStringLiteral("Tentando conectar no endereço principal do FTP"))) << r.tudo();
    EXPECT_TRUE(erros.contains(QStringLiteral("Tentando conectar no endereço alternativo do FTP"))) << r.tudo();
    EXPECT_EQ(r.resultado(), QStringLiteral("Não foi possível enviar o arquivo backup da prefeitura.fbk.")) << r.tudo();
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
    // (Reads of what the server holds, before going on and after, are RETRs.)
    QList<testsupport::CuttingProxy::Relayed> dados = linha.relayed();
    dados.removeIf([](const testsupport::CuttingProxy::Relayed& d) { return d.command == QLatin1String("RETR"); });
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
    // No system here: the shared folder, said first; the missing check after the name.
    ASSERT_FALSE(r.linhasDaSaida().isEmpty()) << r.tudo();
    EXPECT_EQ(r.resultado(), QStringLiteral("Enviado para a pasta compartilhada de base corrompida como %1 — informe este nome ao suporte; "
                                            "o servidor não informou o tamanho para conferência (cliente não identificado: nenhum "
                                            "sistema Quintara identificado)")
                                 .arg(r.linhasDaSaida().last()))
        << r.tudo();
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
    Execucao r;
    r.erros = QString::fromUtf8(erros);
    EXPECT_EQ(r.resultado(), QStringLiteral("Transferência cancelada pelo usuário")) << erros.toStdString();
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
                                                      QStringLiteral("Uso: %1 --enviar ARQUIVO [--substituir] [--tentar-por DURAÇÃO] [--log ARQUIVO]").arg(programa),
                                                      QStringLiteral("Para mais informações: %1 --help").arg(programa)}));
        } else {
            EXPECT_EQ(r.resultado(), c.erro) << r.tudo();
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
    EXPECT_EQ(linhas.first(), QStringLiteral("Uso: %1 --enviar ARQUIVO [--substituir] [--tentar-por DURAÇÃO] [--log ARQUIVO]").arg(programa));
    for (const QString& linha : {QStringLiteral("Códigos de saída:"), QStringLiteral("  4  o arquivo já existe no servidor e --substituir não foi dada"),
                                 QStringLiteral("Exemplo:")})
        EXPECT_TRUE(linhas.contains(linha)) << linha.toStdString();

    const Execucao versao = executar(*inst, {QStringLiteral("--versao")}, testsupport::closedPort(), testsupport::closedPort(), trabalho.path());
    ASSERT_TRUE(versao.terminou);
    EXPECT_EQ(versao.codigo, 0);
    EXPECT_EQ(versao.linhasDaSaida(), QStringList{QStringLiteral("Utilitário FTP Caldoria 1.0.10.1/RC")});
}

// ---------------------------------------------------------------- trust

// The vendor's server known by its key: a certificate no trust store knows, for
// another name, self-signed, passes with the right pin and without a question; a
// wrong pin ends the run before the server sees a login. vsftpd with TLS, whose log
// shows what it received.
TEST_F(EnvioAgendado, TheServerIsKnownByItsPinnedKey)
{
    QTemporaryDir pastaCertificados;
    const testsupport::TestCa ca(pastaCertificados.path());
    testsupport::TestCa::Options alheio;
    alheio.selfSigned = true;
    alheio.ips = {};
    alheio.dnsNames = {QStringLiteral("ftp.quintara.example")};
    const testsupport::ServerCertificate certificado = ca.issue(QStringLiteral("servidor"), alheio);
    const testsupport::ServerCertificate outro = ca.issue(QStringLiteral("outro"), alheio);
    const struct Caso {
        const char* nome;
        QString pinos;
        int codigo;
        bool login;
        QString linha; // in standard error
    } casos[] = {
        {"the right pin among others", outro.keyPin + QStringLiteral(";") + certificado.keyPin, 0, true,
         QStringLiteral("Conexão segura (TLS 1.3, TLS_AES_256_GCM_SHA384, chave fixada)")},
        {"a wrong pin", outro.keyPin, 1, false,
         QStringLiteral("possível interceptação da conexão. O login não foi enviado.")},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        QTemporaryDir raiz;
        testsupport::Vsftpd ftp(raiz.path(), testsupport::kFtpUser, testsupport::kFtpPassword, testsupport::FtpTls{certificado});
        auto inst = instalacaoKorv();
        const Execucao r = executar(*inst, {QStringLiteral("--enviar"), arquivo}, ftp.port(), ftp.port(), trabalho.path(),
                                    std::chrono::seconds(120), {{QStringLiteral("FTPCALDORIA_FTP_TLS_PIN"), c.pinos}});
        ASSERT_TRUE(r.terminou) << r.tudo();
        const QString log = ftp.log();
        EXPECT_TRUE(log.contains(QStringLiteral("AUTH TLS"))) << log.toStdString();
        if (c.login) {
            EXPECT_EQ(r.codigo, c.codigo) << r.tudo();
            EXPECT_EQ(readFile(raiz.path() + kPastaCliente + QStringLiteral("/backup da prefeitura.fbk")), conteudo);
        } else {
            EXPECT_EQ(r.codigo, c.codigo) << r.tudo();
            EXPECT_FALSE(log.contains(QStringLiteral("USER"))) << log.toStdString();
            EXPECT_FALSE(log.contains(QStringLiteral("PASS"))) << log.toStdString();
            EXPECT_EQ(r.resultado(), QStringLiteral("Não foi possível enviar o arquivo backup da prefeitura.fbk.")) << r.tudo();
        }
        EXPECT_FALSE(r.linhasDeErro().filter(c.linha).isEmpty()) << r.tudo();
    }
}

// Where a run once spoke TLS, a later one that is offered none (a relay answers
// "500" to AUTH TLS) sends no login in clear, in the default mode, and tries no
// alternate endpoint after the refusal.
TEST_F(EnvioAgendado, NoLoginInClearWhereTlsWasSpokenBefore)
{
    QTemporaryDir pastaCertificados;
    const testsupport::TestCa ca(pastaCertificados.path());
    testsupport::TestCa::Options proprio;
    proprio.selfSigned = true;
    const testsupport::ServerCertificate certificado = ca.issue(QStringLiteral("servidor"), proprio);
    testsupport::ScriptedFtp ftp(QStringLiteral("tls-once"), {}, testsupport::kFtpUser, testsupport::kFtpPassword,
                                 testsupport::ScriptedFtp::Tls{certificado, {}});
    auto inst = std::make_unique<Instalacao>();
    const Execucao antes = executar(*inst, {QStringLiteral("--enviar"), arquivo}, ftp.port(), ftp.port(), trabalho.path(),
                                    std::chrono::seconds(120), {{QStringLiteral("FTPCALDORIA_FTP_TLS_PIN"), certificado.keyPin}});
    ASSERT_TRUE(antes.terminou) << antes.tudo();
    ASSERT_EQ(antes.codigo, 5) << antes.tudo();
    ASSERT_EQ(ftp.commands().count(QStringLiteral("USER caldoria")), 1);

    const Execucao depois = executar(*inst, {QStringLiteral("--enviar"), arquivo}, ftp.port(), ftp.port(), trabalho.path());
    ASSERT_TRUE(depois.terminou) << depois.tudo();
    EXPECT_EQ(depois.codigo, 1) << depois.tudo();
    EXPECT_EQ(ftp.commands().count(QStringLiteral("USER caldoria")), 1) << ftp.commands().join(' ').toStdString();
    EXPECT_EQ(ftp.commands().count(QStringLiteral("AUTH TLS")), 2) << "the primary only: the interception ends the connecting";
    EXPECT_TRUE(depois.linhasDeErro().filter(QStringLiteral("Tentando conectar no endereço alternativo do FTP")).isEmpty()) << depois.tudo();
    EXPECT_EQ(depois.resultado(), QStringLiteral("Não foi possível enviar o arquivo backup da prefeitura.fbk.")) << depois.tudo();
    EXPECT_EQ(depois.linhasDeErro()
                  .filter(QStringLiteral("não aceitou a conexão segura (AUTH TLS), embora este serviço tenha concluído uma conexão "
                                         "segura (TLS) antes: possível interceptação da conexão. O login não foi enviado."))
                  .size(),
              2)
        << "the primary's, and the outcome's reason\n"
        << depois.tudo();
}

// A server's reply that reads like the program's verdict stays inside the failure
// message: the one line at column 0 that is an outcome is the program's own.
TEST_F(EnvioAgendado, NoServerTextPassesForTheOutcome)
{
    auto inst = std::make_unique<Instalacao>();
    testsupport::ScriptedFtp ftp(QStringLiteral("stor-refused-forged"));
    const QString log = trabalho.filePath(QStringLiteral("envio.log"));
    const Execucao r = executar(*inst, {QStringLiteral("--enviar"), arquivo, QStringLiteral("--log"), log}, ftp.port(), ftp.port(),
                                trabalho.path());
    ASSERT_TRUE(r.terminou) << r.tudo();
    EXPECT_EQ(r.codigo, 1) << r.tudo();
    EXPECT_TRUE(r.erros.contains(QStringLiteral("RESULTADO: Arquivo Enviado com Sucesso"))) << "the forgery is there\n" << r.tudo();
    EXPECT_TRUE(r.resultado().startsWith(QStringLiteral("Não foi possível enviar o arquivo backup da prefeitura.fbk."))) << r.tudo();
    const QStringList noArquivo = QString::fromUtf8(readFile(log)).split(QLatin1Char('\n'));
    EXPECT_EQ(noArquivo.filter(QRegularExpression(QStringLiteral("^==="))).size(), 1) << noArquivo.join('\n').toStdString();
}

#ifndef _WIN32
// ---------------------------------------------------------------- runs that always end

// Only a log that would hold the run up is refused, before anything else: a FIFO,
// whose opening waits for a reader. A device such as /dev/null is written to; a
// folder, or a path that cannot be opened, is said on standard error and the backup
// goes all the same, for the backup matters more than its log.
TEST_F(EnvioAgendado, ALogTargetEndsTheRunOnlyWhereItWouldHoldItUp)
{
    const QString fila = trabalho.filePath(QStringLiteral("fila"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fila).constData(), 0600), 0);
    const QString semPasta = trabalho.filePath(QStringLiteral("nao-existe/envio.log"));
    const struct Caso {
        const char* nome;
        QStringList args;
        QMap<QString, QString> extra;
        int codigo;
        QString erro; // the start of the line on standard error about the log; empty: none
    } casos[] = {
        {"--log on a FIFO", {QStringLiteral("--log"), fila}, {}, 2,
         QStringLiteral("O log não pode ser gravado em %1: é uma fila (FIFO), não um arquivo comum").arg(fila)},
        {"FTPCALDORIA_LOG on a FIFO", {}, {{QStringLiteral("FTPCALDORIA_LOG"), fila}}, 2,
         QStringLiteral("O log não pode ser gravado em %1: é uma fila (FIFO), não um arquivo comum").arg(fila)},
        {"--log on /dev/null", {QStringLiteral("--log"), QStringLiteral("/dev/null")}, {}, 0, {}},
        {"FTPCALDORIA_LOG on /dev/null", {}, {{QStringLiteral("FTPCALDORIA_LOG"), QStringLiteral("/dev/null")}}, 0, {}},
        {"--log on a folder", {QStringLiteral("--log"), trabalho.path()}, {}, 0,
         QStringLiteral("O log não pode ser gravado em %1: é uma pasta, não um arquivo comum").arg(trabalho.path())},
        {"--log in a folder that is not there", {QStringLiteral("--log"), semPasta}, {}, 0,
         QStringLiteral("Não foi possível abrir o arquivo de log %1: ").arg(semPasta)},
    };
    auto inst = instalacaoKorv();
    const QString programa = QFileInfo(inst->programa).fileName();
    const QString noServidor = kPastaCliente + QStringLiteral("/backup da prefeitura.fbk");
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        testsupport::ScriptedFtp ftp(QStringLiteral("normal"));
        const Execucao r = executar(*inst, QStringList{QStringLiteral("--enviar"), arquivo} + c.args, ftp.port(), ftp.port(),
                                    trabalho.path(), std::chrono::seconds(60), c.extra);
        ASSERT_TRUE(r.terminou) << r.tudo();
        EXPECT_EQ(r.codigo, c.codigo) << r.tudo();
        const QStringList sobreOLog = r.linhasDeErro().filter(QStringLiteral(" log "));
        if (c.codigo == 2) {
            EXPECT_EQ(r.linhasDeErro(), QStringList{programa + QStringLiteral(": ") + c.erro}) << r.tudo();
            EXPECT_TRUE(ftp.commands().isEmpty());
            continue;
        }
        if (c.erro.isEmpty()) {
            EXPECT_TRUE(sobreOLog.isEmpty()) << r.tudo();
        } else {
            ASSERT_EQ(sobreOLog.size(), 1) << r.tudo();
            EXPECT_TRUE(sobreOLog[0].startsWith(c.erro)) << r.tudo();
        }
        EXPECT_EQ(r.resultado(), QStringLiteral("Arquivo Enviado com Sucesso")) << r.tudo();
        EXPECT_EQ(ftp.files().value(noServidor), testsupport::ScriptedFtp::storedOf(conteudo)) << r.tudo();
    }
}

// A reader of the output that went away (a closed pipe) stops nothing: the file
// goes, and the run ends as it would have.
TEST_F(EnvioAgendado, AClosedOutputIsNoReasonToStop)
{
    auto inst = std::make_unique<Instalacao>();
    testsupport::PyFtpd ftp(raizFtp.path());
    QProcess p;
    p.setProcessEnvironment(ambiente(ftp.port(), ftp.port(), trabalho.path()));
    p.start(inst->programa, {QStringLiteral("--enviar"), arquivo});
    ASSERT_TRUE(p.waitForStarted(10000));
    p.closeReadChannel(QProcess::StandardOutput);
    ASSERT_TRUE(p.waitForFinished(120000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 5) << p.readAllStandardError().toStdString();
    EXPECT_EQ(readFile(raizFtp.path() + kPastaCorrompida + QLatin1Char('/') + unicoNaPastaCompartilhada(raizFtp.path())), conteudo);
}

// Whether the process blocks SIGINT and SIGTERM, as the program does from its first
// instruction on (/proc/PID/status, SigBlk). Before that runs the dynamic loader,
// where no program can take a signal.
bool bloqueiaSinais(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& linha : status.readAll().split('\n')) {
        if (linha.startsWith("SigBlk:")) {
            const quint64 mascara = linha.mid(7).trimmed().toULongLong(nullptr, 16);
            const quint64 ambos = (1ULL << (SIGINT - 1)) | (1ULL << (SIGTERM - 1));
            return (mascara & ambos) == ambos;
        }
    }
    return false;
}

// One moment of the sweep below: two runs, one stopped by SIGTERM and one by SIGINT
// that long after it blocks them; what went wrong, empty when both ended right.
QStringList sinaisNoMomento(const QString& programa, const QProcessEnvironment& env, const QString& arquivo,
                            std::chrono::milliseconds momento)
{
    std::unique_ptr<QProcess> processos[2];
    const int sinais[2] = {SIGTERM, SIGINT};
    QStringList falhas;
    for (auto& p : processos) {
        p = std::make_unique<QProcess>();
        p->setProcessEnvironment(env);
        p->start(programa, {QStringLiteral("--enviar"), arquivo});
    }
    for (auto& p : processos)
        if (!p->waitForStarted(10000) || !testsupport::waitUntil([&] { return bloqueiaSinais(p->processId()); }, std::chrono::seconds(30)))
            falhas << QStringLiteral("at %1 ms: a run did not start").arg(momento.count());
    std::this_thread::sleep_for(momento);
    for (int i = 0; i < 2; ++i)
        ::kill(static_cast<pid_t>(processos[i]->processId()), sinais[i]);
    for (int i = 0; i < 2; ++i) {
        QProcess& p = *processos[i];
        const bool terminou = p.waitForFinished(120000);
        const QString erros = QString::fromUtf8(p.readAllStandardError());
        const QString onde = QStringLiteral("%1 at %2 ms").arg(QString::fromLatin1(sinais[i] == SIGTERM ? "SIGTERM" : "SIGINT")).arg(momento.count());
        if (!terminou) {
            p.kill();
            p.waitForFinished(5000);
            falhas << onde + QStringLiteral(": still running");
        } else if (p.exitStatus() != QProcess::NormalExit) {
            falhas << onde + QStringLiteral(": ended by a signal\n") + erros;
        } else if (p.exitCode() != 1) {
            falhas << onde + QStringLiteral(": exit %1\n").arg(p.exitCode()) + erros;
        } else if (erros.contains(QStringLiteral("Cliente não identificado")) || erros.contains(QStringLiteral("Base Corrompida"))) {
            falhas << onde + QStringLiteral(": corrupted-base mode\n") + erros;
        }
    }
    return falhas;
}

// SIGTERM and SIGINT at every moment of the first 3 s of a run (counted from the
// program's first instruction), through the client database query on a real
// Firebird server: each run ends with exit code 1, never by a signal (143, 130), a
// crash (139) or SIGPIPE (141), and never in corrupted-base mode. Long: a run per
// signal and moment. The moments are runs of their own, each timed from its own
// start, so three of them go at once.
TEST_F(EnvioAgendado, LongSignalsAtEveryMomentEndTheRunWithExitCodeOne)
{
    auto inst = instalacaoKorv();
    testsupport::ScriptedFtp ftp(QStringLiteral("store-stall"));
    const QProcessEnvironment env = ambiente(ftp.port(), ftp.port(), trabalho.path());
    constexpr int kPassos = 60;
    constexpr int kJuntos = 3;
    std::mutex guarda;
    QStringList falhas;
    std::atomic<int> proximo{0};
    std::vector<std::thread> juntos;
    for (int i = 0; i < kJuntos; ++i)
        juntos.emplace_back([&] {
            for (int passo; (passo = proximo++) < kPassos;) {
                const QStringList deste = sinaisNoMomento(inst->programa, env, arquivo, std::chrono::milliseconds(50 * passo));
                std::lock_guard lock(guarda);
                falhas << deste;
            }
        });
    for (std::thread& t : juntos)
        t.join();
    EXPECT_TRUE(falhas.isEmpty()) << falhas.join(QLatin1Char('\n')).toStdString();
}
#endif

} // namespace
