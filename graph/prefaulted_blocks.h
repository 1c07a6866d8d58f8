// Fresh memory costs its first write: the kernel zeroes each page then, and on a million-node
// read that zeroing is a sixth of the time. While a PrefaultedBlocks scope is alive, a second
// thread maps large blocks and writes to them ahead of need, so that the reading thread takes
// blocks whose pages are already there.
#pragma once

#include <cstddef>

namespace orvo {

/// Joins the process-wide reserve of prefaulted large blocks for its lifetime. The reserve's
/// thread starts when a large block is first asked for (small reads never start it), keeps a few
/// blocks ready, and stops when the last scope ends; blocks still unused then are unmapped.
class PrefaultedBlocks {
public:
    PrefaultedBlocks();
    ~PrefaultedBlocks();
    PrefaultedBlocks(const PrefaultedBlocks&) = delete;
    PrefaultedBlocks& operator=(const PrefaultedBlocks&) = delete;
};

/// A ready kLargeBlockBytes block, aligned like allocateLargeBlock's, or nullptr when
/// no scope is alive or none is ready yet. Release it with freeLargeBlock.
void* takePrefaultedBlock();

/// Huge pages spare the TLB and most faults, but a fresh one must be found whole and cleared at
/// once, which can stall whoever touches it first: the prefaulting thread asks for them while
/// they come quickly, a reader that maps a block itself takes small pages, and the big lookup
/// tables always ask for them (HugePageAllocator).
enum class PageSize { Small, Huge };

/// Maps a 2 MiB-aligned block like allocateLargeBlock, without asking the reserve.
void* mapLargeBlock(size_t bytes, PageSize pages);

}  // namespace orvo
