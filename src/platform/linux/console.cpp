// Standard output, memory and process exit on Linux. A handle is a file
// descriptor; a failure code is errno as it stands.
#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"

namespace platform {
namespace {
std::uint32_t lastError = 0;
}

Handle StandardHandle(StandardStream stream) {
    return stream == StandardStream::Error ? STDERR_FILENO : STDOUT_FILENO;
}

// A closed descriptor cannot be examined: that is the unknown kind.
FileKind KindOf(Handle handle) {
    struct stat status;
    if (fstat(static_cast<int>(handle), &status) != 0) {
        lastError = static_cast<std::uint32_t>(errno);
        return FileKind::Unknown;
    }
    if (S_ISCHR(status.st_mode)) return FileKind::Character;
    if (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode)) return FileKind::Pipe;
    return FileKind::Disk;
}

bool Write(Handle handle, const void* bytes, std::uint32_t count) {
    for (;;) {
        if (write(static_cast<int>(handle), bytes, count) >= 0) return true;
        if (errno != EINTR) break;
    }
    lastError = static_cast<std::uint32_t>(errno);
    return false;
}

std::uint32_t LastError() { return lastError; }

// The runtime closes a handle only when it found it unusable.
void CloseHandle(Handle handle) { close(static_cast<int>(handle)); }

void ExitProcess(std::uint32_t status) { _exit(static_cast<int>(status)); }

void* Allocate(std::size_t size) { return std::malloc(size); }

bool Release(void* block) {
    std::free(block);
    return true;
}

} // namespace platform
