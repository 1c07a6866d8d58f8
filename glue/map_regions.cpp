// Regions of a map on view: when to open a map so, when the view needs another region, and the
// threads that build full regions and check the map.
#include "glue/map_regions.h"

#include <algorithm>
#include <vector>

#include "graph/graph.h"
#include "viewer/viewer.h"

namespace orvo {

namespace {

// Steps kept between the centre and the nearest node whose children the region lacks: the
// frame draws a few generations past the centre before its nodes are too small to see.
constexpr uint32_t kEdgeMargin = 2;

}  // namespace

MapRegions& MapRegions::operator=(MapRegions&& other) noexcept {
    if (this == &other) return *this;
    close();
    aboveNodes_ = other.aboveNodes_;
    regionNodes_ = other.regionNodes_;
    firstNodes_ = other.firstNodes_;
    path_ = std::move(other.path_);
    source_ = std::move(other.source_);
    region_ = std::move(other.region_);
    stuck_ = other.stuck_;
    full_ = other.full_;
    generation_ = other.generation_;
    idTexts_ = std::move(other.idTexts_);
    check_ = std::move(other.check_);
    build_ = std::move(other.build_);
    return *this;
}

bool MapRegions::wants(const std::string& path) const {
    return aboveNodes_ > 0 && peekMapNodeCount(path) > aboveNodes_;
}

std::string MapRegions::open(const std::string& path, Graph& graph) {
    close();
    auto source = std::make_unique<MapRegionSource>();
    std::string why = source->open(path);
    why = adopt(std::move(source), std::move(why), graph);
    if (why.empty()) path_ = path;
    return why;
}

std::string MapRegions::openBytes(const unsigned char* bytes, size_t size, Graph& graph) {
    close();
    auto source = std::make_unique<MapRegionSource>();
    std::string why = source->openBytes(bytes, size);
    return adopt(std::move(source), std::move(why), graph);
}

std::string MapRegions::adopt(std::unique_ptr<MapRegionSource> source, std::string why,
                              Graph& graph) {
    MapRegion region;
    if (why.empty())
        why = source->buildRegion(source->homeNode(), firstNodes_, graph, region,
                                  kFirstRegionListScanLimit);
    if (!why.empty()) return why;
    source_ = std::move(source);
    region_ = std::move(region);
    return "";
}

void MapRegions::close() {
    build_.reset();
    check_.reset();
    stuck_ = full_ = false;
    idTexts_.reset();
    source_.reset();
    region_ = MapRegion{};
    path_.clear();
}

GroupTallies MapRegions::tallies(const Graph& graph) const {
    return source_ ? tallyGroupSets(graph.groupNames(), source_->groupSetNodes()) : GroupTallies{};
}

uint32_t MapRegions::mapIndexOf(const Node& n) const {
    return region_.mapIndex[static_cast<size_t>(n.index)];
}

void MapRegions::relayOut(Graph& graph, Node* start) {
    if (!source_ || start == nullptr) return;
    source_->placeFrom(graph, start);
    region_.layoutStart = mapIndexOf(*start);
    ++generation_;
    full_ = false;
}

void MapRegions::setRelayoutOf(Viewer& viewer) {
    viewer.setRelayout(active() ? std::function<void(Node*)>([this, &viewer](Node* start) {
        relayOut(*viewer.graph(), start);
    })
                                : nullptr);
}

bool MapRegions::nearEdge(const Graph& graph, const Node* centre) const {
    if (!source_ || stuck_ || centre == nullptr || region_.reach == MapRegion::kWholeTree)
        return false;
    // A region around the centre would be this one again.
    if (mapIndexOf(*centre) == region_.focus) return false;
    const int32_t focusIndex = region_.graphIndexOf(region_.focus);
    if (focusIndex < 0) return true;
    // The steps between the centre and the focus, through the lowest node above both.
    std::vector<const Node*> focusPath;
    for (const Node* n = graph.nodes[static_cast<size_t>(focusIndex)]; n; n = n->parent)
        focusPath.push_back(n);
    uint32_t up = 0;
    for (const Node* n = centre; n != nullptr; n = n->parent, ++up) {
        const auto at = std::find(focusPath.begin(), focusPath.end(), n);
        if (at != focusPath.end())
            return up + static_cast<uint32_t>(at - focusPath.begin()) + kEdgeMargin > region_.reach;
    }
    return true;
}

int64_t MapRegions::findNode(std::string_view id) const {
    return source_ ? source_->findNode(id) : -1;
}

std::optional<IndexedFind> MapRegions::findByNames(std::string_view query, size_t limit) {
    if (!source_ || !source_->hasNameIndex()) return std::nullopt;
    return source_->findByNames(idTexts(), query, limit);
}

const IdTextSpans& MapRegions::idTexts() {
    if (!idTexts_) idTexts_ = source_ ? source_->idTextSpans() : IdTextSpans{};
    return *idTexts_;
}

std::string MapRegions::rebuild(uint32_t m, Graph& graph, bool full) {
    if (!source_) return "no map is open";
    MapRegion region;
    const uint32_t start = region_.layoutStart;
    std::string why =
        full ? source_->buildRegion(m, regionNodes_, graph, region, std::nullopt, start)
             : source_->buildRegion(m, firstNodes_, graph, region, kFirstRegionListScanLimit,
                                    start);
    if (why.empty()) region_ = std::move(region);
    stuck_ = !why.empty();
    full_ = full && why.empty();
    ++generation_;
    return why;
}

void MapRegions::startBuild(uint32_t m, const ViewerSettings& settings) {
    if (!source_ || stuck_ || building()) return;
    build_.reset();  // the last one, shown already
    build_ = std::make_unique<Build>(settings);
    Build& build = *build_;
    build.generation = generation_;
    build.graph = std::make_unique<Graph>(build.settings);
    const MapRegionSource& source = *source_;
    const uint64_t budget = regionNodes_;
    const uint32_t start = region_.layoutStart;
    build.thread = std::thread([&build, &source, m, budget, start] {
        build.why = source.buildRegion(m, budget, *build.graph, build.region, std::nullopt, start);
        build.finished.store(true, std::memory_order_release);
    });
}

bool MapRegions::buildDone(std::chrono::milliseconds wait) {
    if (!building()) return false;
    const auto until = std::chrono::steady_clock::now() + wait;
    while (!build_->finished.load(std::memory_order_acquire)) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::unique_ptr<Graph> MapRegions::takeBuilt(std::string& why) {
    why.clear();
    if (!buildDone()) return nullptr;
    build_->thread.join();
    build_->taken = true;
    if (build_->generation != generation_) return nullptr;
    why = build_->why;
    stuck_ = !why.empty();
    if (!why.empty()) return nullptr;
    region_ = std::move(build_->region);
    full_ = true;
    return std::move(build_->graph);
}

void MapRegions::startCheck() {
    check_.reset();
    if (!source_) return;
    check_ = std::make_unique<Check>();
    Check& check = *check_;
    const MapRegionSource& source = *source_;
    check.thread = std::thread([&check, &source] {
        check.problem = source.check(&check.stop);
        check.finished.store(true, std::memory_order_release);
    });
}

bool MapRegions::checkFinished() const {
    return !check_ || check_->finished.load(std::memory_order_acquire);
}

const std::string& MapRegions::waitForCheck() {
    if (!check_) startCheck();
    if (!check_) return none_;
    if (check_->thread.joinable()) check_->thread.join();
    return check_->problem;
}

}  // namespace orvo
