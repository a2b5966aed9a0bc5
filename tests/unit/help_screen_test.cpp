// The help screen end to end over the fake platform: its bytes, and what a
// failed write on each of its lines leaves behind.
#include <string>

#include "unit/runtime_fixture.h"

namespace {

class HelpScreenTest : public RuntimeTest {};

std::string LinesBefore(int count) {
    std::string lines;
    std::size_t start = 0;
    for (int i = 0; i < count; ++i) {
        std::size_t end = kHelpScreen.find("\r\n", start) + 2;
        lines += kHelpScreen.substr(start, end - start);
        start = end;
    }
    return lines;
}

TEST_F(HelpScreenTest, ConsoleGetsSevenWritesOneALine) {
    system().outputKind = platform::FileKind::Character;
    EXPECT_EQ(fake::RunProgram("tonerix.exe help"), 0u);
    ASSERT_EQ(system().writes.size(), 7u);
    for (int line = 0; line < 7; ++line)
        EXPECT_EQ(system().writes[line], LinesBefore(line + 1).substr(LinesBefore(line).size()));
}

TEST_F(HelpScreenTest, FileGetsTheSameBytesInBlocks) {
    system().outputKind = platform::FileKind::Disk;
    EXPECT_EQ(fake::RunProgram("tonerix.exe help"), 0u);
    EXPECT_EQ(system().Output(), kHelpScreen);
    ASSERT_EQ(system().writes.size(), 2u);
    EXPECT_EQ(system().writes[0].size(), 128u);
}

TEST_F(HelpScreenTest, FailureOnEachLineReportsAfterTheLinesBeforeIt) {
    for (int line = 1; line <= 7; ++line) {
        SCOPED_TRACE(line);
        fake::Reset();
        system().outputKind = platform::FileKind::Character;
        system().writeFailures = {{line, 232}};
        EXPECT_EQ(fake::RunProgram("tonerix.exe help"), 232u);
        // Lines before the failed one, the failed attempt, then the report's two writes.
        const auto& writes = system().writes;
        ASSERT_EQ(writes.size(), static_cast<std::size_t>(line) + 2);
        std::string delivered;
        for (int i = 0; i < line - 1; ++i)
            delivered += writes[i];
        EXPECT_EQ(delivered, LinesBefore(line - 1));
        EXPECT_EQ(writes[line].substr(0, 21), "Runtime error 232 at ");
        EXPECT_EQ(writes[line].size(), 30u);
        EXPECT_EQ(writes[line + 1], "\r\n");
    }
}

TEST_F(HelpScreenTest, NoStandardOutputGives105) {
    system().standardHandleError = 6;
    EXPECT_EQ(fake::RunProgram("tonerix.exe help"), 105u);
    // Nothing of the screen; the report is attempted and lost.
    ASSERT_EQ(system().writes.size(), 2u);
    EXPECT_EQ(system().writes[0].substr(0, 21), "Runtime error 105 at ");
}

} // namespace
