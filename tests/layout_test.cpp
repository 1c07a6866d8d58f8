// The hemisphere layout: the radii, band angles and azimuths of small trees, re-anchoring at a
// non-top node, link ends, very deep and very wide trees, and a bundled example laid out on one
// and on two threads against its golden positions and the layout's invariants.
#include "layout/layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <deque>
#include <fstream>
#include <random>
#include <vector>

#include "geometry/proj_point.h"
#include "geometry/proj_transform.h"
#include "glue/window_settings.h"
#include "graph/graph.h"
#include "graph/positions_csv.h"
#include "layout/child_translations.h"
#include "layout/subtree_split.h"
#include "settings/viewer_settings.h"
#include "tests/test_files.h"

using namespace orvo;

namespace {

constexpr double kMinRadius = 0.30000001192092896;  // 0.3 as a float

// Nodes built by hand, with stable addresses.
struct Tree {
    std::deque<Node> nodes;
    std::deque<Link> links;
    std::vector<Link*> linkList;

    Node* add(Node* parent) {
        nodes.emplace_back(parent, parent != nullptr ? parent->level + 1 : 0);
        Node* n = &nodes.back();
        if (parent != nullptr) parent->children.push_back(n);
        return n;
    }
    Node* top() { return &nodes.front(); }
    Link* link(Node* from, Node* to) {
        links.emplace_back();
        links.back().fromNode = from;
        links.back().toNode = to;
        linkList.push_back(&links.back());
        return &links.back();
    }
};

// Where a child sits in its parent's frame.
ProjPoint positionInParent(const Node* k) {
    return dehomogenized(k->localTransform().apply(ProjPoint()));
}
ProjPoint globalPosition(const Node* n) {
    return dehomogenized(n->globalTransform.apply(ProjPoint()));
}
// Children lie at -(tanh d) times their direction, so the direction is the negated position.
double polarAngle(const ProjPoint& p) { return std::acos(-p.x / p.norm3()); }
double azimuthOf(const ProjPoint& p) { return std::atan2(-p.z, -p.y); }

void expectSameTransform(const ProjTransform& a, const ProjTransform& b, double tolerance,
                         const char* what) {
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(a.m[i], b.m[i], tolerance * (1.0 + std::fabs(b.m[i])))
            << what << " element " << i;
    }
}

}  // namespace

namespace {

// The polar angle of the last band a laid-out node's children fill, found by placing them again
// (which gives the same placement: it depends only on the children's radii and order).
double bandAngleOf(const ViewerSettings& settings, Node* p) {
    LayoutScratch scratch;
    return sizeFromChildren(settings, p, false, p, scratch);
}

}  // namespace

TEST(Layout, SingleNode) {
    ViewerSettings settings;
    Tree tree;
    Node* n = tree.add(nullptr);
    layoutTree(settings, n);
    EXPECT_EQ(n->radius, kMinRadius);
    EXPECT_EQ(n->descendantCount, 0);
    EXPECT_EQ(bandAngleOf(settings, n), 0.0);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(n->globalTransform.m[i], i % 5 == 0 ? 1.0 : 0.0);

    layoutTree(settings, nullptr);  // no start node: nothing to do, no crash
}

TEST(Layout, OneLeafChildSitsStraightAlongMinusX) {
    const double area = 6.28318530718 * (std::cosh(0.3) - 1.0);
    EXPECT_NEAR(hemisphereRadius(area, 1), 0.21705, 1e-5);

    ViewerSettings settings;
    Tree tree;
    Node* p = tree.add(nullptr);
    Node* k = tree.add(p);
    layoutTree(settings, p);
    EXPECT_EQ(p->radius, kMinRadius);  // clamped up from about 0.217
    EXPECT_EQ(p->descendantCount, 1);
    EXPECT_EQ(k->radius, kMinRadius);

    ProjTransform t;
    t.setTranslationBy(-kMinRadius, 0, 0);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(k->localTransform().m[i], t.m[i]) << i;
    const ProjPoint at = globalPosition(k);
    EXPECT_NEAR(at.x, -std::tanh(kMinRadius), 1e-15);
    EXPECT_NEAR(at.y, 0.0, 1e-15);
    EXPECT_NEAR(at.z, 0.0, 1e-15);
    EXPECT_NEAR(ProjPoint().distance(at), kMinRadius, 1e-12);
}

