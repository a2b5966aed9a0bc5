// Monotonic time for the tone service, and the processor time its threads had
// or waited for.
#pragma once

#include <cstdint>

namespace platform::linux_system {

using Nanoseconds = std::int64_t;
inline constexpr Nanoseconds kMicrosecond = 1'000;
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

// What the scheduler says of thread `thread` of this process: all zero and
// not ready when it says nothing (no such thread, no scheduler statistics).
struct ProcessorUse {
    bool ready = false;  // running, or ready to run and waiting for a processor
    Nanoseconds ran = 0; // processor time it has had
    // Another thread of the process but the caller's is ready: a sound
    // library's own, which the thread may be waiting for.
    bool othersReady = false;
};
ProcessorUse ProcessorUseOf(int thread);

// The calling thread's time ready to run with no processor, up to its last
// run. Its statistics stay open, so that a read is one call: cheap enough for
// every step a worker takes. 0 where the scheduler says nothing.
class ProcessorWait {
  public:
    ProcessorWait();
    ~ProcessorWait();
    ProcessorWait(const ProcessorWait&) = delete;
    ProcessorWait& operator=(const ProcessorWait&) = delete;
    Nanoseconds Read() const;

  private:
    int fd_;
};

// What the scheduler says of the thread or process whose /proc folder is
// `folder` ("/proc/1234"), if anything (`known`): its state letter ('R'
// running or ready, 'S' asleep, 'T' stopped and the rest), and the processor
// time it has had.
struct Scheduled {
    bool known = false;
    char state = 0;
    Nanoseconds ran = 0;
};
Scheduled ScheduledIn(const char* folder);

} // namespace platform::linux_system
