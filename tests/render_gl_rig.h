// A renderer on a real offscreen Mesa context with a graph loaded the way the viewer loads one,
// plus helpers to read pixels back and to find where a node lands in the window.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "glue/window_settings.h"
#include "graph/graph.h"
#include "layout/layout.h"
#include "platform/offscreen_surface.h"
#include "render/renderer.h"
#include "tests/test_files.h"
#include "tests/test_time.h"

namespace orvo::testing {

using Rgba = std::array<uint8_t, 4>;

/// A colour close to (r, g, b) given in 0..1.
inline bool near(const Rgba& p, float r, float g, float b, int tolerance = 8) {
    auto close = [&](uint8_t v, float want) {
        return std::abs(static_cast<int>(v) - static_cast<int>(want * 255.0f + 0.5f)) <= tolerance;
    };
    return close(p[0], r) && close(p[1], g) && close(p[2], b);
}

struct RenderRig {
    ViewerSettings settings;
    OffscreenSurface surface;
    Renderer renderer;
    Graph graph;
    GlContext* context = nullptr;

    explicit RenderRig(int width = 400, int height = 300)
        : surface(width, height), renderer(settings, surface), graph(settings) {
        applyWindowInitialisation(settings);
        scaleBudget(settings.sliceBudgetSec, settings.sliceBudgetUsec);
        // Refinement runs to its end in these tests; a test of the limit sets its own.
        settings.refineLimitSec = 3600;
        // Every label above the threshold, as these pixel tests were drawn; the tests of labels
        // that never overlap choose that rule themselves.
        settings.labelsOverlap = 1;
    }

    int width() const { return surface.width(); }
    int height() const { return surface.height(); }

    /// Creates the context and initialises the renderer on it (the glue's file-open steps).
    bool initialise() {
        context = surface.createContext();
        if (context == nullptr) return false;
        renderer.initContext(context, width(), height());
        return true;
    }

    /// Loads a graph as the viewer and the glue do; returns false when nothing was read.
    bool load(std::istream& in) {
        if (!readAndLayOut(graph, in)) return false;
        settings.topNodeIndex = graph.topNodeIndex();
        renderer.setGraph(&graph);
        renderer.resetViewWith(graph.homeTransform());
        applyLoadSettings(graph, settings);
        renderer.updateProjection();
        scaleBudget(settings.pickBudgetSec, settings.pickBudgetUsec);
        return true;
    }

    bool loadText(const std::string& text) {
        std::istringstream in(text);
        return load(in);
    }

    bool loadFile(const std::string& path) {
        std::ifstream in(path);
        return in && load(in);
    }

    /// initialise + loadFile of a file in tests/data, failing the test when either fails.
    void start(const std::string& dataFile) {
        ASSERT_TRUE(initialise()) << surface.lastError();
        ASSERT_TRUE(loadFile(dataPath(dataFile))) << dataFile;
    }

    /// Draws once everything a frame can contain, so that the rasteriser has compiled its
    /// shaders before a test measures what one time slice draws.
    void warmUp() {
        drawAll();
        drawAll();
    }

    /// Pixels within `radius` of (x, y) (GL window coordinates) close to the colour.
    int countNear(const std::vector<uint8_t>& rgba, int x, int y, int radius, float r, float g,
                  float b) const;

    /// Draws a frame as the viewer's redraw does and idle steps until refinement ends (a slice
    /// draws at least one node; the count only stops a frame that draws nothing at all).
    void drawAll() {
        renderer.drawFrame();
        renderer.setKeepRedrawing(1);
        for (int i = 0; i < 1000000 && renderer.keepRedrawing(); ++i) renderer.idleStep();
    }

    std::vector<uint8_t> read(DrawBuffer buffer) {
        std::vector<uint8_t> rgba;
        EXPECT_TRUE(surface.readPixels(buffer, rgba));
        return rgba;
    }

    /// The pixel at GL window coordinates (x from the left, y from the bottom).
    Rgba pixel(const std::vector<uint8_t>& rgba, int x, int y) const {
        Rgba p{0, 0, 0, 0};
        if (x < 0 || y < 0 || x >= width() || y >= height()) return p;
        const size_t at = (static_cast<size_t>(y) * width() + x) * 4;
        if (at + 3 < rgba.size()) p = {rgba[at], rgba[at + 1], rgba[at + 2], rgba[at + 3]};
        return p;
    }

    /// Where a layout point is drawn: window pixels from the bottom left, and depth.
    ProjPoint windowPosition(const ProjPoint& layoutPoint) const {
        return dehomogenized(
            renderer.screenMatrix().apply(renderer.viewTransform().apply(layoutPoint)));
    }
    ProjPoint windowPosition(const Node& n) const {
        return windowPosition(n.globalTransform.apply(ProjPoint()));
    }

    Node* node(std::string_view id) const { return graph.findNode(id); }
};

inline int RenderRig::countNear(const std::vector<uint8_t>& rgba, int x, int y, int radius, float r,
                                float g, float b) const {
    int n = 0;
    for (int dy = -radius; dy <= radius; ++dy) {
        for (int dx = -radius; dx <= radius; ++dx) n += near(pixel(rgba, x + dx, y + dy), r, g, b);
    }
    return n;
}

/// Pixels of a buffer that are nearly black.
inline bool dark(const Rgba& p) { return p[0] < 60 && p[1] < 60 && p[2] < 60; }

/// A text graph: a root with `fanout` children per node, `depth` levels below it.
inline std::string treeGraphText(int fanout, int depth) {
    std::string text;
    // Explicit stack of (path, level): no recursion.
    std::vector<std::pair<std::string, int>> stack{{"http://tree.example/n", 0}};
    while (!stack.empty()) {
        auto [path, level] = stack.back();
        stack.pop_back();
        text += std::to_string(level) + " " + path + ".html x html main\n";
        if (level == depth) continue;
        for (int i = fanout - 1; i >= 0; --i) {
            stack.emplace_back(path + "/" + std::to_string(i), level + 1);
        }
    }
    return text;
}

}  // namespace orvo::testing
