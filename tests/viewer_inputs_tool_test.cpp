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
// Against the reference pictures: no channel of a pixel further than 48, a mean difference <= 0.5;
// the shader back end's pictures within a one-pixel shift of them.
TEST(ViewerInputs, SnapshotDrawsThemAsTheirReferencePictures) {
    TempDir dir;
    for (const std::string gl : {"auto", "modern"}) {
        for (const Input& input : kInputs) {
            SCOPED_TRACE(input.path + " --gl " + gl);
            const std::string png = dir.file(input.name + "-" + gl + ".png");
            // Without the boundary sphere only the graph's nodes, links and labels are drawn.
            const ToolRun run =
                runTool(ORVO_SNAPSHOT, {input.path, "-o", png, "--size", "160x120", "--keys", "s",
                                        "--refine-limit", "3600", "--gl", gl});
            ASSERT_EQ(run.status, 0) << run.err;
            if (input.name == "tree") continue;  // its labels show where the source tree is
            const RgbaImage got = testing::readPicture(png);
            const std::string reference = "input-" + input.name;
            EXPECT_TRUE(gl == "auto" ? testing::matchesPicture(got, reference, 48, 0.5)
                                     : testing::matchesPictureWithinAShift(
                                           got, reference, reference + "-modern"));
        }
    }
}
#endif

}  // namespace
}  // namespace orvo::test
