#pragma once
// What the FTP tests share: an event recorder and the check of a transfer's events.
#include "IdFTP.h"

#include <QDir>
#include <QString>
#include <QStringList>

#include <functional>
#include <mutex>
#include <vector>

namespace ftptest {

// Changes the component's settings as a test needs them, the others kept.
template <typename F>
void ajustar(TIdFTP& ftp, F&& mudar)
{
    FtpSettings settings = ftp.settings();
    mudar(settings);
    ftp.configure(settings);
}

struct Event {
    enum Kind { Status, Begin, Work, End } kind;
    TWorkMode mode = wmRead;
    std::int64_t value = 0;
    QString text;
};

// Records the component's events; may be read from another thread while they come.
class EventRecorder : public IFtpEvents {
public:
    // Called after each event is recorded, on the thread that raised it.
    std::function<void(const Event&)> onEvent;

    void OnStatus(const QString& text) override { add({Event::Status, wmRead, 0, text}); }
    void OnWorkBegin(TWorkMode mode, std::int64_t expected) override { add({Event::Begin, mode, expected, {}}); }
    void OnWork(TWorkMode mode, std::int64_t soFar) override { add({Event::Work, mode, soFar, {}}); }
    void OnWorkEnd(TWorkMode mode) override { add({Event::End, mode, 0, {}}); }

    std::vector<Event> work() const
    {
        std::lock_guard lock(m_mutex);
        std::vector<Event> out;
        for (const Event& e : m_events)
            if (e.kind != Event::Status)
                out.push_back(e);
        return out;
    }
    QStringList statuses() const
    {
        std::lock_guard lock(m_mutex);
        QStringList out;
        for (const Event& e : m_events)
            if (e.kind == Event::Status)
                out << e.text;
        return out;
    }
    bool seen(Event::Kind kind) const
    {
        std::lock_guard lock(m_mutex);
        for (const Event& e : m_events)
            if (e.kind == kind)
                return true;
        return false;
    }
    void clear()
    {
        std::lock_guard lock(m_mutex);
        m_events.clear();
    }

private:
    void add(const Event& e)
    {
        {
            std::lock_guard lock(m_mutex);
            m_events.push_back(e);
        }
        if (onEvent)
            onEvent(e);
    }

    mutable std::mutex m_mutex;
    std::vector<Event> m_events;
};

// One transfer's events: Begin(mode, expected), Work counts that never go down,
// ending at finalCount, then End. Empty when they are so, else what is wrong.
inline QString transferEventsProblem(const std::vector<Event>& events, TWorkMode mode, std::int64_t expected,
                                     std::int64_t finalCount)
{
    if (events.size() < 3)
        return QStringLiteral("only %1 work events").arg(events.size());
    if (events.front().kind != Event::Begin || events.front().mode != mode || events.front().value != expected)
        return QStringLiteral("first event is not Begin(%1, %2)").arg(int(mode)).arg(expected);
    if (events.back().kind != Event::End || events.back().mode != mode)
        return QStringLiteral("last event is not End");
    std::int64_t last = 0;
    for (std::size_t i = 1; i + 1 < events.size(); ++i) {
        if (events[i].kind != Event::Work || events[i].mode != mode)
            return QStringLiteral("event %1 is not Work").arg(i);
        if (events[i].value < last)
            return QStringLiteral("count went down at event %1").arg(i);
        last = events[i].value;
    }
    if (last != finalCount)
        return QStringLiteral("final count %1, expected %2").arg(last).arg(finalCount);
    return {};
}

// Leftovers of a download in folder: anything named like our temporary files.
inline QStringList partFiles(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral(".*.part-*")}, QDir::Files | QDir::Hidden);
}

}
