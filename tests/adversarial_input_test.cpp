// Input the format does not foresee: binary junk, very deep and very wide outlines read, shown
// and laid out; the fuzzers' inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/import_exercise.h"
#include "fuzz/reader_exercise.h"
#include "glue/window_settings.h"
#include "graph/graph.h"
#include "graph_test_support.h"
#include "layout/layout.h"

using namespace orvo;
using namespace orvo::testing;

// Through the reader fuzzer's round (several load flags, invariants, attributes, dump, take-over).
TEST(AdversarialInput, BinaryJunkNeverBreaksTheReader) {
    std::mt19937 random(12345);
    // Bytes biased towards the format's own: digits, blanks, line feeds, slashes, letters.
    const std::string alphabet = "0123456789      \n\n\n\t\r/-.:abcQX_TOPNODEposition";
    for (int round = 0; round < 30; ++round) {
        std::string junk(20000 + 3000 * round, '\0');
        for (char& c : junk) {
            c = (random() % 4 == 0) ? static_cast<char>(random() % 256)
                                    : alphabet[random() % alphabet.size()];
        }
        const auto* bytes = reinterpret_cast<const uint8_t*>(junk.data());
        EXPECT_EQ(exerciseReader(bytes, junk.size()), "") << "round " << round;
    }
}

TEST(AdversarialInput, OutlineTwoHundredThousandLevelsDeep) {
    constexpr int kDepth = 200000;
    std::string text;
    for (int i = 0; i < kDepth; ++i)
        text += std::to_string(i) + " n" + std::to_string(i) + " 0 gg\n";
    // Repeats of ancestors deep down: no move (deeper than the old parents), non-tree links.
    for (int i = 0; i < 1000; ++i) {
        text += std::to_string(kDepth) + " n" + std::to_string(i * 97) + " 0 html main\n";
    }
    ViewerSettings settings;
    settings.loadFlags = kWindowLoadFlags;
    Graph g(settings);
    ASSERT_TRUE(readText(g, text));
    ASSERT_EQ(g.links.size(), size_t(kDepth - 1 + 1000));
    // Laid out, each level adds 0.3 to the distance from the top, whose cosh is w of the placed
    // origin: it overflows somewhere near depth 2 400, and only there.
    int firstOverflow = 0;
    while (std::isfinite(g.globalTransform(*g.nodes[firstOverflow]).at(3, 3))) ++firstOverflow;
    EXPECT_TRUE(firstOverflow > 2300 && firstOverflow < 2500) << firstOverflow;
    EXPECT_NEAR(std::acosh(g.globalTransform(*g.nodes[1000]).at(3, 3)), 1000 * 0.30000001192092896,
                1e-6);
    // From the bottom: the whole chain is re-anchored upward.
    Node* deepest = g.nodes.back();
    relayoutFrom(g, deepest);
    EXPECT_TRUE(std::equal(g.globalTransform(*deepest).m, g.globalTransform(*deepest).m + 16,
                           ProjTransform::identity().m));
    EXPECT_NEAR(g.positionOf(*g.nodes[kDepth - 2]).x, std::tanh(0.30000001192092896), 1e-15);
    EXPECT_EQ(g.root->descendantCount, kDepth - 1);
    EXPECT_EQ(deepest->level, kDepth - 1);
    EXPECT_EQ(deepest->outLinks.size(), 1000u);
    ASSERT_EQ(checkGraphInvariants(g), "");
    const std::string dump = g.summaryAndDump();
    EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), kDepth + 1000);
    EXPECT_NE(dump.find("\n199999 n199999 1  gg\n200000 n0 0  gg\n"), std::string::npos);

    EXPECT_EQ(g.setOutLinksShown("QX_TOPNODE", 1, 1), 1);
    EXPECT_TRUE(deepest->outLinks[999]->isShown());
    EXPECT_EQ(g.setInLinksShown("n0", 0, 1), 1);
    EXPECT_EQ(deepest->outLinks[999]->flags, 0);
    EXPECT_EQ(g.collectShownSubtree("n0", -1).size(), size_t(kDepth));
    EXPECT_EQ(g.collectShownSubtree("n0", 10).size(), 11u);
    EXPECT_EQ(g.setGroupHidden(0, "gg", 1), 1);
    EXPECT_TRUE(g.collectShownSubtree("n0", -1).empty());
    g.setNegativeLevelLinksHidden(1);
    g.setAllLinksShown(1);
    relayoutFrom(g, g.nodes[kDepth / 2]);
    Graph shown(settings);
    shown.takeContentsOf(g);
    // The taken nodes follow the hidden lists of `shown`, where "gg" is not hidden.
    EXPECT_TRUE(shown.nodes.back()->parentLink->isShown());
    EXPECT_EQ(checkGraphInvariants(shown), "");
}

