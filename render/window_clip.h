// What of a face or a line falls in a square of the window, as the clipper of the fixed
// functions' selection finds it: the part between the near and far planes and inside the square,
// and the nearest window depth of that part.
#pragma once

namespace orvo {

/// A point carried through the window matrix (see windowMatrix): x and y in window pixels times
/// w, the clip z, and the clip w.
struct ClipVertex {
    double x, y, z, w;
};

/// An axis-aligned square (or rectangle) in GL window pixels, y up; its edges belong to it.
struct WindowSquare {
    double x0, y0, x1, y1;
    static WindowSquare around(double x, double y, double half) {
        return {x - half, y - half, x + half, y + half};
    }
};

/// The most vertices a clipped polygon of kMaxClipInput vertices can have.
inline constexpr int kMaxClipInput = 4;

/// The nearest window depth (0 at the near plane, 1 at the far one) of the part of a convex
/// polygon (3 or 4 vertices, in order) or of a line (2 vertices) that lies between the near and
/// far planes and inside the square; false when no part does, or when a vertex is not finite.
bool nearestDepthInSquare(const ClipVertex* vertices, int count, const WindowSquare& square,
                          double& depth);

/// Whether all the points lie outside one and the same of those planes (near, far or an edge of
/// the square): then no part of anything they span reaches the square.
bool outsideOnOneSide(const ClipVertex* vertices, int count, const WindowSquare& square);

}  // namespace orvo
