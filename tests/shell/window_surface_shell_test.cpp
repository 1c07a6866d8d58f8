// The wxGLCanvas surface in a real double-buffered GLX window under X: a continuation slice
// must add to the picture on screen, read back from the X server.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <wx/dcclient.h>
#include <wx/frame.h>

#include <algorithm>
#include <memory>
#include <string>

#include "glue/glue.h"
#include "shell/gl_view_window.h"
#include "tests/shell/toolkit.h"
#include "tests/shell/x_screen.h"
#include "tests/test_files.h"
#include "tools/site_generator.h"

namespace orvo {
namespace {

constexpr std::array<uint8_t, 3> kWhiteBackground{255, 255, 255};

/// A view window in a frame on screen. The frame is destroyed before the glue it refers to,
/// however the test ends; while `holdPaints` is set the toolkit's paints leave the picture to
/// the test (the view is never redrawn behind its back).
class WindowSurfaceTest : public ::testing::TestWithParam<GlChoice> {
protected:
    void SetUp() override {
        ASSERT_TRUE(startToolkit()) << "no X display";
        glue = std::make_unique<Glue>();
        frame = new wxFrame(nullptr, wxID_ANY, "orvo window surface test", wxPoint(0, 0),
                            wxSize(640, 480));
        view = new GlViewWindow(frame, *glue, GetParam());
        // Bound after the view's own handler, so called before it.
        view->Bind(wxEVT_PAINT, [this](wxPaintEvent& event) {
            ++paints;
            if (holdPaints) {
                wxPaintDC validate(view);
            } else {
                event.Skip();
            }
        });
        frame->Show();
        ASSERT_TRUE(pumpUntil([&] { return view->IsShownOnScreen() && paints > 0; }))
            << "the view was never shown";
    }
    void TearDown() override {
        destroyWindow(frame);
        glue.reset();
    }

    /// The view's rectangle of the screen, once two reads in a row agree and `shown` holds.
    template <class Shown>
    bool settledCapture(ScreenImage& image, Shown shown) {
        const wxPoint at = view->GetScreenPosition();
        const wxSize size = view->GetClientSize();
        ScreenImage last;
        return pumpUntil([&] {
            if (!captureScreen(at.x, at.y, size.x, size.y, image)) return false;
            const bool settled = image.rgb == last.rgb && shown(image);
            last = image;
            return settled;
        });
    }

