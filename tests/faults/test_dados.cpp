// The data connection fails, in both directions: a passive reply that cannot be
// read, a port where nobody listens, a connection dropped or reset after part of
// the file, a transfer that stalls, a server that says 226 for a file cut short
// or keeps less than it was sent. In each case the listing before it went well.
#include "FalhasJanela.h"

#include <QFileInfo>

namespace {

using namespace falhas;

struct FalhaDeDados {
    const char* cenario;
    const char* mensagem; // empty: the system's own words for a reset, whatever they are
    bool pedido;          // the RETR or STOR went out (the data connection was there)
};

// A download that breaks: the earlier local file survives, without one no file
// appears, no piece is left behind under any name, and no success is claimed.
TEST_F(Falhas, BrokenDownloads)
{
    const FalhaDeDados casos[] = {
        {"pasv-malformed-after-listing", "Resposta inválida ao PASV: Entering passive mode (no numbers here).", false},
        {"epsv-malformed-after-listing", "Resposta inválida ao EPSV: Entering extended passive mode (|||port|).", false},
        {"data-port-refused-after-listing", "Não foi possível abrir a conexão de dados", false},
        {"data-drop-after-listing", "Connection closed; transfer aborted.", true},
        {"data-reset-after-listing", "", true},
        {"short-226-after-listing", "Transferência incompleta: recebidos 1572864 de 3145728 bytes", true},
        {"data-stall-after-listing", "Tempo esgotado: a transferência de dados ficou parada por 2 s", true},
        {"control-close-during-transfer", "A conexão foi fechada pelo servidor", true},
    };
    for (const FalhaDeDados& c : casos) {
        for (const bool haviaArquivo : {true, false}) {
            SCOPED_TRACE(std::string(c.cenario) + (haviaArquivo ? " over an earlier file" : " to a new file"));
            ScriptedFtp servidor(QString::fromLatin1(c.cenario), {{kArquivoRemoto, kTamanho}});
            auto w = janela(servidor.port());
            listarESelecionar(*w, QStringLiteral("dados.bin"));

            QTemporaryDir pasta;
            const QString destino = pasta.filePath(QStringLiteral("dados.bin"));
            if (haviaArquivo)
                writeFile(destino, "a cópia de ontem");
            dialogos->arquivosSalvar = {destino};
            dialogos->respostas = {mb::IdYes};
            dialogos->caixas.clear();
            clicar(*w, w->ui->btnDownloadSelected);

            EXPECT_EQ(servidor.commands().filter(QStringLiteral("RETR")).size(), c.pedido ? 1 : 0);
            if (haviaArquivo) {
                EXPECT_EQ(readFile(destino), QByteArray("a cópia de ontem"));
                EXPECT_EQ(conteudo(pasta.path()), QStringList{QStringLiteral("dados.bin")});
            } else {
                EXPECT_EQ(conteudo(pasta.path()), QStringList());
            }
            semCaixaDeSucesso();
            if (*c.mensagem)
                ultimaLinhaDiz(*w, QString::fromUtf8(c.mensagem));
            else
                EXPECT_FALSE(linhasDoLog(*w).last().isEmpty());
            prontaDeNovo(*w);
            // The download had made the window busy: the panel says it failed.
            EXPECT_EQ(w->ui->lbVerbose->text(), QStringLiteral("Transferência interrompida"));
        }
    }
}

// An upload that cannot be made, breaks, or that the server keeps only in part:
// reported as failed, with the local file untouched.
TEST_F(Falhas, BrokenUploads)
{
    const FalhaDeDados casos[] = {
        {"pasv-malformed-after-listing", "Resposta inválida ao PASV: Entering passive mode (no numbers here).", false},
        {"epsv-malformed-after-listing", "Resposta inválida ao EPSV: Entering extended passive mode (|||port|).", false},
        {"data-port-refused-after-listing", "Não foi possível abrir a conexão de dados", false},
        {"store-drop-after-listing", "", true},
        {"store-stall-after-listing", "Tempo esgotado", true},
        {"store-truncates-after-listing", "Envio incompleto: o servidor guardou 1572864 de 3145728 bytes", true},
    };
    const QByteArray conteudo = ScriptedFtp::patternBytes(kTamanho);
    for (const FalhaDeDados& c : casos) {
        SCOPED_TRACE(c.cenario);
        ScriptedFtp servidor(QString::fromLatin1(c.cenario));
        auto w = janela(servidor.port());
        clicar(*w, w->ui->btnViewFiles);
        ASSERT_EQ(w->ui->PageControl1->currentWidget(), w->ui->TabSheet1) << linhasDoLog(*w).join('\n').toStdString();

        const QString origem = local.filePath(QStringLiteral("envio.bin"));
        writeFile(origem, conteudo);
        const QDateTime modificado = QFileInfo(origem).lastModified();
        dialogos->arquivosAbrir = {origem};
        dialogos->caixas.clear();
        const qsizetype antes = servidor.commands().size();
        clicar(*w, w->ui->btnUpload);

        EXPECT_EQ(servidor.commands().filter(QStringLiteral("STOR")).size(), c.pedido ? 1 : 0);
        EXPECT_EQ(readFile(origem), conteudo);
        EXPECT_EQ(QFileInfo(origem).lastModified(), modificado);
        semCaixaDeSucesso();
        if (*c.mensagem)
            ultimaLinhaDiz(*w, QString::fromUtf8(c.mensagem));
        else
            EXPECT_FALSE(linhasDoLog(*w).last().isEmpty());
        EXPECT_NE(w->ui->lbVerbose->text(), QStringLiteral("Concluído"));
        // A failed upload does not refresh the list.
        const QStringList depois = servidor.commands().mid(antes);
        EXPECT_TRUE(depois.filter(QStringLiteral("MLSD")).isEmpty() && depois.filter(QStringLiteral("LIST")).isEmpty())
            << depois.join(' ').toStdString();
        prontaDeNovo(*w);
    }
}

// A passive reply naming another host is no fault of ours: the data goes to the
// server we talk to, both ways, and nowhere else.
TEST_F(Falhas, PassiveReplyNamingAnotherHost)
{
    ScriptedFtp servidor(QStringLiteral("pasv-foreign-fault-after-listing"), {{kArquivoRemoto, 100000}});
    auto w = janela(servidor.port());
    listarESelecionar(*w, QStringLiteral("dados.bin"));

    const QString destino = local.filePath(QStringLiteral("baixado.bin"));
    dialogos->arquivosSalvar = {destino};
    clicar(*w, w->ui->btnDownloadSelected);
    EXPECT_EQ(readFile(destino), ScriptedFtp::patternBytes(100000));

    const QString origem = local.filePath(QStringLiteral("envio.bin"));
    writeFile(origem, ScriptedFtp::patternBytes(5000));
    dialogos->arquivosAbrir = {origem};
    clicar(*w, w->ui->btnUpload);
    EXPECT_TRUE(servidor.notes().contains(QStringLiteral("stored %1/envio.bin 5000").arg(kPastaCliente)));

    ASSERT_EQ(dialogos->caixas.size(), 2u);
    EXPECT_EQ(dialogos->caixas[0].texto, QStringLiteral("Arquivo Baixado com Sucesso"));
    EXPECT_EQ(dialogos->caixas[1].texto, QStringLiteral("Arquivo Enviado com Sucesso"));
    for (const QString& nota : servidor.notes().filter(QStringLiteral("data connection")))
        EXPECT_EQ(nota, QStringLiteral("data connection from 127.0.0.1"));
    EXPECT_EQ(servidor.commands().count(QStringLiteral("PASV")), 4) << "listing, download, upload, listing after it";
}

} // namespace