TEST(Layout, TwoLeavesPoleAndFirstBand) {
    ViewerSettings settings;
    Tree tree;
    Node* p = tree.add(nullptr);
    Node* first = tree.add(p);
    Node* second = tree.add(p);
    layoutTree(settings, p);

    EXPECT_NEAR(p->radius, 0.356695, 1e-6);
    EXPECT_NEAR(bandAngleOf(settings, p), 1.349037, 1e-6);

    const ProjPoint pole = positionInParent(first);
    EXPECT_NEAR(pole.x, -std::tanh(p->radius), 1e-15);
    EXPECT_NEAR(std::hypot(pole.y, pole.z), 0.0, 1e-15);

    const ProjPoint band = positionInParent(second);
    EXPECT_NEAR(band.norm3(), std::tanh(p->radius), 1e-14);  // child distance d = R
    EXPECT_NEAR(polarAngle(band), 1.349037, 1e-6);
    EXPECT_NEAR(azimuthOf(band), 0.686643, 1e-6);

    // In the child's own frame, its parent lies along +x at the child distance.
    const ProjPoint parentSeen =
        dehomogenized(second->localTransform().inverse().apply(ProjPoint()));
    EXPECT_NEAR(parentSeen.x, std::tanh(p->radius), 1e-14);
    EXPECT_NEAR(parentSeen.y, 0.0, 1e-14);
    EXPECT_NEAR(parentSeen.z, 0.0, 1e-14);
}

TEST(Layout, OrderingListIsStableByDescendingCount) {
    std::vector<OrderRecord> order = {{0, 0}, {2, 1}, {2, 2}, {5, 3}, {0, 4}, {5, 5}};
    sortByDescendingCount(order);
    const int expected[] = {3, 5, 1, 2, 0, 4};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(order[i].index, expected[i]);

    // A later child with a larger count takes the pole; equal counts keep the children order.
    ViewerSettings settings;
    Tree tree;
    Node* p = tree.add(nullptr);
    Node* leafA = tree.add(p);
    Node* leafB = tree.add(p);
    Node* big = tree.add(p);
    tree.add(big);
    layoutTree(settings, p);
    EXPECT_NEAR(polarAngle(positionInParent(big)), 0.0, 1e-7);
    EXPECT_GT(polarAngle(positionInParent(leafA)), 0.5);
    EXPECT_LT(azimuthOf(positionInParent(leafA)), azimuthOf(positionInParent(leafB)));
}

TEST(Layout, ChildTranslationMemoMatchesFreshTranslations) {
    // Many more distances than memo slots, revisited in a scrambled order: every answer must be
    // the translation built afresh for that very distance.
    ChildTranslations memo;
    std::mt19937 rng(3);
    std::vector<double> distances;
    for (int i = 0; i < 300; ++i) distances.push_back(0.3 + 0.01 * i);
    distances.push_back(0.0);
    for (int round = 0; round < 4000; ++round) {
        const double d = distances[rng() % distances.size()];
        ProjTransform fresh;
        fresh.setTranslationBy(-d, 0, 0);
        const ProjTransform& memoised = memo.toward(d);
        for (int e = 0; e < 16; ++e) ASSERT_EQ(memoised.m[e], fresh.m[e]) << d;
    }
}

TEST(Layout, TwentyLeavesFillThreeBands) {
    ViewerSettings settings;
    Tree tree;
    Node* p = tree.add(nullptr);
    for (int i = 0; i < 20; ++i) tree.add(p);
    layoutTree(settings, p);
    EXPECT_NEAR(p->radius, 0.968194, 1e-6);
    EXPECT_NEAR(bandAngleOf(settings, p), 1.518, 1e-3);

    std::vector<double> bands;
    for (Node* k : p->children) {
        const double polar = polarAngle(positionInParent(k));
        if (bands.empty() || std::fabs(polar - bands.back()) > 1e-9) bands.push_back(polar);
    }
    ASSERT_EQ(bands.size(), 4u);  // the pole, then three bands
    EXPECT_NEAR(bands[0], 0.0, 1e-7);
    EXPECT_NEAR(bands[1], 0.506, 1e-3);
    EXPECT_NEAR(bands[2], 1.012, 1e-3);
    EXPECT_NEAR(bands[3], 1.518, 1e-3);
}

