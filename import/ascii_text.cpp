#include "import/ascii_text.h"

namespace orvo {

namespace {

constexpr bool isAsciiBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::string asciiLowered(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = asciiLower(c);
    return out;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (asciiLower(s[i]) != asciiLower(prefix[i])) return false;
    return true;
}

std::string_view trimAscii(std::string_view s) {
    while (!s.empty() && isAsciiBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isAsciiBlank(s.back())) s.remove_suffix(1);
    return s;
}

}  // namespace orvo
