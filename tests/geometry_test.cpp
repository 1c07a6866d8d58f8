// Points, transforms and quaternions of hyperbolic space.
#include <gtest/gtest.h>

#include <cmath>

#include "geometry/proj_point.h"
#include "geometry/proj_transform.h"
#include "geometry/quaternion.h"

using namespace orvo;

namespace {
void expectPoint(const ProjPoint& p, const ProjPoint& q, double eps) {
    EXPECT_NEAR(p.x, q.x, eps);
    EXPECT_NEAR(p.y, q.y, eps);
    EXPECT_NEAR(p.z, q.z, eps);
    EXPECT_NEAR(p.w, q.w, eps);
}
void expectIdentity(const ProjTransform& t, double eps) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(t.m[i], i % 5 == 0 ? 1.0 : 0.0, eps) << i;
}
}  // namespace

TEST(ProjPoint, DehomogenizeNormalizeAndDistances) {
    // Points at infinity and the zero vector are left alone.
    const std::pair<ProjPoint, ProjPoint> dehomogenized[] = {{{2, 4, 6, 2}, {1, 2, 3, 1}},
                                                             {{2, 4, 6, 0}, {2, 4, 6, 0}}};
    for (auto [p, expected] : dehomogenized) expectPoint((p.dehomogenize(), p), expected, 1e-12);
    const std::pair<ProjPoint, ProjPoint> normalized[] = {{{0, 0, 0, 5}, {0, 0, 0, 5}},
                                                          {{0, 1, 0, 7}, {0, 1, 0, 7}},
                                                          {{0, 3, 4, 7}, {0, 0.6, 0.8, 7}}};
    for (auto [p, expected] : normalized) expectPoint((p.normalize3(), p), expected, 1e-12);

    const ProjPoint o;
    EXPECT_EQ(o.distance(o), 0.0);
    EXPECT_NEAR(o.distance(ProjPoint(0, 0, 0, 0)), std::acosh(9999.0), 1e-12);
    const ProjPoint a(0.3, 0.1, 0, 1), b(-0.2, 0.4, 0.1, 1);
    EXPECT_GT(a.distance(b), 0.0);
    EXPECT_DOUBLE_EQ(a.distance(b), b.distance(a));
    EXPECT_NEAR(ProjPoint(1, 2, 3, 1).euclideanDistance(ProjPoint(2, 4, 6, 2)), 0.0, 1e-15);
    EXPECT_EQ(ProjPoint(1, 2, 3, 0).euclideanDistance(ProjPoint(1, 1, 1, 1)), 0.0);
}

TEST(ProjTransform, TranslationsRotationsAndInverses) {
    expectPoint(ProjTransform::identity().apply(ProjPoint(1, 2, 3, 4)), {1, 2, 3, 4}, 0);
    ProjTransform t;
    t.setTranslationTo(ProjPoint(0.5, 0, 0, 1));
    expectPoint(dehomogenized(t.apply(ProjPoint())), {0.5, 0, 0, 1}, 1e-12);
    EXPECT_NEAR(ProjPoint().distance(t.apply(ProjPoint())), std::atanh(0.5), 1e-12);
    for (double d : {0.1, 1.0, 3.0}) {
        t.setTranslationBy(d, 0, 0);
        expectPoint(dehomogenized(t.apply(ProjPoint())), {std::tanh(d), 0, 0, 1}, 1e-12);
        expectIdentity(t * t.inverse(), 1e-9);
    }
    t.setTranslationBy(0, 0, 0);
    expectIdentity(t, 0);
    t.setTranslationBy(0.3, -0.7, 0.2);
    expectIdentity(t * t.inverse(), 1e-12);

    ProjTransform r;
    r.setRotationBetween(ProjPoint(1, 0, 0, 1), ProjPoint(0, 1, 0, 1));
    expectPoint(r.apply(ProjPoint(1, 0, 0, 1)), {0, 1, 0, 1}, 1e-15);
    r.setRotationBetween(ProjPoint(1, 0, 0, 1), ProjPoint(-2, 0, 0, 1));
    expectIdentity(r, 0);  // opposite directions: no rotation
    r.setRotationBetween(ProjPoint(0, 0, 0, 1), ProjPoint(1, 0, 0, 1));
    expectIdentity(r, 0);  // a zero direction: none either
    r.setRotation(M_PI / 2, ProjPoint(0, 0, 1, 1));
    expectPoint(r.apply(ProjPoint(1, 0, 0, 1)), {0, 1, 0, 1}, 1e-15);
    expectIdentity(r * r.inverse(), 1e-15);
    r.setRotationToZ(ProjPoint(0.3, -0.4, 0.5, 1));
    expectPoint(r.apply(ProjPoint(0.3, -0.4, 0.5, 1)), {0, 0, std::sqrt(0.5), 1}, 1e-15);

    // The first column's largest element is in row 2: without pivoting the elimination would
    // divide by the zero in row 0.
    ProjTransform m = ProjTransform::identity();
    m.at(0, 0) = 0.0, m.at(0, 1) = 1.0, m.at(1, 0) = 0.5, m.at(1, 1) = 0.0, m.at(1, 2) = 1.0;
    m.at(2, 0) = 3.0, m.at(2, 2) = 0.0, m.at(2, 1) = 0.2;
    expectIdentity(m * m.inverse(), 1e-14);
    expectIdentity(m.inverse() * m, 1e-14);

    ProjTransform s;
    s.setEuclideanScale(2, 3, 4);
    expectPoint(s.apply(ProjPoint(1, 1, 1, 1)), {2, 3, 4, 1}, 0);
    s.setEuclideanTranslation(ProjPoint(2, 4, 6, 2));
    expectPoint(s.apply(ProjPoint(0, 0, 0, 1)), {1, 2, 3, 1}, 0);
}

