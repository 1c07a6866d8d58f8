// The reader: the outline cases of tests/data (rules, fields, moves, malformed input), every load
// flag of the move decision, reading on from a stream's position, progress, the bundled example.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "glue/window_settings.h"
#include "graph/graph.h"
#include "graph_test_support.h"
#include "layout/layout.h"

using namespace orvo;
using namespace orvo::testing;

TEST(Reader, OutlineCases) {
    const std::vector<OutlineCase> cases = outlineCases();
    ASSERT_GE(cases.size(), 30u);
    for (const OutlineCase& c : cases) EXPECT_EQ(readOutcome(c), c.expected) << c.name;
}

// Rows: load flags, new parent, old parent (by id, "-" for none), the node's id, the record's
// extra value, and the verdict (1 move, 0 never, -1 open, -2 stay).
TEST(Reader, ParentChoice) {
    ViewerSettings settings;
    Graph g(settings);
    Node* r = g.addRecord(nullptr, "a://h/", 0, 0);
    Node* x = g.addRecord(r, "a://h/x.html", 1, 3);
    g.addRecord(x, "a://h/d/f.html", 2, 0);
    Node* d = g.addRecord(r, "a://h/d/", 1, 5);
    g.addRecord(d, "a://h/d/e/", 2, 0);
    Node* o = g.addRecord(g.addRecord(r, "a://h/b/", 0, 0), "a://h/o/", 1, 0);
    g.addRecord(o, "a://h/d/g.html", 2, 0);
    Node* h = g.addRecord(r, "h", 0, 0);
    for (const char* id : {"h/h", "h/a", "h/z"}) g.addRecord(h, id, 1, 0);
    Node* p = g.addRecord(r, "p", 0, 0);
    g.addRecord(p, "ab", 1, 0);
    g.addRecord(g.addRecord(p, "abc", 1, 0), "leaf", 2, 0);
    g.addRecord(p, "\xff", 1, 0);
    const std::string f = "a://h/d/f.html";
    struct Row {
        int32_t flags;
        std::string newParent, oldParent, id;
        int32_t extra, verdict;
    };
    const Row rows[] = {
        {CompareComponents, "a://h/d/", "a://h/x.html", f, 0, 1},
        {CompareComponents | NeverMove, "a://h/d/", "a://h/x.html", f, 0, 0},
        {CompareComponents, "a://h/d/", "-", f, 0, 0},
        {CompareComponents, "-", "a://h/x.html", f, 0, 0},
        {CompareComponents, "a://h/d/", "a://h/x.html", "", 0, 0},
        // The walk: the old parent still matches where the new one does not, neither matches.
        {CompareComponents, "a://h/x.html", "a://h/d/", f, 0, -2},
        {CompareComponents, "a://h/x.html", "a://h/", "a://h/d/", 0, -1},
        {0, "a://h/d/", "a://h/x.html", f, 0, -1},
        // Ids that run out agreeing: the last components compared decide alphabetically.
        {CompareComponents, "h/a", "h", "h/h", 0, -1},
        {CompareComponents | PreferAlphabetical, "h/a", "h", "h/h", 0, 1},
        {CompareComponents | PreferAlphabetical, "h/z", "h", "h/h", 0, -1},
        // Different level-0 ancestors, then the same one.
        {CompareComponents, "a://h/d/", "a://h/o/", "a://h/d/g.html", 0, 1},
        {CompareComponents | SameTopAncestor, "a://h/d/", "a://h/o/", "a://h/d/g.html", 0, 0},
        {CompareComponents | SameTopAncestor, "a://h/d/", "a://h/x.html", f, 0, 1},
        // The extra value against the new parent's link (5); the root has no link: open.
        {ExtraField, "a://h/d/", "a://h/x.html", f, 6, 1},
        {ExtraField, "a://h/d/", "a://h/x.html", f, 5, -1},
        {ExtraField, "a://h/d/", "a://h/x.html", f, 4, -2},
        {ExtraField, "a://h/", "a://h/x.html", f, 99, -1},
        {ExtraField | CompareComponents, "a://h/d/", "a://h/x.html", f, 4, 1},
        {ExtraField | PreferShallower, "a://h/d/", "a://h/d/e/", f, 5, 1},
        // Levels, only while the verdict is open.
        {PreferShallower, "a://h/d/", "a://h/d/e/", "a://h/d/g.html", 0, 1},
        {PreferShallower, "a://h/d/", "a://h/x.html", f, 0, -1},
        {PreferShallower, "a://h/d/e/", "a://h/d/", f, 0, -2},
        {PreferShallower | CompareComponents, "a://h/", "a://h/d/", f, 0, -2},
        // Whole ids without the walk; a proper prefix first; bytes compare unsigned.
        {PreferAlphabetical, "a://h/d/", "a://h/x.html", f, 0, 1},
        {PreferAlphabetical, "a://h/x.html", "a://h/d/", f, 0, -1},
        {PreferAlphabetical, "ab", "abc", "leaf", 0, 1},
        {PreferAlphabetical, "abc", "ab", "leaf", 0, -1},
        {PreferAlphabetical, "abc", "\xff", "leaf", 0, 1},
        {PreferAlphabetical, "\xff", "abc", "leaf", 0, -1},
        {PreferAlphabetical | PreferShallower, "a://h/x.html", "a://h/d/e/", "a://h/d/e/q", 0, 1},
        // A move under the node's own descendant would make a cycle.
        {PreferAlphabetical, "a://h/", "a://h/x.html", "a://h/d/", 0, 1},
        {PreferAlphabetical, "a://h/d/e/", "a://h/x.html", "a://h/d/", 0, -1},
    };
    for (const Row& row : rows) {
        settings.loadFlags = row.flags;
        EXPECT_EQ(g.preferNewParent(g.findNode(row.newParent), g.findNode(row.oldParent), row.id,
                                    row.extra),
                  row.verdict)
            << row.flags << " " << row.newParent << " " << row.oldParent << " " << row.id;
    }
}

