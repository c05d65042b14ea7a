#include "SessionWorker.h"

SessionWorker::SessionWorker(FtpSessionEvents& events, QObject* parent)
    : QObject(parent), m_events(events, this), m_session(std::make_unique<FtpSession>(m_events)),
      m_thread(QThread::create([this] { loop(); }))
{
    m_thread->setObjectName(QStringLiteral("sessao-ftp"));
    m_thread->start();
}

SessionWorker::~SessionWorker()
{
    m_events.close();
    m_session->cancel();
    // The last thing the thread does: let go of the server.
    runThere([session = m_session.get()] { session->closeConnection(); });
    {
        QMutexLocker lock(&m_mutex);
        m_stopping = true;
    }
    m_wake.wakeAll();
    m_thread->wait();
}

void SessionWorker::loop()
{
    for (;;) {
        std::function<void()> job;
        {
            QMutexLocker lock(&m_mutex);
            while (!m_stopping && m_jobs.empty())
                m_wake.wait(&m_mutex);
            if (m_jobs.empty())
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job();
    }
}

void SessionWorker::runThere(std::function<void()> job)
{
    {
        QMutexLocker lock(&m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.wakeAll();
}

bool SessionWorker::start(FtpSession::Kind kind, Work work, Done done)
{
    if (busy())
        return false;
    m_session->beginOperation(kind);
    runThere([this, work = std::move(work), done = std::move(done)] {
        std::exception_ptr error;
        try {
            work(*m_session);
        } catch (...) {
            error = std::current_exception();
        }
        m_events.post([this, done, error] {
            m_session->endOperation();
            if (done)
                done(error);
        });
    });
    return true;
}

void SessionWorker::release(std::shared_ptr<const void> held)
{
    runThere([held = std::move(held)]() mutable { held.reset(); });
}
