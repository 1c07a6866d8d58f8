#include "glue/window_settings.h"

#include "graph/graph.h"

namespace orvo {

void applyLoadSettings(Graph& graph, ViewerSettings& settings) {
    settings.groupColumn = 0;
    for (const GroupColourEntry& e : kGroupColourTable) {
        graph.setGroupColor(e.kind, e.name, e.red, e.green, e.blue);
    }
    applyLoadProjection(settings);
    settings.pickBudgetSec = 5;
    settings.pickBudgetUsec = 0;
}

}  // namespace orvo
