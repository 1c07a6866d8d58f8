// Replays the fuzz targets' seed corpora and every saved crash input through the same round the
// fuzzers run, so a fixed fault stays fixed in ordinary builds.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "fuzz/import_exercise.h"
#include "fuzz/reader_exercise.h"
#include "tests/graph_test_support.h"

using namespace orvo;
using namespace orvo::testing;

// Each file of a fuzz folder goes through its fuzzer's round: the reader's for fuzz/corpus and
// fuzz/regressions, the importer named by the folder (corpus-csv) or by the file (csv-...).
TEST(FuzzInputs, CorporaAndSavedCrashInputsPassTheFuzzersRound) {
    const std::pair<const char*, FuzzedImport> importers[] = {{"html", FuzzedImport::Html},
                                                              {"csv", FuzzedImport::Csv},
                                                              {"xml", FuzzedImport::Xml},
                                                              {"dot", FuzzedImport::Dot}};
    for (const std::string folder : {"corpus", "regressions", "corpus-html", "corpus-csv",
                                     "corpus-xml", "corpus-dot", "regressions-import"}) {
        size_t files = 0;
        for (const auto& entry : std::filesystem::directory_iterator(
                 std::filesystem::path(ORVO_SOURCE_DIR) / "fuzz" / folder)) {
            if (entry.path().filename() == "README") continue;
            ++files;
            const std::string bytes = readWholeFile(entry.path());
            const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
            const std::string name = folder + "-" + entry.path().filename().string();
            if (folder.find('-') == std::string::npos) {
                EXPECT_EQ(exerciseReader(data, bytes.size()), "") << name;
                continue;
            }
            const auto* which =
                std::find_if(std::begin(importers), std::end(importers), [&](auto& i) {
                    return name.find(std::string("-") + i.first + "-") != std::string::npos;
                });
            ASSERT_NE(which, std::end(importers))
                << name << " names no importer (html-, csv-, ...)";
            EXPECT_EQ(exerciseImport(which->second, data, bytes.size()), "") << name;
        }
        EXPECT_GE(files, 4u) << folder;
    }
}

// The check of the importers' round fails where it should: an outline the graph reader would not
// take whole is caught, a sound one passes.
TEST(FuzzInputs, TheImportCheckCatchesUnsoundOutlines) {
    EXPECT_TRUE(answersMatch("fuzz_outline_checks.txt", fuzzing::checkOutline));
}
