// The graph model: labels, DEVIRIRO_DEBUG, id lookup, reloads and take-overs, the storage helpers
// behind it, the debug file, two versions of a graph compared, and a graph written back as text.
#include "graph/graph.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "glue/window_settings.h"
#include "graph/graph_compare.h"
#include "graph/group_names.h"
#include "graph/outline_writer.h"
#include "graph/index_pair_set.h"
#include "graph/node_index.h"
#include "graph_test_support.h"
#include "memory/background_discard.h"
#include "memory/chunked_store.h"
#include "memory/text_arena.h"

using namespace orvo;
using namespace orvo::testing;

// Filled all at once, the index finds every id, and names the first node (in node order) whose
// id an earlier node has, whichever stretch of the table the repeats fall in.
TEST(NodeIndexTest, IndexedAllAtOnceFindsEveryIdAndTheFirstRepeat) {
    struct Case {
        const char* name;
        int count;
        std::vector<std::pair<int, int>> repeats;  // node a takes node b's id (b < a)
        int firstRepeat;
    };
    const Case cases[] = {{"none", 100000, {}, -1},
                          {"one", 100000, {{99999, 3}}, 99999},
                          {"several", 100000, {{95000, 7}, {41234, 41233}, {70000, 12}}, 41234}};
    for (const Case& c : cases) {
        std::vector<std::string> ids;
        for (int i = 0; i < c.count; ++i) ids.push_back("https://h/" + std::to_string(i * 7919));
        for (const auto& [a, b] : c.repeats) ids[size_t(a)] = ids[size_t(b)];
        std::deque<Node> store;
        std::vector<Node*> nodes;
        NodeIndex index;
        for (int i = 0; i < c.count; ++i) {
            store.emplace_back(nullptr, 0).id = ids[size_t(i)];
            nodes.push_back(&store.back());
            index.note(i, NodeIndex::hashOf(ids[size_t(i)]));
        }
        EXPECT_EQ(index.indexNoted(nodes), c.firstRepeat) << c.name;
        if (c.firstRepeat >= 0) continue;
        for (int i = 0; i < c.count; i += 13) EXPECT_EQ(index.find(ids[size_t(i)], nodes), i);
        EXPECT_EQ(index.find("https://h/1", nodes), -1);
    }
}

TEST(Graph, LabelsAndDebugLevelFromText) {
    const char* old = std::getenv("DEVIRIRO_DEBUG");
    const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    ViewerSettings settings;
    EXPECT_TRUE(answersMatch("labels_and_debug_levels.txt", [&](const std::string& question) {
        const Strings f = fields(question);
        if (f[0] == "debug level") {
            f[1] == "(unset)" ? ::unsetenv("DEVIRIRO_DEBUG")
                              : ::setenv("DEVIRIRO_DEBUG", f[1].c_str(), 1);
            return std::to_string(readDebugLevel());
        }
        Graph g(settings);
        const Node* n = g.addRecord(nullptr, f[1], 0, 0);
        return std::string(n->pathLabel()) + " | " + std::string(n->shortLabel());
    }));
    saved ? ::setenv("DEVIRIRO_DEBUG", saved->c_str(), 1) : ::unsetenv("DEVIRIRO_DEBUG");
}

TEST(Graph, LookupIsCaseSensitiveAndHoldsManyIdsThroughGrowth) {
    ViewerSettings settings;
    Graph g(settings);
    ASSERT_TRUE(readFile(g, dataPath("worked_example.graph")));
    EXPECT_EQ(g.findNodeIndex("a://h/x.html"), 1);
    EXPECT_EQ(g.links[5]->linkId(), "a://h/x.html|a://h/d/");
    for (const char* absent : {"A://h/x.html", "a://h/X.html", "nothing", ""}) {
        EXPECT_EQ(g.findNode(absent), nullptr) << absent;
    }
    Graph many(settings);
    Node* root = many.addRecord(nullptr, "root", 0, 0);
    for (int i = 0; i < 20000; ++i) many.addRecord(root, "n" + std::to_string(i), 1, 0);
    for (int i = 0; i < 20000; i += 7)
        EXPECT_EQ(many.findNodeIndex("n" + std::to_string(i)), i + 1);
    EXPECT_EQ(many.findNodeIndex("n20000"), -1);
    // addNode with an id that exists replaces the entry with the newer index.
    Node extra(nullptr, 0);
    many.addNode(&extra, "n5");
    EXPECT_EQ(many.findNodeIndex("n5"), 20001);
    many.nodes.pop_back();  // `extra` is not owned by the graph
}

