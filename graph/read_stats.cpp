// The warning about a file that does not look like a graph file.
#include "graph/read_stats.h"

#include "memory/memory_room.h"

namespace orvo {

std::string groupedNumber(long long value) {
    const unsigned long long magnitude =
        value < 0 ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    const std::string digits = std::to_string(magnitude);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ' ';
        out += digits[i];
    }
    return value < 0 ? "-" + out : out;
}

std::string noGraphWarning(const std::string& name, const ReadStats& stats) {
    if (!stats.looksLikeNoGraph()) return "";
    const std::string start = name + " does not look like a graph file: ";
    if (stats.holdsNul) return start + "it holds NUL bytes, as binary files do";
    return start + groupedNumber(static_cast<long long>(stats.skippedLines)) + " of " +
           groupedNumber(static_cast<long long>(stats.lines)) + " lines were skipped";
}

std::string outOfMemoryReason(const ReadStats& stats) {
    if (!stats.outOfMemory) return "";
    return "there is not enough memory for it: " + memorySizeText(stats.memoryLeftAtStop) +
           " were left after " + memorySizeText(stats.bytesReadBeforeStop) + " of it were read";
}

}  // namespace orvo
