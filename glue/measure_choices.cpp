#include "glue/measure_choices.h"

#include "graph/graph.h"
#include "render/renderer.h"

namespace orvo {

void MeasureChoices::forget(Renderer& renderer) {
    renderer.setNodeColours(nullptr);
    renderer.setLabelRanks(nullptr);
    colouring_ = MeasureColouring{};
    measures_ = NodeMeasures{};
}

// The renderer holds pointers to the colouring and the scores, which live here as long as the
// graph they were computed from.
void MeasureChoices::apply(Renderer& renderer, const Graph& graph) {
    if (colourBy_ && ready()) {
        colouring_ = colourByMeasure(
            measures_, *colourBy_,
            {graph.defaultColor[0], graph.defaultColor[1], graph.defaultColor[2]});
        renderer.setNodeColours(&colouring_.rgb);
    } else {
        renderer.setNodeColours(nullptr);
        colouring_ = MeasureColouring{};
    }
    renderer.setLabelRanks(labelsByScore_ && ready() ? &measures_.score : nullptr);
}

std::string MeasureChoices::setColourBy(std::optional<Measure> measure) {
    colourBy_ = measure;
    if (!measure) return "Coloured by groups";
    const std::string what = "Coloured by " + measureTitle(*measure) +
                             (measureIsHeavyTailed(*measure) ? " (log scale)" : "");
    return ready() ? what : what + " once the measures are ready";
}

std::string MeasureChoices::cycleColourBy() {
    if (!colourBy_) return setColourBy(Measure::Depth);
    const int next = static_cast<int>(*colourBy_) + 1;
    return setColourBy(next < kMeasureCount ? std::optional(static_cast<Measure>(next))
                                            : std::nullopt);
}

std::string MeasureChoices::setLabelsByScore(bool on) {
    labelsByScore_ = on;
    const std::string what =
        on ? "Labels by link score: the higher score wins the room" : "Labels by node size";
    return on && !ready() ? what + " once the measures are ready" : what;
}

MeasureLegend MeasureChoices::legend(const Graph& graph, const Node* pointed) const {
    if (!colouredByMeasure()) return {};
    return measureLegend(colouring_, measures_, graph, pointed);
}

std::string MeasureChoices::readyMessage() const {
    if (!ready()) return "";
    std::string message = "Measures ready: depth, links in and out, subtree size, link score";
    if (colouredByMeasure()) message += "; coloured by " + measureTitle(*colourBy_);
    return message;
}

}  // namespace orvo
