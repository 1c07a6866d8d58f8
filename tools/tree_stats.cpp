// Tree statistics of a loaded graph, or of a map read in place.
#include "tools/tree_stats.h"

#include <utility>
#include <vector>

#include "graph/graph.h"
#include "mapfile/map_region.h"

namespace orvo {

TreeStats computeTreeStats(const Graph& graph) {
    TreeStats stats;
    stats.nodes = int64_t(graph.nodes.size());
    stats.links = int64_t(graph.links.size());
    const Node* widest = nullptr;
    for (const Node* n : graph.nodes) {
        stats.treeLinks += int64_t(n->children.size());
        if (n->isShown()) ++stats.shownNodes;
        if (int64_t(n->children.size()) > stats.widestFanOut || !widest) {
            stats.widestFanOut = int64_t(n->children.size());
            widest = n;
        }
    }
    if (widest) stats.widestId = widest->id;
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

std::string computeMapTreeStats(const MapRegionSource& map, const Graph& groups,
                                TreeStats& stats) {
    stats = {};
    MapTreeShape shape;
    if (std::string why = map.treeShape(shape); !why.empty()) return why;
    stats.nodes = int64_t(map.nodeCount());
    stats.links = int64_t(map.linkCount());
    // Every node but the root hangs from its parent by one tree link.
    stats.treeLinks = stats.nodes > 0 ? stats.nodes - 1 : 0;
    stats.nonTreeLinks = stats.links - stats.treeLinks;
    stats.depth = int64_t(shape.depth);
    stats.widestFanOut = int64_t(shape.widestFanOut);
    stats.widestId = std::string(map.idOf(shape.widestNode));
    const std::vector<uint64_t> setNodes = map.groupSetNodes();
    const std::vector<uint8_t> hidden = groups.hiddenGroupSets();
    for (size_t s = 0; s < setNodes.size(); ++s) {
        if (s >= hidden.size() || !hidden[s]) stats.shownNodes += int64_t(setNodes[s]);
    }
    return "";
}

}  // namespace orvo
