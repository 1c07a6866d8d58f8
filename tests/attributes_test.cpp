// Groups, visibility and colours: the steps of tests/data/attribute_steps.txt, each followed by
// the whole graph (or a dump of a subtree); group colours.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "graph/graph.h"
#include "graph_test_support.h"

using namespace orvo;
using namespace orvo::testing;

namespace {

// Runs one step on the graph (a new one for "read" and "text") and returns what it shows.
std::string runStep(const std::string& step, std::unique_ptr<ViewerSettings>& settings,
                    std::unique_ptr<Graph>& g) {
    std::istringstream in(step);
    std::string command, id;
    int a = 0, b = 0;
    in >> command;
    if (command == "read" || command == "text") {
        in >> id;
        settings = std::make_unique<ViewerSettings>();
        g = std::make_unique<Graph>(*settings);
        if (command == "read") {
            in >> settings->loadFlags;
            EXPECT_TRUE(readFile(*g, dataPath(id)));
        } else {
            settings->loadFlags = std::stoi(id);
            std::getline(in >> std::ws, id);
            EXPECT_TRUE(readText(*g, unescaped(id)));
        }
        return describe(*g);
    }
    std::string result;
    if (command == "collect") {
        in >> id >> a;
        for (const std::string& s : g->collectShownSubtree(id, a)) result += " " + s;
        return "=" + result + "\n";
    }
    if (command == "dump") {
        in >> id >> a;
        return g->dumpSubtree(*g->findNode(id), a);
    }
    if (command == "hide") {
        in >> a >> id >> b;
        result = std::to_string(g->setGroupHidden(a, id, b));
    } else if (command == "out" || command == "in") {
        in >> id >> a >> b;
        result = std::to_string(command == "out" ? g->setOutLinksShown(id, a, b)
                                                 : g->setInLinksShown(id, a, b));
    } else if (command == "shown") {
        in >> id >> a;
        g->setShown(*g->findNode(id), a);
    } else if (in >> a, command == "nodes") {
        g->setAllNodesShown(a);
    } else if (command == "links") {
        g->setAllLinksShown(a);
    } else if (command == "negative") {
        g->setNegativeLevelLinksHidden(a);
    } else {
        ADD_FAILURE() << "unknown step " << step;
    }
    return (result.empty() ? "" : "= " + result + "\n") + describe(*g);
}

}  // namespace

TEST(Attributes, StepsShowTheGraphExpected) {
    std::istringstream steps(readWholeFile(dataPath("attribute_steps.txt")));
    std::unique_ptr<ViewerSettings> settings;
    std::unique_ptr<Graph> g;
    std::string step, expected, line;
    const auto check = [&] {
        if (!step.empty()) {
            EXPECT_EQ(runStep(step, settings, g), expected) << step;
        }
        expected.clear();
    };
    while (std::getline(steps, line)) {
        if (line.starts_with("> ")) {
            check();
            step = line.substr(2);
        } else if (!line.empty() && !line.starts_with("#")) {
            expected += line + "\n";
        }
    }
    check();
}

TEST(Attributes, GroupColours) {
    ViewerSettings settings;
    Graph g(settings);
    ASSERT_TRUE(readFile(g, dataPath("attributes.graph")));
    const Node* a = g.findNode("s://h/a.html");
    EXPECT_EQ(g.groupColor(0, "html"), g.defaultColor);
    EXPECT_EQ(g.defaultColor[0], 0.7f);
    g.setGroupColor(0, "html", 0.1f, 0.2f, 0.3f);
    g.setGroupColor(0, "html", 0.0f, 1.0f, 0.5f);
    g.setGroupColor(1, "main", 0.5f, 0.5f, 0.5f);
    EXPECT_EQ(g.groupColors[0].size(), 1u);
    const float* html = g.groupColor(0, "html");
    EXPECT_EQ(std::vector<float>(html, html + 3), (std::vector<float>{0.0f, 1.0f, 0.5f}));
    // The pointer stays valid while more entries are added; kinds out of range are ignored.
    for (int i = 0; i < 100; ++i) g.setGroupColor(0, "g" + std::to_string(i), 0, 0, 0);
    g.setGroupColor(16, "x", 1, 1, 1);
    g.setGroupColor(-5, "x", 1, 1, 1);
    EXPECT_EQ(html, g.groupColor(0, "html"));
    size_t entries = 0;
    for (const auto& list : g.groupColors) entries += list.size();
    EXPECT_EQ(entries, 102u);                                            // html, g0 ... g99, main
    EXPECT_EQ(g.nodeColor(*g.findNode("s://h/a.gif")), g.defaultColor);  // image has no entry
    // The colouring kind: 0, 1, one without an entry for the node, one the node has no group of,
    // one without a table: the default colour, never none.
    const std::pair<int, const float*> kinds[] = {{0, html},
                                                  {1, g.groupColor(1, "main")},
                                                  {2, g.defaultColor},
                                                  {17, g.defaultColor},
                                                  {-1, g.defaultColor}};
    for (const auto& [kind, colour] : kinds) {
        settings.groupColumn = kind;
        EXPECT_EQ(g.nodeColor(*a), colour) << kind;
    }
    for (const int kind : {16, -1, 1 << 30}) EXPECT_EQ(g.groupColor(kind, "html"), nullptr) << kind;
    EXPECT_EQ(std::string(g.groupOf(*a, 1)) + "|" + std::string(g.groupOf(*a, 2)) + "|" +
                  std::string(g.groupOf(*a, -1)),
              "main||");
}

