#include "FtpListParser.h"

#include "FtpText.h"

#include <QRegularExpression>
#include <QTimeZone>

namespace ftp {

namespace {

std::int64_t toSize(const QString& text)
{
    bool ok = false;
    const qlonglong n = text.toLongLong(&ok);
    return ok && n >= 0 ? n : 0;
}

QDateTime mlsdTime(const QString& value)
{
    static const QRegularExpression form(QStringLiteral(R"(^(\d{4})(\d\d)(\d\d)(\d\d)(\d\d)(\d\d)(?:\.\d+)?$)"));
    const auto m = form.match(value);
    if (!m.hasMatch())
        return {};
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, QTimeZone::utc()).toLocalTime();
}

int monthNumber(const QString& token)
{
    static const char* const names[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
    if (token.size() != 3)
        return 0;
    const QString lower = token.toLower();
    for (int i = 0; i < 12; ++i)
        if (lower == QLatin1String(names[i]))
            return i + 1;
    return 0;
}

bool allDigits(const QString& s)
{
    if (s.isEmpty())
        return false;
    for (const QChar c : s)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

struct Token {
    QString text;
    qsizetype end; // one past its last character in the line
};

std::vector<Token> tokens(const QString& line)
{
    static const QRegularExpression word(QStringLiteral("\\S+"));
    std::vector<Token> out;
    auto it = word.globalMatch(line);
    while (it.hasNext()) {
        const auto m = it.next();
        out.push_back({m.captured(0), m.capturedEnd(0)});
    }
    return out;
}

// A date without a year lies within the last months, or a little ahead of our clock
// when the server's clock or zone differs from ours.
QDate recentDate(int month, int day, const QDate& today)
{
    for (int year = today.year(); year > today.year() - 8; --year) {
        const QDate d(year, month, day);
        if (d.isValid() && d <= today.addDays(1))
            return d;
    }
    return {};
}

std::optional<TIdFTPListItem> parseUnixLine(const QString& line, const QDate& today)
{
    static const QRegularExpression mode(QStringLiteral(R"(^[-dlbcpsDL][-rwxXsStTlL]{9}[.+@]?$)"));
    static const QRegularExpression clock(QStringLiteral(R"(^(\d{1,2}):(\d\d)$)"));
    static const QRegularExpression isoDate(QStringLiteral(R"(^(\d{4})-(\d\d)-(\d\d)$)"));
    const std::vector<Token> t = tokens(line);
    if (t.size() < 5 || !mode.match(t[0].text).hasMatch())
        return std::nullopt;

    for (std::size_t i = 2; i + 2 < t.size(); ++i) {
        if (!allDigits(t[i - 1].text))
            continue;
        QDate date;
        QTime time(0, 0);
        qsizetype dateEnd = 0;
        const int month = monthNumber(t[i].text);
        if (month > 0 && allDigits(t[i + 1].text) && t[i + 1].text.size() <= 2) {
            const int day = t[i + 1].text.toInt();
            const QString& yearOrTime = t[i + 2].text;
            if (const auto c = clock.match(yearOrTime); c.hasMatch()) {
                time = QTime(c.captured(1).toInt(), c.captured(2).toInt());
                date = recentDate(month, day, today);
            } else if (allDigits(yearOrTime) && yearOrTime.size() == 4) {
                date = QDate(yearOrTime.toInt(), month, day);
            }
            dateEnd = t[i + 2].end;
        } else if (const auto iso = isoDate.match(t[i].text); iso.hasMatch()) {
            // "ls --time-style=long-iso": 2020-01-02 10:03, one token fewer.
            if (const auto c = clock.match(t[i + 1].text); c.hasMatch()) {
                date = QDate(iso.captured(1).toInt(), iso.captured(2).toInt(), iso.captured(3).toInt());
                time = QTime(c.captured(1).toInt(), c.captured(2).toInt());
                dateEnd = t[i + 1].end;
            }
        }
        if (!date.isValid() || !time.isValid())
            continue;

        TIdFTPListItem item;
        // The name starts after exactly one blank: ls pads the columns before it,
        // never the name itself, so leading blanks of a name survive.
        item.FileName = line.mid(dateEnd + 1);
        item.Size = toSize(t[i - 1].text);
        item.ModifiedDate = QDateTime(date, time);
        const QChar kind = t[0].text[0].toLower();
        item.IsDirectory = kind == QLatin1Char('d');
        if (kind == QLatin1Char('l'))
            item.FileName = item.FileName.section(QStringLiteral(" -> "), 0, 0);
        if (item.FileName.isEmpty())
            return std::nullopt;
        return item;
    }
    return std::nullopt;
}

// IIS and other Windows servers: "01-02-20  03:04PM       <DIR>          name"
// or "01-02-2020  15:04    1234 name".
std::optional<TIdFTPListItem> parseWindowsLine(const QString& line)
{
    static const QRegularExpression form(QStringLiteral(
        R"(^(\d{1,2})-(\d{1,2})-(\d{2}|\d{4})\s+(\d{1,2}):(\d\d)\s*([AaPp][Mm])?\s+(<DIR>|\d+)\s+(.+)$)"));
    const auto m = form.match(line);
    if (!m.hasMatch())
        return std::nullopt;
    int year = m.captured(3).toInt();
    if (m.captured(3).size() == 2)
        year += year < 70 ? 2000 : 1900;
    int hour = m.captured(4).toInt();
    const QString half = m.captured(6).toUpper();
    if (!half.isEmpty()) {
        if (hour < 1 || hour > 12)
            return std::nullopt;
        hour = hour % 12 + (half == QLatin1String("PM") ? 12 : 0);
    }
    const QDate date(year, m.captured(1).toInt(), m.captured(2).toInt());
    const QTime time(hour, m.captured(5).toInt());
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    TIdFTPListItem item;
    item.FileName = m.captured(8);
    item.IsDirectory = m.captured(7) == QLatin1String("<DIR>");
    item.Size = item.IsDirectory ? 0 : toSize(m.captured(7));
    item.ModifiedDate = QDateTime(date, time);
    return item;
}

}

std::optional<TIdFTPListItem> parseMlsdLine(const QString& rawLine)
{
    QString line = rawLine;
    while (line.endsWith(QLatin1Char('\r')) || line.endsWith(QLatin1Char('\n')))
        line.chop(1);
    const qsizetype blank = line.indexOf(QLatin1Char(' '));
    if (blank <= 0 || blank + 1 >= line.size())
        return std::nullopt;

    TIdFTPListItem item;
    item.FileName = line.mid(blank + 1);
    QString type;
    QString size;
    QString sizd;
    const QStringList facts = line.left(blank).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (facts.isEmpty())
        return std::nullopt;
    for (const QString& fact : facts) {
        const qsizetype eq = fact.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return std::nullopt;
        const QString key = fact.left(eq).toLower();
        const QString value = fact.mid(eq + 1);
        if (key == QLatin1String("type"))
            type = value.toLower();
        else if (key == QLatin1String("size"))
            size = value;
        else if (key == QLatin1String("sizd"))
            sizd = value;
        else if (key == QLatin1String("modify"))
            item.ModifiedDate = mlsdTime(value);
    }
    if (type == QLatin1String("cdir")) {
        item.FileName = QStringLiteral(".");
        item.IsDirectory = true;
    } else if (type == QLatin1String("pdir")) {
        item.FileName = QStringLiteral("..");
        item.IsDirectory = true;
    } else {
        item.IsDirectory = type == QLatin1String("dir");
    }
    item.Size = toSize(!size.isEmpty() ? size : sizd);
    return item;
}

std::optional<TIdFTPListItem> parseListLine(const QString& rawLine, const QDate& today)
{
    QString line = rawLine;
    while (line.endsWith(QLatin1Char('\r')) || line.endsWith(QLatin1Char('\n')))
        line.chop(1);
    if (line.trimmed().isEmpty())
        return std::nullopt;
    if (auto item = parseUnixLine(line, today))
        return item;
    return parseWindowsLine(line);
}

std::vector<TIdFTPListItem> parseListing(const QByteArray& data, bool machineListing, const QDate& today)
{
    std::vector<TIdFTPListItem> items;
    qsizetype start = 0;
    while (start < data.size()) {
        qsizetype nl = data.indexOf('\n', start);
        if (nl < 0)
            nl = data.size();
        QByteArrayView raw(data.constData() + start, nl - start);
        if (raw.endsWith('\r'))
            raw.chop(1);
        start = nl + 1;
        if (raw.isEmpty())
            continue;
        const QString line = decodeServerText(raw);
        auto item = machineListing ? parseMlsdLine(line) : parseListLine(line, today);
        if (item)
            items.push_back(std::move(*item));
    }
    return items;
}

}
