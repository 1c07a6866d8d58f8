// orvo-import run as a user runs it: help and version, usage errors (exit 2, naming the option),
// malformed input (exit 1, naming the file and line), output written whole or not at all.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "tests/run_tool.h"

namespace orvo::test {
namespace {

TEST(ImportTool, HelpVersionAndUsageErrors) {
    const ToolRun help = runTool("orvo-import", {"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--format", "--start", "--base-url", "--orphans", "--header",
                               "--group", "--root", "--output"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
    const ToolRun version = runTool("orvo-import", {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("orvo-import ", 0), 0u) << version.out;

    TempDir dir;
    const std::string csv = dir / "e.csv";
    writeWholeFile(csv, "a,b\nb,c\n");
    ToolRun run = runTool("orvo-import", {csv, "--format", "xml"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("--format"), std::string::npos) << run.err;
    run = runTool("orvo-import", {csv, "--header", "maybe"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("--header"), std::string::npos) << run.err;
    run = runTool("orvo-import", {dir / "site", "--base-url", "mailto:x@y"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("--base-url"), std::string::npos) << run.err;
    run = runTool("orvo-import", {});
    EXPECT_EQ(run.status, 2);
    writeWholeFile(dir / "notes.txt", "text");
    run = runTool("orvo-import", {dir / "notes.txt"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("--format"), std::string::npos) << run.err;
    run = runTool("orvo-import", {dir / "absent.csv"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("absent.csv"), std::string::npos) << run.err;
}

TEST(ImportTool, OutputWholeOrNotAtAll) {
    TempDir dir;
    const std::string csv = dir / "e.csv";
    writeWholeFile(csv, "a,b\nb,c\nc,a\n");
    ToolRun run = runTool("orvo-import", {csv});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "0 a 0\n1 b 0\n2 c 0\n3 a 0\n");

    const std::string graph = dir / "out.graph";
    run = runTool("orvo-import", {csv, "-o", graph});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readWholeFile(graph), "0 a 0\n1 b 0\n2 c 0\n3 a 0\n");

    // A malformed input leaves the earlier output as it was, and no temporary file behind.
    writeWholeFile(csv, "a,b\nb,\"c\n");
    run = runTool("orvo-import", {csv, "-o", graph});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(csv + ":2:"), std::string::npos) << run.err;
    EXPECT_EQ(readWholeFile(graph), "0 a 0\n1 b 0\n2 c 0\n3 a 0\n");
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 2u);

    // The written file opens in the inspector as any graph file does.
    writeWholeFile(csv, "a,b\nb,c\nc,a\n");
    ASSERT_EQ(runTool("orvo-import", {csv, "-o", graph}).status, 0);
    run = runTool("orvo-inspect", {graph});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE((run.out + run.err).find("3 nodes"), std::string::npos) << run.out << run.err;

    // A new output gets the permissions any new file gets (not the private ones of the
    // temporary file it was written as); a replaced one keeps its own.
    namespace fs = std::filesystem;
    const std::string fresh = dir / "fresh.graph";
    const mode_t mask = ::umask(022);
    ASSERT_EQ(runTool("orvo-import", {csv, "-o", fresh}).status, 0);
    EXPECT_EQ(fs::status(fresh).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
    fs::permissions(graph, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                               fs::perms::group_write);
    ASSERT_EQ(runTool("orvo-import", {csv, "-o", graph}).status, 0);
    EXPECT_EQ(fs::status(graph).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::group_write);
    ::umask(mask);
}

// The bundled real example is what orvo-import makes of the documentation a Debian package
// installs (the README names both). The file itself is checked everywhere; where the package
// is installed, it is made again and must come out the same.
TEST(ImportTool, TheBundledDocumentationExampleIsTheImportOfItsPackage) {
    const std::string example = std::string(ORVO_SOURCE_DIR) + "/examples/sqlite-doc.graph";
    const std::string text = readWholeFile(example);
    ASSERT_FALSE(text.empty()) << example;
    EXPECT_EQ(text.find("position"), std::string::npos) << "an imported file has no position";
    EXPECT_EQ(text.rfind("0 http://localhost/index.html 0 html main\n", 0), 0u);
    for (const char* group : {" html main\n", " image main\n", " html missing\n",
                              " html external\n", " image orphan\n"}) {
        EXPECT_NE(text.find(group), std::string::npos) << group;
    }
    const ToolRun inspect = runTool("orvo-inspect", {example});
    ASSERT_EQ(inspect.status, 0) << inspect.err;
    EXPECT_NE((inspect.out + inspect.err).find("2171 nodes"), std::string::npos)
        << inspect.out << inspect.err;

    const std::string docs = "/usr/share/doc/sqlite3";
    if (!std::filesystem::exists(docs + "/index.html")) {
        GTEST_SKIP() << "sqlite3-doc is not installed: the example was not made again";
    }
    TempDir dir;
    const ToolRun run = runTool("orvo-import", {docs, "--orphans", "-o", dir / "again.graph"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(readWholeFile(dir / "again.graph") == text)
        << "examples/sqlite-doc.graph is not what orvo-import makes of " << docs;
}

}  // namespace
}  // namespace orvo::test
