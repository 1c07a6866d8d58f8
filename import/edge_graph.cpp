// Spanning tree of an edge graph: adjacency in compressed rows (file order kept), one
// breadth-first walk per component, all with explicit queues.
#include "import/edge_graph.h"

#include <algorithm>
#include <numeric>

#include <boost/unordered/unordered_flat_set.hpp>

#include "import/outline_writer.h"

namespace orvo {

namespace {

uint64_t edgeKey(uint32_t a, uint32_t b) { return (uint64_t{a} << 32) | b; }

}  // namespace

bool EdgeGraph::build(const std::string& rootId, const std::string& file, ImportResult& result) {
    const size_t n = graph_.size();
    excluded_.resize(n, 0);
    const auto isExcluded = [&](Index i) { return excluded_[i] != 0; };
    if (n == static_cast<size_t>(std::count(excluded_.begin(), excluded_.end(), uint8_t{1}))) {
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
                e.undirected ? undirected.insert(edgeKey(std::min(e.from, e.to),
                                                         std::max(e.from, e.to)))
                                   .second
                             : directed.insert(edgeKey(e.from, e.to)).second;
            if (fresh) edges_[kept++] = e;
        }
        edges_.resize(kept);
        edges_.shrink_to_fit();
    }

    // Adjacency: out-edges, both ways for undirected ones, in file order.
    std::vector<uint32_t> start(n + 1, 0);
    for (const Edge& e : edges_) {
        ++start[e.from + 1];
        if (e.undirected) ++start[e.to + 1];
    }
    for (size_t i = 0; i < n; ++i) start[i + 1] += start[i];
    std::vector<Index> adjacent(start[n]);
    {
        std::vector<uint32_t> next(start.begin(), start.end() - 1);
        for (const Edge& e : edges_) {
            adjacent[next[e.from]++] = e.to;
            if (e.undirected) adjacent[next[e.to]++] = e.from;
        }
    }
    const auto degree = [&](Index i) { return start[i + 1] - start[i]; };

    Index root = SiteGraph::kNone;
    if (!rootId.empty()) {
        root = graph_.find(rootId);
        if (root == SiteGraph::kNone || isExcluded(root)) {
            result.error = "--root " + rootId + ": no node of " + file + " has this id";
            return false;
        }
    } else {
        for (Index i = 0; i < n; ++i) {
            if (isExcluded(i)) continue;
            if (root == SiteGraph::kNone || degree(i) > degree(root)) root = i;
        }
    }
    graph_.setRoot(root);

    std::vector<Index> queue;
    queue.reserve(n);
    const auto walkFrom = [&](Index top) {
        size_t head = queue.size();
        queue.push_back(top);
        for (; head < queue.size(); ++head) {
            const Index x = queue[head];
            for (uint32_t k = start[x]; k < start[x + 1]; ++k) {
                const Index y = adjacent[k];
                if (graph_.inTree(y)) continue;
                graph_.attach(x, y);
                queue.push_back(y);
            }
        }
    };
    walkFrom(root);
    if (queue.size() < n) {
        size_t left = 0;
        for (Index i = 0; i < n; ++i) left += !isExcluded(i) && !graph_.inTree(i);
        // The rest, component by component, each from its best remaining node.
        std::vector<Index> byDegree(n);
        std::iota(byDegree.begin(), byDegree.end(), Index{0});
        std::stable_sort(byDegree.begin(), byDegree.end(),
                         [&](Index a, Index b) { return degree(a) > degree(b); });
        for (const Index candidate : byDegree) {
            if (left == 0) break;
            if (graph_.inTree(candidate) || isExcluded(candidate)) continue;
            const size_t before = queue.size();
            graph_.attach(root, candidate);
            walkFrom(candidate);
            left -= queue.size() - before;
        }
    }

    // Every edge that is not a tree link is a further reference of its first end.
    for (const Edge& e : edges_) {
        const bool tree = graph_.parent(e.to) == e.from ||
                          (e.undirected && graph_.parent(e.from) == e.to);
        if (!tree) graph_.addFurtherReference(e.from, e.to);
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
