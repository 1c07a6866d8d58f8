// The column path to a map (an outline read into columns, sized and written without a Graph)
// against the Graph path: the same map bytes, or the same refusal, for every outline the tests,
// the examples and the fuzz corpus hold, under several load flags, with the texts in memory and
// with every byte of them in temporary files. Nothing stays behind in the temporary folder.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "glue/window_settings.h"
#include "graph/node_measures.h"
#include "mapfile/column_map.h"
#include "mapfile/map_reader.h"
#include "mapfile/map_writer.h"
#include "memory/front_coded_texts.h"
#include "memory/spill_text.h"
#include "tests/graph_test_support.h"
#include "tools/site_generator.h"
#include "tools/streamed_site.h"

namespace orvo::testing {
namespace {

namespace fs = std::filesystem;

struct Outline {
    std::string name, text;
    bool big = false;  // a generated site: tried under fewer load flags
};

std::string bytesOf(std::FILE* file) {
    std::string bytes;
    if (std::fseek(file, 0, SEEK_END) != 0) return bytes;
    bytes.resize(static_cast<size_t>(std::ftell(file)));
    std::rewind(file);
    if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) bytes.clear();
    std::fclose(file);
    return bytes;
}

// The map as orvo-import wrote it before the column path: a Graph read, laid out, measured.
std::string graphMap(const std::string& text, int32_t flags) {
    ViewerSettings settings;
    settings.loadFlags = flags;
    Graph graph(settings);
    std::istringstream in(text);
    if (!readAndLayOut(graph, in)) return "no node";
    const NodeMeasures measures = computeNodeMeasures(graph, nullptr, 2);
    std::FILE* file = std::tmpfile();
    const std::string why =
        writeMap(graph, *layoutStartOf(graph), settings, file, &measures);
    const std::string bytes = bytesOf(file);
    return why.empty() ? bytes : "failed: " + why;
}

std::string columnMap(const std::string& text, int32_t flags, const ColumnReadLimits& limits,
                      uint64_t* spilled = nullptr) {
    ViewerSettings settings;
    settings.loadFlags = flags;
    OutlineColumns columns(limits);
    std::istringstream in(text);
    if (!columns.read(in, flags))
        return columns.error().empty() ? "no node" : columns.error();
    if (spilled != nullptr) *spilled = columns.spilledBytes();
    std::FILE* file = std::tmpfile();
    const std::string why = writeColumnMap(columns, settings, file);
    const std::string bytes = bytesOf(file);
    return why.empty() ? bytes : "failed: " + why;
}

std::vector<Outline> outlinesOfFolder(const fs::path& folder, bool all) {
    std::vector<Outline> found;
    if (!fs::is_directory(folder)) return found;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        const fs::path& path = entry.path();
        if (!entry.is_regular_file() || path.filename() == "README") continue;
        if (!all && path.extension() != ".graph") continue;
        found.push_back({path.string(), readWholeFile(path)});
    }
    return found;
}

// Every outline at hand: the case files' inputs, the graph files of the tests and the examples,
// the fuzz corpus and its regressions, and generated sites with many moved pages.
std::vector<Outline> allOutlines() {
    std::vector<Outline> outlines;
    for (const OutlineCase& c : outlineCases()) outlines.push_back({c.name, c.input});
    outlines.push_back({"label_records.txt", unescaped(readWholeFile(dataPath("label_records.txt")))});
    const fs::path source(ORVO_SOURCE_DIR);
    for (const auto& [folder, all] : {std::pair{source / "tests/data", false},
                                      std::pair{source / "examples", false},
                                      std::pair{source / "fuzz/corpus", true},
                                      std::pair{source / "fuzz/regressions", true}}) {
        std::vector<Outline> more = outlinesOfFolder(folder, all);
        outlines.insert(outlines.end(), more.begin(), more.end());
    }
    SiteOptions options;
    options.nodes = 12000;
    outlines.push_back({"generated site", generateSiteGraph(options), true});
    options.seed = 7;
    std::ostringstream streamed;
    writeStreamedSite(streamed, options);
    outlines.push_back({"streamed site", streamed.str(), true});
    return outlines;
}

