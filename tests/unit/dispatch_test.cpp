// Command dispatch: which command lines sound which tone, and which show help.
#include <string>
#include <utility>
#include <vector>

#include "unit/runtime_fixture.h"

namespace {

using Beeps = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

class DispatchTest : public RuntimeTest {};

TEST_F(DispatchTest, OutcomeOfEachCommandLine) {
    struct Case {
        const char* line;
        Beeps beeps; // empty: the help screen
    };
    const Case cases[] = {
        {"tonerix.exe", {{1000, 1000}}},
        {"tonerix.exe 440 250", {{440, 250}}},
        {"tonerix.exe -440 250", {{4294966856u, 250}}},
        {"tonerix.exe $1B8 250", {{440, 250}}},
        {"tonerix.exe $FFFFFFFF x10", {{4294967295u, 16}}},
        {"tonerix.exe 0 0", {{0, 0}}},
        {"tonerix.exe \"  440\" 250", {{440, 250}}},
        {"tonerix.exe \"\"", {{1000, 1000}}},
        {"tonerix.exe \"\" \"\" \"\"", {{1000, 1000}}},
        {"tonerix.exe 440", {}},
        {"tonerix.exe help", {}},
        {"tonerix.exe /?", {}},
        {"tonerix.exe 1 2 3", {}},
        {"tonerix.exe help 250", {}},
        {"tonerix.exe /? 250", {}},
        {"tonerix.exe HELP 250", {}},
        {"tonerix.exe Help 250", {}},
        {"tonerix.exe \" help\" 250", {}},
        {"tonerix.exe 440 abc", {}},
        {"tonerix.exe abc 250", {}},
        {"tonerix.exe \"440 \" 250", {}},
        {"tonerix.exe \"\" 250", {}},
        {"tonerix.exe 440 2147483648", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        fake::Reset();
        system().outputKind = platform::FileKind::Disk;
        EXPECT_EQ(fake::RunProgram(c.line), 0u);
        EXPECT_EQ(system().beeps, c.beeps);
        EXPECT_EQ(system().Output(), c.beeps.empty() ? kHelpScreen : "");
        EXPECT_TRUE(system().liveBlocks.empty()) << "argument texts are released";
    }
}

TEST_F(DispatchTest, ArgumentOneIsFetchedAnewForEachTest) {
    struct Case {
        const char* line;
        int fetches;
    };
    // Count, then "help", "/?", the conversion of 1 and of 2.
    const Case cases[] = {
        {"t 440 250", 5}, {"t help 250", 2}, {"t /? 250", 3}, {"t abc 250", 4}, {"t 1 2 3", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        fake::Reset();
        fake::RunProgram(c.line);
        EXPECT_EQ(system().commandLineFetches, c.fetches);
    }
}

TEST_F(DispatchTest, FailedHelpScreenEndsWithTheWriteFailure) {
    system().outputKind = platform::FileKind::Pipe;
    system().writeFailures = {{1, 32}};
    EXPECT_EQ(fake::RunProgram("tonerix.exe help"), 32u);
    EXPECT_TRUE(system().beeps.empty());
}

} // namespace
