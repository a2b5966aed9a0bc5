// Processor faults on Linux arrive as signals; this tells their kind, as a
// Windows build tells it from the exception.
#pragma once

#include <csignal>
#include <cstddef>

#include "platform/platform.h"

namespace platform::linux_system {

// The signals a processor fault arrives as. They stay unblocked on every
// thread, so that a fault anywhere reaches the fault handler. A stack
// overflow reaches it only on a thread with a FaultStack (the main thread and
// the workers): the sound libraries' own threads have none.
inline constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS};

// A thread's own stack for the fault handler, so that a stack overflow is
// caught too: Use installs it on the calling thread, Leave takes it back.
struct FaultStack {
    alignas(16) char bytes[64 * 1024];
    void Use();
    void Leave();
};

struct FaultFacts {
    int signal;
    int code;              // si_code
    bool nearStackPointer; // the faulting address lies at the stack's growing end
    bool privilegedInstruction;
};

FaultKind FaultKindOf(const FaultFacts& facts);

} // namespace platform::linux_system
