#include "shell/compare_with.h"

#include <fstream>
#include <memory>

#include "graph/graph.h"
#include "graph/graph_compare.h"
#include "import/import_converter.h"
#include "mapfile/map_reader.h"
#include "stream/background_conversion.h"

namespace orvo {

ComparedView compareWithInput(const Graph& onView, const std::string& otherInput) {
    ComparedView view;
    Graph older(onView.settings);
    const InputConverter converter = importConverter();
    if (isMapFile(otherInput)) {
        view.error = readMapFile(otherInput, older);
    } else if (converter.accepts(otherInput)) {
        BackgroundConversion conversion(converter, otherInput, [] { return true; });
        older.reload(conversion.stream());
        conversion.stop();
        if (const ConversionResult r = conversion.result(); !r.ok) view.error = r.error;
    } else {
        std::ifstream in(otherInput, std::ios::binary);
        if (!in) view.error = "it cannot be read";
        older.reload(in);
    }
    if (view.error.empty() && older.empty()) view.error = "it holds no node record";
    if (!view.error.empty()) return view;
    const GraphComparison c = compareGraphs(older, onView);
    view.outline = c.outline;
    view.legend = "added " + std::to_string(c.added) + " (green), removed " +
                  std::to_string(c.removed) + " (red), changed " + std::to_string(c.changed) +
                  " (yellow), unchanged " + std::to_string(c.unchanged) + " (grey-blue)";
    return view;
}

}  // namespace orvo
