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

#if defined(__SANITIZE_ADDRESS__)
// Leak checking in sanitizer builds: the GL driver keeps a few blocks past context destruction
// (after selection mode it drops a 512 KiB buffer), and fontconfig loses a block while parsing
// the system's font configuration. Neither is ours to free; every drawing program links this
// file (it calls keepHeapForDrawing), so LeakSanitizer picks these suppressions up on its own.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:swrast_dri.so\n"
           "leak:libgallium\n"
           "leak:libLLVM\n"
           "leak:libEGL_mesa.so\n"
           "leak:libglapi.so\n"
           "leak:libfontconfig.so\n";
}
#endif
