// What the legend's rows do, in the window and in the published page alike: a click hides or
// shows the nodes a row stands for, and the arrow beside its count flies to the row's next node.
#pragma once

#include <cstdint>

#include "glue/group_legend.h"
#include "viewer/viewer.h"

namespace orvo {

/// Hides the nodes of the row's groups when the row is shown, else shows them again (whether
/// veiled by an earlier click or hidden by a group key). Hidden this way, a node gives way to a
/// small grey dot and what hangs below it stays drawn and reachable. True when the row was
/// shown before, so that it is hidden now.
bool toggleLegendRow(Viewer& viewer, int kind, const LegendRow& row);

/// Whether the node is one of the row's (its group of the kind is among the row's groups, or it
/// has none and the row is "no group").
bool nodeInLegendRow(const Graph& graph, int kind, const LegendRow& row, const Node& node);

/// The row's first shown, unveiled node after the one at index `after` in the graph's order,
/// going round to the start (-1 starts at the first node); -1 when the row has none.
int32_t nextNodeOfLegendRow(const Graph& graph, int kind, const LegendRow& row, int32_t after);

}  // namespace orvo
