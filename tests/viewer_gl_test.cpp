// The viewer facade on a real offscreen Mesa context: operations before any load, failed loads,
// two loads sharing one graph, the re-layout threshold of going to a node, hidden groups.
#include <fstream>
#include <map>
#include <sstream>

#include "render_gl_rig.h"
#include "tests/graph_test_support.h"
#include "viewer/viewer.h"

namespace orvo {
namespace {

using testing::dataPath;

// The viewer calls of tests/data/viewer_transcript.txt, each with what it returned; the graph
// (numbered by object, so that a load that reuses it keeps its number), its nodes and how many are
// shown; the centre; the view ("home" where a load puts it, "moved" when it changed, else "kept");
// the frames swapped; whether refinement is asked for and nodes are drawn. Streams that cannot be
// read ("failbit", "badbit"), hold nothing ("empty") or no node (no_nodes.graph) load nothing,
// before a graph and after one. "w id value" sets a node's w (the centre's is reported after a
// goto); "goto id 0" animates, "goto -" asks for the empty id; "sphere" sets the flag 0x101, of
// which only the low 8 bits count.
TEST(ViewerGl, CallsAgainstTheirTranscript) {
    OffscreenSurface surface(320, 240);
    ASSERT_TRUE(surface.valid()) << surface.lastError();
    Viewer viewer(surface);
    viewer.clearLoadFlags();  // the window-initialisation values the glue sets
    viewer.addLoadFlags(kWindowLoadFlags);
    viewer.setAnimationStep(0.0833f);
    std::map<const Graph*, int> graphs;
    ProjTransform lastView = viewer.renderer().viewTransform();
    EXPECT_TRUE(testing::answersMatch("viewer_transcript.txt", [&](const std::string& step) {
        std::istringstream words(step);
        std::string call, id, group, value;  // "hide column group on"
        words >> call >> id >> value;
        if (call == "hide") group = value, words >> value;
        const int on = std::atoi(value.c_str());
        if (id == "-") id.clear();
        Graph* graph = viewer.graph();
        const int swaps = surface.swapCount();
        int result = 0;
        if (call == "goto") result = viewer.gotoNode(id, on);
        if (call == "top") result = viewer.gotoTopNode(std::stoi(id));
        if (call == "centrePoint") result = viewer.centrePoint(1);
        if (call == "hide") result = viewer.setGroupHidden(std::stoi(id), group, on);
        if (call == "outlinks") result = viewer.setOutLinksShown(id, 1, 1);
        if (call == "inlinks") result = viewer.setInLinksShown(id, 1, 1);
        if (call == "select") viewer.selectNode(id, 1);
        if (call == "subtree") viewer.selectSubtree(id, 1);
        if (call == "allNodes") viewer.setAllNodesShown(0);
        if (call == "allLinks") viewer.setAllLinksShown(0);
        if (call == "colour") viewer.setGroupColor(0, id, 1, 0, 0);
        if (call == "sphere") viewer.setDrawSphere(0x101), result = viewer.settings().drawSphere;
        if (call == "display") viewer.display();
        if (call == "redraw") viewer.redraw();
        if (call == "idle") result = viewer.idle();
        if (call == "context") viewer.setContext(surface.createContext(), 320, 240);
        if (call == "centre") viewer.renderer().setCentreNode(graph->findNode(id));
        if (call == "topIndex") viewer.settings().topNodeIndex = std::stoi(id);
        if (call == "w") {
            const Node& n = *graph->findNode(id);
            ProjTransform t = graph->globalTransform(n);
            t.at(3, 3) = std::stod(value);
            graph->transforms().set(n, t);
        }
        if (call == "mouse") {
            viewer.mouseButton(0, 0, 10, 10, 0, 0);
            viewer.mouseButton(0, 1, 10, 10, 0, 0);
            viewer.mouseMove(12, 12, 0, 0);
            viewer.mouseDrag(14, 14, 0, 0);
        }
        if (call == "load") {
            std::istringstream stream(id == "empty" ? "" : "0 http://a/ 0 html main\n");
            stream.setstate(id == "failbit"  ? std::ios::failbit
                            : id == "badbit" ? std::ios::badbit
                                             : std::ios::goodbit);
            std::ifstream file(dataPath(id));
            result = id.ends_with(".graph") ? viewer.loadGraph(file) : viewer.loadGraph(stream);
        }
        std::ostringstream line;
        line << result << " | ";
        graph = viewer.graph();
        if (graph == nullptr) {
            line << "no graph";
        } else {
            size_t shown = 0;
            for (const Node* n : graph->nodes) shown += n->isShown();
            graphs.emplace(graph, graphs.size() + 1);
            const Node* centre = viewer.renderer().centreNode();
            const ProjTransform& view = viewer.renderer().viewTransform();
            line << "graph " << graphs[graph] << ", " << graph->nodes.size() << " nodes, " << shown
                 << " shown | centre " << (centre ? centre->id : "none") << " | view "
                 << (testing::sameMatrix(
                         view, viewer.renderer().baseView() * graph->homeTransform(), 1e-12)
                         ? "home"
                     : testing::sameMatrix(view, lastView, 1e-12) ? "kept"
                                                                  : "moved");
            if ((call == "goto" || call == "top") && centre != nullptr)
                line << " | w " << graph->globalTransform(*centre).at(3, 3);
        }
        lastView = viewer.renderer().viewTransform();
        line << " | frames " << surface.swapCount() - swaps << " | redraw "
             << viewer.renderer().keepRedrawing()
             << (viewer.renderer().drawnNodes().empty() ? "" : " | drawn");
        return line.str();
    }));
}

}  // namespace
}  // namespace orvo
