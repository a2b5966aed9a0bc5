// Structured-exception handling for processor faults. A fault is first offered
// to the system's UnhandledExceptionFilter; only when that lets the program
// handle it does the runtime end the run with its error report.
#include "platform/windows/faults.h"

#include <windows.h>

#include "platform/platform.h"

namespace platform::windows_system {
namespace {

FaultHandler faultHandler = nullptr;

struct KindEntry {
    DWORD exception;
    FaultKind kind;
};
constexpr KindEntry kKinds[] = {
    {EXCEPTION_ACCESS_VIOLATION, FaultKind::AccessViolation},
    {EXCEPTION_ARRAY_BOUNDS_EXCEEDED, FaultKind::Subscript},
    {EXCEPTION_FLT_DENORMAL_OPERAND, FaultKind::FloatUnderflow},
    {EXCEPTION_FLT_DIVIDE_BY_ZERO, FaultKind::DivideByZero},
    {EXCEPTION_FLT_INEXACT_RESULT, FaultKind::FloatInvalid},
    {EXCEPTION_FLT_INVALID_OPERATION, FaultKind::FloatInvalid},
    {EXCEPTION_FLT_OVERFLOW, FaultKind::FloatOverflow},
    {EXCEPTION_FLT_STACK_CHECK, FaultKind::FloatInvalid},
    {EXCEPTION_FLT_UNDERFLOW, FaultKind::FloatUnderflow},
    {EXCEPTION_INT_DIVIDE_BY_ZERO, FaultKind::DivideByZero},
    {EXCEPTION_INT_OVERFLOW, FaultKind::IntegerOverflow},
    {EXCEPTION_PRIV_INSTRUCTION, FaultKind::PrivilegedInstruction},
    {EXCEPTION_STACK_OVERFLOW, FaultKind::StackOverflow},
    {STATUS_CONTROL_C_EXIT, FaultKind::ControlBreak},
};
constexpr DWORD kUnwinding = 0x2 | 0x4; // unwinding, exit unwind

// Without a top-level filter the system (or Wine) would start a debugger
// that writes a crash dump; with this one it lets the program handle the fault.
LONG WINAPI LetProgramHandle(EXCEPTION_POINTERS*) { return EXCEPTION_EXECUTE_HANDLER; }

extern "C" EXCEPTION_DISPOSITION __cdecl OnException(EXCEPTION_RECORD* record, void*,
                                                     CONTEXT* context, void*) {
    if ((record->ExceptionFlags & kUnwinding) != 0 || faultHandler == nullptr)
        return ExceptionContinueSearch;
    EXCEPTION_POINTERS pointers{record, context};
    // 0 is the system's verdict to let the fault pass, as when a debugger is attached.
    if (UnhandledExceptionFilter(&pointers) == 0) return ExceptionContinueSearch;
    faultHandler(FaultKindOf(record->ExceptionCode), CodeLocation(record->ExceptionAddress));
    return ExceptionContinueSearch;
}

} // namespace

void RegisterFaultFrame(FaultRegistration& registration) {
    registration.handler = reinterpret_cast<void*>(&OnException);
    __asm__ volatile("movl %%fs:0, %0" : "=r"(registration.next));
    __asm__ volatile("movl %0, %%fs:0" : : "r"(&registration) : "memory");
}

FaultKind FaultKindOf(std::uint32_t exceptionCode) {
    for (const KindEntry& entry : kKinds)
        if (entry.exception == exceptionCode) return entry.kind;
    return FaultKind::Other;
}

} // namespace platform::windows_system

namespace platform {

void InstallFaultHandler(FaultHandler handler) {
    windows_system::faultHandler = handler;
    SetUnhandledExceptionFilter(windows_system::LetProgramHandle);
}

// Windows programs load at their fixed base: the address is shown as it is.
std::uint32_t CodeLocation(const void* address) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(address));
}

} // namespace platform
