// The layout of a tree whose every node already carries its final radius (a graph read back from
// a map): only the placement on the hemispheres and their composition remain, the same
// arithmetic as the whole layout's, so that every position comes out the same to the last bit.
#pragma once

namespace orvo {

struct Node;
struct ViewerSettings;

/// Sets every node's descendant count, places every node's children from the radii and counts
/// as layoutTree would from start node s, and composes the transforms. The radii are kept.
void placeFromRadii(const ViewerSettings& settings, Node* s, bool twoThreads);

}  // namespace orvo
