// Field splitting and number reading for graph file records; every input gives a defined value.
#include "graph/record_fields.h"

#include <cmath>
#include <limits>

#include "graph/decimal_text.h"

namespace orvo {

namespace {

bool isFieldBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }
// What the C library counts as white space before a number.
bool isNumberSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool startsWithNoCase(std::string_view text, std::string_view word) {
    if (text.size() < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != word[i]) return false;
    }
    return true;
}

}  // namespace

size_t RecordFields::nextStart() {
    while (pos_ < line_.size() && isFieldBlank(line_[pos_])) ++pos_;
    return pos_;
}

std::string_view RecordFields::next() {
    const size_t start = nextStart();
    while (pos_ < line_.size() && line_[pos_] != ' ') ++pos_;
    return line_.substr(start, pos_ - start);
}

int32_t readInt(std::string_view field) {
    size_t i = 0;
    while (i < field.size() && isNumberSpace(field[i])) ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
    // Accumulate negatively: the int32 range has one more negative value than positive ones.
    constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
    int64_t value = 0;
    for (; i < field.size() && isDigit(field[i]); ++i) {
        value = value * 10 - (field[i] - '0');
        if (value < kMin) value = kMin - 1;  // saturated; stays below the range
    }
    if (negative) return value < kMin ? static_cast<int32_t>(kMin) : static_cast<int32_t>(value);
    return value < -static_cast<int64_t>(std::numeric_limits<int32_t>::max())
               ? std::numeric_limits<int32_t>::max()
               : static_cast<int32_t>(-value);
}

double readReal(std::string_view field) {
    size_t i = 0;
    while (i < field.size() && isNumberSpace(field[i])) ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
    const std::string_view rest = field.substr(i);
    if (startsWithNoCase(rest, "inf")) {
        return negative ? -std::numeric_limits<double>::infinity()
                        : std::numeric_limits<double>::infinity();
    }
    if (startsWithNoCase(rest, "nan")) return std::numeric_limits<double>::quiet_NaN();

    // Find the extent of the number and where its first significant digit stands relative to
    // the point, to tell overflow from underflow when the conversion reports a range error.
    const size_t start = i;
    int64_t digitsBeforePoint = 0;  // significant digits before the point
    int64_t zerosAfterPoint = 0;    // zeros after the point before the first significant digit
    bool significant = false;
    bool anyDigit = false;
    for (; i < field.size() && isDigit(field[i]); ++i) {
        anyDigit = true;
        if (field[i] != '0') significant = true;
        if (significant) ++digitsBeforePoint;
    }
    if (i < field.size() && field[i] == '.') {
        ++i;
        for (; i < field.size() && isDigit(field[i]); ++i) {
            anyDigit = true;
            if (field[i] != '0') significant = true;
            if (!significant && digitsBeforePoint == 0) ++zerosAfterPoint;
        }
    }
    if (!anyDigit) return 0.0;
    int64_t exponent = 0;
    size_t end = i;
    if (i < field.size() && (field[i] == 'e' || field[i] == 'E')) {
        size_t j = i + 1;
        bool negativeExponent = false;
        if (j < field.size() && (field[j] == '+' || field[j] == '-')) {
            negativeExponent = field[j++] == '-';
        }
        if (j < field.size() && isDigit(field[j])) {
            for (; j < field.size() && isDigit(field[j]); ++j) {
                if (exponent < 1000000) exponent = exponent * 10 + (field[j] - '0');
            }
            if (negativeExponent) exponent = -exponent;
            end = j;
        }
    }
    if (!significant) return negative ? -0.0 : 0.0;

    double value = 0.0;
    const char* first = field.data() + start;
    const char* last = field.data() + end;
    const DecimalStatus status = parseDecimal(first, last, value);
    if (status == DecimalStatus::OutOfRange) {
        // Decimal exponent of the leading significant digit decides overflow or underflow.
        const int64_t magnitude =
            digitsBeforePoint > 0 ? exponent + digitsBeforePoint : exponent - zerosAfterPoint;
        value = magnitude > 0 ? std::numeric_limits<double>::max() : 0.0;
    } else if (status != DecimalStatus::Ok) {
        value = 0.0;
    }
    return negative ? -value : value;
}

}  // namespace orvo
