// Points, transforms and quaternions of hyperbolic space.
#include <gtest/gtest.h>

#include <cmath>

#include "geometry/proj_point.h"
#include "geometry/proj_transform.h"
#include "geometry/quaternion.h"

using namespace orvo;

namespace {
void expectPoint(const ProjPoint& p, double x, double y, double z, double w, double eps = 1e-12) {
    EXPECT_NEAR(p.x, x, eps);
    EXPECT_NEAR(p.y, y, eps);
    EXPECT_NEAR(p.z, z, eps);
    EXPECT_NEAR(p.w, w, eps);
}
void expectIdentity(const ProjTransform& t, double eps) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_NEAR(t.at(i, j), i == j ? 1.0 : 0.0, eps) << i << "," << j;
}
}  // namespace

TEST(ProjPoint, DehomogenizeAndNormalizeLeaveDegenerateInputAlone) {
    ProjPoint p(2, 4, 6, 2);
    p.dehomogenize();
    expectPoint(p, 1, 2, 3, 1);
    ProjPoint q(2, 4, 6, 0);
    q.dehomogenize();
    expectPoint(q, 2, 4, 6, 0);
    ProjPoint zero(0, 0, 0, 5);
    zero.normalize3();
    expectPoint(zero, 0, 0, 0, 5);
    ProjPoint unit(0, 1, 0, 7);
    unit.normalize3();
    expectPoint(unit, 0, 1, 0, 7);
}

TEST(ProjPoint, DistanceSpecialCases) {
    const ProjPoint o;
    EXPECT_EQ(o.distance(o), 0.0);
    EXPECT_NEAR(o.distance(ProjPoint(0, 0, 0, 0)), std::acosh(9999.0), 1e-12);
    EXPECT_NEAR(o.distance(ProjPoint(0, 0, 0, 0)), 9.9034, 1e-4);
    const ProjPoint a(0.3, 0.1, 0, 1), b(-0.2, 0.4, 0.1, 1);
    EXPECT_GT(a.distance(b), 0.0);
    EXPECT_DOUBLE_EQ(a.distance(b), b.distance(a));
    EXPECT_NEAR(ProjPoint(1, 2, 3, 1).euclideanDistance(ProjPoint(2, 4, 6, 2)), 0.0, 1e-15);
    EXPECT_EQ(ProjPoint(1, 2, 3, 0).euclideanDistance(ProjPoint(1, 1, 1, 1)), 0.0);
}

TEST(ProjTransform, ApplyNeverDividesAndTranslationsMoveTheOrigin) {
    const ProjTransform id = ProjTransform::identity();
    expectPoint(id.apply(ProjPoint(1, 2, 3, 4)), 1, 2, 3, 4, 0);

    ProjTransform t;
    t.setTranslationTo(ProjPoint(0.5, 0, 0, 1));
    const ProjPoint p = t.apply(ProjPoint());
    expectPoint(dehomogenized(p), 0.5, 0, 0, 1);
    EXPECT_NEAR(ProjPoint().distance(p), std::atanh(0.5), 1e-12);
    EXPECT_NEAR(ProjPoint().distance(p), 0.5493, 1e-4);

    for (double d : {0.1, 1.0, 3.0}) {
        t.setTranslationBy(d, 0, 0);
        expectPoint(dehomogenized(t.apply(ProjPoint())), std::tanh(d), 0, 0, 1, 1e-12);
        expectIdentity(t * t.inverse(), 1e-9);
    }
    t.setTranslationBy(0, 0, 0);
    expectIdentity(t, 0);
    t.setTranslationBy(0.3, -0.7, 0.2);
    expectIdentity(t * t.inverse(), 1e-12);
}

TEST(ProjTransform, Rotations) {
    ProjTransform r;
    r.setRotationBetween(ProjPoint(1, 0, 0, 1), ProjPoint(0, 1, 0, 1));
    expectPoint(r.apply(ProjPoint(1, 0, 0, 1)), 0, 1, 0, 1, 1e-15);
    r.setRotationBetween(ProjPoint(1, 0, 0, 1), ProjPoint(-2, 0, 0, 1));
    expectIdentity(r, 0);
    r.setRotationBetween(ProjPoint(0, 0, 0, 1), ProjPoint(1, 0, 0, 1));
    expectIdentity(r, 0);
    r.setRotation(M_PI / 2, ProjPoint(0, 0, 1, 1));
    expectPoint(r.apply(ProjPoint(1, 0, 0, 1)), 0, 1, 0, 1, 1e-15);
    expectIdentity(r * r.inverse(), 1e-15);
    r.setRotationToZ(ProjPoint(0.3, -0.4, 0.5, 1));
    const ProjPoint z = r.apply(ProjPoint(0.3, -0.4, 0.5, 1));
    expectPoint(z, 0, 0, std::sqrt(0.5), 1, 1e-15);
}

