// The office that runs the program alone: a scheduled job started wrong, a server
// that is down when the job starts, and two runs of one file on one machine. The
// real executable, without a display and without LANG, as cron starts it.
#include "Execucao.h"
#include "FtpServers.h"
#include "Instalacao.h"
#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

#ifndef _WIN32
#include <csignal>
#endif

namespace {

using namespace e2e;
using testsupport::readFile;

// cron's environment: no display, no locale at all.
const QMap<QString, QString> kSemLocale{{QStringLiteral("LC_ALL"), QString()}, {QStringLiteral("LANG"), QString()}};

class Desassistido : public ::testing::Test {
protected:
    QTemporaryDir trabalho;
    QString arquivo;
    QByteArray conteudo = testsupport::ScriptedFtp::patternBytes(3 << 20);

    void SetUp() override
    {
        arquivo = trabalho.filePath(QStringLiteral("backup.fbk"));
        testsupport::writeFile(arquivo, conteudo);
    }
};

// A run that reads its standard error as it comes, to act at a known line.
struct Acompanhada {
    std::unique_ptr<QProcess> processo;
    QByteArray erros;

    // Waits until standard error holds a line that matches.
    bool esperarLinha(const QRegularExpression& forma, std::chrono::seconds limite = std::chrono::seconds(120))
    {
        return testsupport::waitUntil(
            [&] {
                processo->waitForReadyRead(50);
                erros += processo->readAllStandardError();
                return forma.match(QString::fromUtf8(erros)).hasMatch();
            },
            limite);
    }
    Execucao terminar()
    {
        Execucao r = esperar(*processo);
        r.erros = QString::fromUtf8(erros) + r.erros;
        return r;
    }
};

// A scheduled job started wrong never opens a window, never ends in Qt's abort
// (134), and says what is wrong in Portuguese, also in its --log.
TEST_F(Desassistido, AJobStartedWrongEndsWithItsCodeAndAPortugueseLine)
{
    auto inst = std::make_unique<Instalacao>();
    const QString programa = QFileInfo(inst->programa).fileName();
    const QString log = trabalho.filePath(QStringLiteral("tarefa.log"));
    struct Caso {
        const char* nome;
        QStringList args;
        int codigo;
        QStringList erros;
    };
    std::vector<Caso> casos{
        {"a typo before --enviar",
         {QStringLiteral("--substitur"), QStringLiteral("--enviar"), arquivo, QStringLiteral("--log"), log},
         2,
         {programa + QStringLiteral(": opção desconhecida: --substitur"),
          QStringLiteral("Uso: %1 --enviar ARQUIVO [--substituir] [--tentar-por DURAÇÃO] [--log ARQUIVO]").arg(programa),
          QStringLiteral("Para mais informações: %1 --help").arg(programa)}},
        {"an unknown option alone",
         {QStringLiteral("--bogus")},
         2,
         {programa + QStringLiteral(": opção desconhecida: --bogus"),
          QStringLiteral("Uso: %1 --enviar ARQUIVO [--substituir] [--tentar-por DURAÇÃO] [--log ARQUIVO]").arg(programa),
          QStringLiteral("Para mais informações: %1 --help").arg(programa)}},
    };
#ifndef _WIN32
    // Windows always has a display: there the window opens.
    casos.insert(casos.end(), {
        {"a file as the first argument",
         {arquivo},
         7,
         {QStringLiteral("%1: a janela não pode ser aberta: não há tela (nem DISPLAY nem WAYLAND_DISPLAY). Para enviar um arquivo "
                         "sem a janela, como numa tarefa agendada: %1 --enviar %2")
              .arg(programa, QDir::toNativeSeparators(arquivo))}},
        {"no argument at all",
         {},
         7,
         {QStringLiteral("%1: a janela não pode ser aberta: não há tela (nem DISPLAY nem WAYLAND_DISPLAY). Para enviar um arquivo "
                         "sem a janela, como numa tarefa agendada: %1 --enviar ARQUIVO")
              .arg(programa)}},
    });
#endif
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        testsupport::ScriptedFtp ftp(QStringLiteral("normal"));
        const Execucao r = executar(*inst, c.args, ftp.port(), ftp.port(), trabalho.path(), std::chrono::seconds(60), kSemLocale);
        ASSERT_TRUE(r.terminou) << r.tudo();
        EXPECT_EQ(r.codigo, c.codigo) << r.tudo();
        EXPECT_EQ(r.linhasDeErro(), c.erros) << r.tudo();
        EXPECT_TRUE(r.linhasDaSaida().isEmpty()) << r.tudo();
        EXPECT_TRUE(ftp.commands().isEmpty());
    }
    // The job's log says why nothing was sent that night.
    // Lines end in CRLF on Windows.
    const QStringList linhas = QString::fromUtf8(readFile(log)).remove(QLatin1Char('\r')).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(linhas.size(), 2) << linhas.join('\n').toStdString();
    EXPECT_TRUE(linhas[1].endsWith(QStringLiteral(" RESULTADO: Uso incorreto: opção desconhecida: --substitur (código de saída 2)")))
        << linhas[1].toStdString();
}

