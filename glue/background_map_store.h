// The map of the outline on view written into the map cache on a thread of its own once the
// first picture is drawn, so that a large graph's map (a gigabyte for ten million nodes) never
// holds up the window. Dropping the object stops the writing soon, leaving no file, and waits
// for the thread: the window drops it before the graph goes or its layout changes.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "settings/viewer_settings.h"

namespace orvo {

class Graph;
class MapCache;
struct NodeMeasures;

class BackgroundMapStore {
public:
    /// Starts writing the map of `graph`, with its measures when given, which must stay
    /// unchanged in its nodes, links and placements and alive, as must the cache and the
    /// measures, until this object is gone.
    BackgroundMapStore(const MapCache& cache, std::string mapPath, const Graph& graph,
                       const NodeMeasures* measures);
    ~BackgroundMapStore();
    BackgroundMapStore(const BackgroundMapStore&) = delete;
    BackgroundMapStore& operator=(const BackgroundMapStore&) = delete;

    bool finished() const { return finished_.load(std::memory_order_acquire); }
    void wait();
    /// Once finished: "" when the map was kept, else why not.
    const std::string& error() const { return error_; }

private:
    const ViewerSettings settings_;  // as they were when the graph was laid out
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::string error_;
    std::thread thread_;
};

}  // namespace orvo
