#include "glue/background_measures.h"

#include <utility>

namespace orvo {

// Two threads share the link score's rounds, as the measures benchmark measures them: the
// window's own thread is mostly idle once the first picture is drawn.
BackgroundMeasures::BackgroundMeasures(const Graph& graph) {
    thread_ = std::thread([this, &graph] {
        result_ = computeNodeMeasures(graph, &stop_, 2);
        finished_.store(true, std::memory_order_release);
    });
}

BackgroundMeasures::BackgroundMeasures(NodeMeasures ready) : result_(std::move(ready)) {
    finished_.store(true, std::memory_order_release);
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
