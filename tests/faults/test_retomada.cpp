// A broken line, a server that goes away, a server that cannot do all a resumed and
// checked transfer asks for, a local file that changes under the transfer, and a
// program started again after an interrupted upload. Each through the real window,
// with what it shows and the bytes on the server and on disk.
#include "FalhasJanela.h"
#include "Formatos.h"

#include <QFileInfo>

namespace {

using namespace falhas;
using testsupport::CuttingProxy;
using testsupport::PyFtpd;
using testsupport::Vsftpd;
using namespace std::chrono_literals;

const QString kRetomando = QStringLiteral("Conexão perdida; nova tentativa em 1 s (1 de 5)");

// Bytes of a file's transfers (uploads, or downloads) that crossed the relay.
qint64 bytesMovidos(const CuttingProxy& relay, bool envio)
{
    qint64 total = 0;
    for (const CuttingProxy::Relayed& r : relay.relayed())
        if ((r.command == QLatin1String("RETR")) != envio)
            total += r.bytes;
    return total;
}

// The files of a folder, hidden ones too.
QStringList arquivosEm(const QString& pasta)
{
    return QDir(pasta).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// A real server, behind the relay or not, with the client folder already there.
struct Servidor {
    QTemporaryDir raiz;
    std::unique_ptr<PyFtpd> py;
    std::unique_ptr<Vsftpd> vs;

    explicit Servidor(bool vsftpd)
    {
        criarArquivo(raiz.path(), kPastaCliente.mid(1) + QStringLiteral("/leia-me.txt"), "x");
        if (vsftpd)
            vs = std::make_unique<Vsftpd>(raiz.path());
        else
            py = std::make_unique<PyFtpd>(raiz.path());
    }
    int port() const { return py ? py->port() : vs->port(); }
    QString pasta() const { return raiz.path() + kPastaCliente; }
    QString arquivo(const QString& nome) const { return pasta() + QLatin1Char('/') + nome; }
    void entregar() const
    {
        if (vs)
            vs->handOver(pasta());
    }
};

// The data connection is cut at 30 % while the server stays up: the upload goes on
// from the server's size of its temporary file, the download from what it had
// received; both end whole, with next to nothing sent twice.
TEST_F(Falhas, ADataConnectionCutAt30PercentGoesOnWhereItStopped)
{
    const qint64 tamanho = 100 << 20;
    const qint64 corte = tamanho * 30 / 100;
    // 1 % of the file and one buffer. What the relay counts as passed on at the cut
    // includes what still sat in its socket's send buffer, which the reset throws
    // away: 1 MiB asked for, which Linux doubles.
    const qint64 folga = tamanho / 100 + (2 << 20);
    const QByteArray conteudo = ScriptedFtp::patternBytes(tamanho);
    for (const bool vsftpd : {false, true}) {
        SCOPED_TRACE(vsftpd ? "vsftpd" : "pyftpdlib");
        Servidor servidor(vsftpd);
        // Each direction through a relay of its own, which cuts once.
        auto relay = std::make_unique<CuttingProxy>(servidor.port(), QList<qint64>{corte});
        auto w = janela(relay->port());
        AcessoTeste::NovasTentativas(*w, pausasCurtas(1s));
        clicar(*w, w->ui->btnViewFiles);

        const QString origem = local.filePath(QStringLiteral("base.fbk"));
        writeFile(origem, conteudo);
        dialogos->arquivosAbrir = {origem};
        dialogos->caixas.clear();
        {
            Vista vista(*w);
            clicar(*w, w->ui->btnUpload);
            EXPECT_TRUE(vista.rotulos().contains(kRetomando)) << vista.rotulos().join(QLatin1Char('|')).toStdString();
            const qint64 movidos = bytesMovidos(*relay, true);
            std::printf("%s upload: %lld bytes crossed the line for a file of %lld\n", vsftpd ? "vsftpd" : "pyftpdlib",
                        static_cast<long long>(movidos), static_cast<long long>(tamanho));
            EXPECT_LE(movidos - tamanho, folga);
        }
        EXPECT_EQ(readFile(servidor.arquivo(QStringLiteral("base.fbk"))), conteudo);
        EXPECT_EQ(arquivosEm(servidor.pasta()), (QStringList{QStringLiteral("base.fbk"), QStringLiteral("leia-me.txt")}));
        EXPECT_EQ(w->ui->lbVerbose->text(), QStringLiteral("Concluído"));
        EXPECT_EQ(w->ui->pgbr->value(), w->ui->pgbr->maximum());
        ASSERT_EQ(dialogos->caixas.size(), 1u);
        EXPECT_EQ(dialogos->caixas[0].texto, QStringLiteral("Arquivo Enviado com Sucesso"));
        EXPECT_EQ(linhasDoLog(*w).filter(QStringLiteral("Conexão perdida: ")).size(), 1);

        selecionarLinha(*w, linhaDe(*w, QStringLiteral("base.fbk")));
        const QString destino = local.filePath(QStringLiteral("baixado.fbk"));
        dialogos->arquivosSalvar = {destino};
        {
            relay = std::make_unique<CuttingProxy>(servidor.port(), QList<qint64>{corte});
            apontarFtp(relay->port());
            Vista vista(*w);
            clicar(*w, w->ui->btnDownloadSelected);
            EXPECT_TRUE(vista.rotulos().contains(kRetomando)) << vista.rotulos().join(QLatin1Char('|')).toStdString();
            EXPECT_LE(bytesMovidos(*relay, false) - tamanho, folga);
        }
        EXPECT_EQ(readFile(destino), conteudo);
        EXPECT_EQ(arquivosEm(local.path()), (QStringList{QStringLiteral("baixado.fbk"), QStringLiteral("base.fbk")}));
        EXPECT_EQ(w->ui->lbVerbose->text(), QStringLiteral("Concluído"));
        ASSERT_EQ(dialogos->caixas.size(), 2u);
        EXPECT_EQ(dialogos->caixas[1].texto, QStringLiteral("Arquivo Baixado com Sucesso"));
        EXPECT_EQ(linhasDoLog(*w).filter(QStringLiteral("Conexão perdida: ")).size(), 2);
        QFile::remove(origem);
        QFile::remove(destino);
        prontaDeNovo(*w);
    }
}

// The server goes away in the middle of a transfer (both connections reset) and
// comes back: the transfer reconnects, enters the client folder again and goes on.
// The relay holds the way back until the server has restarted, so the new attempt
// always meets the new server, and the program's time-outs wait for it.
TEST_F(Falhas, AServerRestartedDuringATransfer)
{
    const qint64 tamanho = 12 << 20;
    const qint64 corte = tamanho * 30 / 100;
    const QByteArray conteudo = ScriptedFtp::patternBytes(tamanho);
    Servidor servidor(false);
    // Each direction through a relay of its own, which cuts once.
    const auto novoRelay = [&] { return std::make_unique<CuttingProxy>(servidor.port(), QList<qint64>{corte}, true, true); };
    auto relay = novoRelay();
    auto w = janela(relay->port());
    AcessoTeste::Ajustes(*w, [](SessionSettings& a) { a.readTimeout = kEsperaSegura; });
    AcessoTeste::NovasTentativas(*w, pausasCurtas(1s));
    clicar(*w, w->ui->btnViewFiles);

    const auto reiniciadoNoCorte = [&](Vista& vista) {
        vista.quando([&] { return relay->waitForCut(0ms); },
                     [&] {
                         servidor.py->restart();
                         relay->release();
                     });
    };
    const QString origem = local.filePath(QStringLiteral("base.fbk"));
    writeFile(origem, conteudo);
    dialogos->arquivosAbrir = {origem};
    {
        Vista vista(*w);
        reiniciadoNoCorte(vista);
        clicar(*w, w->ui->btnUpload);
        ASSERT_TRUE(vista.fez(0));
        EXPECT_TRUE(vista.rotulos().contains(kRetomando)) << vista.rotulos().join(QLatin1Char('|')).toStdString();
        EXPECT_LE(bytesMovidos(*relay, true) - tamanho, tamanho / 100 + (2 << 20));
    }
    EXPECT_EQ(readFile(servidor.arquivo(QStringLiteral("base.fbk"))), conteudo);
    EXPECT_EQ(arquivosEm(servidor.pasta()), (QStringList{QStringLiteral("base.fbk"), QStringLiteral("leia-me.txt")}));

    selecionarLinha(*w, linhaDe(*w, QStringLiteral("base.fbk")));
    const QString destino = local.filePath(QStringLiteral("baixado.fbk"));
    dialogos->arquivosSalvar = {destino};
    {
        relay = novoRelay();
        apontarFtp(relay->port());
        Vista vista(*w);
        reiniciadoNoCorte(vista);
        clicar(*w, w->ui->btnDownloadSelected);
        ASSERT_TRUE(vista.fez(0));
        EXPECT_TRUE(vista.rotulos().contains(kRetomando)) << vista.rotulos().join(QLatin1Char('|')).toStdString();
    }
    EXPECT_EQ(readFile(destino), conteudo);

    const QStringList log = linhasDoLog(*w);
    // Each break: a new connection, primary endpoint first, and the folder walked
    // again (and once more for the download, whose relay is a new one).
    EXPECT_GE(log.count(kPrincipal), 4) << log.join('\n').toStdString();
    EXPECT_GE(log.count(QStringLiteral("Pasta do Cliente Criada com Sucesso")), 4);
    std::vector<QString> textos;
    for (const auto& c : dialogos->caixas)
        textos.push_back(c.texto);
    EXPECT_EQ(textos, (std::vector<QString>{QStringLiteral("Arquivo Enviado com Sucesso"), QStringLiteral("Arquivo Baixado com Sucesso")}));
    EXPECT_EQ(w->ui->lbVerbose->text(), QStringLiteral("Concluído"));
}

// A server that refuses REST: an upload goes on with APPE, a download starts over;
// one that refuses APPE too starts the upload over. Once, and then it is checked
// like any other (the scripted server computes digests).
TEST_F(Falhas, AServerThatCannotRestart)
{
    struct Caso {
        const char* cenario;
        int stor;
        int appe;
        const char* registro; // a line the log must hold
    };
    const Caso casos[] = {
        {"rest-refused", 1, 1, "Continuando o envio"},
        {"rest-appe-refused", 2, 1, "O servidor não continua um envio interrompido: o envio recomeça do início"},
    };
    const qint64 tamanho = 3 << 20;
    const QByteArray conteudo = ScriptedFtp::patternBytes(tamanho);
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.cenario);
        ScriptedFtp servidor(QString::fromLatin1(c.cenario));
        auto relay = std::make_unique<CuttingProxy>(servidor.port(), QList<qint64>{tamanho * 3 / 10});
        auto w = janela(relay->port());
        clicar(*w, w->ui->btnViewFiles);
        const QString origem = local.filePath(QStringLiteral("base.fbk"));
        writeFile(origem, conteudo);
        dialogos->arquivosAbrir = {origem};
        dialogos->caixas.clear();
        clicar(*w, w->ui->btnUpload);

        const QStringList comandos = servidor.commands();
        EXPECT_EQ(comandos.filter(QRegularExpression(QStringLiteral("^STOR "))).size(), c.stor) << comandos.join(' ').toStdString();
        EXPECT_EQ(comandos.filter(QRegularExpression(QStringLiteral("^APPE "))).size(), c.appe) << comandos.join(' ').toStdString();
        EXPECT_FALSE(linhasDoLog(*w).filter(QString::fromUtf8(c.registro)).isEmpty()) << linhasDoLog(*w).join('\n').toStdString();
        EXPECT_TRUE(linhasDoLog(*w).contains(QStringLiteral("Arquivo base.fbk conferido: resumo SHA-256 igual ao do arquivo local")));
        ASSERT_FALSE(dialogos->caixas.empty());
        EXPECT_EQ(dialogos->caixas.back().texto, QStringLiteral("Arquivo Enviado com Sucesso"));
        EXPECT_EQ(nomesNaLista(*w), QStringList{QStringLiteral("base.fbk")});

        // Back again: the download cannot go on, so it starts over, once.
        relay = std::make_unique<CuttingProxy>(servidor.port(), QList<qint64>{tamanho * 3 / 10});
        apontarFtp(relay->port());
        selecionarLinha(*w, linhaDe(*w, QStringLiteral("base.fbk")));
        const QString destino = local.filePath(QStringLiteral("baixado.fbk"));
        dialogos->arquivosSalvar = {destino};
        clicar(*w, w->ui->btnDownloadSelected);
        EXPECT_EQ(readFile(destino), conteudo);
        EXPECT_EQ(servidor.commands().filter(QRegularExpression(QStringLiteral("^RETR "))).size(), 2);
        EXPECT_EQ(dialogos->caixas.back().texto, QStringLiteral("Arquivo Baixado com Sucesso"));
        EXPECT_EQ(w->ui->lbVerbose->text(), QStringLiteral("Concluído"));
        QFile::remove(destino);
    }
}

