// The reader: the worked example and the move example, every load flag of the move decision,
// the component walk, the outline rules and the field rules of the format.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "glue/window_settings.h"
#include "graph/graph.h"
#include "graph_invariants.h"
#include "graph_test_support.h"
#include "layout/layout.h"

using namespace orvo;
using namespace orvo::testing;

namespace {

std::vector<std::string> groupsOf(const Graph& g, const Node* n) {
    std::vector<std::string> names;
    for (GroupNameId id : g.groupsOf(*n)) names.emplace_back(g.groupName(id));
    return names;
}

}  // namespace

TEST(Reader, WorkedExample) {
    ViewerSettings settings;
    settings.loadFlags = kWindowLoadFlags;
    Graph g(settings);
    ASSERT_TRUE(readFile(g, dataPath("worked_example.graph")));
    ASSERT_EQ(g.nodes.size(), 5u);
    ASSERT_EQ(g.links.size(), 6u);
    EXPECT_EQ(g.topNodeIndex(), 0);
    EXPECT_EQ(g.root, g.nodes[0]);
    const Strings ids = {"a://h/", "a://h/x.html", "a://h/y.gif", "a://h/d/", "a://h/d/y.gif"};
    for (size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(g.nodes[i]->id, ids[i]);
    EXPECT_EQ(childIds(g.nodes[0]), (Strings{"a://h/x.html", "a://h/d/"}));
    EXPECT_EQ(childIds(g.nodes[1]), Strings{"a://h/y.gif"});
    EXPECT_EQ(childIds(g.nodes[3]), Strings{"a://h/d/y.gif"});
    EXPECT_TRUE(g.nodes[2]->children.empty());
    EXPECT_EQ(g.nodes[3]->level, 1);
    EXPECT_EQ(g.nodes[4]->level, 2);

    const Strings linkIds = {"a://h/|a://h/x.html",    "a://h/x.html|a://h/y.gif",
                             "a://h/x.html|a://h/",    "a://h/|a://h/d/",
                             "a://h/d/|a://h/d/y.gif", "a://h/x.html|a://h/d/"};
    const std::vector<int> flags = {6, 6, 0, 6, 6, 0};
    for (size_t i = 0; i < linkIds.size(); ++i) {
        EXPECT_EQ(g.links[i]->linkId(), linkIds[i]) << i;
        EXPECT_EQ(g.links[i]->flags, flags[i]) << i;
    }
    EXPECT_EQ(std::vector<Link*>(g.nodes[1]->outLinks.begin(), g.nodes[1]->outLinks.end()),
              (std::vector<Link*>{g.links[2], g.links[5]}));
    EXPECT_EQ(std::vector<Link*>(g.nodes[0]->inLinks.begin(), g.nodes[0]->inLinks.end()),
              std::vector<Link*>{g.links[2]});
    EXPECT_EQ(std::vector<Link*>(g.nodes[3]->inLinks.begin(), g.nodes[3]->inLinks.end()),
              std::vector<Link*>{g.links[5]});
    EXPECT_EQ(groupsOf(g, g.nodes[2]), (Strings{"image", "main"}));
    for (const Node* n : g.nodes) EXPECT_EQ(n->flags, Shown);
    const ProjTransform identity = ProjTransform::identity();
    for (int i = 0; i < 16; ++i) EXPECT_EQ(g.homeTransform().m[i], identity.m[i]);
    EXPECT_EQ(checkGraphInvariants(g), "");
}

TEST(Reader, MoveExample) {
    ViewerSettings settings;
    settings.loadFlags = kWindowLoadFlags;
    Graph g(settings);
    ASSERT_TRUE(readFile(g, dataPath("move_example.graph")));
    Node* f = g.findNode("a://h/d/f.html");
    Node* x = g.findNode("a://h/x.html");
    Node* d = g.findNode("a://h/d/");
    ASSERT_TRUE(f && x && d);
    EXPECT_EQ(f->parent, d);
    EXPECT_EQ(f->level, d->level + 1);
    EXPECT_TRUE(x->children.empty());
    EXPECT_EQ(childIds(d), Strings{"a://h/d/f.html"});
    // The old tree link stays as a hidden non-tree link from the old parent.
    ASSERT_EQ(x->outLinks.size(), 1u);
    Link* old = x->outLinks[0];
    EXPECT_EQ(old->index, 1);
    EXPECT_EQ(old->flags, 0);
    EXPECT_EQ(old->toNode, f);
    EXPECT_EQ(std::vector<Link*>(f->inLinks.begin(), f->inLinks.end()), std::vector<Link*>{old});
    EXPECT_EQ(f->parentLink->linkId(), "a://h/d/|a://h/d/f.html");
    EXPECT_EQ(f->parentLink->flags, Enabled | Shown);
    EXPECT_EQ(f->parentLink->index, 3);
    EXPECT_EQ(checkGraphInvariants(g), "");

    // With NeverMove added the same file keeps the node where it was first listed.
    settings.loadFlags = kWindowLoadFlags | NeverMove;
    ASSERT_TRUE(readFile(g, dataPath("move_example.graph")));
    f = g.findNode("a://h/d/f.html");
    EXPECT_EQ(f->parent->id, "a://h/x.html");
    ASSERT_EQ(f->inLinks.size(), 1u);
    EXPECT_EQ(f->inLinks[0]->fromNode->id, "a://h/d/");
    EXPECT_EQ(f->inLinks[0]->flags, 0);
    EXPECT_EQ(checkGraphInvariants(g), "");
}

// A small tree built record by record, with levels chosen freely:
//   r a://h/ (0) -> x a://h/x.html (1) -> f a://h/d/f.html (2)
//   r -> d a://h/d/ (1) -> e a://h/d/e/ (2)
//   r -> b a://h/b/ (0) -> o a://h/o/ (1) -> g a://h/d/g.html (2)
class ParentChoice : public ::testing::Test {
protected:
    void SetUp() override {
        r = g.addRecord(nullptr, "a://h/", 0, 0);
        x = g.addRecord(r, "a://h/x.html", 1, 3);
        f = g.addRecord(x, "a://h/d/f.html", 2, 0);
        d = g.addRecord(r, "a://h/d/", 1, 5);
        e = g.addRecord(d, "a://h/d/e/", 2, 0);
        b = g.addRecord(r, "a://h/b/", 0, 0);
        o = g.addRecord(b, "a://h/o/", 1, 0);
        gg = g.addRecord(o, "a://h/d/g.html", 2, 0);
    }
    int prefer(int flags, const Node* newParent, const Node* oldParent, std::string_view id,
               int32_t extra = 0) {
        settings.loadFlags = flags;
        return g.preferNewParent(newParent, oldParent, id, extra);
    }
    ViewerSettings settings;
    Graph g{settings};
    Node *r, *x, *f, *d, *e, *b, *o, *gg;
};

TEST_F(ParentChoice, NeverMoveAndMissingArguments) {
    EXPECT_EQ(prefer(CompareComponents, d, x, f->id), 1);
    EXPECT_EQ(prefer(CompareComponents | NeverMove, d, x, f->id), 0);
    EXPECT_EQ(prefer(CompareComponents, d, nullptr, f->id), 0);
    EXPECT_EQ(prefer(CompareComponents, nullptr, x, f->id), 0);
    EXPECT_EQ(prefer(CompareComponents, d, x, ""), 0);
}

TEST_F(ParentChoice, CompareComponents) {
    // Old parent stops matching where the new one still matches: move.
    EXPECT_EQ(prefer(CompareComponents, d, x, "a://h/d/f.html"), 1);
    // Old parent still matches where the new one does not: stay.
    EXPECT_EQ(prefer(CompareComponents, x, d, "a://h/d/f.html"), -2);
    // Neither matches: open.
    EXPECT_EQ(prefer(CompareComponents, x, r, "a://h/d/"), -1);
    // Without the walk, and without other bits, the outcome stays open.
    EXPECT_EQ(prefer(0, d, x, "a://h/d/f.html"), -1);
    // Both the old parent's and the node's ids run out while agreeing: open, and the last
    // components compared ("h" of the old parent, "a" of the new one) decide alphabetically.
    Graph h(settings);
    Node* hr = h.addRecord(nullptr, "h", 0, 0);
    Node* hn = h.addRecord(hr, "h/h", 1, 0);
    Node* hp = h.addRecord(hr, "h/a", 1, 0);
    Node* hq = h.addRecord(hr, "h/z", 1, 0);
    settings.loadFlags = CompareComponents;
    EXPECT_EQ(h.preferNewParent(hp, hr, hn->id, 0), -1);
    settings.loadFlags = CompareComponents | PreferAlphabetical;
    EXPECT_EQ(h.preferNewParent(hp, hr, hn->id, 0), 1);
    EXPECT_EQ(h.preferNewParent(hq, hr, hn->id, 0), -1);
}

TEST_F(ParentChoice, SameTopAncestor) {
    // g sits below b (level 0), d below r: different level-0 ancestors.
    EXPECT_EQ(prefer(CompareComponents, d, o, gg->id), 1);
    EXPECT_EQ(prefer(CompareComponents | SameTopAncestor, d, o, gg->id), 0);
    // f sits below x, below r; d is below r too.
    EXPECT_EQ(prefer(CompareComponents | SameTopAncestor, d, x, f->id), 1);
}

TEST_F(ParentChoice, ExtraFieldAgainstTheNewParentsLink) {
    // d's parent link was made by a record with extra 5.
    EXPECT_EQ(prefer(ExtraField, d, x, f->id, 6), 1);
    EXPECT_EQ(prefer(ExtraField, d, x, f->id, 5), -1);
    EXPECT_EQ(prefer(ExtraField, d, x, f->id, 4), -2);
    // A new parent without a parent link (the root) leaves the outcome open.
    EXPECT_EQ(prefer(ExtraField, r, x, f->id, 99), -1);
    // The component walk replaces the extra field's verdict.
    EXPECT_EQ(prefer(ExtraField | CompareComponents, d, x, f->id, 4), 1);
    // An open extra verdict goes on to the level comparison.
    EXPECT_EQ(prefer(ExtraField | PreferShallower, d, e, f->id, 5), 1);
    EXPECT_EQ(d->parentLink->extra, 5);
    EXPECT_EQ(x->parentLink->extra, 3);
}

TEST_F(ParentChoice, PreferShallower) {
    EXPECT_EQ(prefer(PreferShallower, d, e, "a://h/d/g.html"), 1);  // level 1 < 2
    EXPECT_EQ(prefer(PreferShallower, d, x, f->id), -1);            // 1 = 1
    EXPECT_EQ(prefer(PreferShallower, e, d, f->id), -2);            // 2 > 1
    // Only when still open: a walk verdict of -2 stands.
    EXPECT_EQ(prefer(PreferShallower | CompareComponents, r, d, "a://h/d/f.html"), -2);
}

TEST_F(ParentChoice, PreferAlphabetical) {
    // Without the walk the whole ids are compared: "a://h/d/" sorts before "a://h/x.html".
    EXPECT_EQ(prefer(PreferAlphabetical, d, x, f->id), 1);
    EXPECT_EQ(prefer(PreferAlphabetical, x, d, f->id), -1);
    // A proper prefix sorts first; bytes compare unsigned.
    Graph h(settings);
    Node* hr = h.addRecord(nullptr, "p", 0, 0);
    Node* ab = h.addRecord(hr, "ab", 1, 0);
    Node* abc = h.addRecord(hr, "abc", 1, 0);
    Node* high = h.addRecord(hr, "\xff", 1, 0);
    Node* leaf = h.addRecord(abc, "leaf", 2, 0);
    settings.loadFlags = PreferAlphabetical;
    EXPECT_EQ(h.preferNewParent(ab, abc, leaf->id, 0), 1);
    EXPECT_EQ(h.preferNewParent(abc, ab, leaf->id, 0), -1);
    EXPECT_EQ(h.preferNewParent(abc, high, leaf->id, 0), 1);
    EXPECT_EQ(h.preferNewParent(high, abc, leaf->id, 0), -1);
    // Decided by the level comparison first.
    EXPECT_EQ(prefer(PreferAlphabetical | PreferShallower, x, e, "a://h/d/e/q"), 1);
}

TEST_F(ParentChoice, RefusesMovesThatMakeACycle) {
    // Moving d under its own child e: alphabetical order alone would say yes.
    EXPECT_EQ(prefer(PreferAlphabetical, r, x, d->id), 1);
    EXPECT_EQ(prefer(PreferAlphabetical, e, x, d->id), -1);
    // Through the reader the refused move becomes a non-tree link, and the tree stays a tree.
    ViewerSettings s;
    s.loadFlags = PreferAlphabetical;
    Graph h(s);
    ASSERT_TRUE(readText(h, "0 r 0\n1 y 0\n2 b 0\n3 y 0\n"));
    Node* y = h.findNode("y");
    EXPECT_EQ(y->parent, h.root);
    ASSERT_EQ(y->inLinks.size(), 1u);
    EXPECT_EQ(y->inLinks[0]->fromNode->id, "b");
    EXPECT_EQ(y->inLinks[0]->flags, 0);
    EXPECT_EQ(checkGraphInvariants(h), "");
}

TEST(Reader, RepeatedRecordsAddNoDuplicates) {
    ViewerSettings settings;
    settings.loadFlags = NeverMove;
    Graph g(settings);
    ASSERT_TRUE(readText(g,
                         "0 r 0\n1 r 0\n"            // the node under itself: nothing
                         "1 a 0\n1 a 0\n"            // an existing child again: nothing
                         "1 b 0\n2 a 0\n2 a 0\n"     // one non-tree link b -> a, not two
                         "1 c 0\n2 b 0\n1 b 0\n"));  // c -> b link; b again under r: nothing
    EXPECT_EQ(g.nodes.size(), 4u);
    EXPECT_EQ(childIds(g.root), (Strings{"a", "b", "c"}));
    ASSERT_EQ(g.links.size(), 5u);
    EXPECT_EQ(g.findNode("a")->inLinks.size(), 1u);
    EXPECT_EQ(g.findNode("b")->inLinks.size(), 1u);
    EXPECT_EQ(checkGraphInvariants(g), "");
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
    EXPECT_EQ(g.nodes.size(), 3u);
    EXPECT_EQ(g.readStats.lines, 3u);
    EXPECT_EQ(childIds(g.root), (Strings{"a", "b"}));
}

TEST(Reader, OutlineRules) {
    ViewerSettings settings;
    Graph g(settings);
    // A second record at the first record's level hangs under the first node too.
    ASSERT_TRUE(readText(g, "0 r 0\n0 s 0\n0 t 0\n1 u 0\n"));
    EXPECT_EQ(childIds(g.root), (Strings{"s", "t"}));
    EXPECT_EQ(g.findNode("u")->parent->id, "t");

    // Three levels deeper hangs under the previous node; one deeper than that is a sibling.
    ASSERT_TRUE(readText(g, "0 r 0\n1 a 0\n4 b 0\n2 c 0\n1 d 0\n"));
    EXPECT_EQ(childIds(g.findNode("a")), (Strings{"b", "c"}));
    EXPECT_EQ(g.findNode("b")->level, 4);
    EXPECT_EQ(g.findNode("d")->parent, g.root);

    // The first record may have any level; going back several levels pops as many ancestors.
    ASSERT_TRUE(readText(g, "-98 r 0\n-97 a 0\n-96 b 0\n-95 c 0\n-97 d 0\n-96 e 0\n"));
    EXPECT_EQ(g.root->level, -98);
    EXPECT_EQ(childIds(g.root), (Strings{"a", "d"}));
    EXPECT_EQ(g.findNode("e")->parent->id, "d");

    // Returning above the first level keeps the first node as parent.
    ASSERT_TRUE(readText(g, "5 r 0\n6 a 0\n2 b 0\n3 c 0\n"));
    EXPECT_EQ(childIds(g.root), (Strings{"a", "b"}));
    EXPECT_EQ(g.findNode("c")->parent->id, "b");
    EXPECT_EQ(checkGraphInvariants(g), "");
}

TEST(Reader, FieldRules) {
    ViewerSettings settings;
    Graph g(settings);
    ASSERT_TRUE(readText(g,
                         "0 r 0 html main\n"
                         "\t1   a    0   g1\tg2   g3\n"  // runs of blanks; a tab glues fields
                         "1 b 0 html m\n"                // one byte at the line's end: no group
                         "1 c 0 html main\r\n"           // the CR stays in the last field
                         "1 d 0 html \r\n"               // a lone trailing CR is dropped
                         "x e 0 html\n"                  // a level of letters reads as 0 ...
                         "3a f 0\n"));                   // ... and 3a as 3
    EXPECT_EQ(groupsOf(g, g.findNode("a")), (Strings{"g1\tg2", "g3"}));
    EXPECT_EQ(groupsOf(g, g.findNode("b")), Strings{"html"});
    EXPECT_EQ(groupsOf(g, g.findNode("c")), (Strings{"html", "main\r"}));
    EXPECT_EQ(groupsOf(g, g.findNode("d")), Strings{"html"});
    EXPECT_EQ(g.findNode("e")->level, 0);
    EXPECT_EQ(g.findNode("e")->parent, g.root);  // level 0 <= 0: back under the first node
    EXPECT_EQ(g.findNode("f")->level, 3);
    EXPECT_EQ(g.findNode("f")->parent->id, "e");
    EXPECT_EQ(checkGraphInvariants(g), "");
}

TEST(Reader, PositionRecord) {
    ViewerSettings settings;
    Graph g(settings);
    ASSERT_TRUE(readText(g,
                         "-99 position 9 9 9 9 9 9 9 9 9 9 9 9 9 9 9 9\n"
                         "0 r 0\n"
                         "-120 position 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18\n"
                         "-99 other 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n"
                         "-98 position 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n"));
    // The last position record wins; the first 16 numbers count; "-98 position" is a node.
    for (int i = 0; i < 16; ++i) EXPECT_EQ(g.homeTransform().m[i], i + 1.0) << i;
    EXPECT_NE(g.findNode("position"), nullptr);
    EXPECT_EQ(g.findNode("other"), nullptr);

    ASSERT_TRUE(readText(g,
                         "0 r 0\n-99 position 1.5e2 -.25 x 3.e-1 1e400 -1e400 1e-400 +2"
                         " 0 0 0 0 0 0 0 7q\n"));
    const ProjTransform home = g.homeTransform();
    const double* m = home.m;
    EXPECT_EQ(m[0], 150.0);
    EXPECT_EQ(m[1], -0.25);
    EXPECT_EQ(m[2], 0.0);
    EXPECT_EQ(m[3], 0.3);
    EXPECT_EQ(m[4], std::numeric_limits<double>::max());  // overflow saturates
    EXPECT_EQ(m[5], -std::numeric_limits<double>::max());
    EXPECT_EQ(m[6], 0.0);
    EXPECT_EQ(m[7], 2.0);
    EXPECT_EQ(m[15], 7.0);
}

TEST(Reader, ExtraFieldRecords) {
    ViewerSettings settings;
    settings.loadFlags = ExtraField | CompareComponents;
    Graph g(settings);
    ASSERT_TRUE(readText(g,
                         "0 a://h/ 0 0 html main\n"
                         "1 a://h/x.html 7 0 html main\n"
                         "2 a://h/d/f.html 2 0 html\n"
                         "1 a://h/d/ 3 0 html main\n"
                         "2 a://h/d/f.html 4 0 html\n"
                         "1 a://h/y.html 9\n"));  // no placeholder after the extra: skipped
    EXPECT_EQ(groupsOf(g, g.root), (Strings{"html", "main"}));
    EXPECT_EQ(g.findNode("a://h/x.html")->parentLink->extra, 7);
    Node* f = g.findNode("a://h/d/f.html");
    EXPECT_EQ(f->parent->id, "a://h/d/");
    EXPECT_EQ(f->parentLink->extra, 4);
    EXPECT_EQ(f->inLinks[0]->extra, 2);  // the old tree link keeps the value it was made with
    EXPECT_EQ(g.findNode("a://h/y.html"), nullptr);
    EXPECT_EQ(checkGraphInvariants(g), "");
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
