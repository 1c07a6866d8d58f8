// Reading a whole input file into memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <string_view>

namespace orvo {

class InputFile;

/// The rest of the stream as one string. When the stream can tell its size (a regular file) the
/// string gets its room at once, so that a large file is not copied again and again as it grows.
/// A read error leaves the stream's badbit set. The string has room for `padding` bytes more
/// than it holds (for parsers that read past the end).
std::string readRest(std::istream& in, size_t padding = 0);

/// The rest of the input file as one string, with room made at once for what the file says it
/// holds (a compressed one too): a large file is not copied again and again as it grows.
std::string readRest(InputFile& input, size_t padding = 0);

/// The 1-based line of the text that holds the byte at `offset` (an offset past the end counts
/// as the end); 0 for a negative offset (a parser that could not say where).
uint64_t lineAt(const std::string& text, ptrdiff_t offset);

/// An XML element or attribute name without its namespace prefix ("g:node" is "node").
inline std::string_view localName(std::string_view name) {
    if (const size_t colon = name.find(':'); colon != std::string_view::npos)
        name.remove_prefix(colon + 1);
    return name;
}

}  // namespace orvo
