// The invariants every read graph keeps: dense indices, the id index, a consistent spanning tree
// without cycles, and every non-tree link filed at both its ends. Usable from tests and from the
// fuzz targets (no test framework needed): an empty result means the graph is sound.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

#include "graph/graph.h"

namespace orvo {

inline std::string checkGraphInvariants(const Graph& g) {
    auto fail = [](const std::string& what, std::string_view id) {
        return what + " (" + std::string(id) + ")";
    };
    if (g.nodes.empty()) {
        if (g.root != nullptr || !g.links.empty()) return "an empty graph has a root or links";
        return {};
    }
    if (g.root != g.nodes[0]) return "root is not node 0";
    if (g.root->parent != nullptr || g.root->parentLink != nullptr) return "root has a parent";

    for (size_t i = 0; i < g.nodes.size(); ++i) {
        const Node* n = g.nodes[i];
        if (n == nullptr) return "null node";
        if (n->index != static_cast<int32_t>(i)) return fail("node index", n->id);
        if (g.findNodeIndex(n->id) != static_cast<int32_t>(i)) return fail("id index", n->id);
    }
    std::unordered_set<const Link*> treeLinks;
    for (size_t i = 0; i < g.links.size(); ++i) {
        const Link* l = g.links[i];
        if (l == nullptr) return "null link";
        if (l->index != static_cast<int32_t>(i)) return "link index";
        if (l->fromNode == nullptr || l->toNode == nullptr) return "link without an end";
    }
    for (const Node* n : g.nodes) {
        if (n == g.root) continue;
        if (n->parent == nullptr || n->parentLink == nullptr) return fail("no parent", n->id);
        if (n->parentLink->fromNode != n->parent || n->parentLink->toNode != n) {
            return fail("parent link ends", n->id);
        }
        if (!treeLinks.insert(n->parentLink).second) return fail("shared parent link", n->id);
    }
    // Every child entry names the child's own parent, and every non-root node
    // appears exactly once among its parent's children.
    size_t childEntries = 0;
    for (const Node* p : g.nodes) {
        for (size_t j = 0; j < p->children.size(); ++j) {
            const Node* c = p->children[j];
            if (c == nullptr || c->parent != p) return fail("child's parent", p->id);
        }
        childEntries += p->children.size();
    }
    if (childEntries != g.nodes.size() - 1) return "a node is listed twice among children";

    size_t outEntries = 0, inEntries = 0;
    for (const Node* n : g.nodes) {
        for (const Link* l : n->outLinks) {
            if (l->fromNode != n || treeLinks.count(l)) return fail("out link", n->id);
        }
        for (const Link* l : n->inLinks) {
            if (l->toNode != n || treeLinks.count(l)) return fail("in link", n->id);
        }
        outEntries += n->outLinks.size();
        inEntries += n->inLinks.size();
    }
    const size_t nonTree = g.links.size() - treeLinks.size();
    if (outEntries != nonTree || inEntries != nonTree) return "non-tree links not filed once";

    // No cycle: every walk up reaches the root. Marks make the check linear.
    std::vector<char> state(g.nodes.size(), 0);  // 0 unknown, 1 on the current walk, 2 reaches root
    state[0] = 2;
    std::vector<const Node*> walk;
    for (const Node* n : g.nodes) {
        walk.clear();
        const Node* up = n;
        while (state[up->index] == 0) {
            state[up->index] = 1;
            walk.push_back(up);
            up = up->parent;
        }
        if (state[up->index] == 1) return fail("cycle", n->id);
        for (const Node* w : walk) state[w->index] = 2;
    }
    return {};
}

}  // namespace orvo
