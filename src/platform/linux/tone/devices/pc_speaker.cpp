// The PC speaker: the input-event speaker device, else the console's tone
// ioctl.
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "platform/linux/tone/devices/held_tone.h"
#include "platform/linux/tone/tone_driver.h"

namespace platform::linux_system {
namespace {
constexpr const char* kEventSpeaker = "/dev/input/by-path/platform-pcspkr-event-spkr";
constexpr const char* kConsoles[] = {"/dev/tty0", "/dev/vc/0"};
} // namespace

void SoundThroughPcSpeaker(ToneCall& call) {
    if (HoldToneOnSpeakerEvents(kEventSpeaker, call)) return;
    bool forbidden = errno == EACCES || errno == EPERM;
    if (!forbidden && !KernelHasToneDevice()) {
        call.Say(reason::kNoToneDevice);
        return;
    }
    for (const char* console : kConsoles) {
        int fd = open(console, O_WRONLY | O_NOCTTY | O_CLOEXEC);
        forbidden = forbidden || (fd < 0 && (errno == EACCES || errno == EPERM));
        if (fd < 0) continue;
        if (HoldToneOnConsole(fd, call)) return;
        forbidden = true; // a console this user may not sound
        close(fd);
    }
    call.Say(forbidden ? reason::kNotPermitted : reason::kNoSpeaker);
}

} // namespace platform::linux_system
