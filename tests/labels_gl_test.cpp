// Labels on a real Mesa context: the threshold, where a label is anchored and which labels win
// at the bundled examples' start views (their text is in the renderer's reference pictures).

#include <algorithm>

#include "render_gl_rig.h"

namespace orvo {
namespace {

using testing::RenderRig;

// Where labels stand, left or right of their nodes, is in the renderer's reference pictures.
TEST(LabelsGl, TheThresholdFollowsTheWindowAndTheLabelSize) {
    RenderRig rig(800, 400);
    ASSERT_TRUE(rig.initialise()) << rig.surface.lastError();
    EXPECT_FLOAT_EQ(rig.renderer.labelThreshold(), 16.0f);  // 2 % of the width
    rig.settings.useWindowAspect = 1;
    rig.renderer.updateProjection();
    EXPECT_FLOAT_EQ(rig.renderer.labelThreshold(), 8.0f);  // 2 % of the smaller side
    // A plain resize keeps the threshold until it is recomputed.
    rig.settings.labelSize = 20.0f;
    rig.renderer.resize(400, 300);
    EXPECT_FLOAT_EQ(rig.renderer.labelThreshold(), 8.0f);
    rig.renderer.updateLabelThreshold();
    EXPECT_FLOAT_EQ(rig.renderer.labelThreshold(), 6.0f);

    // With a threshold above every node none is labelled; sizes are kept.
    ASSERT_TRUE(rig.loadFile(testing::dataPath("render_small.graph")));
    rig.settings.labelSize = 100.0f;
    rig.renderer.updateLabelThreshold();
    rig.drawAll();
    EXPECT_TRUE(rig.renderer.drawnLabels().empty());
    EXPECT_GT(rig.node("http://site.example/index.html")->apparentSize, 0.0);
}

// The bundled examples at their start view, as the viewer opens them in an 800 x 600 window.
class StartViewLabels : public ::testing::TestWithParam<const char*> {};

TEST_P(StartViewLabels, NeverOverlapAndTheFirstGenerationsLargestNodesHaveTheirs) {
    RenderRig rig(800, 600);
    rig.startExample(GetParam());
    rig.drawAll();
    const auto& labels = rig.renderer.drawnLabels();
    EXPECT_GE(labels.size(), 20u);
    for (size_t i = 0; i < labels.size(); ++i)
        for (size_t j = i + 1; j < labels.size(); ++j)
            EXPECT_FALSE(labels[i].box.overlaps(labels[j].box))
                << labels[i].node->id << " and " << labels[j].node->id;
    const Node* root = rig.renderer.centreNode();
    ASSERT_NE(root, nullptr);
    std::vector<const Node*> firstGeneration(root->children.begin(), root->children.end());
    ASSERT_GE(firstGeneration.size(), 3u);
    std::sort(firstGeneration.begin(), firstGeneration.end(),
              [](const Node* a, const Node* b) { return a->apparentSize > b->apparentSize; });
    for (size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(firstGeneration[i]->flags & Labelled) << firstGeneration[i]->id;

    // Nodes big enough whose label was left out for another: the selected and the hovered one
    // get theirs all the same.
    std::vector<Node*> leftOut;
    for (Node* n : rig.renderer.drawnNodes())
        if (n->apparentSize > rig.renderer.labelLimit() && !(n->flags & Labelled))
            leftOut.push_back(n);
    ASSERT_GE(leftOut.size(), 2u);
    rig.renderer.markSelected(*leftOut[0], 1);
    EXPECT_TRUE(leftOut[0]->flags & Labelled);
    rig.drawAll();  // and in the frames after
    EXPECT_TRUE(leftOut[0]->flags & Labelled);
    bool hovered = false;
    for (Node* n : leftOut) {
        const ProjPoint at = rig.windowPosition(*n);
        const int x = static_cast<int>(at.x), y = rig.height() - 1 - static_cast<int>(at.y);
        if (n == leftOut[0] || n->flags & Labelled || n->apparentSize < 5.0 ||
            rig.renderer.pick(x, y) != static_cast<uint32_t>(n->index)) {
            continue;
        }
        rig.renderer.hoverHighlight(x, y, 0, 0);
        EXPECT_TRUE(n->flags & Labelled) << n->id;
        hovered = true;
        break;
    }
    EXPECT_TRUE(hovered) << "no node without a label could be hovered";

    // The old rule: every node above the threshold gets its label, overlaps and all.
    rig.settings.labelsOverlap = 1;
    rig.drawAll();
    size_t above = 0;
    for (const Node* n : rig.renderer.drawnNodes())
        above += n->apparentSize > rig.renderer.labelThreshold();
    EXPECT_EQ(rig.renderer.drawnLabels().size(), above);
}

INSTANTIATE_TEST_SUITE_P(BundledExamples, StartViewLabels,
                         ::testing::Values("sqlite-doc.graph", "site.graph"));

}  // namespace
}  // namespace orvo
