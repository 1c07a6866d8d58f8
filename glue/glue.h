// The window glue: turns the view's events into viewer operations, creates the GL context and
// reads the graph when a file is opened, and decides what a click means. Free of any toolkit,
// so tests can drive it on an offscreen surface.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "glue/background_map_store.h"
#include "glue/background_measures.h"
#include "glue/group_legend.h"
#include "glue/keys.h"
#include "glue/map_regions.h"
#include "glue/measure_choices.h"
#include "glue/measure_legend.h"
#include "glue/status_text.h"
#include "glue/travel_history.h"
#include "graph/node_search.h"
#include "mapfile/map_cache.h"
#include "stream/input_converter.h"
#include "viewer/viewer.h"

namespace orvo {

class BackgroundConversion;

/// What one open needs besides the input: where its progress goes, when it stops, and who
/// decides on a doubtful file. Every member may stay empty.
/// A node Find found, as the window lists it.
struct FoundNode {
    std::string id;
    std::string name;   // as the status bar names it (see nodeNameText)
    bool shown = true;  // false while hidden; a map's node outside the region on view counts as
                        // shown until its region is
};

struct OpenRequest {
    /// Called now and then while the input is opened: the stage, the work done in it and its
    /// total (bytes while reading; 0 when unknown). The shell shows one progress box for the
    /// whole load with it and lets the window repaint meanwhile.
    std::function<void(LoadStage stage, uint64_t done, uint64_t total)> progress;
    /// When set, the load stops soon after it turns true; the graph on view stays.
    const std::atomic<bool>* cancel = nullptr;
    /// Asked, before the graph on view is replaced, when the file read does not look like a
    /// graph file ("ls does not look like a graph file: 9 981 of 10 000 lines were skipped.
    /// Open it anyway?"); false keeps the graph on view and fails the open with an empty
    /// openError(). Without it such files open as any other.
    std::function<bool(const std::string& question)> confirmDoubtfulFile;
    /// Converts this input in place of the glue's own converter (a crawl's result, say).
    const InputConverter* converter = nullptr;

    void report(LoadStage stage, uint64_t done, uint64_t total) const {
        if (progress) progress(stage, done, total);
    }
    bool cancelled() const { return cancel != nullptr && cancel->load(); }
};

/// The glue's state for one view. The application owns one for its window; tests and tools make
/// their own.
class Glue {
public:
    Glue() = default;
    /// `converter` converts the inputs that are not graph files; without one every input is
    /// read as a graph file.
    explicit Glue(InputConverter converter) : inputConverter_(std::move(converter)) {}

    /// Keeps the map of every outline opened in this cache, written on a thread of its own once
    /// the first picture is drawn and the measures are taken (it carries them), and opens an
    /// unchanged outline from it; none by default.
    void setMapCache(std::unique_ptr<MapCache> cache) { mapCache_ = std::move(cache); }
    /// Maps of more than `aboveNodes` nodes open as regions of about `regionNodes` nodes around
    /// the view, the first drawn from one of about `firstNodes` (see MapRegions); 0 reads every
    /// map whole.
    void setMapRegions(uint64_t aboveNodes, uint64_t regionNodes,
                       uint64_t firstNodes = kFirstRegionNodes) {
        regions_.setLimits(aboveNodes, regionNodes, firstNodes);
    }
    /// The regions of the map on view when it opened as regions (else not active()).
    const MapRegions& mapRegions() const { return regions_; }
    /// For a map opened as regions: waits for the check of its large sections, which idle time
    /// starts once the picture is finished, and tells what it found ("" when it is sound, and
    /// for any other graph).
    std::string waitForMapCheck();
    /// Starts that check at once, on a thread of its own, for a caller that will wait for it
    /// anyway: it then runs while the first picture is drawn.
    void startMapCheck();
    /// Where the last open took its graph from a kept map (empty when it read the file).
    const std::string& openedFromCache() const { return openedFromCache_; }
    /// Whether a kept map is still to be written, or being written, for the graph on view.
    bool mapCachePending() const {
        return !pendingCacheMap_.empty() || (mapStoreJob_ && !mapStoreJob_->finished());
    }
    /// Waits until the map being kept is written (or has failed).
    void waitForMapCache() {
        if (mapStoreJob_) mapStoreJob_->wait();
    }
    Glue(const Glue&) = delete;
    Glue& operator=(const Glue&) = delete;

