#include "graph/decimal_text.h"

#include <locale.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace orvo {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// How much of [first, last) a number of the accepted form spans; 0 when none starts there. The
// copy handed to strtod holds this much and no more, so that strtod neither reads past the
// field nor takes forms from_chars refuses (a plus sign, blanks, hexadecimal, "inf").
size_t numberLength(const char* first, const char* last) {
    const char* p = first;
    if (p < last && *p == '-') ++p;
    bool anyDigit = false;
    while (p < last && isDigit(*p)) ++p, anyDigit = true;
    if (p < last && *p == '.') {
        ++p;
        while (p < last && isDigit(*p)) ++p, anyDigit = true;
    }
    if (!anyDigit) return 0;
    if (p < last && (*p == 'e' || *p == 'E')) {
        const char* q = p + 1;
        if (q < last && (*q == '+' || *q == '-')) ++q;
        if (q < last && isDigit(*q)) {
            while (q < last && isDigit(*q)) ++q;
            p = q;
        }
    }
    return size_t(p - first);
}

locale_t cLocale() {
    // Made once and kept: a locale object is only read, and the "C" locale never changes.
    static const locale_t locale = newlocale(LC_NUMERIC_MASK, "C", locale_t(0));
    return locale;
}

}  // namespace

DecimalStatus parseDecimalByStrtod(const char* first, const char* last, double& value) {
    const size_t length = numberLength(first, last);
    if (length == 0) return DecimalStatus::Invalid;
    // Numbers in graph files are short; a long one goes to the heap.
    char shortCopy[128];
    std::string longCopy;
    char* text = shortCopy;
    if (length < sizeof shortCopy) {
        std::memcpy(shortCopy, first, length);
        shortCopy[length] = '\0';
    } else {
        longCopy.assign(first, length);
        text = longCopy.data();
    }
    const int savedErrno = errno;
    errno = 0;
    // Without a locale object (no memory for one) the process's locale must do; it is "C"
    // unless the program changed it.
    const locale_t locale = cLocale();
    const double result = locale != locale_t(0) ? strtod_l(text, nullptr, locale)
                                                : std::strtod(text, nullptr);
    const bool rangeError = errno == ERANGE;
    errno = savedErrno;
    // strtod also reports ERANGE for a subnormal result, which from_chars returns as it is.
    if (std::isinf(result) || (result == 0.0 && rangeError)) return DecimalStatus::OutOfRange;
    value = result;
    return DecimalStatus::Ok;
}

DecimalStatus parseDecimal(const char* first, const char* last, double& value) {
#if defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L
    const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
    (void)end;
    if (error == std::errc::result_out_of_range) return DecimalStatus::OutOfRange;
    return error == std::errc() ? DecimalStatus::Ok : DecimalStatus::Invalid;
#else
    return parseDecimalByStrtod(first, last, value);
#endif
}

}  // namespace orvo
