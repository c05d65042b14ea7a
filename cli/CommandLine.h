#pragma once
// The program's mode without a window, for scheduled tasks: which command line
// chooses it, its options, its help and its exit codes. Parsing is a pure function
// of the arguments.
#include "Exception.h"
#include "SessionFailure.h"

#include <QString>
#include <QStringList>

// How a run without a window ends, as the task that started it sees it.
enum class ExitCode : int {
    Sent = 0,           // on the server under its final name, and checked there
    NotSent = 1,        // anything that kept the file from the server
    BadUsage = 2,       // options that make no command
    SentUnverified = 3, // on the server, but the server told no size to compare
    RemoteExists = 4,   // the server has a file of that name and --substituir was not given
    SentToSharedFolder = 5, // checked on the server, but in the shared folder of unidentified clients
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
    enum class Action { Send, Help, Version };
    Action action = Action::Send;
    QString file;    // --enviar
    bool replace = false;
    QString logFile; // --log
};

// Whether the first argument chooses the mode without a window. The window's own
// command line is a file as the first argument: only an option of this mode that
// names no file there chooses it, so everything the window was ever given still
// opens the window.
bool choosesCommandMode(const QString& firstArgument, bool namesAFile);

// The arguments after the program's name. Raises EBadUsage.
CommandOptions parseCommandLine(const QStringList& args);

// "Uso: PROGRAMA --enviar ARQUIVO [--substituir] [--log ARQUIVO]"
QString usageLine(const QString& program);
// What --help prints.
QString helpText(const QString& program);
