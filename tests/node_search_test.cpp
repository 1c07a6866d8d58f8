// Finding nodes: the completion order, and the index, whole or half built, answering as the
// plain scan does on a large generated site; the same index over a map's id text, mapped,
// answering as the plain scan of the graph the map was written from.
#include "graph/node_search.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "graph/graph.h"
#include "graph/node_measures.h"
#include "mapfile/map_region.h"
#include "mapfile/map_writer.h"
#include "tests/graph_test_support.h"
#include "tests/test_files.h"
#include "tools/site_generator.h"

namespace orvo {
namespace {

// The number of matches, then each hit's id and rank (0 exact, 1 prefix, 2 substring).
std::string shown(const std::function<std::string_view(size_t)>& idOf, const SearchResult& r) {
    std::string text = std::to_string(r.total) + ":";
    for (const SearchHit& h : r.hits)
        text += " " + std::string(idOf(size_t(h.node))) + "/" + std::to_string(int(h.rank));
    return text;
}
std::string shown(const Graph& g, const SearchResult& r) {
    return shown([&](size_t i) { return std::string_view(g.nodes[i]->id); }, r);
}
std::string shown(const IdTextSpans& ids, const SearchResult& r) {
    return shown([&](size_t i) { return ids.idOf(i); }, r);
}

// The graph written as a map (with the measures that let it open for regions) and opened so.
class MappedGraph {
public:
    explicit MappedGraph(const Graph& g) {
        const NodeMeasures measures = computeNodeMeasures(g);
        const std::string path = (dir_ / "g.orvomap").string();
        EXPECT_EQ(writeMapFile(path, g, g.settings, &measures), "");
        EXPECT_EQ(source_.open(path), "");
        ids = source_.idTextSpans();
    }
    IdTextSpans ids;

private:
    testing::TempDir dir_;
    MapRegionSource source_;
};

// Searches of the map by the index built to `partly` nodes and whole, and, with `scans`, plainly
// and by the index unbuilt (whole scans, slow on a large map).
struct MapSearches {
    MapSearches(const IdTextSpans& ids, size_t partly, bool scans) : ids(ids), scans(scans) {
        part.buildSome(ids, partly);
        while (whole.buildSome(ids, 4096)) {
        }
        EXPECT_TRUE(whole.complete(ids));
    }
    // "" when all agree with `expected`, else what each gave.
    std::string differences(const std::string& expected, const std::string& q, size_t limit) {
        std::vector<std::pair<const char*, std::string>> answers{
            {"part", shown(ids, part.search(ids, q, limit))},
            {"whole", shown(ids, whole.search(ids, q, limit))}};
        if (scans) {
            answers.emplace_back("plain", shown(ids, plainSearch(ids, q, limit)));
            answers.emplace_back("unbuilt", shown(ids, none.search(ids, q, limit)));
        }
        std::string out;
        for (const auto& [name, answer] : answers)
            if (answer != expected) out += std::string(" map ") + name + " " + answer;
        return out;
    }
    const IdTextSpans& ids;
    bool scans;
    NodeSearchIndex none, part, whole;
};

TEST(NodeSearchTest, BestMatchesComeFirstAndLabelsCount) {
    ViewerSettings settings;
    Graph g(settings);
    // Ids that hold "about" in many ways; labels from the file: a node found by its label alone,
    // by both, or by either of its id and its label.
    ASSERT_TRUE(testing::readFile(g, testing::dataPath("node_search.graph")));
    NodeSearchIndex index;
    while (index.buildSome(g, 2)) {
    }
    const MappedGraph map(g);
    MapSearches mapSearches(map.ids, 5, true);
    EXPECT_TRUE(testing::answersMatch("node_search_cases.txt", [&](const std::string& question) {
        const testing::Strings f = testing::fields(question);
        const size_t limit = std::stoul(f[1]);
        const std::string fromIndex = shown(g, index.search(g, f[0], limit));
        const std::string plain = shown(g, plainSearch(g, f[0], limit));
        const std::string fromMap = mapSearches.differences(plain, f[0], limit);
        return fromIndex == plain && fromMap.empty()
                   ? fromIndex
                   : "index " + fromIndex + ", plain scan " + plain + fromMap;
    }));
}

TEST(NodeSearchTest, TheIndexAnswersAsThePlainScanOnALargeSite) {
    SiteOptions options;
    options.nodes = 100000;
    options.seed = 42;
    ViewerSettings settings;
    Graph g(settings);
    // Some ids given upper-case letters, the same way at each of their records.
    std::string outline = generateSiteGraph(options);
    for (size_t at = 0; (at = outline.find("/a", at)) != std::string::npos; at += 2)
        outline[at + 1] = 'A';
    ASSERT_TRUE(testing::readText(g, outline));
    ASSERT_EQ(g.nodes.size(), 100000u);
    // Every third node named by a label of its own, some of them parts of ids.
    std::mt19937 random(7);
    const std::vector<std::string> words{"Python", "lib", "about", "HTML", "Index", ".png"};
    for (size_t i = 0; i < g.nodes.size(); i += 3) {
        g.setLabel(*g.nodes[i], words[random() % words.size()] + " " + std::to_string(i) +
                                    words[random() % words.size()]);
    }

    // Queries: pieces of random ids and labels in random case, whole ids and labels, very common
    // and absent text.
    std::vector<std::string> queries{"a",    "/",    "http",      ".html",
                                     "HTML", "www.", "zzzz-none", "\xff"};
    for (int k = 0; k < 60; ++k) {
        const Node& n = *g.nodes[random() % g.nodes.size()];
        const std::string id(k % 3 == 0 && !g.labelOf(n).empty() ? g.labelOf(n) : n.id);
        const size_t start = random() % id.size();
        const size_t length = 1 + random() % std::min<size_t>(id.size() - start, 25);
        std::string q = id.substr(start, length);
        for (char& c : q) {
            if (random() % 3 == 0 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        }
        queries.push_back(q);
        if (k % 5 == 0) queries.push_back(id);
    }

    NodeSearchIndex half, whole;
    half.buildSome(g, 37123);
    ASSERT_EQ(half.indexed(), 37123u);
    while (whole.buildSome(g, 10000)) {
    }
    ASSERT_TRUE(whole.complete(g));
    // The index copies only the ids with upper-case letters; the others it finds in the graph.
    size_t copiedBytes = 0, upperCaseIds = 0;
    for (const Node* n : g.nodes) {
        if (foldQuery(n->id) != n->id) copiedBytes += n->id.size() + 1 + sizeof(uint32_t);
        upperCaseIds += foldQuery(n->id) != n->id;
        if (!g.labelOf(*n).empty()) copiedBytes += g.labelOf(*n).size() + 1 + sizeof(uint32_t);
    }
    EXPECT_TRUE(upperCaseIds > 20000 && upperCaseIds < 35000) << upperCaseIds;
    EXPECT_LE(whole.memoryBytes(), copiedBytes + 6 * g.nodes.size());

    // The map of the same graph, searched in place: only the folded copies and the labels are
    // held.
    const MappedGraph map(g);
    MapSearches mapSearches(map.ids, 90001, false);
    EXPECT_LE(mapSearches.whole.memoryBytes(), copiedBytes + g.nodes.size() / 8 + 64);

    for (const std::string& q : queries) {
        const std::string plain = shown(g, plainSearch(g, q, 20));
        EXPECT_EQ(shown(g, whole.search(g, q, 20)), plain) << q;
        EXPECT_EQ(shown(g, half.search(g, q, 20)), plain) << q;
        EXPECT_EQ(mapSearches.differences(plain, q, 20), "") << q;
    }
}

// Ids whose starts are out of order or run past the text, or that hold a line end (a damaged map
// that passed its checks), end the index where they start: the rest is scanned plainly, an id
// that cannot be cut out matching nothing, and the answers stay the plain scan's. One index
// serves every case, cleared in between.
TEST(NodeSearchTest, DamagedIdsAreScannedPlainly) {
    const std::string text = "alphabetaAlphagammaalphadelta";
    struct Case {
        const char* name;
        std::string text;
        std::vector<uint64_t> starts;
        const char* query;
        const char* expected;  // node 1 matches by its label
    };
    const Case cases[] = {
        {"in order", text, {0, 5, 9, 14, 19, 24, 29}, "alpha", "4: alpha/0 Alpha/0 alpha/0 beta/1"},
        {"one back", text, {0, 5, 9, 14, 12, 24, 29}, "alpha",
         "4: alpha/0 Alpha/0 beta/1 hagammaalpha/2"},
        {"past the end", text, {0, 5, 9, 14, 19, 24, 99}, "alpha",
         "4: alpha/0 Alpha/0 alpha/0 beta/1"},
        {"all past", text, {0, 5, 9, 99, 19, 24, 29}, "alpha", "3: alpha/0 alpha/0 beta/1"},
        {"a line end", "a\nbbetaAl\nhagammaalphadelta", {0, 5, 9, 14, 19, 24, 29}, "a\nb",
         "1: a\nbbe/1"},
        {"a line end folded", "alphabetaAl\nhaGAmmaalphadelta", {0, 5, 9, 14, 19, 24, 29}, "AMMA",
         "1: GAmma/2"},
    };
    NodeSearchIndex index;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<unsigned char> starts(c.starts.size() * 8);
        std::memcpy(starts.data(), c.starts.data(), starts.size());
        IdTextSpans ids{c.text, starts.data(), uint32_t(c.starts.size() - 1), {}};
        ids.labels = {{1, "Alpha Two"}, {5, "last"}};
        const std::string plain = shown(ids, plainSearch(ids, c.query, 10));
        EXPECT_EQ(plain, c.expected);
        for (const size_t step : {1, 2, 100}) {
            index.clear();
            EXPECT_EQ(shown(ids, index.search(ids, c.query, 10)), plain) << "unbuilt";
            size_t steps = 0;
            while (index.buildSome(ids, step) && ++steps < 100) {
            }
            EXPECT_TRUE(index.complete(ids));
            EXPECT_EQ(shown(ids, index.search(ids, c.query, 10)), plain) << step;
            EXPECT_EQ(shown(ids, index.search(ids, "LAST", 10)),
                      shown(ids, plainSearch(ids, "LAST", 10)));
        }
    }
}

}  // namespace
}  // namespace orvo
