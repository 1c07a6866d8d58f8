// The window glue: the state of one view, window initialisation, opening a graph file
// in a fresh GL context, the forwarding guards and what a click means.
#include "glue/glue.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "glue/failure_text.h"
#include "glue/key_status.h"
#include "glue/legend_actions.h"
#include "glue/window_settings.h"
#include "mapfile/map_reader.h"
#include "mapfile/map_writer.h"
#include "stream/background_conversion.h"
#include "stream/polled_input.h"

namespace orvo {

namespace {

// Mouse event slots and the built-in actions bound to them.
constexpr int kSlotLeftButton = 0, kSlotLeftDrag = 3, kSlotRightDrag = 5, kSlotPassive = 6;
constexpr int kActionHover = 0, kActionClick = 1, kActionTranslate = 2, kActionRotate = 3;

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

// Copies the file at `from` to `to` through a temporary file beside it, so that a failed copy
// leaves `to` as it was; "" or why not.
std::string copyFile(const std::string& from, const std::string& to) {
    std::error_code error;
    if (std::filesystem::equivalent(from, to, error)) return "";
    const std::string partial = to + ".partial";
    if (std::filesystem::copy_file(from, partial,
                                   std::filesystem::copy_options::overwrite_existing, error))
        std::filesystem::rename(partial, to, error);
    if (!error) return "";
    const std::string why = error.message();
    std::filesystem::remove(partial, error);
    return why;
}

// Nodes indexed per idle call: a few milliseconds of work, so the view stays responsive.
constexpr size_t kIndexSlice = 32768;
// Slices of the index between two give-backs of the map's pages: about 2M ids.
constexpr unsigned kLetGoEverySlices = 64;

}  // namespace

void Glue::initViewer(GlSurface& surface, int /*width*/, int /*height*/) {
    viewer_ = std::make_unique<Viewer>(surface);
    // A map kept from now on would hold another layout than the outline's own.
    viewer_->setBeforeRelayout([this] {
        mapStoreJob_.reset();
        pendingCacheMap_.clear();
    });
    Viewer& v = *viewer_;
    applyWindowInitialisation(v.settings());
    v.bindMouse(kSlotLeftButton, kActionClick);
    v.bindMouse(kSlotPassive, kActionHover);
    v.bindMouse(kSlotLeftDrag, kActionTranslate);
    v.bindMouse(kSlotRightDrag, kActionRotate);
    v.setPickCallback(
        [this](const std::string& id, int shift, int ctrl) { onPicked(id, shift, ctrl); });
    viewerCreated_ = true;
}

int Glue::fail(std::string message) {
    openError_ = std::move(message);
    return 0;
}

int Glue::cancelledOpen(const std::string& path) {
    openCancelled_ = true;
    openError_ = "Opening " + quoted(path) + " was cancelled.";
    return 0;
}

int Glue::failNoGraph(const std::string& path) {
    if (const std::string reason = outOfMemoryReason(lastRead_); !reason.empty())
        return fail(failureText("Cannot open", path, reason));
    return fail("Cannot show " + quoted(path) + ": it holds no graph (no node record).");
}

// A graph file as a stream; nullptr when it cannot be opened, with openError_ saying why.
// Inputs the converter accepts never come here (see openGraphFile).
std::unique_ptr<std::istream> Glue::openInput(const std::string& path, const OpenRequest& request,
                                              uint64_t& totalBytes) {
    totalBytes = 0;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        fail("Cannot open " + quoted(path) + ": " + std::strerror(errno) + ".");
        return nullptr;
    }
    if (S_ISDIR(info.st_mode)) {
        fail("Cannot open " + quoted(path) + ": it is a directory.");
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        // A pipe or a device: bytes may be slow to come, or stop coming with the pipe still
        // open, so the wait is broken into slices in which the progress box is served.
        auto in = openPolledInput(path, [&request] {
            request.report(LoadStage::Read, 0, 0);
            return !request.cancelled();
        });
        if (!in) fail("Cannot open " + quoted(path) + ": " + std::strerror(errno) + ".");
        return in;
    }
    auto in = std::make_unique<std::ifstream>(path, std::ios::in);
    if (!*in) {
        fail("Cannot open " + quoted(path) + ": " + std::strerror(errno) + ".");
        return nullptr;
    }
    totalBytes = static_cast<uint64_t>(info.st_size);
    return in;
}