// A server that refuses to rename onto an existing name: the old copy steps aside
// only once the new one is checked, and goes once the new one has the name.
TEST_F(Falhas, RenameOntoAnExistingNameRefused)
{
    ScriptedFtp servidor(QStringLiteral("rename-no-replace"), {{kArquivoRemoto, 1000}});
    auto w = janela(servidor.port());
    clicar(*w, w->ui->btnViewFiles);
    const QString origem = local.filePath(QStringLiteral("dados.bin"));
    const QByteArray conteudo = QByteArray(200000, 'n');
    writeFile(origem, conteudo);
    dialogos->arquivosAbrir = {origem};
    dialogos->respostas = {mb::IdYes};
    clicar(*w, w->ui->btnUpload);

    const QString parcial = nomeParcial(QStringLiteral("dados.bin"), origem);
    const QStringList comandos = servidor.commands();
    // The old copy steps aside under a temporary name of its own, the new one takes
    // the name, and only then does the old one go.
    const QString aparte = QStringLiteral("dados\\.bin\\.[0-9a-f]+-[0-9a-f]+-a[0-9a-z]+\\.parcial");
    const QStringList passos{QStringLiteral("HASH ") + QRegularExpression::escape(parcial), QStringLiteral("RNFR ") + QRegularExpression::escape(parcial),
                             QStringLiteral("RNTO dados\\.bin"), QStringLiteral("RNFR dados\\.bin"), QStringLiteral("RNTO ") + aparte,
                             QStringLiteral("RNFR ") + QRegularExpression::escape(parcial), QStringLiteral("RNTO dados\\.bin"),
                             QStringLiteral("DELE ") + aparte};
    qsizetype desde = 0;
    for (const QString& passo : passos) {
        desde = comandos.indexOf(QRegularExpression(QStringLiteral("^%1$").arg(passo)), desde);
        ASSERT_GE(desde, 0) << passo.toStdString() << " in order, in: " << comandos.join(' ').toStdString();
        ++desde;
    }
    EXPECT_TRUE(comandos.filter(QRegularExpression(QStringLiteral("^DELE dados\\.bin$"))).isEmpty());
    ASSERT_EQ(dialogos->caixas.size(), 2u);
    EXPECT_EQ(dialogos->caixas[0].texto, QStringLiteral("O Arquivo Já Existe no FTP. Deseja Substituir?"));
    EXPECT_EQ(dialogos->caixas[1].texto, QStringLiteral("Arquivo Enviado com Sucesso"));
    EXPECT_EQ(nomesNaLista(*w), QStringList{QStringLiteral("dados.bin")});

    selecionarLinha(*w, 0);
    const QString destino = local.filePath(QStringLiteral("de-volta.bin"));
    dialogos->arquivosSalvar = {destino};
    clicar(*w, w->ui->btnDownloadSelected);
    EXPECT_EQ(readFile(destino), conteudo);
}

