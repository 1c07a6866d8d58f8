#include "glue/group_legend.h"

#include <algorithm>

#include "graph/read_stats.h"

namespace orvo {

GroupTallies tallyGroups(const Graph& graph) {
    // Nodes share a few group sets: count the sets, then add each set's count to its names.
    std::vector<uint64_t> setNodes;
    for (const Node* n : graph.nodes) {
        if (n->groups >= setNodes.size()) setNodes.resize(n->groups + 1, 0);
        ++setNodes[n->groups];
    }
    return tallyGroupSets(graph.groupNames(), setNodes);
}

GroupTallies tallyGroupSets(const GroupNames& names, const std::vector<uint64_t>& setNodes) {
    GroupTallies tallies;
    std::array<std::vector<uint64_t>, kGroupKinds> byName;  // indexed by name id
    for (size_t s = 0; s < setNodes.size() && s < names.setCount(); ++s) {
        if (setNodes[s] == 0) continue;
        const GroupSetView set = names.set(static_cast<GroupSetId>(s));
        const size_t kinds = std::min<size_t>(set.size(), kGroupKinds);
        for (size_t k = 0; k < kinds; ++k) {
            auto& counts = byName[k];
            if (set[k] >= counts.size()) counts.resize(set[k] + 1, 0);
            counts[set[k]] += setNodes[s];
        }
    }
    for (size_t k = 0; k < kGroupKinds; ++k) {
        for (size_t id = 0; id < byName[k].size(); ++id) {
            if (byName[k][id] == 0) continue;
            const std::string_view name = names.name(static_cast<GroupNameId>(id));
            // The reader writes "-" for a kind a node skips: no group of that kind.
            if (name.empty() || name == "-") continue;
            tallies[k].push_back({std::string(name), byName[k][id]});
        }
        std::sort(tallies[k].begin(), tallies[k].end(),
                  [](const GroupTally& a, const GroupTally& b) {
                      return a.nodes != b.nodes ? a.nodes > b.nodes : a.name < b.name;
                  });
    }
    return tallies;
}

namespace {

Rgb toRgb(const float* c) { return {c[0], c[1], c[2]}; }

bool isHidden(const Graph& graph, int kind, std::string_view name) {
    const auto& list = graph.hiddenGroups[static_cast<size_t>(kind)];
    return std::find(list.begin(), list.end(), name) != list.end() ||
           graph.isGroupVeiled(kind, name);
}

// The attribute the file says the groups came from ("section" gives "Section"), else what a
// site's groups of the kind are.
std::string kindTitle(const Graph& graph, int kind) {
    if (std::string name(graph.groupKindName(kind)); !name.empty()) {
        if (name[0] >= 'a' && name[0] <= 'z') name[0] = static_cast<char>(name[0] - 'a' + 'A');
        return name;
    }
    return kind == 0   ? "File type or group"
           : kind == 1 ? "Site group or status"
                       : "Groups of kind " + std::to_string(kind);
}

}  // namespace

Legend groupLegend(const Graph& graph, size_t maxRows, int kind) {
    return groupLegend(graph, tallyGroups(graph), maxRows, kind);
}

Legend groupLegend(const Graph& graph, const GroupTallies& tallies, size_t maxRows, int kind) {
    Legend legend;
    legend.kind = kind >= 0 ? kind : graph.settings.groupColumn;
    legend.title = kindTitle(graph, legend.kind);
    if (legend.kind < 0 || legend.kind >= kGroupKinds) return legend;
    const std::vector<GroupTally>& groups = tallies[static_cast<size_t>(legend.kind)];
    uint64_t grouped = 0;
    LegendRow other{LegendRow::Kind::Other, "other", 0, kOtherGroupsColour, true, {}};
    for (size_t i = 0; i < groups.size(); ++i) {
        const GroupTally& g = groups[i];
        grouped += g.nodes;
        const bool hidden = isHidden(graph, legend.kind, g.name);
        if (hasOwnLegendRow(i, groups.size(), maxRows)) {
            legend.rows.push_back({LegendRow::Kind::Group,
                                   std::string(g.name),
                                   g.nodes,
                                   toRgb(graph.groupColor(legend.kind, g.name)),
                                   hidden,
                                   {std::string(g.name)}});
        } else {
            other.nodes += g.nodes;
            other.hidden = other.hidden && hidden;
            other.groups.push_back(g.name);
        }
    }
    if (other.nodes > 0) legend.rows.push_back(other);
    const uint64_t ungrouped = graph.nodes.size() - std::min<uint64_t>(grouped, graph.nodes.size());
    if (ungrouped > 0) {
        legend.rows.push_back({LegendRow::Kind::Ungrouped,
                               "no group",
                               ungrouped,
                               toRgb(graph.defaultColor),
                               graph.isGroupVeiled(legend.kind, ""),
                               {std::string()}});
    }
    return legend;
}

std::string legendCount(uint64_t nodes) { return groupedNumber(static_cast<long long>(nodes)); }

}  // namespace orvo
