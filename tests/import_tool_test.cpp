// orvo-import run as a user runs it, as a golden transcript; the bundled documentation example.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "tests/run_tool.h"

namespace orvo::test {
namespace {

namespace fs = std::filesystem;

// Help, version, each input format's output and the refusals, as a user sees them; output written
// whole or not at all, no temporary file left behind, and a new output with the permissions any
// new file gets (not the private ones of the temporary file it was written as), a replaced one
// keeping its own.
TEST(ImportTool, DoesWhatItsTranscriptShows) {
    TempDir dir;
    writeWholeFile(dir / "e.csv", "a,b\nb,c\n");
    writeWholeFile(dir / "bad.csv", "a,b\nb,\"c\n");
    writeWholeFile(dir / "notes.txt", "text");
    const mode_t mask = ::umask(022);
    EXPECT_TRUE(matchesTranscript("orvo-import.transcript", dir));
    ::umask(mask);
}

// The bundled real example (its first record and its size: see the transcript) is what orvo-import
// makes of the documentation a Debian package installs (the README names both); where the package
// is installed, it is made again.
TEST(ImportTool, TheBundledDocumentationExampleIsTheImportOfItsPackage) {
    const std::string example = ORVO_SOURCE_DIR "/examples/sqlite-doc.graph";
    const std::string docs = "/usr/share/doc/sqlite3";
    if (!fs::exists(docs + "/index.html")) GTEST_SKIP() << "sqlite3-doc is not installed";
    TempDir dir;
    const ToolRun run = runTool("orvo-import", {docs, "--orphans", "-o", dir.file("again.graph")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(readWholeFile(dir / "again.graph") == readWholeFile(example))
        << "not what orvo-import makes of " << docs;
}

}  // namespace
}  // namespace orvo::test
