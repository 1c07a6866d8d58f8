// Deciding whether a node listed again under another parent moves there: the load flags choose
// which tests run (same top ancestor, extra field, address components, levels, alphabet). Written
// once over any tree that can answer a few questions about its nodes, so that the graph's reader
// and the column reader of big outlines decide alike.
#pragma once

#include <cstdint>
#include <string_view>

#include "settings/viewer_settings.h"

namespace orvo {

struct ComponentWalk {
    int d;
    std::string_view oldComponent;  // the last component compared from the old parent's id
    std::string_view newComponent;  // the same from the new parent's id
};

/// Compares the addresses of old parent, new parent and node component by component until they
/// stop agreeing.
ComponentWalk componentWalk(std::string_view oldId, std::string_view newId, std::string_view id);

/// Byte-wise order with unsigned bytes; a proper prefix sorts first.
bool sortsBefore(std::string_view x, std::string_view y);

/// 1 when the node of that id (selfOf() gives it, asked only when needed), listed again under newParent while it hangs under oldParent, moves there; 0
/// or less when it stays (and the record is a link). `tree` answers, for a node N:
/// none() (the absent node), parent(N), level(N), id(N), treeLinkExtra(N) (false when N is a
/// root, else true with the extra of its tree link), hasChildren(N).
template <typename Tree, typename N, typename SelfOf>
int preferNewParentIn(const Tree& tree, int32_t flags, N newParent, N oldParent, SelfOf selfOf,
                      std::string_view id, int32_t extra) {
    const N none = tree.none();
    if ((flags & NeverMove) || oldParent == none || newParent == none || id.empty()) return 0;
    const auto topAncestor = [&](N n) {
        while (tree.level(n) > 0 && tree.parent(n) != none) n = tree.parent(n);
        return n;
    };
    if ((flags & SameTopAncestor) && topAncestor(newParent) != topAncestor(oldParent)) return 0;

    int d = -1;
    int32_t held = 0;
    if ((flags & ExtraField) && tree.treeLinkExtra(newParent, held))
        d = extra > held ? 1 : extra == held ? -1 : -2;
    std::string_view a = tree.id(oldParent);
    std::string_view b = tree.id(newParent);
    if (flags & CompareComponents) {
        const ComponentWalk walk = componentWalk(a, b, id);
        d = walk.d;
        a = walk.oldComponent;
        b = walk.newComponent;
    }
    if ((flags & PreferShallower) && d == -1) {
        const int32_t newLevel = tree.level(newParent), oldLevel = tree.level(oldParent);
        d = newLevel < oldLevel ? 1 : newLevel == oldLevel ? -1 : -2;
    }
    if ((flags & PreferAlphabetical) && d == -1 && sortsBefore(b, a)) d = 1;

    if (d == 1) {
        // Refuse a move below one of the node's own descendants (a node without children is
        // nobody's ancestor).
        const N x = selfOf();
        if (x != none && tree.hasChildren(x)) {
            for (N up = tree.parent(newParent); up != none; up = tree.parent(up))
                if (up == x) return -1;
        }
    }
    return d;
}

}  // namespace orvo
