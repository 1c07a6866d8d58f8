// A map too large to hold whole, shown a region at a time: the map stays mapped, the graph on
// view holds the part of its tree around the view, and another part takes its place when the
// view nears the edge of what is held or travels to a node it lacks. Every part is placed as the
// whole map would be, so the view never jumps. A small region is built at once, so that the
// picture comes without waiting; the full one is built on a thread of its own and shown when done.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "glue/group_legend.h"
#include "mapfile/map_region.h"
#include "settings/viewer_settings.h"

namespace orvo {

class Graph;
class Viewer;
struct Node;

/// Maps of more nodes than this open as regions (the window's default): below it a map is read
/// whole, which keeps every command of the viewer at hand.
inline constexpr uint64_t kRegionAboveNodes = 4000000;
/// About how many nodes a region holds: a frame reaches a few thousand around its centre, and
/// this leaves a wide margin on every side.
inline constexpr uint64_t kRegionNodes = 400000;
// The region built at once, before the full one is ready, is of kFirstRegionNodes, enough for
// the first frames: its nodes lie all over the file (the top levels of every subtree), each read
// apart, and on a map of a hundred million nodes a first region of 20 000 took seconds even with
// the file in the page cache. It reads the lists of links out or in up to
// kFirstRegionListScanLimit: a page near the top is linked from all over the file, and its list
// of thousands would cost a read for each. Its links are found from their other ends, and the
// full region reads the lists.
/// The published page's limits: its maps open as regions from a smaller size (a page's memory is
/// the browser's, and the read of a whole graph is what keeps its first picture waiting), and its
/// full regions are smaller, since the page builds them between frames on its one thread.
inline constexpr uint64_t kPageRegionAboveNodes = 500000;
inline constexpr uint64_t kPageRegionNodes = 200000;

class MapRegions {
public:
    MapRegions() = default;
    MapRegions(MapRegions&& other) noexcept { *this = std::move(other); }
    /// Closes what this object has open (its threads stop first), then takes the other's.
    MapRegions& operator=(MapRegions&& other) noexcept;
    ~MapRegions() { close(); }

    /// Maps of more than `aboveNodes` nodes open as regions of about `regionNodes` nodes, the
    /// first around a node of about `firstNodes`; with aboveNodes 0 every map is read whole.
    void setLimits(uint64_t aboveNodes, uint64_t regionNodes,
                   uint64_t firstNodes = kFirstRegionNodes) {
        aboveNodes_ = aboveNodes;
        regionNodes_ = regionNodes;
        firstNodes_ = std::min(firstNodes, regionNodes);
    }
    /// A MapRegions with these limits and nothing open.
    MapRegions limitsOnly() const {
        MapRegions fresh;
        fresh.setLimits(aboveNodes_, regionNodes_, firstNodes_);
        return fresh;
    }
    /// Whether the map file at `path` is to open as regions (its size read without checking it).
    bool wants(const std::string& path) const;
    /// Whether a map of this many nodes is to open as regions.
    bool wantsNodes(uint64_t nodes) const { return aboveNodes_ > 0 && nodes > aboveNodes_; }
    /// Opens the map and builds a first, small region around its home node into `graph`; "" or
    /// why not (a sentence without the file's name). On failure nothing is open.
    std::string open(const std::string& path, Graph& graph);
    /// As open, for a map held in memory that the caller keeps unchanged while it is open (see
    /// MapRegionSource::openBytes); path() is then "".
    std::string openBytes(const unsigned char* bytes, size_t size, Graph& graph);
    void close();
    bool active() const { return source_ != nullptr; }
    const std::string& path() const { return path_; }
    /// Whether the map file was cut short on disk since it was opened.
    bool changed() const { return source_ && source_->changed(); }

    /// The region on view and the map's node and link counts.
    const MapRegion& region() const { return region_; }
    uint64_t mapNodes() const { return source_ ? source_->nodeCount() : 0; }
    uint64_t mapLinks() const { return source_ ? source_->linkCount() : 0; }
    /// The region's measures, taken out (the viewer keeps them while the region is on view).
    NodeMeasures takeMeasures() { return std::move(region_.measures); }
    /// A map held in memory without its measures has its link scores worked out apart (see
    /// MapRegionSource::workOutLinkScores): until then its regions' measures lack them.
    bool linkScoresPending() const { return source_ && source_->linkScoresPending(); }
    std::string workOutLinkScores() { return source_ ? source_->workOutLinkScores() : ""; }
    /// The measures of the region on view, read again from the map (after the link scores).
    NodeMeasures regionMeasures() const {
        return source_ ? source_->measuresOf(region_) : NodeMeasures{};
    }
    /// The group counts of the whole map, named as `graph` (a region of it) names its groups.
    GroupTallies tallies(const Graph& graph) const;

