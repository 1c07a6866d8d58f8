// Spanning tree of an edge graph: adjacency in compressed rows (file order kept), one
// breadth-first walk per component, all with explicit queues.
#include "import/edge_graph.h"

#include <algorithm>
#include <array>
#include <boost/unordered/unordered_flat_set.hpp>
#include <numeric>
#include <optional>

#include "import/outline_writer.h"

namespace orvo {

namespace {

uint64_t edgeKey(uint32_t a, uint32_t b) { return (uint64_t{a} << 32) | b; }

}  // namespace

void EdgeGraph::flushEdges() {
    if (pendingIds_.empty()) return;
    std::array<Index, kPendingIds + 1> nodes;
    graph_.internAll(pendingIds_, std::span(nodes).first(pendingIds_.size()));
    const Index* next = nodes.data();
    const std::string_view* label = pendingLabels_.data();
    for (const Pending kind : pendingKinds_) {
        if (kind == Pending::LabelledNode) graph_.setLabel(*next, *label++);
        if (kind == Pending::Node || kind == Pending::LabelledNode) {
            ++next;
            continue;
        }
        edges_.push_back({next[0], next[1], kind == Pending::UndirectedEdge});
        next += 2;
    }
    pendingIds_.clear();
    pendingKinds_.clear();
    pendingLabels_.clear();
}

EdgeGraph::Adjacency EdgeGraph::adjacencyFor(WalkDirection walk) const {
    // Each edge is walked from its first end (Out), its second (In) or both; undirected ones
    // always both ways. Kept in file order.
    const bool forward = walk != WalkDirection::In, backward = walk != WalkDirection::Out;
    Adjacency a;
    const size_t n = graph_.size();
    a.start.assign(n + 1, 0);
    for (const Edge& e : edges_) {
        if (forward || e.undirected) ++a.start[e.from + 1];
        if (backward || e.undirected) ++a.start[e.to + 1];
    }
    for (size_t i = 0; i < n; ++i) a.start[i + 1] += a.start[i];
    a.edges.resize(a.start[n]);
    std::vector<uint32_t> next(a.start.begin(), a.start.end() - 1);
    for (uint32_t k = 0; k < edges_.size(); ++k) {
        const Edge& e = edges_[k];
        if (forward || e.undirected) a.edges[next[e.from]++] = k;
        if (backward || e.undirected) a.edges[next[e.to]++] = k;
    }
    return a;
}

size_t EdgeGraph::reach(const Adjacency& adjacency, Index top, std::vector<Index>& queue,
                        std::vector<uint32_t>* via, size_t enough) const {
    std::vector<uint8_t> seen(graph_.size(), 0);
    queue.assign(1, top);
    seen[top] = 1;
    for (size_t head = 0; head < queue.size() && queue.size() <= enough; ++head) {
        const Index x = queue[head];
        for (uint32_t k = adjacency.start[x]; k < adjacency.start[x + 1]; ++k) {
            const uint32_t e = adjacency.edges[k];
            const Index y = otherEnd(e, x);
            if (!seen[y]) {
                seen[y] = 1;
                queue.push_back(y);
                if (via != nullptr) (*via)[y] = e;
            }
        }
    }
    return queue.size();
}

bool EdgeGraph::build(const std::string& rootId, WalkDirection direction, const std::string& file,
                      ImportResult& result) {
    flushEdges();
    const size_t n = graph_.size();
    excluded_.resize(n, 0);
    const auto isExcluded = [&](Index i) { return excluded_[i] != 0; };
    const size_t included =
        n - static_cast<size_t>(std::count(excluded_.begin(), excluded_.end(), uint8_t{1}));
    if (included == 0) {
        result.error = file + ": holds no node";
        return false;
    }
    // Distinct edges, self-loops left out. Undirected edges are keyed by their sorted ends.
    {
        boost::unordered_flat_set<uint64_t> directed, undirected;
        directed.reserve(edges_.size());
        size_t kept = 0;
        for (const Edge& e : edges_) {
            if (e.from == e.to) continue;
            const bool fresh =
                e.undirected
                    ? undirected.insert(edgeKey(std::min(e.from, e.to), std::max(e.from, e.to)))
                          .second
                    : directed.insert(edgeKey(e.from, e.to)).second;
            if (fresh) edges_[kept++] = e;
        }
        edges_.resize(kept);
    }

    Index given = SiteGraph::kNone;
    if (!rootId.empty()) {
        given = graph_.find(rootId);
        if (given == SiteGraph::kNone || isExcluded(given)) {
            result.error = "--root " + rootId + ": no node of " + file + " has this id";
            return false;
        }
    }
    const auto bestRoot = [&](const Adjacency& adjacency) {
        if (given != SiteGraph::kNone) return given;
        Index best = SiteGraph::kNone;
        for (Index i = 0; i < n; ++i) {
            if (isExcluded(i)) continue;
            if (best == SiteGraph::kNone || adjacency.degree(i) > adjacency.degree(best)) best = i;
        }
        return best;
    };

    Adjacency adjacency =
        adjacencyFor(direction == WalkDirection::Auto ? WalkDirection::Out : direction);
    Index root = bestRoot(adjacency);
    bool against = direction == WalkDirection::In;
    Adjacency needs;  // when walking against the links: the nodes each node links to
    // Remembering which edge brought each node into the tree. Along the links (or both ways)
    // breadth-first; against them under the deepest node each links to.
    std::vector<uint32_t> treeEdge(n, kNoEdge);
    std::vector<Index> queue;
    bool rootWalked = false;  // queue and treeEdge hold the walk from the root already
    if (direction == WalkDirection::Auto) {
        // Against the links, when that reaches more: a dependency graph then hangs from what
        // everything depends on rather than from the one node that depends on most. The walk
        // along them is the tree's unless the other reaches more, which it cannot when this
        // one reaches every node.
        const size_t along = reach(adjacency, root, queue, &treeEdge);
        rootWalked = true;
        if (along < included) {
            Adjacency reversed = adjacencyFor(WalkDirection::In);
            const Index reversedRoot = bestRoot(reversed);
            std::vector<Index> reached;
            if (reach(reversed, reversedRoot, reached, nullptr, along) > along) {
                needs = std::move(adjacency);
                adjacency = std::move(reversed);
                root = reversedRoot;
                against = true;
                rootWalked = false;
                queue.clear();
                std::fill(treeEdge.begin(), treeEdge.end(), kNoEdge);
            }
        }
    } else if (against) {
        needs = adjacencyFor(WalkDirection::Out);
    }
    graph_.setRoot(root);

    std::optional<DeepestWalk> deepest;
    if (against) deepest.emplace(n);
    // Returns the nodes placed, `top` included.
    const auto walkFrom = [&](Index top) -> size_t {
        if (against) {
            const size_t first = queue.size();
            deepest->depth[top] = top == root ? 0 : 1;
            queue.push_back(top);
            hangUnderDeepest(top, adjacency, needs, treeEdge, *deepest, queue);
            // What the walk cannot reach but a placed node links to (a package that needs
            // nothing, for one) hangs under the first placed node that links to it, and the
            // walk goes on from there: only nodes with no path to the top at all are left.
            for (size_t i = first; i < queue.size(); ++i) {
                const Index x = queue[i];
                for (uint32_t k = needs.start[x]; k < needs.start[x + 1]; ++k) {
                    const Index p = otherEnd(needs.edges[k], x);
                    if (graph_.inTree(p)) continue;
                    graph_.attach(x, p);
                    treeEdge[p] = needs.edges[k];
                    deepest->depth[p] = deepest->depth[x] + 1;
                    queue.push_back(p);
                    hangUnderDeepest(p, adjacency, needs, treeEdge, *deepest, queue);
                }
            }
            return queue.size() - first;
        }
        if (rootWalked && top == root) {
            // Each node hangs under the node it was reached from, in the order reached: as the
            // walk would attach them.
            for (size_t i = 1; i < queue.size(); ++i) {
                const Index y = queue[i];
                graph_.attach(otherEnd(treeEdge[y], y), y);
            }
            return queue.size();
        }
        queue.clear();
        queue.push_back(top);
        for (size_t head = 0; head < queue.size(); ++head) {
            const Index x = queue[head];
            for (uint32_t k = adjacency.start[x]; k < adjacency.start[x + 1]; ++k) {
                const uint32_t e = adjacency.edges[k];
                const Index y = otherEnd(e, x);
                if (graph_.inTree(y)) continue;
                graph_.attach(x, y);
                treeEdge[y] = e;
                queue.push_back(y);
            }
        }
        return queue.size();
    };
    const size_t reached = walkFrom(root);
    size_t left = 0;
    for (Index i = 0; i < n; ++i) left += !isExcluded(i) && !graph_.inTree(i);
    if (reached < n && left > 0) {
        // The rest, component by component, each from its best remaining node.
        std::vector<Index> byDegree(n);
        std::iota(byDegree.begin(), byDegree.end(), Index{0});
        std::stable_sort(byDegree.begin(), byDegree.end(), [&](Index a, Index b) {
            return adjacency.degree(a) > adjacency.degree(b);
        });
        for (const Index candidate : byDegree) {
            if (left == 0) break;
            if (graph_.inTree(candidate) || isExcluded(candidate)) continue;
            graph_.attach(root, candidate);
            left -= walkFrom(candidate);
        }
    }

    // A node reached against an edge keeps as its tree link an edge from its parent to it, where
    // the file has one, so that each edge is held once: the tree link in its direction, the
    // edge walked as a further reference of its own first end.
    for (uint32_t e = 0; e < edges_.size(); ++e) {
        const Edge& edge = edges_[e];
        const uint32_t walked = treeEdge[edge.to];
        if (walked != kNoEdge && walked != e && graph_.parent(edge.to) == edge.from &&
            edges_[walked].from == edge.to && !edges_[walked].undirected) {
            treeEdge[edge.to] = e;
        }
    }
    // Every other edge is a further reference of its first end, in the file's direction.
    graph_.reserveFurtherReferences(edges_.size());
    for (uint32_t e = 0; e < edges_.size(); ++e) {
        const Edge& edge = edges_[e];
        if (treeEdge[edge.to] != e && treeEdge[edge.from] != e) {
            graph_.addFurtherReference(edge.from, edge.to);
        }
    }
    edges_.clear();
    edges_.shrink_to_fit();
    return true;
}

bool EdgeGraph::write(std::ostream& out, const ImportProgress& progress, ImportResult& result) {
    OutlineWriter writer(out);
    return graph_.write(writer, progress, result);
}

size_t EdgeGraph::memoryUsed() const {
    return graph_.memoryUsed() + edges_.capacity() * sizeof(Edge);
}

}  // namespace orvo
