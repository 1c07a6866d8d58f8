// Byte ranges of a file kept as a copy apart from it. A file whose first reads are known (a map's
// first region reads a few bytes from each of thousands of places) can carry those bytes side by
// side, read in one piece; the reads they cover are then served from the copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvo {

struct ByteRange {
    uint64_t offset = 0;
    uint64_t size = 0;
    uint64_t end() const { return offset + size; }
    bool operator==(const ByteRange&) const = default;
};

/// The fewest ranges in increasing order, apart, that hold every read (in any order, overlapping
/// or not), ranges at most `gap` bytes apart taken as one.
std::vector<ByteRange> mergedRanges(std::vector<ByteRange> reads, uint64_t gap = 0);

class FileExcerpts {
public:
    /// Takes the ranges, each within a file of `fileBytes`, and their bytes end to end; false
    /// (and nothing held) unless they are in increasing order, none overlapping another, and
    /// their sizes add up to the bytes'.
    bool assign(std::vector<ByteRange> ranges, std::vector<unsigned char> bytes,
                uint64_t fileBytes);
    /// Copies the file's `size` bytes at `offset` into `to` when one range holds them all.
    bool copy(uint64_t offset, size_t size, unsigned char* to) const;
    bool empty() const { return ranges_.empty(); }
    size_t ranges() const { return ranges_.size(); }

private:
    std::vector<ByteRange> ranges_;
    std::vector<uint64_t> at_;  // where each range's bytes start in bytes_
    std::vector<unsigned char> bytes_;
};

}  // namespace orvo