// Reads the stream into a fresh graph, reporting the bytes read and then how far the layout
// has come. While a conversion still writes the text, its own progress is shown instead (the
// text's size is not known before it ends). A cancel stops the reader at its next chunk.
std::unique_ptr<Graph> Glue::readInput(std::istream& in, uint64_t totalBytes,
                                       const OpenRequest& request,
                                       const BackgroundConversion* conversion) {
    lastRead_ = ReadStats{};
    if (!conversion) request.report(LoadStage::Read, 0, totalBytes);
    bool readReported = false;
    LoadReports reports;
    reports.read = [&](uint64_t bytesRead) {
        if (request.cancelled()) {
            in.setstate(std::ios::failbit);
            return;
        }
        if (conversion && !conversion->finished()) {
            request.report(LoadStage::Import, conversion->done(), conversion->total());
            return;
        }
        const uint64_t total = conversion ? conversion->bytesWritten() : totalBytes;
        request.report(LoadStage::Read, bytesRead, total);
        readReported = true;
        if (total > 0 && bytesRead >= total) request.report(LoadStage::Layout, 0, 0);
    };
    // The layout cannot stop half way; a cancel during it drops the graph once it is done.
    reports.layout = [&](uint64_t done, uint64_t total) {
        if (conversion && !readReported) {
            // The text's last bytes came before the conversion had marked its end.
            const uint64_t bytes = conversion->bytesWritten();
            request.report(LoadStage::Read, bytes, bytes);
            readReported = true;
        }
        request.report(LoadStage::Layout, done, total);
    };
    return viewer_->readGraph(in, reports, &lastRead_);
}

// Converts the input on a thread of its own while the reader takes the outline text as it comes
// (never through a temporary file, nor the whole text in memory). The conversion's errors and
// warnings are known only when it ends, so the graph read is dropped if it failed.
std::unique_ptr<Graph> Glue::importInput(const std::string& path, const InputConverter& converter,
                                         const OpenRequest& request) {
    request.report(LoadStage::Import, 0, 0);
    const BackgroundConversion* running = nullptr;
    BackgroundConversion conversion(converter, path, [&request, &running] {
        if (running) request.report(LoadStage::Import, running->done(), running->total());
        return !request.cancelled();
    });
    running = &conversion;
    std::unique_ptr<Graph> fresh = readInput(conversion.stream(), 0, request, &conversion);
    // The reader stops only at the text's end, or on a cancel; either way the converter is done
    // with, and a conversion stopped early says it was cancelled.
    conversion.stop();
    const ConversionResult result = conversion.result();
    openWarnings_ = result.warnings;
    if (result.cancelled || request.cancelled()) {
        cancelledOpen(path);
        return nullptr;
    }
    if (!result.ok) {
        // The importers' errors mostly name the file (and the line) already.
        fail(failureText("Cannot open", path,
                         result.error.empty() ? "it cannot be imported" : result.error));
        return nullptr;
    }
    if (!fresh) failNoGraph(path);
    return fresh;
}

// The map kept for the outline at `path`, when there is one; else nullptr, and where its map is
// to be kept once it is read (empty without a cache).
std::unique_ptr<Graph> Glue::readKeptMap(const std::string& path, std::string& cacheMap,
                                         NodeMeasures* measures,
                                         const MapReadProgress& progress, MapRegions& regions) {
    cacheMap.clear();
    if (!mapCache_) return nullptr;
    const std::string kept = mapCache_->mapPathFor(path, viewer_->settings());
    if (kept.empty()) return nullptr;
    auto fresh = std::make_unique<Graph>(viewer_->settings());
    fresh->debugLevel = readDebugLevel();
    // A kept map too large to hold whole opens as regions, as any map does.
    if (regions.wants(kept) && regions.open(kept, *fresh).empty()) {
        mapCache_->markUsed(kept);
        if (measures != nullptr) *measures = regions.takeMeasures();
        openedFromCache_ = kept;
        return fresh;
    }
    if (mapCache_->read(kept, *fresh, measures, progress)) {
        openedFromCache_ = kept;
        return fresh;
    }
    cacheMap = kept;
    return nullptr;
}

