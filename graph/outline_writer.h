// A graph written back as outline text that any reader of the format opens: the spanning tree in
// pre-order (a record's level its depth), each node's label record after it, then each node's
// further links as records under it, its path restated so that they hang there. The comparison
// of two graphs writes its result through here, and the published map the graph on view.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvo {

class Graph;
struct Node;

/// A node to write: from `graph`, with its kind-1 group replaced by `status` when that is set.
struct OutlineEntry {
    const Graph* graph;
    const Node* node;
    std::string_view status;
    size_t parent;  // entry index; the root's is its own
    std::vector<size_t> children;
    int64_t level = -1;  // as written; -1 when left out
};

/// Appends the entries' records to `out`, the tree from entries[root], then the further links
/// of `linksOf`'s nodes (whose entry is entries[node->index]). Returns how many records were
/// left out for being longer than the format's line limit (their children hang one level up).
uint64_t writeOutlineEntries(std::vector<OutlineEntry>& entries, size_t root, const Graph& linksOf,
                             std::string& out);

/// The graph as outline text, every node with its own groups and label; empty without a root.
std::string graphOutline(const Graph& graph, uint64_t* recordsLeftOut = nullptr);

}  // namespace orvo
