// Fuzzes the integer conversion against a second reading of each text: its
// shape decided first, its value then read in 64 bits without the digit limits.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "runtime/integer.h"

namespace {

struct Reading {
    bool shaped; // blanks, a sign, a prefix and digits only, in that order
    bool hexadecimal;
    bool negative;
    std::string_view digits; // where the digits start: digits.data() - text.data()
};

bool IsDecimal(char c) { return c >= '0' && c <= '9'; }
bool IsHex(char c) { return IsDecimal(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
int Value(char c) { return IsDecimal(c) ? c - '0' : (c | 0x20) - 'a' + 10; }

Reading Read(std::string_view text) {
    Reading reading{false, false, false, {}};
    std::size_t i = text.find_first_not_of(' ');
    if (i == std::string_view::npos) return reading;
    if (text[i] == '+' || text[i] == '-') reading.negative = text[i++] == '-';
    std::string_view rest = text.substr(i);
    for (std::string_view prefix : {"$", "x", "X", "0x", "0X"}) {
        if (rest.substr(0, prefix.size()) == prefix && rest.size() > prefix.size() &&
            IsHex(rest[prefix.size()])) {
            reading.hexadecimal = true;
            rest.remove_prefix(prefix.size());
            break;
        }
    }
    if (rest.empty()) return reading;
    for (char c : rest)
        if (!(reading.hexadecimal ? IsHex(c) : IsDecimal(c))) return reading;
    reading.shaped = true;
    reading.digits = rest;
    return reading;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::int32_t position = -1;
    std::int32_t value = ParseInteger(text, position);
    auto length = static_cast<std::int64_t>(size);
    if (position != 0 && (position < 1 || position > length + 2)) std::abort();

    Reading reading = Read(text);
    if (!reading.shaped) {
        if (position == 0) std::abort(); // only a well-shaped text converts
        return 0;
    }
    // A 64-bit value, pinned once it is beyond anything 32 bits can hold.
    const std::uint64_t base = reading.hexadecimal ? 16 : 10, pinned = 1ull << 40;
    std::uint64_t magnitude = 0;
    for (char c : reading.digits)
        magnitude = magnitude >= pinned ? pinned : magnitude * base + Value(c);

    std::int64_t expected;
    bool fits;
    if (reading.hexadecimal) {
        fits = magnitude <= 0xFFFFFFFFull;
        auto pattern = static_cast<std::uint32_t>(magnitude);
        expected = static_cast<std::int32_t>(reading.negative ? 0u - pattern : pattern);
    } else {
        expected = reading.negative ? -static_cast<std::int64_t>(magnitude)
                                    : static_cast<std::int64_t>(magnitude);
        fits = expected >= INT32_MIN && expected <= INT32_MAX;
    }
    if (fits != (position == 0)) std::abort();
    if (fits && value != expected) std::abort();
    if (!fits) {
        // Out of range: at the first digit that came too late, else at the end.
        const std::uint64_t limit = reading.hexadecimal ? 0x0FFFFFFF : 214748364;
        std::int64_t at = length + 1, start = reading.digits.data() - text.data();
        std::uint64_t so_far = 0;
        for (std::size_t k = 0; k < reading.digits.size(); ++k) {
            if (so_far > limit) {
                at = start + static_cast<std::int64_t>(k) + 1;
                break;
            }
            so_far = so_far * base + Value(reading.digits[k]);
        }
        if (position != at) std::abort();
    }
    return 0;
}
