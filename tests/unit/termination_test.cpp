// The common end: the error report's form, what precedes it, and the exit status.
#include <cstring>
#include <string>
#include <utility>

#include "runtime/console.h"
#include "runtime/text.h"
#include "unit/runtime_fixture.h"

namespace {

class TerminationTest : public RuntimeTest {};

TEST(ReportTest, ShowsCodeRightAlignedAndLocationInEightHexDigits) {
    struct Case {
        std::uint32_t code, location;
        const char* text;
    };
    const Case cases[] = {
        {0, 0x0, "Runtime error   0 at 00000000"},
        {2, 0x401A2C, "Runtime error   2 at 00401A2C"},
        {105, 0xDEADBEEF, "Runtime error 105 at DEADBEEF"},
        {255, 0x10, "Runtime error 255 at 00000010"},
        {44, 0xF0000000, "Runtime error  44 at F0000000"},
    };
    for (const Case& c : cases) {
        char report[kReportLength];
        BuildReport(c.code, c.location, report);
        EXPECT_EQ(std::string(report, 29), c.text);
        EXPECT_EQ(report[29], '\0');
    }
}

TEST_F(TerminationTest, StopProgramNeverReports) {
    for (std::int32_t status : {0, 3, 255}) {
        fake::Reset();
        StartRuntime();
        EXPECT_EQ(fake::RunUntilExit([status] { StopProgram(status); }), std::uint32_t(status));
        EXPECT_TRUE(system().writes.empty());
    }
}

TEST_F(TerminationTest, BufferedTextGoesOutBeforeTheReport) {
    system().outputKind = platform::FileKind::Pipe;
    WriteLine(WriteText(ConsoleOutput, "held"));
    EXPECT_EQ(fake::RunUntilExit([] { RuntimeFailure(7, 0xABC); }), 7u);
    EXPECT_EQ(system().Output(), "held\r\n" + Report("7", "00000ABC"));
    ASSERT_EQ(system().writes.size(), 3u);
    EXPECT_EQ(system().writes[1].size(), 30u);
    EXPECT_EQ(system().writes[2], "\r\n");
}

TEST_F(TerminationTest, FailureAtLocationZeroIsStillReported) {
    EXPECT_EQ(fake::RunUntilExit([] { RuntimeFailure(9, 0); }), 9u);
    EXPECT_EQ(system().Output(), Report("9", "00000000"));
}

TEST_F(TerminationTest, FaultWhileEndingEndsAtOnceWithItsCode) {
    system().faultAtWrite = 1; // the report's own write faults
    EXPECT_EQ(fake::RunUntilExit([] { RuntimeFailure(7, 0x10); }), 216u);
    EXPECT_EQ(system().writes.size(), 1u) << "no second report, no shutdown writes";
}

TEST_F(TerminationTest, OutputLostAtShutdownIsAFailure) {
    for (std::int32_t stopStatus : {0, 3}) { // a run already failing keeps its status
        SCOPED_TRACE(stopStatus);
        fake::Reset();
        StartRuntime();
        system().outputKind = platform::FileKind::Pipe;
        system().writeFailures = {{1, 28}};
        WriteLine(WriteText(ConsoleOutput, "last words"));
        EXPECT_EQ(fake::RunUntilExit([stopStatus] { StopProgram(stopStatus); }),
                  stopStatus == 0 ? 28u : 3u);
        EXPECT_EQ(system().Output(),
                  "last words\r\n" + (stopStatus == 0 ? Report("28", "00000000") : ""));
    }
}

TEST_F(TerminationTest, ProcessorFaultEndsThroughTheReportWithItsKindsCode) {
    using platform::FaultKind;
    const std::pair<FaultKind, const char*> cases[] = {
        {FaultKind::DivideByZero, "200"},    {FaultKind::Subscript, "201"},
        {FaultKind::StackOverflow, "202"},   {FaultKind::FloatOverflow, "205"},
        {FaultKind::FloatUnderflow, "206"},  {FaultKind::FloatInvalid, "207"},
        {FaultKind::IntegerOverflow, "215"}, {FaultKind::AccessViolation, "216"},
        {FaultKind::ControlBreak, "217"},    {FaultKind::PrivilegedInstruction, "218"},
        {FaultKind::Other, "255"},
    };
    for (const auto& [kind, code] : cases) {
        SCOPED_TRACE(code);
        fake::Reset();
        StartRuntime();
        ASSERT_NE(system().faultHandler, nullptr);
        auto handler = system().faultHandler;
        EXPECT_EQ(fake::RunUntilExit([handler, kind] { handler(kind, 0x12345); }),
                  std::uint32_t(std::stoul(code)));
        EXPECT_EQ(system().Output(), Report(code, "00012345"));
    }
}

TEST_F(TerminationTest, MemoryFailures) {
    struct Case {
        const char* name;
        int failAllocationAt;
        bool refuseRelease;
        std::uint32_t status;
    };
    const Case cases[] = {
        {"allocation fails", 1, false, 203},
        {"release refused", 0, true, 204},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::Reset();
        StartRuntime();
        system().failAllocationAt = c.failAllocationAt;
        system().refuseRelease = c.refuseRelease;
        std::uint32_t status = fake::RunUntilExit([] {
            Text text;
            text.DiscardAndResize(5);
            text.Clear();
        });
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(system().Output().substr(0, 17), "Runtime error " + std::to_string(c.status));
        EXPECT_EQ(system().Output().size(), 32u);
    }
}

} // namespace
