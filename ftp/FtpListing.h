#pragma once
// A directory listing held compactly: the names' bytes one after the other, and a
// small fixed record per entry (24 bytes). The entries come out as TIdFTPListItem
// values, made when asked for, so a folder of 100,000 entries costs a few megabytes
// rather than a QString, a QByteArray and a QDateTime apiece.
//
// Copies share the same entries (a listing never changes once it is built), so a
// view can keep one while the component lists again.
#include "FtpTypes.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include <compare>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <vector>

class FtpListing {
    struct Data;

public:
    // A listing at these limits keeps the whole program well under 200 MB (see
    // bench/RESULTS.md): 500,000 records of 24 bytes, and at most 64 MiB of names.
    static constexpr std::size_t kMaxEntries = 500000;
    static constexpr std::size_t kMaxNameBytesInAll = std::size_t(64) << 20;
    // No file system allows a longer name: 255 bytes on Linux, 255 UTF-16 units on
    // Windows and macOS (at most 765 bytes of UTF-8). A longer name is no entry.
    static constexpr qsizetype kMaxNameBytes = 1024;

    // When the listing gave a time: in UTC (MLSD) or in the server's wall clock,
    // taken as local time (LIST).
    enum class TimeKind : std::uint8_t { None, Utc, Local };

    // The time of an entry as the item gives it: local time, invalid for None.
    static QDateTime toDateTime(TimeKind kind, std::int64_t julianDay, int msecsOfDay);

    class const_iterator {
    public:
        using iterator_concept = std::random_access_iterator_tag;
        using iterator_category = std::input_iterator_tag;
        using value_type = TIdFTPListItem;
        using difference_type = std::ptrdiff_t;
        using reference = TIdFTPListItem;

        const_iterator() = default;
        TIdFTPListItem operator*() const { return (*m_listing)[m_index]; }
        TIdFTPListItem operator[](difference_type n) const { return (*m_listing)[m_index + static_cast<std::size_t>(n)]; }
        const_iterator& operator++() { ++m_index; return *this; }
        const_iterator operator++(int) { auto old = *this; ++m_index; return old; }
        const_iterator& operator--() { --m_index; return *this; }
        const_iterator operator--(int) { auto old = *this; --m_index; return old; }
        const_iterator& operator+=(difference_type n) { m_index += static_cast<std::size_t>(n); return *this; }
        const_iterator& operator-=(difference_type n) { m_index -= static_cast<std::size_t>(n); return *this; }
        friend const_iterator operator+(const_iterator it, difference_type n) { return it += n; }
        friend const_iterator operator+(difference_type n, const_iterator it) { return it += n; }
        friend const_iterator operator-(const_iterator it, difference_type n) { return it -= n; }
        friend difference_type operator-(const const_iterator& a, const const_iterator& b)
        {
            return static_cast<difference_type>(a.m_index) - static_cast<difference_type>(b.m_index);
        }
        bool operator==(const const_iterator& other) const { return m_index == other.m_index; }
        auto operator<=>(const const_iterator& other) const { return m_index <=> other.m_index; }

    private:
        friend class FtpListing;
        const_iterator(const FtpListing* listing, std::size_t index) : m_listing(listing), m_index(index) {}
        const FtpListing* m_listing = nullptr;
        std::size_t m_index = 0;
    };
    using iterator = const_iterator;
    using value_type = TIdFTPListItem;
    using size_type = std::size_t;

    FtpListing() = default;

    std::size_t size() const { return m_data ? m_data->count : 0; }
    bool empty() const { return size() == 0; }
    // The whole entry; i must be below size().
    TIdFTPListItem operator[](std::size_t i) const;
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

    // One field of entry i, without making the others: what a view asks for each
    // cell it paints or each comparison when it sorts.
    QByteArrayView rawName(std::size_t i) const;
    QString fileName(std::size_t i) const;
    std::int64_t fileSize(std::size_t i) const { return entry(i).size; }
    bool isDirectory(std::size_t i) const { return entry(i).flags & kDirectory; }
    QDateTime modifiedDate(std::size_t i) const;
    // A key that orders this listing's entries by time without making a QDateTime;
    // entries without a time come first.
    std::int64_t modifiedKey(std::size_t i) const;

    // Collects entries. Throws EIdFTPError when the listing would exceed the limits.
    class Builder {
    public:
        Builder();
        // A name longer than kMaxNameBytes, or empty, is not added (false).
        bool add(QByteArrayView name, std::int64_t size, bool isDirectory, TimeKind kind, std::int64_t julianDay,
                 int msecsOfDay);
        std::size_t size() const { return m_data->count; }
        FtpListing finish();

    private:
        std::unique_ptr<Data> m_data;
    };

private:
    static constexpr std::uint8_t kDirectory = 1;

    struct Entry {
        std::uint32_t nameOffset; // chunk in the high bits, offset within it in the low ones
        std::uint16_t nameLength;
        std::uint8_t flags;
        TimeKind kind;
        std::int64_t size;
        std::int64_t when; // Julian day * 86,400,000 + milliseconds of the day
    };
    static_assert(sizeof(Entry) == 24);

    // Both the records and the names go into blocks that are never moved: growing a
    // listing never copies what it holds, nor needs twice its memory for a moment.
    static constexpr int kEntryBlockBits = 12;
    struct Data {
        std::vector<std::unique_ptr<Entry[]>> entryBlocks;
        std::size_t count = 0;
        std::vector<std::unique_ptr<char[]>> chunks;
        std::size_t usedInLastChunk = 0;
        std::size_t nameBytes = 0;
    };
    const Entry& entry(std::size_t i) const
    {
        return m_data->entryBlocks[i >> kEntryBlockBits][i & ((std::size_t(1) << kEntryBlockBits) - 1)];
    }
    explicit FtpListing(std::shared_ptr<const Data> data) : m_data(std::move(data)) {}
    const char* namePointer(const Entry& e) const;

    std::shared_ptr<const Data> m_data;
};
