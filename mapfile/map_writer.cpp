// The map writer: the sections in the order of their kinds, each with its checksum, then the
// section table, then the header that points at it. Nothing is held whole in memory but the
// small sections: a node's records go out as they are made.
#include "mapfile/map_writer.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "graph/graph.h"
#include "graph/node_measures.h"
#include "mapfile/map_format.h"
#include "memory/atomic_file.h"
#include "settings/viewer_settings.h"

namespace orvo {

namespace {

struct SectionEntry {
    MapSection kind;
    uint64_t offset = 0, size = 0, checksum = 0;
};

// Appends bytes to the file through a buffer, keeping the checksum of the current section. The
// checksum takes the section's bytes a buffer at a time, not a number at a time: most records
// are a few bytes each, and a checksum's update costs more than the bytes it is given. Once
// writing failed or was stopped, nothing more is written.
class SectionSink {
public:
    SectionSink(std::FILE* out, const std::atomic<bool>* stop) : out_(out), stop_(stop) {
        buffer_.reserve(kBufferBytes);
    }

    void begin(MapSection kind) {
        while (at_ % kMapAlignment != 0) raw("\0", 1);
        current_ = {kind, at_, 0, 0};
        XXH3_64bits_reset(&state_);
    }
    void end() {
        hashPending();
        current_.size = at_ - current_.offset;
        current_.checksum = XXH3_64bits_digest(&state_);
        entries_.push_back(current_);
    }
    /// Bytes of the current section.
    void put(const void* data, size_t size) {
        append(data, size);
        if (buffer_.size() >= kBufferBytes) flush();
    }
    template <typename T>
    void number(T value) {
        unsigned char bytes[sizeof value];
        storeLittle(bytes, value);
        put(bytes, sizeof bytes);
    }
    /// Bytes outside every section (the header, the table, the padding between sections).
    void raw(const void* data, size_t size) {
        hashPending();
        append(data, size);
        hashedUpTo_ = buffer_.size();
        if (buffer_.size() >= kBufferBytes) flush();
    }
    bool flush() {
        hashPending();
        if (stop_ != nullptr && stop_->load(std::memory_order_relaxed)) stopped_ = failed_ = true;
        if (!failed_ && !buffer_.empty() &&
            std::fwrite(buffer_.data(), 1, buffer_.size(), out_) != buffer_.size())
            failed_ = true;
        buffer_.clear();
        hashedUpTo_ = 0;
        return !failed_;
    }
    uint64_t at() const { return at_; }
    bool failed() const { return failed_; }
    bool stopped() const { return stopped_; }
    const std::vector<SectionEntry>& entries() const { return entries_; }

private:
    void append(const void* data, size_t size) {
        if (failed_) return;
        const auto* bytes = static_cast<const char*>(data);
        buffer_.insert(buffer_.end(), bytes, bytes + size);
        at_ += size;
    }
    // The section's bytes in the buffer that the checksum has not taken yet.
    void hashPending() {
        if (buffer_.size() > hashedUpTo_)
            XXH3_64bits_update(&state_, buffer_.data() + hashedUpTo_, buffer_.size() - hashedUpTo_);
        hashedUpTo_ = buffer_.size();
    }

