// Monotonic time for the tone service.
#pragma once

#include <cstdint>

namespace platform::linux_system {

using Nanoseconds = std::int64_t;
inline constexpr Nanoseconds kMillisecond = 1'000'000;
inline constexpr Nanoseconds kSecond = 1'000'000'000;

Nanoseconds Now();
// How long `frames` take to play at `rate`; exact for any tone up to 2^32 ms.
Nanoseconds PlayingTime(std::uint64_t frames, std::uint32_t rate);
// Sleeps until `deadline`, whatever signals the thread takes meanwhile.
void SleepUntil(Nanoseconds deadline);
// How many `unit`s are left until `deadline`, rounded up (a wake a moment
// early would only find nothing to do), as a library's timeout takes them.
int TimeoutUntil(Nanoseconds deadline, Nanoseconds unit);

} // namespace platform::linux_system
