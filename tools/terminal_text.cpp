// Escaping control bytes for a terminal.
#include "tools/terminal_text.h"

#include <unistd.h>

namespace orvo {

std::string escapeControlBytes(std::string_view text, bool keepLineEnds) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\\') {
            out += "\\\\";
        } else if ((byte < 0x20 && !(keepLineEnds && byte == '\n')) || byte == 0x7F) {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

bool isTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) == 1; }

}  // namespace orvo
