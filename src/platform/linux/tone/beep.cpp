// Beep on Linux: the frequencies and durations the Windows service accepts,
// sounded by the first driver in the table that can.
#include <unistd.h>

#include "platform/linux/tone/interruption.h"
#include "platform/linux/tone/tone.h"
#include "platform/linux/tone/worker.h"
#include "platform/platform.h"

namespace platform {
namespace {

using namespace linux_system;

bool SoundNothing(const ToneRequest&) { return true; }

// Tried in order; the first that sounds the tone ends the search.
constexpr ToneDriver kDrivers[] = {
    {"alsa", SoundThroughAlsa},
    {"pc-speaker", SoundThroughPcSpeaker},
    {"silence", SoundNothing},
};

} // namespace

bool Beep(std::uint32_t frequency, std::uint32_t duration) {
    return SoundTone(kDrivers, frequency, duration);
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

void SoundWithFirstDriverThatCan() {
    for (const ToneDriver& driver : toneDrivers)
        if (StopRequested() || driver.sound(tone)) break;
}
WorkerJob toneJob{SoundWithFirstDriverThatCan, -1};

} // namespace

bool SoundTone(std::span<const ToneDriver> drivers, std::uint32_t frequency,
               std::uint32_t duration) {
    if (frequency < kLowestFrequency || frequency > kHighestFrequency) return false;
    if (duration == 0) return true;
    tone = {frequency, duration, Now() + Nanoseconds{duration} * kMillisecond};
    toneDrivers = drivers;
    StopSignalGuard guard;
    // Without a worker the tone is a silent wait. A driver still busy past the
    // grace period is left behind: the process ends right after this call.
    if (StartWorker(toneJob) && guard.WaitFor(toneJob.done, tone.end + kToneGrace))
        close(toneJob.done);
    // The call never returns early, whatever the driver managed.
    guard.WaitFor(-1, tone.end);
    if (StopRequested()) EndByStopSignal();
    return true;
}

} // namespace platform::linux_system