TEST(ProjTransform, InvertPivotsOnTheLargestElement) {
    // The first column's largest element is in row 2: without pivoting the elimination would
    // divide by the zero in row 0.
    ProjTransform m = ProjTransform::identity();
    m.at(0, 0) = 0.0; m.at(0, 1) = 1.0;
    m.at(1, 0) = 0.5; m.at(1, 1) = 0.0; m.at(1, 2) = 1.0;
    m.at(2, 0) = 3.0; m.at(2, 2) = 0.0; m.at(2, 1) = 0.2;
    expectIdentity(m * m.inverse(), 1e-14);
    expectIdentity(m.inverse() * m, 1e-14);
}

TEST(ProjTransform, EuclideanHelpers) {
    ProjTransform s;
    s.setEuclideanScale(2, 3, 4);
    expectPoint(s.apply(ProjPoint(1, 1, 1, 1)), 2, 3, 4, 1, 0);
    ProjTransform t;
    t.setEuclideanTranslation(ProjPoint(2, 4, 6, 2));
    expectPoint(t.apply(ProjPoint(0, 0, 0, 1)), 1, 2, 3, 1, 0);
}

TEST(Quaternion, MatrixConversions) {
    Quaternion id;
    expectIdentity(id.toMatrix(), 0);
    expectIdentity(Quaternion{0, 0, 0, 2}.toMatrix(), 1e-15);

    const double a = 0.7;
    const Quaternion qz{0, 0, std::sin(a / 2), std::cos(a / 2)};
    ProjTransform r;
    r.setRotation(a, ProjPoint(0, 0, 1, 1));
    const ProjTransform m = qz.toMatrix();
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(m.m[i], r.m[i], 1e-15);

    ProjTransform halfTurn = ProjTransform::identity();
    halfTurn.at(1, 1) = -1;
    halfTurn.at(2, 2) = -1;
    Quaternion h;
    h.fromMatrix(halfTurn);
    EXPECT_DOUBLE_EQ(h.x, 1.0);
    EXPECT_DOUBLE_EQ(h.y, 0.0);
    EXPECT_DOUBLE_EQ(h.z, 0.0);
    EXPECT_DOUBLE_EQ(h.w, 0.0);

    const double n = std::sqrt(0.36 + 0.25 + 0.16 + 0.09);
    const Quaternion q{0.6 / n, 0.5 / n, 0.4 / n, 0.3 / n};
    const ProjTransform qm = q.toMatrix();
    EXPECT_NEAR(qm.at(0, 0) + qm.at(1, 1) + qm.at(2, 2), -0.5814, 1e-4);
    Quaternion back;
    back.fromMatrix(qm);
    EXPECT_NEAR(back.x, 0.646997, 1e-6);
    EXPECT_NEAR(back.y, 0.539164, 1e-6);
    EXPECT_NEAR(back.z, 0.431331, 1e-6);
    EXPECT_NEAR(back.w, 0.323498, 1e-6);
}

TEST(Quaternion, SlerpAndAlign) {
    const Quaternion q0;
    const Quaternion q1{0, std::sin(0.4), 0, std::cos(0.4)};
    const Quaternion a = q1.slerp(q0, 0.0f), b = q1.slerp(q0, 1.0f);
    EXPECT_NEAR(a.w, 1.0, 1e-15);
    EXPECT_NEAR(b.y, q1.y, 1e-15);
    EXPECT_NEAR(b.w, q1.w, 1e-15);
    const Quaternion mid = q1.slerp(q0, 0.5f);
    EXPECT_NEAR(mid.y, std::sin(0.2), 1e-12);
    const Quaternion same = q1.slerp(q1, 0.3f);
    EXPECT_NEAR(same.y, q1.y, 1e-12);
    EXPECT_NEAR(same.w, q1.w, 1e-12);

    Quaternion n{0, 0, 0.6, -0.8};
    EXPECT_NEAR(n.alignToIdentity(), 3.6, 1e-12);
    EXPECT_DOUBLE_EQ(n.z, -0.6);
    EXPECT_DOUBLE_EQ(n.w, 0.8);
    Quaternion i;
    EXPECT_EQ(i.alignToIdentity(), 0.0);
    EXPECT_EQ(i.w, 1.0);
}
