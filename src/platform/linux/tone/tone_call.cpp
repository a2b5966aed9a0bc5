// A driver's side of one tone call: sleeping, the held device, and the
// program's pauses.
#include "platform/linux/tone/tone_call.h"

#include <csignal>

namespace platform::linux_system {

bool ToneCall::SleepUntil(Nanoseconds deadline) const {
    if (!StopRequested()) linux_system::SleepUntil(deadline);
    return !StopRequested();
}

// The service's guard leaves a SIGCONT pending until it has counted the pause.
bool ToneCall::PauseUncounted() const {
    sigset_t pending;
    return sigpending(&pending) == 0 && sigismember(&pending, SIGCONT) == 1;
}

bool ToneCall::SwitchOn(HeldDevice device) {
    Locked hold(*this);
    if (switching_.ended || StopRequested()) return false;
    switching_.device = device;
    switching_.held = true;
    if (!switching_.silenced) device.set(device.fd, request_.frequency);
    return true;
}

void ToneCall::SwitchOff() {
    Locked hold(*this);
    if (switching_.held) switching_.device.set(switching_.device.fd, 0);
    switching_.held = false;
}

} // namespace platform::linux_system
