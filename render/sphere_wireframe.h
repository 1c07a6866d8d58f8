// The wireframe of the boundary sphere: latitude circles and meridians as closed loops of
// vertices, generated with the single-precision stepping the sphere has always had.
#pragma once

#include <array>
#include <vector>

namespace orvo {

using SphereLoop = std::vector<std::array<float, 3>>;

/// Twelve latitude loops (the first degenerate at the pole (0, 1, 0)), then five meridians.
std::vector<SphereLoop> sphereWireframeLoops();

}  // namespace orvo
