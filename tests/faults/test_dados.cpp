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
    int pedidos;          // RETR or STOR sent: 0 when the data connection never came, 6 when each break was tried again
    const char* painel;   // the busy panel after "Falha no ...: "; ending in "*": its start
};

// The busy panel shows what the failure was, never "Concluído".
void painelDiz(TfPrincipal& w, const QString& esperado)
{
    const QString texto = w.ui->lbVerbose->text();
    if (esperado.endsWith(QLatin1Char('*')))
        EXPECT_TRUE(texto.startsWith(esperado.chopped(1))) << texto.toStdString();
    else
        EXPECT_EQ(texto, esperado);
}

// A download that breaks, as the window shows it: the panel and an error box that
// say what became of the file, the log opened, the window ready again; the earlier
// local file survives, without one no file appears. Every way a download breaks,
// and the retry rules, are the session's (tests/session,
// ABrokenDownloadIsTriedAgainWhereThatCanHelp): the window shows the outcome the
// session gives, the same way for each, here for a break tried again over an
// earlier file and for one that is not tried again, to a new file.
TEST_F(Falhas, BrokenDownloads)
{
    struct Caso {
        FalhaDeDados falha;
        bool haviaArquivo;
    };
    const Caso casos[] = {
        {{"data-drop-after-listing", "Connection closed; transfer aborted.", 6, "conexão perdida em 98 %"}, true},
        {{"data-port-refused-after-listing", "Não foi possível abrir a conexão de dados", 0, "transferência interrompida em 0 %"}, false},
    };
    for (const auto& [c, haviaArquivo] : casos) {
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

        EXPECT_EQ(servidor.commands().filter(QStringLiteral("RETR")).size(), c.pedidos);
        if (haviaArquivo) {
            EXPECT_EQ(readFile(destino), QByteArray("a cópia de ontem"));
            EXPECT_EQ(conteudo(pasta.path()), QStringList{QStringLiteral("dados.bin")});
        } else {
            EXPECT_EQ(conteudo(pasta.path()), QStringList());
        }
        semCaixaDeSucesso();
        caixaDeErro(QStringLiteral("Não foi possível baixar o arquivo dados.bin."),
                    haviaArquivo ? QStringLiteral("O arquivo não foi baixado. O arquivo local anterior foi mantido como estava.")
                                 : QStringLiteral("O arquivo não foi baixado; nenhum arquivo foi gravado no seu lugar."));
        ultimaLinhaDiz(*w, QString::fromUtf8(c.mensagem));
        prontaDeNovo(*w);
        painelDiz(*w, QStringLiteral("Falha no download: ") + QString::fromUtf8(c.painel));
        logAberto(*w);
    }
}

// An upload that cannot be made, breaks, or that the server keeps only in part:
// tried again where that can help, then reported as failed, with the local file
// untouched and nothing under the file's name on the server.
TEST_F(Falhas, BrokenUploads)
{
    const FalhaDeDados casos[] = {
        {"pasv-malformed-after-listing", "Resposta inválida ao PASV: Entering passive mode (no numbers here).", 0,
         "resposta inválida do servidor"},
        {"epsv-malformed-after-listing", "Resposta inválida ao EPSV: Entering extended passive mode (|||port|).", 0,
         "resposta inválida do servidor"},
        {"data-port-refused-after-listing", "Não foi possível abrir a conexão de dados", 0, "transferência interrompida em 0 %"},
        {"store-drop-after-listing", "", 6, "conexão perdida em *"},
        {"store-stall-after-listing", "Tempo esgotado", 6, "conexão perdida em *"},
        {"store-truncates-after-listing", "Envio incompleto: o servidor guardou 3096576 de 3145728 bytes", 6,
         "transferência interrompida em 100 %"},
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

        EXPECT_EQ(servidor.commands().filter(QStringLiteral("STOR")).size() + servidor.commands().filter(QStringLiteral("APPE")).size(),
                  c.pedidos);
        EXPECT_EQ(readFile(origem), conteudo);
        EXPECT_EQ(QFileInfo(origem).lastModified(), modificado);
        semCaixaDeSucesso();
        caixaDeErro(QStringLiteral("Não foi possível enviar o arquivo envio.bin."),
                    QStringLiteral("O arquivo não foi enviado; nenhum arquivo chamado envio.bin foi criado no servidor."));
        if (*c.mensagem)
            ultimaLinhaDiz(*w, QString::fromUtf8(c.mensagem));
        else
            EXPECT_FALSE(linhasDoLog(*w).last().isEmpty());
        painelDiz(*w, QStringLiteral("Falha no envio: ") + QString::fromUtf8(c.painel));
        // Nothing was renamed to the final name, and a failed upload does not refresh the list.
        EXPECT_TRUE(servidor.notes().filter(QStringLiteral("renamed")).isEmpty()) << servidor.notes().join('\n').toStdString();
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
    EXPECT_TRUE(servidor.notes().contains(QStringLiteral("renamed %1/%2 to %1/envio.bin").arg(kPastaCliente, nomeParcial("envio.bin", origem))));

    ASSERT_EQ(dialogos->caixas.size(), 2u);
    EXPECT_EQ(dialogos->caixas[0].texto, QStringLiteral("Arquivo Baixado com Sucesso"));
    EXPECT_EQ(dialogos->caixas[1].texto, QStringLiteral("Arquivo Enviado com Sucesso"));
    for (const QString& nota : servidor.notes().filter(QStringLiteral("data connection")))
        EXPECT_EQ(nota, QStringLiteral("data connection from 127.0.0.1"));
    EXPECT_EQ(servidor.commands().count(QStringLiteral("PASV")), 5)
        << "listing, download, upload, the search for older interrupted uploads, listing after it";
}

} // namespace
