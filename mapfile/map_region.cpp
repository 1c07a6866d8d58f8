// Regions of a mapped map. Where each node's children and non-tree links lie comes from the map's
// node starts (or, for a map without them, one pass over the parents and links at open); a region
// then reads only its own nodes' records, checking each before it is followed, so that a damaged
// map is refused with a reason and never crashes.
#include "mapfile/map_region.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "graph/graph.h"
#include "graph/link_score.h"
#include "graph/node_measures.h"
#include "graph/node_index.h"
#include "layout/placement_from_radii.h"
#include "mapfile/map_format.h"
#include "mapfile/map_reader.h"
#include "mapfile/map_sections.h"
#include "mapfile/name_index.h"
#include "memory/block_reader.h"
#include "memory/mapped_file.h"
#include "settings/viewer_settings.h"

namespace orvo {

using namespace map_detail;

int32_t MapRegion::graphIndexOf(uint32_t m) const {
    const auto at = std::lower_bound(mapIndex.begin(), mapIndex.end(), m);
    return at != mapIndex.end() && *at == m ? static_cast<int32_t>(at - mapIndex.begin()) : -1;
}

struct MapRegionSource::Mapped {
    MappedFile file;
    // A map held in memory by the caller (file is then closed): its pages are never given back.
    bool inMemory = false;
    SectionSpans spans{};
    std::vector<SectionCheck> unchecked;  // the large sections, checked after the first region
    Meta meta;
    uint32_t groupSets = 0;
    // The node starts: the map's section, else worked out at open in the same layout.
    const unsigned char* starts = nullptr;
    std::vector<uint32_t> workedOutStarts;
    std::vector<unsigned char> workedOutMeasures;  // a map without measures: in their layout
    bool scoresPending = false;  // their link scores are still zeros (workOutLinkScores)
    bool labelsInNodeOrder = true;
    std::vector<uint64_t> setNodes;  // how many nodes have each group set
    NameIndex names;                 // open when the map has a usable one
    std::string namesNote;           // why the map's name index is not used, if it has one
    Span whole;                      // the file's bytes
    FileExcerpts firstReads;         // the map's, when it has usable ones
    std::string firstReadsNote;      // why the map's first reads are not used, if it has them

