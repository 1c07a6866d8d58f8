// The hemisphere layout: the radii, band angles and azimuths of small trees, re-anchoring at a
// non-top node, link ends, very deep and very wide trees, and agreement with a plain recursive
// version of the algorithm.
#include "layout/layout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <fstream>
#include <map>
#include <random>
#include <vector>

#include "geometry/proj_point.h"
#include "geometry/proj_transform.h"
#include "graph/graph.h"
#include "layout/child_translations.h"
#include "layout/subtree_split.h"
#include "settings/viewer_settings.h"

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

// A plain recursive version of the layout, step by step and without shortcuts: a translation
// built for every child, the ordering list built by insertion, every angle recomputed.
namespace reference {

// The local transforms of the transcription, kept as whole matrices beside the nodes.
std::map<const Node*, ProjTransform> localTransforms;
ProjTransform& localOf(const Node* n) {
    return localTransforms.try_emplace(n, ProjTransform::identity()).first->second;
}

double placeChildrenLiterally(const ViewerSettings& st, Node* n, bool upward, Node* p,
                              const std::vector<OrderRecord>& list) {
    const double R = p->radius;
    const double s = std::sinh(R);
    const double d = R * (1 + st.childSpacing * std::tanh(R));
    double bandAngle = 0, azimuth = 0;
    bool newBand = false;
    double maxR = 0.0, step = 0.0;
    for (const OrderRecord& rec : list) {
        ProjTransform T;
        T.setTranslationBy(-d, 0, 0);
        Node* k = p->children[rec.index];
        const double r = k->radius;
        if (!(bandAngle == 0 && azimuth == 0 && !newBand)) {
            bool startBand = false, wrapped = false;
            if (bandAngle != 0) {
                step = std::atan(std::tanh(r) / (std::sin(bandAngle) * s));
                if (step + azimuth > 6.28318530718) {
                    azimuth -= 6.28318530718;
                    startBand = wrapped = true;
                }
            }
            if (!wrapped) {
                if (newBand) {
                    startBand = true;
                } else {
                    azimuth += step;
                }
            }
            if (startBand) {
                bandAngle += std::atan(std::tanh(maxR) / s);
                bandAngle += std::atan(std::tanh(r) / s);
                maxR = r;
                newBand = false;
                step = std::atan(std::tanh(r) / (std::sin(bandAngle) * s));
                azimuth += step;
            }
        }
        const ProjPoint q(R * std::cos(bandAngle), R * std::sin(bandAngle) * std::cos(azimuth),
                          R * std::sin(bandAngle) * std::sin(azimuth), 1);
        ProjTransform rm;
        rm.setRotationBetween(ProjPoint(1, 0, 0, 1), q);
        if (upward && k == n) {
            localOf(p) = (T * rm).inverse();
        } else {
            localOf(k) = T * rm;
        }
        if (r > maxR) maxR = r;
        if (bandAngle == 0) {
            newBand = true;
        } else {
            azimuth += std::atan(std::tanh(r) / (std::sin(bandAngle) * s));
        }
    }
    return bandAngle;
}

void sizeSubtreeLiterally(const ViewerSettings& st, Node* n, bool upward) {
    if (n->children.empty()) {
        n->radius = st.minRadius;
        localOf(n).setIdentity();
    }
    Node* p = upward ? n->parent : n;
    if (p == nullptr) return;
    p->descendantCount = 0;
    double a = 0.0;
    std::vector<OrderRecord> list;
    for (size_t i = 0; i < p->children.size(); ++i) {
        Node* k = p->children[i];
        if (!(upward && k == n)) sizeSubtreeLiterally(st, k, false);
        a += (std::cosh(k->radius) - 1) * 6.28318530718;
        p->descendantCount += k->descendantCount + 1;
        list.push_back({static_cast<float>(k->descendantCount), static_cast<int>(i)});
        for (size_t j = list.size() - 1; j > 0 && list[j - 1].count < list[j].count; --j) {
            std::swap(list[j - 1], list[j]);
        }
    }
    const size_t count = p->children.size();
    const double f = count == 1 ? 0.2 : count == 2 ? 0.9 : count <= 5 ? 0.6 : 0.4;
    const double inflated = count == 0 ? 0.0 : a * (1 + f * std::tanh(a));
    double R = orvo::asinh(std::sqrt(inflated * 0.15915494309188485));
    if (R < st.minRadius) R = st.minRadius;
    if (R > st.maxRadius) R = st.maxRadius;
    p->radius = R;
    const double bandAngle = placeChildrenLiterally(st, n, upward, p, list);
    if (bandAngle > 1.57) {
        R = orvo::asinh(std::sqrt(std::pow(std::sinh(R), 2.0) * (1 - std::cos(bandAngle)) * 1.076));
        p->radius = R;
        placeChildrenLiterally(st, n, upward, p, list);
    }
    if (upward) sizeSubtreeLiterally(st, p, true);
}

void composeTransformsLiterally(Node* n, bool upward) {
    if (!upward) {
        for (Node* k : n->children) {
            k->globalTransform = localOf(k) * n->globalTransform;
            composeTransformsLiterally(k, false);
        }
        return;
    }
    while (n->parent != nullptr) {
        Node* p = n->parent;
        p->globalTransform = localOf(p) * n->globalTransform;
        for (Node* k : p->children) {
            if (k == n) continue;
            k->globalTransform = localOf(k) * p->globalTransform;
            composeTransformsLiterally(k, false);
        }
        n = p;
    }
}

void layout(const ViewerSettings& st, Node* s) {
    s->globalTransform.setIdentity();
    localOf(s).setIdentity();
    sizeSubtreeLiterally(st, s, false);
    composeTransformsLiterally(s, false);
    if (s->parent != nullptr) {
        sizeSubtreeLiterally(st, s, true);
        composeTransformsLiterally(s, true);
    }
}

}  // namespace reference

