// The debug dump: the worked example's seven lines byte for byte, the summary line, the depth
// and flag rules, and the debug file that never follows a planted link or truncates a stranger's
// file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "glue/window_settings.h"
#include "graph/graph.h"
#include "graph_test_support.h"

using namespace orvo;
using namespace orvo::testing;

// At debug level 0 the dump comes back without the summary line; the dump at a non-zero level,
// with its summary line, is checked by ReloadWritesTheDebugOutputOnlyWhenAsked below.
TEST(Dump, WorkedExampleByteForByte) {
    ViewerSettings settings;
    settings.loadFlags = kWindowLoadFlags;
    Graph g(settings);
    ASSERT_TRUE(readFile(g, dataPath("worked_example.graph")));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(g.summaryAndDump(), kWorkedExampleDump);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST(Dump, DepthsFlagsAndGroups) {
    ViewerSettings settings;
    Graph g(settings);
    ASSERT_TRUE(readText(g, "3 r 0\n4 a 0 html\n5 b 0 x y zz\n4 c 0\n5 a 0\n"));
    g.setShown(*g.findNode("b"), 0);
    EXPECT_EQ(g.summaryAndDump(),
              "3 r 1 \n"  // the first record's level is the starting depth
              "4 a 1  html\n"
              "5 b 0  x y zz\n"  // a hidden node
              "4 c 1 \n"
              "5 a 0  html\n");  // a non-tree link that is not shown
    EXPECT_EQ(g.setOutLinksShown("c", 1, 0), 1);
    EXPECT_EQ(g.dumpSubtree(*g.findNode("c"), -2), "-2 c 1 \n-1 a 1  html\n");
    EXPECT_EQ(g.dumpSubtree(*g.findNode("b"), 7), "7 b 0  x y zz\n");
}

TEST(Dump, DebugFileIsWrittenWhole) {
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string path = dir.file("dump");
    writeWholeFile(path, std::string(5000, 'x'));  // longer than what replaces it
    EXPECT_TRUE(Graph::writeDebugFileTo(path.c_str(), "short text\n"));
    EXPECT_EQ(readWholeFile(path), "short text\n");
    const std::string fresh = dir.file("new");
    EXPECT_TRUE(Graph::writeDebugFileTo(fresh.c_str(), kWorkedExampleDump));
    EXPECT_EQ(readWholeFile(fresh), kWorkedExampleDump);
    EXPECT_FALSE(Graph::writeDebugFileTo(dir.file("missing/dir/x").c_str(), "t"));
}

TEST(Dump, DebugFileDoesNotFollowAPlantedLink) {
    TempDir dir;
    const std::string victim = dir.file("victim");
    writeWholeFile(victim, "precious\n");
    const std::string planted = dir.file("corvane");
    ASSERT_EQ(::symlink(victim.c_str(), planted.c_str()), 0);
    EXPECT_FALSE(Graph::writeDebugFileTo(planted.c_str(), "dump\n"));
    EXPECT_EQ(readWholeFile(victim), "precious\n");
    // A dangling link does not create its target either.
    const std::string dangling = dir.file("dangling");
    ASSERT_EQ(::symlink(dir.file("target").c_str(), dangling.c_str()), 0);
    EXPECT_FALSE(Graph::writeDebugFileTo(dangling.c_str(), "dump\n"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("target")));
    // A FIFO without a reader neither blocks nor receives anything.
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(Graph::writeDebugFileTo(fifo.c_str(), "dump\n"));
    // A directory is not written either.
    EXPECT_FALSE(Graph::writeDebugFileTo(dir.path().c_str(), "dump\n"));
}

TEST(Dump, DebugFileLeavesAnotherUsersFileAlone) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a file to another user";
    TempDir dir;
    const std::string foreign = dir.file("foreign");
    writeWholeFile(foreign, "belongs to nobody\n");
    ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
    EXPECT_FALSE(Graph::writeDebugFileTo(foreign.c_str(), "dump\n"));
    EXPECT_EQ(readWholeFile(foreign), "belongs to nobody\n");
}

TEST(Dump, ReloadWritesTheDebugOutputOnlyWhenAsked) {
    // These use the real "/tmp/corvane"; skip when it is not ours to write.
    struct stat info;
    if (::lstat("/tmp/corvane", &info) == 0 &&
        (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid())) {
        GTEST_SKIP() << "/tmp/corvane belongs to someone else";
    }
    ViewerSettings settings;
    settings.loadFlags = kWindowLoadFlags;
    Graph g(settings);
    // The graph read without debug output is another than the one read with it: its dump must
    // not show up. (The tests that write this file hold a ctest lock.)
    ASSERT_TRUE(readFile(g, dataPath("attributes.graph")));
    const std::string quietDump = g.dumpSubtree(*g.root, 0);
    Graph::writeDebugFile("marker\n");
    ASSERT_TRUE(readFile(g, dataPath("attributes.graph")));
    EXPECT_NE(readWholeFile("/tmp/corvane"), quietDump);  // debug level 0: not written

    g.debugLevel = -1;  // any non-zero level
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(readFile(g, dataPath("worked_example.graph")));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "loaded 5 nodes, 6 links\n");
    EXPECT_EQ(readWholeFile("/tmp/corvane"), kWorkedExampleDump);
}
