// The frame's drawn nodes stay in order of apparent size, largest first and equal sizes in the
// order they were drawn (the order picking tries them in): a slice appends what it draws and
// merges it in once at its end.
#pragma once

#include <cstddef>
#include <vector>

#include "render/pick_bounds.h"

namespace orvo {

struct Node;

/// Buffers a merge reuses from one slice to the next.
struct DrawnOrderScratch {
    std::vector<size_t> order;
    std::vector<Node*> nodes;
    std::vector<PickBounds> bounds;
};

/// Sorts nodes[from, end) by apparent size (largest first, stable) and merges them after every
/// entry of nodes[0, from) that is not smaller; those entries must be in that order already.
/// When `bounds` is given it runs parallel to `nodes` and its entries move with theirs.
void mergeDrawnBySize(std::vector<Node*>& nodes, std::vector<PickBounds>* bounds, size_t from,
                      DrawnOrderScratch& scratch);

}  // namespace orvo
