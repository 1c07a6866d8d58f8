#include "geometry/proj_transform.h"

#include <cmath>
#include <utility>

namespace orvo {

ProjTransform ProjTransform::identity() {
    ProjTransform t;
    t.setIdentity();
    return t;
}

void ProjTransform::setIdentity() {
    for (int i = 0; i < 16; ++i) m[i] = (i % 5 == 0) ? 1.0 : 0.0;
}

ProjTransform ProjTransform::operator*(const ProjTransform& b) const {
    ProjTransform r;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            r.m[4 * i + j] = m[4 * i] * b.m[j] + m[4 * i + 1] * b.m[4 + j] +
                             m[4 * i + 2] * b.m[8 + j] + m[4 * i + 3] * b.m[12 + j];
        }
    }
    return r;
}

ProjPoint ProjTransform::apply(const ProjPoint& p) const {
    return {p.x * m[0] + p.y * m[4] + p.z * m[8] + p.w * m[12],
            p.x * m[1] + p.y * m[5] + p.z * m[9] + p.w * m[13],
            p.x * m[2] + p.y * m[6] + p.z * m[10] + p.w * m[14],
            p.x * m[3] + p.y * m[7] + p.z * m[11] + p.w * m[15]};
}

void ProjTransform::invert() {
    double a[16];
    for (int i = 0; i < 16; ++i) a[i] = m[i];
    ProjTransform x = identity();
    auto A = [&a](int r, int c) -> double& { return a[4 * r + c]; };
    // Forward elimination with partial pivoting (first row wins ties).
    for (int i = 0; i < 4; ++i) {
        int best = i;
        double bestSq = A(i, i) * A(i, i);
        for (int r = i + 1; r < 4; ++r) {
            const double sq = A(r, i) * A(r, i);
            if (sq > bestSq) {
                bestSq = sq;
                best = r;
            }
        }
        if (best != i) {
            for (int c = 0; c < 4; ++c) {
                std::swap(A(i, c), A(best, c));
                std::swap(x.at(i, c), x.at(best, c));
            }
        }
        for (int r = i + 1; r < 4; ++r) {
            const double f = A(r, i) / A(i, i);
            for (int c = 0; c < 4; ++c) {
                A(r, c) -= f * A(i, c);
                x.at(r, c) -= f * x.at(i, c);
            }
        }
    }
    for (int i = 0; i < 4; ++i) {
        const double d = A(i, i);
        for (int c = 0; c < 4; ++c) {
            A(i, c) /= d;
            x.at(i, c) /= d;
        }
    }
    for (int i = 3; i >= 1; --i) {
        for (int r = i - 1; r >= 0; --r) {
            const double f = A(r, i);
            for (int c = 0; c < 4; ++c) {
                A(r, c) -= f * A(i, c);
                x.at(r, c) -= f * x.at(i, c);
            }
        }
    }
    *this = x;
}

ProjTransform ProjTransform::inverse() const {
    ProjTransform t = *this;
    t.invert();
    return t;
}

namespace {
// Fills the upper 3x3 block of a rotation by (c = cos, s = sin) about the unit axis (x, y, z).
void fillRotation(ProjTransform& t, double x, double y, double z, double s, double c) {
    const double k = 1.0 - c;
    t.setIdentity();
    t.at(0, 0) = x * x * k + c;
    t.at(0, 1) = x * y * k + z * s;
    t.at(0, 2) = x * z * k - y * s;
    t.at(1, 0) = x * y * k - z * s;
    t.at(1, 1) = y * y * k + c;
    t.at(1, 2) = y * z * k + x * s;
    t.at(2, 0) = x * z * k + y * s;
    t.at(2, 1) = y * z * k - x * s;
    t.at(2, 2) = z * z * k + c;
}
}  // namespace

void ProjTransform::setRotation(double angle, const ProjPoint& axis) {
    ProjPoint u = axis;
    u.normalize3();
    fillRotation(*this, u.x, u.y, u.z, std::sin(angle), std::cos(angle));
}

void ProjTransform::setRotationBetween(const ProjPoint& a, const ProjPoint& b) {
    setIdentity();
    const double den = std::sqrt(b.dot3(b) * a.dot3(a));
    if (den == 0.0) return;
    const double c = a.dot3(b) / den;
    ProjPoint axis = a.cross3(b);
    const double s = axis.norm3() / den;
    if (s == 0.0) return;
    axis.scale3(1.0 / (s * den));
    fillRotation(*this, axis.x, axis.y, axis.z, s, c);
}

void ProjTransform::setRotationToZ(const ProjPoint& p) {
    ProjTransform m1 = identity();
    const double r1 = std::sqrt(p.y * p.y + p.z * p.z);
    if (r1 > 0.0) {
        m1.at(1, 1) = p.z / r1;
        m1.at(1, 2) = p.y / r1;
        m1.at(2, 1) = -p.y / r1;
        m1.at(2, 2) = p.z / r1;
    }
    ProjTransform m2 = identity();
    const double r2 = std::sqrt(p.x * p.x + r1 * r1);
    if (r2 > 0.0) {
        m2.at(0, 0) = r1 / r2;
        m2.at(0, 2) = p.x / r2;
        m2.at(2, 0) = -p.x / r2;
        m2.at(2, 2) = r1 / r2;
    }
    *this = m1 * m2;
}

void ProjTransform::setTranslationTo(const ProjPoint& p) {
    ProjPoint q = p;
    q.normalizeHyperbolic();
    const double r = q.norm3();
    const double w = q.w;
    ProjTransform boost = identity();
    boost.at(2, 2) = w;
    boost.at(2, 3) = r;
    boost.at(3, 2) = r;
    boost.at(3, 3) = w;
    ProjTransform rot;
    rot.setRotationToZ(q);
    const ProjTransform rotInv = rot.inverse();
    *this = rot * boost * rotInv;
}

void ProjTransform::setTranslationBy(double vx, double vy, double vz) {
    const double l = std::sqrt(vx * vx + vy * vy + vz * vz);
    if (!(l > 0.0)) {
        setIdentity();
        return;
    }
    const double k = std::sinh(l) / l;
    setTranslationTo(ProjPoint(vx * k, vy * k, vz * k, std::cosh(l)));
}

void ProjTransform::setEuclideanScale(double sx, double sy, double sz) {
    setIdentity();
    at(0, 0) = sx;
    at(1, 1) = sy;
    at(2, 2) = sz;
}

void ProjTransform::setEuclideanTranslation(double x, double y, double z) {
    setIdentity();
    at(3, 0) = x;
    at(3, 1) = y;
    at(3, 2) = z;
}

void ProjTransform::setEuclideanTranslation(const ProjPoint& p) {
    setEuclideanTranslation(p.x / p.w, p.y / p.w, p.z / p.w);
}

}  // namespace orvo