namespace {

// The ids of the veiled nodes, in the graph's order, and whether every node and link kept the
// flags it had before.
std::string veiledIds(const Graph& g) {
    std::string ids;
    for (const Node* n : g.nodes) {
        if ((n->flags & Veiled) != 0) ids += (ids.empty() ? "" : " ") + std::string(n->id);
    }
    return ids;
}

std::vector<uint8_t> visibility(const Graph& g) {
    std::vector<uint8_t> flags;
    for (const Node* n : g.nodes) flags.push_back(n->flags & Shown);
    for (const Link* k : g.links) flags.push_back(k->flags & (Shown | Enabled));
    return flags;
}

}  // namespace

// Veiling a group (a legend click) marks its nodes and nothing else: every node and link stays
// shown, so what hangs below a veiled node is still drawn; "" names the nodes without a group.
TEST(Attributes, VeilingMarksTheGroupsNodesAndKeepsTheTree) {
    struct Step {
        int kind;
        std::vector<std::string> names;
        int veil;
        int changed;
        const char* veiled;
    };
    const std::vector<Step> steps{
        {0, {"html"}, 1, 1, "r r/a r/b r/b/c"},
        {0, {"html"}, 1, 0, "r r/a r/b r/b/c"},  // already veiled
        {0, {"image", "nosuch"}, 1, 1, "r r/a r/a/p r/b r/b/c"},
        {0, {"html"}, 0, 1, "r/a/p"},
        {1, {""}, 1, 1, "r/a r/a/p r/b/c r/a/q"},  // no group of kind 1 ("-" or none)
        {0, {""}, 1, 1, "r/a r/a/p r/b/c r/a/q"},  // every node has a kind-0 group
        {0, {"image", "", "nosuch"}, 0, 1, "r/a r/b/c r/a/q"},
        {1, {"", "main"}, 0, 1, ""},
        {16, {"html"}, 1, 0, ""},  // no such kind
        {-1, {"html"}, 1, 0, ""},
    };
    ViewerSettings settings;
    Graph g(settings);
    ASSERT_TRUE(readText(g,
                         "0 r 0 html main\n1 r/a 0 html\n2 r/a/p 0 image main\n1 r/b 0 html "
                         "orphan\n2 r/b/c 0 html -\n2 r/a/q 0 text\n"));
    const std::vector<uint8_t> before = visibility(g);
    for (const Step& s : steps) {
        EXPECT_EQ(g.setGroupsVeiled(s.kind, s.names, s.veil), s.changed) << s.kind;
        EXPECT_EQ(veiledIds(g), s.veiled) << s.kind << " " << s.names[0];
        EXPECT_EQ(visibility(g), before);
    }
    // The veils outlive a reload, as the hidden lists do; hiding by key still hides what hangs
    // below a node, veiled or not.
    EXPECT_EQ(g.setGroupVeiled(0, "text", 1), 1);
    Graph fresh(settings);
    ASSERT_TRUE(readText(fresh, "0 r 0 html main\n1 r/t 0 text\n2 r/t/x 0 html\n"));
    g.takeContentsOf(fresh);
    EXPECT_EQ(veiledIds(g), "r/t");
    EXPECT_TRUE(g.isGroupVeiled(0, "text"));
    EXPECT_EQ(g.setGroupHidden(0, "text", 1), 1);
    EXPECT_FALSE(g.findNode("r/t")->isShown());
    EXPECT_TRUE(g.findNode("r/t/x")->isShown());
}