// A seeded tree mixing long chains, wide hubs, random attachment and bursts of many leaves.
void buildRandomTree(Tree& tree, unsigned seed, int size) {
    std::mt19937 rng(seed);
    tree.add(nullptr);
    for (int i = 1; i < size; ++i) {
        const int pick = static_cast<int>(rng() % 10);
        const int existing = static_cast<int>(tree.nodes.size());
        Node* parent;
        if (pick < 3) {
            parent = &tree.nodes[existing - 1];
        } else if (pick < 6) {
            parent = &tree.nodes[rng() % std::min(existing, 2)];
        } else {
            parent = &tree.nodes[rng() % existing];
        }
        tree.add(parent);
    }
    // Bursts of leaves under fresh nodes, enough to run the bands past the equator.
    for (int burst = 0; burst < 2; ++burst) {
        Node* parent = tree.add(&tree.nodes[rng() % tree.nodes.size()]);
        for (int i = 1000 + static_cast<int>(rng() % 400); i > 0; --i) tree.add(parent);
    }
}

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

    // Against insertion by swapping with strictly smaller predecessors, on lists full of ties.
    std::mt19937 rng(7);
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<OrderRecord> inserted, sorted;
        const int size = static_cast<int>(rng() % 60);
        for (int i = 0; i < size; ++i) {
            const OrderRecord rec{static_cast<float>(rng() % 5), i};
            sorted.push_back(rec);
            inserted.push_back(rec);
            for (size_t j = inserted.size() - 1; j > 0 && inserted[j - 1].count < inserted[j].count;
                 --j) {
                std::swap(inserted[j - 1], inserted[j]);
            }
        }
        sortByDescendingCount(sorted);
        for (int i = 0; i < size; ++i) ASSERT_EQ(sorted[i].index, inserted[i].index) << trial;
    }

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

