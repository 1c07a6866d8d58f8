// Hemisphere layout of the spanning tree in 3-D hyperbolic space: every node's children are
// spread over a hemisphere sized by the areas their own subtrees need, bottom-up; composing the
// local placements from the start node gives every node's place in the start node's frame.
#pragma once

#include <cstddef>
#include <vector>

#include "geometry/proj_transform.h"
#include "layout/child_translations.h"

namespace orvo {

class Graph;
struct Node;
struct Link;
struct ViewerSettings;

/// Lays out the whole tree around start node s (placed at the origin); links take their end
/// positions from their nodes. Without a start node (an empty graph) nothing happens.
void layoutGraph(Graph& graph, Node* s);

/// layoutGraph without the Graph: the tree reached from s.
void layoutTree(const ViewerSettings& settings, Node* s);

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

/// Buffers shared by every node of a layout pass, so that no node allocates.
struct LayoutScratch {
    struct Frame {
        Node* node;
        std::size_t nextChild;
    };
    std::vector<Frame> stack;
    std::vector<OrderRecord> order;
};

/// The node's local transform built from its placement, the translation taken from (and kept
/// in) the memo; the same bits as Node::localTransform().
ProjTransform localTransformOf(const Node& n, ChildTranslations& translations);
/// Sizes and places target's children, which must already carry their final radius and count:
/// target's descendantCount, the ordering list (left in scratch.order), target's radius, the
/// placement, and the second, enlarged placement when the bands ran past the equator. With
/// upward set, anchor is the child that target is placed relative to.
void sizeFromChildren(const ViewerSettings& settings, Node* anchor, bool upward, Node* target,
                      LayoutScratch& scratch);
/// Radius of the hemisphere whose area is areaSum inflated for childCount children, before
/// clamping to the settings' minimum and maximum.
double hemisphereRadius(double areaSum, std::size_t childCount);
/// Puts the records in descending count; equal counts keep their order.
void sortByDescendingCount(std::vector<OrderRecord>& order);

}  // namespace orvo
