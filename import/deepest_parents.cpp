// A tree for graphs whose links say "needs": walked against the links from what everything
// needs, each node hangs under the deepest of the nodes it links to that are already placed, so
// that a package sits under the most specific of its dependencies rather than under the one
// library all of them need. Placement goes strongly connected component by component in
// topological order (found by an iterative Tarjan walk); inside a component, nodes that only
// members reach hang breadth-first under the members placed first.
#include <algorithm>

#include "import/edge_graph.h"

namespace orvo {

EdgeGraph::DeepestWalk::DeepestWalk(size_t nodes)
    : order(nodes, kUnvisited), low(nodes, 0), component(nodes, kUnvisited), depth(nodes, 0) {}

void EdgeGraph::hangUnderDeepest(Index top, const Adjacency& walk, const Adjacency& needs,
                                 std::vector<uint32_t>& treeEdge, DeepestWalk& w,
                                 std::vector<Index>& attached) {
    // Components of the nodes not yet in the tree that `top` reaches, sinks first.
    struct Frame {
        Index node;
        uint32_t next;
    };
    std::vector<Frame> frames{{top, walk.start[top]}};
    std::vector<Index> open;           // Tarjan's stack
    std::vector<Index> members;        // component after component, as completed
    std::vector<uint32_t> boundaries;  // where each component's members end
    w.order[top] = w.low[top] = w.counter++;
    while (!frames.empty()) {
        const Index v = frames.back().node;
        if (frames.back().next < walk.start[v + 1]) {
            const Index x = otherEnd(walk.edges[frames.back().next++], v);
            if (graph_.inTree(x)) continue;
            if (w.order[x] == kUnvisited) {
                w.order[x] = w.low[x] = w.counter++;
                open.push_back(x);
                frames.push_back({x, walk.start[x]});
            } else if (w.component[x] == kUnvisited) {
                w.low[v] = std::min(w.low[v], w.order[x]);  // x is still open
            }
            continue;
        }
        frames.pop_back();
        if (v == top) break;  // placed already, in no component
        const Index up = frames.back().node;
        w.low[up] = std::min(w.low[up], w.low[v]);
        if (w.low[v] != w.order[v]) continue;
        Index x;
        do {
            x = open.back();
            open.pop_back();
            w.component[x] = w.components;
            members.push_back(x);
        } while (x != v);
        ++w.components;
        boundaries.push_back(static_cast<uint32_t>(members.size()));
    }

    // Parents are chosen component by component, sources first; nodes are attached afterwards,
    // breadth-first, each node's children in the order the file named them.
    const auto placed = [&](Index p) { return graph_.inTree(p) || treeEdge[p] != kNoEdge; };
    std::vector<Index> queue;
    for (size_t c = boundaries.size(); c-- > 0;) {
        const uint32_t begin = c == 0 ? 0 : boundaries[c - 1], end = boundaries[c];
        // Every member that links to a placed node hangs under the deepest such node...
        queue.clear();
        for (uint32_t i = begin; i < end; ++i) {
            const Index m = members[i];
            uint32_t best = kNoEdge;
            for (uint32_t k = needs.start[m]; k < needs.start[m + 1]; ++k) {
                const Index p = otherEnd(needs.edges[k], m);
                if (placed(p) && w.component[p] != w.component[m] &&
                    (best == kNoEdge || w.depth[p] > w.depth[otherEnd(best, m)])) {
                    best = needs.edges[k];
                }
            }
            if (best != kNoEdge) queue.push_back(m), treeEdge[m] = best;
        }
        for (const Index m : queue) w.depth[m] = w.depth[otherEnd(treeEdge[m], m)] + 1;
        // ... and the rest of the component breadth-first under them.
        for (size_t head = 0; head < queue.size(); ++head) {
            const Index v = queue[head];
            for (uint32_t k = walk.start[v]; k < walk.start[v + 1]; ++k) {
                const Index x = otherEnd(walk.edges[k], v);
                if (placed(x) || w.component[x] != w.component[v]) continue;
                treeEdge[x] = walk.edges[k];
                w.depth[x] = w.depth[v] + 1;
                queue.push_back(x);
            }
        }
    }

    std::vector<std::pair<Index, Index>> children;  // (parent, child)
    children.reserve(members.size());
    for (const Index m : members) children.emplace_back(otherEnd(treeEdge[m], m), m);
    std::sort(children.begin(), children.end());
    queue.assign(1, top);
    for (size_t head = 0; head < queue.size(); ++head) {
        const Index v = queue[head];
        auto at = std::lower_bound(children.begin(), children.end(), std::pair{v, Index{0}});
        for (; at != children.end() && at->first == v; ++at) {
            graph_.attach(v, at->second);
            queue.push_back(at->second);
            attached.push_back(at->second);
        }
    }
}

}  // namespace orvo
