// Regions of a map on view: when to open a map so, and when the view needs another region.
#include "glue/map_regions.h"

#include <algorithm>
#include <vector>

#include "graph/graph.h"

namespace orvo {

namespace {

// Steps kept between the centre and the nearest node whose children the region lacks: the
// frame draws a few generations past the centre before its nodes are too small to see.
constexpr uint32_t kEdgeMargin = 2;

}  // namespace

bool MapRegions::wants(const std::string& path) const {
    return aboveNodes_ > 0 && peekMapNodeCount(path) > aboveNodes_;
}

std::string MapRegions::open(const std::string& path, Graph& graph) {
    close();
    auto source = std::make_unique<MapRegionSource>();
    std::string why = source->open(path);
    MapRegion region;
    if (why.empty()) why = source->buildRegion(source->homeNode(), regionNodes_, graph, region);
    if (!why.empty()) return why;
    source_ = std::move(source);
    region_ = std::move(region);
    path_ = path;
    return "";
}

void MapRegions::close() {
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

bool MapRegions::nearEdge(const Graph& graph, const Node* centre) const {
    if (!source_ || centre == nullptr || region_.reach == MapRegion::kWholeTree) return false;
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

const IdTextSpans& MapRegions::idTexts() {
    if (!idTexts_) idTexts_ = source_ ? source_->idTextSpans() : IdTextSpans{};
    return *idTexts_;
}

std::string MapRegions::rebuild(uint32_t m, Graph& graph) {
    if (!source_) return "no map is open";
    MapRegion region;
    std::string why = source_->buildRegion(m, regionNodes_, graph, region);
    if (why.empty()) region_ = std::move(region);
    return why;
}

}  // namespace orvo
