// Maps through the tools, as separate processes on real files: orvo-import writes one, and
// orvo-inspect and orvo-snapshot give byte for byte what they give on the outline it was made
// from; a damaged map gets a message and a failing status.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "glue/window_settings.h"
#include "graph/graph.h"
#include "graph/node_measures.h"
#include "layout/layout.h"
#include "mapfile/map_writer.h"
#include "run_tool.h"

namespace orvo::test {
namespace {

struct Pair {
    std::string outline, map;
};

// The outline and its map, written by orvo-import: the bundled example and a generated site.
std::vector<Pair> makePairs(const TempDir& dir) {
    EXPECT_EQ(
        runTool("orvo-gen", {"-n", "30000", "-s", "3", "-o", (dir / "gen.graph").string()}).status,
        0);
    std::vector<Pair> pairs{{ORVO_SOURCE_DIR "/examples/site.graph", (dir / "site.orvomap")},
                            {(dir / "gen.graph").string(), (dir / "gen.bin")}};
    for (const Pair& p : pairs) {
        std::vector<std::string> arguments{p.outline, "-o", p.map};
        if (!p.map.ends_with(".orvomap")) arguments.push_back("--output-format=map");
        const ToolRun run = runTool("orvo-import", arguments);
        EXPECT_EQ(run.status, 0) << run.err;
    }
    return pairs;
}

// What a run of the tool wrote to `out` (and printed), with the input's name taken out.
std::string outputOf(const std::string& tool, const std::string& input,
                     std::vector<std::string> arguments, const std::string& out) {
    arguments.insert(arguments.begin(), input);
    const ToolRun run = runTool(tool, arguments);
    EXPECT_EQ(run.status, 0) << run.err;
    return replaceAll(run.out + run.err, input, "INPUT") + "\n" + readWholeFile(out);
}

TEST(MapFileTools, InspectGivesTheSameDumpAndPositionsOnAMap) {
    TempDir dir;
    for (const Pair& p : makePairs(dir)) {
        for (const std::vector<std::string>& arguments :
             {std::vector<std::string>{"--dump", (dir / "out").string()},
              {"--positions", (dir / "out").string()},
              {"--measures", (dir / "out").string()},
              {"--from", "http://www.example.org/faq.html", "--positions",
               (dir / "out").string()}}) {
            if (arguments[0] == "--from" && !p.outline.ends_with("site.graph")) continue;
            const std::string fromOutline =
                outputOf("orvo-inspect", p.outline, arguments, dir / "out");
            EXPECT_GT(fromOutline.size(), 100u);
            EXPECT_EQ(outputOf("orvo-inspect", p.map, arguments, dir / "out"), fromOutline);
        }
    }
}

#ifdef ORVO_SNAPSHOT
TEST(MapFileTools, SnapshotDrawsTheSamePicturePickAndReport) {
    TempDir dir;
    for (const Pair& p : makePairs(dir)) {
        // Refined to the end, labels drawn wherever they fall: which label gives way to which
        // otherwise depends on the slices the machine's speed allows.
        const std::vector<std::string> arguments{
            "-o",      (dir / "out").string(), "--report", (dir / "report").string(), "--pick",
            "400,300", "--refine-limit",       "3600",     "--overlapping-labels"};
        // One run after the other: the report file is read only once its run has written it.
        auto drawn = [&](const std::string& input) {
            const std::string output = outputOf(ORVO_SNAPSHOT, input, arguments, dir / "out");
            return output + readWholeFile(dir / "report");
        };
        const std::string fromOutline = drawn(p.outline);
        EXPECT_NE(fromOutline.find("\nnode,"), std::string::npos);
        EXPECT_TRUE(drawn(p.map) == fromOutline) << "the pictures, picks or reports differ";
    }
}
#endif

// orvo-inspect takes the measures a map carries as they are: a map written with a node's
// measures changed gives them back changed.
TEST(MapFileTools, InspectTakesTheMeasuresAMapCarries) {
    TempDir dir;
    ViewerSettings settings;
    applyWindowInitialisation(settings);
    Graph graph(settings);
    std::ifstream in(ORVO_SOURCE_DIR "/examples/worked-example.graph");
    ASSERT_TRUE(readAndLayOut(graph, in));
    NodeMeasures measures = computeNodeMeasures(graph);
    ASSERT_EQ(measures.size(), 5u);
    measures.subtree[2] = 4;
    measures.linksIn[2] = 6;
    const std::string map = (dir / "changed.orvomap").string();
    ASSERT_EQ(writeMapFile(map, graph, settings, &measures), "");
    const ToolRun run = runTool("orvo-inspect", {map, "--measures", "-", "--top", "5"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\n2,a://h/y.gif,2,6,0,4,0.1554719305\n"), std::string::npos) << run.out;
}

TEST(MapFileTools, ADamagedMapIsRefusedWithItsReason) {
    TempDir dir;
    const Pair site = makePairs(dir).front();
    const std::string whole = readWholeFile(site.map);
    writeWholeFile(dir / "cut.orvomap", whole.substr(0, whole.size() / 2));
    const std::string cut = (dir / "cut.orvomap").string();
    ToolRun run = runTool("orvo-inspect", {cut});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "orvo-inspect: " + cut +
                           ": it is cut short: " + std::to_string(whole.size() / 2) + " of its " +
                           std::to_string(whole.size()) + " bytes\n");
#ifdef ORVO_SNAPSHOT
    run = runTool(ORVO_SNAPSHOT, {cut, "-o", (dir / "x.png").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("it is cut short"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "x.png"));
#endif
    // A map goes to a named file, never to standard output.
    run = runTool("orvo-import", {site.outline, "--output-format", "map"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("a map is written to a file"), std::string::npos) << run.err;
}

// An outline's map is made from columns, never from a graph: within 300 MiB of address space,
// where a graph of 200 000 nodes does not fit, their map is written; memory that runs out all
// the same stops with the reason and leaves no file, temporary or not.
TEST(MapFileTools, AnOutlineGetsItsMapInLittleMemoryOrTheReasonAndNoFile) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer reserves its shadow memory beyond any such bound";
#else
    TempDir dir;
    const std::string large = (dir / "large.graph").string();
    ASSERT_EQ(runTool("orvo-gen", {"-n", "200000", "-s", "7", "-o", large}).status, 0);
    const struct {
        std::string input;
        const char* bound;  // KiB of address space
        const char* said;   // nullptr: the map is written
    } cases[] = {{ORVO_SOURCE_DIR "/examples/site.graph", "307200", nullptr},
                 {large, "307200", nullptr},
                 {large, "102400", "there is not enough memory for it"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input + " within " + c.bound + " KiB");
        const std::filesystem::path out = dir / "out";
        std::filesystem::remove_all(out);
        std::filesystem::create_directory(out);
        const std::string map = (out / "map.orvomap").string();
        const ToolRun run =
            runTool("/bin/sh", {"-c", std::string("ulimit -v ") + c.bound + " && exec \"$0\" \"$@\"",
                                ORVO_TOOLS_DIR "/orvo-import", c.input, "-o", map});
        if (c.said == nullptr) {
            EXPECT_EQ(run.status, 0) << run.err;
            EXPECT_EQ(std::vector<std::filesystem::path>(std::filesystem::directory_iterator(out), {}),
                      std::vector<std::filesystem::path>{map});
            continue;
        }
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.err.starts_with("orvo-import: " + c.input + ": " + c.said)) << run.err;
        EXPECT_TRUE(std::filesystem::is_empty(out));
    }
#endif
}

}  // namespace
}  // namespace orvo::test
