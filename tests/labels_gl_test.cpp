// Labels on a real Mesa context with the system's label font: threshold, placement, inverted
// highlight and the left-edge rule.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "render/renderer.h"
#include "render_gl_rig.h"

namespace orvo {
namespace {

using testing::dark;
using testing::RenderRig;

TEST(LabelsGl, ThresholdFollowsTheWindowAndTheLabelSize) {
    RenderRig rig(800, 400);
    ASSERT_TRUE(rig.initialise()) << rig.surface.lastError();
    EXPECT_FLOAT_EQ(rig.renderer.labelThreshold(), 16.0f);  // 2 % of the width
    rig.settings.useWindowAspect = 1;
    rig.renderer.updateProjection();
    EXPECT_FLOAT_EQ(rig.renderer.labelThreshold(), 8.0f);  // 2 % of the smaller side
    rig.settings.labelSize = 0.0f;
    rig.renderer.updateLabelThreshold();
    EXPECT_EQ(rig.renderer.labelThreshold(), 0.0f);
    // A plain resize keeps the threshold until it is recomputed.
    rig.settings.labelSize = 20.0f;
    rig.renderer.updateLabelThreshold();
    rig.renderer.resize(400, 400);
    EXPECT_FLOAT_EQ(rig.renderer.labelThreshold(), 8.0f);
    rig.renderer.updateLabelThreshold();
    EXPECT_FLOAT_EQ(rig.renderer.labelThreshold(), 8.0f);
}

TEST(LabelsGl, FontMetricsAndTextWidth) {
    RenderRig rig;
    ASSERT_TRUE(rig.initialise()) << rig.surface.lastError();
    const FontMetrics& font = rig.renderer.fontMetrics();
    EXPECT_NE(rig.renderer.fontListBase(), 0u);
    EXPECT_TRUE(glIsList(rig.renderer.fontListBase() + 'A'));
    EXPECT_TRUE(glIsList(rig.renderer.fontListBase() + 255));
    EXPECT_GT(font.ascent, 5);
    EXPECT_LE(font.ascent, 16);
    EXPECT_GT(font.widths['W'], font.widths['i']);
    EXPECT_EQ(rig.renderer.textWidth("Wi"), font.widths['W'] + font.widths['i']);
    EXPECT_EQ(rig.renderer.textWidth(""), 0);
    // Codes above 127 use their own entries.
    EXPECT_EQ(rig.renderer.textWidth("\xe9\xe9"), 2 * font.widths[0xe9]);
    EXPECT_GT(font.widths[0xe9], 0);
}

// Dark pixels in the window strip left of a node drawn at the centre.
struct Strip {
    int count = 0;
    int leftmost = 1 << 30;
};
Strip darkLeftOf(RenderRig& rig, DrawBuffer buffer, int rightEdge) {
    const auto px = rig.read(buffer);
    const int cy = rig.height() / 2;
    Strip s;
    for (int y = cy - 4; y <= cy + 14; ++y) {
        for (int x = 0; x <= rightEdge; ++x) {
            if (dark(rig.pixel(px, x, y))) {
                ++s.count;
                s.leftmost = std::min(s.leftmost, x);
            }
        }
    }
    return s;
}

TEST(LabelsGl, LabelsAppearAboveTheThresholdOnly) {
    RenderRig rig;
    rig.start("render_small.graph");
    rig.warmUp();
    Node* root = rig.node("http://site.example/index.html");
    rig.renderer.drawFrame();
    ASSERT_GT(root->apparentSize, rig.renderer.labelThreshold());

    // The anchor is the left measuring point: in front of the cube, left of its centre.
    const ProjPoint anchor = rig.renderer.labelAnchorOf(*root);
    const double halfSize = root->apparentSize / 2.0;
    EXPECT_NEAR(anchor.x, (rig.width() + 1) / 2.0 - halfSize, 0.01);
    EXPECT_NEAR(anchor.y, (rig.height() + 1) / 2.0, 0.01);
    const int right = static_cast<int>(anchor.x) - 3;  // clear of the cube and its outline

    const Strip shown = darkLeftOf(rig, DrawBuffer::Front, right);
    const int width = rig.renderer.textWidth(root->pathLabel());
    ASSERT_EQ(root->pathLabel(), "/index.html");
    EXPECT_GT(shown.count, 30);
    EXPECT_GE(shown.leftmost, anchor.x - width - 1);
    EXPECT_LE(shown.leftmost, anchor.x - width + 6);

    rig.settings.labelChoice = 1;  // the short label: the same text here
    rig.renderer.drawFrame();
    EXPECT_GT(darkLeftOf(rig, DrawBuffer::Front, right).count, 30);

    rig.settings.labelChoice = 0;
    rig.renderer.drawFrame();
    EXPECT_EQ(darkLeftOf(rig, DrawBuffer::Front, right).count, 0);
    EXPECT_GT(root->apparentSize, 0.0);  // sizes are kept

    rig.settings.labelChoice = 2;
    rig.settings.labelSize = 100.0f;  // threshold 30 pixels: above the root's size
    rig.renderer.updateLabelThreshold();
    rig.renderer.drawFrame();
    EXPECT_EQ(darkLeftOf(rig, DrawBuffer::Front, right).count, 0);

    // Labels on the right side leave the left strip empty.
    rig.settings.labelSize = 20.0f;
    rig.renderer.updateLabelThreshold();
    rig.renderer.setLabelRight(1);
    rig.renderer.drawFrame();
    EXPECT_EQ(darkLeftOf(rig, DrawBuffer::Front, right).count, 0);
    EXPECT_NEAR(rig.renderer.labelAnchorOf(*root).x, (rig.width() + 1) / 2.0 + halfSize, 0.01);
}

TEST(LabelsGl, AHighlightedLabelIsInverted) {
    RenderRig rig;
    rig.start("render_one.graph");
    rig.warmUp();
    Node* root = rig.graph.nodes[0];
    ASSERT_EQ(root->pathLabel(), "/only.html");
    const int cx = rig.width() / 2, cy = rig.height() / 2;
    rig.renderer.hoverHighlight(cx, cy, 0, 0);
    ASSERT_TRUE(root->flags & Highlighted);

    // The box is drawn in the label colour (black), one pixel wider than the text each side.
    const FontMetrics& font = rig.renderer.fontMetrics();
    const int width = rig.renderer.textWidth(root->pathLabel());
    const ProjPoint anchor = rig.renderer.labelAnchorOf(*root);
    const double ax = anchor.x;
    const int boxRow = static_cast<int>(anchor.y) + font.ascent - 2;
    auto px = rig.read(DrawBuffer::Front);
    EXPECT_TRUE(dark(rig.pixel(px, static_cast<int>(ax - width + 1), boxRow)));
    EXPECT_TRUE(dark(rig.pixel(px, static_cast<int>(ax - 1), boxRow)));
    EXPECT_FALSE(dark(rig.pixel(px, static_cast<int>(ax - width - 4), boxRow)));
}

TEST(LabelsGl, ALeftLabelCrossingTheWindowEdgeStartsAtTheEdge) {
    RenderRig rig;
    ASSERT_TRUE(rig.initialise()) << rig.surface.lastError();
    ASSERT_TRUE(rig.loadText(
        "0 http://site.example/a/rather/long/path/to/some/page/deep/inside/the/site.html x "
        "html\n"));
    rig.warmUp();
    Node* root = rig.graph.nodes[0];
    const std::string_view text = root->pathLabel();
    const int width = rig.renderer.textWidth(text);
    const double ax = rig.renderer.labelAnchorOf(*root).x;
    ASSERT_LT(ax, width);  // the box would cross the left edge
    const FontMetrics& font = rig.renderer.fontMetrics();
    const int baseline = static_cast<int>(rig.renderer.labelAnchorOf(*root).y);

    // Leading characters are dropped and the rest starts at the edge: without the rule the
    // raster position would lie outside the window and no text would be drawn at all.
    auto px = rig.read(DrawBuffer::Front);
    int leftmost = 1 << 30, count = 0;
    for (int y = baseline - font.descent; y < baseline + font.ascent; ++y) {
        for (int x = 0; x < ax - 12; ++x) {
            if (dark(rig.pixel(px, x, y))) {
                leftmost = std::min(leftmost, x);
                ++count;
            }
        }
    }
    EXPECT_LE(leftmost, 3);
    EXPECT_GT(count, 100);

    // Highlighted, the box shows: black from the edge to one pixel right of the anchor.
    rig.renderer.hoverHighlight(rig.width() / 2, rig.height() / 2, 0, 0);
    ASSERT_TRUE(root->flags & Highlighted);
    const int row = baseline + font.ascent - 1;
    px = rig.read(DrawBuffer::Front);
    EXPECT_TRUE(dark(rig.pixel(px, 0, row)));
    EXPECT_TRUE(dark(rig.pixel(px, static_cast<int>(ax) - 1, row)));
    EXPECT_FALSE(dark(rig.pixel(px, 0, baseline + font.ascent + 2)));
}

}  // namespace
}  // namespace orvo

