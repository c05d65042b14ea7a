// LIST lines. RFC 959 leaves their form to the server; these are the two that FTP
// servers send in practice: Unix "ls -l" (with its long-iso variant) and the
// MS-DOS style of IIS and other Windows servers.
#include "FtpListEntry.h"

#include <QDate>
#include <QTime>

#include <algorithm>
#include <optional>

namespace ftp {

namespace {

using TimeKind = FtpListing::TimeKind;

// The words of a line, one after the other, with where each ends.
class Words {
public:
    explicit Words(QByteArrayView line) : m_line(line) {}
    bool next(QByteArrayView& word, qsizetype& end)
    {
        while (m_pos < m_line.size() && isBlank(m_line[m_pos]))
            ++m_pos;
        if (m_pos >= m_line.size())
            return false;
        const qsizetype begin = m_pos;
        while (m_pos < m_line.size() && !isBlank(m_line[m_pos]))
            ++m_pos;
        word = m_line.sliced(begin, m_pos - begin);
        end = m_pos;
        return true;
    }

private:
    QByteArrayView m_line;
    qsizetype m_pos = 0;
};

// "-rw-r--r--", "drwxr-xr-x+", "lrwxrwxrwx@"...
bool isModeWord(QByteArrayView w)
{
    if (w.size() != 10 && w.size() != 11)
        return false;
    if (!QByteArrayView("-dlbcpsDL").contains(w[0]))
        return false;
    for (int i = 1; i < 10; ++i)
        if (!QByteArrayView("-rwxXsStTlL").contains(w[i]))
            return false;
    return w.size() == 10 || QByteArrayView(".+@").contains(w[10]);
}

int monthNumber(QByteArrayView w)
{
    static const char* const names[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
    if (w.size() != 3)
        return 0;
    for (int i = 0; i < 12; ++i)
        if (sameWord(w, names[i]))
            return i + 1;
    return 0;
}

// "9:05" or "14:05".
bool clockTime(QByteArrayView w, int& hour, int& minute)
{
    const qsizetype colon = w.indexOf(':');
    if (colon < 1 || colon > 2 || w.size() != colon + 3 || !allDigits(w.first(colon)) || !allDigits(w.sliced(colon + 1)))
        return false;
    hour = number(w.first(colon));
    minute = number(w.sliced(colon + 1));
    return true;
}

// "2020-01-02" of "ls --time-style=long-iso".
bool isoDate(QByteArrayView w, int& year, int& month, int& day)
{
    if (w.size() != 10 || w[4] != '-' || w[7] != '-' || !allDigits(w.first(4)) || !allDigits(w.sliced(5, 2))
        || !allDigits(w.sliced(8, 2)))
        return false;
    year = number(w.first(4));
    month = number(w.sliced(5, 2));
    day = number(w.sliced(8, 2));
    return true;
}

// Unix "ls -l": mode, links, owner, group (some servers leave it out), size, date
// and the name. The date is found as "size month day year-or-time" (or "size
// yyyy-mm-dd hh:mm"), the first such run from the left.
bool parseUnix(QByteArrayView line, RecentDays& recentDays, ListEntry& e)
{
    Words words(line);
    QByteArrayView w[4];
    qsizetype end[4];
    QByteArrayView mode;
    qsizetype modeEnd = 0;
    if (!words.next(mode, modeEnd) || !isModeWord(mode))
        return false;
    for (int k = 0; k < 4; ++k)
        if (!words.next(w[k], end[k]))
            return false;
    for (;;) {
        // w[0] the size, w[1] the month (or ISO date), w[2] the day (or clock), w[3] year or clock.
        if (allDigits(w[0])) {
            bool dated = false;
            qsizetype dateEnd = 0;
            const int month = monthNumber(w[1]);
            int hour = 0;
            int minute = 0;
            int year = 0;
            int isoMonth = 0;
            int day = 0;
            if (month > 0 && allDigits(w[2]) && w[2].size() <= 2) {
                day = number(w[2]);
                if (clockTime(w[3], hour, minute)) {
                    const std::int64_t jd = recentDays.julianDay(month, day);
                    if (jd >= 0 && QTime::isValid(hour, minute, 0)) {
                        e.kind = TimeKind::Local;
                        e.julianDay = jd;
                        e.msecsOfDay = (hour * 60 + minute) * 60000;
                        dated = true;
                    }
                } else if (allDigits(w[3]) && w[3].size() == 4) {
                    dated = setTime(e, TimeKind::Local, number(w[3]), month, day, 0, 0, 0);
                }
                dateEnd = end[3];
            } else if (isoDate(w[1], year, isoMonth, day) && clockTime(w[2], hour, minute)) {
                dated = setTime(e, TimeKind::Local, year, isoMonth, day, hour, minute, 0);
                dateEnd = end[2];
            }
            if (dated) {
                // The name starts after exactly one blank: ls pads the columns before
                // it, never the name itself, so leading blanks of a name survive.
                e.name = line.sliced(std::min(dateEnd + 1, line.size()));
                e.size = toSize(w[0]);
                const char kind = lower(mode[0]);
                e.isDirectory = kind == 'd';
                if (kind == 'l') {
                    const qsizetype arrow = e.name.indexOf(" -> ");
                    if (arrow >= 0)
                        e.name = e.name.first(arrow);
                }
                return !e.name.isEmpty();
            }
        }
        w[0] = w[1];
        w[1] = w[2];
        w[2] = w[3];
        end[0] = end[1];
        end[1] = end[2];
        end[2] = end[3];
        if (!words.next(w[3], end[3]))
            return false;
    }
}

// How many digits start at pos.
qsizetype digitsAt(QByteArrayView s, qsizetype pos)
{
    qsizetype n = 0;
    while (pos + n < s.size() && isDigit(s[pos + n]))
        ++n;
    return n;
}

qsizetype blanksAt(QByteArrayView s, qsizetype pos)
{
    qsizetype n = 0;
    while (pos + n < s.size() && isBlank(s[pos + n]))
        ++n;
    return n;
}

struct WindowsDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

// A Windows listing's date at the line's start, "01-02-20" or "01-02-2020"; pos
// ends after it.
std::optional<WindowsDate> windowsDate(QByteArrayView line, qsizetype& pos)
{
    WindowsDate d;
    const qsizetype monthDigits = digitsAt(line, pos);
    if (monthDigits < 1 || monthDigits > 2 || pos + monthDigits >= line.size() || line[pos + monthDigits] != '-')
        return std::nullopt;
    d.month = number(line.sliced(pos, monthDigits));
    pos += monthDigits + 1;
    const qsizetype dayDigits = digitsAt(line, pos);
    if (dayDigits < 1 || dayDigits > 2 || pos + dayDigits >= line.size() || line[pos + dayDigits] != '-')
        return std::nullopt;
    d.day = number(line.sliced(pos, dayDigits));
    pos += dayDigits + 1;
    const qsizetype yearDigits = digitsAt(line, pos);
    if (yearDigits != 2 && yearDigits != 4)
        return std::nullopt;
    d.year = number(line.sliced(pos, yearDigits));
    if (yearDigits == 2)
        d.year += d.year < 70 ? 2000 : 1900;
    pos += yearDigits;
    return d;
}

// IIS and other Windows servers: "01-02-20  03:04PM       <DIR>          name"
// or "01-02-2020  15:04    1234 name".
bool parseWindows(QByteArrayView line, ListEntry& e)
{
    qsizetype pos = 0;
    const std::optional<WindowsDate> date = windowsDate(line, pos);
    if (!date)
        return false;
    qsizetype blanks = blanksAt(line, pos);
    if (blanks == 0)
        return false;
    pos += blanks;

    const qsizetype hourDigits = digitsAt(line, pos);
    if (hourDigits < 1 || hourDigits > 2 || pos + hourDigits >= line.size() || line[pos + hourDigits] != ':')
        return false;
    int hour = number(line.sliced(pos, hourDigits));
    pos += hourDigits + 1;
    if (digitsAt(line, pos) < 2)
        return false;
    const int minute = number(line.sliced(pos, 2));
    pos += 2;

    // Blanks, perhaps AM or PM, and blanks again before the size.
    blanks = blanksAt(line, pos);
    pos += blanks;
    char half = 0;
    if (pos + 1 < line.size() && QByteArrayView("AaPp").contains(line[pos]) && lower(line[pos + 1]) == 'm') {
        half = lower(line[pos]);
        pos += 2;
        blanks = blanksAt(line, pos);
        pos += blanks;
    }
    if (blanks == 0)
        return false;

    bool directory = false;
    qsizetype sizeDigits = 0;
    if (line.sliced(pos).startsWith("<DIR>")) {
        directory = true;
        pos += 5;
    } else {
        sizeDigits = digitsAt(line, pos);
        if (sizeDigits == 0)
            return false;
        pos += sizeDigits;
    }
    blanks = blanksAt(line, pos);
    if (blanks == 0)
        return false;
    if (pos + blanks == line.size()) {
        // Only blanks after the size: the last of them is the name.
        if (blanks < 2)
            return false;
        e.name = line.sliced(line.size() - 1);
    } else {
        e.name = line.sliced(pos + blanks);
    }

    if (half) {
        if (hour < 1 || hour > 12)
            return false;
        hour = hour % 12 + (half == 'p' ? 12 : 0);
    }
    if (!setTime(e, TimeKind::Local, date->year, date->month, date->day, hour, minute, 0))
        return false;
    e.isDirectory = directory;
    e.size = directory ? 0 : toSize(line.sliced(pos - sizeDigits, sizeDigits));
    return true;
}

}

std::int64_t RecentDays::find(int month, int day) const
{
    for (int year = m_today.year(); year > m_today.year() - 8; --year) {
        const QDate d(year, month, day);
        if (d.isValid() && d <= m_today.addDays(1))
            return d.toJulianDay();
    }
    return -1;
}

bool parseListEntry(QByteArrayView line, RecentDays& recentDays, ListEntry& e)
{
    return parseUnix(line, recentDays, e) || parseWindows(line, (e = ListEntry{}));
}

}
