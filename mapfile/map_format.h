// The map file: a graph laid out once and stored in fixed-width little-endian records, so that
// opening it needs neither the outline's text nor the layout's sizing. docs/file-formats.md
// ("The map file") describes every byte.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace orvo {

static_assert(std::endian::native == std::endian::little,
              "the map's records are read and written in place as little-endian numbers");

/// The first eight bytes: a byte above 127 first, so that no text file starts so, and a line
/// feed, so that a transfer that rewrites line ends shows.
constexpr unsigned char kMapMagic[8] = {0x89, 'O', 'R', 'V', 'M', 'A', 'P', '\n'};
constexpr uint32_t kMapVersion = 1;
constexpr uint32_t kMapHeaderBytes = 64;
constexpr uint32_t kMapSectionEntryBytes = 32;
/// Sections start at multiples of this.
constexpr uint64_t kMapAlignment = 8;
/// A section flag: a reader that does not know the section's kind must not open the map.
constexpr uint32_t kMapSectionRequired = 1;
/// No parent (the root), in the node records.
constexpr uint32_t kMapNoNode = 0xffffffffu;

enum class MapSection : uint32_t {
    Meta = 1,        // counts, top and start node, home view, layout spacing, read statistics
    Nodes = 2,       // per node: parent, level, group set, radius
    IdOffsets = 3,   // per node, and one more: where its id starts in IdText
    IdText = 4,      // the ids' bytes, back to back
    Children = 5,    // every node's children in order, the parents in node order
    Links = 6,       // per link: from, to, extra
    OutLinks = 7,    // every node's non-tree links out, in order, the nodes in node order
    InLinks = 8,     // every node's non-tree links in, likewise
    GroupNames = 9,  // the group names in interned order
    GroupSets = 10,  // the group sets in interned order
    Labels = 11,     // per labelled node: node, length, offset into LabelText
    LabelText = 12,  // the labels' bytes
    Measures = 13,   // every node's depth, links in and out, subtree size and link score
    NodeStarts = 14,  // per node, and one more: where its children and links start, its tree link
    GroupSetCounts = 15,  // per group set: how many nodes have it
    NameIndex = 16,       // the nodes by their own id segment, label and label words, hashed
    FirstReads = 17,      // copies of the bytes the first region around the home node reads
};
constexpr uint32_t kMapSectionKinds = 17;
/// A map may lack these; they are written without kMapSectionRequired, so that a reader older
/// than they are opens the map without them. The node starts and group set counts only spare a
/// reader of a part of the map a pass over all of it, the name index a search, and the first
/// reads the scattered reads of the first picture.
constexpr bool mapSectionIsOptional(MapSection kind) {
    return kind == MapSection::Measures || kind == MapSection::NodeStarts ||
           kind == MapSection::GroupSetCounts || kind == MapSection::NameIndex ||
           kind == MapSection::FirstReads;
}

// The header's fields, by offset.
constexpr size_t kHeaderVersionAt = 8;     // u32
constexpr size_t kHeaderSizeAt = 12;       // u32, kMapHeaderBytes
constexpr size_t kHeaderFileBytesAt = 16;  // u64, the whole file
constexpr size_t kHeaderTableAt = 24;      // u64, offset of the section table
constexpr size_t kHeaderSectionsAt = 32;   // u32, entries in the table
constexpr size_t kHeaderTableSumAt = 40;   // u64, XXH3-64 of the table
constexpr size_t kHeaderSumAt = 48;        // u64, XXH3-64 of bytes 0..47
// Bytes 36..39 and 56..63 are zero.