    static constexpr size_t kBufferBytes = 1 << 20;
    std::FILE* out_;
    const std::atomic<bool>* stop_;
    std::vector<char> buffer_;
    size_t hashedUpTo_ = 0;  // buffer_[0, hashedUpTo_) is in the checksum or outside sections
    uint64_t at_ = 0;
    bool failed_ = false;
    bool stopped_ = false;
    XXH3_state_t state_;
    SectionEntry current_{};
    std::vector<SectionEntry> entries_;
};

uint32_t indexOf(const Node* n) { return n ? static_cast<uint32_t>(n->index) : kMapNoNode; }

void writeMeta(SectionSink& sink, const Graph& graph, const Node& start,
               const ViewerSettings& settings) {
    unsigned char meta[kMetaBytes] = {};
    storeLittle<uint64_t>(meta + kMetaNodesAt, graph.nodes.size());
    storeLittle<uint64_t>(meta + kMetaLinksAt, graph.links.size());
    storeLittle<int32_t>(meta + kMetaTopAt, graph.topNodeIndex());
    storeLittle<uint32_t>(meta + kMetaStartAt, indexOf(&start));
    storeLittle<double>(meta + kMetaChildSpacingAt, settings.childSpacing);
    const ProjTransform home = graph.homeTransform();
    for (size_t i = 0; i < 16; ++i) storeLittle<double>(meta + kMetaHomeAt + 8 * i, home.m[i]);
    storeLittle<uint64_t>(meta + kMetaLinesAt, graph.readStats.lines);
    storeLittle<uint64_t>(meta + kMetaSkippedLinesAt, graph.readStats.skippedLines);
    meta[kMetaHoldsNulAt] = graph.readStats.holdsNul ? 1 : 0;
    storeLittle<int32_t>(meta + kMetaLoadFlagsAt, settings.loadFlags);
    sink.put(meta, sizeof meta);
}

void writeGroups(SectionSink& sink, const GroupNames& names) {
    sink.begin(MapSection::GroupNames);
    sink.number<uint32_t>(static_cast<uint32_t>(names.nameCount()));
    for (size_t i = 0; i < names.nameCount(); ++i) {
        const std::string_view name = names.name(static_cast<GroupNameId>(i));
        sink.number<uint32_t>(static_cast<uint32_t>(name.size()));
        sink.put(name.data(), name.size());
    }
    sink.end();
    sink.begin(MapSection::GroupSets);
    sink.number<uint32_t>(static_cast<uint32_t>(names.setCount()));
    for (size_t i = 0; i < names.setCount(); ++i) {
        const GroupSetView set = names.set(static_cast<GroupSetId>(i));
        sink.number<uint32_t>(static_cast<uint32_t>(set.size()));
        for (GroupNameId id : set) sink.number<uint32_t>(id);
    }
    sink.end();
}

void writeLabels(SectionSink& sink, const Graph& graph) {
    sink.begin(MapSection::Labels);
    uint64_t offset = 0;
    if (graph.hasLabels()) {
        for (const Node* n : graph.nodes) {
            const std::string_view label = graph.labelOf(*n);
            if (label.empty()) continue;
            sink.number<uint32_t>(indexOf(n));
            sink.number<uint32_t>(static_cast<uint32_t>(label.size()));
            sink.number<uint64_t>(offset);
            offset += label.size();
        }
    }
    sink.end();
    sink.begin(MapSection::LabelText);
    if (graph.hasLabels()) {
        for (const Node* n : graph.nodes) {
            const std::string_view label = graph.labelOf(*n);
            sink.put(label.data(), label.size());
        }
    }
    sink.end();
}

// The columns go out as they lie in memory (the map's numbers are little-endian, as this
// machine's are: see map_format.h), a buffer's worth at a time.
template <typename T>
void putColumn(SectionSink& sink, const std::vector<T>& column) {
    constexpr size_t kPiece = (size_t{1} << 16) / sizeof(T);
    for (size_t at = 0; at < column.size(); at += kPiece)
        sink.put(column.data() + at, std::min(kPiece, column.size() - at) * sizeof(T));
}

void writeMeasures(SectionSink& sink, const NodeMeasures& measures) {
    sink.begin(MapSection::Measures);
    unsigned char head[kMeasuresHeadBytes] = {};
    storeLittle<uint64_t>(head + kMeasuresNodesAt, measures.size());
    storeLittle<int32_t>(head + kMeasuresRoundsAt, measures.scoreRounds);
    sink.put(head, sizeof head);
    putColumn(sink, measures.depth);
    putColumn(sink, measures.linksIn);
    putColumn(sink, measures.linksOut);
    putColumn(sink, measures.subtree);
    putColumn(sink, measures.score);
    sink.end();
}

// Where each node's children and non-tree links start in their sections, and its tree link:
// what a reader of a part of the map would otherwise work out from every node and link.
void writeNodeStarts(SectionSink& sink, const Graph& graph) {
    sink.begin(MapSection::NodeStarts);
    uint32_t child = 0, out = 0, in = 0;
    const auto put = [&](uint32_t treeLink) {
        unsigned char record[kStartRecordBytes];
        storeLittle<uint32_t>(record + kStartChildAt, child);
        storeLittle<uint32_t>(record + kStartTreeLinkAt, treeLink);
        storeLittle<uint32_t>(record + kStartOutAt, out);
        storeLittle<uint32_t>(record + kStartInAt, in);
        sink.put(record, sizeof record);
    };
    for (const Node* n : graph.nodes) {
        put(n->parentLink != nullptr ? static_cast<uint32_t>(n->parentLink->index) : kMapNoNode);
        child += static_cast<uint32_t>(n->children.size());
        out += static_cast<uint32_t>(n->outLinks.size());
        in += static_cast<uint32_t>(n->inLinks.size());
    }
    put(kMapNoNode);
    sink.end();
}

void writeGroupSetCounts(SectionSink& sink, const Graph& graph) {
    std::vector<uint64_t> counts(graph.groupNames().setCount(), 0);
    for (const Node* n : graph.nodes) ++counts[n->groups];
    sink.begin(MapSection::GroupSetCounts);
    putColumn(sink, counts);
    sink.end();
}

void writeSections(SectionSink& sink, const Graph& graph, const Node& start,
                   const ViewerSettings& settings, const NodeMeasures* measures) {
    sink.begin(MapSection::Meta);
    writeMeta(sink, graph, start, settings);
    sink.end();

    sink.begin(MapSection::Nodes);
    for (const Node* n : graph.nodes) {
        unsigned char record[kNodeRecordBytes];
        storeLittle<uint32_t>(record, indexOf(n->parent));
        storeLittle<int32_t>(record + 4, n->level);
        storeLittle<uint32_t>(record + 8, n->groups);
        storeLittle<double>(record + 12, n->radius);
        sink.put(record, sizeof record);
    }
    sink.end();

    sink.begin(MapSection::IdOffsets);
    uint64_t offset = 0;
    sink.number<uint64_t>(offset);
    for (const Node* n : graph.nodes) sink.number<uint64_t>(offset += n->id.size());
    sink.end();
    sink.begin(MapSection::IdText);
    for (const Node* n : graph.nodes) sink.put(n->id.data(), n->id.size());
    sink.end();

    sink.begin(MapSection::Children);
    for (const Node* n : graph.nodes)
        for (const Node* k : n->children) sink.number<uint32_t>(indexOf(k));
    sink.end();

    sink.begin(MapSection::Links);
    for (const Link* l : graph.links) {
        unsigned char record[kLinkRecordBytes];
        storeLittle<uint32_t>(record, indexOf(l->fromNode));
        storeLittle<uint32_t>(record + 4, indexOf(l->toNode));
        storeLittle<int32_t>(record + 8, l->extra);
        sink.put(record, sizeof record);
    }
    sink.end();
    sink.begin(MapSection::OutLinks);
    for (const Node* n : graph.nodes)
        for (const Link* l : n->outLinks) sink.number<uint32_t>(static_cast<uint32_t>(l->index));
    sink.end();
    sink.begin(MapSection::InLinks);
    for (const Node* n : graph.nodes)
        for (const Link* l : n->inLinks) sink.number<uint32_t>(static_cast<uint32_t>(l->index));
    sink.end();

    writeGroups(sink, graph.groupNames());
    writeLabels(sink, graph);
    if (measures != nullptr && !measures->empty() && measures->size() == graph.nodes.size())
        writeMeasures(sink, *measures);
    writeNodeStarts(sink, graph);
    writeGroupSetCounts(sink, graph);
}

}  // namespace

const Node* layoutStartOf(const Graph& graph) {
    for (const Node* n : graph.nodes)
        if (n->placementKind == LocalPlacement::Identity) return n;
    return graph.root;
}

std::string writeMap(const Graph& graph, const Node& start, const ViewerSettings& settings,
                     std::FILE* out, const NodeMeasures* measures,
                     const std::atomic<bool>* stop) {
    if (graph.nodes.empty()) return "the graph holds no node";
    if (graph.nodes.size() >= kMapNoNode || graph.links.size() >= kMapNoNode)
        return "the graph has too many nodes or links for a map";
    SectionSink sink(out, stop);
    unsigned char header[kMapHeaderBytes] = {};
    sink.raw(header, sizeof header);  // written again, filled in, at the end
    writeSections(sink, graph, start, settings, measures);

    while (sink.at() % kMapAlignment != 0) sink.raw("\0", 1);
    const uint64_t tableAt = sink.at();
    std::vector<unsigned char> table(sink.entries().size() * kMapSectionEntryBytes);
    for (size_t i = 0; i < sink.entries().size(); ++i) {
        const SectionEntry& e = sink.entries()[i];
        unsigned char* entry = table.data() + i * kMapSectionEntryBytes;
        storeLittle<uint32_t>(entry, static_cast<uint32_t>(e.kind));
        storeLittle<uint32_t>(entry + 4, mapSectionIsOptional(e.kind) ? 0 : kMapSectionRequired);
        storeLittle<uint64_t>(entry + 8, e.offset);
        storeLittle<uint64_t>(entry + 16, e.size);
        storeLittle<uint64_t>(entry + 24, e.checksum);
    }
    sink.raw(table.data(), table.size());
    if (!sink.flush()) return sink.stopped() ? kMapWriteStopped : std::strerror(errno);

    std::memcpy(header, kMapMagic, sizeof kMapMagic);
    storeLittle<uint32_t>(header + kHeaderVersionAt, kMapVersion);
    storeLittle<uint32_t>(header + kHeaderSizeAt, kMapHeaderBytes);
    storeLittle<uint64_t>(header + kHeaderFileBytesAt, sink.at());
    storeLittle<uint64_t>(header + kHeaderTableAt, tableAt);
    storeLittle<uint32_t>(header + kHeaderSectionsAt, static_cast<uint32_t>(sink.entries().size()));
    storeLittle<uint64_t>(header + kHeaderTableSumAt, XXH3_64bits(table.data(), table.size()));
    storeLittle<uint64_t>(header + kHeaderSumAt, XXH3_64bits(header, kHeaderSumAt));
    if (std::fseek(out, 0, SEEK_SET) != 0) return "a map cannot be written where it cannot seek";
    if (std::fwrite(header, 1, sizeof header, out) != sizeof header) return std::strerror(errno);
    return "";
}

std::string writeMapFile(const std::string& path, const Graph& graph,
                         const ViewerSettings& settings, const NodeMeasures* measures,
                         const std::atomic<bool>* stop) {
    const Node* start = layoutStartOf(graph);
    if (start == nullptr) return "cannot write \"" + path + "\": the graph holds no node";
    std::string error;
    writeFileAtomically(
        path,
        [&](const std::string&, std::FILE* out, std::string& why) {
            why = writeMap(graph, *start, settings, out, measures, stop);
            if (!why.empty()) why = "cannot write \"" + path + "\": " + why;
            return why.empty();
        },
        error);
    return error;
}

}  // namespace orvo
