// Keeping the sound libraries off the caller's standard error.
#include "platform/linux/tone/library_messages.h"

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace platform::linux_system {

LibraryMessagesHidden::LibraryMessagesHidden() {
    if (std::getenv("PIPEWIRE_DEBUG") != nullptr || std::getenv("PULSE_LOG") != nullptr) return;
    callers_ = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    // Taking a closed standard descriptor's number only for a moment.
    int nowhere = open("/dev/null", O_WRONLY | O_CLOEXEC);
    hidden_ = nowhere == STDERR_FILENO || (nowhere >= 0 && dup2(nowhere, STDERR_FILENO) >= 0);
    if (nowhere >= 0 && nowhere != STDERR_FILENO) close(nowhere);
    if (!hidden_ && callers_ >= 0) close(callers_);
}

LibraryMessagesHidden::~LibraryMessagesHidden() {
    if (!hidden_) return;
    if (callers_ < 0) {
        close(STDERR_FILENO);
        return;
    }
    dup2(callers_, STDERR_FILENO);
    close(callers_);
}

} // namespace platform::linux_system
