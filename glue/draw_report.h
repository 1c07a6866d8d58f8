// What a frame drew, for scripts and tests: one CSV line per node cube and per label, and the
// id of what lies under a pixel.
#pragma once

#include <string>

namespace orvo {

class Renderer;

/// "kind,id,x0,y0,x1,y1" and then, in drawing order, "node" for a node's cube ("dot" for a node
/// hidden from the legend, drawn as a dot) and "label" for a label, with the extent in window
/// pixels (origin top left, y down, as the pointer's).
std::string drawReportCsv(const Renderer& renderer);

/// The id of what is drawn at the window pixel (x, y), top left origin: a node's id, a link's
/// "from|to", or "" when nothing is there.
std::string idAtPixel(Renderer& renderer, int x, int y);

}  // namespace orvo
