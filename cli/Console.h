#pragma once
// The mode without a window and the console or terminal it was started from.
#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>

namespace console {

// On Windows the program is a GUI-subsystem executable, which gets no console of
// its own: started from one, its standard streams that the parent did not
// redirect are pointed at the parent's console. Elsewhere nothing to do.
void attachToParent();

// The program's arguments after its name, as typed: on Windows from the wide
// command line (argv holds them in a code page that may lack their letters).
QStringList arguments(int argc, char* argv[]);

// Whether the stream is a terminal or console that a line can be redrawn on.
bool isTerminal(std::FILE* stream);

// Writes text to stdout or stderr at once: UTF-8, or UTF-16 to a Windows console,
// which shows it so whatever its code page.
void write(std::FILE* stream, const QString& text);

// The first thing main does: from here on an interrupt (Ctrl+C, SIGTERM or SIGHUP,
// a console's Ctrl+Break or closing) ends the process with exit code 1, at once
// while no handler is set (nothing has started that needs ending) and always at
// the second interrupt. SIGPIPE is ignored: a reader of the output that went away
// is no reason to stop a transfer (the writes fail, the run goes on).
//
// On POSIX systems the signals are blocked in every thread, which inherit that
// from main, and taken by one thread of ours that waits for them (sigwait): no
// signal handler runs inside another library's code. Libraries that install
// handlers of their own, such as the Firebird client, whose handler cancels the
// running query and starts a shutdown thread that crashes at exit, never see them.
void catchInterrupts();

// Ends the process with code at once, without anybody's exit handlers: for a moment
// when the libraries are half set up.
[[noreturn]] void endAtOnce(int code);
#ifndef _WIN32
// The part of catchInterrupts that needs no thread, for the earliest moment a
// program can run code (before the shared libraries' initialisers, see main.cpp):
// an interrupt then waits until catchInterrupts takes it.
void blockInterrupts();
#endif

// Calls handler at the first interrupt, on a thread of its own; it must only ask
// for the end (it is called with a lock held that onInterrupt takes, so once
// onInterrupt returns the previous handler is no longer running). An empty
// handler: the next interrupt ends the process.
void onInterrupt(std::function<void()> handler);

}
