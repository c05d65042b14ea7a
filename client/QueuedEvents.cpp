#include "QueuedEvents.h"

#include <QMetaObject>
#include <QThread>

#include <optional>

QueuedEvents::QueuedEvents(FtpSessionEvents& target, QObject* context) : m_target(target), m_context(context) {}

void QueuedEvents::close()
{
    {
        std::lock_guard lock(m_questions->mutex);
        m_questions->closed = true;
    }
    m_questions->answered.notify_all();
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
        std::lock_guard lock(questions->mutex);
        if (questions->closed)
            return false;
    }
    FtpSessionEvents& target = m_target;
    QMetaObject::invokeMethod(
        context,
        [&target, question = std::move(question), answer, questions] {
            {
                std::lock_guard lock(questions->mutex);
                if (questions->closed)
                    return;
            }
            const bool value = question(target);
            {
                std::lock_guard lock(questions->mutex);
                answer->value = value;
            }
            questions->answered.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(questions->mutex);
    questions->answered.wait(lock, [&] { return answer->value.has_value() || questions->closed; });
    return answer->value.value_or(false);
}

void QueuedEvents::log(const QString& line)
{
    report([line](FtpSessionEvents& t) { t.log(line); });
}

void QueuedEvents::clientCaption(const QString& caption)
{
    report([caption](FtpSessionEvents& t) { t.clientCaption(caption); });
}

void QueuedEvents::waiting(const QString& what)
{
    report([what](FtpSessionEvents& t) { t.waiting(what); });
}

void QueuedEvents::transferBegin(TWorkMode mode, std::int64_t total)
{
    report([mode, total](FtpSessionEvents& t) { t.transferBegin(mode, total); });
}

void QueuedEvents::transferProgress(TWorkMode mode, std::int64_t soFar)
{
    report([mode, soFar](FtpSessionEvents& t) { t.transferProgress(mode, soFar); });
}

void QueuedEvents::transferRetry(TWorkMode mode, int attempt, int maxAttempts, int secondsLeft)
{
    report([=](FtpSessionEvents& t) { t.transferRetry(mode, attempt, maxAttempts, secondsLeft); });
}

void QueuedEvents::transferResumed(TWorkMode mode, std::int64_t soFar)
{
    report([mode, soFar](FtpSessionEvents& t) { t.transferResumed(mode, soFar); });
}

void QueuedEvents::transferChecking(TWorkMode mode)
{
    report([mode](FtpSessionEvents& t) { t.transferChecking(mode); });
}

void QueuedEvents::transferEnd(TWorkMode mode, TransferOutcome outcome, const QString& failure)
{
    report([=](FtpSessionEvents& t) { t.transferEnd(mode, outcome, failure); });
}

bool QueuedEvents::replaceRemoteFile(const QString& name)
{
    return ask([name](FtpSessionEvents& t) { return t.replaceRemoteFile(name); });
}

bool QueuedEvents::resumeInterruptedUpload(const QString& name, std::int64_t done, std::int64_t total)
{
    return ask([=](FtpSessionEvents& t) { return t.resumeInterruptedUpload(name, done, total); });
}

bool QueuedEvents::replaceLocalFile(const QString& localPath)
{
    return ask([localPath](FtpSessionEvents& t) { return t.replaceLocalFile(localPath); });
}

void QueuedEvents::uniqueNameChosen(const QString& name)
{
    report([name](FtpSessionEvents& t) { t.uniqueNameChosen(name); });
}

bool QueuedEvents::acceptCertificate(const QString& host, const QString& problem, const QString& fingerprint)
{
    return ask([=](FtpSessionEvents& t) { return t.acceptCertificate(host, problem, fingerprint); });
}

void QueuedEvents::connectionSecurity(bool secure)
{
    report([secure](FtpSessionEvents& t) { t.connectionSecurity(secure); });
}
