// The fixed orientation of the view: a node brought to the centre has its reference point, and
// so its tree parent, towards the left and a little above.
#pragma once

#include "geometry/proj_point.h"
#include "geometry/proj_transform.h"

namespace orvo {

constexpr ProjPoint kReferencePoint{0.9, -0.2, 0.0, 1.0};

/// The rotation from the direction of -kReferencePoint onto kReferencePoint: the two are
/// opposite, so this is the identity.
inline ProjTransform homeRotation() {
    ProjTransform r;
    r.setRotationBetween(ProjPoint().minus3(kReferencePoint), kReferencePoint);
    return r;
}

}  // namespace orvo
