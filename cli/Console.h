#pragma once
// The mode without a window and the console or terminal it was started from.
#include <QString>

#include <cstdio>
#include <functional>

namespace console {

// On Windows the program is a GUI-subsystem executable, which gets no console of
// its own: started from one, its standard streams that the parent did not
// redirect are pointed at the parent's console. Elsewhere nothing to do.
void attachToParent();

// Whether the stream is a terminal or console that a line can be redrawn on.
bool isTerminal(std::FILE* stream);

// Writes text to stdout or stderr at once: UTF-8, or UTF-16 to a Windows console,
// which shows it so whatever its code page.
void write(std::FILE* stream, const QString& text);

// Calls handler (from any thread) at the first interrupt: Ctrl+C, SIGTERM or
// SIGHUP, a console's Ctrl+Break or closing. A second interrupt ends the process
// at once. An empty handler restores the defaults. Needs a QCoreApplication.
void onInterrupt(std::function<void()> handler);

}
