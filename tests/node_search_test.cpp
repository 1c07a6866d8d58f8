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

// A result as text: the number of matches, then each hit's id and rank (0 exact, 1 prefix,
// 2 substring).
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
    const std::pair<const char*, const char*> cases[] = {
        // Exact before prefix before substring, shorter first; the bare last component counts.
        {"About.Html",
         "5: ABOUT.HTML/0 http://a.org/about.html/0 http://a.org/team/about.html/0 "
         "http://a.org/about.htmlx/1 http://a.org/x/my-about.html/2"},
        // The path label (from the third '/') lifts a match to a prefix.
        {"/team", "1: http://a.org/team/about.html/1"},
        {"team", "1: http://a.org/team/about.html/2"},
        // A limit keeps the best ones and still counts all.
        {"a.org", "6: http://a.org//2 http://a.org/x/about/2"},
        {"", "0:"},
        {"nowhere", "0:"},
        {"a\norg", "0:"},
        {"htmlxhttp", "0:"},  // never across the boundary of two ids
    };
    for (const auto& [query, expected] : cases) {
        const size_t limit = std::string(query) == "a.org" ? 2 : 10;
        EXPECT_EQ(shown(g, index.search(g, query, limit)), expected) << query;
        EXPECT_EQ(shown(g, plainSearch(g, query, limit)), expected) << query;
    }
    EXPECT_EQ(index.search(g, "org/", 10).total, 6u);
}

// The outline with every fifth id (by its hash) given upper-case letters, the same way at each
// of its records.
std::string withSomeIdsInUpperCase(const std::string& outline) {
    std::string out;
    size_t lineStart = 0;
    while (lineStart < outline.size()) {
        size_t lineEnd = outline.find('\n', lineStart);
        if (lineEnd == std::string::npos) lineEnd = outline.size();
        std::string line = outline.substr(lineStart, lineEnd - lineStart);
        const size_t idStart = line.find(' ', line.find_first_not_of(' ')) + 1;
        const size_t idEnd = line.find(' ', idStart);
        if (idStart > 0 && idEnd != std::string::npos &&
            std::hash<std::string>()(line.substr(idStart, idEnd - idStart)) % 5 == 0) {
            for (size_t k = idStart; k < idEnd; k += 3)
                if (line[k] >= 'a' && line[k] <= 'z') line[k] = static_cast<char>(line[k] - 32);
        }
        out += line + '\n';
        lineStart = lineEnd + 1;
    }
    return out;
}

TEST(NodeSearchTest, TheIndexAnswersAsThePlainScanOnALargeSite) {
    SiteOptions options;
    options.nodes = 100000;
    options.seed = 42;
    ViewerSettings settings;
    Graph g(settings);
    ASSERT_TRUE(testing::readText(g, withSomeIdsInUpperCase(generateSiteGraph(options))));
    ASSERT_EQ(g.nodes.size(), 100000u);
    size_t upperCaseIds = 0;
    for (const Node* n : g.nodes) upperCaseIds += foldQuery(n->id) != n->id;
    EXPECT_GT(upperCaseIds, 15000u);
    EXPECT_LT(upperCaseIds, 25000u);

    // Queries: pieces of random ids in random case, whole ids, very common and absent text.
    std::mt19937 random(7);
    std::vector<std::string> queries{"a",    "/",    "http",      ".html",
                                     "HTML", "www.", "zzzz-none", "\xff"};
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

    NodeSearchIndex half, whole;
    half.buildSome(g, 37123);
    ASSERT_EQ(half.indexed(), 37123u);
    while (whole.buildSome(g, 10000)) {
    }
    ASSERT_TRUE(whole.complete(g));
    // The index copies only the ids with upper-case letters; the others it finds in the graph.
    size_t copiedBytes = 0;
    for (const Node* n : g.nodes)
        if (foldQuery(n->id) != n->id) copiedBytes += n->id.size() + 1 + sizeof(uint32_t);
    EXPECT_LE(whole.memoryBytes(), copiedBytes + 6 * g.nodes.size());

    for (const std::string& q : queries) {
        const std::string plain = shown(g, plainSearch(g, q, 20));
        EXPECT_EQ(shown(g, whole.search(g, q, 20)), plain) << q;
        EXPECT_EQ(shown(g, half.search(g, q, 20)), plain) << q;
    }
}

}  // namespace
}  // namespace orvo
