// Window-pixel extents of what a pick pass can draw for a node: its cube and the links drawn
// with it. A pick skips a node whose extents cannot reach the 3 x 3 pick region, without
// touching the node or its links again.
#pragma once

#include <algorithm>
#include <cmath>

#include "geometry/proj_point.h"
#include "geometry/proj_transform.h"

namespace orvo {

/// Half the side of the 3 x 3 pick region round the pointer, in pixels.
inline constexpr double kPickHalfSize = 1.5;
/// The side of the square, in pixels, round a pixel's centre that the pick at the pointer's pixel
/// looks at: the rasteriser too decides at the centre whether a pixel is drawn.
inline constexpr double kPickUnderSize = 0.25;
/// Slack for the pre-filter: GL transforms in single precision, the filter in double.
inline constexpr double kPickMargin = 1.0;
inline constexpr double kWidestLine = 2.0;  // tree links
/// How far a recorded cube box may lie from the pixel's centre and still be hit there.
inline constexpr double kUnderReach = 0.5 * kPickUnderSize + kPickMargin;

/// An axis-aligned box in window pixels (GL window coordinates, y up).
struct WindowBox {
    float x0 = INFINITY, x1 = -INFINITY, y0 = INFINITY, y1 = -INFINITY;

    static WindowBox unbounded() { return {-INFINITY, INFINITY, -INFINITY, INFINITY}; }
    bool isUnbounded() const { return x0 == -INFINITY && x1 == INFINITY; }

    void add(double x, double y) {
        x0 = std::min(x0, static_cast<float>(x));
        x1 = std::max(x1, static_cast<float>(x));
        y0 = std::min(y0, static_cast<float>(y));
        y1 = std::max(y1, static_cast<float>(y));
    }
    void add(const WindowBox& b) {
        x0 = std::min(x0, b.x0);
        x1 = std::max(x1, b.x1);
        y0 = std::min(y0, b.y0);
        y1 = std::max(y1, b.y1);
    }
    /// Whether the box, grown by `reach` on every side, contains (x, y).
    bool reaches(double x, double y, double reach) const {
        return x1 >= x - reach && x0 <= x + reach && y1 >= y - reach && y0 <= y + reach;
    }
};

/// The extents a pick pass can draw for one node (kept alongside the drawn nodes).
struct PickBounds {
    WindowBox cube;
    WindowBox links;  // grown by the widest line
};

/// Layout coordinates -> GL window pixels: the view, camera and projection, then the viewport
/// mapping (without the division by w).
ProjTransform windowMatrix(const ProjTransform& view, const ProjTransform& camera,
                           const ProjTransform& projection, int width, int height);

/// The window extent of a node cube (half edge 0.04) drawn with `global` through `window`;
/// unbounded when a corner lies at or behind the eye plane, empty when not drawable.
WindowBox cubeWindowBox(const ProjTransform& global, const ProjTransform& window);

/// Adds the window extent of the segment between two layout points; false (box untouched)
/// when an end lies at or behind the eye plane or is not finite.
bool addSegment(WindowBox& box, const ProjPoint& a, const ProjPoint& b,
                const ProjTransform& window);

/// Whether a segment of the given width, in window pixels, can reach the square region of
/// half size `half` around (x, y) with `margin` to spare.
bool segmentMayTouch(const ProjPoint& a, const ProjPoint& b, const ProjTransform& window, double x,
                     double y, double half, double lineWidth, double margin);

}  // namespace orvo
