// The terminal's bell: when nothing on this machine can sound, the person at
// the controlling terminal may still hear it, over SSH too, where their own
// terminal rings, flashes or notifies.
#include <fcntl.h>
#include <unistd.h>

#include "platform/linux/tone/devices/held_tone.h"
#include "platform/linux/tone/tone_driver.h"

namespace platform::linux_system {

void SoundThroughTerminalBell(ToneCall& call) {
    // Never standard output, whose bytes are the program's: the terminal itself.
    int fd = open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) { // cron, a service, CI
        call.Say(reason::kNoTerminal);
        return;
    }
    // The user's own virtual console sounds the tone itself, pitch and all.
    if (KernelHasToneDevice() && HoldToneOnConsole(fd, call)) return;
    [[maybe_unused]] ssize_t written = write(fd, "\a", 1);
    close(fd);
    call.Sounding(reason::kBellRang);
}

} // namespace platform::linux_system
