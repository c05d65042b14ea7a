#include "QueuedEvents.h"

#include <QMetaObject>
#include <QThread>

#include <optional>

QueuedEvents::QueuedEvents(FtpSessionEvents& target, QObject* context) : m_target(target), m_context(context) {}

void QueuedEvents::close()
{
    const QMutexLocker lock(&m_questions->mutex);
    m_questions->closed = true;
    m_questions->answered.wakeAll();
}

void QueuedEvents::post(std::function<void()> fn)
{
    QObject* context = m_context.data();
    if (!context)
        return;
    if (QThread::currentThread() == context->thread())
        fn();
    else
        QMetaObject::invokeMethod(context, std::move(fn), Qt::QueuedConnection);
}

void QueuedEvents::report(std::function<void(FtpSessionEvents&)> fn)
{
    FtpSessionEvents& target = m_target;
    post([&target, fn = std::move(fn)] { fn(target); });
}

bool QueuedEvents::ask(std::function<bool(FtpSessionEvents&)> question)
{
    QObject* context = m_context.data();
    if (!context)
        return false;
    if (QThread::currentThread() == context->thread())
        return question(m_target);

    struct Answer {
        std::optional<bool> value;
    };
    auto answer = std::make_shared<Answer>();
    auto questions = m_questions;
    {
        const QMutexLocker lock(&questions->mutex);
        if (questions->closed)
            return false;
    }
    FtpSessionEvents& target = m_target;
    QMetaObject::invokeMethod(
        context,
        [&target, question = std::move(question), answer, questions] {
            {
                const QMutexLocker lock(&questions->mutex);
                if (questions->closed)
                    return;
            }
            const bool value = question(target);
            const QMutexLocker lock(&questions->mutex);
            answer->value = value;
            questions->answered.wakeAll();
        },
        Qt::QueuedConnection);
    QMutexLocker lock(&questions->mutex);
    while (!answer->value.has_value() && !questions->closed)
        questions->answered.wait(&questions->mutex);
    return answer->value.value_or(false);
}
