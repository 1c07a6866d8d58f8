// Byte-wise ASCII text helpers of the importers: the same whatever the process's locale, and
// bytes outside ASCII (UTF-8 sequences) pass unchanged.
#pragma once

#include <string>
#include <string_view>

namespace orvo {

/// 'A'..'Z' to 'a'..'z'; every other byte as it is.
constexpr char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

/// The text with asciiLower applied to every byte.
std::string asciiLowered(std::string_view s);

/// Whether s starts with prefix, ASCII letters compared without case.
bool startsWithNoCase(std::string_view s, std::string_view prefix);

/// The text without the ASCII blanks (space, tab, line feed, vertical tab, form feed, carriage
/// return) at either end.
std::string_view trimAscii(std::string_view s);

}  // namespace orvo
