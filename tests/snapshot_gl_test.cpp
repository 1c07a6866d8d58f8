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
// changes; "site" is also what the renderer draws in its own tests.
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
    };
    TempDir dir;
    for (const auto& c : cases) {
        const std::string out = dir / (std::string(c.reference) + ".png");
        std::vector<std::string> arguments = c.options;
        arguments.insert(arguments.begin(),
                         {kSite, "-o", out, "--size", "200x150", "--refine-limit", kWholeGraph,
                          "--overlapping-labels"});
        const auto run = runTool("orvo-snapshot", arguments);
        ASSERT_EQ(run.status, 0) << c.reference << ": " << run.err;
        RgbaImage image;
        std::string error;
        ASSERT_TRUE(readPng(out, image, error)) << error;
        EXPECT_TRUE(testing::matchesPicture(image, c.reference));
    }
}

TEST(SnapshotTool, RefusesWhatItCannotDo) {
    TempDir dir;
    const std::string out = dir / "x.png", empty = dir / "empty.graph";
    test::writeWholeFile(empty, "\n\n");
    // Arguments, exit status, and what the message (or, for 0, the output) says.
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string message;
    } refusals[] = {
        {{kSite, "-o", out, "--goto", "http://nowhere/"}, 1, "http://nowhere/"},
        {{dir / "missing.graph", "-o", out}, 1, "cannot open"},
        {{dir / "missing.graph", "-o", out}, 1, "No such file or directory"},
        {{empty, "-o", out}, 1, "no node record"},
        {{kSite, "-o", dir / "no/such/dir/x.png", "--size", "64x48"}, 1, "cannot write"},
        {{kSite, "-o", out, "--scheme", "3"}, 2, "--scheme"},
        {{kSite}, 2, "--output"},
        {{kSite, "-o", out, "--keys", "sf"}, 2, "--keys"},
        {{kSite, "-o", out, "--keys", "f"}, 2, "--goto"},  // "f" would wait for standard input
        {{kSite, "-o", out, "--frobnicate"}, 2, "--frobnicate"},
        {{kSite, "-o", out, "--refine-limit", "-1"}, 2, "--refine-limit"},
        {{kSite, "-o", out, "--size", "20000x10"}, 2, "--size"},
        {{kSite, "-o", out, "--size", "0x10"}, 2, "--size"},
        {{kSite, "-o", out, "--size", "10"}, 2, "--size"},
        {{kSite, "-o", out, "--size", "axb"}, 2, "--size"},
        {{kSite, "-o", out, "--size", "-5x5"}, 2, "--size"},
        {{"--version"}, 0, "orvo-snapshot"},
        {{"--help"}, 0, "--goto"},
        {{"--help"}, 0, "\nUsage: orvo-snapshot [OPTIONS] FILE"},
    };
    for (const auto& r : refusals) {
        const auto run = runTool("orvo-snapshot", r.arguments);
        EXPECT_EQ(run.status, r.status) << r.message;
        EXPECT_NE((r.status == 0 ? run.out : run.err).find(r.message), std::string::npos)
            << run.out << run.err;
        EXPECT_TRUE(r.status != 2 || run.err.starts_with("orvo-snapshot: ")) << run.err;
        EXPECT_FALSE(std::filesystem::exists(out)) << r.message;
    }
}

// --report lists the boxes of what was drawn, in drawing order: compared with the report made
// once from this tool. --pick names what is drawn at a pixel.
TEST(SnapshotTool, ReportAndPickTellWhatWasDrawnWhere) {
    TempDir dir;
    auto run = [&](const std::string& graph, std::vector<std::string> more) {
        more.insert(more.begin(), {graph, "--refine-limit", kWholeGraph});
        return runTool("orvo-snapshot", more);
    };
    const std::string small = testing::dataPath("render_small.graph"), report = dir / "r.csv";
    ASSERT_EQ(run(small, {"--size", "200x150", "--overlapping-labels", "--report", report}).status,
              0);
    EXPECT_EQ(test::readWholeFile(report),
              test::readWholeFile(testing::dataPath("render_small.report.csv")));

    // The top node at the centre of the picture, nothing in a corner; a pixel outside the
    // 800 x 600 picture is a usage error; --goto brings its node to the centre.
    EXPECT_EQ(run(kSite, {"--pick", "400,300"}).out, "http://www.example.org/\n");
    EXPECT_EQ(run(kSite, {"--no-refine", "--pick", "400,300"}).out, "http://www.example.org/\n");
    EXPECT_EQ(run(kSite, {"--pick", "1,1"}).out, "");
    EXPECT_EQ(run(kSite, {"--pick", "800,1"}).status, 2);
    const char* const logo = "http://www.example.org/logo.gif";
    EXPECT_EQ(run(kSite, {"--goto", logo, "--pick", "400,300"}).out, std::string(logo) + "\n");
}

}  // namespace
}  // namespace orvo
#else
// The build hooks the tool into the GL tests; should that hook go missing, say so instead of
// dropping the tool's tests without a word.
TEST(SnapshotTool, IsBuiltForTheGlTests) { FAIL() << "ORVO_SNAPSHOT_DIR is not defined"; }
#endif
