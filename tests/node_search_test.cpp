// Finding nodes: the completion order (exact, prefix, substring; shorter first; labels count),
// and the index answering exactly as the plain scan does on a large generated site, whole or
// half built.
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

std::vector<std::string> idsOf(const Graph& g, const SearchResult& r) {
    std::vector<std::string> ids;
    for (const SearchHit& h : r.hits) ids.emplace_back(g.nodes[h.node]->id);
    return ids;
}

TEST(NodeSearchTest, BestMatchesComeFirstAndLabelsCount) {
    ViewerSettings settings;
    Graph g(settings);
    ASSERT_TRUE(testing::readText(g,
                                  "0 http://a.org/ 1 html main\n"
                                  " 1 http://a.org/about.htmlx 1 html main\n"
                                  " 1 http://a.org/team/about.html 1 html main\n"
                                  " 1 http://a.org/x/my-about.html 1 html main\n"
                                  " 1 http://a.org/about.html 1 html main\n"
                                  " 1 ABOUT.HTML 1 html main\n"
                                  " 1 http://a.org/x/about 1 html main\n"));
    NodeSearchIndex index;
    while (index.buildSome(g, 2)) {
    }
    for (const SearchResult& r : {plainSearch(g, "About.Html", 10), index.search(g, "About.Html", 10)}) {
        EXPECT_EQ(idsOf(g, r),
                  (std::vector<std::string>{"ABOUT.HTML", "http://a.org/about.html",
                                            "http://a.org/team/about.html",
                                            "http://a.org/about.htmlx",
                                            "http://a.org/x/my-about.html"}));
        ASSERT_EQ(r.hits.size(), 5u);
        EXPECT_EQ(r.hits[0].rank, MatchRank::Exact);
        EXPECT_EQ(r.hits[2].rank, MatchRank::Exact) << "the bare last component equals the query";
        EXPECT_EQ(r.hits[3].rank, MatchRank::Prefix);
        EXPECT_EQ(r.hits[4].rank, MatchRank::Substring);
        EXPECT_EQ(r.total, 5u);
    }

    // The path label (from the third '/') lifts a match to a prefix: "/team" is a prefix of
    // "/team/about.html", while "team" lies inside it only.
    SearchResult team = index.search(g, "/team", 10);
    ASSERT_EQ(team.hits.size(), 1u);
    EXPECT_EQ(team.hits[0].rank, MatchRank::Prefix);
    EXPECT_EQ(index.search(g, "team", 10).hits[0].rank, MatchRank::Substring);

    // A limit keeps the best ones and still counts all; nothing for empty or absent queries.
    SearchResult two = index.search(g, "a.org", 2);
    EXPECT_EQ(two.total, 6u);
    EXPECT_EQ(idsOf(g, two), (std::vector<std::string>{"http://a.org/", "http://a.org/x/about"}));
    EXPECT_EQ(index.search(g, "", 10).total, 0u);
    EXPECT_EQ(index.search(g, "nowhere", 10).total, 0u);
    EXPECT_EQ(index.search(g, "a\norg", 10).total, 0u);
    // A query spanning two ids of the index never matches across their boundary.
    EXPECT_EQ(index.search(g, "htmlxhttp", 10).total, 0u);
    EXPECT_EQ(index.search(g, "org/", 10).total, 6u);
}

TEST(NodeSearchTest, TheIndexAnswersAsThePlainScanOnALargeSite) {
    SiteOptions options;
    options.nodes = 100000;
    options.seed = 42;
    ViewerSettings settings;
    Graph g(settings);
    ASSERT_TRUE(testing::readText(g, generateSiteGraph(options)));
    ASSERT_EQ(g.nodes.size(), 100000u);

    // Queries: pieces of random ids in random case, whole ids, very common and absent text.
    std::mt19937 random(7);
    std::vector<std::string> queries{"a", "/", "http", ".html", "HTML", "www.", "zzzz-none", "\xff"};
    for (int k = 0; k < 40; ++k) {
        const std::string id(g.nodes[random() % g.nodes.size()]->id);
        const size_t start = random() % id.size();
        const size_t length = 1 + random() % std::min<size_t>(id.size() - start, 25);
        std::string q = id.substr(start, length);
        for (char& c : q) {
            if (random() % 3 == 0 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        }
        queries.push_back(q);
        if (k % 5 == 0) queries.push_back(id);
    }

    size_t idBytes = 0;
    for (const Node* n : g.nodes) idBytes += n->id.size();
    EXPECT_EQ(g.idBytes(), idBytes);

    NodeSearchIndex half, whole;
    half.buildSome(g, 37123);
    ASSERT_EQ(half.indexed(), 37123u);
    // The first step makes room for the whole text, which then never moves: a growing text
    // would hold two copies at once while it moved.
    const size_t wholeText = idBytes + g.nodes.size();
    EXPECT_GE(half.memoryBytes(), wholeText);
    while (whole.buildSome(g, 10000)) {
    }
    ASSERT_TRUE(whole.complete(g));
    EXPECT_LE(whole.memoryBytes(), wholeText + (g.nodes.size() / 16 + 1) * sizeof(uint32_t));

    for (const std::string& q : queries) {
        const SearchResult plain = plainSearch(g, q, 20);
        const SearchResult fast = whole.search(g, q, 20);
        const SearchResult mixed = half.search(g, q, 20);
        EXPECT_EQ(fast.total, plain.total) << q;
        EXPECT_EQ(fast.hits, plain.hits) << q;
        EXPECT_EQ(mixed.total, plain.total) << q;
        EXPECT_EQ(mixed.hits, plain.hits) << q;
    }
    // A whole id is found, first unless a shorter id equals it too.
    const std::string some(g.nodes[12345]->id);
    const SearchResult exact = whole.search(g, some, 5);
    ASSERT_FALSE(exact.hits.empty());
    EXPECT_EQ(exact.hits[0].rank, MatchRank::Exact);
    EXPECT_EQ(g.nodes[exact.hits[0].node]->id, some);
}

}  // namespace
}  // namespace orvo
