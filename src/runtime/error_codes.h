// The runtime error codes, in one place for the runtime and the tests. A
// failed system call adds the system's own codes to these.
#pragma once

#include <cstdint>

namespace error_code {

inline constexpr std::uint32_t kClosedNotOpen = 103;    // a channel closed while not open
inline constexpr std::uint32_t kNotOpenForOutput = 105; // standard output missing or closed
inline constexpr std::uint32_t kOutOfMemory = 203;
inline constexpr std::uint32_t kReleaseRefused = 204; // the memory manager refused a release

// Processor faults.
inline constexpr std::uint32_t kDivideByZero = 200;
inline constexpr std::uint32_t kSubscript = 201;
inline constexpr std::uint32_t kStackOverflow = 202;
inline constexpr std::uint32_t kFloatOverflow = 205;
inline constexpr std::uint32_t kFloatUnderflow = 206;
inline constexpr std::uint32_t kFloatInvalid = 207;
inline constexpr std::uint32_t kIntegerOverflow = 215;
inline constexpr std::uint32_t kAccessViolation = 216;
inline constexpr std::uint32_t kControlC = 217;
inline constexpr std::uint32_t kPrivileged = 218;
inline constexpr std::uint32_t kOtherFault = 255;

// A failure whose code has 0 in its low 8 bits: the run must still not end with 0.
inline constexpr std::uint32_t kFailureWithoutCode = 255;

} // namespace error_code