TEST(Layout, OverflowingBandsEnlargeTheHemisphere) {
    ViewerSettings settings;
    {
        // 1000 leaves: clamped to the maximum, past the equator, then enlarged beyond it.
        Tree tree;
        Node* p = tree.add(nullptr);
        for (int i = 0; i < 1000; ++i) tree.add(p);
        layoutTree(settings, p);
        EXPECT_NEAR(p->radius, 2.737162, 1e-6);
        EXPECT_GT(p->radius, settings.maxRadius);
        EXPECT_NEAR(bandAngleOf(settings, p), 1.5147, 1e-4);

        const double area = 1000 * 6.28318530718 * (std::cosh(kMinRadius) - 1.0);
        EXPECT_GT(hemisphereRadius(area, 1000), settings.maxRadius);
        std::vector<OrderRecord> order(1000);
        for (int i = 0; i < 1000; ++i) order[i] = {0.0f, i};
        p->radius = settings.maxRadius;
        EXPECT_NEAR(placeChildren(settings, p, false, p, order), 1.5725, 1e-4);
    }
    {
        // Two children of radius 0.5 (as if each carried one descendant) ahead of eight leaves.
        Tree tree;
        Node* p = tree.add(nullptr);
        for (int i = 0; i < 10; ++i) {
            Node* k = tree.add(p);
            k->radius = i < 2 ? 0.5 : kMinRadius;
            k->descendantCount = i < 2 ? 1 : 0;
        }
        LayoutScratch scratch;
        const double bandAngle = sizeFromChildren(settings, p, false, p, scratch);
        const std::vector<OrderRecord>& order = scratch.order;
        EXPECT_EQ(p->descendantCount, 12);
        EXPECT_NEAR(p->radius, 0.894825, 1e-6);
        EXPECT_NEAR(bandAngle, 1.555581, 1e-6);
        ASSERT_EQ(order.size(), 10u);
        EXPECT_EQ(order[0].index, 0);
        EXPECT_EQ(order[1].index, 1);

        const double area =
            6.28318530718 * (2 * (std::cosh(0.5) - 1.0) + 8 * (std::cosh(kMinRadius) - 1.0));
        const double firstRadius = hemisphereRadius(area, 10);
        EXPECT_NEAR(firstRadius, 0.831014, 1e-6);
        p->radius = firstRadius;
        EXPECT_NEAR(placeChildren(settings, p, false, p, order), 1.687023, 1e-6);
    }
}

TEST(Layout, StartingBelowTheTopKeepsRelativePlacement) {
    for (const float spacing : {0.0f, 0.5f}) {
        ViewerSettings settings;
        settings.childSpacing = spacing;
        Tree tree;
        // Small fan-outs keep the distances short, so the comparison stays well conditioned.
        std::mt19937 rng(11);
        tree.add(nullptr);
        for (int i = 1; i < 120; ++i) {
            Node* parent = &tree.nodes[rng() % tree.nodes.size()];
            if (parent->level >= 5) parent = parent->parent;
            tree.add(parent);
        }
        Node* s = nullptr;
        for (Node& n : tree.nodes) {
            if (n.level >= 3 && !n.children.empty()) s = &n;
        }
        ASSERT_NE(s, nullptr);

        layoutTree(settings, tree.top());
        std::vector<ProjTransform> fromTop;
        std::vector<double> radii;
        std::vector<int> counts;
        for (const Node& n : tree.nodes) {
            fromTop.push_back(n.globalTransform);
            radii.push_back(n.radius);
            counts.push_back(n.descendantCount);
        }
        const ProjTransform topToStart = s->globalTransform.inverse();

        layoutTree(settings, s);
        for (int i = 0; i < 16; ++i) EXPECT_EQ(s->globalTransform.m[i], i % 5 == 0 ? 1.0 : 0.0);
        const Node* p = s->parent;
        const double d = p->radius * (1.0 + spacing * std::tanh(p->radius));
        const ProjPoint parentAt = globalPosition(p);
        EXPECT_NEAR(parentAt.x, std::tanh(d), 1e-14);
        EXPECT_NEAR(parentAt.y, 0.0, 1e-14);
        EXPECT_NEAR(parentAt.z, 0.0, 1e-14);
        for (size_t i = 0; i < tree.nodes.size(); ++i) {
            const Node& n = tree.nodes[i];
            EXPECT_EQ(n.radius, radii[i]) << i;
            EXPECT_EQ(n.descendantCount, counts[i]) << i;
            expectSameTransform(n.globalTransform, fromTop[i] * topToStart, 1e-9, "node");
        }
    }
}

