// Picking in selection mode over the nodes drawn in the current frame: the first object hit in
// drawing order wins (largest-drawn first). Hover highlights the node under the pointer; a click
// reports what it hit through the pick callback.
#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "graph/graph.h"
#include "render/finite_check.h"
#include "render/renderer.h"
#include "viewer/viewer_settings.h"

namespace orvo {

namespace {

constexpr GLsizei kSelectBufferSize = 5096;
constexpr GLuint kPlaceholderName = 6555;
constexpr double kPickHalfSize = 1.5;  // the 3 x 3 pick region
// Slack for the pre-filter: GL transforms in single precision, the filter in double.
constexpr double kPickMargin = 1.0;

}  // namespace

Node* Renderer::nodeNamed(int64_t name) const {
    if (graph_ == nullptr || name < 0 || static_cast<uint64_t>(name) >= graph_->nodes.size()) {
        return nullptr;
    }
    return graph_->nodes[static_cast<size_t>(name)];
}

Link* Renderer::linkNamed(int64_t name) const {
    if (graph_ == nullptr || name >= 0) return nullptr;
    const uint32_t index = ~static_cast<uint32_t>(name);
    if (index >= graph_->links.size()) return nullptr;
    return graph_->links[index];
}

uint32_t Renderer::pick(int x, int y) {
    if (!makeCurrent()) return kNothingPicked;
    pickX_ = x;
    pickY_ = y;
    picking_ = 1;

    GLuint buffer[kSelectBufferSize];
    buffer[0] = 0;
    glSelectBuffer(kSelectBufferSize, buffer);
    glRenderMode(GL_SELECT);
    glInitNames();
    glPushName(kPlaceholderName);
    if (pickPrefilter_) preparePickFilter();
    redrawPicked();
    glFlush();
    const GLint hits = glRenderMode(GL_RENDER);

    // On overflow (-1) the records written so far are still there; the first one counts when it
    // is whole.
    const bool firstWhole =
        hits > 0 || (hits < 0 && buffer[0] >= 1 && buffer[0] + 3 <= kSelectBufferSize);
    if (!firstWhole) {
        picking_ = 0;
        return kNothingPicked;
    }
    const GLuint name = buffer[3];
    const float winz = static_cast<float>(buffer[1]) * depthScale_;
    const GLint vp[4] = {viewport_[0], viewport_[1], viewport_[2], viewport_[3]};
    GLdouble ox = 0.0, oy = 0.0, oz = 0.0;
    const GLint ok =
        gluUnProject(x, y, winz, cameraMatrix_.m, projectionMatrix_.m, vp, &ox, &oy, &oz);
    oy = -oy;  // window y runs downwards
    if (oz > 0.9999 || oz < -0.9999) oz = 0.001;
    const ProjPoint hit(ox, oy, oz, 1.0);
    if (ok == GL_TRUE && isFinite(hit)) pickedPoint_ = hit;
    picking_ = 0;
    return name;
}

void Renderer::redrawPicked() {
    const TimePair start = currentTime();
    const TimePair budget{settings_.pickBudgetSec, settings_.pickBudgetUsec};
    TimePair elapsed{0, 0};
    beginFrame();
    // By index: a pick never adds to drawnNodes, but drawing may grow other lists.
    for (size_t i = 0; i < drawnNodes_.size() && elapsed < budget; ++i) {
        Node* n = drawnNodes_[i];
        if (!pickPrefilter_ || nodeMayTouchPick(*n)) drawNode(n);
        drawNodeLinks(n);
        elapsed = currentTime() - start;
    }
}

void Renderer::preparePickFilter() {
    // View space -> clip space -> GL window pixels, exactly as the viewport maps them.
    ProjTransform toCorner, toPixels;
    toCorner.setEuclideanTranslation(1.0, 1.0, 0.0);
    toPixels.setEuclideanScale(0.5 * viewport_[2], 0.5 * viewport_[3], 1.0);
    pickWindow_ = viewTransform_ * cameraMatrix_ * projectionMatrix_ * toCorner * toPixels;
    pickWindowX_ = pickX_;
    pickWindowY_ = viewport_[3] - pickY_;
}

bool Renderer::nodeMayTouchPick(const Node& n) const {
    if (!n.isShown() || n.generation >= settings_.nodeGenerationLimit) return false;
    if (!isDrawable(n.globalTransform)) return false;
    const ProjTransform c = n.globalTransform * pickWindow_;
    // Window x, y and clip w of a cube corner: row 3 plus or minus half an edge of rows 0..2.
    constexpr double h = 0.04;
    double minX = INFINITY, maxX = -INFINITY, minY = INFINITY, maxY = -INFINITY;
    for (int corner = 0; corner < 8; ++corner) {
        const double sx = (corner & 1) ? h : -h, sy = (corner & 2) ? h : -h,
                     sz = (corner & 4) ? h : -h;
        double v[4];
        for (int j : {0, 1, 3}) {
            v[j] = c.at(3, j) + sx * c.at(0, j) + sy * c.at(1, j) + sz * c.at(2, j);
        }
        // A corner at or behind the eye plane: the projected extent is unbounded.
        if (!(v[3] > 0.0)) return true;
        const double wx = v[0] / v[3], wy = v[1] / v[3];
        minX = std::min(minX, wx);
        maxX = std::max(maxX, wx);
        minY = std::min(minY, wy);
        maxY = std::max(maxY, wy);
    }
    const double reach = kPickHalfSize + kPickMargin;
    return maxX >= pickWindowX_ - reach && minX <= pickWindowX_ + reach &&
           maxY >= pickWindowY_ - reach && minY <= pickWindowY_ + reach;
}

bool Renderer::linkMayTouchPick(const Link& k, float lineWidth) const {
    const ProjPoint a = pickWindow_.apply(k.fromPosition);
    const ProjPoint b = pickWindow_.apply(k.toPosition);
    if (!(a.w > 0.0) || !(b.w > 0.0)) return true;
    const double ax = a.x / a.w, ay = a.y / a.w, bx = b.x / b.w, by = b.y / b.w;
    // Distance from the pick centre to the segment.
    const double ex = bx - ax, ey = by - ay;
    const double px = pickWindowX_ - ax, py = pickWindowY_ - ay;
    const double len2 = ex * ex + ey * ey;
    double t = len2 > 0.0 ? (px * ex + py * ey) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const double dx = px - t * ex, dy = py - t * ey;
    const double reach = kPickHalfSize * std::sqrt(2.0) + 0.5 * lineWidth + kPickMargin;
    return !(dx * dx + dy * dy > reach * reach);  // NaN keeps the link
}

void Renderer::hoverHighlight(int x, int y, int /*shift*/, int /*ctrl*/) {
    const int32_t name = static_cast<int32_t>(pick(x, y));
    if (name == hoveredName_) return;
    Node* old = nodeNamed(hoveredName_);
    hoveredName_ = name;
    Node* now = nodeNamed(name);
    if (!makeCurrent()) return;
    surface_.setDrawBuffer(DrawBuffer::Front);
    glDepthFunc(GL_LEQUAL);
    setCamera();
    glMultMatrixd(viewTransform_.m);
    if (old != nullptr) {
        old->flags &= static_cast<uint8_t>(~Highlighted);
        drawNode(old);  // over itself in its normal colour; GL_LEQUAL lets equal depths pass
    }
    if (now != nullptr) {
        now->flags |= Highlighted;
        drawNode(now);
    }
    surface_.flushFront();
}

void Renderer::clickPick(int x, int y, int shift, int ctrl) {
    if (buttonState_ == 0) {
        setKeepRedrawing(0);
        pressX_ = x;
        pressY_ = y;
        return;
    }
    const double dx = 2.0 * (x - pressX_) / settings_.mouseRefWidth;
    const double dy = 2.0 * (y - pressY_) / settings_.mouseRefHeight;
    if (dx > 0.01 || dx < -0.01 || dy > 0.01 || dy < -0.01) return;  // a drag, not a click

    const uint32_t name = pick(x, y);
    // A copy: the callback may replace the installed one, or reload the graph.
    const PickCallback callback = pickCallback_;
    if (static_cast<int32_t>(name) >= 0) {
        const Node* node = nodeNamed(static_cast<int32_t>(name));
        if (callback && node != nullptr) {
            const std::string id = node->id;
            callback(id, shift, ctrl);
        }
        setKeepRedrawing(1);
    } else if (name == kNothingPicked) {
        if (callback) callback(std::string(), shift, ctrl);
    } else {
        const Link* link = linkNamed(static_cast<int32_t>(name));
        if (callback && link != nullptr) callback(link->linkId(), shift, ctrl);
    }
}

}  // namespace orvo
