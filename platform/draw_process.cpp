// Heap set-up for drawing processes: the software rasteriser allocates and frees large blocks
// every frame, which glibc's default trimming would return to the system each time.
#include "platform/draw_process.h"

#include <malloc.h>

namespace orvo {

namespace {
constexpr int kMiB = 1024 * 1024;
// glibc refuses an mmap threshold above 32 MiB on 64-bit systems; 32 MiB is its upper bound.
constexpr int kMmapThreshold = 32 * kMiB;
constexpr int kTrimThreshold = 512 * kMiB;
constexpr int kTopPad = 64 * kMiB;
}  // namespace

void keepHeapForDrawing() {
    // With glibc's default heap trimming (and blocks over 128 KiB mapped and unmapped one by
    // one) the software rasteriser gives its per-frame memory back after every frame and
    // re-faults it page by page in the next one: a fresh 50 ms slice of the per-node drawing
    // loop then draws about 240 nodes; with the heap kept it draws about 2 700. So: never trim,
    // serve blocks up to 32 MiB from the heap, and grow the heap in large steps.
    mallopt(M_TRIM_THRESHOLD, kTrimThreshold);
    mallopt(M_MMAP_THRESHOLD, kMmapThreshold);
    mallopt(M_TOP_PAD, kTopPad);
}

}  // namespace orvo
