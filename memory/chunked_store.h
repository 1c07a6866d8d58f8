// Owns objects in chunks of growing size: addresses stay stable, and a million nodes cost a few
// hundred allocations instead of one each. Full-size chunks are 2 MiB blocks that the kernel
// may back with huge pages, which spares most page faults of a big load.
#pragma once

#include <cstddef>
#include <new>
#include <utility>
#include <vector>

namespace orvo {

/// A 2 MiB-aligned block of `bytes` (a multiple of 2 MiB), advised for huge pages; nullptr on
/// failure. Release with freeLargeBlock.
void* allocateLargeBlock(size_t bytes);
void freeLargeBlock(void* block, size_t bytes);
constexpr size_t kLargeBlockBytes = size_t{2} << 20;

template <typename T>
class ChunkedStore {
public:
    ChunkedStore() = default;
    ChunkedStore(const ChunkedStore&) = delete;
    ChunkedStore& operator=(const ChunkedStore&) = delete;
    ChunkedStore(ChunkedStore&& other) noexcept : chunks_(std::move(other.chunks_)) {
        other.chunks_.clear();
    }
    ChunkedStore& operator=(ChunkedStore&& other) noexcept {
        if (this != &other) {
            clear();
            chunks_ = std::move(other.chunks_);
            other.chunks_.clear();
        }
        return *this;
    }
    ~ChunkedStore() { clear(); }

    template <typename... Args>
    T* emplace(Args&&... args) {
        if (chunks_.empty() || chunks_.back().used == chunks_.back().capacity) addChunk();
        Chunk& c = chunks_.back();
        T* object = new (c.data + c.used) T(std::forward<Args>(args)...);
        ++c.used;
        return object;
    }

    /// Destroys every object in creation order and frees the chunks.
    void clear() {
        for (Chunk& c : chunks_) {
            for (size_t i = 0; i < c.used; ++i) c.data[i].~T();
            if (c.large) {
                freeLargeBlock(c.data, kLargeBlockBytes);
            } else {
                ::operator delete(static_cast<void*>(c.data), std::align_val_t(alignof(T)));
            }
        }
        chunks_.clear();
    }

private:
    // Chunks double from 16 objects up to what fills a large block, so small graphs stay small.
    static constexpr size_t kFirstChunk = 16;
    static constexpr size_t kFullChunk = kLargeBlockBytes / sizeof(T) > 0
                                             ? kLargeBlockBytes / sizeof(T)
                                             : 1;

    struct Chunk {
        T* data;
        size_t capacity;
        size_t used;
        bool large;
    };

    void addChunk() {
        size_t capacity = chunks_.empty() ? kFirstChunk : chunks_.back().capacity * 2;
        if (capacity >= kFullChunk) {
            capacity = kFullChunk;
            if (sizeof(T) * capacity <= kLargeBlockBytes && alignof(T) <= kLargeBlockBytes) {
                if (void* block = allocateLargeBlock(kLargeBlockBytes)) {
                    chunks_.push_back(Chunk{static_cast<T*>(block), capacity, 0, true});
                    return;
                }
            }
        }
        void* raw = ::operator new(capacity * sizeof(T), std::align_val_t(alignof(T)));
        chunks_.push_back(Chunk{static_cast<T*>(raw), capacity, 0, false});
    }

    std::vector<Chunk> chunks_;
};

}  // namespace orvo
