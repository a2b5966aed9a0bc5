// Which runtime code each kind of Linux fault signal becomes.
#include <gtest/gtest.h>

#include <csignal>

#include "platform/linux/faults.h"

namespace {

using platform::linux_system::FaultCode;
using platform::linux_system::FaultFacts;

TEST(FaultCodeTest, SignalsMapLikeTheirWindowsExceptions) {
    struct Case {
        FaultFacts facts;
        std::uint32_t code;
    };
    const Case cases[] = {
        {{SIGSEGV, SEGV_MAPERR, false, false}, 216},
        {{SIGSEGV, SEGV_ACCERR, true, false}, 202},
        {{SIGBUS, BUS_ADRERR, false, false}, 216},
        {{SIGSEGV, SI_KERNEL, false, true}, 218},
        {{SIGILL, ILL_PRVOPC, false, false}, 218},
        {{SIGILL, ILL_ILLOPN, false, false}, 255},
        {{SIGFPE, FPE_INTDIV, false, false}, 200},
        {{SIGFPE, FPE_FLTDIV, false, false}, 200},
        {{SIGFPE, FPE_INTOVF, false, false}, 215},
        {{SIGFPE, FPE_FLTOVF, false, false}, 205},
        {{SIGFPE, FPE_FLTUND, false, false}, 206},
        {{SIGFPE, FPE_FLTRES, false, false}, 207},
        {{SIGFPE, FPE_FLTINV, false, false}, 207},
        {{SIGFPE, FPE_FLTSUB, false, false}, 201},
        {{SIGFPE, 0, false, false}, 255},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.facts.signal << "/" << c.facts.code);
        EXPECT_EQ(FaultCode(c.facts), c.code);
    }
}

} // namespace
