// Monotonic time for the tone service, and sleeps that a stop signal ends.
#include <cerrno>
#include <ctime>

#include "platform/linux/tone/clock.h"

#include "platform/linux/tone/interruption.h"

namespace platform::linux_system {
namespace {
// Sleeps are cut into slices so that a stop signal that lands just before a
// sleep begins still ends it promptly.
constexpr Nanoseconds kLongestSlice = 50 * kMillisecond;
} // namespace

Nanoseconds Now() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return Nanoseconds{now.tv_sec} * kSecond + now.tv_nsec;
}

Nanoseconds PlayingTime(std::uint64_t frames, std::uint32_t rate) {
    // Whole seconds first: frames times 10^9 would overflow past about 53 hours.
    return static_cast<Nanoseconds>(frames / rate) * kSecond +
           static_cast<Nanoseconds>(frames % rate * kSecond / rate);
}

bool SleepUntil(Nanoseconds deadline) {
    for (;;) {
        if (StopRequested()) return false;
        Nanoseconds now = Now();
        if (now >= deadline) return true;
        Nanoseconds wake = deadline - now > kLongestSlice ? now + kLongestSlice : deadline;
        timespec until{static_cast<time_t>(wake / kSecond), static_cast<long>(wake % kSecond)};
        int result = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
        if (result != 0 && result != EINTR) return true;
    }
}

} // namespace platform::linux_system