    /// Creates the viewer on the window's surface and sets it up for the window: loader flags,
    /// mouse bindings, the pick callback and the window-initialisation settings. The size is
    /// not used (size changes arrive through reshapeViewer).
    void initViewer(GlSurface& surface, int width, int height);
    /// Reads the input and puts it on view in a fresh GL context: a graph file, or anything the
    /// input converter (the request's, else the glue's) accepts, converted in memory while it is
    /// read. 1 on success; 0 when the input cannot be opened, converted or read, holds no node, or
    /// the load was cancelled, with openError() saying why: the graph on view then stays as it was;
    /// noContext() tells when that was because no GL context could be made. Nothing is printed: the
    /// caller shows the error and the warnings (openWarnings()).
    int openGraphFile(const std::string& path, const OpenRequest& request = {});

    void displayViewer();
    void reshapeViewer(int width, int height);
    void mouseButtonViewer(int button, int state, int x, int y, int shift, int ctrl);
    void mouseDragViewer(int x, int y, int shift, int ctrl);
    void mouseMoveViewer(int x, int y, int shift, int ctrl);
    int idleViewer();
    void keyViewer(int character);
    /// A click on a legend row: hides the nodes of its groups when they are shown, else shows
    /// them (see toggleLegendRow); keyStatus() then says which. 0 when there is no graph.
    int toggleLegendRow(int kind, const LegendRow& row);
    /// Every group hidden, by a legend click or a group key, kind by kind ("" names the nodes
    /// without a group of the kind): the View menu lists them so that each can be found again.
    std::vector<std::pair<int, std::string>> hiddenGroups() const;
    /// Shows the group again however it was hidden; 0 when it was not hidden.
    int showGroup(int kind, const std::string& name);
    /// Travels to the row's next node after the one selected (see nextNodeOfLegendRow), as
    /// Find does. 0 when the row has no node to go to.
    int travelToNextOfRow(int kind, const LegendRow& row);
    /// The legend of the kind coloured, from the node counts taken when the graph was opened;
    /// no rows before a graph is open.
    Legend legend(size_t maxRows) const;
    /// Whether the graph on view colours groups by palette colours (see coloursNeedLegend).
    bool coloursNeedLegend() const;
    void onPicked(const std::string& id, int shift, int ctrl);

    Viewer* viewer() { return viewer_.get(); }
    bool viewerCreated() const { return viewerCreated_; }
    bool graphLoaded() const { return graphLoaded_; }
    /// How many graphs were put on view so far: what was shown for one graph can tell when
    /// another has replaced it.
    uint64_t graphsOpened() const { return graphsOpened_; }
    int lastWidth() const { return lastWidth_; }
    int lastHeight() const { return lastHeight_; }
    const std::string& lastSelectedId() const { return lastSelectedId_; }
    KeyCommands& keys() { return keys_; }
    // Finding nodes. The index is built in idle time once the picture is finished.
    /// Whether idle time builds the search index (the headless tools turn it off).
    void setBuildSearchIndex(bool on) { buildSearchIndex_ = on; }
    /// Indexes one slice of nodes; true while nodes remain.
    bool indexStep();
    const NodeSearchIndex& searchIndex() const { return searchIndex_; }
    /// The best `limit` nodes for the query (nodes not indexed yet are scanned plainly). In a
    /// map shown a region at a time every node of the map is searched, and a hit's node is the
    /// map's index: foundNode tells what it is.
    SearchResult findNodes(std::string_view query, size_t limit);
    /// When findNodes needs a pass over every id of a map shown a region at a time, what the
    /// map's name index finds at once: the exact hits (all of them but for the query "/") and
    /// the nodes of that segment or label word, ranked, the total those found so far (with
    /// totalAtLeast). Nothing when findNodes answers at once itself.
    std::optional<SearchResult> findNodesAtOnce(std::string_view query, size_t limit);
    /// What the window shows of a hit of findNodes.
    FoundNode foundNode(const SearchHit& hit);

