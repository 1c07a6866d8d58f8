// The renderer's GL set-up, camera, node and link drawing on a real Mesa context.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "layout/layout.h"
#include "render/renderer.h"
#include "render/shown_link_cache.h"
#include "render/sphere_wireframe.h"
#include "render_gl_rig.h"

namespace orvo {
namespace {

using testing::near;
using testing::RenderRig;

struct FeedbackCount {
    int lineResets = 0;
    int lines = 0;  // including the resets
    int polygons = 0;
    std::set<std::tuple<float, float, float>> vertices;
};

// Plays a display list in feedback mode through identity matrices and tallies what GL emits.
FeedbackCount feedbackOfList(GLuint list) {
    std::vector<GLfloat> buffer(200000);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D, buffer.data());
    glRenderMode(GL_FEEDBACK);
    glCallList(list);
    const GLint used = glRenderMode(GL_RENDER);
    FeedbackCount c;
    for (GLint i = 0; i < used;) {
        const auto token = static_cast<GLint>(buffer[i++]);
        if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
            ++c.lines;
            if (token == GL_LINE_RESET_TOKEN) ++c.lineResets;
            i += 6;
        } else if (token == GL_POLYGON_TOKEN) {
            const auto n = static_cast<GLint>(buffer[i++]);
            ++c.polygons;
            for (GLint v = 0; v < n; ++v, i += 3) {
                c.vertices.emplace(buffer[i], buffer[i + 1], buffer[i + 2]);
            }
        } else if (token == GL_POINT_TOKEN || token == GL_BITMAP_TOKEN ||
                   token == GL_DRAW_PIXEL_TOKEN || token == GL_COPY_PIXEL_TOKEN) {
            i += 3;
        } else {
            i += 0;  // pass-through and unknown tokens carry one value
            ++i;
        }
    }
    return c;
}

TEST(RendererGl, DisplayListsHoldTheCubeAndTheSphere) {
    RenderRig rig;
    ASSERT_TRUE(rig.initialise()) << rig.surface.lastError();
    for (GLuint list = 1; list <= 5; ++list) EXPECT_TRUE(glIsList(list)) << list;

    // The viewport maps [-1, 1] to window pixels: 0.04 becomes 0.02 of the width past the centre.
    const FeedbackCount cube = feedbackOfList(2);
    EXPECT_TRUE(cube.polygons == 6 || cube.polygons == 12) << cube.polygons;
    ASSERT_EQ(cube.vertices.size(), 8u);  // the eight corners of an axis-aligned cube
    const float halfWidthPx = 0.04f * rig.width() / 2.0f,
                halfHeightPx = 0.04f * rig.height() / 2.0f;
    for (const auto& [x, y, z] : cube.vertices) {
        EXPECT_NEAR(std::fabs(x - rig.width() / 2.0f), halfWidthPx, 1e-3);
        EXPECT_NEAR(std::fabs(y - rig.height() / 2.0f), halfHeightPx, 1e-3);
        EXPECT_NEAR(std::fabs(z - 0.5f), 0.02f, 1e-5);  // depth range 0..1
    }
    const FeedbackCount filled = feedbackOfList(3);
    EXPECT_EQ(filled.polygons, cube.polygons);
}

TEST(RendererGl, TheSphereWireframeHasItsLoops) {
    // 12 latitude loops (the first degenerate at the pole) and 5 meridians, 63 vertices each.
    const std::vector<SphereLoop> loops = sphereWireframeLoops();
    ASSERT_EQ(loops.size(), 17u);
    for (const SphereLoop& loop : loops) EXPECT_EQ(loop.size(), 63u);
    for (const auto& v : loops[0]) {
        EXPECT_EQ(v[0], 0.0f);
        EXPECT_EQ(v[1], 1.0f);
        EXPECT_EQ(v[2], 0.0f);
    }
    EXPECT_NEAR(loops[11][0][1], std::cos(11 * 0.26166666), 1e-5);  // the last latitude
    const double psis[5] = {-0.35, 0.435, 1.22, 2.005, 2.79};
    for (int m = 0; m < 5; ++m) {
        const auto& v = loops[12 + m][10];  // theta = 1.0
        EXPECT_NEAR(v[0], std::sin(1.0) * std::cos(psis[m]), 1e-5) << m;
        EXPECT_NEAR(v[1], std::cos(1.0), 1e-5) << m;
        EXPECT_NEAR(v[2], std::sin(1.0) * std::sin(psis[m]), 1e-5) << m;
    }
    // The last vertex of a loop is at theta = 6.2 (6.3 would pass 6.28).
    EXPECT_NEAR(loops[12].back()[1], std::cos(6.2), 1e-5);
}

