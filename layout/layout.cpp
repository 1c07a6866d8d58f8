// The layout as a whole: the start node's subtree downward, then its ancestors upward. Link ends
// need no pass of their own: they are read from the nodes.
#include "layout/layout.h"

#include "graph/graph.h"
#include "settings/viewer_settings.h"

namespace orvo {

void layoutGraph(Graph& graph, Node* s) { layoutTree(graph.settings, s); }

void layoutTree(const ViewerSettings& settings, Node* s) {
    if (s == nullptr) return;  // an empty graph has nothing to lay out
    s->globalTransform.setIdentity();
    s->localPlacement.setIdentity();
    sizeSubtree(settings, s, false);
    composeTransforms(s, false);
    if (s->parent != nullptr) {
        sizeSubtree(settings, s, true);
        composeTransforms(s, true);
    }
}

}  // namespace orvo
