// A map kept mapped while only a region of its tree is in memory. Opening it checks the file and
// works out where each node's children and links lie, without building a single node; a region
// around any node is then built into a graph when asked for, every node of it placed to the last
// bit where the whole graph would place it, so that a view of the region is the view of the map.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "graph/node_measures.h"

namespace orvo {

class Graph;

/// What a region holds beside its graph.
struct MapRegion {
    /// The map's index of each graph node, increasing: the graph keeps the map's node order.
    std::vector<uint32_t> mapIndex;
    /// Whether each graph node has its children in the region; a node without stands for its
    /// whole subtree, with the radius and descendant count the subtree gives it.
    std::vector<bool> expanded;
    /// The map's measures of the region's nodes, by graph index.
    NodeMeasures measures;
    /// The map node the region was built around.
    uint32_t focus = 0;

    /// The graph index of map node m, -1 when the region lacks it.
    int32_t graphIndexOf(uint32_t m) const;
};

class MapRegionSource {
public:
    MapRegionSource();
    ~MapRegionSource();
    MapRegionSource(const MapRegionSource&) = delete;
    MapRegionSource& operator=(const MapRegionSource&) = delete;

    /// Maps the file read-only and checks it: the header, every section's bounds and checksum,
    /// the counts and parents, the links' ends. "" or why not (a sentence without the file's
    /// name). A map without measures cannot give regions: the descendant counts that order a
    /// parent's children come from its subtree sizes.
    std::string open(const std::string& path);
    bool isOpen() const;

    uint64_t nodeCount() const;
    uint64_t linkCount() const;
    /// The node the view starts at: the map's top node, else the one its layout started from.
    uint32_t homeNode() const;
    /// Node m's id, viewed in the mapped file.
    std::string_view idOf(uint32_t m) const;
    /// The map index of the node with this id, -1 when there is none.
    int64_t findNode(std::string_view id) const;

    /// Empties the graph (its hidden groups and colours stay) and builds into it the region
    /// around map node `focus`: the paths from the root to the focus, the top and the start
    /// node, then the nodes by growing distance in the tree from the focus, each node taken with
    /// all its children, until about `budget` nodes. The graph comes out placed; its top node is
    /// the map's when the region holds it. "" or why not; on failure the graph is left empty.
    std::string buildRegion(uint32_t focus, uint64_t budget, Graph& graph, MapRegion& region) const;

private:
    struct Mapped;
    std::string assemble(uint32_t focus, uint64_t budget, Graph& graph, MapRegion& region) const;
    std::unique_ptr<Mapped> map_;
};

}  // namespace orvo
