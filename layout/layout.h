// Hemisphere layout of the spanning tree in 3-D hyperbolic space: every node's children are
// spread over a hemisphere sized by the areas their own subtrees need, bottom-up; composing the
// local placements from the start node gives every node's place in the start node's frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <vector>

#include "geometry/proj_transform.h"

namespace orvo {

class Graph;
struct Node;
struct Link;
struct ViewerSettings;

/// Tells how far a layout has come: a count per node handled, and a report every few thousand
/// nodes (a long layout shows progress and lets the window repaint meanwhile).
class LayoutTicker {
public:
    using Report = std::function<void(uint64_t done, uint64_t total)>;
    /// `report` must outlive the ticker; `total` is the number of ticks a whole layout makes.
    LayoutTicker(const Report& report, uint64_t total) : report_(report), total_(total) {}
    void tick(uint64_t nodes = 1) {
        done_ += nodes;
        if (done_ >= next_) {
            next_ = done_ + kStep;
            report_(done_, total_);
        }
    }
    void finish() { report_(total_, total_); }
    uint64_t done() const { return done_; }

private:
    static constexpr uint64_t kStep = 16384;
    const Report& report_;
    uint64_t total_;
    uint64_t done_ = 0;
    uint64_t next_ = kStep;
};

/// Lays out the whole tree around start node s (placed at the origin); links take their end
/// positions from their nodes. Without a start node (an empty graph) nothing happens. `report`,
/// when set, hears how far it has come.
void layoutGraph(Graph& graph, Node* s, const LayoutTicker::Report& report = {});

/// layoutGraph from n, when there is such a node and the graph is not empty.
void relayoutFrom(Graph& graph, Node* n);

/// Lays the tree out from the top node the graph's read found (the root when it found none).
void layOutFromTop(Graph& graph, const LayoutTicker::Report& report = {});

/// Who hears how far a read and the layout after it have come; either may be unset.
struct LoadReports {
    std::function<void(uint64_t bytesRead)> read;
    LayoutTicker::Report layout;
};

/// Reads the stream into the graph (Graph::reload) and, when it held a node, lays the tree out
/// from its top node. Returns what reload returned.
bool readAndLayOut(Graph& graph, std::istream& in, const LoadReports& reports = {});

/// layoutGraph with a ticker of the caller's: the tree reached from s, one tick per node sized
/// and placed against its parent. The nodes' places in s's frame (Graph::globalTransform) are
/// worked out when first asked for. With twoThreads, the downward pass shares the subtrees below
/// the start's top levels with a second thread; the result is the same to the last bit.
void layoutTree(Graph& graph, Node* s, LayoutTicker* ticker = nullptr, bool twoThreads = false);
/// Trees from this many nodes on are laid out on two threads: below it, starting the thread
/// costs more than it saves.
constexpr size_t kTwoThreadLayoutNodes = 50000;
/// How many subtrees a split asks for: enough that the threads stay busy until near the end
/// however uneven the subtrees are.
constexpr size_t kSplitRoots = 256;

/// The steps of layoutGraph, exposed for tests. All of them work with explicit stacks: the
/// depth of the tree is bounded only by memory.
struct OrderRecord {
    float count;  // the child's descendant count
    int index;    // its position in the parent's children
};
void sizeSubtree(const ViewerSettings& settings, Node* n, bool upward,
                 LayoutTicker* ticker = nullptr, bool twoThreads = false);
/// Places the target's children on its hemisphere; returns the polar angle of the last band
/// used (0 when every child sits at the pole), which tells whether they spilled past the equator.
double placeChildren(const ViewerSettings& settings, Node* anchor, bool upward, Node* target,
                     const std::vector<OrderRecord>& order);

/// Buffers shared by every node of a layout pass, so that no node allocates.
struct LayoutScratch {
    struct Frame {
        Node* node;
        std::size_t nextChild;
    };
    std::vector<Frame> stack;
    std::vector<OrderRecord> order;
};

/// Sizes and places target's children, which must already carry their final radius and count:
/// target's descendantCount, the ordering list (left in scratch.order), target's radius, the
/// placement, and the second, enlarged placement when the bands ran past the equator. With
/// upward set, anchor is the child that target is placed relative to. Returns the polar
/// angle of the last band used in the final placement.
double sizeFromChildren(const ViewerSettings& settings, Node* anchor, bool upward, Node* target,
                        LayoutScratch& scratch);
/// Radius of the hemisphere whose area is areaSum inflated for childCount children, before
/// clamping to the settings' minimum and maximum.
double hemisphereRadius(double areaSum, std::size_t childCount);
/// Puts the records in descending count; equal counts keep their order.
void sortByDescendingCount(std::vector<OrderRecord>& order);

}  // namespace orvo
