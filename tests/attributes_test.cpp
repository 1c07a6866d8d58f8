// Groups, visibility and colours: hiding and showing groups and the links they touch, the
// link switches by id and by subtree, the blanket switches, group colours and subtree collection.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "glue/window_settings.h"
#include "graph/graph.h"
#include "graph_invariants.h"
#include "graph_test_support.h"

using namespace orvo;
using namespace orvo::testing;

namespace {

// attributes.graph, read with the default load flags (never move):
//   s://h/ -> a.html -> a.gif, c.html;  s://h/ -> b.html -> d.txt
//   non-tree: c.html -> s://h/, c.html -> a.gif, b.html -> a.html, b.html -> a.gif
class Attributes : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(readFile(g, dataPath("attributes.graph")));
        ASSERT_EQ(g.nodes.size(), 6u);
        ASSERT_EQ(g.links.size(), 9u);
        root = g.root;
        a = g.findNode("s://h/a.html");
        gif = g.findNode("s://h/a.gif");
        c = g.findNode("s://h/c.html");
        b = g.findNode("s://h/b.html");
        txt = g.findNode("s://h/d.txt");
    }
    std::vector<Link*> nonTreeLinks() const {
        std::vector<Link*> result;
        for (Node* n : g.nodes) result.insert(result.end(), n->outLinks.begin(), n->outLinks.end());
        return result;
    }
    Link* linkBetween(const Node* from, const Node* to) const {
        for (Link* l : g.links) {
            if (l->fromNode == from && l->toNode == to) return l;
        }
        return nullptr;
    }
    ViewerSettings settings;
    Graph g{settings};
    Node *root, *a, *gif, *c, *b, *txt;
};

}  // namespace

TEST_F(Attributes, HidingAGroupHidesItsNodesAndTheLinksTouchingThem) {
    ASSERT_EQ(nonTreeLinks().size(), 4u);
    EXPECT_EQ(g.setGroupHidden(0, "image", 1), 1);
    EXPECT_EQ(g.setGroupHidden(0, "image", 1), 0);  // already hidden: no change
    EXPECT_FALSE(gif->isShown());
    for (const Node* n : {root, a, c, b, txt}) EXPECT_TRUE(n->isShown()) << n->id;
    EXPECT_FALSE(gif->parentLink->isShown());
    EXPECT_TRUE(gif->parentLink->flags & Enabled);
    EXPECT_TRUE(c->parentLink->isShown());

    // Enable every non-tree link while the gif is hidden: links to it are enabled, not shown.
    EXPECT_EQ(g.setOutLinksShown("QX_TOPNODE", 1, 1), 1);
    for (Link* l : nonTreeLinks()) {
        EXPECT_TRUE(l->flags & Enabled);
        EXPECT_EQ(l->isShown(), l->toNode != gif) << l->linkId();
    }
    // Disable one node's links again; then unhide: only enabled links come back.
    EXPECT_EQ(g.setOutLinksShown("s://h/b.html", 0, 0), 1);
    EXPECT_EQ(g.setGroupHidden(0, "image", 0), 1);
    EXPECT_EQ(g.setGroupHidden(0, "image", 0), 0);  // not hidden: no change
    EXPECT_TRUE(gif->isShown());
    EXPECT_TRUE(gif->parentLink->isShown());
    EXPECT_TRUE(linkBetween(c, gif)->isShown());
    EXPECT_EQ(linkBetween(b, gif)->flags, 0);
    EXPECT_EQ(linkBetween(b, a)->flags, 0);

    // A hidden group of kind 1 hides b.html; its tree link and its child's stay enabled.
    EXPECT_EQ(g.setGroupHidden(1, "orphan", 1), 1);
    EXPECT_FALSE(b->isShown());
    EXPECT_FALSE(b->parentLink->isShown());
    EXPECT_FALSE(txt->parentLink->isShown());
    EXPECT_TRUE(txt->isShown());
    EXPECT_EQ(g.hiddenGroups[1], std::vector<std::string>{"orphan"});
    EXPECT_EQ(checkGraphInvariants(g), "");
}

TEST_F(Attributes, BlanketSwitchesAndTheNextReEvaluation) {
    g.setAllNodesShown(0);
    for (const Node* n : g.nodes) EXPECT_FALSE(n->isShown());
    EXPECT_TRUE(a->parentLink->isShown());  // links keep their flags
    g.setAllNodesShown(1);
    for (const Node* n : g.nodes) EXPECT_TRUE(n->isShown());

    g.setAllNodesShown(0);
    EXPECT_EQ(g.setGroupHidden(0, "text", 1), 1);
    for (const Node* n : g.nodes) EXPECT_EQ(n->isShown(), n != txt) << n->id;

    g.setAllLinksShown(1);
    for (const Link* l : g.links) EXPECT_EQ(l->flags & (Enabled | Shown), Enabled | Shown);
    g.setAllLinksShown(0);
    for (const Link* l : g.links) EXPECT_EQ(l->flags & (Enabled | Shown), 0);

    g.setShown(*a, 1);
    EXPECT_FALSE(a->parentLink->isShown());  // not enabled any more
}

