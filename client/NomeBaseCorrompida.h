#pragma once
// The name an upload gets in the folder that every unidentified client shares:
// unique enough that support can tell whose file it is.
#include <QDateTime>
#include <QString>

// USERDOMAIN "_" USERNAME "-" yyyy-mm-dd_hh-nn-ss "_" bare file name.
QString NomeUnicoBaseCorrompida(const QString& localPath, const QDateTime& now);
// USERNAME, or the login name where the variable is unset (outside Windows).
QString NomeUsuario();
