// orvo-gen run as a process: seeded output that remakes the bundled example byte for byte, any
// size read back as exactly that many nodes of a sound graph, and its refusals.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "glue/window_settings.h"
#include "graph/graph.h"
#include "graph_invariants.h"
#include "layout/layout.h"
#include "run_tool.h"
#include "settings/viewer_settings.h"

namespace orvo::test {
namespace {

TEST(GeneratorTool, SeededAndRemakesTheBundledExample) {
    const ToolRun first = runTool("orvo-gen", {"--nodes", "3000", "--seed", "1"});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.out, readWholeFile(ORVO_SOURCE_DIR "/examples/site.graph"));

    TempDir dir;
    const ToolRun toFile =
        runTool("orvo-gen", {"-n", "3000", "-s", "1", "-o", dir.file("s.graph")});
    EXPECT_EQ(toFile.status, 0) << toFile.err;
    EXPECT_EQ(readWholeFile(dir / "s.graph"), first.out);
    EXPECT_NE(toFile.err.find("3000 nodes"), std::string::npos) << toFile.err;
    EXPECT_NE(runTool("orvo-gen", {"--nodes", "3000", "--seed", "2"}).out, first.out);
}

TEST(GeneratorTool, AnySizeLoadsToExactlyThatManyNodes) {
    for (const auto& [nodes, seed] : std::vector<std::pair<int, int>>{
             {1, 1}, {2, 4}, {3, 9}, {10, 3}, {137, 11}, {1000, 5}, {6000, 7}}) {
        const ToolRun run =
            runTool("orvo-gen", {"-n", std::to_string(nodes), "-s", std::to_string(seed)});
        ASSERT_EQ(run.status, 0) << run.err;
        ViewerSettings settings;
        settings.loadFlags = kWindowLoadFlags;
        std::istringstream in(run.out);
        Graph graph(settings, in);
        layOutFromTop(graph);
        EXPECT_EQ(graph.nodes.size(), size_t(nodes));  // every id distinct, every one reached
        EXPECT_EQ(checkGraphInvariants(graph), "") << nodes;
    }
}

TEST(GeneratorTool, HelpVersionAndRefusals) {
    TempDir dir;
    EXPECT_TRUE(matchesTranscript("orvo-gen.transcript", dir));
}

}  // namespace
}  // namespace orvo::test
