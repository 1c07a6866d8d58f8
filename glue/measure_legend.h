// The legend of a colouring by a measure: its name, the colour ramp with the values at its ends,
// and the value and colour of the node under the pointer. No toolkit: the window paints it.
#pragma once

#include <string>
#include <vector>

#include "graph/node_measures.h"
#include "render/measure_colouring.h"

namespace orvo {

class Graph;
struct Node;

struct MeasureLegend {
    std::string title;              // "Link score (log scale)"
    std::string lowText, highText;  // the values at the ramp's ends
    std::vector<Rgb> ramp;          // colours from the low end to the high end
    bool pointed = false;           // whether a node is under the pointer
    std::string pointedText;        // "/about: 0.0123"
    Rgb pointedColour{};
    double pointedPosition = 0.0;  // where its value sits on the ramp, 0 to 1
};

/// How the menus and the legend name a measure: "Link score", "Links in".
std::string measureTitle(Measure m);
/// A value of the measure as the legend writes it: counts grouped ("12 345"), a link score with
/// three significant digits ("0.00123"), a depth outside the root's tree as "none".
std::string measureValueText(Measure m, double value);

/// The legend of `colouring` (of `measures`), with `pointed` (may be nullptr) named.
MeasureLegend measureLegend(const MeasureColouring& colouring, const NodeMeasures& measures,
                            const Graph& graph, const Node* pointed, size_t rampSteps = 32);

}  // namespace orvo
