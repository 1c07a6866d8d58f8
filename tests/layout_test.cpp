// The hemisphere layout against golden positions: small trees of every shape, with and without
// child spacing, and the bundled example, on one and two threads, from the top and re-anchored.
#include "layout/layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

#include "geometry/proj_transform.h"
#include "glue/window_settings.h"
#include "graph/graph.h"
#include "graph/positions_csv.h"
#include "layout/subtree_split.h"
#include "settings/viewer_settings.h"
#include "tests/graph_test_support.h"

using namespace orvo;
using namespace orvo::testing;

namespace {

// The positions table ("index,id,x,y,z") against a golden one of tests/data, each coordinate
// within 1e-9 (it prints 17 digits: room for another compiler's rounding only).
void expectGoldenPositions(const Graph& graph, const char* golden) {
    std::FILE* out = std::tmpfile();
    ASSERT_TRUE(writePositionsCsv(out, graph));
    std::string csv(static_cast<size_t>(std::ftell(out)), '\0');
    std::rewind(out);
    ASSERT_EQ(std::fread(csv.data(), 1, csv.size(), out), csv.size());
    std::fclose(out);
    if (const char* update = std::getenv("ORVO_WRITE_GOLDEN"); update && *update == '1') {
        writeWholeFile(dataPath(golden), csv);
        FAIL() << "wrote " << dataPath(golden);
    }
    std::istringstream got(csv), want(readWholeFile(dataPath(golden)));
    for (std::string a, b; std::getline(want, b);) {
        ASSERT_TRUE(std::getline(got, a)) << golden << ": a row less";
        double p[3] = {}, q[3] = {};  // from the third comma from the end, as ids hold commas
        const auto xyz = [](const std::string& row, double* v) {
            std::sscanf(row.c_str() + row.rfind(',', row.rfind(',', row.rfind(',') - 1) - 1) + 1,
                        "%lf,%lf,%lf", v, v + 1, v + 2);
        };
        xyz(a, p), xyz(b, q);
        for (int c = 0; c < 3; ++c) ASSERT_NEAR(p[c], q[c], 1e-9) << golden << ": " << a;
    }
    EXPECT_TRUE(got.peek() == EOF) << golden << ": a row more";
}

// Laid out again from `s` (on one thread or two), every node is where it was seen from `s`
// before: `s` at the origin, its parent straight along +x at the child distance.
void expectSamePictureFrom(Graph& graph, Node* s, double tolerance) {
    std::vector<ProjTransform> fromTop;
    for (const Node* n : graph.nodes) fromTop.push_back(graph.globalTransform(*n));
    const ProjTransform topToStart = fromTop[s->index].inverse();
    for (const bool twoThreads : {false, true}) {
        layoutTree(graph, s, nullptr, twoThreads);
        EXPECT_TRUE(std::equal(graph.globalTransform(*s).m, graph.globalTransform(*s).m + 16,
                               ProjTransform::identity().m));
        for (const Node* n : graph.nodes) {
            const ProjTransform expected = fromTop[n->index] * topToStart;
            for (int i = 0; i < 16; ++i) {
                ASSERT_NEAR(graph.globalTransform(*n).m[i], expected.m[i],
                            tolerance * (1.0 + std::fabs(expected.m[i])))
                    << n->id << " element " << i;
            }
        }
    }
}

// The determinant of a transform, by elimination with partial pivoting.
double determinant(const ProjTransform& t) {
    double a[16];
    std::copy(t.m, t.m + 16, a);
    double d = 1.0;
    for (int c = 0; c < 4; ++c) {
        int pivot = c;
        for (int r = c + 1; r < 4; ++r)
            if (std::fabs(a[r * 4 + c]) > std::fabs(a[pivot * 4 + c])) pivot = r;
        if (pivot != c) {
            std::swap_ranges(a + pivot * 4, a + pivot * 4 + 4, a + c * 4);
            d = -d;
        }
        d *= a[c * 4 + c];
        if (a[c * 4 + c] == 0.0) return 0.0;
        for (int r = c + 1; r < 4; ++r) {
            const double f = a[r * 4 + c] / a[c * 4 + c];
            for (int k = c; k < 4; ++k) a[r * 4 + k] -= f * a[c * 4 + k];
        }
    }
    return d;
}

}  // namespace

// small_trees.graph: a lone node, one leaf, two leaves (pole and first band), a later child with
// more descendants, twenty leaves (three bands), children of different sizes, and 1000 leaves
// that enlarge their hemisphere past the maximum. The golden positions were checked by hand (radii,
// the bands) and, with child spacing, against the layout's invariants (every child at the parent's
// child distance, in its hemisphere, transforms composed down the tree).
TEST(Layout, SmallTreesMatchGoldenPositions) {
    ViewerSettings settings;
    Graph graph(settings);
    ASSERT_TRUE(readFile(graph, dataPath("small_trees.graph")));
    expectGoldenPositions(graph, "small_trees.positions.csv");
    // With child spacing: other golden positions, and the same picture from a node below the top.
    settings.childSpacing = 0.5f;
    relayoutFrom(graph, graph.root);
    expectGoldenPositions(graph, "small_trees.spaced.positions.csv");
    expectSamePictureFrom(graph, graph.findNode("order/big"), 1e-9);
    layoutTree(graph, nullptr);  // no start node: nothing to do, no crash
}