namespace orvo {
namespace {

// The bundled examples at their start view, as the viewer opens them in an 800 x 600 window.
class StartViewLabels : public ::testing::TestWithParam<const char*> {};

TEST_P(StartViewLabels, NeverOverlapAndTheFirstGenerationsLargestNodesHaveTheirs) {
    RenderRig rig(800, 600);
    ASSERT_TRUE(rig.initialise()) << rig.surface.lastError();
    ASSERT_TRUE(rig.loadFile(std::string(ORVO_SOURCE_DIR) + "/examples/" + GetParam()));
    rig.settings.labelsOverlap = 0;
    // One slice draws the whole frame, so that which labels win does not depend on how much of
    // it the machine draws in a slice.
    rig.settings.sliceBudgetSec = 3600;
    rig.drawAll();
    const auto& labels = rig.renderer.drawnLabels();
    EXPECT_GE(labels.size(), 20u);
    for (size_t i = 0; i < labels.size(); ++i) {
        for (size_t j = i + 1; j < labels.size(); ++j) {
            EXPECT_FALSE(labels[i].box.overlaps(labels[j].box))
                << labels[i].node->id << " and " << labels[j].node->id;
        }
    }
    const Node* root = rig.renderer.centreNode();
    ASSERT_NE(root, nullptr);
    std::vector<const Node*> firstGeneration(root->children.begin(), root->children.end());
    ASSERT_GE(firstGeneration.size(), 3u);
    std::sort(firstGeneration.begin(), firstGeneration.end(),
              [](const Node* a, const Node* b) { return a->apparentSize > b->apparentSize; });
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(firstGeneration[i]->flags & Labelled) << firstGeneration[i]->id;
    }