// A server that does not answer SIZE, or answers it once and then refuses it with
// the code of a missing file: the question before replacing is asked all the same,
// and sizes come from MLST or from a listing of the one name. Where nothing tells a
// size, the success message says so.
TEST_F(Falhas, SizeRefused)
{
    struct Caso {
        const char* cenario;
        bool tamanhoConhecido;
    };
    const Caso casos[] = {
        {"size-refused", true},
        {"size-refused-later", true},
        {"size-from-listing", true},
        {"size-unknown", false},
    };
    const QByteArray conteudo = ScriptedFtp::patternBytes(200000);
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.cenario);
        ScriptedFtp servidor(QString::fromLatin1(c.cenario), {{kArquivoRemoto, 1000}});
        auto w = janela(servidor.port());
        clicar(*w, w->ui->btnViewFiles);
        const QString origem = local.filePath(QStringLiteral("dados.bin"));
        writeFile(origem, conteudo);
        dialogos->arquivosAbrir = {origem};
        dialogos->respostas = {mb::IdYes};
        dialogos->caixas.clear();
        clicar(*w, w->ui->btnUpload);
        ASSERT_EQ(dialogos->caixas.size(), 2u) << linhasDoLog(*w).join('\n').toStdString();
        EXPECT_EQ(dialogos->caixas[0].texto, QStringLiteral("O Arquivo Já Existe no FTP. Deseja Substituir?"));
        EXPECT_EQ(dialogos->caixas[0].titulo, QStringLiteral("Substituir"));
        EXPECT_EQ(dialogos->caixas[0].flags, mb::Question);
        EXPECT_EQ(dialogos->caixas[1].texto, c.tamanhoConhecido
                                                 ? QStringLiteral("Arquivo Enviado com Sucesso")
                                                 : QStringLiteral("Arquivo enviado, mas o servidor não informou o tamanho para conferência"));
        EXPECT_EQ(w->ui->lbVerbose->text(), QStringLiteral("Concluído"));

        selecionarLinha(*w, linhaDe(*w, QStringLiteral("dados.bin")));
        const QString destino = local.filePath(QStringLiteral("baixado.bin"));
        dialogos->arquivosSalvar = {destino};
        clicar(*w, w->ui->btnDownloadSelected);
        EXPECT_EQ(readFile(destino), conteudo);
        EXPECT_EQ(w->ui->pgbr->text(), c.tamanhoConhecido ? QStringLiteral("dados.bin: 100 % · 195,3 KiB de 195,3 KiB") : QStringLiteral("dados.bin: 195,3 KiB"));
        EXPECT_EQ(dialogos->caixas.back().texto,
                  c.tamanhoConhecido ? QStringLiteral("Arquivo Baixado com Sucesso")
                                     : QStringLiteral("Arquivo baixado, mas o servidor não informou o tamanho para conferência"));
        QFile::remove(destino);
        prontaDeNovo(*w);
    }
}

