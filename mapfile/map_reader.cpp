// The map reader: the header and the section table first, every section's bounds and checksum,
// then the records, each index checked against the counts before it is followed. The graph is
// built as a read would have built it, and placed from the stored radii.
#include "mapfile/map_reader.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string_view>
#include <vector>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "graph/graph.h"
#include "graph/link_score.h"
#include "graph/node_index.h"
#include "graph/node_measures.h"
#include "layout/layout.h"
#include "layout/placement_from_radii.h"
#include "mapfile/map_format.h"
#include "mapfile/map_sections.h"
#include "memory/mapped_file.h"
#include "memory/memory_room.h"
#include "memory/prefaulted_blocks.h"
#include "memory/regular_file.h"
#include "settings/viewer_settings.h"

namespace orvo {

namespace {

using namespace map_detail;

// A node and a link as read into memory, beside their ids' and labels' bytes; the 1M and 10M
// sites' maps peaked at 7 % above what these give.
constexpr uint64_t kAssembledNodeBytes = 360;
constexpr uint64_t kAssembledLinkBytes = 32;

// How far the assembly has come, told every so many steps to whoever asked, who may stop it:
// a step per node read, per child filed and per link made, then a quarter of the node count
// each for making the ids findable and for placing the nodes, so that the last seconds of a
// large map's reading do not show as done.
class Steps {
public:
    Steps(const MapReadProgress& report, uint64_t total) : report_(report), total_(total) {}
    /// False once the listener has asked to stop.
    bool step() {
        if (++done_ < next_) return true;
        next_ = done_ + kEvery;
        return !report_ || report_(done_, total_);
    }
    /// Many steps at once; false once the listener has asked to stop.
    bool advance(uint64_t steps) {
        done_ += steps;
        next_ = done_ + kEvery;
        return !report_ || report_(done_, total_);
    }
    bool finish() { return !report_ || report_(total_, total_); }

private:
    static constexpr uint64_t kEvery = 1 << 16;
    const MapReadProgress& report_;
    uint64_t total_;
    uint64_t done_ = 0;
    uint64_t next_ = kEvery;
};
// A fuzzing build takes altered bytes pups and radii; parents are checked, not yet set.
std::string readNodes(const SectionSpans& spans, const Meta& meta, Graph& graph,
                      std::vector<uint32_t>& parents, Steps& steps) {
    const Span records = section(spans, MapSection::Nodes);
    const Span offsets = section(spans, MapSection::IdOffsets);
    const Span text = section(spans, MapSection::IdText);
    const uint64_t n = meta.nodes;
    if (records.size != n * kNodeRecordBytes) return damaged(MapSection::Nodes, "its size");
    if (offsets.size != (n + 1) * 8) return damaged(MapSection::IdOffsets, "its size");
    if (loadLittle<uint64_t>(offsets.data) != 0 ||
        loadLittle<uint64_t>(offsets.data + n * 8) != text.size)
        return damaged(MapSection::IdOffsets, "its first or last offset");
    const size_t setCount = graph.groupNames().setCount();
    parents.resize(n);
    uint64_t idStart = 0;
    for (uint64_t i = 0; i < n; ++i) {
        const unsigned char* record = records.data + i * kNodeRecordBytes;
        const uint64_t idEnd = loadLittle<uint64_t>(offsets.data + (i + 1) * 8);
        if (idEnd <= idStart || idEnd > text.size)
            return damaged(MapSection::IdOffsets, "node " + number(i) + "'s id");
        const std::string_view id(reinterpret_cast<const char*>(text.data + idStart),
                                  idEnd - idStart);
        idStart = idEnd;
        const auto parent = loadLittle<uint32_t>(record);
        const auto groups = loadLittle<uint32_t>(record + 8);
        const auto radius = loadLittle<double>(record + 12);
        if ((i == 0) != (parent == kMapNoNode) || (i != 0 && (parent >= n || parent == i)))
            return damaged(MapSection::Nodes, "node " + number(i) + "'s parent");
        if (groups >= setCount)
            return damaged(MapSection::Nodes, "node " + number(i) + "'s groups");
        if (!(radius > 0.0 && radius <= kMaxRadius))
            return damaged(MapSection::Nodes, "node " + number(i) + "'s radius");
        if (!isFieldText(id))
            return damaged(MapSection::IdText, "node " + number(i) + "'s id is no field");
        Node* node = graph.assembleNode(id, NodeIndex::hashOf(id), loadLittle<int32_t>(record + 4),
                                        groups);
        node->radius = radius;
        parents[i] = parent;
        if (!steps.step()) return kMapReadCancelled;
    }
    if (const int32_t repeated = graph.indexAssembledNodes(); repeated >= 0)
        return damaged(MapSection::IdText,
                       "an id twice: " + std::string(graph.nodes[size_t(repeated)]->id));
    return "";
}

// Every node's children in their stored order; the tree must reach every node from the root.
// Each list gets its room once, from the parents' counts, and the reach is walked over the
// section itself rather than over the nodes.
std::string readChildren(const SectionSpans& spans, const std::vector<uint32_t>& parents,
                         Graph& graph, Steps& steps) {
    const Span children = section(spans, MapSection::Children);
    const uint64_t n = parents.size();
    if (children.size != (n - 1) * 4) return damaged(MapSection::Children, "its size");
    // Where each node's children start in the section, once the entries are known to be every
    // node but the root, once each, in the order of their parents.
    std::vector<uint32_t> firstChild(n + 1, 0);
    for (uint64_t i = 1; i < n; ++i) ++firstChild[parents[i] + 1];
    for (uint64_t i = 0; i < n; ++i) firstChild[i + 1] += firstChild[i];
    std::vector<bool> seen(n, false);
    uint32_t lastParent = 0;
    for (uint64_t j = 0; j + 1 < n; ++j) {
        const auto child = loadLittle<uint32_t>(children.data + j * 4);
        if (child == 0 || child >= n || seen[child] || parents[child] < lastParent)
            return damaged(MapSection::Children, "entry " + number(j));
        seen[child] = true;
        lastParent = parents[child];
        Node* parent = graph.nodes[lastParent];
        Node* node = graph.nodes[child];
        node->parent = parent;
        if (parent->children.empty())
            parent->children.reserve(firstChild[lastParent + 1] - firstChild[lastParent]);
        parent->children.push_back(node);
        if (!steps.step()) return kMapReadCancelled;
    }
    // Each node has one parent and is its parent's child once: a tree unless there is a cycle,
    // which the root does not reach.
    uint64_t reached = 0;
    std::vector<uint32_t> stack{0};
    while (!stack.empty()) {
        const uint32_t node = stack.back();
        stack.pop_back();
        ++reached;
        for (uint32_t j = firstChild[node]; j < firstChild[node + 1]; ++j)
            stack.push_back(loadLittle<uint32_t>(children.data + uint64_t{j} * 4));
    }
    if (reached != n) return damaged(MapSection::Nodes, "the parents make a cycle");
    return "";
}

// The links, each node's tree link, and the non-tree links filed in their lists in order. The
// checks read the parents and the link records, not the nodes, which the links reach in no
// order: only the filing touches a node, in node order.
std::string readLinks(const SectionSpans& spans, const Meta& meta,
                      const std::vector<uint32_t>& parents, Graph& graph, Steps& steps) {
    const Span records = section(spans, MapSection::Links);
    const uint64_t n = meta.nodes, count = meta.links;
    if (records.size != count * kLinkRecordBytes) return damaged(MapSection::Links, "its size");
    constexpr uint8_t kTreeLinkFlags = Enabled | Shown;
    std::vector<uint32_t> treeLinkOf(n, kMapNoNode);
    std::vector<bool> isTree(count, false);
    std::vector<uint32_t> outCount(n, 0), inCount(n, 0);
    for (uint64_t i = 0; i < count; ++i) {
        const unsigned char* record = records.data + i * kLinkRecordBytes;
        const auto from = loadLittle<uint32_t>(record);
        const auto to = loadLittle<uint32_t>(record + 4);
        if (from >= n || to >= n || from == to)
            return damaged(MapSection::Links, "link " + number(i) + "'s ends");
        const bool tree = parents[to] == from;
        if (tree && treeLinkOf[to] != kMapNoNode)
            return damaged(MapSection::Links, "link " + number(i) + " twice");
        graph.assembleLink(graph.nodes[from], graph.nodes[to], loadLittle<int32_t>(record + 8),
                           tree ? kTreeLinkFlags : 0);
        if (tree) {
            treeLinkOf[to] = static_cast<uint32_t>(i);
            isTree[i] = true;
        } else {
            ++outCount[from];
            ++inCount[to];
        }
        if (!steps.step()) return kMapReadCancelled;
    }
    for (uint64_t i = 1; i < n; ++i) {
        if (treeLinkOf[i] == kMapNoNode)
            return damaged(MapSection::Links, "node " + number(i) + " has no tree link");
        graph.nodes[i]->parentLink = graph.links[treeLinkOf[i]];
    }

    const uint64_t nonTree = count - (n - 1);
    for (const auto& [kind, out] :
         {std::pair{MapSection::OutLinks, true}, std::pair{MapSection::InLinks, false}}) {
        const Span list = section(spans, kind);
        if (list.size != nonTree * 4) return damaged(kind, "its size");
        std::vector<bool> seen(count, false);
        uint32_t lastNode = 0;
        for (uint64_t j = 0; j < nonTree; ++j) {
            const auto index = loadLittle<uint32_t>(list.data + j * 4);
            if (index >= count || seen[index]) return damaged(kind, "entry " + number(j));
            const auto owner = loadLittle<uint32_t>(
                records.data + uint64_t{index} * kLinkRecordBytes + (out ? 0 : 4));
            if (isTree[index] || owner < lastNode) return damaged(kind, "entry " + number(j));
            seen[index] = true;
            lastNode = owner;
            PointerList<Link>& filed =
                out ? graph.nodes[owner]->outLinks : graph.nodes[owner]->inLinks;
            if (filed.empty()) filed.reserve((out ? outCount : inCount)[owner]);
            filed.push_back(graph.links[index]);
        }
    }
    return "";
}

std::string readLabels(const SectionSpans& spans, Graph& graph) {
    const Span records = section(spans, MapSection::Labels);
    const Span text = section(spans, MapSection::LabelText);
    if (records.size % kLabelRecordBytes != 0) return damaged(MapSection::Labels, "its size");
    for (uint64_t at = 0; at < records.size; at += kLabelRecordBytes) {
        const auto node = loadLittle<uint32_t>(records.data + at);
        const auto length = loadLittle<uint32_t>(records.data + at + 4);
        const auto offset = loadLittle<uint64_t>(records.data + at + 8);
        if (node >= graph.nodes.size() || offset > text.size || length > text.size - offset)
            return damaged(MapSection::Labels, "label " + number(at / kLabelRecordBytes));
        const std::string_view label(reinterpret_cast<const char*>(text.data + offset), length);
        if (!isLabelText(label))
            return damaged(MapSection::LabelText, "label " + number(at / kLabelRecordBytes));
        graph.setLabel(*graph.nodes[node], label);
    }
    return "";
}

template <typename T>
void readColumn(const unsigned char* at, std::vector<T>& column, uint64_t n) {
    column.resize(n);
    std::memcpy(column.data(), at, n * sizeof(T));
}

// The measures the map carries, each held to what the graph allows, so that nothing coloured,
// sorted or listed by them meets a value its graph could not have given.
std::string readMeasures(Span span, const Meta& meta, NodeMeasures& measures) {
    const uint64_t n = meta.nodes;
    if (span.size != kMeasuresHeadBytes + kMeasuresNodeBytes * n ||
        loadLittle<uint64_t>(span.data + kMeasuresNodesAt) != n)
        return damaged(MapSection::Measures, "its size");
    NodeMeasures m;
    m.scoreRounds = loadLittle<int32_t>(span.data + kMeasuresRoundsAt);
    if (m.scoreRounds < 0 || m.scoreRounds > kLinkScoreMaxRounds)
        return damaged(MapSection::Measures, "its rounds");
    const unsigned char* at = span.data + kMeasuresHeadBytes;
    readColumn(at, m.depth, n);
    readColumn(at += 4 * n, m.linksIn, n);
    readColumn(at += 4 * n, m.linksOut, n);
    readColumn(at += 4 * n, m.subtree, n);
    readColumn(at += 4 * n, m.score, n);
    for (size_t i = 0; i < n; ++i) {
        const char* wrong = measureOutOfBounds(m.depth[i], m.linksIn[i], m.linksOut[i],
                                               m.subtree[i], m.score[i], n, meta.links);
        if (wrong != nullptr)
            return damaged(MapSection::Measures, "node " + number(i) + "'s " + wrong);
    }
    measures = std::move(m);
    return "";
}

// `mappedFile`: the bytes are a read-only mapping of a file, whose sections are given back to
// the system as they are read, so that the peak holds the graph rather than graph and file.
std::string assemble(const SectionSpans& spans, Graph& graph, bool mappedFile,
                     NodeMeasures* measures, const MapReadProgress& progress) {
    const auto release = [&](std::initializer_list<MapSection> kinds) {
        if (mappedFile)
            for (const MapSection kind : kinds) releasePages(section(spans, kind));
    };
    Meta meta;
    if (std::string why = readMeta(section(spans, MapSection::Meta), meta); !why.empty())
        return why;
    // The counts are held against the sections' sizes before any room is reserved for them: a
    // count altered in the meta section must not ask for memory the file could not fill.
    if (section(spans, MapSection::Nodes).size != meta.nodes * kNodeRecordBytes)
        return damaged(MapSection::Nodes, "its size");
    if (section(spans, MapSection::Links).size != meta.links * kLinkRecordBytes)
        return damaged(MapSection::Links, "its size");
    // Refused before anything is reserved when the graph it makes cannot fit, instead of
    // ending in the out-of-memory killer half way; the estimate errs low, so that nothing that
    // fits is refused.
    const uint64_t needed = meta.nodes * kAssembledNodeBytes + meta.links * kAssembledLinkBytes +
                            section(spans, MapSection::IdText).size +
                            section(spans, MapSection::LabelText).size;
    if (std::string why = memoryShortfall(needed, memoryRoomBytes()); !why.empty()) return why;
    graph.startAssembly(meta.nodes, meta.links);
    const PrefaultedBlocks prefaulted;  // a second thread zeroes the nodes' and links' blocks ahead
    Steps steps(progress, 2 * meta.nodes + meta.links + meta.nodes / 2);
    std::vector<uint32_t> parents;
    std::string why = readGroups(spans, graph);
    if (why.empty()) why = readNodes(spans, meta, graph, parents, steps);
    release({MapSection::Nodes, MapSection::IdOffsets, MapSection::IdText});
    if (why.empty()) why = readChildren(spans, parents, graph, steps);
    release({MapSection::Children});
    if (why.empty()) why = readLinks(spans, meta, parents, graph, steps);
    release({MapSection::Links, MapSection::OutLinks, MapSection::InLinks});
    if (why.empty()) why = readLabels(spans, graph);
    release({MapSection::Labels, MapSection::LabelText});
    const Span measured = section(spans, MapSection::Measures);
    if (why.empty() && measures != nullptr && measured.data != nullptr)
        why = readMeasures(measured, meta, *measures);
    release({MapSection::Measures});
    if (!why.empty()) return why;
    decltype(parents)().swap(parents);
    graph.finishAssembly(meta.top, meta.home, meta.stats);
    if (!steps.advance(meta.nodes / 4)) return kMapReadCancelled;
    ViewerSettings placing = graph.settings;
    placing.childSpacing = static_cast<float>(meta.childSpacing);
    placeFromRadii(graph, placing, graph.nodes[meta.start]);
    return steps.finish() ? "" : kMapReadCancelled;
}

}  // namespace

bool startsLikeMap(const unsigned char* data, size_t size) {
    return size >= sizeof kMapMagic && std::memcmp(data, kMapMagic, sizeof kMapMagic) == 0;
}

bool isMapFile(const std::string& path) {
    // Only a regular file is opened: opening a named pipe lets its writer go on, and closing it
    // again before the real reader opens loses what the writer gives (or kills it by SIGPIPE).
    if (!isRegularFile(path)) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat info {};
    unsigned char start[sizeof kMapMagic];
    const bool map = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                     ::pread(fd, start, sizeof start, 0) == static_cast<ssize_t>(sizeof start) &&
                     startsLikeMap(start, sizeof start);
    ::close(fd);
    return map;
}

namespace {

std::string readMap(const unsigned char* data, size_t size, Graph& graph, bool mappedFile,
                    NodeMeasures* measures, const MapReadProgress& progress) {
    if (measures != nullptr) *measures = NodeMeasures{};
    SectionSpans spans{};
    std::string why = readContainer(data, size, spans);
    if (why.empty()) why = assemble(spans, graph, mappedFile, measures, progress);
    if (!why.empty()) {
        graph.startAssembly(0, 0);  // nothing half-built stays
        if (measures != nullptr) *measures = NodeMeasures{};
    }
    return why;
}

}  // namespace

std::string readMapBytes(const unsigned char* data, size_t size, Graph& graph,
                         NodeMeasures* measures, const MapReadProgress& progress) {
    return readMap(data, size, graph, false, measures, progress);
}

std::string readMapFile(const std::string& path, Graph& graph, NodeMeasures* measures,
                        const MapReadProgress& progress) {
    if (measures != nullptr) *measures = NodeMeasures{};
    MappedFile file;
    if (std::string why = file.open(path); !why.empty())
        return why == "it is not a regular file" ? "a map must be a regular file" : why;
    ::madvise(const_cast<unsigned char*>(file.data()), file.size(), MADV_SEQUENTIAL);
    std::string why = readMap(file.data(), file.size(), graph, true, measures, progress);
    if (file.changed()) {
        // What was read past the file's new end was zeros: nothing of it is kept.
        graph.startAssembly(0, 0);
        if (measures != nullptr) *measures = NodeMeasures{};
        why = "the file was changed on disk while it was read";
    }
    return why;
}

}  // namespace orvo
