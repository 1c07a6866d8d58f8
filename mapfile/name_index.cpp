#include "mapfile/name_index.h"

#include <algorithm>

#include "graph/graph.h"
#include "mapfile/map_format.h"
#include "mapfile/name_keys.h"

namespace orvo {

namespace {

bool isPowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

}  // namespace

std::string NameIndex::open(const unsigned char* data, uint64_t size, uint64_t nodes) {
    *this = NameIndex();
    if (size < kNamesHeadBytes) return "it is shorter than its head";
    const auto count = loadLittle<uint64_t>(data + kNamesNodesAt);
    const auto segmentBuckets = loadLittle<uint32_t>(data + kNamesSegmentBucketsAt);
    const auto labelBuckets = loadLittle<uint32_t>(data + kNamesLabelBucketsAt);
    const auto segmentEntries = loadLittle<uint64_t>(data + kNamesSegmentEntriesAt);
    const auto labelEntries = loadLittle<uint64_t>(data + kNamesLabelEntriesAt);
    if (count != nodes || segmentEntries != nodes) return "its node count is not the map's";
    if (!isPowerOfTwo(segmentBuckets) || !isPowerOfTwo(labelBuckets))
        return "its bucket counts are no powers of two";
    const uint64_t room = size - kNamesHeadBytes;
    const uint64_t startBytes = 4 * (uint64_t{segmentBuckets} + labelBuckets + 2);
    // Counted in entries, so that no count from the file can overflow the sum.
    if (startBytes > room || (room - startBytes) % kNamesEntryBytes != 0)
        return "its size is not what its counts give";
    const uint64_t entryRoom = (room - startBytes) / kNamesEntryBytes;
    if (segmentEntries > entryRoom || labelEntries != entryRoom - segmentEntries)
        return "its size is not what its counts give";
    segments_.starts = data + kNamesHeadBytes;
    segments_.buckets = segmentBuckets;
    labels_.starts = segments_.starts + 4 * (uint64_t{segmentBuckets} + 1);
    labels_.buckets = labelBuckets;
    segments_.entries = data + kNamesHeadBytes + startBytes;
    segments_.entryCount = segmentEntries;
    labels_.entries = segments_.entries + kNamesEntryBytes * segmentEntries;
    labels_.entryCount = labelEntries;
    data_ = data;
    size_ = size;
    nodes_ = nodes;
    return "";
}

bool NameIndex::Table::bucketOf(uint64_t hash, uint64_t& first, uint64_t& end) const {
    const uint64_t bucket = hash & (buckets - 1);
    first = loadLittle<uint32_t>(starts + 4 * bucket);
    end = loadLittle<uint32_t>(starts + 4 * (bucket + 1));
    return first <= end && end <= entryCount;
}

void NameIndex::candidates(std::string_view q, std::vector<uint32_t>& nodes) const {
    nodes.clear();
    if (!isOpen()) return;
    std::vector<std::string_view> probes;
    segmentProbes(q, probes);
    // A query that is an id or a path part names the path part of the nodes it equals.
    const uint16_t asPath = pathCheckOf(q), asId = pathCheckOf(pathLabelOf(q));
    uint64_t first, end;
    for (const std::string_view key : probes) {
        const uint64_t hash = nameHash(key);
        const bool anyPath = isSegmentOrShortForm(q, key);
        if (!segments_.bucketOf(hash, first, end)) continue;
        for (uint64_t e = first; e < end; ++e) {
            const unsigned char* entry = segments_.entries + kNamesEntryBytes * e;
            const auto node = loadLittle<uint32_t>(entry);
            if (node >= nodes_ || loadLittle<uint16_t>(entry + 4) != uint16_t(hash >> 48))
                continue;
            const auto path = loadLittle<uint16_t>(entry + 6);
            if (anyPath || path == asPath || path == asId) nodes.push_back(node);
        }
    }
    const uint64_t hash = nameHash(q);
    if (labels_.bucketOf(hash, first, end)) {
        for (uint64_t e = first; e < end; ++e) {
            const unsigned char* entry = labels_.entries + kNamesEntryBytes * e;
            const auto node = loadLittle<uint32_t>(entry);
            if (node < nodes_ && loadLittle<uint32_t>(entry + 4) == uint32_t(hash >> 32))
                nodes.push_back(node);
        }
    }
    std::sort(nodes.begin(), nodes.end());
    nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
}

}  // namespace orvo