// The input is read completely into a fresh graph before anything on view changes; only then
// is the new GL context made and the graph handed over. An input that cannot be shown, or a
// load that is cancelled, leaves the picture, the context and the graph as they were.
int Glue::openGraphFile(const std::string& path, const OpenRequest& request) {
    openError_.clear();
    openCancelled_ = false;
    noContext_ = false;
    openWarnings_.clear();
    openedFromCache_.clear();
    std::string cacheMap;  // where to keep the map of the outline read, when it is read
    // The measures a map carries are taken as they are instead of being worked out again.
    NodeMeasures stored;
    NodeMeasures* const keep = computeMeasures_ ? &stored : nullptr;
    if (!viewerCreated_) return fail("Cannot open " + quoted(path) + ": the view is not ready.");

    std::unique_ptr<Graph> fresh;
    const InputConverter& converter =
        request.converter != nullptr ? *request.converter : inputConverter_;
    const bool converted = converter && converter.accepts(path);
    // A map's reading shows how far it has come and stops at a cancel, as a file's does.
    const MapReadProgress mapProgress = [&request](uint64_t done, uint64_t total) {
        request.report(LoadStage::Read, done, total);
        return !request.cancelled();
    };
    // A map too large to hold whole opens as a region around its home node; the regions of
    // the map on view stay until another graph has replaced it.
    MapRegions regions = regions_.limitsOnly();
    if (isMapFile(path)) {
        // A map, whatever its name: laid out already, read back without text or layout.
        request.report(LoadStage::Read, 0, 0);
        fresh = std::make_unique<Graph>(viewer_->settings());
        fresh->debugLevel = readDebugLevel();
        std::string why;
        if (regions.wants(path)) {
            why = regions.open(path, *fresh);
            if (why.empty()) stored = regions.takeMeasures();
        }
        // A map without measures cannot give regions: it is read whole, if it fits.
        if (!regions.active()) why = readMapFile(path, *fresh, keep, mapProgress);
        if (request.cancelled()) return cancelledOpen(path);
        if (!why.empty()) return fail(failureText("Cannot open", path, why));
    } else if (converted) {
        fresh = importInput(path, converter, request);
        if (!fresh) return 0;
    } else if ((fresh = readKeptMap(path, cacheMap, keep, mapProgress, regions))) {
        // The outline is unchanged since its map was kept.
    } else if (request.cancelled()) {
        return cancelledOpen(path);
    } else {
        uint64_t totalBytes = 0;
        std::unique_ptr<std::istream> in = openInput(path, request, totalBytes);
        if (!in) return 0;
        fresh = readInput(*in, totalBytes, request);
        if (request.cancelled()) return cancelledOpen(path);
        if (in->bad()) {
            return fail("Cannot read " + quoted(path) + ": " + std::strerror(errno) + ".");
        }
        if (!fresh) return failNoGraph(path);
    }
    if (request.confirmDoubtfulFile && fresh->readStats.looksLikeNoGraph()) {
        const std::string name = path.substr(path.find_last_of('/') + 1);
        if (!request.confirmDoubtfulFile(noGraphWarning(name, fresh->readStats) +
                                         ". Open it anyway?")) {
            return 0;
        }
    }

    // Every file gets a fresh context; the surface releases the one made before.
    GlContext* context = viewer_->deviceContext().createContext();
    if (context == nullptr) {
        noContext_ = true;
        return fail("wglCreateContext Failed");
    }
    // The new context shows the boundary sphere at once, while the graph is handed over, so it
    // takes the load's projection first.
    orvo::applyLoadProjection(viewer_->settings());
    viewer_->setContext(context, lastWidth_, lastHeight_);
    if (const std::string shaders = viewer_->renderer().backendError(); !shaders.empty()) {
        // A context for shaders that cannot draw through them: the fixed functions where the
        // surface chose that context by itself, else the user's choice is reported as failing.
        context = viewer_->deviceContext().createFallbackContext();
        if (context == nullptr) {
            noContext_ = true;
            return fail("Cannot draw with shaders and buffers: " + shaders +
                        ". Draw with --gl legacy instead.");
        }
        viewer_->setContext(context, lastWidth_, lastHeight_);
    }
    searchIndex_.clear();  // it reads the old graph's ids, which go now
    // So do the old graph's measures: a thread still working them out is stopped first.
    measuresJob_.reset();
    mapStoreJob_.reset();
    measureChoices_.forget(viewer_->renderer());
    regions_ = std::move(regions);
    regions_.setRelayoutOf(*viewer_);
    viewer_->showGraph(std::move(fresh));
    applyLoadSettings();
    // Part of the load, so that the first slice draws as much as any later one.
    viewer_->renderer().prepareFrames();
    graphLoaded_ = true;
    // A region's measures are the whole map's: never worked out from the region alone.
    if ((computeMeasures_ || regions_.active()) &&
        stored.size() == viewer_->graph()->nodes.size())
        measuresJob_ = std::make_unique<BackgroundMeasures>(std::move(stored));
    else if (computeMeasures_)
        measuresJob_ = std::make_unique<BackgroundMeasures>(*viewer_->graph());
    pendingCacheMap_ = cacheMap;
    ++graphsOpened_;
    countsValid_ = false;
    restPending_ = false;
    keyStatus_.clear();
    history_.clear();
    // The history starts at the top node, where the view starts.
    const Graph& g = *viewer_->graph();
    const int32_t top = viewer_->settings().topNodeIndex;
    if (static_cast<uint32_t>(top) < g.nodes.size() && g.nodes[static_cast<size_t>(top)]) {
        history_.visit(std::string(g.nodes[static_cast<size_t>(top)]->id));
    }
    return 1;
}

