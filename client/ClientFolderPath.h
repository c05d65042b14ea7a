#pragma once
// Where a client's folder lies on the FTP server, and the folders the walk goes
// through to reach it: pure rules, kept apart from the database work that finds the
// client's values.
#include <QString>
#include <QStringList>

// The client folder: "/gCALDORIA/Cidades/" CITY "-" UF "/" TIPO "/" SIGLA, with
// CITY the city through FormataNomeCidade and uf already trimmed and upper-cased.
// A "/" in the city adds a level inside the client tree, as the folders already on
// the server have it (Bom Jesus/PI). Anything that would take the folder out of that
// tree or empty a level in it is refused with an Exception that says why: a city or
// state holding "\" or control characters other than blanks, and values that would
// make a level empty (or blanks alone), "." or "..". Blanks and a "/" inside the
// state split its level, as the walk splits any level.
QString clientFolderPath(const QString& cidade, const QString& uf, const QString& tipo, const QString& sigla);

// The folders below the server's root that lead to directory, in order, as the walk
// creates and enters them: "/" and blanks (codes 1 to 32) separate them, and runs of
// separators make no empty folder. Throws an Exception when one of them is "." or
// "..", whatever put it there: the walk never climbs.
QStringList clientFolderPieces(const QString& directory);
