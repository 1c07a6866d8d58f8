// Deciding whether a node listed again under another parent moves there: the load flags choose
// which tests run (same top ancestor, extra field, address components, levels, alphabet).
#include <algorithm>

#include "graph/graph.h"

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

struct WalkResult {
    int d;
    std::string_view oldComponent;  // a: the last component compared from the old parent's id
    std::string_view newComponent;  // b: the same from the new parent's id
};

// Compares the addresses of old parent, new parent and node component by component until they
// stop agreeing. Each string wraps independently, so the walk ends within
// lcm(components of old parent, components of node) steps.
WalkResult componentWalk(std::string_view oldId, std::string_view newId, std::string_view id) {
    ComponentCursor o{oldId}, p{newId}, s{id};
    WalkResult r{0, {}, {}};
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

const Node* topAncestor(const Node* n) {
    while (n->level > 0 && n->parent != nullptr) n = n->parent;
    return n;
}

// Byte-wise order with unsigned bytes; a proper prefix sorts first.
bool sortsBefore(std::string_view x, std::string_view y) {
    const size_t common = std::min(x.size(), y.size());
    for (size_t i = 0; i < common; ++i) {
        const auto cx = static_cast<unsigned char>(x[i]);
        const auto cy = static_cast<unsigned char>(y[i]);
        if (cx != cy) return cx < cy;
    }
    return x.size() < y.size();
}

}  // namespace

int Graph::preferNewParent(const Node* newParent, const Node* oldParent, std::string_view id,
                           int32_t extra) const {
    const int32_t flags = settings.loadFlags;
    if ((flags & NeverMove) || oldParent == nullptr || newParent == nullptr || id.empty()) return 0;
    if ((flags & SameTopAncestor) && topAncestor(newParent) != topAncestor(oldParent)) return 0;

    int d = -1;
    if ((flags & ExtraField) && newParent->parentLink != nullptr) {
        const int32_t held = newParent->parentLink->extra;
        d = extra > held ? 1 : extra == held ? -1 : -2;
    }
    std::string_view a = oldParent->id;
    std::string_view b = newParent->id;
    if (flags & CompareComponents) {
        const WalkResult walk = componentWalk(oldParent->id, newParent->id, id);
        d = walk.d;
        a = walk.oldComponent;
        b = walk.newComponent;
    }
    if ((flags & PreferShallower) && d == -1) {
        d = newParent->level < oldParent->level    ? 1
            : newParent->level == oldParent->level ? -1
                                                   : -2;
    }
    if ((flags & PreferAlphabetical) && d == -1 && sortsBefore(b, a)) d = 1;

    if (d == 1) {
        // Refuse a move below one of the node's own descendants. Ids are unique, so the ancestor
        // with that id is the node itself, and a node without children is nobody's ancestor.
        const Node* x = findNode(id);
        if (x != nullptr && !x->children.empty()) {
            for (const Node* up = newParent->parent; up != nullptr; up = up->parent) {
                if (up == x) return -1;
            }
        }
    }
    return d;
}

}  // namespace orvo
