#include "FtpListing.h"

#include "FtpText.h"

#include <QDate>
#include <QTime>
#include <QTimeZone>

#include <cstring>
#include <limits>

namespace {

// Names go into chunks of 64 KiB, records into blocks of 4,096 (96 KiB): below the
// size from which the C library maps fresh pages for each allocation, which made
// reading a listing cost more in page faults than in parsing.
constexpr int kChunkBits = 16;
constexpr std::size_t kChunkSize = std::size_t(1) << kChunkBits;
constexpr std::int64_t kMsecsPerDay = 86400000;

QString entriesText(std::size_t n)
{
    // Grouped the Brazilian way, as the rest of the program's texts are.
    QString digits = QString::number(n);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, QLatin1Char('.'));
    return digits;
}

}

TIdFTPListItem FtpListing::operator[](std::size_t i) const
{
    TIdFTPListItem item;
    const QByteArrayView raw = rawName(i);
    item.RawName = raw.toByteArray();
    item.FileName = ftp::displayName(raw);
    item.Size = fileSize(i);
    item.IsDirectory = isDirectory(i);
    item.ModifiedDate = modifiedDate(i);
    return item;
}

const char* FtpListing::namePointer(const Entry& e) const
{
    return m_data->chunks[e.nameOffset >> kChunkBits].get() + (e.nameOffset & (kChunkSize - 1));
}

QByteArrayView FtpListing::rawName(std::size_t i) const
{
    const Entry& e = entry(i);
    return QByteArrayView(namePointer(e), e.nameLength);
}

QString FtpListing::fileName(std::size_t i) const { return ftp::displayName(rawName(i)); }

QDateTime FtpListing::toDateTime(TimeKind kind, std::int64_t julianDay, int msecsOfDay)
{
    if (kind == TimeKind::None)
        return {};
    const QDate date = QDate::fromJulianDay(julianDay);
    const QTime time = QTime::fromMSecsSinceStartOfDay(msecsOfDay);
    if (kind == TimeKind::Utc)
        return QDateTime(date, time, QTimeZone::utc()).toLocalTime();
    return QDateTime(date, time);
}

QDateTime FtpListing::modifiedDate(std::size_t i) const
{
    const Entry& e = entry(i);
    return toDateTime(e.kind, e.when / kMsecsPerDay, static_cast<int>(e.when % kMsecsPerDay));
}

std::int64_t FtpListing::modifiedKey(std::size_t i) const
{
    const Entry& e = entry(i);
    return e.kind == TimeKind::None ? std::numeric_limits<std::int64_t>::min() : e.when;
}

FtpListing::Builder::Builder() : m_data(std::make_unique<Data>()) {}

bool FtpListing::Builder::add(QByteArrayView name, std::int64_t size, bool isDirectory, TimeKind kind,
                              std::int64_t julianDay, int msecsOfDay)
{
    if (name.isEmpty() || name.size() > kMaxNameBytes)
        return false;
    Data& d = *m_data;
    if (d.count >= kMaxEntries)
        throw EIdFTPError(FtpFailure::LocalFile, QStringLiteral("Listagem grande demais (mais de %1 entradas)").arg(entriesText(kMaxEntries)));
    const auto length = static_cast<std::size_t>(name.size());
    if (d.nameBytes + length > kMaxNameBytesInAll)
        throw EIdFTPError(FtpFailure::LocalFile, QStringLiteral("Listagem grande demais (nomes com mais de %1 MiB ao todo)").arg(kMaxNameBytesInAll >> 20));
    if (d.chunks.empty() || d.usedInLastChunk + length > kChunkSize) {
        d.chunks.push_back(std::make_unique_for_overwrite<char[]>(kChunkSize));
        d.usedInLastChunk = 0;
    }
    const auto offset = static_cast<std::uint32_t>(((d.chunks.size() - 1) << kChunkBits) | d.usedInLastChunk);
    std::memcpy(d.chunks.back().get() + d.usedInLastChunk, name.data(), length);
    d.usedInLastChunk += length;
    d.nameBytes += length;
    constexpr std::size_t kBlock = std::size_t(1) << kEntryBlockBits;
    if (d.count % kBlock == 0)
        d.entryBlocks.push_back(std::make_unique_for_overwrite<Entry[]>(kBlock));
    d.entryBlocks.back()[d.count % kBlock] = Entry{offset, static_cast<std::uint16_t>(length),
                                                   isDirectory ? kDirectory : std::uint8_t(0), kind, size,
                                                   kind == TimeKind::None ? 0 : julianDay * kMsecsPerDay + msecsOfDay};
    ++d.count;
    return true;
}

FtpListing FtpListing::Builder::finish()
{
    FtpListing listing(std::shared_ptr<const Data>(std::move(m_data)));
    m_data = std::make_unique<Data>();
    return listing;
}
