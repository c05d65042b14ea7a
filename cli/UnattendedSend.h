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

#include <QFile>
#include <QString>

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

    UnattendedSend(CommandOptions options, Output output);
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
    ExitCode outcome(std::exception_ptr failure);

    void log(const QString& line) override;
    void clientCaption(const QString& caption) override;
    void waiting(const QString& what) override;
    void transferBegin(TWorkMode mode, std::int64_t total) override;
    void transferProgress(TWorkMode mode, std::int64_t soFar) override;
    void transferRetry(TWorkMode mode, int attempt, int maxAttempts, int secondsLeft) override;
    void transferResumed(TWorkMode mode, std::int64_t soFar) override;
    void transferChecking(TWorkMode mode) override;
    void transferEnd(TWorkMode mode, TransferOutcome outcome, const QString& failure) override;
    bool replaceRemoteFile(const QString& name) override;
    bool resumeInterruptedUpload(const QString& name, std::int64_t done, std::int64_t total) override;
    bool replaceLocalFile(const QString& localPath) override;
    void uniqueNameChosen(const QString& name) override;

    CommandOptions m_options;
    Output m_output;
    TerminalProgress m_progress;
    std::vector<std::unique_ptr<QFile>> m_logFiles;
    std::unique_ptr<SessionWorker> m_worker;
    Envio m_envio;
};
