// A slice's cubes and links drawn as vertex arrays give the picture the per-node calls give:
// the same nodes in the same order, and pixels that differ only where rounding of the corners
// carried through each node's transform on the CPU moves an edge by a pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "render_gl_rig.h"
#include "tools/site_generator.h"

namespace orvo {
namespace {

using testing::RenderRig;

struct Drawing {
    std::vector<Node*> nodes;
    RgbaImage picture;
};

Drawing drawWith(RenderRig& rig, bool batched) {
    rig.renderer.setBatchedDrawing(batched);
    rig.drawAll();
    return {rig.renderer.drawnNodes(), rig.picture()};
}

// The same nodes in the same order; at most 0.5 % of the drawn pixels differing by more than
// `tolerance` beyond a one-pixel shift.
void expectAlike(const Drawing& a, const Drawing& b, const Colour& background,
                 const std::string& what, int tolerance = 0) {
    EXPECT_EQ(b.nodes, a.nodes) << what;
    const auto channel = [&](size_t i) { return uint8_t(background[i] * 255 + 0.5f); };
    const testing::PictureDifference d = testing::comparePictures(
        a.picture, b.picture, {channel(0), channel(1), channel(2), 255}, tolerance);
    EXPECT_GT(d.drawn, 10000u) << what;
    EXPECT_LE(d.differingShare(), 0.005) << what << ": " << d.differing << " of " << d.drawn;
}

void expectTheSamePicture(RenderRig& rig, const std::string& what) {
    const Drawing perNode = drawWith(rig, false);
    expectAlike(perNode, drawWith(rig, true), rig.settings.backgroundColor, what);
}

TEST(BatchedDrawing, GivesThePictureOfPerNodeCalls) {
    for (const char* example : {"site.graph", "sqlite-doc.graph", "worked-example.graph"}) {
        RenderRig rig(800, 600);
        ASSERT_NO_FATAL_FAILURE(rig.startExample(example));
        expectTheSamePicture(rig, example);
        // Every label, an outline on every node, and the non-tree links (one pixel wide).
        rig.settings.labelsOverlap = 1;
        rig.settings.outlineMinSize = 0.0;
        rig.graph.setAllLinksShown(1);
        expectTheSamePicture(rig, std::string(example) + ", every label, outline and link");
    }
    RenderRig rig(800, 600);
    ASSERT_NO_FATAL_FAILURE(rig.startText(generateSiteGraph(SiteOptions{200000, 1})));
    rig.settings.sliceBudgetSec = 3600;
    expectTheSamePicture(rig, "generated site of 200 000 nodes");
}

// Far from where the layout began, a node's transform and the view hold entries in the
// thousands (GL multiplying them in single precision drew spikes across the picture). The layout
// carried 9 away with the view carried back gives the picture and the pick of near the origin.
TEST(BatchedDrawing, FarFromTheOriginGivesThePictureAndPickOfNearIt) {
    for (const bool batched : {true, false}) {
        RenderRig rig(800, 600);
        ASSERT_NO_FATAL_FAILURE(rig.startExample("site.graph"));
        const Drawing nearIt = drawWith(rig, batched);
        const Node& top = *rig.graph.nodes[rig.graph.topNodeIndex()];
        const testing::MousePoint onTop = rig.mouseAt(rig.windowPosition(top));
        ProjTransform away, back;
        away.setTranslationBy(9.0, 0.0, 0.0);
        back.setTranslationBy(-9.0, 0.0, 0.0);
        for (Node* n : rig.graph.nodes)
            rig.graph.transforms().set(*n, rig.graph.globalTransform(*n) * away);
        rig.renderer.setViewTransform(back * rig.renderer.viewTransform());
        // A link's shading runs over its ends' homogeneous scales, which the move changes:
        // colours may differ by a quarter, places may not.
        expectAlike(nearIt, drawWith(rig, batched), rig.settings.backgroundColor,
                    batched ? "batched" : "per node", 64);
        EXPECT_EQ(rig.renderer.pick(onTop.x, onTop.y), uint32_t(top.index)) << batched;
    }
}

}  // namespace
}  // namespace orvo
