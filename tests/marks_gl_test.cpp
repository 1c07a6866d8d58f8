// What the default label rule draws over everything on a real Mesa context: rings that mark the
// centre and the selected node without hiding their colour, labels no link or cube crosses,
// and the centre's cube in front of its own links, however many.

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "graph/graph_compare.h"
#include "render_gl_rig.h"

namespace orvo {
namespace {

using testing::near;
using testing::RenderRig;
using testing::Rgba;

template <class Colour>  // an array of floats, or a pointer to one
bool sameColour(const Rgba& p, const Colour& c) { return near(p, c[0], c[1], c[2]); }

void useScheme(RenderRig& rig, size_t scheme) {
    const ColourScheme& s = kColourSchemes[scheme];
    rig.settings.backgroundColor = {s.background[0], s.background[1], s.background[2], 1.0f};
    rig.settings.labelColor = {s.label[0], s.label[1], s.label[2], 1.0f};
    rig.renderer.setClearColour();
}

// A comparison's statuses: the root removed, its children added, changed and unchanged.
const char* const kStatusGraph =
    "0 http://m.example/ 0 html removed\n"
    "1 http://m.example/added.html 0 html added\n"
    "1 http://m.example/changed.html 0 html changed\n"
    "1 http://m.example/same.html 0 html unchanged\n"
    "1 http://m.example/more.html 0 html unchanged\n";

// How many pixels of a window box have the colour.
int pixelsIn(RenderRig& rig, const std::vector<uint8_t>& rgba, const WindowBox& b,
             const float* colour) {
    int count = 0;
    for (int y = int(b.y0); y <= int(b.y1); ++y)
        for (int x = int(b.x0); x <= int(b.x1); ++x)
            count += sameColour(rig.pixel(rgba, x, y), colour);
    return count;
}

// The pixel in the middle of the ring's lower side, and the one of the edge just outside it.
Rgba ringPixel(RenderRig& rig, const std::vector<uint8_t>& rgba, const Node& n, double inset) {
    const WindowBox b = rig.renderer.markBoxOf(n);
    return rig.pixel(rgba, static_cast<int>(0.5 * (b.x0 + b.x1)), static_cast<int>(b.y0 + inset));
}

TEST(MarksGl, TheCentreAndTheSelectedNodeAreRingedAndKeepTheirStatusColour) {
    const struct {
        size_t scheme;
        const char* selected;  // nullptr: nothing selected
        bool oldRule;          // labels overlapping: the selection repaints the node as before
        bool atOnce = false;   // selected into the finished frame, in colours whose channels
                               // differ (so that a channel mixed up shows)
    } cases[] = {
        {0, nullptr, false},
        {1, nullptr, false},
        {2, nullptr, false},
        {0, "http://m.example/", false},  // the centre selected
        {2, "http://m.example/", false},
        {0, "http://m.example/added.html", false},
        {1, "http://m.example/added.html", false},
        {0, "http://m.example/added.html", true},
        {0, "http://m.example/added.html", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.scheme) + " " + (c.selected ? c.selected : "-") +
                     (c.oldRule ? " old rule" : "") + (c.atOnce ? " at once" : ""));
        RenderRig rig(300, 240);
        rig.startText(kStatusGraph);
        rig.settings.groupColumn = 1;
        rig.settings.labelsOverlap = c.oldRule ? 1 : 0;
        useScheme(rig, c.scheme);
        if (c.atOnce) {
            rig.settings.selectedColor = {0.2f, 0.6f, 1.0f, 1.0f};
            rig.settings.labelColor = {0.5f, 0.1f, 0.3f, 1.0f};
        } else if (c.selected != nullptr) {
            rig.node(c.selected)->flags |= Selected;
        }
        rig.drawAll();
        if (c.atOnce) {
            const int swaps = rig.surface.swapCount();
            rig.renderer.markSelected(*rig.node(c.selected), 1);
            EXPECT_EQ(rig.surface.swapCount(), swaps);  // into the front buffer, no frame
        }
        const std::vector<uint8_t> rgba = rig.read(DrawBuffer::Front);
        const ViewerSettings& s = rig.settings;

        Node* root = rig.node("http://m.example/");
        ASSERT_EQ(rig.renderer.frameCentre(), c.oldRule ? nullptr : root);
        for (Node* n : {root, rig.node("http://m.example/added.html")}) {
            SCOPED_TRACE(std::string(n->id));
            const bool selected = c.selected != nullptr && n->id == c.selected;
            const WindowBox cube = rig.renderer.cubeBoxOnScreen(*n);
            const int own = pixelsIn(rig, rgba, cube, rig.graph.nodeColor(*n));
            const int yellow = pixelsIn(rig, rgba, cube, s.selectedColor.data());
            if (c.oldRule && selected) {  // painted over
                EXPECT_EQ(own, 0);
                EXPECT_GT(yellow, 4);
                continue;
            }
            EXPECT_GT(own, 4);
            EXPECT_EQ(yellow, 0);
            if (c.oldRule) continue;
            const bool ringed = selected || n == root;
            const Colour& ring = selected ? kSelectionRingColour : s.labelColor;
            const Colour& edge = selected ? s.labelColor : s.backgroundColor;
            EXPECT_EQ(sameColour(ringPixel(rig, rgba, *n, 2.0), ring), ringed);
            if (ringed) {
                EXPECT_TRUE(sameColour(ringPixel(rig, rgba, *n, 0.5), edge));
            }
        }
    }
}

// Every pixel of a label's box is its background or its ink, and some are ink: no link, cube
// or ring of the frame lies over it, and it has text.
void expectReadableLabels(RenderRig& rig, const std::string& what) {
    const std::vector<uint8_t> rgba = rig.read(DrawBuffer::Front);
    const ViewerSettings& s = rig.settings;
    const auto& labels = rig.renderer.drawnLabels();
    ASSERT_GE(labels.size(), 10u) << what;
    for (const Renderer::DrawnLabel& label : labels) {
        const LabelBox& b = label.box;
        int ink = 0, other = 0;
        // The pixels whose centres the box covers, as the rasteriser fills it (it places edges
        // to a fraction of a pixel).
        constexpr double kSnap = 0.125;
        for (int y = std::max(0, int(std::ceil(b.y0 + kSnap - 0.5)));
             y + 0.5 < b.y1 - kSnap && y < rig.height(); ++y) {
            for (int x = std::max(0, int(std::ceil(b.x0 + kSnap - 0.5)));
                 x + 0.5 < b.x1 - kSnap && x < rig.width(); ++x) {
                const Rgba p = rig.pixel(rgba, x, y);
                ink += sameColour(p, s.labelColor);
                other += !sameColour(p, s.labelColor) && !sameColour(p, s.backgroundColor);
            }
        }
        EXPECT_EQ(other, 0) << what << ": " << label.node->id;
        EXPECT_GE(ink, 8) << what << ": " << label.node->id;
    }
}

TEST(MarksGl, EveryLabelOfTheStartViewIsReadableAndPicksItsNode) {
    const struct {
        const char* example;
        bool sliced;  // continuation slices draw links and cubes after the first labels
        size_t scheme;
    } cases[] = {
        {"sqlite-doc.graph", false, 0},
        {"sqlite-doc.graph", true, 0},
        {"sqlite-doc.graph", false, 2},
        {"site.graph", true, 1},
    };
    for (const auto& c : cases) {
        const std::string what = std::string(c.example) + (c.sliced ? " sliced" : "") + " scheme " +
                                 std::to_string(c.scheme);
        SCOPED_TRACE(what);
        RenderRig rig(800, 600);
        rig.startExample(c.example);
        useScheme(rig, c.scheme);
        if (c.sliced) {
            rig.settings.sliceBudgetSec = 0;
            rig.settings.sliceBudgetUsec = 1000;  // a few nodes a slice
        }
        rig.drawAll();
        if (c.sliced) {
            EXPECT_GT(rig.renderer.drawnLabels().size(), 0u);
        }
        expectReadableLabels(rig, what);
        // A label lies over whatever is under it: the pointer on it finds its node.
        for (const Renderer::DrawnLabel& label : rig.renderer.drawnLabels()) {
            const int x = int(0.5 * (label.box.x0 + label.box.x1));
            const int y = rig.height() - 1 - int(0.5 * (label.box.y0 + label.box.y1));
            EXPECT_EQ(rig.renderer.pick(x, y), static_cast<uint32_t>(label.node->index))
                << label.node->id;
        }
    }
}

// The documentation site against a later version of it with pages added, one removed and some
// changed: the comparison's start view shows every status among the nodes it draws in sight.
std::string laterDocumentationSite(const std::string& site) {
    const std::string removed = "http://localhost/consortium_agreement-20071201.html";
    std::istringstream in(site);
    std::string line, later;
    int changed = 0, number = 0;
    std::set<std::string> seen;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string level, id, field, kind;
        fields >> level >> id >> field >> kind;
        if (id == removed) continue;
        later += line + "\n";
        if (number++ == 0) {
            for (int k = 0; k < 4; ++k)
                later += "1 http://localhost/added" + std::to_string(k) + ".html 0 html ok\n";
        }
        // A link more out of 65 pages: changed.
        if (kind == "html" && number > 50 && changed < 65 && level.size() == 1 && level[0] <= '3' &&
            seen.insert(id).second) {
            later += std::to_string(level[0] - '0' + 1) + " http://localhost/added" +
                     std::to_string(changed++ % 4) + ".html 0 html ok\n";
        }
    }
    return later;
}

