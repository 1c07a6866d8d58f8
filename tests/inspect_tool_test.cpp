// orvo-inspect run as a process on real files: what it writes compared with golden files, its
// refusals and warnings as one transcript, DEVIRIRO_DEBUG, and what reaches a terminal.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "run_tool.h"

namespace orvo::test {
namespace {

using testing::dataPath;

const std::string kWorked = ORVO_SOURCE_DIR "/examples/worked-example.graph";
const std::string kSite = ORVO_SOURCE_DIR "/examples/site.graph";

// Read and layout times and the memory figure vary from run to run: their digits become N.
std::string maskFigures(const std::string& stats) {
    std::istringstream in(stats);
    std::string masked;
    for (std::string line; std::getline(in, line); masked += line + "\n") {
        if (!line.starts_with("read time") && !line.starts_with("layout time") &&
            !line.starts_with("peak memory"))
            continue;
        std::string digitsMasked;
        for (char c : line) {
            const bool digit = std::isdigit(static_cast<unsigned char>(c));
            if (!digit || digitsMasked.empty() || digitsMasked.back() != 'N')
                digitsMasked += digit ? 'N' : c;
        }
        line = digitsMasked;
    }
    return masked;
}

TEST(InspectTool, WritesWhatItsGoldenFilesHold) {
    TempDir dir;
    const std::string move = dataPath("move_example.graph");
    struct Case {
        std::vector<std::string> arguments;
        std::string golden;
        std::string outputFile;  // empty: standard output
    };
    const std::vector<Case> cases = {
        {{kWorked}, "worked-example.summary", ""},
        {{kWorked, "--dump", "-"}, "worked-example.dump", ""},
        {{kWorked, "--dump", dir.file("t.txt")}, "worked-example.dump", dir.file("t.txt")},
        {{kWorked, "--positions", "-"}, "worked-example.positions.csv", ""},
        {{kWorked, "--positions", dir.file("p.csv")},
         "worked-example.positions.csv",
         dir.file("p.csv")},
        {{kWorked, "--from", "a://h/d/", "--positions", "-"},
         "worked-example.from-d.positions.csv",
         ""},
        {{dataPath("tools/odd-ids.graph"), "--positions", "-"}, "odd-ids.positions.csv", ""},
        {{move, "--dump", "-"}, "move.dump", ""},
        {{move, "--flags", "0x2B", "--dump", "-"}, "move.flags-2b.dump", ""},
        {{move, "--flags", "43", "--dump", "-"}, "move.flags-2b.dump", ""},
        {{move, "--flags", "0X2b", "--dump", "-"}, "move.flags-2b.dump", ""},
        {{kSite, "--stats"}, "site.stats", ""},
        {{"--help"}, "orvo-inspect.help", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.back());
        const ToolRun run = runTool("orvo-inspect", c.arguments);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");  // nothing to warn of in a graph file
        const bool toFile = !c.outputFile.empty();
        const std::string written = toFile ? readWholeFile(c.outputFile) : run.out;
        EXPECT_TRUE(
            matchesGolden(replaceAll(maskFigures(written), ORVO_SOURCE_DIR, "SRC"), c.golden));
        if (toFile) {  // the summary follows a file written
            EXPECT_TRUE(matchesGolden(replaceAll(run.out, ORVO_SOURCE_DIR, "SRC"),
                                      "worked-example.summary"));
        }
    }
}

TEST(InspectTool, RefusesAndWarnsWithItsStatusAndMessages) {
    TempDir dir;
    const std::string move = dataPath("move_example.graph");
    std::string listing;  // one word a line: nearly every line is skipped
    for (int i = 0; i < 9998; ++i) listing += "file" + std::to_string(i) + ".txt\n";
    writeWholeFile(dir / "ls", listing + "0 http://a/ 1 html main\n 1 http://a/b 1 html main\n");
    writeWholeFile(dir / "data.bin", std::string("0 http://b/ 1 html main\n\0\x01\n", 27));
    // No node record: empty, short lines only, a position record only, binary junk.
    const std::vector<std::string> nodeless = {"", "\n\nx\n \n",
                                               "-99 position 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1\n",
                                               std::string("\x01\n\0\0\0\n\n\t\n", 9)};
    std::vector<std::vector<std::string>> calls = {
        {},
        {"--version"},
        {"--no-such-option"},
        {kWorked, "--no-such-option"},
        {kWorked, "--dump"},
        {kWorked, "--flags", "0x1G"},
        {dir.file("missing.graph")},
        {kWorked, "--dump", dir.file("no/such/dir/t.txt")},
        {kWorked, "--positions", dir.file("no/such/p.csv")},
        {kWorked, "--from", "a://h/nowhere"},
        {kWorked, "--from", "A://h/d/"},  // ids compare byte for byte
        {dataPath("tools/control-bytes.graph"), "--from", "x\x1b[5m"},
        {dir.file("ls")},
        {dir.file("data.bin")},
    };
    for (const char* bad : {"0x2g", "forty", "-1", "0x", "99999999999"})
        calls.push_back({move, "--flags", bad});
    for (size_t i = 0; i < nodeless.size(); ++i) {
        writeWholeFile(dir / ("nodeless" + std::to_string(i)), nodeless[i]);
        calls.push_back({dir.file("nodeless" + std::to_string(i)), "--dump", dir.file("never")});
    }
    const std::string text = transcript("orvo-inspect", dir, calls);
    EXPECT_TRUE(matchesGolden(text, "orvo-inspect.transcript"));
    EXPECT_FALSE(std::filesystem::exists(dir / "never"));
}

TEST(InspectTool, HonoursDebugEnvironmentLikeTheViewer) {
    EXPECT_EQ(runTool("orvo-inspect", {kWorked}, {"DEVIRIRO_DEBUG=0"}).err, "");
    TempDir dir;
    // The tests that write the debug file hold a ctest lock, so no other writes it meanwhile.
    const ToolRun on =
        runTool("orvo-inspect", {kWorked, "--dump", dir.file("t.txt")}, {"DEVIRIRO_DEBUG=1"});
    EXPECT_EQ(on.status, 0);
    EXPECT_EQ(on.err, "loaded 5 nodes, 6 links\n");
    EXPECT_EQ(readWholeFile("/tmp/corvane"), readWholeFile(dir / "t.txt"));
}

TEST(InspectTool, ControlBytesNeverReachATerminalRaw) {
    TempDir dir;
    const std::string graph = dir.file("new\x1b[2Jname.graph");
    std::filesystem::copy_file(dataPath("tools/control-bytes.graph"), graph);
    const std::string red = "http://a/\x1b[31mred", escapedRed = "http://a/\\x1B[31mred";
    const std::string title = "http://a/\x1b]0;owned\x07",
                      escapedTitle = "http://a/\\x1B]0;owned\\x07";
    struct Case {
        std::vector<std::string> arguments;
        std::vector<std::string> raw, escaped;  // ids as written to a pipe and on a terminal
    };
    const Case cases[] = {
        {{graph, "--dump", "-"}, {red, title}, {escapedRed, escapedTitle}},
        {{graph, "--positions", "-"}, {red}, {escapedRed}},
        {{graph}, {}, {"new\\x1B[2Jname.graph: 3 nodes"}},
    };
    for (const Case& c : cases) {
        const std::string shown = runOnTerminal("orvo-inspect", c.arguments);
        EXPECT_EQ(shown.find('\x1b'), std::string::npos) << shown;
        for (const std::string& id : c.escaped)
            EXPECT_NE(shown.find(id), std::string::npos) << shown;
        // Written to a file or a pipe, the data stays byte for byte what the ids hold.
        const std::string piped = runTool("orvo-inspect", c.arguments).out;
        for (const std::string& id : c.raw) EXPECT_NE(piped.find(id), std::string::npos) << piped;
    }
}

}  // namespace
}  // namespace orvo::test
