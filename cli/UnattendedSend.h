#pragma once
// Sends one file as the window sends a file handed over at start, with nobody
// there to answer: the questions get fixed answers from the options (replace only
// with --substituir; an interrupted upload of the same file is continued; a
// certificate that cannot be verified is refused unless accepted before in the
// window). The log goes to standard error and to the log files, the progress and
// a unique name to standard output.
#include "CommandLine.h"
#include "EnvioArquivo.h"
#include "SessionWorker.h"
#include "TerminalProgress.h"

#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class UnattendedSend : private FtpSessionEvents {
public:
    struct Output {
        std::function<void(const QString&)> out; // standard output
        std::function<void(const QString&)> err; // standard error
        bool outIsTerminal = false;
        bool errIsTerminal = false; // the same terminal, as a rule: the progress line makes room
    };

    UnattendedSend(CommandOptions options, Output output, SessionSettings settings = {});
    ~UnattendedSend() override;

    // Sends on the session's thread, running the program's event loop meanwhile:
    // the reports and a signal's cancel are handled there. Returns once the send
    // has ended.
    ExitCode run();
    // Stops the send, from any thread (a signal, a console's Ctrl+C).
    void cancel();

private:
    void openLogFiles();
    void Log(const QString& text);
    // The run's last line, as outcomeLines has it (LogText.h).
    void LogOutcome(const QString& text);
    void writeLog(const QStringList& lines);
    ExitCode outcome(const Outcome<Envio>& fim);

    // What the session reports: the log, and the progress line on a terminal. A
    // failure's reason reaches the log with the failure's message.
    void log(const QString& line) override { Log(line); }
    // The window shows it in its panel; here it tells the log whose folder it is.
    void clientCaption(const QString& caption) override { Log(QStringLiteral("Cliente: ") + caption.trimmed()); }
    void waiting(const QString&) override {}
    void transferBegin(TWorkMode mode, std::int64_t total) override { m_progress.begin(mode, total); }
    void transferProgress(TWorkMode, std::int64_t soFar) override { m_progress.progress(soFar); }
    void transferRetry(TWorkMode, int attempt, int maxAttempts, int secondsLeft) override
    {
        m_progress.retry(attempt, maxAttempts, secondsLeft);
    }
    void transferResumed(TWorkMode, std::int64_t soFar) override { m_progress.resumed(soFar); }
    void transferChecking(TWorkMode) override { m_progress.checking(); }
    void transferEnd(TWorkMode, TransferOutcome outcome, const QString&) override { m_progress.end(outcome); }
    // What it asks, answered from the options. An interrupted upload's name proves
    // it came from this very file: what is there is good, and goes on.
    bool replaceRemoteFile(const QString&) override { return m_options.replace; }
    bool resumeInterruptedUpload(const QString&, std::int64_t, std::int64_t) override { return true; }
    bool replaceLocalFile(const QString&) override { return false; }
    // Printed once the file is stored under it (run).
    void uniqueNameChosen(const QString&) override {}

    CommandOptions m_options;
    const QDateTime m_start = QDateTime::currentDateTime();
    std::atomic<bool> m_interrupted{false};
    Output m_output;
    TerminalProgress m_progress;
    std::vector<std::unique_ptr<QFile>> m_logFiles;
    std::unique_ptr<SessionWorker> m_worker;
};
