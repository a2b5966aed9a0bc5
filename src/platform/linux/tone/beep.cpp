// Beep on Linux: the frequencies and durations the Windows service accepts,
// sounded by the first driver in the table that can.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "platform/linux/tone/interruption.h"
#include "platform/linux/tone/tone.h"
#include "platform/linux/tone/worker.h"
#include "platform/platform.h"

namespace platform {
namespace {

using namespace linux_system;

bool SoundNothing(const ToneRequest&) { return true; }

// Tried in order; the first that sounds the tone ends the search. The sound
// servers come first, natively: they can tell a slow sink from a dead server.
constexpr ToneDriver kDrivers[] = {
    {"pipewire", SoundThroughPipeWire}, {"pulseaudio", SoundThroughPulseAudio},
    {"alsa", SoundThroughAlsa},         {"pc-speaker", SoundThroughPcSpeaker},
    {"bell", SoundThroughTerminalBell}, {"silence", SoundNothing},
};

// TONERIX_DRIVER names the one driver to try, silence still behind it; an
// unknown name leaves the whole table. Kept where a worker given up on can
// still read it.
std::span<const ToneDriver> ChosenDrivers() {
    static ToneDriver chosen[2];
    const char* name = std::getenv("TONERIX_DRIVER");
    for (const ToneDriver& driver : kDrivers) {
        if (name == nullptr || std::strcmp(name, driver.name) != 0) continue;
        chosen[0] = driver;
        chosen[1] = std::end(kDrivers)[-1];
        return chosen;
    }
    return kDrivers;
}

} // namespace

bool Beep(std::uint32_t frequency, std::uint32_t duration) {
    return SoundTone(ChosenDrivers(), frequency, duration);
}

} // namespace platform

namespace platform::linux_system {
namespace {

// The range the Windows service accepts.
constexpr std::uint32_t kLowestFrequency = 37;
constexpr std::uint32_t kHighestFrequency = 32767;

// The run's tone, kept where a worker that was given up on can still read it.
ToneRequest tone;
std::span<const ToneDriver> toneDrivers;
std::atomic<Nanoseconds> lastAnswer;

void SoundWithFirstDriverThatCan() {
    for (const ToneDriver& driver : toneDrivers)
        if (StopRequested() || driver.sound(tone)) break;
}
WorkerJob toneJob{SoundWithFirstDriverThatCan, -1};

// When the worker is given up on: a driver without a server gets the grace
// past the tone's end; one whose server keeps answering gets more time.
Nanoseconds GiveUpAt() { return std::max(tone.end + kToneGrace, lastAnswer + kAnswerLimit); }

} // namespace

void NoteServerAnswer() { lastAnswer = Now(); }

bool SoundTone(std::span<const ToneDriver> drivers, std::uint32_t frequency,
               std::uint32_t duration) {
    if (frequency < kLowestFrequency || frequency > kHighestFrequency) return false;
    if (duration == 0) return true;
    lastAnswer = Now();
    tone = {frequency, duration, lastAnswer + Nanoseconds{duration} * kMillisecond};
    toneDrivers = drivers;
    StopSignalGuard guard;
    // Without a worker the tone is a silent wait. A driver still busy when it
    // is given up on is left behind: the process ends right after this call.
    if (StartWorker(toneJob)) {
        for (;;) {
            if (guard.WaitFor(toneJob.done, GiveUpAt())) {
                close(toneJob.done);
                break;
            }
            if (StopRequested() || Now() >= GiveUpAt()) break;
        }
    }
    // The call never returns early, whatever the driver managed.
    guard.WaitFor(-1, tone.end);
    if (StopRequested()) EndByStopSignal();
    return true;
}

} // namespace platform::linux_system
