// The Linux tone service: the first driver in a table that can sounds the
// tone, and the call waits out the full duration whatever the driver did.
#pragma once

#include <cstdint>
#include <span>

#include "platform/linux/tone/tone_driver.h"

namespace platform::linux_system {

// The range rules, the drivers tried in order on a worker thread, the wait for
// the full duration (the session says when the worker is given up on), and
// the end by a stop signal. False for a frequency the service refuses.
bool SoundTone(std::span<const ToneDriver> drivers, std::uint32_t frequency,
               std::uint32_t duration);

} // namespace platform::linux_system
