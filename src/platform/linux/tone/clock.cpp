// Monotonic time for the tone service.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>

#include "platform/linux/tone/clock.h"

namespace platform::linux_system {

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

void SleepUntil(Nanoseconds deadline) {
    timespec until{static_cast<time_t>(deadline / kSecond), static_cast<long>(deadline % kSecond)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

int TimeoutUntil(Nanoseconds deadline, Nanoseconds unit) {
    Nanoseconds left = deadline - Now();
    return left <= 0 ? 0
                     : static_cast<int>(std::min<Nanoseconds>((left + unit - 1) / unit, INT_MAX));
}

} // namespace platform::linux_system
