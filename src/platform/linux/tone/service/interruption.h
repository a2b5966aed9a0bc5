// Signals during a tone. Ctrl-C, SIGTERM, SIGHUP and SIGQUIT stop the sound
// at once, then end the process by that same signal, as a Unix tool should.
// Ctrl-Z silences a held device (the PC speaker) while the process is stopped.
// The handlers only record what came; the service's own thread, woken from
// its wait, acts on it through the session.
#pragma once

#include <csignal>

#include "platform/linux/tone/service/tone_session.h"

namespace platform::linux_system {

// Installs the handlers for its lifetime and blocks the signals they take on
// the calling thread, which then takes them only inside Wait. That thread
// waits for the tone; the drivers run on another one, which takes no signals
// at all, so that a sound library stuck in a call cannot swallow them.
class StopSignalGuard {
  public:
    explicit StopSignalGuard(ToneSession& session);
    ~StopSignalGuard();
    StopSignalGuard(const StopSignalGuard&) = delete;
    StopSignalGuard& operator=(const StopSignalGuard&) = delete;

    enum class Woken { kReady, kDeadline, kStopped, kContinued };
    // Waits until `fd` is readable (a negative `fd` never is), `deadline`
    // passes, a stop signal has silenced the session, or the program went on
    // after it was stopped (the session has counted the pause by then).
    // Acts on Ctrl-Z itself: silences, stops the program, and waits on.
    Woken Wait(int fd, Nanoseconds deadline);

  private:
    ToneSession& session_;
    int continued_ = -1;  // readable while a SIGCONT is pending
    sigset_t maskBefore_; // the waiting thread's mask before the guard
    sigset_t waitMask_;   // the same, with SIGCONT kept pending while waiting
};

// Ends the process by `signal`, with its default action.
[[noreturn]] void EndByStopSignal(int signal);

} // namespace platform::linux_system
