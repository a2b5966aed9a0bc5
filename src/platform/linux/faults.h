// Processor faults on Linux arrive as signals; this maps them to the
// runtime's fault codes, the same ones a Windows build reports.
#pragma once

#include <cstdint>

namespace platform::linux_system {

struct FaultFacts {
    int signal;
    int code;              // si_code
    bool nearStackPointer; // the faulting address lies at the stack's growing end
    bool privilegedInstruction;
};

std::uint32_t FaultCode(const FaultFacts& facts);

} // namespace platform::linux_system