void Glue::applyLoadSettings() {
    Viewer& v = *viewer_;
    tallies_ = regions_.active() ? regions_.tallies(*v.graph()) : tallyGroups(*v.graph());
    orvo::applyLoadSettings(*v.graph(), v.settings(), tallies_);
    // A comparison opens coloured by its statuses: "g" goes on from there.
    keys_.setToggle('g', v.settings().groupColumn);
    v.renderer().updateProjection();  // the window's aspect ratio is in use from now on
}

void Glue::displayViewer() {
    if (ready()) viewer_->display();
}

// While the window's aspect is in use, a new size also gets a new projection, so the boundary
// sphere stays round; with it off the picture keeps its shape. The frame the new size paints is
// refined again in idle time, as after any other change of the view.
void Glue::reshapeViewer(int width, int height) {
    if (ready()) {
        viewer_->reshape(width, height);
        if (viewer_->settings().useWindowAspect != 0 && width > 0 && height > 0) {
            viewer_->renderer().updateProjection();
        }
        if (width != lastWidth_ || height != lastHeight_) viewer_->setKeepRedrawing(1);
    }
    lastWidth_ = width;
    lastHeight_ = height;
}

void Glue::mouseButtonViewer(int button, int state, int x, int y, int shift, int ctrl) {
    restPending_ = false;
    if (ready()) viewer_->mouseButton(button, state, x, y, shift, ctrl);
}

void Glue::mouseDragViewer(int x, int y, int shift, int ctrl) {
    restPending_ = false;
    if (ready()) viewer_->mouseDrag(x, y, shift, ctrl);
}

void Glue::mouseMoveViewer(int x, int y, int shift, int ctrl) {
    if (!ready()) return;
    const int handled = viewer_->mouseMove(x, y, shift, ctrl);
    restPending_ = handled == 0;
    restX_ = x;
    restY_ = y;
}

bool Glue::pointerRested() {
    if (!ready() || !restPending_) return false;
    restPending_ = false;
    viewer_->renderer().hoverHighlight(restX_, restY_, 0, 0);
    return true;
}