// A reload, and taking over a graph read aside, give what reading the file straight into a graph
// with the same hidden groups gives; the colours stay, the home view is the new file's.
TEST(Graph, ReloadAndTakeOverKeepTheViewersTables) {
    ViewerSettings settings;
    Graph direct(settings);
    direct.setGroupHidden(0, "image", 1);
    ASSERT_TRUE(readFile(direct, dataPath("worked_example.graph")));
    const std::string expected = describe(direct);

    for (const bool takeOver : {false, true}) {
        Graph shown(settings);
        ASSERT_TRUE(readText(shown,
                             "0 old 0 html\n1 old/x 0 image\n"
                             "-99 position 1 0 0 0 0 1 0 0 0 0 1 0 0.5 0 0 1\n"));
        shown.setGroupColor(0, "image", 1.0f, 0.0f, 1.0f);
        EXPECT_EQ(shown.setGroupHidden(0, "image", 1), 1);
        if (takeOver) {
            Graph fresh(settings);
            ASSERT_TRUE(readFile(fresh, dataPath("worked_example.graph")));
            Node* freshRoot = fresh.root;
            shown.debugLevel = 3;
            shown.takeContentsOf(fresh);
            EXPECT_EQ(shown.debugLevel, 3);
            shown.debugLevel = 0;
            EXPECT_EQ(shown.root, freshRoot);  // nodes are taken over in place, not copied
            EXPECT_EQ(describe(fresh), "levels\nlinks\n");
            EXPECT_EQ(fresh.findNode("a://h/"), nullptr);
            ASSERT_TRUE(readText(fresh, "0 again 0\n"));  // the emptied graph reads again
            EXPECT_EQ(fresh.nodes.size(), 1u);
        } else {
            ASSERT_TRUE(readFile(shown, dataPath("worked_example.graph")));
        }
        EXPECT_EQ(describe(shown), expected) << takeOver;
        EXPECT_EQ(shown.findNode("old"), nullptr);
        EXPECT_EQ(shown.nodeColor(*shown.nodes[2])[0], 1.0f);
        EXPECT_EQ(shown.groupColors[0].size(), 1u);
        EXPECT_EQ(shown.topNodeIndex(), 0);
    }
}

TEST(Graph, AStreamWithoutNodesFailsAndLeavesTheGraphEmpty) {
    ViewerSettings settings;
    Graph g(settings);
    for (const std::string text : {"\n\n", "-99 position 1 2 3\n"}) {
        ASSERT_TRUE(readFile(g, dataPath("worked_example.graph")));
        EXPECT_FALSE(readText(g, text)) << text;
        EXPECT_EQ(describe(g), "levels\nlinks\n");
        EXPECT_EQ(g.topNodeIndex(), -1);
        EXPECT_EQ(g.findNode("a://h/"), nullptr);
        EXPECT_EQ(g.setOutLinksShown("QX_TOPNODE", 1, 1), 0);
        EXPECT_TRUE(g.collectShownSubtree("a://h/", -1).empty());
    }
    std::ifstream missing("/nonexistent/orvo/file.graph");
    EXPECT_FALSE(readAndLayOut(g, missing));
    // A read writes no view setting: a failed read aside leaves the top node on view alone.
    ASSERT_TRUE(readFile(g, dataPath("worked_example.graph")));
    Graph aside(settings);
    EXPECT_FALSE(readText(aside, "\n"));
    EXPECT_EQ(g.topNodeIndex(), 0);
    EXPECT_EQ(settings.topNodeIndex, -1);
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
    ASSERT_TRUE(readText(*graph, big));
    ASSERT_TRUE(
        readText(*graph, "0 a 0 xx\n 1 b 0 yy\n"));  // the big contents go to the background
    EXPECT_EQ(describe(*graph), "0 a 1  xx\n1 b 1  yy\nlevels 0 1\nlinks 0>1:6\n");
    Graph fresh(settings);
    ASSERT_TRUE(readText(fresh, big));
    graph->takeContentsOf(fresh);
    EXPECT_EQ(graph->findNode("n119999")->parent, graph->root);
    EXPECT_EQ(graph->groupOf(*graph->findNode("n6"), 0), "g6");
    graph.reset();  // and the big contents again, now from the graph's end
    waitForBackgroundDiscards();
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
        for (int i = 0; i < 10000; ++i) EXPECT_EQ(made[i]->value, i);
        ChunkedStore<Counted> moved(std::move(store));
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
    moved.clear();
    EXPECT_EQ(moved.capacityBytes(), 0u);
}

TEST(GraphStorage, GroupNamesAndPairSetIntern) {
    GroupNames names;
    EXPECT_TRUE(answersMatch("group_names.txt", [&names](const std::string& question) {
        std::istringstream in(question);
        std::string op, arg, out;
        in >> op >> arg;
        std::istringstream numbers(question.substr(op.size()));
        std::vector<GroupNameId> ids;
        for (GroupNameId id; numbers >> id;) ids.push_back(id);
        if (op == "intern") return std::to_string(names.intern(arg));
        if (op == "name") return std::string(names.name(ids.at(0)));
        if (op == "find") return std::to_string(names.find(arg));
        if (op == "set") return std::to_string(names.internSet(ids));
        for (const GroupNameId id : op == "entries" ? names.set(ids.at(0)) : GroupSetView{})
            out += (out.empty() ? "" : " ") + std::to_string(id);
        if (op == "clear") names.clear();
        return op == "entries" || op == "clear" ? out : "no such step";
    }));

    IndexPairSet pairs;
    EXPECT_FALSE(pairs.contains(0, 0));
    for (int32_t i = 0; i < 5000; ++i) pairs.insert(i, i * 3);
    pairs.insert(7, 21);
    EXPECT_EQ(pairs.size(), 5000u);
    for (int32_t i = 1; i < 5000; ++i) {
        EXPECT_TRUE(pairs.contains(i, i * 3));
        EXPECT_FALSE(pairs.contains(i * 3, i));
    }
    EXPECT_FALSE(pairs.contains(-1, 0));
}

