// The picture of a viewer's current view drawn again offscreen at any size, as a PNG file: the
// same graph, settings, view and centre node, labels included, drawn to the end of its
// refinement (up to a time limit) by a renderer of its own.
#pragma once

#include <string>

#include "glue/measure_legend.h"

namespace orvo {

class Viewer;

/// The largest side of an exported picture.
constexpr int kMaxExportSide = 8192;

struct PictureExport {
    int width = 0;
    int height = 0;
    /// How long the refinement may go on, in seconds; the frame ends sooner when every node is
    /// drawn.
    double refineLimitSeconds = 30.0;
    /// Whether the legend of the colours is drawn into the picture's top left corner.
    bool legend = false;
    /// The legend of the measure the view is coloured by (the window's own); without a title
    /// the legend is that of the groups. The nodes' colours and the labels' order are the
    /// view's, whatever they go by.
    MeasureLegend measureLegend;
};

/// Draws the viewer's graph as its view shows it, width x height pixels, and writes the picture
/// to `path` as a PNG file that is complete or not there at all. False with a one-line reason
/// in error: no graph, a size out of range, no offscreen GL, or a file that cannot be written.
/// The viewer's own picture is drawn anew afterwards (its next frame starts from scratch).
bool exportPicture(Viewer& viewer, const PictureExport& picture, const std::string& path,
                   std::string& error);

}  // namespace orvo
