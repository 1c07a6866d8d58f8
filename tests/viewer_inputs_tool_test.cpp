// orvo-inspect and orvo-snapshot open every input the viewer opens, as the viewer does: an edge
// list, a folder, a DOT and a GraphML file are imported in memory with the importers' defaults.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "run_tool.h"
#ifdef ORVO_SNAPSHOT
#include "platform/png_image.h"
#endif

namespace orvo::test {
namespace {

struct Input {
    std::string path;
    int nodes;  // as the importer makes them: one node per id, file or folder
};

/// The inputs: three data files and a folder tree made here.
std::vector<Input> inputs(const TempDir& dir) {
    const std::string folder = dir / "tree";
    std::filesystem::create_directories(folder + "/sub");
    writeWholeFile(folder + "/notes.txt", "notes");
    writeWholeFile(folder + "/sub/logo.png", "png");
    return {{testing::dataPath("edges.csv"), 5},
            {folder, 4},  // the folder, notes.txt, sub, sub/logo.png
            {testing::dataPath("links.dot"), 5},
            {testing::dataPath("links.graphml"), 3}};
}

TEST(ViewerInputs, InspectLoadsThemAsTheViewerDoes) {
    TempDir dir;
    for (const Input& input : inputs(dir)) {
        const ToolRun run = runTool("orvo-inspect", {input.path, "--stats"});
        ASSERT_EQ(run.status, 0) << input.path << "\n" << run.err;
        const std::string count = std::to_string(input.nodes);
        EXPECT_NE(run.out.find("\nnodes           " + count + " (" + count + " shown)\n"),
                  std::string::npos)
            << run.out;
        EXPECT_EQ(run.err, "") << input.path;
    }

    // A malformed import fails with the file and line named once; a missing input as before.
    writeWholeFile(dir / "bad.csv", "a,b\nb,\"c\n");
    const ToolRun bad = runTool("orvo-inspect", {dir / "bad.csv"});
    EXPECT_EQ(bad.status, 1);
    const std::string badPath = dir / "bad.csv";
    EXPECT_TRUE(bad.err.starts_with("orvo-inspect: cannot import " + badPath + ":2: ")) << bad.err;
    EXPECT_EQ(bad.err.find(badPath, bad.err.find(badPath) + 1), std::string::npos) << bad.err;
    EXPECT_EQ(bad.out, "");
}

#ifdef ORVO_SNAPSHOT
TEST(ViewerInputs, SnapshotDrawsThem) {
    TempDir dir;
    for (const Input& input : inputs(dir)) {
        const std::string png = dir / "out.png";
        std::filesystem::remove(png);
        // Without the boundary sphere only the graph's nodes, links and labels are drawn.
        const ToolRun run = runTool(ORVO_SNAPSHOT, {input.path, "-o", png, "--size", "160x120",
                                                    "--keys", "s", "--refine-limit", "3600"});
        ASSERT_EQ(run.status, 0) << input.path << "\n" << run.err;
        RgbaImage image;
        std::string error;
        ASSERT_TRUE(readPng(png, image, error)) << error;
        EXPECT_EQ(image.width, 160);
        EXPECT_EQ(image.height, 120);
        // The corner is background; the graph covers some pixels of the picture.
        const auto corner = std::vector<uint8_t>(image.pixels.begin(), image.pixels.begin() + 3);
        int drawn = 0;
        for (size_t i = 0; i < image.pixels.size(); i += 4) {
            drawn += !std::equal(corner.begin(), corner.end(), image.pixels.begin() + i);
        }
        EXPECT_GT(drawn, 50) << input.path;
    }
}
#else
TEST(ViewerInputs, SnapshotDrawsThem) { GTEST_SKIP() << "orvo-snapshot is not built (ORVO_GL)"; }
#endif

}  // namespace
}  // namespace orvo::test
