// The layout as a whole: the start node's subtree downward, then its ancestors upward. Link ends
// need no pass of their own: they are read from the nodes.
#include "layout/layout.h"

#include "graph/graph.h"
#include "settings/viewer_settings.h"

namespace orvo {

void layoutGraph(Graph& graph, Node* s, const LayoutTicker::Report& report) {
    const bool twoThreads = graph.nodes.size() >= kTwoThreadLayoutNodes;
    if (!report) {
        layoutTree(graph, s, nullptr, twoThreads);
        return;
    }
    LayoutTicker ticker(report, static_cast<uint64_t>(graph.nodes.size()));
    layoutTree(graph, s, &ticker, twoThreads);
    ticker.finish();
}

void relayoutFrom(Graph& graph, Node* n) {
    if (n != nullptr && !graph.nodes.empty()) layoutGraph(graph, n);
}

void layOutFromTop(Graph& graph, const LayoutTicker::Report& report) {
    const int32_t top = graph.topNodeIndex();
    Node* start = top >= 0 && static_cast<size_t>(top) < graph.nodes.size()
                      ? graph.nodes[static_cast<size_t>(top)]
                      : graph.root;
    layoutGraph(graph, start, report);
}

bool readAndLayOut(Graph& graph, std::istream& in, const LoadReports& reports) {
    if (!graph.reload(in, reports.read)) return false;
    layOutFromTop(graph, reports.layout);
    return true;
}

void layoutTree(Graph& graph, Node* s, LayoutTicker* ticker, bool twoThreads) {
    if (s == nullptr) return;  // an empty graph has nothing to lay out
    s->setPlacementIdentity();
    sizeSubtree(graph.settings, s, false, ticker, twoThreads);
    if (s->parent != nullptr) sizeSubtree(graph.settings, s, true, ticker);
    // Each node's place in s's frame is worked out when something first asks for it.
    graph.transforms().restart(s);
}

}  // namespace orvo
