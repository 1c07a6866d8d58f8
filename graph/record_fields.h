// Splitting one line of a graph file into fields, and reading integer and real fields. Fields are
// preceded by runs of spaces, tabs and line feeds and end at the next space or the line's end.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace orvo {

class RecordFields {
public:
    explicit RecordFields(std::string_view line) : line_(line) {}

    /// The next field, or an empty view when the line holds no more.
    std::string_view next();
    /// Where the next field would start once its leading blanks are skipped.
    size_t nextStart();
    size_t lineLength() const { return line_.size(); }

private:
    std::string_view line_;
    size_t pos_ = 0;
};

/// Decimal integer: leading white space, optional sign, digits up to the first other character;
/// 0 without digits. Values beyond the int32 range saturate.
int32_t readInt(std::string_view field);

/// Decimal real: optional sign, digits with an optional point, optional exponent; the rest of the
/// field is ignored; 0.0 without digits. Magnitudes beyond the double range saturate to the
/// largest finite double. "inf", "infinity" and "nan" (any case) read as infinity and NaN so that
/// callers can refuse them.
double readReal(std::string_view field);

}  // namespace orvo
