// Points of 3-D hyperbolic space in homogeneous coordinates (projective ball model).
#pragma once

namespace orvo {

/// ln(x + sqrt(x*x - 1)); no domain check.
double acosh(double x);
/// ln(x + sqrt(x*x + 1)); no domain check.
double asinh(double x);

/// A point (x, y, z, w); the origin is (0, 0, 0, 1). A plain value: never allocates.
/// The operations ending in 3 treat the point as a 3-vector and ignore w.
struct ProjPoint {
    double x = 0.0, y = 0.0, z = 0.0, w = 1.0;

    constexpr ProjPoint() = default;
    constexpr ProjPoint(double x_, double y_, double z_, double w_) : x(x_), y(y_), z(z_), w(w_) {}

    /// x*q.x + y*q.y + z*q.z - w*q.w: the hyperbolic form.
    double minkowskiDot(const ProjPoint& q) const;
    double dot3(const ProjPoint& q) const;
    /// (y*q.z - z*q.y, z*q.x - x*q.z, x*q.y - y*q.x, 1)
    ProjPoint cross3(const ProjPoint& q) const;
    double norm3() const;
    void scale3(double s);
    /// (x - q.x, y - q.y, z - q.z, 1)
    ProjPoint minus3(const ProjPoint& q) const;
    /// Unit length; a zero or already unit vector is left as it is.
    void normalize3();
    /// Divides by w unless w is exactly 0 or 1.
    void dehomogenize();
    /// Scales so that the form of the point with itself is -1.
    void normalizeHyperbolic();
    /// Euclidean distance of the two dehomogenised points; 0.0 when a w is zero.
    double euclideanDistance(const ProjPoint& q) const;
    /// Hyperbolic distance (with the fallbacks 0.0, acosh(9999) and 1.0 for degenerate input).
    double distance(const ProjPoint& q) const;
};

/// The point dehomogenised, as a new value.
inline ProjPoint dehomogenized(ProjPoint p) {
    p.dehomogenize();
    return p;
}

}  // namespace orvo
