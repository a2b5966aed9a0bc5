// Signals during a tone. Ctrl-C, SIGTERM, SIGHUP and SIGQUIT stop the sound
// at once, then end the process by that same signal, as a Unix tool should.
// Ctrl-Z silences the PC speaker while the process is stopped.
#pragma once

namespace platform::linux_system {

// Installs the handlers for its lifetime. Handlers are installed without
// SA_RESTART, so a signal also cuts short a blocking write or sleep.
class StopSignalGuard {
  public:
    StopSignalGuard();
    ~StopSignalGuard();
    StopSignalGuard(const StopSignalGuard&) = delete;
    StopSignalGuard& operator=(const StopSignalGuard&) = delete;
};

bool StopRequested();
// Ends the process by the stop signal that arrived, with its default action.
[[noreturn]] void EndByStopSignal();

// Async-signal-safe hooks of the driver that is sounding: one silences it at
// once, the other sounds it again after a stop (Ctrl-Z) is over.
struct SoundHooks {
    void (*silence)();
    void (*resume)();
};
void SetSoundHooks(SoundHooks hooks);

} // namespace platform::linux_system
