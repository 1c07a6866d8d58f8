// The debug dump (its lines are pinned by the outline cases of tests/data): depths given from
// outside, the summary line, and the debug file that never follows a planted link or truncates
// a stranger's file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "glue/window_settings.h"
#include "graph/graph.h"
#include "graph_test_support.h"

using namespace orvo;
using namespace orvo::testing;

TEST(Dump, SubtreesAtAGivenDepth) {
    ViewerSettings settings;
    Graph g(settings);
    ASSERT_TRUE(readText(g, "3 r 0\n4 a 0 html\n5 b 0 x y zz\n4 c 0\n5 a 0\n"));
    g.setShown(*g.findNode("b"), 0);
    EXPECT_EQ(g.setOutLinksShown("c", 1, 0), 1);
    EXPECT_EQ(g.dumpSubtree(*g.findNode("c"), -2), "-2 c 1 \n-1 a 1  html\n");
    EXPECT_EQ(g.dumpSubtree(*g.findNode("b"), 7), "7 b 0  x y zz\n");
}

// Rows: what the path is, and whether the dump may be written there. What was there stays.
TEST(Dump, DebugFileIsWrittenWholeAndOnlyToAFileOfOurs) {
    const std::string dump = readWholeFile(dataPath("worked_example.dump"));
    TempDir dir;
    writeWholeFile(dir / "longer", std::string(5000, 'x'));  // longer than what replaces it
    writeWholeFile(dir / "victim", "precious\n");
    ASSERT_EQ(::symlink(dir.file("victim").c_str(), dir.file("planted").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("target").c_str(), dir.file("dangling").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);  // no reader: must not block
    const std::pair<std::string, bool> cases[] = {
        {"longer", true},   {"new", true},       {"missing/dir/x", false},
        {"planted", false}, {"dangling", false}, {"fifo", false},
        {"", false},  // the directory itself
    };
    for (const auto& [name, written] : cases) {
        EXPECT_EQ(Graph::writeDebugFileTo(dir.file(name).c_str(), dump), written) << name;
        if (written) {
            EXPECT_EQ(readWholeFile(dir / name), dump) << name;
        }
    }
    EXPECT_EQ(readWholeFile(dir / "victim"), "precious\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "target"));

    if (::geteuid() != 0) return;  // only root can give a file to another user
    writeWholeFile(dir / "foreign", "belongs to nobody\n");
    ASSERT_EQ(::chown(dir.file("foreign").c_str(), 65534, 65534), 0);
    EXPECT_FALSE(Graph::writeDebugFileTo(dir.file("foreign").c_str(), "dump\n"));
    EXPECT_EQ(readWholeFile(dir / "foreign"), "belongs to nobody\n");
}

TEST(Dump, ReloadWritesTheDebugOutputOnlyWhenAsked) {
    // These use the real "/tmp/corvane"; skip when it is not ours to write.
    struct stat info;
    if (::lstat("/tmp/corvane", &info) == 0 &&
        (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid())) {
        GTEST_SKIP() << "/tmp/corvane belongs to someone else";
    }
    const std::string dump = readWholeFile(dataPath("worked_example.dump"));
    ViewerSettings settings;
    settings.loadFlags = kWindowLoadFlags;
    Graph g(settings);
    // The tests that write this file hold a ctest lock.
    Graph::writeDebugFile("marker\n");
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(readFile(g, dataPath("attributes.graph")));
    EXPECT_FALSE(g.summaryAndDump().empty());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(readWholeFile("/tmp/corvane"), "marker\n");  // debug level 0: not written

    g.debugLevel = -1;  // any non-zero level
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(readFile(g, dataPath("worked_example.graph")));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "loaded 5 nodes, 6 links\n");
    EXPECT_EQ(readWholeFile("/tmp/corvane"), dump);
}
