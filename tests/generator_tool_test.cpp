// orvo-gen run as a process, as its golden transcript shows: help, version, refusals, seeded output
// that remakes the bundled example byte for byte, and any size read back by orvo-inspect as
// exactly that many nodes.
#include <gtest/gtest.h>

#include "run_tool.h"

namespace orvo::test {
namespace {

TEST(GeneratorTool, DoesWhatItsTranscriptShows) {
    TempDir dir;
    EXPECT_TRUE(matchesTranscript("orvo-gen.transcript", dir));
    EXPECT_EQ(runTool("orvo-gen", {"--nodes", "3000", "--seed", "1"}).out,
              readWholeFile(ORVO_SOURCE_DIR "/examples/site.graph"));
}

}  // namespace
}  // namespace orvo::test
