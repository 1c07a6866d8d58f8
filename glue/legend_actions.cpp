#include "glue/legend_actions.h"

#include <algorithm>
#include <string>

namespace orvo {

bool toggleLegendRow(Viewer& viewer, int kind, const LegendRow& row) {
    if (viewer.graph() == nullptr || row.groups.empty()) return false;
    const bool hide = !row.hidden;
    if (!hide) {
        for (const std::string& name : row.groups) viewer.setGroupHidden(kind, name, 0);
    }
    viewer.setGroupsVeiled(kind, row.groups, hide ? 1 : 0);
    return hide;
}

bool nodeInLegendRow(const Graph& graph, int kind, const LegendRow& row, const Node& node) {
    std::string_view group = graph.groupOf(node, kind);
    if (group == "-") group = {};  // the reader's mark of a kind the node skips
    return std::find(row.groups.begin(), row.groups.end(), group) != row.groups.end();
}

int32_t nextNodeOfLegendRow(const Graph& graph, int kind, const LegendRow& row, int32_t after) {
    const size_t count = graph.nodes.size();
    if (count == 0 || row.groups.empty()) return -1;
    const size_t start =
        after < 0 || static_cast<size_t>(after) >= count ? 0 : static_cast<size_t>(after) + 1;
    for (size_t step = 0; step < count; ++step) {
        const Node& n = *graph.nodes[(start + step) % count];
        if (!n.isShown() || (n.flags & Veiled) != 0) continue;
        if (nodeInLegendRow(graph, kind, row, n)) return n.index;
    }
    return -1;
}

}  // namespace orvo
