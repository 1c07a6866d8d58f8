// An allocator for the big lookup tables: from 2 MiB on, storage comes in 2 MiB-aligned blocks
// advised for huge pages. A table probed at random then misses the TLB far less often, and its
// first touches fault once per 2 MiB instead of once per 4 KiB. Smaller requests go to the heap.
#pragma once

#include <cstddef>
#include <limits>
#include <new>

#include "memory/chunked_store.h"
#include "memory/prefaulted_blocks.h"

namespace orvo {

template <typename T>
struct HugePageAllocator {
    using value_type = T;

    HugePageAllocator() = default;
    template <typename U>
    HugePageAllocator(const HugePageAllocator<U>&) {}

    T* allocate(size_t n) {
        // No size whose bytes, rounded up to a block, would overflow.
        if (n > std::numeric_limits<size_t>::max() / sizeof(T) / 2) throw std::bad_alloc();
        const size_t bytes = n * sizeof(T);
        if (bytes < kLargeBlockBytes) return static_cast<T*>(::operator new(bytes));
        void* block = mapLargeBlock(roundedUp(bytes));
        if (block == nullptr) throw std::bad_alloc();
        return static_cast<T*>(block);
    }

    void deallocate(T* p, size_t n) {
        const size_t bytes = n * sizeof(T);
        if (bytes < kLargeBlockBytes) {
            ::operator delete(p);
        } else {
            freeLargeBlock(p, roundedUp(bytes));
        }
    }

    template <typename U>
    bool operator==(const HugePageAllocator<U>&) const {
        return true;
    }

private:
    static size_t roundedUp(size_t bytes) {
        return (bytes + kLargeBlockBytes - 1) / kLargeBlockBytes * kLargeBlockBytes;
    }
};

}  // namespace orvo
