// What the window sets up around the viewer: the settings it changes when it creates the viewer,
// the settings and group colours it applies after each load, and the colour schemes of the "R"
// key. The desktop window, orvo-snapshot, orvo-inspect and the tests that load a graph as the
// window does all take them from here. No GL and no toolkit, so GL-free tools can use it too.
#pragma once

#include <array>
#include <cstdint>

#include "glue/group_legend.h"
#include "settings/viewer_settings.h"

namespace orvo {

/// The `loadFlags` value the window glue sets at window initialisation.
constexpr int32_t kWindowLoadFlags = CompareComponents | PreferAlphabetical | PreferShallower;

/// The values the window glue sets right after it creates the viewer.
inline void applyWindowInitialisation(ViewerSettings& s) {
    s.loadFlags = kWindowLoadFlags;
    s.dragDecimation = 0;
    s.passiveDecimation = 2;
    s.drawSphere = 1;
    s.labelChoice = 2;
    s.animationStep = 0.0833f;
    s.redCentreNode = 0;
}

struct GroupColourEntry {
    int kind;
    const char* name;
    float red, green, blue;
};

/// Applied in this order after every load.
inline constexpr std::array<GroupColourEntry, 26> kGroupColourTable{{
    {0, "html", 0.0f, 1.0f, 1.0f},
    {0, "image", 1.0f, 0.0f, 1.0f},
    {0, "router", 0.0f, 1.0f, 1.0f},
    {0, "text", 0.9f, 0.35f, 0.05f},
    {0, "source", 0.42f, 0.0f, 0.48f},
    {0, "application", 0.99f, 0.64f, 0.25f},
    {0, "audio", 0.91f, 0.36f, 0.57f},
    {0, "video", 0.91f, 0.36f, 0.57f},
    {0, "other", 0.0f, 0.35f, 0.27f},
    {0, "vrml", 0.09f, 0.0f, 1.0f},
    {0, "host", 1.0f, 1.0f, 1.0f},
    {0, "invisible", 0.0f, 0.0f, 0.0f},
    {1, "main", 0.0f, 1.0f, 1.0f},
    {1, "orphan", 1.0f, 0.0f, 1.0f},
    {1, "external", 1.0f, 1.0f, 1.0f},
    // What a crawl got for each address.
    {1, "ok", 0.0f, 1.0f, 1.0f},
    {1, "redirect", 1.0f, 0.85f, 0.0f},
    {1, "missing", 1.0f, 0.0f, 0.0f},
    {1, "error", 1.0f, 0.45f, 0.0f},
    {1, "unreachable", 0.45f, 0.45f, 0.45f},
    {1, "robots", 0.6f, 0.4f, 1.0f},
    {1, "unlisted", 0.3f, 0.5f, 1.0f},  // reached by links, left out of the sitemap
    // What a comparison of two versions found.
    {1, "added", 0.0f, 0.9f, 0.0f},
    {1, "removed", 0.85f, 0.0f, 0.0f},
    {1, "changed", 1.0f, 0.85f, 0.0f},
    {1, "unchanged", 0.6f, 0.7f, 0.85f},  // grey-blue: the grey is for no group
}};

struct ColourScheme {
    float background[3];
    float sphere[3];
    float label[3];
};

/// Cycled by the key "R".
inline constexpr std::array<ColourScheme, 3> kColourSchemes{{
    {{1.0f, 1.0f, 1.0f}, {0.89f, 0.7f, 0.6f}, {0.0f, 0.0f, 0.0f}},
    {{0.5f, 0.5f, 0.5f}, {0.5f, 0.4f, 0.3f}, {0.0f, 0.0f, 0.0f}},
    {{0.0f, 0.0f, 0.0f}, {0.25f, 0.15f, 0.1f}, {1.0f, 1.0f, 1.0f}},
}};

/// Whether the legend should show by itself for the kind coloured: some group of the kind has a
/// palette colour, which only a legend can name (the site colours are in the shortcut list), or
/// the groups are a comparison's statuses, whose legend counts the changes and leads to them.
bool coloursNeedLegend(const GroupTallies& tallies, int kind);

/// Whether the graph is a comparison of two versions (written by orvo-import --compare or by
/// Compare With): its groups of kind 1 are statuses ("added", "removed", "changed",
/// "unchanged") and nothing else.
bool isComparison(const GroupTallies& tallies);

/// What the glue sets after every load: group colours from kind 0 (from kind 1, the statuses,
/// for a comparison), the colour table (and palette
/// colours for every other group, see category_palette.h), the
/// window's aspect ratio in the projection (the caller recomputes the projection) and the pick
/// budget of a click.
void applyLoadSettings(Graph& graph, ViewerSettings& settings);
/// The same with the graph's group tallies (tallyGroups in group_legend.h) counted before.
void applyLoadSettings(Graph& graph, ViewerSettings& settings, const GroupTallies& tallies);
/// The graph's own part of them, the group colours: what another region of a map on view needs,
/// the view's settings (the colouring chosen since the load among them) staying as they are.
void applyGroupColours(Graph& graph, const GroupTallies& tallies);

/// The part of the load settings that shapes the picture: the window's aspect ratio. The glue
/// sets it before a load's new context draws its first picture (the boundary sphere alone, shown
/// while the load finishes), so that the sphere is round from the start.
inline void applyLoadProjection(ViewerSettings& settings) { settings.useWindowAspect = 1; }

}  // namespace orvo
