// A glue on an offscreen surface, set up as the view window sets it up, for the glue and key
// tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "glue/glue.h"
#include "platform/draw_process.h"
#include "platform/offscreen_surface.h"
#include "tests/test_files.h"
#include "tests/test_time.h"

namespace orvo {

// A drawing program keeps its heap from the start (which also links, in sanitizer builds, the
// suppressions for what the GL driver itself never frees).
inline const bool kHeapKeptForDrawing = (keepHeapForDrawing(), true);

using testing::dataPath;

class GlueRig : public ::testing::Test {
protected:
    static constexpr int kWidth = 400, kHeight = 300;

    void SetUp() override {
        surface = std::make_unique<OffscreenSurface>(kWidth, kHeight);
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

    void open(const char* name) { ASSERT_EQ(glue->openGraphFile(dataPath(name), request), 1); }

    Viewer& viewer() { return *glue->viewer(); }
    ViewerSettings& settings() { return glue->viewer()->settings(); }
    Graph& graph() { return *glue->viewer()->graph(); }
    Node& node(const char* id) {
        Node* n = graph().findNode(id);
        EXPECT_NE(n, nullptr) << id;
        return *n;
    }
    void key(char c) { glue->keyViewer(static_cast<unsigned char>(c)); }

    /// The pixel (RGB) at window coordinates (x, y), y growing downwards, of a buffer.
    std::array<int, 3> pixel(DrawBuffer buffer, int x, int y) {
        std::vector<uint8_t> rgba;
        EXPECT_TRUE(surface->readPixels(buffer, rgba));
        const size_t at = (static_cast<size_t>(kHeight - 1 - y) * kWidth + x) * 4;
        return {rgba[at], rgba[at + 1], rgba[at + 2]};
    }

    std::unique_ptr<OffscreenSurface> surface;
    std::unique_ptr<Glue> glue;
    OpenRequest request;  // what open() passes
};

}  // namespace orvo
