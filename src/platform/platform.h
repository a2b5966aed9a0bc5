// The one doorway between tonerix and the operating system.
//
// Everything above this header (the runtime and the tone command) is portable
// and never includes a system header. Each system supplies these functions in
// its own folder; the unit tests supply a fake that records every call.
#pragma once

#include <cstddef>
#include <cstdint>

// The program's own entry, supplied by the program and called by the
// platform once the system has handed over control. It never returns.
[[noreturn]] void ProgramEntry();

namespace platform {

using Handle = std::uintptr_t;
inline constexpr Handle kInvalidHandle = ~Handle{0};

// What kind of object a handle refers to; the numbers are the ones the
// console-output rules are written in.
enum class FileKind : std::uint32_t { Unknown = 0, Disk = 1, Character = 2, Pipe = 3 };

// --- Console output and termination -------------------------------------
// Standard output's handle; kInvalidHandle when the system has none (LastError
// says why).
Handle StandardOutput();
FileKind KindOf(Handle handle);
// Writes all `count` bytes, carrying on after a partial write; false on a
// failure, with the reason in LastError.
bool Write(Handle handle, const void* bytes, std::uint32_t count);
std::uint32_t LastError();
void CloseHandle(Handle handle);
[[noreturn]] void ExitProcess(std::uint32_t status);

// --- Command line ---------------------------------------------------------
// The whole command line as one zero-terminated byte string, program first.
// Null only when the system could not provide the memory for it.
const char* CommandLine();
// The start of the character after the one at `position` (never the zero byte).
const char* NextCharacter(const char* position);
// Writes the running executable's path into `buffer` (at most `size` bytes,
// not necessarily zero-terminated) and returns how many bytes it wrote, 0 on failure.
std::uint32_t ModulePath(char* buffer, std::uint32_t size);

// --- Memory ---------------------------------------------------------------
void* Allocate(std::size_t size); // null when no memory is left
bool Release(void* block);        // false when the memory manager refuses

// --- Tone -----------------------------------------------------------------
// Sounds `frequency` Hz for `duration` ms and returns when the tone is over.
bool Beep(std::uint32_t frequency, std::uint32_t duration);

// --- Faults ---------------------------------------------------------------
// What went wrong in a processor fault, as each system can tell it. The
// platform reports the kind; what it means for the run is the runtime's rule.
enum class FaultKind : std::uint8_t {
    DivideByZero,
    Subscript, // an array bound check
    StackOverflow,
    FloatOverflow,
    FloatUnderflow,
    FloatInvalid,
    IntegerOverflow,
    AccessViolation,
    ControlBreak, // Ctrl-C delivered as an exception
    PrivilegedInstruction,
    Other,
};
// Called on a processor fault of any thread with its kind and location;
// it must end the process.
using FaultHandler = void (*)(FaultKind kind, std::uint32_t location);
void InstallFaultHandler(FaultHandler handler);
// A code address as the error report prints it: the address itself where the
// program loads at a fixed place, the offset from the load base elsewhere.
std::uint32_t CodeLocation(const void* address);

} // namespace platform
