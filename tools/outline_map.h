// The map of an outline's text, as orvo-import writes it and orvo-publish embeds it: the graph
// read and laid out as the window does, with every node's measures, so that whoever opens the
// map need neither lay it out nor work them out.
#pragma once

#include <istream>
#include <string>

#include "graph/graph.h"
#include "graph/node_measures.h"
#include "layout/layout.h"
#include "settings/viewer_settings.h"

namespace orvo {

struct OutlineMap {
    ViewerSettings settings;  // the window's, which the map keeps
    Graph graph{settings};
    NodeMeasures measures;
};

/// Reads the outline into `map` and lays it out; false when it holds no node record (or the
/// read stopped: map.graph.readStats says when memory ran short). `reports` hears how far the
/// read and the layout have come.
bool layOutForMap(std::istream& in, OutlineMap& map, const LoadReports& reports = {});
/// The same from the outline's text, taken over without a copy.
bool layOutForMap(std::string text, OutlineMap& map);

/// The map file's bytes of a laid-out graph (with the measures when they are every node's);
/// "" or why not.
std::string mapBytesOf(const OutlineMap& map, std::string& bytes);

}  // namespace orvo
