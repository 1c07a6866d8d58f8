// The window glue on an offscreen Mesa context: start-up settings, the guards before a file is
// loaded, long ids; finding a node (travelling to it, back and forward are in the keys'
// transcript), the status texts, the highlight of a resting pointer, a resize that keeps the
// boundary sphere round, and so does a load from its first picture on, while it prepares the first
// frame unseen; a found node drawn first whatever its fan-out; after a drag, the labels a fresh
// frame of the view draws.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "glue/status_text.h"
#include "glue/window_settings.h"
#include "graph/node_measures.h"
#include "tests/glue/glue_rig.h"
#include "tools/site_generator.h"

namespace orvo {
namespace {

using WindowFeaturesTest = GlueRig;

TEST_F(WindowFeaturesTest,
       BeforeTheFirstLoadEventsOnlyRecordTheSizeAndSettingsKeepTheirStartUpValues) {
    EXPECT_TRUE(glue->viewerCreated() && !glue->graphLoaded());
    // The window's own values are in place (they differ from the settings' defaults); the pick
    // budget and the window aspect are untouched until a file is loaded.
    ViewerSettings initialised;
    applyWindowInitialisation(initialised);
    const auto own = [&](const ViewerSettings& s) {
        return std::tuple(s.loadFlags, s.passiveDecimation, s.animationStep);
    };
    EXPECT_EQ(own(settings()), own(initialised));
    const auto loadSet = [&] {
        return std::vector{settings().pickBudgetSec, settings().pickBudgetUsec,
                           settings().useWindowAspect, settings().groupColumn};
    };
    EXPECT_EQ(loadSet(), (std::vector{0, 100000, 0, 0}));
    glue->reshapeViewer(260, 180);
    EXPECT_EQ(std::pair(glue->lastWidth(), glue->lastHeight()), std::pair(260, 180));
    glue->displayViewer();
    glue->mouseButtonViewer(0, 0, 10, 10, 0, 0);
    glue->mouseButtonViewer(0, 1, 10, 10, 0, 0);
    glue->mouseMoveViewer(20, 20, 0, 0);
    glue->mouseDragViewer(30, 30, 4, 8);
    EXPECT_EQ(glue->idleViewer(), 0);
    // Every key works on the settings before any file, and draws nothing.
    for (int c = 0; c < 256; ++c) glue->keyViewer(c);
    glue->keyViewer(0x173);  // only the low 8 bits count: this is "s"
    EXPECT_EQ(settings().drawSphere, 1) << "s pressed twice";
    // A failed open leaves the glue without a graph or a context.
    EXPECT_EQ(glue->openGraphFile(dataPath("no_such_file.graph")), 0);
    EXPECT_NE(glue->openError().find("No such file"), std::string::npos);
    EXPECT_FALSE(glue->graphLoaded());
    EXPECT_TRUE(viewer().graph() == nullptr && viewer().renderer().context() == nullptr);
    EXPECT_EQ(surface->swapCount(), 0);

    // The first load hands exactly the recorded size to the renderer, and sets its own values.
    settings().groupColumn = 1;
    settings().useWindowAspect = 0;  // "K" switched it
    open("viewer_groups.graph");
    EXPECT_TRUE(glue->graphLoaded());
    EXPECT_EQ(viewer().renderer().viewport(), (std::array<int, 4>{0, 0, 260, 180}));
    EXPECT_EQ(loadSet(), (std::vector{5, 0, 1, 0}));
    // From now on sizes reach the renderer, and paints draw.
    glue->reshapeViewer(kWidth, kHeight);
    EXPECT_EQ(viewer().renderer().viewport(), (std::array<int, 4>{0, 0, kWidth, kHeight}));
    const int swaps = surface->swapCount();
    glue->displayViewer();
    EXPECT_EQ(surface->swapCount(), swaps + 1);
    // The group colour table, the same after a second load.
    for (int load = 0; load < 2; ++load) {
        for (const GroupColourEntry& e : kGroupColourTable) {
            const float* c = graph().groupColor(e.kind, e.name);
            ASSERT_NE(c, nullptr) << e.name;
            EXPECT_EQ((std::array{c[0], c[1], c[2]}), (std::array{e.red, e.green, e.blue}))
                << e.name;
        }
        open("viewer_second.graph");
    }
}

TEST_F(WindowFeaturesTest, IdsLongerThanTheOldBufferAreKeptWhole) {
    open("viewer_groups.graph");
    // Files do not carry such ids (the reader's lines are shorter), but nothing in the glue may
    // cut them: a node with a 1500-character id, and another whose id is its first 1023 bytes.
    const std::string longId = "http://h/" + std::string(1500, 'q') + ".html";
    Node* root = graph().nodes[0];
    Node* n = graph().addRecord(root, longId, 1, 0);
    Node* cut = graph().addRecord(root, longId.substr(0, 1023), 1, 0);
    ASSERT_TRUE(n != nullptr && cut != nullptr);
    const auto selected = [&] {
        return std::pair<bool, bool>(n->flags & Selected, cut->flags & Selected);
    };
    glue->onPicked(longId, 0, 0);
    EXPECT_EQ(glue->lastSelectedId(), longId);
    EXPECT_EQ(selected(), std::pair(true, false));
    // The kept id is looked up whole by the keys that use it: "S" selects its subtree.
    glue->keyViewer('S');
    EXPECT_EQ(selected(), std::pair(true, false));
    glue->keyViewer('S');
    EXPECT_EQ(selected(), std::pair(false, false));
    glue->onPicked(longId, 0, 0);
    glue->onPicked(longId, 0, 0);  // the same node again: unselected
    EXPECT_EQ(selected(), std::pair(false, false));
    EXPECT_EQ(glue->lastSelectedId(), longId);
}

// Find ranks the hits as the plain search once the index is built; the status texts say what is
// shown and what the limit is; a pointer that comes to rest over a node highlights it; a resize
// refines the picture back to its detail; another graph has its index built again.
TEST_F(WindowFeaturesTest, FindTheStatusTextsTheHighlightOfAPointerAtRestAndAResize) {
    EXPECT_EQ(glue->graphStatus(), "") << "no graph yet";
    open(kSite);
    glue->displayViewer();  // as the window does after an open
    EXPECT_EQ(glue->searchIndex().indexed(), 0u) << "the index waits for the first picture";
    idleToTheEnd();
    EXPECT_TRUE(glue->searchIndex().complete(graph()));

    // Part of a page name, in another case: the shortest id holding it as its last part first.
    const SearchResult found = glue->findNodes("CONTACT.H", 10);
    ASSERT_FALSE(found.hits.empty());
    const SearchResult plain = plainSearch(graph(), "CONTACT.H", 10);
    EXPECT_EQ(found.hits, plain.hits);
    EXPECT_EQ(std::string(graph().nodes[found.hits[0].node]->id),
              "http://www.example.org/contact.html");
    EXPECT_EQ(found.hits[0].rank, MatchRank::Prefix);

    const GraphCounts counts = countGraph(graph());
    EXPECT_EQ(counts.nodes, 3000);
    EXPECT_EQ(counts.shownNodes, 3000);
    EXPECT_LT(counts.shownLinks, counts.links) << "non-tree links start hidden";
    EXPECT_EQ(glue->graphStatus(), "3 000 nodes, " + groupedNumber(counts.links) +
                                       " links (3 000 nodes and " +
                                       groupedNumber(counts.shownLinks) + " links shown)");
    EXPECT_EQ(nodeGroupsText(graph(), top()), "html, main");
    // The hover text's links agree, node by node, with the measures' own count of them.
    EXPECT_EQ(nodeLinksText(top()), "327 in, 19 out");
    const NodeMeasures measures = computeNodeMeasures(graph());
    for (const Node* n : graph().nodes)
        ASSERT_EQ(nodeLinksText(*n), groupedNumber(measures.linksIn[size_t(n->index)]) + " in, " +
                                         groupedNumber(measures.linksOut[size_t(n->index)]) +
                                         " out")
            << n->id;
    glue->setGenerationLimit(true, 7);
    EXPECT_EQ(settings().nodeGenerationLimit, 7);
    EXPECT_EQ(glue->keyStatus(), "Node generation limit 7");
    ASSERT_EQ(settings().passiveDecimation, 2);
    const auto [x, y] = whereDrawn(top());
    // Three moves on empty space: two dropped, the third picked (nothing there). The fourth,
    // onto the node, is dropped by the decimation.
    for (int i = 0; i < 3; ++i) glue->mouseMoveViewer(3, 3, 0, 0);
    glue->mouseMoveViewer(x, y, 0, 0);
    EXPECT_EQ(glue->hoveredNode(), nullptr);
    EXPECT_FALSE(top().flags & Highlighted);
    // At rest: the dropped move is picked now.
    EXPECT_TRUE(glue->pointerRested());
    EXPECT_EQ(glue->hoveredNode(), &top());
    EXPECT_TRUE(top().flags & Highlighted);
    EXPECT_FALSE(glue->pointerRested()) << "nothing left to pick";
    // Away from it, past the decimation: nothing is hovered.
    for (int i = 0; i < 3; ++i) glue->mouseMoveViewer(2, 2, 0, 0);
    EXPECT_EQ(glue->hoveredNode(), nullptr);
    // A handled move leaves nothing to pick at rest; a press forgets a dropped one.
    glue->mouseMoveViewer(3, 3, 0, 0);
    glue->mouseMoveViewer(x, y, 0, 0);
    glue->mouseButtonViewer(2, 0, x, y, 0, 0);
    glue->mouseButtonViewer(2, 1, x, y, 0, 0);
    EXPECT_FALSE(glue->pointerRested());

    // A resize refines the picture back to its detail: the picture the clicks left, refined to
    // the end (their first slices draw what the machine's speed allows).
    idleToTheEnd();
    const size_t detail = viewer().renderer().drawnNodes().size();
    ASSERT_GT(detail, 1000u);
    // The paint that follows the resize has no time to draw a node: only refinement brings the
    // picture back, however long it takes.
    const ViewerSettings saved = settings();
    settings().sliceBudgetSec = 0;
    settings().sliceBudgetUsec = 0;
    ASSERT_TRUE(surface->resize(300, 240));
    glue->reshapeViewer(300, 240);
    glue->displayViewer();
    EXPECT_TRUE(viewer().renderer().drawnNodes().empty());
    settings().sliceBudgetUsec = saved.sliceBudgetUsec;
    settings().refineLimitSec = 3600;
    idleToTheEnd();
    EXPECT_GE(viewer().renderer().drawnNodes().size(), detail);

    // Another graph: the index is built again.
    open("viewer_second.graph");
    EXPECT_EQ(glue->searchIndex().indexed(), 0u);
    EXPECT_TRUE(glue->findNodes("contact", 10).hits.empty());
    idleToTheEnd();
    EXPECT_TRUE(glue->searchIndex().complete(graph()));
}

TEST_F(WindowFeaturesTest, AResizeKeepsTheBallRoundWhileTheWindowAspectIsInUse) {
    open("viewer_groups.graph");
    glue->displayViewer();
    viewer().setLabelChoice(0);
    drawWhole();
    auto resizeAndDraw = [&](int w, int h) {
        ASSERT_TRUE(surface->resize(w, h));
        glue->reshapeViewer(w, h);
        viewer().redraw();
        idleToTheEnd();
    };
    // The boundary sphere stays round, in a wide and in a tall window.
    resizeAndDraw(480, 240);
    EXPECT_TRUE(testing::matchesPicture(rig.picture(), "resized_wide", 64, 0.5));
    resizeAndDraw(200, 360);
    EXPECT_TRUE(testing::matchesPicture(rig.picture(), "resized_tall", 64, 0.5));
    // Window aspect off ("K" twice: the load set it without touching the toggle): the picture
    // keeps the square projection and a resize stretches it with the window.
    keys("KK");
    ASSERT_EQ(settings().useWindowAspect, 0);
    resizeAndDraw(480, 240);
    EXPECT_TRUE(testing::matchesPicture(rig.picture(), "resized_stretched", 64, 0.5));
}

// The box of the pixels of this colour in a picture: {width, height}, {0, 0} without any.
std::pair<int, int> extentOf(const RgbaImage& picture, const float* colour) {
    int x0 = picture.width, y0 = picture.height, x1 = -1, y1 = -1;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const size_t at = (static_cast<size_t>(y) * picture.width + x) * 4;
            const testing::Rgba p{picture.pixels[at], picture.pixels[at + 1],
                                  picture.pixels[at + 2], 255};
            if (!testing::near(p, colour[0], colour[1], colour[2])) continue;
            x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
        }
    }
    return {std::max(x1 - x0 + 1, 0), std::max(y1 - y0 + 1, 0)};
}

