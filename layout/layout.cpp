// The layout as a whole: the start node's subtree downward, then its ancestors upward, then the
// end positions of every link.
#include "layout/layout.h"

#include "graph/graph.h"
#include "settings/viewer_settings.h"

namespace orvo {

void layoutGraph(Graph& graph, Node* s) { layoutTree(graph.settings, s, graph.links); }

void layoutTree(const ViewerSettings& settings, Node* s, const std::vector<Link*>& links) {
    if (s == nullptr) return;  // an empty graph has nothing to lay out
    s->globalTransform.setIdentity();
    s->localPlacement.setIdentity();
    sizeSubtree(settings, s, false);
    composeTransforms(s, false);
    if (s->parent != nullptr) {
        sizeSubtree(settings, s, true);
        composeTransforms(s, true);
    }
    for (Link* link : links) placeLinkEnds(*link);
}

void placeLinkEnds(Link& link) {
    const ProjPoint origin;
    link.fromPosition = dehomogenized(link.fromNode->globalTransform.apply(origin));
    link.toPosition = dehomogenized(link.toNode->globalTransform.apply(origin));
}

}  // namespace orvo
