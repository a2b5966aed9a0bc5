// Processor faults of the main thread on 32-bit Windows, caught by a
// structured-exception frame that the entry registers.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace platform::windows_system {

struct FaultRegistration {
    FaultRegistration* next;
    void* handler;
};

// Links `registration` (which must stay alive for the whole run) into the
// thread's exception chain.
void RegisterFaultFrame(FaultRegistration& registration);

// The kind of fault a Windows exception code reports.
FaultKind FaultKindOf(std::uint32_t exceptionCode);

} // namespace platform::windows_system