// A server that is down when the job starts and up a while later: the run tries
// again with growing pauses, logging each attempt with its time, and sends. The
// server comes up once the second attempt has failed: a known point, not a time.
TEST_F(Desassistido, ARunWaitsForAServerThatComesBack)
{
    QTemporaryDir raizFtp;
    testsupport::PyFtpd ftp(raizFtp.path());
    ftp.stop();
    auto inst = instalacaoKorv();
    const QString log = trabalho.filePath(QStringLiteral("tarefa.log"));
    Acompanhada run{iniciar(*inst, {QStringLiteral("--enviar"), arquivo, QStringLiteral("--tentar-por"), QStringLiteral("3m"),
                                    QStringLiteral("--log"), log},
                            ftp.port(), ftp.port(), trabalho.path(), kSemLocale),
                    {}};
    ASSERT_TRUE(run.esperarLinha(QRegularExpression(QStringLiteral("A tentativa 2 falhou")))) << run.erros.toStdString();
    ftp.startAgain();
    const Execucao r = run.terminar();
    ASSERT_TRUE(r.terminou) << r.tudo();
    EXPECT_EQ(r.codigo, 0) << r.tudo();
    EXPECT_EQ(readFile(raizFtp.path() + kPastaCliente + QStringLiteral("/backup.fbk")), conteudo) << r.tudo();
    EXPECT_EQ(r.resultado(), QStringLiteral("Arquivo Enviado com Sucesso")) << r.tudo();
    // No locale at all, and the amounts are Brazilian all the same.
    ASSERT_FALSE(r.linhasDaSaida().isEmpty()) << r.tudo();
    EXPECT_EQ(r.linhasDaSaida().last(), QStringLiteral("Enviado: 3,0 MiB")) << r.tudo();

    // Each attempt with its time and why it failed; the pauses grow: 10 s, then 20 s.
    const QString hora = QStringLiteral("\\d\\d:\\d\\d:\\d\\d");
    const QStringList esperadas{
        QStringLiteral("^Tentativa 1 às %1; novas tentativas, se o servidor não responder, até %1$").arg(hora),
        QStringLiteral("^A tentativa 1 falhou às %1 \\(Falha no envio: o servidor não respondeu\\); nova tentativa em 10 s, às %1$").arg(hora),
        QStringLiteral("^Tentativa 2 às %1$").arg(hora),
        QStringLiteral("^A tentativa 2 falhou às %1 \\(Falha no envio: o servidor não respondeu\\); nova tentativa em 20 s, às %1$").arg(hora),
        QStringLiteral("^Tentativa 3 às %1$").arg(hora),
    };
    QStringList tentativas = r.linhasDeErro().filter(QRegularExpression(QStringLiteral("[Tt]entativa \\d")));
    ASSERT_EQ(tentativas.size(), esperadas.size()) << r.tudo();
    for (qsizetype i = 0; i < esperadas.size(); ++i)
        EXPECT_TRUE(QRegularExpression(esperadas[i]).match(tentativas[i]).hasMatch()) << tentativas[i].toStdString();
    // The log file holds the same, and ends with the duration and the speed.
    const QString doArquivo = QString::fromUtf8(readFile(log)).remove(QLatin1Char('\r'));
    for (const QString& t : tentativas)
        EXPECT_TRUE(doArquivo.contains(t)) << t.toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("--- [^\\n]*: fim do envio de [^\\n]*; duração: [^\\n]*; velocidade média: ([\\d,]+ [KMG]?i?B/s|não medida) ---\\n$"))
                    .match(doArquivo)
                    .hasMatch())
        << doArquivo.toStdString();
}

#ifndef _WIN32
// Ctrl+C (SIGINT) during a pause between attempts ends the run at once, as not sent,
// rather than when the pause or --tentar-por would have ended.
TEST_F(Desassistido, AnInterruptDuringAPauseEndsTheRunAtOnce)
{
    auto inst = std::make_unique<Instalacao>();
    Acompanhada run{iniciar(*inst, {QStringLiteral("--enviar"), arquivo, QStringLiteral("--tentar-por"), QStringLiteral("2h")},
                            testsupport::closedPort(), testsupport::closedPort(), trabalho.path(), kSemLocale),
                    {}};
    ASSERT_TRUE(run.esperarLinha(QRegularExpression(QStringLiteral("A tentativa 1 falhou .*; nova tentativa em 10 s")))) << run.erros.toStdString();
    ::kill(static_cast<pid_t>(run.processo->processId()), SIGINT);
    const Execucao r = run.terminar();
    ASSERT_TRUE(r.terminou) << r.tudo();
    EXPECT_EQ(r.codigo, 1) << r.tudo();
    EXPECT_EQ(r.resultado(), QStringLiteral("Envio cancelado pelo usuário durante a espera pela tentativa 2")) << r.tudo();
    EXPECT_TRUE(r.linhasDeErro().filter(QRegularExpression(QStringLiteral("^Tentativa 2"))).isEmpty()) << r.tudo();
}
#endif

