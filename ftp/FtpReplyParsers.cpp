// The replies' parsers are plain code, without QRegularExpression: they run on the
// session's thread, and a regular expression leaves that thread a JIT stack of its
// own whose thread_local destructor, under MinGW's emulated TLS, runs after the
// thread's storage is freed. On Windows the thread then dies at its end inside the
// C runtime's key lock, and the process hangs at exit.
#include "FtpReplyParsers.h"

#include "FtpListParser.h"

#include <QStringList>

#include <cctype>

namespace ftp {

FtpFailure refusalOf(const FtpReply& reply)
{
    const int code = reply.code;
    if (code >= 400 && reply.text.contains(QLatin1String("no such file or directory"), Qt::CaseInsensitive))
        return FtpFailure::NotThere;
    if (code == 421)
        return FtpFailure::ConnectionLost;
    if (code == 452 || code == 552)
        return FtpFailure::InsufficientStorage;
    if (code >= 400 && code < 500)
        return FtpFailure::NotNow;
    if (code == 550 || code == 553)
        return FtpFailure::FileUnavailable;
    if (code >= 500 && code < 600)
        return FtpFailure::Refused;
    return FtpFailure::UnexpectedReply;
}

bool refusesAsExisting(const FtpReply& reply)
{
    return reply.code >= 400 && reply.text.contains(QLatin1String("exist"), Qt::CaseInsensitive);
}

FtpCapabilities parseFeatReply(const QString& text)
{
    FtpCapabilities caps;
    const QStringList lines = text.split(QLatin1Char('\n'));
    // The first line ("Features:") and the last ("End") are no features.
    for (qsizetype i = 1; i + 1 < lines.size(); ++i) {
        const QString feature = lines[i].trimmed().section(QLatin1Char(' '), 0, 0).toUpper();
        if (feature == QLatin1String("MLSD"))
            caps.mlsd = true;
        else if (feature == QLatin1String("MLST"))
            caps.mlsd = caps.mlst = true;
        else if (feature == QLatin1String("HASH")) {
            // "HASH SHA-256*;SHA-1;MD5": the one in use carries the star.
            const QStringList names = lines[i].trimmed().section(QLatin1Char(' '), 1).split(QLatin1Char(';'), Qt::SkipEmptyParts);
            for (const QString& raw : names) {
                const bool inUse = raw.trimmed().endsWith(QLatin1Char('*'));
                const QString name = canonicalHashName(raw.trimmed().remove(QLatin1Char('*')));
                if (name.isEmpty() || caps.hashAlgorithms.contains(name))
                    continue;
                if (inUse)
                    caps.hashAlgorithms.prepend(name);
                else
                    caps.hashAlgorithms.append(name);
            }
        } else if (feature == QLatin1String("XSHA256"))
            caps.xsha256 = true;
        else if (feature == QLatin1String("XSHA1"))
            caps.xsha1 = true;
        else if (feature == QLatin1String("XMD5"))
            caps.xmd5 = true;
        else if (feature == QLatin1String("XCRC"))
            caps.xcrc = true;
        else if (feature == QLatin1String("EPSV"))
            caps.epsv = true;
        else if (feature == QLatin1String("EPRT"))
            caps.eprt = true;
        else if (feature == QLatin1String("SIZE"))
            caps.size = true;
        else if (feature == QLatin1String("UTF8"))
            caps.utf8 = true;
    }
    return caps;
}

namespace {

bool isAsciiDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

// Six numbers of one to three digits joined by commas, starting at from, with no
// digit just before or just after them.
bool readSextet(const QString& text, qsizetype from, int (&n)[6])
{
    if (from > 0 && isAsciiDigit(text[from - 1]))
        return false;
    qsizetype i = from;
    for (int k = 0; k < 6; ++k) {
        if (k > 0) {
            if (i >= text.size() || text[i] != QLatin1Char(','))
                return false;
            ++i;
        }
        const qsizetype start = i;
        int value = 0;
        while (i < text.size() && isAsciiDigit(text[i]) && i - start < 3)
            value = value * 10 + (text[i++].unicode() - '0');
        if (i == start)
            return false;
        n[k] = value;
    }
    return i >= text.size() || !isAsciiDigit(text[i]);
}

// The words of a reply, split at any white space.
QStringList wordsOf(const QString& text)
{
    return text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

}

std::optional<PasvReply> parsePasvReply(const QString& text)
{
    // RFC 959 does not fix where the numbers stand; servers put them in parentheses,
    // after "=", or bare.
    int n[6];
    qsizetype at = 0;
    while (at < text.size() && !readSextet(text, at, n))
        ++at;
    if (at >= text.size())
        return std::nullopt;
    for (const int value : n)
        if (value > 255)
            return std::nullopt;
    PasvReply r;
    r.address = (std::uint32_t(n[0]) << 24) | (std::uint32_t(n[1]) << 16) | (std::uint32_t(n[2]) << 8) | std::uint32_t(n[3]);
    const int port = n[4] * 256 + n[5];
    if (port == 0)
        return std::nullopt;
    r.port = static_cast<std::uint16_t>(port);
    return r;
}

std::optional<std::uint16_t> parseEpsvReply(const QString& text)
{
    // "(<d><d><d>port<d>)" where <d> is one printable delimiter, "|" in practice.
    const qsizetype open = text.indexOf(QLatin1Char('('));
    if (open < 0 || open + 5 >= text.size())
        return std::nullopt;
    const QChar d = text[open + 1];
    if (d.unicode() < 33 || d.unicode() > 126 || d.isDigit() || text[open + 2] != d || text[open + 3] != d)
        return std::nullopt;
    const qsizetype start = open + 4;
    const qsizetype end = text.indexOf(d, start);
    if (end <= start || end + 1 >= text.size() || text[end + 1] != QLatin1Char(')') || end - start > 5)
        return std::nullopt;
    bool ok = false;
    const int port = text.mid(start, end - start).toInt(&ok);
    for (qsizetype i = start; i < end; ++i)
        if (!text[i].isDigit())
            return std::nullopt;
    if (!ok || port < 1 || port > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(port);
}

std::optional<QString> parsePwdReply(const QString& text)
{
    const qsizetype open = text.indexOf(QLatin1Char('"'));
    if (open >= 0) {
        QString path;
        for (qsizetype i = open + 1; i < text.size(); ++i) {
            if (text[i] != QLatin1Char('"')) {
                path.append(text[i]);
                continue;
            }
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
                path.append(QLatin1Char('"'));
                ++i;
                continue;
            }
            return path;
        }
        return std::nullopt; // no closing quote
    }
    const QStringList words = wordsOf(text);
    for (const QString& w : words)
        if (w.startsWith(QLatin1Char('/')))
            return w;
    return std::nullopt;
}

std::optional<std::int64_t> parseSizeReply(const QString& text)
{
    const QString first = text.trimmed().section(QLatin1Char(' '), 0, 0);
    if (first.isEmpty())
        return std::nullopt;
    for (const QChar c : first)
        if (!c.isDigit() || c.unicode() > 127)
            return std::nullopt;
    bool ok = false;
    const qlonglong n = first.toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return static_cast<std::int64_t>(n);
}

std::optional<TIdFTPListItem> parseMlstReply(const QString& text)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 1; i + 1 < lines.size(); ++i) {
        if (!lines[i].startsWith(QLatin1Char(' ')))
            continue;
        if (auto item = parseMlsdLine(lines[i].mid(1)))
            return item;
    }
    return std::nullopt;
}

