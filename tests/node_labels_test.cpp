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
    const std::string e = "\xE2\x80\xA6";  // the ellipsis that ends a cut label
    struct Case {
        std::string label;
        size_t room;
        std::string field, shown;
    } cases[] = {
        {"python3", 100, "python3", "python3"},
        {"py lib 100%", 100, "py%20lib%20100%25", "py lib 100%"},
        {"say \"hi\" & 'bye'", 100, "say%20\"hi\"%20&%20'bye'", "say \"hi\" & 'bye'"},
        {"n\xC3\xA9"
         "e",
         100,
         "n\xC3\xA9"
         "e",
         "n\xC3\xA9"
         "e"},
        // A line end, a tab, a C1 control and a byte that is no UTF-8 stay escapes when shown.
        {"two\nlines\tx\xC2\x85", 100, "two%0Alines%09x%C2%85", "two%0Alines%09x%C2%85"},
        {"caf\xE9", 100, "caf%E9", "caf%E9"},
        // Four-byte characters stay; a surrogate, a cut sequence and a stray lead byte do not.
        {"\xF0\x9F\x98\x80 \xF1\x80\x80\x80 \xED\x9F\xBF", 100,
         "\xF0\x9F\x98\x80%20\xF1\x80\x80\x80%20\xED\x9F\xBF",
         "\xF0\x9F\x98\x80 \xF1\x80\x80\x80 \xED\x9F\xBF"},
        {"\xED\xA0\x80|\xF0\x9F\x98|\xF1\x80x", 100, "%ED%A0%80|%F0%9F%98|%F1%80x",
         "%ED%A0%80|%F0%9F%98|%F1%80x"},
        // Cut labels end in an ellipsis, never inside a character or an escape.
        {"abcdefgh", 6, "abc" + e, "abc" + e},
        {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 6, "\xC3\xA9" + e, "\xC3\xA9" + e},
        {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 7, "\xC3\xA9\xC3\xA9" + e, "\xC3\xA9\xC3\xA9" + e},
        {"a b c d", 6, "a" + e, "a" + e},
        {"a b c d", 8, "a%20b" + e, "a b" + e},
        {"abcdefgh", 8, "abcdefgh", "abcdefgh"},
        {"abcdefgh", 2, "", ""},
    };
    for (const Case& c : cases) {
        const std::string field = encodeLabelText(c.label, c.room);
        EXPECT_EQ(field, c.field) << c.label;
        EXPECT_LE(field.size(), c.room) << c.label;
        EXPECT_EQ(field.find(' '), std::string::npos) << c.label;
        EXPECT_EQ(decodeLabelText(field), c.shown) << c.label;
    }
    // Text no writer makes reads as it stands.
    for (const std::string field : {"100%", "%zz", "%4", "%%41"})
        EXPECT_EQ(decodeLabelText(field), field == "%%41" ? "%A" : field) << field;
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
    const std::string longLabel(3000, 'n');
    struct Case {
        std::string file, text, labels;
    } cases[] = {
        {"nx.gml",
         "graph [ directed 1\n"
         "  node [ id 29753 label \"python3\" ] node [ id 2 label \"with space &quot;q&quot;\" ]\n"
         "  node [ id 3 ] node [ id 4 label \"\" ] node [ id \"a b\" label \"two\nlines\" ]\n"
         "  node [ id 6 label \"caf\xE9\" ] node [ id 7 label 42 ]\n"
         "  edge [ source 29753 target 2 ] edge [ source 29753 target 3 ]\n"
         "  edge [ source 29753 target 4 ] edge [ source 29753 target \"a b\" ]\n"
         "  edge [ source 29753 target 6 ] edge [ source 29753 target 7 ] ]\n",
         "29753=python3 | 2=with space \"q\" | a%20b=two%0Alines | 6=caf%E9 | 7=42"},
        {"cut.gml",
         "graph [ node [ id 1 label \"" + longLabel +
             "\" ] node [ id 2 ] edge [ source 1 "
             "target 2 ] ]\n",
         // "-99 label 1 " and the ellipsis take 15 bytes of the line.
         "1=" + longLabel.substr(0, kOutlineLineLimit - 15) + "\xE2\x80\xA6"},
        {"plain.gexf",
         "<gexf><graph><nodes><node id=\"a\" label=\"Alpha &amp; co\"/><node id=\"b\"/>"
         "<node id=\"c\" label=\"\"/></nodes><edges><edge source=\"a\" target=\"b\"/>"
         "<edge source=\"a\" target=\"c\"/></edges></graph></gexf>\n",
         "a=Alpha & co"},
        {"attributes.gexf",
         "<gexf><graph><attributes class=\"node\"><attribute id=\"0\" title=\"kind\"/>"
         "</attributes><nodes><node id=\"a\" label=\"Alpha\"><attvalues><attvalue for=\"0\" "
         "value=\"x\"/></attvalues></node><node id=\"b\" label=\"Beta\"/></nodes><edges>"
         "<edge source=\"a\" target=\"b\"/></edges></graph></gexf>\n",
         "a=Alpha | b=Beta"},
        {"label.graphml",
         "<graphml><key id=\"n\" for=\"node\" attr.name=\"name\"/><key id=\"l\" for=\"all\" "
         "attr.name=\"label\"/><graph><node id=\"a\"><data key=\"n\">nameA</data><data "
         "key=\"l\">labelA</data></node><node id=\"b\"><data key=\"n\">nameB</data></node>"
         "<edge source=\"a\" target=\"b\"/></graph></graphml>\n",
         "a=labelA"},
        {"name.graphml",
         "<graphml><key id=\"n\" for=\"node\" attr.name=\"name\"/><key id=\"e\" for=\"edge\" "
         "attr.name=\"label\"/><graph><node id=\"a\"><data key=\"n\">nameA</data></node>"
         "<node id=\"b\"/><edge source=\"a\" target=\"b\"><data key=\"e\">x</data></edge>"
         "</graph></graphml>\n",
         "a=nameA"},
        {"links.json",
         "{\"directed\": true, \"nodes\": [{\"id\": 10, \"label\": \"one\", \"name\": \"uno\"}, "
         "{\"id\": 20, \"name\": \"two\"}, {\"id\": 30}, {\"name\": \"by place\"}], "
         "\"links\": [{\"source\": 10, \"target\": 20}, {\"source\": 10, \"target\": 30}, "
         "{\"source\": 10, \"target\": 3}]}\n",
         "10=one | 20=two | 3=by place"},
        {"keyed.json",
         "{\"nodes\": [{\"key\": \"a\", \"attributes\": {\"label\": \"Alpha\"}}, {\"key\": "
         "\"b\"}], \"edges\": [{\"source\": \"a\", \"target\": \"b\"}]}\n",
         "a=Alpha"},
        {"elements.json",
         "{\"elements\": {\"nodes\": [{\"data\": {\"id\": \"a\", \"name\": \"Alpha\"}}, "
         "{\"data\": {\"id\": \"b\", \"label\": \"Beta\"}}], \"edges\": [{\"data\": "
         "{\"source\": \"a\", \"target\": \"b\"}}]}}\n",
         "a=Alpha | b=Beta"},
    };
    const testing::TempDir dir;
    for (const Case& c : cases) {
        testing::writeWholeFile(dir.file(c.file), c.text);
        std::ostringstream out;
        const ImportResult result =
            importGraph(dir.file(c.file), guessImportFormat(dir.file(c.file)), {}, out);
        ASSERT_TRUE(result.ok) << c.file << ": " << result.error;
        ViewerSettings settings;
        Graph g(settings);
        ASSERT_TRUE(testing::readText(g, out.str())) << c.file;
        EXPECT_EQ(labelsOf(g), c.labels) << c.file << "\n" << out.str();
        EXPECT_EQ(g.readStats.skippedLines, 0u) << c.file;
    }
}

}  // namespace
}  // namespace orvo