// The debug file never follows a planted link or truncates a stranger's file.
TEST(Dump, DebugFileIsWrittenWholeAndOnlyToAFileOfOurs) {
    const std::string dump = readWholeFile(dataPath("worked_example.dump"));
    TempDir dir;
    writeWholeFile(dir / "longer", std::string(5000, 'x'));  // longer than what replaces it
    writeWholeFile(dir / "victim", "precious\n");
    ASSERT_EQ(::symlink(dir.file("victim").c_str(), dir.file("planted").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("target").c_str(), dir.file("dangling").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);  // no reader: must not block
    const std::pair<std::string, bool> cases[] = {
        {"longer", true},   {"new", true},       {"missing/dir/x", false},
        {"planted", false}, {"dangling", false}, {"fifo", false},
        {"", false},  // the directory itself
    };
    for (const auto& [name, written] : cases) {
        EXPECT_EQ(Graph::writeDebugFileTo(dir.file(name).c_str(), dump), written) << name;
        if (written) {
            EXPECT_EQ(readWholeFile(dir / name), dump) << name;
        }
    }
    EXPECT_EQ(readWholeFile(dir / "victim"), "precious\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "target"));

    if (::geteuid() != 0) return;  // only root can give a file to another user
    writeWholeFile(dir / "foreign", "belongs to nobody\n");
    ASSERT_EQ(::chown(dir.file("foreign").c_str(), 65534, 65534), 0);
    EXPECT_FALSE(Graph::writeDebugFileTo(dir.file("foreign").c_str(), "dump\n"));
    EXPECT_EQ(readWholeFile(dir / "foreign"), "belongs to nobody\n");
}

// The outline each pair of tests/data/graph_compare_cases.txt gives, and its counts.
TEST(GraphCompare, EachPairGivesItsOutlineAndCounts) {
    const std::vector<OutlineCase> cases = outlineCases("graph_compare_cases.txt");
    ASSERT_EQ(cases.size(), 3u);
    for (const OutlineCase& c : cases) {
        const size_t split = c.input.find("+++\n");
        ViewerSettings settings;
        Graph older(settings), newer(settings);
        ASSERT_TRUE(readText(older, c.input.substr(0, split)) &&
                    readText(newer, c.input.substr(split + 4)));
        const GraphComparison result = compareGraphs(older, newer);
        EXPECT_EQ(result.outline + comparisonSummary(result) + "\nleft out " +
                      std::to_string(result.recordsLeftOut) + "\n",
                  c.expected)
            << c.name;
    }
}

// A node as the reader left it: its parent, groups, label and further links, by id.
std::map<std::string, std::string> nodesById(const Graph& graph) {
    std::map<std::string, std::string> nodes;
    for (const Node* n : graph.nodes) {
        std::string text = "parent " + std::string(n->parent ? n->parent->id : "-") + ", groups";
        for (int kind = 0; kind < kGroupKinds; ++kind)
            text += " " + std::string(graph.groupOf(*n, kind));
        text += ", label " + std::string(graph.labelOf(*n)) + ", links";
        std::vector<std::string> links;
        for (const Link* l : n->outLinks) links.emplace_back(l->toId());
        std::sort(links.begin(), links.end());
        for (const std::string& l : links) text += " " + l;
        nodes[std::string(n->id)] = text;
    }
    return nodes;
}

// The graph on view written back as outline text (what a published map carries) reads as the
// same graph: every node under the same parent, with its groups, label and further links.
TEST(GraphOutline, WrittenBackItReadsAsTheSameGraph) {
    for (const char* file : {"/examples/worked-example.graph", "/examples/sqlite-doc.graph",
                             "/examples/site.graph", "/tests/data/move_example.graph",
                             "/tests/data/viewer_groups.graph", "/tests/data/attributes.graph"}) {
        SCOPED_TRACE(file);
        ViewerSettings settings;
        Graph read(settings), again(settings);
        ASSERT_TRUE(readText(read, readWholeFile(std::string(ORVO_SOURCE_DIR) + file)));
        uint64_t leftOut = 1;
        const std::string outline = graphOutline(read, &leftOut);
        EXPECT_EQ(leftOut, 0u);
        ASSERT_TRUE(readText(again, outline));
        EXPECT_EQ(nodesById(again), nodesById(read));
    }
}
