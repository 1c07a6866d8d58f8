// The nodes a frame has drawn and not yet expanded, largest apparent size first and, among equal
// sizes, in the order they came: a binary heap, so that a slice of n nodes costs n log n rather
// than the n squared of keeping a sorted list.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace orvo {

struct Node;

class ExpandQueue {
public:
    /// Queues n under its apparent size.
    void push(Node* n, double size) {
        heap_.push_back({size, arrivals_++, n});
        std::push_heap(heap_.begin(), heap_.end(), leavesLater);
    }
    /// The largest queued node, the earliest come among equals; the queue must not be empty.
    Node* pop() {
        std::pop_heap(heap_.begin(), heap_.end(), leavesLater);
        Node* n = heap_.back().node;
        heap_.pop_back();
        return n;
    }
    bool empty() const { return heap_.empty(); }
    /// Empties the queue, keeping its buffer for the next frame.
    void clear() { heap_.clear(); }

private:
    // The size is kept as it was when the node came: a node drawn again while it waits (a hover,
    // a selection) must not move inside the heap.
    struct Entry {
        double size;
        uint64_t arrival;
        Node* node;
    };
    static bool leavesLater(const Entry& a, const Entry& b) {
        return a.size < b.size || (a.size == b.size && a.arrival > b.arrival);
    }
    std::vector<Entry> heap_;
    uint64_t arrivals_ = 0;
};

}  // namespace orvo
