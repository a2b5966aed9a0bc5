// Start-up and the single way out of the program.
//
// Every run ends in the common end: the runtime error report when a failure
// was recorded, then the shutdown that writes out and closes the standard
// channels, then the process exit with the exit status.
#pragma once

#include <cstdint>

inline constexpr std::uint32_t kReportLength = 30; // 29 characters and a zero byte

// Selects the console form of the error report; the entry calls it first.
void MarkConsoleProgram();
// Standard channels closed, exit status 0, fault handler in place.
void StartRuntime();

[[noreturn]] void StopProgram(std::int32_t status);
[[noreturn]] void RuntimeFailure(std::uint32_t code, std::uint32_t location);
// The natural end of the command: the exit status stays as it is.
[[noreturn]] void EndProgram();

// Fills `report` with "Runtime error CCC at LLLLLLLL" and its zero byte.
void BuildReport(std::uint32_t code, std::uint32_t location, char (&report)[kReportLength]);
