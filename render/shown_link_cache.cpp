// Gathering a node's shown non-tree links, kept until the graph's link visibility changes.
#include "render/shown_link_cache.h"

#include "graph/graph.h"

namespace orvo {

void ShownLinkCache::clear() {
    graph_ = nullptr;
    entries_.clear();
}

const ShownLinkCache::Entry& ShownLinkCache::of(const Graph& graph, const Node& n) {
    if (graph_ != &graph || version_ != graph.linkVisibilityVersion()) {
        entries_.clear();
        graph_ = &graph;
        version_ = graph.linkVisibilityVersion();
    }
    auto [at, added] = entries_.try_emplace(&n);
    Entry& entry = at->second;
    if (added) {
        for (Link* k : n.outLinks)
            if (k->isShown()) entry.links.push_back(k);
        entry.outCount = entry.links.size();
        for (Link* k : n.inLinks)
            if (k->isShown()) entry.links.push_back(k);
    }
    return entry;
}

}  // namespace orvo