// Another program appends to the local file while it is sent: the copy on the
// server would be of no version that ever existed, so the upload fails, the earlier
// copy on the server stays, and no piece is left there. The server holds the upload
// after its first 64 KiB until the file has grown.
TEST_F(Falhas, ALocalFileThatGrowsDuringTheSend)
{
    const QString remoto = kPastaCliente + QStringLiteral("/envio.bin");
    ScriptedFtp servidor(QStringLiteral("normal"),
                         {.files = {{remoto.mid(1), 1000}}, .faults = {ScriptedFtp::Fault::holdAt(QStringLiteral("STOR:envio.bin*#1"), 64 << 10)}});
    auto w = janela(servidor.port());
    AcessoTeste::Ajustes(*w, [](SessionSettings& a) { a.readTimeout = kEsperaSegura; });
    clicar(*w, w->ui->btnViewFiles);
    const QString origem = local.filePath(QStringLiteral("envio.bin"));
    writeFile(origem, ScriptedFtp::patternBytes(3 << 20));
    Vista vista(*w);
    naEspera(vista, servidor, [&] {
        QFile f(origem);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write("mais uma linha do registro");
    });
    dialogos->arquivosAbrir = {origem};
    dialogos->respostas = {mb::IdYes};
    dialogos->caixas.clear();
    clicar(*w, w->ui->btnUpload);

    ASSERT_TRUE(vista.fez(0));
    semCaixaDeSucesso();
    caixaDeErro(QStringLiteral("Não foi possível enviar o arquivo envio.bin."),
                QStringLiteral("O arquivo não foi enviado. A cópia anterior no servidor foi mantida."));
    EXPECT_TRUE(dialogos->caixas.back().texto.contains(QStringLiteral("O arquivo local foi alterado enquanto era enviado")));
    EXPECT_EQ(w->ui->lbVerbose->text(), QStringLiteral("Falha no envio: o arquivo local mudou durante o envio"));
    EXPECT_EQ(servidor.files(), (QMap<QString, ScriptedFtp::Stored>{{remoto, ScriptedFtp::storedOf(ScriptedFtp::patternBytes(1000))}}));
    logAberto(*w);
    prontaDeNovo(*w);
}

