#pragma once
// How a message becomes lines of the program's log, in the window and in a log
// file alike. Messages carry text from outside (server replies, remote names), so
// control characters are shown as escapes (visibleText), and a message of several
// lines (a multi-line server reply) keeps its lines but indents all after the
// first: no text from outside can pass itself off as a line of its own.
#include <QString>
#include <QStringList>

QStringList logLines(const QString& message);
