// Rotation quaternions, used to interpolate view orientations during animated moves.
#pragma once

#include "geometry/proj_transform.h"

namespace orvo {

struct Quaternion {
    double x = 0.0, y = 0.0, z = 0.0, w = 1.0;

    /// Rotation matrix (upper 3x3 block; row and column 3 are those of the identity).
    ProjTransform toMatrix() const;
    /// In place: this becomes the quaternion of m's upper 3x3 rotation block.
    void fromMatrix(const ProjTransform& m);
    /// Between q0 (t = 0) and this (t = 1).
    Quaternion slerp(const Quaternion& q0, float t) const;
    /// Negates this when that brings it nearer the identity; returns the squared distance from the
    /// identity as it was on entry.
    double alignToIdentity();
};

}  // namespace orvo
