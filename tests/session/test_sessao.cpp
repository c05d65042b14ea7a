// The FTP session without a window: what it reports, what it asks, and what it
// sends. Nothing here runs an event loop, so every call runs inline, as it does for
// a run from the command line.
#include "FtpServers.h"
#include "FtpSession.h"
#include "TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>

namespace {

using testsupport::ScriptedFtp;

const QString kPastaCorrompida = QStringLiteral("gCALDORIA/Cidades/_corrompida");

// Records what the session reports and answers its questions from a script.
class Roteiro : public FtpSessionEvents {
public:
    QStringList eventos; // what was reported and asked, in order
    QStringList linhas; // the log
    std::deque<bool> respostas;

    void log(const QString& line) override { linhas << line; }
    void clientCaption(const QString& caption) override { eventos << QStringLiteral("caption ") + caption; }
    void transferBegin(TWorkMode mode, std::int64_t total) override
    {
        eventos << QStringLiteral("begin %1 %2").arg(mode == wmWrite ? "write" : "read").arg(total);
    }
    void transferProgress(TWorkMode, std::int64_t soFar) override { ultimoProgresso = soFar; }
    void transferEnd(TWorkMode, TransferOutcome outcome) override
    {
        const char* como[] = {"completed", "failed", "cancelled"};
        eventos << QStringLiteral("end ") + QLatin1String(como[static_cast<int>(outcome)]);
    }
    bool replaceRemoteFile(const QString& name) override { return responder(QStringLiteral("replace remote ") + name); }
    bool replaceLocalFile(const QString& localPath) override { return responder(QStringLiteral("replace local ") + localPath); }
    void uniqueNameChosen(const QString& name) override { eventos << QStringLiteral("unique ") + name; }

    std::int64_t ultimoProgresso = -1;

private:
    bool responder(const QString& pergunta)
    {
        eventos << pergunta;
        const bool r = !respostas.empty() && respostas.front();
        if (!respostas.empty())
            respostas.pop_front();
        return r;
    }
};

class Sessao : public ::testing::Test {
protected:
    QTemporaryDir local;
    Roteiro roteiro;

