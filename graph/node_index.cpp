// Id -> node index by open addressing (linear probing, at most half full); the ids themselves
// stay in the nodes, and the hash bits kept per slot spare most visits to them.
#include "graph/node_index.h"

#include <functional>

#include "graph/graph.h"

namespace orvo {

namespace {
uint32_t maskOf(unsigned bits) { return static_cast<uint32_t>((uint64_t{1} << bits) - 1); }
}  // namespace

uint32_t NodeIndex::hashOf(std::string_view id) {
    const uint64_t h = std::hash<std::string_view>{}(id);
    return static_cast<uint32_t>(h ^ (h >> 32));
}

void NodeIndex::clear() {
    decltype(slots_)().swap(slots_);
    decltype(hashes_)().swap(hashes_);
    count_ = 0;
    indexBits_ = 0;
}

void NodeIndex::reserve(size_t count) {
    hashes_.reserve(count);
    size_t slots = 64;
    while (slots < 2 * (count + 1)) slots *= 2;  // at most half full, as insert keeps it
    if (slots > slots_.size()) grow(slots);
}

template <typename Accept>
int32_t NodeIndex::probe(uint32_t hash, Accept accept) const {
    if (slots_.empty()) return -1;
    const uint32_t indexMask = maskOf(indexBits_);
    const uint32_t tag = hash & ~indexMask;
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const uint32_t slot = slots_[i];
        if (slot == 0) return -1;
        if ((slot & ~indexMask) != tag) continue;
        const auto index = static_cast<int32_t>((slot & indexMask) - 1);
        if (accept(index)) return index;
    }
}

int32_t NodeIndex::find(std::string_view id, uint32_t hash, const std::vector<Node*>& nodes) const {
    return probe(hash, [&](int32_t index) { return nodes[index]->id == id; });
}

int32_t NodeIndex::candidateOf(uint32_t hash) const {
    return probe(hash, [](int32_t) { return true; });
}

void NodeIndex::prefetchNode(uint32_t hash, const std::vector<Node*>& nodes) const {
    const int32_t index = candidateOf(hash);
    if (index >= 0) __builtin_prefetch(&nodes[index]->id);
}

void NodeIndex::prefetchNodeId(uint32_t hash, const std::vector<Node*>& nodes) const {
    const int32_t index = candidateOf(hash);
    if (index < 0) return;
    const Node* n = nodes[index];
    __builtin_prefetch(n->id.data());
    if (n->parent != nullptr) __builtin_prefetch(n->parent);
}

void NodeIndex::prefetchParentId(uint32_t hash, const std::vector<Node*>& nodes) const {
    const int32_t index = candidateOf(hash);
    if (index < 0) return;
    if (const Node* parent = nodes[index]->parent) __builtin_prefetch(parent->id.data());
}

void NodeIndex::insert(std::string_view id, uint32_t hash, int32_t index,
                       const std::vector<Node*>& nodes) {
    if (static_cast<size_t>(index) >= hashes_.size())
        hashes_.resize(static_cast<size_t>(index) + 1);
    hashes_[index] = hash;
    // index + 1 must fit the index bits, which grow with the table.
    while ((count_ + 1) * 2 > slots_.size() ||
           static_cast<uint64_t>(index) + 1 >= (uint64_t{1} << indexBits_)) {
        grow(slots_.size() * 2);
    }
    const uint32_t indexMask = maskOf(indexBits_);
    const uint32_t tag = hash & ~indexMask;
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

int32_t NodeIndex::indexNoted(const std::vector<Node*>& nodes) {
    const size_t n = hashes_.size();
    reserve(n);
    // The nodes are sorted by the stretch of the table their first slot lies in (a counting
    // sort, stable, so each stretch takes its nodes in index order) and placed stretch by
    // stretch. Any order of insertion gives a table in which every id is found; placing the
    // nodes of a stretch in index order finds the same first repeated id as one by one would.
    constexpr size_t kStretchSlots = size_t{1} << 15;  // 128 KiB of slots
    const size_t mask = slots_.size() - 1;
    const size_t stretches = (slots_.size() + kStretchSlots - 1) / kStretchSlots;
    std::vector<uint32_t> start(stretches + 1, 0);
    for (size_t i = 0; i < n; ++i) ++start[((hashes_[i] & mask) / kStretchSlots) + 1];
    for (size_t s = 0; s < stretches; ++s) start[s + 1] += start[s];
    std::vector<uint32_t> order(n);
    for (size_t i = 0; i < n; ++i)
        order[start[(hashes_[i] & mask) / kStretchSlots]++] = static_cast<uint32_t>(i);
    const uint32_t indexMask = maskOf(indexBits_);
    int32_t firstRepeat = -1;
    for (const uint32_t index : order) {
        const uint32_t hash = hashes_[index];
        const uint32_t tag = hash & ~indexMask;
        const std::string_view id = nodes[index]->id;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            const uint32_t slot = slots_[i];
            if (slot == 0) {
                slots_[i] = tag | (index + 1);
                ++count_;
                break;
            }
            if ((slot & ~indexMask) == tag && nodes[(slot & indexMask) - 1]->id == id) {
                if (firstRepeat < 0 || index < static_cast<uint32_t>(firstRepeat))
                    firstRepeat = static_cast<int32_t>(index);
                break;
            }
        }
    }
    return firstRepeat;
}

void NodeIndex::grow(size_t minimumSlots) {
    decltype(slots_) old;
    old.swap(slots_);
    const uint32_t oldMask = maskOf(indexBits_);
    size_t size = 64;
    while (size < minimumSlots) size *= 2;
    unsigned bits = 0;
    while ((size_t{1} << bits) < size) ++bits;
    indexBits_ = bits;
    slots_.assign(size, 0);
    const uint32_t indexMask = maskOf(indexBits_);
    const size_t mask = size - 1;
    for (uint32_t slot : old) {
        if (slot == 0) continue;
        const uint32_t index = (slot & oldMask) - 1;
        const uint32_t hash = hashes_[index];
        size_t i = hash & mask;
        while (slots_[i] != 0) i = (i + 1) & mask;
        slots_[i] = (hash & ~indexMask) | (index + 1);
    }
}

}  // namespace orvo
