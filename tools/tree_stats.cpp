// Tree statistics of a loaded graph.
#include "tools/tree_stats.h"

#include <utility>
#include <vector>

#include "graph/graph.h"

namespace orvo {

TreeStats computeTreeStats(const Graph& graph) {
    TreeStats stats;
    stats.nodes = int64_t(graph.nodes.size());
    stats.links = int64_t(graph.links.size());
    for (const Node* n : graph.nodes) {
        stats.treeLinks += int64_t(n->children.size());
        if (n->isShown()) ++stats.shownNodes;
        if (int64_t(n->children.size()) > stats.widestFanOut || !stats.widestNode) {
            stats.widestFanOut = int64_t(n->children.size());
            stats.widestNode = n;
        }
    }
    stats.nonTreeLinks = stats.links - stats.treeLinks;
    if (!graph.root) return stats;
    std::vector<std::pair<const Node*, int64_t>> stack{{graph.root, 0}};
    while (!stack.empty()) {
        const auto [node, depth] = stack.back();
        stack.pop_back();
        if (depth > stats.depth) stats.depth = depth;
        for (const Node* child : node->children) stack.push_back({child, depth + 1});
    }
    return stats;
}

}  // namespace orvo
