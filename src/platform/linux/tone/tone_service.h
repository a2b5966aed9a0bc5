// The Linux tone service: the first driver in a table that can sounds the
// tone, and the call waits out the full duration whatever the driver did.
#pragma once

#include <cstdint>
#include <span>

#include "platform/linux/tone/tone_driver.h"

namespace platform::linux_system {

// The drivers run on a worker thread; the call returns no earlier than the
// duration, and gives up on the worker kToneGrace after the duration or after
// the time a live sound server should have answered by, whichever is later.
// Time the service itself was not running does not count.
inline constexpr Nanoseconds kToneGrace = 90 * kMillisecond;
// How long a nearby sound server may leave a round trip unanswered, past the
// tone's end, before it is taken for dead. Longer than a server's hiccup,
// short enough that a dead server costs the caller little; a server further
// away gets a few of its round trips.
inline constexpr Nanoseconds kAnswerLimit = 240 * kMillisecond;

// The range rules, the drivers tried in order, the wait for the full
// duration, and the end by a stop signal. False for a frequency the service
// refuses.
bool SoundTone(std::span<const ToneDriver> drivers, std::uint32_t frequency,
               std::uint32_t duration);

} // namespace platform::linux_system
