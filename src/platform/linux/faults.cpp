// Catching processor faults on Linux. The handlers run on their own stack so
// that a stack overflow is caught too, and the runtime's report is written
// with async-signal-safe calls only.
#include "platform/linux/faults.h"

#include <csignal>
#include <ucontext.h>

#include "platform/platform.h"

extern "C" char __executable_start; // the program's load base, set by the linker

namespace platform::linux_system {
namespace {

constexpr std::uintptr_t kStackOverflowReach = 64 * 1024;

FaultHandler faultHandler = nullptr;
FaultStack mainThreadStack;

// x86 instructions that user code may not run; Linux reports them as SIGSEGV.
bool IsPrivilegedInstruction(const unsigned char* pc) {
    // hlt, cli, sti, and in/out through an immediate port or dx.
    constexpr unsigned char kOneByte[] = {0xF4, 0xFA, 0xFB, 0xE4, 0xE5, 0xE6,
                                          0xE7, 0xEC, 0xED, 0xEE, 0xEF};
    // After 0x0F: clts, invd, wbinvd, moves to and from control and debug registers, wrmsr, rdmsr.
    constexpr unsigned char kTwoByte[] = {0x06, 0x08, 0x09, 0x20, 0x21, 0x22, 0x23, 0x30, 0x32};
    auto contains = [](const auto& table, unsigned char byte) {
        for (unsigned char entry : table)
            if (entry == byte) return true;
        return false;
    };
    return pc[0] == 0x0F ? contains(kTwoByte, pc[1]) : contains(kOneByte, pc[0]);
}

void OnFaultSignal(int signal, siginfo_t* info, void* context) {
    auto* machine = &static_cast<ucontext_t*>(context)->uc_mcontext;
#if defined(__x86_64__)
    auto pc = static_cast<std::uintptr_t>(machine->gregs[REG_RIP]);
    auto sp = static_cast<std::uintptr_t>(machine->gregs[REG_RSP]);
#elif defined(__i386__)
    auto pc = static_cast<std::uintptr_t>(machine->gregs[REG_EIP]);
    auto sp = static_cast<std::uintptr_t>(machine->gregs[REG_ESP]);
#elif defined(__aarch64__)
    auto pc = static_cast<std::uintptr_t>(machine->pc);
    auto sp = static_cast<std::uintptr_t>(machine->sp);
#else
    (void)machine;
    auto pc = reinterpret_cast<std::uintptr_t>(info->si_addr);
    std::uintptr_t sp = 0;
#endif
    auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    FaultFacts facts{signal, info->si_code,
                     sp != 0 && address <= sp + 256 && address + kStackOverflowReach >= sp,
                     signal == SIGSEGV && info->si_code == SI_KERNEL &&
                         IsPrivilegedInstruction(reinterpret_cast<const unsigned char*>(pc))};
    faultHandler(FaultKindOf(facts), CodeLocation(reinterpret_cast<const void*>(pc)));
}

} // namespace

FaultKind FaultKindOf(const FaultFacts& facts) {
    switch (facts.signal) {
    case SIGSEGV:
        if (facts.privilegedInstruction) return FaultKind::PrivilegedInstruction;
        [[fallthrough]];
    case SIGBUS:
        return facts.nearStackPointer ? FaultKind::StackOverflow : FaultKind::AccessViolation;
    case SIGILL:
        return facts.code == ILL_PRVOPC || facts.code == ILL_PRVREG
                   ? FaultKind::PrivilegedInstruction
                   : FaultKind::Other;
    case SIGFPE:
        switch (facts.code) {
        case FPE_INTDIV:
        case FPE_FLTDIV:
            return FaultKind::DivideByZero;
        case FPE_INTOVF:
            return FaultKind::IntegerOverflow;
        case FPE_FLTOVF:
            return FaultKind::FloatOverflow;
        case FPE_FLTUND:
            return FaultKind::FloatUnderflow;
        case FPE_FLTRES:
        case FPE_FLTINV:
            return FaultKind::FloatInvalid;
        case FPE_FLTSUB:
            return FaultKind::Subscript;
        }
        return FaultKind::Other;
    }
    return FaultKind::Other;
}

void FaultStack::Use() {
    stack_t stack{};
    stack.ss_sp = bytes;
    stack.ss_size = sizeof bytes;
    sigaltstack(&stack, nullptr);
}

void FaultStack::Leave() {
    stack_t stack{};
    stack.ss_flags = SS_DISABLE;
    sigaltstack(&stack, nullptr);
}

} // namespace platform::linux_system

namespace platform {

void InstallFaultHandler(FaultHandler handler) {
    using namespace linux_system;
    faultHandler = handler;
    mainThreadStack.Use();

    // Other signals wait while the runtime ends inside the handler, but a
    // second fault there must reach the handler again (which then exits at
    // once): a blocked fault signal would kill the process with no report.
    struct sigaction action {};
    action.sa_sigaction = OnFaultSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigfillset(&action.sa_mask);
    for (int signal : kFaultSignals)
        sigdelset(&action.sa_mask, signal);
    for (int signal : kFaultSignals)
        sigaction(signal, &action, nullptr);
}

// Programs load at a random base, so the report shows the offset from it:
// `addr2line -e tonerix 0xOFFSET` then names the line.
std::uint32_t CodeLocation(const void* address) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(address) -
                                      reinterpret_cast<std::uintptr_t>(&__executable_start));
}

} // namespace platform
