// Standard output, memory and process exit on Linux. A handle is a file
// descriptor; a failure code is the errno of the failed call, kept until the
// next failure, or EBADF for a standard descriptor that was closed at start
// and ENOSPC for a write that took nothing.
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/linux/standard_descriptors.h"
#include "platform/platform.h"

namespace platform {
namespace {
std::uint32_t lastError = 0;
unsigned placeholders = 0; // a bit for each standard descriptor closed at start

bool IsPlaceholder(Handle handle) { return handle <= 2 && (placeholders >> handle & 1) != 0; }
} // namespace

void linux_system::ReserveClosedStandardDescriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
        // The lowest free number, which is `fd`: the ones below it are open.
        int placeholder = open("/dev/null", O_RDONLY);
        if (placeholder == fd)
            placeholders |= 1u << fd;
        else if (placeholder >= 0)
            close(placeholder);
    }
}

Handle StandardOutput() { return STDOUT_FILENO; }

// A closed descriptor cannot be examined: that is the unknown kind.
FileKind KindOf(Handle handle) {
    if (IsPlaceholder(handle)) {
        lastError = EBADF;
        return FileKind::Unknown;
    }
    struct stat status;
    if (fstat(static_cast<int>(handle), &status) != 0) {
        lastError = static_cast<std::uint32_t>(errno);
        return FileKind::Unknown;
    }
    if (S_ISCHR(status.st_mode)) return FileKind::Character;
    if (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode)) return FileKind::Pipe;
    return FileKind::Disk;
}

// A write the system completes only in part (a file-size limit, a nearly full
// disk, a signal) is carried on until every byte is out or a write fails.
bool Write(Handle handle, const void* bytes, std::uint32_t count) {
    const char* rest = static_cast<const char*>(bytes);
    while (count > 0) {
        ssize_t written = write(static_cast<int>(handle), rest, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            lastError = written < 0 ? static_cast<std::uint32_t>(errno) : ENOSPC;
            return false;
        }
        rest += written;
        count -= static_cast<std::uint32_t>(written);
    }
    return true;
}

std::uint32_t LastError() { return lastError; }

// The runtime closes a handle only when it found it unusable.
// A placeholder stays, holding its number.
void CloseHandle(Handle handle) {
    if (!IsPlaceholder(handle)) close(static_cast<int>(handle));
}

void ExitProcess(std::uint32_t status) { _exit(static_cast<int>(status)); }

void* Allocate(std::size_t size) { return std::malloc(size); }

bool Release(void* block) {
    std::free(block);
    return true;
}

} // namespace platform