    std::unique_ptr<Glue> glue;
    wxFrame* frame = nullptr;
    GlViewWindow* view = nullptr;
    int paints = 0;
    bool holdPaints = false;
};

TEST_P(WindowSurfaceTest, AContinuationSliceAddsToThePictureOnScreen) {
    // 60 000 nodes: no slice of a millisecond (ten at the largest time scale) draws them all,
    // so refinement is surely left after the first slice.
    const testing::TempDir folder;
    SiteOptions options;
    options.nodes = 60000;
    ASSERT_TRUE(writeSiteGraphFile(folder / "big.graph", options));
    holdPaints = true;
    ASSERT_EQ(glue->openGraphFile(folder / "big.graph"), 1) << glue->openError();
    Viewer& viewer = *glue->viewer();
    // Shaders and buffers on a 3.3 core or ES 3.0 context of the window's own, where asked.
    EXPECT_EQ(viewer.renderer().modern(), GetParam() == GlChoice::Modern);
    // Only nodes and links on a white ground.
    viewer.setDrawSphere(0);
    viewer.setLabelChoice(0);
    testing::setBudget(viewer.settings().sliceBudgetSec, viewer.settings().sliceBudgetUsec, 1000);
    testing::setBudget(viewer.settings().refineLimitSec, viewer.settings().refineLimitUsec,
                       60000000);
    glue->displayViewer();
    glFinish();
    const size_t firstSlice = viewer.renderer().drawnNodes().size();
    ASSERT_GT(firstSlice, 0u);
    ASSERT_EQ(viewer.renderer().keepRedrawing(), 1);
    ScreenImage before, after;
    ASSERT_TRUE(settledCapture(before, [](const ScreenImage& image) {
        return std::any_of(image.rgb.begin(), image.rgb.end(),
                           [](const auto& p) { return p != kWhiteBackground; });
    })) << "the first slice never reached the screen";

    // Continuation slices until some thousands more nodes are drawn (or the graph is done). The
    // first slice may have drawn the few hundred largest nodes already (the clock of the slices
    // counts whole milliseconds), and those after them are a pixel or two each.
    while (viewer.renderer().drawnNodes().size() < firstSlice + 5000 && glue->idleViewer() != 0) {
    }
    glFinish();
    ASSERT_GT(viewer.renderer().drawnNodes().size(), firstSlice);
    ASSERT_TRUE(settledCapture(after, [&](const ScreenImage& image) {
        return image.rgb != before.rgb;
    })) << "the continuation never reached the screen";

    long shownBefore = 0, kept = 0, added = 0, ground = 0;
    for (size_t i = 0; i < before.rgb.size(); ++i) {
        const bool was = before.rgb[i] != kWhiteBackground, is = after.rgb[i] != kWhiteBackground;
        shownBefore += was;
        kept += was && before.rgb[i] == after.rgb[i];
        added += !was && is;
        ground += !is;
    }
    EXPECT_GT(shownBefore, 100);
    // The first slice is still on screen, pixel for pixel (the odd one may be covered by a new
    // link), the continuation's nodes were added to it, and the rest of the window is still the
    // white ground, not an old buffer.
    EXPECT_GE(kept, shownBefore * 98 / 100);
    EXPECT_GT(added, 20);
    EXPECT_GT(ground, static_cast<long>(before.rgb.size()) / 2);
}

// Both drawing paths draw into the window's buffers the same way.
INSTANTIATE_TEST_SUITE_P(DrawingPaths, WindowSurfaceTest,
                         ::testing::Values(GlChoice::Legacy, GlChoice::Modern),
                         [](const ::testing::TestParamInfo<GlChoice>& info) {
                             return info.param == GlChoice::Legacy ? "legacy" : "modern";
                         });

// Fills the stack below the caller's frame, where the next call's locals will lie.
[[gnu::noinline]] void fillStack(unsigned char value) {
    volatile unsigned char area[64 * 1024];
    for (volatile unsigned char& byte : area) byte = value;
}

// Shaders where the window system offers a context for them, whatever the stack held before the
// context was asked for: a zero left there by a folder's import once made the toolkit ask the X
// server for an indirect context, and the server's refusal ended the process.
TEST(WindowSurfaceContextTest, AutoMakesAContextForShadersWhateverTheStackHeld) {
    ASSERT_TRUE(startToolkit()) << "no X display";
    auto* frame =
        new wxFrame(nullptr, wxID_ANY, "orvo context test", wxPoint(0, 0), wxSize(320, 240));
    auto* canvas = new wxGLCanvas(frame, wxID_ANY, WxGlSurface::canvasAttributes());
    frame->Show();
    ASSERT_TRUE(pumpUntil([&] { return canvas->IsShownOnScreen(); }));
    WxGlSurface surface(*canvas, GlChoice::Auto);
    for (const unsigned char held : {0x00, 0xff}) {
        fillStack(held);
        GlContext* context = surface.createContext();
        ASSERT_NE(context, nullptr) << int(held);
        // Mesa under X offers both kinds; the window asks for 3.3 core first.
        EXPECT_EQ(surface.api(), GlApi::Core33) << int(held);
        ASSERT_TRUE(surface.makeCurrent(context));
        const std::string version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
        EXPECT_NE(version.find("Core Profile"), std::string::npos) << version;
        surface.releaseCurrent();
    }
    destroyWindow(frame);
}

}  // namespace
}  // namespace orvo
