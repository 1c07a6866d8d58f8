// orvo-inspect and orvo-snapshot open every input the viewer opens (an edge list, a folder, a DOT
// and a GraphML file) as the viewer does: imported in memory as orvo-import imports it.
#include <gtest/gtest.h>

#include <string>

#include "run_tool.h"
#ifdef ORVO_SNAPSHOT
#include "tests/render_gl_rig.h"
#endif

namespace orvo::test {
namespace {

using testing::dataPath;

struct Input {
    std::string path, name;
};

const Input kInputs[] = {{dataPath("edges.csv"), "edges"},
                         {dataPath("tools/tree"), "tree"},
                         {dataPath("links.dot"), "links-dot"},
                         {dataPath("links.graphml"), "links-graphml"}};

TEST(ViewerInputs, InspectLoadsThemAsImported) {
    TempDir dir;
    for (const Input& input : kInputs) {
        const std::string graph = dir.file(input.name + ".graph");
        ASSERT_EQ(runTool("orvo-import", {input.path, "-o", graph}).status, 0) << input.path;
        const ToolRun inMemory = runTool("orvo-inspect", {input.path, "--dump", "-"});
        EXPECT_EQ(inMemory.err, "") << input.path;
        EXPECT_EQ(inMemory.out, runTool("orvo-inspect", {graph, "--dump", "-"}).out) << input.path;
    }
}

#ifdef ORVO_SNAPSHOT
// Against the reference pictures: no channel of a pixel further than 48, a mean difference <= 0.5.
TEST(ViewerInputs, SnapshotDrawsThemAsTheirReferencePictures) {
    TempDir dir;
    for (const Input& input : kInputs) {
        SCOPED_TRACE(input.path);
        const std::string png = dir.file(input.name + ".png");
        // Without the boundary sphere only the graph's nodes, links and labels are drawn.
        const ToolRun run = runTool(ORVO_SNAPSHOT, {input.path, "-o", png, "--size", "160x120",
                                                    "--keys", "s", "--refine-limit", "3600"});
        ASSERT_EQ(run.status, 0) << run.err;
        if (input.name == "tree") continue;  // its labels show where the source tree is
        RgbaImage got;
        std::string error;
        ASSERT_TRUE(readPng(png, got, error)) << error;
        EXPECT_TRUE(testing::matchesPicture(got, "input-" + input.name, 48, 0.5));
    }
}
#endif

}  // namespace
}  // namespace orvo::test
