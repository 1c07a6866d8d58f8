// The progressive frame on a real Mesa context: slices, continuation into the front buffer, the
// refinement limit, centre tracking, taking a new graph, and frames that depend only on where they
// start, not on a frame before them that was cut short.
#include <algorithm>
#include <deque>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "render/drawn_order.h"
#include "render/expand_queue.h"
#include "render_gl_rig.h"
#include "tests/glue/golden.h"
#include "tests/graph_test_support.h"

namespace orvo {
namespace {

using testing::RenderRig;
using testing::setBudget;

TEST(FrameGl, TimePairsAndTheClock) {
    EXPECT_TRUE(testing::answersMatch("time_pairs.txt", [](const std::string& question) {
        std::istringstream in(question);
        TimePair a, b;
        in >> a.sec >> a.usec >> b.sec >> b.usec;
        if ((a < b) == (a >= b)) return std::string("both earlier and not");
        if (a < b) return std::string("earlier");
        const TimePair d = a - b;
        return "not earlier, " + std::to_string(d.sec) + " s " + std::to_string(d.usec) +
               " us after";
    }));
    // Whole milliseconds that never go back; 40 pauses of 0.3 ms each see it move on at least
    // every fourth pause, however the machine is loaded.
    TimePair last = currentTime();
    int changes = 0;
    for (int i = 0; i < 40; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        const TimePair now = currentTime();
        EXPECT_TRUE(now.usec % 1000 == 0 && now.usec >= 0 && now.usec < 1000000 && now >= last);
        changes += last < now;
        last = now;
    }
    EXPECT_GE(changes, 10);
}

// A slice's nodes merged into those of the slices before, and the expand queue: larger sizes
// first, equal sizes in the order they came (older entries first), pick bounds with their nodes.
TEST(FrameGl, EqualSizesKeepTheirOrderOfArrival) {
    const struct {
        std::vector<double> older, added;
        std::string order;  // o<i>: older[i], a<i>: added[i]
    } merges[] = {
        {{5, 3, 3, 1}, {3, 4, 0, 3}, "o0 a1 o1 o2 a0 a3 o3 a2 "},
        {{2, 1}, {1, 9}, "a1 o0 o1 a0 "},
        {{}, {1, 2, 2}, "a1 a2 a0 "},
        {{3, 1}, {}, "o0 o1 "},
    };
    for (const auto& m : merges) {
        std::deque<Node> store;
        std::vector<Node*> nodes;
        std::vector<PickBounds> bounds;
        for (const auto* sizes : {&m.older, &m.added}) {
            for (const double size : *sizes) {
                nodes.push_back(&store.emplace_back(nullptr, 0));
                nodes.back()->apparentSize = size;
                nodes.back()->index = static_cast<int32_t>(nodes.size() - 1);
                bounds.emplace_back().cube.x0 = static_cast<float>(nodes.back()->index);
            }
        }
        DrawnOrderScratch scratch;
        mergeDrawnBySize(nodes, &bounds, m.older.size(), scratch);
        std::string order;
        for (size_t i = 0; i < nodes.size(); ++i) {
            const auto at = static_cast<size_t>(nodes[i]->index);
            ASSERT_EQ(bounds[i].cube.x0, static_cast<float>(at));
            order += at < m.older.size() ? "o" + std::to_string(at)
                                         : "a" + std::to_string(at - m.older.size());
            order += " ";
        }
        EXPECT_EQ(order, m.order);
    }

    std::deque<Node> store;
    ExpandQueue queue;
    std::string popped;
    auto push = [&](double size) {
        Node& n = store.emplace_back(nullptr, 0);
        n.index = static_cast<int32_t>(store.size() - 1);
        queue.push(&n, size);
    };
    auto pop = [&] { popped += static_cast<char>('a' + queue.pop()->index); };
    // Sizes pushed, -1 for a pop.
    for (const double size : {1, 3, 3, -1, 3, -1, -1, 5, -1, -1}) size < 0 ? pop() : push(size);
    EXPECT_TRUE(popped == "bcdea" && queue.empty()) << popped;
}

// Slices of a millisecond (ten at the largest time scale) on 55 987 nodes: no machine draws
// them all in a slice, so refinement is left after one whatever the machine's speed.
void startWithShortSlices(RenderRig& rig) {
    static const std::string text = testing::treeGraphText(6, 6);
    rig.startText(text);
    setBudget(rig.settings.sliceBudgetSec, rig.settings.sliceBudgetUsec, 1000);
}

// The first slice is swapped to the front; continuations add to the front buffer without a
// swap; refinement ends with every node drawn once, listed in the order one slice lists them
// (largest first, equal sizes in drawing order, each slice's nodes merged into those before), and
// picks through the extents recorded slice by slice find what picks that draw everything find.
TEST(FrameGl, ContinuationSlicesRefineTheFrontBufferUntilTheWholeGraphIsDrawn) {
    RenderRig rig;
    ASSERT_NO_FATAL_FAILURE(startWithShortSlices(rig));
    rig.settings.autoRecentre = 0;  // every frame starts at the same node
    rig.settings.pickBudgetSec = rig.settings.sliceBudgetSec = 3600;
    rig.drawAll();
    const std::vector<Node*> oneSlice = rig.renderer.drawnNodes();
    const size_t total = rig.graph.nodes.size();
    ASSERT_EQ(oneSlice.size(), total);

    setBudget(rig.settings.sliceBudgetSec, rig.settings.sliceBudgetUsec, 1000);
    const int swaps = rig.surface.swapCount();
    // As a load leaves it: a first slice with nodes left keeps it.
    rig.renderer.setKeepRedrawing(1);
    rig.renderer.drawFrame();
    EXPECT_EQ(rig.surface.swapCount(), swaps + 1);
    ASSERT_EQ(rig.renderer.keepRedrawing(), 1);
    const size_t firstSlice = rig.renderer.drawnNodes().size();
    ASSERT_TRUE(firstSlice > 0 && firstSlice < total) << firstSlice;
    const auto backAfterFirst = rig.read(DrawBuffer::Back);
    const auto frontAfterFirst = rig.read(DrawBuffer::Front);
    EXPECT_EQ(backAfterFirst, frontAfterFirst);  // the swap showed the first slice

    setBudget(rig.settings.sliceBudgetSec, rig.settings.sliceBudgetUsec, 50000);
    const int more = rig.renderer.idleStep();
    EXPECT_EQ(more, rig.renderer.keepRedrawing());
    EXPECT_GT(rig.renderer.nodesDrawnLastSlice(), 0);
    EXPECT_GT(rig.renderer.drawnNodes().size(), firstSlice);
    EXPECT_EQ(rig.surface.swapCount(), swaps + 1);  // not swapped
    EXPECT_EQ(rig.surface.drawBuffer(), DrawBuffer::Front);
    EXPECT_EQ(rig.read(DrawBuffer::Back), backAfterFirst);
    EXPECT_NE(rig.read(DrawBuffer::Front), frontAfterFirst);

    setBudget(rig.settings.sliceBudgetSec, rig.settings.sliceBudgetUsec, 1000);
    while (rig.renderer.idleStep()) continue;
    const auto& drawn = rig.renderer.drawnNodes();
    EXPECT_EQ(std::set<const Node*>(drawn.begin(), drawn.end()).size(), total);
    EXPECT_EQ(drawn, oneSlice);
    EXPECT_TRUE(std::is_sorted(drawn.rbegin(), drawn.rend(), [](const Node* a, const Node* b) {
        return a->apparentSize < b->apparentSize;
    }));
    EXPECT_EQ(rig.surface.swapCount(), swaps + 1);

    auto pickAll = [&](bool prefilter) {
        rig.renderer.setPickPrefilter(prefilter);
        std::vector<uint32_t> names;
        for (size_t i = 0; i < 300; i += 15) {
            const testing::MousePoint m = rig.mouseAt(rig.windowPosition(*oneSlice[i]));
            for (const int dx : {0, 4}) names.push_back(rig.renderer.pick(m.x + dx, m.y + 1));
        }
        return names;
    };
    const std::vector<uint32_t> recorded = pickAll(true);
    EXPECT_EQ(recorded, pickAll(false));
    EXPECT_GT(std::count_if(recorded.begin(), recorded.end(),
                            [](uint32_t name) { return name != kNothingPicked; }),
              15);
    // A new frame resets only what the last one drew and starts again at the centre.
    rig.renderer.drawFrame();
    EXPECT_EQ(rig.surface.swapCount(), swaps + 2);
    EXPECT_EQ(rig.renderer.drawnNodes().front()->generation, 0);
}

// What a frame draws, in order: a node's cube as its index, its label as "label" and the index.
// The golden files pin the order in which equal sizes are expanded and listed.
TEST(FrameGl, TheDrawingOrderIsTheGoldenOne) {
    const std::string tree = testing::treeGraphText(4, 4);  // many siblings of one size
    for (const char* name : {"site", "tree"}) {
        RenderRig rig;
        if (std::string(name) == "site") {
            ASSERT_NO_FATAL_FAILURE(rig.startExample("site.graph"));
        } else {
            ASSERT_NO_FATAL_FAILURE(rig.startText(tree));
            rig.settings.sliceBudgetSec = 3600;
        }
        rig.drawAll();
        std::string order;
        for (const Renderer::DrawnItem& item : rig.renderer.drawLog())
            order += (item.label < 0 ? "" : "label ") + std::to_string(item.node->index) + "\n";
        order += "drawn nodes:\n";
        for (const Node* n : rig.renderer.drawnNodes()) order += std::to_string(n->index) + "\n";
        expectGolden(std::string("draw_order_") + name + ".txt", order);
    }
}

TEST(FrameGl, TheRefinementLimitStopsIdleSteps) {
    RenderRig rig;
    ASSERT_NO_FATAL_FAILURE(startWithShortSlices(rig));
    const size_t total = rig.graph.nodes.size();

    // Refinement never stops before the limit while nodes are left: counted from the frame's
    // start, not the slice's.
    setBudget(rig.settings.refineLimitSec, rig.settings.refineLimitUsec, 100000);
    const TimePair start = currentTime();
    rig.renderer.drawFrame();
    const int swaps = rig.surface.swapCount();
    int steps = 0;
    while (rig.renderer.idleStep()) ++steps;
    const TimePair spent = currentTime() - start;
    const size_t drawn = rig.renderer.drawnNodes().size();
    if (drawn < total) {
        // The step past the limit drew none.
        EXPECT_TRUE(spent >=
                        (TimePair{rig.settings.refineLimitSec, rig.settings.refineLimitUsec}) &&
                    rig.renderer.nodesDrawnLastSlice() == 0)
            << steps << " steps, " << drawn << " of " << total << " nodes";
    }
    EXPECT_EQ(rig.surface.swapCount(), swaps);
    EXPECT_EQ(rig.renderer.idleStep(), 0);
    EXPECT_EQ(rig.renderer.drawnNodes().size(), drawn);

    // A limit that has passed when nodes are surely left: the next idle step draws nothing and
    // ends refinement for good.
    rig.settings.refineLimitSec = 3600;
    rig.renderer.drawFrame();
    rig.renderer.setKeepRedrawing(1);  // as a redraw does
    ASSERT_EQ(rig.renderer.idleStep(), 1);
    const size_t left = rig.renderer.drawnNodes().size();
    ASSERT_LT(left, total);
    rig.settings.refineLimitSec = rig.settings.refineLimitUsec = 0;
    EXPECT_EQ(rig.renderer.idleStep(), 0);
    EXPECT_TRUE(rig.renderer.nodesDrawnLastSlice() == 0 && rig.renderer.keepRedrawing() == 0);
    rig.renderer.setKeepRedrawing(1);
    EXPECT_EQ(rig.renderer.idleStep(), 0);
    EXPECT_EQ(rig.renderer.drawnNodes().size(), left);
    EXPECT_EQ(rig.surface.swapCount(), swaps + 1);

    // A zero slice clears, draws the sphere and swaps, but draws no node; idle steps add none.
    rig.settings.sliceBudgetSec = rig.settings.sliceBudgetUsec = 0;
    rig.settings.refineLimitSec = 3600;
    rig.renderer.drawFrame();
    rig.renderer.setKeepRedrawing(1);  // as a redraw does
    EXPECT_EQ(rig.surface.swapCount(), swaps + 2);
    EXPECT_TRUE(rig.renderer.drawnNodes().empty());
    EXPECT_EQ(rig.renderer.idleStep(), 1);
    EXPECT_TRUE(rig.renderer.drawnNodes().empty());
}

TEST(FrameGl, TheCentreNodeFollowsTheViewAndStaysShown) {
    RenderRig rig;
    rig.start("render_small.graph");
    Node* root = rig.node("http://site.example/index.html");
    Node* target = rig.node("http://site.example/news/today.html");
    rig.renderer.drawFrame();
    EXPECT_EQ(rig.renderer.centreNode(), root);
    // A goto's frame starts at its node; with autoRecentre 0 drawing never changes the centre,
    // with 1 it moves to the node nearest the view's centre, where the next frame starts.
    ASSERT_EQ(rig.renderer.gotoNodeView(target, 1), 1);
    EXPECT_EQ(rig.renderer.centreNode(), target);
    rig.renderer.setCentreNode(root);
    rig.settings.autoRecentre = 0;
    rig.renderer.drawFrame();
    EXPECT_EQ(rig.renderer.centreNode(), root);
    rig.settings.autoRecentre = 1;
    rig.renderer.drawFrame();
    EXPECT_EQ(rig.renderer.centreNode(), target);
    rig.renderer.drawFrame();
    EXPECT_EQ(rig.renderer.drawnNodes().front(), target);
    EXPECT_TRUE(target->generation == 0 && std::abs(target->centreDistance) < 1e-6);

    // A hidden centre moves to the parent of the highest hidden node, else to the top node.
    Node* figure = rig.node("http://site.example/docs/guide/figure.png");
    Node* const top = rig.graph.nodes[rig.settings.topNodeIndex];
    const auto centreKept = [&] {
        rig.renderer.setCentreNode(figure);
        rig.renderer.keepCentreShown();
        return rig.renderer.centreNode();
    };
    EXPECT_EQ(centreKept(), figure);
    rig.node("http://site.example/docs/guide.html")->flags &= static_cast<uint8_t>(~Shown);
    EXPECT_EQ(centreKept(), root);
    root->flags &= static_cast<uint8_t>(~Shown);
    EXPECT_EQ(centreKept(), top);
    rig.settings.topNodeIndex = -1;
    EXPECT_EQ(centreKept(), nullptr);
    rig.renderer.drawFrame();  // no centre: cleared and swapped, nothing drawn
    EXPECT_TRUE(rig.renderer.drawnNodes().empty());
    EXPECT_EQ(rig.renderer.keepRedrawing(), 0);
}

TEST(FrameGl, SetGraphDropsEverythingOfTheOldGraph) {
    RenderRig rig;
    rig.start("render_small.graph");
    rig.settings.labelChoice = 0;  // the root's cube, not a label over it, at the centre
    rig.drawAll();
    const int cx = 200, cy = 150;
    rig.renderer.hoverHighlight(cx, cy, 0, 0);
    ASSERT_EQ(rig.renderer.hoveredName(), 0);
    ASSERT_FALSE(rig.renderer.drawnNodes().empty() || rig.renderer.drawnLinks().empty());

    // A reload destroys every node; the renderer must not reach any of them afterwards.
    ASSERT_TRUE(rig.loadFile(testing::dataPath("render_one.graph")));
    EXPECT_TRUE(rig.renderer.drawnNodes().empty() && rig.renderer.drawnLinks().empty());
    EXPECT_EQ(rig.renderer.hoveredName(), -1);
    EXPECT_EQ(rig.renderer.centreNode(), rig.graph.nodes[0]);
    EXPECT_EQ(rig.renderer.keepRedrawing(), 1);
    rig.renderer.hoverHighlight(5, 5, 0, 0);  // leaves a highlight on no node of the old graph
    rig.settings.sliceBudgetSec = 3600;       // the slice ends when the graph does, never on time
    rig.renderer.drawFrame();
    EXPECT_EQ(rig.renderer.drawnNodes().size(), 1u);
    EXPECT_EQ(rig.renderer.nodesDrawnLastSlice(), 1);
    EXPECT_EQ(rig.renderer.keepRedrawing(), 0);
    EXPECT_EQ(rig.renderer.idleStep(), 0);
    EXPECT_EQ(rig.renderer.pick(cx, cy), 0u);
    const auto front = rig.read(DrawBuffer::Front);
    EXPECT_TRUE(testing::near(rig.pixel(front, 203, 153), 0, 1, 1));
    // labelSize 0 makes the threshold 0: a frame then draws and swaps nothing at all.
    rig.settings.labelSize = 0.0f;
    rig.renderer.updateLabelThreshold();
    const int swaps = rig.surface.swapCount();
    rig.settings.backgroundColor = {0.0f, 0.0f, 1.0f, 1.0f};
    rig.renderer.setClearColour();
    rig.renderer.drawFrame();
    EXPECT_EQ(rig.surface.swapCount(), swaps);
    EXPECT_EQ(rig.read(DrawBuffer::Front), front);
    rig.settings.labelSize = 20.0f;
    rig.renderer.updateLabelThreshold();

    // The same graph again without a top node keeps its centre; an emptied graph leaves none.
    Node* only = rig.graph.nodes[0];
    rig.settings.topNodeIndex = -1;
    rig.renderer.setGraph(&rig.graph);
    EXPECT_EQ(rig.renderer.centreNode(), only);
    std::istringstream empty("\n\n");
    EXPECT_FALSE(readAndLayOut(rig.graph, empty));
    for (Graph* graph : {&rig.graph, static_cast<Graph*>(nullptr)}) {
        rig.renderer.setGraph(graph);
        rig.renderer.drawFrame();
        EXPECT_EQ(rig.renderer.centreNode(), nullptr);
        EXPECT_EQ(rig.renderer.pick(cx, cy), kNothingPicked);
    }
}

// The root's children a, c0..c1999 and b; a link from a2 to b besides the tree. So many nodes
// come before b that no slice of a microsecond reaches it, however fast the machine.
std::string graphWithACrossLink() {
    std::string text = "0 r x\n1 a x\n2 a1 x\n2 a2 x\n3 b x\n";
    for (int i = 0; i < 2000; ++i) text += "1 c" + std::to_string(i) + " x\n";
    return text + "1 b x\n";
}

std::set<std::string> linksOfAFrameFromA1(RenderRig& rig) {
    rig.graph.setOutLinksShown("a2", 1, 0);
    rig.settings.linkGenerationLimit = 3;
    rig.settings.sliceBudgetSec = 3600;
    rig.renderer.setCentreNode(rig.node("a1"));
    rig.drawAll();
    std::set<std::string> links;
    for (const Link* k : rig.renderer.drawnLinks())
        links.insert(std::string(k->fromId()) + ">" + std::string(k->toId()));
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
    rig.settings.refineLimitSec = rig.settings.refineLimitUsec = 0;
    EXPECT_EQ(rig.renderer.idleStep(), 0);
    rig.settings.refineLimitSec = 3600;

    EXPECT_EQ(linksOfAFrameFromA1(rig), want);
}

}  // namespace
}  // namespace orvo
