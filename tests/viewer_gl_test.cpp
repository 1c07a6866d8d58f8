// The viewer facade on a real offscreen Mesa context: operations before any load, two loads
// sharing one graph, failed loads, the re-layout threshold of going to a node, hidden groups.
#include <fstream>

#include "render_gl_rig.h"
#include "viewer/viewer.h"

namespace orvo {
namespace {

using testing::dataPath;

class ViewerGlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(surface.valid()) << surface.lastError();
        // The window-initialisation values the glue sets.
        viewer.clearLoadFlags();
        viewer.addLoadFlags(kWindowLoadFlags);
        viewer.setAnimationStep(0.0833f);
    }

    /// A context, and optionally viewer_groups.graph loaded and displayed.
    void start(bool withGraph = true) {
        GlContext* context = surface.createContext();
        ASSERT_NE(context, nullptr) << surface.lastError();
        viewer.setContext(context, 320, 240);
        if (!withGraph) return;
        ASSERT_EQ(load("viewer_groups.graph"), 1);
        viewer.display();
    }

    int load(const char* name) {
        std::ifstream in(dataPath(name));
        return viewer.loadGraph(in);
    }

    Node* node(const char* id) { return viewer.graph()->findNode(id); }

    OffscreenSurface surface{320, 240};
    Viewer viewer{surface};
};

TEST_F(ViewerGlTest, GraphOperationsDoNothingBeforeTheFirstLoad) {
    // No context and no graph: graph operations answer 0, setters and mouse calls still work.
    EXPECT_EQ((std::vector{viewer.gotoNode("http://h/", 0), viewer.gotoTopNode(1),
                           viewer.centrePoint(1), viewer.setGroupHidden(0, "audio", 1),
                           viewer.setOutLinksShown("QX_TOPNODE", 1, 1),
                           viewer.setInLinksShown("QX_TOPNODE", 1, 1)}),
              std::vector(6, 0));
    viewer.selectNode("http://h/", 1);
    viewer.selectSubtree("http://h/", 1);
    viewer.setAllNodesShown(0);
    viewer.setAllLinksShown(0);
    viewer.setGroupColor(0, "html", 1, 0, 0);
    viewer.mouseButton(0, 0, 10, 10, 0, 0);
    viewer.mouseButton(0, 1, 10, 10, 0, 0);
    viewer.mouseMove(12, 12, 0, 0);
    viewer.mouseDrag(14, 14, 0, 0);
    viewer.setDrawSphere(0x101);  // flags keep their low 8 bits
    EXPECT_EQ(viewer.settings().drawSphere, 1);
    // Without a context, then with one but still no graph: no frame, and idle ends the
    // refinement at once.
    for (const bool withContext : {false, true}) {
        if (withContext) start(false);
        const int swaps = surface.swapCount();
        viewer.display();
        viewer.redraw();
        EXPECT_EQ((std::vector{viewer.idle(), viewer.renderer().keepRedrawing(),
                               surface.swapCount() - swaps}),
                  std::vector(3, 0));
    }
}

TEST_F(ViewerGlTest, AFailedLoadLeavesTheGraphOnViewAndASecondLoadReusesIt) {
    // Streams that cannot be read, a file without a node, nothing at all: before any graph they
    // create none; after one they leave it, its centre and its view as they were.
    auto failures = [this] {
        std::istringstream failed("0 http://a/ 0 html main\n"), bad(failed.str()), empty;
        failed.setstate(std::ios::failbit);
        bad.setstate(std::ios::badbit);
        EXPECT_EQ((std::vector{viewer.loadGraph(failed), viewer.loadGraph(bad),
                               viewer.loadGraph(empty), load("no_nodes.graph")}),
                  std::vector(4, 0));
    };
    failures();
    EXPECT_EQ(viewer.graph(), nullptr);
    start();
    Graph* graph = viewer.graph();
    const ProjTransform view = viewer.renderer().viewTransform();
    Node* centre = viewer.renderer().centreNode();
    EXPECT_EQ(centre, graph->nodes[0]);
    EXPECT_TRUE(
        testing::sameMatrix(view, viewer.renderer().baseView() * graph->homeTransform(), 1e-12));
    failures();
    EXPECT_TRUE(viewer.graph() == graph && graph->nodes.size() == 10);
    EXPECT_EQ(viewer.renderer().centreNode(), centre);
    EXPECT_TRUE(testing::sameMatrix(viewer.renderer().viewTransform(), view, 1e-12));
    EXPECT_EQ(viewer.gotoNode("http://h/a/deep.html", 1), 1);  // still navigable
    EXPECT_FALSE(testing::sameMatrix(viewer.renderer().viewTransform(), view, 1e-12));

    // A second load reuses the graph and its hidden groups, and follows the new top node.
    EXPECT_EQ(viewer.setGroupHidden(0, "audio", 1), 1);
    ASSERT_EQ(load("viewer_second.graph"), 1);
    EXPECT_EQ(viewer.graph(), graph) << "the second load must reuse the same Graph";
    EXPECT_TRUE(graph->nodes.size() == 3 && graph->findNode("http://h/a.html") == nullptr);
    EXPECT_EQ(graph->nodes.at(static_cast<size_t>(viewer.settings().topNodeIndex))->id,
              "http://k/");
    EXPECT_EQ(viewer.renderer().centreNode()->id, "http://k/");
    EXPECT_EQ(viewer.setGroupHidden(0, "audio", 1), 0);
    const int swaps = surface.swapCount();
    viewer.display();
    EXPECT_EQ(surface.swapCount(), swaps + 1);
    EXPECT_GT(viewer.renderer().drawnNodes().size(), 0u);
}

