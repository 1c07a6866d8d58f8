// Every node's measures: small outlines checked by hand, and the link scores of real site maps
// against a PageRank written here from its definition alone.
#include "graph/node_measures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "glue/window_settings.h"
#include "graph/graph.h"
#include "graph/link_score.h"
#include "tests/graph_test_support.h"

namespace orvo {
namespace {

std::string table(const Graph& g, const NodeMeasures& m) {
    std::string out;
    char score[32];
    for (size_t i = 0; i < g.nodes.size(); ++i) {
        std::snprintf(score, sizeof score, "%.10f", m.score[i]);
        out += std::string(g.nodes[i]->id) + " " + std::to_string(m.depth[i]) + " " +
               std::to_string(m.linksIn[i]) + " " + std::to_string(m.linksOut[i]) + " " +
               std::to_string(m.subtree[i]) + " " + score + "\n";
    }
    return out;
}

TEST(NodeMeasures, SmallOutlinesGiveTheirHandCheckedMeasures) {
    for (const testing::OutlineCase& c : testing::outlineCases("measures_cases.txt")) {
        ViewerSettings settings;
        settings.loadFlags = std::stoi(c.arguments);
        Graph g(settings);
        ASSERT_TRUE(testing::readText(g, c.input)) << c.name;
        EXPECT_EQ(table(g, computeNodeMeasures(g)), c.expected) << c.name;
        EXPECT_EQ(table(g, computeNodeMeasures(g, nullptr, 2)), c.expected) << c.name;
    }
}

// PageRank from its definition, pushed along each node's links as the tree and the non-tree
// lists hold them (not through the graph's link array the measures read): every round each node
// hands 0.85 of its score in equal parts to the nodes it links to, a node without links out to
// every node, and every node gets 0.15 / n besides.
// `rounds` tells how many rounds it took until the scores moved by less than 1e-10 in all.
std::vector<double> plainPageRank(const Graph& g, int& rounds) {
    const size_t n = g.nodes.size();
    std::vector<double> rank(n, 1.0 / double(n)), next(n);
    rounds = 0;
    for (int round = 1; round <= 1000; ++round) {
        std::fill(next.begin(), next.end(), 0.15 / double(n));
        for (const Node* u : g.nodes) {
            std::vector<const Node*> targets(u->children.begin(), u->children.end());
            for (const Link* l : u->outLinks) targets.push_back(l->toNode);
            const double r = rank[size_t(u->index)];
            if (targets.empty()) {
                for (double& x : next) x += 0.85 * r / double(n);
            } else {
                for (const Node* t : targets) next[size_t(t->index)] += 0.85 * r / targets.size();
            }
        }
        double change = 0;
        for (size_t i = 0; i < n; ++i) change += std::fabs(next[i] - rank[i]);
        rank.swap(next);
        if (rounds == 0 && change < 1e-10) rounds = round;
        if (change < 1e-13) break;
    }
    return rank;
}

// Node indices by falling score, ties by index.
std::vector<size_t> ranked(const std::vector<double>& score) {
    std::vector<size_t> order(score.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return score[a] > score[b]; });
    return order;
}

TEST(NodeMeasures, LinkScoresOfRealSitesMatchAPlainPowerIteration) {
    for (const char* file : {"examples/site.graph", "examples/sqlite-doc.graph"}) {
        ViewerSettings settings;
        applyWindowInitialisation(settings);
        Graph g(settings);
        ASSERT_TRUE(testing::readFile(g, std::string(ORVO_SOURCE_DIR) + "/" + file)) << file;
        ASSERT_GT(g.nodes.size(), 1000u) << file;
        const LinkScores ours = computeLinkScores(g);
        ASSERT_EQ(ours.score.size(), g.nodes.size());
        EXPECT_LT(ours.lastChange, kLinkScoreTolerance) << file;
        EXPECT_LE(ours.rounds, kLinkScoreMaxRounds) << file;
        int plainRounds = 0;
        const std::vector<double> plain = plainPageRank(g, plainRounds);
        EXPECT_NEAR(std::accumulate(ours.score.begin(), ours.score.end(), 0.0), 1.0, 1e-12);
        double worst = 0;
        for (size_t i = 0; i < plain.size(); ++i)
            worst = std::max(worst, std::fabs(ours.score[i] - plain[i]));
        // Both stop when the whole vector moves by less than their tolerance; the error left is
        // below that.
        EXPECT_LT(worst, 1e-10) << file;
        // From the same start, the same number of rounds to the same tolerance.
        EXPECT_EQ(ours.rounds, plainRounds) << file;
        // The top 100 in the same order, but for nodes whose scores tie within the error.
        const std::vector<size_t> a = ranked(ours.score), b = ranked(plain);
        for (size_t k = 0; k < 100; ++k) {
            if (a[k] != b[k]) {
                EXPECT_NEAR(plain[a[k]], plain[b[k]], 1e-12)
                    << file << " rank " << k << ": " << g.nodes[a[k]]->id << " and "
                    << g.nodes[b[k]]->id;
            }
        }
        // Two threads sharing each round give the very same numbers, and the other measures
        // worked out beside the link table too.
        EXPECT_EQ(computeLinkScores(g, nullptr, 2).score, ours.score) << file;
        const NodeMeasures one = computeNodeMeasures(g), two = computeNodeMeasures(g, nullptr, 2);
        EXPECT_EQ(two.score, one.score) << file;
        EXPECT_EQ(std::tie(two.depth, two.linksIn, two.linksOut, two.subtree),
                  std::tie(one.depth, one.linksIn, one.linksOut, one.subtree))
            << file;
    }
}

TEST(NodeMeasures, AStopAskedForEndsWithNothingAndAnEmptyGraphHasNoMeasures) {
    ViewerSettings settings;
    Graph g(settings);
    EXPECT_TRUE(computeNodeMeasures(g).empty());
    ASSERT_TRUE(testing::readText(g, "0 a 0\n1 b 0\n"));
    const std::atomic<bool> stop{true};
    EXPECT_TRUE(computeNodeMeasures(g, &stop).empty());
    EXPECT_EQ(computeNodeMeasures(g).size(), 2u);
}

TEST(NodeMeasures, NamesRoundTripAndTheHeavyTailedAreTheThreeCounts) {
    std::string heavy;
    for (int i = 0; i < kMeasureCount; ++i) {
        const Measure m = static_cast<Measure>(i);
        EXPECT_EQ(measureNamed(measureName(m)), m);
        if (measureIsHeavyTailed(m)) heavy += std::string(measureName(m)) + " ";
    }
    EXPECT_EQ(heavy, "in subtree score ");
    EXPECT_FALSE(measureNamed("Score"));
    EXPECT_FALSE(measureNamed(""));
}

}  // namespace
}  // namespace orvo
