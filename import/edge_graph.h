// A graph given as nodes and edges (an edge list, DOT, GraphML) made into an outline: the
// spanning tree breadth-first from the root, nodes the root cannot reach hung under it one
// component after another (each from its own best root), every other edge a further reference.
// Self-loops and repeated edges are dropped; an undirected edge is walked both ways and becomes
// one link.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "import/import.h"
#include "import/site_graph.h"

namespace orvo {

class EdgeGraph {
public:
    using Index = SiteGraph::Index;

    /// Makes room for this many nodes and edges.
    void reserve(size_t count) {
        graph_.reserve(count);
        edges_.reserve(count);
    }
    /// The node with the id (created in first-seen order).
    Index node(std::string_view id) { return graph_.intern(id); }
    /// Sets the node's kind-0 group unless it has one already.
    void setGroupIfUnset(Index n, std::string_view group) {
        if (!group.empty() && graph_.group(n, 0).empty()) graph_.setGroup(n, 0, group);
    }
    void addEdge(Index from, Index to, bool undirected) {
        edges_.push_back({from, to, undirected});
    }
    /// Adds an edge before all others.
    void prependEdge(Index from, Index to) { edges_.insert(edges_.begin(), {from, to, false}); }
    /// Leaves a node out of the graph (a header's fields taken for ids at first).
    void exclude(Index n) {
        excluded_.resize(graph_.size(), 0);
        excluded_[n] = 1;
    }
    size_t nodeCount() const { return graph_.size(); }
    size_t edgeCount() const { return edges_.size(); }

    /// Builds the tree. `rootId` empty: the node with the most outgoing edges, the first seen on
    /// a tie. False, with result.error set, when rootId names no node or there is no node.
    bool build(const std::string& rootId, const std::string& file, ImportResult& result);
    /// Writes the outline (after build).
    bool write(std::ostream& out, const ImportProgress& progress, ImportResult& result);

    SiteGraph& graph() { return graph_; }
    size_t memoryUsed() const;

private:
    struct Edge {
        Index from, to;
        bool undirected;
    };
    SiteGraph graph_;
    std::vector<Edge> edges_;
    std::vector<uint8_t> excluded_;
};

}  // namespace orvo
