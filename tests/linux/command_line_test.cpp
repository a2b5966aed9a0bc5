// Rebuilding one command line from Linux's argv.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/linux/command_line.h"

namespace {

using platform::linux_system::BuildCommandLine;
using platform::linux_system::CommandLineCapacity;

std::string Rebuild(const std::vector<const char*>& argv) {
    int argc = static_cast<int>(argv.size());
    std::string line(CommandLineCapacity(argc, argv.data()), '?');
    std::size_t length = BuildCommandLine(argc, argv.data(), line.data());
    EXPECT_LT(length, line.size()) << "room for the zero byte";
    EXPECT_EQ(line[length], '\0');
    return line.substr(0, length);
}

TEST(CommandLineTest, QuotesOnlyWhatWouldOtherwiseSplitOrVanish) {
    struct Case {
        std::vector<const char*> argv;
        std::string line;
    };
    const Case cases[] = {
        {{"tonerix"}, "tonerix"},
        {{"tonerix", "440", "250"}, "tonerix 440 250"},
        {{"tonerix", ""}, "tonerix \"\""},
        {{"tonerix", "", "250"}, "tonerix \"\" 250"},
        {{"tonerix", "4 40"}, "tonerix \"4 40\""},
        {{"tonerix", "a\tb"}, "tonerix \"a\tb\""},
        {{"tonerix", "a\"b"}, "tonerix a\"b"},
        {{"tonerix", "a \"b"}, "tonerix a \"b"},
        {{"/opt/my tools/tonerix", "1"}, "tonerix 1"}, // argument 0 is always one plain word
        {{"tonerix", "T\xc3\xb6ne", "\xe2\x99\xaa"}, "tonerix T\xc3\xb6ne \xe2\x99\xaa"},
        {{"tonerix", "\x01"}, "tonerix \"\x01\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(Rebuild(c.argv), c.line);
    }
}

} // namespace