// A file appears under the chosen name while the download runs (the server holds
// the download after its first 64 KiB until the file is there): the user is asked
// again, and keeps it or has it replaced; nothing else is left either way.
TEST_F(Falhas, ATargetCreatedDuringADownload)
{
    for (const bool substituir : {false, true}) {
        SCOPED_TRACE(substituir ? "replaced" : "kept");
        ScriptedFtp servidor(QStringLiteral("normal"),
                             {.files = {{kArquivoRemoto, kTamanho}}, .faults = {ScriptedFtp::Fault::holdAt(QStringLiteral("RETR#1"), 64 << 10)}});
        auto w = janela(servidor.port());
        AcessoTeste::Ajustes(*w, [](SessionSettings& a) { a.readTimeout = kEsperaSegura; });
        listarESelecionar(*w, QStringLiteral("dados.bin"));
        QTemporaryDir pasta;
        const QString destino = pasta.filePath(QStringLiteral("dados.bin"));
        Vista vista(*w);
        naEspera(vista, servidor, [&] { writeFile(destino, "outro programa gravou isto"); });
        dialogos->arquivosSalvar = {destino};
        dialogos->respostas = {substituir ? mb::IdYes : mb::IdNo};
        dialogos->caixas.clear();
        clicar(*w, w->ui->btnDownloadSelected);

        ASSERT_TRUE(vista.fez(0));
        ASSERT_FALSE(dialogos->caixas.empty());
        EXPECT_EQ(dialogos->caixas[0].texto, QStringLiteral("Deseja Substituir o Arquivo ") + destino + QStringLiteral(" ?"));
        EXPECT_EQ(dialogos->caixas[0].titulo, QStringLiteral("Substituir Arquivo Local"));
        EXPECT_EQ(conteudo(pasta.path()), QStringList{QStringLiteral("dados.bin")});
        if (substituir) {
            EXPECT_EQ(readFile(destino), ScriptedFtp::patternBytes(kTamanho));
            EXPECT_EQ(dialogos->caixas.back().texto, QStringLiteral("Arquivo Baixado com Sucesso"));
            EXPECT_EQ(w->ui->lbVerbose->text(), QStringLiteral("Concluído"));
        } else {
            EXPECT_EQ(readFile(destino), QByteArray("outro programa gravou isto"));
            EXPECT_EQ(dialogos->caixas.size(), 1u);
            EXPECT_EQ(w->ui->lbVerbose->text(), QStringLiteral("Transferência cancelada"));
            ultimaLinhaDiz(*w, QStringLiteral("Download descartado: o arquivo %1 foi mantido").arg(destino));
        }
        prontaDeNovo(*w);
    }
}

