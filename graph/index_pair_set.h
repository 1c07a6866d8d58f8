// A set of (from, to) node index pairs, open addressing over 64-bit keys: the reader asks it
// whether a node already has a non-tree link to another one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "memory/huge_page_allocator.h"

namespace orvo {

class IndexPairSet {
public:
    void clear();
    bool contains(int32_t from, int32_t to) const;
    void insert(int32_t from, int32_t to);
    size_t size() const { return count_; }

private:
    static constexpr uint64_t kEmpty = ~uint64_t{0};
    static uint64_t key(int32_t from, int32_t to) {
        return (uint64_t{static_cast<uint32_t>(from)} << 32) | static_cast<uint32_t>(to);
    }
    static size_t hash(uint64_t k);
    void grow();

    std::vector<uint64_t, HugePageAllocator<uint64_t>> slots_;
    size_t count_ = 0;
};

}  // namespace orvo