TEST(RendererGl, CameraProjectionAndScreenMatrix) {
    RenderRig rig(400, 800);
    ASSERT_TRUE(rig.initialise()) << rig.surface.lastError();
    constexpr double kFactor = 57.297469361769856;
    auto cotHalf = [](double fovyDegrees) { return 1.0 / std::tan(fovyDegrees * M_PI / 360.0); };

    // Without the window aspect: a square picture, 1.125 units of half height at the centre.
    double fovy = 2.0 * std::atan2(1.125, 3.0) * kFactor;
    ProjTransform p;
    glMatrixMode(GL_PROJECTION);
    glGetDoublev(GL_PROJECTION_MATRIX, p.m);
    EXPECT_NEAR(p.at(1, 1), cotHalf(fovy), 1e-6);
    EXPECT_NEAR(p.at(0, 0), cotHalf(fovy), 1e-6);
    EXPECT_FLOAT_EQ(rig.renderer.labelThreshold(), 400 * 0.001f * 20.0f);

    // Twice as high as wide with the window aspect: fovy = 2 atan2(2.25, 3).
    rig.settings.useWindowAspect = 1;
    rig.renderer.updateProjection();
    glGetDoublev(GL_PROJECTION_MATRIX, p.m);
    fovy = 2.0 * std::atan2(2.25 / (2.0 * 0.5), 3.0) * kFactor;
    EXPECT_NEAR(p.at(1, 1), cotHalf(fovy), 1e-6);
    EXPECT_NEAR(p.at(0, 0), cotHalf(fovy) / 0.5, 1e-6);

    // The camera looks down -z from (0, 0, 3); the screen matrix maps the ball's centre to the
    // middle of the window, (width + 1) / 2 and (height + 1) / 2.
    rig.renderer.drawFrame();  // loads the camera
    glMatrixMode(GL_MODELVIEW);
    ProjPoint centre = dehomogenized(rig.renderer.screenMatrix().apply(ProjPoint()));
    EXPECT_NEAR(centre.x, 200.5, 1e-9);
    EXPECT_NEAR(centre.y, 400.5, 1e-9);
    // A point nearer the camera lies at a smaller depth.
    ProjPoint nearer = dehomogenized(rig.renderer.screenMatrix().apply(ProjPoint(0, 0, 0.5, 1)));
    EXPECT_LT(nearer.z, centre.z);
}

