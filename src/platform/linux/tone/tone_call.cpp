// A driver's side of one tone call: sleeping, the held device, the
// program's pauses, and the debug lines.
#include "platform/linux/tone/tone_call.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <unistd.h>

namespace platform::linux_system {

bool ToneCall::SleepUntil(Nanoseconds deadline) const {
    if (sleepOnService_ != nullptr) return sleepOnService_(*this, deadline);
    if (!StopRequested()) linux_system::SleepUntil(deadline);
    return !StopRequested();
}

// The service's guard leaves a SIGCONT pending until it has counted the pause.
bool ToneCall::PauseUncounted() const {
    sigset_t pending;
    return sigpending(&pending) == 0 && sigismember(&pending, SIGCONT) == 1;
}

bool ToneCall::HushBy(Hush hush) {
    Locked hold(*this);
    if (switching_.ended || StopRequested()) return false;
    switching_.hush = hush;
    hush.quiet(hush.driver, switching_.quiet);
    return true;
}

void ToneCall::Unhush() {
    Locked hold(*this);
    switching_.hush = {nullptr, nullptr};
}

void ToneCall::TookStep() {
    ++byWorker_.steps;
    if (byWorker_.ownWait != nullptr) byWorker_.waited = byWorker_.ownWait->Read();
}

void ToneCall::Sounding(const char* what) {
    const char* driver = byWorker_.driver;
    if (!byWorker_.sounding.exchange(true) && driver != nullptr) Report(driver, what);
}

void ToneCall::SayNamed(const char* format, const char* variable, const char* value) {
    std::snprintf(byWorker_.named, sizeof byWorker_.named, format, variable, value);
    Say(byWorker_.named);
}

void ToneCall::Report(const char* driver, const char* words, bool last) {
    Locked hold(*this);
    bool quiet = switching_.ended || switching_.givenUp;
    switching_.givenUp = switching_.givenUp || last;
    if (debug_ < 0 || quiet) return;
    char line[256];
    int length = std::snprintf(line, sizeof line, "tonerix: %s: %s\n", driver, words);
    if (length > 0) WriteIfReady(debug_, line, std::min<std::size_t>(length, sizeof line - 1));
}

void WriteIfReady(int fd, const char* line, std::size_t length) {
    pollfd ready{fd, POLLOUT, 0};
    if (poll(&ready, 1, 0) == 1 && (ready.revents & POLLOUT) != 0) {
        [[maybe_unused]] ssize_t ignored = write(fd, line, length);
    }
}

} // namespace platform::linux_system
