// Node ids to node numbers: open addressing with linear probing, at most half full. A slot holds
// where the id's bytes are, its length, eight bits of its hash and the number, so a lookup reads
// one slot and, only when length and bits agree, the id itself: two reads from memory where a
// general map makes three. The slot a lookup will start at can be fetched ahead, so that the
// reads of several lookups overlap.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "memory/huge_page_allocator.h"

namespace orvo {

class IdTable {
public:
    static constexpr uint32_t kNone = ~uint32_t{0};

    static uint64_t hashOf(std::string_view id);

    /// Makes room for this many ids without growing again. `ids` holds every stored id by number
    /// (for the rare id too long for a slot's length field), here and below.
    void reserve(size_t count, const std::vector<std::string_view>& ids);
    size_t size() const { return size_; }
    size_t bytesHeld() const { return slots_.capacity() * sizeof(Slot); }

    /// Asks for the slot a lookup of this hash starts at to be brought into the cache.
    void prefetch(uint64_t hash) const;
    /// Asks for the bytes of the id in the slot a lookup of this hash starts at to be brought in
    /// (once that slot is in the cache, this is what the lookup reads next).
    void prefetchId(uint64_t hash) const;
    /// The number of the id, or kNone.
    uint32_t find(std::string_view id, uint64_t hash,
                  const std::vector<std::string_view>& ids) const;
    /// Stores the id, which must not be here yet and whose bytes must stay where they are.
    void insert(std::string_view id, uint64_t hash, uint32_t number,
                const std::vector<std::string_view>& ids);

private:
    struct Slot {
        const char* data = nullptr;
        uint32_t number = kNone;    // kNone: empty
        uint32_t lengthAndTag = 0;  // length (kLongLength: at least that) << 8 | 8 hash bits
    };
    static constexpr uint32_t kLongLength = 0xFFFFFF;
    static uint32_t lengthAndTag(size_t length, uint64_t hash);
    /// The first empty slot from where the hash places an id on.
    size_t freeSlot(uint64_t hash) const;
    void grow(size_t capacity, const std::vector<std::string_view>& ids);

    std::vector<Slot, HugePageAllocator<Slot>> slots_;
    size_t mask_ = 0;
    size_t size_ = 0;
};

}  // namespace orvo
