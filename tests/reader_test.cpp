// The reader: the outline cases of tests/data, every load flag of the move decision, reading on
// from a stream's position, progress.
#include <gtest/gtest.h>

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

// The graph the verdicts of tests/data/parent_choice.txt are asked on.
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
    const std::pair<std::string, int32_t> names[] = {{"NeverMove", NeverMove},
                                                     {"CompareComponents", CompareComponents},
                                                     {"ExtraField", ExtraField},
                                                     {"PreferAlphabetical", PreferAlphabetical},
                                                     {"SameTopAncestor", SameTopAncestor},
                                                     {"PreferShallower", PreferShallower}};
    EXPECT_TRUE(answersMatch("parent_choice.txt", [&](const std::string& question) {
        const Strings row = fields(question);
        settings.loadFlags = 0;
        std::string unknown = "+" + row[0] + "+";
        for (const auto& [name, flag] : names) {
            const size_t at = unknown.find("+" + name + "+");
            if (at == std::string::npos) continue;
            settings.loadFlags |= flag;
            unknown.erase(at, name.size() + 1);
        }
        if (unknown != "+" && unknown != "+none+") return "unknown flags " + unknown;
        return std::to_string(
            g.preferNewParent(g.findNode(row[1]), g.findNode(row[2]), row[3], std::stoi(row[4])));
    }));
}

// Records of every length straddle the 64 KiB read boundaries somewhere in a big file, and come
// out whole. The reader sizes its arrays from the bytes left in a seekable stream: it must read on
// from where the stream stood, and report the bytes consumed as it goes.
TEST(Reader, WholeRecordsAcrossChunksFromTheStreamsPositionWithProgress) {
    std::string text = "0 http://site/ 0 html main\n";
    std::vector<std::string> expected;
    for (int i = 0; text.size() < 700 * 1024; ++i) {
        expected.push_back("http://site/" + std::string(static_cast<size_t>(i % 900), 'p') +
                           std::to_string(i));
        text += "1 " + expected.back() + " 0 html main\n";
    }
    text += "1 " + std::string(1500, 'q') + " 0\n";  // a long one, too
    for (int i = 0; i < 3; ++i) text += "1 tail" + std::to_string(i) + " 0 html main\n";
    expected.insert(expected.end(), {"tail0", "tail1", "tail2"});
    ViewerSettings settings;
    Graph g(settings);
    std::vector<uint64_t> reports;
    std::istringstream in("not a record of this graph\n" + text);
    std::string skipped;
    std::getline(in, skipped);
    ASSERT_TRUE(g.reload(in, [&reports](uint64_t bytes) { reports.push_back(bytes); }));
    EXPECT_EQ(childIds(g.root), expected);
    for (const Node* n : g.nodes) EXPECT_EQ(g.groupsOf(*n).size(), 2u) << n->id;
    EXPECT_EQ(g.readStats.lines, g.nodes.size() + 1);  // the long one too, left out
    ASSERT_GE(reports.size(), 4u);
    for (size_t i = 1; i < reports.size(); ++i) EXPECT_GT(reports[i], reports[i - 1]);
    EXPECT_LE(reports.front(), 128u * 1024u);
    EXPECT_EQ(reports.back(), text.size());
}