TEST(AdversarialInput, RootWithThreeHundredThousandChildrenThatAllMove) {
    constexpr int kChildren = 300000;
    std::string text = "0 z 0 html\n";
    for (int i = 0; i < kChildren; ++i) text += "1 c" + std::to_string(i) + " 0 image\n";
    text += "1 a 0 html\n";
    // Listed again under "a", which sorts before "z": every child moves, leaving a hole each.
    for (int i = 0; i < kChildren; ++i) text += "2 c" + std::to_string(i) + " 0 image\n";
    ViewerSettings settings;
    settings.loadFlags = PreferAlphabetical;
    Graph g(settings);
    ASSERT_TRUE(readText(g, text));
    Node* a = g.findNode("a");
    ASSERT_EQ(childIds(g.root), Strings{"a"});
    ASSERT_EQ(a->children.size(), size_t(kChildren));
    EXPECT_EQ(a->children[12345]->id, "c12345");
    EXPECT_EQ(g.root->outLinks.size(), size_t(kChildren));
    ASSERT_EQ(checkGraphInvariants(g), "");
    const std::string dump = g.summaryAndDump();
    EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 2 * kChildren + 2);
    EXPECT_EQ(g.setOutLinksShown("z", 1, 1), 1);
    EXPECT_EQ(g.setInLinksShown("QX_TOPNODE", 1, 1), 1);
    EXPECT_EQ(g.collectShownSubtree("z", 1).size(), 2u);
    EXPECT_EQ(g.setGroupHidden(0, "image", 1), 1);
    EXPECT_EQ(g.collectShownSubtree("z", -1).size(), 2u);
    // Laid out, every child sits at its parent's child distance; re-anchored at one of them,
    // its 299 999 siblings are sized again on the way up.
    const double d = a->radius;
    int misplaced = 0;
    for (const Node* k : a->children) {
        const ProjPoint at = dehomogenized(k->localTransform().apply(ProjPoint()));
        misplaced += !std::isfinite(at.x) || std::fabs(ProjPoint().distance(at) - d) > 1e-9;
    }
    EXPECT_EQ(misplaced, 0);
    relayoutFrom(g, a->children[123456]);
    EXPECT_EQ(a->radius, d);
    EXPECT_NEAR(g.positionOf(*a).x, std::tanh(d), 1e-14);
}

// Graph files nested 100 000 deep, read without recursion: JSON past the parser's depth is
// refused; GEXF nodes inside nodes are a hierarchy, other elements are passed over.
TEST(AdversarialInput, GraphFilesNestedAHundredThousandDeep) {
    // `open` 100 000 times (a '%' in it numbered), then `close` as often.
    const auto nested = [](const std::string& open, const std::string& close) {
        std::string text;
        for (int i = 0; i < 100000; ++i) text += replaceAll(open, "%", std::to_string(i));
        for (int i = 0; i < 100000; ++i) text += close;
        return text;
    };
    const struct {
        const char *name, *outcome;
        std::string text;
    } cases[] = {
        {"nodes.json", "nested deeper than 1024", "{\"nodes\":" + nested("[", "]") + "}"},
        {"field.json", "nested deeper than 1024",
         R"({"nodes":[{"id":"a","x":)" + nested(R"({"y":)", "}") + "0}]}"},
        {"nodes.gexf", "100000 records",
         "<gexf><graph><nodes>" + nested("<node id='n%'><nodes>", "</nodes></node>") +
             "</nodes></graph></gexf>"},
        {"other.gexf", "holds no node",
         "<gexf><graph>" + nested("<a>", "</a>") + "</graph></gexf>"},
    };
    for (const auto& c : cases) {
        const std::string file = fuzzing::scratch() + "/" + c.name;
        fuzzing::writeFile(file, c.text);
        std::ostringstream out;
        const ImportResult result = importGraph(file, guessImportFormat(file), {}, out);
        const std::string outcome =
            result.ok ? std::to_string(result.records) + " records" : result.error;
        EXPECT_NE(outcome.find(c.outcome), std::string::npos) << c.name << ": " << outcome;
        EXPECT_EQ(fuzzing::checkOutline(out.str()), "") << c.name;
    }
}

// The seed corpora and every saved crash input, replayed through their fuzzer's round so that a
// fixed fault stays fixed: the reader's for fuzz/corpus and fuzz/regressions, the importer named
// by the folder (corpus-csv) or by the file (csv-...).
TEST(FuzzInputs, CorporaAndSavedCrashInputsPassTheFuzzersRound) {
    const std::pair<const char*, FuzzedImport> importers[] = {
        {"html", FuzzedImport::Html}, {"csv", FuzzedImport::Csv},    {"xml", FuzzedImport::Xml},
        {"dot", FuzzedImport::Dot},   {"gexf", FuzzedImport::Gexf},  {"json", FuzzedImport::Json},
        {"gml", FuzzedImport::Gml},   {"pajek", FuzzedImport::Pajek}};
    for (const std::string folder :
         {"corpus", "regressions", "corpus-html", "corpus-csv", "corpus-xml", "corpus-dot",
          "corpus-gexf", "corpus-json", "corpus-gml", "corpus-pajek", "regressions-import"}) {
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

// The importers' round catches an outline the graph reader would not take whole.
TEST(FuzzInputs, TheImportCheckCatchesUnsoundOutlines) {
    EXPECT_TRUE(answersMatch("fuzz_outline_checks.txt", fuzzing::checkOutline));
}
