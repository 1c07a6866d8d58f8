#include "glue/background_measures.h"

#include <utility>

namespace orvo {

// One thread: the window's own thread keeps the other core for drawing and refining the picture.
BackgroundMeasures::BackgroundMeasures(const Graph& graph) {
    thread_ = std::thread([this, &graph] {
        result_ = computeNodeMeasures(graph, &stop_, 1);
        finished_.store(true, std::memory_order_release);
    });
}

BackgroundMeasures::~BackgroundMeasures() {
    stop_.store(true);
    wait();
}

void BackgroundMeasures::wait() {
    if (thread_.joinable()) thread_.join();
}

NodeMeasures BackgroundMeasures::take() {
    if (!finished()) return {};
    wait();
    return std::exchange(result_, NodeMeasures{});
}

}  // namespace orvo