// A load shows the boundary sphere alone as soon as its context is made, while the graph is
// still being handed over (with ten million nodes, for a good while behind the progress box):
// that picture is round already, in a wide and a tall window, and after "K" had turned the
// window's aspect off before the load. What the first frame would prepare is drawn meanwhile
// into the back buffer only: the top node's cube is there, and not on view.
TEST_F(WindowFeaturesTest, ALoadShowsARoundSphereAndPreparesTheFirstFrameUnseen) {
    struct Case {
        const char* what;
        int width, height;
        const char* keysBefore;
    };
    for (const Case& c :
         {Case{"wide, first load", 480, 240, ""}, Case{"tall, after K", 200, 360, "KK"}}) {
        SCOPED_TRACE(c.what);
        makeGlue();
        ASSERT_TRUE(surface->resize(c.width, c.height));
        glue->reshapeViewer(c.width, c.height);
        if (*c.keysBefore != 0) {
            open("viewer_groups.graph");
            keys(c.keysBefore);
            ASSERT_EQ(settings().useWindowAspect, 0);
        }
        const int swaps = surface->swapCount();
        open("viewer_second.graph");
        const RgbaImage shown = rig.picture();
        const auto [w, h] = extentOf(shown, settings().sphereColor.data());
        ASSERT_GT(w, 100);
        EXPECT_LE(std::abs(w - h), 3) << w << " x " << h << " pixels";
        const float* cube = graph().nodeColor(top());
        EXPECT_EQ(extentOf(shown, cube), std::pair(0, 0)) << "the prepared frame is on view";
        EXPECT_GT(extentOf(rig.picture(DrawBuffer::Back), cube).first, 3);
        glue->displayViewer();
        EXPECT_EQ(surface->swapCount(), swaps + 3) << "the context's two pictures, one frame";
        EXPECT_GT(extentOf(rig.picture(), cube).first, 3);
    }
}

