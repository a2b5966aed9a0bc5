// Integer conversion: the accepted notations, the error positions, and
// properties over many generated values.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <random>
#include <string>

#include "runtime/integer.h"
#include "unit/table_file.h"

namespace {

struct Conversion {
    std::int32_t value;
    std::int32_t errorPosition;
};

Conversion Convert(const std::string& text) {
    Conversion result{};
    result.value = ParseInteger(text, result.errorPosition);
    return result;
}

TEST(IntegerTest, ConvertsOrNamesTheFailingPosition) {
    // (text, error position, value when it converts)
    for (const TableRow& row : ReadTable("integers.txt")) {
        SCOPED_TRACE("\"" + row[0] + "\"");
        Conversion result = Convert(row[0]);
        EXPECT_EQ(result.errorPosition, std::stoi(row[1]));
        if (result.errorPosition == 0) {
            ASSERT_EQ(row.size(), 3u) << "a text that converts has its value";
            EXPECT_EQ(result.value, std::stoi(row[2]));
        }
    }
}

TEST(IntegerTest, EveryDecimalSpellingConvertsBack) {
    std::mt19937 random(20261207);
    std::uniform_int_distribution<std::int32_t> anyValue(INT32_MIN, INT32_MAX);
    std::uniform_int_distribution<int> few(0, 3);
    const std::int32_t edges[] = {INT32_MIN, INT32_MAX, 0, -1};
    for (int i = 0; i < 20000; ++i) {
        std::int32_t value = i < 4 ? edges[i] : anyValue(random);
        std::int64_t wide = value;
        std::string digits = std::to_string(wide < 0 ? -wide : wide);
        std::string text = std::string(few(random), ' ');
        text += wide < 0 ? "-" : (few(random) == 0 ? "+" : "");
        text += std::string(few(random) * 3, '0') + digits;
        Conversion result = Convert(text);
        ASSERT_EQ(result.errorPosition, 0) << text;
        ASSERT_EQ(result.value, value) << text;
    }
}

TEST(IntegerTest, EveryHexadecimalPatternIsItsTwosComplementValue) {
    std::mt19937 random(7);
    const char* const prefixes[] = {"$", "x", "X", "0x", "0X"};
    const char* const formats[] = {"%" PRIX32, "%" PRIx32, "%08" PRIX32};
    for (int i = 0; i < 20000; ++i) {
        std::uint32_t pattern = i == 0 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(random());
        char digits[16];
        std::snprintf(digits, sizeof digits, formats[i % 3], pattern);
        bool negative = i % 7 == 0;
        std::string text = std::string(negative ? "-" : "") + prefixes[i % 5] + digits;
        std::uint32_t expected = negative ? 0u - pattern : pattern;
        Conversion result = Convert(text);
        ASSERT_EQ(result.errorPosition, 0) << text;
        ASSERT_EQ(static_cast<std::uint32_t>(result.value), expected) << text;
    }
}

TEST(IntegerTest, ArbitraryBytesFailWithinTheText) {
    std::mt19937 random(42);
    const char alphabet[] = " +-$xX0123456789aAfFgG.\t";
    for (int i = 0; i < 50000; ++i) {
        std::string text(random() % 14, ' ');
        for (char& byte : text)
            byte = i % 2 ? alphabet[random() % (sizeof alphabet - 1)] : static_cast<char>(random());
        Conversion result = Convert(text);
        std::int32_t length = static_cast<std::int32_t>(text.size());
        if (result.errorPosition != 0) {
            ASSERT_GE(result.errorPosition, 1) << text;
            ASSERT_LE(result.errorPosition, length + 2) << text;
        }
    }
}

} // namespace
