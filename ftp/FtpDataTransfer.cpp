#include "FtpDataTransfer.h"

namespace ftp {

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

void receiveToSink(Socket& data, const TransferLimits& limits, WorkReporter& work, std::vector<char>& buffer,
                   const std::function<void(const char*, std::size_t)>& sink)
{
    for (;;) {
        const std::size_t n = data.receive(buffer.data(), buffer.size(), limits.stallTimeout, WaitFor::Data, *limits.cancel);
        if (n == 0)
            return;
        sink(buffer.data(), n);
        work.add(static_cast<std::int64_t>(n));
    }
}

void sendFromFile(Socket& data, QFile& file, std::int64_t count, const TransferLimits& limits, WorkReporter& work,
                  std::vector<char>& buffer)
{
    std::int64_t sent = 0;
    while (sent < count) {
        const qint64 want = std::min<std::int64_t>({count - sent, static_cast<std::int64_t>(buffer.size()), kSendPiece});
        const qint64 n = file.read(buffer.data(), want);
        if (n < 0)
            throw LocalError(QStringLiteral("Erro ao ler o arquivo local %1: %2").arg(file.fileName(), file.errorString()));
        if (n == 0)
            return; // the file is shorter than when we began
        data.sendAll(buffer.data(), static_cast<std::size_t>(n), limits.stallTimeout, WaitFor::Data, *limits.cancel);
        sent += n;
        work.add(n);
    }
}

}
