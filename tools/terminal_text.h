// Text for a person's terminal: an id or a file name may hold any byte, and control bytes
// written raw would move the cursor, change colours or retitle the window.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace orvo {

/// The text with every control byte (below 0x20, and 0x7F) written as \xNN and every
/// backslash doubled, so that the escaped text reads back unambiguously. Other bytes, UTF-8
/// included, stay as they are; with keepLineEnds, so do line feeds (for text of many lines).
std::string escapeControlBytes(std::string_view text, bool keepLineEnds = false);

/// Whether the stream goes to a terminal.
bool isTerminal(std::FILE* stream);

}  // namespace orvo
