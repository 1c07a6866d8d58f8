// Node labels from the files: the label record's text as written and as read back, the reader's
// handling of label records, and every importer's labels carried through a graph file to the
// graph that reads it.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "graph/graph.h"
#include "import/import.h"
#include "stream/outline_format.h"
#include "stream/outline_label.h"
#include "tests/graph_test_support.h"

namespace orvo {
namespace {

// Every labelled node as "id=label", in node order, " | " between them.
std::string labelsOf(const Graph& g) {
    std::string text;
    for (const Node* n : g.nodes) {
        if (g.labelOf(*n).empty()) continue;
        if (!text.empty()) text += " | ";
        text += std::string(n->id) + "=" + std::string(g.labelOf(*n));
    }
    return text;
}

TEST(NodeLabels, TheRecordTextIsOneFieldThatReadsBackAsShowableText) {
    EXPECT_TRUE(testing::answersMatch("label_texts.txt", [](const std::string& question) {
        const testing::Strings f = testing::fields(question);
        if (f[0] == "decode") return decodeLabelText(f[1]);
        const size_t room = std::stoul(f[1]);
        const std::string field = encodeLabelText(f[2], room);
        if (field.size() > room || field.find(' ') != std::string::npos)
            return "not one field of " + f[1] + " bytes: " + field;
        return field + " | " + decodeLabelText(field);
    }));
}

TEST(NodeLabels, TheReaderLabelsNodesReadBeforeAndChangesNothingElse) {
    const std::string outline =
        "0 r 0 html\n"
        "1 29753 0\n"
        "1 b 0 image\n"
        "2 r 0\n"
        "-99 position 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1\n";
    const std::string withLabels =
        "-99 label c early\n"  // before its node: no node to label yet
        "0 r 0 html\n"
        "-99 label r Root%20page\n"
        "1 29753 0\n"
        "-99 label 29753 python3\n"
        "-99 label nowhere ghost\n"  // no such node
        "1 b 0 image\n"
        "-99 label b\n"  // no text
        "-99 label b " +
        std::string(kOutlineLineLimit, 'x') +
        "\n"  // too long a line
        "2 r 0\n"
        "-99 label b caf%E9%20%C3%A9\n"
        "-99 label 29753 python3.11\n"  // a later label replaces the earlier one
        "-99 position 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1\n"
        "1 c 0\n";
    ViewerSettings settings;
    Graph plain(settings), labelled(settings);
    ASSERT_TRUE(testing::readText(plain, outline + "1 c 0\n"));
    ASSERT_TRUE(testing::readText(labelled, withLabels));
    EXPECT_EQ(testing::describe(labelled), testing::describe(plain));
    EXPECT_EQ(labelsOf(labelled), "r=Root page | 29753=python3.11 | b=caf%E9 \xC3\xA9");
    EXPECT_EQ(labelled.readStats.skippedLines, 4u);
    EXPECT_FALSE(plain.hasLabels());
    // A fresh read forgets the labels; contents taken over bring theirs.
    Graph fresh(settings);
    ASSERT_TRUE(testing::readText(fresh, withLabels));
    ASSERT_TRUE(testing::readText(labelled, outline));
    EXPECT_EQ(labelsOf(labelled), "");
    labelled.takeContentsOf(fresh);
    EXPECT_EQ(labelsOf(labelled), "r=Root page | 29753=python3.11 | b=caf%E9 \xC3\xA9");
    EXPECT_EQ(labelsOf(fresh), "");
}

TEST(NodeLabels, EveryImporterCarriesTheFilesLabelsThroughTheGraphFile) {
    const testing::TempDir dir;
    const std::vector<testing::OutlineCase> cases = testing::outlineCases("import/label_cases.txt");
    ASSERT_EQ(cases.size(), 9u);
    for (const testing::OutlineCase& c : cases) {
        testing::writeWholeFile(dir.file(c.name), c.input);
        std::ostringstream out;
        const ImportResult result =
            importGraph(dir.file(c.name), guessImportFormat(dir.file(c.name)), {}, out);
        ASSERT_TRUE(result.ok) << c.name << ": " << result.error;
        ViewerSettings settings;
        Graph g(settings);
        ASSERT_TRUE(testing::readText(g, out.str())) << c.name;
        EXPECT_EQ(labelsOf(g) + "\n", c.expected) << c.name << "\n" << out.str();
        EXPECT_EQ(g.readStats.skippedLines, 0u) << c.name;
    }
}

}  // namespace
}  // namespace orvo
