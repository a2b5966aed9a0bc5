// Setting the caller's standard error aside while the drivers run.
#include "platform/linux/tone/service/standard_error.h"

#include "platform/linux/tone/tone_call.h"
#include "platform/linux/tone/verdict.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace platform::linux_system {

bool DebugAsked() { return DebugWanted(std::getenv("TONERIX_DEBUG")); }

StandardErrorSetAside::StandardErrorSetAside() {
    debug_ = DebugAsked();
    bool hide = std::getenv("PIPEWIRE_DEBUG") == nullptr && std::getenv("PULSE_LOG") == nullptr;
    if (!hide && !debug_) return;
    // /dev/null first: with few descriptors left, the copy is what fails, and
    // then nothing has changed.
    int nowhere = hide ? open("/dev/null", O_WRONLY | O_CLOEXEC) : -1;
    callers_ = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    ready_ = callers_ >= 0 && (!hide || (nowhere >= 0 && dup2(nowhere, STDERR_FILENO) >= 0));
    hidden_ = hide && ready_;
    if (nowhere >= 0) close(nowhere);
    if (!ready_ && callers_ >= 0) {
        close(callers_);
        callers_ = -1;
    }
}

StandardErrorSetAside::~StandardErrorSetAside() {
    if (hidden_) dup2(callers_, STDERR_FILENO);
    if (callers_ >= 0) close(callers_);
}

void StandardErrorSetAside::Say(const char* words) const {
    char line[160];
    int length = std::snprintf(line, sizeof line, "tonerix: %s\n", words);
    if (debug_ && length > 0 && length < int{sizeof line})
        WriteIfReady(callers_ >= 0 ? callers_ : STDERR_FILENO, line, length);
}

} // namespace platform::linux_system
