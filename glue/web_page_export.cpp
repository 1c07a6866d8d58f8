#include "glue/web_page_export.h"

#include "glue/glue.h"
#include "graph/graph.h"
#include "graph/outline_writer.h"

namespace orvo {

WebPageStart webPageStartOf(Glue& glue, const std::string& title) {
    WebPageStart start;
    start.title = title;
    Viewer* viewer = glue.viewer();
    if (viewer == nullptr || viewer->graph() == nullptr) return start;
    const Graph& graph = *viewer->graph();
    if (const Node* centre = viewer->renderer().centreNode()) start.startId = centre->id;
    start.colourKind = viewer->settings().groupColumn;
    for (int kind = 0; kind < kGroupKinds; ++kind)
        for (const std::string& name : graph.hiddenGroups[static_cast<size_t>(kind)])
            start.hiddenGroups.emplace_back(kind, name);
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
    WebPageParts parts;
    if (!readWebPageParts(places, parts, error)) return false;
    const Graph& graph = *glue.viewer()->graph();
    const std::string outline = graphOutline(graph);
    return writeWebPage(path, {outline, graph.nodes.size()}, webPageStartOf(glue, title), parts,
                        error);
}

}  // namespace orvo