TEST(Layout, LinkEnds) {
    ViewerSettings settings;
    Tree tree;
    Node* top = tree.add(nullptr);
    Node* a = tree.add(top);
    Node* s = tree.add(a);
    Node* b = tree.add(top);
    tree.add(b);
    Link* self = tree.link(b, b);
    Link* toStart = tree.link(b, s);
    Link* fromStart = tree.link(s, top);
    layoutTree(settings, s);

    EXPECT_EQ(self->fromPosition().x, self->toPosition().x);
    EXPECT_EQ(self->fromPosition().y, self->toPosition().y);
    EXPECT_EQ(self->fromPosition().z, self->toPosition().z);
    EXPECT_EQ(self->fromPosition().w, 1.0);
    EXPECT_GT(self->fromPosition().norm3(), 0.1);

    EXPECT_EQ(toStart->toPosition().x, 0.0);
    EXPECT_EQ(toStart->toPosition().y, 0.0);
    EXPECT_EQ(toStart->toPosition().z, 0.0);
    EXPECT_EQ(toStart->toPosition().w, 1.0);

    const ProjPoint topAt = globalPosition(top);
    EXPECT_EQ(fromStart->toPosition().x, topAt.x);
    EXPECT_EQ(fromStart->toPosition().y, topAt.y);
    EXPECT_EQ(fromStart->toPosition().z, topAt.z);
    EXPECT_EQ(fromStart->toPosition().w, 1.0);
    EXPECT_LT(topAt.norm3(), 1.0);  // inside the ball
}

TEST(Layout, DeepChainFinishesAndOverflowsOnlyFarDown) {
    ViewerSettings settings;
    Tree tree;
    Node* n = tree.add(nullptr);
    for (int i = 1; i < 200000; ++i) n = tree.add(n);
    Node* bottom = n;
    tree.link(tree.top(), bottom);

    layoutTree(settings, tree.top());
    EXPECT_EQ(tree.top()->descendantCount, 199999);
    EXPECT_EQ(tree.top()->radius, kMinRadius);
    // Each level adds 0.3: cosh overflows somewhere near depth 2 400.
    int firstOverflow = -1;
    for (int depth = 0; depth < 200000; ++depth) {
        const double w = tree.nodes[depth].globalTransform.at(3, 3);
        if (!std::isfinite(w)) {
            firstOverflow = depth;
            break;
        }
    }
    EXPECT_GT(firstOverflow, 2300);
    EXPECT_LT(firstOverflow, 2500);
    // w of the placed origin is the cosh of its distance from the top.
    EXPECT_NEAR(std::acosh(tree.nodes[1000].globalTransform.at(3, 3)), 1000 * kMinRadius, 1e-6);

    // From the bottom: the whole chain is re-anchored upward.
    layoutTree(settings, bottom);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(bottom->globalTransform.m[i], i % 5 == 0 ? 1.0 : 0.0);
    EXPECT_NEAR(globalPosition(bottom->parent).x, std::tanh(kMinRadius), 1e-15);
    EXPECT_EQ(tree.top()->descendantCount, 199999);
    EXPECT_EQ(tree.linkList[0]->toPosition().x, 0.0);
}