// Also on two threads: the subtrees below the top levels are shared out, the bits stay.
TEST(Layout, AgreesWithRecursiveTranscription) {
    for (int variant = 0; variant < 4; ++variant) {
        const float spacing = variant % 2 == 0 ? 0.0f : 0.25f;
        const bool twoThreads = variant >= 2;
        ViewerSettings settings;
        settings.childSpacing = spacing;
        for (unsigned seed = 1; seed <= 4; ++seed) {
            Tree mine, theirs;
            buildRandomTree(mine, seed, 1500);
            buildRandomTree(theirs, seed, 1500);
            // The trees are wide enough near the top for a real split.
            const SubtreeSplit split = splitSubtree(&mine.nodes[0], kSplitRoots);
            ASSERT_GE(split.roots.size(), kSplitRoots);
            ASSERT_EQ(split.upper.front(), &mine.nodes[0]);
            // From a node deep inside a fresh tree first, then from the top.
            for (const int start : {1400, 0}) {
                // Laid out with a ticker: it must not change a bit, and it counts each node
                // once as it is sized and once as it is placed.
                Node* s = &mine.nodes[start];
                uint64_t reported = 0;
                const LayoutTicker::Report report = [&](uint64_t done, uint64_t) {
                    reported = done;
                };
                LayoutTicker ticker(report, 2 * mine.nodes.size());
                layoutTree(settings, s, &ticker, twoThreads);
                EXPECT_EQ(ticker.done(), 2 * mine.nodes.size()) << "start " << start;
                ticker.finish();
                EXPECT_EQ(reported, 2 * mine.nodes.size());
                reference::layout(settings, &theirs.nodes[start]);
                bool secondPass = false;
                for (size_t i = 0; i < mine.nodes.size(); ++i) {
                    const Node& a = mine.nodes[i];
                    const Node& b = theirs.nodes[i];
                    ASSERT_EQ(a.radius, b.radius) << seed << " node " << i;
                    ASSERT_EQ(a.descendantCount, b.descendantCount) << i;
                    const ProjTransform aLocal = a.localTransform();
                    const ProjTransform bLocal = reference::localOf(&b);
                    for (int e = 0; e < 16; ++e) {
                        ASSERT_EQ(aLocal.m[e], bLocal.m[e]) << i;
                        ASSERT_EQ(a.globalTransform.m[e], b.globalTransform.m[e]) << i;
                    }
                    if (a.children.size() > 1 && a.radius != settings.maxRadius &&
                        a.radius != static_cast<double>(settings.minRadius)) {
                        double area = 0.0;
                        for (const Node* k : a.children)
                            area += (std::cosh(k->radius) - 1) * 6.28318530718;
                        const double firstRadius = std::min<double>(
                            std::max<double>(hemisphereRadius(area, a.children.size()),
                                             settings.minRadius),
                            settings.maxRadius);
                        if (firstRadius != a.radius) secondPass = true;
                    }
                }
                EXPECT_TRUE(secondPass) << "the trees should exercise the enlarged hemisphere";
            }
        }
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

TEST(Layout, GraphReadFromDiskIsLaidOutAndReanchored) {
    ViewerSettings settings;
    std::ifstream in(std::string(ORVO_SOURCE_DIR) + "/examples/site.graph", std::ios::binary);
    ASSERT_TRUE(in.good());
    Graph graph(settings, in);
    layOutFromTop(graph);
    ASSERT_GT(graph.nodes.size(), 1000u);
    const auto expectLinkEndsAtNodes = [&graph] {
        for (const Link* l : graph.links) {
            const ProjPoint from = globalPosition(l->fromNode);
            const ProjPoint to = globalPosition(l->toNode);
            ASSERT_EQ(l->fromPosition().x, from.x);
            ASSERT_EQ(l->fromPosition().z, from.z);
            ASSERT_EQ(l->toPosition().y, to.y);
            ASSERT_EQ(l->toPosition().w, 1.0);
        }
    };
    expectLinkEndsAtNodes();
    EXPECT_EQ(graph.root->descendantCount, static_cast<int>(graph.nodes.size()) - 1);

    std::vector<ProjTransform> fromTop;
    for (const Node* n : graph.nodes) fromTop.push_back(n->globalTransform);
    Node* s = graph.nodes.back();
    while (s->parent != nullptr && s->parent->parent != nullptr && s->children.empty())
        s = s->parent;
    ASSERT_NE(s->parent, nullptr);
    const ProjTransform topToStart = fromTop[s->index].inverse();

    relayoutFrom(graph, s);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(s->globalTransform.m[i], i % 5 == 0 ? 1.0 : 0.0);
    EXPECT_NEAR(globalPosition(s->parent).x, std::tanh(s->parent->radius), 1e-14);
    for (const Node* n : graph.nodes) {
        expectSameTransform(n->globalTransform, fromTop[n->index] * topToStart, 1e-8,
                            std::string(n->id).c_str());
    }
    expectLinkEndsAtNodes();
}
