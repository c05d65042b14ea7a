#pragma once
// One line of a directory listing read into an entry, and the byte-level helpers
// the formats share. The MLSD reader is in FtpMlsdFormat.cpp, the LIST readers
// (Unix "ls -l" and MS-DOS) in FtpListFormat.cpp; FtpListParser.h cuts a listing
// into lines and keeps the entries. Private to ftp/.
#include "FtpListParser.h"
#include "FtpListing.h"

#include <QByteArrayView>

#include <cstdint>

namespace ftp {

// What one line says; name points into the line.
struct ListEntry {
    QByteArrayView name;
    std::int64_t size = 0;
    bool isDirectory = false;
    FtpListing::TimeKind kind = FtpListing::TimeKind::None;
    std::int64_t julianDay = 0;
    int msecsOfDay = 0;
};

// A line of MLSD, without its line end: facts, a blank, the name (RFC 3659 section 7).
bool parseMlsdEntry(QByteArrayView line, ListEntry& e);
// A line of LIST, without its line end: Unix or MS-DOS style.
bool parseListEntry(QByteArrayView line, RecentDays& recentDays, ListEntry& e);

// ---- shared by the formats

inline bool isDigit(char c) { return c >= '0' && c <= '9'; }
inline bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
inline char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

inline bool allDigits(QByteArrayView s)
{
    if (s.isEmpty())
        return false;
    for (const char c : s)
        if (!isDigit(c))
            return false;
    return true;
}

// Only ever called on a few digits that allDigits() or the caller has checked.
inline int number(QByteArrayView digits)
{
    int n = 0;
    for (const char c : digits)
        n = n * 10 + (c - '0');
    return n;
}

// word is lower case.
inline bool sameWord(QByteArrayView text, QByteArrayView word)
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
std::int64_t toSize(QByteArrayView s);

// False, and e unchanged, for a date or time that does not exist.
bool setTime(ListEntry& e, FtpListing::TimeKind kind, int year, int month, int day, int hour, int minute, int second);

}