int hashDigits(const QString& algorithm)
{
    if (algorithm == QLatin1String("SHA-256"))
        return 64;
    if (algorithm == QLatin1String("SHA-1"))
        return 40;
    if (algorithm == QLatin1String("MD5"))
        return 32;
    if (algorithm == QLatin1String("CRC32"))
        return 8;
    return 0;
}

QString canonicalHashName(const QString& name)
{
    QString key = name.trimmed().toUpper();
    key.remove(QLatin1Char('-'));
    if (key == QLatin1String("SHA256"))
        return QStringLiteral("SHA-256");
    if (key == QLatin1String("SHA1"))
        return QStringLiteral("SHA-1");
    if (key == QLatin1String("MD5"))
        return QStringLiteral("MD5");
    if (key == QLatin1String("CRC32"))
        return QStringLiteral("CRC32");
    return {};
}

std::optional<QByteArray> parseHashValue(const QString& text, int hexDigits)
{
    if (hexDigits <= 0)
        return std::nullopt;
    const QStringList words = wordsOf(text);
    for (const QString& w : words) {
        if (w.size() != hexDigits)
            continue;
        bool hex = true;
        for (const QChar c : w)
            hex = hex && c.unicode() < 128 && std::isxdigit(static_cast<unsigned char>(c.unicode()));
        if (hex)
            return QByteArray::fromHex(w.toLatin1());
    }
    return std::nullopt;
}

std::optional<HashReply> parseHashReply(const QString& text)
{
    // The first line only: the name after the digest may hold anything but a line break.
    const QStringList words = text.section(QLatin1Char('\n'), 0, 0).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() < 3)
        return std::nullopt;
    const QString algorithm = canonicalHashName(words[0]);
    const int digits = hashDigits(algorithm);
    if (digits == 0 || words[2].size() != digits)
        return std::nullopt;
    const auto digest = parseHashValue(words[2], digits);
    if (!digest)
        return std::nullopt;
    return HashReply{algorithm, *digest};
}

}
