// One CSV line per node of a read graph, for people auditing a site: the node's id, its groups
// (kind 0 and any beyond kind 1, ';' between them), its depth in the tree, its links in and
// out (tree links included), its status: the kind-1 group, which for a crawl is the outcome of
// asking for the address (ok, redirect, missing ...), the nodes of its subtree and its link
// score (see node_measures.h).
#pragma once

#include <string>

namespace orvo {

class Graph;

/// The whole report: the header "id,groups,depth,links_in,links_out,status,subtree,score", then
/// a line per node in index order. A node outside the root's tree has an empty depth.
std::string siteReportCsv(const Graph& graph);

/// Writes the report to a file that is complete or not there at all; false with a one-line
/// reason in error.
bool writeSiteReportFile(const std::string& path, const Graph& graph, std::string& error);

}  // namespace orvo
