// orvo-inspect run as a process on real files: exit statuses and messages, the dump bytes of the
// worked example, the positions CSV, --from, --flags, --stats and DEVIRIRO_DEBUG.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "glue/window_settings.h"
#include "graph/graph.h"
#include "graph_test_support.h"
#include "run_tool.h"
#include "settings/viewer_settings.h"

namespace orvo::test {
namespace {

using testing::kWorkedExampleDump;

const std::string kWorkedExample = std::string(ORVO_SOURCE_DIR) + "/examples/worked-example.graph";
const std::string kSiteExample = std::string(ORVO_SOURCE_DIR) + "/examples/site.graph";

// a://h/d/f.html is listed first under a://h/x.html, then under its own folder's page.
const std::string kMoveExample =
    "0 a://h/ 0 html main\n"
    "1 a://h/x.html 0 html main\n"
    "2 a://h/d/f.html 0 html main\n"
    "1 a://h/d/ 0 html main\n"
    "2 a://h/d/f.html 0 html main\n";

ToolRun inspect(const std::vector<std::string>& arguments,
                const std::vector<std::string>& environment = {}) {
    return runTool("orvo-inspect", arguments, environment);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

std::vector<std::string> splitCsvRow(const std::string& row) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < row.size(); ++i) {
        const char c = row[i];
        if (quoted && c == '"' && i + 1 < row.size() && row[i + 1] == '"') {
            fields.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

// The position the library gives each node, loaded as the viewer loads.
std::vector<ProjPoint> libraryPositions(const std::string& path, const std::string& fromId = {}) {
    ViewerSettings settings;
    settings.loadFlags = kWindowLoadFlags;
    std::ifstream in(path, std::ios::binary);
    Graph graph(settings, in);
    if (!fromId.empty()) graph.relayoutFrom(graph.findNode(fromId));
    std::vector<ProjPoint> positions;
    for (const Node* n : graph.nodes)
        positions.push_back(dehomogenized(n->globalTransform.apply(ProjPoint{})));
    return positions;
}

std::string format17g(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

TEST(InspectTool, SummaryAndDumpOfTheWorkedExample) {
    const ToolRun plain = inspect({kWorkedExample});
    EXPECT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.out,
              kWorkedExample + ": 5 nodes, 6 links (2 non-tree), depth 2, widest fan-out 2\n");
    EXPECT_EQ(plain.err, "");

    TempDir dir;
    const ToolRun toFile = inspect({kWorkedExample, "--dump", dir / "tree.txt"});
    EXPECT_EQ(toFile.status, 0) << toFile.err;
    EXPECT_EQ(readWholeFile(dir / "tree.txt"), kWorkedExampleDump);

    // To standard output: the bytes alone, no summary line after them.
    const ToolRun toOut = inspect({kWorkedExample, "--dump", "-"});
    EXPECT_EQ(toOut.status, 0);
    EXPECT_EQ(toOut.out, kWorkedExampleDump);
}

TEST(InspectTool, HonoursDebugEnvironmentLikeTheViewer) {
    const ToolRun off = inspect({kWorkedExample}, {"DEVIRIRO_DEBUG=0"});
    EXPECT_EQ(off.status, 0);
    EXPECT_EQ(off.err, "");

    TempDir dir;
    // The tests that write the debug file hold a ctest lock, so no other writes it meanwhile.
    const ToolRun on = inspect({kWorkedExample, "--dump", dir / "tree.txt"}, {"DEVIRIRO_DEBUG=1"});
    EXPECT_EQ(on.status, 0);
    EXPECT_EQ(on.err, "loaded 5 nodes, 6 links\n");
    EXPECT_EQ(readWholeFile("/tmp/corvane"), readWholeFile(dir / "tree.txt"))
        << "--dump differs from the debug file";
}

TEST(InspectTool, PositionsCsvFormat) {
    TempDir dir;
    const ToolRun run = inspect({kWorkedExample, "--positions", dir / "p.csv"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> rows = lines(readWholeFile(dir / "p.csv"));
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0], "index,id,x,y,z");
    EXPECT_EQ(rows[1], "0,a://h/,0,0,0");  // the start node sits at the origin
    const std::vector<std::string> ids = {"a://h/", "a://h/x.html", "a://h/y.gif", "a://h/d/",
                                          "a://h/d/y.gif"};
    const std::vector<ProjPoint> expected = libraryPositions(kWorkedExample);
    for (size_t i = 0; i < ids.size(); ++i) {
        const std::vector<std::string> f = splitCsvRow(rows[i + 1]);
        ASSERT_EQ(f.size(), 5u) << rows[i + 1];
        EXPECT_EQ(f[0], std::to_string(i));
        EXPECT_EQ(f[1], ids[i]);
        EXPECT_EQ(f[2], format17g(expected[i].x));
        EXPECT_EQ(f[3], format17g(expected[i].y));
        EXPECT_EQ(f[4], format17g(expected[i].z));
        // %.17g reads back to the very same double.
        EXPECT_EQ(std::strtod(f[2].c_str(), nullptr), expected[i].x);
    }
    EXPECT_NE(rows[2], "1,a://h/x.html,0,0,0");  // children are placed away from the origin
}

TEST(InspectTool, PositionsQuoteIdsWithCommasQuotesAndLineBreaks) {
    TempDir dir;
    writeWholeFile(dir / "odd.graph",
                   "0 a://h/ 0 html main\n"
                   "1 a://h/a,b.html 0 html main\n"
                   "1 a://h/\"q\".html 0 html main\n"
                   "1 a://h/cr\r 0 html main\n"
                   "1 a://h/plain.html 0 html main\n");
    const ToolRun run = inspect({dir / "odd.graph", "--positions", "-"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string& csv = run.out;
    EXPECT_NE(csv.find("\n1,\"a://h/a,b.html\","), std::string::npos) << csv;
    EXPECT_NE(csv.find("\n2,\"a://h/\"\"q\"\".html\","), std::string::npos) << csv;
    EXPECT_NE(csv.find("\n3,\"a://h/cr\r\","), std::string::npos) << csv;
    EXPECT_NE(csv.find("\n4,a://h/plain.html,"), std::string::npos) << csv;
    // Nothing but the table on standard output.
    EXPECT_EQ(csv.rfind("index,id,x,y,z\n", 0), 0u);
}

TEST(InspectTool, FromLaysOutAroundTheNamedNode) {
    const ToolRun run = inspect({kWorkedExample, "--from", "a://h/d/", "--positions", "-"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> rows = lines(run.out);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[4], "3,a://h/d/,0,0,0");
    EXPECT_NE(rows[1], "0,a://h/,0,0,0");
    const std::vector<ProjPoint> expected = libraryPositions(kWorkedExample, "a://h/d/");
    EXPECT_EQ(splitCsvRow(rows[1])[2], format17g(expected[0].x));

    const ToolRun unknown = inspect({kWorkedExample, "--from", "a://h/nowhere"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("a://h/nowhere"), std::string::npos) << unknown.err;
    EXPECT_EQ(unknown.out, "");
    // Ids are compared byte for byte: a different letter case is another id.
    EXPECT_EQ(inspect({kWorkedExample, "--from", "A://h/d/"}).status, 1);
}

TEST(InspectTool, FlagsChooseHowRepeatedRecordsAreRead) {
    TempDir dir;
    writeWholeFile(dir / "move.graph", kMoveExample);
    const ToolRun moved = inspect({dir / "move.graph", "--dump", "-"});
    ASSERT_EQ(moved.status, 0) << moved.err;
    EXPECT_EQ(moved.out,
              "0 a://h/ 1  html main\n"
              "1 a://h/x.html 1  html main\n"
              "2 a://h/d/f.html 0  html main\n"
              "1 a://h/d/ 1  html main\n"
              "2 a://h/d/f.html 1  html main\n");

    const std::string stays =
        "0 a://h/ 1  html main\n"
        "1 a://h/x.html 1  html main\n"
        "2 a://h/d/f.html 1  html main\n"
        "1 a://h/d/ 1  html main\n"
        "2 a://h/d/f.html 0  html main\n";
    EXPECT_EQ(inspect({dir / "move.graph", "--flags", "0x2B", "--dump", "-"}).out, stays);
    EXPECT_EQ(inspect({dir / "move.graph", "--flags", "43", "--dump", "-"}).out, stays);
    EXPECT_EQ(inspect({dir / "move.graph", "--flags", "0X2b", "--dump", "-"}).out, stays);

    for (const char* bad : {"0x2g", "forty", "-1", "0x", "99999999999"}) {
        const ToolRun run = inspect({dir / "move.graph", "--flags", bad});
        EXPECT_EQ(run.status, 1) << bad;
        EXPECT_NE(run.err.find("--flags"), std::string::npos) << run.err;
    }
}

TEST(InspectTool, StatsOfTheBundledExample) {
    const ToolRun run = inspect({kSiteExample, "--stats"});
    ASSERT_EQ(run.status, 0) << run.err;

    ViewerSettings settings;
    settings.loadFlags = kWindowLoadFlags;
    std::ifstream in(kSiteExample, std::ios::binary);
    Graph graph(settings, in);
    size_t treeLinks = 0, widest = 0, deepest = 0;
    for (const Node* n : graph.nodes) {
        treeLinks += n->children.size();
        widest = std::max(widest, n->children.size());
        size_t depth = 0;
        for (const Node* up = n->parent; up; up = up->parent) ++depth;
        deepest = std::max(deepest, depth);
    }
    auto value = [&](const std::string& label) {
        for (const std::string& line : lines(run.out))
            if (line.rfind(label, 0) == 0) return line.substr(16);
        return std::string("(missing)");
    };
    EXPECT_EQ(value("nodes"), std::to_string(graph.nodes.size()) + " (" +
                                  std::to_string(graph.nodes.size()) + " shown)");
    EXPECT_EQ(value("links"), std::to_string(graph.links.size()));
    EXPECT_EQ(value("tree links"), std::to_string(treeLinks));
    EXPECT_EQ(value("non-tree links"), std::to_string(graph.links.size() - treeLinks));
    EXPECT_EQ(value("tree depth"), std::to_string(deepest));
    EXPECT_EQ(value("widest fan-out").rfind(std::to_string(widest) + " (http://", 0), 0u);
    for (const char* timed : {"read time", "layout time"}) {
        const std::string seconds = value(timed);
        EXPECT_GE(std::strtod(seconds.c_str(), nullptr), 0.0) << seconds;
        EXPECT_NE(seconds.find(" s"), std::string::npos) << seconds;
    }
    EXPECT_GT(std::strtod(value("peak memory").c_str(), nullptr), 0.0);
    EXPECT_NE(value("peak memory").find("bytes per node"), std::string::npos);
}

TEST(InspectTool, UnusableFilesAndOptions) {
    TempDir dir;
    const ToolRun missing = inspect({dir / "missing.graph"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot open"), std::string::npos) << missing.err;
    EXPECT_NE(missing.err.find("missing.graph"), std::string::npos) << missing.err;
    EXPECT_EQ(missing.out, "");

    const ToolRun directory = inspect({dir.path()});
    EXPECT_EQ(directory.status, 1);
    EXPECT_NE(directory.err.find("directory"), std::string::npos) << directory.err;

    // No node record: empty, short lines only, a position record only, binary junk.
    const std::vector<std::string> nodeless = {"", "\n\nx\n \n",
                                               "-99 position 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1\n",
                                               std::string("\x01\n\0\0\0\n\n\t\n", 9)};
    for (size_t i = 0; i < nodeless.size(); ++i) {
        const std::string name = "nodeless" + std::to_string(i) + ".graph";
        writeWholeFile(dir / name, nodeless[i]);
        const ToolRun run = inspect({dir / name, "--dump", dir / "never.txt"});
        EXPECT_EQ(run.status, 2) << i;
        EXPECT_NE(run.err.find("no node"), std::string::npos) << run.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "never.txt"));
    }

    const ToolRun unwritable = inspect({kWorkedExample, "--dump", dir / "no/such/dir/t.txt"});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_NE(unwritable.err.find("cannot write"), std::string::npos) << unwritable.err;
    EXPECT_EQ(inspect({kWorkedExample, "--positions", dir / "no/such/p.csv"}).status, 1);

    EXPECT_EQ(inspect({}).status, 1);
    EXPECT_EQ(inspect({kWorkedExample, "--no-such-option"}).status, 1);
}

TEST(InspectTool, HelpAndVersion) {
    const ToolRun help = inspect({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--dump", "--positions", "--from", "--flags", "--stats"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    const ToolRun version = inspect({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "orvo-inspect 2.0.0\n");
}

}  // namespace
}  // namespace orvo::test
