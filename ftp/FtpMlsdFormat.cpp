// MLSD lines (RFC 3659 section 7): "fact=value;fact=value; name". The facts we use
// are type, size (or sizd, for a folder) and modify.
#include "FtpListEntry.h"

#include <algorithm>

namespace ftp {

namespace {

using TimeKind = FtpListing::TimeKind;

// "YYYYMMDDHHMMSS", perhaps with a fraction of a second (ignored), in UTC.
bool mlsdTime(QByteArrayView v, ListEntry& e)
{
    if (v.size() < 14 || !allDigits(v.first(14)))
        return false;
    if (v.size() > 14 && (v[14] != '.' || !allDigits(v.sliced(15))))
        return false;
    return setTime(e, TimeKind::Utc, number(v.sliced(0, 4)), number(v.sliced(4, 2)), number(v.sliced(6, 2)),
                   number(v.sliced(8, 2)), number(v.sliced(10, 2)), number(v.sliced(12, 2)));
}

}

bool parseMlsdEntry(QByteArrayView line, ListEntry& e)
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

}
