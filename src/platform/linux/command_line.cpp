// The command line, character stepping and executable path on Linux.
#include "platform/linux/command_line.h"

#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "platform/platform.h"

namespace platform::linux_system {
namespace {

int savedArgc = 0;
char** savedArgv = nullptr;
char* rebuiltLine = nullptr;

// Argument 0 is the executable's path, which comes from the system, so the
// line starts with a fixed name: whatever argv[0] holds (nothing, blanks, a
// quote) could otherwise merge with or swallow the arguments after it.
constexpr char kArgumentZero[] = "tonerix";

bool NeedsQuotes(const char* element) {
    if (*element == '\0') return true;
    if (std::strchr(element, '"') != nullptr) return false;
    for (const char* p = element; *p != '\0'; ++p)
        if (static_cast<unsigned char>(*p) <= 0x20) return true;
    return false;
}

} // namespace

void RememberArguments(int argc, char** argv) {
    savedArgc = argc;
    savedArgv = argv;
}

std::size_t CommandLineCapacity(int argc, const char* const* argv) {
    std::size_t size = sizeof kArgumentZero; // with the terminating zero
    for (int i = 1; i < argc; ++i)
        size += std::strlen(argv[i]) + 3; // a separator and two quotes at most
    return size;
}

std::size_t BuildCommandLine(int argc, const char* const* argv, char* out) {
    char* start = out;
    out += std::strlen(std::strcpy(out, kArgumentZero));
    for (int i = 1; i < argc; ++i) {
        *out++ = ' ';
        bool quoted = NeedsQuotes(argv[i]);
        if (quoted) *out++ = '"';
        std::size_t length = std::strlen(argv[i]);
        std::memcpy(out, argv[i], length);
        out += length;
        if (quoted) *out++ = '"';
    }
    *out = '\0';
    return static_cast<std::size_t>(out - start);
}

} // namespace platform::linux_system

namespace platform {

const char* CommandLine() {
    using namespace linux_system;
    if (rebuiltLine == nullptr) {
        rebuiltLine = static_cast<char*>(std::malloc(CommandLineCapacity(savedArgc, savedArgv)));
        if (rebuiltLine != nullptr) BuildCommandLine(savedArgc, savedArgv, rebuiltLine);
    }
    return rebuiltLine;
}

// Every byte of a multi-byte UTF-8 character is 0x80 or above, so stepping one
// byte at a time never takes a part of one for a separator or a quote.
const char* NextCharacter(const char* position) { return position + 1; }

std::uint32_t ModulePath(char* buffer, std::uint32_t size) {
    ssize_t length = readlink("/proc/self/exe", buffer, size);
    return length > 0 ? static_cast<std::uint32_t>(length) : 0;
}

} // namespace platform
