// The Linux tone service: the first driver in a table that can sounds the
// tone, and the call waits out the full duration whatever the driver did.
#pragma once

#include <cstdint>
#include <span>

#include "platform/linux/tone/tone_driver.h"

namespace platform::linux_system {

// The drivers run on a worker thread; the call returns no earlier than the
// duration, and gives up on the worker at the duration and kToneGrace, or
// kAnswerLimit after a sound server last answered, whichever is later.
inline constexpr Nanoseconds kToneGrace = 90 * kMillisecond;
// How long a sound server may leave a round trip unanswered before it is taken
// for dead. Longer than a server's hiccup at start-up, short enough that a
// dead server costs the caller little.
inline constexpr Nanoseconds kAnswerLimit = 240 * kMillisecond;

// The range rules, the drivers tried in order, the wait for the full
// duration, and the end by a stop signal. False for a frequency the service
// refuses.
bool SoundTone(std::span<const ToneDriver> drivers, std::uint32_t frequency,
               std::uint32_t duration);

} // namespace platform::linux_system