TEST(MarksGl, TheStartViewOfAComparisonShowsEveryStatusItDraws) {
    std::ifstream file(std::string(ORVO_SOURCE_DIR) + "/examples/sqlite-doc.graph");
    const std::string site((std::istreambuf_iterator<char>(file)), {});
    ASSERT_FALSE(site.empty());
    ViewerSettings settings;
    Graph older(settings), newer(settings);
    std::istringstream olderText(site), newerText(laterDocumentationSite(site));
    ASSERT_TRUE(readAndLayOut(older, olderText));
    ASSERT_TRUE(readAndLayOut(newer, newerText));
    const GraphComparison comparison = compareGraphs(older, newer);
    ASSERT_EQ(comparison.added, 4u);
    ASSERT_EQ(comparison.removed, 1u);
    ASSERT_GE(comparison.changed, 60u);

    RenderRig rig(800, 600);
    rig.startText(comparison.outline);
    rig.settings.labelsOverlap = 0;
    rig.settings.sliceBudgetSec = 3600;
    rig.settings.groupColumn = 1;  // coloured by status, as Compare With shows it
    rig.drawAll();
    const std::vector<uint8_t> rgba = rig.read(DrawBuffer::Front);
    std::map<const float*, std::string> statuses;  // the colours of the nodes drawn in sight
    for (const Node* n : rig.renderer.drawnNodes())
        if (n->apparentSize >= 1.0) statuses[rig.graph.nodeColor(*n)] = std::string(n->id);
    EXPECT_GE(statuses.size(), 4u);
    for (const auto& [colour, example] : statuses) {
        const WindowBox all{0, float(rig.width() - 1), 0, float(rig.height() - 1)};
        EXPECT_GT(pixelsIn(rig, rgba, all, colour), 0) << "the colour of " << example;
    }
}