    Span of(MapSection kind) const { return section(spans, kind); }
    // A region reads every record through a reader (see buildRegion); a pass over the whole
    // map reads the mapping, the forms without one.
    BlockReader mappedReads() const { return BlockReader(file, BlockReader::Mode::Mapped); }
    uint32_t parentOf(uint32_t m) const {
        BlockReader r = mappedReads();
        return parentOf(r, m);
    }
    uint32_t childAt(uint64_t j) const {
        BlockReader r = mappedReads();
        return childAt(r, j);
    }
    uint32_t startOf(uint32_t m, size_t field) const {
        BlockReader r = mappedReads();
        return startOf(r, m, field);
    }
    uint32_t parentOf(BlockReader& r, uint32_t m) const {
        return r.load<uint32_t>(of(MapSection::Nodes).data + uint64_t{m} * kNodeRecordBytes);
    }
    const unsigned char* linkRecord(uint32_t l) const {
        return of(MapSection::Links).data + uint64_t{l} * kLinkRecordBytes;
    }
    struct Ends {
        uint32_t from = 0, to = 0;
        int32_t extra = 0;
    };
    Ends endsOf(BlockReader& r, uint32_t l) const {
        unsigned char record[kLinkRecordBytes];
        r.copy(linkRecord(l), sizeof record, record);
        return {loadLittle<uint32_t>(record), loadLittle<uint32_t>(record + 4),
                loadLittle<int32_t>(record + 8)};
    }
    /// Node m's id (empty when its offsets are out of bounds), viewed in the map or copied.
    std::string_view idOf(BlockReader& r, uint32_t m, std::string& copy) const {
        const unsigned char* offsets = of(MapSection::IdOffsets).data + uint64_t{m} * 8;
        const Span text = of(MapSection::IdText);
        const auto begin = r.load<uint64_t>(offsets), end = r.load<uint64_t>(offsets + 8);
        if (begin >= end || end > text.size) return {};
        return r.text(text.data + begin, static_cast<size_t>(end - begin), copy);
    }
    uint32_t childAt(BlockReader& r, uint64_t j) const {
        return r.load<uint32_t>(of(MapSection::Children).data + j * 4);
    }
    uint32_t startOf(BlockReader& r, uint32_t m, size_t field) const {
        const unsigned char* at = starts + uint64_t{m} * kStartRecordBytes + field;
        // Starts worked out at open lie in memory, not in the file.
        return workedOutStarts.empty() ? r.load<uint32_t>(at) : loadLittle<uint32_t>(at);
    }
    struct Range {
        uint64_t begin = 0, end = 0;
        uint64_t size() const { return end - begin; }
    };
    /// Node m's entries in the children or a link list (field kStartChildAt, kStartOutAt or
    /// kStartInAt); false when the starts do not lie in order within the section.
    bool rangeOf(uint32_t m, size_t field, Range& range) const {
        BlockReader r = mappedReads();
        return rangeOf(r, m, field, range);
    }
    bool rangeOf(BlockReader& r, uint32_t m, size_t field, Range& range) const {
        const uint64_t entries = field == kStartChildAt ? meta.nodes - 1
                                                        : meta.links - (meta.nodes - 1);
        range = {startOf(r, m, field), startOf(r, m + 1, field)};
        return range.begin <= range.end && range.end <= entries;
    }
    // Node m's measures, as the measures section holds them.
    struct Measured {
        int32_t depth, in, out, subtree;
        double score;
    };
    Measured measuredOf(uint32_t m) const {
        BlockReader r = mappedReads();
        return measuredOf(r, m);
    }
    // Measures worked out at open (a map held in memory) are read by a reader of the mapping.
    Measured measuredOf(BlockReader& r, uint32_t m) const {
        const uint64_t n = meta.nodes;
        const unsigned char* columns = of(MapSection::Measures).data + kMeasuresHeadBytes;
        return {r.load<int32_t>(columns + uint64_t{m} * 4),
                r.load<int32_t>(columns + (n + m) * 4),
                r.load<int32_t>(columns + (2 * n + m) * 4),
                r.load<int32_t>(columns + (3 * n + m) * 4),
                r.load<double>(columns + 16 * n + uint64_t{m} * 8)};
    }
    std::string index();
    std::string takeFirstReads(Span span);
    std::string workOutStarts();
    std::string workOutMeasures();
    void linkEnds(std::vector<int32_t>& from, std::vector<int32_t>& to) const;
    std::string countGroupSets();
    bool changed() const { return !inMemory && file.changed(); }
    void release(Span span) const {
        if (!inMemory) releasePages(span);
    }
    void releaseAll() const { release(Span{file.data(), file.size()}); }
};

// The first reads' ranges, each within the section it names, turned into the file's offsets.
std::string MapRegionSource::Mapped::takeFirstReads(Span span) {
    if (span.size < kFirstHeadBytes) return "its size";
    if (loadLittle<uint64_t>(span.data + kFirstNodesAt) != meta.nodes)
        return "its node count is not the map's";
    const auto count = loadLittle<uint64_t>(span.data + kFirstRangesAt);
    if (count > (span.size - kFirstHeadBytes) / kFirstRangeBytes) return "its range count";
    std::vector<ByteRange> ranges;
    ranges.reserve(count);
    uint64_t held = 0;
    for (uint64_t i = 0; i < count; ++i) {
        const unsigned char* entry = span.data + kFirstHeadBytes + i * kFirstRangeBytes;
        const auto kind = loadLittle<uint32_t>(entry);
        const auto size = loadLittle<uint32_t>(entry + 4);
        const auto offset = loadLittle<uint64_t>(entry + 8);
        const bool known = kind >= 1 && kind <= kMapSectionKinds &&
                           kind != static_cast<uint32_t>(MapSection::FirstReads);
        const Span in = known ? spans[kind] : Span{};
        if (in.data == nullptr || offset > in.size || size > in.size - offset)
            return "range " + number(i);
        ranges.push_back({static_cast<uint64_t>(in.data - whole.data) + offset, size});
        held += size;
    }
    const uint64_t bytesAt = kFirstHeadBytes + count * kFirstRangeBytes;
    if (held != span.size - bytesAt) return "its size is not what its ranges give";
    if (!firstReads.assign(std::move(ranges),
                           std::vector<unsigned char>(span.data + bytesAt, span.data + span.size),
                           whole.size))
        return "its ranges are not in order";
    return "";
}

// What a map without node starts lacks, worked out from every node's parent and every link:
// each index checked to be in range, one parent and one tree link per node.
std::string MapRegionSource::Mapped::workOutStarts() {
    const uint64_t n = meta.nodes, count = meta.links;
    constexpr size_t kFields = kStartRecordBytes / 4;
    std::vector<uint32_t>& s = workedOutStarts;
    s.assign((n + 1) * kFields, 0);
    const auto field = [&](uint64_t m, size_t at) -> uint32_t& { return s[m * kFields + at / 4]; };
    for (uint64_t i = 1; i < n; ++i) {
        const uint32_t parent = parentOf(static_cast<uint32_t>(i));
        if (parent >= n || parent == i)
            return damaged(MapSection::Nodes, "node " + number(i) + "'s parent");
        ++field(parent + 1, kStartChildAt);
    }
    for (uint64_t i = 0; i <= n; ++i) field(i, kStartTreeLinkAt) = kMapNoNode;
    for (uint64_t i = 0; i < count; ++i) {
        const unsigned char* record = linkRecord(static_cast<uint32_t>(i));
        const auto from = loadLittle<uint32_t>(record);
        const auto to = loadLittle<uint32_t>(record + 4);
        if (from >= n || to >= n || from == to)
            return damaged(MapSection::Links, "link " + number(i) + "'s ends");
        if (parentOf(to) == from) {
            if (field(to, kStartTreeLinkAt) != kMapNoNode)
                return damaged(MapSection::Links, "link " + number(i) + " twice");
            field(to, kStartTreeLinkAt) = static_cast<uint32_t>(i);
        } else {
            ++field(from + 1, kStartOutAt);
            ++field(to + 1, kStartInAt);
        }
    }
    for (uint64_t i = 1; i < n; ++i)
        if (field(i, kStartTreeLinkAt) == kMapNoNode)
            return damaged(MapSection::Links, "node " + number(i) + " has no tree link");
    for (uint64_t i = 1; i <= n; ++i)
        for (const size_t at : {kStartChildAt, kStartOutAt, kStartInAt})
            field(i, at) += field(i - 1, at);
    starts = reinterpret_cast<const unsigned char*>(s.data());
    release(of(MapSection::Nodes));
    release(of(MapSection::Links));
    return "";
}

// How many nodes have each group set, from every node's record.
std::string MapRegionSource::Mapped::countGroupSets() {
    setNodes.assign(groupSets, 0);
    for (uint64_t i = 0; i < meta.nodes; ++i) {
        const auto groups =
            loadLittle<uint32_t>(of(MapSection::Nodes).data + i * kNodeRecordBytes + 8);
        if (groups >= groupSets)
            return damaged(MapSection::Nodes, "node " + number(i) + "'s groups");
        ++setNodes[groups];
    }
    release(of(MapSection::Nodes));
    return "";
}

// Every link's ends, checked to be nodes of the map (-1 where one is not).
void MapRegionSource::Mapped::linkEnds(std::vector<int32_t>& from, std::vector<int32_t>& to) const {
    const uint64_t n = meta.nodes;
    from.resize(meta.links);
    to.resize(meta.links);
    for (uint64_t i = 0; i < meta.links; ++i) {
        const unsigned char* record = linkRecord(static_cast<uint32_t>(i));
        const auto f = loadLittle<uint32_t>(record), t = loadLittle<uint32_t>(record + 4);
        from[i] = f < n ? static_cast<int32_t>(f) : -1;
        to[i] = t < n ? static_cast<int32_t>(t) : -1;
    }
}

// What a map without measures lacks for its regions (a parent's children are ordered by their
// subtree sizes, and a region carries the whole map's measures), worked out from every node's
// parent and every link as they would be from the whole graph, and laid out as the map's own
// section; but the link scores, which take the longest and place nothing: they stay zeros until
// workOutLinkScores.
std::string MapRegionSource::Mapped::workOutMeasures() {
    const uint64_t n = meta.nodes;
    std::vector<int32_t> parent(n), from, to;
    for (uint64_t i = 0; i < n; ++i) {
        const uint32_t p = parentOf(static_cast<uint32_t>(i));
        parent[i] = p < n ? static_cast<int32_t>(p) : -1;
    }
    linkEnds(from, to);
    for (uint64_t i = 0; i < meta.links; ++i)
        if (from[i] < 0 || to[i] < 0)
            return damaged(MapSection::Links, "link " + number(i) + "'s ends");
    const NodeMeasures m = measureTreesAndLinks(parent, 0, from, to);
    std::vector<unsigned char>& out = workedOutMeasures;
    out.assign(kMeasuresHeadBytes + kMeasuresNodeBytes * n, 0);
    storeLittle<uint64_t>(out.data() + kMeasuresNodesAt, n);
    unsigned char* columns = out.data() + kMeasuresHeadBytes;
    for (uint64_t i = 0; i < n; ++i) {
        storeLittle<int32_t>(columns + i * 4, m.depth[i]);
        storeLittle<int32_t>(columns + (n + i) * 4, m.linksIn[i]);
        storeLittle<int32_t>(columns + (2 * n + i) * 4, m.linksOut[i]);
        storeLittle<int32_t>(columns + (3 * n + i) * 4, m.subtree[i]);
    }
    spans[static_cast<uint32_t>(MapSection::Measures)] = {out.data(), out.size()};
    scoresPending = true;
    return "";
}

bool MapRegionSource::linkScoresPending() const { return map_ && map_->scoresPending; }

std::string MapRegionSource::workOutLinkScores() {
    if (!linkScoresPending()) return "";
    Mapped& map = *map_;
    std::vector<int32_t> from, to;
    map.linkEnds(from, to);  // checked at open
    const LinkScores scores = computeLinkScores(linkTableOfEnds(map.meta.nodes, from, to));
    if (scores.score.size() != map.meta.nodes) return "the link scores cannot be worked out";
    unsigned char* out = map.workedOutMeasures.data();
    storeLittle<int32_t>(out + kMeasuresRoundsAt, scores.rounds);
    unsigned char* column = out + kMeasuresHeadBytes + 16 * map.meta.nodes;
    for (uint64_t i = 0; i < map.meta.nodes; ++i)
        storeLittle<double>(column + i * 8, scores.score[i]);
    map.scoresPending = false;
    return "";
}

NodeMeasures MapRegionSource::measuresOf(const MapRegion& region) const {
    NodeMeasures m;
    if (!map_) return m;
    m.scoreRounds = loadLittle<int32_t>(map_->of(MapSection::Measures).data + kMeasuresRoundsAt);
    for (const uint32_t i : region.mapIndex) {
        if (i >= map_->meta.nodes) return NodeMeasures{};
        const Mapped::Measured measured = map_->measuredOf(i);
        m.depth.push_back(measured.depth);
        m.linksIn.push_back(measured.in);
        m.linksOut.push_back(measured.out);
        m.subtree.push_back(measured.subtree);
        m.score.push_back(measured.score);
    }
    return m;
}

// The sections' sizes held to the counts; the node starts and the group set counts taken from
// the map when it has them, else worked out. What a region reads beyond that (the records of its
// nodes, the lists' entries, the starts themselves) is checked as it is read.
std::string MapRegionSource::Mapped::index() {
    if (std::string why = readMeta(of(MapSection::Meta), meta); !why.empty()) return why;
    const uint64_t n = meta.nodes, count = meta.links;
    const bool measured = of(MapSection::Measures).data != nullptr;
    if (!measured && !inMemory) return "it carries no measures to place a part of it by";
    if (measured && (of(MapSection::Measures).size != kMeasuresHeadBytes + kMeasuresNodeBytes * n ||
                     loadLittle<uint64_t>(of(MapSection::Measures).data + kMeasuresNodesAt) != n))
        return damaged(MapSection::Measures, "its size");
    if (of(MapSection::Nodes).size != n * kNodeRecordBytes)
        return damaged(MapSection::Nodes, "its size");
    if (of(MapSection::Links).size != count * kLinkRecordBytes)
        return damaged(MapSection::Links, "its size");
    if (of(MapSection::IdOffsets).size != (n + 1) * 8)
        return damaged(MapSection::IdOffsets, "its size");
    if (of(MapSection::Children).size != (n - 1) * 4)
        return damaged(MapSection::Children, "its size");
    const uint64_t nonTree = count - (n - 1);
    for (const MapSection kind : {MapSection::OutLinks, MapSection::InLinks})
        if (of(kind).size != nonTree * 4) return damaged(kind, "its size");
    if (of(MapSection::Labels).size % kLabelRecordBytes != 0)
        return damaged(MapSection::Labels, "its size");
    if (of(MapSection::GroupSets).size < 4) return damaged(MapSection::GroupSets, "no count");
    groupSets = loadLittle<uint32_t>(of(MapSection::GroupSets).data);
    // Each set takes at least its size's four bytes: a count past that asks for memory the
    // section could not fill.
    if (groupSets > (of(MapSection::GroupSets).size - 4) / 4)
        return damaged(MapSection::GroupSets, "its count");
    if (parentOf(0) != kMapNoNode) return damaged(MapSection::Nodes, "node 0's parent");

    const Span given = of(MapSection::NodeStarts);
    if (given.data == nullptr) {
        if (std::string why = workOutStarts(); !why.empty()) return why;
    } else if (given.size != (n + 1) * kStartRecordBytes) {
        return damaged(MapSection::NodeStarts, "its size");
    } else {
        starts = given.data;
    }
    if (!measured)
        if (std::string why = workOutMeasures(); !why.empty()) return why;
    const Span counted = of(MapSection::GroupSetCounts);
    if (counted.data == nullptr) {
        if (std::string why = countGroupSets(); !why.empty()) return why;
    } else {
        if (counted.size != uint64_t{groupSets} * 8)
            return damaged(MapSection::GroupSetCounts, "its size");
        setNodes.resize(groupSets);
        std::memcpy(setNodes.data(), counted.data, counted.size);
        uint64_t sum = 0;
        for (const uint64_t c : setNodes) sum += std::min(c, n + 1);
        if (sum != n) return damaged(MapSection::GroupSetCounts, "its counts");
    }

    // A name index that does not fit the map is not used: names are then found by passes.
    if (const Span span = of(MapSection::NameIndex); span.data != nullptr)
        if (std::string why = names.open(span.data, span.size, n); !why.empty())
            namesNote = damaged(MapSection::NameIndex, why) + ": it is not used";
    // The first reads are read whole at once, so checked now; ones that do not fit the map are
    // not used, and the first region reads the file itself.
    if (const Span span = of(MapSection::FirstReads); span.data != nullptr) {
        if (std::string why = checkDeferredNow(unchecked, MapSection::FirstReads); !why.empty())
            return why;
        if (std::string why = takeFirstReads(span); !why.empty())
            firstReadsNote = damaged(MapSection::FirstReads, why) + ": they are not used";
        release(span);
    }

    // The writer puts the labels in node order, and a map with node starts comes from a writer
    // that does; an older map's order is checked, and labels out of it are found by a scan.
    const Span labels = of(MapSection::Labels);
    if (given.data == nullptr)
        for (uint64_t at = kLabelRecordBytes; at < labels.size; at += kLabelRecordBytes)
            if (loadLittle<uint32_t>(labels.data + at) <=
                loadLittle<uint32_t>(labels.data + at - kLabelRecordBytes))
                labelsInNodeOrder = false;
    return "";
}

namespace {

// The meta section's node count, read through readAt(to, bytes, at) (false past the end).
template <typename ReadAt>
uint64_t peekNodeCount(const ReadAt& readAt) {
    unsigned char header[kMapHeaderBytes];
    if (!readAt(header, sizeof header, 0) || !startsLikeMap(header, sizeof header)) return 0;
    const auto tableAt = loadLittle<uint64_t>(header + kHeaderTableAt);
    const auto count = std::min<uint32_t>(loadLittle<uint32_t>(header + kHeaderSectionsAt), 64);
    unsigned char entry[kMapSectionEntryBytes];
    for (uint32_t i = 0; i < count; ++i) {
        if (!readAt(entry, sizeof entry, tableAt + uint64_t{i} * kMapSectionEntryBytes)) break;
        if (loadLittle<uint32_t>(entry) != static_cast<uint32_t>(MapSection::Meta)) continue;
        unsigned char count8[8];
        const uint64_t metaAt = loadLittle<uint64_t>(entry + 8);
        if (metaAt <= std::numeric_limits<uint64_t>::max() - kMetaNodesAt &&
            readAt(count8, sizeof count8, metaAt + kMetaNodesAt))
            return loadLittle<uint64_t>(count8);
        break;
    }
    return 0;
}

}  // namespace

uint64_t peekMapNodeCount(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return 0;
    struct stat info {};
    uint64_t nodes = 0;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        nodes = peekNodeCount([fd](void* to, size_t bytes, uint64_t at) {
            return at <= uint64_t(std::numeric_limits<off_t>::max()) &&
                   ::pread(fd, to, bytes, static_cast<off_t>(at)) == static_cast<ssize_t>(bytes);
        });
    ::close(fd);
    return nodes;
}

uint64_t peekMapNodeCount(const unsigned char* bytes, size_t size) {
    return peekNodeCount([bytes, size](void* to, size_t length, uint64_t at) {
        if (at > size || length > size - at) return false;
        std::memcpy(to, bytes + at, length);
        return true;
    });
}

MapRegionSource::MapRegionSource() = default;
MapRegionSource::~MapRegionSource() = default;

std::string MapRegionSource::open(const std::string& path) {
    map_.reset();
    auto mapped = std::make_unique<Mapped>();
    if (std::string why = mapped->file.open(path); !why.empty()) return why;
    return openMapped(std::move(mapped));
}

std::string MapRegionSource::openDescriptor(int fd) {
    map_.reset();
    auto mapped = std::make_unique<Mapped>();
    if (std::string why = mapped->file.openDescriptor(fd); !why.empty()) return why;
    return openMapped(std::move(mapped));
}

std::string MapRegionSource::openMapped(std::unique_ptr<Mapped> mapped) {
    MappedFile& file = mapped->file;
    mapped->whole = {file.data(), file.size()};
    std::string why =
        readContainer(file.data(), file.size(), mapped->spans, true, &mapped->unchecked);
    if (why.empty()) why = mapped->index();
    if (why.empty() && file.changed()) why = kMapFileChanged;
    if (!why.empty()) return why;
    // From now on only the nodes of regions are read, in no order the system could foresee.
    ::madvise(const_cast<unsigned char*>(file.data()), file.size(), MADV_RANDOM);
    map_ = std::move(mapped);
    return "";
}

std::string MapRegionSource::openBytes(const unsigned char* bytes, size_t size) {
    map_.reset();
    auto mapped = std::make_unique<Mapped>();
    mapped->inMemory = true;
    mapped->whole = {bytes, size};
    // Every checksum at once: the bytes are in memory already, and checking them is fast beside
    // the reading that brought them there.
    std::string why = readContainer(bytes, size, mapped->spans);
    if (why.empty()) why = mapped->index();
    if (!why.empty()) return why;
    map_ = std::move(mapped);
    return "";
}

std::string MapRegionSource::check(const std::atomic<bool>* stop) const {
    if (!map_) return "";
    std::string why = checkSections(map_->file, map_->unchecked, stop);
    return map_->changed() ? kMapFileChanged : why;
}

bool MapRegionSource::changed() const { return map_ && map_->changed(); }

bool MapRegionSource::isOpen() const { return map_ != nullptr; }
std::vector<uint64_t> MapRegionSource::groupSetNodes() const {
    return map_ ? map_->setNodes : std::vector<uint64_t>();
}
uint64_t MapRegionSource::nodeCount() const { return map_ ? map_->meta.nodes : 0; }
uint64_t MapRegionSource::linkCount() const { return map_ ? map_->meta.links : 0; }

uint32_t MapRegionSource::homeNode() const {
    if (!map_) return 0;
    return map_->meta.top >= 0 ? static_cast<uint32_t>(map_->meta.top) : map_->meta.start;
}

std::string_view MapRegionSource::idOf(uint32_t m) const {
    if (!map_ || m >= map_->meta.nodes) return {};
    BlockReader r = map_->mappedReads();
    std::string unused;
    return map_->idOf(r, m, unused);
}

void MapRegionSource::letGo() const {
    if (map_) map_->releaseAll();
}

IdTextSpans MapRegionSource::idTextSpans() const {
    IdTextSpans spans;
    if (!map_) return spans;
    const Span text = map_->of(MapSection::IdText);
    spans.text = {reinterpret_cast<const char*>(text.data), static_cast<size_t>(text.size)};
    spans.starts = map_->of(MapSection::IdOffsets).data;
    // A hit names its node by a signed 32-bit index, as a graph does.
    spans.nodes = static_cast<uint32_t>(
        std::min<uint64_t>(map_->meta.nodes, std::numeric_limits<int32_t>::max()));
    const Span labels = map_->of(MapSection::Labels);
    const Span labelText = map_->of(MapSection::LabelText);
    for (uint64_t at = 0; at + kLabelRecordBytes <= labels.size; at += kLabelRecordBytes) {
        const auto node = loadLittle<uint32_t>(labels.data + at);
        const auto length = loadLittle<uint32_t>(labels.data + at + 4);
        const auto offset = loadLittle<uint64_t>(labels.data + at + 8);
        if (node >= spans.nodes || offset > labelText.size || length > labelText.size - offset)
            continue;
        const std::string_view label(reinterpret_cast<const char*>(labelText.data + offset),
                                     length);
        if (isLabelText(label)) spans.labels.emplace_back(node, label);
    }
    // In node order, a node labelled twice keeping its last label, as a graph would.
    std::stable_sort(spans.labels.begin(), spans.labels.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    const auto last = std::unique(spans.labels.rbegin(), spans.labels.rend(),
                                  [](const auto& a, const auto& b) { return a.first == b.first; });
    spans.labels.erase(spans.labels.begin(), last.base());
    // The search reads the ids from end to end: read ahead of it.
    for (const MapSection kind : {MapSection::IdText, MapSection::IdOffsets}) {
        if (map_->inMemory) break;
        const Span span = map_->of(kind);
        const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
        const uintptr_t start = reinterpret_cast<uintptr_t>(span.data) & ~(page - 1);
        const uintptr_t end = reinterpret_cast<uintptr_t>(span.data) + span.size;
        if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_NORMAL);
    }
    return spans;
}

int64_t MapRegionSource::findNode(std::string_view id) const {
    if (!map_ || id.empty()) return -1;
    if (map_->names.isOpen()) {
        std::vector<uint32_t> candidates;
        map_->names.candidates(foldQuery(id), candidates);
        for (const uint32_t m : candidates)
            if (idOf(m) == id) return m;
        return -1;
    }
    for (uint64_t m = 0; m < map_->meta.nodes; ++m)
        if (idOf(static_cast<uint32_t>(m)) == id) return static_cast<int64_t>(m);
    return -1;
}

bool MapRegionSource::hasNameIndex() const { return map_ && map_->names.isOpen(); }

bool MapRegionSource::hasFirstReads() const { return map_ && !map_->firstReads.empty(); }

std::string MapRegionSource::firstReadsNote() const { return map_ ? map_->firstReadsNote : ""; }

std::string MapRegionSource::regionReads(uint32_t focus, uint64_t budget, uint32_t listScanLimit,
                                         uint64_t gap, std::vector<ByteRange>& reads) const {
    reads.clear();
    if (!map_) return "no map is open";
    if (map_->inMemory) return "the map is not read from a file";
    const ViewerSettings settings;  // the graph keeps a reference to them
    Graph graph(settings);
    MapRegion region;
    std::string why =
        assemble(focus, budget, listScanLimit, map_->meta.start, graph, region, &reads);
    letGo();
    if (map_->changed()) why = kMapFileChanged;
    if (!why.empty()) reads.clear();
    reads = mergedRanges(std::move(reads), gap);
    return why;
}

std::string MapRegionSource::nameIndexNote() const { return map_ ? map_->namesNote : ""; }

std::optional<IndexedFind> MapRegionSource::findByNames(const IdTextSpans& ids,
                                                       std::string_view query,
                                                       size_t limit) const {
    if (!hasNameIndex()) return std::nullopt;
    const std::string q = foldQuery(query);
    IndexedFind found;
    found.exactComplete = NameIndex::answersExactly(q);
    std::vector<uint32_t> candidates;
    map_->names.candidates(q, candidates);
    found.result = searchAmong(ids, candidates, q, limit, &found.exact);
    return found;
}

std::string MapRegionSource::treeShape(MapTreeShape& shape) const {
    shape = {};
    if (!map_) return "no map is open";
    const Mapped& map = *map_;
    const uint64_t n = map.meta.nodes;
    // The map's pages are given back as the passes go, so that a map larger than the memory
    // at hand can be walked: they are the file's, read again if touched.
    constexpr uint64_t kReleaseEvery = uint64_t{1} << 24;
    const auto release = [&map] {
        map.release(map.of(MapSection::Children));
        map.release(map.of(MapSection::NodeStarts));
    };
    Mapped::Range range;
    for (uint64_t m = 0; m < n; ++m) {
        if (m % kReleaseEvery == kReleaseEvery - 1) release();
        if (!map.rangeOf(static_cast<uint32_t>(m), kStartChildAt, range))
            return damaged(MapSection::NodeStarts, "node " + number(m) + "'s children");
        if (range.size() > shape.widestFanOut || m == 0) {
            shape.widestFanOut = range.size();
            shape.widestNode = static_cast<uint32_t>(m);
        }
    }
    // Down from the root, each frame the children of a node yet to be visited. A node reached
    // twice, or more visits than nodes, would be a damaged map's cycle.
    struct Frame {
        uint64_t next, end;
    };
    std::vector<Frame> stack;
    if (n > 0 && map.rangeOf(0, kStartChildAt, range)) stack.push_back({range.begin, range.end});
    uint64_t visits = 1;
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.end) {
            stack.pop_back();
            continue;
        }
        const uint32_t child = map.childAt(frame.next++);
        if (child >= n || child == 0 || ++visits > n)
            return damaged(MapSection::Children, "a child outside the tree");
        if (!map.rangeOf(child, kStartChildAt, range))
            return damaged(MapSection::NodeStarts, "node " + number(child) + "'s children");
        stack.push_back({range.begin, range.end});
        shape.depth = std::max<uint64_t>(shape.depth, stack.size() - 1);
        if (visits % kReleaseEvery == 0) release();
    }
    release();
    return map.file.changed() ? kMapFileChanged : "";
}

