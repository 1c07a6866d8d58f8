// Colours of groups without a site colour and the legend that names them: the palette stays
// apart (for colour-blind readers too) and stands out on every scheme's background, each group
// gets its colour by rank whatever the file's order, and the legend counts, orders, folds the
// rest into "other" and marks hidden groups, under a title naming what the groups are.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "glue/category_palette.h"
#include "glue/group_legend.h"
#include "glue/window_settings.h"
#include "import/import.h"
#include "tests/graph_test_support.h"

namespace orvo {
namespace {

// How a colour looks to a reader without red (protan) or green (deutan) cones: linear-light
// sRGB projected onto the colours such a reader still tells apart.
Rgb simulated(const Rgb& c, const std::array<std::array<double, 3>, 3>& m) {
    auto lin = [](double v) {
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    auto gam = [](double v) {
        v = std::clamp(v, 0.0, 1.0);
        return v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
    };
    const std::array<double, 3> l{lin(c[0]), lin(c[1]), lin(c[2])};
    Rgb out;
    for (size_t i = 0; i < 3; ++i) {
        out[i] = static_cast<float>(gam(m[i][0] * l[0] + m[i][1] * l[1] + m[i][2] * l[2]));
    }
    return out;
}

constexpr std::array<std::array<double, 3>, 3> kNormal{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
constexpr std::array<std::array<double, 3>, 3> kProtan{
    {{0.11238, 0.88762, 0}, {0.11238, 0.88762, 0}, {0.00401, -0.00401, 1}}};
constexpr std::array<std::array<double, 3>, 3> kDeutan{
    {{0.29275, 0.70725, 0}, {0.29275, 0.70725, 0}, {-0.02234, 0.02234, 1}}};

TEST(PaletteTest, ColoursStayApartForEveryReaderAndOnEveryBackground) {
    // The measure itself: black to white is the whole lightness scale, a colour is itself.
    EXPECT_NEAR(colourDifference({0, 0, 0}, {1, 1, 1}), 100.0, 0.5);
    EXPECT_EQ(colourDifference({0.3f, 0.6f, 0.1f}, {0.3f, 0.6f, 0.1f}), 0.0);
    const struct {
        const char* vision;
        const std::array<std::array<double, 3>, 3>& matrix;
        size_t colours;
        double least;
    } cases[] = {
        {"normal", kNormal, kPaletteSize, 15.0},
        {"protan", kProtan, kColourBlindSafeColours, 15.0},
        {"deutan", kDeutan, kColourBlindSafeColours, 15.0},
    };
    for (const auto& c : cases) {
        for (size_t i = 0; i < c.colours; ++i) {
            for (size_t j = i + 1; j < c.colours; ++j) {
                EXPECT_GE(colourDifference(simulated(paletteColour(i), c.matrix),
                                           simulated(paletteColour(j), c.matrix)),
                          c.least)
                    << c.vision << ": colours " << i << " and " << j;
            }
        }
    }
    for (size_t i = 0; i < kPaletteSize; ++i) {
        for (const ColourScheme& s : kColourSchemes) {
            const Rgb background{s.background[0], s.background[1], s.background[2]};
            EXPECT_GE(colourDifference(paletteColour(i), background), 30.0)
                << "colour " << i << " on " << background[0];
        }
        // Nor taken for a link, the node under the pointer, the selection or an ungrouped node.
        const ViewerSettings s;
        for (const auto& other :
             {s.linkFromColor, s.linkToColor, s.highlightColor, s.selectedColor}) {
            EXPECT_GE(colourDifference(paletteColour(i), {other[0], other[1], other[2]}), 15.0)
                << "colour " << i;
        }
        const Graph g(s);
        EXPECT_GE(colourDifference(paletteColour(i),
                                   {g.defaultColor[0], g.defaultColor[1], g.defaultColor[2]}),
                  15.0)
            << "colour " << i;
        EXPECT_EQ(paletteColour(i), paletteColour(i + kPaletteSize));  // repeats past the end
    }
}

std::string sectionGraph(const std::vector<std::pair<std::string, int>>& sections) {
    std::string text = "0 root 0 libs\n";
    int n = 0;
    for (const auto& [name, count] : sections) {
        for (int i = 0; i < count; ++i) {
            text += "1 n" + std::to_string(n++) + " 0 " + name + " main\n";
        }
    }
    return text;
}

size_t paletteIndex(const float* rgb) {
    for (size_t i = 0; i < kPaletteSize; ++i) {
        if (paletteColour(i) == Rgb{rgb[0], rgb[1], rgb[2]}) return i;
    }
    return kPaletteSize;
}

// libs 5 (the root too), devel 3, net 3, text 2 (a site colour), admin 1.
const std::vector<std::pair<std::string, int>> kSections = {
    {"admin", 1}, {"net", 3}, {"text", 2}, {"devel", 3}, {"libs", 4}};

TEST(PaletteTest, GroupsTakeColoursByRankWhateverTheFileOrderAndSiteColoursStay) {
    std::vector<std::pair<std::string, int>> reversed(kSections.rbegin(), kSections.rend());
    std::vector<std::array<Rgb, 4>> seen;
    for (const auto& order : {kSections, reversed}) {
        ViewerSettings settings;
        Graph g(settings);
        ASSERT_TRUE(testing::readText(g, sectionGraph(order)));
        settings.groupColumn = 1;
        applyLoadSettings(g, settings);
        EXPECT_EQ(settings.groupColumn, 0) << "every graph opens coloured by its first kind";
        const float* text = g.groupColor(0, "text");
        EXPECT_EQ(Rgb({text[0], text[1], text[2]}), Rgb({0.9f, 0.35f, 0.05f}));
        // Largest first, a tie by name: libs, devel, net, admin; none close to the site colour.
        std::array<Rgb, 4> colours;
        size_t last = 0;
        const char* ranked[] = {"libs", "devel", "net", "admin"};
        for (size_t i = 0; i < 4; ++i) {
            const float* c = g.groupColor(0, ranked[i]);
            const size_t index = paletteIndex(c);
            ASSERT_LT(index, kPaletteSize) << ranked[i] << " has no palette colour";
            if (i > 0) {
                EXPECT_GT(index, last) << ranked[i];
            }
            last = index;
            colours[i] = {c[0], c[1], c[2]};
            EXPECT_GE(colourDifference(colours[i], {text[0], text[1], text[2]}), 20.0) << ranked[i];
        }
        EXPECT_EQ(paletteIndex(g.groupColor(0, "libs")), 0u)
            << "the largest takes the first colour";
        // Kind 1 holds only the site group main: it keeps its colour.
        const float* main = g.groupColor(1, "main");
        EXPECT_EQ(Rgb({main[0], main[1], main[2]}), Rgb({0.0f, 1.0f, 1.0f}));
        seen.push_back(colours);
    }
    EXPECT_EQ(seen[0], seen[1]);

    // Read again with other counts: the colours follow the new ranks, none stays from before.
    ViewerSettings settings;
    Graph g(settings);
    ASSERT_TRUE(testing::readText(g, sectionGraph(kSections)));
    applyLoadSettings(g, settings);
    Graph fresh(settings);
    ASSERT_TRUE(testing::readText(fresh, sectionGraph({{"admin", 9}})));
    g.takeContentsOf(fresh);
    applyLoadSettings(g, settings);
    EXPECT_EQ(paletteIndex(g.groupColor(0, "admin")), 0u);
    EXPECT_EQ(paletteIndex(g.groupColor(0, "libs")), 1u);
}

TEST(LegendTest, RowsCountOrderFoldAndMarkHiddenGroups) {
    ViewerSettings settings;
    Graph g(settings);
    ASSERT_TRUE(testing::readText(g, sectionGraph(kSections) + "1 bare 0\n"));
    applyLoadSettings(g, settings);
    // Each row: what it stands for, its name, its nodes and whether it is hidden.
    EXPECT_TRUE(testing::answersMatch("legend_rows.txt", [&](const std::string& question) {
        const testing::Strings f = testing::fields(question);
        if (f[0] == "hide") return std::to_string(g.setGroupHidden(0, f[1], 1));
        if (f[0] == "title") {  // of the graph read with these records after its nodes
            ViewerSettings own;
            Graph titled(own);
            if (!testing::readText(titled, sectionGraph(kSections) + f[1])) return std::string("?");
            return groupLegend(titled, 10, std::stoi(f[2])).title + ", skipped " +
                   std::to_string(titled.readStats.skippedLines);
        }
        const int kind = std::stoi(f[2]);
        const Legend legend = groupLegend(g, std::stoul(f[1]), kind);
        std::string rows =
            legend.kind == kind ? "" : "the legend of kind " + std::to_string(legend.kind);
        for (const LegendRow& r : legend.rows) {
            rows += std::string(rows.empty() ? "" : ", ") +
                    (r.kind == LegendRow::Kind::Group   ? "group "
                     : r.kind == LegendRow::Kind::Other ? "rest "
                                                        : "ungrouped ") +
                    r.name + " " + std::to_string(r.nodes) + (r.hidden ? " hidden" : "");
            const float* own =
                r.kind == LegendRow::Kind::Group ? g.groupColor(kind, r.name) : nullptr;
            if (own != nullptr && r.colour != Rgb({own[0], own[1], own[2]})) rows += " recoloured";
        }
        return rows;
    }));
    // Palette colours need the legend; the site colours alone (main) are in the shortcut list.
    const GroupTallies tallies = tallyGroups(g);
    EXPECT_TRUE(coloursNeedLegend(tallies, 0));
    EXPECT_FALSE(coloursNeedLegend(tallies, 1));
    EXPECT_FALSE(coloursNeedLegend(tallies, 2));
    EXPECT_FALSE(coloursNeedLegend(tallies, kGroupKinds));
    EXPECT_FALSE(coloursNeedLegend(tallies, -1));
    // The kind coloured unless another is asked for.
    settings.groupColumn = 1;
    EXPECT_EQ(groupLegend(g, 10).rows.front().name, "main");
}

// A graph handed over brings the names of what its groups are, and takes the old ones away (what
// the title names, from what a file's records say, is in legend_rows.txt).
TEST(LegendTest, TheTitleNamesWhatTheGroupsAre) {
    ViewerSettings settings;
    Graph shown(settings), named(settings), plain(settings);
    ASSERT_TRUE(testing::readText(shown, sectionGraph(kSections)));
    ASSERT_TRUE(testing::readText(named, sectionGraph(kSections) + "-99 groups 0 section\n"));
    ASSERT_TRUE(testing::readText(plain, sectionGraph(kSections)));
    shown.takeContentsOf(named);
    EXPECT_EQ(groupLegend(shown, 10, 0).title, "Section");
    shown.takeContentsOf(plain);
    EXPECT_EQ(groupLegend(shown, 10, 0).title, "File type or group");
}

// An import writes the attribute it took the groups from, and the legend names it.
TEST(LegendTest, AnImportedAttributeTitlesTheLegend) {
    const testing::TempDir dir;
    testing::writeWholeFile(dir.file("deps.csv"), "from,to,section\na,b,libs\nb,c,net\nc,a,libs\n");
    testing::writeWholeFile(dir.file("plain.csv"), "a,b\nb,c\n");
    for (const auto& [file, title] :
         {std::pair{"deps.csv", "Section"}, {"plain.csv", "File type or group"}}) {
        std::ostringstream out;
        ASSERT_TRUE(importFromFiles(dir.file(file), ImportFormat::Csv, {}, out).ok) << file;
        ViewerSettings settings;
        Graph g(settings);
        ASSERT_TRUE(testing::readText(g, out.str())) << out.str();
        EXPECT_EQ(groupLegend(g, 10, 0).title, title) << out.str();
        EXPECT_EQ(g.readStats.skippedLines, 0u);
    }
}

}  // namespace
}  // namespace orvo
