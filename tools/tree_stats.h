// Counts that describe a loaded graph's spanning tree: nodes, tree and non-tree links, depth and
// the widest fan-out, gathered with an explicit stack (trees may be very deep).
#pragma once

#include <cstdint>

namespace orvo {

class Graph;
struct Node;

struct TreeStats {
    int64_t nodes = 0;
    int64_t links = 0;
    int64_t treeLinks = 0;
    int64_t nonTreeLinks = 0;
    int64_t shownNodes = 0;
    int64_t depth = 0;         // hops from the root to the deepest node
    int64_t widestFanOut = 0;  // most children of one node
    const Node* widestNode = nullptr;
};

TreeStats computeTreeStats(const Graph& graph);

}  // namespace orvo
