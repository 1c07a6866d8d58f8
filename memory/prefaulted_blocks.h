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

/// A ready kLargeBlockBytes block, aligned and advised like allocateLargeBlock's, or nullptr when
/// no scope is alive or none is ready yet. Release it with freeLargeBlock.
void* takePrefaultedBlock();

/// Maps a block like allocateLargeBlock, without asking the reserve.
void* mapLargeBlock(size_t bytes);

}  // namespace orvo
