// Replays the fuzz targets' seed corpora and every saved crash input through the same round the
// fuzzers run, so a fixed fault stays fixed in ordinary builds.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/import_exercise.h"
#include "fuzz/reader_exercise.h"
#include "tests/test_files.h"

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

std::string exerciseImportWith(orvo::FuzzedImport importer, const std::string& bytes) {
    return orvo::exerciseImport(importer, reinterpret_cast<const uint8_t*>(bytes.data()),
                                bytes.size());
}

struct Importer {
    const char* name;
    orvo::FuzzedImport which;
};
constexpr Importer kImporters[] = {{"html", orvo::FuzzedImport::Html},
                                   {"csv", orvo::FuzzedImport::Csv},
                                   {"xml", orvo::FuzzedImport::Xml},
                                   {"dot", orvo::FuzzedImport::Dot}};

void replay(const std::string& folder, size_t atLeast) {
    const auto files = inputsIn(folder);
    EXPECT_GE(files.size(), atLeast) << folder;
    for (const auto& path : files) {
        const std::string bytes = orvo::testing::readWholeFile(path);
        EXPECT_EQ(
            orvo::exerciseReader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), "")
            << path;
    }
}

}  // namespace

TEST(FuzzInputs, SeedCorpusReadsCleanly) { replay("fuzz/corpus", 5); }

TEST(FuzzInputs, SavedCrashInputsStayFixed) { replay("fuzz/regressions", 1); }

TEST(FuzzInputs, ImporterCorporaImportCleanly) {
    for (const Importer& importer : kImporters) {
        const std::string folder = std::string("fuzz/corpus-") + importer.name;
        const auto files = inputsIn(folder);
        EXPECT_GE(files.size(), 4u) << folder;
        for (const auto& path : files) {
            EXPECT_EQ(exerciseImportWith(importer.which, orvo::testing::readWholeFile(path)), "")
                << path;
        }
    }
}

TEST(FuzzInputs, SavedImporterCrashInputsStayFixed) {
    const auto files = inputsIn("fuzz/regressions-import");
    EXPECT_GE(files.size(), 4u);
    for (const auto& path : files) {
        const std::string name = path.filename().string();
        const Importer* importer = nullptr;
        for (const Importer& candidate : kImporters) {
            if (name.starts_with(std::string(candidate.name) + "-")) importer = &candidate;
        }
        ASSERT_NE(importer, nullptr) << name << " does not name its importer (html-, csv-, ...)";
        EXPECT_EQ(exerciseImportWith(importer->which, orvo::testing::readWholeFile(path)), "")
            << path;
    }
}

// The checks of the importers' round fail where they should: an outline the graph reader would
// not take whole is caught, a sound one passes.
TEST(FuzzInputs, TheImportCheckCatchesUnsoundOutlines) {
    using orvo::fuzzing::checkOutline;
    EXPECT_EQ(checkOutline("0 a 0 html main\n1 b 0 html main\n2 a 0 html main\n"), "");
    EXPECT_NE(checkOutline("0 a 0\n2 b 0\n"), "");        // a level skipped
    EXPECT_NE(checkOutline("0 a 0\n0 b 0\n"), "");        // a second top
    EXPECT_NE(checkOutline("0 a b 0\n1 c\x01 0\n"), "");  // a control character
    EXPECT_NE(checkOutline("0 a 0\n1 \xff 0\n"), "");     // not UTF-8
    EXPECT_NE(checkOutline("0 a 0\n-99 position 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1\n"), "");
    EXPECT_NE(checkOutline("0 a 0\n1 " + std::string(1100, 'x') + " 0\n"), "");
    EXPECT_NE(checkOutline("0 a 0"), "");  // no line end
}
