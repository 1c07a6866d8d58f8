#include "graph/node_measures.h"

#include <array>

#include "graph/graph.h"
#include "graph/link_score.h"

namespace orvo {

namespace {

constexpr std::array<std::string_view, kMeasureCount> kNames = {"depth", "in", "out", "subtree",
                                                                "score"};

// Every node reachable from a node without a parent, parents before their children, found
// breadth-first so that no tree is too deep; depth filled in for the root's tree.
std::vector<const Node*> treeOrder(const Graph& graph, std::vector<int32_t>& depth) {
    std::vector<const Node*> order;
    order.reserve(graph.nodes.size());
    for (const Node* top : graph.nodes) {
        if (top->parent != nullptr) continue;
        const bool rootTree = top == graph.root;
        size_t at = order.size();
        order.push_back(top);
        if (rootTree) depth[static_cast<size_t>(top->index)] = 0;
        for (; at < order.size(); ++at) {
            const Node* n = order[at];
            for (const Node* child : n->children) {
                order.push_back(child);
                if (rootTree)
                    depth[static_cast<size_t>(child->index)] =
                        depth[static_cast<size_t>(n->index)] + 1;
            }
        }
    }
    return order;
}

}  // namespace

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
        case Measure::Depth: return depth[i];
        case Measure::LinksIn: return linksIn[i];
        case Measure::LinksOut: return linksOut[i];
        case Measure::Subtree: return subtree[i];
        case Measure::Score: return score[i];
    }
    return 0.0;
}

NodeMeasures computeNodeMeasures(const Graph& graph, const std::atomic<bool>* stop,
                                 int threads) {
    NodeMeasures m;
    const size_t n = graph.nodes.size();
    if (n == 0) return m;
    m.depth.assign(n, -1);
    m.linksIn.assign(n, 0);
    m.linksOut.assign(n, 0);
    for (const Link* l : graph.links) {
        ++m.linksIn[static_cast<size_t>(l->toNode->index)];
        ++m.linksOut[static_cast<size_t>(l->fromNode->index)];
    }
    {
        const std::vector<const Node*> order = treeOrder(graph, m.depth);
        m.subtree.assign(n, 1);
        // Children after their parents: walking back hands each finished count up.
        for (size_t k = order.size(); k-- > 0;) {
            const Node* node = order[k];
            if (node->parent != nullptr)
                m.subtree[static_cast<size_t>(node->parent->index)] +=
                    m.subtree[static_cast<size_t>(node->index)];
        }
    }
    LinkScores scores = computeLinkScores(graph, stop, threads);
    if (scores.score.empty()) return NodeMeasures{};
    m.score = std::move(scores.score);
    m.scoreRounds = scores.rounds;
    return m;
}

}  // namespace orvo
