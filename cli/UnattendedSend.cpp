#include "UnattendedSend.h"

#include "FailureText.h"
#include "Formatos.h"
#include "LogText.h"
#include "SendOutcome.h"
#include "uTQuintaraConexoes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

const QString kDateTime = QStringLiteral("dd/MM/yyyy HH:mm:ss");

}

UnattendedSend::UnattendedSend(CommandOptions options, Output output, SessionSettings settings)
    : m_options(std::move(options)), m_output(std::move(output)), m_progress(m_output.outIsTerminal, m_output.out),
      m_window(m_options.retryFor), m_lock(m_options.file),
      m_worker(std::make_unique<SessionWorker>(static_cast<FtpSessionEvents&>(*this), std::move(settings)))
{
    m_clock.start();
    m_pause.setSingleShot(true);
    QObject::connect(&m_pause, &QTimer::timeout, &m_context, [this] {
        if (auto next = std::exchange(m_next, {}))
            next();
    });
}

UnattendedSend::~UnattendedSend() = default;

// ---------------------------------------------------------------- the run

ExitCode UnattendedSend::run()
{
    openLogFiles();
    // A log file that gathers night after night needs to tell one run from the next.
    writeToLogFiles(QStringLiteral("--- %1: envio de %2 ---").arg(m_start.toString(kDateTime), QDir::toNativeSeparators(m_options.file)));
    m_worker->identify([] { return std::make_shared<TQuintaraConexaoInstalada>(); },
                       [this](const Outcome<std::monostate>& fim) {
                           if (fim.failure)
                               Log(fim.failure->message);
                           waitForTheFile();
                       });
    QCoreApplication::exec();
    return m_code;
}

void UnattendedSend::waitForTheFile()
{
    if (m_interrupted.load())
        return interrupted();
    if (m_lock.tryLock()) {
        if (m_waitingForLock)
            Log(QStringLiteral("A outra execução terminou às %1; o envio começa").arg(clockAt(std::chrono::seconds(0))));
        m_waitingForLock = false;
        return beginAttempt();
    }
    const QString holder = m_lock.holder();
    const QString other = QStringLiteral("outra execução deste programa neste computador%1")
                              .arg(holder.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(holder));
    if (!m_window.open(elapsed())) {
        return finish(ExitCode::FileInUse,
                      QStringLiteral("O arquivo %1 não foi enviado: %2 o envia, e não terminou até %3, o fim do prazo de --tentar-por (%4)")
                          .arg(QDir::toNativeSeparators(m_options.file), other, deadline(),
                               durationText(m_window.length())));
    }
    if (!m_waitingForLock)
        Log(QStringLiteral("O arquivo %1 está sendo enviado por %2; este envio espera que ela termine, até %3")
                .arg(QDir::toNativeSeparators(m_options.file), other, deadline()));
    m_waitingForLock = true;
    after(kLockPoll, [this] { waitForTheFile(); });
}

void UnattendedSend::beginAttempt()
{
    if (m_interrupted.load())
        return interrupted();
    ++m_attempt;
    QString line = QStringLiteral("Tentativa %1 às %2").arg(m_attempt).arg(clockAt(std::chrono::seconds(0)));
    if (m_attempt == 1)
        line += m_window.length().count() > 0
                    ? QStringLiteral("; novas tentativas, se o servidor não responder, até %1").arg(deadline())
                    : QStringLiteral("; sem novas tentativas (--tentar-por 0s)");
    Log(line);
    const PedidoEnvio pedido{m_options.file, true, true};
    m_worker->send(pedido, [this](const Outcome<Envio>& fim) { attemptEnded(fim); });
    // An interrupt that came as the attempt started found nothing to stop: it stops it now.
    if (m_interrupted.load())
        m_worker->cancel();
}

void UnattendedSend::attemptEnded(const Outcome<Envio>& fim)
{
    if (fim.ok())
        return sent(fim.result);
    const Failure& failure = *fim.failure;
    const FailureReport report = describeFailure(failure);
    const ExitCode code = exitCodeOf(failure.kind);
    if (m_interrupted.load() || !RetryWindow::waitingMayHelp(failure))
        return finish(code, report.outcome);
    const QString what = report.panel.isEmpty() ? failure.message.section(QLatin1Char('\n'), 0, 0) : report.panel;
    const std::optional<std::chrono::seconds> pause = m_window.pauseBefore(m_attempt + 1, elapsed());
    if (!pause) {
        if (m_window.length().count() > 0)
            Log(QStringLiteral("A tentativa %1 falhou às %2 (%3); o prazo de --tentar-por (%4) terminou às %5: sem novas tentativas")
                    .arg(m_attempt)
                    .arg(clockAt(std::chrono::seconds(0)), what, durationText(m_window.length()),
                         deadline()));
        return finish(code, report.outcome);
    }
    Log(QStringLiteral("A tentativa %1 falhou às %2 (%3); nova tentativa em %4, às %5")
            .arg(m_attempt)
            .arg(clockAt(std::chrono::seconds(0)), what, durationText(*pause), clockAt(*pause)));
    after(*pause, [this] { beginAttempt(); });
}

