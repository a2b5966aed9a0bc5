// Which kind of fault each Linux fault signal reports, as its Windows exception would.
#include <gtest/gtest.h>

#include <csignal>

#include "platform/linux/faults.h"

namespace {

using platform::FaultKind;
using platform::linux_system::FaultFacts;
using platform::linux_system::FaultKindOf;

TEST(FaultCodeTest, SignalsMapLikeTheirWindowsExceptions) {
    struct Case {
        FaultFacts facts;
        FaultKind kind;
    };
    const Case cases[] = {
        {{SIGSEGV, SEGV_MAPERR, false, false}, FaultKind::AccessViolation},
        {{SIGSEGV, SEGV_ACCERR, true, false}, FaultKind::StackOverflow},
        {{SIGBUS, BUS_ADRERR, false, false}, FaultKind::AccessViolation},
        {{SIGSEGV, SI_KERNEL, false, true}, FaultKind::PrivilegedInstruction},
        {{SIGILL, ILL_PRVOPC, false, false}, FaultKind::PrivilegedInstruction},
        {{SIGILL, ILL_ILLOPN, false, false}, FaultKind::Other},
        {{SIGFPE, FPE_INTDIV, false, false}, FaultKind::DivideByZero},
        {{SIGFPE, FPE_FLTDIV, false, false}, FaultKind::DivideByZero},
        {{SIGFPE, FPE_INTOVF, false, false}, FaultKind::IntegerOverflow},
        {{SIGFPE, FPE_FLTOVF, false, false}, FaultKind::FloatOverflow},
        {{SIGFPE, FPE_FLTUND, false, false}, FaultKind::FloatUnderflow},
        {{SIGFPE, FPE_FLTRES, false, false}, FaultKind::FloatInvalid},
        {{SIGFPE, FPE_FLTINV, false, false}, FaultKind::FloatInvalid},
        {{SIGFPE, FPE_FLTSUB, false, false}, FaultKind::Subscript},
        {{SIGFPE, 0, false, false}, FaultKind::Other},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.facts.signal << "/" << c.facts.code);
        EXPECT_EQ(FaultKindOf(c.facts), c.kind);
    }
}

} // namespace
