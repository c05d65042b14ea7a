// The log's lines: what a message becomes, the outcome line no other line can
// pass for, and the targets a log may be written to.
#include "LogText.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

TEST(LinhasDoRegistro, OnlyTheOutcomeBeginsWithItsTag)
{
    const QDateTime inicio(QDate(2030, 1, 2), QTime(2, 30, 5));
    const struct {
        const char* nome;
        QString mensagem;
        QStringList linhas;
        QStringList resultado;
    } casos[] = {
        {"one line", QStringLiteral("Arquivo Enviado com Sucesso"), {QStringLiteral("Arquivo Enviado com Sucesso")},
         {QStringLiteral("=== 02/01/2030 02:30:05 RESULTADO: Arquivo Enviado com Sucesso")}},
        {"a server's lines", QStringLiteral("Não foi possível enviar o arquivo a.fbk.\n=== 01/01/2030 02:30:00 RESULTADO: ok"),
         {QStringLiteral("Não foi possível enviar o arquivo a.fbk."), QStringLiteral("  === 01/01/2030 02:30:00 RESULTADO: ok")},
         {QStringLiteral("=== 02/01/2030 02:30:05 RESULTADO: Não foi possível enviar o arquivo a.fbk."),
          QStringLiteral("  === 01/01/2030 02:30:00 RESULTADO: ok")}},
        // A server's reply can be a whole message: then its first line is indented too.
        {"a server's reply as the message", QStringLiteral("=== 01/01/2030 02:30:00 RESULTADO: Arquivo Enviado com Sucesso"),
         {QStringLiteral("  === 01/01/2030 02:30:00 RESULTADO: Arquivo Enviado com Sucesso")},
         {QStringLiteral("=== 02/01/2030 02:30:05 RESULTADO: === 01/01/2030 02:30:00 RESULTADO: Arquivo Enviado com Sucesso")}},
        {"control characters", QStringLiteral("\r=== x"), {QStringLiteral("\\x0D=== x")},
         {QStringLiteral("=== 02/01/2030 02:30:05 RESULTADO: \\x0D=== x")}},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.nome);
        EXPECT_EQ(logLines(c.mensagem), c.linhas);
        EXPECT_EQ(outcomeLines(inicio, c.mensagem), c.resultado);
    }
}

// A log target is refused at once only where it would hold the program up (a
// FIFO); anything else is tried, and what cannot be written says why.
TEST(LinhasDoRegistro, OnlyALogThatWouldHoldTheRunUpIsRefusedAtOnce)
{
    QTemporaryDir pasta;
    const QString arquivo = pasta.filePath(QStringLiteral("envio.log"));
    const QString novo = pasta.filePath(QStringLiteral("novo.log"));
    QFile f(arquivo);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    const auto naoComum = [](const QString& caminho, const char* oQue) {
        return QStringLiteral("O log não pode ser gravado em %1: %2, não um arquivo comum")
            .arg(QDir::toNativeSeparators(caminho), QString::fromUtf8(oQue));
    };
    const struct {
        const char* nome;
        QString caminho;
        QString problema; // logTargetProblem: empty where the run may go on
        QString erro;     // openLogFile's error; empty where it opens
    } casos[] = {
        {"a file", arquivo, {}, {}},
        {"a new file", novo, {}, {}},
        {"a folder", pasta.path(), {}, naoComum(pasta.path(), "é uma pasta")},
#ifndef _WIN32
        {"a FIFO", pasta.filePath(QStringLiteral("fila")), naoComum(pasta.filePath(QStringLiteral("fila")), "é uma fila (FIFO)"),
         naoComum(pasta.filePath(QStringLiteral("fila")), "é uma fila (FIFO)")},
        {"a device that takes text", QStringLiteral("/dev/null"), {}, {}},
#else
        {"a named pipe", QStringLiteral("\\\\.\\pipe\\ftpcaldoria-teste"), naoComum(QStringLiteral("\\\\.\\pipe\\ftpcaldoria-teste"), "é um pipe nomeado"),
         naoComum(QStringLiteral("\\\\.\\pipe\\ftpcaldoria-teste"), "é um pipe nomeado")},
#endif
    };
#ifndef _WIN32
    ASSERT_EQ(::mkfifo(QFile::encodeName(pasta.filePath(QStringLiteral("fila"))).constData(), 0600), 0);
#endif
    for (const auto& c : casos) {
        SCOPED_TRACE(c.nome);
        EXPECT_EQ(logTargetProblem(c.caminho), c.problema);
        QString erro;
        const auto aberto = openLogFile(c.caminho, erro);
        EXPECT_EQ(aberto != nullptr, c.erro.isEmpty());
        EXPECT_EQ(erro, c.erro);
        if (aberto) {
            EXPECT_EQ(aberto->write("linha\n"), 6);
        }
    }
    // A path that cannot be opened says so, with the system's words.
    QString erro;
    EXPECT_EQ(openLogFile(pasta.filePath(QStringLiteral("nao-existe/envio.log")), erro), nullptr);
    EXPECT_TRUE(erro.startsWith(QStringLiteral("Não foi possível abrir o arquivo de log %1: ")
                                    .arg(QDir::toNativeSeparators(pasta.filePath(QStringLiteral("nao-existe/envio.log"))))))
        << erro.toStdString();
}

}
