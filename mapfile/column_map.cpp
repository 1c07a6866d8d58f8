// The sections of a map from columns, in the order and with the bytes of map_writer.cpp.
#include "mapfile/column_map.h"

#include <new>

#include "graph/link_score.h"
#include "graph/node_measures.h"
#include "layout/tree_radii.h"
#include "mapfile/map_format.h"
#include "mapfile/map_writer.h"
#include "mapfile/first_reads_writer.h"
#include "mapfile/name_index_writer.h"
#include "mapfile/section_sink.h"
#include "memory/atomic_file.h"
#include "settings/viewer_settings.h"

namespace orvo {

namespace {

// A node's radius before any layout reached it (Node's own default).
constexpr double kUnlaidRadius = 0.1;

}  // namespace

NodeMeasures columnMeasures(const OutlineColumns& c, const std::atomic<bool>* stop) {
    NodeMeasures m;
    measureTreesOf(c.parent, 0, m);
    return withLinkScores(std::move(m), linkTableOfEnds(c.nodeCount(), c.linkFrom, c.linkTo, 2),
                          stop, 2);
}

namespace {

void putNodes(SectionSink& sink, const OutlineColumns& c, const std::vector<double>& radius) {
    sink.begin(MapSection::Nodes);
    for (size_t v = 0; v < c.nodeCount(); ++v) {
        unsigned char record[kNodeRecordBytes];
        storeLittle<uint32_t>(record, static_cast<uint32_t>(c.parent[v]));
        storeLittle<int32_t>(record + 4, c.level[v]);
        storeLittle<uint32_t>(record + 8, c.groups[v]);
        storeLittle<double>(record + 12, radius[v]);
        sink.put(record, sizeof record);
    }
    sink.end();
}

void putIds(SectionSink& sink, const OutlineColumns& c) {
    sink.begin(MapSection::IdOffsets);
    sink.number<uint64_t>(0);
    uint64_t end = 0;
    std::string_view id;
    for (auto ids = c.idsInOrder(); ids.next(id);) sink.number<uint64_t>(end += id.size());
    sink.end();
    sink.begin(MapSection::IdText);
    for (auto ids = c.idsInOrder(); ids.next(id);) sink.put(id.data(), id.size());
    sink.end();
}

void putLinks(SectionSink& sink, const OutlineColumns& c) {
    sink.begin(MapSection::Children);
    putColumn(sink, c.children.data(), c.children.size());
    sink.end();
    sink.begin(MapSection::Links);
    for (size_t l = 0; l < c.linkCount(); ++l) {
        unsigned char record[kLinkRecordBytes];
        storeLittle<int32_t>(record, c.linkFrom[l]);
        storeLittle<int32_t>(record + 4, c.linkTo[l]);
        storeLittle<int32_t>(record + 8, c.linkExtra[l]);
        sink.put(record, sizeof record);
    }
    sink.end();
    sink.begin(MapSection::OutLinks);
    putColumn(sink, c.outLinks.data(), c.outLinks.size());
    sink.end();
    sink.begin(MapSection::InLinks);
    putColumn(sink, c.inLinks.data(), c.inLinks.size());
    sink.end();
}

void putLabels(SectionSink& sink, const OutlineColumns& c) {
    sink.begin(MapSection::Labels);
    uint64_t offset = 0;
    for (const OutlineColumns::Label& label : c.labels) {
        sink.number<uint32_t>(label.node);
        sink.number<uint32_t>(label.length);
        sink.number<uint64_t>(offset);
        offset += label.length;
    }
    sink.end();
    sink.begin(MapSection::LabelText);
    std::string scratch;
    for (const OutlineColumns::Label& label : c.labels) {
        const std::string_view text = c.labelText(label.offset, label.length, scratch);
        sink.put(text.data(), text.size());
    }
    sink.end();
}

void putNodeStarts(SectionSink& sink, const OutlineColumns& c) {
    sink.begin(MapSection::NodeStarts);
    const size_t n = c.nodeCount();
    for (size_t v = 0; v <= n; ++v) {
        unsigned char record[kStartRecordBytes];
        storeLittle<uint32_t>(record + kStartChildAt, c.childStart[v]);
        storeLittle<uint32_t>(record + kStartTreeLinkAt, v < n ? c.treeLink[v] : kMapNoNode);
        storeLittle<uint32_t>(record + kStartOutAt, c.outStart[v]);
        storeLittle<uint32_t>(record + kStartInAt, c.inStart[v]);
        sink.put(record, sizeof record);
    }
    sink.end();
}

void putGroupSetCounts(SectionSink& sink, const std::vector<uint64_t>& counts) {
    sink.begin(MapSection::GroupSetCounts);
    putColumn(sink, counts.data(), counts.size());
    sink.end();
}

template <typename T>
void letGo(std::vector<T>& column) {
    std::vector<T>().swap(column);
}

}  // namespace

std::string writeColumnMap(OutlineColumns& c, const ViewerSettings& settings, std::FILE* out,
                           const std::atomic<bool>* stop,
                           const std::function<void(const char*)>& step) {
    if (c.nodeCount() == 0) return "the graph holds no node";
    if (c.nodeCount() >= kMapNoNode || c.linkCount() >= kMapNoNode)
        return "the graph has too many nodes or links for a map";
    // Each column goes once the sections written so far were the last to need it, so that the
    // peak is the columns with the radii, or the measures' work with what the last sections need.
    std::vector<double> radius = treeRadii(settings, c.childStart, c.children, 0, kUnlaidRadius);

    SectionSink sink(out, stop);
    startMap(sink);
    MapMeta meta;
    meta.nodes = c.nodeCount();
    meta.links = c.linkCount();
    meta.top = c.topNodeIndex;
    meta.start = 0;  // the layout starts from the top node, which is the root
    meta.home = c.home;
    meta.stats = c.stats;
    putMeta(sink, meta, settings);
    putNodes(sink, c, radius);
    letGo(radius);
    letGo(c.level);
    std::vector<uint64_t> setCounts(c.groupNames.setCount(), 0);
    for (const uint32_t set : c.groups) ++setCounts[set];
    letGo(c.groups);
    putIds(sink, c);
    if (!c.error().empty()) return c.error();
    c.dropIds();
    putLinks(sink, c);
    letGo(c.children);
    letGo(c.linkExtra);
    letGo(c.outLinks);
    letGo(c.inLinks);
    putGroups(sink, c.groupNames);
    putLabels(sink, c);
    if (!c.error().empty()) return c.error();
    c.dropLabels();
    if (step) step("measuring");
    NodeMeasures measures = columnMeasures(c, stop);
    letGo(c.linkFrom);
    letGo(c.linkTo);
    if (measures.size() == meta.nodes) putMeasures(sink, measures);
    measures = NodeMeasures{};
    if (step) step("writing the map");
    putNodeStarts(sink, c);
    for (auto* column : {&c.treeLink, &c.childStart, &c.outStart, &c.inStart}) letGo(*column);
    letGo(c.parent);
    putGroupSetCounts(sink, setCounts);
    if (std::string why = finishMap(sink, out); !why.empty()) return why;
    // The name index is read back from the map: it needs none of the columns.
    if (step) step("indexing the names");
    if (std::string why = appendNameIndex(out, stop); !why.empty()) return why;
    if (step && meta.nodes > kFirstReadsAboveNodes) step("keeping the first picture's records");
    return appendFirstReads(out);
}

namespace {

void writeColumns(OutlineColumns& columns, std::istream& in, uint64_t sizeHint,
                  const std::string& path, const ViewerSettings& settings,
                  const ColumnMapReports& reports, const std::atomic<bool>* stop,
                  ColumnMapResult& result) {
    const bool any = columns.read(in, settings.loadFlags, sizeHint, reports.read, stop);
    result.stats = columns.stats;
    result.nodes = columns.nodeCount();
    result.links = columns.linkCount();
    result.spilledBytes = columns.spilledBytes();
    if (stop != nullptr && stop->load()) {
        result.stopped = true;
        return;
    }
    if (!columns.error().empty()) {
        result.error = columns.error();
        return;
    }
    result.anyNode = any;
    if (!any) return;
    if (reports.step) reports.step("writing the map");
    writeFileAtomically(
        path,
        [&](const std::string&, std::FILE* out, std::string& why) {
            try {
                why = writeColumnMap(columns, settings, out, stop, reports.step);
            } catch (const std::bad_alloc&) {
                result.outOfMemory = true;
                why = "there is not enough memory for it";  // the file must not stay behind
            }
            if (!why.empty()) why = "cannot write \"" + path + "\": " + why;
            return why.empty();
        },
        result.error);
    if (stop != nullptr && stop->load()) result.stopped = true;
}

}  // namespace

ColumnMapResult writeColumnMapFile(std::istream& in, uint64_t sizeHint, const std::string& path,
                                   const ViewerSettings& settings, const ColumnReadLimits& limits,
                                   const ColumnMapReports& reports, const std::atomic<bool>* stop) {
    ColumnMapResult result;
    try {
        OutlineColumns columns(limits);
        writeColumns(columns, in, sizeHint, path, settings, reports, stop, result);
    } catch (const std::bad_alloc&) {
        // The columns are freed by now, and no output file was begun.
        result.outOfMemory = true;
        result.error = "there is not enough memory for it";
        if (result.nodes != 0)
            result.error += " (" + groupedNumber(static_cast<long long>(result.nodes)) +
                            " nodes were read)";
    }
    return result;
}

}  // namespace orvo
