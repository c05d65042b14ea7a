#include "FtpDataTransfer.h"

#include "FtpTls.h"
#include "SystemErrorText.h"

#include <algorithm>
#include <cstdint>

#ifndef _WIN32
#include <fcntl.h>
#endif

namespace ftp {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kPage = 4096;
constexpr std::size_t kReceiveLowWater = 256 * 1024;

// The kernel copies between the page cache and our buffer much faster when both sit
// at the same offset within a page: with the buffer 16 bytes off, an upload of 1 GiB
// took 0.95 s of processor time instead of 0.55 s (x86-64, loopback). A vector's
// storage starts wherever the allocator put it, so the transfers use its
// page-aligned part.
struct AlignedSpan {
    char* data;
    std::size_t size; // a whole number of pages
};

AlignedSpan pageAligned(std::vector<char>& buffer, std::size_t atLeast)
{
    if (buffer.size() < atLeast + kPage)
        buffer.resize(atLeast + kPage);
    const auto address = reinterpret_cast<std::uintptr_t>(buffer.data());
    const std::size_t skip = (kPage - address % kPage) % kPage;
    return {buffer.data() + skip, (buffer.size() - skip) / kPage * kPage};
}

// The stall rule, checked window after window: a window ends at its time, and the
// bytes moved within it must reach the minimum.
class Pace {
public:
    explicit Pace(Millis window)
        : m_window(window),
          m_minimum(std::max<std::int64_t>(1, kMinBytesPerSecond * window.count() / 1000)),
          m_end(Clock::now() + window)
    {
    }
    Clock::time_point windowEnd() const { return m_end; }
    void moved(std::size_t bytes) { m_bytes += static_cast<std::int64_t>(bytes); }
    void check()
    {
        const auto now = Clock::now();
        if (now < m_end)
            return;
        if (m_bytes == 0)
            throw LinkError(QStringLiteral("Tempo esgotado: a transferência de dados ficou parada por %1").arg(durationText(m_window)));
        if (m_bytes < m_minimum)
            throw LinkError(QStringLiteral("Transferência de dados lenta demais: %1 bytes em %2, abaixo do mínimo de %3 bytes por segundo")
                                .arg(m_bytes).arg(durationText(m_window)).arg(kMinBytesPerSecond));
        m_bytes = 0;
        m_end = now + m_window;
    }

private:
    Millis m_window;
    std::int64_t m_minimum;
    Clock::time_point m_end;
    std::int64_t m_bytes = 0;
};

}

void WorkReporter::begin(std::int64_t expected)
{
    m_begun = true;
    m_last = std::chrono::steady_clock::now();
    if (IFtpEvents* e = m_events.load())
        e->OnWorkBegin(m_mode, expected);
}

void WorkReporter::add(std::int64_t bytes)
{
    m_total += bytes;
    const auto now = std::chrono::steady_clock::now();
    // The first piece is shown at once; then no more often than the interval.
    if (m_reported && now - m_last < kInterval)
        return;
    m_reported = true;
    m_last = now;
    if (IFtpEvents* e = m_events.load())
        e->OnWork(m_mode, m_total);
}

void WorkReporter::end()
{
    if (!m_begun || m_ended)
        return;
    m_ended = true;
    if (IFtpEvents* e = m_events.load())
        e->OnWork(m_mode, m_total);
    if (IFtpEvents* e = m_events.load())
        e->OnWorkEnd(m_mode);
}

void WorkReporter::endQuietly() noexcept
{
    if (!m_begun || m_ended)
        return;
    m_ended = true;
    try {
        if (IFtpEvents* e = m_events.load())
            e->OnWork(m_mode, m_total);
    } catch (...) {
    }
    try {
        if (IFtpEvents* e = m_events.load())
            e->OnWorkEnd(m_mode);
    } catch (...) {
    }
}

