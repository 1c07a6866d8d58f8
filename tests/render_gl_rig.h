// The GL tests' one rig: an offscreen Mesa surface with a context, a renderer on it with a graph
// loaded the way the viewer loads one, and pictures compared with reference PNG files.
#pragma once

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "glue/window_settings.h"
#include "graph/graph.h"
#include "layout/layout.h"
#include "platform/offscreen_surface.h"
#include "platform/png_image.h"
#include "render/renderer.h"
#include "tests/graph_test_support.h"
#include "tests/test_files.h"
#include "tests/test_time.h"

namespace orvo::testing {

using Rgba = std::array<uint8_t, 4>;

/// A colour within 8 of (r, g, b) given in 0..1.
inline bool near(const Rgba& p, float r, float g, float b) {
    auto close = [](uint8_t v, float want) { return std::abs(v - int(want * 255.0f + 0.5f)) <= 8; };
    return close(p[0], r) && close(p[1], g) && close(p[2], b);
}

/// Whether two transforms agree in every element to within `tolerance` (never with a NaN).
inline bool sameMatrix(const ProjTransform& a, const ProjTransform& b, double tolerance = 0.0) {
    for (int i = 0; i < 16; ++i)
        if (!(std::abs(a.m[i] - b.m[i]) <= tolerance)) return false;
    return true;
}

/// Whether a picture matches tests/data/pictures/<name>.png: no colour channel further than
/// maxDiff from the reference, and their mean difference at most meanDiff (rounding in the
/// rasteriser passes; anything drawn, moved or recoloured fails). A mismatch is written to the
/// temporary directory; with ORVO_WRITE_GOLDEN set the picture becomes the reference (and the
/// check fails, to say so).
inline ::testing::AssertionResult matchesPicture(const RgbaImage& picture, const std::string& name,
                                                 int maxDiff = 16, double meanDiff = 0.25) {
    const std::string reference = dataPath("pictures/" + name + ".png");
    std::string error;
    if (std::getenv("ORVO_WRITE_GOLDEN") != nullptr) {
        writePng(reference, picture.width, picture.height, picture.pixels, RowOrder::TopDown,
                 error);
        return ::testing::AssertionFailure() << "wrote " << reference << " " << error;
    }
    RgbaImage want;
    if (!readPng(reference, want, error)) return ::testing::AssertionFailure() << error;
    if (want.width != picture.width || want.height != picture.height) {
        return ::testing::AssertionFailure() << name << ": " << picture.width << "x"
                                             << picture.height << ", reference " << want.width;
    }
    int worst = 0;
    double sum = 0;
    for (size_t i = 0; i < want.pixels.size(); ++i) {
        const int d = i % 4 == 3 ? 0 : std::abs(want.pixels[i] - picture.pixels[i]);  // not alpha
        worst = std::max(worst, d);
        sum += d;
    }
    const double mean = sum / (want.pixels.size() / 4 * 3);
    if (worst <= maxDiff && mean <= meanDiff) return ::testing::AssertionSuccess();
    const auto actual = std::filesystem::temp_directory_path() / ("orvo-" + name + ".actual.png");
    writePng(actual, picture.width, picture.height, picture.pixels, RowOrder::TopDown, error);
    return ::testing::AssertionFailure()
           << name << ": max difference " << worst << " (allowed " << maxDiff << "), mean " << mean
           << " (allowed " << meanDiff << "); drawn: " << actual.string();
}

/// A PNG file's picture; fails the test when it cannot be read.
inline RgbaImage readPicture(const std::string& path) {
    RgbaImage image;
    std::string error;
    EXPECT_TRUE(readPng(path, image, error)) << path << ": " << error;
    return image;
}

/// How a picture differs from another of the same scene, drawn another way. A pixel counts as
/// drawn when it is not the background in either picture; it differs beyond a shift when no
/// pixel of the other picture within one pixel of it (in either direction of comparison) comes
/// within `tolerance` in every channel.
struct PictureDifference {
    int maxDiff = 0;        // largest channel difference, pixel for pixel
    double meanDiff = 0.0;  // mean channel difference over every pixel
    size_t drawn = 0;
    size_t differing = 0;  // drawn pixels that differ beyond a one-pixel shift
    int worstShifted = 0;  // largest channel difference left after the best shift
    double differingShare() const { return drawn == 0 ? 0.0 : double(differing) / drawn; }
};

inline PictureDifference comparePictures(const RgbaImage& a, const RgbaImage& b,
                                         const Rgba& background, int tolerance) {
    PictureDifference d;
    if (a.width != b.width || a.height != b.height) {
        d.maxDiff = 255;
        d.meanDiff = 255.0;
        d.drawn = d.differing = 1;
        return d;
    }
    const int w = a.width, h = a.height;
    auto at = [w](const RgbaImage& image, int x, int y) {
        return image.pixels.data() + (static_cast<size_t>(y) * w + x) * 4;
    };
    auto channelDiff = [](const uint8_t* p, const uint8_t* q) {
        return std::max({std::abs(p[0] - q[0]), std::abs(p[1] - q[1]), std::abs(p[2] - q[2])});
    };
    // The smallest difference between p and the pixels of `other` round (x, y).
    auto bestShift = [&](const uint8_t* p, const RgbaImage& other, int x, int y) {
        int best = 255;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const int nx = x + dx, ny = y + dy;
                if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
                best = std::min(best, channelDiff(p, at(other, nx, ny)));
            }
        return best;
    };
    double sum = 0.0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = at(a, x, y);
            const uint8_t* q = at(b, x, y);
            for (int c = 0; c < 3; ++c) sum += std::abs(p[c] - q[c]);
            d.maxDiff = std::max(d.maxDiff, channelDiff(p, q));
            const auto isBackground = [&](const uint8_t* v) {
                return v[0] == background[0] && v[1] == background[1] && v[2] == background[2];
            };
            if (isBackground(p) && isBackground(q)) continue;
            ++d.drawn;
            const int shifted = std::max(bestShift(p, b, x, y), bestShift(q, a, x, y));
            d.worstShifted = std::max(d.worstShifted, shifted);
            if (shifted > tolerance) ++d.differing;
        }
    d.meanDiff = w * h == 0 ? 0.0 : sum / (double(w) * h * 3);
    return d;
}