// The program is closed (here: the line breaks and no new attempt is made) with part
// of an upload on the server. A later run that sends the same file offers to go on
// from there; a changed file is sent whole, and the other version's part is left.
TEST_F(Falhas, AnUploadInterruptedInAnEarlierRun)
{
    const qint64 tamanho = 10000000;
    const QByteArray conteudo = ScriptedFtp::patternBytes(tamanho);
    for (const bool mesmoArquivo : {true, false}) {
        SCOPED_TRACE(mesmoArquivo ? "the same file" : "a changed file");
        Servidor servidor(false);
        CuttingProxy relay(servidor.port(), {4000000}, true);
        const QString origem = local.filePath(QStringLiteral("base.fbk"));
        writeFile(origem, conteudo);
        const QString parcial = nomeParcial(QStringLiteral("base.fbk"), origem);
        {
            auto w = janela(relay.port());
            AcessoTeste::NovasTentativas(*w, RetryPolicy{{}});
            clicar(*w, w->ui->btnViewFiles);
            dialogos->arquivosAbrir = {origem};
            dialogos->caixas.clear();
            clicar(*w, w->ui->btnUpload);
            caixaDeErro(QStringLiteral("Não foi possível enviar o arquivo base.fbk."),
                        QStringLiteral("A parte já enviada ficou no servidor como %1; um novo envio deste arquivo pode continuar dela.").arg(parcial));
            // What had left our side when the line broke: at least what reached the server.
            EXPECT_TRUE(w->ui->lbVerbose->text().startsWith(QStringLiteral("Falha no envio: conexão perdida em "))) << w->ui->lbVerbose->text().toStdString();
            EXPECT_EQ(arquivosEm(servidor.pasta()), (QStringList{parcial, QStringLiteral("leia-me.txt")}));
        }
        if (!mesmoArquivo) {
            QFile f(origem);
            ASSERT_TRUE(f.open(QIODevice::ReadWrite));
            ASSERT_TRUE(f.setFileTime(QFileInfo(origem).lastModified().addSecs(60), QFileDevice::FileModificationTime));
        }
        auto w = janela(relay.port());
        clicar(*w, w->ui->btnViewFiles);
        dialogos->arquivosAbrir = {origem};
        dialogos->respostas = {mb::IdYes};
        dialogos->caixas.clear();
        clicar(*w, w->ui->btnUpload);

        // The cut passed 4,000,000 bytes on; the server kept those it had read
        // before the reset, and the upload went on from there.
        // (Reads of what the server holds, before going on and after, are RETRs.)
        QList<CuttingProxy::Relayed> envios = relay.relayed();
        envios.removeIf([](const CuttingProxy::Relayed& r) { return r.command == QLatin1String("RETR"); });
        ASSERT_EQ(envios.size(), 2);
        const qint64 noServidor = envios[1].start;
        EXPECT_EQ(envios[1].bytes, tamanho - noServidor);
        if (mesmoArquivo) {
            EXPECT_GT(noServidor, 0);
            EXPECT_LE(noServidor, 4000000);
        } else {
            EXPECT_EQ(noServidor, 0);
        }
        std::vector<QString> textos;
        for (const auto& c : dialogos->caixas)
            textos.push_back(c.texto);
        if (mesmoArquivo)
            EXPECT_EQ(textos, (std::vector<QString>{QStringLiteral("Existe um envio interrompido deste arquivo (%1 de 9,5 MiB). "
                                                                   "Deseja continuar de onde parou?")
                                                        .arg(TextoBytes(noServidor, QLocale())),
                                                    QStringLiteral("Arquivo Enviado com Sucesso")}));
        else
            EXPECT_EQ(textos, std::vector<QString>{QStringLiteral("Arquivo Enviado com Sucesso")});
        EXPECT_EQ(readFile(servidor.arquivo(QStringLiteral("base.fbk"))), conteudo);
        // The part of the other version stays: younger than a week, it may be
        // another machine's upload, going on now.
        QStringList esperados{QStringLiteral("base.fbk"), QStringLiteral("leia-me.txt")};
        if (!mesmoArquivo)
            esperados.insert(1, parcial);
        EXPECT_EQ(arquivosEm(servidor.pasta()), esperados);
        EXPECT_EQ(w->ui->lbVerbose->text(), QStringLiteral("Concluído"));
    }
}

} // namespace
