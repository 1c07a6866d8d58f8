#include "memory/file_excerpts.h"

#include <algorithm>
#include <cstring>

namespace orvo {

std::vector<ByteRange> mergedRanges(std::vector<ByteRange> reads, uint64_t gap) {
    std::erase_if(reads, [](const ByteRange& r) { return r.size == 0; });
    std::sort(reads.begin(), reads.end(),
              [](const ByteRange& a, const ByteRange& b) { return a.offset < b.offset; });
    std::vector<ByteRange> merged;
    for (const ByteRange& r : reads) {
        if (!merged.empty() && r.offset <= merged.back().end() + gap) {
            merged.back().size = std::max(merged.back().end(), r.end()) - merged.back().offset;
            continue;
        }
        merged.push_back(r);
    }
    return merged;
}

bool FileExcerpts::assign(std::vector<ByteRange> ranges, std::vector<unsigned char> bytes,
                          uint64_t fileBytes) {
    ranges_.clear();
    at_.clear();
    bytes_.clear();
    std::vector<uint64_t> at;
    at.reserve(ranges.size());
    uint64_t total = 0, previousEnd = 0;
    for (const ByteRange& r : ranges) {
        const bool apart = at.empty() || r.offset >= previousEnd;
        if (r.size == 0 || !apart || r.offset > fileBytes || r.size > fileBytes - r.offset)
            return false;
        at.push_back(total);
        total += r.size;
        previousEnd = r.end();
    }
    if (total != bytes.size()) return false;
    ranges_ = std::move(ranges);
    at_ = std::move(at);
    bytes_ = std::move(bytes);
    return true;
}

bool FileExcerpts::copy(uint64_t offset, size_t size, unsigned char* to) const {
    // The last range starting at or before the offset is the only one that can hold it.
    const auto after = std::upper_bound(
        ranges_.begin(), ranges_.end(), offset,
        [](uint64_t value, const ByteRange& r) { return value < r.offset; });
    if (after == ranges_.begin()) return false;
    const auto i = static_cast<size_t>(after - ranges_.begin()) - 1;
    const ByteRange& r = ranges_[i];
    if (offset - r.offset > r.size || size > r.size - (offset - r.offset)) return false;
    std::memcpy(to, bytes_.data() + at_[i] + (offset - r.offset), size);
    return true;
}

}  // namespace orvo