TEST(ColumnMap, GivesTheGraphPathsBytesUnderEveryFlagAndBudget) {
    const TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::vector<Outline> outlines = allOutlines();
    ASSERT_GT(outlines.size(), 50u);
    // The sites only under the flags that move the most (and never).
    const struct {
        int32_t flags;
        bool sites;
    } flagSets[] = {{kWindowLoadFlags, true},
                    {0, false},
                    {NeverMove, true},
                    {ExtraField | PreferShallower, false},
                    {CompareComponents | SameTopAncestor | PreferAlphabetical, false},
                    {ExtraField | CompareComponents | PreferAlphabetical, true}};
    // Everything in memory, every text byte spilled, and a budget that ends inside an id.
    const uint64_t budgets[] = {uint64_t{1} << 40, 0, 37};
    size_t maps = 0;
    uint64_t spilledAll = 0;
    for (const Outline& outline : outlines) {
        for (const auto& [flags, sites] : flagSets) {
            if (outline.big && !sites) continue;
            const std::string expected = graphMap(outline.text, flags);
            if (expected != "no node") ++maps;
            for (const uint64_t budget : budgets) {
                ColumnReadLimits limits;
                limits.spillDirectory = dir.path();
                limits.textMemoryBytes = budget;
                uint64_t spilled = 0;
                const std::string got = columnMap(outline.text, flags, limits, &spilled);
                spilledAll += spilled;
                EXPECT_TRUE(got == expected) << outline.name << ", flags " << flags << ", budget "
                                             << budget << ": " << got.size() << " bytes, not "
                                             << expected.size()
                                             << (got.size() < 200 ? " (" + got + ")" : "");
            }
        }
    }
    EXPECT_GT(maps, outlines.size() * 3);  // most outlines hold nodes
    EXPECT_GT(spilledAll, 1u << 20);        // the small budgets did spill
    EXPECT_TRUE(fs::is_empty(dir.path()));  // the spill files have no name
}

