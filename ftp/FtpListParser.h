#pragma once
// Directory listings. MLSD lines are facts and a name (RFC 3659 section 7); LIST has
// no standard form (RFC 959 leaves it to the server), so we read the two that FTP
// servers send in practice: Unix "ls -l" and the MS-DOS style of IIS. A line we
// cannot read is skipped; the others are kept.
#include "FtpTypes.h"

#include <QByteArray>
#include <QDate>
#include <QString>

#include <optional>
#include <vector>

namespace ftp {

// MLSD's "cdir" and "pdir" entries come back as "." and "..", as LIST gives them.
// Times are UTC on the wire and local time in the item.
std::optional<TIdFTPListItem> parseMlsdLine(const QString& line);

// Times in LIST are the server's wall clock, taken as local time. Unix lines of recent
// files carry a time but no year; today (local) decides the year.
std::optional<TIdFTPListItem> parseListLine(const QString& line, const QDate& today);

// A whole listing as it came over the data connection.
std::vector<TIdFTPListItem> parseListing(const QByteArray& data, bool machineListing, const QDate& today);

}
