// Which labels win where they compete for room: by default the larger node's, under the label
// ranks (the link scores) the higher-scoring node's; and nodes coloured from a table.
#include <algorithm>
#include <map>
#include <string>

#include "graph/node_measures.h"
#include "render/measure_colouring.h"
#include "render_gl_rig.h"

namespace orvo {
namespace {

using testing::RenderRig;

std::map<const Node*, LabelBox> labelBoxes(const Renderer& r) {
    std::map<const Node*, LabelBox> boxes;
    for (const Renderer::DrawnLabel& l : r.drawnLabels()) boxes[l.node] = l.box;
    return boxes;
}

// The nodes whose label lost its room to a label of a node scoring lower, and no higher: what
// placing labels by falling score never does. Ties count as no loss, and so does a label that
// would cover a cube drawn (cubes keep their room from labels).
std::string lostToLowerScores(const Renderer& r, const Graph& g,
                              const std::map<const Node*, LabelBox>& candidates,
                              const std::map<const Node*, LabelBox>& placed,
                              const std::vector<double>& score) {
    std::vector<LabelBox> cubes;
    for (const Node* n : g.nodes) {
        if (!n->isDrawn()) continue;
        const WindowBox b = r.cubeBoxOnScreen(*n);
        if (b.x0 <= b.x1 && !b.isUnbounded()) cubes.push_back({b.x0, b.y0, b.x1, b.y1});
    }
    std::string lost;
    for (const auto& [node, box] : candidates) {
        if (placed.count(node) != 0) continue;
        if (std::any_of(cubes.begin(), cubes.end(),
                        [&box](const LabelBox& c) { return c.overlaps(box); }))
            continue;
        bool blockedByHigher = false, blocked = false;
        for (const auto& [winner, winnerBox] : placed) {
            if (!box.overlaps(winnerBox)) continue;
            blocked = true;
            blockedByHigher |= score[size_t(winner->index)] >= score[size_t(node->index)];
        }
        if (blocked && !blockedByHigher) lost += std::string(node->id) + " ";
    }
    return lost;
}

TEST(LabelOrder, UnderTheScoresAHigherScoreWinsTheRoomAndTheDefaultStaysBySize) {
    RenderRig rig(800, 600);
    ASSERT_NO_FATAL_FAILURE(rig.startExample("site.graph"));
    const NodeMeasures m = computeNodeMeasures(rig.graph);
    rig.drawAll();
    const auto bySize = labelBoxes(rig.renderer);
    rig.renderer.setLabelRanks(&m.score);
    rig.drawAll();
    const auto byScore = labelBoxes(rig.renderer);
    // Every label that wants room in this view: the drawn nodes large enough for one.
    std::map<const Node*, LabelBox> candidates;
    for (const Node* n : rig.graph.nodes)
        if (n->isDrawn() && n->generation < rig.settings.nodeGenerationLimit &&
            n->apparentSize > rig.renderer.labelLimit())
            candidates[n] = rig.renderer.labelBoxOf(*n);
    ASSERT_GT(candidates.size(), byScore.size()) << "no label had to give way";

    EXPECT_EQ(lostToLowerScores(rig.renderer, rig.graph, candidates, byScore, m.score), "");
    // By size some labels do lose to lower scores: the rule above is what the ranks change.
    EXPECT_NE(lostToLowerScores(rig.renderer, rig.graph, candidates, bySize, m.score), "");
    for (const auto& [a, boxA] : byScore)
        for (const auto& [b, boxB] : byScore)
            EXPECT_TRUE(a == b || !boxA.overlaps(boxB)) << a->id << " over " << b->id;

    // Equal ranks fall back to the larger node: the default's labels exactly; so does a table
    // of the wrong length, and taking the ranks away.
    const std::vector<double> equal(rig.graph.nodes.size(), 1.0), wrongLength(3, 1.0);
    for (const std::vector<double>* ranks : {&equal, &wrongLength,
                                             static_cast<const std::vector<double>*>(nullptr)}) {
        rig.renderer.setLabelRanks(ranks);
        rig.drawAll();
        const auto again = labelBoxes(rig.renderer);
        EXPECT_TRUE(again.size() == bySize.size() &&
                    std::equal(again.begin(), again.end(), bySize.begin(),
                               [](const auto& x, const auto& y) { return x.first == y.first; }));
    }
}

TEST(MeasureColouring, CubesTakeTheirColourFromTheTableAndTheGroupsWithoutIt) {
    RenderRig rig(400, 300);
    ASSERT_NO_FATAL_FAILURE(rig.startExample("site.graph"));
    const Node& top = *rig.graph.nodes[size_t(rig.graph.topNodeIndex())];
    // The top node's cube, drawn at the centre of its frame.
    const auto topColour = [&] {
        rig.drawAll();
        const ProjPoint at = rig.windowPosition(top);
        return rig.pixel(rig.read(DrawBuffer::Front), int(at.x), int(at.y));
    };
    const testing::Rgba byGroup = topColour();
    const NodeMeasures m = computeNodeMeasures(rig.graph);
    const MeasureColouring score = colourByMeasure(m, Measure::Score, {0.7f, 0.7f, 0.7f});
    // The top page has the highest link score of the site: the light end of the ramp.
    EXPECT_EQ(score.high, m.score[size_t(top.index)]);
    const auto isRamp = [](const testing::Rgba& p, double t) {
        const Rgb c = rampColour(t);
        return testing::near(p, c[0], c[1], c[2]);
    };
    rig.renderer.setNodeColours(&score.rgb);
    testing::Rgba p = topColour();
    EXPECT_TRUE(isRamp(p, 1.0)) << int(p[0]) << " " << int(p[1]) << " " << int(p[2]);
    const MeasureColouring depth = colourByMeasure(m, Measure::Depth, {0.7f, 0.7f, 0.7f});
    rig.renderer.setNodeColours(&depth.rgb);
    p = topColour();
    EXPECT_TRUE(isRamp(p, 0.0)) << int(p[0]) << " " << int(p[1]) << " " << int(p[2]);
    rig.renderer.setNodeColours(nullptr);
    EXPECT_EQ(topColour(), byGroup);
    EXPECT_FALSE(isRamp(byGroup, 0.0) || isRamp(byGroup, 1.0));
}

}  // namespace
}  // namespace orvo
