// The measures of a graph worked out on a thread of their own after it opens, so that the first
// picture never waits for them. The window asks now and then whether they are done; dropping the
// object (when the graph is closed or replaced) stops the work soon and waits for the thread, so
// no result outlives the graph it was computed from.
#pragma once

#include <atomic>
#include <thread>

#include "graph/node_measures.h"

namespace orvo {

class Graph;

class BackgroundMeasures {
public:
    /// Starts computing the measures of `graph`, which must stay unchanged in its nodes and links
    /// and alive until this object is gone.
    explicit BackgroundMeasures(const Graph& graph);
    /// Measures at hand already (those a map carries): finished at once, with no thread.
    explicit BackgroundMeasures(NodeMeasures ready);
    /// Stops the work if it still runs and waits for its thread.
    ~BackgroundMeasures();
    BackgroundMeasures(const BackgroundMeasures&) = delete;
    BackgroundMeasures& operator=(const BackgroundMeasures&) = delete;

    /// True once the measures are there to take.
    bool finished() const { return finished_.load(std::memory_order_acquire); }
    /// Waits until they are.
    void wait();
    /// The measures, once finished(); empty before, and after the first take.
    NodeMeasures take();

private:
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    NodeMeasures result_;
    std::thread thread_;
};

}  // namespace orvo
