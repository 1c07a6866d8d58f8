// Window extents of node cubes and link segments for the pick pre-filter.
#include "render/pick_bounds.h"

#include "render/finite_check.h"

namespace orvo {

ProjTransform windowMatrix(const ProjTransform& view, const ProjTransform& camera,
                           const ProjTransform& projection, int width, int height) {
    ProjTransform toCorner, toPixels;
    toCorner.setEuclideanTranslation(1.0, 1.0, 0.0);
    toPixels.setEuclideanScale(0.5 * width, 0.5 * height, 1.0);
    return view * camera * projection * toCorner * toPixels;
}

WindowBox cubeWindowBox(const ProjTransform& global, const ProjTransform& window) {
    WindowBox box;
    if (!isDrawable(global)) return box;
    // Only the window x, y and the clip w of the corners are needed: columns 0, 1 and 3.
    double c[4][3];
    constexpr int kColumns[3] = {0, 1, 3};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 3; ++j) {
            const int col = kColumns[j];
            c[i][j] = global.at(i, 0) * window.at(0, col) + global.at(i, 1) * window.at(1, col) +
                      global.at(i, 2) * window.at(2, col) + global.at(i, 3) * window.at(3, col);
        }
    }
    constexpr double h = 0.04;
    for (int corner = 0; corner < 8; ++corner) {
        const double sx = (corner & 1) ? h : -h, sy = (corner & 2) ? h : -h,
                     sz = (corner & 4) ? h : -h;
        double v[3];
        for (int j = 0; j < 3; ++j) v[j] = c[3][j] + sx * c[0][j] + sy * c[1][j] + sz * c[2][j];
        // At or behind the eye plane the projected extent has no bound.
        if (!(v[2] > 0.0)) return WindowBox::unbounded();
        box.add(v[0] / v[2], v[1] / v[2]);
    }
    return box;
}

namespace {

// Window x, y of a point and whether it lies in front of the eye.
bool toWindow(const ProjPoint& p, const ProjTransform& window, double& x, double& y) {
    const double wx = p.x * window.at(0, 0) + p.y * window.at(1, 0) + p.z * window.at(2, 0) +
                      p.w * window.at(3, 0);
    const double wy = p.x * window.at(0, 1) + p.y * window.at(1, 1) + p.z * window.at(2, 1) +
                      p.w * window.at(3, 1);
    const double ww = p.x * window.at(0, 3) + p.y * window.at(1, 3) + p.z * window.at(2, 3) +
                      p.w * window.at(3, 3);
    if (!(ww > 0.0)) return false;
    x = wx / ww;
    y = wy / ww;
    return std::isfinite(x) && std::isfinite(y);
}

}  // namespace

bool addSegment(WindowBox& box, const ProjPoint& a, const ProjPoint& b,
                const ProjTransform& window) {
    double ax, ay, bx, by;
    if (!toWindow(a, window, ax, ay) || !toWindow(b, window, bx, by)) return false;
    box.add(ax, ay);
    box.add(bx, by);
    return true;
}

bool segmentMayTouch(const ProjPoint& a, const ProjPoint& b, const ProjTransform& window, double x,
                     double y, double half, double lineWidth, double margin) {
    double ax, ay, bx, by;
    if (!toWindow(a, window, ax, ay) || !toWindow(b, window, bx, by)) return true;
    // Distance from the region's centre to the segment, against the region's half diagonal.
    const double ex = bx - ax, ey = by - ay;
    const double px = x - ax, py = y - ay;
    const double len2 = ex * ex + ey * ey;
    const double t = len2 > 0.0 ? std::clamp((px * ex + py * ey) / len2, 0.0, 1.0) : 0.0;
    const double dx = px - t * ex, dy = py - t * ey;
    const double reach = half * std::sqrt(2.0) + 0.5 * lineWidth + margin;
    return dx * dx + dy * dy <= reach * reach;
}

}  // namespace orvo