TEST(RendererGl, FirstFrameDrawsTheCentreNodeInItsGroupColour) {
    RenderRig rig;
    ASSERT_TRUE(rig.initialise()) << rig.surface.lastError();
    ASSERT_TRUE(rig.loadFile(std::string(ORVO_SOURCE_DIR) + "/examples/site.graph"));
    Node* root = rig.graph.nodes[0];
    ASSERT_EQ(rig.renderer.centreNode(), root);
    const int swapsBefore = rig.surface.swapCount();
    rig.renderer.drawFrame();
    EXPECT_EQ(rig.surface.swapCount(), swapsBefore + 1);
    EXPECT_EQ(rig.renderer.drawnNodes().front(), root);
    EXPECT_EQ(root->generation, 0);
    EXPECT_GT(root->apparentSize, 8.0);  // about 11 pixels at 300 pixels of height
    EXPECT_LT(root->apparentSize, 16.0);

    // The root (an html page: cyan) fills the middle of the window; the equator of the sphere
    // crosses it.
    const int cx = rig.width() / 2, cy = rig.height() / 2;
    auto front = rig.read(DrawBuffer::Front);
    EXPECT_GE(rig.countNear(front, cx, cy, 3, 0, 1, 1), 30);
    EXPECT_GE(rig.countNear(front, cx, cy, 3, 0.9f, 0.7f, 0.6f), 3);

    // After refinement: sorted largest first, group colours, the sphere, outlines and labels.
    rig.drawAll();
    const auto& drawn = rig.renderer.drawnNodes();
    EXPECT_GT(drawn.size(), 1000u);
    for (size_t i = 1; i < drawn.size(); ++i) {
        ASSERT_GE(drawn[i - 1]->apparentSize, drawn[i]->apparentSize) << i;
    }
    front = rig.read(DrawBuffer::Front);
    int magenta = 0, sphere = 0, black = 0;
    for (int y = 0; y < rig.height(); ++y) {
        for (int x = 0; x < rig.width(); ++x) {
            const auto p = rig.pixel(front, x, y);
            magenta += near(p, 1.0f, 0.0f, 1.0f);
            sphere += near(p, 0.9f, 0.7f, 0.6f);
            black += testing::dark(p);
        }
    }
    EXPECT_GT(magenta, 20);
    EXPECT_GT(sphere, 500);
    EXPECT_GT(black, 50);

    // Without the sphere no pixel has its colour.
    rig.settings.drawSphere = 0;
    rig.drawAll();
    const auto bare = rig.read(DrawBuffer::Front);
    int sphereAfter = 0;
    for (int y = 0; y < rig.height(); ++y) {
        for (int x = 0; x < rig.width(); ++x) {
            sphereAfter += near(rig.pixel(bare, x, y), 0.9f, 0.7f, 0.6f);
        }
    }
    EXPECT_EQ(sphereAfter, 0);
}

TEST(RendererGl, GenerationLimitRedCentreAndSelectionColours) {
    RenderRig rig;
    rig.start("render_small.graph");
    rig.warmUp();
    // This test is about colours, not time: a slice long enough for the whole small graph even
    // on a slow (sanitized, loaded) machine; a frame still ends as soon as its queues run dry.
    rig.settings.sliceBudgetSec = 3600;
    const int cx = rig.width() / 2, cy = rig.height() / 2;
    auto countColour = [&](float r, float g, float b) {
        const auto front = rig.read(DrawBuffer::Front);
        int n = 0;
        for (int y = 0; y < rig.height(); ++y) {
            for (int x = 0; x < rig.width(); ++x) n += near(rig.pixel(front, x, y), r, g, b);
        }
        return n;
    };
    rig.renderer.drawFrame();
    ASSERT_EQ(rig.renderer.drawnNodes().size(), rig.graph.nodes.size());
    EXPECT_GT(countColour(1, 0, 1), 10);  // the image nodes

    // Generation limit 1: only the centre cube has geometry; every node is still sized.
    rig.settings.nodeGenerationLimit = 1;
    rig.renderer.drawFrame();
    EXPECT_EQ(countColour(1, 0, 1), 0);
    EXPECT_GT(countColour(0, 1, 1), 10);
    for (const Node* n : rig.renderer.drawnNodes()) EXPECT_GT(n->apparentSize, 0.0) << n->id;
    rig.settings.nodeGenerationLimit = 30;

    // The red centre node.
    EXPECT_EQ(countColour(1, 0, 0), 0);
    rig.settings.redCentreNode = 1;
    rig.renderer.drawFrame();
    EXPECT_GT(rig.countNear(rig.read(DrawBuffer::Front), cx, cy, 4, 1, 0, 0), 10);
    rig.settings.redCentreNode = 0;
    rig.renderer.drawFrame();

    // Selecting a drawn node recolours it at once, in the front buffer, without a frame.
    Node* root = rig.node("http://site.example/index.html");
    const int swaps = rig.surface.swapCount();
    const size_t drawnBefore = rig.renderer.drawnNodes().size();
    EXPECT_EQ(countColour(1, 1, 0), 0);
    rig.renderer.markSelected(*root, 1);
    EXPECT_TRUE(root->flags & Selected);
    EXPECT_EQ(rig.surface.swapCount(), swaps);
    EXPECT_EQ(rig.surface.drawBuffer(), DrawBuffer::Front);
    EXPECT_GT(rig.countNear(rig.read(DrawBuffer::Front), cx, cy, 4, 1, 1, 0), 10);
    EXPECT_EQ(rig.renderer.drawnNodes().size(), drawnBefore + 1);  // inserted again
    rig.renderer.markSelected(*root, 0);
    EXPECT_FALSE(root->flags & Selected);
    EXPECT_EQ(rig.countNear(rig.read(DrawBuffer::Front), cx, cy, 4, 1, 1, 0), 0);

    // A node not drawn in this frame only changes its flag.
    root->flags &= static_cast<uint8_t>(~Drawn);
    const auto before = rig.read(DrawBuffer::Front);
    rig.renderer.markSelected(*root, 1);
    EXPECT_TRUE(root->flags & Selected);
    EXPECT_EQ(rig.read(DrawBuffer::Front), before);
    rig.renderer.drawFrame();  // the next frame shows it
    EXPECT_GT(rig.countNear(rig.read(DrawBuffer::Front), cx, cy, 4, 1, 1, 0), 10);
}