namespace {

// The region's node set: the chosen nodes and which of them bring their children.
class RegionChoice {
public:
    explicit RegionChoice(uint64_t n) : in_(n, false), expanded_(n, false), queued_(n, false) {}
    bool has(uint32_t m) const { return in_[m]; }
    bool isExpanded(uint32_t m) const { return expanded_[m]; }
    void add(uint32_t m) {
        if (in_[m]) return;
        in_[m] = true;
        members_.push_back(m);
    }
    void markExpanded(uint32_t m) { expanded_[m] = true; }
    /// True the first time m is queued.
    bool queue(uint32_t m) {
        if (queued_[m]) return false;
        queued_[m] = true;
        return true;
    }
    size_t size() const { return members_.size(); }
    std::vector<uint32_t>& members() { return members_; }

private:
    std::vector<bool> in_, expanded_, queued_;
    std::vector<uint32_t> members_;
};

}  // namespace

std::string MapRegionSource::buildRegion(uint32_t focus, uint64_t budget, Graph& graph,
                                         MapRegion& region,
                                         std::optional<uint32_t> listScanLimit,
                                         std::optional<uint32_t> layoutStart) const {
    region = MapRegion{};
    graph.startAssembly(0, 0);
    if (!map_) return "no map is open";
    const uint32_t start = layoutStart.value_or(map_->meta.start);
    std::string why = start < map_->meta.nodes
                          ? assemble(focus, budget, listScanLimit.value_or(listScanLimit_), start,
                                     graph, region)
                          : "there is no node " + number(start) + " to lay the tree out from";
    letGo();  // the region holds what it read
    if (map_->changed()) why = kMapFileChanged;
    if (!why.empty()) {
        graph.startAssembly(0, 0);  // nothing half-built stays
        region = MapRegion{};
    }
    return why;
}

