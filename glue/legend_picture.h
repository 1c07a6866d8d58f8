// The legend drawn into a finished picture, after it is read back: a box in the top left corner
// with the title, then a row per legend row (a colour swatch, the group's name and its node
// count), in the scheme's background and label colours. Drawn in software with the label font,
// so that the picture of the graph itself stays exactly what the renderer drew.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "glue/group_legend.h"
#include "glue/measure_legend.h"
#include "platform/freetype_font.h"

namespace orvo {

/// Where the legend sits in a picture, in pixels from the top left: the box, and each row's
/// swatch (row i of the legend is swatches[i]; the title has none).
struct LegendPlacement {
    struct Box {
        int x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // x1, y1 one past the last pixel
    };
    Box box;
    std::vector<Box> swatches;
};

LegendPlacement placeLegend(const Legend& legend, const RasterFont& font);

/// Draws the legend over the picture (RGBA, width x height, rows in `bottomUp` order when true,
/// as GL reads them back); what falls outside the picture is left out.
void drawLegend(std::vector<uint8_t>& rgba, int width, int height, bool bottomUp,
                const Legend& legend, const RasterFont& font, const Rgb& background,
                const Rgb& text);

/// Where the legend of a colouring by a measure sits: its box, with the title on the first
/// line, the ramp on the second (in as many bands as it has colours, the low end left) and the
/// values at its ends on the third, as the window's legend shows them.
struct MeasureLegendPlacement {
    LegendPlacement::Box box, ramp;
};

MeasureLegendPlacement placeMeasureLegend(const MeasureLegend& legend, const RasterFont& font);

/// Draws the measure's legend over the picture, as drawLegend does the groups'.
void drawMeasureLegend(std::vector<uint8_t>& rgba, int width, int height, bool bottomUp,
                       const MeasureLegend& legend, const RasterFont& font, const Rgb& background,
                       const Rgb& text);

/// The group rows a picture's legend shows at most (the rest are "other").
inline constexpr size_t kPictureLegendRows = 12;

/// Draws the legend over a picture the view's settings drew (rows bottom-up), in the label font
/// and the scheme's colours: that of `measure` when it has a title (the view is coloured by a
/// measure), else that of the graph's coloured kind. False with error when no font can be had.
bool drawViewLegend(std::vector<uint8_t>& rgba, int width, int height, const Graph& graph,
                    const ViewerSettings& settings, std::string& error,
                    const MeasureLegend* measure = nullptr);

}  // namespace orvo
