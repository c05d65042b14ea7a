#include "FtpNameLookup.h"

#include "SocketPlatform.h"

#include <QDeadlineTimer>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <algorithm>
#include <string>

namespace ftp {

namespace {

// Shared by the caller and the look-up's thread, which may outlive the caller's wait.
struct LookUpState {
    QMutex mutex;
    QWaitCondition done;
    bool finished = false;
    LookUp result;
};

}

NameLookups::NameLookups() = default;

NameLookups::~NameLookups()
{
    for (const auto& thread : m_threads)
        thread->wait();
}

void NameLookups::reap()
{
    std::erase_if(m_threads, [](const std::unique_ptr<QThread>& thread) { return thread->isFinished() && thread->wait(); });
}

std::uint32_t NameLookups::resolve(const QString& host, Millis timeout, const std::atomic<bool>& cancel)
{
    const std::string name = host.trimmed().toStdString();
    if (const auto literal = ipv4Literal(name))
        return *literal;
    reap();

    auto state = std::make_shared<LookUpState>();
    std::unique_ptr<QThread> thread(QThread::create([state, name] {
        LookUp found = lookUpIPv4(name);
        QMutexLocker lock(&state->mutex);
        state->result = std::move(found);
        state->finished = true;
        state->done.wakeAll();
    }));
    thread->setObjectName(QStringLiteral("resolucao-de-nome"));
    thread->start();
    m_threads.push_back(std::move(thread));

    const QDeadlineTimer deadline(timeout);
    QMutexLocker lock(&state->mutex);
    while (!state->finished) {
        if (cancel.load())
            throw cancelledError();
        if (deadline.hasExpired())
            throw LinkError(QStringLiteral("Tempo esgotado ao resolver o nome %1 (%2)").arg(host, durationText(timeout)));
        state->done.wait(&state->mutex, QDeadlineTimer(std::min<qint64>(kCancelCheck.count(), deadline.remainingTime())));
    }
    if (!state->result.error.isEmpty())
        throw LinkError(QStringLiteral("Não foi possível resolver o nome %1: %2").arg(host, state->result.error));
    return state->result.address;
}

}