/// Whether two pictures of one scene agree: mean channel difference at most meanDiff, and at
/// most `share` of the drawn pixels differing by more than `tolerance` beyond a one-pixel shift.
/// The pictures are written to the temporary directory when they do not agree (always, with
/// ORVO_WRITE_COMPARED set, to be looked at).
inline ::testing::AssertionResult samePicture(const RgbaImage& want, const RgbaImage& got,
                                              const std::string& name, const Rgba& background,
                                              int tolerance = 16, double meanDiff = 1.0,
                                              double share = 0.005) {
    const PictureDifference d = comparePictures(want, got, background, tolerance);
    std::ostringstream figures;
    figures << name << ": max " << d.maxDiff << ", mean " << d.meanDiff << " (allowed " << meanDiff
            << "), " << d.differing << " of " << d.drawn << " drawn pixels differ by more than "
            << tolerance << " beyond a 1-pixel shift (allowed " << share * 100
            << " %), worst after the shift " << d.worstShifted;
    const bool same = d.drawn > 0 && d.meanDiff <= meanDiff && d.differingShare() <= share;
    if (same && std::getenv("ORVO_WRITE_COMPARED") == nullptr)
        return ::testing::AssertionSuccess() << figures.str();
    std::string error;
    const auto dir = std::filesystem::temp_directory_path();
    writePng((dir / ("orvo-" + name + ".want.png")).string(), want.width, want.height, want.pixels,
             RowOrder::TopDown, error);
    writePng((dir / ("orvo-" + name + ".got.png")).string(), got.width, got.height, got.pixels,
             RowOrder::TopDown, error);
    if (same) return ::testing::AssertionSuccess() << figures.str();
    return ::testing::AssertionFailure() << figures.str() << "; written to " << dir.string();
}

/// Whether a picture of the shader back end is tests/data/pictures/<name>.png within a one-pixel
/// shift (samePicture's defaults), on the reference's ground (its top left pixel); `as` names the
/// pictures written when it is not. A picture of nothing but the ground has to be the very same.
inline ::testing::AssertionResult matchesPictureWithinAShift(const RgbaImage& got,
                                                             const std::string& name,
                                                             const std::string& as) {
    const RgbaImage want = readPicture(dataPath("pictures/" + name + ".png"));
    if (want.pixels.size() < 4) return ::testing::AssertionFailure() << "no reference " << name;
    if (got.width == want.width && got.pixels == want.pixels) return ::testing::AssertionSuccess();
    const auto same = samePicture(want, got, as, {want.pixels[0], want.pixels[1], want.pixels[2], 255});
    std::printf("%s\n", same.message());
    return same;
}

struct SurfaceRig {
    OffscreenSurface surface;
    GlContext* context = nullptr;

    SurfaceRig(int width, int height, GlApi api = GlApi::Compatibility)
        : surface(width, height, api) {}

    int width() const { return surface.width(); }
    int height() const { return surface.height(); }

