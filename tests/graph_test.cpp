// The graph model: derived labels, DEVIRIRO_DEBUG, id lookup, dense indices, reloads that keep
// the hidden groups and colours and reset the home view, taking over a freshly read graph, and
// the storage helpers behind it.
#include "graph/graph.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "graph/group_names.h"
#include "graph/index_pair_set.h"
#include "graph_invariants.h"
#include "graph_test_support.h"
#include "layout/layout.h"
#include "memory/background_discard.h"
#include "memory/chunked_store.h"
#include "memory/text_arena.h"

using namespace orvo;
using namespace orvo::testing;

namespace {

struct Labels {
    std::string path, shortText;
};

Labels labelsOf(std::string_view id) {
    ViewerSettings settings;
    Graph g(settings);
    Node* n = g.addRecord(nullptr, id, 0, 0);
    return {std::string(n->pathLabel()), std::string(n->shortLabel())};
}

// Sets or unsets DEVIRIRO_DEBUG for one scope, restoring what was there.
class ScopedDebugVariable {
public:
    explicit ScopedDebugVariable(const char* value) {
        if (const char* old = std::getenv("DEVIRIRO_DEBUG")) saved_ = old, hadValue_ = true;
        if (value) {
            ::setenv("DEVIRIRO_DEBUG", value, 1);
        } else {
            ::unsetenv("DEVIRIRO_DEBUG");
        }
    }
    ~ScopedDebugVariable() {
        if (hadValue_) {
            ::setenv("DEVIRIRO_DEBUG", saved_.c_str(), 1);
        } else {
            ::unsetenv("DEVIRIRO_DEBUG");
        }
    }

private:
    std::string saved_;
    bool hadValue_ = false;
};

}  // namespace

TEST(GraphLabels, DerivedFromTheThirdSlash) {
    const std::vector<std::pair<std::string, Labels>> cases = {
        {"s://h/d/f.x", {"/d/f.x", "/f.x"}},
        {"s://h/", {"s://h/", "/"}},  // the third '/' is the last character
        {"s://h", {"s://h", "/h"}},
        {"abc", {"abc", "abc"}},
        {"a/b", {"a/b", "/b"}},
        {"s://h/d/", {"/d/", "/"}},
        {"/", {"/", "/"}},
        {"/a/b/c", {"/a/b/c", "/c"}},  // the search starts at position 1: only two slashes
        {"//x", {"//x", "/x"}},
        {"", {"", ""}},
    };
    for (const auto& [id, expected] : cases) {
        const Labels got = labelsOf(id);
        EXPECT_EQ(got.path, expected.path) << id;
        EXPECT_EQ(got.shortText, expected.shortText) << id;
    }
}

TEST(GraphDebugLevel, ReadFromTheEnvironmentAsADecimalInteger) {
    const std::vector<std::pair<const char*, int32_t>> cases = {
        {nullptr, 0},   {"0", 0},
        {"letters", 0}, {" 5x", 5},
        {"-1", -1},     {"+7", 7},
        {"", 0},        {"99999999999", 2147483647},
        {"\t12", 12},   {"-99999999999", -2147483647 - 1},
    };
    for (const auto& [value, expected] : cases) {
        ScopedDebugVariable variable(value);
        EXPECT_EQ(readDebugLevel(), expected) << (value ? value : "(unset)");
    }
    // The constructor reads the variable once; the read graph keeps the level.
    ScopedDebugVariable variable("0");
    ViewerSettings settings;
    std::istringstream in("0 a 0\n");
    Graph g(settings, in);
    EXPECT_EQ(g.debugLevel, 0);
    EXPECT_EQ(g.nodes.size(), 1u);
}

