// Replays the reader fuzz target's seed corpus and every saved crash input through the same
// round the fuzzer runs, so a fixed fault stays fixed in ordinary builds.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/reader_exercise.h"

namespace {

std::vector<std::filesystem::path> inputsIn(const std::string& folder) {
    std::vector<std::filesystem::path> files;
    const std::filesystem::path dir = std::filesystem::path(ORVO_SOURCE_DIR) / folder;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.is_regular_file() && entry.path().filename() != "README") {
            files.push_back(entry.path());
        }
    }
    return files;
}

void replay(const std::string& folder, size_t atLeast) {
    const auto files = inputsIn(folder);
    EXPECT_GE(files.size(), atLeast) << folder;
    for (const auto& path : files) {
        std::ifstream in(path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        EXPECT_EQ(
            orvo::exerciseReader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), "")
            << path;
    }
}

}  // namespace

TEST(FuzzInputs, SeedCorpusReadsCleanly) { replay("fuzz/corpus", 5); }

TEST(FuzzInputs, SavedCrashInputsStayFixed) { replay("fuzz/regressions", 1); }