TEST_F(Attributes, LinkSwitchesByIdAndBySubtree) {
    EXPECT_EQ(g.setOutLinksShown("no such id", 1, 1), 0);
    EXPECT_EQ(g.setInLinksShown("qx_topnode", 1, 1), 0);
    for (Link* l : nonTreeLinks()) EXPECT_EQ(l->flags, 0);

    // Out links of one node only.
    EXPECT_EQ(g.setOutLinksShown("s://h/c.html", 1, 0), 1);
    EXPECT_EQ(linkBetween(c, root)->flags, Enabled | Shown);
    EXPECT_EQ(linkBetween(c, gif)->flags, Enabled | Shown);
    EXPECT_EQ(linkBetween(b, a)->flags, 0);
    // Disabling clears both flags even between shown nodes.
    EXPECT_EQ(g.setOutLinksShown("s://h/c.html", 0, 0), 1);
    EXPECT_EQ(linkBetween(c, root)->flags, 0);

    // In links of a's subtree: a (from b), a.gif (from c and b), c.html (none).
    EXPECT_EQ(g.setInLinksShown("s://h/a.html", 1, 1), 1);
    EXPECT_EQ(linkBetween(b, a)->flags, Enabled | Shown);
    EXPECT_EQ(linkBetween(c, gif)->flags, Enabled | Shown);
    EXPECT_EQ(linkBetween(b, gif)->flags, Enabled | Shown);
    EXPECT_EQ(linkBetween(c, root)->flags, 0);  // an in link of the root, outside the subtree
    // A hidden far end: enabled, Shown keeps its value.
    g.setShown(*root, 0);
    EXPECT_EQ(g.setInLinksShown("QX_TOPNODE", 1, 0), 1);
    EXPECT_EQ(linkBetween(c, root)->flags, Enabled);
    EXPECT_EQ(g.setInLinksShown("QX_TOPNODE", 0, 1), 1);
    for (Link* l : nonTreeLinks()) EXPECT_EQ(l->flags, 0) << l->linkId();

    // A node really named QX_TOPNODE is acted on as itself.
    ViewerSettings s;
    Graph h(s);
    ASSERT_TRUE(readText(h, "0 top 0\n1 QX_TOPNODE 0\n2 x 0\n1 x 0\n1 y 0\n2 top 0\n"));
    ASSERT_EQ(h.findNode("QX_TOPNODE")->outLinks.size(), 0u);
    EXPECT_EQ(h.setOutLinksShown("QX_TOPNODE", 1, 1), 1);
    Node* y = h.findNode("y");
    ASSERT_EQ(y->outLinks.size(), 1u);
    EXPECT_EQ(y->outLinks[0]->flags, 0);  // the root's subtree was not touched
}

TEST_F(Attributes, NegativeLevelLinks) {
    ViewerSettings s;
    Graph h(s);
    Node* top = h.addRecord(nullptr, "top", -2, 0);
    Node* mid = h.addRecord(top, "mid", -1, 0);
    Node* low = h.addRecord(mid, "low", 0, 0);
    Node* leaf = h.addRecord(low, "leaf", 1, 0);
    h.addRecord(leaf, "mid", 2, 0);  // non-tree link leaf -> mid, flags 0
    h.addRecord(mid, "leaf", 0, 0);  // non-tree link mid -> leaf, flags 0
    ASSERT_EQ(h.links.size(), 5u);
    h.setNegativeLevelLinksHidden(1);
    EXPECT_EQ(mid->parentLink->flags, Enabled);           // from top, level -2
    EXPECT_EQ(low->parentLink->flags, Enabled);           // from mid, level -1
    EXPECT_EQ(leaf->parentLink->flags, Enabled | Shown);  // from low, level 0: untouched
    EXPECT_EQ(mid->outLinks[0]->flags, 0);
    EXPECT_EQ(leaf->outLinks[0]->flags, 0);
    h.setNegativeLevelLinksHidden(0);
    EXPECT_EQ(mid->parentLink->flags, Enabled | Shown);
    EXPECT_EQ(mid->outLinks[0]->flags, Shown);  // shown although not enabled
    EXPECT_EQ(leaf->outLinks[0]->flags, 0);
}

