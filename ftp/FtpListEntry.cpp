#include "FtpListEntry.h"

#include <QDate>
#include <QTime>

#include <limits>

namespace ftp {

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

bool setTime(ListEntry& e, FtpListing::TimeKind kind, int year, int month, int day, int hour, int minute, int second)
{
    if (!QDate::isValid(year, month, day) || !QTime::isValid(hour, minute, second))
        return false;
    e.kind = kind;
    e.julianDay = QDate(year, month, day).toJulianDay();
    e.msecsOfDay = ((hour * 60 + minute) * 60 + second) * 1000;
    return true;
}

}
