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

// Help, version, refusals, and the seeded output written to a file that remakes the bundled
// example byte for byte, as standard output does.
TEST(GeneratorTool, DoesWhatItsTranscriptShows) {
    TempDir dir;
    EXPECT_TRUE(matchesTranscript("orvo-gen.transcript", dir));
    EXPECT_EQ(runTool("orvo-gen", {"--nodes", "3000", "--seed", "1"}).out,
              readWholeFile(ORVO_SOURCE_DIR "/examples/site.graph"));
}

}  // namespace
}  // namespace orvo::test
