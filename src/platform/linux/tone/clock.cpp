// Monotonic time for the tone service, and the scheduler's account of its
// threads.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include "platform/linux/tone/clock.h"

namespace platform::linux_system {
namespace {

// The file `name` of the /proc folder `folder`, read whole into `text`.
bool ReadProcFile(const char* folder, const char* name, char (&text)[512]) {
    char path[64];
    std::snprintf(path, sizeof path, "%s/%s", folder, name);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    ssize_t length = read(fd, text, sizeof text - 1);
    close(fd);
    text[length > 0 ? length : 0] = '\0';
    return length > 0;
}

// The state letter after the name in parentheses in `folder`'s "stat"; 0 if none.
char StateIn(const char* folder) {
    char text[512];
    const char* nameEnd = ReadProcFile(folder, "stat", text) ? std::strrchr(text, ')') : nullptr;
    return nameEnd != nullptr && nameEnd[1] == ' ' ? nameEnd[2] : 0;
}

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

// "schedstat" holds the processor time and the time spent waiting on a run
// queue, in nanoseconds; "stat" the state after the name in parentheses.
Scheduled ScheduledIn(const char* folder) {
    char text[512];
    long long ran = 0;
    if (!ReadProcFile(folder, "schedstat", text) || std::sscanf(text, "%lld", &ran) != 1) return {};
    return {true, StateIn(folder), ran};
}

ProcessorUse ProcessorUseOf(int thread) {
    char folder[48];
    std::snprintf(folder, sizeof folder, "/proc/self/task/%d", thread);
    Scheduled scheduled = ScheduledIn(folder);
    ProcessorUse use{scheduled.known && scheduled.state == 'R', scheduled.ran};
    DIR* tasks = opendir("/proc/self/task");
    while (const dirent* task = tasks != nullptr ? readdir(tasks) : nullptr) {
        int other = std::atoi(task->d_name);
        if (other <= 0 || other == thread || other == gettid()) continue;
        std::snprintf(folder, sizeof folder, "/proc/self/task/%d", other);
        use.othersReady = use.othersReady || StateIn(folder) == 'R';
    }
    if (tasks != nullptr) closedir(tasks);
    return use;
}

ProcessorWait::ProcessorWait() : fd_(open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC)) {}

ProcessorWait::~ProcessorWait() {
    if (fd_ >= 0) close(fd_);
}

Nanoseconds ProcessorWait::Read() const {
    char text[96];
    ssize_t length = fd_ >= 0 ? pread(fd_, text, sizeof text - 1, 0) : -1;
    text[length > 0 ? length : 0] = '\0';
    long long ran = 0, waited = 0;
    return std::sscanf(text, "%lld %lld", &ran, &waited) == 2 ? waited : 0;
}

} // namespace platform::linux_system
