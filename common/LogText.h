#pragma once
// How a message becomes lines of the program's log, in the window and in a log
// file alike. Messages carry text from outside (server replies, remote names), so
// control characters are shown as escapes (visibleText), and a message of several
// lines (a multi-line server reply) keeps its lines but indents all after the
// first: no text from outside can pass itself off as a line of its own.
//
// The line that says how a run ended (outcomeLines) begins with kOutcomeTag, which
// no other line may begin with: a message that does (a server's reply can be the
// whole of a message) is indented too. A scheduled job's log so tells the
// program's own verdict from anything a server wrote.
#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringList>

#include <memory>

QStringList logLines(const QString& message);

inline const QString kOutcomeTag = QStringLiteral("===");

// "=== dd/mm/aaaa hh:mm:ss RESULTADO: " before the message's first line, then the
// message's lines as logLines gives them. when is the moment of the outcome itself:
// a log that several runs and windows share stays in the order things happened.
QStringList outcomeLines(const QDateTime& when, const QString& message);

// Why path would hold the program up as its log: a FIFO, whose opening waits for a
// reader and whose writes wait for its reading, or a socket (on Windows, a named
// pipe). Empty for anything else, which openLogFile tries: a scheduled send must
// not be given up for its log.
QString logTargetProblem(const QString& path);

// Opens path for appending without ever waiting, also when a FIFO took its place
// since logTargetProblem looked: a regular file (made where missing) or a device
// that takes text, such as /dev/null. A folder, a disk's device or a path that
// cannot be opened gives null, with the reason in error.
std::unique_ptr<QFile> openLogFile(const QString& path, QString& error);