// Texts in memory, across the memory's blocks, in the file, across the file's buffer and in the
// buffer not yet written: every range reads back as appended.
TEST(ColumnMap, SpilledTextReadsBackAsAppended) {
    const TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    constexpr uint64_t kBlock = uint64_t{1} << 24;
    for (const uint64_t budget : {uint64_t{0}, uint64_t{5}, kBlock + 3, uint64_t{1} << 40}) {
        SCOPED_TRACE(budget);
        SpillText text(dir.path(), budget);
        std::string mirror;
        // Pieces of 1 to 1000 bytes, about 20 MiB in all: past a block and a few file buffers.
        uint32_t state = 12345;
        while (mirror.size() < kBlock + (uint64_t{4} << 20)) {
            state = state * 1103515245u + 12345u;
            std::string piece((state >> 16) % 1000 + 1, char('a' + state % 26));
            piece.front() = char(mirror.size() % 251);
            text.append(piece);
            mirror += piece;
        }
        ASSERT_EQ(text.size(), mirror.size());
        EXPECT_EQ(text.spilledBytes(), mirror.size() - std::min<uint64_t>(budget, mirror.size()));
        std::string scratch;
        for (int i = 0; i < 2000; ++i) {
            state = state * 1103515245u + 12345u;
            const size_t length = state % 3000;
            const uint64_t offset =
                i < 4 ? std::vector<uint64_t>{kBlock - 7, 0, budget, mirror.size() - length}[i]
                      : (uint64_t(state) * 7919) % (mirror.size() - length);
            if (offset + length > mirror.size()) continue;
            ASSERT_EQ(text.read(offset, length, scratch), std::string_view(mirror).substr(offset, length))
                << offset << " + " << length;
        }
        EXPECT_EQ(text.error(), "");
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

// Ids kept front-coded, in memory and past a budget in the file: each reads back whole, alone
// and in order, with runs cut anywhere (an empty text, a text sharing all or none of the one
// before, lengths past one byte's count) and the last run still open.
TEST(ColumnMap, FrontCodedIdsReadBackAsAppended) {
    const TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    std::vector<std::string> texts{std::string(128, 'q')};  // a length of exactly 0x80
    uint32_t state = 777;
    for (int i = 0; i < 1000; ++i) {
        state = state * 1103515245u + 12345u;
        const std::string base = "http://www.example.com/d" + std::to_string(i / 40) + "/";
        switch (state % 6) {
        case 0: texts.push_back(""); break;
        case 1: texts.push_back(texts.empty() ? "x" : texts.back()); break;
        case 2: texts.push_back(base + std::string(200 + state % 300, char('a' + i % 26))); break;
        case 3: texts.push_back(std::to_string(state)); break;
        default: texts.push_back(base + "p" + std::to_string(i) + ".html");
        }
    }
    uint64_t plainBytes = 0;
    for (const std::string& t : texts) plainBytes += t.size();
    for (const uint64_t budget : {uint64_t{0}, uint64_t{1000}, uint64_t{1} << 40}) {
        for (const size_t count : {size_t{1}, FrontCodedTexts::kRun, size_t{999}}) {
            SCOPED_TRACE(::testing::Message() << budget << " " << count);
            FrontCodedTexts ids(dir.path(), budget);
            for (size_t i = 0; i < count; ++i) ids.append(texts[i]);
            ASSERT_EQ(ids.size(), count);
            std::string scratch;
            for (size_t k = 0; k < count; ++k) {
                const size_t i = (k * 7919) % count;
                ASSERT_EQ(ids.get(i, scratch), texts[i]) << i;
            }
            size_t i = 0;
            std::string_view text;
            for (auto cursor = FrontCodedTexts::Cursor(ids); cursor.next(text); ++i)
                ASSERT_EQ(text, texts[i]) << i;
            EXPECT_EQ(i, count);
            EXPECT_EQ(ids.error(), "");
            if (count == 999) {
                EXPECT_LT(ids.storedBytes(), plainBytes * 3 / 4);  // what is shared is not kept twice
                EXPECT_EQ(ids.spilledBytes() > 0, budget < ids.storedBytes());
            }
        }
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(ColumnMap, FileIsWholeOrAbsentAndLeavesNoTemporaryFile) {
    const TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    SiteOptions options;
    options.nodes = 5000;
    const std::string text = generateSiteGraph(options);
    ViewerSettings settings;
    applyWindowInitialisation(settings);
    ColumnReadLimits limits;
    limits.spillDirectory = dir.path();
    limits.textMemoryBytes = 1000;
    const std::string path = dir.file("site.orvomap");

    // Stopped after the first megabyte read: nothing written, nothing left.
    std::atomic<bool> stop{false};
    ColumnMapReports reports;
    reports.read = [&stop](uint64_t) { stop = true; };
    std::istringstream first(text);
    ColumnMapResult stopped = writeColumnMapFile(first, 0, path, settings, limits, reports, &stop);
    EXPECT_TRUE(stopped.stopped);
    EXPECT_TRUE(fs::is_empty(dir.path()));

    // Into a folder that is not there: the error names the path, nothing is made.
    std::istringstream second(text);
    const ColumnMapResult failed =
        writeColumnMapFile(second, text.size(), dir.file("none/site.orvomap"), settings, limits);
    EXPECT_NE(failed.error.find("none/site.orvomap"), std::string::npos) << failed.error;
    EXPECT_TRUE(fs::is_empty(dir.path()));

    // Whole: the map opens, holds every node, and the spill files are gone.
    std::istringstream third(text);
    const ColumnMapResult done = writeColumnMapFile(third, text.size(), path, settings, limits);
    EXPECT_TRUE(done.error.empty()) << done.error;
    EXPECT_TRUE(done.anyNode);
    EXPECT_GT(done.spilledBytes, 10000u);
    Graph graph(settings);
    EXPECT_EQ(readMapFile(path, graph), "");
    EXPECT_EQ(graph.nodes.size(), size_t(done.nodes));
    EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(dir.path()), {}),
              std::vector<fs::path>{fs::path(path)});
}

}  // namespace
}  // namespace orvo::testing
