// The window glue on an offscreen Mesa context: start-up settings, the guards before a file is
// loaded, long ids.
#include <tuple>

#include "glue/window_settings.h"
#include "tests/glue/glue_rig.h"

namespace orvo {
namespace {

using GlueGlTest = GlueRig;

TEST_F(GlueGlTest, BeforeTheFirstLoadEventsOnlyRecordTheSizeAndSettingsKeepTheirStartUpValues) {
    EXPECT_TRUE(glue->viewerCreated() && !glue->graphLoaded());
    // The window's own values are in place (they differ from the settings' defaults); the pick
    // budget and the window aspect are untouched until a file is loaded.
    ViewerSettings initialised;
    applyWindowInitialisation(initialised);
    const auto own = [&](const ViewerSettings& s) {
        return std::tuple(s.loadFlags, s.passiveDecimation, s.animationStep);
    };
    EXPECT_EQ(own(settings()), own(initialised));
    const auto loadSet = [&] {
        return std::vector{settings().pickBudgetSec, settings().pickBudgetUsec,
                           settings().useWindowAspect, settings().groupColumn};
    };
    EXPECT_EQ(loadSet(), (std::vector{0, 100000, 0, 0}));
    glue->reshapeViewer(260, 180);
    EXPECT_EQ(std::pair(glue->lastWidth(), glue->lastHeight()), std::pair(260, 180));
    glue->displayViewer();
    glue->mouseButtonViewer(0, 0, 10, 10, 0, 0);
    glue->mouseButtonViewer(0, 1, 10, 10, 0, 0);
    glue->mouseMoveViewer(20, 20, 0, 0);
    glue->mouseDragViewer(30, 30, 4, 8);
    EXPECT_EQ(glue->idleViewer(), 0);
    // Every key works on the settings before any file, and draws nothing.
    for (int c = 0; c < 256; ++c) glue->keyViewer(c);
    glue->keyViewer(0x173);  // only the low 8 bits count: this is "s"
    EXPECT_EQ(settings().drawSphere, 1) << "s pressed twice";
    // A failed open leaves the glue without a graph or a context.
    EXPECT_EQ(glue->openGraphFile(dataPath("no_such_file.graph")), 0);
    EXPECT_NE(glue->openError().find("No such file"), std::string::npos);
    EXPECT_FALSE(glue->graphLoaded());
    EXPECT_TRUE(viewer().graph() == nullptr && viewer().renderer().context() == nullptr);
    EXPECT_EQ(surface->swapCount(), 0);

    // The first load hands exactly the recorded size to the renderer, and sets its own values.
    settings().groupColumn = 1;
    settings().useWindowAspect = 0;  // "K" switched it
    open("viewer_groups.graph");
    EXPECT_TRUE(glue->graphLoaded());
    EXPECT_EQ(viewer().renderer().viewport(), (std::array<int, 4>{0, 0, 260, 180}));
    EXPECT_EQ(loadSet(), (std::vector{5, 0, 1, 0}));
    // From now on sizes reach the renderer, and paints draw.
    glue->reshapeViewer(kWidth, kHeight);
    EXPECT_EQ(viewer().renderer().viewport(), (std::array<int, 4>{0, 0, kWidth, kHeight}));
    const int swaps = surface->swapCount();
    glue->displayViewer();
    EXPECT_EQ(surface->swapCount(), swaps + 1);
    // The group colour table, the same after a second load.
    for (int load = 0; load < 2; ++load) {
        for (const GroupColourEntry& e : kGroupColourTable) {
            const float* c = graph().groupColor(e.kind, e.name);
            ASSERT_NE(c, nullptr) << e.name;
            EXPECT_EQ((std::array{c[0], c[1], c[2]}), (std::array{e.red, e.green, e.blue}))
                << e.name;
        }
        open("viewer_second.graph");
    }
}

TEST_F(GlueGlTest, IdsLongerThanTheOldBufferAreKeptWhole) {
    open("viewer_groups.graph");
    // Files do not carry such ids (the reader's lines are shorter), but nothing in the glue may
    // cut them: a node with a 1500-character id, and another whose id is its first 1023 bytes.
    const std::string longId = "http://h/" + std::string(1500, 'q') + ".html";
    Node* root = graph().nodes[0];
    Node* n = graph().addRecord(root, longId, 1, 0);
    Node* cut = graph().addRecord(root, longId.substr(0, 1023), 1, 0);
    ASSERT_TRUE(n != nullptr && cut != nullptr);
    const auto selected = [&] {
        return std::pair<bool, bool>(n->flags & Selected, cut->flags & Selected);
    };
    glue->onPicked(longId, 0, 0);
    EXPECT_EQ(glue->lastSelectedId(), longId);
    EXPECT_EQ(selected(), std::pair(true, false));
    // The kept id is looked up whole by the keys that use it: "S" selects its subtree.
    glue->keyViewer('S');
    EXPECT_EQ(selected(), std::pair(true, false));
    glue->keyViewer('S');
    EXPECT_EQ(selected(), std::pair(false, false));
    glue->onPicked(longId, 0, 0);
    glue->onPicked(longId, 0, 0);  // the same node again: unselected
    EXPECT_EQ(selected(), std::pair(false, false));
    EXPECT_EQ(glue->lastSelectedId(), longId);
}

}  // namespace
}  // namespace orvo