    /// A current context with window pixels one to one; fails the test when there is none.
    void bareContext() {
        ASSERT_TRUE(surface.valid()) << surface.lastError();
        context = surface.createContext();
        ASSERT_NE(context, nullptr) << surface.lastError();
        ASSERT_TRUE(surface.makeCurrent(context)) << surface.lastError();
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, width(), 0, height(), -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }

    /// A buffer, bottom row first as GL reads it.
    std::vector<uint8_t> read(DrawBuffer buffer) {
        std::vector<uint8_t> rgba;
        EXPECT_TRUE(surface.readPixels(buffer, rgba));
        return rgba;
    }

    /// A buffer as a picture, top row first as in a PNG file.
    RgbaImage picture(DrawBuffer buffer = DrawBuffer::Front) {
        RgbaImage image{width(), height(), read(buffer)};
        if (image.pixels.size() == size_t(width()) * height() * 4)
            flipRows(image.pixels, width(), height());
        return image;
    }

    /// The pixel at GL window coordinates (x from the left, y from the bottom).
    Rgba pixel(const std::vector<uint8_t>& rgba, int x, int y) const {
        const size_t at = (static_cast<size_t>(y) * width() + x) * 4;
        if (x < 0 || y < 0 || x >= width() || at + 3 >= rgba.size()) return {0, 0, 0, 0};
        return {rgba[at], rgba[at + 1], rgba[at + 2], rgba[at + 3]};
    }
};

/// Mouse coordinates (y down) in a window.
struct MousePoint {
    int x, y;
};

struct RenderRig : SurfaceRig {
    ViewerSettings settings;
    Renderer renderer;
    Graph graph;

    explicit RenderRig(int width = 400, int height = 300, GlApi api = GlApi::Compatibility)
        : SurfaceRig(width, height, api), renderer(settings, surface), graph(settings) {
        applyWindowInitialisation(settings);
        scaleBudget(settings.sliceBudgetSec, settings.sliceBudgetUsec);
        // Refinement runs to its end in these tests; a test of the limit sets its own.
        settings.refineLimitSec = 3600;
        // Every label above the threshold, drawn as each node is: the picture is then the same
        // however the frame is sliced. Tests of labels that never overlap choose that rule.
        settings.labelsOverlap = 1;
    }

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
        // Every place worked out now, so that a test moving one node by hand moves only it.
        for (const Node* n : graph.nodes) graph.globalTransform(*n);
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

    /// initialise + load, failing the test when either fails.
    void startText(const std::string& text) {
        ASSERT_TRUE(initialise()) << surface.lastError();
        ASSERT_TRUE(loadText(text));
    }
    void start(const std::string& dataFile) {
        ASSERT_TRUE(initialise()) << surface.lastError();
        ASSERT_TRUE(loadFile(dataPath(dataFile))) << dataFile;
    }

    /// A bundled example as the viewer opens it: labels that never overlap, and one slice for
    /// the whole frame, so that which labels win does not depend on the machine's speed.
    void startExample(const std::string& example) {
        ASSERT_TRUE(initialise()) << surface.lastError();
        ASSERT_TRUE(loadFile(std::string(ORVO_SOURCE_DIR) + "/examples/" + example)) << example;
        settings.labelsOverlap = 0;
        settings.sliceBudgetSec = 3600;
    }

    /// A frame as the viewer's redraw draws it, then idle steps until refinement ends.
    void drawAll() {
        renderer.drawFrame();
        renderer.setKeepRedrawing(1);
        for (int i = 0; i < 1000000 && renderer.keepRedrawing(); ++i) renderer.idleStep();
    }

    /// Where a layout point is drawn: window pixels from the bottom left, and depth.
    ProjPoint windowPosition(const ProjPoint& layoutPoint) const {
        return dehomogenized(
            renderer.screenMatrix().apply(renderer.viewTransform().apply(layoutPoint)));
    }
    ProjPoint windowPosition(const Node& n) const {
        return windowPosition(graph.positionOf(n));
    }

    MousePoint mouseAt(const ProjPoint& window) const {
        return {static_cast<int>(std::lround(window.x)),
                height() - static_cast<int>(std::lround(window.y))};
    }

    /// The mouse position a fraction t of the way along a link as drawn.
    MousePoint alongLink(const Link& link, double t) const {
        const ProjPoint from = windowPosition(graph.positionOf(*link.fromNode));
        const ProjPoint to = windowPosition(graph.positionOf(*link.toNode));
        return mouseAt(ProjPoint(from.x + t * (to.x - from.x), from.y + t * (to.y - from.y), 0, 1));
    }

