#pragma once
// Which FTP servers completed TLS with this user, from one run to the next: a
// later connection there that is offered no TLS (someone on the way answering
// "500" to AUTH TLS) is refused before the login, instead of being given the
// shared password and the backup in clear.
//
// The memory is a file of its own beside the user's settings
// (~/.config/Quintara/FTPCaldoria-servidores-tls.txt, on Windows in
// %APPDATA%\Quintara), one "host:port" a line. The settings file may be
// unwritable, a folder or garbage, and QSettings loses what it cannot write
// without a word; this file is replaced whole (QSaveFile) and read back, and a
// memory that could not be kept is said. Nothing in the program ever forgets a
// server: for one that really stopped offering TLS, a person deletes its line.
//
// Earlier versions kept the same memory in the settings file (group
// "conexao-segura"); it still counts, and goes once the file holds it.
#include "Endpoints.h"

#include <QList>
#include <QString>

namespace tlsSeenMemory {

// Where the memory lives now (QSettings::setPath moves it with the settings).
QString filePath();

// Whether a connection to host and port completed TLS before.
bool seen(const QString& host, int port);

// Remembers that these servers completed TLS. Empty when the file holds them, read
// back; otherwise why it could not be kept, in a sentence for the log.
QString remember(const QList<Endpoints::Destino>& servers);

}
