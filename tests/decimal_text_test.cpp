// The strtod reading the browser build uses for numbers in graph files gives what from_chars
// gives on the desktop: the same double to the last bit, the same range errors, the same extent.
#include <gtest/gtest.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "graph/decimal_text.h"
#include "memory/bit_cast.h"

namespace orvo {
namespace {

struct Reading {
    DecimalStatus status;
    uint64_t bits;  // of the value, which starts as a marker that an error must leave alone
};

constexpr double kUntouched = -12345.678;

Reading byFromChars(const std::string& text) {
    double value = kUntouched;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    (void)end;
    DecimalStatus status = DecimalStatus::Ok;
    if (error == std::errc::result_out_of_range) status = DecimalStatus::OutOfRange;
    if (error == std::errc::invalid_argument) status = DecimalStatus::Invalid;
    if (status != DecimalStatus::Ok) value = kUntouched;  // what from_chars leaves is unspecified
    return {status, bitCast<uint64_t>(value)};
}

// Read from a copy without a terminator, followed by what could extend the number (or by the end
// of its allocation, which the sanitizer build watches), after an earlier call's range error:
// the reading stops at the field's end and takes no stale error.
Reading byStrtod(const std::string& text, const char* after) {
    double value = kUntouched;
    const std::string padded = text + after;
    const std::vector<char> field(padded.begin(), padded.end());
    errno = ERANGE;
    const DecimalStatus status =
        parseDecimalByStrtod(field.data(), field.data() + text.size(), value);
    return {status, bitCast<uint64_t>(value)};
}

void expectSameReading(const std::string& text) {
    const Reading expected = byFromChars(text);
    for (const char* after : {"", "9", "e5"}) {
        const Reading actual = byStrtod(text, after);
        EXPECT_EQ(int(actual.status), int(expected.status)) << '"' << text << '"' << after;
        EXPECT_EQ(actual.bits, expected.bits) << '"' << text << '"' << after;
    }
}

TEST(DecimalText, StrtodReadsWhatFromCharsReads) {
    const std::string manyDigits = "1" + std::string(790, '0') + "1e-790";
    const char* const cases[] = {
        // plain numbers and their shapes
        "0", "0.0", "000.000", "0e0", "0e-99999", "1", "12.5", ".5", "5.", "007", "1e3", "1E+3",
        "2.5e-3", "123456789012345678901234567890",
        // an exponent without digits is not part of the number
        "1.5e", "1.5e+", "1.5E-x", "3e.5",
        // nothing to read
        "", ".", "e5", ".e5",
        // a minus is read, a plus or a blank is not; hexadecimal reads as its leading 0
        "-1", "-0", "-2.5e-3", "-1e-400", "-1e309", "-", "+1", " 1", "0x1p3",
        // the edges of the range
        "4.9e-324", "2.4703282292062328e-324", "2.4703282292062327e-324", "1e-320",
        "2.2250738585072011e-308", "2.2250738585072014e-308", "1e-400", "1.7976931348623157e308",
        "1.7976931348623158e308", "1.7976931348623159e308", "1e309", "1e99999999999999999999",
        "0.00000000000000000000000000001e-300",
        // correct rounding, halfway cases to even
        "0.1", "0.3", "9007199254740993", "9007199254740995", "2.2250738585072012e-308",
        "7.2057594037927933e16", "1.00000000000000011102230246251565404236316680908203125",
        "1.00000000000000011102230246251565404236316680908203124", manyDigits.c_str(),
    };
    for (const char* text : cases) expectSameReading(text);
}

TEST(DecimalText, StrtodReadsWhatFromCharsReadsOnPrintedAndRandomDigits) {
    std::mt19937_64 random(20261209);
    char text[400];  // "%.25f" of the largest doubles: the copy goes to the heap
    for (int i = 0; i < 20000; ++i) {
        // Every kind of double, printed shortest-exact and shortened.
        const double value = bitCast<double>(random() & ~(uint64_t{1} << 63));
        if (value != value) continue;  // NaN: not a number a file spells in digits
        for (const char* format : {"%.17g", "%.15g", "%.6g", "%.3e", "%.25f"}) {
            std::snprintf(text, sizeof text, format, value);
            expectSameReading(text);
        }
        // Digit strings with exponents near the range's ends.
        std::string digits = std::to_string(random() % 100000000000000000ull);
        digits.insert(random() % digits.size(), ".");
        digits += "e" + std::to_string(int(random() % 700) - 350);
        expectSameReading(digits);
        if (HasFailure()) return;
    }
}

}  // namespace
}  // namespace orvo