    /// The mouse position `pixels` to the side of a node's centre, off the end of its parent link
    /// (which was drawn before the node, and so is hit there first).
    MousePoint besideParentLink(const Node& n, double pixels) const {
        const ProjPoint at = windowPosition(n);
        const ProjPoint from = windowPosition(graph.positionOf(*n.parentLink->fromNode));
        const double dx = at.x - from.x, dy = at.y - from.y, len = std::hypot(dx, dy);
        return mouseAt(ProjPoint(at.x - pixels * dy / len, at.y + pixels * dx / len, 0, 1));
    }

    Node* node(std::string_view id) const { return graph.findNode(id); }

    /// What a pick's name stands for: a node's id, "link " and a link's id, or "nothing".
    std::string nameOf(uint32_t name) const {
        if (const Node* n = renderer.nodeNamed(static_cast<int32_t>(name))) return std::string(n->id);
        const Link* k = renderer.linkNamed(static_cast<int32_t>(name));
        return k != nullptr ? "link " + k->linkId() : "nothing";
    }
};

/// Whether Mesa here makes a context of that kind; the reason when it does not.
inline bool offered(GlApi api, std::string& why) {
    OffscreenSurface surface(8, 8, api);
    if (surface.valid() && surface.createContext() != nullptr) return true;
    why = surface.lastError();
    return false;
}

/// The shader back end's kinds of GL that Mesa offers here, saying which it does not and why.
inline std::vector<GlApi> offeredModernApis() {
    std::vector<GlApi> apis;
    for (const GlApi api : {GlApi::Es3, GlApi::Core33}) {
        std::string why;
        if (offered(api, why)) {
            apis.push_back(api);
        } else {
            std::printf("skipped: Mesa offers no %s context here: %s\n", glApiName(api), why.c_str());
        }
    }
    return apis;
}

/// A step of a case of tests/data/pictures/frames.txt: a setting before the frame, or what is
/// done to the finished frame.
inline void takeFrameStep(RenderRig& rig, const std::string& step) {
    std::istringstream words(step);
    std::string verb, page;
    int x = 0, y = 0;
    words >> verb;
    if (verb == "limit") {
        words >> rig.settings.nodeGenerationLimit;
    } else if (verb == "labels") {
        words >> rig.settings.labelChoice;
    } else if (verb == "red-centre") {
        rig.settings.redCentreNode = 1;
    } else if (verb == "no-sphere") {
        rig.settings.drawSphere = 0;
    } else if (verb == "labels-right") {
        rig.renderer.setLabelRight(1);
    } else if (verb == "red-highlight") {
        rig.settings.highlightColor = {1.0f, 0.0f, 0.0f, 1.0f};
    } else if (verb == "select" || verb == "unselect") {
        words >> page;
        rig.renderer.markSelected(*rig.node("http://site.example/" + page), verb == "select");
    } else if (verb == "hover") {
        words >> x >> y;
        rig.renderer.hoverHighlight(x, y, 0, 0);
    } else {
        ADD_FAILURE() << "no such step: " << step;
    }
}

/// The cases of tests/data/pictures/frames.txt, each drawn by drawFrameCase on an initialised
/// rig of 200 x 150 and compared with the picture its name starts with.
inline std::vector<OutlineCase> frameCases() { return outlineCases("pictures/frames.txt"); }
inline std::string framePicture(const OutlineCase& c) { return c.name.substr(0, c.name.find(' ')); }
inline void drawFrameCase(RenderRig& rig, const OutlineCase& c) {
    ASSERT_TRUE(c.arguments == "-"
                    ? rig.loadText(c.input)
                    : rig.loadFile(std::string(ORVO_SOURCE_DIR) + "/" + c.arguments));
    std::istringstream steps(c.expected);
    std::string step;
    while (std::getline(steps, step) && step != "frame") takeFrameStep(rig, step);
    rig.drawAll();
    while (std::getline(steps, step)) takeFrameStep(rig, step);
}

/// A text graph: a root with `fanout` children per node, `depth` levels below it.
inline std::string treeGraphText(int fanout, int depth) {
    std::string text;
    std::vector<std::pair<std::string, int>> stack{{"http://tree.example/n", 0}};  // path, level
    while (!stack.empty()) {
        auto [path, level] = stack.back();
        stack.pop_back();
        text += std::to_string(level) + " " + path + ".html x html main\n";
        for (int i = fanout - 1; i >= 0 && level < depth; --i)
            stack.emplace_back(path + "/" + std::to_string(i), level + 1);
    }
    return text;
}

}  // namespace orvo::testing
