// Id -> node index by open addressing (linear probing, at most half full); the ids themselves
// stay in the nodes.
#include "graph/node_index.h"

#include <functional>

#include "graph/graph.h"

namespace orvo {

namespace {
size_t hashId(std::string_view id) { return std::hash<std::string_view>{}(id); }
}  // namespace

void NodeIndex::clear() {
    slots_.clear();
    slots_.shrink_to_fit();
    count_ = 0;
}

int32_t NodeIndex::find(std::string_view id, const std::vector<Node*>& nodes) const {
    if (slots_.empty()) return -1;
    const size_t mask = slots_.size() - 1;
    for (size_t i = hashId(id) & mask;; i = (i + 1) & mask) {
        const int32_t slot = slots_[i];
        if (slot < 0) return -1;
        if (nodes[slot]->id == id) return slot;
    }
}

void NodeIndex::insert(std::string_view id, int32_t index, const std::vector<Node*>& nodes) {
    if ((count_ + 1) * 2 > slots_.size()) grow(nodes);
    const size_t mask = slots_.size() - 1;
    for (size_t i = hashId(id) & mask;; i = (i + 1) & mask) {
        const int32_t slot = slots_[i];
        if (slot < 0) {
            slots_[i] = index;
            ++count_;
            return;
        }
        if (nodes[slot]->id == id) {
            slots_[i] = index;  // a later node with the same id replaces the earlier entry
            return;
        }
    }
}

void NodeIndex::grow(const std::vector<Node*>& nodes) {
    std::vector<int32_t> old;
    old.swap(slots_);
    slots_.assign(old.empty() ? 64 : old.size() * 2, -1);
    const size_t mask = slots_.size() - 1;
    for (int32_t index : old) {
        if (index < 0) continue;
        size_t i = hashId(nodes[index]->id) & mask;
        while (slots_[i] >= 0) i = (i + 1) & mask;
        slots_[i] = index;
    }
}

}  // namespace orvo