    // A session with no installed system: it works in the shared folder of
    // corrupted-base mode, which needs no database.
    std::unique_ptr<FtpSession> abrir(const ScriptedFtp& servidor)
    {
        qputenv("FTPCALDORIA_FTP_HOST", QByteArray("127.0.0.1:") + QByteArray::number(servidor.port()));
        qputenv("FTPCALDORIA_FTP_ALT_HOST", QByteArray("127.0.0.1:") + QByteArray::number(servidor.port()));
        auto s = std::make_unique<FtpSession>(roteiro);
        s->IdFTP1().ConnectTimeout = std::chrono::seconds(5);
        s->IdFTP1().ReadTimeout = std::chrono::seconds(5);
        s->CriarPastaCliente();
        EXPECT_TRUE(s->baseCorrompida());
        roteiro.eventos.clear();
        return s;
    }
    QString arquivo(const QString& nome, const QByteArray& conteudo)
    {
        testsupport::writeFile(local.filePath(nome), conteudo);
        return local.filePath(nome);
    }
};

TEST_F(Sessao, UploadAsksTheDriverBeforeReplacing)
{
    ScriptedFtp servidor(QStringLiteral("normal"), {{kPastaCorrompida + QStringLiteral("/dados.bin"), 10}});
    auto s = abrir(servidor);
    const QString origem = arquivo(QStringLiteral("dados.bin"), QByteArray(70000, 'd'));

    roteiro.respostas = {false};
    EXPECT_FALSE(s->EnviarArquivo(origem));
    EXPECT_EQ(roteiro.eventos, QStringList{QStringLiteral("replace remote dados.bin")});
    EXPECT_TRUE(servidor.commands().filter(QStringLiteral("STOR")).isEmpty());

    roteiro.eventos.clear();
    roteiro.respostas = {true};
    EXPECT_TRUE(s->EnviarArquivo(origem));
    EXPECT_EQ(roteiro.eventos, (QStringList{QStringLiteral("replace remote dados.bin"), QStringLiteral("begin write 70000"),
                                            QStringLiteral("end completed")}));
    EXPECT_EQ(roteiro.ultimoProgresso, 70000);
    EXPECT_TRUE(servidor.notes().contains(QStringLiteral("stored /%1/dados.bin 70000").arg(kPastaCorrompida)));

    // Under a unique name nothing is asked; the name is told before the data moves.
    roteiro.eventos.clear();
    const QString nome = s->EnviarArquivoBaseCorrompida(origem);
    EXPECT_TRUE(nome.endsWith(QStringLiteral("_dados.bin")));
    EXPECT_EQ(roteiro.eventos, (QStringList{QStringLiteral("unique ") + nome, QStringLiteral("begin write 70000"),
                                            QStringLiteral("end completed")}));
    EXPECT_TRUE(roteiro.linhas.contains(nome)) << "logged, for support";
}

TEST_F(Sessao, DownloadAsksBeforeReplacingALocalFile)
{
    ScriptedFtp servidor(QStringLiteral("normal"), {{kPastaCorrompida + QStringLiteral("/b.fbk"), 5000}});
    auto s = abrir(servidor);
    const QString destino = arquivo(QStringLiteral("b.fbk"), "ontem");

    // Declined: the component refuses to overwrite, before any data moves.
    roteiro.respostas = {false};
    EXPECT_THROW(s->BaixarArquivo(QStringLiteral("b.fbk"), destino), Exception);
    EXPECT_EQ(testsupport::readFile(destino), QByteArray("ontem"));
    EXPECT_EQ(roteiro.eventos, (QStringList{QStringLiteral("replace local ") + destino, QStringLiteral("begin read 5000"),
                                            QStringLiteral("end failed")}));

    roteiro.eventos.clear();
    roteiro.respostas = {true};
    s->BaixarArquivo(QStringLiteral("b.fbk"), destino);
    EXPECT_EQ(testsupport::readFile(destino), ScriptedFtp::patternBytes(5000));
    EXPECT_EQ(roteiro.eventos, (QStringList{QStringLiteral("replace local ") + destino, QStringLiteral("begin read 5000"),
                                            QStringLiteral("end completed")}));

    // A name the server does not have: nothing is fetched, nothing begins.
    roteiro.eventos.clear();
    EXPECT_THROW(s->BaixarArquivo(QStringLiteral("nao-ha.fbk"), local.filePath(QStringLiteral("n.fbk"))), ERemoteFileNotFound);
    EXPECT_TRUE(roteiro.eventos.isEmpty());
    EXPECT_TRUE(servidor.commands().filter(QStringLiteral("RETR nao-ha")).isEmpty());
}

// However a transfer breaks, it ends once, as failed.
TEST_F(Sessao, ABrokenTransferEndsOnceAsFailed)
{
    for (const char* cenario : {"data-drop", "short-226"}) {
        SCOPED_TRACE(cenario);
        roteiro.eventos.clear();
        ScriptedFtp servidor(QString::fromLatin1(cenario), {{kPastaCorrompida + QStringLiteral("/grande.bin"), 300000}});
        auto s = abrir(servidor);
        EXPECT_THROW(s->BaixarArquivo(QStringLiteral("grande.bin"), local.filePath(QStringLiteral("grande.bin"))), Exception);
        EXPECT_EQ(roteiro.eventos, (QStringList{QStringLiteral("begin read 300000"), QStringLiteral("end failed")}));
        EXPECT_FALSE(QFileInfo::exists(local.filePath(QStringLiteral("grande.bin"))));
    }
}

// The shared folder of corrupted-base mode holds every unidentified client's
// files: the session never lists it.
TEST_F(Sessao, TheSharedFolderIsNeverListed)
{
    ScriptedFtp servidor(QStringLiteral("normal"), {{kPastaCorrompida + QStringLiteral("/de-outro.fbk"), 10}});
    auto s = abrir(servidor);
    EXPECT_THROW(s->fetchListing(), Exception);
    for (const QString& comando : servidor.commands())
        EXPECT_FALSE(comando.startsWith(QStringLiteral("MLSD")) || comando.startsWith(QStringLiteral("LIST"))) << comando.toStdString();
}

}
