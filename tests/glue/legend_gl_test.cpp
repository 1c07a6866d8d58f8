// The legend's rows in the window glue on an offscreen Mesa context: a click hides a group's
// nodes and keeps the map (what hangs below is drawn, each hidden node a grey dot nothing
// picks); "other" and "no group" have colours of their own and hide like any row; a comparison
// opens coloured by its statuses, and a row's arrow visits its nodes one by one; after a click
// the node reached is drawn in its own colour, named in the status bar, and no label covers it.
#include <algorithm>
#include <array>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "glue/draw_report.h"
#include "glue/legend_actions.h"
#include "glue/window_settings.h"
#include "graph/graph_compare.h"
#include "tests/glue/glue_rig.h"
#include "tests/graph_test_support.h"

namespace orvo {
namespace {

using LegendRowTest = GlueRig;

const LegendRow& rowNamed(const Legend& legend, const std::string& name) {
    const auto row = std::find_if(legend.rows.begin(), legend.rows.end(),
                                  [&](const LegendRow& r) { return r.name == name; });
    EXPECT_NE(row, legend.rows.end()) << name;
    return row != legend.rows.end() ? *row : legend.rows.front();
}

// How many drawn nodes the frame drew of each kind: veiled ones, and shown ones of a group.
std::pair<size_t, size_t> drawnVeiledAndOf(const Graph& g, const Renderer& r, const char* group) {
    size_t veiled = 0, ofGroup = 0;
    for (const Node* n : r.drawnNodes()) {
        veiled += (n->flags & Veiled) != 0 ? 1 : 0;
        ofGroup += g.groupOf(*n, 0) == group ? 1 : 0;
    }
    return {veiled, ofGroup};
}

bool overlaps(double ax0, double ay0, double ax1, double ay1, double bx0, double by0, double bx1,
              double by1) {
    return ax0 < bx1 && bx0 < ax1 && ay0 < by1 && by0 < ay1;
}

TEST_F(LegendRowTest, AHiddenRowLeavesGreyDotsNothingPicksAndEverythingBelowThem) {
    open(kSite);
    drawWhole();
    const std::vector<uint8_t> before = finishedPicture();
    const auto [veiledBefore, imagesBefore] =
        drawnVeiledAndOf(graph(), viewer().renderer(), "image");
    EXPECT_EQ(veiledBefore, 0u);
    ASSERT_GT(imagesBefore, 100u);
    const auto [x, y] = whereDrawn(top());
    ASSERT_EQ(glue->nodeAt(x, y), &top());
    const std::array<int, 3> rootColour = pixel(DrawBuffer::Front, x, y);

    // The root is an html page: everything hangs below it, and stays.
    Legend legend = glue->legend(kLegendRows);
    ASSERT_EQ(glue->toggleLegendRow(legend.kind, rowNamed(legend, "html")), 1);
    EXPECT_EQ(glue->keyStatus(), "Group html hidden");
    finishedPicture();
    const auto [veiled, images] = drawnVeiledAndOf(graph(), viewer().renderer(), "image");
    EXPECT_EQ(images, imagesBefore) << "the images below the hidden pages are drawn";
    EXPECT_GT(veiled, 100u);
    EXPECT_TRUE(top().isShown() && (top().flags & Veiled));
    EXPECT_NE(glue->nodeAt(x, y), &top()) << "a hidden node is never picked";
    const std::array<int, 3> dot = pixel(DrawBuffer::Front, x, y);
    EXPECT_NE(dot, rootColour);
    for (int channel : dot) EXPECT_NEAR(channel, 102, 40) << "the dot's grey";
    EXPECT_EQ(dot[0], dot[1]);
    // No label of a hidden node; the legend and the View menu's list say it is hidden.
    for (const auto& label : viewer().renderer().drawnLabels())
        EXPECT_EQ(label.node->flags & Veiled, 0) << label.node->id;
    legend = glue->legend(kLegendRows);
    EXPECT_TRUE(rowNamed(legend, "html").hidden);
    EXPECT_EQ(glue->hiddenGroups(), (std::vector<std::pair<int, std::string>>{{0, "html"}}));

    // Shown again from the View menu's list: the picture is the one before, to the pixel.
    EXPECT_EQ(glue->showGroup(0, "html"), 1);
    EXPECT_EQ(glue->showGroup(0, "html"), 0) << "no longer hidden";
    EXPECT_TRUE(glue->hiddenGroups().empty());
    EXPECT_EQ(finishedPicture(), before);

    // A group the key "m" hid, with all below its nodes, comes back whole with a click on it.
    keys("mm");
    ASSERT_FALSE(node("http://www.example.org/logo.gif").isShown());
    legend = glue->legend(kLegendRows);
    ASSERT_TRUE(rowNamed(legend, "image").hidden);
    ASSERT_EQ(glue->toggleLegendRow(legend.kind, rowNamed(legend, "image")), 1);
    EXPECT_TRUE(node("http://www.example.org/logo.gif").isShown());
    EXPECT_FALSE(node("http://www.example.org/logo.gif").flags & Veiled);
    EXPECT_EQ(glue->keyStatus(), "Group image shown");
}

// 30 groups of kind 0, the largest with 31 nodes and the smallest with 2, and 5 nodes without a
// group: 24 rows of their own, then "other" and "no group".
std::string manyGroups() {
    std::string text = "0 r 0 g00\n";
    for (int g = 0; g < 30; ++g) {
        for (int i = 0; i < 31 - g; ++i) {
            text += "1 r/" + std::to_string(g) + "/" + std::to_string(i) + " 0 g" +
                    (g < 10 ? "0" : "") + std::to_string(g) + "\n";
        }
    }
    for (int i = 0; i < 5; ++i) text += "1 r/none" + std::to_string(i) + " 0\n";
    return text;
}

TEST_F(LegendRowTest, OtherAndNoGroupHaveColoursOfTheirOwnAndHideLikeAnyRow) {
    testing::TempDir dir;
    testing::writeWholeFile(dir / "groups.graph", manyGroups());
    open(dir.file("groups.graph"));
    drawWhole();
    Legend legend = glue->legend(kLegendRows);
    ASSERT_EQ(legend.rows.size(), kLegendRows + 2);
    const LegendRow& other = legend.rows[kLegendRows];
    const LegendRow& none = legend.rows[kLegendRows + 1];
    ASSERT_EQ(other.kind, LegendRow::Kind::Other);
    ASSERT_EQ(none.kind, LegendRow::Kind::Ungrouped);
    EXPECT_EQ(other.groups.size(), 6u);
    EXPECT_EQ(none.nodes, 5u);
    // Each colour plainly another: "other", "no group", every group's and every site colour.
    std::vector<Rgb> colours;
    for (const LegendRow& row : legend.rows) colours.push_back(row.colour);
    for (const GroupColourEntry& e : kGroupColourTable) colours.push_back({e.red, e.green, e.blue});
    for (size_t own : {kLegendRows, kLegendRows + 1}) {
        for (size_t i = 0; i < colours.size(); ++i) {
            if (i != own) {
                EXPECT_GT(colourDifference(colours[own], colours[i]), 20.0)
                    << legend.rows[own].name << " against " << colours[i][0] << " "
                    << colours[i][1] << " " << colours[i][2];
            }
        }
    }
    // The nodes of "other" are drawn in its colour, as the legend says.
    const float* drawn = graph().nodeColor(node("r/29/0"));
    EXPECT_EQ((Rgb{drawn[0], drawn[1], drawn[2]}), other.colour);

    ASSERT_EQ(glue->toggleLegendRow(legend.kind, other), 1);
    EXPECT_EQ(glue->keyStatus(), "The groups under \"other\" hidden");
    ASSERT_EQ(glue->toggleLegendRow(legend.kind, none), 1);
    EXPECT_EQ(glue->keyStatus(), "Nodes without a group hidden");
    size_t veiled = 0;
    for (const Node* n : graph().nodes) veiled += (n->flags & Veiled) != 0 ? 1 : 0;
    EXPECT_EQ(veiled, other.nodes + none.nodes);
    EXPECT_TRUE(node("r/29/1").flags & Veiled);
    EXPECT_TRUE(node("r/none4").flags & Veiled);
    EXPECT_FALSE(node("r/23/0").flags & Veiled);
    legend = glue->legend(kLegendRows);
    EXPECT_TRUE(legend.rows[kLegendRows].hidden);
    EXPECT_TRUE(legend.rows[kLegendRows + 1].hidden);
    EXPECT_EQ(glue->hiddenGroups().size(), 7u);  // the six of "other", and "no group"
    ASSERT_EQ(glue->toggleLegendRow(legend.kind, legend.rows[kLegendRows + 1]), 1);
    EXPECT_FALSE(node("r/none4").flags & Veiled);
}

// The newer site: the older one with pages added and removed; the comparison opened as a file.
class ComparisonTest : public GlueRig {
protected:
    void openComparison() {
        ViewerSettings s;
        s.loadFlags = kWindowLoadFlags;
        Graph older(s), newer(s);
        std::string text = "0 r 0 html main\n";
        for (int i = 0; i < 40; ++i) text += "1 r/p" + std::to_string(i) + " 0 html main\n";
        ASSERT_TRUE(testing::readText(older, text));
        std::string changed = text;
        for (const char* gone :
             {"1 r/p3 0 html main\n", "1 r/p17 0 html main\n", "1 r/p30 0 html main\n"}) {
            changed = testing::replaceAll(changed, gone, "");
        }
        changed += "1 r/new 0 html main\n";
        ASSERT_TRUE(testing::readText(newer, changed));
        testing::writeWholeFile(dir / "compared.graph", compareGraphs(older, newer).outline);
        open(dir.file("compared.graph"));
    }
    testing::TempDir dir;
};

TEST_F(ComparisonTest, OpensColouredByItsStatusesAndItsRowsLeadToEachChange) {
    openComparison();
    drawWhole();
    EXPECT_EQ(settings().groupColumn, 1);
    EXPECT_EQ(glue->keys().toggle('g'), 1) << "g goes on to the file types";
    EXPECT_TRUE(glue->coloursNeedLegend());
    const Legend legend = glue->legend(kLegendRows);
    EXPECT_EQ(legend.kind, 1);
    const LegendRow& removed = rowNamed(legend, "removed");
    EXPECT_EQ(removed.nodes, 3u);

    // The arrow visits the removed pages one by one, then starts again.
    std::vector<std::string> visited;
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(glue->travelToNextOfRow(legend.kind, removed), 1);
        visited.push_back(glue->lastSelectedId());
        EXPECT_EQ(glue->keyStatus(), "Flying to " + visited.back());
    }
    EXPECT_EQ(visited, (std::vector<std::string>{"r/p3", "r/p17", "r/p30", "r/p3"}));