TEST(GraphLookup, IdsAreCaseSensitiveAndIndicesDense) {
    ViewerSettings settings;
    Graph g(settings);
    ASSERT_TRUE(readFile(g, dataPath("worked_example.graph")));
    EXPECT_EQ(g.findNodeIndex("a://h/x.html"), 1);
    EXPECT_EQ(g.findNodeIndex("A://h/x.html"), -1);
    EXPECT_EQ(g.findNodeIndex("a://h/X.html"), -1);
    EXPECT_EQ(g.findNode("a://h/d/"), g.nodes[3]);
    EXPECT_EQ(g.findNode("nothing"), nullptr);
    EXPECT_EQ(g.findNode(""), nullptr);
    for (size_t i = 0; i < g.nodes.size(); ++i) EXPECT_EQ(g.nodes[i]->index, int32_t(i));
    for (size_t i = 0; i < g.links.size(); ++i) EXPECT_EQ(g.links[i]->index, int32_t(i));
    EXPECT_EQ(g.links[0]->linkId(), "a://h/|a://h/x.html");
    EXPECT_EQ(checkGraphInvariants(g), "");
}

TEST(GraphLookup, IndexHoldsManyIdsThroughGrowth) {
    ViewerSettings settings;
    Graph g(settings);
    Node* root = g.addRecord(nullptr, "root", 0, 0);
    for (int i = 0; i < 20000; ++i) g.addRecord(root, "n" + std::to_string(i), 1, 0);
    ASSERT_EQ(g.nodes.size(), 20001u);
    for (int i = 0; i < 20000; i += 7) {
        EXPECT_EQ(g.findNodeIndex("n" + std::to_string(i)), i + 1);
    }
    EXPECT_EQ(g.findNodeIndex("n20000"), -1);
    EXPECT_EQ(g.findNodeIndex("n-1"), -1);
    // addNode with an id that exists replaces the entry with the newer index.
    Node extra(nullptr, 0);
    g.addNode(&extra, "n5");
    EXPECT_EQ(g.findNodeIndex("n5"), 20001);
    g.nodes.pop_back();  // `extra` is not owned by the graph
}

TEST(GraphReload, KeepsHiddenGroupsAndColoursAndResetsTheHomeView) {
    ViewerSettings settings;
    Graph g(settings);
    const std::string withPosition =
        "0 a://h/ 0 html main\n1 a://h/p.gif 0 image main\n"
        "-99 position 1 0 0 0 0 1 0 0 0 0 1 0 0.5 0 0 1\n";
    ASSERT_TRUE(readText(g, withPosition));
    EXPECT_DOUBLE_EQ(g.homeTransform().at(3, 0), 0.5);
    g.setGroupColor(0, "image", 1.0f, 0.0f, 1.0f);
    EXPECT_EQ(g.setGroupHidden(0, "image", 1), 1);
    EXPECT_FALSE(g.nodes[1]->isShown());

    ASSERT_TRUE(readFile(g, dataPath("worked_example.graph")));
    EXPECT_EQ(g.hiddenGroups[0], std::vector<std::string>{"image"});
    const ProjTransform home = g.homeTransform();
    const ProjTransform identity = ProjTransform::identity();
    for (int i = 0; i < 16; ++i) EXPECT_EQ(home.m[i], identity.m[i]) << i;
    // The hidden list holds in the new nodes; tree links touching them are no longer shown.
    EXPECT_TRUE(g.nodes[0]->isShown());
    EXPECT_FALSE(g.nodes[2]->isShown());  // a://h/y.gif, image
    EXPECT_FALSE(g.nodes[4]->isShown());  // a://h/d/y.gif, image
    EXPECT_FALSE(g.nodes[2]->parentLink->isShown());
    EXPECT_TRUE(g.nodes[3]->parentLink->isShown());
    const float* colour = g.nodeColor(*g.nodes[2]);
    EXPECT_EQ(colour[0], 1.0f);
    EXPECT_EQ(colour[1], 0.0f);
    EXPECT_EQ(g.groupColors[0].size(), 1u);
    EXPECT_EQ(g.topNodeIndex(), 0);
    EXPECT_EQ(checkGraphInvariants(g), "");
}

