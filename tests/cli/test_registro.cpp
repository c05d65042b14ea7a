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

TEST(LinhasDoRegistro, ALogIsARegularFileOrNone)
{
    QTemporaryDir pasta;
    const QString arquivo = pasta.filePath(QStringLiteral("envio.log"));
    const QString novo = pasta.filePath(QStringLiteral("novo.log"));
    QFile f(arquivo);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    const struct {
        const char* nome;
        QString caminho;
        QString problema; // empty: a log may go there
    } casos[] = {
        {"a file", arquivo, {}},
        {"a new file", novo, {}},
        {"a folder", pasta.path(), QStringLiteral("é uma pasta")},
#ifndef _WIN32
        {"a FIFO", pasta.filePath(QStringLiteral("fila")), QStringLiteral("é uma fila (FIFO)")},
        {"a device", QStringLiteral("/dev/null"), QStringLiteral("é um dispositivo")},
#endif
    };
#ifndef _WIN32
    ASSERT_EQ(::mkfifo(QFile::encodeName(pasta.filePath(QStringLiteral("fila"))).constData(), 0600), 0);
#endif
    for (const auto& c : casos) {
        SCOPED_TRACE(c.nome);
        const QString esperado = c.problema.isEmpty() ? QString()
                                                      : QStringLiteral("O log não pode ser gravado em %1: %2, não um arquivo comum")
                                                            .arg(QDir::toNativeSeparators(c.caminho), c.problema);
        EXPECT_EQ(logTargetProblem(c.caminho), esperado);
        QString erro;
        const auto aberto = openLogFile(c.caminho, erro);
        EXPECT_EQ(aberto != nullptr, c.problema.isEmpty());
        EXPECT_EQ(erro, esperado);
        if (aberto) {
            EXPECT_EQ(aberto->write("linha\n"), 6);
        }
    }
}

}
