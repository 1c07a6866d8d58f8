// Vertices of the boundary sphere's wireframe.
#include "render/sphere_wireframe.h"

#include <cmath>

namespace orvo {

namespace {

// Steps a float from `first` while it stays below `bound`: each step adds to the float, the sum
// is compared unrounded and then stored rounded to single precision.
template <typename Visit>
void floatSteps(float first, float step, double bound, Visit visit) {
    for (float v = first; v < bound;) {
        visit(v);
        const double next = static_cast<double>(v) + static_cast<double>(step);
        if (!(next < bound)) break;
        v = static_cast<float>(next);
    }
}

constexpr float kThetaStep = 0.1f;
constexpr double kThetaBound = 6.28;

}  // namespace

std::vector<SphereLoop> sphereWireframeLoops() {
    std::vector<SphereLoop> loops;
    floatSteps(0.0f, 0.26166666f, 3.14, [&](float phi) {
        SphereLoop& loop = loops.emplace_back();
        const double y = std::cos(phi), r = std::sin(phi);
        floatSteps(0.0f, kThetaStep, kThetaBound, [&](float theta) {
            loop.push_back({static_cast<float>(r * std::cos(theta)), static_cast<float>(y),
                            static_cast<float>(r * std::sin(theta))});
        });
    });
    floatSteps(-0.35f, 0.785f, 3.14, [&](float psi) {
        SphereLoop& loop = loops.emplace_back();
        floatSteps(0.0f, kThetaStep, kThetaBound, [&](float theta) {
            loop.push_back({static_cast<float>(std::sin(theta) * std::cos(psi)),
                            static_cast<float>(std::cos(theta)),
                            static_cast<float>(std::sin(theta) * std::sin(psi))});
        });
    });
    return loops;
}

}  // namespace orvo
