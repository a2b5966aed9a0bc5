// Signals during a tone. Ctrl-C, SIGTERM, SIGHUP and SIGQUIT stop the sound
// at once, then end the process by that same signal, as a Unix tool should.
// Ctrl-Z silences the PC speaker while the process is stopped.
#pragma once

#include "platform/linux/tone/clock.h"

namespace platform::linux_system {

// Installs the handlers for its lifetime and blocks the stop signals on the
// calling thread, which then takes them only inside WaitFor. That thread waits
// for the tone; the drivers run on another one, which takes no signals at all,
// so that a sound library stuck in a call cannot swallow them.
class StopSignalGuard {
  public:
    StopSignalGuard();
    ~StopSignalGuard();
    StopSignalGuard(const StopSignalGuard&) = delete;
    StopSignalGuard& operator=(const StopSignalGuard&) = delete;

    // Waits until `fd` is readable (true), `deadline` passes or a stop signal
    // arrives (false for both); a negative `fd` waits for the other two only.
    bool WaitFor(int fd, Nanoseconds deadline) const;
};

bool StopRequested();
// Ends the process by the stop signal that arrived, with its default action.
[[noreturn]] void EndByStopSignal();

// Async-signal-safe hooks of the driver that is sounding: one silences it at
// once, the other sounds it again after a stop (Ctrl-Z) is over. The handlers
// may run on any thread, so the hooks are swapped as one atomic pointer.
struct SoundHooks {
    void (*silence)();
    void (*resume)();
};
// `hooks` must outlive its use; null removes them.
void SetSoundHooks(const SoundHooks* hooks);

} // namespace platform::linux_system