std::string MapRegionSource::assemble(uint32_t focus, uint64_t budget, uint32_t listScanLimit,
                                      uint32_t layoutStart, Graph& graph, MapRegion& region,
                                      std::vector<ByteRange>* record) const {
    const Mapped& map = *map_;
    const uint64_t n = map.meta.nodes;
    if (focus >= n) return "there is no node " + number(focus);

    RegionChoice choice(n);
    // The records of a large region lie all over the file: what they mapped is given back as
    // the region is chosen and read, so that the process never holds much of the file.
    constexpr size_t kLetGoEveryNodes = 2048;
    auto letGoNow = [&map, read = size_t{0}]() mutable {
        if (++read % kLetGoEveryNodes == 0) map.releaseAll();
    };
    // A map held in memory has no file to copy from. What the map's first reads hold is taken
    // from them, but when the reads are recorded: they are the file's.
    const bool copied = record != nullptr || (budget <= copiedReadsUpTo_ && !map.inMemory);
    BlockReader r(map.file, copied ? BlockReader::Mode::Copied : BlockReader::Mode::Mapped);
    if (record != nullptr)
        r.recordInto(record);
    else if (copied && !map.firstReads.empty())
        r.serveFrom(&map.firstReads);
    std::string idCopy, textCopy;
    // Expands m: its children join the region, each checked to be m's.
    const auto childrenOf = [&](uint32_t m, Mapped::Range& range) -> std::string {
        return map.rangeOf(r, m, kStartChildAt, range)
                   ? ""
                   : damaged(MapSection::NodeStarts, "node " + number(m) + "'s children");
    };
    const auto expand = [&](uint32_t m) -> std::string {
        if (choice.isExpanded(m)) return "";
        choice.markExpanded(m);
        Mapped::Range range;
        if (std::string why = childrenOf(m, range); !why.empty()) return why;
        for (uint64_t j = range.begin; j < range.end; ++j) {
            const uint32_t child = map.childAt(r, j);
            if (child == 0 || child >= n || map.parentOf(r, child) != m || choice.has(child))
                return damaged(MapSection::Children, "entry " + number(j));
            choice.add(child);
        }
        return "";
    };

    // The paths down to the focus, the top and the layout's start, each node of them expanded;
    // the nodes of the focus's path are queued at their distance from it.
    std::vector<std::vector<uint32_t>> byDistance(1);
    choice.add(0);
    for (const int64_t end : {int64_t{focus}, int64_t{map.meta.top}, int64_t{layoutStart}}) {
        if (end < 0) continue;
        std::vector<uint32_t> path;
        for (auto m = static_cast<uint32_t>(end); m != 0; m = map.parentOf(r, m)) {
            path.push_back(m);
            if (path.size() > n || map.parentOf(r, m) >= n)
                return damaged(MapSection::Nodes, "node " + number(m) + "'s parent");
        }
        path.push_back(0);
        for (auto at = path.rbegin(); at != path.rend(); ++at)
            if (std::string why = expand(*at); !why.empty()) return why;
        if (end != focus) continue;
        byDistance.resize(path.size());
        for (size_t d = 0; d < path.size(); ++d) {
            choice.queue(path[d]);
            byDistance[d].push_back(path[d]);
        }
    }
    // Outwards from the focus: a node whose children would overrun the budget stays a leaf.
    // The reach is the last distance all of whose nodes brought their children.
    region.reach = MapRegion::kWholeTree;
    const auto shortAt = [&](size_t d) {
        region.reach = std::min<uint32_t>(region.reach, d == 0 ? 0 : uint32_t(d - 1));
    };
    for (size_t d = 0; d < byDistance.size(); ++d) {
        for (size_t k = 0; k < byDistance[d].size(); ++k) {
            letGoNow();
            const uint32_t m = byDistance[d][k];
            Mapped::Range range;
            if (std::string why = childrenOf(m, range); !why.empty()) return why;
            const uint64_t children = range.size();
            if (!choice.isExpanded(m)) {
                if (choice.size() >= budget || choice.size() + children > budget) {
                    shortAt(d);
                    if (choice.size() >= budget) break;
                    continue;
                }
                if (std::string why = expand(m); !why.empty()) return why;
            }
            for (uint64_t j = range.begin; j < range.end; ++j) {
                const uint32_t child = map.childAt(r, j);
                if (!choice.queue(child)) continue;
                if (byDistance.size() == d + 1) byDistance.emplace_back();
                byDistance[d + 1].push_back(child);
            }
        }
    }
    std::vector<uint32_t>& members = choice.members();
    std::sort(members.begin(), members.end());

    // The nodes, in the map's order.
    graph.startAssembly(members.size(), members.size());
    if (std::string why = readGroups(map.spans, graph); !why.empty()) return why;
    const Span nodes = map.of(MapSection::Nodes);
    const Span measured = map.of(MapSection::Measures);
    NodeMeasures& measures = region.measures;
    measures.scoreRounds = r.load<int32_t>(measured.data + kMeasuresRoundsAt);
    if (measures.scoreRounds < 0 || measures.scoreRounds > kLinkScoreMaxRounds)
        return damaged(MapSection::Measures, "its rounds");
    for (const uint32_t m : members) {
        letGoNow();
        const unsigned char* record = nodes.data + uint64_t{m} * kNodeRecordBytes;
        unsigned char fields[kNodeRecordBytes];
        r.copy(record, sizeof fields, fields);
        const auto groups = loadLittle<uint32_t>(fields + 8);
        const auto radius = loadLittle<double>(fields + 12);
        if (groups >= map.groupSets)
            return damaged(MapSection::Nodes, "node " + number(m) + "'s groups");
        if (!(radius > 0.0 && radius <= kMaxRadius))
            return damaged(MapSection::Nodes, "node " + number(m) + "'s radius");
        const std::string_view id = map.idOf(r, m, idCopy);
        if (id.empty()) return damaged(MapSection::IdOffsets, "node " + number(m) + "'s id");
        if (!isFieldText(id))
            return damaged(MapSection::IdText, "node " + number(m) + "'s id is no field");
        const auto [depth, in, out, subtree, score] = map.measuredOf(r, m);
        const char* wrong = measureOutOfBounds(depth, in, out, subtree, score, n, map.meta.links);
        if (wrong != nullptr)
            return damaged(MapSection::Measures, "node " + number(m) + "'s " + wrong);
        measures.depth.push_back(depth);
        measures.linksIn.push_back(in);
        measures.linksOut.push_back(out);
        measures.subtree.push_back(subtree);
        measures.score.push_back(score);
        Node* node =
            graph.assembleNode(id, NodeIndex::hashOf(id), loadLittle<int32_t>(fields + 4), groups);
        node->radius = radius;
        node->descendantCount = subtree - 1;
        region.expanded.push_back(choice.isExpanded(m));
    }
    if (const int32_t repeated = graph.indexAssembledNodes(); repeated >= 0)
        return damaged(MapSection::IdText,
                       "an id twice: " + std::string(graph.nodes[size_t(repeated)]->id));
    region.mapIndex = members;
    const auto nodeOf = [&](uint32_t m) { return graph.nodes[size_t(region.graphIndexOf(m))]; };
    for (size_t i = 0; i < members.size(); ++i) {
        if (!region.expanded[i]) continue;
        Node* parent = graph.nodes[i];
        const uint32_t m = members[i];
        Mapped::Range range;
        map.rangeOf(r, m, kStartChildAt, range);  // checked when m was expanded
        parent->children.reserve(range.size());
        for (uint64_t j = range.begin; j < range.end; ++j) {
            Node* child = nodeOf(map.childAt(r, j));
            child->parent = parent;
            parent->children.push_back(child);
        }
    }

    // The links between the region's nodes, in the map's order: the tree links, and the
    // non-tree links whose other end is in the region too. A node's list of links out or in is
    // read when it is short; the links of a hub's long list are found from their other ends, so
    // that a region never reads a list of millions for the few links of it that it holds. So a
    // link between two hubs is left out, and a hub's long list is filed in the map's link order.
    const auto fieldOf = [](MapSection kind) {
        return kind == MapSection::OutLinks ? kStartOutAt : kStartInAt;
    };
    // Ranges are checked before lists are read: a range out of order reads as a long list, and
    // is refused where it is read.
    const auto shortList = [&](MapSection kind, uint32_t m) {
        Mapped::Range range;
        return !map.rangeOf(r, m, fieldOf(kind), range) || range.size() <= listScanLimit;
    };
    // The list's entry j, checked to be a non-tree link of its owner; and whether its other end
    // is in the region.
    const auto listEntry = [&](MapSection kind, uint64_t j, uint32_t owner, uint32_t& link,
                               bool& held) -> std::string {
        link = r.load<uint32_t>(map.of(kind).data + j * 4);
        if (link >= map.meta.links) return damaged(kind, "entry " + number(j));
        const Mapped::Ends ends = map.endsOf(r, link);
        const uint32_t from = ends.from, to = ends.to;
        const bool out = kind == MapSection::OutLinks;
        if (from >= n || to >= n || (out ? from : to) != owner)
            return damaged(kind, "entry " + number(j));
        held = choice.has(out ? to : from);
        // A tree link listed here would be filed twice; one the region leaves out does no harm,
        // and its other end's record, far away in the file, is not read for it.
        if (held && map.parentOf(r, to) == from) return damaged(kind, "entry " + number(j));
        return "";
    };
    // Calls take(link, j) for each entry of m's list whose other end the region holds.
    const auto eachHeld = [&](MapSection kind, uint32_t m, const auto& take) -> std::string {
        Mapped::Range range;
        if (!map.rangeOf(r, m, fieldOf(kind), range))
            return damaged(MapSection::NodeStarts, "node " + number(m) + "'s links");
        for (uint64_t j = range.begin; j < range.end; ++j) {
            uint32_t link = 0;
            bool held = false;
            if (std::string why = listEntry(kind, j, m, link, held); !why.empty()) return why;
            if (held)
                if (std::string why = take(link, j); !why.empty()) return why;
        }
        return "";
    };
    // The entries of the short lists that the region takes (link, entry), by member and kind in
    // list order: read once here, filed once the links are made.
    std::vector<uint32_t> linkIndices;
    std::vector<std::pair<uint32_t, uint64_t>> heldEntries;
    std::vector<size_t> heldFrom;  // where member i's entries of kind k start: index 2i + k
    heldFrom.reserve(2 * members.size() + 1);
    const auto collect = [&](uint32_t link, uint64_t j) {
        linkIndices.push_back(link);
        heldEntries.emplace_back(link, j);
        return std::string();
    };
    for (const uint32_t m : members) {
        letGoNow();
        if (m != 0) {
            const uint32_t tree = map.startOf(r, m, kStartTreeLinkAt);
            const Mapped::Ends ends = tree < map.meta.links ? map.endsOf(r, tree) : Mapped::Ends{};
            if (tree >= map.meta.links || ends.from != map.parentOf(r, m) || ends.to != m)
                return damaged(MapSection::NodeStarts, "node " + number(m) + "'s tree link");
            linkIndices.push_back(tree);
        }
        for (const MapSection kind : {MapSection::OutLinks, MapSection::InLinks}) {
            heldFrom.push_back(heldEntries.size());
            if (shortList(kind, m))
                if (std::string why = eachHeld(kind, m, collect); !why.empty()) return why;
        }
    }
    heldFrom.push_back(heldEntries.size());
    std::sort(linkIndices.begin(), linkIndices.end());
    linkIndices.erase(std::unique(linkIndices.begin(), linkIndices.end()), linkIndices.end());
    const auto linkOf = [&](uint32_t l) -> Link* {
        const auto at = std::lower_bound(linkIndices.begin(), linkIndices.end(), l);
        return at != linkIndices.end() && *at == l ? graph.links[size_t(at - linkIndices.begin())]
                                                   : nullptr;
    };
    constexpr uint8_t kTreeLinkFlags = Enabled | Shown;
    for (const uint32_t l : linkIndices) {
        const Mapped::Ends ends = map.endsOf(r, l);
        const uint32_t from = ends.from, to = ends.to;
        const bool tree = map.parentOf(r, to) == from;
        Link* link = graph.assembleLink(nodeOf(from), nodeOf(to), ends.extra,
                                        tree ? kTreeLinkFlags : 0);
        if (tree) link->toNode->parentLink = link;
    }
    // Each non-tree link filed once at each end: in its list's order where the list was read,
    // then in link order at the hubs.
    std::vector<bool> filedOut(linkIndices.size(), false), filedIn(linkIndices.size(), false);
    for (size_t i = 0; i < members.size(); ++i) {
        Node* node = graph.nodes[i];
        for (const bool out : {true, false}) {
            const MapSection kind = out ? MapSection::OutLinks : MapSection::InLinks;
            std::vector<bool>& filed = out ? filedOut : filedIn;
            const size_t list = 2 * i + (out ? 0 : 1);
            for (size_t e = heldFrom[list]; e < heldFrom[list + 1]; ++e) {
                const auto [link, j] = heldEntries[e];
                Link* l = linkOf(link);
                if (l == nullptr || filed[size_t(l->index)])
                    return damaged(kind, "entry " + number(j));
                filed[size_t(l->index)] = true;
                (out ? node->outLinks : node->inLinks).push_back(l);
            }
        }
    }
    for (Link* l : graph.links) {
        if (l->toNode->parentLink == l) continue;
        for (const MapSection kind : {MapSection::OutLinks, MapSection::InLinks}) {
            const bool out = kind == MapSection::OutLinks;
            if ((out ? filedOut : filedIn)[size_t(l->index)]) continue;
            Node* end = out ? l->fromNode : l->toNode;
            // Only a hub's list was not read; a short one that lacks the link is damaged.
            if (shortList(kind, region.mapIndex[size_t(end->index)]))
                return damaged(kind, "a link missing");
            (out ? end->outLinks : end->inLinks).push_back(l);
        }
    }

    // The labels of the region's nodes.
    const Span labels = map.of(MapSection::Labels);
    const Span labelText = map.of(MapSection::LabelText);
    const uint64_t labelCount = labels.size / kLabelRecordBytes;
    const auto labelNode = [&](uint64_t k) {
        return r.load<uint32_t>(labels.data + k * kLabelRecordBytes);
    };
    const auto takeLabel = [&](uint64_t k) -> std::string {
        const unsigned char* record = labels.data + k * kLabelRecordBytes;
        const auto length = r.load<uint32_t>(record + 4);
        const auto offset = r.load<uint64_t>(record + 8);
        if (offset > labelText.size || length > labelText.size - offset)
            return damaged(MapSection::Labels, "label " + number(k));
        const std::string_view label = r.text(labelText.data + offset, length, textCopy);
        if (!isLabelText(label)) return damaged(MapSection::LabelText, "label " + number(k));
        graph.setLabel(*nodeOf(labelNode(k)), label);
        return "";
    };
    if (map.labelsInNodeOrder && labelCount > members.size()) {
        for (const uint32_t m : members) {
            uint64_t low = 0, high = labelCount;
            while (low < high) {
                const uint64_t mid = low + (high - low) / 2;
                if (labelNode(mid) < m) low = mid + 1; else high = mid;
            }
            if (low < labelCount && labelNode(low) == m)
                if (std::string why = takeLabel(low); !why.empty()) return why;
        }
    } else {
        for (uint64_t k = 0; k < labelCount; ++k) {
            const uint32_t m = labelNode(k);
            if (m >= n) return damaged(MapSection::Labels, "label " + number(k));
            if (choice.has(m))
                if (std::string why = takeLabel(k); !why.empty()) return why;
        }
    }

    const int32_t top = map.meta.top >= 0 ? region.graphIndexOf(uint32_t(map.meta.top)) : -1;
    graph.finishAssembly(top, map.meta.home, map.meta.stats);
    placeFrom(graph, nodeOf(layoutStart));
    region.blocksRead = r.blocksRead();
    region.focus = focus;
    region.layoutStart = layoutStart;
    return "";
}

void MapRegionSource::placeFrom(Graph& graph, Node* start) const {
    if (!map_ || start == nullptr) return;
    ViewerSettings placing = graph.settings;
    placing.childSpacing = static_cast<float>(map_->meta.childSpacing);
    placeFromRadiiAndCounts(graph, placing, start);
}

}  // namespace orvo
