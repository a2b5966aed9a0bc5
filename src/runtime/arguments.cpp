// The command-line splitter. Each argument is walked twice, once to measure
// and once to copy, so that its text is allocated once at its final length.
#include "runtime/arguments.h"

#include "platform/platform.h"
#include "runtime/error_codes.h"
#include "runtime/termination.h"

namespace {

constexpr char kQuote = '"';
constexpr std::uint32_t kModulePathSize = 261;

bool IsSeparator(char byte) {
    auto value = static_cast<unsigned char>(byte);
    return value >= 0x01 && value <= 0x20;
}

// Walks one argument from `position`, handing each character of it to `take`
// as a [first, last) byte range, and returns where the walk stopped: at the
// separator or zero byte that ended it.
template <typename Take> const char* WalkArgument(const char* position, Take take) {
    bool quoted = false;
    for (;;) {
        char byte = *position;
        if (byte == '\0') return position;
        if (byte == kQuote) {
            quoted = !quoted;
            ++position;
            continue;
        }
        if (!quoted && IsSeparator(byte)) return position;
        // A multi-byte character is taken whole; its trail byte is never tested.
        const char* next = platform::NextCharacter(position);
        take(position, next);
        position = next;
    }
}

// noinline so that a memory failure's location names the caller.
__attribute__((noinline)) const char* CommandLineOrFail() {
    const char* line = platform::CommandLine();
    if (line == nullptr) FailHere(error_code::kOutOfMemory, __builtin_return_address(0));
    return line;
}

} // namespace

const char* NextArgument(const char* position, Text& argument) {
    for (;;) {
        if (IsSeparator(*position))
            position = platform::NextCharacter(position);
        else if (position[0] == kQuote && position[1] == kQuote)
            position += 2;
        else
            break;
    }
    std::uint32_t length = 0;
    WalkArgument(position, [&length](const char* first, const char* last) {
        length += static_cast<std::uint32_t>(last - first);
    });
    argument.DiscardAndResize(length);
    char* out = argument.Bytes();
    return WalkArgument(position, [&out](const char* first, const char* last) {
        while (first != last)
            *out++ = *first++;
    });
}

std::int32_t ArgumentCount() {
    Text argument;
    const char* position = NextArgument(CommandLineOrFail(), argument);
    std::int32_t count = 0;
    for (;;) {
        position = NextArgument(position, argument);
        if (argument.Empty()) return count;
        ++count;
    }
}

void ArgumentAt(std::int32_t index, Text& argument) {
    argument.Clear();
    if (index == 0) {
        char path[kModulePathSize];
        std::uint32_t length = platform::ModulePath(path, kModulePathSize);
        if (length > kModulePathSize) length = kModulePathSize;
        argument.DiscardAndResize(length);
        for (std::uint32_t i = 0; i < length; ++i)
            argument.Bytes()[i] = path[i];
        return;
    }
    const char* position = CommandLineOrFail();
    for (std::int32_t number = 0;; ++number) {
        position = NextArgument(position, argument);
        if (number == index || argument.Empty()) return;
    }
}
