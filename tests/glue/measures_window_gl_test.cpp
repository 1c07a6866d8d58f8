// The measures in the window glue on an offscreen Mesa context: worked out on a thread of their
// own after an open (the status says when they are ready), dropped safely when another graph
// replaces the one they were worked out for; the colouring by each measure and its legend; the
// labels by link score; and the Links panel's rows of the selected node, on the example site.
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "glue/links_list.h"
#include "glue/measure_legend.h"
#include "graph/graph.h"
#include "graph/node_measures.h"
#include "tests/glue/glue_rig.h"
#include "tests/measures_test_support.h"

namespace orvo {
namespace {

using MeasuresWindowTest = GlueRig;

TEST_F(MeasuresWindowTest, WorkedOutAfterTheOpenAndDroppedWhenTheGraphIsReplaced) {
    open(kSite);
    // Nothing waits for them: the open returns with the thread started and nothing taken yet.
    EXPECT_TRUE(glue->measuresPending());
    EXPECT_TRUE(glue->measures().empty());
    EXPECT_EQ(glue->measuresMessage(), "");
    glue->waitForMeasures();
    EXPECT_FALSE(glue->measuresPending());
    expectSameMeasures(glue->measures(), computeNodeMeasures(graph()));
    EXPECT_EQ(glue->measuresMessage(),
              "Measures ready: depth, links in and out, subtree size, link score");
    EXPECT_EQ(glue->keyStatus(), "") << "what the last command said stays";
    EXPECT_FALSE(glue->collectMeasures()) << "taken once";

    // A failed open leaves the graph on view and its measures' thread running.
    open(kSite);
    EXPECT_EQ(glue->openGraphFile(dataPath("absent.graph")), 0);
    glue->waitForMeasures();
    ASSERT_EQ(glue->measures().size(), graph().nodes.size());
    // Another graph opened while the site's are worked out: theirs are dropped, its own come.
    open(kSite);
    open("viewer_groups.graph");
    EXPECT_TRUE(glue->measures().empty());
    glue->waitForMeasures();
    ASSERT_EQ(glue->measures().size(), graph().nodes.size());
    expectSameMeasures(glue->measures(), computeNodeMeasures(graph()));
    // Without them the open starts no thread.
    glue->setComputeMeasures(false);
    open(kSite);
    EXPECT_FALSE(glue->measuresPending());
}

TEST_F(MeasuresWindowTest, ColourByEachMeasureWithItsLegendAndBackToThePictureOfGroups) {
    open(kSite);
    drawWhole();
    const std::vector<uint8_t> groups = finishedPicture();
    // Chosen before the measures are ready: the picture waits for them, unchanged.
    glue->setColourBy(Measure::Score);
    EXPECT_EQ(glue->keyStatus(), "Coloured by Link score (log scale) once the measures are ready");
    EXPECT_FALSE(glue->colouredByMeasure());
    EXPECT_EQ(finishedPicture(), groups);
    EXPECT_TRUE(glue->measureLegend().title.empty());
    glue->waitForMeasures();
    EXPECT_EQ(glue->measuresMessage(),
              "Measures ready: depth, links in and out, subtree size, link score; coloured by Link "
              "score");
    ASSERT_TRUE(glue->colouredByMeasure());
    const std::vector<uint8_t> scores = finishedPicture();
    EXPECT_NE(scores, groups);
    // The node under the pointer: its colour in the picture is the ramp's at its score, and the
    // legend names it with its value.
    const NodeMeasures& m = glue->measures();
    const Node& n = top();
    const auto [x, y] = whereDrawn(n);
    glue->mouseMoveViewer(x, y, 0, 0);
    glue->pointerRested();
    ASSERT_EQ(glue->hoveredNode(), &n);
    const MeasureLegend legend = glue->measureLegend();
    EXPECT_EQ(legend.title, "Link score (log scale)");
    const auto [low, high] = std::minmax_element(m.score.begin(), m.score.end());
    EXPECT_EQ(legend.lowText, measureValueText(Measure::Score, *low));
    EXPECT_EQ(legend.highText, measureValueText(Measure::Score, *high));
    ASSERT_EQ(legend.ramp.size(), 32u);
    EXPECT_EQ(legend.ramp.front(), rampColour(0.0));
    EXPECT_EQ(legend.ramp.back(), rampColour(1.0));
    ASSERT_TRUE(legend.pointed);
    const double score = m.score[static_cast<size_t>(n.index)];
    EXPECT_EQ(legend.pointedText,
              std::string(n.id) + ": " + measureValueText(Measure::Score, score));
    EXPECT_GT(legend.pointedPosition, 0.5) << "the top page scores high";
    glue->mouseMoveViewer(0, 0, 0, 0);  // off the node: it keeps its own colour, not the hover's
    glue->pointerRested();
    const std::array<int, 3> drawn = pixel(DrawBuffer::Front, x, y);
    glue->displayViewer();
    idleToTheEnd();
    const std::array<int, 3> seen = pixel(DrawBuffer::Front, x, y);
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(seen[static_cast<size_t>(c)],
                    legend.pointedColour[static_cast<size_t>(c)] * 255.0f, 2.5)
            << "channel " << c << " (before the move " << drawn[static_cast<size_t>(c)] << ")";

    // M runs through every measure and back to the groups, whose picture is as it was.
    glue->setColourBy(std::nullopt);
    std::vector<std::string> titles;
    for (int k = 0; k <= kMeasureCount; ++k) {
        glue->keyViewer('M');
        titles.push_back(glue->colourBy() ? measureTitle(*glue->colourBy()) : "groups");
        if (glue->colourBy()) {
            EXPECT_EQ(glue->measureLegend().title.substr(0, titles.back().size()), titles.back());
            EXPECT_NE(finishedPicture(), groups) << titles.back();
        }
    }
    EXPECT_EQ(titles, (std::vector<std::string>{"Depth", "Links in", "Links out", "Subtree size",
                                                "Link score", "groups"}));
    EXPECT_EQ(glue->keyStatus(), "Coloured by groups");
    EXPECT_EQ(finishedPicture(), groups);
}

TEST_F(MeasuresWindowTest, LabelsByLinkScoreAndBackToTheDefault) {
    open(kSite);
    drawWhole();
    settings().labelSize = 0.0f;  // every node would have a label: they compete for room
    const std::vector<uint8_t> bySize = finishedPicture();
    glue->keyViewer('P');
    EXPECT_TRUE(glue->labelsByScore());
    EXPECT_EQ(glue->keyStatus(),
              "Labels by link score: the higher score wins the room once the measures are ready");
    EXPECT_EQ(finishedPicture(), bySize);
    glue->keyViewer('P');
    EXPECT_EQ(glue->keyStatus(), "Labels by node size") << "turned off, nothing waits";
    glue->keyViewer('P');
    glue->waitForMeasures();
    EXPECT_NE(finishedPicture(), bySize);
    glue->keyViewer('P');
    EXPECT_EQ(glue->keyStatus(), "Labels by node size");
    EXPECT_EQ(finishedPicture(), bySize);
}

// Every row is a link of the graph: the rows in are the node's links in as the measures count
// them, the rows out its links out, each from or to the row's node.
TEST_F(MeasuresWindowTest, TheLinksListHoldsTheNodesLinksSortedAndFiltered) {
    open(kSite);
    glue->waitForMeasures();
    const NodeMeasures& m = glue->measures();
    const Graph& g = graph();
    // The top node (without a parent, with the most links in), and a node below it with the
    // most non-tree links both in and out.
    const Node* both = nullptr;
    for (const Node* n : g.nodes)
        if (n->parent != nullptr &&
            (both == nullptr || std::min(n->inLinks.size(), n->outLinks.size()) >
                                    std::min(both->inLinks.size(), both->outLinks.size())))
            both = n;
    ASSERT_TRUE(both != nullptr && !both->inLinks.empty() && !both->outLinks.empty());
    for (const Node* listed : {static_cast<const Node*>(&top()), both}) {
        LinksList list;
        list.list(g, *listed, &m);
        const auto i = static_cast<size_t>(listed->index);
        ASSERT_EQ(list.total(), static_cast<size_t>(m.linksIn[i] + m.linksOut[i]));
        std::multiset<std::pair<int32_t, int32_t>> links, rows;  // (from, to)
        for (const Link* l : g.links)
            if (l->toNode == listed || l->fromNode == listed)
                links.emplace(l->fromNode->index, l->toNode->index);
        size_t in = 0;
        for (size_t r = 0; r < list.size(); ++r) {
            const LinkRow& row = list.row(r);
            in += row.in ? 1 : 0;
            rows.emplace(row.in ? row.node : listed->index, row.in ? listed->index : row.node);
            EXPECT_EQ(list.cellText(r, LinksColumn::Direction), row.in ? "in" : "out");
        }
        EXPECT_EQ(in, static_cast<size_t>(m.linksIn[i]));
        EXPECT_EQ(rows, links);
        EXPECT_EQ(list.summary(),
                  std::to_string(m.linksIn[i]) + " in, " + std::to_string(m.linksOut[i]) + " out");

        // By score, highest first; by name from A; a second sort turns the order round.
        list.sortBy(LinksColumn::Score, false);
        for (size_t r = 1; r < list.size(); ++r)
            EXPECT_GE(m.score[static_cast<size_t>(list.row(r - 1).node)],
                      m.score[static_cast<size_t>(list.row(r).node)]);
        EXPECT_EQ(list.cellText(0, LinksColumn::Score),
                  measureValueText(Measure::Score, m.score[static_cast<size_t>(list.row(0).node)]));
        for (const bool ascending : {true, false}) {
            list.sortBy(LinksColumn::Name, ascending);
            for (size_t r = 1; r < list.size(); ++r) {
                const std::string_view a = list.rowNode(r - 1).id, b = list.rowNode(r).id;
                EXPECT_TRUE(ascending ? a <= b : a >= b) << a << " then " << b;
            }
        }
        // A filter keeps exactly the rows whose id holds the text, in any case.
        const std::string id(list.rowNode(list.size() / 2).id);
        const std::string part = id.substr(id.size() / 2);
        std::string upper = part;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        list.setFilter(upper);
        size_t holding = 0;
        for (const LinkRow& row : [&] {
                 std::vector<LinkRow> all;
                 list.setFilter("");
                 for (size_t r = 0; r < list.size(); ++r) all.push_back(list.row(r));
                 list.setFilter(upper);
                 return all;
             }())
            holding += std::string_view(g.nodes[static_cast<size_t>(row.node)]->id).find(part) !=
                               std::string_view::npos
                           ? 1
                           : 0;
        EXPECT_EQ(list.size(), holding);
        EXPECT_GE(list.size(), 1u);
        for (size_t r = 0; r < list.size(); ++r)
            EXPECT_NE(std::string_view(list.rowNode(r).id).find(part), std::string_view::npos);
        // The group cell and its colour are the node's own under the groups' colouring.
        const Node& first = list.rowNode(0);
        const std::string_view group = g.groupOf(first, settings().groupColumn);
        EXPECT_EQ(list.cellText(0, LinksColumn::Group),
                  group.empty() ? "no group" : std::string(group));
        const float* c = g.nodeColor(first);
        EXPECT_EQ(list.groupColour(0), (Rgb{c[0], c[1], c[2]}));
    }
    // Without measures the score cells are empty and a sort by score keeps the graph's order;
    // once they come the rows follow the order chosen.
    LinksList list;
    list.list(g, top(), nullptr);
    std::vector<int32_t> held;
    for (size_t r = 0; r < list.size(); ++r) held.push_back(list.row(r).node);
    list.sortBy(LinksColumn::Score, false);
    EXPECT_EQ(list.cellText(0, LinksColumn::Score), "");
    for (size_t r = 0; r < list.size(); ++r) EXPECT_EQ(list.row(r).node, held[r]);
    list.setMeasures(&m);
    ASSERT_GT(list.size(), 2u);
    for (size_t r = 1; r < list.size(); ++r)
        EXPECT_GE(m.score[static_cast<size_t>(list.row(r - 1).node)],
                  m.score[static_cast<size_t>(list.row(r).node)]);
    list.clear();
    EXPECT_EQ(list.listedNode(), -1);
    EXPECT_EQ(list.size(), 0u);
    EXPECT_EQ(list.summary(), "No node selected");
}

// The legend's texts of each measure's values, and its ramp at every step.
TEST(MeasureLegendTest, ValuesAsTheLegendWritesThemAndTheRampsSteps) {
    struct Case {
        Measure measure;
        double value;
        const char* text;
    };
    for (const Case& c :
         {Case{Measure::Depth, -1, "none"}, Case{Measure::Depth, 0, "0"},
          Case{Measure::Depth, 7, "7"}, Case{Measure::LinksIn, 12345, "12 345"},
          Case{Measure::LinksOut, 0, "0"}, Case{Measure::Subtree, 1234567, "1 234 567"},
          Case{Measure::Score, 0.00123456, "0.00123"}, Case{Measure::Score, 0.5, "0.5"},
          Case{Measure::Score, 2.5e-7, "2.5e-07"}})
        EXPECT_EQ(measureValueText(c.measure, c.value), c.text) << measureTitle(c.measure);
    NodeMeasures m;
    m.depth = {0, 1, -1};
    m.linksIn = m.linksOut = m.subtree = {1, 2, 3};
    m.score = {0.5, 0.25, 0.25};
    const MeasureColouring depth = colourByMeasure(m, Measure::Depth, {0.7f, 0.7f, 0.7f});
    ViewerSettings settings;
    Graph g(settings);
    const MeasureLegend legend = measureLegend(depth, m, g, nullptr, 5);
    EXPECT_EQ(legend.title, "Depth");
    EXPECT_EQ(legend.lowText, "0");
    EXPECT_EQ(legend.highText, "1");
    ASSERT_EQ(legend.ramp.size(), 5u);
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(legend.ramp[i], rampColour(double(i) / 4.0)) << i;
    EXPECT_FALSE(legend.pointed);
    EXPECT_EQ(measureLegend(depth, m, g, nullptr, 1).ramp, std::vector<Rgb>{rampColour(0.0)});
}

}  // namespace
}  // namespace orvo
