// Node labels from the files: the label record's text as written and as read back, the reader's
// handling of label records, and every importer's labels carried through a graph file to the
// graph that reads it.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "crawl/import_graph.h"
#include "graph/graph.h"
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
    // Labels before their node, of no node, without text, on too long a line, and a label that
    // replaces an earlier one; the same records without their labels.
    const std::string withLabels =
        testing::unescaped(testing::readWholeFile(testing::dataPath("label_records.txt")));
    std::string outline;
    std::istringstream lines(withLabels);
    for (std::string line; std::getline(lines, line);)
        if (!line.starts_with("-99 label ")) outline += line + "\n";
    ViewerSettings settings;
    Graph plain(settings), labelled(settings);
    ASSERT_TRUE(testing::readText(plain, outline));
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