// A site whose hub page, three levels down, has thousands of children (and their links).
std::string hubSiteText(int children) {
    std::string text = "0 http://hub.example/ 200 html main\n";
    for (int i = 0; i < 40; ++i) {
        text += " 1 http://hub.example/p" + std::to_string(i) + ".html 200 html main\n";
    }
    text += " 1 http://hub.example/a.html 200 html main\n";
    text += "  2 http://hub.example/a/b.html 200 html main\n";
    text += "   3 http://hub.example/a/b/hub.html 200 html main\n";
    for (int i = 0; i < children; ++i) {
        text += "    4 http://hub.example/a/b/hub/c" + std::to_string(i) + ".html 200 html main\n";
    }
    return text;
}

TEST_F(WindowFeaturesTest, AFoundNodeIsDrawnFirstAtTheCentreInRedWhateverItsFanOut) {
    testing::TempDir dir;
    const std::string file = dir / "hub.graph";
    testing::writeWholeFile(file, hubSiteText(5000));
    ASSERT_EQ(glue->openGraphFile(file), 1);
    glue->displayViewer();
    idleToTheEnd();
    const std::string hubId = "http://hub.example/a/b/hub.html";
    Node& hub = node(hubId.c_str());

    // A slice so short that it draws one node: the first one must be the node found.
    settings().sliceBudgetSec = 0;
    settings().sliceBudgetUsec = 1;
    ASSERT_EQ(glue->travelTo(hubId), 1);  // what choosing a search hit does
    const Renderer& renderer = viewer().renderer();
    EXPECT_EQ(renderer.centreNode(), &hub);
    ASSERT_FALSE(renderer.drawnNodes().empty());
    EXPECT_EQ(renderer.drawLog().front().node, &hub);
    EXPECT_TRUE(hub.flags & Labelled) << "its label is drawn with it";
    EXPECT_LT(offCentre(hub), 0.01);

    // Centre node in red: the new frame's first node is the hub, red at the window's centre
    // (where the links to the children in front of it do not cross its cube).
    key('C');
    EXPECT_EQ(renderer.drawLog().front().node, &hub);
    const auto [x, y] = whereDrawn(hub);
    int red = 0;
    for (int dy = -5; dy <= 5; ++dy) {
        for (int dx = -5; dx <= 5; ++dx) {
            red += pixel(DrawBuffer::Front, x + dx, y + dy) == std::array<int, 3>{255, 0, 0};
        }
    }
    EXPECT_GT(red, 60) << "of 121 pixels round the centre";
}

