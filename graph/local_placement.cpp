// Rebuilding a node's local transform from its placement, with the same operations, in the same
// order, as the layout once used to build and store it.
#include "graph/graph.h"

namespace orvo {

ProjTransform LocalPlacement::rotation() const {
    ProjTransform r;
    r.setRotationBetween(ProjPoint(1.0, 0.0, 0.0, 1.0), ProjPoint(dx, dy, dz, 1.0));
    return r;
}

ProjTransform LocalPlacement::transform(Kind kind) const {
    if (kind == Identity) return ProjTransform::identity();
    ProjTransform toward;
    toward.setTranslationBy(-distance, 0.0, 0.0);
    const ProjTransform forward = toward * rotation();
    return kind == Inverse ? forward.inverse() : forward;
}

}  // namespace orvo
