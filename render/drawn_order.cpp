#include "render/drawn_order.h"

#include <algorithm>
#include <numeric>

#include "graph/graph.h"

namespace orvo {

void mergeDrawnBySize(std::vector<Node*>& nodes, std::vector<PickBounds>* bounds, size_t from,
                      DrawnOrderScratch& scratch) {
    const size_t total = nodes.size();
    if (from >= total) return;
    scratch.order.resize(total - from);
    std::iota(scratch.order.begin(), scratch.order.end(), from);
    std::stable_sort(scratch.order.begin(), scratch.order.end(), [&](size_t a, size_t b) {
        return nodes[b]->apparentSize < nodes[a]->apparentSize;
    });
    scratch.nodes.clear();
    scratch.bounds.clear();
    for (const size_t i : scratch.order) {
        scratch.nodes.push_back(nodes[i]);
        if (bounds != nullptr) scratch.bounds.push_back((*bounds)[i]);
    }
    // From the back, so that only the older entries smaller than some new one move, each once;
    // at equal sizes the new entry goes after the older one.
    size_t older = from, added = scratch.nodes.size(), to = total;
    while (added > 0) {
        --to;
        if (older > 0 && nodes[older - 1]->apparentSize < scratch.nodes[added - 1]->apparentSize) {
            --older;
            nodes[to] = nodes[older];
            if (bounds != nullptr) (*bounds)[to] = (*bounds)[older];
        } else {
            --added;
            nodes[to] = scratch.nodes[added];
            if (bounds != nullptr) (*bounds)[to] = scratch.bounds[added];
        }
    }
}

}  // namespace orvo
