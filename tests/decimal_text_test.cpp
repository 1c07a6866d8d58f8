// The strtod reading the browser build uses for numbers in graph files gives what from_chars
// gives on the desktop: the same double to the last bit, the same range errors, the same extent.
#include "graph/decimal_text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "memory/bit_cast.h"
#include "tests/graph_test_support.h"

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

// Each text of tests/data/decimal_texts.txt: what it reads as (status and the value's bits), the
// same by strtod, whatever follows the field, as by from_chars.
TEST(DecimalText, StrtodReadsWhatFromCharsReads) {
    const auto shown = [](const Reading& r) {
        char bits[24];
        std::snprintf(bits, sizeof bits, " %016llx", static_cast<unsigned long long>(r.bits));
        const char* status[] = {"ok", "out of range", "invalid"};
        return status[int(r.status)] + std::string(bits);
    };
    EXPECT_TRUE(testing::answersMatch("decimal_texts.txt", [&](const std::string& text) {
        const std::string expected = shown(byFromChars(text));
        for (const char* after : {"", "9", "e5"}) {
            const std::string actual = shown(byStrtod(text, after));
            if (actual != expected) return actual + " followed by " + after + ", not " + expected;
        }
        return expected;
    }));
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