TEST(Quaternion, MatrixConversionsSlerpAndAlign) {
    expectIdentity(Quaternion().toMatrix(), 0);
    expectIdentity(Quaternion{0, 0, 0, 2}.toMatrix(), 1e-15);
    ProjTransform r;
    r.setRotation(0.7, ProjPoint(0, 0, 1, 1));
    const ProjTransform m = Quaternion{0, 0, std::sin(0.35), std::cos(0.35)}.toMatrix();
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(m.m[i], r.m[i], 1e-15);
    ProjTransform halfTurn = ProjTransform::identity();
    halfTurn.at(1, 1) = halfTurn.at(2, 2) = -1;
    Quaternion h;
    h.fromMatrix(halfTurn);
    expectPoint({h.x, h.y, h.z, h.w}, {1, 0, 0, 0}, 0);
    const double n = std::sqrt(0.36 + 0.25 + 0.16 + 0.09);
    const ProjTransform qm = Quaternion{0.6 / n, 0.5 / n, 0.4 / n, 0.3 / n}.toMatrix();
    EXPECT_NEAR(qm.at(0, 0) + qm.at(1, 1) + qm.at(2, 2), -0.5814, 1e-4);
    Quaternion back;
    back.fromMatrix(qm);
    expectPoint({back.x, back.y, back.z, back.w}, {0.646997, 0.539164, 0.431331, 0.323498}, 1e-6);

    const Quaternion q0, q1{0, std::sin(0.4), 0, std::cos(0.4)};
    const Quaternion a = q1.slerp(q0, 0.0f), b = q1.slerp(q0, 1.0f), mid = q1.slerp(q0, 0.5f);
    EXPECT_NEAR(a.w, 1.0, 1e-15);
    expectPoint({b.x, b.y, b.z, b.w}, {q1.x, q1.y, q1.z, q1.w}, 1e-15);
    EXPECT_NEAR(mid.y, std::sin(0.2), 1e-12);
    const Quaternion same = q1.slerp(q1, 0.3f);
    expectPoint({same.x, same.y, same.z, same.w}, {q1.x, q1.y, q1.z, q1.w}, 1e-12);
    Quaternion flipped{0, 0, 0.6, -0.8};
    EXPECT_NEAR(flipped.alignToIdentity(), 3.6, 1e-12);
    expectPoint({flipped.x, flipped.y, flipped.z, flipped.w}, {0, 0, -0.6, 0.8}, 0);
    Quaternion i;
    EXPECT_EQ(i.alignToIdentity(), 0.0);
    EXPECT_EQ(i.w, 1.0);
}
