#pragma once
// Directory listings. MLSD lines are facts and a name (RFC 3659 section 7); LIST has
// no standard form (RFC 959 leaves it to the server), so we read the two that FTP
// servers send in practice: Unix "ls -l" and the MS-DOS style of IIS. A line we
// cannot read is skipped; the others are kept.
//
// The parsers read bytes: a name stays the bytes the server sent (see FtpText.h),
// and nothing is decoded or converted to local time while a listing is read, which
// is most of what reading a large listing used to cost.
#include "FtpListing.h"
#include "FtpTypes.h"

#include <QByteArray>
#include <QDate>
#include <QString>

#include <cstdint>
#include <optional>

namespace ftp {

// Unix LIST lines of recent files show a month and day but no year: the date lies
// within the last months, or a little ahead of our clock when the server's clock or
// zone differs from ours. Each month and day is worked out once.
class RecentDays {
public:
    explicit RecentDays(const QDate& today) : m_today(today) {}
    // The Julian day, or -1 where no such date lies in the last years.
    std::int64_t julianDay(int month, int day)
    {
        // Day and month come from one or two digits; only real ones are worth keeping.
        if (month < 1 || month > 12 || day < 1 || day > 31)
            return -1;
        std::int64_t& known = m_known[month - 1][day - 1];
        if (known == 0)
            known = find(month, day);
        return known;
    }

private:
    std::int64_t find(int month, int day) const;

    QDate m_today;
    std::int64_t m_known[12][31] = {}; // 0: not worked out yet, -1: none
};

// Reads a listing piece by piece as it arrives over the data connection, holding
// only the line in progress. Lines longer than kMaxLineBytes hold no entry we keep
// (the name alone would be too long) and are skipped without being held.
class ListingParser {
public:
    static constexpr qsizetype kMaxLineBytes = 64 * 1024;

    // today (local) decides the year of the recent Unix entries that show a time
    // instead of a year.
    ListingParser(bool machineListing, const QDate& today);
    // Throws EIdFTPError when the listing exceeds FtpListing's limits.
    void feed(const char* data, std::size_t size);
    FtpListing finish();

private:
    void line(QByteArrayView line);

    bool m_machine;
    RecentDays m_recentDays;
    QByteArray m_partial;
    bool m_skippingLongLine = false;
    FtpListing::Builder m_builder;
};

// A whole listing as it came over the data connection.
FtpListing parseListing(const QByteArray& data, bool machineListing, const QDate& today);

// One line. MLSD's "cdir" and "pdir" entries come back as "." and "..", as LIST
// gives them. Times are UTC on the wire and local time in the item.
std::optional<TIdFTPListItem> parseMlsdLine(const QString& line);

// Times in LIST are the server's wall clock, taken as local time. Unix lines of recent
// files carry a time but no year; today (local) decides the year.
std::optional<TIdFTPListItem> parseListLine(const QString& line, const QDate& today);

}