TEST(GraphReload, AStreamWithoutNodesFailsAndLeavesTheGraphEmpty) {
    ViewerSettings settings;
    Graph g(settings);
    ASSERT_TRUE(readFile(g, dataPath("worked_example.graph")));
    for (const std::string text :
         {"", "\n\n", "x\n\n1\n", "-99 position 1 2 3\n", "   \n\t\t\n", "-100 other 0 g\n"}) {
        EXPECT_FALSE(readText(g, text)) << text;
        EXPECT_TRUE(g.empty());
        EXPECT_EQ(g.root, nullptr);
        EXPECT_TRUE(g.links.empty());
        EXPECT_EQ(g.topNodeIndex(), -1);
        EXPECT_EQ(g.findNode("a://h/"), nullptr);
        EXPECT_EQ(g.setOutLinksShown("QX_TOPNODE", 1, 1), 0);
        EXPECT_TRUE(g.collectShownSubtree("a://h/", -1).empty());
        EXPECT_EQ(g.summaryAndDump(), "");
        EXPECT_EQ(checkGraphInvariants(g), "");
    }
    std::ifstream missing("/nonexistent/orvo/file.graph");
    EXPECT_FALSE(readAndLayOut(g, missing));

    // A read returns its top node and writes no view setting, so a failed read into a graph
    // set aside leaves the top node of the graph on view alone.
    ASSERT_TRUE(readFile(g, dataPath("worked_example.graph")));
    EXPECT_EQ(g.topNodeIndex(), 0);
    Graph aside(settings);
    EXPECT_FALSE(readText(aside, "\n"));
    EXPECT_EQ(aside.topNodeIndex(), -1);
    EXPECT_EQ(g.topNodeIndex(), 0);
    EXPECT_EQ(settings.topNodeIndex, -1);
}

TEST(GraphTakeContents, ReplacesTheContentsAndKeepsTheViewerTables) {
    ViewerSettings settings;
    Graph shown(settings);
    ASSERT_TRUE(readText(shown, "0 old 0 html\n1 old/x 0 image\n"));
    shown.setGroupColor(1, "main", 0.25f, 0.5f, 0.75f);
    ASSERT_EQ(shown.setGroupHidden(0, "image", 1), 1);
    shown.debugLevel = 3;

    Graph fresh(settings);
    ASSERT_TRUE(readFile(fresh, dataPath("worked_example.graph")));
    const std::string freshDump = fresh.dumpSubtree(*fresh.root, 0);
    Node* freshRoot = fresh.root;
    shown.takeContentsOf(fresh);

    EXPECT_TRUE(fresh.empty());
    EXPECT_EQ(fresh.root, nullptr);
    EXPECT_EQ(fresh.findNode("a://h/"), nullptr);
    EXPECT_EQ(shown.root, freshRoot);  // nodes are taken over in place, not copied
    EXPECT_EQ(shown.nodes.size(), 5u);
    EXPECT_EQ(shown.links.size(), 6u);
    EXPECT_EQ(shown.findNode("old"), nullptr);
    EXPECT_EQ(shown.findNodeIndex("a://h/d/"), 3);
    EXPECT_EQ(shown.debugLevel, 3);
    EXPECT_EQ(shown.groupColor(1, "main")[2], 0.75f);
    // The hidden image group now holds in the taken nodes.
    EXPECT_FALSE(shown.nodes[2]->isShown());
    EXPECT_FALSE(shown.nodes[4]->isShown());
    EXPECT_EQ(shown.groupOf(*shown.nodes[2], 0), "image");
    EXPECT_EQ(checkGraphInvariants(shown), "");

    // Apart from the hidden group the taken graph is the one that was read.
    shown.setGroupHidden(0, "image", 0);
    EXPECT_EQ(shown.dumpSubtree(*shown.root, 0), freshDump);

    // Reading the same file straight into the shown graph gives the same result.
    Graph direct(settings);
    direct.setGroupHidden(0, "image", 1);
    ASSERT_TRUE(readFile(direct, dataPath("worked_example.graph")));
    shown.setGroupHidden(0, "image", 1);
    EXPECT_EQ(shown.dumpSubtree(*shown.root, 0), direct.dumpSubtree(*direct.root, 0));

    // The emptied fresh graph can be read into again.
    ASSERT_TRUE(readText(fresh, "0 again 0\n"));
    EXPECT_EQ(fresh.nodes.size(), 1u);
    EXPECT_EQ(checkGraphInvariants(fresh), "");
}