TEST(RendererGl, OverflowedPositionsAreSkippedAndTheViewStaysFinite) {
    RenderRig rig;
    rig.start("render_small.graph");
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Node* broken = rig.node("http://site.example/news.html");
    Node* huge = rig.node("http://site.example/logo.png");
    Node* lost = rig.node("http://site.example/news/today.html");
    ASSERT_TRUE(broken && huge && lost);
    broken->globalTransform.at(3, 3) = inf;
    broken->globalTransform.at(3, 0) = nan;
    for (int j = 0; j < 4; ++j) huge->globalTransform.at(3, j) = 1e308;  // overflows in products
    lost->globalTransform.at(3, 3) = 1e200;  // finite, but beyond single precision
    for (const Link* k : rig.graph.links) {
        if (k->toNode == broken) {
            const ProjPoint p = k->toPosition();  // derived from its node
            EXPECT_FALSE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
        }
    }

    rig.drawAll();
    for (const Node* n : {broken, huge, lost}) {
        EXPECT_TRUE(n->isDrawn()) << n->id;  // traversed all the same
        EXPECT_TRUE(std::isfinite(n->apparentSize)) << n->id;
        EXPECT_TRUE(std::isfinite(n->centreDistance)) << n->id;
        EXPECT_NE(rig.renderer.centreNode(), n);
    }
    EXPECT_EQ(broken->apparentSize, 0.0);
    const auto& drawn = rig.renderer.drawnNodes();
    for (size_t i = 1; i < drawn.size(); ++i) {
        EXPECT_GE(drawn[i - 1]->apparentSize, drawn[i]->apparentSize);
    }
    // The centre still picks as the root (or a label drawn over it), and the picture still
    // shows the root.
    const int cx = rig.width() / 2, cy = rig.height() / 2;
    const uint32_t picked = rig.renderer.pick(cx, cy);
    EXPECT_TRUE(picked == 0u || (rig.renderer.nodeNamed(picked) != nullptr &&
                                 (rig.renderer.nodeNamed(picked)->flags & Labelled)))
        << picked;
    EXPECT_GT(rig.countNear(rig.read(DrawBuffer::Front), cx, cy, 4, 0, 1, 1), 10);

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

// A page linked from a hundred others: its links are drawn from the gathered shown ones, which
// follow every change of link visibility, and come out the same as from the full lists.
TEST(RendererGl, APopularPageDrawsExactlyItsShownLinks) {
    std::string text = "0 r 0\n1 h 0\n";
    for (int i = 0; i < 100; ++i) text += "1 c" + std::to_string(i) + " 0\n  2 h 0\n";
    RenderRig rig;
    ASSERT_TRUE(rig.initialise()) << rig.surface.lastError();
    ASSERT_TRUE(rig.loadText(text));
    rig.settings.nodeGenerationLimit = rig.settings.linkGenerationLimit = 100;
    const Node* h = rig.graph.findNode("h");
    ASSERT_EQ(h->inLinks.size(), 100u);
    auto drawnToH = [&] {
        rig.drawAll();
        std::set<std::string> from;
        for (const Link* k : rig.renderer.drawnLinks())
            if (k->toNode == h && k != h->parentLink) from.insert(std::string(k->fromNode->id));
        return from;
    };
    EXPECT_TRUE(drawnToH().empty());  // non-tree links start hidden

    ASSERT_EQ(rig.graph.setInLinksShown("h", 1, 0), 1);
    EXPECT_EQ(drawnToH().size(), 100u);
    ASSERT_EQ(rig.graph.setInLinksShown("h", 0, 0), 1);
    EXPECT_TRUE(drawnToH().empty());
    ASSERT_EQ(rig.graph.setOutLinksShown("c7", 1, 0), 1);
    ASSERT_EQ(rig.graph.setOutLinksShown("c42", 1, 0), 1);
    EXPECT_EQ(drawnToH(), (std::set<std::string>{"c7", "c42"}));
    // A hidden end hides the link too.
    Node* c42 = rig.graph.findNode("c42");
    rig.graph.setShown(*c42, 0);
    EXPECT_EQ(drawnToH(), (std::set<std::string>{"c7"}));
    rig.graph.setAllLinksShown(1);
    rig.graph.setShown(*c42, 1);
    EXPECT_EQ(drawnToH().size(), 100u);
}

// The gathered links themselves: in list order, out-links first, and gathered again after any
// visibility operation of the graph.
TEST(ShownLinkCacheTest, FollowsTheGraphsLinkVisibility) {
    std::string text = "0 r 0\n1 h 0\n";
    for (int i = 0; i < 80; ++i) text += "1 c" + std::to_string(i) + " 0\n  2 h 0\n";
    text += "1 h 0\n";  // h again, and under it links to c0..c2, which stay where they are
    for (int i = 0; i < 3; ++i) text += "  2 c" + std::to_string(i) + " 0\n";
    ViewerSettings settings;
    settings.loadFlags = NeverMove;
    Graph graph(settings);
    std::istringstream in(text);
    ASSERT_TRUE(readAndLayOut(graph, in));
    const Node* h = graph.findNode("h");
    ASSERT_GT(h->inLinks.size() + h->outLinks.size(), ShownLinkCache::kManyLinks);
    ShownLinkCache cache;
    auto idsOf = [&](const ShownLinkCache::Entry& e) {
        std::vector<std::string> ids;
        for (size_t i = 0; i < e.links.size(); ++i) {
            const Node* other = i < e.outCount ? e.links[i]->toNode : e.links[i]->fromNode;
            ids.push_back((i < e.outCount ? ">" : "<") + std::string(other->id));
        }
        return ids;
    };
    EXPECT_TRUE(cache.of(graph, *h).links.empty());
    graph.setOutLinksShown("c5", 1, 0);
    graph.setOutLinksShown("c3", 1, 0);
    graph.setOutLinksShown("h", 1, 0);
    EXPECT_EQ(idsOf(cache.of(graph, *h)),
              (std::vector<std::string>{">c0", ">c1", ">c2", "<c3", "<c5"}));
    graph.setShown(*graph.findNode("c1"), 0);
    EXPECT_EQ(idsOf(cache.of(graph, *h)), (std::vector<std::string>{">c0", ">c2", "<c3", "<c5"}));
    graph.setAllLinksShown(0);
    EXPECT_TRUE(cache.of(graph, *h).links.empty());
    graph.setInLinksShown("h", 1, 0);
    EXPECT_EQ(cache.of(graph, *h).links.size(), 79u);  // all but the hidden c1's
    cache.clear();
    graph.setNegativeLevelLinksHidden(0);
    EXPECT_EQ(cache.of(graph, *h).outCount, 0u);
}

}  // namespace
}  // namespace orvo
