// Counts that describe a graph's spanning tree: nodes, tree and non-tree links, depth and the
// widest fan-out, gathered with an explicit stack (trees may be very deep), from a loaded graph
// or from a map too large to load, read in place.
#pragma once

#include <cstdint>
#include <string>

namespace orvo {

class Graph;
class MapRegionSource;

struct TreeStats {
    int64_t nodes = 0;
    int64_t links = 0;
    int64_t treeLinks = 0;
    int64_t nonTreeLinks = 0;
    int64_t shownNodes = 0;
    int64_t depth = 0;         // hops from the root to the deepest node
    int64_t widestFanOut = 0;  // most children of one node
    std::string widestId;      // the first node with that many
};

TreeStats computeTreeStats(const Graph& graph);

/// The same of an open map, read from its records. `groups` is a graph the map has given a
/// region, with the load settings applied: it knows the map's group sets and which are hidden.
/// "" or why not.
std::string computeMapTreeStats(const MapRegionSource& map, const Graph& groups,
                                TreeStats& stats);

}  // namespace orvo
