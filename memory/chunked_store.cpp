// Large blocks for the chunked stores: 2 MiB-aligned anonymous mappings advised for huge pages,
// taken ready from the prefaulted reserve while a read runs. The plain build (the browser's,
// which has neither huge pages nor mappings it can trim) takes aligned blocks from the heap.
#include "memory/chunked_store.h"

#if ORVO_PLAIN_MEMORY
#include <cstdlib>
#else
#include <sys/mman.h>
#endif

#include <cstdint>

#include "memory/prefaulted_blocks.h"

namespace orvo {

void* allocateLargeBlock(size_t bytes) {
    if (bytes == kLargeBlockBytes) {
        if (void* block = takePrefaultedBlock()) return block;
    }
    return mapLargeBlock(bytes);
}

#if ORVO_PLAIN_MEMORY

void* mapLargeBlock(size_t bytes) { return std::aligned_alloc(kLargeBlockBytes, bytes); }

void freeLargeBlock(void* block, size_t) { std::free(block); }

#else

void* mapLargeBlock(size_t bytes) {
    // Map twice the size and trim to an aligned block, so a huge page can back it.
    const size_t span = bytes + kLargeBlockBytes;
    void* raw = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (start + kLargeBlockBytes - 1) & ~(uintptr_t{kLargeBlockBytes} - 1);
    if (aligned > start) ::munmap(raw, aligned - start);
    const uintptr_t end = start + span;
    if (end > aligned + bytes)
        ::munmap(reinterpret_cast<void*>(aligned + bytes), end - aligned - bytes);
#ifdef MADV_HUGEPAGE
    ::madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);
#endif
    return reinterpret_cast<void*>(aligned);
}

void freeLargeBlock(void* block, size_t bytes) { ::munmap(block, bytes); }

#endif

}  // namespace orvo
