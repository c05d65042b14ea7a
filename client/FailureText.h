#pragma once
// What the user is told of a failure, whichever front end shows it: the busy
// panel's words, the message box (or none), the lines the log adds and the last
// line of a run without a window, all from the failure's kind (SessionFailure.h)
// and, for a transfer, from its record (how far it got, how often it was tried
// again, what became of the file). The window, the command line and the session's
// own report of a transfer's end read them here and nowhere else.
#include "SessionFailure.h"

#include <QString>
#include <QStringList>

enum class FailureBox {
    None,
    Warning, // "Atenção"
    Error,   // "Erro"
};

struct FailureReport {
    // The busy panel's text, whole ("Falha no envio: conexão perdida em 32 %");
    // empty where the panel has nothing new to say (a cancel says so itself).
    QString panel;
    FailureBox box = FailureBox::None;
    QString boxText;
    // What the log adds, in order: the failure's own words, the box's text, and
    // what to do.
    QStringList log;
    // The line a run without a window ends with.
    QString outcome;
};

FailureReport describeFailure(const Failure& failure);

// Whether a transfer that fails so is said as a failed transfer: the panel at its
// end, and a box of what became of the file. Not the user's own choice, nor what
// was never a transfer (a name the server does not have).
bool failsTheTransfer(FailureKind kind);
