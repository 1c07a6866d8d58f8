// The viewer facade on a real offscreen Mesa context: operations before any load, two loads
// sharing one graph, failed loads, the re-layout threshold of going to a node, hidden groups.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "glue/window_settings.h"
#include "platform/offscreen_surface.h"
#include "tests/test_files.h"
#include "viewer/viewer.h"

namespace orvo {
namespace {

constexpr int kWidth = 320, kHeight = 240;

using testing::dataPath;

class ViewerGlTest : public ::testing::Test {
protected:
    void SetUp() override {
        surface = std::make_unique<OffscreenSurface>(kWidth, kHeight);
        ASSERT_TRUE(surface->valid()) << surface->lastError();
        viewer = std::make_unique<Viewer>(*surface);
        // The window-initialisation values the glue sets.
        viewer->clearLoadFlags();
        viewer->addLoadFlags(kWindowLoadFlags);
        viewer->setAnimationStep(0.0833f);
    }

    void makeContext() {
        GlContext* context = surface->createContext();
        ASSERT_NE(context, nullptr) << surface->lastError();
        viewer->setContext(context, kWidth, kHeight);
    }

    int load(const char* name) {
        std::ifstream in(dataPath(name));
        return viewer->loadGraph(in);
    }

    static bool sameTransform(const ProjTransform& a, const ProjTransform& b, double eps = 1e-12) {
        for (int i = 0; i < 16; ++i) {
            if (std::abs(a.m[i] - b.m[i]) > eps) return false;
        }
        return true;
    }

    std::unique_ptr<OffscreenSurface> surface;
    std::unique_ptr<Viewer> viewer;
};

TEST_F(ViewerGlTest, GraphOperationsDoNothingBeforeTheFirstLoad) {
    // No context and no graph: graph operations answer 0, setters and mouse calls still work.
    EXPECT_EQ(viewer->graph(), nullptr);
    EXPECT_EQ(viewer->gotoNode("http://h/", 0), 0);
    EXPECT_EQ(viewer->gotoTopNode(1), 0);
    EXPECT_EQ(viewer->centrePoint(1), 0);
    EXPECT_EQ(viewer->setGroupHidden(0, "audio", 1), 0);
    EXPECT_EQ(viewer->setOutLinksShown("QX_TOPNODE", 1, 1), 0);
    EXPECT_EQ(viewer->setInLinksShown("QX_TOPNODE", 1, 1), 0);
    viewer->selectNode("http://h/", 1);
    viewer->selectSubtree("http://h/", 1);
    viewer->setAllNodesShown(0);
    viewer->setAllLinksShown(0);
    viewer->setGroupColor(0, "html", 1, 0, 0);
    viewer->display();
    viewer->redraw();
    EXPECT_EQ(surface->swapCount(), 0);

    viewer->setLabelSize(17.0f);
    EXPECT_FLOAT_EQ(viewer->labelSize(), 17.0f);
    viewer->setBackgroundColor(0.1f, 0.2f, 0.3f);
    viewer->setSphereColor(0.4f, 0.5f, 0.6f);
    viewer->setUseWindowAspect(1);
    viewer->setDrawSphere(0x101);  // flags keep their low 8 bits
    EXPECT_EQ(viewer->settings().drawSphere, 1);
    EXPECT_FLOAT_EQ(viewer->settings().backgroundColor[2], 0.3f);
    EXPECT_FLOAT_EQ(viewer->settings().sphereColor[0], 0.4f);
    EXPECT_EQ(viewer->settings().useWindowAspect, 1);
    viewer->mouseButton(0, 0, 10, 10, 0, 0);
    viewer->mouseButton(0, 1, 10, 10, 0, 0);
    viewer->mouseMove(12, 12, 0, 0);
    viewer->mouseDrag(14, 14, 0, 0);

    // With a context but still no graph, a display draws no frame.
    makeContext();
    const int swapsAfterSetUp = surface->swapCount();
    viewer->display();
    viewer->redraw();
    EXPECT_EQ(surface->swapCount(), swapsAfterSetUp);
    // Without a graph there is nothing to refine: idle ends the refinement at once.
    EXPECT_EQ(viewer->idle(), 0);
    EXPECT_EQ(viewer->renderer().keepRedrawing(), 0);
    EXPECT_EQ(surface->swapCount(), swapsAfterSetUp);
}

TEST_F(ViewerGlTest, TwoLoadsKeepOneGraphAndFollowTheNewTopNode) {
    makeContext();
    ASSERT_EQ(load("viewer_groups.graph"), 1);
    Graph* first = viewer->graph();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->nodes.size(), 10u);
    EXPECT_EQ(viewer->renderer().centreNode(), first->nodes[0]);
    EXPECT_TRUE(sameTransform(viewer->renderer().viewTransform(),
                              viewer->renderer().baseView() * first->homeTransform()));
    first->setGroupHidden(0, "audio", 1);

