// The map of an outline's text, as orvo-import writes it and orvo-publish embeds it: the graph
// read and laid out as the window does, with every node's measures, so that whoever opens the
// map need neither lay it out nor work them out.
#pragma once

#include <string>

#include "graph/graph.h"
#include "graph/node_measures.h"
#include "settings/viewer_settings.h"

namespace orvo {

struct OutlineMap {
    ViewerSettings settings;  // the window's, which the map keeps
    Graph graph{settings};
    NodeMeasures measures;
};

/// Reads the outline text into `map` and lays it out; false when it holds no node record.
bool layOutForMap(const std::string& text, OutlineMap& map);

/// The map file's bytes of a laid-out graph (with the measures when they are every node's);
/// "" or why not.
std::string mapBytesOf(const OutlineMap& map, std::string& bytes);

}  // namespace orvo
