// The radii of a tree's hemispheres when the tree is given as flat children lists rather than
// Graph nodes: what a map stores of a layout, worked out without building the graph.
#pragma once

#include <cstdint>
#include <vector>

namespace orvo {

struct ViewerSettings;

/// The radius of every node below `root` (and of root) as layoutGraph from root gives it; node
/// v's children are children[childStart[v]] up to children[childStart[v + 1]], in order. Nodes
/// outside root's tree keep `unreached`.
std::vector<double> treeRadii(const ViewerSettings& settings, const std::vector<uint32_t>& childStart,
                              const std::vector<uint32_t>& children, uint32_t root,
                              double unreached);

}  // namespace orvo
