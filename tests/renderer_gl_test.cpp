// The renderer on a real Mesa context: what a frame shows compared with reference pictures (the
// camera, the cube, the sphere, colours, links, labels), recolouring in place, overflowed
// positions and gathered links.

#include <limits>
#include <set>

#include "render/shown_link_cache.h"
#include "render_gl_rig.h"
#include "tests/graph_test_support.h"

namespace orvo {
namespace {

using testing::RenderRig;

// What a window of 200 x 150 shows in each case of tests/data/pictures/frames.txt, against
// pictures made from this renderer and looked at once.
TEST(RendererGl, FramesLookAsTheReferencePictures) {
    const std::vector<testing::OutlineCase> cases = testing::frameCases();
    ASSERT_EQ(cases.size(), 11u);
    for (const testing::OutlineCase& c : cases) {
        SCOPED_TRACE(c.name);
        RenderRig rig(200, 150);
        ASSERT_TRUE(rig.initialise()) << rig.surface.lastError();
        ASSERT_NO_FATAL_FAILURE(testing::drawFrameCase(rig, c));
        EXPECT_TRUE(testing::matchesPicture(rig.picture(), testing::framePicture(c)));
    }
}

// The colours themselves are in the reference pictures.
TEST(RendererGl, SelectionRecoloursAtOnceOnlyWhatIsDrawn) {
    RenderRig rig;
    rig.start("render_small.graph");
    rig.settings.labelChoice = 0;
    rig.drawAll();
    ASSERT_EQ(rig.renderer.drawnNodes().size(), rig.graph.nodes.size());
    Node* root = rig.node("http://site.example/index.html");
    const int swaps = rig.surface.swapCount();
    rig.renderer.markSelected(*root, 1);
    EXPECT_TRUE(root->flags & Selected);
    EXPECT_EQ(rig.surface.swapCount(), swaps);  // drawn into the front buffer, no frame
    EXPECT_EQ(rig.surface.drawBuffer(), DrawBuffer::Front);
    EXPECT_EQ(rig.renderer.drawnNodes().size(), rig.graph.nodes.size() + 1);  // inserted again
    rig.renderer.markSelected(*root, 0);
    EXPECT_FALSE(root->flags & Selected);

    // A node not drawn in this frame only changes its flag; the next frame shows it.
    root->flags &= static_cast<uint8_t>(~Drawn);
    const auto before = rig.read(DrawBuffer::Front);
    rig.renderer.markSelected(*root, 1);
    EXPECT_EQ(rig.read(DrawBuffer::Front), before);
    rig.drawAll();
    EXPECT_TRUE(testing::near(rig.pixel(rig.read(DrawBuffer::Front), 203, 153), 1, 1, 0));

    // Beyond the generation limit nodes are still sized.
    rig.settings.nodeGenerationLimit = 1;
    rig.renderer.drawFrame();
    for (const Node* n : rig.renderer.drawnNodes()) EXPECT_GT(n->apparentSize, 0.0) << n->id;
}

TEST(RendererGl, OverflowedPositionsAreSkippedAndTheViewStaysFinite) {
    RenderRig rig;
    rig.start("render_small.graph");
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Node* broken = rig.node("http://site.example/news.html");
    Node* huge = rig.node("http://site.example/logo.png");
    Node* lost = rig.node("http://site.example/news/today.html");
    const auto change = [&](Node* n, const auto& how) {
        ProjTransform t = rig.graph.globalTransform(*n);
        how(t);
        rig.graph.transforms().set(*n, t);
    };
    change(broken, [&](ProjTransform& t) { t.at(3, 3) = inf, t.at(3, 0) = nan; });
    change(huge, [](ProjTransform& t) {
        for (int j = 0; j < 4; ++j) t.at(3, j) = 1e308;  // overflows in products
    });
    change(lost, [](ProjTransform& t) { t.at(3, 3) = 1e200; });  // beyond single precision
    rig.settings.labelChoice = 0;
    const ProjPoint end = rig.graph.positionOf(*broken->parentLink->toNode);  // from its node
    EXPECT_FALSE(std::isfinite(end.x) && std::isfinite(end.y) && std::isfinite(end.z));

    rig.drawAll();
    for (const Node* n : {broken, huge, lost}) {
        // Traversed all the same.
        EXPECT_TRUE(n->isDrawn() && std::isfinite(n->apparentSize) &&
                    std::isfinite(n->centreDistance) && rig.renderer.centreNode() != n)
            << n->id;
    }
    EXPECT_EQ(broken->apparentSize, 0.0);
    const auto& drawn = rig.renderer.drawnNodes();
    EXPECT_TRUE(std::is_sorted(drawn.rbegin(), drawn.rend(), [](const Node* a, const Node* b) {
        return a->apparentSize < b->apparentSize;
    }));
    // The centre still shows and picks the root.
    EXPECT_EQ(rig.renderer.pick(200, 150), 0u);
    EXPECT_TRUE(testing::near(rig.pixel(rig.read(DrawBuffer::Front), 203, 153), 0, 1, 1));

    // Going to such a node refuses, and a non-finite home view falls back to the base view.
    const ProjTransform view = rig.renderer.viewTransform();
    EXPECT_EQ(rig.renderer.gotoNodeView(broken, 1), 0);
    ::testing::internal::CaptureStderr();  // it lies "outside the ball": reported, then refused
    EXPECT_EQ(rig.renderer.gotoNodeView(huge, 0), 0);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("Floating point error"),
              std::string::npos);
    EXPECT_TRUE(testing::sameMatrix(rig.renderer.viewTransform(), view));
    ProjTransform poisoned = ProjTransform::identity();
    poisoned.at(3, 3) = nan;
    rig.renderer.resetViewWith(poisoned);
    EXPECT_TRUE(testing::sameMatrix(rig.renderer.viewTransform(), rig.renderer.baseView()));
}

// Where labels stand, left or right of their nodes, is in the renderer's reference pictures.
TEST(RendererGl, TheLabelThresholdFollowsTheWindowAndTheLabelSize) {
    RenderRig rig(800, 400);
    ASSERT_TRUE(rig.initialise()) << rig.surface.lastError();
    EXPECT_FLOAT_EQ(rig.renderer.labelThreshold(), 16.0f);  // 2 % of the width
    rig.settings.useWindowAspect = 1;
    rig.renderer.updateProjection();
    EXPECT_FLOAT_EQ(rig.renderer.labelThreshold(), 8.0f);  // 2 % of the smaller side
    // A plain resize keeps the threshold until it is recomputed.
    rig.settings.labelSize = 20.0f;
    rig.renderer.resize(400, 300);
    EXPECT_FLOAT_EQ(rig.renderer.labelThreshold(), 8.0f);
    rig.renderer.updateLabelThreshold();
    EXPECT_FLOAT_EQ(rig.renderer.labelThreshold(), 6.0f);

    // With a threshold above every node none is labelled; sizes are kept.
    ASSERT_TRUE(rig.loadFile(testing::dataPath("render_small.graph")));
    rig.settings.labelSize = 100.0f;
    rig.renderer.updateLabelThreshold();
    rig.drawAll();
    EXPECT_TRUE(rig.renderer.drawnLabels().empty());
    EXPECT_GT(rig.node("http://site.example/index.html")->apparentSize, 0.0);
}

// A page linked from a hundred others: its links are drawn from the gathered shown ones (in list
// order, out-links first), which follow every change of link visibility.
TEST(RendererGl, APopularPageDrawsExactlyItsShownLinks) {
    std::string text = "0 r 0\n1 h 0\n";
    for (int i = 0; i < 100; ++i) text += "1 c" + std::to_string(i) + " 0\n  2 h 0\n";
    text += "1 h 0\n";  // h again, and under it links to c0..c2, which stay where they are
    for (int i = 0; i < 3; ++i) text += "  2 c" + std::to_string(i) + " 0\n";
    RenderRig rig;
    rig.settings.loadFlags = NeverMove;
    rig.startText(text);
    rig.settings.nodeGenerationLimit = rig.settings.linkGenerationLimit = 100;
    Graph& graph = rig.graph;
    const Node* h = graph.findNode("h");
    ASSERT_EQ(h->inLinks.size(), 100u);
    auto drawnToH = [&] {
        rig.drawAll();
        std::set<std::string> from;
        for (const Link* k : rig.renderer.drawnLinks())
            if (k->toNode == h && k != h->parentLink) from.insert(std::string(k->fromNode->id));
        return from;
    };
    ShownLinkCache cache;
    auto gathered = [&] {
        const ShownLinkCache::Entry& e = cache.of(graph, *h);
        std::vector<std::string> ids;
        for (size_t i = 0; i < e.links.size(); ++i) {
            const Node* other = i < e.outCount ? e.links[i]->toNode : e.links[i]->fromNode;
            ids.push_back((i < e.outCount ? ">" : "<") + std::string(other->id));
        }
        return ids;
    };
    EXPECT_TRUE(drawnToH().empty());  // non-tree links start hidden
    EXPECT_TRUE(gathered().empty());
    ASSERT_EQ(graph.setInLinksShown("h", 1, 0), 1);
    EXPECT_EQ(drawnToH().size(), 100u);
    ASSERT_EQ(graph.setInLinksShown("h", 0, 0), 1);
    EXPECT_TRUE(drawnToH().empty());
    graph.setOutLinksShown("c42", 1, 0);
    graph.setOutLinksShown("c7", 1, 0);
    graph.setOutLinksShown("h", 1, 0);
    EXPECT_EQ(gathered(), (std::vector<std::string>{">c0", ">c1", ">c2", "<c7", "<c42"}));
    EXPECT_EQ(drawnToH(), (std::set<std::string>{"c7", "c42"}));
    graph.setShown(*graph.findNode("c1"), 0);  // a hidden end hides the link too
    graph.setShown(*graph.findNode("c42"), 0);
    EXPECT_EQ(gathered(), (std::vector<std::string>{">c0", ">c2", "<c7"}));
    EXPECT_EQ(drawnToH(), (std::set<std::string>{"c7"}));
    graph.setShown(*graph.findNode("c1"), 1);
    graph.setShown(*graph.findNode("c42"), 1);
    graph.setAllLinksShown(1);
    EXPECT_EQ(drawnToH().size(), 100u);
    graph.setAllLinksShown(0);
    graph.setInLinksShown("h", 1, 0);
    EXPECT_EQ(gathered().size(), 100u);
    cache.clear();
    graph.setNegativeLevelLinksHidden(0);
    EXPECT_EQ(cache.of(graph, *h).outCount, 0u);
}

}  // namespace
}  // namespace orvo
