// The local side fails: a source that is gone or no file, a target that cannot
// be written (as root, so permission bits stop nothing: a path through a regular
// file, a read-only file system, a folder), a disk that fills up.
#include "FalhasJanela.h"

#include <QFileInfo>

namespace {

using namespace falhas;

TEST_F(Falhas, UnusableSourcesSendNothing)
{
    ScriptedFtp servidor(QStringLiteral("normal"));
    auto w = janela(servidor.port());
    clicar(*w, w->ui->btnViewFiles);

    writeFile(local.filePath(QStringLiteral("arquivo")), "x");
    ASSERT_TRUE(QFile::link(local.filePath(QStringLiteral("sumiu-tambem.bin")), local.filePath(QStringLiteral("quebrado.bin"))));
    struct Caso {
        const char* nome;
        QString origem;
    };
    const Caso casos[] = {
        {"removed", local.filePath(QStringLiteral("sumiu.bin"))},
        {"a folder", local.path()},
        {"a dangling link", local.filePath(QStringLiteral("quebrado.bin"))},
        {"below a regular file", local.filePath(QStringLiteral("arquivo/dados.bin"))},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        dialogos->arquivosAbrir = {c.origem};
        dialogos->caixas.clear();
        clicar(*w, w->ui->btnUpload);
        ultimaLinhaDiz(*w, QStringLiteral("Não foi possível abrir o arquivo local %1").arg(c.origem));
        EXPECT_TRUE(servidor.commands().filter(QStringLiteral("STOR")).isEmpty());
        semCaixaDeSucesso();
        prontaDeNovo(*w);
    }
    EXPECT_EQ(readFile(local.filePath(QStringLiteral("arquivo"))), QByteArray("x"));
}

// A download whose target cannot be written: the reason in the log, any earlier
// file intact, no piece left behind.
TEST_F(Falhas, UnwritableTargets)
{
    ScriptedFtp servidor(QStringLiteral("normal"), {{kArquivoRemoto, kTamanho}});
    auto w = janela(servidor.port());
    listarESelecionar(*w, QStringLiteral("dados.bin"));

    const auto baixar = [&](const QString& destino) {
        dialogos->arquivosSalvar = {destino};
        dialogos->respostas = {mb::IdYes};
        dialogos->caixas.clear();
        clicar(*w, w->ui->btnDownloadSelected);
        semCaixaDeSucesso();
        prontaDeNovo(*w);
    };

    {
        SCOPED_TRACE("a folder that cannot exist: its parent is a file");
        writeFile(local.filePath(QStringLiteral("arquivo")), "x");
        baixar(local.filePath(QStringLiteral("arquivo/sub/dados.bin")));
        ultimaLinhaDiz(*w, QStringLiteral("Não foi possível criar o arquivo temporário em %1").arg(local.filePath(QStringLiteral("arquivo/sub"))));
        EXPECT_EQ(readFile(local.filePath(QStringLiteral("arquivo"))), QByteArray("x"));
    }
    {
        SCOPED_TRACE("the chosen name is a folder");
        QDir().mkpath(local.filePath(QStringLiteral("pasta/dentro")));
        baixar(local.filePath(QStringLiteral("pasta")));
        ultimaLinhaDiz(*w, QStringLiteral("O destino é uma pasta: %1").arg(local.filePath(QStringLiteral("pasta"))));
        EXPECT_EQ(conteudo(local.filePath(QStringLiteral("pasta"))), QStringList{QStringLiteral("dentro")});
    }
    {
        SCOPED_TRACE("a read-only file system");
        Montagem somenteLeitura(QStringLiteral("size=1m"));
        if (!somenteLeitura.ok()) {
            std::printf("read-only case skipped: cannot mount a tmpfs here (%s)\n", qPrintable(somenteLeitura.porque()));
        } else {
            const QString destino = somenteLeitura.filePath(QStringLiteral("dados.bin"));
            writeFile(destino, "anterior");
            ASSERT_TRUE(somenteLeitura.remontar(QStringLiteral("ro")));
            baixar(destino);
            ultimaLinhaDiz(*w, QStringLiteral("Não foi possível criar o arquivo temporário em %1").arg(somenteLeitura.path()));
            EXPECT_EQ(readFile(destino), QByteArray("anterior"));
            EXPECT_EQ(conteudo(somenteLeitura.path()), QStringList{QStringLiteral("dados.bin")});
        }
    }
    {
        SCOPED_TRACE("a full disk: 1 MiB of room for a file of 3 MiB");
        Montagem pequeno(QStringLiteral("size=1m"));
        if (!pequeno.ok()) {
            std::printf("disk-full case skipped: cannot mount a tmpfs here (%s)\n", qPrintable(pequeno.porque()));
        } else {
            for (const bool haviaArquivo : {true, false}) {
                SCOPED_TRACE(haviaArquivo ? "over an earlier file" : "to a new file");
                const QString destino = pequeno.filePath(QStringLiteral("dados.bin"));
                if (haviaArquivo)
                    writeFile(destino, "anterior");
                baixar(destino);
                ultimaLinhaDiz(*w, QStringLiteral("Erro ao gravar o arquivo local %1").arg(destino));
                if (haviaArquivo) {
                    EXPECT_EQ(readFile(destino), QByteArray("anterior"));
                    EXPECT_EQ(conteudo(pequeno.path()), QStringList{QStringLiteral("dados.bin")});
                    QFile::remove(destino);
                } else {
                    EXPECT_EQ(conteudo(pequeno.path()), QStringList());
                }
            }
        }
    }
    // After all that, the connection still serves a download that can succeed.
    const QString destino = local.filePath(QStringLiteral("bom.bin"));
    dialogos->arquivosSalvar = {destino};
    clicar(*w, w->ui->btnDownloadSelected);
    EXPECT_EQ(readFile(destino), ScriptedFtp::patternBytes(kTamanho));
}

} // namespace