// Refinement first; once the picture is finished, the search index is built a slice at a time.
int Glue::idleViewer() {
    if (!ready()) return 0;
    if (viewer_->idle() != 0) return 1;
    if (regions_.active()) {
        if (const int busy = regionIdleStep(); busy != 0) return busy;
    }
    if (!pendingCacheMap_.empty() && !measuresJob_) {
        // The picture is finished and the measures taken: now the map can be kept, with them,
        // on a thread of its own. A map that cannot be written is no failure of the open: the
        // outline is read next time.
        const NodeMeasures& measures = measureChoices_.measures();
        mapStoreJob_ = std::make_unique<BackgroundMapStore>(
            *mapCache_, std::exchange(pendingCacheMap_, std::string()), *viewer_->graph(),
            measures.empty() ? nullptr : &measures);
        return 1;
    }
    return indexStep() ? 1 : 0;
}

// A map shown a region at a time is indexed whole, from its own id text: the index outlives
// the regions.
bool Glue::indexStep() {
    if (!ready() || !buildSearchIndex_) return false;
    if (regions_.active()) {
        // A pass over every id of a map of millions maps them all: each stretch read is given
        // back, as after each search.
        const IdTextSpans& ids = regions_.idTexts();
        if (searchIndex_.complete(ids)) return false;
        const bool more = searchIndex_.buildSome(ids, kIndexSlice);
        if (!more || ++indexSlices_ % kLetGoEverySlices == 0) regions_.letGo();
        return more;
    }
    const Graph& g = *viewer_->graph();
    if (searchIndex_.complete(g)) return false;
    return searchIndex_.buildSome(g, kIndexSlice);
}

SearchResult Glue::findNodes(std::string_view query, size_t limit) {
    if (!ready()) return {};
    if (regions_.active()) {
        // The map's name index gives the exact hits at once; when there are enough of them to
        // fill the limit they are the best, and only the count needs the pass over every id.
        if (std::optional<IndexedFind> quick = regions_.findByNames(query, limit);
            quick && quick->isWholeSearchsBest(limit)) {
            regions_.letGo();
            quick->result.totalAtLeast = true;
            return std::move(quick->result);
        }
        SearchResult found = searchIndex_.search(regions_.idTexts(), query, limit);
        regions_.letGo();
        return found;
    }
    return searchIndex_.search(*viewer_->graph(), query, limit);
}

std::optional<SearchResult> Glue::findNodesAtOnce(std::string_view query, size_t limit) {
    if (!ready() || !regions_.active()) return std::nullopt;
    std::optional<IndexedFind> quick = regions_.findByNames(query, limit);
    if (!quick || quick->isWholeSearchsBest(limit)) return std::nullopt;
    regions_.letGo();
    quick->result.totalAtLeast = true;
    return std::move(quick->result);
}

FoundNode Glue::foundNode(const SearchHit& hit) {
    if (!ready() || hit.node < 0) return {};
    const Graph& g = *viewer_->graph();
    int32_t index = hit.node;
    if (regions_.active()) {
        index = regions_.region().graphIndexOf(static_cast<uint32_t>(hit.node));
        if (index < 0) {
            const IdTextSpans& ids = regions_.idTexts();
            const std::string_view id = ids.idOf(static_cast<size_t>(hit.node));
            return {std::string(id), nodeNameText(id, ids.labelOf(static_cast<size_t>(hit.node))),
                    true};
        }
    }
    if (static_cast<size_t>(index) >= g.nodes.size() || g.nodes[size_t(index)] == nullptr)
        return {};
    const Node& node = *g.nodes[static_cast<size_t>(index)];
    return {std::string(node.id), nodeNameText(g, node), node.isShown()};
}

const Node* Glue::hoveredNode() {
    if (!ready()) return nullptr;
    const int32_t name = viewer_->renderer().hoveredName();
    const Graph& g = *viewer_->graph();
    if (name < 0 || static_cast<size_t>(name) >= g.nodes.size()) return nullptr;
    return g.nodes[static_cast<size_t>(name)];
}

