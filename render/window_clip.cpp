// Clipping in homogeneous coordinates, plane by plane (each plane adds at most one vertex), so
// that points behind the eye never reach a division.
#include "render/window_clip.h"

#include <cmath>

namespace orvo {

namespace {

constexpr int kPlanes = 6;
constexpr int kMaxVertices = kMaxClipInput + kPlanes;

// The signed distance of v from plane p, positive inside: near, far, then the square's left,
// right, bottom and top edges (x >= x0 with x = v.x / v.w is v.x - x0 v.w >= 0 for w > 0).
double inside(const ClipVertex& v, int plane, const WindowSquare& s) {
    switch (plane) {
        case 0: return v.w + v.z;
        case 1: return v.w - v.z;
        case 2: return v.x - s.x0 * v.w;
        case 3: return s.x1 * v.w - v.x;
        case 4: return v.y - s.y0 * v.w;
        default: return s.y1 * v.w - v.y;
    }
}

ClipVertex between(const ClipVertex& a, const ClipVertex& b, double t) {
    return {a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.z + t * (b.z - a.z),
            a.w + t * (b.w - a.w)};
}

}  // namespace

bool nearestDepthInSquare(const ClipVertex* vertices, int count, const WindowSquare& square,
                          double& depth) {
    if (count < 2 || count > kMaxClipInput) return false;
    ClipVertex buffers[2][kMaxVertices];
    int n = count;
    for (int i = 0; i < count; ++i) {
        const ClipVertex& v = vertices[i];
        if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z) ||
            !std::isfinite(v.w)) {
            return false;
        }
        buffers[0][i] = v;
    }
    int from = 0;
    for (int plane = 0; plane < kPlanes; ++plane) {
        const ClipVertex* in = buffers[from];
        ClipVertex* out = buffers[1 - from];
        int kept = 0;
        // A polygon's edges close the loop; a line's two "edges" are the line both ways, which
        // leaves its clipped part (an end may be listed twice).
        for (int i = 0; i < n; ++i) {
            const ClipVertex& previous = in[(i + n - 1) % n];
            const ClipVertex& current = in[i];
            const double dp = inside(previous, plane, square);
            const double dc = inside(current, plane, square);
            if ((dp >= 0.0) != (dc >= 0.0)) out[kept++] = between(previous, current, dp / (dp - dc));
            if (dc >= 0.0) out[kept++] = current;
            if (kept > kMaxVertices - 2) break;  // cannot happen for a convex input
        }
        if (kept == 0) return false;
        n = kept;
        from = 1 - from;
    }
    double nearest = INFINITY;
    for (int i = 0; i < n; ++i) {
        const ClipVertex& v = buffers[from][i];
        if (!(v.w > 0.0)) continue;
        nearest = std::fmin(nearest, 0.5 * (v.z / v.w + 1.0));
    }
    if (!std::isfinite(nearest)) return false;
    depth = std::fmin(std::fmax(nearest, 0.0), 1.0);
    return true;
}

bool outsideOnOneSide(const ClipVertex* vertices, int count, const WindowSquare& square) {
    for (int plane = 0; plane < kPlanes; ++plane) {
        bool allOutside = true;
        for (int i = 0; i < count && allOutside; ++i) {
            allOutside = inside(vertices[i], plane, square) < 0.0;
        }
        if (allOutside) return true;
    }
    return false;
}

}  // namespace orvo
