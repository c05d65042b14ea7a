#pragma once
// What the session tests share: a driver that records what the session reports and
// answers its questions from a script, and a session on a local server, in the
// shared folder of corrupted-base mode (no database needed).
#include "Endpoints.h"
#include "FailureText.h"
#include "FtpServers.h"
#include "FtpSession.h"
#include "LocalFile.h"
#include "PartialUploadName.h"
#include "TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>
#include <functional>

namespace sessiontest {

using testsupport::ScriptedFtp;


inline const QString kPastaCorrompida = QStringLiteral("gCALDORIA/Cidades/_corrompida");

// Records what the session reports and answers its questions from a script.
class Roteiro : public FtpSessionEvents {
public:
    QStringList eventos; // what was reported and asked, in order
    QStringList linhas; // the log
    std::deque<bool> respostas;

    void log(const QString& line) override { linhas << line; }
    void clientCaption(const QString& caption) override { eventos << QStringLiteral("caption ") + caption; }
    void waiting(const QString&) override {}
    void transferBegin(TWorkMode mode, std::int64_t total) override
    {
        eventos << QStringLiteral("begin %1 %2").arg(mode == wmWrite ? "write" : "read").arg(total);
    }
    void transferProgress(TWorkMode, std::int64_t soFar) override { ultimoProgresso = soFar; }
    void transferRetry(TWorkMode, int attempt, int maxAttempts, int secondsLeft) override
    {
        eventos << QStringLiteral("retry %1/%2 in %3 s").arg(attempt).arg(maxAttempts).arg(secondsLeft);
        if (aCadaPausa)
            aCadaPausa();
    }
    void transferResumed(TWorkMode, std::int64_t soFar) override { eventos << QStringLiteral("resumed %1").arg(soFar); }
    void transferChecking(TWorkMode) override { eventos << QStringLiteral("checking"); }
    void transferEnd(TWorkMode, TransferOutcome outcome, const QString& failure) override
    {
        const char* como[] = {"completed", "failed", "cancelled"};
        eventos << QStringLiteral("end ") + QLatin1String(como[static_cast<int>(outcome)]);
        falha = failure;
    }
    bool replaceRemoteFile(const QString& name) override { return responder(QStringLiteral("replace remote ") + name); }
    bool resumeInterruptedUpload(const QString& name, std::int64_t done, std::int64_t total) override
    {
        return responder(QStringLiteral("resume %1 %2/%3").arg(name).arg(done).arg(total));
    }
    bool replaceLocalFile(const QString& localPath) override { return responder(QStringLiteral("replace local ") + localPath); }
    void uniqueNameChosen(const QString& name) override { eventos << QStringLiteral("unique ") + name; }
    bool acceptCertificate(const QString& host, const QString& problem, const QString& fingerprint) override
    {
        return responder(QStringLiteral("certificate %1: %2 %3").arg(host, problem, fingerprint));
    }

    std::int64_t ultimoProgresso = -1;
    QString falha;
    std::function<void()> aCadaPausa;

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

// The kind of failure a call of the session raised; nothing when it went through.
inline std::optional<FailureKind> tipoDaFalha(const std::function<void()>& chamada)
{
    try {
        chamada();
    } catch (const ESessionFailure& e) {
        return e.kind();
    }
    return std::nullopt;
}

// The error box's text of a failure of the session, as the front ends show it.
inline QString caixaDe(const ESessionFailure& e)
{
    return describeFailure(e.failure()).boxText;
}

// The temporary name an upload of localPath under name travels under.
inline QString partialName(const QString& name, const QString& localPath)
{
    return QString::fromUtf8(partialUploadName(name.toUtf8(), LocalFileState::of(localPath).identity()));
}

// The pauses between attempts, short: the count and the order are what matters here.
inline RetryPolicy pausasCurtas()
{
    RetryPolicy p;
    for (auto& pausa : p.pauses)
        pausa = std::chrono::milliseconds(5);
    return p;
}

// Short waits and pauses, and no memory of the user's TLS settings: what is tested
// is what they lead to.
inline SessionSettings ajustesCurtos(RetryPolicy novasTentativas = pausasCurtas())
{
    SessionSettings a;
    a.connectTimeout = a.readTimeout = std::chrono::seconds(5);
    a.retry = std::move(novasTentativas);
    return a;
}

class Sessao : public ::testing::Test {
protected:
    QTemporaryDir local;
    Roteiro roteiro;

    // A session with no installed system: it works in the shared folder of
    // corrupted-base mode, which needs no database.
    std::unique_ptr<FtpSession> abrir(const ScriptedFtp& servidor, SessionSettings ajustes = ajustesCurtos())
    {
        return abrir(servidor.port(), std::move(ajustes));
    }
    std::unique_ptr<FtpSession> abrir(int porta, SessionSettings ajustes = ajustesCurtos())
    {
        qputenv("FTPCALDORIA_FTP_HOST", QByteArray("127.0.0.1:") + QByteArray::number(porta));
        qputenv("FTPCALDORIA_FTP_ALT_HOST", QByteArray("127.0.0.1:") + QByteArray::number(porta));
        auto s = std::make_unique<FtpSession>(roteiro, std::move(ajustes));
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

}