void receiveToSink(Socket& data, std::int64_t expected, const TransferLimits& limits, WorkReporter& work,
                   std::vector<char>& buffer, const std::function<void(const char*, std::size_t)>& sink)
{
    const AlignedSpan span = pageAligned(buffer, kReceiveLowWater);
    // Woken for every segment that arrives, we would write the file in small pieces,
    // each with the file system's fixed cost, and make the sender pay for waking us
    // each time; with the processors busy elsewhere, a 1 GiB download to a file took
    // three times as long. So a wait ends once 256 KiB are there (or the end).
    //
    // Over TLS a wait ends once OpenSSL can fill its read-ahead buffer (64 KiB):
    // against vsftpd, which encrypts more slowly than we decrypt, 256 KiB left us
    // slower than curl, 64 KiB as fast or faster (interleaved runs, 512 MiB, to a
    // file and to /dev/null).
    //
    // And over TLS the end is not the peer closing: it is its close_notify, a record
    // of a few dozen bytes, and vsftpd sends that and then waits for ours before it
    // closes the connection and sends its final reply. Under the mark that record
    // alone does not end a wait, which then ran out its whole slice: 100 ms at the end
    // of every download and listing. So over TLS the mark holds only while more than
    // twice its size is still to come (OpenSSL may hold part of a record, at most
    // 16 KiB, that the socket no longer counts), and not at all when the size is not
    // known.
    const bool endsWithTls = data.tls() != nullptr;
    const std::size_t mark = endsWithTls ? TlsLayer::kReadAhead : kReceiveLowWater;
    const auto lowWaterUntil = [&](std::uint64_t received) {
        return !endsWithTls
            || (expected >= 0 && static_cast<std::uint64_t>(expected) > received
                && static_cast<std::uint64_t>(expected) - received >= 2 * mark);
    };
    bool lowWater = lowWaterUntil(0);
    if (lowWater)
        data.setReceiveLowWater(static_cast<int>(mark));
    std::uint64_t total = 0;
    Pace pace(limits.stallTimeout);
    for (;;) {
        // Each piece lands at the offset within a page that it will have in the file
        // the sink writes, whatever sizes the network handed us before.
        const std::size_t offset = static_cast<std::size_t>(total % kPage);
        char* at = span.data + offset;
        const std::optional<std::size_t> n = data.receiveBefore(at, span.size - offset, pace.windowEnd(), *limits.cancel);
        if (n) {
            if (*n == 0)
                return;
            sink(at, *n);
            total += *n;
            if (lowWater && !lowWaterUntil(total)) {
                data.setReceiveLowWater(1);
                lowWater = false;
            }
            work.add(static_cast<std::int64_t>(*n));
            pace.moved(*n);
        }
        pace.check();
    }
}

void sendFromFile(Socket& data, QFile& file, std::int64_t count, const TransferLimits& limits, WorkReporter& work,
                  std::vector<char>& buffer)
{
#if defined(POSIX_FADV_SEQUENTIAL)
    // A backup that is no longer in the page cache comes from the disk: a larger
    // read-ahead keeps the disk busy while we send.
    if (file.handle() >= 0)
        ::posix_fadvise(file.handle(), 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    const AlignedSpan span = pageAligned(buffer, static_cast<std::size_t>(kSendPiece));
    std::int64_t sent = 0;
    Pace pace(limits.stallTimeout);
    while (sent < count) {
        const qint64 want = std::min<std::int64_t>(count - sent, kSendPiece);
        const qint64 n = file.read(span.data, want);
        if (n < 0)
            throw LocalError(QStringLiteral("Erro ao ler o arquivo local %1: %2").arg(file.fileName(), systemErrorText(file.errorString())));
        if (n == 0)
            return; // the file is shorter than when we began
        for (auto left = static_cast<std::size_t>(n); left > 0;) {
            const std::size_t k = data.sendBefore(span.data + (n - static_cast<qint64>(left)), left, pace.windowEnd(), *limits.cancel);
            left -= k;
            pace.moved(k);
            pace.check();
        }
        sent += n;
        work.add(n);
    }
}

}