const Node* Glue::nodeAt(int x, int y) {
    if (!ready()) return nullptr;
    const uint32_t name = viewer_->renderer().pick(x, y);
    const Graph& g = *viewer_->graph();
    if (name >= g.nodes.size()) return nullptr;  // a link, nothing, or out of range
    return g.nodes[name];
}

int Glue::travelTo(const std::string& id) { return travel(id, true); }

int Glue::goBack() {
    if (!ready()) return 0;
    const std::string* id = history_.back();
    return id != nullptr ? travel(*id, false) : 0;
}

int Glue::goForward() {
    if (!ready()) return 0;
    const std::string* id = history_.forward();
    return id != nullptr ? travel(*id, false) : 0;
}

// As a click on the node, except that the node ends up selected even when it already was.
bool Glue::holdNode(const std::string& id) {
    if (!ready()) return false;
    if (viewer_->graph()->findNode(id) != nullptr) return true;
    // A node of the map outside the region on view: the region around it comes first.
    if (!regions_.active()) return false;
    const int64_t m = regions_.findNode(id);
    if (regions_.changed()) {
        say(std::string("Cannot show that part of the map: ") + kMapFileChanged + ".");
        return false;
    }
    return m >= 0 && showRegionAround(static_cast<uint32_t>(m));
}

int Glue::travel(const std::string& id, bool remember) {
    if (!ready() || !holdNode(id)) return 0;
    const Node* node = viewer_->graph()->findNode(id);
    if (node == nullptr || !node->isShown()) return 0;
    Viewer& v = *viewer_;
    const std::string target = id;  // id may live in the history, which visit() changes
    if (lastSelectedId_ != target) v.selectNode(lastSelectedId_, 0);
    v.selectNode(target, 1);
    lastSelectedId_ = target;
    if (remember) history_.visit(target);
    v.gotoNode(target, 0);
    keyStatus_ = flyingToText(*v.graph(), *node);
    ++statusSerial_;
    v.redraw();
    return 1;
}

std::string Glue::graphStatus() {
    if (!ready()) return "";
    if (!countsValid_) {
        counts_ = countGraph(*viewer_->graph());
        countsValid_ = true;
    }
    if (regions_.active()) {
        return regionCountsText(regions_.mapNodes(), regions_.mapLinks(), counts_.nodes);
    }
    return graphCountsText(counts_);
}

// A map shown a region at a time: the full region built on its thread is shown once done; a
// region around the centre is started when the view rests near the edge of the one on view; the
// map's large sections are checked once the picture is finished. 1 while there is work.
int Glue::regionIdleStep() {
    if (regions_.building()) {
        // Waiting a little here keeps idle time from spinning while the thread works.
        if (!regions_.buildDone(std::chrono::milliseconds(10))) return 1;
        std::string why;
        if (std::unique_ptr<Graph> built = regions_.takeBuilt(why)) {
            showNewRegion(std::move(built));
            return 1;
        }
        if (!why.empty()) say("Cannot show that part of the map: " + why + ".");
    }
    const Node* centre = viewer_->renderer().centreNode();
    if (regions_.nearEdge(*viewer_->graph(), centre)) {
        regions_.startBuild(regions_.mapIndexOf(*centre), viewer_->settings());
        return 1;
    }
    if (regions_.wantsFull()) {
        regions_.startBuild(regions_.region().focus, viewer_->settings());
        return 1;
    }
    // Once the picture is finished, the map's large sections are checked.
    if (!regions_.checkStarted()) {
        regions_.startCheck();
        mapCheckSaid_ = false;
    } else if (!mapCheckSaid_ && regions_.checkFinished()) {
        mapCheckSaid_ = true;
        if (!regions_.checkProblem().empty())
            say(failureText("The map", regions_.path(), regions_.checkProblem()) +
                " What is shown of it may be wrong.");
    }
    return 0;
}

std::string Glue::waitForMapCheck() {
    return regions_.active() ? regions_.waitForCheck() : std::string();
}

