#pragma once
// The name an upload gets in the folder that every unidentified client shares:
// unique enough that support can tell whose file it is.
#include <QDateTime>
#include <QString>

// USERDOMAIN "_" USERNAME "-" yyyy-mm-dd_hh-nn-ss "_" bare file name. Two clients
// of the same user name may send a file of the same name in the same second: the
// second candidate (vez 2, 3, ...) carries "-2", "-3" after the time. USERDOMAIN
// and USERNAME lose "/", "\" and control characters (each becomes "_"), which would
// put the file in another folder or break its name. A name longer than a server's
// file system takes is shortened in the middle of the file's own name, keeping the
// prefix and the extension.
QString NomeUnicoBaseCorrompida(const QString& localPath, const QDateTime& now, int vez = 1);
// USERNAME, or the login name where the variable is unset (outside Windows).
QString NomeUsuario();
