#include "glue/background_map_store.h"

#include <utility>

#include "graph/graph.h"
#include "mapfile/map_cache.h"

namespace orvo {

BackgroundMapStore::BackgroundMapStore(const MapCache& cache, std::string mapPath,
                                       const Graph& graph, const NodeMeasures* measures)
    : settings_(graph.settings) {
    thread_ = std::thread([this, &cache, &graph, measures, path = std::move(mapPath)] {
        error_ = cache.store(path, graph, settings_, measures, &stop_);
        finished_.store(true, std::memory_order_release);
    });
}

BackgroundMapStore::~BackgroundMapStore() {
    stop_.store(true);
    wait();
}

void BackgroundMapStore::wait() {
    if (thread_.joinable()) thread_.join();
}

}  // namespace orvo
