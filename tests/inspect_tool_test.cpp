// orvo-inspect run as a process on real files: what it writes, its refusals and warnings as one
// golden transcript; DEVIRIRO_DEBUG; and what reaches a terminal.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "run_tool.h"

namespace orvo::test {
namespace {

using testing::dataPath;

const std::string kWorked = ORVO_SOURCE_DIR "/examples/worked-example.graph";

// Read and layout times and the memory figure vary from run to run: their digits become N.
std::string maskFigures(const std::string& output) {
    std::string masked;
    bool figure = false;  // within a line of figures
    for (size_t i = 0; i < output.size(); ++i) {
        if (i == 0 || output[i - 1] == '\n') {
            const std::string_view line(output.data() + i, output.size() - i);
            figure = line.starts_with("read time") || line.starts_with("layout time") ||
                     line.starts_with("peak memory");
        }
        const bool digit = figure && std::isdigit(static_cast<unsigned char>(output[i]));
        if (!digit || masked.back() != 'N') masked += digit ? 'N' : output[i];
    }
    return masked;
}

// Its outputs, refusals and warnings, on the files of tests/data/tools/inspect and others; on a
// terminal, ids and file names with their control bytes escaped (written to a file or a pipe, the
// data stays byte for byte what the ids hold).
TEST(InspectTool, DoesWhatItsTranscriptsShow) {
    TempDir dir, terminal;
    std::string listing;  // one word a line: nearly every line is skipped
    for (int i = 0; i < 9998; ++i) listing += "file" + std::to_string(i) + ".txt\n";
    writeWholeFile(dir / "ls", listing + "0 http://a/ 1 html main\n 1 http://a/b 1 html main\n");
    EXPECT_TRUE(matchesTranscript("orvo-inspect.transcript", dir, maskFigures));
    std::filesystem::copy_file(dataPath("tools/control-bytes.graph"),
                               terminal / "new\x1b[2Jname.graph");
    EXPECT_TRUE(matchesTranscript("orvo-inspect.terminal.transcript", terminal, maskFigures, true));
}

// Any level but 0 writes the debug dump, as the viewer does, to a file that is ours alone.
TEST(InspectTool, HonoursDebugEnvironmentLikeTheViewer) {
    struct stat info;
    if (::lstat("/tmp/corvane", &info) == 0 &&
        (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid())) {
        GTEST_SKIP() << "/tmp/corvane belongs to someone else";
    }
    writeWholeFile("/tmp/corvane", "marker\n");  // no other test writes this file
    EXPECT_EQ(runTool("orvo-inspect", {kWorked}, {"DEVIRIRO_DEBUG=0"}).err, "");
    EXPECT_EQ(readWholeFile("/tmp/corvane"), "marker\n");
    const ToolRun on = runTool("orvo-inspect", {kWorked}, {"DEVIRIRO_DEBUG=-1"});
    EXPECT_EQ(on.status, 0);
    EXPECT_EQ(on.err, "loaded 5 nodes, 6 links\n");
    EXPECT_EQ(readWholeFile("/tmp/corvane"), readWholeFile(dataPath("worked_example.dump")));
}

}  // namespace
}  // namespace orvo::test
