// The PC speaker: the input-event speaker device, else the console's tone
// ioctl. Both take the pitch and keep sounding until told to stop, so the
// driver switches the tone on, waits, and switches it off.
#include <fcntl.h>
#include <linux/input.h>
#include <linux/kd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/linux/tone/interruption.h"
#include "platform/linux/tone/tone.h"

namespace platform::linux_system {
namespace {

constexpr const char* kEventSpeaker = "/dev/input/by-path/platform-pcspkr-event-spkr";
constexpr const char* kConsoles[] = {"/dev/tty0", "/dev/vc/0"};
constexpr unsigned long kTimerHz = 1193180; // the speaker timer's input clock

// What the signal handlers reach: one speaker at a time.
volatile int speakerFd = -1;
volatile bool speakerIsEvents = false;
volatile std::uint32_t speakerFrequency = 0;

// Async-signal-safe: write(2) and ioctl(2) only.
void SetTone(std::uint32_t frequency) {
    if (speakerIsEvents) {
        input_event event{};
        event.type = EV_SND;
        event.code = SND_TONE;
        event.value = static_cast<int>(frequency);
        [[maybe_unused]] ssize_t ignored = write(speakerFd, &event, sizeof event);
    } else {
        ioctl(speakerFd, KIOCSOUND, frequency == 0 ? 0 : kTimerHz / frequency);
    }
}

void Silence() { SetTone(0); }
void Resume() { SetTone(speakerFrequency); }
constexpr SoundHooks kHooks{Silence, Resume};

bool Sound(int fd, bool events, const ToneRequest& request) {
    speakerFd = fd;
    speakerIsEvents = events;
    speakerFrequency = request.frequency;
    SetSoundHooks(&kHooks);
    SetTone(request.frequency);
    SleepUntil(request.end);
    Silence();
    SetSoundHooks(nullptr);
    speakerFd = -1;
    close(fd);
    return true;
}

} // namespace

bool SoundThroughSpeakerEvents(const char* path, const ToneRequest& request) {
    int fd = open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    return Sound(fd, true, request);
}

bool SoundThroughConsoleTone(int fd, const ToneRequest& request) {
    // Only a console the process may sound takes the tone ioctl; check before
    // promising a sound.
    return ioctl(fd, KIOCSOUND, 0) == 0 && Sound(fd, false, request);
}

bool SoundThroughPcSpeaker(const ToneRequest& request) {
    if (SoundThroughSpeakerEvents(kEventSpeaker, request)) return true;
    for (const char* console : kConsoles) {
        int fd = open(console, O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) continue;
        if (SoundThroughConsoleTone(fd, request)) return true;
        close(fd);
    }
    return false;
}

} // namespace platform::linux_system
