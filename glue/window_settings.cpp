#include "glue/window_settings.h"

#include <algorithm>
#include <vector>

#include "glue/category_palette.h"
#include "glue/group_legend.h"
#include "graph/graph.h"
#include "graph/graph_compare.h"

namespace orvo {

namespace {

// Closer than this to a colour the kind already shows, a palette colour is passed over.
constexpr double kTooClose = 20.0;

const GroupColourEntry* tableEntry(size_t kind, std::string_view name) {
    for (const GroupColourEntry& e : kGroupColourTable) {
        if (static_cast<size_t>(e.kind) == kind && name == e.name) return &e;
    }
    return nullptr;
}

}  // namespace

bool isComparison(const GroupTallies& tallies) {
    const auto& statuses = tallies[1];
    return !statuses.empty() &&
           std::all_of(statuses.begin(), statuses.end(),
                       [](const GroupTally& g) { return isComparisonStatus(g.name); });
}

bool coloursNeedLegend(const GroupTallies& tallies, int kind) {
    if (kind < 0 || kind >= kGroupKinds) return false;
    if (kind == 1 && isComparison(tallies)) return true;
    const auto& groups = tallies[static_cast<size_t>(kind)];
    return std::any_of(groups.begin(), groups.end(), [kind](const GroupTally& g) {
        return tableEntry(static_cast<size_t>(kind), g.name) == nullptr;
    });
}

namespace {

void assignPaletteColours(Graph& graph, const GroupTallies& tallies) {
    for (size_t kind = 0; kind < tallies.size(); ++kind) {
        std::vector<Rgb> shown;  // the table's colours of this graph's groups of the kind
        for (const GroupTally& g : tallies[kind]) {
            if (const GroupColourEntry* e = tableEntry(kind, g.name)) {
                shown.push_back({e->red, e->green, e->blue});
            }
        }
        size_t next = 0;
        const size_t groups = tallies[kind].size();
        for (size_t rank = 0; rank < groups; ++rank) {
            const GroupTally& g = tallies[kind][rank];
            // The legend shows these together as "other", in a colour of their own.
            if (!hasOwnLegendRow(rank, groups, kLegendRows)) {
                graph.setGroupColor(static_cast<int>(kind), g.name, kOtherGroupsColour[0],
                                    kOtherGroupsColour[1], kOtherGroupsColour[2]);
                continue;
            }
            if (tableEntry(kind, g.name) != nullptr) continue;
            // Past the whole palette every colour is taken anyway: then they repeat in order.
            Rgb colour = paletteColour(next);
            for (size_t tried = 0; tried < kPaletteSize; ++tried) {
                colour = paletteColour(next + tried);
                const bool clash = std::any_of(shown.begin(), shown.end(), [&](const Rgb& c) {
                    return colourDifference(c, colour) < kTooClose;
                });
                if (!clash) {
                    next += tried;
                    break;
                }
            }
            ++next;
            graph.setGroupColor(static_cast<int>(kind), g.name, colour[0], colour[1], colour[2]);
        }
    }
}

}  // namespace

void applyLoadSettings(Graph& graph, ViewerSettings& settings) {
    applyLoadSettings(graph, settings, tallyGroups(graph));
}

void applyLoadSettings(Graph& graph, ViewerSettings& settings, const GroupTallies& tallies) {
    settings.groupColumn = isComparison(tallies) ? 1 : 0;
    applyGroupColours(graph, tallies);
    applyLoadProjection(settings);
    settings.pickBudgetSec = 5;
    settings.pickBudgetUsec = 0;
}

void applyGroupColours(Graph& graph, const GroupTallies& tallies) {
    for (const GroupColourEntry& e : kGroupColourTable) {
        graph.setGroupColor(e.kind, e.name, e.red, e.green, e.blue);
    }
    assignPaletteColours(graph, tallies);
}

}  // namespace orvo