// A root with thousands of children: all its tree links leave its cube, towards the viewer too.
// Only a cube (its own, or a child's in front of it) may show in its box, never a link.
TEST(MarksGl, TheCentreShowsItsCubeAndLabelOverThousandsOfItsLinks) {
    std::string text = "0 http://star.example/ 0 html main\n";
    for (int i = 0; i < 3000; ++i)
        text += "1 http://star.example/p" + std::to_string(i) + ".html 0 image main\n";
    for (const bool batched : {true, false}) {
        SCOPED_TRACE(batched ? "batched" : "per node");
        RenderRig rig(400, 300);
        rig.startText(text);
        rig.settings.labelsOverlap = 0;
        rig.renderer.setBatchedDrawing(batched);
        rig.drawAll();
        Node* root = rig.node("http://star.example/");
        ASSERT_TRUE(root->flags & Labelled);
        const std::vector<uint8_t> rgba = rig.read(DrawBuffer::Front);
        const WindowBox cube = rig.renderer.cubeBoxOnScreen(*root);
        ASSERT_GT(cube.x1 - cube.x0, 6.0f);
        int own = 0, other = 0;
        for (int y = int(cube.y0) + 2; y < int(cube.y1) - 1; ++y) {
            for (int x = int(cube.x0) + 2; x < int(cube.x1) - 1; ++x) {
                const Rgba p = rig.pixel(rgba, x, y);
                // Its colour or its outline; else, unless a child's cube in front of it, a link.
                const bool itself = sameColour(p, rig.graph.nodeColor(*root)) || near(p, 0, 0, 0);
                own += itself;
                other += !itself && !sameColour(p, rig.graph.nodeColor(*root->children[0]));
            }
        }
        EXPECT_GT(own, 0);
        EXPECT_EQ(other, 0);
        expectReadableLabels(rig, batched ? "batched" : "per node");
    }
}

}  // namespace
}  // namespace orvo
