// A glue on an offscreen surface, set up as the view window sets it up, and what the glue tests
// ask of it: where a node is seen and drawn, a finished picture, a pixel, the front buffer.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "glue/glue.h"
#include "platform/draw_process.h"
#include "platform/offscreen_surface.h"
#include "platform/png_image.h"
#include "tests/glue/golden.h"
#include "tests/render_gl_rig.h"
#include "tests/test_files.h"
#include "tests/test_time.h"

namespace orvo {

// A drawing program keeps its heap from the start (which also links, in sanitizer builds, the
// suppressions for what the GL driver itself never frees).
inline const bool kHeapKeptForDrawing = (keepHeapForDrawing(), true);

using testing::dataPath;

#ifdef ORVO_SOURCE_DIR
inline const std::string kSite = std::string(ORVO_SOURCE_DIR) + "/examples/site.graph";
#endif

class GlueRig : public ::testing::Test {
protected:
    static constexpr int kWidth = 400, kHeight = 300;

    void SetUp() override {
        ASSERT_TRUE(surface->valid()) << surface->lastError();
        makeGlue();
    }

    /// A fresh glue with this converter on the surface, in place of the one there was.
    void makeGlue(InputConverter converter = {}) {
        glue = std::make_unique<Glue>(std::move(converter));
        glue->initViewer(*surface, kWidth, kHeight);
        glue->reshapeViewer(kWidth, kHeight);
        ViewerSettings& s = glue->viewer()->settings();
        testing::scaleBudget(s.sliceBudgetSec, s.sliceBudgetUsec);
        testing::scaleBudget(s.refineLimitSec, s.refineLimitUsec);
    }

    void open(const std::string& name) {
        const std::string path = name.find('/') == std::string::npos ? dataPath(name) : name;
        ASSERT_EQ(glue->openGraphFile(path, request), 1) << glue->openError();
    }
    /// Slices and refinement long enough to draw every node, so that what is drawn does not
    /// depend on the machine's speed.
    void drawWhole() { settings().sliceBudgetSec = settings().refineLimitSec = 3600; }
    /// Idle time until the picture is finished (and the search index built).
    void idleToTheEnd() {
        int steps = 0;
        while (glue->idleViewer() != 0 && ++steps < 100000) {
        }
        EXPECT_LT(steps, 100000) << "the refinement never ends";
    }
    /// A frame refined to its end (idle steps draw into the front buffer).
    std::vector<uint8_t> finishedPicture() {
        glue->displayViewer();
        idleToTheEnd();
        return rig.read(DrawBuffer::Front);
    }
    /// How many pixels of two RGBA pictures of the same size differ in colour.
    static size_t pixelsUnlike(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
        size_t differing = 0;
        for (size_t i = 0; i + 3 < a.size() && i + 3 < b.size(); i += 4)
            differing += a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2];
        return differing;
    }

    Viewer& viewer() { return *glue->viewer(); }
    ViewerSettings& settings() { return glue->viewer()->settings(); }
    Graph& graph() { return *glue->viewer()->graph(); }
    Node& node(const char* id) {
        Node* n = graph().findNode(id);
        EXPECT_NE(n, nullptr) << id;
        return *n;
    }
    Node& top() { return *graph().nodes[static_cast<size_t>(settings().topNodeIndex)]; }
    void key(char c) { glue->keyViewer(static_cast<unsigned char>(c)); }
    void keys(const std::string& typed) {
        for (char c : typed) key(c);
    }

    /// Where the node is seen (in the unit ball), and how far from the view centre.
    ProjPoint seen(const Node& n) {
        return dehomogenized(
            (graph().globalTransform(n) * viewer().renderer().viewTransform())
                .apply(ProjPoint(0, 0, 0, 1)));
    }
    double offCentre(const Node& n) { return seen(n).norm3(); }
    bool centred(const Node& n) { return offCentre(n) < 0.05; }
    /// The window pixel (y down) where the node is drawn.
    std::pair<int, int> whereDrawn(const Node& n) {
        const ProjPoint p = dehomogenized(viewer().renderer().screenMatrix().apply(seen(n)));
        return {static_cast<int>(p.x), surface->height() - static_cast<int>(p.y)};
    }
    /// The pixel (RGB) at window coordinates (x, y), y growing downwards, of a buffer.
    std::array<int, 3> pixel(DrawBuffer buffer, int x, int y) {
        const testing::Rgba p = rig.pixel(rig.read(buffer), x, rig.height() - 1 - y);
        return {p[0], p[1], p[2]};
    }

    testing::SurfaceRig rig{kWidth, kHeight};  // its picture() is the front buffer, top row first
    OffscreenSurface* const surface = &rig.surface;
    std::unique_ptr<Glue> glue;
    OpenRequest request;  // what open() passes
};

}  // namespace orvo
