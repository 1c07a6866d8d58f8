// A page linked from everywhere has hundreds of thousands of non-tree links, nearly all hidden.
// Looking through them for the few shown ones on every frame and every pick would cost more the
// bigger the graph; for such nodes the shown ones are gathered once, and again only after the
// graph's link visibility has changed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace orvo {

class Graph;
struct Node;
struct Link;

class ShownLinkCache {
public:
    /// Nodes with more non-tree links than this are served from the cache.
    static constexpr size_t kManyLinks = 64;

    struct Entry {
        std::vector<Link*> links;  // the shown out-links, then the shown in-links, in list order
        size_t outCount = 0;       // how many of them are out-links
    };

    /// Forgets everything (a new graph).
    void clear();
    /// n's shown non-tree links as the graph's flags say now.
    const Entry& of(const Graph& graph, const Node& n);

private:
    const Graph* graph_ = nullptr;
    uint64_t version_ = 0;
    std::unordered_map<const Node*, Entry> entries_;
};

}  // namespace orvo