/// The Meta section's fields, by offset; it is kMetaBytes long.
constexpr size_t kMetaNodesAt = 0;           // u64
constexpr size_t kMetaLinksAt = 8;           // u64
constexpr size_t kMetaTopAt = 16;            // i32, -1: none
constexpr size_t kMetaStartAt = 20;          // u32, the node the layout started from
constexpr size_t kMetaChildSpacingAt = 24;   // f64
constexpr size_t kMetaHomeAt = 32;           // 16 x f64, row-major as the outline writes it
constexpr size_t kMetaLinesAt = 160;         // u64
constexpr size_t kMetaSkippedLinesAt = 168;  // u64
constexpr size_t kMetaHoldsNulAt = 176;      // u8, then 3 zero bytes
constexpr size_t kMetaLoadFlagsAt = 180;     // i32, the reader's load flags it was read with
constexpr size_t kMetaBytes = 184;

/// The Measures section: these fields, then the measures as columns of every node's values in
/// node order: i32 depths (-1 outside the root's tree), i32 links in, i32 links out, i32 subtree
/// sizes, f64 link scores. It is kMeasuresHeadBytes + kMeasuresNodeBytes x nodes long.
constexpr size_t kMeasuresNodesAt = 0;   // u64, as in the meta section
constexpr size_t kMeasuresRoundsAt = 8;  // i32, the link score's rounds, then 4 zero bytes
constexpr size_t kMeasuresHeadBytes = 16;
constexpr size_t kMeasuresNodeBytes = 24;

/// The node starts section: N + 1 records of four u32, the last one closing the ranges.
constexpr size_t kStartChildAt = 0;    // where the node's children start in Children
constexpr size_t kStartTreeLinkAt = 4;  // the node's tree link (kMapNoNode: the root, the last)
constexpr size_t kStartOutAt = 8;      // where its links out start in OutLinks
constexpr size_t kStartInAt = 12;      // where its links in start in InLinks
constexpr size_t kStartRecordBytes = 16;

/// The name index: these fields, then the segment table's bucket starts (buckets + 1 u32, entry
/// indices), the label table's likewise, the segment entries, the label entries. An entry of
/// either table is 8 bytes, the node first; a key's hash picks its bucket by its low bits.
constexpr size_t kNamesNodesAt = 0;           // u64, as in the meta section
constexpr size_t kNamesSegmentBucketsAt = 8;  // u32, a power of two
constexpr size_t kNamesLabelBucketsAt = 12;   // u32, a power of two
constexpr size_t kNamesSegmentEntriesAt = 16;  // u64, one per node
constexpr size_t kNamesLabelEntriesAt = 24;   // u64
constexpr size_t kNamesHeadBytes = 32;
constexpr size_t kNamesEntryBytes = 8;
// A segment entry: u32 node, u16 the key hash's top 16 bits, u16 those of the path part's hash.
// A label entry: u32 node, u32 the key hash's top 32 bits.

/// The first reads: these fields, then the ranges (each a u32 section kind, a u32 size, a u64
/// offset into the section; in increasing order of the file's offsets, none overlapping), then
/// their bytes end to end. The fields name the region they were read for; any region may use
/// the bytes.
constexpr size_t kFirstNodesAt = 0;       // u64, as in the meta section
constexpr size_t kFirstFocusAt = 8;       // u32, the node the region was built around
constexpr size_t kFirstListLimitAt = 12;  // u32, the longest list of links it read
constexpr size_t kFirstBudgetAt = 16;     // u64, about how many nodes it holds
constexpr size_t kFirstRangesAt = 24;     // u64, how many ranges follow
constexpr size_t kFirstHeadBytes = 32;
constexpr size_t kFirstRangeBytes = 16;

constexpr size_t kNodeRecordBytes = 20;   // u32 parent, i32 level, u32 group set, f64 radius
constexpr size_t kLinkRecordBytes = 12;   // u32 from, u32 to, i32 extra
constexpr size_t kLabelRecordBytes = 16;  // u32 node, u32 length, u64 offset

template <typename T>
T loadLittle(const unsigned char* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

template <typename T>
void storeLittle(unsigned char* at, T value) {
    std::memcpy(at, &value, sizeof value);
}

}  // namespace orvo
