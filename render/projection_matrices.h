// The camera and projection matrices, computed here for GLs that have no matrix stack. They
// equal what the fixed-function stack makes of the same calls, entries rounded to single
// precision as that stack holds them, so that both back ends draw through the same numbers.
#pragma once

#include "geometry/proj_transform.h"

namespace orvo {

/// How far in front of the sphere's centre the camera stands, looking at it.
inline constexpr double kCameraDistance = 3.0;

/// A perspective projection: vertical field of view in degrees, width over height, and the
/// distances of the near and far planes.
ProjTransform perspectiveMatrix(double fovyDegrees, double aspect, double zNear, double zFar);
/// The camera at (0, 0, distance) looking at the origin, y up.
ProjTransform cameraAtDistance(double distance);

}  // namespace orvo
