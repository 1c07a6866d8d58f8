// Points, transforms and quaternions of hyperbolic space, against tests/data/geometry_cases.txt.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "geometry/proj_point.h"
#include "geometry/proj_transform.h"
#include "geometry/quaternion.h"
#include "tests/graph_test_support.h"

using namespace orvo;
using namespace orvo::testing;

namespace {

std::string shown(std::initializer_list<double> values) {
    std::string out;
    char number[32];
    for (const double v : values) {
        std::snprintf(number, sizeof number, "%.12g", std::fabs(v) < 1e-12 ? 0.0 : v);
        out += (out.empty() ? "" : " ") + std::string(number);
    }
    return out;
}
std::string shown(const ProjPoint& p) { return shown({p.x, p.y, p.z, p.w}); }
std::string shown(const Quaternion& q) { return shown({q.x, q.y, q.z, q.w}); }
std::string shown(const ProjTransform& t) {
    std::string out;
    for (int r = 0; r < 4; ++r)
        out += (r ? " " : "") + shown({t.at(r, 0), t.at(r, 1), t.at(r, 2), t.at(r, 3)});
    return out;
}

std::vector<double> numbers(std::istream& in) {
    std::vector<double> v;
    for (double d; in >> d;) v.push_back(d);
    v.resize(16);
    return v;
}
ProjPoint point(const std::string& text) {
    std::istringstream in(text);
    const std::vector<double> v = numbers(in);
    return {v[0], v[1], v[2], v[3]};
}

ProjTransform transform(const std::string& text) {
    std::istringstream in(text);
    std::string kind;
    in >> kind;
    const std::vector<double> v = numbers(in);
    const ProjPoint p(v[0], v[1], v[2], v[3]), q(v[4], v[5], v[6], v[7]);
    ProjTransform t = ProjTransform::identity();
    if (kind == "translate-to") t.setTranslationTo(p);
    if (kind == "translate-by") t.setTranslationBy(v[0], v[1], v[2]);
    if (kind == "rotate-between") t.setRotationBetween(p, q);
    if (kind == "rotate") t.setRotation(v[0], ProjPoint(v[1], v[2], v[3], v[4]));
    if (kind == "rotate-to-z") t.setRotationToZ(p);
    if (kind == "scale") t.setEuclideanScale(v[0], v[1], v[2]);
    if (kind == "move") t.setEuclideanTranslation(p);
    if (kind == "quaternion") t = Quaternion{v[0], v[1], v[2], v[3]}.toMatrix();
    for (int i = 0; kind == "rows" && i < 16; ++i) t.at(i / 4, i % 4) = v[i];
    return t;
}

std::string answer(const std::string& question) {
    const Strings f = fields(question);
    const std::string& op = f[0];
    if (op == "dehomogenize") return shown(dehomogenized(point(f[1])));
    if (op == "normalize3") {
        ProjPoint p = point(f[1]);
        p.normalize3();
        return shown(p);
    }
    if (op == "distance") return shown({point(f[1]).distance(point(f[2]))});
    if (op == "euclidean") return shown({point(f[1]).euclideanDistance(point(f[2]))});
    if (op == "apply") return shown(transform(f[1]).apply(point(f[2])));
    if (op == "place") return shown(dehomogenized(transform(f[1]).apply(ProjPoint())));
    if (op == "reach") return shown({ProjPoint().distance(transform(f[1]).apply(ProjPoint()))});
    if (op == "matrix") return shown(transform(f[1]));
    if (op == "product") return shown(transform(f[1]) * transform(f[1]).inverse());
    if (op == "product-left") return shown(transform(f[1]).inverse() * transform(f[1]));
    const ProjPoint a = point(f[1]), b = point(f.size() > 2 ? f[2] : "");
    Quaternion q{a.x, a.y, a.z, a.w};
    if (op == "slerp") return shown(q.slerp({b.x, b.y, b.z, b.w}, std::stof(f[3])));
    const double toIdentity = op == "align" ? q.alignToIdentity() : 0.0;
    if (op == "align") return shown({toIdentity}) + " | " + shown(q);
    if (op != "from-matrix") return "no such operation";
    q.fromMatrix(transform(f[1]));
    return shown(q);
}

}  // namespace

TEST(Geometry, CasesGiveTheirResults) { EXPECT_TRUE(answersMatch("geometry_cases.txt", answer)); }
