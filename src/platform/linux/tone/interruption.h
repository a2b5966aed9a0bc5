// Signals during a tone. Ctrl-C, SIGTERM, SIGHUP and SIGQUIT stop the sound
// at once, then end the process by that same signal, as a Unix tool should.
// Ctrl-Z silences a held device (the PC speaker) while the process is stopped.
#pragma once

#include "platform/linux/tone/tone_session.h"

namespace platform::linux_system {

// Installs the handlers for its lifetime, reaching `session` alone, and blocks
// the stop signals on the calling thread, which then takes them only inside
// WaitFor. That thread waits for the tone; the drivers run on another one,
// which takes no signals at all, so that a sound library stuck in a call
// cannot swallow them.
class StopSignalGuard {
  public:
    explicit StopSignalGuard(ToneSession& session);
    ~StopSignalGuard();
    StopSignalGuard(const StopSignalGuard&) = delete;
    StopSignalGuard& operator=(const StopSignalGuard&) = delete;

    // Waits until `fd` is readable (true), `deadline` passes or a stop signal
    // arrives (false for both); a negative `fd` waits for the other two only.
    bool WaitFor(int fd, Nanoseconds deadline) const;

  private:
    ToneSession& session_;
};

// Ends the process by `signal`, with its default action.
[[noreturn]] void EndByStopSignal(int signal);

} // namespace platform::linux_system
