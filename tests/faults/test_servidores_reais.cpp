// The same faults with real servers (pyftpdlib, vsftpd) where they can be made on
// demand: a server that goes away between two operations and another that takes
// its place, and a server whose disk fills up during an upload.
#include "FalhasJanela.h"

namespace {

using namespace falhas;
using testsupport::PyFtpd;
using testsupport::Vsftpd;

// The server stops after a listing: the next action finds the connection closed,
// tries both endpoints and says why it cannot go on. Another server comes up in its
// place: the next actions connect to it (primary endpoint first) and work.
TEST_F(Falhas, RealServerGoneBetweenOperations)
{
    QTemporaryDir raiz;
    criarArquivo(raiz.path(), kPastaCliente.mid(1) + QStringLiteral("/antes.bin"), ScriptedFtp::patternBytes(1000));
    auto py = std::make_unique<PyFtpd>(raiz.path());
    const int portaAntiga = py->port();
    auto w = janela(portaAntiga);
    clicar(*w, w->ui->btnViewFiles);
    ASSERT_EQ(nomesNaLista(*w), QStringList{QStringLiteral("antes.bin")}) << linhasDoLog(*w).join('\n').toStdString();

    py.reset();
    clicar(*w, w->ui->btnRefresh);
    ultimaLinhaDiz(*w, QStringLiteral("Não foi possível conectar em 127.0.0.1:%1").arg(portaAntiga));
    EXPECT_EQ(linhasNaLista(*w), 0);
    EXPECT_EQ(linhasDoLog(*w).count(kPrincipal), 2);
    EXPECT_EQ(linhasDoLog(*w).count(kAlternativo), 1);
    prontaDeNovo(*w);

    Vsftpd vs(raiz.path());
    apontarFtp(vs.port(), testsupport::closedPort());
    const QByteArray conteudo = ScriptedFtp::patternBytes(300000);
    const QString origem = local.filePath(QStringLiteral("envio.bin"));
    writeFile(origem, conteudo);
    dialogos->arquivosAbrir = {origem};
    clicar(*w, w->ui->btnUpload);
    EXPECT_EQ(readFile(raiz.filePath(kPastaCliente.mid(1) + QStringLiteral("/envio.bin"))), conteudo);
    EXPECT_EQ(nomesNaLista(*w), (QStringList{QStringLiteral("antes.bin"), QStringLiteral("envio.bin")}));

    selecionarLinha(*w, linhaDe(*w, QStringLiteral("antes.bin")));
    const QString destino = local.filePath(QStringLiteral("antes.bin"));
    dialogos->arquivosSalvar = {destino};
    clicar(*w, w->ui->btnDownloadSelected);
    EXPECT_EQ(readFile(destino), ScriptedFtp::patternBytes(1000));

    ASSERT_EQ(dialogos->caixas.size(), 2u);
    EXPECT_EQ(dialogos->caixas[0].texto, QStringLiteral("Arquivo Enviado com Sucesso"));
    EXPECT_EQ(dialogos->caixas[1].texto, QStringLiteral("Arquivo Baixado com Sucesso"));
    EXPECT_EQ(linhasDoLog(*w).count(kPrincipal), 3);
    EXPECT_EQ(linhasDoLog(*w).count(kAlternativo), 1);
    prontaDeNovo(*w);
}

// An upload larger than the room left on the server's disk: the server's refusal
// reaches the log, no success is claimed, the local file is untouched, and the
// connection serves the next listing.
TEST_F(Falhas, RealServerWithAFullDisk)
{
    for (const bool vsftpd : {false, true}) {
        SCOPED_TRACE(vsftpd ? "vsftpd" : "pyftpdlib");
        Montagem raiz(QStringLiteral("size=1m"));
        if (!raiz.ok()) {
            std::printf("server disk-full case skipped: cannot mount a tmpfs here (%s)\n", qPrintable(raiz.porque()));
            return;
        }
        criarArquivo(raiz.path(), kPastaCliente.mid(1) + QStringLiteral("/leia-me.txt"), "x");
        std::unique_ptr<PyFtpd> py;
        std::unique_ptr<Vsftpd> vs;
        if (vsftpd)
            vs = std::make_unique<Vsftpd>(raiz.path());
        else
            py = std::make_unique<PyFtpd>(raiz.path());
        auto w = janela(vsftpd ? vs->port() : py->port());
        clicar(*w, w->ui->btnViewFiles);
        ASSERT_EQ(nomesNaLista(*w), QStringList{QStringLiteral("leia-me.txt")}) << linhasDoLog(*w).join('\n').toStdString();

        const QByteArray conteudo = ScriptedFtp::patternBytes(kTamanho);
        const QString origem = local.filePath(QStringLiteral("grande.bin"));
        writeFile(origem, conteudo);
        dialogos->arquivosAbrir = {origem};
        dialogos->caixas.clear();
        clicar(*w, w->ui->btnUpload);
        EXPECT_EQ(readFile(origem), conteudo);
        semCaixaDeSucesso();
        const QStringList log = linhasDoLog(*w);
        std::printf("%s refused the upload with: %s\n", vsftpd ? "vsftpd" : "pyftpdlib", qPrintable(log.last()));
        EXPECT_FALSE(log.last().startsWith(QStringLiteral("Arquivo grande.bin enviado"))) << log.join('\n').toStdString();
        prontaDeNovo(*w);

        clicar(*w, w->ui->btnRefresh);
        EXPECT_EQ(w->ui->PageControl1->currentWidget(), w->ui->TabSheet1) << linhasDoLog(*w).join('\n').toStdString();
        EXPECT_TRUE(nomesNaLista(*w).contains(QStringLiteral("leia-me.txt")));
    }
}

} // namespace
