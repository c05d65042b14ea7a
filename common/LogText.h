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

// Why path cannot be a log file: it exists and is no regular file (a FIFO, whose
// opening would wait for a reader for good, a device, a folder). Empty when it may.
QString logTargetProblem(const QString& path);

// Opens path for appending without ever waiting, also when a FIFO took its place
// since logTargetProblem looked. Null, with the reason in error, on failure.
std::unique_ptr<QFile> openLogFile(const QString& path, QString& error);
