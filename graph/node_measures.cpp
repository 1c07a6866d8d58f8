#include "graph/node_measures.h"

#include <array>

#include "graph/graph.h"
#include "graph/link_score.h"
#include "graph/side_by_side.h"

namespace orvo {

namespace {

constexpr std::array<std::string_view, kMeasureCount> kNames = {"depth", "in", "out", "subtree",
                                                                "score"};

}  // namespace

// Every node reachable from a node without a parent is put in order, parents before their
// children, breadth-first so that no tree is too deep; walking that order back hands each
// finished subtree count up.
void measureTreesOf(std::span<const int32_t> parent, int32_t root, NodeMeasures& m) {
    const size_t n = parent.size();
    // Each node's children: children[childStart[v]] to children[childStart[v + 1] - 1].
    ScratchArray<uint32_t> childStart(n + 1, 0);
    for (const int32_t p : parent)
        if (p >= 0) ++childStart[static_cast<size_t>(p)];
    uint32_t end = 0;
    for (size_t v = 0; v < n; ++v) childStart[v] = end += childStart[v];
    childStart[n] = end;
    ScratchArray<int32_t> children(end);
    for (size_t i = n; i-- > 0;)
        if (parent[i] >= 0) children[--childStart[static_cast<size_t>(parent[i])]] = int32_t(i);

    ScratchArray<int32_t> order;
    order.reserve(n);
    m.depth.assign(n, -1);
    for (size_t top = 0; top < n; ++top) {
        if (parent[top] >= 0) continue;
        const bool rootTree = int32_t(top) == root;
        size_t at = order.size();
        order.push_back(int32_t(top));
        if (rootTree) m.depth[top] = 0;
        for (; at < order.size(); ++at) {
            const auto v = static_cast<size_t>(order[at]);
            for (uint32_t k = childStart[v]; k < childStart[v + 1]; ++k) {
                const int32_t child = children[k];
                order.push_back(child);
                if (rootTree) m.depth[static_cast<size_t>(child)] = m.depth[v] + 1;
            }
        }
    }
    m.subtree.assign(n, 1);
    for (size_t k = order.size(); k-- > 0;) {
        const auto v = static_cast<size_t>(order[k]);
        if (parent[v] >= 0) m.subtree[static_cast<size_t>(parent[v])] += m.subtree[v];
    }
}

NodeMeasures withLinkScores(NodeMeasures m, LinkTable table, const std::atomic<bool>* stop,
                            int threads) {
    LinkScores scores = computeLinkScores(table, stop, threads);
    if (scores.score.empty()) return NodeMeasures{};
    m.linksIn = std::move(table.linksIn);
    m.linksOut = std::move(table.linksOut);
    m.score = std::move(scores.score);
    m.scoreRounds = scores.rounds;
    return m;
}

std::string_view measureName(Measure m) { return kNames[static_cast<size_t>(m)]; }

std::optional<Measure> measureNamed(std::string_view name) {
    for (size_t i = 0; i < kNames.size(); ++i)
        if (kNames[i] == name) return static_cast<Measure>(i);
    return std::nullopt;
}

bool measureIsHeavyTailed(Measure m) {
    return m == Measure::Score || m == Measure::LinksIn || m == Measure::Subtree;
}

double NodeMeasures::value(Measure m, size_t i) const {
    switch (m) {
        case Measure::Depth:
            return depth[i];
        case Measure::LinksIn:
            return linksIn[i];
        case Measure::LinksOut:
            return linksOut[i];
        case Measure::Subtree:
            return subtree[i];
        case Measure::Score:
            return score[i];
    }
    return 0.0;
}

NodeMeasures computeNodeMeasures(const Graph& graph, const std::atomic<bool>* stop, int threads) {
    NodeMeasures m;
    if (graph.nodes.empty()) return m;
    // The trees and the link table are each a walk over the whole graph; with two threads they
    // are walked side by side instead of each split in two, as most of either is one pass.
    LinkTable table;
    runSideBySide(
        threads > 1,
        [&] {
            const size_t n = graph.nodes.size();
            ScratchArray<int32_t> parent(n);
            for (size_t i = 0; i < n; ++i) {
                const Node* p = graph.nodes[i]->parent;
                parent[i] = p != nullptr ? p->index : -1;
            }
            measureTreesOf(parent, graph.root != nullptr ? graph.root->index : -1, m);
        },
        [&] { table = linkTableOf(graph); });
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) return NodeMeasures{};
    return withLinkScores(std::move(m), std::move(table), stop, threads);
}

NodeMeasures measureTreesAndLinks(std::span<const int32_t> parent, int32_t root,
                                  std::span<const int32_t> from, std::span<const int32_t> to) {
    NodeMeasures m;
    if (parent.empty()) return m;
    measureTreesOf(parent, root, m);
    LinkTable table = linkTableOfEnds(parent.size(), from, to);
    m.linksIn = std::move(table.linksIn);
    m.linksOut = std::move(table.linksOut);
    return m;
}

}  // namespace orvo
