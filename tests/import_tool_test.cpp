// orvo-import run as a user runs it: what it writes of each format and its refusals as a golden
// transcript, output written whole or not at all with the permissions of any new file, and the
// bundled documentation example.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "tests/run_tool.h"

namespace orvo::test {
namespace {

namespace fs = std::filesystem;

// Help, version, each input format's output and the refusals, as a user sees them.
TEST(ImportTool, DoesWhatItsTranscriptShows) {
    TempDir dir;
    writeWholeFile(dir / "e.csv", "a,b\nb,c\n");
    writeWholeFile(dir / "bad.csv", "a,b\nb,\"c\n");
    writeWholeFile(dir / "notes.txt", "text");
    EXPECT_TRUE(matchesTranscript("orvo-import.transcript", dir));
}

TEST(ImportTool, OutputWholeOrNotAtAll) {
    TempDir dir;
    const std::string csv = dir.file("e.csv"), graph = dir.file("out.graph");
    const std::string imported = "0 a 0\n1 b 0\n2 c 0\n3 a 0\n";
    writeWholeFile(csv, "a,b\nb,c\nc,a\n");
    EXPECT_EQ(runTool("orvo-import", {csv}).out, imported);
    const mode_t mask = ::umask(022);
    ASSERT_EQ(runTool("orvo-import", {csv, "-o", graph}).status, 0);
    EXPECT_EQ(readWholeFile(graph), imported);
    // A new output gets the permissions any new file gets, not the private ones of the temporary
    // file it was written as; a replaced one keeps its own.
    EXPECT_EQ(fs::status(graph).permissions() & fs::perms::all, fs::perms(0644));
    fs::permissions(graph, fs::perms(0660));
    ASSERT_EQ(runTool("orvo-import", {csv, "-o", graph}).status, 0);
    EXPECT_EQ(fs::status(graph).permissions() & fs::perms::all, fs::perms(0660));
    ::umask(mask);

    // A malformed input leaves the earlier output as it was, and no temporary file behind.
    writeWholeFile(csv, "a,b\nb,\"c\n");
    EXPECT_EQ(runTool("orvo-import", {csv, "-o", graph}).status, 1);
    EXPECT_EQ(readWholeFile(graph), imported);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

// The bundled real example is what orvo-import makes of the documentation a Debian package
// installs (the README names both); where the package is installed, it is made again.
TEST(ImportTool, TheBundledDocumentationExampleIsTheImportOfItsPackage) {
    const std::string example = ORVO_SOURCE_DIR "/examples/sqlite-doc.graph";
    const std::string text = readWholeFile(example);
    EXPECT_TRUE(text.starts_with("0 http://localhost/index.html 0 html main\n"));
    const ToolRun inspect = runTool("orvo-inspect", {example});
    EXPECT_NE(inspect.out.find(": 2171 nodes"), std::string::npos) << inspect.out << inspect.err;

    const std::string docs = "/usr/share/doc/sqlite3";
    if (!fs::exists(docs + "/index.html")) GTEST_SKIP() << "sqlite3-doc is not installed";
    TempDir dir;
    const ToolRun run = runTool("orvo-import", {docs, "--orphans", "-o", dir.file("again.graph")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(readWholeFile(dir / "again.graph") == text)
        << "not what orvo-import makes of " << docs;
}

}  // namespace
}  // namespace orvo::test
