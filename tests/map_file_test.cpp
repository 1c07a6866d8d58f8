// The map file against the outline it was made from: the same graph and the same positions to
// the last bit, read back from a map on disk; and every kind of damage refused with its reason.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#define XXH_INLINE_ALL
#include <xxhash.h>
#include <zlib.h>

#include "fuzz/map_exercise.h"
#include "glue/window_settings.h"
#include "graph/node_measures.h"
#include "graph/positions_csv.h"
#include "mapfile/first_reads_writer.h"
#include "mapfile/map_cache.h"
#include "mapfile/map_format.h"
#include "mapfile/map_pack.h"
#include "mapfile/map_reader.h"
#include "mapfile/map_region.h"
#include "mapfile/map_sections.h"
#include "mapfile/map_writer.h"
#include "memory/block_reader.h"
#include "memory/file_excerpts.h"
#include "memory/mapped_file.h"
#include "tests/graph_test_support.h"
#include "tests/map_bytes.h"
#include "tests/measures_test_support.h"
#include "tools/site_generator.h"

namespace orvo::testing {
namespace {

ViewerSettings windowSettings() {
    ViewerSettings settings;
    applyWindowInitialisation(settings);
    return settings;
}

std::string positionsOf(const Graph& graph) {
    TempDir dir;
    const std::string path = (dir / "positions.csv").string();
    std::FILE* out = std::fopen(path.c_str(), "w");
    EXPECT_TRUE(out && writePositionsCsv(out, graph));
    std::fclose(out);
    return readWholeFile(path);
}

// Everything a comparison should see: the dump, levels, links, home view, invariants, labels,
// groups, radii and the positions written with all their digits.
std::string everything(const Graph& graph) {
    std::string out = describe(graph) + positionsOf(graph);
    for (const Node* n : graph.nodes) {
        out += std::string(graph.labelOf(*n)) + "|";
        for (GroupNameId id : graph.groupsOf(*n)) out += std::string(graph.groupName(id)) + ",";
        char radius[40];
        std::snprintf(radius, sizeof radius, "%a %d\n", n->radius, n->descendantCount);
        out += radius;
        for (const Link* l : n->outLinks) out += std::to_string(l->index) + ">";
        for (const Link* l : n->inLinks) out += std::to_string(l->index) + "<";
    }
    return out + std::to_string(graph.topNodeIndex());
}

std::string writeMapOf(const Graph& graph, const std::filesystem::path& path,
                       const NodeMeasures* measures = nullptr) {
    return writeMapFile(path.string(), graph, graph.settings, measures);
}

// The map as orvo-import writes it: with the measures worked out from the graph.
std::string writeMeasuredMapOf(const Graph& graph, const std::filesystem::path& path) {
    const NodeMeasures measures = computeNodeMeasures(graph);
    return writeMapOf(graph, path, &measures);
}

// The map at `path` given the first reads that only maps too large to read whole get by default.
std::string appendFirstReadsTo(const std::string& path) {
    std::FILE* out = std::fopen(path.c_str(), "r+b");
    if (out == nullptr) return "cannot open " + path;
    std::string why = appendFirstReads(out, 0);
    std::fclose(out);
    return why;
}

struct OutlineSource {
    std::string name;
    std::string text;
};

std::vector<OutlineSource> outlineSources() {
    std::vector<OutlineSource> sources;
    for (const char* path :
         {ORVO_SOURCE_DIR "/examples/site.graph", ORVO_SOURCE_DIR "/examples/worked-example.graph",
          ORVO_SOURCE_DIR "/examples/sqlite-doc.graph"})
        sources.push_back({path, readWholeFile(path)});
    for (const char* name : {"move_example.graph", "attributes.graph", "small_trees.graph",
                             "node_search.graph", "level_overflow.graph"})
        sources.push_back({name, readWholeFile(dataPath(name))});
    sources.push_back({"labels",
                       "0 http://a/ 1 html main\n 1 http://a/b 1 html x\n"
                       "-99 label http://a/b the%20b\n 1 http://a/c 1 image\n"
                       "  2 http://a/b 1 html\n"});
    sources.push_back({"generated site", generateSiteGraph({20000, 7})});
    return sources;
}

// The address sanitizer reserves its shadow memory beyond any address-space bound.
#if !defined(__SANITIZE_ADDRESS__)
namespace {

// What `work` says when run in a child process whose address space may grow by `extraBytes`
// beyond what it uses at the start, or how the child ended when it did not end well.
std::string saidUnderBound(const std::function<std::string()>& work, uint64_t extraBytes) {
    int report[2];
    if (::pipe(report) != 0) return "no pipe";
    const pid_t child = ::fork();
    if (child < 0) return "no fork";
    if (child == 0) {
        ::close(report[0]);
        std::ifstream statm("/proc/self/statm");
        uint64_t pages = 0;
        statm >> pages;
        const rlim_t bound = pages * ::sysconf(_SC_PAGESIZE) + extraBytes;
        const rlimit limit{bound, bound};
        const std::string said = ::setrlimit(RLIMIT_AS, &limit) == 0 ? work() : "no bound";
        [[maybe_unused]] const ssize_t put = ::write(report[1], said.data(), said.size());
        ::_exit(0);
    }
    ::close(report[1]);
    std::string said;
    char buffer[256];
    for (ssize_t got; (got = ::read(report[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, static_cast<size_t>(got));
    ::close(report[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "the child ended with status " + std::to_string(status) + " after: " + said;
    return said;
}

}  // namespace
#endif

// A graph that cannot fit into the memory left is refused with a message instead of failing
// half way or ending in the out-of-memory killer: a map before it is read, with how much it
// needs; an outline once the memory left runs low while it is read, with nothing half read
// kept. One that fits opens under the same bound.
TEST(MapFile, TooLargeForTheMemoryLeftIsRefusedWithAMessage) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer reserves its shadow memory beyond any such bound";
#else
    const ViewerSettings settings = windowSettings();
    TempDir dir;
    const struct {
        std::string name;
        int nodes;
        uint64_t extraBytes;
        const char* refusal;  // the start of the message, nullptr when it opens
    } cases[] = {{"small.orvomap", 2000, 24u << 20, nullptr},
                 {"large.orvomap", 100000, 24u << 20, "it needs about "},
                 {"large.graph", 200000, uint64_t{1} << 30, nullptr},
                 {"large.graph", 200000, 200u << 20, "there is not enough memory for it: "}};
    for (const auto& c : cases) {
        const std::string text = generateSiteGraph({c.nodes, 7});
        if (c.name.ends_with(".graph")) {
            std::ofstream(dir / c.name) << text;
            continue;
        }
        Graph outline(settings);
        ASSERT_TRUE(readText(outline, text));
        ASSERT_EQ(writeMapOf(outline, dir / c.name), "");
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + " with " + std::to_string(c.extraBytes >> 20) + " MiB");
        const std::string path = (dir / c.name).string();
        const std::string said = saidUnderBound(
            [&] {
                Graph graph(settings);
                std::string why;
                if (c.name.ends_with(".graph")) {
                    std::ifstream in(path);
                    graph.reload(in);
                    why = outOfMemoryReason(graph.readStats);
                } else {
                    why = readMapFile(path, graph);
                }
                return why.empty() ? std::to_string(graph.nodes.size()) : why;
            },
            c.extraBytes);
        if (c.refusal == nullptr) {
            EXPECT_EQ(said, std::to_string(c.nodes));
            continue;
        }
        EXPECT_TRUE(said.starts_with(c.refusal)) << said;
        if (c.name.ends_with(".orvomap")) {
            int needed = 0, room = 0;
            ASSERT_EQ(std::sscanf(said.c_str(), "it needs about %d MiB of memory, and %d MiB are",
                                  &needed, &room),
                      2)
                << said;
            EXPECT_TRUE(needed > room && room <= 24 && needed >= 100000 * 360 >> 20) << said;
        }
    }
#endif
}

// The hidden groups of the graph read into stay in force, as after a read of the outline.
TEST(MapFile, KeepsTheHiddenGroupsOfTheGraphItIsReadInto) {
    const ViewerSettings settings = windowSettings();
    TempDir dir;
    Graph outline(settings), map(settings);
    outline.setGroupHidden(0, "image", 1);
    map.setGroupHidden(0, "image", 1);
    ASSERT_TRUE(readFile(outline, ORVO_SOURCE_DIR "/examples/site.graph"));
    ASSERT_EQ(writeMapOf(outline, dir / "x.orvomap"), "");
    ASSERT_EQ(readMapFile((dir / "x.orvomap").string(), map), "");
    EXPECT_EQ(everything(map), everything(outline));
    EXPECT_NE(everything(map).find(":0"), std::string::npos);  // some link hidden
}

// The reading's progress (which the window shows) is not full before the nodes are placed; a
// listener that says stop gets the reading cancelled, the graph left empty, at any report.
TEST(MapFile, ItsProgressWaitsForThePlacingAndAStopCancelsIt) {
    const ViewerSettings settings = windowSettings();
    TempDir dir;
    Graph outline(settings);
    ASSERT_TRUE(readText(outline, generateSiteGraph({120000, 3})));
    const std::string path = (dir / "x.orvomap").string();
    ASSERT_EQ(writeMapOf(outline, path), "");
    std::vector<std::pair<uint64_t, uint64_t>> heard;
    Graph whole(settings);
    EXPECT_EQ(readMapFile(path, whole, nullptr, [&](uint64_t done, uint64_t total) {
                  heard.emplace_back(done, total);
                  return true;
              }),
              "");
    ASSERT_GT(heard.size(), 4u);
    EXPECT_LE(heard[heard.size() - 2].first + outline.nodes.size() / 4, heard.back().second);
    for (const size_t stopAt : {size_t{0}, heard.size() / 2, heard.size() - 2, heard.size() - 1}) {
        SCOPED_TRACE(stopAt);
        Graph stopped(settings);
        size_t reports = 0;
        EXPECT_EQ(readMapFile(path, stopped, nullptr,
                              [&](uint64_t, uint64_t) { return reports++ < stopAt; }),
                  kMapReadCancelled);
        EXPECT_TRUE(stopped.nodes.empty());
    }
}

// What opening the map file for regions and building the whole of it as one says.
std::string regionVerdict(const std::string& path) {
    MapRegionSource source;
    std::string why = source.open(path);
    if (!why.empty()) return why;
    const ViewerSettings settings = windowSettings();  // outlives the graph, which reads it
    Graph graph(settings);
    MapRegion region;
    why = source.buildRegion(source.homeNode(), source.nodeCount(), graph, region);
    EXPECT_TRUE(why.empty() ? graph.nodes.size() == source.nodeCount() : graph.empty()) << why;
    EXPECT_EQ(region.mapIndex.size(), graph.nodes.size());
    return why;
}

// Reads the map with its measures: the graph and the measures both, or neither. Opened for
// regions, the map is refused too (maybe for another of its faults, found first).
std::string readBack(MapBytes& map) {
    const ViewerSettings settings = windowSettings();
    Graph graph(settings);
    NodeMeasures measures;
    const std::string why = readMapBytes(map.data(), map.size(), graph, &measures);
    EXPECT_TRUE(why.empty() ? !graph.empty() : graph.empty()) << why;
    EXPECT_TRUE(why.empty() ? measures.size() == graph.nodes.size() : measures.empty()) << why;
    TempDir dir;
    std::ofstream((dir / "m.orvomap").string(), std::ios::binary) << map.bytes();
    const std::string regionWhy = regionVerdict((dir / "m.orvomap").string());
    EXPECT_EQ(regionWhy.empty(), why.empty()) << regionWhy << " / " << why;
    return why;
}

// The example site's map, with its measures; with `firstReads`, with the first reads that only
// maps too large to read whole carry.
MapBytes siteMap(bool firstReads = false) {
    const ViewerSettings settings = windowSettings();
    Graph outline(settings);
    EXPECT_TRUE(readFile(outline, ORVO_SOURCE_DIR "/examples/site.graph"));
    outline.setLabel(*outline.nodes[3], "a label");
    TempDir dir;
    const std::string path = (dir / "site.orvomap").string();
    const NodeMeasures measures = computeNodeMeasures(outline);
    EXPECT_EQ(writeMapOf(outline, path, &measures), "");
    if (firstReads) {
        EXPECT_EQ(appendFirstReadsTo(path), "");
    }
    return MapBytes(readWholeFile(path));
}

TEST(MapFile, RefusesACutOrAlteredFileWithItsReason) {
    MapBytes whole = siteMap();
    ASSERT_EQ(readBack(whole), "");
    // Cut anywhere: before the header's end, inside each section, before the table's end.
    for (size_t length = 0; length < whole.size(); length += 1 + length / 3) {
        SCOPED_TRACE(length);
        MapBytes cut(whole.bytes().substr(0, length));
        const std::string why = readBack(cut);
        EXPECT_TRUE(why.starts_with(length < 8 ? "it is not a map" : "it is cut short")) << why;
    }
    // One byte altered in each section: its checksum tells.
    for (uint32_t kind = 1; kind <= kMapSectionKinds; ++kind) {
        MapBytes altered = siteMap(true);
        const auto [offset, size] = altered.section(static_cast<MapSection>(kind));
        if (size == 0) continue;
        altered.data()[offset + size / 2] ^= 0x10;
        EXPECT_NE(readBack(altered).find("section is damaged (its checksum does not match)"),
                  std::string::npos);
    }
    // The header and the table have checksums of their own.
    for (const auto& [at, expected] :
         {std::pair{size_t{20}, "its header is damaged"}, std::pair{size_t{0}, "not a map"}}) {
        MapBytes altered = siteMap();
        altered.data()[at] ^= 0x01;
        EXPECT_NE(readBack(altered).find(expected), std::string::npos) << at;
    }
    MapBytes table = siteMap();
    table.entryAt(2)[9] ^= 0x01;
    EXPECT_EQ(readBack(table), "its section table is damaged");
}

TEST(MapFile, RefusesOtherVersionsAndForeignFiles) {
    for (const auto& [version, expected] :
         {std::pair{0u, "it is a map of format version 0, older than this program reads (1)"},
          std::pair{2u, "it is a map of format version 2, newer than this program reads (1)"}}) {
        MapBytes map = siteMap();
        storeLittle<uint32_t>(map.data() + kHeaderVersionAt, version);
        map.seal();
        EXPECT_EQ(readBack(map), expected);
    }
    TempDir dir;
    writeWholeFile(dir / "outline.orvomap", readWholeFile(ORVO_SOURCE_DIR "/examples/site.graph"));
    EXPECT_FALSE(isMapFile((dir / "outline.orvomap").string()));
    const ViewerSettings settings = windowSettings();
    Graph graph(settings);
    EXPECT_EQ(readMapFile((dir / "outline.orvomap").string(), graph),
              "it is not a map (it does not start as one does)");
    EXPECT_NE(readMapFile((dir / "missing.orvomap").string(), graph), "");
    writeWholeFile(dir / "empty", "");
    EXPECT_EQ(readMapFile((dir / "empty").string(), graph), "it is empty");
}

// A section of a kind this program does not know is skipped unless it is marked required.
TEST(MapFile, SkipsUnknownSectionsUnlessRequired) {
    for (const uint32_t flags : {0u, kMapSectionRequired}) {
        MapBytes map = siteMap();
        // A new entry after the others, pointing at the meta section's bytes.
        const uint32_t count = map.sectionCount();
        std::string entry(reinterpret_cast<char*>(map.entryAt(0)), kMapSectionEntryBytes);
        storeLittle<uint32_t>(reinterpret_cast<unsigned char*>(entry.data()), 99);
        storeLittle<uint32_t>(reinterpret_cast<unsigned char*>(entry.data()) + 4, flags);
        map.bytes() += entry;
        storeLittle<uint32_t>(map.data() + kHeaderSectionsAt, count + 1);
        map.seal();
        EXPECT_EQ(readBack(map), flags ? "it needs a newer program (it holds a section of kind 99 "
                                         "that this program does not know)"
                                       : "");
    }
}

// A value written into a map's section, and what reading it must then say.
struct MapDamage {
    MapSection kind;
    size_t at;  // within the section
    uint32_t value;
    const char* expected;
};

// Records that pass their checksums but break the graph's rules: indices out of range, a
// cycle, an id twice, a radius that is no number. Each is refused, never followed.
TEST(MapFile, RefusesRecordsThatBreakTheGraphsRules) {
    const MapDamage cases[] = {
        {MapSection::Nodes, 20, 0xfffffff0u, "its nodes section is damaged (node 1's parent)"},
        {MapSection::Nodes, 0, 1, "its nodes section is damaged (node 0's parent)"},
        {MapSection::Nodes, 28, 0xffffu, "its nodes section is damaged (node 1's groups)"},
        {MapSection::Nodes, 36, 0x7ff80000u, "its nodes section is damaged (node 1's radius)"},
        {MapSection::Children, 0, 0, "its children section is damaged (entry 0)"},
        {MapSection::Children, 4, 1, "its children section is damaged (entry 1)"},
        {MapSection::Links, 0, 0xffffffu, "its links section is damaged (link 0's ends)"},
        {MapSection::Links, 4, 0, "its links section is damaged (link 0's ends)"},
        {MapSection::OutLinks, 0, 0, "its out-links section is damaged (entry 0)"},
        {MapSection::InLinks, 0, 0xfffffu, "its in-links section is damaged (entry 0)"},
        {MapSection::IdOffsets, 8, 0, "its id offsets section is damaged (node 0's id)"},
        {MapSection::IdOffsets, 16, 0xffffffu, "its id offsets section is damaged (node 1's id)"},
        {MapSection::Meta, 0, 0, "its meta section is damaged (its counts)"},
        {MapSection::Meta, 20, 5000, "its meta section is damaged (its top or start node)"},
        {MapSection::Labels, 4, 0xffffffu, "its labels section is damaged (label 0)"},
        {MapSection::GroupSets, 0, 0, "its group sets section is damaged (no count)"},
        {MapSection::GroupNames, 4, 0xffffu,
         "its group names section is damaged (it ends inside "
         "a name)"},
    };
    const auto expectRefused = [&](const MapDamage& c) {
        SCOPED_TRACE(c.expected);
        MapBytes map = siteMap();
        storeLittle<uint32_t>(map.data() + map.section(c.kind).first + c.at, c.value);
        map.seal();
        EXPECT_EQ(readBack(map), c.expected);
    };
    for (const MapDamage& c : cases) expectRefused(c);
    // Measures no graph of the map's counts could have: each column's values past their bounds.
    MapBytes site = siteMap();
    const uint64_t meta = site.section(MapSection::Meta).first;
    const auto n = loadLittle<uint32_t>(site.data() + meta + kMetaNodesAt);
    const auto links = loadLittle<uint32_t>(site.data() + meta + kMetaLinksAt);
    const uint64_t column = 4 * uint64_t{n};
    const MapDamage measureCases[] = {
        {MapSection::Measures, 16 + 4, n, "its measures section is damaged (node 1's depth)"},
        {MapSection::Measures, 16 + 4, 0xfffffffeu,
         "its measures section is damaged (node 1's depth)"},
        {MapSection::Measures, 16 + column + 8, 0xffffffffu,
         "its measures section is damaged (node 2's links in)"},
        {MapSection::Measures, 16 + 2 * column, links + 1,
         "its measures section is damaged (node 0's links out)"},
        {MapSection::Measures, 16 + 3 * column + 16, 0,
         "its measures section is damaged (node 4's subtree size)"},
        {MapSection::Measures, 16 + 3 * column + 16, n + 1,
         "its measures section is damaged (node 4's subtree size)"},
        // The high half of node 5's score: not a number, then 2.
        {MapSection::Measures, 16 + 4 * column + 44, 0x7ff80000u,
         "its measures section is damaged (node 5's link score)"},
        {MapSection::Measures, 16 + 4 * column + 44, 0x40000000u,
         "its measures section is damaged (node 5's link score)"},
        {MapSection::Measures, kMeasuresRoundsAt, 201,
         "its measures section is damaged (its rounds)"},
        {MapSection::Measures, kMeasuresNodesAt, n - 1,
         "its measures section is damaged (its size)"},
    };
    for (const MapDamage& c : measureCases) expectRefused(c);
    // Either end of a link one past the last node.
    for (const size_t end : {0, 4}) {
        MapBytes past = siteMap();
        const uint64_t meta = past.section(MapSection::Meta).first;
        const auto nodeCount = loadLittle<uint32_t>(past.data() + meta + kMetaNodesAt);
        storeLittle<uint32_t>(past.data() + past.section(MapSection::Links).first + end, nodeCount);
        past.seal();
        EXPECT_EQ(readBack(past), "its links section is damaged (link 0's ends)");
    }
    // Nodes 1 and 2 each other's parent: a cycle the root does not reach.
    MapBytes cycle = siteMap();
    const uint64_t nodes = cycle.section(MapSection::Nodes).first;
    storeLittle<uint32_t>(cycle.data() + nodes + 1 * kNodeRecordBytes, 2);
    storeLittle<uint32_t>(cycle.data() + nodes + 2 * kNodeRecordBytes, 1);
    cycle.seal();
    EXPECT_NE(readBack(cycle), "");
    // Two nodes with one id.
    MapBytes twice = siteMap();
    const auto [ids, idBytes] = twice.section(MapSection::IdText);
    const auto [offsets, offsetBytes] = twice.section(MapSection::IdOffsets);
    const uint64_t second = loadLittle<uint64_t>(twice.data() + offsets + 8);
    ASSERT_GT(idBytes, 2 * second);
    std::memcpy(twice.data() + ids + second, twice.data() + ids, second);
    storeLittle<uint64_t>(twice.data() + offsets + 16, 2 * second);
    twice.seal();
    EXPECT_NE(readBack(twice).find("an id twice"), std::string::npos);
}

// The measures a map carries are those worked out from its graph, to the last bit; a map
// without them still opens, and so does one with them for a reader that does not ask for them.
// They are an optional section: a reader from before them skips it and opens the map.
TEST(MapFile, CarriesTheMeasuresOfItsGraph) {
    const ViewerSettings settings = windowSettings();
    TempDir dir;
    for (const OutlineSource& source : outlineSources()) {
        SCOPED_TRACE(source.name);
        Graph outline(settings);
        ASSERT_TRUE(readText(outline, source.text));
        const NodeMeasures computed = computeNodeMeasures(outline);
        ASSERT_EQ(writeMapOf(outline, dir / "with.orvomap", &computed), "");
        ASSERT_EQ(writeMapOf(outline, dir / "without.orvomap"), "");
        NodeMeasures read;
        read.scoreRounds = -1;
        Graph with(settings), without(settings), unasked(settings);
        ASSERT_EQ(readMapFile((dir / "with.orvomap").string(), with, &read), "");
        expectSameMeasures(read, computed);
        expectSameMeasures(computeNodeMeasures(with), computed);
        ASSERT_EQ(readMapFile((dir / "without.orvomap").string(), without, &read), "");
        EXPECT_TRUE(read.empty());
        ASSERT_EQ(readMapFile((dir / "with.orvomap").string(), unasked), "");
        EXPECT_EQ(everything(with), everything(without));
        EXPECT_EQ(everything(unasked), everything(without));
    }
    // Every kind once, the optional ones (measures, node starts, group set counts, name index,
    // first reads) flagged so.
    MapBytes site = siteMap(true);
    std::vector<uint32_t> kinds;
    for (uint32_t i = 0; i < site.sectionCount(); ++i) {
        const unsigned char* entry = site.entryAt(i);
        const auto kind = loadLittle<uint32_t>(entry);
        kinds.push_back(kind);
        EXPECT_EQ(loadLittle<uint32_t>(entry + 4),
                  mapSectionIsOptional(MapSection(kind)) ? 0u : kMapSectionRequired) << kind;
    }
    std::sort(kinds.begin(), kinds.end());
    EXPECT_EQ(kinds.size(), kMapSectionKinds);
    EXPECT_EQ(kinds.front(), 1u);
    EXPECT_EQ(kinds.back(), kMapSectionKinds);
    EXPECT_EQ(std::adjacent_find(kinds.begin(), kinds.end()), kinds.end());
}

const unsigned char* bytesOf(const std::string& text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

size_t deflatedSize(const std::string& bytes) {
    uLongf size = compressBound(uLong(bytes.size()));
    std::string out(size, '\0');
    EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &size, bytesOf(bytes),
                        uLong(bytes.size()), 6),
              Z_OK);
    return size;
}

// The map as a published page holds it: packed (without its optional sections) and unpacked in
// memory, to the size the pack's head tells. `pack`, when given, gets the pack.
std::string asPageHoldsIt(const std::string& map, std::string* pack = nullptr) {
    std::string packed, unpacked;
    uint64_t told = 0;
    EXPECT_EQ(packMap(bytesOf(map), map.size(), packed), "");
    EXPECT_EQ(unpackedMapSize(bytesOf(packed), packed.size(), told), "");
    EXPECT_EQ(unpackMap(bytesOf(packed), packed.size(), unpacked), "");
    EXPECT_EQ(told, unpacked.size());
    if (pack != nullptr) *pack = std::move(packed);
    return unpacked;
}

// From a map and from its outline, the same graph to the last bit, laid out from the top node as
// the window does, and again from a deep node (whose ancestors are placed upward): the map read
// whole, and a region as large as the map (positions and measures too), from a map file and from
// a map held in memory without its measures, which are worked out as the whole graph's (the
// link scores apart). (A map read whole without its measures: CarriesTheMeasuresOfItsGraph.)
// A map packed with its optional sections unpacks to its very bytes; as a page carries it, the
// generated site's pack, every section of records, offsets or ids rearranged, deflates smaller
// than the map it unpacks to.
TEST(MapRegion, AsLargeAsItsMapIsTheWholeMap) {
    const ViewerSettings settings = windowSettings();
    TempDir dir;
    const std::string path = (dir / "x.orvomap").string();
    for (const OutlineSource& source : outlineSources()) {
        SCOPED_TRACE(source.name);
        Graph outline(settings);
        ASSERT_TRUE(readText(outline, source.text));
        const NodeMeasures computed = computeNodeMeasures(outline);
        const bool generated = source.name == "generated site";
        for (Node* start : {static_cast<Node*>(nullptr), outline.nodes.back()}) {
            if (start != nullptr) relayoutFrom(outline, start);
            ASSERT_EQ(writeMapOf(outline, path, &computed), "");
            Graph read(settings);
            ASSERT_EQ(readMapFile(path, read), "");
            EXPECT_EQ(everything(read), everything(outline));
            EXPECT_EQ(layoutStartOf(read), read.nodes[layoutStartOf(outline)->index]);
            MapRegionSource source;
            ASSERT_EQ(source.open(path), "");
            Graph whole(settings);
            MapRegion region;
            ASSERT_EQ(source.buildRegion(source.homeNode(), source.nodeCount(), whole, region), "");
            EXPECT_EQ(everything(whole), everything(outline));
            expectSameMeasures(region.measures, computed);
            // The tree's shape read in place, against the parents walked one by one.
            MapTreeShape shape, walked;
            ASSERT_EQ(source.treeShape(shape), "");
            for (const Node* n : outline.nodes) {
                if (n->children.size() > walked.widestFanOut || n == outline.nodes.front()) {
                    walked.widestFanOut = n->children.size();
                    walked.widestNode = static_cast<uint32_t>(n->index);
                }
                uint64_t depth = 0;
                for (const Node* up = n; up->parent != nullptr; up = up->parent) ++depth;
                walked.depth = std::max(walked.depth, depth);
            }
            EXPECT_EQ(std::tie(shape.depth, shape.widestFanOut, shape.widestNode),
                      std::tie(walked.depth, walked.widestFanOut, walked.widestNode));

            const std::string written = readWholeFile(path);
            std::string pack, unpacked;
            ASSERT_EQ(packMap(bytesOf(written), written.size(), pack, true), "");
            ASSERT_EQ(unpackMap(bytesOf(pack), pack.size(), unpacked), "");
            EXPECT_TRUE(unpacked == written) << "the unpacked map differs from the map packed";
            const std::string held = asPageHoldsIt(written, &pack);
            if (generated) {
                EXPECT_LT(deflatedSize(pack), deflatedSize(held) * 8 / 10);
                for (uint32_t i = 0; i < loadLittle<uint32_t>(bytesOf(pack) + 12); ++i) {
                    const unsigned char* e =
                        bytesOf(pack) + kMapPackHeadBytes + i * kMapPackEntryBytes;
                    const uint32_t kind = loadLittle<uint32_t>(e);
                    EXPECT_EQ(loadLittle<uint32_t>(e + 24) != 0,
                              kind >= uint32_t(MapSection::Nodes) &&
                                  kind <= uint32_t(MapSection::InLinks))
                        << "section " << kind;
                }
            }
            EXPECT_EQ(peekMapNodeCount(bytesOf(held), held.size()), outline.nodes.size());
            Graph readHeld(settings);
            NodeMeasures carried;
            ASSERT_EQ(readMapBytes(bytesOf(held), held.size(), readHeld, &carried), "");
            EXPECT_EQ(everything(readHeld), everything(outline));
            EXPECT_TRUE(carried.empty());
            MapRegionSource inMemory;
            ASSERT_EQ(inMemory.openBytes(bytesOf(held), held.size()), "");
            Graph fromMemory(settings);
            ASSERT_EQ(inMemory.buildRegion(inMemory.homeNode(), inMemory.nodeCount(), fromMemory,
                                           region),
                      "");
            EXPECT_EQ(everything(fromMemory), everything(outline));
            // The link scores come apart, the region's read again after them.
            EXPECT_TRUE(inMemory.linkScoresPending());
            EXPECT_EQ(region.measures.subtree, computed.subtree);
            EXPECT_EQ(region.measures.linksIn, computed.linksIn);
            EXPECT_EQ(inMemory.workOutLinkScores(), "");
            EXPECT_FALSE(inMemory.linkScoresPending());
            expectSameMeasures(inMemory.measuresOf(region), computed);
            EXPECT_EQ(inMemory.check(), "");
            // A walk of the tree in memory the caller holds leaves its bytes as they were.
            MapTreeShape heldShape;
            ASSERT_EQ(inMemory.treeShape(heldShape), "");
            EXPECT_EQ(std::tie(heldShape.depth, heldShape.widestFanOut, heldShape.widestNode),
                      std::tie(shape.depth, shape.widestFanOut, shape.widestNode));
            Graph again(settings);
            ASSERT_EQ(inMemory.buildRegion(inMemory.homeNode(), inMemory.nodeCount(), again,
                                           region),
                      "");
            EXPECT_EQ(everything(again), everything(outline));
        }
    }
    // Without measures there is nothing to order a part's children by.
    Graph outline(settings);
    ASSERT_TRUE(readText(outline, outlineSources().back().text));
    ASSERT_EQ(writeMapOf(outline, path), "");
    MapRegionSource source;
    EXPECT_EQ(source.open(path), "it carries no measures to place a part of it by");
    for (const std::string& bytes : {std::string("not a map at all"), std::string(),
                                     readWholeFile(path).substr(0, kMapHeaderBytes + 8)})
        EXPECT_EQ(peekMapNodeCount(bytesOf(bytes), bytes.size()), 0u) << bytes.size();
}

// A part of the map, built around a node within a budget, holds each of its nodes as the whole
// map does (id, radius, groups, label, measures and place to the last bit), every link between
// them in their order, and either all of a node's children or none; it reaches from the root to
// the focus and outwards from it, and stays within its budget once the paths are in. So it does
// whether its records are copied (those the map's first reads hold taken from them, the rest
// out of the file) or read where the file is mapped.
TEST(MapRegion, APartHoldsItsNodesAsTheWholeMapDoes) {
    const ViewerSettings settings = windowSettings();
    TempDir dir;
    const std::string path = (dir / "site.orvomap").string();
    Graph outline(settings);
    ASSERT_TRUE(readText(outline, generateSiteGraph({20000, 11})));
    for (size_t i = 40; i < outline.nodes.size(); i += 3)  // more labels than a small region
        outline.setLabel(*outline.nodes[i], "label " + std::to_string(i));
    relayoutFrom(outline, outline.nodes[7]);
    const NodeMeasures computed = computeNodeMeasures(outline);
    ASSERT_EQ(writeMapOf(outline, path, &computed), "");
    ASSERT_EQ(appendFirstReadsTo(path), "");
    Graph whole(settings);
    ASSERT_EQ(readMapFile(path, whole), "");
    MapRegionSource source;
    ASSERT_EQ(source.open(path), "");
    ASSERT_TRUE(source.hasFirstReads());
    const auto deepest = std::max_element(whole.nodes.begin(), whole.nodes.end(),
                                          [](const Node* a, const Node* b) {
                                              return a->level < b->level;
                                          });
    // With a scan limit of 3, most pages are hubs: a link between two is left out, and a hub's
    // long list holds its links in link order.
    const auto hub = [](const PointerList<Link>& list, uint32_t limit) {
        return list.size() > limit;
    };
    for (const uint64_t copiedUpTo : {MapRegionSource::kCopiedReadsUpTo, uint64_t{0}})
    for (const uint32_t limit : {4096u, 3u})
    for (const uint32_t focus : {0u, source.homeNode(), uint32_t((*deepest)->index), 19999u}) {
        for (const uint64_t budget : {1, 60, 2500}) {
            SCOPED_TRACE(std::to_string(focus) + " within " + std::to_string(budget) +
                         ", lists scanned up to " + std::to_string(limit) +
                         (copiedUpTo == 0 ? ", read mapped" : ", read copied"));
            source.setListScanLimit(limit);
            source.setCopiedReadsUpTo(copiedUpTo);
            Graph part(settings);
            MapRegion region;
            ASSERT_EQ(source.buildRegion(focus, budget, part, region), "");
            uint64_t pathCost = 1;
            for (const Node* end : {whole.nodes[focus], whole.nodes[7], whole.nodes[0]})
                for (const Node* n = end; n != nullptr; n = n->parent)
                    if (region.graphIndexOf(uint32_t(n->index)) < 0) ADD_FAILURE() << n->id;
            for (size_t i = 0; i < part.nodes.size(); ++i)
                if (region.expanded[i] &&
                    (part.nodes[i]->level <= whole.nodes[focus]->level ||
                     region.mapIndex[i] == focus))
                    pathCost += part.nodes[i]->children.size();
            EXPECT_LE(part.nodes.size(), std::max(budget, pathCost));
            for (const Node* child : whole.nodes[focus]->children) {
                if (budget >= 2500) {
                    EXPECT_GE(region.graphIndexOf(uint32_t(child->index)), 0) << child->id;
                }
            }
            std::vector<uint32_t> links;  // the whole map's links between the part's nodes
            const auto betweenHubs = [&](const Link* l) {
                return l->toNode->parentLink != l && hub(l->fromNode->outLinks, limit) &&
                       hub(l->toNode->inLinks, limit);
            };
            for (const Link* l : whole.links)
                if (region.graphIndexOf(uint32_t(l->fromNode->index)) >= 0 &&
                    region.graphIndexOf(uint32_t(l->toNode->index)) >= 0 && !betweenHubs(l))
                    links.push_back(uint32_t(l->index));
            ASSERT_EQ(part.links.size(), links.size());
            const auto mapIndexOfLink = [&](const Link* l) { return links[size_t(l->index)]; };
            for (size_t i = 0; i < part.nodes.size(); ++i) {
                const Node& p = *part.nodes[i];
                const Node& w = *whole.nodes[region.mapIndex[i]];
                ASSERT_EQ(p.id, w.id);
                EXPECT_EQ(std::memcmp(&part.globalTransform(p), &whole.globalTransform(w),
                                      sizeof(ProjTransform)), 0) << w.id;
                EXPECT_EQ(p.radius, w.radius);
                EXPECT_EQ(p.descendantCount, w.descendantCount);
                EXPECT_EQ(p.level, w.level);
                EXPECT_EQ(part.labelOf(p), whole.labelOf(w));
                EXPECT_EQ(part.groupOf(p, 0), whole.groupOf(w, 0));
                EXPECT_EQ(region.measures.score[i], computed.score[size_t(w.index)]);
                EXPECT_EQ(region.measures.depth[i], computed.depth[size_t(w.index)]);
                EXPECT_EQ(p.parent ? region.mapIndex[size_t(p.parent->index)] : kMapNoNode,
                          w.parent ? uint32_t(w.parent->index) : kMapNoNode);
                EXPECT_EQ(p.children.size(), region.expanded[i] ? w.children.size() : 0u);
                for (size_t k = 0; k < p.children.size(); ++k)
                    EXPECT_EQ(region.mapIndex[size_t(p.children[k]->index)],
                              uint32_t(w.children[k]->index));
                for (const bool outward : {true, false}) {
                    std::vector<uint32_t> got, want;
                    for (const Link* l : outward ? p.outLinks : p.inLinks)
                        got.push_back(mapIndexOfLink(l));
                    const PointerList<Link>& list = outward ? w.outLinks : w.inLinks;
                    for (const Link* l : list)
                        if (region.graphIndexOf(uint32_t(
                                (outward ? l->toNode : l->fromNode)->index)) >= 0 &&
                            !betweenHubs(l))
                            want.push_back(uint32_t(l->index));
                    if (hub(list, limit)) std::sort(want.begin(), want.end());
                    EXPECT_EQ(got, want) << w.id << (outward ? " out" : " in");
                }
                if (p.parentLink != nullptr) {
                    EXPECT_EQ(mapIndexOfLink(p.parentLink), uint32_t(w.parentLink->index));
                }
            }
            EXPECT_EQ(source.idOf(focus), whole.nodes[focus]->id);
            EXPECT_EQ(source.findNode(whole.nodes[focus]->id), int64_t(focus));
        }
    }
    EXPECT_EQ(source.findNode("http://nowhere/"), -1);
    EXPECT_EQ(peekMapNodeCount(path), 20000u);
    EXPECT_EQ(peekMapNodeCount(ORVO_SOURCE_DIR "/examples/site.graph"), 0u);
}

// The tree laid out again from another node: a part built from that start, or a part placed
// anew from one of its nodes, stands where the whole map laid out from that node puts it (a
// node's radius does not depend on where the layout starts), whichever node the part is around.
TEST(MapRegion, LaidOutFromAnotherNodeAsTheWholeMapWouldBe) {
    const ViewerSettings settings = windowSettings();
    TempDir dir;
    const std::string path = (dir / "site.orvomap").string();
    Graph outline(settings);
    ASSERT_TRUE(readText(outline, generateSiteGraph({3000, 5})));
    ASSERT_EQ(writeMeasuredMapOf(outline, path), "");
    MapRegionSource source;
    ASSERT_EQ(source.open(path), "");
    const auto deepest = uint32_t((*std::max_element(
        outline.nodes.begin(), outline.nodes.end(),
        [](const Node* a, const Node* b) { return a->level < b->level; }))->index);
    const auto samePlaces = [](const Graph& part, const MapRegion& region, const Graph& whole) {
        size_t differing = 0;
        for (size_t i = 0; i < part.nodes.size(); ++i)
            differing += std::memcmp(&part.globalTransform(*part.nodes[i]),
                                     &whole.globalTransform(*whole.nodes[region.mapIndex[i]]),
                                     sizeof(ProjTransform)) != 0;
        return differing;
    };
    for (const uint32_t start : {deepest, 2999u, 17u, 0u}) {
        Graph whole(settings);
        ASSERT_EQ(readMapFile(path, whole), "");
        relayoutFrom(whole, whole.nodes[start]);
        for (const uint32_t focus : {start, 0u, 1500u}) {
            SCOPED_TRACE(std::to_string(focus) + " laid out from " + std::to_string(start));
            Graph part(settings);
            MapRegion region;
            ASSERT_EQ(source.buildRegion(focus, 200, part, region, std::nullopt, start), "");
            EXPECT_EQ(region.layoutStart, start);
            EXPECT_GE(region.graphIndexOf(start), 0);
            EXPECT_EQ(samePlaces(part, region, whole), 0u);
            // The part built from the map's own start, placed anew from `start` when it has it.
            Graph moved(settings);
            MapRegion first;
            ASSERT_EQ(source.buildRegion(focus, 200, moved, first), "");
            if (const int32_t at = first.graphIndexOf(start); at >= 0) {
                source.placeFrom(moved, moved.nodes[size_t(at)]);
                EXPECT_EQ(samePlaces(moved, first, whole), 0u);
            }
        }
    }
    Graph part(settings);
    MapRegion region;
    EXPECT_EQ(source.buildRegion(0, 200, part, region, std::nullopt, 3000u),
              "there is no node 3000 to lay the tree out from");
    EXPECT_TRUE(part.nodes.empty());
}

// The node starts and group set counts only spare a reader of parts a pass over the map: a map
// without them (as maps were first written) gives the same regions, and wrong ones are refused.
// So does a map held in memory without its measures too, as a published page holds it.
TEST(MapRegion, TakesItsStartsFromTheMapOrWorksThemOut) {
    TempDir dir;
    const std::string path = (dir / "m.orvomap").string();
    const auto regionOf = [&](MapBytes& map, uint32_t focus, uint64_t budget,
                              bool held = false) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << map.bytes();
        MapRegionSource source;
        source.setListScanLimit(3);  // so that the example's home page is a hub
        const std::string bytes = held ? asPageHoldsIt(map.bytes()) : std::string();
        std::string out = held ? source.openBytes(bytesOf(bytes), bytes.size()) : source.open(path);
        const ViewerSettings settings = windowSettings();
        Graph graph(settings);
        MapRegion region;
        if (out.empty()) out = source.buildRegion(focus, budget, graph, region);
        if (!out.empty()) return out;
        for (const uint64_t count : source.groupSetNodes()) out += std::to_string(count) + ",";
        return out + everything(graph);
    };
    MapBytes with = siteMap(), without = siteMap();
    without.forget(MapSection::NodeStarts);
    without.forget(MapSection::GroupSetCounts);
    without.seal();
    const auto n = loadLittle<uint32_t>(with.data() + with.section(MapSection::Meta).first);
    const auto links =
        loadLittle<uint32_t>(with.data() + with.section(MapSection::Meta).first + kMetaLinksAt);
    for (const uint32_t focus : {0u, n / 2, n - 1}) {
        for (const uint64_t budget : {5u, 50u, n}) {
            const std::string given = regionOf(with, focus, budget);
            EXPECT_EQ(given.find("damaged"), std::string::npos) << given;
            EXPECT_EQ(given, regionOf(without, focus, budget)) << focus << " " << budget;
            EXPECT_EQ(given, regionOf(with, focus, budget, true)) << focus << " " << budget;
        }
    }
    const MapDamage cases[] = {
        {MapSection::NodeStarts, kStartRecordBytes + kStartChildAt, 0xffffffu,
         "its node starts section is damaged (node 0's children)"},
        {MapSection::NodeStarts, 2 * kStartRecordBytes + kStartTreeLinkAt, 0,
         "its node starts section is damaged (node 2's tree link)"},
        {MapSection::NodeStarts, 2 * kStartRecordBytes + kStartTreeLinkAt, links,
         "its node starts section is damaged (node 2's tree link)"},
        {MapSection::NodeStarts, kStartRecordBytes + kStartOutAt, 0xfffffff0u,
         "its node starts section is damaged (node 0's links)"},
        {MapSection::NodeStarts, 0, 0, "its node starts section is damaged (its size)"},
        {MapSection::GroupSetCounts, 0, 12345,
         "its group set counts section is damaged (its counts)"},
        {MapSection::GroupSets, 0, 0x40000000u, "its group sets section is damaged (its count)"},
    };
    for (const MapDamage& c : cases) {
        MapBytes map = siteMap();
        if (c.at == 0 && c.value == 0)
            map.resize(c.kind, map.section(c.kind).second - kStartRecordBytes);
        else
            storeLittle<uint32_t>(map.data() + map.section(c.kind).first + c.at, c.value);
        map.seal();
        EXPECT_EQ(regionOf(map, 0, n), c.expected);
    }
}

// A map's first reads hold every byte its first region reads: that region reads no block of the
// file, and is the one the file alone gives (other regions: see APartHoldsItsNodesAsTheWholeMap).
// Writing them changes nothing before them. First reads that do not fit the map are passed over
// with the reason, never followed; altered bytes fail the checksum.
TEST(MapRegion, TheFirstRegionReadsTheMapsFirstReadsAlone) {
    const ViewerSettings settings = windowSettings();
    TempDir dir;
    const std::string path = (dir / "first.orvomap").string();
    Graph outline(settings);
    ASSERT_TRUE(readText(outline, generateSiteGraph({20000, 5})));
    for (size_t i = 3; i < outline.nodes.size(); i += 2)
        outline.setLabel(*outline.nodes[i], "label " + std::to_string(i));
    ASSERT_EQ(writeMeasuredMapOf(outline, path), "");
    const std::string plain = readWholeFile(path);
    std::FILE* out = std::fopen(path.c_str(), "r+b");
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(appendFirstReads(out, 20000), "");  // a map of no more nodes: none
    std::fclose(out);
    EXPECT_EQ(readWholeFile(path), plain);
    ASSERT_EQ(appendFirstReadsTo(path), "");
    MapBytes with(readWholeFile(path));
    const auto plainTable = loadLittle<uint64_t>(bytesOf(plain) + kHeaderTableAt);
    const uint64_t sections = plainTable - kMapHeaderBytes;  // the header names the new table
    EXPECT_TRUE(with.bytes().compare(kMapHeaderBytes, sections, plain, kMapHeaderBytes, sections) ==
                0);
    MapBytes without = with;
    without.forget(MapSection::FirstReads);
    without.seal();

    const auto open = [&](MapBytes& map, MapRegionSource& source) {
        const std::string file = (dir / "opened.orvomap").string();
        std::ofstream(file, std::ios::binary | std::ios::trunc) << map.bytes();
        return source.open(file);
    };
    MapRegionSource first, fileAlone;
    ASSERT_EQ(open(with, first), "");
    ASSERT_EQ(open(without, fileAlone), "");
    ASSERT_TRUE(first.hasFirstReads()) << first.firstReadsNote();
    EXPECT_FALSE(fileAlone.hasFirstReads());
    const uint32_t home = first.homeNode();
    // The first region of a source, with how many blocks of the file it read.
    const auto firstRegion = [&](const MapRegionSource& source, uint64_t& blocks) {
        Graph graph(settings);
        MapRegion region;
        EXPECT_EQ(source.buildRegion(home, kFirstRegionNodes, graph, region,
                                     kFirstRegionListScanLimit),
                  "");
        EXPECT_GT(graph.nodes.size(), 1000u);
        blocks = region.blocksRead;
        return everything(graph);
    };
    uint64_t blocks = 0, fileBlocks = 0;
    const std::string expected = firstRegion(fileAlone, fileBlocks);
    EXPECT_EQ(firstRegion(first, blocks), expected);
    EXPECT_EQ(blocks, 0u);
    EXPECT_GT(fileBlocks, 100u);

    const auto [at, size] = with.section(MapSection::FirstReads);
    const uint64_t entry = at + kFirstHeadBytes;
    const auto ranges = loadLittle<uint64_t>(with.data() + at + kFirstRangesAt);
    ASSERT_GT(ranges, 2u);
    const auto word = [&](uint64_t offset) { return loadLittle<uint64_t>(with.data() + offset); };
    // A field of the section set to a value of 4 or 8 bytes, and the note the reader then gives.
    const struct { const char* name; uint64_t offset, value; unsigned bytes; const char* note; }
    cases[] = {
        {"node count", at + kFirstNodesAt, 19999, 8, "its node count is not the map's"},
        {"range count", at + kFirstRangesAt, uint64_t{1} << 60, 8, "its range count"},
        {"one range less", at + kFirstRangesAt, ranges - 1, 8, "its size is not what its ranges"},
        {"a range in itself", entry, uint32_t(MapSection::FirstReads), 4, "range 0"},
        {"a range in no section", entry + kFirstRangeBytes, 99, 4, "range 1"},
        {"a range past its section", entry + 8, uint64_t{1} << 40, 8, "range 0"},
        {"a range over the one before", entry + kFirstRangeBytes + 8, word(entry + 8), 8,
         "its ranges are not in order"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MapBytes damaged = with;
        if (c.bytes == 8)
            storeLittle<uint64_t>(damaged.data() + c.offset, c.value);
        else
            storeLittle<uint32_t>(damaged.data() + c.offset, uint32_t(c.value));
        if (std::string_view(c.name) == "a range over the one before")  // in the same section
            std::memcpy(damaged.data() + entry + kFirstRangeBytes, damaged.data() + entry, 4);
        damaged.seal();
        MapRegionSource source;
        ASSERT_EQ(open(damaged, source), "");
        EXPECT_FALSE(source.hasFirstReads());
        EXPECT_NE(source.firstReadsNote().find(std::string("its first reads section is damaged (") +
                                               c.note),
                  std::string::npos)
            << source.firstReadsNote();
        EXPECT_EQ(firstRegion(source, blocks), expected);
    }
    MapBytes altered = with;
    altered.data()[at + size - 1] ^= 0x04;  // a byte kept, the checksum left as it was
    MapRegionSource source;
    EXPECT_EQ(open(altered, source),
              "its first reads section is damaged (its checksum does not match)");
}

// Opening a map for regions checks its large sections later, so that the first region comes at
// once: damage in them is told then. A map cut short on disk while it is open reads as zeros,
// never as a bus error: every region after is refused as changed, and the reader keeps running.
TEST(MapRegion, ChecksLargeSectionsLaterAndOutlivesItsFileCutShort) {
    const ViewerSettings settings = windowSettings();
    TempDir dir;
    const std::string path = (dir / "large.orvomap").string();
    Graph outline(settings);
    ASSERT_TRUE(readText(outline, generateSiteGraph({40000, 3})));
    ASSERT_EQ(writeMeasuredMapOf(outline, path), "");
    MapBytes altered(readWholeFile(path));
    const auto [ids, idBytes] = altered.section(MapSection::IdText);
    ASSERT_GT(idBytes, map_detail::kDeferredCheckBytes);
    altered.data()[ids + idBytes / 2] ^= 1;  // unsealed: the checksum no longer matches
    const std::string damagedPath = (dir / "damaged.orvomap").string();
    std::ofstream(damagedPath, std::ios::binary) << altered.bytes();
    for (const std::string& file : {path, damagedPath}) {
        MapRegionSource source;
        ASSERT_EQ(source.open(file), "");
        EXPECT_EQ(source.check(), file == path ? ""
                                               : "its id text section is damaged (its checksum "
                                                 "does not match)");
    }
    // Held in memory, the map is checked whole as it opens: the bytes are there already.
    MapRegionSource held;
    EXPECT_EQ(held.openBytes(bytesOf(altered.bytes()), altered.bytes().size()),
              "its id text section is damaged (its checksum does not match)");
    EXPECT_FALSE(held.isOpen());

    // Whether the region's records are copied out of the file or read where it is mapped.
    for (const uint64_t copiedUpTo : {MapRegionSource::kCopiedReadsUpTo, uint64_t{0}}) {
        SCOPED_TRACE(copiedUpTo == 0 ? "read mapped" : "read copied");
        const std::string cut = (dir / "cut.orvomap").string();
        std::filesystem::copy_file(path, cut, std::filesystem::copy_options::overwrite_existing);
        MapRegionSource source;
        source.setCopiedReadsUpTo(copiedUpTo);
        ASSERT_EQ(source.open(cut), "");
        Graph graph(settings);
        MapRegion region;
        ASSERT_EQ(source.buildRegion(0, 100, graph, region), "");
        std::filesystem::resize_file(cut, std::filesystem::file_size(cut) / 2);
        EXPECT_EQ(source.buildRegion(source.nodeCount() - 1, source.nodeCount(), graph, region),
                  kMapFileChanged);
        EXPECT_TRUE(graph.empty());
        EXPECT_TRUE(source.changed());
        EXPECT_EQ(source.check(), kMapFileChanged);
    }
}

// Excerpts of a file serve a read that one range holds, and only such a read; ranges are taken
// in order, touching or apart, within the file. Reads merge into the fewest ranges holding them.
TEST(FileExcerpts, ServeWhatOneRangeHolds) {
    EXPECT_EQ(mergedRanges({{40, 4}, {10, 2}, {12, 3}, {0, 0}, {20, 5}, {41, 1}}, 0),
              (std::vector<ByteRange>{{10, 5}, {20, 5}, {40, 4}}));
    EXPECT_EQ(mergedRanges({{40, 4}, {10, 2}, {20, 5}}, 8),
              (std::vector<ByteRange>{{10, 15}, {40, 4}}));
    const auto bytesOfRanges = [](const std::vector<ByteRange>& ranges) {
        std::vector<unsigned char> bytes;
        for (const ByteRange& r : ranges)
            for (uint64_t i = 0; i < r.size; ++i) bytes.push_back(uint8_t(r.offset + i));
        return bytes;
    };
    const struct { std::vector<ByteRange> ranges; uint64_t extraBytes; bool taken; }
    assignments[] = {
        {{{10, 5}, {15, 5}, {30, 10}}, 0, true},  // touching ranges are taken
        {{{10, 5}, {90, 10}}, 0, true},           // up to the file's end
        {{{10, 5}, {90, 11}}, 0, false},          // past it
        {{{10, 5}, {14, 5}}, 0, false},           // overlapping
        {{{20, 5}, {10, 5}}, 0, false},           // out of order
        {{{10, 0}}, 0, false},                    // empty
        {{{10, 5}}, 1, false},                    // more bytes than the ranges hold
    };
    for (const auto& a : assignments) {
        std::vector<unsigned char> bytes = bytesOfRanges(a.ranges);
        bytes.resize(bytes.size() + a.extraBytes);
        FileExcerpts excerpts;
        EXPECT_EQ(excerpts.assign(a.ranges, bytes, 100), a.taken) << a.ranges.size();
        EXPECT_EQ(excerpts.empty(), !a.taken);
    }
    FileExcerpts excerpts;
    const std::vector<ByteRange> ranges{{10, 5}, {15, 5}, {30, 10}};
    ASSERT_TRUE(excerpts.assign(ranges, bytesOfRanges(ranges), 100));
    const struct { uint64_t offset; size_t size; bool served; } reads[] = {
                 {10, 5, true}, {12, 3, true}, {30, 10, true}, {35, 2, true}, {20, 0, true},
                 {9, 1, false},  {5, 2, false}, {14, 2, false}, {38, 3, false}, {25, 1, false},
                 {40, 1, false}, {0, 0, false}};
    for (const auto& r : reads) {
        unsigned char out[16] = {};
        EXPECT_EQ(excerpts.copy(r.offset, r.size, out), r.served) << r.offset << "+" << r.size;
        for (size_t i = 0; r.served && i < r.size; ++i) EXPECT_EQ(out[i], uint8_t(r.offset + i));
    }
}

// Bytes copied out of a mapped file are the mapping's, taken whole or a block at a time through
// the cache (spans across blocks, a block read again); once the file is cut short, what lay past
// the cut reads as zeros, the copy says so and the file counts as changed.
TEST(MappedFile, CopiesWhatItMapsAndZerosPastACut) {
    TempDir dir;
    const std::string path = (dir / "bytes").string();
    std::string bytes(20000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 7 + i / 251);
    std::ofstream(path, std::ios::binary) << bytes;
    MappedFile file;
    ASSERT_EQ(file.open(path), "");
    BlockReader blocks(file, BlockReader::Mode::Copied);
    struct Span {
        uint64_t offset;
        size_t length;
    };
    for (const Span span : {Span{0, 1}, Span{4090, 12}, Span{4096, 4096}, Span{8000, 9000},
                            Span{4093, 6}, Span{19999, 1}}) {
        std::string copied(span.length, '\0'), throughBlocks(span.length, '\0');
        EXPECT_TRUE(file.copy(span.offset, copied.data(), span.length));
        blocks.copy(file.data() + span.offset, span.length, throughBlocks.data());
        EXPECT_EQ(copied, bytes.substr(span.offset, span.length)) << span.offset;
        EXPECT_EQ(throughBlocks, copied) << span.offset;
    }
    EXPECT_FALSE(file.changed());

    std::filesystem::resize_file(path, 10001);
    char last = 0;
    EXPECT_TRUE(file.copy(10000, &last, 1));
    EXPECT_EQ(last, bytes[10000]);
    EXPECT_FALSE(file.changed());
    std::string across(20, 'x');
    EXPECT_FALSE(file.copy(9990, across.data(), across.size()));
    EXPECT_EQ(across, bytes.substr(9990, 11) + std::string(9, '\0'));
    EXPECT_TRUE(file.changed());
    BlockReader fresh(file, BlockReader::Mode::Copied);
    std::string cut(2000, 'x');
    fresh.copy(file.data() + 9000, cut.size(), cut.data());
    EXPECT_EQ(cut, bytes.substr(9000, 1001) + std::string(999, '\0'));
}

// A kept map is found again only for the same file as it was, read with the same settings; the
// least recently used go first when the folder outgrows its bound.
TEST(MapCache, KeepsOneMapPerOutlineAndSettingsAndDropsTheLeastUsed) {
    TempDir dir;
    const std::string outline = (dir / "site.graph").string(), other = (dir / "b.graph").string();
    writeWholeFile(outline, readWholeFile(ORVO_SOURCE_DIR "/examples/site.graph"));
    writeWholeFile(other, "0 http://b/ 1 html main\n");
    ViewerSettings settings = windowSettings();
    Graph graph(settings);
    ASSERT_TRUE(readFile(graph, outline));
    const MapCache cache((dir / "cache").string(), 1 << 30);
    const std::string kept = cache.mapPathFor(outline, settings);
    ASSERT_TRUE(kept.starts_with(cache.folder() + "/") && kept.ends_with(".orvomap")) << kept;
    EXPECT_EQ(cache.mapPathFor(outline, settings), kept);
    EXPECT_EQ(cache.mapPathFor(dir.path() + "/./site.graph", settings), kept);
    EXPECT_EQ(cache.mapPathFor((dir / "missing").string(), settings), "");
    EXPECT_EQ(cache.mapPathFor(dir.path(), settings), "");
    EXPECT_NE(cache.mapPathFor(other, settings), kept);
    ViewerSettings spaced = settings;
    spaced.childSpacing = 0.5f;
    ViewerSettings flags = settings;
    flags.loadFlags = 0;
    EXPECT_NE(cache.mapPathFor(outline, spaced), kept);
    EXPECT_NE(cache.mapPathFor(outline, flags), kept);

    Graph fromCache(settings);
    EXPECT_FALSE(cache.read(kept, fromCache));
    const NodeMeasures measures = computeNodeMeasures(graph);
    ASSERT_EQ(cache.store(kept, graph, settings, &measures), "");
    NodeMeasures keptMeasures;
    EXPECT_TRUE(cache.read(kept, fromCache, &keptMeasures));
    EXPECT_EQ(everything(fromCache), everything(graph));
    expectSameMeasures(keptMeasures, measures);
    // The file touched (a new modification time) or grown: another name.
    writeWholeFile(outline, readWholeFile(outline) + "\n");
    EXPECT_NE(cache.mapPathFor(outline, settings), kept);
    // A damaged map is dropped.
    writeWholeFile(kept, readWholeFile(kept).substr(0, 500));
    EXPECT_FALSE(cache.read(kept, fromCache));
    EXPECT_FALSE(std::filesystem::exists(kept));

    // Room for three maps of the example: the fourth stored drops the one used longest ago.
    ASSERT_EQ(cache.store(kept, graph, settings), "");
    const uint64_t bytes = std::filesystem::file_size(kept);
    const MapCache small((dir / "cache").string(), 3 * bytes + bytes / 2);
    const std::string a = cache.folder() + "/a.orvomap", b = cache.folder() + "/b.orvomap";
    ASSERT_EQ(small.store(a, graph, settings), "");
    ASSERT_EQ(small.store(b, graph, settings), "");
    // kept is the oldest, but reading it makes it the most recently used: a goes instead.
    EXPECT_TRUE(small.read(kept, fromCache));
    ASSERT_EQ(small.store(cache.folder() + "/c.orvomap", graph, settings), "");
    EXPECT_TRUE(std::filesystem::exists(kept));
    EXPECT_FALSE(std::filesystem::exists(a));
    EXPECT_TRUE(std::filesystem::exists(b));
    // A write stopped half way leaves nothing behind, not even its temporary file.
    const std::atomic<bool> stop{true};
    const std::string stopped = cache.folder() + "/stopped.orvomap";
    EXPECT_NE(cache.store(stopped, graph, settings, nullptr, &stop).find(kMapWriteStopped),
              std::string::npos);
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(cache.folder()))
        ++files;
    EXPECT_EQ(files, 3u);
    EXPECT_EQ(MapCache::defaultFolder("/x/cache", "/home/u"), "/x/cache/orvo");
    EXPECT_EQ(MapCache::defaultFolder(nullptr, "/home/u"), "/home/u/.cache/orvo");
    EXPECT_EQ(MapCache::defaultFolder("relative", nullptr), "");
}

// Every input the map reader's fuzzer failed on is refused cleanly (an altered count asked for
// 16 GiB before the sections' sizes were held against it).
TEST(MapFile, TheFuzzersSavedFailuresAreRefusedCleanly) {
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(
             std::filesystem::path(ORVO_SOURCE_DIR) / "fuzz" / "regressions-map")) {
        ++files;
        const std::string bytes = readWholeFile(entry.path());
        const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
        EXPECT_EQ(exerciseMapReader(data, bytes.size()), "") << entry.path();
        const ViewerSettings settings = windowSettings();
        Graph graph(settings);
        EXPECT_NE(readMapBytes(data, bytes.size(), graph), "") << entry.path();
    }
    EXPECT_GE(files, 1u);
}

// The map reader's fuzz round on its seed corpus, and on each seed cut and altered: the maps of
// the examples (two of them packed as a page carries them) pass whole, and whatever is refused
// is refused cleanly.
TEST(MapFile, TheFuzzCorpusPassesTheFuzzersRound) {
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(
             std::filesystem::path(ORVO_SOURCE_DIR) / "fuzz" / "corpus-map")) {
        ++files;
        std::string bytes = readWholeFile(entry.path());
        const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
        EXPECT_EQ(exerciseMapReader(data, bytes.size()), "") << entry.path();
        const ViewerSettings settings = windowSettings();
        Graph graph(settings);
        // A packed map, as a page carries it, unpacks to a whole map.
        std::string map = bytes;
        if (entry.path().extension() == ".orvopack") {
            EXPECT_EQ(unpackMap(data, bytes.size(), map), "") << entry.path();
        }
        EXPECT_EQ(readMapBytes(reinterpret_cast<const uint8_t*>(map.data()), map.size(), graph), "")
            << entry.path();
        for (size_t at = 0; at < bytes.size(); at += 7) {
            bytes[at] = static_cast<char>(bytes[at] ^ 0x5a);
            EXPECT_EQ(exerciseMapReader(data, bytes.size()), "") << entry.path() << " " << at;
            EXPECT_EQ(exerciseMapReader(data, at), "") << entry.path() << " cut at " << at;
            bytes[at] = static_cast<char>(bytes[at] ^ 0x5a);
        }
    }
    EXPECT_GE(files, 3u);
}

// A pack cut anywhere or with its head altered is refused with its reason; a byte of a section
// altered, or a section restored in another arrangement, unpacks to a map whose checksum names
// the section.
TEST(MapPack, RefusesACutOrAlteredPackWithItsReason) {
    MapBytes map = siteMap();
    std::string whole;
    ASSERT_EQ(packMap(map.data(), map.size(), whole), "");
    std::string unpacked;
    for (size_t length = 0; length < whole.size(); length += 1 + length / 5)
        EXPECT_NE(unpackMap(bytesOf(whole), length, unpacked), "") << length;
    const size_t entry = kMapPackHeadBytes;  // the meta section's, 184 bytes
    struct Case {
        size_t at;
        uint32_t value;
        std::string said;
    };
    const Case cases[] = {
        {1, 'X', "it is not a packed map"},
        {12, 100000, "its head is damaged (it names 100000 sections)"},
        {12, 3, "bytes more than its sections"},
        {entry + 8, 0xfffffff0u, "it is cut short: its sections need more bytes than it holds"},
        {entry + 24, 5, "its head is damaged (two sections front coded)"},
        {entry + 24, 6, "a section arranged in a way this program does not know"},
        {entry + 24, 77, "a section arranged in a way this program does not know"},
        {entry + 24, 4, "a section's size is no whole number of records"},
        {entry + 28, 1, "a section arranged in a way this program does not know"},
        {entry + 24, 1, "its meta section is damaged (its checksum does not match)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.said);
        std::string altered = whole;
        storeLittle<uint32_t>(reinterpret_cast<unsigned char*>(altered.data()) + c.at, c.value);
        std::string why = unpackMap(bytesOf(altered), altered.size(), unpacked);
        if (why.empty()) {
            MapBytes read(unpacked);
            why = readBack(read);
        }
        EXPECT_NE(why.find(c.said), std::string::npos) << why;
    }
    // Each section takes its size in the pack, but the front coded ids' text (arrangement 5)
    // takes what the others leave.
    const uint32_t sections = loadLittle<uint32_t>(bytesOf(whole) + 12);
    const uint64_t bodyAt = kMapPackHeadBytes + uint64_t{sections} * kMapPackEntryBytes;
    std::vector<uint64_t> taken(sections);
    uint64_t others = 0;
    for (uint32_t i = 0; i < sections; ++i) {
        const unsigned char* e = bytesOf(whole) + entry + i * kMapPackEntryBytes;
        taken[i] = loadLittle<uint32_t>(e + 24) == 5 ? 0 : loadLittle<uint64_t>(e + 8);
        others += taken[i];
    }
    for (uint64_t& t : taken)
        if (t == 0) t = whole.size() - bodyAt - others;
    size_t caught = 0, filled = 0;
    for (uint64_t i = 0, at = bodyAt; i < sections; at += taken[i++]) {
        if (taken[i] == 0) continue;
        ++filled;
        std::string altered = whole;
        altered[at + taken[i] / 2] ^= 0x10;
        std::string why = unpackMap(bytesOf(altered), altered.size(), unpacked);
        if (why.empty()) {
            MapBytes read(unpacked);
            why = readBack(read);
        }
        caught += why.ends_with("section is damaged (its checksum does not match)") ||
                  why.starts_with("its ids cannot be unpacked");
    }
    EXPECT_EQ(caught, filled);
    EXPECT_GE(filled, 8u);
}

}  // namespace
}  // namespace orvo::testing
