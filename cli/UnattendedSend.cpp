#include "UnattendedSend.h"

#include "FailureText.h"
#include "LogText.h"
#include "uTQuintaraConexoes.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>


UnattendedSend::UnattendedSend(CommandOptions options, Output output, SessionSettings settings)
    : m_options(std::move(options)), m_output(std::move(output)), m_progress(m_output.outIsTerminal, m_output.out),
      m_worker(std::make_unique<SessionWorker>(static_cast<FtpSessionEvents&>(*this), std::move(settings)))
{
}

UnattendedSend::~UnattendedSend() = default;

void UnattendedSend::openLogFiles()
{
    // FTPCALDORIA_LOG, which the window copies its log to, gets these lines too.
    QStringList paths{m_options.logFile, qEnvironmentVariable("FTPCALDORIA_LOG")};
    QStringList opened;
    for (const QString& path : paths) {
        if (path.isEmpty() || opened.contains(QFileInfo(path).absoluteFilePath()))
            continue;
        QString error;
        auto file = openLogFile(path, error);
        if (!file) {
            // The backup matters more than its log: it goes all the same.
            m_output.err(error + QLatin1Char('\n'));
            continue;
        }
        opened << QFileInfo(path).absoluteFilePath();
        m_logFiles.push_back(std::move(file));
    }
}

void UnattendedSend::Log(const QString& text)
{
    writeLog(logLines(text));
}

void UnattendedSend::LogOutcome(const QString& text)
{
    writeLog(outcomeLines(m_start, text));
}

void UnattendedSend::writeLog(const QStringList& lines)
{
    if (lines.isEmpty())
        return;
    if (m_output.errIsTerminal)
        m_progress.makeRoom();
    QString block;
    for (const QString& line : lines)
        block += line + QLatin1Char('\n');
    m_output.err(block);
    const QByteArray bytes = block.toUtf8();
    for (const auto& file : m_logFiles) {
        file->write(bytes);
        file->flush();
    }
}

ExitCode UnattendedSend::run()
{
    openLogFiles();
    // A log file that gathers night after night needs to tell one run from the next.
    if (!m_logFiles.empty()) {
        const QByteArray header =
            QStringLiteral("--- %1: envio de %2 ---\n")
                .arg(m_start.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")), QDir::toNativeSeparators(m_options.file))
                .toUtf8();
        for (const auto& file : m_logFiles) {
            file->write(header);
            file->flush();
        }
    }

    ExitCode code = ExitCode::NotSent;
    const auto enviar = [this, &code] {
        const PedidoEnvio pedido{m_options.file, true, true};
        m_worker->send(pedido, [this, &code](const Outcome<Envio>& fim) {
            // The outcome is what the run ends with, after the connection's own lines.
            m_worker->closeConnection([this, &code, fim](const Outcome<std::monostate>&) {
                code = outcome(fim);
                QCoreApplication::exit();
            });
        });
        // An interrupt before the start found nothing to stop: it stops it now.
        if (m_interrupted.load())
            m_worker->cancel();
    };
    m_worker->identify([] { return std::make_shared<TQuintaraConexaoInstalada>(); },
                       [this, enviar](const Outcome<std::monostate>& fim) {
                           if (fim.failure)
                               Log(fim.failure->message);
                           enviar();
                       });
    QCoreApplication::exec();
    return code;
}

ExitCode UnattendedSend::outcome(const Outcome<Envio>& fim)
{
    if (fim.failure) {
        LogOutcome(describeFailure(*fim.failure).outcome);
        return exitCodeOf(fim.failure->kind);
    }
    const Envio& envio = fim.result;
    // A backup in the shared folder is no backup in the client's: a job must be able
    // to tell, and whoever reads its log, why.
    const QString compartilhada = envio.textoPastaCompartilhada();
    if (!compartilhada.isEmpty())
        Log(compartilhada);
    ExitCode code = ExitCode::Sent;
    switch (envio.resultado) {
    case ResultadoEnvio::MantidoNoServidor:
        LogOutcome(envio.texto() + QStringLiteral(" (para substituí-lo: --substituir)"));
        code = ExitCode::RemoteExists;
        break;
    case ResultadoEnvio::EnviadoSemConferencia:
        LogOutcome(envio.texto());
        code = ExitCode::SentUnverified;
        break;
    case ResultadoEnvio::Enviado:
        LogOutcome(envio.texto());
        if (!compartilhada.isEmpty())
            code = ExitCode::SentToSharedFolder;
        break;
    }
    // Stored: a script that reads the output finds the name it has on the server on
    // the last line.
    if (!envio.nomeUnico.isEmpty())
        m_output.out(envio.nomeUnico + QLatin1Char('\n'));
    return code;
}

void UnattendedSend::cancel()
{
    m_interrupted.store(true);
    m_worker->cancel();
}