// What a frame labels depends on its view and the node it starts at, never on the frames before
// it: the frames a drag leaves unfinished (a slice each, far from the whole graph) hand no
// labelled nodes, label space or queued nodes to the frame of its last motion.
TEST_F(WindowFeaturesTest, AfterADragTheViewShowsTheLabelsAFreshViewerDrawsOfIt) {
    testing::TempDir dir;
    const std::string site = dir / "site.graph";
    SiteOptions options;
    options.nodes = 30000;
    options.seed = 3;
    ASSERT_TRUE(writeSiteGraphFile(site, options, nullptr));
    using Labels = std::vector<std::pair<std::string, std::array<double, 4>>>;
    const auto labels = [&] {
        Labels out;
        for (const Renderer::DrawnLabel& l : viewer().renderer().drawnLabels()) {
            out.emplace_back(std::string(l.node->id),
                             std::array{l.box.x0, l.box.y0, l.box.x1, l.box.y1});
        }
        return out;
    };
    open(site);
    drawWhole();
    glue->displayViewer();
    idleToTheEnd();
    // Each motion's frame gets one slice of the clock's smallest step.
    settings().sliceBudgetSec = 0;
    settings().sliceBudgetUsec = 1;
    const int x = kWidth / 2 + 60, y = kHeight / 2 + 20;
    glue->mouseButtonViewer(0, 0, x, y, 0, 0);
    for (int step = 1; step <= 6; ++step) glue->mouseDragViewer(x - 12 * step, y - 3 * step, 0, 0);
    ASSERT_FALSE(viewer().renderer().drawnLabels().empty());
    ASSERT_LT(viewer().renderer().drawnNodes().size(), graph().nodes.size())
        << "the drag's frames were to be left unfinished";
    settings().sliceBudgetSec = 3600;  // the last motion's frame is drawn whole
    glue->mouseDragViewer(x - 84, y - 21, 0, 0);
    glue->mouseButtonViewer(0, 1, x - 84, y - 21, 0, 0);
    idleToTheEnd();
    const Labels afterDrag = labels();
    const std::vector<uint8_t> pictureAfterDrag = rig.read(DrawBuffer::Front);
    const ProjTransform view = viewer().renderer().viewTransform();
    ASSERT_NE(viewer().renderer().frameCentre(), nullptr);
    const std::string centre(viewer().renderer().frameCentre()->id);
    EXPECT_GE(afterDrag.size(), 10u);

    makeGlue();
    open(site);
    drawWhole();
    viewer().renderer().setViewTransform(view);
    viewer().renderer().setCentreNode(&node(centre.c_str()));
    viewer().redraw();
    idleToTheEnd();
    EXPECT_EQ(labels(), afterDrag);
    EXPECT_TRUE(rig.read(DrawBuffer::Front) == pictureAfterDrag) << "the pictures differ";
}

}  // namespace
}  // namespace orvo
