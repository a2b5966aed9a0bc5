// Linux hands a program its arguments already split. tonerix rebuilds one
// command line from them, so that the splitter reads a Linux line by the same
// rules as a Windows one and users get the same results on both.
#pragma once

#include <cstddef>

namespace platform::linux_system {

void RememberArguments(int argc, char** argv);

// Writes the rebuilt line, zero-terminated, into `out` (which must hold
// CommandLineCapacity bytes) and returns its length: a fixed program name in
// place of argv[0], then the other elements, each after one blank, and each
// one that is empty, or holds a separator and no double quote, wrapped in
// double quotes.
std::size_t CommandLineCapacity(int argc, const char* const* argv);
std::size_t BuildCommandLine(int argc, const char* const* argv, char* out);

} // namespace platform::linux_system
