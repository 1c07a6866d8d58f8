// Two versions of a graph compared by node id: the newer graph with the nodes the older one had
// and the newer lacks, each such node hung under its old parent where that parent is in the
// result, else under the root. Every node's kind-1 group says what happened to it: added,
// removed, changed (its set of links out, tree links included, differs) or unchanged. The result
// is outline text that any reader of the format opens; the nodes keep their labels.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvo {

class Graph;

struct NodeChange {
    std::string id;
    std::string change;                   // "changed" or "removed"
    std::vector<std::string> linksAdded;  // ids, in the newer graph's order
    std::vector<std::string> linksRemoved;
};

struct GraphComparison {
    uint64_t added = 0, removed = 0, changed = 0, unchanged = 0;
    std::string outline;              // the newer graph and the removed nodes, as records
    std::vector<NodeChange> changes;  // the changed and removed nodes, the removed last
    uint64_t recordsLeftOut = 0;      // records too long for the format's line limit
};

/// Whether the name is one of the statuses a comparison gives its nodes (kind 1).
bool isComparisonStatus(std::string_view group);

/// Compares `older` with `newer`; both must have a root for the outline to hold anything.
GraphComparison compareGraphs(const Graph& older, const Graph& newer);

/// The changes as CSV: "id,change,links_added,links_removed,score_before,score_after", the link
/// lists ' '-separated, the link scores (see link_score.h) the node has in `older` and `newer`,
/// empty where it is not in one of them.
std::string changesCsv(const GraphComparison& comparison, const Graph& older, const Graph& newer);

/// "added 3, removed 1, changed 2, unchanged 40".
std::string comparisonSummary(const GraphComparison& comparison);

}  // namespace orvo
