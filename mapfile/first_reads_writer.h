// The first reads of a map, recorded from the map itself once it is written: the region the
// viewer builds at once around the home node is built here, and the bytes it reads, scattered
// over the file, are kept side by side in a section of their own, so that the first picture
// needs one read where it needed thousands.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace orvo {

/// Maps of this many nodes or fewer are read whole, not a region at a time: they get no first
/// reads.
inline constexpr uint64_t kFirstReadsAboveNodes = 1000000;

/// Builds the first region of the finished map in `out` (which must be open for reading too; a
/// stream open for writing only keeps its map as it is) and writes the bytes it read as the
/// first reads section, where the section table was, then the table and the header again. Maps
/// of `aboveNodes` nodes or fewer, and maps without measures (which give no regions), are kept
/// as they are. "" or why not.
std::string appendFirstReads(std::FILE* out, uint64_t aboveNodes = kFirstReadsAboveNodes);

}  // namespace orvo
