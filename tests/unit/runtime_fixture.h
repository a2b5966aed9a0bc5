// Shared set-up for tests that drive the runtime over the fake platform.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "fake/fake_platform.h"
#include "runtime/termination.h"

class RuntimeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::Reset();
        StartRuntime();
    }
    void TearDown() override { fake::Reset(); }
    fake::Platform& system() { return fake::State(); }
};

// The help screen as users see it, every line ended by CR LF.
inline const std::string kHelpScreen =
    "\r\n"
    "Tonerix  (c) 2026 the tonerix developers\r\n"
    "tonerix.exe           =  ohne Parameter 1000Hz 1000msec.\r\n"
    "tonerix.exe 1000 5000 =  1000Hz 5000msec.\r\n"
    "tonerix.exe help      =  diese Hilfe\r\n"
    "tonerix.exe /?        =  diese Hilfe\r\n"
    "\r\n";

// "Runtime error CCC at LLLLLLLL", its zero byte and CR LF.
inline std::string Report(const std::string& code, const std::string& location) {
    std::string report =
        "Runtime error " + std::string(3 - code.size(), ' ') + code + " at " + location;
    report.push_back('\0');
    return report + "\r\n";
}