    ASSERT_EQ(load("viewer_second.graph"), 1);
    EXPECT_EQ(viewer->graph(), first) << "the second load must reuse the same Graph";
    EXPECT_EQ(first->nodes.size(), 3u);
    EXPECT_EQ(first->findNode("http://h/a.html"), nullptr);
    ASSERT_NE(first->findNode("http://k/two.html"), nullptr);
    EXPECT_EQ(viewer->renderer().centreNode(),
              first->nodes[static_cast<size_t>(viewer->settings().topNodeIndex)]);
    EXPECT_EQ(viewer->renderer().centreNode()->id, "http://k/");
    // Hidden groups outlive the reload.
    EXPECT_EQ(first->setGroupHidden(0, "audio", 1), 0);

    // The new graph draws: a frame swaps and draws its nodes.
    const int swaps = surface->swapCount();
    viewer->display();
    EXPECT_EQ(surface->swapCount(), swaps + 1);
    EXPECT_GT(viewer->renderer().drawnNodes().size(), 0u);
}

TEST_F(ViewerGlTest, AFailedLoadLeavesTheGraphOnView) {
    // Before any graph: a failed load creates none.
    std::istringstream failed("0 http://a/ 0 html main\n");
    failed.setstate(std::ios::failbit);
    EXPECT_EQ(viewer->loadGraph(failed), 0);
    EXPECT_EQ(viewer->graph(), nullptr);
    EXPECT_EQ(load("no_nodes.graph"), 0);
    EXPECT_EQ(viewer->graph(), nullptr);

    makeContext();
    ASSERT_EQ(load("viewer_groups.graph"), 1);
    Graph* graph = viewer->graph();
    viewer->display();
    const ProjTransform view = viewer->renderer().viewTransform();
    Node* centre = viewer->renderer().centreNode();

    std::istringstream bad("0 http://a/ 0 html main\n");
    bad.setstate(std::ios::badbit);
    EXPECT_EQ(viewer->loadGraph(bad), 0);
    EXPECT_EQ(load("no_nodes.graph"), 0);
    std::istringstream empty("");
    EXPECT_EQ(viewer->loadGraph(empty), 0);

    EXPECT_EQ(viewer->graph(), graph);
    EXPECT_EQ(graph->nodes.size(), 10u);
    ASSERT_NE(graph->findNode("http://h/b/run.exe"), nullptr);
    EXPECT_EQ(viewer->renderer().centreNode(), centre);
    EXPECT_TRUE(sameTransform(viewer->renderer().viewTransform(), view));
    // Still navigable.
    EXPECT_EQ(viewer->gotoNode("http://h/a/deep.html", 1), 1);
    EXPECT_FALSE(sameTransform(viewer->renderer().viewTransform(), view));
}

TEST_F(ViewerGlTest, GoingToANodeRelaysOutOnlyBeyondDepthOneHundred) {
    makeContext();
    ASSERT_EQ(load("viewer_groups.graph"), 1);
    Graph& graph = *viewer->graph();
    viewer->display();
    Node* deep = graph.findNode("http://h/a/deep/notes.txt");
    ASSERT_NE(deep, nullptr);

    // Exactly 100.0 is not beyond the limit: no re-layout, and the move is animated (12 frames).
    deep->globalTransform.at(3, 3) = 100.0;
    int swaps = surface->swapCount();
    EXPECT_EQ(viewer->gotoNode(deep->id, 0), 1);
    EXPECT_EQ(deep->globalTransform.at(3, 3), 100.0) << "the tree was laid out again";
    EXPECT_EQ(surface->swapCount() - swaps, 12);

    // Just beyond: the tree is laid out again from the node, which becomes the layout's origin,
    // and the move is immediate (one frame) whatever the caller asked.
    deep->globalTransform.at(3, 3) = 100.000001;
    swaps = surface->swapCount();
    EXPECT_EQ(viewer->gotoNode(deep->id, 0), 1);
    EXPECT_NEAR(deep->globalTransform.at(3, 3), 1.0, 1e-9);
    EXPECT_EQ(surface->swapCount() - swaps, 1);

    // The top node the same way, through gotoTopNode.
    Node* top = graph.nodes[static_cast<size_t>(viewer->settings().topNodeIndex)];
    top->globalTransform.at(3, 3) = 250.0;
    swaps = surface->swapCount();
    EXPECT_EQ(viewer->gotoTopNode(0), 1);
    EXPECT_NEAR(top->globalTransform.at(3, 3), 1.0, 1e-9);
    EXPECT_EQ(surface->swapCount() - swaps, 1);

    // No top node: nothing happens.
    const int32_t savedTop = viewer->settings().topNodeIndex;
    viewer->settings().topNodeIndex = -1;
    EXPECT_EQ(viewer->gotoTopNode(1), 0);
    viewer->settings().topNodeIndex = static_cast<int32_t>(graph.nodes.size());
    EXPECT_EQ(viewer->gotoTopNode(1), 0);
    viewer->settings().topNodeIndex = savedTop;
}

TEST_F(ViewerGlTest, HiddenNodesAndUnknownIdsAreNotVisited) {
    makeContext();
    ASSERT_EQ(load("viewer_groups.graph"), 1);
    viewer->display();
    const ProjTransform view = viewer->renderer().viewTransform();
    EXPECT_EQ(viewer->gotoNode("http://nowhere/", 1), 0);
    EXPECT_EQ(viewer->gotoNode("", 0), 0);

    // Hiding the group hides its node: going there does nothing and the view stays.
    EXPECT_EQ(viewer->setGroupHidden(0, "audio", 1), 1);
    EXPECT_EQ(viewer->setGroupHidden(0, "audio", 1), 0);
    Node* song = viewer->graph()->findNode("http://h/a/song.mp3");
    ASSERT_NE(song, nullptr);
    EXPECT_FALSE(song->isShown());
    EXPECT_EQ(viewer->gotoNode(song->id, 1), 0);
    EXPECT_TRUE(sameTransform(viewer->renderer().viewTransform(), view));
    EXPECT_EQ(viewer->setGroupHidden(0, "audio", 0), 1);
    EXPECT_TRUE(song->isShown());
    EXPECT_EQ(viewer->setGroupHidden(0, "audio", 0), 0);
    EXPECT_EQ(viewer->gotoNode(song->id, 1), 1);
}

TEST_F(ViewerGlTest, HidingTheCentreMovesTheCentreToAShownAncestor) {
    makeContext();
    ASSERT_EQ(load("viewer_groups.graph"), 1);
    Graph& graph = *viewer->graph();
    Node* orphanPage = graph.findNode("http://h/b.html");
    ASSERT_NE(orphanPage, nullptr);
    viewer->renderer().setCentreNode(graph.findNode("http://h/b/doc.txt"));
    ASSERT_EQ(viewer->setGroupHidden(1, "orphan", 1), 1);
    ASSERT_FALSE(orphanPage->isShown());
    Node* centre = viewer->renderer().centreNode();
    ASSERT_NE(centre, nullptr);
    EXPECT_TRUE(centre->isShown());
    EXPECT_EQ(centre, orphanPage->parent);
}

TEST_F(ViewerGlTest, SelectingMarksNodesAndSubtrees) {
    makeContext();
    ASSERT_EQ(load("viewer_groups.graph"), 1);
    Graph& graph = *viewer->graph();
    viewer->display();
    Node* a = graph.findNode("http://h/a.html");
    ASSERT_NE(a, nullptr);
    viewer->selectNode(a->id, 1);
    EXPECT_TRUE(a->flags & Selected);
    viewer->selectNode(a->id, 0);
    EXPECT_FALSE(a->flags & Selected);
    viewer->selectNode("http://nowhere/", 1);  // nothing to do

    // The subtree of a.html, except the hidden song.
    viewer->setGroupHidden(0, "audio", 1);
    viewer->selectSubtree(a->id, 1);
    for (const char* id : {"http://h/a.html", "http://h/a/pic.gif", "http://h/a/deep.html",
                           "http://h/a/deep/notes.txt"}) {
        EXPECT_TRUE(graph.findNode(id)->flags & Selected) << id;
    }
    EXPECT_FALSE(graph.findNode("http://h/a/song.mp3")->flags & Selected);
    EXPECT_FALSE(graph.findNode("http://h/")->flags & Selected);
    EXPECT_FALSE(graph.findNode("http://h/b.html")->flags & Selected);
    viewer->selectSubtree(a->id, 0);
    for (Node* n : graph.nodes) EXPECT_FALSE(n->flags & Selected) << n->id;

    // setGroupColumn with the stored value changes nothing; another value is stored.
    viewer->setGroupColumn(0);
    EXPECT_EQ(viewer->settings().groupColumn, 0);
    viewer->setGroupColumn(1);
    EXPECT_EQ(viewer->settings().groupColumn, 1);
}

}  // namespace
}  // namespace orvo