// The reader sizes its arrays from the bytes left in a seekable stream; it must read from where
// the stream stood, not from its start, and not lose its place.
TEST(Reader, ReadsOnFromTheStreamsPosition) {
    ViewerSettings settings;
    Graph g(settings);
    std::istringstream in("not a record of this graph\n0 r 0\n1 a 0\n1 b 0\n");
    std::string first;
    std::getline(in, first);
    ASSERT_TRUE(readAndLayOut(g, in));
    EXPECT_EQ(g.readStats.lines, 3u);
    EXPECT_EQ(childIds(g.root), (Strings{"a", "b"}));
}

TEST(Reader, ReportsTheBytesConsumedAsTheReadGoesOn) {
    std::string text = "0 root 0 html\n";
    for (int i = 0; text.size() < 300 * 1024; ++i) {
        text += "1 http://host/page" + std::to_string(i) + ".html 0 html main\n";
    }
    ViewerSettings settings;
    Graph g(settings);
    std::vector<uint64_t> reports;
    std::istringstream in(text);
    ASSERT_TRUE(g.reload(in, [&reports](uint64_t bytes) { reports.push_back(bytes); }));
    ASSERT_GE(reports.size(), 4u);
    for (size_t i = 1; i < reports.size(); ++i) EXPECT_GT(reports[i], reports[i - 1]);
    EXPECT_LE(reports.front(), 128u * 1024u);
    EXPECT_EQ(reports.back(), text.size());
}

TEST(Reader, BundledExampleSite) {
    ViewerSettings settings;
    settings.loadFlags = kWindowLoadFlags;
    Graph g(settings);
    ASSERT_TRUE(readFile(g, std::string(ORVO_SOURCE_DIR) + "/examples/site.graph"));
    EXPECT_GT(g.nodes.size(), 1000u);
    ASSERT_EQ(checkGraphInvariants(g), "");
    size_t nonTree = 0, withKindOne = 0;
    for (const Node* n : g.nodes) {
        nonTree += n->outLinks.size();
        if (!g.groupOf(*n, 1).empty()) ++withKindOne;
    }
    EXPECT_GT(nonTree, 0u);
    EXPECT_EQ(withKindOne, g.nodes.size());
    EXPECT_NE(g.homeTransform().at(0, 0), 1.0);  // the file's position record was read
    const std::string dump = g.summaryAndDump();
    EXPECT_EQ(size_t(std::count(dump.begin(), dump.end(), '\n')), g.nodes.size() + nonTree);
}
