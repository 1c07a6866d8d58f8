#include "geometry/quaternion.h"

#include <cmath>

namespace orvo {

ProjTransform Quaternion::toMatrix() const {
    const double n = x * x + y * y + z * z + w * w;
    const double s = 2.0 / n;
    const double xs = x * s, ys = y * s, zs = z * s;
    const double wx = w * xs, wy = w * ys, wz = w * zs;
    const double xx = x * xs, xy = x * ys, xz = x * zs;
    const double yy = y * ys, yz = y * zs, zz = z * zs;
    ProjTransform t = ProjTransform::identity();
    t.at(0, 0) = 1.0 - (yy + zz);
    t.at(0, 1) = xy + wz;
    t.at(0, 2) = xz - wy;
    t.at(1, 0) = xy - wz;
    t.at(1, 1) = 1.0 - (xx + zz);
    t.at(1, 2) = yz + wx;
    t.at(2, 0) = xz + wy;
    t.at(2, 1) = yz - wx;
    t.at(2, 2) = 1.0 - (xx + yy);
    return t;
}

void Quaternion::fromMatrix(const ProjTransform& m) {
    const double trace = m.at(0, 0) + m.at(1, 1) + m.at(2, 2);
    if (trace > 0.0) {
        const double r = std::sqrt(trace + 1.0);
        w = r * 0.5;
        const double f = 0.5 / r;
        x = (m.at(1, 2) - m.at(2, 1)) * f;
        y = (m.at(2, 0) - m.at(0, 2)) * f;
        z = (m.at(0, 1) - m.at(1, 0)) * f;
        return;
    }
    static constexpr int kNext[3] = {1, 2, 0};  // the axis that follows axis i in cyclic order
    int i = 0;
    if (m.at(1, 1) > m.at(0, 0)) i = 1;
    if (m.at(2, 2) > m.at(i, i)) i = 2;
    const int j = kNext[i];
    const int k = kNext[j];
    double q[3];
    const double r = std::sqrt((m.at(i, i) - (m.at(j, j) + m.at(k, k))) + 1.0);
    q[i] = r * 0.5;
    const double f = 0.5 / r;
    w = (m.at(j, k) - m.at(k, j)) * f;
    q[j] = (m.at(i, j) + m.at(j, i)) * f;
    q[k] = (m.at(i, k) + m.at(k, i)) * f;
    x = q[0];
    y = q[1];
    z = q[2];
}

Quaternion Quaternion::slerp(const Quaternion& q0, float t) const {
    const double c = x * q0.x + y * q0.y + z * q0.z + w * q0.w;
    double s0, s1;
    if (1.0 + c > 1e-5) {
        if (1.0 - c > 1e-5) {
            const double omega = std::acos(c);
            const double so = std::sin(omega);
            s0 = std::sin((1.0 - t) * omega) / so;
            s1 = std::sin(t * omega) / so;
        } else {
            s0 = 1.0 - t;
            s1 = t;
        }
    } else {
        // Nearly opposite: no caller reaches this (the start is the identity and the target has
        // been aligned to it). Turn through a perpendicular quaternion so the result stays a
        // unit rotation.
        const Quaternion perp{-q0.y, q0.x, -q0.w, q0.z};
        const double half = 1.5707963705062866;  // pi/2 in single precision
        s0 = std::sin((1.0 - t) * half);
        s1 = std::sin(t * half);
        return {s0 * q0.x + s1 * perp.x, s0 * q0.y + s1 * perp.y, s0 * q0.z + s1 * perp.z,
                s0 * q0.w + s1 * perp.w};
    }
    return {s0 * q0.x + s1 * x, s0 * q0.y + s1 * y, s0 * q0.z + s1 * z, s0 * q0.w + s1 * w};
}

double Quaternion::alignToIdentity() {
    const double a = x * x + y * y + z * z + (1.0 - w) * (1.0 - w);
    const double b = x * x + y * y + z * z + (1.0 + w) * (1.0 + w);
    if (a > b) {
        x = -x;
        y = -y;
        z = -z;
        w = -w;
    }
    return a;
}

}  // namespace orvo