// What waiting cannot change ends the run at the first attempt: a name taken
// without --substituir, a file the server refuses.
TEST_F(Desassistido, WhatWaitingCannotChangeIsNotTriedAgain)
{
    auto inst = std::make_unique<Instalacao>();
    const struct Caso {
        const char* nome;
        testsupport::ScriptedFtp::Fault falha;
        int codigo;
    } casos[] = {
        {"the file refused", testsupport::ScriptedFtp::Fault::reply(QStringLiteral("STOR#1"), QStringLiteral("553 Tipo de arquivo não permitido.")), 1},
        {"the server full", testsupport::ScriptedFtp::Fault::reply(QStringLiteral("STOR#1"), QStringLiteral("452 Insufficient storage space.")), 1},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        testsupport::ScriptedFtp ftp(QStringLiteral("normal"), testsupport::ScriptedFtp::Options{.faults = {c.falha}});
        const Execucao r = executar(*inst, {QStringLiteral("--enviar"), arquivo, QStringLiteral("--tentar-por"), QStringLiteral("2h")},
                                    ftp.port(), ftp.port(), trabalho.path(), std::chrono::seconds(120), kSemLocale);
        ASSERT_TRUE(r.terminou) << r.tudo();
        EXPECT_EQ(r.codigo, c.codigo) << r.tudo();
        EXPECT_EQ(r.linhasDeErro().filter(QRegularExpression(QStringLiteral("^Tentativa \\d"))).size(), 1) << r.tudo();
        EXPECT_TRUE(r.linhasDeErro().filter(QStringLiteral("nova tentativa em")).isEmpty()) << r.tudo();
    }
}

// Two runs of one file on one machine, the second started while the first's upload
// is held on the server: the second waits for the first and says so, never writes
// the same temporary upload; both end truthfully, and the server's files are whole.
TEST_F(Desassistido, TwoRunsOfOneFileOneAfterTheOther)
{
    auto inst = std::make_unique<Instalacao>();
    testsupport::ScriptedFtp ftp(QStringLiteral("normal"),
                                 testsupport::ScriptedFtp::Options{.faults = {testsupport::ScriptedFtp::Fault::holdAt(QStringLiteral("STOR#1"), 1 << 20)}});
    Acompanhada primeira{iniciar(*inst, {QStringLiteral("--enviar"), arquivo}, ftp.port(), ftp.port(), trabalho.path(), kSemLocale), {}};
    ASSERT_FALSE(ftp.waitForHold(std::chrono::seconds(60)).isEmpty()) << primeira.erros.toStdString();
    Acompanhada segunda{iniciar(*inst, {QStringLiteral("--enviar"), arquivo}, ftp.port(), ftp.port(), trabalho.path(), kSemLocale), {}};
    ASSERT_TRUE(segunda.esperarLinha(QRegularExpression(
        QStringLiteral("O arquivo .*backup\\.fbk está sendo enviado por outra execução deste programa neste computador \\(o processo %1\\); "
                       "este envio espera que ela termine, até \\d\\d:\\d\\d:\\d\\d")
            .arg(primeira.processo->processId()))))
        << segunda.erros.toStdString();
    // The second has not logged in while the first held the file.
    EXPECT_EQ(ftp.commands().filter(QRegularExpression(QStringLiteral("^USER "))).size(), 1) << ftp.commands().join(' ').toStdString();
    ftp.release();

    const Execucao a = primeira.terminar();
    const Execucao b = segunda.terminar();
    ASSERT_TRUE(a.terminou && b.terminou) << a.tudo() << b.tudo();
    // No system here: each went to the shared folder under its own name.
    EXPECT_EQ(a.codigo, 5) << a.tudo();
    EXPECT_EQ(b.codigo, 5) << b.tudo();
    EXPECT_TRUE(b.linhasDeErro().filter(QRegularExpression(QStringLiteral("^A outra execução terminou às "))).size() == 1) << b.tudo();
    ASSERT_FALSE(a.linhasDaSaida().isEmpty());
    ASSERT_FALSE(b.linhasDaSaida().isEmpty());
    const QString nomeA = a.linhasDaSaida().last();
    const QString nomeB = b.linhasDaSaida().last();
    EXPECT_TRUE(a.resultado().startsWith(QStringLiteral("Enviado para a pasta compartilhada de base corrompida como %1 — ").arg(nomeA))) << a.tudo();
    EXPECT_TRUE(b.resultado().startsWith(QStringLiteral("Enviado para a pasta compartilhada de base corrompida como %1 — ").arg(nomeB))) << b.tudo();
    // The server holds both, whole, and nothing else.
    const auto arquivos = ftp.files();
    const testsupport::ScriptedFtp::Stored inteiro = testsupport::ScriptedFtp::storedOf(conteudo);
    QStringList nomes;
    for (auto it = arquivos.begin(); it != arquivos.end(); ++it) {
        nomes << QFileInfo(it.key()).fileName();
        EXPECT_EQ(it.value(), inteiro) << it.key().toStdString();
    }
    nomes.sort();
    QStringList esperados{nomeA, nomeB};
    esperados.sort();
    EXPECT_EQ(nomes, esperados);
}

}
