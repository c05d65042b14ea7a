#pragma once
// The cancel of one operation. Whoever runs the operation owns it and hands it to
// the FTP component (TIdFTP::SetCancel); it is set from any thread (the user's
// "Cancelar", a signal) and never cleared: the next operation gets a new one. Every
// wait of the component looks at it (the socket layer at least every kCancelCheck,
// SocketPlatform.h), and a pause waits on it and ends at once.
//
// Its own wait uses Qt's mutex and condition: under Wine the C++ library's waits on
// a thread Qt started held the process up at its end.
#include <QDeadlineTimer>
#include <QMutex>
#include <QWaitCondition>

#include <atomic>

namespace ftp {

class CancelToken {
public:
    // From any thread; wakes a pause at once.
    void cancel() noexcept
    {
        QMutexLocker lock(&m_mutex);
        m_cancelled.store(true);
        m_wake.wakeAll();
    }
    bool cancelled() const noexcept { return m_cancelled.load(); }
    // What the socket layer's waits look at.
    const std::atomic<bool>& flag() const noexcept { return m_cancelled; }
    // Waits until the deadline, or less once cancelled: whether it was cancelled.
    bool sleepUntil(QDeadlineTimer deadline) const
    {
        QMutexLocker lock(&m_mutex);
        while (!m_cancelled.load() && !deadline.hasExpired())
            m_wake.wait(&m_mutex, deadline);
        return m_cancelled.load();
    }

private:
    std::atomic<bool> m_cancelled{false};
    mutable QMutex m_mutex;
    mutable QWaitCondition m_wake;
};

}
