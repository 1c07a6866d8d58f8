// The node's cube: its corners, four for each face, around the node's own origin.
#pragma once

#include <array>
#include <cstddef>

namespace orvo {

inline constexpr float kHalfEdge = 0.04f;

// Four vertices per face; faces z-, z+, y+, y-, x-, x+.
inline constexpr float kCubeVertices[24][3] = {
    {-kHalfEdge, -kHalfEdge, -kHalfEdge}, {kHalfEdge, -kHalfEdge, -kHalfEdge},
    {kHalfEdge, kHalfEdge, -kHalfEdge},   {-kHalfEdge, kHalfEdge, -kHalfEdge},
    {-kHalfEdge, -kHalfEdge, kHalfEdge},  {kHalfEdge, -kHalfEdge, kHalfEdge},
    {kHalfEdge, kHalfEdge, kHalfEdge},    {-kHalfEdge, kHalfEdge, kHalfEdge},
    {-kHalfEdge, kHalfEdge, -kHalfEdge},  {kHalfEdge, kHalfEdge, -kHalfEdge},
    {kHalfEdge, kHalfEdge, kHalfEdge},    {-kHalfEdge, kHalfEdge, kHalfEdge},
    {-kHalfEdge, -kHalfEdge, -kHalfEdge}, {kHalfEdge, -kHalfEdge, -kHalfEdge},
    {kHalfEdge, -kHalfEdge, kHalfEdge},   {-kHalfEdge, -kHalfEdge, kHalfEdge},
    {-kHalfEdge, -kHalfEdge, -kHalfEdge}, {-kHalfEdge, kHalfEdge, -kHalfEdge},
    {-kHalfEdge, kHalfEdge, kHalfEdge},   {-kHalfEdge, -kHalfEdge, kHalfEdge},
    {kHalfEdge, -kHalfEdge, -kHalfEdge},  {kHalfEdge, kHalfEdge, -kHalfEdge},
    {kHalfEdge, kHalfEdge, kHalfEdge},    {kHalfEdge, -kHalfEdge, kHalfEdge},
};

/// Which of the 8 corners (bit 0: +x, bit 1: +y, bit 2: +z) each face vertex is: a cube's
/// corners are carried through its transform once, its faces taken from them.
inline constexpr std::array<int, 24> kFaceCorners = [] {
    std::array<int, 24> corners{};
    for (size_t i = 0; i < corners.size(); ++i) {
        corners[i] = (kCubeVertices[i][0] > 0 ? 1 : 0) | (kCubeVertices[i][1] > 0 ? 2 : 0) |
                     (kCubeVertices[i][2] > 0 ? 4 : 0);
    }
    return corners;
}();

}  // namespace orvo
