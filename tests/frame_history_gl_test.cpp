// A frame depends only on where it starts, not on a frame before it that was cut short.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "render/renderer.h"
#include "render_gl_rig.h"

namespace orvo {
namespace {

using testing::RenderRig;

// The root's children a, c0..c9 and b; a link from a2 to b besides the tree.
std::string graphWithACrossLink() {
    std::string text = "0 r x\n1 a x\n2 a1 x\n2 a2 x\n3 b x\n";
    for (int i = 0; i < 10; ++i) text += "1 c" + std::to_string(i) + " x\n";
    return text + "1 b x\n";
}

std::set<std::string> linksOfAFrameFromA1(RenderRig& rig) {
    rig.graph.setOutLinksShown("a2", 1, 0);
    rig.settings.linkGenerationLimit = 3;
    rig.settings.sliceBudgetSec = 3600;
    rig.renderer.setCentreNode(rig.node("a1"));
    rig.drawAll();
    std::set<std::string> links;
    for (const Link* k : rig.renderer.drawnLinks()) {
        links.insert(std::string(k->fromId()) + ">" + std::string(k->toId()));
    }
    return links;
}

TEST(FrameGl, AFrameCutShortLeavesNothingToTheNext) {
    RenderRig fresh;
    ASSERT_NO_FATAL_FAILURE(fresh.startText(graphWithACrossLink()));
    const std::set<std::string> want = linksOfAFrameFromA1(fresh);
    ASSERT_FALSE(want.empty());
    ASSERT_EQ(want.count("a2>b"), 0u);  // a2 and b lie at and past the link generation limit

    // A frame from the root, one node per slice, is stopped by the refinement limit while most
    // of the root's children wait to be drawn.
    RenderRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.startText(graphWithACrossLink()));
    rig.settings.sliceBudgetSec = 0;
    rig.settings.sliceBudgetUsec = 1;
    rig.renderer.setCentreNode(rig.node("r"));
    rig.renderer.drawFrame();
    rig.renderer.setKeepRedrawing(1);
    ASSERT_EQ(rig.renderer.idleStep(), 1);
    ASSERT_FALSE(rig.node("b")->isDrawn());
    rig.settings.refineLimitSec = 0;
    rig.settings.refineLimitUsec = 0;
    EXPECT_EQ(rig.renderer.idleStep(), 0);
    rig.settings.refineLimitSec = 3600;

    EXPECT_EQ(linksOfAFrameFromA1(rig), want);
}

}  // namespace
}  // namespace orvo
