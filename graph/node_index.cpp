// Id -> node index by open addressing (linear probing, at most half full); the ids themselves
// stay in the nodes, and a few hash bits per slot spare most visits to them.
#include "graph/node_index.h"

#include <functional>

#include "graph/graph.h"

namespace orvo {

namespace {
size_t hashId(std::string_view id) { return std::hash<std::string_view>{}(id); }
uint32_t maskOf(unsigned bits) { return static_cast<uint32_t>((uint64_t{1} << bits) - 1); }
}  // namespace

void NodeIndex::clear() {
    std::vector<uint32_t>().swap(slots_);
    count_ = 0;
    indexBits_ = 0;
}

uint32_t NodeIndex::tagOf(size_t hash) const {
    // The hash's top bits, placed above the index bits (the low bits pick the slot).
    const unsigned tagBits = 32 - indexBits_;
    if (tagBits == 0) return 0;
    return static_cast<uint32_t>(hash >> (64 - tagBits)) << indexBits_;
}

int32_t NodeIndex::find(std::string_view id, const std::vector<Node*>& nodes) const {
    if (slots_.empty()) return -1;
    const size_t hash = hashId(id);
    const uint32_t tag = tagOf(hash);
    const uint32_t indexMask = maskOf(indexBits_);
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const uint32_t slot = slots_[i];
        if (slot == 0) return -1;
        if ((slot & ~indexMask) != tag) continue;
        const auto index = static_cast<int32_t>((slot & indexMask) - 1);
        if (nodes[index]->id == id) return index;
    }
}

void NodeIndex::insert(std::string_view id, int32_t index, const std::vector<Node*>& nodes) {
    // index + 1 must fit the index bits, which grow with the table.
    while ((count_ + 1) * 2 > slots_.size() ||
           static_cast<uint64_t>(index) + 1 >= (uint64_t{1} << indexBits_)) {
        grow(nodes, slots_.size() * 2);
    }
    const size_t hash = hashId(id);
    const uint32_t tag = tagOf(hash);
    const uint32_t indexMask = maskOf(indexBits_);
    const uint32_t entry = tag | (static_cast<uint32_t>(index) + 1);
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const uint32_t slot = slots_[i];
        if (slot == 0) {
            slots_[i] = entry;
            ++count_;
            return;
        }
        if ((slot & ~indexMask) == tag && nodes[(slot & indexMask) - 1]->id == id) {
            slots_[i] = entry;  // a later node with the same id replaces the earlier entry
            return;
        }
    }
}

void NodeIndex::grow(const std::vector<Node*>& nodes, size_t minimumSlots) {
    std::vector<uint32_t> old;
    old.swap(slots_);
    const unsigned oldBits = indexBits_;
    size_t size = 64;
    while (size < minimumSlots) size *= 2;
    unsigned bits = 0;
    while ((size_t{1} << bits) < size) ++bits;
    indexBits_ = bits;  // log2 of the slot count: index + 1 <= count < slots
    slots_.assign(size, 0);
    const size_t mask = size - 1;
    const uint32_t oldMask = maskOf(oldBits);
    for (uint32_t slot : old) {
        if (slot == 0) continue;
        const uint32_t index = (slot & oldMask) - 1;
        const size_t hash = hashId(nodes[index]->id);
        size_t i = hash & mask;
        while (slots_[i] != 0) i = (i + 1) & mask;
        slots_[i] = tagOf(hash) | (index + 1);
    }
}

}  // namespace orvo
