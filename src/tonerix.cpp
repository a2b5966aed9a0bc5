// tonerix: sounds one tone, or shows its help screen.
//
// No arguments sound 1000 Hz for 1000 ms; two arguments that read as integers
// sound that frequency for that many milliseconds; anything else shows the
// help screen. Every normal run ends with status 0.
#include <cstdint>
#include <string_view>

#include "platform/platform.h"
#include "runtime/arguments.h"
#include "runtime/console.h"
#include "runtime/integer.h"
#include "runtime/termination.h"

namespace {

constexpr std::uint32_t kDefaultFrequency = 1000;
constexpr std::uint32_t kDefaultDuration = 1000;
constexpr std::int32_t kToneArgumentCount = 2;

// The help screen is fixed: the program name in it is always tonerix.exe,
// whatever the program was started as.
constexpr std::string_view kUsageLines[] = {
    "",
    "Tonerix  (c) 2026 the tonerix developers",
    "tonerix.exe           =  ohne Parameter 1000Hz 1000msec.",
    "tonerix.exe 1000 5000 =  1000Hz 5000msec.",
    "tonerix.exe help      =  diese Hilfe",
    "tonerix.exe /?        =  diese Hilfe",
    "",
};

// Shared by both conversions and tested right after each of them.
std::int32_t errorPosition = 0;

[[noreturn]] void ShowUsage() {
    for (std::string_view line : kUsageLines) {
        WriteLine(WriteText(ConsoleOutput, line));
        CheckOutput();
    }
    StopProgram(0);
}

// Argument 1 is fetched anew for each look at it: the line is split every time.
bool ArgumentOneIs(std::string_view keyword) {
    Text argument;
    ArgumentAt(1, argument);
    return argument == keyword;
}

std::int32_t ConvertArgument(std::int32_t index) {
    Text argument;
    ArgumentAt(index, argument);
    return ParseInteger(argument.View(), errorPosition);
}

void Dispatch() {
    std::int32_t count = ArgumentCount();
    if (count == 0) {
        platform::Beep(kDefaultFrequency, kDefaultDuration);
        StopProgram(0);
    }
    if (count != kToneArgumentCount) ShowUsage();
    if (ArgumentOneIs("help")) ShowUsage();
    if (ArgumentOneIs("/?")) ShowUsage();
    std::int32_t frequency = ConvertArgument(1);
    if (errorPosition != 0) ShowUsage();
    std::int32_t duration = ConvertArgument(2);
    if (errorPosition != 0) ShowUsage();
    // Passed on bit for bit: the tone service decides what it can sound.
    platform::Beep(static_cast<std::uint32_t>(frequency), static_cast<std::uint32_t>(duration));
}

} // namespace

void ProgramEntry() {
    StartRuntime();
    Dispatch();
    EndProgram();
}
