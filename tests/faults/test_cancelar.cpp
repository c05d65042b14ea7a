// The user stops a transfer: with "Cancelar" while the data moves, while the
// program connects, while it waits before a new attempt, or by closing the window.
// Each server here would keep the operation waiting far longer than the case runs,
// so only the cancel can end it.
#include "FalhasJanela.h"

namespace {

using namespace falhas;
using namespace std::chrono_literals;

const QString kCancelada = QStringLiteral("Transferência cancelada pelo usuário");

enum class Acao { Enviar, Baixar };

TEST_F(Falhas, CancelStopsTheTransferAndLeavesNothingPartial)
{
    struct Caso {
        const char* nome;
        const char* cenario;
        Acao acao;
        const char* quando; // the panel's label when "Cancelar" is clicked; ending in "*": its start
        bool dados;         // data must have moved first
    };
    const Caso casos[] = {
        {"an upload", "store-stall", Acao::Enviar, "Aguarde, enviando arquivo...", true},
        {"a download", "data-stall-after-listing", Acao::Baixar, "Aguarde, baixando arquivo...", true},
        {"a connection attempt", "silent", Acao::Enviar, "Conectando ao servidor FTP...", false},
        {"a pause before a new attempt", "store-drop-after-listing", Acao::Enviar, "Conexão perdida; nova tentativa em *", false},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        ScriptedFtp servidor(QString::fromLatin1(c.cenario), {{kArquivoRemoto, kTamanho}});
        auto w = janela(servidor.port());
        AcessoTeste::Ajustes(*w, [](SessionSettings& a) { a.readTimeout = 30s; });
        AcessoTeste::NovasTentativas(*w, pausasCurtas(30s));
        QTemporaryDir pasta;
        const QString destino = pasta.filePath(QStringLiteral("dados.bin"));
        writeFile(destino, "a cópia de ontem");
        QPushButton* botao = w->ui->btnUpload;
        if (c.acao == Acao::Baixar) {
            listarESelecionar(*w, QStringLiteral("dados.bin"));
            dialogos->arquivosSalvar = {destino};
            dialogos->respostas = {mb::IdYes};
            botao = w->ui->btnDownloadSelected;
        } else {
            if (QByteArray(c.cenario).endsWith("-after-listing"))
                clicar(*w, w->ui->btnViewFiles);
            const QString origem = local.filePath(QStringLiteral("envio.bin"));
            writeFile(origem, ScriptedFtp::patternBytes(kTamanho));
            dialogos->arquivosAbrir = {origem};
        }
        dialogos->caixas.clear();

        Vista vista(*w);
        const QString quando = QString::fromUtf8(c.quando);
        vista.quando(
            [&] {
                const QString rotulo = w->ui->lbVerbose->text();
                const bool nessaHora = quando.endsWith(QLatin1Char('*')) ? rotulo.startsWith(quando.chopped(1)) : rotulo == quando;
                return w->ui->btnCancelar->isVisible() && nessaHora && (!c.dados || w->ui->pgbr->value() > 0);
            },
            [&] { w->ui->btnCancelar->click(); });
        clicar(*w, botao);

        ASSERT_TRUE(vista.fez(0)) << vista.rotulos().join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(linhasDoLog(*w).last(), kCancelada);
        EXPECT_EQ(w->ui->lbVerbose->text(), QStringLiteral("Transferência cancelada"));
        EXPECT_FALSE(w->ui->btnCancelar->isVisible());
        for (const auto& caixa : dialogos->caixas)
            EXPECT_EQ(caixa.flags, mb::Question) << "only the question before replacing the local file: " << caixa.texto.toStdString();
        EXPECT_EQ(linhasDoLog(*w).count(kAlternativo), 0) << "a cancel is no failure to fall back from";
        // Nothing partial under a final name: on the server nothing was renamed, and
        // the local file is as it was, alone.
        EXPECT_TRUE(servidor.notes().filter(QStringLiteral("renamed")).isEmpty());
        EXPECT_EQ(readFile(destino), QByteArray("a cópia de ontem"));
        EXPECT_EQ(conteudo(pasta.path()), QStringList{QStringLiteral("dados.bin")});
        prontaDeNovo(*w);
    }
}

// Closing the window while a transfer runs asks first. "Não" lets it go on to its
// end; "Sim" stops it and closes the window. The server holds the upload after its
// first 64 KiB while the window is closed (and, once stopped, for good).
TEST_F(Falhas, ClosingTheWindowDuringATransferAsks)
{
    const QString pergunta = QStringLiteral("Há uma transferência em andamento (envio.bin). Deseja cancelá-la e sair?");
    for (const bool sair : {false, true}) {
        SCOPED_TRACE(sair ? "Sim" : "Não");
        ScriptedFtp servidor(QStringLiteral("normal"), {.faults = {ScriptedFtp::Fault::holdAt(QStringLiteral("STOR:envio.bin*#1"), 64 << 10)}});
        auto w = janela(servidor.port());
        AcessoTeste::Ajustes(*w, [](SessionSettings& a) { a.readTimeout = kEsperaSegura; });
        const QString origem = local.filePath(QStringLiteral("envio.bin"));
        writeFile(origem, ScriptedFtp::patternBytes(kTamanho));
        dialogos->arquivosAbrir = {origem};
        dialogos->respostas = {sair ? mb::IdYes : mb::IdNo};
        dialogos->caixas.clear();
        Vista vista(*w);
        naEspera(vista, servidor, [&] { w->close(); }, sair ? Depois::Segurar : Depois::Soltar);
        clicar(*w, w->ui->btnUpload);
        ASSERT_TRUE(vista.fez(0));
        ASSERT_FALSE(dialogos->caixas.empty());
        EXPECT_EQ(dialogos->caixas[0].texto, pergunta);
        EXPECT_EQ(dialogos->caixas[0].flags, mb::Question | mb::DefaultButton2);
        if (sair) {
            EXPECT_TRUE(testsupport::waitUntil([&] { return !w->isVisible(); }, 10s));
            EXPECT_EQ(linhasDoLog(*w).last(), kCancelada);
            EXPECT_EQ(dialogos->caixas.size(), 1u);
            EXPECT_TRUE(servidor.notes().filter(QStringLiteral("renamed")).isEmpty());
        } else {
            EXPECT_TRUE(w->isVisible());
            ASSERT_EQ(dialogos->caixas.size(), 2u);
            EXPECT_EQ(dialogos->caixas[1].texto, QStringLiteral("Arquivo Enviado com Sucesso"));
            EXPECT_EQ(w->ui->lbVerbose->text(), QStringLiteral("Concluído"));
            EXPECT_TRUE(servidor.notes().contains(
                QStringLiteral("renamed %1/%2 to %1/envio.bin").arg(kPastaCliente, nomeParcial(QStringLiteral("envio.bin"), origem))));
            prontaDeNovo(*w);
        }
    }
}

} // namespace
