// The common end: error report, shutdown of the channels, process exit.
#include "runtime/termination.h"

#include <cstring>

#include "platform/platform.h"
#include "runtime/console.h"
#include "runtime/error_codes.h"

namespace {

std::int32_t exitStatus = 0;
std::uint32_t failureLocation = 0;
bool failureRecorded = false;
bool ending = false;

constexpr char kTemplate[kReportLength] = "Runtime error     at 00000000";
constexpr char kHexDigits[] = "0123456789ABCDEF";

void WriteReport() {
    // Bytes the program handed over before the failure come first.
    FlushChannel(ConsoleOutput);
    char report[kReportLength];
    BuildReport(static_cast<std::uint32_t>(exitStatus), failureLocation, report);
    // The report is written once and unchecked: if standard output is gone, so is it.
    platform::Write(platform::StandardOutput(), report, kReportLength);
    platform::Write(platform::StandardOutput(), "\r\n", 2);
}

// The exit status a failure's code ends the run with: its low 8 bits, which
// are all a Linux parent sees, or kFailureWithoutCode when those are 0, so
// that a failure never ends with the status of success.
std::uint32_t FailureStatus(std::uint32_t code) {
    code &= 0xFF;
    return code != 0 ? code : error_code::kFailureWithoutCode;
}

void RecordFailure(std::uint32_t code, std::uint32_t location) {
    failureLocation = location;
    failureRecorded = true;
    exitStatus = static_cast<std::int32_t>(FailureStatus(code));
}

[[noreturn]] void CommonEnd() {
    // A fault while ending must not start the end over again.
    if (ending) platform::ExitProcess(static_cast<std::uint32_t>(exitStatus));
    ending = true;
    if (failureRecorded) WriteReport();
    std::uint32_t lostOutput = CloseChannel(ConsoleOutput);
    // Output that never reached its file makes the run a failure, not a success.
    if (lostOutput != 0 && exitStatus == 0) {
        RecordFailure(lostOutput, 0);
        WriteReport();
    }
    platform::ExitProcess(static_cast<std::uint32_t>(exitStatus));
}

// Which runtime code each kind of processor fault ends the run with.
struct FaultCodeEntry {
    platform::FaultKind kind;
    std::uint32_t code;
};
constexpr FaultCodeEntry kFaultCodes[] = {
    {platform::FaultKind::DivideByZero, error_code::kDivideByZero},
    {platform::FaultKind::Subscript, error_code::kSubscript},
    {platform::FaultKind::StackOverflow, error_code::kStackOverflow},
    {platform::FaultKind::FloatOverflow, error_code::kFloatOverflow},
    {platform::FaultKind::FloatUnderflow, error_code::kFloatUnderflow},
    {platform::FaultKind::FloatInvalid, error_code::kFloatInvalid},
    {platform::FaultKind::IntegerOverflow, error_code::kIntegerOverflow},
    {platform::FaultKind::AccessViolation, error_code::kAccessViolation},
    {platform::FaultKind::ControlBreak, error_code::kControlC},
    {platform::FaultKind::PrivilegedInstruction, error_code::kPrivileged},
};

// A processor fault, on whichever thread, ends the program like any runtime failure.
void OnFault(platform::FaultKind kind, std::uint32_t location) {
    std::uint32_t code = error_code::kOtherFault;
    for (const FaultCodeEntry& entry : kFaultCodes)
        if (entry.kind == kind) code = entry.code;
    RuntimeFailure(code, location);
}

} // namespace

void BuildReport(std::uint32_t code, std::uint32_t location, char (&report)[kReportLength]) {
    std::memcpy(report, kTemplate, kReportLength);
    int place = 16; // character 17, counted from 1
    do {
        report[place--] = static_cast<char>('0' + code % 10);
        code /= 10;
    } while (code != 0 && place >= 13);
    place = 28; // character 29
    do {
        report[place--] = kHexDigits[location & 0xF];
        location >>= 4;
    } while (location != 0);
}

void StartRuntime() {
    exitStatus = 0;
    failureLocation = 0;
    failureRecorded = false;
    ending = false;
    ResetChannels();
    platform::InstallFaultHandler(OnFault);
}

void StopProgram(std::int32_t status) {
    exitStatus = status;
    CommonEnd();
}

void RuntimeFailure(std::uint32_t code, std::uint32_t location) {
    RecordFailure(code, location);
    CommonEnd();
}

void FailHere(std::uint32_t code, const void* returnAddress) {
    RuntimeFailure(code, platform::CodeLocation(returnAddress));
}

void EndProgram() { CommonEnd(); }

// noinline so that the return address is the place just after the caller's call.
__attribute__((noinline)) void CheckOutput() {
    if (std::uint32_t failure = PendingIoResult(); failure != 0)
        FailHere(failure, __builtin_return_address(0));
}
