// The renderer on a real Mesa context: its camera, what a frame shows compared with reference
// pictures (the cube, the sphere, colours, links, labels), recolouring in place, overflowed
// positions and gathered links.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "layout/layout.h"
#include "render/renderer.h"
#include "render/shown_link_cache.h"
#include "render/sphere_wireframe.h"
#include "render_gl_rig.h"

namespace orvo {
namespace {

using testing::RenderRig;

TEST(RendererGl, CameraAndSphere) {
    RenderRig rig(400, 800);
    ASSERT_TRUE(rig.initialise()) << rig.surface.lastError();
    // 12 latitude loops (the first degenerate at the pole) and 5 meridians of 63 vertices, the
    // last at theta = 6.2 (6.3 would pass 6.28 and draw over the start).
    const std::vector<SphereLoop> loops = sphereWireframeLoops();
    ASSERT_EQ(loops.size(), 17u);
    for (const SphereLoop& loop : loops) EXPECT_EQ(loop.size(), 63u);
    for (const auto& v : loops[0]) EXPECT_TRUE(v[0] == 0.0f && v[1] == 1.0f && v[2] == 0.0f);
    EXPECT_NEAR(loops[11][0][1], std::cos(11 * 0.26166666), 1e-5);
    EXPECT_NEAR(loops[12].back()[1], std::cos(6.2), 1e-5);

    // A square picture, 1.125 units of half height at 3 units from the camera; with the window
    // aspect (twice as high as wide), 2.25 units.
    constexpr double kDegrees = 57.297469361769856;
    auto cotHalf = [](double fovy) { return 1.0 / std::tan(fovy * M_PI / 360.0); };
    ProjTransform p;
    rig.renderer.updateProjection();
    glGetDoublev(GL_PROJECTION_MATRIX, p.m);
    const double square = cotHalf(2.0 * std::atan2(1.125, 3.0) * kDegrees);
    EXPECT_NEAR(p.at(1, 1), square, 1e-6);
    EXPECT_NEAR(p.at(0, 0), square, 1e-6);
    rig.settings.useWindowAspect = 1;
    rig.renderer.updateProjection();
    glGetDoublev(GL_PROJECTION_MATRIX, p.m);
    const double tall = cotHalf(2.0 * std::atan2(2.25, 3.0) * kDegrees);
    EXPECT_NEAR(p.at(1, 1), tall, 1e-6);
    EXPECT_NEAR(p.at(0, 0), tall * 2.0, 1e-6);

    // The screen matrix maps the ball's centre to (width + 1) / 2, (height + 1) / 2; nearer the
    // camera is a smaller depth.
    rig.renderer.drawFrame();
    const ProjPoint centre = dehomogenized(rig.renderer.screenMatrix().apply(ProjPoint()));
    EXPECT_NEAR(centre.x, 200.5, 1e-9);
    EXPECT_NEAR(centre.y, 400.5, 1e-9);
    EXPECT_LT(dehomogenized(rig.renderer.screenMatrix().apply(ProjPoint(0, 0, 0.5, 1))).z,
              centre.z);
}

// What a window of 200 x 150 shows, against pictures made from this renderer and looked at once.
struct PictureCase {
    const char* reference;
    const char* graph;                       // under the source directory
    std::function<void(RenderRig&)> before;  // settings for the frame
    std::function<void(RenderRig&)> after;   // drawn into the finished frame
};

const std::string kLongLabel =
    "0 http://site.example/a/rather/long/path/to/some/page/deep/inside/the/site.html x html\n";

void hoverCentre(RenderRig& rig) { rig.renderer.hoverHighlight(100, 75, 0, 0); }
void select(RenderRig& rig, const char* id, int on) {
    rig.renderer.markSelected(*rig.node(id), on);
}

const PictureCase kPictures[] = {
    // Group colours, outlines, the sphere, tree links and labels left of their nodes.
    {"site", "examples/site.graph", nullptr, nullptr},
    {"small", "tests/data/render_small.graph", nullptr, nullptr},
    // Selecting a node and taking the selection back redraws it in place.
    {"small", "tests/data/render_small.graph", nullptr,
     [](RenderRig& r) {
         select(r, "http://site.example/news.html", 1);
         select(r, "http://site.example/news.html", 0);
     }},
    // Only the centre cube has geometry beyond generation 1; no labels at all.
    {"small_centre_only", "tests/data/render_small.graph",
     [](RenderRig& r) {
         r.settings.nodeGenerationLimit = 1;
         r.settings.labelChoice = 0;
     },
     nullptr},
    // A red centre node, no sphere, short labels.
    {"small_red_centre", "tests/data/render_small.graph",
     [](RenderRig& r) {
         r.settings.redCentreNode = 1;
         r.settings.drawSphere = 0;
         r.settings.labelChoice = 1;
     },
     nullptr},
    // Labels on the right; a selected node recoloured at once, without a new frame.
    {"small_right_selected", "tests/data/render_small.graph",
     [](RenderRig& r) { r.renderer.setLabelRight(1); },
     [](RenderRig& r) { select(r, "http://site.example/news.html", 1); }},
    // The hovered node in the highlight colour, its label inverted in a box.
    {"one_hovered", "tests/data/render_one.graph", nullptr, hoverCentre},
    // A left label that would cross the window's edge starts at the edge, box and all.
    {"long_label", nullptr, nullptr, nullptr},
    {"long_label_hovered", nullptr, nullptr, hoverCentre},
};

TEST(RendererGl, FramesLookAsTheReferencePictures) {
    for (const PictureCase& c : kPictures) {
        SCOPED_TRACE(c.reference);
        RenderRig rig(200, 150);
        ASSERT_TRUE(rig.initialise()) << rig.surface.lastError();
        ASSERT_TRUE(c.graph ? rig.loadFile(std::string(ORVO_SOURCE_DIR) + "/" + c.graph)
                            : rig.loadText(kLongLabel));
        if (c.before) c.before(rig);
        rig.drawAll();
        if (c.after) c.after(rig);
        EXPECT_TRUE(testing::matchesPicture(rig.picture(), c.reference));
    }
}

TEST(RendererGl, SelectionRecoloursAtOnceOnlyWhatIsDrawn) {
    RenderRig rig;
    rig.start("render_small.graph");
    rig.settings.labelChoice = 0;
    rig.drawAll();
    ASSERT_EQ(rig.renderer.drawnNodes().size(), rig.graph.nodes.size());
    Node* root = rig.node("http://site.example/index.html");
    const int swaps = rig.surface.swapCount();
    const size_t drawnBefore = rig.renderer.drawnNodes().size();
    rig.renderer.markSelected(*root, 1);
    EXPECT_TRUE(root->flags & Selected);
    EXPECT_EQ(rig.surface.swapCount(), swaps);  // drawn into the front buffer, no frame
    EXPECT_EQ(rig.surface.drawBuffer(), DrawBuffer::Front);
    EXPECT_EQ(rig.renderer.drawnNodes().size(), drawnBefore + 1);  // inserted again
    const auto selected = rig.read(DrawBuffer::Front);
    EXPECT_TRUE(testing::near(rig.pixel(selected, 203, 153), 1, 1, 0));
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
    broken->globalTransform.at(3, 3) = inf;
    broken->globalTransform.at(3, 0) = nan;
    for (int j = 0; j < 4; ++j) huge->globalTransform.at(3, j) = 1e308;  // overflows in products
    lost->globalTransform.at(3, 3) = 1e200;  // finite, but beyond single precision
    rig.settings.labelChoice = 0;
    const ProjPoint end = broken->parentLink->toPosition();  // derived from its node
    EXPECT_FALSE(std::isfinite(end.x) && std::isfinite(end.y) && std::isfinite(end.z));

    rig.drawAll();
    for (const Node* n : {broken, huge, lost}) {
        EXPECT_TRUE(n->isDrawn()) << n->id;  // traversed all the same
        EXPECT_TRUE(std::isfinite(n->apparentSize) && std::isfinite(n->centreDistance)) << n->id;
        EXPECT_NE(rig.renderer.centreNode(), n);
    }
    EXPECT_EQ(broken->apparentSize, 0.0);
    const auto& drawn = rig.renderer.drawnNodes();
    for (size_t i = 1; i < drawn.size(); ++i) {
        EXPECT_GE(drawn[i - 1]->apparentSize, drawn[i]->apparentSize);
    }
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
    for (int i = 0; i < 16; ++i) EXPECT_EQ(rig.renderer.viewTransform().m[i], view.m[i]);
    ProjTransform poisoned = ProjTransform::identity();
    poisoned.at(3, 3) = nan;
    rig.renderer.resetViewWith(poisoned);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(rig.renderer.viewTransform().m[i], rig.renderer.baseView().m[i]);
    }
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
