// Finiteness tests for geometry values: positions of very deep trees or far views overflow to
// infinity or NaN, and nothing of that kind may reach sizes, labels, picking or the view.
#pragma once

#include <cmath>

#include "geometry/proj_point.h"
#include "geometry/proj_transform.h"

namespace orvo {

inline bool isFinite(const ProjPoint& p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z) && std::isfinite(p.w);
}

inline bool isFinite(const ProjTransform& t) {
    for (double v : t.m) {
        if (!std::isfinite(v)) return false;
    }
    return true;
}

/// GL works in single precision: a node transform with larger elements overflows once the view
/// and the camera are multiplied in, so its geometry is not handed to GL at all.
constexpr double kDrawableLimit = 1e30;

inline bool isDrawable(const ProjTransform& t) {
    for (double v : t.m) {
        if (!(std::fabs(v) < kDrawableLimit)) return false;  // also false for NaN
    }
    return true;
}

}  // namespace orvo
