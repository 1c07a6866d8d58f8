#include "render/projection_matrices.h"

#include <cmath>

namespace orvo {

namespace {

double single(double v) { return static_cast<double>(static_cast<float>(v)); }

}  // namespace

ProjTransform perspectiveMatrix(double fovyDegrees, double aspect, double zNear, double zFar) {
    constexpr double kPi = 3.14159265358979323846;
    const double radians = fovyDegrees / 2.0 * kPi / 180.0;
    const double depth = zFar - zNear;
    const double cotangent = std::cos(radians) / std::sin(radians);
    ProjTransform p = ProjTransform::identity();
    p.m[0] = single(cotangent / aspect);
    p.m[5] = single(cotangent);
    p.m[10] = single(-(zFar + zNear) / depth);
    p.m[11] = -1.0;
    p.m[14] = single(-2.0 * zNear * zFar / depth);
    p.m[15] = 0.0;
    return p;
}

ProjTransform cameraAtDistance(double distance) {
    ProjTransform camera = ProjTransform::identity();
    camera.m[14] = single(-distance);
    return camera;
}

}  // namespace orvo