TEST_F(ViewerGlTest, GoingToANodeRelaysOutOnlyBeyondDepthOneHundred) {
    start();
    Graph& graph = *viewer.graph();
    Node* deep = node("http://h/a/deep/notes.txt");

    // Exactly 100.0 is not beyond the limit: no re-layout, and the move is animated (12 frames).
    // Just beyond, the tree is laid out again from the node, which becomes the layout's origin,
    // and the move is immediate (one frame) whatever the caller asked; the top node the same.
    Node* top = graph.nodes[static_cast<size_t>(viewer.settings().topNodeIndex)];
    const struct {
        Node* node;
        double w, wAfter;
        int frames;
    } gotos[] = {{deep, 100.0, 100.0, 12}, {deep, 100.000001, 1.0, 1}, {top, 250.0, 1.0, 1}};
    for (const auto& g : gotos) {
        g.node->globalTransform.at(3, 3) = g.w;
        const int swaps = surface.swapCount();
        EXPECT_EQ(g.node == top ? viewer.gotoTopNode(0) : viewer.gotoNode(g.node->id, 0), 1);
        EXPECT_NEAR(g.node->globalTransform.at(3, 3), g.wAfter, 1e-9) << g.w;
        EXPECT_EQ(surface.swapCount() - swaps, g.frames) << g.w;
    }
    // No top node: nothing happens.
    for (const int32_t none : {-1, static_cast<int32_t>(graph.nodes.size())}) {
        viewer.settings().topNodeIndex = none;
        EXPECT_EQ(viewer.gotoTopNode(1), 0) << none;
    }
}

TEST_F(ViewerGlTest, HiddenNodesAndUnknownIdsAreNotVisited) {
    start();
    const ProjTransform view = viewer.renderer().viewTransform();
    EXPECT_EQ(viewer.gotoNode("http://nowhere/", 1), 0);
    EXPECT_EQ(viewer.gotoNode("", 0), 0);
    viewer.selectNode("http://nowhere/", 1);
    // Hiding the group hides its node: going there does nothing and the view stays.
    Node* song = node("http://h/a/song.mp3");
    EXPECT_EQ(viewer.setGroupHidden(0, "audio", 1), 1);
    EXPECT_EQ(viewer.setGroupHidden(0, "audio", 1), 0);
    EXPECT_FALSE(song->isShown());
    EXPECT_EQ(viewer.gotoNode(song->id, 1), 0);
    EXPECT_TRUE(testing::sameMatrix(viewer.renderer().viewTransform(), view, 1e-12));
    EXPECT_EQ(viewer.setGroupHidden(0, "audio", 0), 1);
    EXPECT_EQ(viewer.setGroupHidden(0, "audio", 0), 0);
    EXPECT_EQ(viewer.gotoNode(song->id, 1), 1);

    // Hiding the centre moves the centre to a shown ancestor.
    viewer.renderer().setCentreNode(node("http://h/b/doc.txt"));
    ASSERT_EQ(viewer.setGroupHidden(1, "orphan", 1), 1);
    ASSERT_FALSE(node("http://h/b.html")->isShown());
    EXPECT_EQ(viewer.renderer().centreNode(), node("http://h/b.html")->parent);
}

}  // namespace
}  // namespace orvo
