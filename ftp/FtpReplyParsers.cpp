#include "FtpReplyParsers.h"

#include <QRegularExpression>
#include <QStringList>

namespace ftp {

FtpCapabilities parseFeatReply(const QString& text)
{
    FtpCapabilities caps;
    const QStringList lines = text.split(QLatin1Char('\n'));
    // The first line ("Features:") and the last ("End") are no features.
    for (qsizetype i = 1; i + 1 < lines.size(); ++i) {
        const QString feature = lines[i].trimmed().section(QLatin1Char(' '), 0, 0).toUpper();
        if (feature == QLatin1String("MLSD") || feature == QLatin1String("MLST"))
            caps.mlsd = true;
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

std::optional<PasvReply> parsePasvReply(const QString& text)
{
    // RFC 959 does not fix where the numbers stand; servers put them in parentheses,
    // after "=", or bare.
    static const QRegularExpression sextet(
        QStringLiteral(R"((?<!\d)(\d{1,3}),(\d{1,3}),(\d{1,3}),(\d{1,3}),(\d{1,3}),(\d{1,3})(?!\d))"));
    const auto m = sextet.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    int n[6];
    for (int i = 0; i < 6; ++i) {
        n[i] = m.captured(i + 1).toInt();
        if (n[i] > 255)
            return std::nullopt;
    }
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
    const QStringList words = text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
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

}