TEST(Layout, WideFanOutFinishes) {
    ViewerSettings settings;
    Tree tree;
    Node* top = tree.add(nullptr);
    for (int i = 0; i < 300000; ++i) tree.add(top);
    layoutTree(settings, top);
    EXPECT_EQ(top->descendantCount, 300000);
    const double d = top->radius;
    int misplaced = 0;
    for (const Node* k : top->children) {
        const ProjPoint at = globalPosition(k);
        if (!std::isfinite(at.x) || std::fabs(ProjPoint().distance(at) - d) > 1e-9) ++misplaced;
    }
    EXPECT_EQ(misplaced, 0);

    // From one of the leaves: its 299 999 siblings are sized on the way up.
    Node* s = top->children[123456];
    layoutTree(settings, s);
    EXPECT_EQ(top->radius, d);
    EXPECT_NEAR(globalPosition(top).x, std::tanh(d), 1e-14);
}

namespace {

// Rows of a positions table ("index,id,x,y,z"): the three coordinates of each row, in order.
std::vector<std::array<double, 3>> positionRows(const std::string& csv) {
    std::vector<std::array<double, 3>> rows;
    size_t at = csv.find('\n') + 1;  // past the header
    while (at < csv.size()) {
        const size_t end = csv.find('\n', at);
        const std::string line = csv.substr(at, end - at);
        const size_t zAt = line.rfind(','), yAt = line.rfind(',', zAt - 1),
                     xAt = line.rfind(',', yAt - 1);
        rows.push_back({std::stod(line.substr(xAt + 1)), std::stod(line.substr(yAt + 1)),
                        std::stod(line.substr(zAt + 1))});
        at = end == std::string::npos ? csv.size() : end + 1;
    }
    return rows;
}

std::string positionsCsv(const Graph& graph) {
    std::FILE* out = std::tmpfile();
    EXPECT_TRUE(writePositionsCsv(out, graph));
    std::string csv(static_cast<size_t>(std::ftell(out)), '\0');
    std::rewind(out);
    EXPECT_EQ(std::fread(csv.data(), 1, csv.size(), out), csv.size());
    std::fclose(out);
    return csv;
}

// What every laid-out tree keeps: finite transforms, each node's global transform its local one
// composed with its parent's, every child at the parent's child distance inside the parent's
// hemisphere (the side facing away from the parent's own parent), radii within the settings'
// bounds unless enlarged, and descendant counts that add up.
void expectLinkEndsAtNodes(const Graph& graph);
void expectLayoutInvariants(const ViewerSettings& settings, const Graph& graph) {
    for (const Node* n : graph.nodes) {
        for (int e = 0; e < 16; ++e) ASSERT_TRUE(std::isfinite(n->globalTransform.m[e])) << e;
        ASSERT_GE(n->radius, static_cast<double>(settings.minRadius)) << n->id;
        int count = 0;
        for (const Node* k : n->children) {
            count += k->descendantCount + 1;
            const double d = n->radius * (1.0 + settings.childSpacing * std::tanh(n->radius));
            const ProjPoint at = positionInParent(k);
            ASSERT_NEAR(ProjPoint().distance(at), d, 1e-9) << k->id;
            ASSERT_LE(polarAngle(at), 1.5707963267948966 + 1e-9) << k->id;
            const ProjTransform composed = k->localTransform() * n->globalTransform;
            for (int e = 0; e < 16; ++e) {
                ASSERT_NEAR(k->globalTransform.m[e], composed.m[e],
                            1e-9 * (1.0 + std::fabs(composed.m[e])))
                    << k->id;
            }
        }
        ASSERT_EQ(n->descendantCount, count) << n->id;
        if (n->radius > settings.maxRadius) {
            ASSERT_GT(n->children.size(), 1u) << "only a crowded hemisphere is enlarged";
        }
    }
    expectLinkEndsAtNodes(graph);
}

void expectLinkEndsAtNodes(const Graph& graph) {
    for (const Link* l : graph.links) {
        const ProjPoint from = globalPosition(l->fromNode), to = globalPosition(l->toNode);
        ASSERT_EQ(l->fromPosition().x, from.x);
        ASSERT_EQ(l->fromPosition().z, from.z);
        ASSERT_EQ(l->toPosition().y, to.y);
        ASSERT_EQ(l->toPosition().w, 1.0);
    }
}

}  // namespace

