// Sharing a big subtree's downward passes between two threads: the few nodes near its top stay
// with the caller, and the disjoint subtrees hanging below them are handed out one by one to
// whichever thread is free. Every node is computed by the same operations as in one thread, so
// the results are the same to the last bit.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

namespace orvo {

struct Node;
class LayoutTicker;

struct SubtreeSplit {
    std::vector<Node*> upper;  // the top levels, breadth first: every parent before its children
    std::vector<Node*> roots;  // the children of the deepest upper level
};

/// Takes whole levels from top down into `upper` until the next level holds at least
/// `wantedRoots` nodes, which become the roots. A tree that never gets that wide ends up all
/// upper, with no roots.
SubtreeSplit splitSubtree(Node* top, size_t wantedRoots);

/// Calls work(root, ticker, thread) for every root, thread being 0 on the calling thread and 1 on
/// the other, so that work can keep buffers per thread. work may touch only the root's subtree.
/// The other thread's ticks reach `ticker` (which may be null) through the calling thread.
/// Without a thread to spare, every root is done on the calling thread.
void forEachRootOnTwoThreads(const std::vector<Node*>& roots, LayoutTicker* ticker,
                             const std::function<void(Node*, LayoutTicker*, int)>& work);

}  // namespace orvo
