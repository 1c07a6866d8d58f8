// What reading a stream met, so that a file that is plainly no graph file (a binary, a listing)
// is not silently taken for one: the reader's result stays the same, callers ask first.
#pragma once

#include <cstdint>
#include <string>

namespace orvo {

/// How many lines of two bytes or more were read, how many of them were skipped as no record,
/// and whether the stream held a zero byte.
struct ReadStats {
    uint64_t lines = 0;
    uint64_t skippedLines = 0;
    bool holdsNul = false;
    /// The read stopped when the memory left ran below what the rest of the open needs, after
    /// that many bytes of the stream; the graph is then left empty.
    bool outOfMemory = false;
    uint64_t bytesReadBeforeStop = 0;
    uint64_t memoryLeftAtStop = 0;

    /// Zero bytes, or more than half of the lines skipped.
    bool looksLikeNoGraph() const { return holdsNul || skippedLines * 2 > lines; }
};

/// "ls does not look like a graph file: 9 981 of 10 000 lines were skipped" (or "it holds zero
/// bytes"), for a file named `name`; empty when the file looks like a graph file.
std::string noGraphWarning(const std::string& name, const ReadStats& stats);

/// "there is not enough memory for it: 410 MiB were left after 3.2 GiB of it were read" when the
/// read stopped for want of memory, else "".
std::string outOfMemoryReason(const ReadStats& stats);

/// A count with its thousands apart: 12345 -> "12 345".
std::string groupedNumber(long long value);

}  // namespace orvo
