#pragma once
// The system's error codes in the program's words. The system's own text follows
// the user's language, and a scheduled task on Linux often has none (no LANG under
// cron): its English would then stand in the middle of a Portuguese log. The codes
// a user meets (a refused or broken connection, a file that is not there or may
// not be read, a full disk) are said in Portuguese here; any other is quoted, in
// the system's words, after the code.
#include <QString>

// An errno value, or on Windows a Win32 or Winsock error code.
QString systemErrorText(int code);

// The same for a system error that comes as text only, such as Qt's errorString()
// of a file (the system's text of the code, or one of Qt's few English texts for
// the commonest codes): the program's words where it knows the text, else the text
// in quotes.
QString systemErrorText(const QString& systemsText);
