// orvo-gen run as a process, as its golden transcript shows; seeded, it remakes the bundled
// example byte for byte.
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