TEST_F(Attributes, GroupColours) {
    const float* unknown = g.groupColor(0, "html");
    ASSERT_NE(unknown, nullptr);
    EXPECT_EQ(unknown, g.defaultColor);
    EXPECT_EQ(unknown[0], 0.7f);
    g.setGroupColor(0, "html", 0.1f, 0.2f, 0.3f);
    g.setGroupColor(0, "html", 0.0f, 1.0f, 1.0f);
    g.setGroupColor(1, "main", 0.5f, 0.5f, 0.5f);
    EXPECT_EQ(g.groupColors[0].size(), 1u);
    const float* html = g.groupColor(0, "html");
    EXPECT_EQ(html[0], 0.0f);
    EXPECT_EQ(html[1], 1.0f);
    EXPECT_EQ(html[2], 1.0f);
    // The pointer stays valid while more entries are added.
    for (int i = 0; i < 100; ++i) g.setGroupColor(0, "g" + std::to_string(i), 0, 0, 0);
    EXPECT_EQ(html, g.groupColor(0, "html"));

    EXPECT_EQ(g.nodeColor(*a), html);
    EXPECT_EQ(g.nodeColor(*gif), g.defaultColor);  // image has no entry
    settings.groupColumn = 1;
    EXPECT_EQ(g.nodeColor(*a)[0], 0.5f);
    EXPECT_EQ(g.nodeColor(*txt), g.defaultColor);  // "external" has no entry
    settings.groupColumn = 2;
    EXPECT_EQ(g.nodeColor(*a), g.defaultColor);  // no group of kind 2

    // The viewer's table applied twice gives the same colours.
    for (int round = 0; round < 2; ++round) {
        for (const auto& row : kGroupColourTable) {
            g.setGroupColor(row.kind, row.name, row.red, row.green, row.blue);
        }
        EXPECT_EQ(g.groupColor(0, "text")[1], 0.35f);
        EXPECT_EQ(g.groupColor(1, "orphan")[0], 1.0f);
    }
}

TEST_F(Attributes, KindsOutsideTheTablesAreRefused) {
    EXPECT_EQ(g.setGroupHidden(16, "html", 1), 0);
    EXPECT_EQ(g.setGroupHidden(-1, "html", 1), 0);
    EXPECT_EQ(g.groupColor(16, "html"), nullptr);
    EXPECT_EQ(g.groupColor(-1, "html"), nullptr);
    EXPECT_EQ(g.groupColor(1 << 30, "html"), nullptr);
    g.setGroupColor(16, "html", 1, 1, 1);
    g.setGroupColor(-5, "html", 1, 1, 1);
    for (const auto& list : g.groupColors) EXPECT_TRUE(list.empty());
    for (const Node* n : g.nodes) EXPECT_TRUE(n->isShown());

    // A node with twenty groups: only the first sixteen kinds have tables.
    ViewerSettings s;
    Graph h(s);
    std::string record = "0 many 0";
    for (int k = 0; k < 20; ++k) record += " k" + std::to_string(k);
    ASSERT_TRUE(readText(h, record + " end\n"));
    Node* many = h.root;
    ASSERT_EQ(h.groupsOf(*many).size(), 21u);
    EXPECT_EQ(h.groupOf(*many, 17), "k17");
    EXPECT_EQ(h.groupOf(*many, 21), "");
    EXPECT_EQ(h.groupOf(*many, -1), "");
    s.groupColumn = 17;  // a colouring kind without a table: the default colour, never none
    EXPECT_EQ(h.nodeColor(*many), h.defaultColor);
    s.groupColumn = -1;
    EXPECT_EQ(h.nodeColor(*many), h.defaultColor);
    EXPECT_EQ(h.setGroupHidden(15, "k15", 1), 1);
    EXPECT_FALSE(many->isShown());
    EXPECT_EQ(h.setGroupHidden(15, "k15", 0), 1);
    EXPECT_EQ(h.setGroupHidden(3, "k17", 1), 1);  // k17 is not its group of kind 3
    EXPECT_TRUE(many->isShown());
}

TEST_F(Attributes, CollectShownSubtree) {
    using Ids = std::vector<std::string>;
    EXPECT_EQ(g.collectShownSubtree("s://h/", -1),
              (Ids{"s://h/", "s://h/a.html", "s://h/a.gif", "s://h/c.html", "s://h/b.html",
                   "s://h/d.txt"}));
    EXPECT_EQ(g.collectShownSubtree("s://h/", 0), Ids{"s://h/"});
    EXPECT_EQ(g.collectShownSubtree("s://h/", 1), (Ids{"s://h/", "s://h/a.html", "s://h/b.html"}));
    EXPECT_EQ(g.collectShownSubtree("s://h/a.html", -7),
              (Ids{"s://h/a.html", "s://h/a.gif", "s://h/c.html"}));
    EXPECT_TRUE(g.collectShownSubtree("nothing", -1).empty());
    EXPECT_TRUE(g.collectShownSubtree("QX_TOPNODE", -1).empty());
    g.setShown(*a, 0);
    EXPECT_TRUE(g.collectShownSubtree("s://h/a.html", -1).empty());
    // A hidden only child hides its shown descendants from the collection.
    EXPECT_EQ(g.collectShownSubtree("s://h/", -1), (Ids{"s://h/", "s://h/b.html", "s://h/d.txt"}));
    ViewerSettings s;
    Graph h(s);
    ASSERT_TRUE(readText(h, "0 p 0\n1 q 0 hide\n2 r 0 keep\n"));
    h.setGroupHidden(0, "hide", 1);
    EXPECT_TRUE(h.findNode("r")->isShown());
    EXPECT_EQ(h.collectShownSubtree("p", -1), Ids{"p"});
}
