// The console output channel: buffering, line ends, failures and their codes.
#include <string>
#include <vector>

#include "runtime/console.h"
#include "unit/runtime_fixture.h"

namespace {

using platform::FileKind;
using Sizes = std::vector<std::size_t>;

Sizes WriteSizes(const fake::Platform& system) {
    Sizes sizes;
    for (const std::string& write : system.writes)
        sizes.push_back(write.size());
    return sizes;
}

class ConsoleTest : public RuntimeTest {};

TEST_F(ConsoleTest, HandsBytesOverByDeviceKind) {
    struct Case {
        const char* name;
        FileKind kind;
        std::vector<std::string> lines; // each written as WriteText then WriteLine
        Sizes whileRunning, atEnd;
    };
    const std::string block(128, 'b');
    const Case cases[] = {
        {"console: one write per line",
         FileKind::Character,
         {"ab", "", "cde"},
         {4, 2, 5},
         {4, 2, 5}},
        {"pipe: held until the end", FileKind::Pipe, {"ab", "", "cde"}, {}, {11}},
        {"file: held until the end", FileKind::Disk, {"ab", "cde"}, {}, {9}},
        {"pipe: 300 bytes as 128, 128, rest",
         FileKind::Pipe,
         {std::string(300, 'x')},
         {128, 128},
         {128, 128, 46}},
        {"console: long line in pieces",
         FileKind::Character,
         {std::string(300, 'x')},
         {128, 128, 46},
         {128, 128, 46}},
        {"file: exact block goes at once", FileKind::Disk, {std::string(126, 'x')}, {128}, {128}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::Reset();
        StartRuntime();
        system().outputKind = c.kind;
        std::string expected;
        for (const std::string& line : c.lines) {
            WriteLine(WriteText(ConsoleOutput, line));
            expected += line + "\r\n";
        }
        EXPECT_EQ(WriteSizes(system()), c.whileRunning);
        EXPECT_EQ(fake::RunUntilExit([] { StopProgram(0); }), 0u);
        EXPECT_EQ(WriteSizes(system()), c.atEnd);
        EXPECT_EQ(system().Output(), expected);
    }
}

TEST_F(ConsoleTest, FullBlockOnEmptyBufferIsHandedOverAtOnce) {
    WriteText(ConsoleOutput, std::string(128, 'q'));
    EXPECT_EQ(WriteSizes(system()), Sizes{128});
    EXPECT_EQ(ConsoleOutput.bufferPosition, 0u);
}

TEST_F(ConsoleTest, EmptyTextOpensTheChannelAndAppendsNothing) {
    WriteText(ConsoleOutput, "");
    EXPECT_EQ(ConsoleOutput.mode, ChannelMode::Output);
    EXPECT_EQ(ConsoleOutput.bufferPosition, 0u);
    EXPECT_TRUE(system().writes.empty());
}

TEST_F(ConsoleTest, FailedOpenGives105AndTheNextWriteTriesAgain) {
    struct Case {
        const char* name;
        std::uint32_t handleError;
        FileKind kind;
        bool handleClosed;
    };
    const Case cases[] = {
        {"no standard handle", 6, FileKind::Pipe, false},
        {"handle of unknown kind", 0, FileKind::Unknown, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::Reset();
        StartRuntime();
        system().standardHandleError = c.handleError;
        system().outputKind = c.kind;
        WriteText(ConsoleOutput, "lost");
        EXPECT_EQ(PendingIoResult(), 105u);
        EXPECT_EQ(ConsoleOutput.mode, ChannelMode::Closed);
        EXPECT_EQ(system().closedHandles.size(), c.handleClosed ? 1u : 0u);

        system().standardHandleError = 0;
        system().outputKind = FileKind::Character;
        WriteLine(WriteText(ConsoleOutput, "kept"));
        EXPECT_EQ(ConsoleOutput.mode, ChannelMode::Output);
        EXPECT_EQ(system().Output(), "kept\r\n");
    }
}

TEST_F(ConsoleTest, FailedWriteDiscardsTheBufferAndTheLastFailureWins) {
    system().writeFailures = {{1, 112}, {2, 232}};
    WriteText(ConsoleOutput, std::string(300, 'a')); // first block fails, the rest is dropped
    EXPECT_EQ(PendingIoResult(), 112u);
    EXPECT_EQ(ConsoleOutput.bufferPosition, 0u);
    WriteText(ConsoleOutput, std::string(200, 'b')); // not blocked by the pending code
    EXPECT_EQ(PendingIoResult(), 232u);
    EXPECT_EQ(ConsoleOutput.bufferPosition, 0u);
    WriteText(ConsoleOutput, "ok"); // a success does not clear the code
    EXPECT_EQ(PendingIoResult(), 232u);
    EXPECT_EQ(WriteSizes(system()), (Sizes{128, 128}));
}

TEST_F(ConsoleTest, CheckOutputEndsWithTheLowEightBits) {
    struct Case {
        std::uint32_t failure;
        std::uint32_t status;
        const char* shown;
    };
    const Case cases[] = {{28, 28, "28"}, {300, 44, "44"}, {512, 255, "255"}, {233, 233, "233"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failure);
        fake::Reset();
        StartRuntime();
        system().outputKind = FileKind::Character;
        system().writeFailures = {{2, c.failure}};
        WriteLine(WriteText(ConsoleOutput, "one"));
        CheckOutput();
        WriteLine(WriteText(ConsoleOutput, "two"));
        std::uint32_t status = fake::RunUntilExit([] { CheckOutput(); });
        EXPECT_EQ(status, c.status);
        ASSERT_EQ(system().writes.size(), 4u); // one, the failed two, the report's two writes
        EXPECT_EQ(system().writes[2].substr(0, 17),
                  "Runtime error " + std::string(3 - std::string(c.shown).size(), ' ') + c.shown);
    }
}

TEST_F(ConsoleTest, ClosingAClosedChannelGives103) {
    EXPECT_EQ(CloseChannel(ConsoleOutput), 0u);
    EXPECT_EQ(PendingIoResult(), 103u);
}

} // namespace
