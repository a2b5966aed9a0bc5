// Start-up, the runtime's one way out, and the rule that a failed output
// step ends the run. The platform ends the process itself in two places
// only: before the runtime starts (privileges that cannot be dropped), and
// for a stop signal during a tone, which ends it by that signal, as a shell
// expects.
//
// Every run ends in the common end: the runtime error report when a failure
// was recorded, then the shutdown that writes out and closes the console
// channel, then the process exit with the exit status. Output lost in that
// shutdown is a failure too: it is reported after it, and the run ends with
// its code.
#pragma once

#include <cstdint>

inline constexpr std::uint32_t kReportLength = 30; // 29 characters and a zero byte

// Console channel closed, exit status 0, fault handler in place.
void StartRuntime();

[[noreturn]] void StopProgram(std::int32_t status);
[[noreturn]] void RuntimeFailure(std::uint32_t code, std::uint32_t location);
// A runtime failure at `returnAddress`, the place just after the call that
// failed: call it with __builtin_return_address(0) from a noinline function.
[[noreturn]] void FailHere(std::uint32_t code, const void* returnAddress);
// The natural end of the command: the exit status stays as it is.
[[noreturn]] void EndProgram();
// Ends the run with a runtime failure when a console channel step has failed
// (its pending I/O result), reported at the place just after the call.
void CheckOutput();

// Fills `report` with "Runtime error CCC at LLLLLLLL" and its zero byte.
void BuildReport(std::uint32_t code, std::uint32_t location, char (&report)[kReportLength]);
