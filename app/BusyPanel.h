#pragma once
// What the user sees of a transfer: the busy panel (its label and progress bar)
// and the action controls that a running transfer locks. One state decides all of
// it, and enter() is the one place that sets it, so a failed or cancelled transfer
// can never be left reading "Concluído".
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>

class QLabel;
class QProgressBar;
class QWidget;

class BusyPanel {
public:
    enum class State {
        Ready,        // at start: the panel is hidden, every action free
        Transferring, // data moves: actions locked, the bar runs
        Done,         // the last transfer completed
        Failed,       // the last transfer broke off
        Cancelled,    // the last transfer was stopped on request
    };

    struct Controls {
        QWidget* panel = nullptr;
        QLabel* label = nullptr;
        QProgressBar* bar = nullptr;
        QList<QWidget*> actions;            // locked while a transfer runs
        QList<QWidget*> rowActions;         // also locked, and free only while a row is selected
        std::function<bool()> rowSelected;
    };

    explicit BusyPanel(Controls controls);

    State state() const { return m_state; }
    // A transfer of total bytes begins; an empty text leaves the label as it is.
    void begin(std::int64_t total, const QString& text);
    void progress(std::int64_t soFar);
    // The transfer ended as outcome says (Done, Failed or Cancelled).
    void end(State outcome);
    // The list's selection changed: the row actions follow it unless a transfer runs.
    void selectionChanged();

    // Milliseconds since some fixed point; the tests set their own clock.
    void setClock(std::function<std::int64_t()> msecs) { m_clock = std::move(msecs); }

private:
    void enter(State state, const QString& text = {});
    void showProgress();

    Controls m_c;
    State m_state = State::Ready;
    std::int64_t m_total = 0;
    std::int64_t m_soFar = 0;
    // The bar counts in int: sizes beyond it are shifted down to fit.
    int m_shift = 0;
    std::int64_t m_startMs = 0;
    std::function<std::int64_t()> m_clock;
};
