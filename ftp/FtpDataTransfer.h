#pragma once
// Moving the bytes of one data connection (RFC 959 section 3.2, stream mode with
// image type: the sender closes the connection to mark the end of a file), and the
// progress reports that go with it.
#include "FtpSocket.h"
#include "FtpTypes.h"

#include <QFile>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

namespace ftp {

// A failure on our side of a transfer (the local file, a handler, a limit), while the
// server still takes part: the control connection stays usable once the server's
// final reply has been read.
class LocalError : public EIdFTPError {
public:
    explicit LocalError(QString message) : EIdFTPError(FtpFailure::LocalFile, std::move(message)) {}
};

// Reports one transfer through the events attached at the moment of each report.
// OnWork is throttled by time, so a fast transfer costs a handful of calls.
class WorkReporter {
public:
    static constexpr std::chrono::milliseconds kInterval{40};

    WorkReporter(const std::atomic<IFtpEvents*>& events, TWorkMode mode) : m_events(events), m_mode(mode) {}
    void begin(std::int64_t expected);
    void add(std::int64_t bytes);
    // The final OnWork and OnWorkEnd, once.
    void end();
    // end() on a failure path: an exception from a handler would hide the failure, so it is dropped.
    void endQuietly() noexcept;
    std::int64_t total() const { return m_total; }

private:
    const std::atomic<IFtpEvents*>& m_events;
    TWorkMode m_mode;
    std::int64_t m_total = 0;
    std::chrono::steady_clock::time_point m_last{};
    bool m_reported = false;
    bool m_begun = false;
    bool m_ended = false;
};

// When a data connection counts as stalled: when, over a window of stallTimeout,
// nothing moved, or less than kMinBytesPerSecond on average. With the default
// window of 60 s that is less than 30 KiB in a minute, which no line that still
// works falls to (a GPRS link moves 5 KB/s), while a peer that trickles a byte every
// second or two is cut off within two windows.
constexpr std::int64_t kMinBytesPerSecond = 512;

struct TransferLimits {
    Millis stallTimeout;
    const std::atomic<bool>* cancel;
};

// Receives until the server closes the data connection; every piece goes to sink.
// expected: how many bytes the server is to send, -1 when that is not known; over
// TLS it tells when the end is near (see the low-water mark in the definition), and
// a wrong figure costs time, never bytes.
// Throws LinkError when the transfer stalls (see TransferLimits).
// A piece is whatever has arrived, up to the whole buffer: writing a file in large
// pieces right after they arrive, while they are still in the processor's cache,
// beat both smaller pieces and gathering a full buffer before each write.
void receiveToSink(Socket& data, std::int64_t expected, const TransferLimits& limits, WorkReporter& work,
                   std::vector<char>& buffer, const std::function<void(const char*, std::size_t)>& sink);

// Sends the first count bytes of file (fewer if it ends earlier) through buffer, in
// pieces of kSendPiece. Small pieces keep the bytes in the processor's cache from the
// file read to the socket. Over loopback, sendfile() and splice() moved 1 GiB more
// slowly (their pages reach the reader cold), and larger pieces, a larger socket
// buffer, MSG_MORE, no TCP_NODELAY and reading ahead on a second thread gained
// nothing measurable.
constexpr std::int64_t kSendPiece = 64 * 1024;
void sendFromFile(Socket& data, QFile& file, std::int64_t count, const TransferLimits& limits, WorkReporter& work,
                  std::vector<char>& buffer);

}
