// Structured-exception handling for processor faults. A fault is first offered
// to the system's UnhandledExceptionFilter; only when that lets the program
// handle it does the runtime end the run with its error report.
#include "platform/windows/faults.h"

#include <windows.h>

#include "platform/platform.h"
#include "runtime/error_codes.h"

namespace platform::windows_system {
namespace {

FaultHandler faultHandler = nullptr;

struct CodeEntry {
    DWORD exception;
    std::uint32_t code;
};
using namespace error_code;
constexpr CodeEntry kCodes[] = {
    {EXCEPTION_ACCESS_VIOLATION, kAccessViolation},
    {EXCEPTION_ARRAY_BOUNDS_EXCEEDED, kSubscript},
    {EXCEPTION_FLT_DENORMAL_OPERAND, kFloatUnderflow},
    {EXCEPTION_FLT_DIVIDE_BY_ZERO, kDivideByZero},
    {EXCEPTION_FLT_INEXACT_RESULT, kFloatInvalid},
    {EXCEPTION_FLT_INVALID_OPERATION, kFloatInvalid},
    {EXCEPTION_FLT_OVERFLOW, kFloatOverflow},
    {EXCEPTION_FLT_STACK_CHECK, kFloatInvalid},
    {EXCEPTION_FLT_UNDERFLOW, kFloatUnderflow},
    {EXCEPTION_INT_DIVIDE_BY_ZERO, kDivideByZero},
    {EXCEPTION_INT_OVERFLOW, kIntegerOverflow},
    {EXCEPTION_PRIV_INSTRUCTION, kPrivileged},
    {EXCEPTION_STACK_OVERFLOW, kStackOverflow},
    {STATUS_CONTROL_C_EXIT, kControlC},
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
    faultHandler(FaultCode(record->ExceptionCode), CodeLocation(record->ExceptionAddress));
    return ExceptionContinueSearch;
}

} // namespace

void RegisterFaultFrame(FaultRegistration& registration) {
    registration.handler = reinterpret_cast<void*>(&OnException);
    __asm__ volatile("movl %%fs:0, %0" : "=r"(registration.next));
    __asm__ volatile("movl %0, %%fs:0" : : "r"(&registration) : "memory");
}

std::uint32_t FaultCode(std::uint32_t exceptionCode) {
    for (const CodeEntry& entry : kCodes)
        if (entry.exception == exceptionCode) return entry.code;
    return kOtherFault;
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
