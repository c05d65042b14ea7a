#pragma once
// Carries what a session reports and asks from the thread that runs it to the
// front end's thread. Reports are queued calls, delivered in the order they were
// made; a question is a queued call whose answer the session's thread waits for,
// while the front end's thread goes on with its events and shows its dialog.
//
// When the front end goes away (close), a question still waiting is answered "no"
// and later ones are not asked: the thread that runs the session is never left
// waiting for a thread that no longer answers. It waits with Qt's mutex and
// condition: under Wine the C++ library's waits on a thread Qt started held the
// process up at its end.
#include "FtpSessionEvents.h"

#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QWaitCondition>

#include <functional>
#include <memory>

class QueuedEvents : public FtpSessionEvents {
public:
    // target lives on context's thread, and is called only there.
    QueuedEvents(FtpSessionEvents& target, QObject* context);

    // From the front end's thread: no more questions; a waiting one gets "no".
    void close();
    // Runs fn on the front end's thread, after every report made before it.
    void post(std::function<void()> fn);

    void log(const QString& line) override { report([line](FtpSessionEvents& t) { t.log(line); }); }
    void warning(const QString& line) override { report([line](FtpSessionEvents& t) { t.warning(line); }); }
    void clientCaption(const QString& caption) override { report([caption](FtpSessionEvents& t) { t.clientCaption(caption); }); }
    void waiting(const QString& what) override { report([what](FtpSessionEvents& t) { t.waiting(what); }); }
    void transferBegin(TWorkMode mode, std::int64_t total) override
    {
        report([mode, total](FtpSessionEvents& t) { t.transferBegin(mode, total); });
    }
    void transferProgress(TWorkMode mode, std::int64_t soFar) override
    {
        report([mode, soFar](FtpSessionEvents& t) { t.transferProgress(mode, soFar); });
    }
    void transferRetry(TWorkMode mode, int attempt, int maxAttempts, int secondsLeft) override
    {
        report([=](FtpSessionEvents& t) { t.transferRetry(mode, attempt, maxAttempts, secondsLeft); });
    }
    void transferResumed(TWorkMode mode, std::int64_t soFar) override
    {
        report([mode, soFar](FtpSessionEvents& t) { t.transferResumed(mode, soFar); });
    }
    void transferChecking(TWorkMode mode) override { report([mode](FtpSessionEvents& t) { t.transferChecking(mode); }); }
    void transferEnd(TWorkMode mode, TransferOutcome outcome, const QString& failure) override
    {
        report([=](FtpSessionEvents& t) { t.transferEnd(mode, outcome, failure); });
    }
    bool replaceRemoteFile(const QString& name) override { return ask([name](FtpSessionEvents& t) { return t.replaceRemoteFile(name); }); }
    bool resumeInterruptedUpload(const QString& name, std::int64_t done, std::int64_t total) override
    {
        return ask([=](FtpSessionEvents& t) { return t.resumeInterruptedUpload(name, done, total); });
    }
    bool replaceLocalFile(const QString& localPath) override
    {
        return ask([localPath](FtpSessionEvents& t) { return t.replaceLocalFile(localPath); });
    }
    void uniqueNameChosen(const QString& name) override { report([name](FtpSessionEvents& t) { t.uniqueNameChosen(name); }); }
    bool acceptCertificate(const QString& host, const QString& problem, const QString& fingerprint) override
    {
        return ask([=](FtpSessionEvents& t) { return t.acceptCertificate(host, problem, fingerprint); });
    }
    void connectionSecurity(ConnectionSecurity security) override
    {
        report([security](FtpSessionEvents& t) { t.connectionSecurity(security); });
    }

private:
    bool ask(std::function<bool(FtpSessionEvents&)> question);
    void report(std::function<void(FtpSessionEvents&)> fn);

    FtpSessionEvents& m_target;
    QPointer<QObject> m_context;
    // Shared with the queued questions, which may outlive this object's wait.
    struct Questions {
        QMutex mutex;
        QWaitCondition answered;
        bool closed = false;
    };
    std::shared_ptr<Questions> m_questions = std::make_shared<Questions>();
};
