#include "glue/measure_legend.h"

#include <cstdio>

#include "glue/status_text.h"
#include "graph/graph.h"
#include "graph/read_stats.h"

namespace orvo {

std::string measureTitle(Measure m) {
    switch (m) {
        case Measure::Depth:
            return "Depth";
        case Measure::LinksIn:
            return "Links in";
        case Measure::LinksOut:
            return "Links out";
        case Measure::Subtree:
            return "Subtree size";
        case Measure::Score:
            return "Link score";
    }
    return "";
}

std::string measureValueText(Measure m, double value) {
    if (m == Measure::Depth && value < 0) return "none";
    if (m != Measure::Score) return groupedNumber(static_cast<long long>(value));
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", value);
    return text;
}

MeasureLegend measureLegend(const MeasureColouring& colouring, const NodeMeasures& measures,
                            const Graph& graph, const Node* pointed, size_t rampSteps) {
    MeasureLegend legend;
    legend.title = measureTitle(colouring.measure) + (colouring.logScale ? " (log scale)" : "");
    legend.lowText = measureValueText(colouring.measure, colouring.low);
    legend.highText = measureValueText(colouring.measure, colouring.high);
    for (size_t i = 0; i < rampSteps; ++i)
        legend.ramp.push_back(
            rampColour(rampSteps > 1 ? static_cast<double>(i) / double(rampSteps - 1) : 0.0));
    const auto index = pointed != nullptr ? static_cast<size_t>(pointed->index) : size_t{0};
    if (pointed != nullptr && index < measures.size() && 3 * index + 2 < colouring.rgb.size()) {
        const double value = measures.value(colouring.measure, index);
        legend.pointed = true;
        legend.pointedText =
            nodeNameText(graph, *pointed) + ": " + measureValueText(colouring.measure, value);
        legend.pointedColour = {colouring.rgb[3 * index], colouring.rgb[3 * index + 1],
                                colouring.rgb[3 * index + 2]};
        legend.pointedPosition = colouring.rampPosition(value);
    }
    return legend;
}

}  // namespace orvo
