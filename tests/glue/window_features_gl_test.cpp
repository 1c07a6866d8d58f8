// The window's helpers on an offscreen Mesa context: finding a node (travelling to it, back and
// forward are in the keys' transcript), the status texts, the highlight of a resting pointer, a
// resize that keeps the boundary sphere round, a found node drawn first whatever its fan-out.

#include "glue/status_text.h"
#include "tests/glue/glue_rig.h"

namespace orvo {
namespace {

class WindowFeaturesTest : public GlueRig {
protected:
    /// Opens the bundled site and paints it, as the window does after an open.
    void openSite() {
        open(kSite);
        glue->displayViewer();
    }
};

TEST_F(WindowFeaturesTest, FindRanksTheHitsAsThePlainSearchOnceTheIndexIsBuilt) {
    openSite();
    EXPECT_EQ(glue->searchIndex().indexed(), 0u) << "the index waits for the first picture";
    idleToTheEnd();
    EXPECT_TRUE(glue->searchIndex().complete(graph()));

    // Part of a page name, in another case: the shortest id holding it as its last part first.
    const SearchResult found = glue->findNodes("CONTACT.H", 10);
    ASSERT_FALSE(found.hits.empty());
    const SearchResult plain = plainSearch(graph(), "CONTACT.H", 10);
    EXPECT_EQ(found.hits, plain.hits);
    const std::string first(graph().nodes[found.hits[0].node]->id);
    EXPECT_EQ(first, "http://www.example.org/contact.html");
    EXPECT_EQ(found.hits[0].rank, MatchRank::Prefix);

    // Another graph: the index is built again.
    open("viewer_second.graph");
    EXPECT_EQ(glue->searchIndex().indexed(), 0u);
    EXPECT_TRUE(glue->findNodes("contact", 10).hits.empty());
    idleToTheEnd();
    EXPECT_TRUE(glue->searchIndex().complete(graph()));
}

// The status texts say what is shown and what the limit is; a pointer that comes to rest over a
// node highlights it; a resize refines the picture back to its detail.
TEST_F(WindowFeaturesTest, StatusTextsTheHighlightOfAPointerAtRestAndAResize) {
    EXPECT_EQ(glue->graphStatus(), "") << "no graph yet";
    openSite();
    idleToTheEnd();
    const GraphCounts counts = countGraph(graph());
    EXPECT_EQ(counts.nodes, 3000);
    EXPECT_EQ(counts.shownNodes, 3000);
    EXPECT_LT(counts.shownLinks, counts.links) << "non-tree links start hidden";
    EXPECT_EQ(glue->graphStatus(), "3 000 nodes, " + groupedNumber(counts.links) +
                                       " links (3 000 nodes and " +
                                       groupedNumber(counts.shownLinks) + " links shown)");
    EXPECT_EQ(nodeGroupsText(graph(), top()), "html, main");
    glue->setGenerationLimit(true, 7);
    EXPECT_EQ(settings().nodeGenerationLimit, 7);
    EXPECT_EQ(glue->keyStatus(), "Node generation limit 7");
    ASSERT_EQ(settings().passiveDecimation, 2);
    const auto [x, y] = whereDrawn(top());
    // Three moves on empty space: two dropped, the third picked (nothing there). The fourth,
    // onto the node, is dropped by the decimation.
    for (int i = 0; i < 3; ++i) glue->mouseMoveViewer(3, 3, 0, 0);
    glue->mouseMoveViewer(x, y, 0, 0);
    EXPECT_EQ(glue->hoveredNode(), nullptr);
    EXPECT_FALSE(top().flags & Highlighted);
    // At rest: the dropped move is picked now.
    EXPECT_TRUE(glue->pointerRested());
    EXPECT_EQ(glue->hoveredNode(), &top());
    EXPECT_TRUE(top().flags & Highlighted);
    EXPECT_FALSE(glue->pointerRested()) << "nothing left to pick";
    // Away from it, past the decimation: nothing is hovered.
    for (int i = 0; i < 3; ++i) glue->mouseMoveViewer(2, 2, 0, 0);
    EXPECT_EQ(glue->hoveredNode(), nullptr);
    // A handled move leaves nothing to pick at rest; a press forgets a dropped one.
    glue->mouseMoveViewer(3, 3, 0, 0);
    glue->mouseMoveViewer(x, y, 0, 0);
    glue->mouseButtonViewer(2, 0, x, y, 0, 0);
    glue->mouseButtonViewer(2, 1, x, y, 0, 0);
    EXPECT_FALSE(glue->pointerRested());

    // A resize refines the picture back to its detail.
    const size_t detail = viewer().renderer().drawnNodes().size();
    ASSERT_GT(detail, 1000u);
    // The paint that follows the resize has no time to draw a node: only refinement brings the
    // picture back, however long it takes.
    const ViewerSettings saved = settings();
    settings().sliceBudgetSec = 0;
    settings().sliceBudgetUsec = 0;
    ASSERT_TRUE(surface->resize(300, 240));
    glue->reshapeViewer(300, 240);
    glue->displayViewer();
    EXPECT_TRUE(viewer().renderer().drawnNodes().empty());
    settings().sliceBudgetUsec = saved.sliceBudgetUsec;
    settings().refineLimitSec = 3600;
    idleToTheEnd();
    EXPECT_GE(viewer().renderer().drawnNodes().size(), detail);
}

TEST_F(WindowFeaturesTest, AResizeKeepsTheBallRoundWhileTheWindowAspectIsInUse) {
    open("viewer_groups.graph");
    glue->displayViewer();
    viewer().setLabelChoice(0);
    drawWhole();
    auto resizeAndDraw = [&](int w, int h) {
        ASSERT_TRUE(surface->resize(w, h));
        glue->reshapeViewer(w, h);
        viewer().redraw();
        idleToTheEnd();
    };
    // The boundary sphere stays round, in a wide and in a tall window.
    resizeAndDraw(480, 240);
    EXPECT_TRUE(testing::matchesPicture(frontPicture(), "resized_wide", 64, 0.5));
    resizeAndDraw(200, 360);
    EXPECT_TRUE(testing::matchesPicture(frontPicture(), "resized_tall", 64, 0.5));
    // Window aspect off ("K" twice: the load set it without touching the toggle): the picture
    // keeps the square projection and a resize stretches it with the window.
    keys("KK");
    ASSERT_EQ(settings().useWindowAspect, 0);
    resizeAndDraw(480, 240);
    EXPECT_TRUE(testing::matchesPicture(frontPicture(), "resized_stretched", 64, 0.5));
}

// A site whose hub page, three levels down, has thousands of children (and their links).
std::string hubSiteText(int children) {
    std::string text = "0 http://hub.example/ 200 html main\n";
    for (int i = 0; i < 40; ++i) {
        text += " 1 http://hub.example/p" + std::to_string(i) + ".html 200 html main\n";
    }
    text += " 1 http://hub.example/a.html 200 html main\n";
    text += "  2 http://hub.example/a/b.html 200 html main\n";
    text += "   3 http://hub.example/a/b/hub.html 200 html main\n";
    for (int i = 0; i < children; ++i) {
        text += "    4 http://hub.example/a/b/hub/c" + std::to_string(i) + ".html 200 html main\n";
    }
    return text;
}

TEST_F(WindowFeaturesTest, AFoundNodeIsDrawnFirstAtTheCentreInRedWhateverItsFanOut) {
    testing::TempDir dir;
    const std::string file = dir / "hub.graph";
    testing::writeWholeFile(file, hubSiteText(5000));
    ASSERT_EQ(glue->openGraphFile(file), 1);
    glue->displayViewer();
    idleToTheEnd();
    const std::string hubId = "http://hub.example/a/b/hub.html";
    Node& hub = node(hubId.c_str());

    // A slice so short that it draws one node: the first one must be the node found.
    settings().sliceBudgetSec = 0;
    settings().sliceBudgetUsec = 1;
    ASSERT_EQ(glue->travelTo(hubId), 1);  // what choosing a search hit does
    const Renderer& renderer = viewer().renderer();
    EXPECT_EQ(renderer.centreNode(), &hub);
    ASSERT_FALSE(renderer.drawnNodes().empty());
    EXPECT_EQ(renderer.drawLog().front().node, &hub);
    EXPECT_TRUE(hub.flags & Labelled) << "its label is drawn with it";
    EXPECT_LT(offCentre(hub), 0.01);

    // Centre node in red: the new frame's first node is the hub, red at the window's centre
    // (where the links to the children in front of it do not cross its cube).
    key('C');
    EXPECT_EQ(renderer.drawLog().front().node, &hub);
    const auto [x, y] = whereDrawn(hub);
    int red = 0;
    for (int dy = -5; dy <= 5; ++dy) {
        for (int dx = -5; dx <= 5; ++dx) {
            red += pixel(DrawBuffer::Front, x + dx, y + dy) == std::array<int, 3>{255, 0, 0};
        }
    }
    EXPECT_GT(red, 60) << "of 121 pixels round the centre";
}

}  // namespace
}  // namespace orvo