void Glue::startMapCheck() {
    if (!regions_.active() || regions_.checkStarted()) return;
    regions_.startCheck();
    mapCheckSaid_ = false;
}

bool Glue::showRegionAround(uint32_t m) {
    auto fresh = std::make_unique<Graph>(viewer_->settings());
    fresh->debugLevel = readDebugLevel();
    if (const std::string why = regions_.rebuild(m, *fresh); !why.empty()) {
        say("Cannot show that part of the map: " + why + ".");
        return false;
    }
    showNewRegion(std::move(fresh));
    return true;
}

void Glue::showNewRegion(std::unique_ptr<Graph> region) {
    // The search index stays: it reads the map's ids, not the region's.
    measuresJob_.reset();
    viewer_->swapGraphKeepingView(std::move(region));
    Viewer& v = *viewer_;
    // The colouring chosen since the load (a key, the command line) stays.
    applyGroupColours(*v.graph(), tallies_);
    measureChoices_.take(regions_.takeMeasures());
    applyMeasureChoices();
    if (!lastSelectedId_.empty()) v.selectNode(lastSelectedId_, 1);
    countsValid_ = false;
    v.redraw();
}

void Glue::setGenerationLimit(bool node, int limit) {
    if (!viewerCreated_) return;
    Viewer& v = *viewer_;
    v.setKeepRedrawing(0);
    if (node) {
        v.setNodeGenerationLimit(limit);
        keyStatus_ = "Node generation limit " + std::to_string(limit);
        ++statusSerial_;
    } else {
        v.setLinkGenerationLimit(limit);
        keyStatus_ = "Link generation limit " + std::to_string(limit);
        ++statusSerial_;
    }
    v.redraw();
}

void Glue::keyViewer(int character) {
    if (!viewerCreated_) return;
    Viewer& v = *viewer_;
    v.setKeepRedrawing(0);
    const char key = static_cast<char>(character & 0xFF);
    // The measures' keys: the glue holds the measures, the viewer only what they colour.
    if (key == 'M' || key == 'P') {
        if (key == 'M') {
            cycleColourBy();
            if (colourBy()) keys_.setToggle('G', 1);  // a ramp is read from its legend
        }
        if (key == 'P') setLabelsByScore(!labelsByScore());
        v.redraw();
        return;
    }
    const std::string selected = lastSelectedId_;
    keys_.apply(v, character, selected);
    keyStatus_ = keyMessage(key, keys_, v, selected);
    ++statusSerial_;
    countsValid_ = false;  // the key may have hidden or shown nodes and links
    if (ready() && keys_.lastResult() == 1) {
        if (key == 'c') {
            const Graph& g = *v.graph();
            history_.visit(
                std::string(g.nodes[static_cast<size_t>(v.settings().topNodeIndex)]->id));
        } else if (key == 'f') {
            history_.visit(keys_.lastInputId());
        }
    }
    v.redraw();
}

void Glue::say(std::string message) {
    keyStatus_ = std::move(message);
    ++statusSerial_;
}

bool Glue::collectMeasures() {
    if (!measuresJob_ || !measuresJob_->finished()) return false;
    measureChoices_.take(measuresJob_->take());
    measuresJob_.reset();
    applyMeasureChoices();
    if (ready()) viewer_->redraw();
    return true;
}

std::string Glue::measuresMessage() const { return measureChoices_.readyMessage(); }

void Glue::waitForMeasures() {
    finishMeasures();
    collectMeasures();
}

void Glue::finishMeasures() {
    if (measuresJob_) measuresJob_->wait();
}

std::string Glue::saveMap(const std::string& path) const {
    if (!graphLoaded_ || !viewer_ || !viewer_->graph()) return "no graph is open";
    // Only a region of the map is in memory: the map itself is the graph on view.
    if (regions_.active()) return copyFile(regions_.path(), path);
    const NodeMeasures& measures = measureChoices_.measures();
    return writeMapFile(path, *viewer_->graph(), viewer_->settings(),
                        measures.empty() ? nullptr : &measures);
}

void Glue::applyMeasureChoices() {
    if (ready()) measureChoices_.apply(viewer_->renderer(), *viewer_->graph());
}

