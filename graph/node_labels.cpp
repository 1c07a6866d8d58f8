// Node labels kept beside the graph.
#include "graph/node_labels.h"

#include <algorithm>

namespace orvo {

void NodeLabels::set(int32_t index, std::string_view text, size_t nodes) {
    if (index < 0) return;
    if (text.find('\n') != std::string_view::npos) text = {};
    const auto at = static_cast<size_t>(index);
    if (at >= byNode_.size()) {
        if (text.empty()) return;
        byNode_.resize(std::max(at + 1, nodes));
    }
    byNode_[at] = text.empty() ? std::string_view() : texts_.store(text);
}

void NodeLabels::clear() {
    std::vector<std::string_view>().swap(byNode_);
    texts_.clear();
}

}  // namespace orvo
