// orvo-gen run as a process: seeded output, the bundled example it remakes, and the shape of what
// it writes once read as the viewer reads it (exact node count, both group kinds, moves, non-tree
// links, the position record, a sound graph).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "glue/window_settings.h"
#include "graph/graph.h"
#include "layout/layout.h"
#include "graph_invariants.h"
#include "run_tool.h"
#include "settings/viewer_settings.h"

namespace orvo::test {
namespace {

ToolRun generate(const std::vector<std::string>& arguments) {
    return runTool("orvo-gen", arguments);
}

struct Loaded {
    ViewerSettings settings;
    std::unique_ptr<Graph> graph;
};

std::unique_ptr<Loaded> load(const std::string& text, int32_t loadFlags = kWindowLoadFlags) {
    auto loaded = std::make_unique<Loaded>();
    loaded->settings.loadFlags = loadFlags;
    std::istringstream in(text);
    loaded->graph = std::make_unique<Graph>(loaded->settings, in);
    layOutFromTop(*loaded->graph);
    return loaded;
}

TEST(GeneratorTool, SeededAndRemakesTheBundledExample) {
    const ToolRun first = generate({"--nodes", "3000", "--seed", "1"});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.out, readWholeFile(std::string(ORVO_SOURCE_DIR) + "/examples/site.graph"));

    TempDir dir;
    const ToolRun toFile = generate({"-n", "3000", "-s", "1", "-o", dir / "site.graph"});
    EXPECT_EQ(toFile.status, 0) << toFile.err;
    EXPECT_EQ(readWholeFile(dir / "site.graph"), first.out);
    EXPECT_NE(toFile.err.find("3000 nodes"), std::string::npos) << toFile.err;

    const ToolRun otherSeed = generate({"--nodes", "3000", "--seed", "2"});
    EXPECT_EQ(otherSeed.status, 0);
    EXPECT_NE(otherSeed.out, first.out);
}

TEST(GeneratorTool, WritesASiteShapedGraph) {
    const int nodes = 6000;
    const ToolRun run = generate({"--nodes", std::to_string(nodes), "--seed", "7"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto loaded = load(run.out);
    const Graph& g = *loaded->graph;
    ASSERT_EQ(g.nodes.size(), size_t(nodes));  // every id distinct, every one reached
    EXPECT_EQ(checkGraphInvariants(g), "");

    std::set<std::string> kind0, kind1;
    size_t treeLinks = 0, maxDepth = 0;
    for (const Node* n : g.nodes) {
        EXPECT_EQ(n->id.rfind("http://", 0), 0u) << n->id;
        kind0.insert(std::string(g.groupOf(*n, 0)));
        kind1.insert(std::string(g.groupOf(*n, 1)));
        treeLinks += n->children.size();
        size_t depth = 0;
        for (const Node* up = n->parent; up; up = up->parent) ++depth;
        maxDepth = std::max(maxDepth, depth);
    }
    for (const char* group : {"html", "image", "text", "application", "audio", "video", "other"})
        EXPECT_TRUE(kind0.count(group)) << group;
    EXPECT_EQ(kind1, (std::set<std::string>{"main", "orphan", "external"}));

    // About half as many extra links as nodes, and a shallow, bushy tree like a real site.
    const size_t nonTree = g.links.size() - treeLinks;
    EXPECT_GE(nonTree, size_t(nodes * 0.40));
    EXPECT_LE(nonTree, size_t(nodes * 0.55));
    EXPECT_GE(maxDepth, 3u);
    EXPECT_LE(maxDepth, 10u);

    // The position record turned the home view away from the identity.
    EXPECT_NE(g.homeTransform().m[0], 1.0);
    EXPECT_NEAR(g.homeTransform().m[0], std::cos(0.5), 1e-15);

    // Pages first listed under a far page moved to their own folder's page: read without
    // moving, those pages keep another parent.
    const auto unmoved = load(run.out, kWindowLoadFlags | NeverMove);
    size_t moved = 0;
    for (size_t i = 0; i < g.nodes.size(); ++i) {
        const Node* a = g.nodes[i];
        const Node* b = unmoved->graph->nodes[i];
        ASSERT_EQ(a->id, b->id);
        if (a->parent && a->parent->id != b->parent->id) {
            ++moved;
            // A moved page hangs under its own folder's page.
            const std::string_view id = a->id;
            EXPECT_EQ(a->parent->id, id.substr(0, id.rfind('/') + 1)) << id;
        }
    }
    EXPECT_GE(moved, size_t(nodes / 200));
}

TEST(GeneratorTool, AnySizeLoadsToExactlyThatManyNodes) {
    for (const auto& [nodes, seed] :
         std::vector<std::pair<int, int>>{{1, 1}, {2, 4}, {3, 9}, {10, 3}, {137, 11}, {1000, 5}}) {
        const ToolRun run = generate({"-n", std::to_string(nodes), "-s", std::to_string(seed)});
        ASSERT_EQ(run.status, 0) << run.err;
        const auto loaded = load(run.out);
        EXPECT_EQ(loaded->graph->nodes.size(), size_t(nodes)) << nodes;
        EXPECT_EQ(checkGraphInvariants(*loaded->graph), "") << nodes;
    }
}

TEST(GeneratorTool, RefusesBadOptions) {
    // Usage errors: status 2 and a message that names the option, after the program's name.
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"--nodes", "0"}, {"--nodes", "many"}, {"--seed"}}) {
        const ToolRun bad = generate(options);
        EXPECT_EQ(bad.status, 2) << options[0];
        EXPECT_TRUE(bad.err.starts_with("orvo-gen: ")) << bad.err;
        EXPECT_NE(bad.err.find(options[0]), std::string::npos) << bad.err;
    }
    const ToolRun unknown = generate({"--colour", "red"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("--colour"), std::string::npos) << unknown.err;
    const ToolRun unwritable = generate({"-n", "10", "-o", "/nonexistent-dir/x.graph"});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_NE(unwritable.err.find("cannot write"), std::string::npos) << unwritable.err;

    const ToolRun help = generate({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--seed"), std::string::npos);
    EXPECT_NE(help.out.find("\nUsage: orvo-gen [OPTIONS]"), std::string::npos) << help.out;
    EXPECT_EQ(generate({"--version"}).out, "orvo-gen 2.0.0\n");
}

}  // namespace
}  // namespace orvo::test