    // Travelling to nodes.
    /// Selects the node and flies to it with the animated move, as a click on it does, and
    /// remembers the travel. 1 when a shown node has the id, else 0 (nothing changes).
    int travelTo(const std::string& id);
    /// Whether the graph on view holds the node with this id; for a map opened as regions, the
    /// region around the node is put on view first when the map has it.
    bool holdNode(const std::string& id);
    /// Travels to the previous (next) node of the history; 0 when there is none.
    int goBack();
    int goForward();
    const TravelHistory& history() const { return history_; }

    // What the pointer is on.
    /// The node the last hover highlighted; nullptr when the pointer is on no node.
    const Node* hoveredNode();
    /// The node at (x, y) of the current picture, picked now; nullptr for a link or nothing.
    const Node* nodeAt(int x, int y);
    /// The pointer came to rest: a passive move that the decimation dropped is picked now, so
    /// the node under a resting pointer is always highlighted. True when a pick ran.
    bool pointerRested();

    // Status texts.
    /// What the last key command did ("Boundary sphere hidden"), or where the last click, Find,
    /// Back or legend arrow flies to ("Flying to python3 (29753)"); empty for keys without one.
    const std::string& keyStatus() const { return keyStatus_; }
    /// Counts the messages keyStatus() has given: a new one is worth showing even where the
    /// pointer moved meanwhile.
    uint64_t statusSerial() const { return statusSerial_; }
    /// The open graph's node and link counts and how many are shown; empty before a load.
    std::string graphStatus();
    /// Sets a generation limit from a menu, whatever the digit mode: 1 for the node limit.
    void setGenerationLimit(bool node, int limit);

    // The measures of every node (depth, links in and out, subtree size, link score), worked
    // out on a thread of their own after each open; the first picture never waits for them.
    /// Whether opens start working them out (the headless tools turn it off unless they need
    /// them).
    void setComputeMeasures(bool on) { computeMeasures_ = on; }
    /// Whether they are being worked out for the graph on view.
    bool measuresPending() const { return measuresJob_ != nullptr; }
    /// The measures of the graph on view; empty until they are ready.
    const NodeMeasures& measures() const { return measureChoices_.measures(); }
    /// Takes the measures once their thread is done and applies the colouring and label order
    /// chosen. True when it took them now. The window asks on a timer while measuresPending().
    bool collectMeasures();
    /// What the status bar says once they are taken: "Measures ready: ..." (and the measure
    /// coloured by, when one waited for them); empty before. Apart from keyStatus(), so that it
    /// never takes the place of what the user's last command said.
    std::string measuresMessage() const;
    /// Waits for the measures of the graph on view and takes them (for tools and tests).
    void waitForMeasures();
    /// Waits until the measures' thread is done, leaving them to collectMeasures().
    void finishMeasures();
    /// Writes the graph on view as a map to `path`, with the measures once they are taken; ""
    /// or why not.
    std::string saveMap(const std::string& path) const;

    // Colouring and labelling by the measures.
    /// What the nodes are coloured by: a measure, or their groups (nullopt, the default). A
    /// measure chosen before the measures are ready colours the nodes once they are.
    std::optional<Measure> colourBy() const { return measureChoices_.colourBy(); }
    void setColourBy(std::optional<Measure> measure);
    /// The next colouring after the one in use: the groups, then each measure in turn (key M).
    void cycleColourBy();
    /// Whether, where labels compete for room, the higher link score wins (key P) instead of the
    /// larger node.
    bool labelsByScore() const { return measureChoices_.labelsByScore(); }
    void setLabelsByScore(bool on);
    /// Whether the picture is coloured by a measure now (chosen and ready).
    bool colouredByMeasure() const { return measureChoices_.colouredByMeasure(); }
    /// The legend of the measure coloured by, naming the node under the pointer; empty (no
    /// title) unless colouredByMeasure().
    MeasureLegend measureLegend();

