// Picking in selection mode over the nodes drawn in the current frame: the first object hit in
// drawing order wins (largest-drawn first). Hover highlights the node under the pointer; a click
// reports what it hit through the pick callback.
#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string>

#include "graph/graph.h"
#include "render/finite_check.h"
#include "render/fixed_function_gl.h"
#include "render/renderer.h"
#include "settings/viewer_settings.h"

namespace orvo {

namespace {

#if ORVO_FIXED_FUNCTION_GL
constexpr GLsizei kSelectBufferSize = 5096;
constexpr GLuint kPlaceholderName = 6555;
#endif

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
    // The shader back end has no selection mode: it picks from what the frame drew.
    if (picksFromDrawn()) return pickDrawn(x, y);
    if (!makeCurrent()) return kNothingPicked;
#if ORVO_FIXED_FUNCTION_GL
    pickX_ = x;
    pickY_ = y;
    uint32_t name = kNothingPicked;
    float winz = 0.0f;
    // What is drawn at the pointer's pixel decides; only where no node or label is drawn does
    // the pointer find a link, or a small node beside it.
    if (!pickUnderPointer(name, winz) && !pickNearPointer(name, winz)) return kNothingPicked;
    const GLint vp[4] = {viewport_[0], viewport_[1], viewport_[2], viewport_[3]};
    GLdouble ox = 0.0, oy = 0.0, oz = 0.0;
    const GLint ok =
        gluUnProject(x, y, winz, cameraMatrix_.m, projectionMatrix_.m, vp, &ox, &oy, &oz);
    oy = -oy;  // window y runs downwards
    if (oz > 0.9999 || oz < -0.9999) oz = 0.001;
    const ProjPoint hit(ox, oy, oz, 1.0);
    if (ok == GL_TRUE && isFinite(hit)) pickedPoint_ = hit;
    return name;
#else
    static_cast<void>(x);
    static_cast<void>(y);
    return kNothingPicked;
#endif
}

#if ORVO_FIXED_FUNCTION_GL
namespace {

/// Runs a selection pass over what `draw` draws; the number of whole hit records it leaves.
template <typename Draw>
GLint selectionPass(GLuint (&buffer)[kSelectBufferSize], Draw draw) {
    buffer[0] = 0;
    glSelectBuffer(kSelectBufferSize, buffer);
    glRenderMode(GL_SELECT);
    glInitNames();
    glPushName(kPlaceholderName);
    draw();
    glFlush();
    const GLint hits = glRenderMode(GL_RENDER);
    if (hits >= 0) return hits;
    // On overflow (-1) the records written so far are still there.
    GLint whole = 0;
    for (GLuint at = 0; at + 3 <= static_cast<GLuint>(kSelectBufferSize);) {
        const GLuint names = buffer[at];
        if (names == 0 || at + 3 + names > static_cast<GLuint>(kSelectBufferSize)) break;
        at += 3 + names;
        ++whole;
    }
    return whole;
}

}  // namespace

bool Renderer::pickNearPointer(uint32_t& name, float& winz) {
    GLuint buffer[kSelectBufferSize];
    picking_ = 1;
    pickingUnder_ = false;
    const GLint hits = selectionPass(buffer, [&] {
        if (pickPrefilter_) preparePickFilter();
        redrawPicked();
    });
    picking_ = 0;
    // The first hit in drawing order.
    if (hits <= 0 || buffer[0] < 1) return false;
    name = buffer[3];
    winz = static_cast<float>(buffer[1]) * depthScale_;
    return true;
}
#endif

bool Renderer::pickLabelOnTop(uint32_t& name, float& winz) const {
    const double x = pickX_ + 0.5, y = viewport_[3] - pickY_ - 0.5;
    // The last label drawn there is the one on top (one drawn always may cover another).
    for (auto it = drawnLabels_.rbegin(); it != drawnLabels_.rend(); ++it) {
        if (!it->box.contains(x, y)) continue;
        name = static_cast<uint32_t>(it->node->index);
        winz = static_cast<float>(0.5 * (1.0 - it->depth));  // the node's own depth
        return true;
    }
    return false;
}

#if ORVO_FIXED_FUNCTION_GL
bool Renderer::pickUnderPointer(uint32_t& name, float& winz) {
    // Labels on top cover whatever lies under them.
    if (labelsOnTop() && pickLabelOnTop(name, winz)) return true;
    GLuint buffer[kSelectBufferSize];
    picking_ = 1;
    pickingUnder_ = true;
    const TimePair start = currentTime();
    const TimePair budget{settings_.pickBudgetSec, settings_.pickBudgetUsec};
    const GLint hits = selectionPass(buffer, [&] {
        preparePickFilter();
        beginFrame();
        const bool recorded = pickBoundsValid_ && pickBounds_.size() == drawnNodes_.size() &&
                              std::equal(std::begin(pickWindow_.m), std::end(pickWindow_.m),
                                         std::begin(boundsWindow_.m));
        TimePair elapsed{0, 0};
        for (size_t i = 0; i < drawnNodes_.size() && elapsed < budget; ++i) {
            Node* n = drawnNodes_[i];
            const bool under =
                recorded ? pickBounds_[i].cube.reaches(pickWindowX_, pickWindowY_, kUnderReach)
                         : nodeMayTouchPick(*n);
            if (under) drawNode(n, nullptr);
            if (i % 64 == 63) elapsed = currentTime() - start;
        }
        drawPickedLabelBoxes();
    });
    picking_ = 0;
    pickingUnder_ = false;
    // The nearest cube or label at the pixel is the one drawn there.
    bool found = false;
    GLuint nearest = 0;
    for (GLuint at = 0, r = 0; r < static_cast<GLuint>(hits); ++r) {
        const GLuint names = buffer[at];
        if (names >= 1 && (!found || buffer[at + 1] < nearest)) {
            found = true;
            nearest = buffer[at + 1];
            name = buffer[at + 3];
        }
        at += 3 + names;
    }
    if (found) winz = static_cast<float>(nearest) * depthScale_;
    return found;
}

void Renderer::drawPickedLabelBoxes() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    GLint vp[4] = {viewport_[0], viewport_[1], viewport_[2], viewport_[3]};
    gluPickMatrix(pickWindowX_, pickWindowY_, kPickUnderSize, kPickUnderSize, vp);
    glOrtho(0.0, viewport_[2] - viewport_[0], 0.0, viewport_[3] - viewport_[1], -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    for (const DrawnLabel& label : drawnLabels_) {
        const LabelBox& b = label.box;
        if (!b.contains(pickWindowX_, pickWindowY_)) continue;
        glLoadName(static_cast<GLuint>(label.node->index));
        glBegin(GL_TRIANGLE_STRIP);
        glVertex3d(b.x0, b.y0, label.depth);
        glVertex3d(b.x1, b.y0, label.depth);
        glVertex3d(b.x0, b.y1, label.depth);
        glVertex3d(b.x1, b.y1, label.depth);
        glEnd();
    }
}
#endif

void Renderer::redrawPicked() {
    const TimePair start = currentTime();
    const TimePair budget{settings_.pickBudgetSec, settings_.pickBudgetUsec};
    TimePair elapsed{0, 0};
    beginFrame();
    // The extents recorded while the frame was drawn hold while the window matrix does; they
    // let the pass skip a node without touching it or its links.
    const bool recorded =
        pickPrefilter_ && pickBoundsValid_ && pickBounds_.size() == drawnNodes_.size() &&
        graph_ != nullptr && boundsLinkVersion_ == graph_->linkVisibilityVersion() &&
        std::equal(std::begin(pickWindow_.m), std::end(pickWindow_.m), std::begin(boundsWindow_.m));
    const double cubeReach = kPickHalfSize + kPickMargin;
    const double linkReach = kPickHalfSize * std::sqrt(2.0) + 0.5 * kWidestLine + kPickMargin;
    size_t skipped = 0;
    // By index: a pick never adds to drawnNodes, but drawing may grow other lists.
    for (size_t i = 0; i < drawnNodes_.size() && elapsed < budget; ++i) {
        Node* n = drawnNodes_[i];
        if (recorded) {
            const PickBounds& b = pickBounds_[i];
            const bool cube = b.cube.reaches(pickWindowX_, pickWindowY_, cubeReach);
            const bool links = b.links.reaches(pickWindowX_, pickWindowY_, linkReach);
            if (!cube && !links) {
                // Skipping costs nanoseconds: the clock (millisecond resolution) is read now
                // and then rather than after every node.
                if (++skipped % 64 == 0) elapsed = currentTime() - start;
                continue;
            }
            if (cube) drawNode(n, nullptr);
            if (links) drawNodeLinks(n, nullptr);
        } else {
            if (!pickPrefilter_ || nodeMayTouchPick(*n)) drawNode(n, nullptr);
            drawNodeLinks(n, nullptr);
        }
        elapsed = currentTime() - start;
    }
}

ProjTransform Renderer::currentWindowMatrix() const {
    return windowMatrix(viewTransform_, cameraMatrix_, projectionMatrix_, viewport_[2],
                        viewport_[3]);
}

void Renderer::preparePickFilter() {
    pickWindow_ = currentWindowMatrix();
    // The 3 x 3 region is centred on the pixel's corner, the pass at the pixel on its centre.
    pickWindowX_ = pickingUnder_ ? pickX_ + 0.5 : pickX_;
    pickWindowY_ = pickingUnder_ ? viewport_[3] - pickY_ - 0.5 : viewport_[3] - pickY_;
}

bool Renderer::nodeMayTouchPick(const Node& n) const {
    if (!n.isShown() || (n.flags & Veiled) != 0 || n.generation >= settings_.nodeGenerationLimit)
        return false;
    return cubeWindowBox(graph_->globalTransform(n), pickWindow_)
        .reaches(pickWindowX_, pickWindowY_,
                 pickingUnder_ ? kUnderReach : kPickHalfSize + kPickMargin);
}

bool Renderer::linkMayTouchPick(const Link& k, float lineWidth) const {
    return segmentMayTouch(graph_->positionOf(*k.fromNode), graph_->positionOf(*k.toNode), pickWindow_, pickWindowX_,
                           pickWindowY_, kPickHalfSize, lineWidth, kPickMargin);
}

void Renderer::recordPickBounds(const Node& n) {
    PickBounds b;
    b.cube = cubeWindowBox(graph_->globalTransform(n), boundsWindow_);
    // Every link a pick pass may draw with n: its tree links whatever their flags, and its shown
    // non-tree links. Generations may still change and positions do not; a change of
    // visibility drops what was recorded. Hidden non-tree links are most of a site's (every
    // page links to the home page), and with them nearly every node would reach the centre.
    bool bounded = true;
    auto add = [&](const Link* k) {
        if (bounded && !addSegment(b.links, graph_->positionOf(*k->fromNode), graph_->positionOf(*k->toNode), boundsWindow_)) {
            bounded = false;
        }
    };
    if (n.parentLink != nullptr) add(n.parentLink);
    for (const Node* child : n.children) add(child->parentLink);
    if (n.outLinks.size() + n.inLinks.size() <= ShownLinkCache::kManyLinks) {
        for (const Link* k : n.outLinks)
            if (k->isShown()) add(k);
        for (const Link* k : n.inLinks)
            if (k->isShown()) add(k);
    } else {
        for (const Link* k : shownLinks_.of(*graph_, n).links) add(k);
    }
    if (!bounded) b.links = WindowBox::unbounded();
    pickBounds_.push_back(b);
}

void Renderer::hoverHighlight(int x, int y, int /*shift*/, int /*ctrl*/) {
    const int32_t name = static_cast<int32_t>(pick(x, y));
    if (name == hoveredName_) return;
    Node* old = nodeNamed(hoveredName_);
    hoveredName_ = name;
    Node* now = nodeNamed(name);
    if (!makeCurrent()) return;
    if (modern_ != nullptr) {
        redrawHovered(old, now);
        return;
    }
    surface_.setDrawBuffer(DrawBuffer::Front);
    depthFunction_.set(GL_LEQUAL);
    setCamera();
#if ORVO_FIXED_FUNCTION_GL
    glMultMatrixd(viewTransform_.m);
#endif
    if (old != nullptr) {
        old->flags &= static_cast<uint8_t>(~Highlighted);
        drawNode(old,
                 nullptr);  // over itself in its normal colour; GL_LEQUAL lets equal depths pass
    }
    if (now != nullptr) {
        now->flags |= Highlighted;
        drawNode(now, nullptr);
    }
    surface_.flushFront();
}

void Renderer::dropHover() {
    if (Node* old = nodeNamed(hoveredName_)) old->flags &= static_cast<uint8_t>(~Highlighted);
    hoveredName_ = -1;
}

void Renderer::redrawHovered(Node* old, Node* now) {
    surface_.setDrawBuffer(DrawBuffer::Front);
    depthFunction_.set(GL_LEQUAL);
    setCamera();
    batch_.setView(viewTransform_, cameraMatrix_);
    // As the frame drew it, so that the cube meets its own depths exactly: over itself in its
    // normal colour, then the hovered one highlighted (its label, when labels are drawn, goes
    // through placeLabel as the frame's does).
    batch_.setCubesInFront(labelsOnTop());
    if (old != nullptr) {
        old->flags &= static_cast<uint8_t>(~Highlighted);
        drawNode(old, &batch_);
        batch_.draw();
    }
    if (now != nullptr) {
        now->flags |= Highlighted;
        drawNode(now, &batch_);
        batch_.draw();
    }
    depthFunction_.set(GL_LESS);
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
            const std::string id(node->id);
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
