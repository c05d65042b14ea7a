#pragma once
// Text that came from outside (a server's reply, a remote name, a value read from a
// database) made safe to show in a message, a status line or a log. Control
// characters could move a terminal's cursor, colour what follows or, with a line
// break, forge whole lines of a log file; the bidirectional controls reorder what is
// shown ("txt.exe" read as "exe.txt"). They all become visible escapes.
#include <QString>
#include <QStringView>

enum class LineBreaks {
    Keep, // '\n' stays a line break: the lines of a multi-line reply, for a message box
    Show, // '\n' becomes "\n" too: one log line per message
};

// Each C0 control, DEL and C1 control becomes "\xHH"; the bidirectional marks,
// embeddings, overrides and isolates and the line and paragraph separators become
// "\uHHHH". Everything else is kept as it is.
QString visibleText(QStringView text, LineBreaks lineBreaks = LineBreaks::Show);
