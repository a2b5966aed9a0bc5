// Monotonic time for the tone service.
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

} // namespace platform::linux_system