    /// Why the last openGraphFile failed (empty after a success, and when the user declined).
    const std::string& openError() const { return openError_; }
    /// Whether the last openGraphFile stopped because the request's cancel turned true.
    bool openCancelled() const { return openCancelled_; }
    /// Whether the last openGraphFile failed because no GL context could be made (openError()
    /// is then "wglCreateContext Failed"): nothing can be drawn in this process.
    bool noContext() const { return noContext_; }
    /// What the last openGraphFile's conversion warned about, one message a line.
    const std::vector<std::string>& openWarnings() const { return openWarnings_; }

private:
    bool ready() const { return viewerCreated_ && graphLoaded_; }
    std::unique_ptr<std::istream> openInput(const std::string& path, const OpenRequest& request,
                                            uint64_t& totalBytes);
    std::unique_ptr<Graph> readInput(std::istream& in, uint64_t totalBytes,
                                     const OpenRequest& request,
                                     const BackgroundConversion* conversion = nullptr);
    std::unique_ptr<Graph> importInput(const std::string& path, const InputConverter& converter,
                                       const OpenRequest& request);
    int fail(std::string message);
    /// Says that opening `path` was cancelled; 0.
    int cancelledOpen(const std::string& path);
    /// Says why the outline at `path` gave no graph (no node record, or no memory left); 0.
    int failNoGraph(const std::string& path);
    void applyLoadSettings();
    void applyMeasureChoices();
    void say(std::string message);
    int travel(const std::string& id, bool remember);
    /// Puts the region around map node m on view in place of the one shown, the view kept;
    /// false (with keyStatus saying why) when it cannot be built.
    bool showRegionAround(uint32_t m);
    /// Puts another region of the map on view in place of the one shown, the view kept, and
    /// re-applies to it what the load and the user set.
    void showNewRegion(std::unique_ptr<Graph> region);
    /// Idle time's work for a map shown a region at a time; 1 while there is some.
    int regionIdleStep();

    std::unique_ptr<Graph> readKeptMap(const std::string& path, std::string& cacheMap,
                                       NodeMeasures* measures, const MapReadProgress& progress,
                                       MapRegions& regions);
    InputConverter inputConverter_;
    ReadStats lastRead_;  // what the last outline read met
    std::unique_ptr<MapCache> mapCache_;
    MapRegions regions_;
    bool mapCheckSaid_ = false;  // what the check of the regions' map found was said
    std::string pendingCacheMap_;  // where the graph on view is to be kept, once drawn
    std::string openedFromCache_;
    std::unique_ptr<Viewer> viewer_;
    bool viewerCreated_ = false;
    bool graphLoaded_ = false;
    uint64_t graphsOpened_ = 0;
    int lastWidth_ = 0;
    int lastHeight_ = 0;
    std::string lastSelectedId_;  // kept whole, however long
    KeyCommands keys_;
    std::string openError_;
    bool openCancelled_ = false;
    bool noContext_ = false;
    std::vector<std::string> openWarnings_;

    NodeSearchIndex searchIndex_;
    unsigned indexSlices_ = 0;  // index slices built from a map's regions
    bool buildSearchIndex_ = true;
    TravelHistory history_;
    std::string keyStatus_;
    uint64_t statusSerial_ = 0;
    bool countsValid_ = false;
    GraphCounts counts_;
    GroupTallies tallies_;  // of the graph on view, counted when it was opened
    // A passive move the decimation dropped, picked when the pointer rests.
    bool restPending_ = false;
    int restX_ = 0, restY_ = 0;

    // After viewer_: the thread reads the viewer's graph, so it is stopped first.
    bool computeMeasures_ = true;
    std::unique_ptr<BackgroundMeasures> measuresJob_;
    MeasureChoices measureChoices_;
    // After both: the map being kept reads the graph's placements and the measures.
    std::unique_ptr<BackgroundMapStore> mapStoreJob_;
};

}  // namespace orvo
