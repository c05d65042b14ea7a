#pragma once
// Sends one file as the window sends a file handed over at start, with nobody
// there to answer: the questions get fixed answers from the options (replace only
// with --substituir; an interrupted upload of the same file is continued; a
// certificate that cannot be verified is refused unless accepted before in the
// window). The log goes to standard error and to the log files, the progress and
// a unique name to standard output.
//
// A run holds its file's lock (LocalFileLock.h) from before its first attempt to its
// end, waiting for another run that holds it; a send that failed where waiting may
// help is tried again (RetryWindow.h); both within --tentar-por. It ends with the
// exit code of its last attempt.
#include "CommandLine.h"
#include "EnvioArquivo.h"
#include "LocalFileLock.h"
#include "RetryWindow.h"
#include "SessionWorker.h"
#include "TerminalProgress.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <chrono>
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
    // the reports, the pauses and a signal's cancel are handled there. Returns once
    // the send has ended.
    ExitCode run();
    // Stops the send, from any thread (a signal, a console's Ctrl+C): a transfer
    // breaks off, a pause or a wait for another run ends at once.
    void cancel();

    // How often a run looks whether the other run has let go of the file.
    static constexpr std::chrono::milliseconds kLockPoll{1000};

private:
    // The run's steps, on the program's thread.
    void waitForTheFile();
    void beginAttempt();
    void attemptEnded(const Outcome<Envio>& fim);
    // What a send that went through ends the run with.
    void sent(const Envio& envio);
    // Lets the server go, then writes the outcome line and the log's last line.
    void finish(ExitCode code, const QString& outcome, const QString& uniqueName = {});
    // next after pause, unless an interrupt comes first.
    void after(std::chrono::milliseconds pause, std::function<void()> next);
    void interrupted();
    std::chrono::seconds elapsed() const;
    // The time of day offset from now, "02:35:00".
    QString clockAt(std::chrono::seconds offset) const;
    // When --tentar-por's window closes, "02:35:00".
    QString deadline() const;

    void openLogFiles();
    void Log(const QString& text);
    void LogOutcome(const QString& text);
    void writeLog(const QStringList& lines);
    void writeToLogFiles(const QString& line);

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
    // Printed once the file is stored under it (finish).
    void uniqueNameChosen(const QString&) override {}

    CommandOptions m_options;
    const QDateTime m_start = QDateTime::currentDateTime();
    QElapsedTimer m_clock;
    std::atomic<bool> m_interrupted{false};
    Output m_output;
    TerminalProgress m_progress;
    std::vector<std::unique_ptr<QFile>> m_logFiles;
    RetryWindow m_window;
    LocalFileLock m_lock;
    int m_attempt = 0;
    bool m_waitingForLock = false;
    bool m_finishing = false;
    ExitCode m_code = ExitCode::NotSent;
    // What a wait runs next; the timer lives on the program's thread.
    QObject m_context;
    QTimer m_pause;
    std::function<void()> m_next;
    std::unique_ptr<SessionWorker> m_worker;
};
