// Signals during a tone. Ctrl-C, SIGTERM, SIGHUP and SIGQUIT stop the sound
// at once, then end the process by that same signal, as a Unix tool should.
// Ctrl-Z quiets the sound (the speaker, a server's stream) while the process
// is stopped.
// A continue after any stop is time the program was not running.
#pragma once

#include <csignal>

#include "platform/linux/tone/tone_call.h"

namespace platform::linux_system {

// For its lifetime, blocks the signals it takes on the calling thread and
// reads them from one signalfd inside Wait; a signal the caller left ignored
// (a background job's Ctrl-C) it leaves alone. That thread waits for the
// tone; the drivers run on another one, which takes no signals at all, so
// that a sound library stuck in a call cannot swallow them.
class StopSignalGuard {
  public:
    explicit StopSignalGuard(ToneCall& call);
    ~StopSignalGuard();
    StopSignalGuard(const StopSignalGuard&) = delete;
    StopSignalGuard& operator=(const StopSignalGuard&) = delete;

    enum class Woken { kReady, kDeadline, kStopped };
    // Waits until `fd` is readable (a negative `fd` never is), `deadline`
    // passes, or a stop signal has silenced the call. Acts on Ctrl-Z itself:
    // silences, stops the program, and waits on once it goes on, the pause
    // counted (a deadline that came meanwhile has passed).
    Woken Wait(int fd, Nanoseconds deadline);

  private:
    ToneCall& call_;
    int signals_ = -1;    // the signals taken, as they come
    sigset_t maskBefore_; // the waiting thread's mask before the guard
};

// Ends the process by `signal`, with its default action.
[[noreturn]] void EndByStopSignal(int signal);

} // namespace platform::linux_system
