// A platform that records every call and fails on request, for what no real
// system shows on demand: a failure on the 4th write, memory running out.
#pragma once

#include <csetjmp>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace fake {

struct Platform {
    // Standard output.
    platform::Handle outputHandle = 11;
    std::uint32_t standardHandleError = 0; // nonzero: GetStdHandle fails with it
    platform::FileKind outputKind = platform::FileKind::Pipe;
    std::map<int, std::uint32_t> writeFailures; // 1-based write number -> error code
    int faultAtWrite = 0;            // 1-based write number during which a processor fault arrives
    std::vector<std::string> writes; // every write attempted, in order
    std::vector<platform::Handle> closedHandles;
    std::uint32_t lastError = 0;

    // Command line.
    std::string commandLine = "tonerix.exe";
    std::string modulePath = "C:\\tools\\tonerix.exe";
    int commandLineFetches = 0;

    // Memory.
    int failAllocationAt = 0; // 1-based allocation number that fails; 0: none
    int allocations = 0;
    bool refuseRelease = false;
    std::set<void*> liveBlocks;

    // Tone and faults.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> beeps;
    platform::FaultHandler faultHandler = nullptr;

    // The run's end: ExitProcess records the status and jumps back to the
    // caller of RunUntilExit. A jump, not an exception, because the runtime is
    // built without exceptions and the optimiser may assume none pass through it.
    std::uint32_t exitStatus = 0;
    std::jmp_buf* exitPoint = nullptr;

    std::string Output() const; // all written bytes joined
};

Platform& State();
// A fresh platform; frees whatever the last run left allocated.
void Reset();

// Runs `body` (which must end the process) and returns the exit status.
// Objects the body had on its stack are not destroyed; Reset frees their memory.
template <typename Body> std::uint32_t RunUntilExit(Body body) {
    std::jmp_buf here;
    State().exitPoint = &here;
    if (setjmp(here) == 0) {
        body();
        State().exitPoint = nullptr;
        return 0xDEADBEEF; // the body returned: never a valid status
    }
    State().exitPoint = nullptr;
    return State().exitStatus;
}

// Runs the whole program on `commandLine` and returns its exit status.
inline std::uint32_t RunProgram(const std::string& commandLine) {
    State().commandLine = commandLine;
    return RunUntilExit([] { ProgramEntry(); });
}

} // namespace fake
