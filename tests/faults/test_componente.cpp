// Faults that are the FTP component's own business, checked on TIdFTP itself: a
// local file cut short while it is being sent, and a server that floods the control
// connection between commands.
#include "FalhasJanela.h"

#include <QFileInfo>

#include <atomic>
#include <functional>

namespace {

using namespace falhas;
using namespace std::chrono_literals;

class Eventos : public IFtpEvents {
public:
    std::function<void(TWorkMode, std::int64_t)> aCadaPasso;
    void OnStatus(const QString&) override {}
    void OnWorkBegin(TWorkMode, std::int64_t) override {}
    void OnWork(TWorkMode mode, std::int64_t n) override
    {
        if (aCadaPasso)
            aCadaPasso(mode, n);
    }
    void OnWorkEnd(TWorkMode) override {}
};

class Componente : public ::testing::Test {
protected:
    QTemporaryDir local;
    TIdFTP ftp;
    Eventos eventos;
    std::unique_ptr<ScriptedFtp> servidor;

    void conectar(const QString& cenario)
    {
        servidor = std::make_unique<ScriptedFtp>(cenario);
        FtpSettings ajustes;
        ajustes.host = QStringLiteral("127.0.0.1");
        ajustes.port = servidor->port();
        ajustes.username = testsupport::kFtpUser;
        ajustes.password = testsupport::kFtpPassword;
        ajustes.connectTimeout = ajustes.readTimeout = kTempoLimite;
        ftp.configure(ajustes);
        ftp.SetEvents(&eventos);
        ftp.Connect();
    }
    void TearDown() override
    {
        ftp.SetEvents(nullptr);
        ftp.Disconnect();
    }
};

// Another program truncates the file while we send it: the server got a piece of a
// file that no longer exists as it was, and the server's size agrees with what we
// sent, so only the count of bytes read tells. The upload must fail.
TEST_F(Componente, ASourceCutShortWhileSendingIsAFailure)
{
    conectar(QStringLiteral("normal"));
    const QString origem = local.filePath(QStringLiteral("base.fbk"));
    const qint64 tamanho = 8 << 20;
    writeFile(origem, ScriptedFtp::patternBytes(tamanho));
    std::atomic<bool> cortado{false};
    eventos.aCadaPasso = [&](TWorkMode mode, std::int64_t) {
        if (mode == wmWrite && !cortado.exchange(true))
            QFile::resize(origem, 1000);
    };
    QString mensagem;
    {
        Vigia vigia(ftp);
        try {
            ftp.Put(origem);
        } catch (const EIdFTPError& e) {
            mensagem = e.Message();
        }
        EXPECT_FALSE(vigia.parar());
    }
    ASSERT_TRUE(cortado.load());
    EXPECT_TRUE(mensagem.startsWith(QStringLiteral("O arquivo local %1 mudou durante o envio: enviados ").arg(origem))) << mensagem.toStdString();
    EXPECT_TRUE(mensagem.endsWith(QStringLiteral(" de %1 bytes").arg(tamanho))) << mensagem.toStdString();
    EXPECT_TRUE(ftp.Connected()) << "the conversation with the server is still in step";
}

// A server that sends replies nobody asked for, without end: asking whether the
// connection is alive ends (it is not: it is dropped), and no command is answered
// by the flood.
TEST_F(Componente, AFloodOnTheControlConnectionIsCutOff)
{
    conectar(QStringLiteral("flood-between"));
    Vigia vigia(ftp);
    EXPECT_TRUE(testsupport::waitUntil([&] { return !ftp.Connected(); }, 20s));
    EXPECT_THROW(ftp.RetrieveCurrentDir(), EIdFTPError);
    EXPECT_FALSE(vigia.parar());
}

} // namespace
