// A test program built on the real runtime and platform: it shows what the
// splitter makes of the command line, and it provokes processor faults so
// that tests can see the runtime report them.
//
//   probe fault KIND    provokes a fault: access | divide | stack | privileged |
//                       breakpoint | bad-system-call | nested (a second fault while ending) |
//                       worker-stack (on Linux, an overflow on a tone worker's thread)
//   probe ANYTHING ELSE one line "index:HEX" for argument 0 up to the one
//                       behind the last, which must come back empty
#include <csignal>
#include <cstdint>

#include "platform/platform.h"
#include "runtime/arguments.h"
#include "runtime/console.h"
#include "runtime/termination.h"
#ifdef __linux__
#include <unistd.h>

#include "platform/linux/threads.h"
#endif

namespace {

// Volatile, so that no division is folded away or turned into a comparison.
volatile int zero = 0;
volatile int one = 1;
volatile int* volatile nowhere = nullptr;

void WriteHexLine(std::int32_t index, const Text& text) {
    static constexpr char kDigits[] = "0123456789abcdef";
    char number[12];
    int length = 0;
    std::uint32_t value = static_cast<std::uint32_t>(index);
    do {
        number[length++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    char digits[12];
    for (int i = 0; i < length; ++i)
        digits[i] = number[length - 1 - i];
    WriteText(ConsoleOutput, {digits, static_cast<std::size_t>(length)});
    WriteText(ConsoleOutput, ":");
    for (char byte : text.View()) {
        char pair[2] = {kDigits[static_cast<unsigned char>(byte) >> 4],
                        kDigits[static_cast<unsigned char>(byte) & 0xF]};
        WriteText(ConsoleOutput, {pair, 2});
    }
    WriteLine(ConsoleOutput);
    CheckOutput();
}

// Recurses until the stack runs out; the check on `zero` keeps the compiler
// from calling the recursion infinite.
__attribute__((noinline)) int Recurse(int depth) {
    volatile char frame[4096];
    frame[0] = static_cast<char>(depth);
    if (zero == 42) return depth;
    return Recurse(depth + 1) + frame[0];
}

// Faults again while the runtime ends: the report first writes out what is buffered.
std::uint32_t FaultWhileWritingOut(TextChannel&) {
    *nowhere = 2;
    return 0;
}

void Fault(const Text& kind) {
    if (kind == "access") *nowhere = 1;
    if (kind == "divide") zero = one / zero; // traps on x86 only: 64-bit ARM gives 0
    if (kind == "stack") zero = Recurse(0);
#if defined(__i386__) || defined(__x86_64__)
    if (kind == "privileged") __asm__ volatile("hlt");
    if (kind == "breakpoint") __asm__ volatile("int3");
#elif defined(__aarch64__)
    if (kind == "breakpoint") __asm__ volatile("brk #0");
#endif
#ifdef SIGSYS
    if (kind == "bad-system-call") std::raise(SIGSYS); // as a seccomp filter would deliver it
#endif
#ifdef __linux__
    if (kind == "worker-stack") {
        platform::linux_system::StartWorker([](void*) { zero = Recurse(0); }, nullptr);
        for (;;)
            pause();
    }
#endif
    if (kind == "nested") {
        WriteText(ConsoleOutput, "buffered");
        ConsoleOutput.transfer = FaultWhileWritingOut;
        *nowhere = 1;
    }
}

} // namespace

void ProgramEntry() {
    StartRuntime();
    Text command;
    ArgumentAt(1, command);
    if (command == "fault") {
        Text kind;
        ArgumentAt(2, kind);
        Fault(kind);
    } else {
        std::int32_t count = ArgumentCount();
        Text argument;
        for (std::int32_t index = 0; index <= count + 1; ++index) {
            ArgumentAt(index, argument);
            WriteHexLine(index, argument);
        }
    }
    EndProgram();
}
