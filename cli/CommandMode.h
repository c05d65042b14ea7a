#pragma once
// The entry of every run that opens no window: a send without a window, the help,
// the version, and the runs that cannot go on (bad options, a window asked for where
// there is no display). main reads the command line and decides before any GUI
// object exists; this mode creates a QCoreApplication only, so it runs where there
// is no display at all, and no run ends in Qt's abort.
#include "CommandLine.h"

#include <QString>
#include <QStringList>

// What the command line asks for, or why it makes no command.
struct CommandLineRead {
    QStringList args; // after the program's name
    CommandOptions options;
    QString usageError; // EBadUsage's message; empty when the options stand
};

// The program's arguments as the user typed them (on Windows from the wide command
// line, not from argv's code page).
CommandLineRead readCommandLine(int argc, char* argv[]);

// Why no window can be shown here: empty where one can. On Linux the window needs a
// display (DISPLAY for X11, WAYLAND_DISPLAY for Wayland) unless QT_QPA_PLATFORM
// names a platform that needs none; Windows always has one.
QString missingDisplay();

// The line that says a window was asked for where there is none, pointing at the
// way to send without one: file is the first argument, when there was one.
QString noDisplayLine(const QString& program, const QString& why, const QString& file);

// Runs what read asks for when it is not the window (or the window cannot be
// shown), and returns the process's exit code.
int runCommandMode(int argc, char* argv[], const CommandLineRead& read);
