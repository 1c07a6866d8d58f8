#include "mapfile/first_reads_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "mapfile/map_region.h"
#include "mapfile/section_append.h"

namespace orvo {

namespace {

// Reads at most this far apart are kept as one range: the bytes between cost no more than an entry.
constexpr uint64_t kMergeGap = kFirstRangeBytes;
constexpr uint64_t kLargestPiece = uint64_t{1} << 30;

// A range of the file within one section: the kind, and the offset into the section.
struct SectionRange {
    MapSection kind;
    uint64_t offset, size;
};

// The reads cut at the sections' bounds (and into pieces a u32 can size); what lies between
// sections (their padding) is left out.
std::vector<SectionRange> withinSections(const std::vector<ByteRange>& reads,
                                         const MapLayout& layout) {
    std::vector<SectionEntry> sections = layout.entries;
    std::sort(sections.begin(), sections.end(),
              [](const SectionEntry& a, const SectionEntry& b) { return a.offset < b.offset; });
    std::vector<SectionRange> parts;
    for (const ByteRange& r : reads) {
        for (const SectionEntry& s : sections) {
            const uint64_t end = std::min(r.end(), s.offset + s.size);
            for (uint64_t begin = std::max(r.offset, s.offset); begin < end;) {
                const uint64_t size = std::min(end - begin, kLargestPiece);
                parts.push_back({s.kind, begin - s.offset, size});
                begin += size;
            }
        }
    }
    return parts;
}

}  // namespace

std::string appendFirstReads(std::FILE* out, uint64_t aboveNodes) {
    if (std::fflush(out) != 0) return std::strerror(errno);
    const int fd = ::fileno(out);
    char probe;
    if (!readFileAt(fd, &probe, 1, 0)) return "";  // open for writing only: none
    MapLayout layout;
    if (!readMapLayout(fd, layout)) return "the map cannot be read back";
    if (layout.nodes <= aboveNodes || layout.of(MapSection::FirstReads) != nullptr ||
        layout.of(MapSection::Measures) == nullptr)
        return "";
    std::vector<ByteRange> reads;
    uint32_t home = 0;
    {
        MapRegionSource source;
        if (std::string why = source.openDescriptor(fd); !why.empty())
            return "the map cannot be read back (" + why + ")";
        home = source.homeNode();
        if (std::string why = source.regionReads(home, kFirstRegionNodes,
                                                 kFirstRegionListScanLimit, kMergeGap, reads);
            !why.empty())
            return "its first region cannot be built (" + why + ")";
    }
    const std::vector<SectionRange> parts = withinSections(reads, layout);
    uint64_t held = 0;
    for (const SectionRange& p : parts) held += p.size;
    std::vector<unsigned char> section(kFirstHeadBytes + kFirstRangeBytes * parts.size() + held);
    unsigned char* head = section.data();
    storeLittle<uint64_t>(head + kFirstNodesAt, layout.nodes);
    storeLittle<uint32_t>(head + kFirstFocusAt, home);
    storeLittle<uint32_t>(head + kFirstListLimitAt, kFirstRegionListScanLimit);
    storeLittle<uint64_t>(head + kFirstBudgetAt, kFirstRegionNodes);
    storeLittle<uint64_t>(head + kFirstRangesAt, parts.size());
    unsigned char* entry = head + kFirstHeadBytes;
    unsigned char* bytes = entry + kFirstRangeBytes * parts.size();
    for (const SectionRange& p : parts) {
        storeLittle<uint32_t>(entry, static_cast<uint32_t>(p.kind));
        storeLittle<uint32_t>(entry + 4, static_cast<uint32_t>(p.size));
        storeLittle<uint64_t>(entry + 8, p.offset);
        entry += kFirstRangeBytes;
        if (!readFileAt(fd, bytes, p.size, layout.of(p.kind)->offset + p.offset))
            return "the map cannot be read back";
        bytes += p.size;
    }
    return appendSection(out, layout, MapSection::FirstReads, section);
}

}  // namespace orvo
