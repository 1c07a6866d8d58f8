// 4x4 transforms of hyperbolic space. Points are row vectors, so A * B applies A first; the
// sixteen values are stored row by row, which is exactly the array OpenGL's matrix calls expect.
#pragma once

#include "geometry/proj_point.h"

namespace orvo {

struct ProjTransform {
    /// Element (row i, column j) at m[4*i + j]. Left unset by construction: call a set operation.
    double m[16];

    double& at(int i, int j) { return m[4 * i + j]; }
    double at(int i, int j) const { return m[4 * i + j]; }

    static ProjTransform identity();

    void setIdentity();
    /// this * b (this first, then b).
    ProjTransform operator*(const ProjTransform& b) const;
    /// p * this, all four components, no division by w.
    ProjPoint apply(const ProjPoint& p) const;
    /// In place, Gauss-Jordan with partial pivoting; no singularity test.
    void invert();
    /// The inverse as a new value.
    ProjTransform inverse() const;

    /// Rotation by angle (radians) about axis (x, y, z) through the origin, right-handed.
    void setRotation(double angle, const ProjPoint& axis);
    /// Smallest rotation carrying the direction of a onto that of b; identity when degenerate
    /// or when a and b are parallel or opposite.
    void setRotationBetween(const ProjPoint& a, const ProjPoint& b);
    /// Rotation carrying the direction of p onto +z.
    void setRotationToZ(const ProjPoint& p);
    /// Hyperbolic translation carrying the origin to p along the geodesic through both.
    void setTranslationTo(const ProjPoint& p);
    /// Hyperbolic translation moving the origin the distance |v| in the direction of v.
    void setTranslationBy(double vx, double vy, double vz);
    void setEuclideanScale(double sx, double sy, double sz);
    void setEuclideanTranslation(double x, double y, double z);
    /// Translation by the dehomogenised p.
    void setEuclideanTranslation(const ProjPoint& p);
};

}  // namespace orvo
