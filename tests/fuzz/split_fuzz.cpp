// Fuzzes the command-line splitter over whole command lines: the count must
// match the arguments that can be fetched, and no argument may keep a quote.
#include <cstdlib>
#include <cstring>
#include <string>

#include "fake/fake_platform.h"
#include "runtime/arguments.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fake::Reset();
    std::string line(reinterpret_cast<const char*>(data), size);
    line = line.substr(0, line.find('\0')); // the line ends at its zero byte
    fake::State().commandLine = line;

    std::int32_t count = ArgumentCount();
    std::int32_t fetched = 0;
    Text argument;
    for (std::int32_t index = 1;; ++index) {
        ArgumentAt(index, argument);
        if (argument.Empty()) break;
        ++fetched;
        // Each byte steps as one character here, so every quote began one.
        if (std::memchr(argument.Bytes(), '"', argument.Length()) != nullptr) std::abort();
        if (argument.Length() > line.size()) std::abort();
    }
    if (count != fetched) std::abort();
    ArgumentAt(-1, argument);
    if (!argument.Empty()) std::abort();
    return 0;
}
