// A listing cut into lines as it arrives, each line read by its format's reader
// (FtpListEntry.h) and kept in an FtpListing.
#include "FtpListParser.h"

#include "FtpListEntry.h"
#include "FtpText.h"

#include <cstring>

namespace ftp {

namespace {

QByteArrayView withoutLineEnd(QByteArrayView line)
{
    while (!line.isEmpty() && (line.back() == '\r' || line.back() == '\n'))
        line.chop(1);
    return line;
}

bool parseLine(QByteArrayView text, bool machineListing, RecentDays& recentDays, ListEntry& e)
{
    return machineListing ? parseMlsdEntry(text, e) : parseListEntry(text, recentDays, e);
}

std::optional<TIdFTPListItem> parseOneLine(const QString& line, bool machineListing, const QDate& today)
{
    const QByteArray bytes = line.toUtf8();
    const QByteArrayView text = withoutLineEnd(bytes);
    RecentDays recentDays(today);
    ListEntry e;
    if (text.isEmpty() || !parseLine(text, machineListing, recentDays, e))
        return std::nullopt;
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

ListingParser::ListingParser(bool machineListing, const QDate& today) : m_machine(machineListing), m_recentDays(today) {}

void ListingParser::line(QByteArrayView raw)
{
    const QByteArrayView text = withoutLineEnd(raw);
    if (text.isEmpty())
        return;
    ListEntry e;
    if (parseLine(text, m_machine, m_recentDays, e))
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

std::optional<TIdFTPListItem> parseMlsdLine(const QString& line) { return parseOneLine(line, true, QDate()); }

std::optional<TIdFTPListItem> parseListLine(const QString& line, const QDate& today) { return parseOneLine(line, false, today); }

}
