// Nodes coloured by one of their measures (node_measures.h) along the viridis colour map, which
// is perceptually uniform and sequential: equal steps of the measure look like equal steps of
// colour, and light means more. The heavy-tailed measures are spread on a log scale, so that
// the many small values do not all share the darkest colour.
#pragma once

#include <array>
#include <vector>

#include "graph/node_measures.h"

namespace orvo {

using Rgb = std::array<float, 3>;

/// The colour map at t (0 darkest to 1 lightest; outside that range the nearest end).
Rgb rampColour(double t);

struct MeasureColouring {
    Measure measure = Measure::Score;
    bool logScale = false;
    double low = 0.0, high = 0.0;  // the measure at the ramp's ends (the smallest and largest)
    /// Red, green, blue of every node by index; a node without a value (a depth outside the
    /// root's tree) gets `none`.
    std::vector<float> rgb;

    /// Where a value sits on the ramp, 0 to 1.
    double rampPosition(double value) const;
};

/// Colours every node by measure m; `none` for a node the measure does not reach.
MeasureColouring colourByMeasure(const NodeMeasures& measures, Measure m, const Rgb& none);

}  // namespace orvo
