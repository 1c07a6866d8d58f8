// The status bar's texts: what the pointer rests on, or what the open graph holds and shows; and
// the Find dialog's count of what matched.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "glue/group_legend.h"
#include "graph/node_search.h"

namespace orvo {

class Graph;
struct Node;

/// How the status bar names a node: its id, or its label from the file with the id beside it
/// ("python3 (29753)").
std::string nodeNameText(const Graph& graph, const Node& node);
/// The same for a node known by its id and label alone ("" when it has none).
std::string nodeNameText(std::string_view id, std::string_view label);

/// The node's groups, kind by kind ("html, main"); "no group" when it has none. A crawled
/// redirect says where it leads ("html, redirect to http://h/new.html").
std::string nodeGroupsText(const Graph& graph, const Node& node);

/// The node's links as the status bar counts them, tree and non-tree alike: "3 in, 12 out".
std::string nodeLinksText(const Node& node);
/// The same from the counts (a node of a map shown a region at a time counts the whole map's).
std::string linksText(int64_t in, int64_t out);

/// What the status bar says while the view flies to a node: "Flying to python3 (29753)".
std::string flyingToText(const Graph& graph, const Node& node);

/// What it says after a click on a legend row: "Group image hidden", "Nodes without a group
/// shown".
std::string legendRowStatus(const LegendRow& row, bool hidden);

/// What a graph holds and how much of it is shown.
struct GraphCounts {
    int64_t nodes = 0, links = 0;
    int64_t shownNodes = 0, shownLinks = 0;
};
GraphCounts countGraph(const Graph& graph);
/// What a map shown a region at a time holds, and the region: "4 000 000 nodes, 9 000 000 links
/// (400 000 nodes around the view in memory)".
std::string regionCountsText(uint64_t mapNodes, uint64_t mapLinks, int64_t regionNodes);

/// "12 345 nodes, 6 789 links (12 000 nodes and 345 links shown)"; a graph with everything
/// shown says "all shown".
std::string graphCountsText(const GraphCounts& counts);

/// The Find dialog's line under its list: "12 nodes match.", "At least 20 nodes match; the best
/// 20 are shown." (the total a lower bound, as the map's name index gives it), "No node
/// matches."; while the pass over every node runs, what was found at once.
std::string findCountText(const SearchResult& result, bool searching);

/// The text's middle replaced by "..." so that it is at most maxBytes long, never cutting a
/// UTF-8 sequence; the text itself when it fits.
std::string ellipsizeMiddle(const std::string& text, size_t maxBytes);

}  // namespace orvo
