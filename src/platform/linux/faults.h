// Processor faults on Linux arrive as signals; this tells their kind, as a
// Windows build tells it from the exception.
#pragma once

#include "platform/platform.h"

namespace platform::linux_system {

struct FaultFacts {
    int signal;
    int code;              // si_code
    bool nearStackPointer; // the faulting address lies at the stack's growing end
    bool privilegedInstruction;
};

FaultKind FaultKindOf(const FaultFacts& facts);

} // namespace platform::linux_system
