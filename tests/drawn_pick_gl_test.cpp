// Picks from what the frame drew: the clipping they rest on, the same objects as the selection
// passes on the same frames (compatibility context, both picks one after the other), and picks,
// clicks and hover repaints on the shader back end's own contexts.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "render/window_clip.h"
#include "render_gl_rig.h"
#include "tools/site_generator.h"

namespace orvo {
namespace {

using testing::MousePoint;
using testing::RenderRig;

// Window points at w = 1 (x, y in pixels, z the clip z in -1..1).
ClipVertex at(double x, double y, double z = 0.0) { return {x, y, z, 1.0}; }

TEST(DrawnPickGl, ClippingToTheSquareFindsWhatReachesItAndItsNearestDepth) {
    const WindowSquare pixel = WindowSquare::around(50.5, 50.5, 0.125);
    const WindowSquare region = WindowSquare::around(0.0, 0.0, 1.5);
    struct Case {
        const char* what;
        std::vector<ClipVertex> vertices;
        WindowSquare square;
        bool hit;
        double depth;  // when hit
    };
    const Case cases[] = {
        {"a face over the pixel, depth growing with x", {at(0, 0, -1), at(100, 0, 1), at(100, 100, 1), at(0, 100, -1)},
         pixel, true, 0.5 * (50.375 / 50.0 - 1.0 + 1.0)},
        {"a face ending 0.1 short of the pixel's centre still reaches its square",
         {at(0, 0), at(50.4, 0), at(50.4, 100), at(0, 100)}, pixel, true, 0.5},
        {"a face ending 0.2 short does not", {at(0, 0), at(50.3, 0), at(50.3, 100), at(0, 100)}, pixel, false, 0},
        {"a triangle whose hull box covers the pixel but not itself",
         {at(0, 0), at(100, 0), at(0, 100)}, WindowSquare::around(60, 60, 0.125), false, 0},
        {"a face beyond the far plane", {at(0, 0, 1.2), at(100, 0, 1.2), at(100, 100, 1.5), at(0, 100, 1.5)},
         pixel, false, 0},
        {"a face through the near plane inside the square is cut there",
         {at(0, 0, -3), at(100, 0, 99.0 / 50.5 - 1.0), at(100, 100, 99.0 / 50.5 - 1.0), at(0, 100, -3)},
         pixel, true, 0.0},
        {"a face behind the eye", {{0, 0, 0, -1}, {-100, 0, 0, -1}, {-100, -100, 0, -1}, {0, -100, 0, -1}},
         pixel, false, 0},
        {"a line crossing the region, its ends outside", {at(-10, 1, 0.5), at(10, 1, -0.5)}, region, true,
         0.5 * (1.0 - 0.5 * 1.5 / 10.0)},
        {"a line passing 0.1 inside the region's corner", {at(-5, 7.9), at(7.9, -5)}, region, true, 0.5},
        {"a line passing the corner 0.1 outside", {at(-5, 8.1), at(8.1, -5)}, region, false, 0},
        {"a line ending before the region", {at(-10, 0), at(-1.6, 0)}, region, false, 0},
        {"a line whose one end is not finite", {at(-10, 0), at(NAN, 0)}, region, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        double depth = -1.0;
        const bool hit =
            nearestDepthInSquare(c.vertices.data(), static_cast<int>(c.vertices.size()), c.square, depth);
        EXPECT_EQ(hit, c.hit);
        if (c.hit) {
            EXPECT_NEAR(depth, c.depth, 1e-9);
        }
        // A hull wholly on the far side of one plane can never reach the square.
        EXPECT_FALSE(hit && outsideOnOneSide(c.vertices.data(), static_cast<int>(c.vertices.size()),
                                             c.square));
    }
    const ClipVertex left[2] = {at(-5, -5), at(-1.6, 5)};
    EXPECT_TRUE(outsideOnOneSide(left, 2, region));
    const ClipVertex across[2] = {at(-5, 5), at(5, 5)};  // above the region, on one side
    EXPECT_TRUE(outsideOnOneSide(across, 2, region));
    const ClipVertex corner[2] = {at(-5, 8.1), at(8.1, -5)};  // outside, but on no one side
    EXPECT_FALSE(outsideOnOneSide(corner, 2, region));
}

// The pixel that holds a node's centre.
MousePoint centrePixel(const RenderRig& rig, const Node& n) {
    const ProjPoint at = rig.windowPosition(n);
    return {static_cast<int>(std::floor(at.x)), rig.height() - 1 - static_cast<int>(std::floor(at.y))};
}

// The pixels a comparison looks at: every drawn node's centre pixel (with `centres`), and a grid
// with points along the links of the largest nodes.
std::vector<MousePoint> pickPoints(const RenderRig& rig, int grid, bool centres) {
    std::vector<MousePoint> points;
    auto add = [&](MousePoint m) {
        if (m.x >= 0 && m.y >= 0 && m.x < rig.width() && m.y < rig.height()) points.push_back(m);
    };
    const auto& drawn = rig.renderer.drawnNodes();
    if (centres)
        for (const Node* n : drawn) add(centrePixel(rig, *n));
    for (int y = 1; y < rig.height(); y += grid)
        for (int x = 2; x < rig.width(); x += grid) add({x, y});
    for (size_t i = 0; i < drawn.size() && i < 40; ++i)
        for (const Node* child : drawn[i]->children)
            for (const double t : {0.25, 0.5, 0.75}) add(rig.alongLink(*child->parentLink, t));
    return points;
}

struct Agreement {
    int points = 0, nodes = 0, links = 0, nothing = 0, differ = 0;
};

// Both picks at each point of the same frame, the pick from what was drawn first (it changes
// nothing); every disagreement printed with its pixel.
Agreement compareBothPicks(RenderRig& rig, const std::vector<MousePoint>& points) {
    Agreement a;
    for (const MousePoint& m : points) {
        rig.renderer.setPickFromDrawn(true);
        const uint32_t drawn = rig.renderer.pick(m.x, m.y);
        const ProjPoint drawnAt = rig.renderer.pickedPoint();
        rig.renderer.setPickFromDrawn(false);
        const uint32_t selected = rig.renderer.pick(m.x, m.y);
        const ProjPoint selectedAt = rig.renderer.pickedPoint();
        ++a.points;
        if (drawn != selected) {
            ++a.differ;
            ADD_FAILURE() << "at " << m.x << "," << m.y << ": drawn " << rig.nameOf(drawn) << ", selection "
                          << rig.nameOf(selected);
            continue;
        }
        if (drawn == kNothingPicked) {
            ++a.nothing;
            continue;
        }
        (static_cast<int32_t>(drawn) >= 0 ? a.nodes : a.links)++;
        // The same point hit (GL's single precision against double).
        EXPECT_NEAR(drawnAt.x, selectedAt.x, 1e-3) << m.x << "," << m.y;
        EXPECT_NEAR(drawnAt.y, selectedAt.y, 1e-3) << m.x << "," << m.y;
        EXPECT_NEAR(drawnAt.z, selectedAt.z, 1e-3) << m.x << "," << m.y;
    }
    return a;
}

TEST(DrawnPickGl, BothPicksFindTheSameObjectsOnTheSameFrame) {
    struct Scene {
        const char* name;
        std::string text;  // a generated site, or "" for the example
        const char* example;
        int width, height, grid;
    };
    const Scene scenes[] = {
        {"site example", "", "site.graph", 800, 600, 17},
        {"generated site", generateSiteGraph(SiteOptions{3000, 3}), nullptr, 640, 480, 17},
    };
    for (const Scene& scene : scenes) {
        for (const int overlap : {1, 0}) {
            SCOPED_TRACE(std::string(scene.name) + (overlap ? ", labels overlapping" : ", labels on top"));
            RenderRig rig(scene.width, scene.height);
            if (scene.example != nullptr) {
                ASSERT_NO_FATAL_FAILURE(rig.startExample(scene.example));
            } else {
                ASSERT_NO_FATAL_FAILURE(rig.startText(scene.text));
                rig.settings.sliceBudgetSec = 3600;
            }
            rig.settings.labelsOverlap = overlap;
            rig.drawAll();
            const Agreement a = compareBothPicks(rig, pickPoints(rig, scene.grid, true));
            std::printf("%s, labels %s: %d points, %d nodes, %d links, %d nothing, %d differ\n",
                        scene.name, overlap ? "overlapping" : "on top", a.points, a.nodes, a.links,
                        a.nothing, a.differ);
            EXPECT_GT(a.nodes, 200);
            EXPECT_GT(a.links, 100);
            EXPECT_GT(a.nothing, 10);
            // And from a node of the first generation, where nodes crowd in front of others.
            Node* first = rig.renderer.centreNode()->children.front();
            rig.renderer.gotoNodeView(first, 1);
            rig.drawAll();
            const Agreement moved = compareBothPicks(rig, pickPoints(rig, 2 * scene.grid, false));
            EXPECT_GT(moved.nodes + moved.links, 100);
            // With few generations of links, those beyond are not drawn and cannot be picked.
            rig.settings.linkGenerationLimit = 2;
            rig.drawAll();
            const Agreement fewLinks = compareBothPicks(rig, pickPoints(rig, 2 * scene.grid, false));
            EXPECT_LT(fewLinks.links, moved.links);
        }
    }
}


// The shader back end picks what the GL 1.1 path's selection picks on the same graph and view;
// a click at a node's centre reports the node, and hovering it repaints it highlighted, then in
// its own colour again when the pointer leaves.
TEST(DrawnPickGl, TheShaderBackEndPicksClicksAndRepaintsTheHover) {
    const std::vector<GlApi> apis = testing::offeredModernApis();
    if (apis.empty()) GTEST_SKIP() << "Mesa offers neither an ES 3.0 nor a 3.3 core context";
    for (const GlApi api : apis) {
        SCOPED_TRACE(glApiName(api));
        RenderRig legacy(400, 300), modern(400, 300, api);
        for (RenderRig* rig : {&legacy, &modern}) {
            ASSERT_NO_FATAL_FAILURE(rig->startExample("site.graph"));
            rig->settings.labelChoice = 0;  // the shader back end draws none yet
            rig->settings.highlightColor = {0.1f, 0.9f, 0.4f, 1.0f};
            rig->drawAll();
        }
        ASSERT_TRUE(modern.renderer.modern());
        ASSERT_EQ(modern.renderer.drawnNodes().size(), legacy.renderer.drawnNodes().size());
        std::string clicked;
        modern.renderer.setPickCallback([&](const std::string& id, int, int) { clicked = id; });
        modern.renderer.bindMouse(0, 1);
        int atCentre = 0, agree = 0, points = 0;
        const Node* hoverable = nullptr;
        MousePoint hoverAt{};
        for (const MousePoint& m : pickPoints(modern, 11, true)) {
            const uint32_t name = modern.renderer.pick(m.x, m.y);
            const uint32_t selected = legacy.renderer.pick(m.x, m.y);
            ++points;
            agree += name == selected;
            EXPECT_EQ(name, selected) << "at " << m.x << "," << m.y;
            const Node* n = modern.renderer.nodeNamed(static_cast<int32_t>(name));
            if (n == nullptr || centrePixel(modern, *n).x != m.x || centrePixel(modern, *n).y != m.y)
                continue;
            ++atCentre;
            clicked = "none";
            modern.renderer.mouseButton(0, 0, m.x, m.y, 0, 0);
            modern.renderer.mouseButton(0, 1, m.x, m.y, 0, 0);
            EXPECT_EQ(clicked, n->id) << "a click at " << m.x << "," << m.y;
            if (hoverable == nullptr && n->apparentSize >= 8.0) hoverable = n, hoverAt = m;
        }
        std::printf("%s: %d of %d picks as the selection's, %d at a node's centre\n", glApiName(api),
                    agree, points, atCentre);
        EXPECT_GT(atCentre, 30);
        ASSERT_NE(hoverable, nullptr);

        modern.drawAll();  // the clicks asked for frames
        const auto centrePixel = [&] {
            return modern.pixel(modern.read(DrawBuffer::Front), hoverAt.x, modern.height() - 1 - hoverAt.y);
        };
        const testing::Rgba before = centrePixel();
        EXPECT_FALSE(testing::near(before, 0.1f, 0.9f, 0.4f));
        modern.renderer.hoverHighlight(hoverAt.x, hoverAt.y, 0, 0);
        EXPECT_EQ(modern.renderer.hoveredName(), hoverable->index);
        EXPECT_TRUE(testing::near(centrePixel(), 0.1f, 0.9f, 0.4f)) << hoverable->id;
        modern.renderer.hoverHighlight(1, 1, 0, 0);
        EXPECT_EQ(modern.renderer.hoveredName(), static_cast<int32_t>(kNothingPicked));
        EXPECT_EQ(centrePixel(), before);
    }
}

}  // namespace
}  // namespace orvo
