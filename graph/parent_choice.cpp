// The graph's side of the move decision (graph/move_choice.h): its nodes and the address walk.
#include <algorithm>

#include "graph/graph.h"
#include "graph/move_choice.h"

namespace orvo {

namespace {

// One address being walked component by component; a walk that runs off its end starts over.
struct ComponentCursor {
    std::string_view text;
    size_t pos = 0;
    bool foundSlash = false;

    std::string_view next() {
        const size_t slash = pos < text.size() ? text.find('/', pos) : std::string_view::npos;
        foundSlash = slash != std::string_view::npos;
        const size_t end = foundSlash ? slash : text.size();
        const std::string_view component = text.substr(pos, end - pos);  // pos <= size always
        pos = foundSlash ? slash + 1 : 0;
        return component;
    }
};

// The graph's nodes as preferNewParentIn asks about them.
struct NodeTree {
    const Node* none() const { return nullptr; }
    const Node* parent(const Node* n) const { return n->parent; }
    int32_t level(const Node* n) const { return n->level; }
    std::string_view id(const Node* n) const { return n->id; }
    bool treeLinkExtra(const Node* n, int32_t& extra) const {
        if (n->parentLink == nullptr) return false;
        extra = n->parentLink->extra;
        return true;
    }
    bool hasChildren(const Node* n) const { return !n->children.empty(); }
};

}  // namespace

// Each string wraps independently, so the walk ends within lcm(components of old parent,
// components of node) steps.
ComponentWalk componentWalk(std::string_view oldId, std::string_view newId, std::string_view id) {
    ComponentCursor o{oldId}, p{newId}, s{id};
    ComponentWalk r{0, {}, {}};
    do {
        const std::string_view a = o.next();
        const std::string_view b = p.next();
        const std::string_view c = s.next();
        r.oldComponent = a;
        r.newComponent = b;
        if (a == c) {
            r.d = b == c ? 0 : -2;
            if (!o.foundSlash && !s.foundSlash) r.d = -1;
        } else {
            r.d = b == c ? 1 : -1;
        }
    } while (r.d == 0);
    return r;
}

bool sortsBefore(std::string_view x, std::string_view y) {
    const size_t common = std::min(x.size(), y.size());
    for (size_t i = 0; i < common; ++i) {
        const auto cx = static_cast<unsigned char>(x[i]);
        const auto cy = static_cast<unsigned char>(y[i]);
        if (cx != cy) return cx < cy;
    }
    return x.size() < y.size();
}

int Graph::preferNewParent(const Node* newParent, const Node* oldParent, std::string_view id,
                           int32_t extra) const {
    // Ids are unique, so the node is the one with that id.
    return preferNewParentIn(NodeTree{}, settings.loadFlags, newParent, oldParent,
                             [&] { return static_cast<const Node*>(findNode(id)); }, id, extra);
}

}  // namespace orvo