    /// Whether the view centred on `centre` (a node of the region on view) is near enough the
    /// region's edge that a region around it should take its place.
    bool nearEdge(const Graph& graph, const Node* centre) const;
    /// The map index of a node of the region on view.
    uint32_t mapIndexOf(const Node& n) const;
    /// Lays the tree out again from `start`, a node of the region on view in `graph`: the region
    /// is placed anew, and every region built from now on is placed so too. A full region being
    /// built, placed from the old start, is dropped and built again.
    void relayOut(Graph& graph, Node* start);
    /// Has the viewer lay the tree out again as relayOut does while a map is shown by regions,
    /// and lay out the whole graph otherwise (its default). Called after each open.
    void setRelayoutOf(Viewer& viewer);
    /// The map index of the node with this id, -1 when the map has none.
    int64_t findNode(std::string_view id) const;
    /// What the map's name index finds of the query at once (see MapRegionSource::findByNames);
    /// nothing when the map has no index.
    std::optional<IndexedFind> findByNames(std::string_view query, size_t limit);
    /// The map's ids and labels as Find searches them, viewed in the map (taken from it at the
    /// first call: nothing is read for them before the first picture).
    const IdTextSpans& idTexts();
    /// Gives back the map's pages that reads mapped into the process (see MapRegionSource).
    void letGo() const {
        if (source_) source_->letGo();
    }
    /// Builds a small region around map node `m` into `graph` (a fresh one; the region on view
    /// stays until it is shown), at once; "" or why not. After a failure no region is asked for
    /// again (nearEdge says no): the map is shown as it is. With `full`, the region is a full one,
    /// built here: where there is no thread to build it on.
    std::string rebuild(uint32_t m, Graph& graph, bool full = false);

    /// Starts building the full region around map node `m` on a thread of its own, for a graph
    /// of these settings; nothing when one is being built already.
    void startBuild(uint32_t m, const ViewerSettings& settings);
    bool building() const { return build_ != nullptr && !build_->taken; }
    /// Whether the region on view is a small one, built at once, whose full region is still to
    /// be built.
    bool wantsFull() const { return source_ && !full_ && !stuck_; }
    /// Waits at most `wait` for the build; whether it is done.
    bool buildDone(std::chrono::milliseconds wait = std::chrono::milliseconds(0));
    /// The built region's graph, once done (it becomes the region on view), else nullptr: `why`
    /// says why it failed, or is empty when a region built at once since has made it stale. The graph reads settings this object keeps: it must be gone
    /// (shown, its contents taken) before the next build starts.
    std::unique_ptr<Graph> takeBuilt(std::string& why);

    /// Checks the map's large sections on a thread of its own (see MapRegionSource::check).
    void startCheck();
    bool checkStarted() const { return check_ != nullptr; }
    /// Whether the check is done, and what it found ("" when the map is sound).
    bool checkFinished() const;
    const std::string& checkProblem() const { return check_ ? check_->problem : none_; }
    /// Waits for the check (started now when it was not) and tells what it found.
    const std::string& waitForCheck();

private:
    std::string adopt(std::unique_ptr<MapRegionSource> source, std::string why, Graph& graph);
    // The threads read the source: they are stopped and joined before the source goes.
    struct Check {
        std::atomic<bool> stop{false}, finished{false};
        std::string problem;
        std::thread thread;
        ~Check() {
            stop = true;
            if (thread.joinable()) thread.join();
        }
    };
    struct Build {
        explicit Build(const ViewerSettings& s) : settings(s) {}
        ViewerSettings settings;  // the graph's own, apart from the window's
        std::unique_ptr<Graph> graph;
        MapRegion region;
        std::string why;
        std::atomic<bool> finished{false};
        bool taken = false;
        uint64_t generation = 0;  // of the region on view when it started
        std::thread thread;
        ~Build() {
            if (thread.joinable()) thread.join();
        }
    };
    std::string none_;
    uint64_t aboveNodes_ = kRegionAboveNodes;
    uint64_t regionNodes_ = kRegionNodes;
    uint64_t firstNodes_ = kFirstRegionNodes;
    std::string path_;
    std::unique_ptr<MapRegionSource> source_;
    MapRegion region_;
    bool stuck_ = false;  // a region could not be built
    bool full_ = false;   // the region on view was built with the full budget
    uint64_t generation_ = 0;  // counts the regions built at once
    std::optional<IdTextSpans> idTexts_;
    // After source_: destroyed first.
    std::unique_ptr<Check> check_;
    std::unique_ptr<Build> build_;
};

}  // namespace orvo
