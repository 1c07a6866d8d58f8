// orvo-import run as a user runs it, as a golden transcript; the bundled documentation example.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tests/run_tool.h"

namespace orvo::test {
namespace {

namespace fs = std::filesystem;

// Output written whole or not at all, no temporary file left behind, and a new output with the
// permissions any new file gets (not the temporary file's private ones), a replaced one its own.
TEST(ImportTool, DoesWhatItsTranscriptShows) {
    TempDir dir;
    writeWholeFile(dir / "e.csv", "a,b\nb,c\n");
    writeWholeFile(dir / "bad.csv", "a,b\nb,\"c\n");
    writeWholeFile(dir / "notes.txt", "text");
    writeWholeFile(dir / "labels.gml",
                   "graph [ directed 1 node [ id 1 label \"python3\" ] node [ id 2 label \"libc6 "
                   "runtime\" ] node [ id 3 ] edge [ source 1 target 2 ] edge [ source 1 target 3 "
                   "] ]\n");
    // What is no graph: a picture whose bytes hold lines like node records, a listing with one
    // such line among many, an empty file and an empty directory.
    writeWholeFile(dir / "picture.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\n1 a 0\n", 23));
    writeWholeFile(dir / "listing.graph", "0 a 0\nnotes.txt\npicture.png\nREADME\n");
    writeWholeFile(dir / "empty.graph", "");
    fs::create_directories(dir / "empty");
    const mode_t mask = ::umask(022);
    EXPECT_TRUE(matchesTranscript("orvo-import.transcript", dir));
    ::umask(mask);
}

// Output to a named pipe (as to a device such as /dev/null) goes into it: no file is renamed
// over it, so it stays a pipe and its reader gets the outline, or the dump.
TEST(ImportTool, OutputToAPipeGoesIntoIt) {
    TempDir dir;
    writeWholeFile(dir / "e.csv", "a,b\nb,c\n");
    const std::string pipe = dir.file("out");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    for (const auto& [tool, arguments] : {std::pair<std::string, std::vector<std::string>>{
                                              "orvo-import", {dir.file("e.csv"), "-o", pipe}},
                                          {"orvo-inspect", {"--dump", pipe, dir.file("e.csv")}}}) {
        // Opened first and without waiting, so that a tool that misses the pipe fails the test
        // instead of leaving a reader waiting for ever.
        const int fd = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        const ToolRun run = runTool(tool, arguments);
        std::string read;
        char buffer[4096];
        for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) read.append(buffer, got);
        ::close(fd);
        EXPECT_EQ(run.status, 0) << tool << run.err;
        EXPECT_EQ(read.substr(0, 6), tool == "orvo-import" ? "0 a 0\n" : "0 a 1 ") << tool << read;
        struct stat st {};
        EXPECT_TRUE(::stat(pipe.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) << tool;
    }
}

// The bundled real example is what orvo-import makes of the documentation a Debian package
// installs (docs/file-formats.md names both); where the package is installed, it is made again.
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
