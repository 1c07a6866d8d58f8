// What the picture takes from the measures of the graph on view: the colouring by one of them and
// the label order by link score, as the user chose them, applied once the measures are there. It
// holds the measures and the colouring the renderer points at, so it must outlive neither the
// graph nor the renderer's use of them: forget() before the graph goes. The window's glue and the
// page both keep one. No toolkit.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "glue/measure_legend.h"
#include "graph/node_measures.h"
#include "render/measure_colouring.h"

namespace orvo {

class Graph;
class Renderer;
struct Node;

class MeasureChoices {
public:
    /// Drops the measures and stops the renderer drawing from them; the choices stay for the
    /// next graph.
    void forget(Renderer& renderer);
    /// The measures of the graph on view arrived; apply() draws from them.
    void take(NodeMeasures measures) { measures_ = std::move(measures); }
    const NodeMeasures& measures() const { return measures_; }
    bool ready() const { return !measures_.empty(); }

    /// Points the renderer at what the choices ask for (or at nothing, while the measures are not
    /// there): the colours of the measure coloured by, the link scores as the label order.
    void apply(Renderer& renderer, const Graph& graph);

    /// What the nodes are coloured by: a measure, or their groups (nullopt, the default). Each
    /// setter returns what the status line says about it ("Coloured by Depth once the measures
    /// are ready"); apply() makes it so.
    std::optional<Measure> colourBy() const { return colourBy_; }
    std::string setColourBy(std::optional<Measure> measure);
    /// The next colouring after the one in use: the groups, then each measure in turn (key M).
    std::string cycleColourBy();
    /// Whether, where labels compete for room, the higher link score wins (key P) instead of the
    /// larger node.
    bool labelsByScore() const { return labelsByScore_; }
    std::string setLabelsByScore(bool on);

    /// Whether the picture is coloured by a measure now (chosen, ready and applied).
    bool colouredByMeasure() const { return colourBy_ && !colouring_.rgb.empty(); }
    /// The legend of the measure coloured by, naming `pointed` (may be nullptr); empty (no title)
    /// unless colouredByMeasure().
    MeasureLegend legend(const Graph& graph, const Node* pointed) const;
    /// What the status line says once the measures are there: "Measures ready: ..." (and the
    /// measure coloured by); empty before.
    std::string readyMessage() const;

private:
    NodeMeasures measures_;
    std::optional<Measure> colourBy_;
    MeasureColouring colouring_;  // of colourBy_, once the measures are there
    bool labelsByScore_ = false;
};

}  // namespace orvo