void UnattendedSend::sent(const Envio& envio)
{
    // A backup in the shared folder is no backup in the client's: a job must be able
    // to tell, and whoever reads its log, why.
    const QString compartilhada = envio.textoPastaCompartilhada();
    if (!compartilhada.isEmpty())
        Log(compartilhada);
    const QString outcome = sendOutcomeText(envio, m_worker->status());
    switch (envio.resultado) {
    case ResultadoEnvio::MantidoNoServidor:
        return finish(ExitCode::RemoteExists, outcome + QStringLiteral(" (para substituí-lo: --substituir)"));
    case ResultadoEnvio::EnviadoSemConferencia:
        return finish(ExitCode::SentUnverified, outcome, envio.nomeUnico);
    case ResultadoEnvio::Enviado:
        break;
    }
    finish(compartilhada.isEmpty() ? ExitCode::Sent : ExitCode::SentToSharedFolder, outcome, envio.nomeUnico);
}

void UnattendedSend::finish(ExitCode code, const QString& outcome, const QString& uniqueName)
{
    if (m_finishing)
        return;
    m_finishing = true;
    m_code = code;
    m_pause.stop();
    m_next = {};
    // The outcome is what the run ends with, after the connection's own lines.
    const auto end = [this, outcome, uniqueName](const Outcome<std::monostate>&) {
        LogOutcome(outcome);
        const std::int64_t moved = m_progress.bytesMoved();
        const double seconds = m_progress.secondsMoving();
        // The pace of the data while it moved, every attempt together; not what an
        // earlier run had left on the server.
        QString amount = QStringLiteral("nada transferido");
        if (moved > 0 && seconds > 0.0)
            amount = QStringLiteral("velocidade média: %1/s")
                         .arg(TextoBytes(static_cast<std::int64_t>(static_cast<double>(moved) / seconds), programLocale()));
        else if (moved > 0)
            amount = QStringLiteral("velocidade média: não medida");
        writeToLogFiles(QStringLiteral("--- %1: fim do envio de %2; duração: %3; %4 ---")
                            .arg(QDateTime::currentDateTime().toString(kDateTime), QDir::toNativeSeparators(m_options.file),
                                 durationText(std::chrono::seconds((m_clock.elapsed() + 500) / 1000)), amount));
        // Stored: a script that reads the output finds the name it has on the server
        // on the last line.
        if (!uniqueName.isEmpty())
            m_output.out(uniqueName + QLatin1Char('\n'));
        m_lock.unlock();
        QCoreApplication::exit();
    };
    if (!m_worker->closeConnection(end))
        end({});
}

// ---------------------------------------------------------------- waits and interrupts

void UnattendedSend::after(std::chrono::milliseconds pause, std::function<void()> next)
{
    m_next = std::move(next);
    m_pause.start(pause);
}

void UnattendedSend::cancel()
{
    m_interrupted.store(true);
    m_worker->cancel();
    // A pause, or a wait for the other run, ends now rather than when it was due.
    QMetaObject::invokeMethod(&m_context, [this] {
        if (m_pause.isActive()) {
            m_pause.stop();
            m_next = {};
            interrupted();
        }
    }, Qt::QueuedConnection);
}

void UnattendedSend::interrupted()
{
    finish(ExitCode::NotSent, m_attempt == 0 ? QStringLiteral("Envio cancelado pelo usuário antes de começar")
                                             : QStringLiteral("Envio cancelado pelo usuário durante a espera pela tentativa %1").arg(m_attempt + 1));
}

std::chrono::seconds UnattendedSend::elapsed() const
{
    return std::chrono::seconds(m_clock.elapsed() / 1000);
}

QString UnattendedSend::deadline() const
{
    return m_start.addSecs(m_window.length().count()).toString(QStringLiteral("HH:mm:ss"));
}

QString UnattendedSend::clockAt(std::chrono::seconds offset) const
{
    return QDateTime::currentDateTime().addSecs(offset.count()).toString(QStringLiteral("HH:mm:ss"));
}

// ---------------------------------------------------------------- the log

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
    writeLog(outcomeLines(QDateTime::currentDateTime(), text));
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

void UnattendedSend::writeToLogFiles(const QString& line)
{
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    for (const auto& file : m_logFiles) {
        file->write(bytes);
        file->flush();
    }
}
