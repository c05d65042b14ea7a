// The session on its own thread, as the window and a run from the command line use
// it: the work runs there, what it reports and asks arrives on the front end's
// thread in order, and a front end that goes away never leaves it waiting.
#include "EnvioArquivo.h"
#include "FtpServers.h"
#include "QueuedEvents.h"
#include "SessionWorker.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using testsupport::ScriptedFtp;

// Records every call with whether it came on the front end's (this test's) thread.
class Registro : public FtpSessionEvents {
public:
    QStringList chamadas;
    int foraDaThread = 0;
    bool resposta = true;

    void log(const QString& line) override { anotar(QStringLiteral("log ") + line); }
    void clientCaption(const QString& caption) override { anotar(QStringLiteral("caption ") + caption); }
    void waiting(const QString&) override { anotar(QStringLiteral("waiting")); }
    void transferBegin(TWorkMode, std::int64_t total) override { anotar(QStringLiteral("begin %1").arg(total)); }
    void transferProgress(TWorkMode, std::int64_t soFar) override { ultimoProgresso = soFar, naThread(); }
    void transferRetry(TWorkMode, int, int, int) override { anotar(QStringLiteral("retry")); }
    void transferResumed(TWorkMode, std::int64_t) override { anotar(QStringLiteral("resumed")); }
    void transferChecking(TWorkMode) override { anotar(QStringLiteral("checking")); }
    void transferEnd(TWorkMode, TransferOutcome outcome, const QString&) override
    {
        anotar(outcome == TransferOutcome::Completed ? QStringLiteral("end completed") : QStringLiteral("end other"));
    }
    bool replaceRemoteFile(const QString& name) override
    {
        anotar(QStringLiteral("replace ") + name);
        return resposta;
    }
    bool resumeInterruptedUpload(const QString&, std::int64_t, std::int64_t) override { return anotar(QStringLiteral("resume")), resposta; }
    bool replaceLocalFile(const QString&) override { return anotar(QStringLiteral("replace local")), resposta; }
    void uniqueNameChosen(const QString& name) override { anotar(QStringLiteral("unique ") + name); }

    std::int64_t ultimoProgresso = -1;

private:
    void naThread()
    {
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            ++foraDaThread;
    }
    void anotar(const QString& c)
    {
        naThread();
        chamadas << c;
    }
};

class Trabalhador : public ::testing::Test {
protected:
    int argc = 1;
    char nome[16] = "session_tests";
    char* argv[2] = {nome, nullptr};
    QCoreApplication app{argc, argv};
    QTemporaryDir local;
};

// An upload in corrupted-base mode (no installed system, so no database): the work
// runs on the session's thread, every report comes here in order, the end last.
TEST_F(Trabalhador, TheWorkRunsThereAndEveryReportComesHereInOrder)
{
    const QString pasta = QStringLiteral("gCALDORIA/Cidades/_corrompida");
    ScriptedFtp servidor(QStringLiteral("normal"));
    qputenv("FTPCALDORIA_FTP_HOST", QByteArray("127.0.0.1:") + QByteArray::number(servidor.port()));
    qputenv("FTPCALDORIA_FTP_ALT_HOST", QByteArray("127.0.0.1:") + QByteArray::number(servidor.port()));
    const QString origem = local.filePath(QStringLiteral("base.fbk"));
    testsupport::writeFile(origem, QByteArray(300000, 'b'));

    Registro registro;
    SessionWorker trabalhador(registro, SessionSettings{});
    Envio envio;
    std::optional<Failure> erro;
    bool terminou = false;
    ASSERT_TRUE(trabalhador.send({origem}, [&](const Outcome<Envio>& fim) {
        envio = fim.result;
        erro = fim.failure;
        terminou = true;
        registro.chamadas << QStringLiteral("done");
        EXPECT_FALSE(trabalhador.busy()) << "idle again by the time the end comes";
        app.quit();
    }));
    // Run here, the send would have reported something by now.
    EXPECT_TRUE(registro.chamadas.isEmpty()) << "the work runs on the session's thread";
    EXPECT_TRUE(trabalhador.busy());
    EXPECT_FALSE(trabalhador.list(PedidoListagem::Atualizar, {})) << "one operation at a time";
    QTimer::singleShot(std::chrono::seconds(60), &app, &QCoreApplication::quit);
    app.exec();

    ASSERT_TRUE(terminou);
    ASSERT_FALSE(erro) << erro->message.toStdString();
    EXPECT_EQ(registro.foraDaThread, 0);
    EXPECT_EQ(registro.ultimoProgresso, 300000);
    const QStringList& c = registro.chamadas;
    ASSERT_GE(c.size(), 4);
    EXPECT_EQ(c.last(), QStringLiteral("done"));
    EXPECT_EQ(c[c.size() - 2], QStringLiteral("end completed"));
    EXPECT_LT(c.indexOf(QStringLiteral("caption Base Corrompida")), c.indexOf(QStringLiteral("unique ") + envio.nomeUnico));
    EXPECT_LT(c.indexOf(QStringLiteral("unique ") + envio.nomeUnico), c.indexOf(QStringLiteral("begin 300000")));
    EXPECT_EQ(envio.resultado, ResultadoEnvio::Enviado);
    EXPECT_EQ(envio.motivo, MotivoBaseCorrompida::SemSistema);
    EXPECT_TRUE(trabalhador.status().baseCorrompida);
    EXPECT_TRUE(servidor.notes().filter(QRegularExpression(QStringLiteral(" to /%1/%2$").arg(pasta, QRegularExpression::escape(envio.nomeUnico)))).size() == 1)
        << servidor.notes().join(QLatin1Char('\n')).toStdString();
}

// A question waits for its answer from the front end's thread; once the front end
// has closed, a waiting question is answered "no" and is never shown, and later
// ones are not asked.
TEST_F(Trabalhador, AQuestionWaitsForTheFrontEndUntilItCloses)
{
    Registro registro;
    QObject contexto;
    QueuedEvents eventos(registro, &contexto);

    bool respondida = false;
    std::thread perguntaRespondida([&] { respondida = eventos.replaceRemoteFile(QStringLiteral("a.fbk")); });
    while (registro.chamadas.isEmpty())
        app.processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    perguntaRespondida.join();
    EXPECT_TRUE(respondida);
    EXPECT_EQ(registro.chamadas, QStringList{QStringLiteral("replace a.fbk")});
    EXPECT_EQ(registro.foraDaThread, 0);

    // Nobody answers here while it waits: the front end is busy elsewhere, then closes.
    std::atomic<bool> perguntou{false};
    std::atomic<int> resposta{-1};
    std::thread perguntaAberta([&] {
        perguntou = true;
        resposta = eventos.replaceRemoteFile(QStringLiteral("b.fbk")) ? 1 : 0;
    });
    while (!perguntou)
        std::this_thread::yield();
    eventos.close();
    perguntaAberta.join();
    EXPECT_EQ(resposta, 0);
    bool depois = true;
    std::thread([&] { depois = eventos.replaceLocalFile(QStringLiteral("/tmp/c.fbk")); }).join();
    EXPECT_FALSE(depois);
    app.processEvents();
    EXPECT_EQ(registro.chamadas, QStringList{QStringLiteral("replace a.fbk")}) << "no box after the front end closed";
}

}
