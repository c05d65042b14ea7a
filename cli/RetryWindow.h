#pragma once
// When a run without a window tries its send again (--tentar-por): a server down at
// 02:30 that is back at 02:40 still gets the night's backup. Only what waiting may
// change is tried again, a connection that could not be made or broke off for good;
// a refusal, a name taken without --substituir, a local file that cannot be sent or
// a connection that may be intercepted end the run at once. The pauses grow (10 s,
// 20 s, 40 s, ... up to 5 min), and no attempt starts after the window has closed.
#include "SessionFailure.h"

#include <chrono>
#include <optional>

class RetryWindow {
public:
    static constexpr std::chrono::seconds kFirstPause{10};
    static constexpr std::chrono::seconds kLongestPause{5 * 60};

    explicit RetryWindow(std::chrono::seconds length) : m_length(length) {}

    std::chrono::seconds length() const { return m_length; }
    // The pause before attempt `next` (2, 3, ...), elapsed after the run began: the
    // growing pause, cut short so that the attempt starts as the window closes;
    // nothing once it has closed.
    std::optional<std::chrono::seconds> pauseBefore(int next, std::chrono::seconds elapsed) const;
    // Whether the window is still open at elapsed.
    bool open(std::chrono::seconds elapsed) const { return elapsed < m_length; }

    // Whether a send that failed so may go through if tried again later.
    static bool waitingMayHelp(const Failure& failure);

private:
    std::chrono::seconds m_length;
};
