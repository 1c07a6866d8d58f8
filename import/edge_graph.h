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

/// Without --group, a column or node attribute gives the groups when it holds this many distinct
/// values: a kind or a section, not names or numbers. Only so many attributes are looked at.
constexpr size_t kFewestFoundGroups = 2, kMostFoundGroups = 64, kAttributesLookedAt = 16;
/// For a node attribute: `distinct` values among `given` nodes, some of them shared (a name
/// that each node has its own of is no group, however few the nodes).
constexpr bool areFoundGroups(size_t distinct, size_t given) {
    return distinct >= kFewestFoundGroups && distinct <= kMostFoundGroups && distinct < given;
}

class EdgeGraph {
public:
    using Index = SiteGraph::Index;

    /// Makes room for this many nodes and edges.
    void reserve(size_t nodes, size_t edges) {
        graph_.reserve(nodes);
        edges_.reserve(edges);
    }
    /// The node with the id (created in first-seen order).
    Index node(std::string_view id) {
        flushEdges();
        return graph_.intern(id);
    }
    /// A new node whose id the caller knows no node has yet (see SiteGraph::add).
    Index newNode(std::string_view id) {
        flushEdges();
        return graph_.add(id);
    }
    /// Sets the node's kind-0 group unless it has one already.
    void setGroupIfUnset(Index n, std::string_view group) {
        if (!group.empty() && graph_.group(n, 0).empty()) graph_.setGroup(n, 0, group);
    }
    void addEdge(Index from, Index to, bool undirected) {
        flushEdges();
        edges_.push_back({from, to, undirected});
    }
    /// An edge between the nodes with these ids, created as node() creates them. The ids are
    /// looked up a batch at a time, which overlaps the lookups' reads from memory: they must stay
    /// valid until flushEdges(), which any other call here that adds nodes or edges or reads
    /// them makes first.
    void addEdge(std::string_view from, std::string_view to, bool undirected) {
        pendingIds_.push_back(from);
        pendingIds_.push_back(to);
        pendingKinds_.push_back(undirected ? Pending::UndirectedEdge : Pending::Edge);
        if (pendingIds_.size() >= kPendingIds) flushEdges();
    }
    /// node() of the id, looked up with the edges given by ids, a batch at a time.
    void addNode(std::string_view id) {
        pendingIds_.push_back(id);
        pendingKinds_.push_back(Pending::Node);
        if (pendingIds_.size() >= kPendingIds) flushEdges();
    }
    /// addNode(id), the node then labelled (the label's view kept as the id's is).
    void addNode(std::string_view id, std::string_view label) {
        pendingIds_.push_back(id);
        pendingKinds_.push_back(Pending::LabelledNode);
        pendingLabels_.push_back(label);
        if (pendingIds_.size() >= kPendingIds) flushEdges();
    }
    /// Adds the nodes and edges given by ids so far.
    void flushEdges();
    /// Makes every edge so far directed or undirected (a format that may say which after them).
    void setUndirected(bool undirected) {
        flushEdges();
        for (Edge& e : edges_) e.undirected = undirected;
    }
    /// Takes every node's kind-0 group away.
    void clearGroups() {
        for (Index n = 0; n < graph_.size(); ++n) graph_.setGroup(n, 0, {});
    }
    /// Adds an edge before all others.
    void prependEdge(Index from, Index to) {
        flushEdges();
        edges_.insert(edges_.begin(), {from, to, false});
    }
    /// Leaves a node out of the graph (a header's fields taken for ids at first).
    void exclude(Index n) {
        flushEdges();
        excluded_.resize(graph_.size(), 0);
        excluded_[n] = 1;
    }
    size_t nodeCount() {
        flushEdges();
        return graph_.size();
    }
    size_t edgeCount() {
        flushEdges();
        return edges_.size();
    }

    /// Builds the tree, walking the edges as `direction` says (Auto: along them or against
    /// them, whichever reaches more nodes from its best root; along them on a tie). `rootId`
    /// empty: the node with the most edges to walk, the first seen on a tie. False, with
    /// result.error set, when rootId names no node or there is no node.
    bool build(const std::string& rootId, WalkDirection direction, const std::string& file,
               ImportResult& result);
    /// Writes the outline (after build).
    bool write(std::ostream& out, const ImportProgress& progress, ImportResult& result);

    SiteGraph& graph() {
        flushEdges();
        return graph_;
    }
    size_t memoryUsed() const;

private:
    struct Edge {
        Index from, to;
        bool undirected;
    };
    /// The edges (indices into edges_) each node can be left by, in compressed rows.
    struct Adjacency {
        std::vector<uint32_t> start, edges;
        uint32_t degree(Index n) const { return start[n + 1] - start[n]; }
    };
    static constexpr uint32_t kNoEdge = ~uint32_t{0};

    static constexpr uint32_t kUnvisited = ~uint32_t{0};
    /// What placing nodes under their deepest placed need keeps from one component to the next.
    struct DeepestWalk {
        explicit DeepestWalk(size_t nodes);
        std::vector<uint32_t> order, low, component, depth;
        uint32_t counter = 0, components = 0;
    };

    Adjacency adjacencyFor(WalkDirection walk) const;
    /// Places the nodes `top` (placed already) reaches by `walk` that are not in the tree yet,
    /// each under the deepest placed node among those `needs` lists for it, and appends them
    /// to `attached` in the order they were attached.
    void hangUnderDeepest(Index top, const Adjacency& walk, const Adjacency& needs,
                          std::vector<uint32_t>& treeEdge, DeepestWalk& state,
                          std::vector<Index>& attached);
    /// Walks breadth-first from `top`: the nodes reached in `queue` in the order reached (`top`
    /// first), the edge that reached each in `via` when given. Stops once more than `enough`
    /// nodes are reached. Returns the count.
    size_t reach(const Adjacency& adjacency, Index top, std::vector<Index>& queue,
                 std::vector<uint32_t>* via = nullptr, size_t enough = SIZE_MAX) const;
    Index otherEnd(uint32_t edge, Index from) const {
        return edges_[edge].from == from ? edges_[edge].to : edges_[edge].from;
    }

    static constexpr size_t kPendingIds = 512;  // flushed from this many pending ids on

    SiteGraph graph_;
    std::vector<Edge> edges_;
    enum class Pending : uint8_t { Node, LabelledNode, Edge, UndirectedEdge };
    std::vector<std::string_view> pendingIds_;  // of nodes and edges (from, to) not added yet
    std::vector<Pending> pendingKinds_;
    std::vector<std::string_view> pendingLabels_;  // of the LabelledNode kinds, in order
    std::vector<uint8_t> excluded_;
};

}  // namespace orvo
