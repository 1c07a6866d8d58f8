// Decimal text to the nearest double, as std::from_chars reads it in its general format. The
// browser build's standard library has no from_chars for floating point: there the C library's
// strtod (correctly rounded too) reads a bounded copy of the text, and its range errors are
// reported the way from_chars reports them.
#pragma once

namespace orvo {

enum class DecimalStatus {
    Ok,          // value holds the nearest double (subnormals included)
    OutOfRange,  // the nearest double is infinite, or zero although a digit is not; value unchanged
    Invalid,     // no number at first; value unchanged
};

/// Reads the longest number at the start of [first, last): an optional minus, digits with an
/// optional point and exponent; no plus sign, no white space. "inf" and "nan" are the caller's to handle before (the two
/// readings differ on them).
DecimalStatus parseDecimal(const char* first, const char* last, double& value);

/// The reading through strtod under the "C" locale, whatever the build has; parseDecimal uses
/// it where from_chars is missing.
DecimalStatus parseDecimalByStrtod(const char* first, const char* last, double& value);

}  // namespace orvo
