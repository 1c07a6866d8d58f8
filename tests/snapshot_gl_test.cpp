// orvo-snapshot run as a separate process: the picture it writes, read back from the PNG file,
// keyboard commands applied as if typed into the view, its report and picks, and its refusals.

#include "render_gl_rig.h"

#ifdef ORVO_SNAPSHOT_DIR
#ifndef ORVO_TOOLS_DIR
#define ORVO_TOOLS_DIR ORVO_SNAPSHOT_DIR
#endif
#include "run_tool.h"

namespace orvo {
namespace {

using test::runTool;
using test::TempDir;

const std::string kSite = std::string(ORVO_SOURCE_DIR) + "/examples/site.graph";
// Seconds of refinement: enough to run it to its end whatever the machine's speed.
const std::string kWholeGraph = "3600";

// Pictures of 200 x 150 with every label drawn as its node is, which no slicing of the frame
// changes; "site" is also what the renderer draws in its own tests. The GL 1.1 path draws each
// reference exactly; the shader back end within a one-pixel shift.
TEST(SnapshotTool, PicturesShowWhatTheViewShows) {
    const struct {
        std::vector<std::string> options;
        const char* reference;
    } cases[] = {
        {{}, "site"},
        // Two "R" are scheme 2 (a black ground); "s" first takes the sphere away (its toggle
        // starts at 1); the first "m" shows images, as they are already, the second hides them.
        {{"--keys", "RRsmm"}, "site_keys_RRsmm"},
        {{"--scheme", "2", "--keys", "smm"}, "site_keys_RRsmm"},
        {{"--keys", "n"}, "site_keys_n"},  // no node at all
        // Coloured by link score (the top page lightest) and by depth (the top darkest).
        {{"--colour-by", "score"}, "site_colour_score"},
        {{"--colour-by", "depth"}, "site_colour_depth"},
    };
    TempDir dir;
    for (const char* gl : {"legacy", "modern"}) {
        for (const auto& c : cases) {
            const std::string name = std::string(c.reference) + "-" + gl;
            const std::string out = dir / (name + ".png");
            std::vector<std::string> arguments = c.options;
            arguments.insert(arguments.begin(),
                             {kSite, "-o", out, "--size", "200x150", "--refine-limit", kWholeGraph,
                              "--overlapping-labels", "--gl", gl});
            const auto run = runTool("orvo-snapshot", arguments);
            ASSERT_EQ(run.status, 0) << name << ": " << run.err;
            const RgbaImage image = testing::readPicture(out);
            EXPECT_TRUE(std::string_view(gl) == "legacy"
                            ? testing::matchesPicture(image, c.reference)
                            : testing::matchesPictureWithinAShift(image, c.reference,
                                                                  "snapshot-" + name));
        }
    }
}

// --gl chooses the drawing path: the default is auto, bit for bit; modern, and auto where Mesa
// offers a context for it, draw the GL 1.1 path's picture, labels and all, within a one-pixel
// shift.
TEST(SnapshotTool, EachGlPathDrawsTheSamePicture) {
    TempDir dir;
    auto draw = [&](const std::string& gl) {
        const std::string out = dir / (gl + ".png");
        std::vector<std::string> arguments = {kSite, "-o", out, "--size", "400x300",
                                              "--refine-limit", kWholeGraph};
        if (!gl.empty()) arguments.insert(arguments.end(), {"--gl", gl});
        const auto run = runTool("orvo-snapshot", arguments);
        EXPECT_EQ(run.status, 0) << gl << ": " << run.err;
        return testing::readPicture(out);
    };
    const RgbaImage legacy = draw("legacy"), automatic = draw("auto");
    EXPECT_EQ(draw("").pixels, automatic.pixels);
    EXPECT_TRUE(
        testing::samePicture(legacy, automatic, "snapshot-site-auto", {255, 255, 255, 255}));
    EXPECT_TRUE(
        testing::samePicture(legacy, draw("modern"), "snapshot-site-modern", {255, 255, 255, 255}));
}

// --report lists the boxes of what was drawn, in drawing order: compared with the report made
// once from this tool. Both drawing paths place the same labels.
TEST(SnapshotTool, TheReportTellsWhatWasDrawnWhere) {
    TempDir dir;
    for (const char* gl : {"legacy", "modern"}) {
        const std::string report = dir / (std::string(gl) + ".csv");
        ASSERT_EQ(runTool("orvo-snapshot", {testing::dataPath("render_small.graph"),
                                            "--refine-limit", kWholeGraph, "--size", "200x150",
                                            "--overlapping-labels", "--report", report, "--gl", gl})
                      .status,
                  0)
            << gl;
        EXPECT_EQ(test::readWholeFile(report),
                  test::readWholeFile(testing::dataPath("render_small.report.csv")))
            << gl;
    }
}

// What --pick names at a pixel (the top node at the centre, nothing in a corner, the node --goto
// brought to the centre, a link where --hide left the top node a dot), and every refusal with its
// message and exit status (2 for usage errors), against the transcript
// tests/data/tools/orvo-snapshot.transcript. A refusal writes no picture.
TEST(SnapshotTool, PicksAndRefusalsAsTheirTranscript) {
    TempDir dir;
    test::writeWholeFile(dir / "empty.graph", "\n\n");
    EXPECT_TRUE(test::matchesTranscript("orvo-snapshot.transcript", dir));
    EXPECT_FALSE(std::filesystem::exists(dir / "x.png"));
}

}  // namespace
}  // namespace orvo
#else
// The build hooks the tool into the GL tests; should that hook go missing, say so instead of
// dropping the tool's tests without a word.
TEST(SnapshotTool, IsBuiltForTheGlTests) { FAIL() << "ORVO_SNAPSHOT_DIR is not defined"; }
#endif
