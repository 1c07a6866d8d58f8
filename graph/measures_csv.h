// Every node's measures as CSV, for people auditing a site: header
// "index,id,depth,links_in,links_out,subtree,score", a row a node, the score printed with %.10g.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "graph/node_measures.h"

namespace orvo {

class Graph;

/// The link score as the reports print it.
std::string scoreText(double score);

/// Node indices by falling link score, equal scores by index; at most `count` of them.
std::vector<size_t> highestScores(const NodeMeasures& measures, size_t count);

/// The table: every node in index order, or with `top` non-zero only the `top` highest link
/// scores, highest first. A node outside the root's tree has an empty depth.
std::string measuresCsv(const Graph& graph, const NodeMeasures& measures, size_t top = 0);

}  // namespace orvo
