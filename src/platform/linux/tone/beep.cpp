// Beep on Linux: the frequencies and durations the Windows service accepts,
// sounded by the first driver in the table that can.
#include "platform/linux/tone/interruption.h"
#include "platform/linux/tone/tone.h"
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

// The range the Windows service accepts.
constexpr std::uint32_t kLowestFrequency = 37;
constexpr std::uint32_t kHighestFrequency = 32767;

bool SoundTone(std::span<const ToneDriver> drivers, std::uint32_t frequency,
               std::uint32_t duration) {
    if (frequency < kLowestFrequency || frequency > kHighestFrequency) return false;
    if (duration == 0) return true;
    ToneRequest request{frequency, duration, Now() + Nanoseconds{duration} * kMillisecond};
    StopSignalGuard guard;
    for (const ToneDriver& driver : drivers)
        if (StopRequested() || driver.sound(request)) break;
    // The call never returns early, whatever the driver managed.
    SleepUntil(request.end);
    if (StopRequested()) EndByStopSignal();
    return true;
}

} // namespace platform::linux_system
