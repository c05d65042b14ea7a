#pragma once
// What a run without a window shows of its transfer on standard output. On a
// terminal: one line, redrawn in place, with the amount, the speed and the time
// left. Elsewhere (the output of a scheduled task, kept in a file): a plain line
// at every tenth of the file or every few seconds, never a flood.
#include "Formatos.h"
#include "FtpSessionEvents.h"

#include <QString>

#include <cstdint>
#include <functional>

class TerminalProgress {
public:
    using Writer = std::function<void(const QString&)>;
    using Clock = std::function<std::int64_t()>; // milliseconds since some fixed point

    // Redrawn on a terminal at most this often.
    static constexpr std::int64_t kRedrawMs = 250;
    // A plain line at least this often while data moves.
    static constexpr std::int64_t kPlainLineMs = 5000;

    TerminalProgress(bool terminal, Writer write, Clock clock = {});

    void begin(TWorkMode mode, std::int64_t total);
    void progress(std::int64_t soFar);
    void retry(int attempt, int maxAttempts, int secondsLeft);
    void resumed(std::int64_t soFar);
    void checking();
    void end(TransferOutcome outcome);
    // Another line is about to go to the terminal (a log line on standard error):
    // the progress line makes room, and comes back at the next report.
    void makeRoom();

    // What the run's transfers have moved, every attempt and resume together (not
    // what an earlier run had left on the server), and how long the data moved.
    std::int64_t bytesMoved() const { return m_movedBefore + m_ritmo.movidos(); }
    double secondsMoving() const { return m_secondsBefore + m_ritmo.segundosMovendo(); }

private:
    QString progressText() const;
    // A new attempt starts moving data: the last one's count is kept.
    void newAttempt();
    // On a terminal: the line replaced by text. Elsewhere: text as a line.
    void show(const QString& text, bool force);

    bool m_terminal;
    Writer m_write;
    Clock m_clock;

    TWorkMode m_mode = wmWrite;
    bool m_active = false;
    std::int64_t m_total = -1;
    std::int64_t m_soFar = 0;
    // The pace of the attempt that moves the data, for the speed and the time left.
    RitmoTransferencia m_ritmo;
    // What the earlier attempts of the run moved, and in how long.
    std::int64_t m_movedBefore = 0;
    double m_secondsBefore = 0.0;
    // What shows now on the terminal, and when it was drawn.
    QString m_drawn;
    std::int64_t m_drawnMs = 0;
    // The last plain line: its tenth of the file, its time, its amount.
    int m_lineTenth = -1;
    std::int64_t m_lineMs = 0;
    std::int64_t m_lineBytes = -1;
    int m_lastRetry = 0;
};
