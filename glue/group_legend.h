// What the colours of the kind being coloured mean: each group of that kind with its colour, its
// node count and whether it is hidden, largest first, the smallest ones together as "other".
// The window's legend panel, orvo-snapshot --legend and exported pictures all show this.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "glue/category_palette.h"
#include "graph/graph.h"

namespace orvo {

/// The group rows the legends of the window and the page show at most before "other"; the
/// groups past them are drawn in the colour of "other".
inline constexpr size_t kLegendRows = 24;
/// The colour of the groups "other" gathers: a muted violet apart from every site colour,
/// status, palette colour a legend shows, the default grey and the marks of hover and selection.
inline constexpr Rgb kOtherGroupsColour{0.5f, 0.35f, 0.65f};

/// Whether the group ranked `rank` (0 the largest) among `groups` of its kind has a row of its
/// own in a legend of `maxRows` rows, rather than being one of "other": a single group past
/// the last row takes the row "other" would.
inline bool hasOwnLegendRow(size_t rank, size_t groups, size_t maxRows) {
    return rank < maxRows || groups == maxRows + 1;
}

struct GroupTally {
    std::string name;
    uint64_t nodes = 0;
};
using GroupTallies = std::array<std::vector<GroupTally>, kGroupKinds>;

/// Every group of every kind with its node count, each kind's largest first (ties by name). One
/// pass over the nodes: whoever shows legends often keeps it for the graph.
GroupTallies tallyGroups(const Graph& graph);
/// The same from how many nodes have each group set (entry s: set s of `names`), for a graph
/// known by its counts rather than its nodes.
GroupTallies tallyGroupSets(const GroupNames& names, const std::vector<uint64_t>& setNodes);

struct LegendRow {
    enum class Kind : uint8_t {
        Group,     // one group: clicking it hides or shows it
        Other,     // the groups past the last row, together
        Ungrouped  // nodes without a group of this kind (the default colour)
    };
    Kind kind = Kind::Group;
    std::string name;
    uint64_t nodes = 0;
    Rgb colour{};
    bool hidden = false;  // a group hidden; "other" when every group in it is hidden
    /// The names of the groups the row stands for: the group's own, every group "other" gathers,
    /// or "" (the nodes without a group of the kind), as Graph::setGroupsVeiled takes them.
    std::vector<std::string> groups;
};

struct Legend {
    int kind = 0;
    std::string title;  // the kind: the attribute the groups came from, or "File type or group"
    std::vector<LegendRow> rows;
};

/// The legend of the kind `graph.settings.groupColumn` colours by, or of `kind` when given: at
/// most `maxRows` group rows, then "other" (the rest, together) and the ungrouped nodes, each
/// only when it has nodes. A graph without nodes has no rows.
Legend groupLegend(const Graph& graph, size_t maxRows, int kind = -1);
/// The same from the graph's tallies counted before.
Legend groupLegend(const Graph& graph, const GroupTallies& tallies, size_t maxRows, int kind = -1);

/// "2 844", as the status bar writes counts.
std::string legendCount(uint64_t nodes);

}  // namespace orvo
