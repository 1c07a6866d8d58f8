// Reading a whole input file into memory.
#pragma once

#include <istream>
#include <string>

namespace orvo {

/// The rest of the stream as one string. When the stream can tell its size (a regular file) the
/// string gets its room at once, so that a large file is not copied again and again as it grows.
/// A read error leaves the stream's badbit set. The string has room for `padding` bytes more
/// than it holds (for parsers that read past the end).
std::string readRest(std::istream& in, size_t padding = 0);

}  // namespace orvo
