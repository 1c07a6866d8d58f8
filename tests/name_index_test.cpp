// A map's name index: what it finds agrees with the plain scan on every test input and a
// generated site (every exact hit, only real hits, the whole search's best when the exact hits
// fill the limit), findNode agrees with the scan of a map without the index, and a damaged
// index is refused or passed over, never trusted into a crash or a wrong node.
#include "mapfile/name_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "graph/graph.h"
#include "graph/node_measures.h"
#include "graph/node_search.h"
#include "mapfile/map_format.h"
#include "mapfile/map_region.h"
#include "mapfile/map_writer.h"
#include "mapfile/name_keys.h"
#include "tests/graph_test_support.h"
#include "tests/map_bytes.h"
#include "tests/test_files.h"
#include "tools/site_generator.h"

namespace orvo {
namespace {

namespace fs = std::filesystem;

// The map of a graph, in memory: written through a stream that can be read back (with the
// index) or one open for writing only (without).
std::string mapBytes(const Graph& g, bool readable) {
    const NodeMeasures measures = computeNodeMeasures(g);
    const testing::TempDir dir;
    const std::string path = dir.file("m.orvomap");
    std::FILE* out = std::fopen(path.c_str(), readable ? "w+b" : "wb");
    if (out == nullptr) return "";
    const std::string why = writeMap(g, *layoutStartOf(g), g.settings, out, &measures);
    std::fclose(out);
    EXPECT_EQ(why, "");
    return why.empty() ? testing::readWholeFile(path) : "";
}

const unsigned char* bytesOf(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

// Every form of a node a query may equal exactly, and the words of its label, in random case.
std::vector<std::string> queriesOf(std::string_view id, std::string_view label,
                                   std::mt19937& random) {
    const std::string_view path = pathLabelOf(id);
    const std::string_view shortLabel = shortLabelOfPath(path);
    const bool slashFirst = shortLabel.size() > 1 && shortLabel.front() == '/';
    std::vector<std::string> queries{std::string(id), std::string(path), std::string(shortLabel),
                                     std::string(shortLabel.substr(slashFirst ? 1 : 0))};
    if (!label.empty()) {
        const std::string folded = foldQuery(label);
        std::vector<std::string_view> keys;
        labelKeys(folded, keys);
        for (const std::string_view key : keys) queries.emplace_back(key);
    }
    for (std::string& q : queries)
        for (char& c : q)
            if (random() % 2 == 0 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return queries;
}

std::map<int32_t, SearchHit> byNode(const SearchResult& r) {
    std::map<int32_t, SearchHit> hits;
    for (const SearchHit& h : r.hits) hits[h.node] = h;
    return hits;
}

// The index's answer against the plain scan's: "" or what differs.
std::string disagreement(const MapRegionSource& source, const IdTextSpans& ids,
                         const std::string& q) {
    const SearchResult plain = plainSearch(ids, q, ids.nodes);
    const std::optional<IndexedFind> found = source.findByNames(ids, q, ids.nodes);
    if (!found) return "no index";
    const std::map<int32_t, SearchHit> all = byNode(plain);
    size_t plainExact = 0;
    for (const SearchHit& h : plain.hits) plainExact += h.rank == MatchRank::Exact;
    for (const SearchHit& h : found->result.hits) {
        const auto at = all.find(h.node);
        if (at == all.end() || !(at->second == h)) return "a hit the scan does not give";
    }
    if (found->result.total != found->result.hits.size()) return "a total past its hits";
    if (found->exactComplete != (foldQuery(q) != "/")) return "exactComplete";
    if (found->exactComplete && found->exact != plainExact)
        return "exact hits " + std::to_string(found->exact) + ", not " +
               std::to_string(plainExact);
    for (const size_t limit : {size_t{1}, size_t{3}}) {
        const std::optional<IndexedFind> best = source.findByNames(ids, q, limit);
        if (best->isWholeSearchsBest(limit) &&
            best->result.hits != plainSearch(ids, q, limit).hits)
            return "not the best " + std::to_string(limit);
    }
    return "";
}

struct Input {
    std::string name;
    std::string text;
};

// The graph files of the tests and the examples, the fuzz corpus, and a generated site with
// upper-case letters in its ids and labels on a third of its nodes.
std::vector<Input> inputs() {
    std::vector<Input> found;
    const fs::path source(ORVO_SOURCE_DIR);
    for (const fs::path& folder : {source / "tests/data", source / "examples", source / "fuzz/corpus"}) {
        if (!fs::is_directory(folder)) continue;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder))
            if (entry.is_regular_file() && (folder.filename() == "corpus" ||
                                            entry.path().extension() == ".graph"))
                found.push_back({entry.path().string(), testing::readWholeFile(entry.path())});
    }
    // More id text than the writer reads at a time (1.2 MB).
    std::string longIds = "0 http://long.org/ 1 html main\n";
    for (int i = 0; i < 6000; ++i)
        longIds += " 1 http://long.org/" + std::string(180 + i % 50, char('a' + i % 26)) + "/p" +
                   std::to_string(i) + ".html 1 html main\n";
    found.push_back({"long ids", longIds});
    SiteOptions options;
    options.nodes = 6000;
    options.seed = 3;
    std::string site = generateSiteGraph(options);
    for (size_t at = 0; (at = site.find("/a", at)) != std::string::npos; at += 2) site[at + 1] = 'A';
    found.push_back({"generated site", site});
    return found;
}

void labelSome(Graph& g) {
    if (g.hasLabels() || g.nodes.size() < 1000) return;
    std::mt19937 random(11);
    const char* words[] = {"Python", "lib", "about", "HTML", "Index", ".png", "caf\xc3\xa9"};
    for (size_t i = 0; i < g.nodes.size(); i += 3)
        g.setLabel(*g.nodes[i], std::string(words[random() % 7]) + " " + std::to_string(i % 50) +
                                    "-" + words[random() % 7]);
}

TEST(NameIndex, FindsWhatThePlainScanFinds) {
    size_t maps = 0, queries = 0;
    for (const Input& input : inputs()) {
        ViewerSettings settings;
        Graph g(settings);
        if (!testing::readText(g, input.text) || g.nodes.empty()) continue;
        labelSome(g);
        const std::string map = mapBytes(g, true), plain = mapBytes(g, false);
        EXPECT_GT(plain.size(), 0u);
        EXPECT_LT(plain.size(), map.size());
        MapRegionSource source, scanned;
        ASSERT_EQ(source.openBytes(bytesOf(map), map.size()), "") << input.name;
        ASSERT_EQ(scanned.openBytes(bytesOf(plain), plain.size()), "");
        ASSERT_TRUE(source.hasNameIndex()) << input.name;
        ASSERT_FALSE(scanned.hasNameIndex());
        EXPECT_EQ(source.nameIndexNote(), "");
        EXPECT_FALSE(scanned.findByNames(scanned.idTextSpans(), "a", 5));
        ++maps;
        // One segment entry a node, one label entry a label key, buckets for an eighth of them.
        uint64_t labelEntries = 0;
        std::vector<std::string_view> keys;
        for (const Node* n : g.nodes) {
            const std::string folded = foldQuery(g.labelOf(*n));
            if (folded.empty()) continue;
            labelKeys(folded, keys);
            labelEntries += keys.size();
        }
        const auto [at, size] = testing::MapBytes(map).section(MapSection::NameIndex);
        const unsigned char* head = bytesOf(map) + at;
        EXPECT_EQ(loadLittle<uint64_t>(head + kNamesLabelEntriesAt), labelEntries) << input.name;
        const uint64_t segmentBuckets = loadLittle<uint32_t>(head + kNamesSegmentBucketsAt);
        const uint64_t labelBuckets = loadLittle<uint32_t>(head + kNamesLabelBucketsAt);
        EXPECT_TRUE(segmentBuckets >= g.nodes.size() / 8 && segmentBuckets <= g.nodes.size() / 4 + 1);
        EXPECT_TRUE(labelBuckets >= labelEntries / 8 && labelBuckets <= labelEntries / 4 + 1);
        EXPECT_EQ(size, kNamesHeadBytes + 4 * (segmentBuckets + labelBuckets + 2) +
                            kNamesEntryBytes * (g.nodes.size() + labelEntries));
        const IdTextSpans ids = source.idTextSpans();
        std::mt19937 random(5);
        // Every node of a small graph; a sample of a large one, with the words everyone shares.
        std::vector<std::string> asked{"/", "zzzz-none", "index.html", "HTML", "http"};
        const size_t step = g.nodes.size() > 500 ? 41 : 1;
        for (size_t i = 0; i < g.nodes.size(); i += step) {
            std::vector<std::string> more =
                queriesOf(g.nodes[i]->id, g.labelOf(*g.nodes[i]), random);
            asked.insert(asked.end(), more.begin(), more.end());
        }
        for (const std::string& q : asked) {
            ++queries;
            EXPECT_EQ(disagreement(source, ids, q), "") << input.name << ": " << q;
        }
        // Whole ids are found where they are, absent ones nowhere, as the scan of the map
        // without an index finds them: ids in another case, ids that only share a node's
        // segment or path.
        for (size_t i = 0; i < g.nodes.size(); ++i) {
            const std::string id(g.nodes[i]->id);
            ASSERT_EQ(source.findNode(id), int64_t(i)) << input.name << ": " << id;
            if (g.nodes.size() > 500 && i % 37 != 0) continue;  // the scans are slow
            for (const std::string& other :
                 {foldQuery(id) == id ? id + "X" : foldQuery(id), id + "/", "x" + id,
                  std::string(pathLabelOf(id)), std::string(lastSegmentOf(id))})
                ASSERT_EQ(source.findNode(other), scanned.findNode(other))
                    << input.name << ": " << other;
        }
    }
    EXPECT_GT(maps, 20u);
    EXPECT_GT(queries, 2000u);
}

// The keys a node is filed under, and those a query is looked up by.
TEST(NameIndex, KeysAreTheNodesOwn) {
    const struct {
        const char* id;
        const char* own;
    } segments[] = {
        {"http://h.org/a/b/page.html", "page.html"}, {"http://h.org/a/b/", "b"},
        {"http://h.org/", "h.org"},                  {"http://h.org", "h.org"},
        {"plain", "plain"},                          {"/", "/"},
        {"//", "//"},                                {"/top", "top"},
        {"a/b//", "b"},                              {"http://h/a/b///", "b"},
    };
    for (const auto& c : segments) EXPECT_EQ(ownSegmentOf(c.id), c.own) << c.id;
    std::vector<std::string_view> keys;
    labelKeys("big  caf\xc3\xa9, big-top 2", keys);
    EXPECT_EQ(keys, (std::vector<std::string_view>{"big  caf\xc3\xa9, big-top 2", "big",
                                                   "caf\xc3\xa9", "top", "2"}));
    // Bytes above 127 (0x80 among them) are parts of words; so are the ends of the ASCII ranges.
    labelKeys("\xc3\x80z 09 quiz", keys);
    EXPECT_EQ(keys, (std::vector<std::string_view>{"\xc3\x80z 09 quiz", "\xc3\x80z", "09", "quiz"}));
    const std::string_view cut = std::string_view("ab cd").substr(0, 4);  // the words end with it
    labelKeys(cut, keys);
    EXPECT_EQ(keys, (std::vector<std::string_view>{"ab c", "ab", "c"}));
    labelKeys("one", keys);
    EXPECT_EQ(keys, std::vector<std::string_view>{"one"});
    std::string many;
    for (int i = 0; i < 40; ++i) many += "w" + std::to_string(i) + " ";
    labelKeys(many, keys);
    ASSERT_EQ(keys.size(), kMaxLabelWords + 1);
    EXPECT_EQ(keys.back(), "w31");
    EXPECT_TRUE(isSegmentOrShortForm("page", "page"));
    EXPECT_TRUE(isSegmentOrShortForm("/page", "page"));
    EXPECT_FALSE(isSegmentOrShortForm("x/page", "page"));
    EXPECT_FALSE(isSegmentOrShortForm("/pag", "page"));
}

// The index's own fields made wrong, its checksum made right: a head that does not fit the map
// leaves the index unused, with the reason; bucket starts and entries out of bounds are passed
// over. Either way every id is still found where it is, or (an entry lost) not at all, never
// at another node, and nothing reads outside the section.
TEST(NameIndex, ADamagedIndexIsRefusedOrPassedOver) {
    ViewerSettings settings;
    Graph g(settings);
    SiteOptions options;
    options.nodes = 3000;
    ASSERT_TRUE(testing::readText(g, generateSiteGraph(options)));
    labelSome(g);
    const std::string whole = mapBytes(g, true);
    const uint64_t n = g.nodes.size();
    const auto [at, size] = testing::MapBytes(whole).section(MapSection::NameIndex);
    ASSERT_GT(size, kNamesHeadBytes);
    const auto segmentBuckets = loadLittle<uint32_t>(bytesOf(whole) + at + kNamesSegmentBucketsAt);
    const uint64_t firstStart = at + kNamesHeadBytes;
    const uint64_t firstEntry = firstStart + 4 * (segmentBuckets + 1 +
                                loadLittle<uint32_t>(bytesOf(whole) + at + kNamesLabelBucketsAt) + 1);
    const struct {
        const char* name;
        uint64_t offset;  // into the file
        std::vector<unsigned char> bytes;
        const char* note;  // "" when the index stays in use
    } cases[] = {
        {"node count", at + kNamesNodesAt, {0x01}, "its node count is not the map's"},
        {"segment entries", at + kNamesSegmentEntriesAt, {0x02}, "its node count is not the map's"},
        {"segment buckets", at + kNamesSegmentBucketsAt, {0x03}, "no powers of two"},
        {"no label buckets", at + kNamesLabelBucketsAt, {0, 0, 0, 0}, "no powers of two"},
        {"label entries", at + kNamesLabelEntriesAt, {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f},
         "its size is not what its counts give"},
        {"more label entries", at + kNamesLabelEntriesAt, {0x05}, "its size is not what"},
        {"huge buckets", at + kNamesSegmentBucketsAt, {0, 0, 0, 0x80}, "its size is not what"},
        {"a start past the end", firstStart + 4 * (segmentBuckets / 2), {0xff, 0xff, 0xff, 0x7f}, ""},
        {"starts backwards", firstStart + 4 * segmentBuckets, {0x00, 0x00, 0x00, 0x00}, ""},
        {"label entries past 2^64 bytes", at + kNamesLabelEntriesAt + 7, {0x20},
         "its size is not what"},
        {"an entry's node", firstEntry + 8 * 5, {0xfe, 0xff, 0xff, 0xff}, ""},
        {"an entry's node, the count", firstEntry + 8 * 6,
         {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)}, ""},
        {"a label entry's node, the count", firstEntry + 8 * (n + 2),
         {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)}, ""},
        {"an entry's check", firstEntry + 8 * 9 + 4, {0x12, 0x34}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::MapBytes map(whole);
        std::copy(c.bytes.begin(), c.bytes.end(), map.data() + c.offset);
        map.seal();
        MapRegionSource source;
        ASSERT_EQ(source.openBytes(map.data(), map.size()), "");
        EXPECT_EQ(source.hasNameIndex(), std::string(c.note).empty());
        if (*c.note != '\0') {
            EXPECT_NE(source.nameIndexNote().find(c.note), std::string::npos)
                << source.nameIndexNote();
            EXPECT_NE(source.nameIndexNote().find("name index section is damaged"),
                      std::string::npos);
        }
        // The index alone gives only nodes of the map, whatever its entries say.
        NameIndex index;
        if (index.open(map.data() + at, size, n).empty()) {
            std::vector<uint32_t> candidates;
            std::vector<std::string_view> keys;
            for (size_t i = 0; i < n; ++i) {
                const std::string label = foldQuery(g.labelOf(*g.nodes[i]));
                labelKeys(label, keys);
                keys.push_back(g.nodes[i]->id);
                for (const std::string_view q : keys) {
                    index.candidates(foldQuery(q), candidates);
                    for (const uint32_t c : candidates) ASSERT_LT(c, n) << q;
                }
            }
        }
        size_t lost = 0;
        for (size_t i = 0; i < g.nodes.size(); ++i) {
            const int64_t found = source.findNode(g.nodes[i]->id);
            ASSERT_TRUE(found == int64_t(i) || found == -1) << g.nodes[i]->id;
            lost += found == -1;
        }
        EXPECT_LE(lost, segmentBuckets > 0 ? g.nodes.size() / 4 : 0u);
        const IdTextSpans ids = source.idTextSpans();
        for (const char* q : {"index.html", "/", "a"}) {
            if (const std::optional<IndexedFind> f = source.findByNames(ids, q, 50)) {
                for (const SearchHit& h : f->result.hits) ASSERT_LT(size_t(h.node), g.nodes.size());
            }
        }
    }
    // Any byte changed without its checksum: the map is refused, as for any section.
    std::string altered = whole;
    altered[at + size / 2] ^= 0x20;
    MapRegionSource source;
    EXPECT_NE(source.openBytes(bytesOf(altered), altered.size())
                  .find("name index section is damaged (its checksum does not match)"),
              std::string::npos);
}

}  // namespace
}  // namespace orvo
