#pragma once
// The thread that owns the FTP session, and with it the connection and the
// database query, for the program's life. A front end (the window, a run from the
// command line) hands it whole operations; each runs there from start to end,
// making its blocking calls one after another, while the front end's thread goes on
// with its events. What the session reports comes to the front end's thread as
// queued calls; its questions wait there for their answers (QueuedEvents).
//
//   front end's thread                 the session's thread
//   ------------------                 --------------------
//   start(kind, work, done)  ───────▶  work(session): connect, identify, walk,
//                                        list, send, receive, delete
//   events: log, progress    ◀───────  reports (queued, in order)
//   dialogs: replace? ...    ◀──────▶  questions (it waits for the answer)
//   done(error)              ◀───────  after every report of the operation
//   cancel()                 ───────▶  the running call breaks off
#include "FtpSession.h"
#include "QueuedEvents.h"

#include <QMutex>
#include <QObject>
#include <QThread>
#include <QWaitCondition>

#include <deque>
#include <exception>
#include <functional>
#include <memory>

class SessionWorker : public QObject {
    Q_OBJECT

public:
    // events is called on the thread this object is created on.
    explicit SessionWorker(FtpSessionEvents& events, QObject* parent = nullptr);
    // Cancels what runs, answers "no" to a question still open, and waits for the
    // thread to end, after closing the connection.
    ~SessionWorker() override;

    // For settings made while idle and for the state a front end shows; the calls
    // that use the server run only inside work.
    FtpSession& session() { return *m_session; }
    const FtpSession& session() const { return *m_session; }

    using Work = std::function<void(FtpSession&)>;
    using Done = std::function<void(std::exception_ptr)>;
    // Runs work on the session's thread, unless an operation runs already (false).
    // done comes on this thread once work has ended, with what it threw, after
    // every report of the operation; the session is idle again by then.
    bool start(FtpSession::Kind kind, Work work, Done done);
    // From the session's thread, inside work: runs fn on the front end's thread, in
    // order with the session's reports.
    void post(std::function<void()> fn) { m_events.post(std::move(fn)); }
    // Lets go of what is held on the session's thread, once the running operation
    // (if any) has ended: what takes long to free does not hold up the caller.
    void release(std::shared_ptr<const void> held);
    // Stops the running operation; from any thread.
    void cancel() { m_session->cancel(); }
    bool busy() const { return m_session->state() != FtpSession::State::Idle; }

private:
    // The session's thread takes jobs in order until it is told to stop and none is
    // left. It runs no event loop of its own (no Qt timers, sockets or queued calls
    // live there): it waits for the server or for the next job, nothing else. A
    // QThread all the same, rather than a thread Qt would adopt on first use: under
    // Wine, an adopted thread's end, and a thread with Qt's event dispatcher, made
    // some runs fail at exit; so did the C++ library's waits on a Qt thread, which
    // is why its queue waits with Qt's own mutex and condition.
    void runThere(std::function<void()> job);
    void loop();

    QueuedEvents m_events;
    std::unique_ptr<FtpSession> m_session;
    QMutex m_mutex;
    QWaitCondition m_wake;
    std::deque<std::function<void()>> m_jobs;
    bool m_stopping = false;
    std::unique_ptr<QThread> m_thread; // last: it starts once everything it uses is there
};
