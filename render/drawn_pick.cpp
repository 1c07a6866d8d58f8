// Picking from what the frame drew, on the processor and with no GL call: the selection passes'
// two steps over the same objects in the same order, each cube face and link carried into the
// window in double precision and clipped to the region the pass would look at.
//
// At the pointer's pixel the nearest cube or label box whose geometry reaches the small square
// round the pixel's centre wins (the first of equal depths); where there is none, the first cube
// or link in drawing order that reaches the 3 x 3 region round the pixel's corner. Nothing is
// allocated: each face or line is clipped in a few vertices on the stack.
#include <algorithm>
#include <cmath>
#include <iterator>

#include "graph/graph.h"
#include "render/cube_vertices.h"
#include "render/finite_check.h"
#include "render/node_links.h"
#include "render/renderer.h"
#include "render/window_clip.h"
#include "settings/viewer_settings.h"

namespace orvo {

namespace {

ClipVertex toClip(const ProjPoint& p, const ProjTransform& m) {
    return {p.x * m.at(0, 0) + p.y * m.at(1, 0) + p.z * m.at(2, 0) + p.w * m.at(3, 0),
            p.x * m.at(0, 1) + p.y * m.at(1, 1) + p.z * m.at(2, 1) + p.w * m.at(3, 1),
            p.x * m.at(0, 2) + p.y * m.at(1, 2) + p.z * m.at(2, 2) + p.w * m.at(3, 2),
            p.x * m.at(0, 3) + p.y * m.at(1, 3) + p.z * m.at(2, 3) + p.w * m.at(3, 3)};
}

}  // namespace

bool Renderer::pickBoundsHold(const ProjTransform& window, bool links) const {
    if (!pickBoundsValid_ || pickBounds_.size() != drawnNodes_.size()) return false;
    if (links && (graph_ == nullptr || boundsLinkVersion_ != graph_->linkVisibilityVersion())) {
        return false;
    }
    return std::equal(std::begin(window.m), std::end(window.m), std::begin(boundsWindow_.m));
}

bool Renderer::cubeDepthInSquare(const Node& n, const ProjTransform& window,
                                 const WindowSquare& square, double& depth) const {
    // What a pick pass draws of a node: the filled cube of a shown node below the generation
    // limit whose transform GL can take.
    if (!n.isShown() || (n.flags & Veiled) != 0 || n.generation >= settings_.nodeGenerationLimit) {
        return false;
    }
    if (!isDrawable(graph_->globalTransform(n))) return false;
    const ProjTransform m = graph_->globalTransform(n) * window;
    ClipVertex corners[8];
    for (int c = 0; c < 8; ++c) {
        const double h = kHalfEdge;
        corners[c] = toClip(ProjPoint(c & 1 ? h : -h, c & 2 ? h : -h, c & 4 ? h : -h, 1.0), m);
    }
    if (outsideOnOneSide(corners, 8, square)) return false;
    bool hit = false;
    for (size_t face = 0; face < kFaceCorners.size(); face += 4) {
        const ClipVertex quad[4] = {corners[kFaceCorners[face]], corners[kFaceCorners[face + 1]],
                                    corners[kFaceCorners[face + 2]],
                                    corners[kFaceCorners[face + 3]]};
        double d = 0.0;
        if (nearestDepthInSquare(quad, 4, square, d) && (!hit || d < depth)) {
            depth = d;
            hit = true;
        }
    }
    return hit;
}

uint32_t Renderer::pickDrawn(int x, int y) {
    pickX_ = x;
    pickY_ = y;
    uint32_t name = kNothingPicked;
    double depth = 0.0;
    if (!pickDrawnUnder(name, depth) && !pickDrawnNear(name, depth)) return kNothingPicked;
    setPickedPoint(x, y, depth);
    return name;
}

bool Renderer::pickDrawnUnder(uint32_t& name, double& depth) {
    // Labels on top cover whatever lies under them.
    float onTopDepth = 0.0f;
    if (labelsOnTop() && pickLabelOnTop(name, onTopDepth)) {
        depth = onTopDepth;
        return true;
    }
    const double x = pickX_ + 0.5, y = viewport_[3] - pickY_ - 0.5;
    const WindowSquare square = WindowSquare::around(x, y, 0.5 * kPickUnderSize);
    const ProjTransform window = currentWindowMatrix();
    const bool recorded = pickBoundsHold(window, false);
    bool found = false;
    for (size_t i = 0; i < drawnNodes_.size(); ++i) {
        if (recorded && !pickBounds_[i].cube.reaches(x, y, kUnderReach)) continue;
        const Node& n = *drawnNodes_[i];
        double d = 0.0;
        if (cubeDepthInSquare(n, window, square, d) && (!found || d < depth)) {
            found = true;
            depth = d;
            name = static_cast<uint32_t>(n.index);
        }
    }
    // The label boxes, after every cube and at their node's depth (the label pass's orthographic
    // z, which leaves out a box beyond the near or far plane).
    for (const DrawnLabel& label : drawnLabels_) {
        if (!label.box.contains(x, y) || !(std::fabs(label.depth) <= 1.0)) continue;
        const double d = 0.5 * (1.0 - label.depth);
        if (!found || d < depth) {
            found = true;
            depth = d;
            name = static_cast<uint32_t>(label.node->index);
        }
    }
    return found;
}

bool Renderer::pickDrawnNear(uint32_t& name, double& depth) {
    // The 3 x 3 region is centred on the pixel's corner.
    const double x = pickX_, y = viewport_[3] - pickY_;
    const WindowSquare square = WindowSquare::around(x, y, kPickHalfSize);
    const ProjTransform window = currentWindowMatrix();
    const bool recorded = pickBoundsHold(window, true);
    const double cubeReach = kPickHalfSize + kPickMargin;
    const double linkReach = kPickHalfSize * std::sqrt(2.0) + 0.5 * kWidestLine + kPickMargin;
    const int32_t linkLimit = settings_.linkGenerationLimit - 1;
    for (size_t i = 0; i < drawnNodes_.size(); ++i) {
        Node& n = *drawnNodes_[i];
        const bool cube = !recorded || pickBounds_[i].cube.reaches(x, y, cubeReach);
        const bool links = !recorded || pickBounds_[i].links.reaches(x, y, linkReach);
        if (cube && cubeDepthInSquare(n, window, square, depth)) {
            name = static_cast<uint32_t>(n.index);
            return true;
        }
        if (!links || !n.isShown()) continue;
        const bool hit = forEachLinkDrawnWith(
            n, linkLimit, graph_, shownLinks_, [](float) {},
            [&](Link* k) {
                if (!k->isShown()) return false;
                const ProjPoint from = graph_->positionOf(*k->fromNode), to = graph_->positionOf(*k->toNode);
                if (!isFinite(from) || !isFinite(to)) return false;
                const ClipVertex ends[2] = {toClip(from, window), toClip(to, window)};
                if (!nearestDepthInSquare(ends, 2, square, depth)) return false;
                name = ~static_cast<uint32_t>(k->index);
                return true;
            },
            [] {});
        if (hit) return true;
    }
    return false;
}

void Renderer::setPickedPoint(int x, int y, double windowDepth) {
    // The pointer's position (its y as given, downwards) and the depth taken back through the
    // projection and the camera; y is then turned upwards.
    const double vx = viewport_[2], vy = viewport_[3];
    if (!(vx > 0.0) || !(vy > 0.0)) return;
    const ProjPoint window((x - viewport_[0]) / vx * 2.0 - 1.0, (y - viewport_[1]) / vy * 2.0 - 1.0,
                           2.0 * windowDepth - 1.0, 1.0);
    const ProjPoint p = (cameraMatrix_ * projectionMatrix_).inverse().apply(window);
    if (p.w == 0.0) return;
    double oz = p.z / p.w;
    if (oz > 0.9999 || oz < -0.9999) oz = 0.001;
    const ProjPoint hit(p.x / p.w, -p.y / p.w, oz, 1.0);
    if (isFinite(hit)) pickedPoint_ = hit;
}

}  // namespace orvo
