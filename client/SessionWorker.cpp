#include "SessionWorker.h"

#include <QMetaObject>

SessionWorker::SessionWorker(FtpSessionEvents& events, QObject* parent)
    : QObject(parent), m_events(events, this), m_session(std::make_unique<FtpSession>(m_events))
{
    m_thread.setObjectName(QStringLiteral("sessao-ftp"));
    m_inThread = new QObject;
    m_inThread->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_inThread, &QObject::deleteLater);
    m_thread.start();
}

SessionWorker::~SessionWorker()
{
    m_events.close();
    m_session->cancel();
    // The last thing the thread does: let go of the server.
    QMetaObject::invokeMethod(m_inThread, [session = m_session.get()] { session->closeConnection(); }, Qt::QueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

bool SessionWorker::start(FtpSession::Kind kind, Work work, Done done)
{
    if (busy())
        return false;
    m_session->beginOperation(kind);
    QMetaObject::invokeMethod(
        m_inThread,
        [this, work = std::move(work), done = std::move(done)] {
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
        },
        Qt::QueuedConnection);
    return true;
}

void SessionWorker::release(std::shared_ptr<const void> held)
{
    QMetaObject::invokeMethod(m_inThread, [held = std::move(held)]() mutable { held.reset(); }, Qt::QueuedConnection);
}