TEST(GraphProgress, ReportsTheBytesConsumedAsTheReadGoesOn) {
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

// A big graph dropped by a reload, by taking over another graph's contents, or by its end is
// destroyed on another thread; the graph goes on with its new contents at once.
TEST(GraphStorage, BigGraphsAreDiscardedInTheBackground) {
    struct Remains {
        explicit Remains(std::thread::id* where) : destroyedOn(where) {}
        ~Remains() { *destroyedOn = std::this_thread::get_id(); }
        std::thread::id* destroyedOn;
    };
    std::thread::id destroyedOn;
    discardInBackground(std::make_shared<Remains>(&destroyedOn));
    waitForBackgroundDiscards();
    EXPECT_NE(destroyedOn, std::thread::id());
    EXPECT_NE(destroyedOn, std::this_thread::get_id());

    std::string big = "0 r 0\n";
    for (int i = 0; i < 120000; ++i)
        big += " 1 n" + std::to_string(i) + " 0 g" + std::to_string(i % 7) + "\n";
    ViewerSettings settings;
    auto graph = std::make_unique<Graph>(settings);
    std::istringstream first(big);
    ASSERT_TRUE(readAndLayOut(*graph, first));
    ASSERT_EQ(graph->nodes.size(), 120001u);
    std::istringstream second("0 a 0 xx\n 1 b 0 yy\n");
    ASSERT_TRUE(readAndLayOut(*graph, second));  // the big contents go to the background
    EXPECT_EQ(graph->nodes.size(), 2u);
    EXPECT_EQ(graph->findNode("n5"), nullptr);
    EXPECT_EQ(graph->groupOf(*graph->findNode("b"), 0), "yy");

    Graph fresh(settings);
    std::istringstream third(big);
    ASSERT_TRUE(readAndLayOut(fresh, third));
    graph->takeContentsOf(fresh);
    EXPECT_EQ(graph->findNode("n119999")->parent, graph->root);
    EXPECT_EQ(graph->groupOf(*graph->findNode("n6"), 0), "g6");
    EXPECT_TRUE(fresh.empty());
    graph.reset();  // and the big contents again, now from the graph's end
    waitForBackgroundDiscards();
    EXPECT_EQ(checkGraphInvariants(fresh), "");
}

TEST(GraphStorage, ChunkedStoreKeepsAddressesAndDestroysEverything) {
    static int alive = 0;
    struct Counted {
        int value;
        explicit Counted(int v) : value(v) { ++alive; }
        ~Counted() { --alive; }
    };
    {
        ChunkedStore<Counted> store;
        std::vector<Counted*> made;
        for (int i = 0; i < 10000; ++i) made.push_back(store.emplace(i));
        EXPECT_EQ(alive, 10000);
        for (int i = 0; i < 10000; ++i) EXPECT_EQ(made[i]->value, i);
        ChunkedStore<Counted> moved(std::move(store));
        EXPECT_EQ(alive, 10000);
        EXPECT_EQ(made[9999]->value, 9999);  // same objects, now owned by `moved`
        store.emplace(-1);
        EXPECT_EQ(alive, 10001);
        store = std::move(moved);
        EXPECT_EQ(alive, 10000);
        store.clear();
        EXPECT_EQ(alive, 0);
        store.emplace(1);
    }
    EXPECT_EQ(alive, 0);
}

TEST(GraphStorage, TextArenaKeepsEveryTextInPlaceAcrossBlocks) {
    TextArena arena;
    std::vector<std::string> texts;
    std::vector<std::string_view> views;
    // Enough texts to fill several blocks, up to the 2 MiB ones, and one longer than any block.
    for (int i = 0; i < 200000; ++i)
        texts.push_back("http://www.example.org/page" + std::to_string(i));
    texts.push_back(std::string(3u << 20, 'x'));
    texts.push_back("after the long one");
    for (const std::string& t : texts) views.push_back(arena.store(t));
    EXPECT_TRUE(arena.store("").empty());
    EXPECT_GE(arena.capacityBytes(), (3u << 20) + 200000u * 27u);
    TextArena moved(std::move(arena));
    EXPECT_EQ(arena.capacityBytes(), 0u);
    arena.store("reused after a move");
    for (size_t i = 0; i < texts.size(); ++i) ASSERT_EQ(views[i], texts[i]) << i;
    // The same texts in a graph: ids survive the arena's growth and a takeover.
    ViewerSettings settings;
    std::string outline = "0 " + texts[0] + " x\n";
    for (size_t i = 1; i < 20000; ++i) outline += "1 " + texts[i] + " x\n";
    Graph fresh(settings);
    std::istringstream in(outline);
    ASSERT_TRUE(readAndLayOut(fresh, in));
    Graph shown(settings);
    shown.takeContentsOf(fresh);
    ASSERT_EQ(shown.nodes.size(), 20000u);
    for (size_t i = 0; i < 20000; ++i) {
        ASSERT_EQ(shown.nodes[i]->id, texts[i]);
        ASSERT_EQ(shown.findNode(texts[i]), shown.nodes[i]);
    }
    moved.clear();
    EXPECT_EQ(moved.capacityBytes(), 0u);
}

TEST(GraphStorage, GroupNamesAndPairSetIntern) {
    GroupNames names;
    const GroupNameId html = names.intern("html");
    EXPECT_EQ(names.intern("html"), html);
    const GroupNameId main = names.intern("main");
    EXPECT_NE(html, main);
    EXPECT_EQ(names.name(main), "main");
    EXPECT_EQ(names.find("main"), int64_t(main));
    EXPECT_EQ(names.find("Main"), -1);
    EXPECT_EQ(names.internSet({}), kNoGroups);
    const GroupSetId hm = names.internSet({html, main});
    EXPECT_EQ(names.internSet({html, main}), hm);
    EXPECT_NE(names.internSet({main, html}), hm);  // order matters: entry k is kind k
    ASSERT_EQ(names.set(hm).size(), 2u);
    EXPECT_EQ(names.set(hm)[1], main);
    // Names of one length, first and last letter share a slot of the recent-name cache: each
    // still comes back as itself, in any order.
    const GroupNameId axb = names.intern("axb"), ayb = names.intern("ayb");
    EXPECT_NE(axb, ayb);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(names.intern("ayb"), ayb);
        EXPECT_EQ(names.intern("axb"), axb);
    }
    names.clear();
    EXPECT_EQ(names.find("html"), -1);
    EXPECT_EQ(names.set(kNoGroups).size(), 0u);
    // After a clear, a name cached before is a new name again.
    EXPECT_EQ(names.intern("ayb"), 0u);
    EXPECT_EQ(names.intern("html"), 1u);
    EXPECT_EQ(names.name(names.intern("ayb")), "ayb");

    IndexPairSet pairs;
    EXPECT_FALSE(pairs.contains(0, 0));
    for (int32_t i = 0; i < 5000; ++i) pairs.insert(i, i * 3);
    pairs.insert(7, 21);
    EXPECT_EQ(pairs.size(), 5000u);
    for (int32_t i = 0; i < 5000; ++i) {
        EXPECT_TRUE(pairs.contains(i, i * 3));
        EXPECT_FALSE(pairs.contains(i * 3, i) && i != 0);
    }
    EXPECT_FALSE(pairs.contains(-1, 0));
}
