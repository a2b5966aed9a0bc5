// Holding a pitch on the PC speaker: switch it on through the call, wait out
// the tone, switch it off. Meanwhile the service may silence it (a stop
// signal, Ctrl-Z) and sound it again, and silences it if the call ends first.
#include "platform/linux/tone/devices/held_tone.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/input.h>
#include <linux/kd.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace platform::linux_system {
namespace {

constexpr unsigned long kTimerHz = 1193180; // the speaker timer's input clock

void SetEventTone(int fd, std::uint32_t frequency) {
    input_event event{};
    event.type = EV_SND;
    event.code = SND_TONE;
    event.value = static_cast<int>(frequency);
    [[maybe_unused]] ssize_t ignored = write(fd, &event, sizeof event);
}

void SetConsoleTone(int fd, std::uint32_t frequency) {
    ioctl(fd, KIOCSOUND, frequency == 0 ? 0 : kTimerHz / frequency);
}

// A device that holds a pitch until told otherwise: `set` switches `fd` to
// `frequency`, 0 for silence.
struct HeldPitch {
    void (*set)(int fd, std::uint32_t frequency);
    int fd;
    std::uint32_t frequency;
    Nanoseconds end;
};

// The service's hush: silent on a stop, Ctrl-Z or the call's end, and
// sounding again after a continue while the tone's time is not over.
bool Quiet(void* data, bool quiet) {
    auto& held = *static_cast<HeldPitch*>(data);
    held.set(held.fd, quiet || Now() >= held.end ? 0 : held.frequency);
    return true;
}

// `what` says what was done: a console only promises to ask a speaker that
// may not be there (a virtual machine has none).
bool Hold(void (*set)(int, std::uint32_t), int fd, ToneCall& call, const char* what) {
    HeldPitch held{set, fd, call.Request().frequency, call.Request().end};
    if (call.HushBy({Quiet, &held})) {
        call.Sounding(what);
        call.SleepUntil(call.Request().end);
        call.Unhush();
        set(fd, 0);
    }
    close(fd);
    return true; // the device was this call's, sounded or stopped before it could be
}

} // namespace

bool HoldToneOnSpeakerEvents(const char* path, ToneCall& call) {
    int fd = open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    return fd >= 0 && Hold(SetEventTone, fd, call, reason::kSounding);
}

bool KernelHasToneDevice(const char* listing) {
    std::FILE* devices = std::fopen(listing, "re");
    if (devices == nullptr) return true;
    bool found = false;
    char line[512];
    // A device's sound events, as a bit mask in hexadecimal: "B: SND=6".
    while (!found && std::fgets(line, sizeof line, devices) != nullptr)
        found = std::strncmp(line, "B: SND=", 7) == 0 &&
                (std::strtoul(line + 7, nullptr, 16) & (1UL << SND_TONE)) != 0;
    std::fclose(devices);
    return found;
}

bool HoldToneOnConsole(int fd, ToneCall& call) {
    // Only a console the process may sound takes the tone ioctl; check before
    // promising a sound.
    return ioctl(fd, KIOCSOUND, 0) == 0 && Hold(SetConsoleTone, fd, call, reason::kConsoleAsked);
}

} // namespace platform::linux_system
