#pragma once
// The program's command line, for every mode: whether it opens the window or runs
// without one, the options of a run without a window, its help and its exit codes.
// Parsing is a pure function of the arguments; main decides on its result before any
// GUI object exists.
#include "Exception.h"
#include "SessionFailure.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

// How a run ends, as the task that started it sees it. The help text and the
// README's table say the same; a new code is added at the end.
enum class ExitCode : int {
    Sent = 0,               // on the server under its final name, and checked there
    NotSent = 1,            // anything that kept the file from the server
    BadUsage = 2,           // options that make no command, or a log that cannot be one
    SentUnverified = 3,     // on the server, but the server told no size to compare
    RemoteExists = 4,       // the server has a file of that name and --substituir was not given
    SentToSharedFolder = 5, // checked on the server, but in the shared folder of unidentified clients
    FileInUse = 6,          // another run on this computer was sending the same file until --tentar-por ran out
    NoDisplay = 7,          // the window was asked for where there is no display to show it
};

// The exit code of a send that failed, from why it failed (SessionFailure.h). Each
// of them leaves the file off the server, or not checked there under its name; a
// kind that a scheduled job must tell from the others gets a code of its own here.
ExitCode exitCodeOf(FailureKind kind);

// Options that make no command; the message says what is wrong.
class EBadUsage : public Exception {
public:
    using Exception::Exception;
};

struct CommandOptions {
    enum class Action {
        Window,  // the window; file, when given, is sent at once (as "Open with" does)
        Send,    // --enviar: without a window
        Help,
        Version,
    };
    Action action = Action::Window;
    // --enviar's file; for the window, the first argument (which may name nothing).
    QString file;
    bool replace = false;
    QString logFile; // --log
    // --tentar-por: how long a send that failed where waiting may help is tried again.
    std::chrono::seconds retryFor = kDefaultRetryFor;

    static constexpr std::chrono::seconds kDefaultRetryFor{5 * 60};
};

// The arguments after the program's name. Raises EBadUsage, whose message names
// what is wrong. isFile tells whether a path names an existing file: a file handed
// over as the first argument (by "Open with", a drop on the program's icon) is the
// window's, whatever its name looks like.
CommandOptions parseCommandLine(const QStringList& args, const std::function<bool(const QString&)>& isFile);
// The same with the file system's answer.
CommandOptions parseCommandLine(const QStringList& args);

// The file a --log among args names, as far as it can be told of arguments that make
// no command: where the message that says so goes too.
QString logFileNamed(const QStringList& args);

// "90s", "30m", "2h", "1h30m": a duration of whole seconds; nothing when the text is
// none.
std::optional<std::chrono::seconds> parseDuration(const QString& text);
// "5 min", "1 h 30 min", "45 s", "0 s": a duration as the log and the help say it.
QString durationText(std::chrono::seconds duration);

// "Uso: PROGRAMA --enviar ARQUIVO [--substituir] [--tentar-por DURAÇÃO] [--log ARQUIVO]"
QString usageLine(const QString& program);
// What --help prints.
QString helpText(const QString& program);
