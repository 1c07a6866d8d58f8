// A map too large to hold whole, shown a region at a time: the map stays mapped, the graph on
// view holds the part of its tree around the view, and another part takes its place when the
// view nears the edge of what is held or travels to a node it lacks. Every part is placed as the
// whole map would be, so the view never jumps.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "glue/group_legend.h"
#include "mapfile/map_region.h"

namespace orvo {

class Graph;
struct Node;

/// Maps of more nodes than this open as regions (the window's default): below it a map is read
/// whole, which keeps every command of the viewer at hand.
inline constexpr uint64_t kRegionAboveNodes = 4000000;
/// About how many nodes a region holds: a frame reaches a few thousand around its centre, and
/// this leaves a wide margin on every side while building in a fraction of a second.
inline constexpr uint64_t kRegionNodes = 400000;

class MapRegions {
public:
    /// Maps of more than `aboveNodes` nodes open as regions of about `regionNodes` nodes; with
    /// aboveNodes 0 every map is read whole.
    void setLimits(uint64_t aboveNodes, uint64_t regionNodes) {
        aboveNodes_ = aboveNodes;
        regionNodes_ = regionNodes;
    }
    /// A MapRegions with these limits and nothing open.
    MapRegions limitsOnly() const {
        MapRegions fresh;
        fresh.setLimits(aboveNodes_, regionNodes_);
        return fresh;
    }
    /// Whether the map file at `path` is to open as regions (its size read without checking it).
    bool wants(const std::string& path) const;
    /// Opens the map and builds its first region, around its home node, into `graph`; "" or why
    /// not (a sentence without the file's name). On failure nothing is open.
    std::string open(const std::string& path, Graph& graph);
    void close();
    bool active() const { return source_ != nullptr; }
    const std::string& path() const { return path_; }

    /// The region on view and the map's node and link counts.
    const MapRegion& region() const { return region_; }
    uint64_t mapNodes() const { return source_ ? source_->nodeCount() : 0; }
    uint64_t mapLinks() const { return source_ ? source_->linkCount() : 0; }
    /// The region's measures, taken out (the viewer keeps them while the region is on view).
    NodeMeasures takeMeasures() { return std::move(region_.measures); }
    /// The group counts of the whole map, named as `graph` (a region of it) names its groups.
    GroupTallies tallies(const Graph& graph) const;

    /// Whether the view centred on `centre` (a node of the region on view) is near enough the
    /// region's edge that a region around it should take its place.
    bool nearEdge(const Graph& graph, const Node* centre) const;
    /// The map index of a node of the region on view.
    uint32_t mapIndexOf(const Node& n) const;
    /// The map index of the node with this id, -1 when the map has none.
    int64_t findNode(std::string_view id) const;
    /// The map's ids and labels as Find searches them, viewed in the map (taken from it at the
    /// first call: nothing is read for them before the first picture).
    const IdTextSpans& idTexts();
    /// Builds the region around map node `m` into `graph` (a fresh one, the region on view
    /// stays until it is shown); "" or why not.
    std::string rebuild(uint32_t m, Graph& graph);

private:
    uint64_t aboveNodes_ = kRegionAboveNodes;
    uint64_t regionNodes_ = kRegionNodes;
    std::string path_;
    std::unique_ptr<MapRegionSource> source_;
    MapRegion region_;
    std::optional<IdTextSpans> idTexts_;
};

}  // namespace orvo
