// The layout of a tree whose every node already carries its final radius (a graph read back from
// a map): only the placement on the hemispheres remains, the same arithmetic as the whole
// layout's, so that every position comes out the same to the last bit.
#pragma once

namespace orvo {

class Graph;
struct Node;
struct ViewerSettings;

/// Sets every node's descendant count and places every node's children from the radii and
/// counts as layoutTree would from start node s, then restarts the graph's transforms from s.
/// The radii are kept; the settings may differ from the graph's (the map's child spacing).
void placeFromRadii(Graph& graph, const ViewerSettings& settings, Node* s);
/// placeFromRadii for a tree whose nodes carry their descendant counts already: a part of a
/// larger tree, whose leaves may stand for subtrees left out, is placed as the whole would be.
void placeFromRadiiAndCounts(Graph& graph, const ViewerSettings& settings, Node* s);

}  // namespace orvo
