#include "UnattendedSend.h"

#include "FailureText.h"
#include "LogText.h"
#include "uTQuintaraConexoes.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>


UnattendedSend::UnattendedSend(CommandOptions options, Output output)
    : m_options(std::move(options)), m_output(std::move(output)), m_progress(m_output.outIsTerminal, m_output.out),
      m_worker(std::make_unique<SessionWorker>(static_cast<FtpSessionEvents&>(*this)))
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

    FtpSession& session = m_worker->session();
    try {
        session.identificarSistema([] { return std::make_shared<TQuintaraConexaoInstalada>(); });
    } catch (const Exception& e) {
        Log(e.Message());
    }
    if (!session.sistema())
        session.setSistema(std::make_shared<TQuintaraConexao>());

    ExitCode code = ExitCode::NotSent;
    const PedidoEnvio pedido{m_options.file, true, true};
    // An interrupt before the start found nothing to stop: it stops it now.
    const bool started = m_worker->start(
        FtpSession::Kind::Transfer,
        [this, pedido](FtpSession& s) {
            // The outcome is what the run ends with, after the connection's own lines.
            struct Fechar {
                FtpSession& s;
                ~Fechar() { s.closeConnection(); }
            } fechar{s};
            m_envio = executarEnvio(s, pedido);
        },
        [this, &code](std::exception_ptr failure) {
            code = outcome(failure);
            QCoreApplication::exit();
        });
    if (started && m_interrupted.load())
        m_worker->cancel();
    QCoreApplication::exec();
    return code;
}

ExitCode UnattendedSend::outcome(std::exception_ptr failure)
{
    if (failure) {
        Failure falha = failureOf(failure);
        falha.operation = Operation::Upload;
        LogOutcome(describeFailure(falha).outcome);
        return exitCodeOf(falha.kind);
    }
    // A backup in the shared folder is no backup in the client's: a job must be able
    // to tell, and whoever reads its log, why.
    const QString compartilhada = m_envio.textoPastaCompartilhada();
    if (!compartilhada.isEmpty())
        Log(compartilhada);
    ExitCode code = ExitCode::Sent;
    switch (m_envio.resultado) {
    case ResultadoEnvio::MantidoNoServidor:
        LogOutcome(m_envio.texto() + QStringLiteral(" (para substituí-lo: --substituir)"));
        code = ExitCode::RemoteExists;
        break;
    case ResultadoEnvio::EnviadoSemConferencia:
        LogOutcome(m_envio.texto());
        code = ExitCode::SentUnverified;
        break;
    case ResultadoEnvio::Enviado:
        LogOutcome(m_envio.texto());
        if (!compartilhada.isEmpty())
            code = ExitCode::SentToSharedFolder;
        break;
    }
    // Stored: a script that reads the output finds the name it has on the server on
    // the last line.
    if (!m_envio.nomeUnico.isEmpty())
        m_output.out(m_envio.nomeUnico + QLatin1Char('\n'));
    return code;
}

void UnattendedSend::cancel()
{
    m_interrupted.store(true);
    m_worker->cancel();
}
