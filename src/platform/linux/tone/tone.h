// The Linux tone service: an ordered table of drivers, each of which either
// sounds the tone or declines so that the next one is tried. The last driver,
// silence, always works; the service waits out the full duration whatever the
// driver did.
#pragma once

#include <cstdint>
#include <span>

namespace platform::linux_system {

using Nanoseconds = std::int64_t;
inline constexpr Nanoseconds kMillisecond = 1'000'000;

struct ToneRequest {
    std::uint32_t frequency; // Hz
    std::uint32_t duration;  // ms
    Nanoseconds end;         // on the monotonic clock
};

struct ToneDriver {
    const char* name;
    // False when the driver cannot sound here; it has then made no sound.
    bool (*sound)(const ToneRequest& request);
};

// The whole tone service over a table of drivers: the range rules, the first
// driver that can sound, the wait for the full duration, and the end by a stop
// signal. Returns false for a frequency the service refuses.
bool SoundTone(std::span<const ToneDriver> drivers, std::uint32_t frequency,
               std::uint32_t duration);

bool SoundThroughAlsa(const ToneRequest& request);
bool SoundThroughPcSpeaker(const ToneRequest& request);
// The PC speaker's input-event device at `path`; exposed so that tests can
// put a pipe in place of the device.
bool SoundThroughSpeakerEvents(const char* path, const ToneRequest& request);

Nanoseconds Now();
// How long `frames` take to play at `rate`; exact for any tone up to 2^32 ms.
Nanoseconds PlayingTime(std::uint64_t frames, std::uint32_t rate);
// Sleeps until `deadline`; false when a stop signal cut the sleep short.
bool SleepUntil(Nanoseconds deadline);

} // namespace platform::linux_system
