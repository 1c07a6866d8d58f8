// Hemisphere layout of the spanning tree in 3-D hyperbolic space: every node's children are
// spread over a hemisphere sized by the areas their own subtrees need, bottom-up; composing the
// local placements from the start node gives every node's place in the start node's frame.
#pragma once

#include <vector>

namespace orvo {

class Graph;
struct Node;
struct Link;
struct ViewerSettings;

/// Lays out the whole tree around start node s (placed at the origin), then every link's ends.
void layoutGraph(Graph& graph, Node* s);

/// The steps of layoutGraph, exposed for tests. All of them work with explicit stacks: the
/// depth of the tree is bounded only by memory.
struct OrderRecord {
    float count;  // the child's descendant count
    int index;    // its position in the parent's children
};
void sizeSubtree(const ViewerSettings& settings, Node* n, bool upward);
void placeChildren(const ViewerSettings& settings, Node* anchor, bool upward, Node* target,
                   const std::vector<OrderRecord>& order);
void composeTransforms(Node* n, bool upward);
void placeLinkEnds(Link& link);

}  // namespace orvo
