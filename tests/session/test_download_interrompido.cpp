// A download whose data connection fails, every way our scripted server breaks it:
// a passive reply that cannot be read, a port where nobody listens, a connection
// dropped or reset after part of the file, a transfer that stalls, a server that
// says 226 for a file cut short, a control connection closed under the transfer.
// The retry rules decide how often the file is asked for again; the outcome says
// why it failed and what became of the local file. The window only shows these
// outcomes (tests/faults shows two of them there).
#include "SessaoTeste.h"

#include <QDir>
#include <QRegularExpression>

namespace {

using namespace sessiontest;
using namespace std::chrono_literals;

constexpr qint64 kTamanho = 3 << 20;

// However the download breaks, it ends once, as failed: tried again where that can
// help (a break after data came: 1 + 5 attempts), not where it cannot (no data
// connection at all); the earlier local file survives as it was, without one no
// file appears, and no piece is left under any name.
TEST_F(Sessao, ABrokenDownloadIsTriedAgainWhereThatCanHelp)
{
    struct Caso {
        const char* cenario;
        const char* motivo;  // the log's last line, where the technical reason is; empty: the system's words for a reset
        int pedidos;         // RETR sent
        const char* painel;  // the busy panel's few words; ending in "*": their start
        bool parado;         // the data stops for good: only our time-out (1 s here) ends each attempt
    };
    const Caso casos[] = {
        {"pasv-malformed", "Resposta inválida ao PASV: Entering passive mode (no numbers here).", 0, "resposta inválida do servidor", false},
        {"epsv-malformed", "Resposta inválida ao EPSV: Entering extended passive mode (|||port|).", 0, "resposta inválida do servidor", false},
        {"data-port-refused", "Não foi possível abrir a conexão de dados", 0, "transferência interrompida em 0 %", false},
        {"data-drop", "Connection closed; transfer aborted.", 6, "conexão perdida em 98 %", false},
        {"data-reset", "", 6, "conexão perdida em *", false},
        {"short-226", "Transferência incompleta: recebidos 3096576 de 3145728 bytes", 6, "transferência interrompida em 98 %", false},
        {"data-stall", "Tempo esgotado: a transferência de dados ficou parada por 1 s", 6, "conexão perdida em 12 %", true},
        {"control-close-during-transfer", "A conexão foi fechada pelo servidor", 6, "conexão perdida em 100 %", false},
    };
    for (const Caso& c : casos) {
        for (const bool haviaArquivo : {true, false}) {
            SCOPED_TRACE(std::string(c.cenario) + (haviaArquivo ? " over an earlier file" : " to a new file"));
            ScriptedFtp servidor(QString::fromLatin1(c.cenario), {{kPastaCorrompida + QStringLiteral("/dados.bin"), kTamanho}});
            SessionSettings ajustes = ajustesCurtos();
            if (c.parado)
                ajustes.readTimeout = 1s;
            auto s = abrir(servidor, ajustes);
            roteiro.linhas.clear();
            roteiro.respostas = {true}; // replace the earlier file
            QTemporaryDir pasta;
            const QString destino = pasta.filePath(QStringLiteral("dados.bin"));
            if (haviaArquivo)
                testsupport::writeFile(destino, "a cópia de ontem");
            const qsizetype antes = servidor.commands().size();
            QString caixa;
            try {
                s->BaixarArquivo(QStringLiteral("dados.bin"), destino);
                ADD_FAILURE() << "the download went through";
            } catch (const ESessionFailure& e) {
                caixa = caixaDe(e);
            }

            EXPECT_EQ(servidor.commands().mid(antes).filter(QRegularExpression(QStringLiteral("^RETR "))).size(), c.pedidos);
            const QStringList resta = QDir(pasta.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
            if (haviaArquivo) {
                EXPECT_EQ(testsupport::readFile(destino), QByteArray("a cópia de ontem"));
                EXPECT_EQ(resta, QStringList{QStringLiteral("dados.bin")});
            } else {
                EXPECT_EQ(resta, QStringList());
            }
            EXPECT_EQ(roteiro.eventos.filter(QStringLiteral("end ")), QStringList{QStringLiteral("end failed")});
            EXPECT_EQ(roteiro.eventos.last(), QStringLiteral("end failed"));
            const QString painel = QStringLiteral("Falha no download: ") + QString::fromUtf8(c.painel);
            if (painel.endsWith(QLatin1Char('*'))) {
                EXPECT_TRUE(roteiro.falha.startsWith(painel.chopped(1))) << roteiro.falha.toStdString();
            } else {
                EXPECT_EQ(roteiro.falha, painel);
            }
            EXPECT_EQ(caixa.section(QLatin1Char('\n'), 0, 0), QStringLiteral("Não foi possível baixar o arquivo dados.bin."));
            EXPECT_TRUE(caixa.endsWith(haviaArquivo ? QStringLiteral("\n\nO arquivo não foi baixado. O arquivo local anterior foi mantido como estava.")
                                                    : QStringLiteral("\n\nO arquivo não foi baixado; nenhum arquivo foi gravado no seu lugar.")))
                << caixa.toStdString();
            ASSERT_FALSE(roteiro.linhas.isEmpty());
            if (*c.motivo) {
                EXPECT_TRUE(roteiro.linhas.last().contains(QString::fromUtf8(c.motivo))) << roteiro.linhas.join('\n').toStdString();
            }
            roteiro.eventos.clear();
        }
    }
}

} // namespace
