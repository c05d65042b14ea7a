#pragma once
// What the user sees of an operation: the busy panel (its label, progress bar and
// "Cancelar" button) and the action controls that a running transfer locks. One
// state decides all of it, and enter() is the one place that sets it, so a failed
// or cancelled transfer can never be left reading "Concluído", a question or an
// idle window never sits behind a busy text or "Cancelar", and what the last
// operation left (a failure, a cancel) goes when the next one starts.
#include "Formatos.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <functional>

class BarraProgresso;
class QAbstractButton;
class QLabel;
class QWidget;

class BusyPanel {
public:
    enum class State {
        Ready,        // at start: the panel is hidden, every action free
        Waiting,      // an operation waits for the server outside a transfer: it may be cancelled
        Transferring, // data moves: actions locked, the bar runs
        Retrying,     // the line broke: a pause before the next attempt
        Checking,     // the data is all there: the copy is checked and put in place
        Done,         // the last transfer completed
        Failed,       // the last operation did not go through
        Cancelled,    // the last transfer was stopped on request
    };

    struct Controls {
        QWidget* panel = nullptr;
        QLabel* label = nullptr;
        BarraProgresso* bar = nullptr;
        QAbstractButton* cancel = nullptr;
        QList<QWidget*> actions;            // locked while a transfer runs
        QList<QWidget*> rowActions;         // also locked, and free only while a row is selected
        std::function<bool()> rowSelected;
    };

    explicit BusyPanel(Controls controls);

    State state() const { return m_state; }
    // A new operation starts: what the last one left goes, the panel hides until
    // the new one has something to show. fileName: the file a transfer of it moves,
    // which the bar names.
    void operationStarted(const QString& fileName = {});
    // A transfer of total bytes begins (-1: a size nobody knows); an empty text
    // leaves the label as it is.
    void begin(std::int64_t total, const QString& text);
    void progress(std::int64_t soFar);
    // An operation waits for the server. Within a transfer only the label says so.
    void wait(const QString& text);
    // The line broke; text says when the next attempt comes.
    void retry(const QString& text);
    // The data moves again from soFar on.
    void resume(std::int64_t soFar, const QString& text);
    void checking(const QString& text);
    // The transfer ended as outcome says (Done, Failed or Cancelled); text, when
    // given, replaces the outcome's usual label.
    void end(State outcome, const QString& text = {});
    // An operation outside a transfer failed: text says what failed and why.
    void fail(const QString& text);
    // A question to the user opens: no busy text or "Cancelar" behind it; a wait
    // outside a transfer gives way to what the panel showed before it. answered()
    // once it is closed.
    void asking();
    void answered();
    // The operation has ended: a wait outside a transfer gives way to what the
    // panel showed before it.
    void operationEnded();
    // The list's selection changed: the row actions follow it unless a transfer runs.
    void selectionChanged();

    // Milliseconds since some fixed point; the tests set their own clock.
    void setClock(std::function<std::int64_t()> msecs) { m_clock = std::move(msecs); }

private:
    static bool inTransfer(State s) { return s == State::Transferring || s == State::Retrying || s == State::Checking; }
    void enter(State state, const QString& text = {});
    void showProgress();

    Controls m_c;
    State m_state = State::Ready;
    // What a wait outside a transfer gives way to.
    State m_before = State::Ready;
    QString m_labelBefore;
    QString m_fileName;
    std::int64_t m_total = 0; // -1: unknown
    std::int64_t m_soFar = 0;
    // The bar counts in int: sizes beyond it are shifted down to fit.
    int m_shift = 0;
    // The pace of the attempt that moves the data, for the speed and the time left.
    RitmoTransferencia m_ritmo;
    bool m_hasData = false; // the bar shows a transfer's data
    // A question is open inside a transfer: the label it replaced.
    bool m_asking = false;
    QString m_labelAsking;
    std::function<std::int64_t()> m_clock;
};
