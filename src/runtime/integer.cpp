// Strict integer conversion: one pass, no allocation, no read past the end.
#include "runtime/integer.h"

namespace {

constexpr std::uint32_t kDecimalDigitLimit = 214748364; // 2147483647 / 10
constexpr std::uint32_t kHexDigitLimit = 0x0FFFFFFF;

int HexValue(char byte) {
    if (byte >= '0' && byte <= '9') return byte - '0';
    if (byte >= 'A' && byte <= 'F') return byte - 'A' + 10;
    if (byte >= 'a' && byte <= 'f') return byte - 'a' + 10;
    return -1;
}

// Positions are 1-based: byte i of the text is position i + 1.
std::int32_t Position(std::size_t index) { return static_cast<std::int32_t>(index + 1); }

} // namespace

std::int32_t ParseInteger(std::string_view text, std::int32_t& errorPosition) {
    const std::size_t length = text.size();
    errorPosition = 0;
    if (length == 0) {
        errorPosition = 1;
        return 0;
    }
    std::size_t i = 0;
    while (i < length && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < length && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }

    bool hexadecimal = false;
    if (i < length && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hexadecimal = true;
        i += 1;
    } else if (i + 1 < length && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hexadecimal = true;
        i += 2;
    }

    std::uint32_t magnitude = 0;
    if (hexadecimal) {
        // A bare prefix fails two beyond the end, unlike every other failure there.
        if (i == length) {
            errorPosition = Position(length + 1);
            return 0;
        }
        for (; i < length; ++i) {
            int digit = HexValue(text[i]);
            if (digit < 0 || magnitude > kHexDigitLimit) {
                errorPosition = Position(i);
                return 0;
            }
            magnitude = magnitude * 16 + static_cast<std::uint32_t>(digit);
        }
        // The digits are a bit pattern; a minus negates it modulo 2^32.
        if (negative) magnitude = 0u - magnitude;
        return static_cast<std::int32_t>(magnitude);
    }

    if (i == length) {
        errorPosition = Position(length);
        return 0;
    }
    for (; i < length; ++i) {
        char byte = text[i];
        if (byte < '0' || byte > '9' || magnitude > kDecimalDigitLimit) {
            errorPosition = Position(i);
            return 0;
        }
        magnitude = magnitude * 10 + static_cast<std::uint32_t>(byte - '0');
    }
    const std::uint32_t largest = negative ? 2147483648u : 2147483647u;
    if (magnitude > largest) {
        errorPosition = Position(length);
        return 0;
    }
    return negative ? static_cast<std::int32_t>(0u - magnitude)
                    : static_cast<std::int32_t>(magnitude);
}
