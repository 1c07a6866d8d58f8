// Finding nodes: the completion order, and the index, whole or half built, answering as the
// plain scan does on a large generated site.
#include "graph/node_search.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "graph/graph.h"
#include "tests/graph_test_support.h"
#include "tools/site_generator.h"

namespace orvo {
namespace {

// The number of matches, then each hit's id and rank (0 exact, 1 prefix, 2 substring).
std::string shown(const Graph& g, const SearchResult& r) {
    std::string text = std::to_string(r.total) + ":";
    for (const SearchHit& h : r.hits) {
        text += " " + std::string(g.nodes[h.node]->id) + "/" + std::to_string(int(h.rank));
    }
    return text;
}

TEST(NodeSearchTest, BestMatchesComeFirstAndLabelsCount) {
    ViewerSettings settings;
    Graph g(settings);
    // Ids that hold "about" in many ways; labels from the file: a node found by its label alone,
    // by both, or by either of its id and its label.
    ASSERT_TRUE(testing::readFile(g, testing::dataPath("node_search.graph")));
    NodeSearchIndex index;
    while (index.buildSome(g, 2)) {
    }
    EXPECT_TRUE(testing::answersMatch("node_search_cases.txt", [&](const std::string& question) {
        const testing::Strings f = testing::fields(question);
        const std::string fromIndex = shown(g, index.search(g, f[0], std::stoul(f[1])));
        const std::string plain = shown(g, plainSearch(g, f[0], std::stoul(f[1])));
        return fromIndex == plain ? fromIndex : "index " + fromIndex + ", plain scan " + plain;
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

    for (const std::string& q : queries) {
        const std::string plain = shown(g, plainSearch(g, q, 20));
        EXPECT_EQ(shown(g, whole.search(g, q, 20)), plain) << q;
        EXPECT_EQ(shown(g, half.search(g, q, 20)), plain) << q;
    }
}

}  // namespace
}  // namespace orvo
