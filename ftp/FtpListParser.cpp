#include "FtpListParser.h"

#include "FtpText.h"

#include <QTime>

#include <cstring>
#include <limits>

namespace ftp {

namespace {

using TimeKind = FtpListing::TimeKind;

struct Entry {
    QByteArrayView name;
    std::int64_t size = 0;
    bool isDirectory = false;
    TimeKind kind = TimeKind::None;
    std::int64_t julianDay = 0;
    int msecsOfDay = 0;
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

bool allDigits(QByteArrayView s)
{
    if (s.isEmpty())
        return false;
    for (const char c : s)
        if (!isDigit(c))
            return false;
    return true;
}

// Only ever called on a few digits that allDigits() or the caller has checked.
int number(QByteArrayView digits)
{
    int n = 0;
    for (const char c : digits)
        n = n * 10 + (c - '0');
    return n;
}

// word is lower case.
bool sameWord(QByteArrayView text, QByteArrayView word)
{
    if (text.size() != word.size())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (lower(text[i]) != word[i])
            return false;
    return true;
}

// A byte count: blanks around it and a sign allowed; anything else, a negative
// number or one beyond 64 bits gives 0. It ends at a NUL, as it always has.
std::int64_t toSize(QByteArrayView s)
{
    if (const qsizetype nul = s.indexOf('\0'); nul >= 0)
        s = s.first(nul);
    qsizetype i = 0;
    qsizetype n = s.size();
    while (i < n && isBlank(s[i]))
        ++i;
    while (n > i && isBlank(s[n - 1]))
        --n;
    bool negative = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    if (i == n)
        return 0;
    std::uint64_t value = 0;
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    for (; i < n; ++i) {
        if (!isDigit(s[i]))
            return 0;
        const auto digit = static_cast<std::uint64_t>(s[i] - '0');
        if (value > (kMax - digit) / 10)
            return 0;
        value = value * 10 + digit;
    }
    return negative ? 0 : static_cast<std::int64_t>(value);
}

bool setTime(Entry& e, TimeKind kind, int year, int month, int day, int hour, int minute, int second)
{
    if (!QDate::isValid(year, month, day) || !QTime::isValid(hour, minute, second))
        return false;
    e.kind = kind;
    e.julianDay = QDate(year, month, day).toJulianDay();
    e.msecsOfDay = ((hour * 60 + minute) * 60 + second) * 1000;
    return true;
}

// "YYYYMMDDHHMMSS", perhaps with a fraction of a second (ignored), in UTC.
bool mlsdTime(QByteArrayView v, Entry& e)
{
    if (v.size() < 14 || !allDigits(v.first(14)))
        return false;
    if (v.size() > 14 && (v[14] != '.' || !allDigits(v.sliced(15))))
        return false;
    return setTime(e, TimeKind::Utc, number(v.sliced(0, 4)), number(v.sliced(4, 2)), number(v.sliced(6, 2)),
                   number(v.sliced(8, 2)), number(v.sliced(10, 2)), number(v.sliced(12, 2)));
}

bool parseMlsd(QByteArrayView line, Entry& e)
{
    const qsizetype blank = line.indexOf(' ');
    if (blank <= 0 || blank + 1 >= line.size())
        return false;
    e.name = line.sliced(blank + 1);
    QByteArrayView type;
    QByteArrayView size;
    QByteArrayView sizd;
    bool anyFact = false;
    QByteArrayView facts = line.first(blank);
    while (!facts.isEmpty()) {
        qsizetype semi = facts.indexOf(';');
        if (semi < 0)
            semi = facts.size();
        const QByteArrayView fact = facts.first(semi);
        facts = facts.sliced(std::min(semi + 1, facts.size()));
        if (fact.isEmpty())
            continue;
        const qsizetype eq = fact.indexOf('=');
        if (eq <= 0)
            return false;
        anyFact = true;
        const QByteArrayView key = fact.first(eq);
        const QByteArrayView value = fact.sliced(eq + 1);
        if (sameWord(key, "type"))
            type = value;
        else if (sameWord(key, "size"))
            size = value;
        else if (sameWord(key, "sizd"))
            sizd = value;
        else if (sameWord(key, "modify") && !mlsdTime(value, e))
            e.kind = TimeKind::None;
    }
    if (!anyFact)
        return false;
    if (sameWord(type, "cdir")) {
        e.name = ".";
        e.isDirectory = true;
    } else if (sameWord(type, "pdir")) {
        e.name = "..";
        e.isDirectory = true;
    } else {
        e.isDirectory = sameWord(type, "dir");
    }
    e.size = toSize(!size.isEmpty() ? size : sizd);
    return true;
}

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
template <typename RecentDay>
bool parseUnix(QByteArrayView line, RecentDay recentDay, Entry& e)
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
                    const std::int64_t jd = recentDay(month, day);
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

// IIS and other Windows servers: "01-02-20  03:04PM       <DIR>          name"
// or "01-02-2020  15:04    1234 name".
bool parseWindows(QByteArrayView line, Entry& e)
{
    qsizetype pos = 0;
    const qsizetype monthDigits = digitsAt(line, pos);
    if (monthDigits < 1 || monthDigits > 2 || pos + monthDigits >= line.size() || line[pos + monthDigits] != '-')
        return false;
    const int month = number(line.sliced(pos, monthDigits));
    pos += monthDigits + 1;
    const qsizetype dayDigits = digitsAt(line, pos);
    if (dayDigits < 1 || dayDigits > 2 || pos + dayDigits >= line.size() || line[pos + dayDigits] != '-')
        return false;
    const int day = number(line.sliced(pos, dayDigits));
    pos += dayDigits + 1;
    const qsizetype yearDigits = digitsAt(line, pos);
    if (yearDigits != 2 && yearDigits != 4)
        return false;
    int year = number(line.sliced(pos, yearDigits));
    if (yearDigits == 2)
        year += year < 70 ? 2000 : 1900;
    pos += yearDigits;
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
    if (!setTime(e, TimeKind::Local, year, month, day, hour, minute, 0))
        return false;
    e.isDirectory = directory;
    e.size = directory ? 0 : toSize(line.sliced(pos - sizeDigits, sizeDigits));
    return true;
}

QByteArrayView withoutLineEnd(QByteArrayView line)
{
    while (!line.isEmpty() && (line.back() == '\r' || line.back() == '\n'))
        line.chop(1);
    return line;
}

// A date without a year lies within the last months, or a little ahead of our clock
// when the server's clock or zone differs from ours. The Julian day, or -1.
std::int64_t recentDate(int month, int day, const QDate& today)
{
    for (int year = today.year(); year > today.year() - 8; --year) {
        const QDate d(year, month, day);
        if (d.isValid() && d <= today.addDays(1))
            return d.toJulianDay();
    }
    return -1;
}

template <typename RecentDay>
bool parseListEntry(QByteArrayView line, RecentDay recentDay, Entry& e)
{
    return parseUnix(line, recentDay, e) || parseWindows(line, (e = Entry{}));
}

std::optional<TIdFTPListItem> itemOf(const Entry& e)
{
    if (e.name.isEmpty() || e.name.size() > FtpListing::kMaxNameBytes)
        return std::nullopt;
    TIdFTPListItem item;
    item.RawName = e.name.toByteArray();
    item.FileName = displayName(e.name);
    item.Size = e.size;
    item.IsDirectory = e.isDirectory;
    item.ModifiedDate = FtpListing::toDateTime(e.kind, e.julianDay, e.msecsOfDay);
    return item;
}

}

ListingParser::ListingParser(bool machineListing, const QDate& today) : m_machine(machineListing), m_today(today) {}

std::int64_t ListingParser::recentDay(int month, int day)
{
    // Day and month come from one or two digits; only real ones are worth keeping.
    if (day < 1 || day > 31)
        return -1;
    std::int64_t& known = m_recentDays[month - 1][day - 1];
    if (known == 0)
        known = recentDate(month, day, m_today);
    return known;
}

void ListingParser::line(QByteArrayView raw)
{
    const QByteArrayView text = withoutLineEnd(raw);
    if (text.isEmpty())
        return;
    Entry e;
    const bool ok = m_machine ? parseMlsd(text, e)
                              : parseListEntry(text, [this](int m, int d) { return recentDay(m, d); }, e);
    if (ok)
        m_builder.add(e.name, e.size, e.isDirectory, e.kind, e.julianDay, e.msecsOfDay);
}

void ListingParser::feed(const char* data, std::size_t size)
{
    const char* p = data;
    const char* const stop = data + size;
    while (p < stop) {
        const auto* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(stop - p)));
        if (!nl) {
            const auto rest = static_cast<qsizetype>(stop - p);
            if (m_skippingLongLine)
                return;
            if (m_partial.size() + rest > kMaxLineBytes) {
                m_skippingLongLine = true;
                m_partial.clear();
                return;
            }
            m_partial.append(p, rest);
            return;
        }
        const QByteArrayView piece(p, nl - p);
        p = nl + 1;
        if (m_skippingLongLine) {
            m_skippingLongLine = false;
            continue;
        }
        if (m_partial.isEmpty()) {
            if (piece.size() <= kMaxLineBytes)
                line(piece);
            continue;
        }
        if (m_partial.size() + piece.size() <= kMaxLineBytes) {
            m_partial.append(piece);
            line(m_partial);
        }
        m_partial.clear();
    }
}

FtpListing ListingParser::finish()
{
    if (!m_skippingLongLine && !m_partial.isEmpty())
        line(m_partial);
    m_partial.clear();
    m_skippingLongLine = false;
    return m_builder.finish();
}

FtpListing parseListing(const QByteArray& data, bool machineListing, const QDate& today)
{
    ListingParser parser(machineListing, today);
    parser.feed(data.constData(), static_cast<std::size_t>(data.size()));
    return parser.finish();
}

std::optional<TIdFTPListItem> parseMlsdLine(const QString& line)
{
    const QByteArray bytes = line.toUtf8();
    Entry e;
    if (!parseMlsd(withoutLineEnd(bytes), e))
        return std::nullopt;
    return itemOf(e);
}

std::optional<TIdFTPListItem> parseListLine(const QString& line, const QDate& today)
{
    const QByteArray bytes = line.toUtf8();
    const QByteArrayView text = withoutLineEnd(bytes);
    if (text.isEmpty())
        return std::nullopt;
    Entry e;
    if (!parseListEntry(text, [&today](int m, int d) { return recentDate(m, d, today); }, e))
        return std::nullopt;
    return itemOf(e);
}

}
