// Open-addressing set of node index pairs (linear probing, at most half full).
#include "graph/index_pair_set.h"

namespace orvo {

void IndexPairSet::clear() {
    slots_.clear();
    slots_.shrink_to_fit();
    count_ = 0;
}

size_t IndexPairSet::hash(uint64_t k) {
    // The mixing step of splitmix64: consecutive indices spread over the whole table.
    k ^= k >> 30;
    k *= 0xbf58476d1ce4e5b9ULL;
    k ^= k >> 27;
    k *= 0x94d049bb133111ebULL;
    k ^= k >> 31;
    return static_cast<size_t>(k);
}

bool IndexPairSet::contains(int32_t from, int32_t to) const {
    if (slots_.empty()) return false;
    const uint64_t k = key(from, to);
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash(k) & mask;; i = (i + 1) & mask) {
        if (slots_[i] == k) return true;
        if (slots_[i] == kEmpty) return false;
    }
}

void IndexPairSet::insert(int32_t from, int32_t to) {
    if ((count_ + 1) * 2 > slots_.size()) grow();
    const uint64_t k = key(from, to);
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash(k) & mask;; i = (i + 1) & mask) {
        if (slots_[i] == k) return;
        if (slots_[i] == kEmpty) {
            slots_[i] = k;
            ++count_;
            return;
        }
    }
}

void IndexPairSet::grow() {
    decltype(slots_) old;
    old.swap(slots_);
    slots_.assign(old.empty() ? 64 : old.size() * 2, kEmpty);
    const size_t mask = slots_.size() - 1;
    for (uint64_t k : old) {
        if (k == kEmpty) continue;
        size_t i = hash(k) & mask;
        while (slots_[i] != kEmpty) i = (i + 1) & mask;
        slots_[i] = k;
    }
}

}  // namespace orvo
