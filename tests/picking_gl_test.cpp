// Picking on a real Mesa context: what lies under a pixel, hover, clicks, the pre-filter and a
// selection-buffer overflow; which labels win, and what is picked, at the bundled examples' start
// views.
#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <utility>

#include "render_gl_rig.h"
#include "tests/graph_test_support.h"

namespace orvo {
namespace {

using testing::MousePoint;
using testing::RenderRig;

const char* const kRoot = "http://site.example/index.html";

// render_small.graph with the picks of cubes (a label is picked as its node).
void startSmall(RenderRig& rig) {
    rig.start("render_small.graph");
    rig.settings.labelChoice = 0;
}

// The pointer steps of tests/data/picking_transcript.txt on render_small.graph, each with what
// pick() names ("nothing", a node's id, "link " and the link's id), the picked point in view space
// (a miss keeps the last), what clicks reported, whether idle refinement is asked for; after a
// hover, what is hovered and highlighted. A point is "x,y", "beside:<page>" (3.5 pixels to the side
// of a node, off the end of its parent link) or "along:<page>" (55 % of the way along the link);
// "limit n" sets the node generation limit and draws a frame; "forget" drops the callback.
// Picks from what the frame drew (as the shader back end picks) follow the same transcript.
class Transcript : public ::testing::TestWithParam<bool> {};

TEST_P(Transcript, PicksClicksAndHoversAgainstTheirTranscript) {
    RenderRig rig;
    ASSERT_NO_FATAL_FAILURE(startSmall(rig));
    rig.renderer.setPickFromDrawn(GetParam());
    rig.drawAll();
    std::string reported;
    rig.renderer.setPickCallback([&](const std::string& id, int shift, int ctrl) {
        reported += " " + id + " " + std::to_string(shift) + std::to_string(ctrl);
    });
    rig.renderer.bindMouse(0, 1);
    const auto point = [&](const std::string& at) {
        const size_t colon = at.find(':');
        if (colon == std::string::npos)
            return MousePoint{std::stoi(at), std::stoi(at.substr(at.find(',') + 1))};
        const Node& n = *rig.node("http://site.example/" + at.substr(colon + 1));
        return colon == 6 ? rig.besideParentLink(n, 3.5) : rig.alongLink(*n.parentLink, 0.55);
    };
    const auto hundredths = [](double v) {  // rounded first: no "-0.00" from the last bit
        char text[32];
        std::snprintf(text, sizeof text, "%.2f", std::round(v * 100) / 100 + 0.0);
        return std::string(text);
    };
    EXPECT_TRUE(testing::answersMatch("picking_transcript.txt", [&](const std::string& step) {
        std::istringstream words(step);
        std::string command, at, to, answer;
        int shift = 0, ctrl = 0;
        words >> command >> at >> to >> shift >> ctrl;
        if (command == "limit") rig.settings.nodeGenerationLimit = std::stoi(at), rig.drawAll();
        if (command == "forget") rig.renderer.setPickCallback(nullptr);
        if (command == "pick")
            answer = rig.nameOf(rig.renderer.pick(point(at).x, point(at).y)) + " ";
        if (command == "hover") rig.renderer.hoverHighlight(point(at).x, point(at).y, 0, 0);
        if (command == "click") {
            rig.renderer.mouseButton(0, 0, point(at).x, point(at).y, 0, 0);
            rig.renderer.mouseButton(0, 1, point(to).x, point(to).y, shift, ctrl);
        }
        const ProjPoint p = rig.renderer.pickedPoint();
        answer += "at " + hundredths(p.x) + "," + hundredths(p.y) + "," + hundredths(p.z) +
                  " | reported" + std::exchange(reported, "") + " | redraw " +
                  std::to_string(rig.renderer.keepRedrawing());
        if (command == "hover") {
            answer += " | hovered " + rig.nameOf(uint32_t(rig.renderer.hoveredName())) + " | highlighted";
            for (const Node* n : rig.graph.nodes)
                if (n->flags & Highlighted) answer += " " + std::string(n->id);
        }
        return answer;
    }));
}

INSTANTIATE_TEST_SUITE_P(PickingGl, Transcript, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "FromDrawn" : "Selection"; });

TEST(PickingGl, TheNearerOfTwoOverlappingNodesIsPickedAsThePictureShowsIt) {
    RenderRig rig;
    rig.start("render_small.graph");
    // The root moves towards the camera (layout -z; drawn smaller by the hyperbolic squeeze but
    // in front); one child moves to the layout's centre, behind it and drawn larger.
    Node* root = rig.node(kRoot);
    Node* child = rig.node("http://site.example/logo.png");
    ProjTransform towardCamera;
    towardCamera.setTranslationBy(0.0, 0.0, -1.0);
    rig.graph.transforms().set(*root, towardCamera);
    rig.graph.transforms().set(*child, ProjTransform::identity());
    rig.settings.autoRecentre = 0;
    rig.renderer.setCentreNode(child);  // drawn first: the first hit is not the nearest
    rig.drawAll();                      // twice: shaders are compiled before a slice is timed
    rig.drawAll();
    ASSERT_TRUE(rig.renderer.drawnNodes().front() == child &&
                child->apparentSize > root->apparentSize);
    EXPECT_LT(rig.windowPosition(*root).z, rig.windowPosition(*child).z);
    EXPECT_EQ(rig.renderer.pick(200, 150), static_cast<uint32_t>(root->index));
    rig.renderer.setPickFromDrawn(true);
    EXPECT_EQ(rig.renderer.pick(200, 150), static_cast<uint32_t>(root->index));
    // The picture shows the nearer root (cyan) there, not the image behind it.
    EXPECT_TRUE(testing::near(rig.pixel(rig.read(DrawBuffer::Front), 203, 153), 0, 1, 1));
}

// Extents recorded with the frame, extents computed at pick time and the full pass agree.
TEST(PickingGl, ThePrefilterGivesTheSameFirstHit) {
    RenderRig rig(320, 240);
    rig.startText(testing::treeGraphText(5, 4));
    rig.drawAll();
    const auto& drawn = rig.renderer.drawnNodes();
    ASSERT_GT(drawn.size(), 500u);
    // On and beside the largest nodes, where objects crowd, a grid, and on and beside the links
    // of the largest nodes, where the cells a node's links cross must hold the link.
    std::vector<MousePoint> points;
    auto add = [&](MousePoint m, int dx, int dy) {
        if (m.x < 0 || m.y < 0 || m.x >= rig.width() || m.y >= rig.height()) return;
        points.push_back(m);
        points.push_back({m.x + dx, m.y + dy});
    };
    for (size_t i = 0; i < 100; ++i) add(rig.mouseAt(rig.windowPosition(*drawn[i])), 3, -2);
    for (int y = 2; y < rig.height(); y += 20)
        for (int x = 3; x < rig.width(); x += 20) points.push_back({x, y});
    for (size_t i = 0; i < 40; ++i)
        for (const Node* child : drawn[i]->children)
            for (const double t : {0.3, 0.7}) add(rig.alongLink(*child->parentLink, t), 1, 2);
    ASSERT_GT(points.size(), 700u);
    auto pickAll = [&](bool prefilter) {
        std::vector<std::pair<uint32_t, double>> result;
        rig.renderer.setPickPrefilter(prefilter);
        for (const MousePoint& m : points) {
            const uint32_t name = rig.renderer.pick(m.x, m.y);
            result.emplace_back(name, name == kNothingPicked ? 0.0 : rig.renderer.pickedPoint().z);
        }
        return result;
    };
    const auto recorded = pickAll(true);
    const auto full = pickAll(false);
    rig.renderer.setViewTransform(rig.renderer.viewTransform());  // drops the recorded extents
    EXPECT_EQ(pickAll(true), full);
    EXPECT_EQ(recorded, full);
    int hits = 0, linkHits = 0;
    for (const auto& [name, z] : full) {
        hits += name != kNothingPicked;
        linkHits += name != kNothingPicked && static_cast<int32_t>(name) < 0;
    }
    EXPECT_GT(hits, 120);
    EXPECT_GT(linkHits, 50);  // links, named by their complemented index

    // A view moved without a new frame: the recorded extents are stale and must not be used.
    rig.drawAll();
    ProjTransform shift;
    shift.setTranslationBy(0.3, -0.2, 0.0);
    rig.renderer.setViewTransform(rig.renderer.viewTransform() * shift);
    points.resize(60);
    EXPECT_EQ(pickAll(true), pickAll(false));
}

// Recorded extents hold only the non-tree links shown when the frame was drawn: a link shown
// since must still be found, by a pick that no longer trusts them.
TEST(PickingGl, ALinkShownAfterTheFrameIsStillPicked) {
    RenderRig rig;
    std::string text = "0 r 0\n";
    for (int i = 0; i < 12; ++i)
        text += "1 c" + std::to_string(i) + " 0\n  2 d" + std::to_string(i) + " 0\n";
    text += "1 c2 0\n  2 d8 0\n";  // a non-tree link c2 -> d8 across the tree
    rig.settings.loadFlags = NeverMove;
    rig.startText(text);
    rig.drawAll();
    const Link* across = rig.graph.findNode("c2")->outLinks.at(0);
    ASSERT_FALSE(across->isShown());
    // A point on the link, away from both ends and from every tree link.
    MousePoint m{};
    bool clear = false;
    rig.renderer.setPickPrefilter(false);
    for (double t = 0.3; t <= 0.7 && !clear; t += 0.05) {
        m = rig.alongLink(*across, t);
        clear = rig.renderer.pick(m.x, m.y) == kNothingPicked;
    }
    ASSERT_TRUE(clear) << "no point of the hidden link is free of other objects";

    ASSERT_EQ(rig.graph.setOutLinksShown("c2", 1, 0), 1);
    const uint32_t expected = ~static_cast<uint32_t>(across->index);
    rig.renderer.setPickFromDrawn(true);  // past the recorded extents too
    EXPECT_EQ(rig.renderer.pick(m.x, m.y), expected);
    rig.renderer.setPickFromDrawn(false);
    EXPECT_EQ(rig.renderer.pick(m.x, m.y), expected);  // the full pass
    rig.renderer.setPickPrefilter(true);
    EXPECT_EQ(rig.renderer.pick(m.x, m.y), expected);
    rig.drawAll();  // a new frame records the link, and the recorded extents find it too
    EXPECT_EQ(rig.renderer.pick(m.x, m.y), expected);
}

TEST(PickingGl, APickedPointAtTheSphereTakesTheFallbackDepth) {
    RenderRig rig;
    ASSERT_NO_FATAL_FAILURE(startSmall(rig));
    // The root moves away; the link guide.html -> notes.txt lies along the line of sight, from
    // the centre towards the camera (layout -z). Its ends' cubes are undrawable (a scale beyond
    // single precision, which the origin does not see) and guide.html's other links hidden.
    ProjTransform up;
    up.setTranslationBy(0.0, 1.5, 0.0);
    rig.graph.transforms().set(*rig.node(kRoot), up);
    auto placeEndAt = [&](Node* n, double z) {
        ProjTransform t = ProjTransform::identity();
        t.m[0] = 1e300;
        t.m[14] = z;
        rig.graph.transforms().set(*n, t);
    };
    Node* to = rig.node("http://site.example/docs/guide/notes.txt");
    Link* link = to->parentLink;
    placeEndAt(link->fromNode, -0.5);
    placeEndAt(to, -0.9);
    for (Link* k : rig.graph.links)
        if (k != link && (k->fromNode == link->fromNode || k->toNode == link->fromNode))
            k->flags &= static_cast<uint8_t>(~Shown);
    rig.drawAll();  // twice: shaders are compiled before a slice is timed
    rig.drawAll();
    for (const bool fromDrawn : {false, true}) {
        SCOPED_TRACE(fromDrawn ? "from what was drawn" : "selection");
        rig.renderer.setPickFromDrawn(fromDrawn);
        placeEndAt(to, -0.9);
        rig.drawAll();
        ASSERT_EQ(rig.renderer.pick(200, 150), ~static_cast<uint32_t>(link->index));
        EXPECT_NEAR(rig.renderer.pickedPoint().z, 0.9, 0.01);  // the nearest point hit

        placeEndAt(to, -0.99999);  // nearly on the sphere
        rig.drawAll();
        ASSERT_EQ(rig.renderer.pick(200, 150), ~static_cast<uint32_t>(link->index));
        EXPECT_EQ(rig.renderer.pickedPoint().z, 0.001);
        EXPECT_NEAR(rig.renderer.pickedPoint().x, 0.0, 0.01);
    }
}

TEST(PickingGl, ASelectionBufferOverflowStillReportsTheFirstHit) {
    RenderRig rig;
    // 2000 leaves piled up on the root: far more hit records than the buffer holds.
    std::string text = "0 http://pile.example/top.html x html main\n";
    for (int i = 0; i < 2000; ++i)
        text += "1 http://pile.example/leaf" + std::to_string(i) + ".png x image main\n";
    rig.startText(text);
    rig.drawAll();
    ASSERT_EQ(rig.renderer.drawnNodes().size(), 2001u);
    for (Node* n : rig.graph.nodes) rig.graph.transforms().set(*n, ProjTransform::identity());
    rig.renderer.setViewTransform(rig.renderer.viewTransform());  // drops the recorded extents
    const auto first = static_cast<uint32_t>(rig.renderer.drawnNodes().front()->index);
    EXPECT_EQ(rig.renderer.pick(200, 150), first);
    rig.renderer.setPickPrefilter(false);
    EXPECT_EQ(rig.renderer.pick(200, 150), first);
    rig.renderer.setPickFromDrawn(true);  // equal depths: the first drawn wins there too
    EXPECT_EQ(rig.renderer.pick(200, 150), first);
}

// The bundled examples at their start view, as the viewer opens them in an 800 x 600 window:
// labels never overlap and the first generation's largest nodes have theirs; the pointer picks
// what the picture shows. A node's drawn pixels are those that change when it alone is drawn
// again in a colour of its own (highlighted) and lie in its cube's box.
class StartView : public ::testing::TestWithParam<const char*> {};

TEST_P(StartView, LabelsNeverOverlapAndEveryNodeDrawnAtLeastFiveByFivePicksAtItsPixels) {
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
    std::vector<Node*> firstGeneration(root->children.begin(), root->children.end());
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

    // Back to the start view's rules, nothing selected or hovered, for the picks.
    rig.settings.labelsOverlap = 0;
    rig.renderer.markSelected(*leftOut[0], 0);
    rig.renderer.hoverHighlight(1, 1, 0, 0);
    ASSERT_EQ(rig.renderer.hoveredName(), static_cast<int32_t>(kNothingPicked));
    // A selected node keeps its colour and is ringed: highlighted, it is drawn again in a colour
    // of its own.
    rig.settings.highlightColor = {0.1f, 0.9f, 0.4f, 1.0f};
    int checked = 0;
    const auto checkView = [&] {
        rig.drawAll();
        for (Node* n : std::vector<Node*>(rig.renderer.drawnNodes())) {
            if (n->apparentSize < 5.0) continue;
            // Read anew: a node drawn over itself shows more of its outline than in the frame.
            const std::vector<uint8_t> unmarked = rig.read(DrawBuffer::Front);
            n->flags |= Highlighted;
            rig.renderer.markSelected(*n, 0);  // drawn again in front, not ringed
            const std::vector<uint8_t> marked = rig.read(DrawBuffer::Front);
            n->flags &= static_cast<uint8_t>(~Highlighted);
            rig.renderer.markSelected(*n, 0);
            const WindowBox cube = rig.renderer.cubeBoxOnScreen(*n);
            std::vector<MousePoint> pixels;
            for (size_t at = 0; at < marked.size(); at += 4) {
                const int x = int(at / 4) % rig.width(), y = int(at / 4) / rig.width();
                if (!std::equal(&marked[at], &marked[at] + 3, &unmarked[at]) && x + 1 >= cube.x0 &&
                    x <= cube.x1 && y + 1 >= cube.y0 && y <= cube.y1)
                    pixels.push_back({x, rig.height() - 1 - y});
            }
            if (pixels.size() < 10) continue;  // mostly hidden
            ++checked;
            // Up to 24 of its pixels, spread over them: at least 90 % pick it, none another node.
            int samples = 0, hits = 0;
            for (size_t i = 0; i < pixels.size(); i += std::max<size_t>(1, pixels.size() / 24)) {
                const uint32_t name = rig.renderer.pick(pixels[i].x, pixels[i].y);
                ++samples;
                hits += name == static_cast<uint32_t>(n->index);
                EXPECT_TRUE(name == static_cast<uint32_t>(n->index) ||
                            rig.renderer.nodeNamed(name) == nullptr)
                    << n->id << " at " << pixels[i].x << "," << pixels[i].y;
            }
            EXPECT_GE(hits * 10, samples * 9) << n->id << ": " << hits << " of " << samples;
        }
    };
    checkView();
    // And from the largest node of the first generation, where nodes crowd in front of others.
    ASSERT_EQ(rig.renderer.gotoNodeView(firstGeneration[0], 1), 1);
    checkView();
    EXPECT_GE(checked, 20);
}

INSTANTIATE_TEST_SUITE_P(BundledExamples, StartView,
                         ::testing::Values("sqlite-doc.graph", "site.graph"));

}  // namespace
}  // namespace orvo