    // The old rule: every node above the threshold gets its label, overlaps and all.
    rig.settings.labelsOverlap = 1;
    rig.drawAll();
    size_t above = 0;
    for (const Node* n : rig.renderer.drawnNodes()) {
        above += n->apparentSize > rig.renderer.labelThreshold();
    }
    EXPECT_EQ(rig.renderer.drawnLabels().size(), above);
}

INSTANTIATE_TEST_SUITE_P(BundledExamples, StartViewLabels,
                         ::testing::Values("sqlite-doc.graph", "site.graph"));

TEST(LabelsGl, TheSelectedAndTheHoveredNodeAlwaysGetTheirLabels) {
    RenderRig rig(800, 600);
    ASSERT_TRUE(rig.initialise()) << rig.surface.lastError();
    ASSERT_TRUE(rig.loadFile(std::string(ORVO_SOURCE_DIR) + "/examples/sqlite-doc.graph"));
    rig.settings.labelsOverlap = 0;
    rig.drawAll();
    // Nodes large enough for a label whose label was left out for another.
    std::vector<Node*> leftOut;
    for (Node* n : rig.renderer.drawnNodes()) {
        if (n->apparentSize > rig.renderer.labelLimit() && !(n->flags & Labelled)) {
            leftOut.push_back(n);
        }
    }
    ASSERT_GE(leftOut.size(), 2u);
    Node* selected = leftOut[0];
    rig.renderer.markSelected(*selected, 1);
    EXPECT_TRUE(selected->flags & Labelled);
    rig.drawAll();  // and in the frames after
    EXPECT_TRUE(selected->flags & Labelled);

    // Hover on a pixel of the cube where no label lies.
    for (Node* n : leftOut) {
        if (n == selected || n->apparentSize < 5.0) continue;
        const ProjPoint at = rig.windowPosition(*n);
        const int x = static_cast<int>(at.x), y = rig.height() - 1 - static_cast<int>(at.y);
        if (rig.renderer.pick(x, y) != static_cast<uint32_t>(n->index)) continue;
        rig.renderer.hoverHighlight(x, y, 0, 0);
        EXPECT_TRUE(n->flags & Labelled) << n->id;
        return;
    }
    ADD_FAILURE() << "no node without a label could be hovered";
}

}  // namespace
}  // namespace orvo
