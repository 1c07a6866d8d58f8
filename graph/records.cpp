// Applying one node record: creating the node under its parent, or, for an id seen before,
// moving the node to the new parent or adding a non-tree link to it.
#include <algorithm>
#include <boost/unordered/unordered_flat_set.hpp>
#include <limits>

#include "graph/graph.h"
#include "graph/read_state.h"

namespace orvo {

namespace {

constexpr uint8_t kTreeLinkFlags = Enabled | Shown;

// Keeps, of the entries of a node's non-tree links, the last of each link that is still a
// non-tree link, in their order.
void dropStaleEntries(PointerList<Link>& list) {
    boost::unordered_flat_set<const Link*> later;
    size_t keep = list.size();
    for (size_t i = list.size(); i-- > 0;) {
        Link* l = list[i];
        if (l->toNode->parentLink == l || !later.insert(l).second) continue;
        list[--keep] = l;
    }
    list.erase(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(keep));
}

}  // namespace

Node* Graph::addRecord(Node* parent, std::string_view id, int32_t level, int32_t extra) {
    const RecordResult result = applyRecord(parent, id, NodeIndex::hashOf(id), level, extra);
    return result.created ? result.node : nullptr;
}

Graph::RecordResult Graph::applyRecord(Node* parent, std::string_view id, uint32_t idHash,
                                       int32_t level, int32_t extra) {
    // One hash of the id serves both the lookup and, for a new node, the registration.
    const int32_t existing = parent ? nodeIndexById_.find(id, idHash, nodes) : -1;
    Node* x = existing < 0 ? nullptr : nodes[existing];
    if (x == nullptr) {
        x = newNode(parent, level);
        addNodeWithHash(x, id, idHash);
        x->flags |= Shown;
        if (read_) {
            read_->slotInParent.push_back(parent ? static_cast<int32_t>(parent->children.size())
                                                 : -1);
            read_->hasHoles.push_back(0);
        }
        if (parent != nullptr) {
            Link* l = newLink(parent, x, extra, kTreeLinkFlags);
            parent->children.push_back(x);
            x->parentLink = l;
        }
        return {x, true};
    }
    // Given the tree's invariants, x is one of parent's children exactly when parent is its
    // parent.
    if (x == parent || x->parent == parent) return {x, false};
    if (preferNewParent(parent, x->parent, id, extra) == 1) {
        moveNode(x, parent, extra);
    } else if (!hasLinkTo(parent, x)) {
        Link* l = newLink(parent, x, extra, 0);
        parent->outLinks.push_back(l);
        x->inLinks.push_back(l);
        if (read_) read_->outLinkPairs.insert(parent->index, x->index);
    }
    return {x, false};
}

bool Graph::hasLinkTo(const Node* from, const Node* to) const {
    if (to->parent == from) return true;  // the tree link, to's parentLink
    // A node without non-tree links answers at once, without a probe of the pair set.
    if (from->outLinks.empty()) return false;
    if (read_) return read_->outLinkPairs.contains(from->index, to->index);
    return std::any_of(from->outLinks.begin(), from->outLinks.end(),
                       [to](const Link* l) { return l->toNode == to; });
}

void Graph::moveNode(Node* x, Node* newParent, int32_t extra) {
    Node* old = x->parent;
    Link* oldLink = x->parentLink;
    // The old tree link stays as a non-tree link. (While reading, it may also still be filed
    // where it stood when it was one before: see unfileNonTreeLink.)
    old->outLinks.push_back(oldLink);
    x->inLinks.push_back(oldLink);
    detachFromParent(x);
    if (read_) read_->outLinkPairs.insert(old->index, x->index);

    // A non-tree link the new parent already has to the node becomes the tree link, so that the
    // pair is never linked twice.
    Link* l = nonTreeLink(newParent, x);
    if (l != nullptr) {
        unfileNonTreeLink(l);
        l->extra = extra;
        l->flags |= kTreeLinkFlags;
    } else {
        l = newLink(newParent, x, extra, kTreeLinkFlags);
    }
    oldLink->flags &= static_cast<uint8_t>(~kTreeLinkFlags);
    if (read_) read_->slotInParent[x->index] = static_cast<int32_t>(newParent->children.size());
    newParent->children.push_back(x);
    x->parentLink = l;
    x->parent = newParent;
    x->level = newParent->level == std::numeric_limits<int32_t>::max() ? newParent->level
                                                                       : newParent->level + 1;
}

Link* Graph::nonTreeLink(const Node* from, const Node* to) const {
    if (from->outLinks.empty() ||
        (read_ && !read_->outLinkPairs.contains(from->index, to->index))) {
        return nullptr;
    }
    // Whichever list is shorter holds it too.
    if (to->inLinks.size() < from->outLinks.size()) {
        const auto at = std::find_if(to->inLinks.begin(), to->inLinks.end(),
                                     [from](const Link* l) { return l->fromNode == from; });
        return at == to->inLinks.end() ? nullptr : *at;
    }
    const auto at = std::find_if(from->outLinks.begin(), from->outLinks.end(),
                                 [to](const Link* l) { return l->toNode == to; });
    return at == from->outLinks.end() ? nullptr : *at;
}

void Graph::unfileNonTreeLink(Link* l) {
    Node* from = l->fromNode;
    Node* to = l->toNode;
    if (read_) {
        // Taken out of both lists in one pass per node when the read ends: erasing here would
        // cost a pass over a long list per move. Should the link become a non-tree link again
        // before then, it is filed anew at the lists' ends and the earlier entry goes.
        for (Node* n : {from, to}) {
            if (!(read_->hasHoles[n->index] & kStaleLinks)) {
                read_->hasHoles[n->index] |= kStaleLinks;
                read_->nodesWithStaleLinks.push_back(n);
            }
        }
        return;
    }
    from->outLinks.erase(std::find(from->outLinks.begin(), from->outLinks.end(), l));
    to->inLinks.erase(std::find(to->inLinks.begin(), to->inLinks.end(), l));
}

void Graph::detachFromParent(Node* x) {
    Node* old = x->parent;
    if (read_) {
        // Leave a hole; finishRead squeezes the holes out in one pass per parent.
        const int32_t slot = read_->slotInParent[x->index];
        old->children[slot] = nullptr;
        if (!(read_->hasHoles[old->index] & kChildHoles)) {
            read_->hasHoles[old->index] |= kChildHoles;
            read_->nodesWithHoles.push_back(old);
        }
        return;
    }
    old->children.erase(std::find(old->children.begin(), old->children.end(), x));
}

void Graph::finishRead() {
    // Link ends are known from creation on, so only the holes left by moves remain to remove.
    for (Node* n : read_->nodesWithHoles) {
        n->children.erase(std::remove(n->children.begin(), n->children.end(), nullptr),
                          n->children.end());
    }
    for (Node* n : read_->nodesWithStaleLinks) {
        dropStaleEntries(n->outLinks);
        dropStaleEntries(n->inLinks);
    }
    read_.reset();
    // nodes and links keep their spare room: pages never written take no memory, and copying
    // the arrays to fit would cost time and, for a moment, both copies.
    if (anyGroupHidden()) applyHiddenGroupsToAll();
    if (anyGroupVeiled()) applyVeilsToAll();
}

}  // namespace orvo
