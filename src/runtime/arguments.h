// Splitting the command line into numbered arguments.
//
// The line is one byte string; separators are the bytes 0x01 to 0x20, double
// quotes group and vanish, a pair of quotes standing alone is no argument, and
// an unclosed quote runs to the end of the line. Every call splits the line
// afresh: nothing is kept between calls.
#pragma once

#include <cstdint>

#include "runtime/text.h"

// Takes one argument off the line at `position` into `argument` (empty when
// none is left) and returns the position just behind it.
const char* NextArgument(const char* position, Text& argument);
// The number of arguments behind the program name, up to the first empty one.
std::int32_t ArgumentCount();
// Argument `index`; index 0 is the executable's path; empty when there is none.
void ArgumentAt(std::int32_t index, Text& argument);