    // Hiding "unchanged" leaves the changes in their places, each drawn.
    ASSERT_EQ(glue->toggleLegendRow(legend.kind, rowNamed(legend, "unchanged")), 1);
    finishedPicture();
    std::vector<std::string> drawnChanges;
    for (const Node* n : viewer().renderer().drawnNodes()) {
        if ((n->flags & Veiled) == 0) drawnChanges.emplace_back(n->id);
    }
    std::sort(drawnChanges.begin(), drawnChanges.end());
    // The root lost three pages and gained one: changed.
    EXPECT_EQ(drawnChanges, (std::vector<std::string>{"r", "r/new", "r/p17", "r/p3", "r/p30"}));
    // No unchanged node left to visit.
    EXPECT_EQ(
        glue->travelToNextOfRow(legend.kind, rowNamed(glue->legend(kLegendRows), "unchanged")), 0);
}

TEST_F(LegendRowTest, AfterAClickTheNodeReachedKeepsItsColourAndItsName) {
    open(kSite);
    drawWhole();
    finishedPicture();
    // The node at the centre, under the pointer: highlighted while it is there.
    const Node* target = &top();
    const std::string id(target->id);
    const auto [x, y] = whereDrawn(*target);
    ASSERT_EQ(glue->nodeAt(x, y), target);
    for (int i = 0; i < 3; ++i) glue->mouseMoveViewer(x, y, 0, 0);
    ASSERT_EQ(glue->hoveredNode(), target);
    glue->mouseButtonViewer(0, 0, x, y, 0, 0);
    glue->mouseButtonViewer(0, 1, x, y, 0, 0);
    EXPECT_EQ(glue->lastSelectedId(), id);
    EXPECT_EQ(glue->hoveredNode(), nullptr) << "the hover ends with the flight";
    EXPECT_EQ(glue->keyStatus(), "Flying to " + id);
    finishedPicture();
    Node& reached = node(id.c_str());
    ASSERT_TRUE(centred(reached));
    EXPECT_EQ(reached.flags & Selected, Selected);
    EXPECT_FALSE(reached.flags & Highlighted);
    const auto [cx, cy] = whereDrawn(reached);
    const std::array<int, 3> seen = pixel(DrawBuffer::Front, cx, cy);
    const float* own = graph().nodeColor(reached);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(seen[c], own[c] * 255.0f, 60.0f) << c;
    EXPECT_EQ(glue->nodeAt(cx, cy), &reached) << "the pointer at the centre names the node";

    // No label box lies over the centre's cube, nor over the selected one's.
    const WindowBox cube = viewer().renderer().cubeBoxOnScreen(reached);
    for (const auto& label : viewer().renderer().drawnLabels()) {
        if (label.node == &reached) continue;
        EXPECT_FALSE(overlaps(label.box.x0, label.box.y0, label.box.x1, label.box.y1, cube.x0,
                              cube.y0, cube.x1, cube.y1))
            << label.node->id;
    }
}

}  // namespace
}  // namespace orvo
