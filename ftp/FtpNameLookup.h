#pragma once
// Host names to IPv4 addresses, bounded by a time-out and by the operation's cancel.
// The system resolver takes no time-out we can set and cannot be broken off, so each
// look-up runs on a thread of its own while the caller waits on Qt's condition; a
// look-up the caller stopped waiting for runs on to its end, and NameLookups waits
// for it when it goes (with the component): no look-up's thread is ever left to run
// on its own.
#include "FtpSocket.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class QThread;

namespace ftp {

class NameLookups {
public:
    NameLookups();
    // Waits for the look-ups still running.
    ~NameLookups();
    NameLookups(const NameLookups&) = delete;
    NameLookups& operator=(const NameLookups&) = delete;

    // host's address: an IPv4 address written as one, or what the system resolver
    // finds, within timeout. Throws LinkError on a time-out, a name not found, or a
    // cancel (seen within kCancelCheck).
    std::uint32_t resolve(const QString& host, Millis timeout, const std::atomic<bool>& cancel);

private:
    // Lets go of the threads whose look-up has ended.
    void reap();

    std::vector<std::unique_ptr<QThread>> m_threads;
};

}
