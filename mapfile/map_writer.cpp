// The map writer: the sections in the order of their kinds, each with its checksum, then the
// section table, then the header that points at it. Nothing is held whole in memory but the
// small sections: a node's records go out as they are made.
#include "mapfile/map_writer.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

#include "graph/graph.h"
#include "graph/node_measures.h"
#include "mapfile/map_format.h"
#include "mapfile/first_reads_writer.h"
#include "mapfile/name_index_writer.h"
#include "mapfile/section_sink.h"
#include "memory/atomic_file.h"
#include "settings/viewer_settings.h"

namespace orvo {

namespace {

uint32_t indexOf(const Node* n) { return n ? static_cast<uint32_t>(n->index) : kMapNoNode; }

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
    putColumn(sink, counts.data(), counts.size());
    sink.end();
}

void writeSections(SectionSink& sink, const Graph& graph, const Node& start,
                   const ViewerSettings& settings, const NodeMeasures* measures) {
    MapMeta meta;
    meta.nodes = graph.nodes.size();
    meta.links = graph.links.size();
    meta.top = graph.topNodeIndex();
    meta.start = indexOf(&start);
    meta.home = graph.homeTransform();
    meta.stats = graph.readStats;
    putMeta(sink, meta, settings);

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

    putGroups(sink, graph.groupNames());
    writeLabels(sink, graph);
    if (measures != nullptr && !measures->empty() && measures->size() == graph.nodes.size())
        putMeasures(sink, *measures);
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
    startMap(sink);
    writeSections(sink, graph, start, settings, measures);
    if (std::string why = finishMap(sink, out); !why.empty()) return why;
    if (std::string why = appendNameIndex(out, stop); !why.empty()) return why;
    return appendFirstReads(out);
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