void Glue::setColourBy(std::optional<Measure> measure) {
    say(measureChoices_.setColourBy(measure));
    applyMeasureChoices();
    if (ready()) viewer_->redraw();
}

void Glue::cycleColourBy() {
    say(measureChoices_.cycleColourBy());
    applyMeasureChoices();
    if (ready()) viewer_->redraw();
}

void Glue::setLabelsByScore(bool on) {
    say(measureChoices_.setLabelsByScore(on));
    applyMeasureChoices();
    if (ready()) viewer_->redraw();
}

MeasureLegend Glue::measureLegend() {
    if (!ready()) return {};
    return measureChoices_.legend(*viewer_->graph(), hoveredNode());
}

Legend Glue::legend(size_t maxRows) const {
    if (!ready()) return {};
    return groupLegend(*viewer_->graph(), tallies_, maxRows);
}

bool Glue::coloursNeedLegend() const {
    return ready() && orvo::coloursNeedLegend(tallies_, viewer_->settings().groupColumn);
}

int Glue::toggleLegendRow(int kind, const LegendRow& row) {
    if (!ready() || kind < 0 || kind >= kGroupKinds) return 0;
    Viewer& v = *viewer_;
    v.setKeepRedrawing(0);
    const bool hidden = orvo::toggleLegendRow(v, kind, row);
    keyStatus_ = legendRowStatus(row, hidden);
    ++statusSerial_;
    countsValid_ = false;
    v.redraw();
    return 1;
}

std::vector<std::pair<int, std::string>> Glue::hiddenGroups() const {
    std::vector<std::pair<int, std::string>> groups;
    if (!ready()) return groups;
    const Graph& g = *viewer_->graph();
    for (int kind = 0; kind < kGroupKinds; ++kind) {
        for (const auto* list : {&g.hiddenGroups[static_cast<size_t>(kind)],
                                 &g.veiledGroups[static_cast<size_t>(kind)]}) {
            for (const std::string& name : *list) {
                if (std::find(groups.begin(), groups.end(), std::pair(kind, name)) == groups.end())
                    groups.emplace_back(kind, name);
            }
        }
    }
    return groups;
}

int Glue::showGroup(int kind, const std::string& name) {
    if (!ready()) return 0;
    const auto hidden = hiddenGroups();
    if (std::find(hidden.begin(), hidden.end(), std::pair(kind, name)) == hidden.end()) return 0;
    LegendRow row;
    row.kind = name.empty() ? LegendRow::Kind::Ungrouped : LegendRow::Kind::Group;
    row.name = name.empty() ? "no group" : name;
    row.hidden = true;
    row.groups = {name};
    return toggleLegendRow(kind, row);
}

int Glue::travelToNextOfRow(int kind, const LegendRow& row) {
    if (!ready()) return 0;
    const Graph& g = *viewer_->graph();
    const int32_t after = lastSelectedId_.empty() ? -1 : g.findNodeIndex(lastSelectedId_);
    const int32_t next = nextNodeOfLegendRow(g, kind, row, after);
    if (next < 0) {
        keyStatus_ = "No node of " + row.name + " is shown";
        ++statusSerial_;
        return 0;
    }
    return travelTo(std::string(g.nodes[static_cast<size_t>(next)]->id));
}

// The new node is selected before the last one is unselected, so clicking the selected node
// again leaves it unselected.
void Glue::onPicked(const std::string& id, int /*shift*/, int /*ctrl*/) {
    if (!viewerCreated_) return;
    Viewer& v = *viewer_;
    if (id.find('|') != std::string::npos) v.centrePoint(0);
    v.selectNode(id, 1);
    v.selectNode(lastSelectedId_, 0);
    const int travelled = v.gotoNode(id, 0);
    v.redraw();
    lastSelectedId_ = id;
    if (travelled == 1) {
        history_.visit(id);
        if (const Node* node = v.graph()->findNode(id)) {
            keyStatus_ = flyingToText(*v.graph(), *node);
            ++statusSerial_;
        }
    }
}

}  // namespace orvo
