// Thin calls of the kernel32 and user32 functions the runtime is written for.
#include <windows.h>

#include "platform/platform.h"

namespace platform {
namespace {
HANDLE AsHandle(Handle handle) { return reinterpret_cast<HANDLE>(handle); }
} // namespace

Handle StandardOutput() { return reinterpret_cast<Handle>(GetStdHandle(STD_OUTPUT_HANDLE)); }

FileKind KindOf(Handle handle) {
    switch (GetFileType(AsHandle(handle))) {
    case FILE_TYPE_UNKNOWN:
        return FileKind::Unknown;
    case FILE_TYPE_CHAR:
        return FileKind::Character;
    case FILE_TYPE_PIPE:
        return FileKind::Pipe;
    default:
        return FileKind::Disk;
    }
}

// A write the system completes only in part is carried on until every byte is
// out or a write fails.
bool Write(Handle handle, const void* bytes, std::uint32_t count) {
    const char* rest = static_cast<const char*>(bytes);
    while (count > 0) {
        DWORD written = 0;
        if (WriteFile(AsHandle(handle), rest, count, &written, nullptr) == 0) return false;
        if (written == 0) {
            SetLastError(ERROR_HANDLE_DISK_FULL);
            return false;
        }
        rest += written;
        count -= written;
    }
    return true;
}

std::uint32_t LastError() { return GetLastError(); }
void CloseHandle(Handle handle) { ::CloseHandle(AsHandle(handle)); }
void ExitProcess(std::uint32_t status) { ::ExitProcess(status); }

const char* CommandLine() { return GetCommandLineA(); }
const char* NextCharacter(const char* position) { return CharNextA(position); }
std::uint32_t ModulePath(char* buffer, std::uint32_t size) {
    return GetModuleFileNameA(nullptr, buffer, size);
}

void* Allocate(std::size_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }
bool Release(void* block) { return HeapFree(GetProcessHeap(), 0, block) != 0; }

bool Beep(std::uint32_t frequency, std::uint32_t duration) {
    return ::Beep(frequency, duration) != 0;
}

} // namespace platform
