// Placement of a node's children on its hemisphere (the packing itself: hemisphere_packing.h).
#include "geometry/proj_point.h"
#include "graph/graph.h"
#include "layout/hemisphere_packing.h"
#include "layout/layout.h"
#include "settings/viewer_settings.h"

namespace orvo {

double placeChildren(const ViewerSettings& settings, Node* anchor, bool upward, Node* target,
                     const std::vector<OrderRecord>& order) {
    Node* p = target;
    const PointerList<Node>& children = p->children;
    return packBands(
        settings, p->radius, order, [&](size_t i) { return children[i]->radius; },
        [&](size_t i, double d, auto direction) {
            Node* k = children[i];
            // Only the numbers are kept; composition builds the transform from them.
            if (upward && k == anchor) {
                p->setPlacement(LocalPlacement::Inverse, d, direction());
            } else {
                k->setPlacement(LocalPlacement::Forward, d, direction());
            }
        });
}

}  // namespace orvo
