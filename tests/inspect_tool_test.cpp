// orvo-inspect run as a process on real files: exit statuses and messages, the dump bytes of the
// worked example, the positions CSV, --from, --flags, --stats and DEVIRIRO_DEBUG.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "glue/window_settings.h"
#include "graph/graph.h"
#include "graph_test_support.h"
#include "layout/layout.h"
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
    layOutFromTop(graph);
    if (!fromId.empty()) relayoutFrom(graph, graph.findNode(fromId));
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
        EXPECT_EQ(run.status, 2) << bad;
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
        char* end = nullptr;
        const double figure = std::strtod(seconds.c_str(), &end);
        EXPECT_NE(end, seconds.c_str()) << seconds;  // a number comes first
        EXPECT_GE(figure, 0.0) << seconds;
        EXPECT_EQ(std::string(end), " s") << seconds;
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

    // Usage errors: status 2 and a message that names the option, after the program's name.
    const ToolRun noFile = inspect({});
    EXPECT_EQ(noFile.status, 2);
    EXPECT_EQ(noFile.err, "orvo-inspect: FILE is required\nRun with --help for more information.\n");
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{kWorkedExample, "--no-such-option"},
          {"--no-such-option"},
          {kWorkedExample, "--flags", "0x1G"},
          {kWorkedExample, "--dump"}}) {
        const ToolRun run = inspect(options);
        EXPECT_EQ(run.status, 2) << options.back();
        EXPECT_TRUE(run.err.starts_with("orvo-inspect: ")) << run.err;
        const std::string named = options.back() == "0x1G" ? "--flags" : options.back();
        EXPECT_NE(run.err.find(named), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

TEST(InspectTool, WarnsAboutFilesThatAreNoGraphFilesAsTheViewerAsks) {
    TempDir dir;
    // A listing: one word a line, so nearly every line is skipped; two lines are records.
    std::string listing;
    for (int i = 0; i < 9998; ++i) listing += "file" + std::to_string(i) + ".txt\n";
    listing += "0 http://a/ 1 html main\n 1 http://a/b 1 html main\n";
    writeWholeFile(dir / "ls", listing);
    const ToolRun run = inspect({dir / "ls"});
    EXPECT_EQ(run.status, 0) << "what the reader makes of the file does not change";
    EXPECT_NE(run.out.find(": 2 nodes,"), std::string::npos) << run.out;
    EXPECT_EQ(run.err, "orvo-inspect: warning: " + (dir / "ls").string() +
                           " does not look like a graph file: 9 998 of 10 000 lines were "
                           "skipped\n");

    writeWholeFile(dir / "data.bin", std::string("0 http://b/ 1 html main\n\0\x01\n", 27));
    const ToolRun binary = inspect({dir / "data.bin"});
    EXPECT_EQ(binary.status, 0);
    EXPECT_NE(binary.err.find("does not look like a graph file: it holds NUL bytes"),
              std::string::npos)
        << binary.err;

    // A graph file gets no warning.
    EXPECT_EQ(inspect({kSiteExample}).err, "");
}

/// Runs orvo-inspect on a pseudo-terminal, as a person at a terminal would; what it printed.
std::string inspectOnATerminal(const std::vector<std::string>& arguments) {
    const std::string program = std::string(ORVO_TOOLS_DIR) + "/orvo-inspect";
    std::vector<std::string> store{program};
    store.insert(store.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : store) argv.push_back(a.data());
    argv.push_back(nullptr);
    int terminal = -1;
    std::fflush(nullptr);
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child == 0) {
        ::unsetenv("DEVIRIRO_DEBUG");
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    std::string out;
    if (child < 0) return out;
    char buffer[4096];
    for (ssize_t got; (got = ::read(terminal, buffer, sizeof buffer)) > 0;) out.append(buffer, got);
    ::close(terminal);
    ::waitpid(child, nullptr, 0);
    return out;
}

TEST(InspectTool, ControlBytesNeverReachATerminalRaw) {
    TempDir dir;
    // Ids that would turn a terminal's text red and retitle its window.
    const std::string red = "http://a/\x1b[31mred", title = "http://a/\x1b]0;owned\x07";
    writeWholeFile(dir / "c.graph", "0 http://a/ 0 html main\n1 " + red + " 0 html main\n1 " +
                                        title + " 0 html main\n");
    const std::string escapedRed = "http://a/\\x1B[31mred";
    const std::string escapedTitle = "http://a/\\x1B]0;owned\\x07";

    const std::string dump = inspectOnATerminal({dir / "c.graph", "--dump", "-"});
    EXPECT_EQ(dump.find('\x1b'), std::string::npos) << dump;
    EXPECT_NE(dump.find(escapedRed), std::string::npos) << dump;
    EXPECT_NE(dump.find(escapedTitle), std::string::npos) << dump;
    const std::string positions = inspectOnATerminal({dir / "c.graph", "--positions", "-"});
    EXPECT_EQ(positions.find('\x1b'), std::string::npos) << positions;
    EXPECT_NE(positions.find(escapedRed), std::string::npos) << positions;
    // An unknown id in a message, and a file name in the summary.
    const std::string named = dir / "new\x1b[2Jname.graph";
    std::filesystem::copy_file(dir / "c.graph", named);
    const std::string summary = inspectOnATerminal({named});
    EXPECT_EQ(summary.find('\x1b'), std::string::npos) << summary;
    EXPECT_NE(summary.find("new\\x1B[2Jname.graph: 3 nodes"), std::string::npos) << summary;
    const ToolRun unknown = inspect({dir / "c.graph", "--from", "x\x1b[5m"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("\"x\\x1B[5m\""), std::string::npos) << unknown.err;

    // Written to a file or a pipe, the data stays byte for byte what the ids hold.
    const ToolRun piped = inspect({dir / "c.graph", "--dump", "-"});
    EXPECT_NE(piped.out.find(red), std::string::npos);
    EXPECT_NE(piped.out.find(title), std::string::npos);
}

TEST(InspectTool, HelpAndVersion) {
    const ToolRun help = inspect({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--dump", "--positions", "--from", "--flags", "--stats"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    // The usage line names the program, not the path it was started by.
    EXPECT_NE(help.out.find("\nUsage: orvo-inspect [OPTIONS] FILE\n"), std::string::npos) << help.out;
    // Every load flag bit, and the columns of the tree text.
    for (const char* bit : {"0x01", "0x02", "0x04", "0x08", "0x10", "0x20"})
        EXPECT_NE(help.out.find("\n  " + std::string(bit) + "  "), std::string::npos) << bit;
    for (const char* column : {"DEPTH ID SHOWN GROUP...", "\n  DEPTH ", "\n  ID ", "\n  SHOWN ",
                               "\n  GROUP "})
        EXPECT_NE(help.out.find(column), std::string::npos) << column;
    const ToolRun version = inspect({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "orvo-inspect 2.0.0\n");
}

}  // namespace
}  // namespace orvo::test
