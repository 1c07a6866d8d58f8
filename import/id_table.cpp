#include "import/id_table.h"

#include <algorithm>
#include <bit>
#include <cstring>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace orvo {

uint64_t IdTable::hashOf(std::string_view id) { return XXH3_64bits(id.data(), id.size()); }

uint32_t IdTable::lengthAndTag(size_t length, uint64_t hash) {
    const auto field = static_cast<uint32_t>(std::min<size_t>(length, kLongLength));
    return field << 8 | static_cast<uint32_t>(hash >> 56);
}

void IdTable::reserve(size_t count, const std::vector<std::string_view>& ids) {
    const size_t capacity = std::bit_ceil(std::max<size_t>(16, 2 * count));
    if (capacity > slots_.size()) grow(capacity, ids);
}

void IdTable::prefetch(uint64_t hash) const {
    if (!slots_.empty()) __builtin_prefetch(&slots_[hash & mask_]);
}

void IdTable::prefetchId(uint64_t hash) const {
    if (slots_.empty()) return;
    const Slot& s = slots_[hash & mask_];
    if (s.number != kNone) __builtin_prefetch(s.data);
}

uint32_t IdTable::find(std::string_view id, uint64_t hash,
                       const std::vector<std::string_view>& ids) const {
    if (slots_.empty()) return kNone;
    const uint32_t wanted = lengthAndTag(id.size(), hash);
    for (size_t k = hash & mask_;; k = (k + 1) & mask_) {
        const Slot& s = slots_[k];
        if (s.number == kNone) return kNone;
        if (s.lengthAndTag != wanted) continue;
        if (id.empty() || (id.size() < kLongLength ? std::memcmp(s.data, id.data(), id.size()) == 0
                                                   : ids[s.number] == id)) {
            return s.number;
        }
    }
}

void IdTable::insert(std::string_view id, uint64_t hash, uint32_t number,
                     const std::vector<std::string_view>& ids) {
    if (2 * (size_ + 1) > slots_.size()) grow(std::max<size_t>(16, 2 * slots_.size()), ids);
    slots_[freeSlot(hash)] = {id.data(), number, lengthAndTag(id.size(), hash)};
    ++size_;
}

size_t IdTable::freeSlot(uint64_t hash) const {
    size_t k = hash & mask_;
    while (slots_[k].number != kNone) k = (k + 1) & mask_;
    return k;
}

void IdTable::grow(size_t capacity, const std::vector<std::string_view>& ids) {
    std::vector<Slot, HugePageAllocator<Slot>> old(capacity);
    old.swap(slots_);
    mask_ = capacity - 1;
    for (const Slot& s : old) {
        if (s.number == kNone) continue;
        const std::string_view id = (s.lengthAndTag >> 8) < kLongLength
                                        ? std::string_view(s.data, s.lengthAndTag >> 8)
                                        : ids[s.number];
        slots_[freeSlot(hashOf(id))] = s;
    }
}

}  // namespace orvo
