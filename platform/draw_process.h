// Process-wide set-up for programs that draw with the software rasteriser.
#pragma once

namespace orvo {

/// Keeps freed memory in the process heap instead of handing it back to the system. Call it
/// first thing in main of every program that draws, before any GL context exists.
void keepHeapForDrawing();

}  // namespace orvo