// The places worked out when asked for, in any order, are those of composing every placement
// down from the start (and up through its ancestors), to the last bit: from the top node and
// from a deep one, then again after the layout restarted.
TEST(Layout, PlacesAskedForInAnyOrderAreThoseComposedFromTheStart) {
    ViewerSettings settings;
    applyWindowInitialisation(settings);
    std::ifstream in(std::string(ORVO_SOURCE_DIR) + "/examples/site.graph", std::ios::binary);
    Graph graph(settings, in);
    Node* deep = graph.nodes.back();
    while (deep->parent != nullptr && deep->children.empty()) deep = deep->parent;
    std::mt19937 rng(5);
    for (Node* start : {graph.root, deep, graph.root}) {
        SCOPED_TRACE(start->id);
        relayoutFrom(graph, start);
        // Composed down from the start, then up its ancestors, each placed against the child
        // leading to the start, and down the other subtrees hanging from them.
        std::vector<ProjTransform> composed(graph.nodes.size());
        std::vector<const Node*> stack;
        const auto down = [&](const Node* top) {
            for (stack.assign(1, top); !stack.empty();) {
                const Node* n = stack.back();
                stack.pop_back();
                for (const Node* k : n->children) {
                    composed[k->index] = k->localTransform() * composed[n->index];
                    stack.push_back(k);
                }
            }
        };
        composed[start->index] = ProjTransform::identity();
        down(start);
        for (const Node *n = start, *p = start->parent; p != nullptr; n = p, p = p->parent) {
            composed[p->index] = p->localTransform() * composed[n->index];
            for (const Node* k : p->children) {
                if (k == n) continue;
                composed[k->index] = k->localTransform() * composed[p->index];
                down(k);
            }
        }
        std::vector<const Node*> asked(graph.nodes.begin(), graph.nodes.end());
        std::shuffle(asked.begin(), asked.end(), rng);
        for (const Node* n : asked) {
            const ProjTransform& lazy = graph.globalTransform(*n);
            ASSERT_TRUE(std::equal(lazy.m, lazy.m + 16, composed[n->index].m)) << n->id;
        }
    }
}

TEST(Layout, BundledExampleMatchesGoldenPositionsOnOneAndTwoThreads) {
    ViewerSettings settings;
    applyWindowInitialisation(settings);  // as the tool reads it
    std::ifstream in(std::string(ORVO_SOURCE_DIR) + "/examples/site.graph", std::ios::binary);
    Graph graph(settings, in);
    layOutFromTop(graph);
    ASSERT_GT(graph.nodes.size(), 1000u);
    ASSERT_EQ(checkGraphInvariants(graph), "");
    expectGoldenPositions(graph, "site.positions.csv");
    // Every cube keeps its handedness: the shader back end draws only the faces wound towards
    // the eye, and a mirrored cube would show its far faces, their outlines through it.
    for (const Node* n : graph.nodes)
        ASSERT_GT(determinant(graph.globalTransform(*n)), 0.0) << n->id;

    // The same tree shared out between two threads: the same positions to the last bit.
    std::vector<ProjTransform> fromTop;
    for (const Node* n : graph.nodes) fromTop.push_back(graph.globalTransform(*n));
    ASSERT_GE(splitSubtree(graph.root, kSplitRoots).roots.size(), kSplitRoots);
    uint64_t reported = 0;
    const LayoutTicker::Report report = [&](uint64_t done, uint64_t) { reported = done; };
    LayoutTicker ticker(report, graph.nodes.size());
    layoutTree(graph, graph.root, &ticker, true);
    EXPECT_EQ(ticker.done(), graph.nodes.size());
    ticker.finish();
    EXPECT_EQ(reported, graph.nodes.size());
    for (const Node* n : graph.nodes) {
        const ProjTransform& t = graph.globalTransform(*n);
        ASSERT_TRUE(std::equal(t.m, t.m + 16, fromTop[n->index].m));
    }

    // Re-anchored at a deep node, on one thread and on two: the same picture seen from there.
    Node* s = graph.nodes.back();
    while (s->parent != nullptr && s->parent->parent != nullptr && s->children.empty())
        s = s->parent;
    expectSamePictureFrom(graph, s, 1e-8);
}

// A crowd of leaves never gets a smaller hemisphere than a thinner one.
TEST(Layout, HemisphereGrowsWithItsChildren) {
    double previous = 0.0;
    for (int leaves = 1; leaves <= 1200; leaves += leaves < 40 ? 1 : 97) {
        std::string text = "0 top 0\n";
        for (int i = 0; i < leaves; ++i) text += "1 n" + std::to_string(i) + " 0\n";
        ViewerSettings settings;
        Graph graph(settings);
        ASSERT_TRUE(readText(graph, text));
        EXPECT_GE(graph.root->radius, previous) << leaves << " leaves";
        previous = graph.root->radius;
    }
}
