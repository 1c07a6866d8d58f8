// The node's cube: its corners, four for each face, around the node's own origin.
#pragma once

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

}  // namespace orvo
