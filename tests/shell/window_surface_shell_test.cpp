// The wxGLCanvas surface in a real double-buffered GLX window under X: a continuation slice
// must add to the picture on screen, read back from the X server.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <wx/evtloop.h>
#include <wx/frame.h>
#include <wx/init.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "glue/glue.h"
#include "shell/gl_view_window.h"
#include "tests/shell/toolkit.h"
#include "tests/shell/x_screen.h"

namespace orvo {
namespace {

bool isBackground(const std::array<uint8_t, 3>& p) {
    return p[0] == 255 && p[1] == 255 && p[2] == 255;
}

TEST(WindowSurfaceTest, AContinuationSliceAddsToThePictureOnScreen) {
    ASSERT_TRUE(startToolkit()) << "no X display";
    auto* frame =
        new wxFrame(nullptr, wxID_ANY, "orvo window surface test", wxPoint(0, 0), wxSize(640, 480));
    Glue glue;
    auto* view = new GlViewWindow(frame, glue);
    frame->Show();
    pumpEvents(500);
    ASSERT_TRUE(view->IsShownOnScreen());

    ASSERT_EQ(glue.openGraphFile(std::string(ORVO_SOURCE_DIR) + "/examples/site.graph"), 1)
        << glue.openError();
    Viewer& viewer = *glue.viewer();
    // Only nodes and links on a white ground; a short first slice and a long refinement, so the
    // continuation has much left to add.
    viewer.setDrawSphere(0);
    viewer.setLabelChoice(0);
    viewer.settings().sliceBudgetUsec = 4000;
    viewer.settings().refineLimitSec = 60;

    glue.displayViewer();
    glFinish();
    const size_t firstSlice = viewer.renderer().drawnNodes().size();
    ASSERT_GT(firstSlice, 0u);
    pumpEvents(200);
    const wxPoint at = view->GetScreenPosition();
    const wxSize size = view->GetClientSize();
    ScreenImage before, after;
    ASSERT_TRUE(captureScreen(at.x, at.y, size.x, size.y, before));

    viewer.settings().sliceBudgetUsec = 100000;
    ASSERT_EQ(glue.idleViewer(), 1);
    glFinish();
    ASSERT_GT(viewer.renderer().drawnNodes().size(), firstSlice);
    pumpEvents(200);
    ASSERT_TRUE(captureScreen(at.x, at.y, size.x, size.y, after));

    long shownBefore = 0, kept = 0, added = 0, ground = 0;
    for (size_t i = 0; i < before.rgb.size(); ++i) {
        const bool was = !isBackground(before.rgb[i]);
        const bool is = !isBackground(after.rgb[i]);
        shownBefore += was;
        kept += was && before.rgb[i] == after.rgb[i];
        added += !was && is;
        ground += !is;
    }
    std::printf(
        "first slice: %zu nodes, %ld pixels; continuation: %zu nodes, %ld pixels added; "
        "%ld of the first slice's pixels unchanged\n",
        firstSlice, shownBefore, viewer.renderer().drawnNodes().size(), added, kept);
    std::printf("front buffer refresh: %.2f ms per swap at %dx%d\n",
                view->surface().frontCopyMicros() / 1000.0 / view->surface().swapCount(), size.x,
                size.y);
    EXPECT_GT(shownBefore, 100);
    // The first slice is still on screen, pixel for pixel (the odd one may be covered by a new
    // link)...
    EXPECT_GE(kept, shownBefore * 98 / 100);
    // ...the continuation's nodes were added to it...
    EXPECT_GT(added, 50);
    // ...and the rest of the window is still the white ground, not an old buffer.
    EXPECT_GT(ground, static_cast<long>(before.rgb.size()) / 2);

    frame->Destroy();
    pumpEvents(100);
}

}  // namespace
}  // namespace orvo
