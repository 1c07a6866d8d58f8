#include "glue/web_page_export.h"

#include <cmath>
#include <cstdio>

#include "glue/glue.h"
#include "graph/graph.h"
#include "graph/outline_writer.h"

namespace orvo {

namespace {

bool isIdentity(const ProjTransform& t) {
    const ProjTransform identity = ProjTransform::identity();
    for (int i = 0; i < 16; ++i)
        if (std::fabs(t.m[i] - identity.m[i]) > 1e-12) return false;
    return true;
}

// "-99 position" and the view's 16 numbers, row by row, each read back to the same double.
std::string positionRecord(const ProjTransform& home) {
    std::string record = "-99 position";
    for (const double element : home.m) {
        char number[32];
        std::snprintf(number, sizeof number, " %.17g", element);
        record += number;
    }
    return record + '\n';
}

}  // namespace

WebPageStart webPageStartOf(Glue& glue, const std::string& title, std::string* viewRecord) {
    WebPageStart start;
    start.title = title;
    Viewer* viewer = glue.viewer();
    if (viewer == nullptr || viewer->graph() == nullptr) return start;
    const Graph& graph = *viewer->graph();
    const int32_t topIndex = graph.topNodeIndex();
    const Node* top = topIndex >= 0 && size_t(topIndex) < graph.nodes.size()
                          ? graph.nodes[size_t(topIndex)]
                          : graph.root;
    const Renderer& renderer = viewer->renderer();
    if (viewRecord != nullptr && top != nullptr && isIdentity(graph.globalTransform(*top))) {
        *viewRecord = positionRecord(renderer.baseView().inverse() * renderer.viewTransform());
    } else if (const Node* centre = renderer.centreNode()) {
        start.startId = centre->id;
    }
    start.colourKind = viewer->settings().groupColumn;
    for (int kind = 0; kind < kGroupKinds; ++kind)
        for (const std::string& name : graph.hiddenGroups[static_cast<size_t>(kind)])
            start.hiddenGroups.emplace_back(kind, name);
    for (int kind = 0; kind < kGroupKinds; ++kind)
        for (const std::string& name : graph.veiledGroups[static_cast<size_t>(kind)])
            start.veiledGroups.emplace_back(kind, name);
    // The page steps through the colour schemes as the key does.
    start.keys.assign(static_cast<size_t>(glue.keys().colourScheme()), 'R');
    return start;
}

bool exportWebPage(Glue& glue, const std::string& path, const std::string& title,
                   const std::vector<WebPartsPlace>& places, std::string& error) {
    if (!glue.graphLoaded() || glue.viewer()->graph() == nullptr) {
        error = "no graph is open";
        return false;
    }
    // A page of the region on view would look whole and lack the rest of the map.
    if (glue.mapRegions().active()) {
        error = "only the part of the map around the view is in memory: publish the map "
                "itself with orvo-publish " + glue.mapRegions().path() + " -o PAGE.html";
        return false;
    }
    WebPageParts parts;
    if (!readWebPageParts(places, parts, error)) return false;
    const Graph& graph = *glue.viewer()->graph();
    std::string view;
    const WebPageStart start = webPageStartOf(glue, title, &view);
    const std::string outline = graphOutline(graph) + view;
    // The outline, with the view at export: the page lays it out as the window did.
    return writeWebPage(path, {outline, graph.nodes.size(), {}}, start, parts, error);
}

}  // namespace orvo
