// Lookups that live only while the reader runs: they answer "is there a link from P to X" and
// "where does X sit in its parent's children" in constant time; removed children are left as
// holes and squeezed out, order kept, when the read ends.
#pragma once

#include <cstdint>
#include <vector>

#include "graph/graph.h"
#include "graph/index_pair_set.h"

namespace orvo {

// hasHoles bits: children holds removed entries; outLinks or inLinks hold a link that has become
// a tree link.
constexpr uint8_t kChildHoles = 1;
constexpr uint8_t kStaleLinks = 2;

struct Graph::ReadState {
    IndexPairSet outLinkPairs;          // (from, to) of every link filed in an outLinks list
    std::vector<int32_t> slotInParent;  // by node index: position in parent->children
    std::vector<uint8_t> hasHoles;      // by node index: kChildHoles, kStaleLinks
    std::vector<Node*> nodesWithHoles;
    std::vector<Node*> nodesWithStaleLinks;
};

}  // namespace orvo