// tests/data/site.positions.csv is `orvo-inspect --positions` on examples/site.graph. Each
// coordinate must agree within 1e-9 (the table prints 17 digits; the tolerance leaves room for
// another compiler's rounding only).
TEST(Layout, BundledExampleMatchesGoldenPositionsOnOneAndTwoThreads) {
    ViewerSettings settings;
    applyWindowInitialisation(settings);  // as the tool reads it
    std::ifstream in(std::string(ORVO_SOURCE_DIR) + "/examples/site.graph", std::ios::binary);
    ASSERT_TRUE(in.good());
    Graph graph(settings, in);
    layOutFromTop(graph);
    ASSERT_GT(graph.nodes.size(), 1000u);
    const auto golden =
        positionRows(orvo::testing::readWholeFile(orvo::testing::dataPath("site.positions.csv")));
    const auto expectGolden = [&](const char* how) {
        const auto rows = positionRows(positionsCsv(graph));
        ASSERT_EQ(rows.size(), golden.size()) << how;
        for (size_t i = 0; i < rows.size(); ++i) {
            for (int c = 0; c < 3; ++c) {
                ASSERT_NEAR(rows[i][c], golden[i][c], 1e-9)
                    << how << " node " << i << " axis " << c;
            }
        }
    };
    expectGolden("one thread");
    expectLayoutInvariants(settings, graph);
    bool enlarged = false;
    for (const Node* n : graph.nodes) {
        if (n->children.empty()) continue;
        double area = 0.0;
        for (const Node* k : n->children) area += (std::cosh(k->radius) - 1) * 6.28318530718;
        const double firstRadius = std::clamp<double>(hemisphereRadius(area, n->children.size()),
                                                      settings.minRadius, settings.maxRadius);
        if (firstRadius < n->radius) enlarged = true;
    }
    EXPECT_TRUE(enlarged) << "the example should exercise the enlarged hemisphere";

    // The same tree shared out between two threads: the same positions to the last bit.
    std::vector<ProjTransform> fromTop;
    for (const Node* n : graph.nodes) fromTop.push_back(n->globalTransform);
    const SubtreeSplit split = splitSubtree(graph.root, kSplitRoots);
    ASSERT_GE(split.roots.size(), kSplitRoots);
    uint64_t reported = 0;
    const LayoutTicker::Report report = [&](uint64_t done, uint64_t) { reported = done; };
    LayoutTicker ticker(report, 2 * graph.nodes.size());
    layoutTree(settings, graph.root, &ticker, true);
    EXPECT_EQ(ticker.done(), 2 * graph.nodes.size());
    ticker.finish();
    EXPECT_EQ(reported, 2 * graph.nodes.size());
    for (const Node* n : graph.nodes) {
        for (int e = 0; e < 16; ++e) ASSERT_EQ(n->globalTransform.m[e], fromTop[n->index].m[e]);
    }

    // Re-anchored at a deep node, on two threads too: the same picture seen from there.
    Node* s = graph.nodes.back();
    while (s->parent != nullptr && s->parent->parent != nullptr && s->children.empty())
        s = s->parent;
    ASSERT_NE(s->parent, nullptr);
    const ProjTransform topToStart = fromTop[s->index].inverse();
    for (const bool twoThreads : {false, true}) {
        layoutTree(settings, s, nullptr, twoThreads);
        for (int i = 0; i < 16; ++i) EXPECT_EQ(s->globalTransform.m[i], i % 5 == 0 ? 1.0 : 0.0);
        EXPECT_NEAR(globalPosition(s->parent).x, std::tanh(s->parent->radius), 1e-14);
        for (const Node* n : graph.nodes) {
            expectSameTransform(n->globalTransform, fromTop[n->index] * topToStart, 1e-8,
                                std::string(n->id).c_str());
        }
    }
    relayoutFrom(graph, s);
    expectLinkEndsAtNodes(graph);
}

// A crowd of leaves never gets a smaller hemisphere than a thinner one.
TEST(Layout, HemisphereGrowsWithItsChildren) {
    ViewerSettings settings;
    double previous = 0.0;
    for (int leaves = 1; leaves <= 1200; leaves += leaves < 40 ? 1 : 97) {
        Tree tree;
        Node* p = tree.add(nullptr);
        for (int i = 0; i < leaves; ++i) tree.add(p);
        layoutTree(settings, p);
        EXPECT_GE(p->radius, previous) << leaves << " leaves";
        previous = p->radius;
    }
}
