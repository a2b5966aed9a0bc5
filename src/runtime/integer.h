// Reading an argument text as a signed 32-bit integer.
//
// Decimal, or hexadecimal behind "$", "x", "X", "0x" or "0X"; leading blanks
// and one sign allowed; nothing else. The error position is 0 on success,
// otherwise the 1-based place where reading failed.
#pragma once

#include <cstdint>
#include <string_view>

std::int32_t ParseInteger(std::string_view text, std::int32_t& errorPosition);
