// Mouse event slots with decimation, drag translation and rotation of the view, and bringing a
// point or a node to the centre at once or by an animated transition at constant hyperbolic speed.
#include <cmath>
#include <cstdio>

#include "graph/graph.h"
#include "render/finite_check.h"
#include "render/renderer.h"
#include "render/view_orientation.h"
#include "settings/viewer_settings.h"

namespace orvo {

namespace {

// Pixels of drag motion that turn the view by 45 degrees.
constexpr float kRotationRadius = 100.0f;
constexpr int kSlotCount = 7;

// Each action acts on the renderer it was bound to, whichever renderer was built last.
MouseAction builtInAction(Renderer& r, int action) {
    switch (action) {
        case 0:
            return [&r](int x, int y, int s, int c) { r.hoverHighlight(x, y, s, c); };
        case 1:
            return [&r](int x, int y, int s, int c) { r.clickPick(x, y, s, c); };
        case 2:
            return [&r](int x, int y, int s, int c) { r.dragTranslate(x, y, s, c); };
        case 3:
            return [&r](int x, int y, int s, int c) { r.dragRotate(x, y, s, c); };
        default:
            return {};
    }
}

}  // namespace

void Renderer::bindMouse(int slot, int action) {
    // Numbers other than the four built-in actions unbind the slot.
    bindMouse(slot, builtInAction(*this, action));
}

void Renderer::bindMouse(int slot, MouseAction handler) {
    if (slot < 0 || slot >= kSlotCount) return;
    eventSlots_[slot] = std::move(handler);
}

int Renderer::mouseButton(int button, int state, int x, int y, int shift, int ctrl) {
    lastButton_ = button;
    buttonState_ = state;
    int handled = 0;
    if (button >= 0 && button <= 2 && eventSlots_[button]) {
        eventSlots_[button](x, y, shift, ctrl);
        handled = 1;
    }
    lastX_ = x;
    lastY_ = y;
    return handled;
}

int Renderer::mouseDrag(int x, int y, int shift, int ctrl) {
    if (dragCounter_ < settings_.dragDecimation) {
        ++dragCounter_;
        return 0;
    }
    dragCounter_ = 0;
    int handled = 0;
    const int slot = 3 + lastButton_;
    if (slot >= 3 && slot <= 5 && eventSlots_[slot]) {
        eventSlots_[slot](x, y, shift, ctrl);
        handled = 1;
    }
    lastX_ = x;
    lastY_ = y;
    return handled;
}

int Renderer::mouseMove(int x, int y, int shift, int ctrl) {
    if (passiveCounter_ < settings_.passiveDecimation) {
        ++passiveCounter_;
        return 0;
    }
    passiveCounter_ = 0;
    int handled = 0;
    if (eventSlots_[6]) {
        eventSlots_[6](x, y, shift, ctrl);
        handled = 1;
    }
    lastX_ = x;
    lastY_ = y;
    return handled;
}

void Renderer::dragTranslate(int x, int y, int /*shift*/, int /*ctrl*/) {
    if (buttonState_ == 1) {
        setKeepRedrawing(1);
        return;
    }
    setKeepRedrawing(0);
    const double dx = 2.0 * static_cast<double>(x - lastX_) / settings_.mouseRefWidth;
    const double dy = 2.0 * static_cast<double>(y - lastY_) / settings_.mouseRefHeight;
    if (dx > 0.0001 || dx < -0.0001 || dy > 0.0001 || dy < -0.0001) {
        ProjTransform t;
        t.setTranslationBy(dx, -dy, 0.0);  // window y runs downwards
        if (commitView(viewTransform_ * t)) drawFrame();
    }
    setKeepRedrawing(1);
}

void Renderer::dragRotate(int x, int y, int /*shift*/, int /*ctrl*/) {
    if (buttonState_ == 1) {
        setKeepRedrawing(1);
        return;
    }
    setKeepRedrawing(0);
    const double ix = x - lastX_, iy = y - lastY_;
    const double len = std::sqrt(ix * ix + iy * iy);
    const double radius = kRotationRadius;
    const double angle = std::acos(radius / std::sqrt(radius * radius + len * len));
    if (angle > 0.0001) {
        ProjTransform r;
        r.setRotation(angle, ProjPoint(iy / len, ix / len, 0.0, 1.0));
        if (commitView(viewTransform_ * r)) drawFrame();
    }
    setKeepRedrawing(1);
}

int Renderer::centrePoint(int immediate) {
    if (immediate == 0) {
        const double d = ProjPoint().distance(pickedPoint_);
        animateTo(pickedPoint_, baseOrientation_, d, 0.0, viewTransform_);
    } else {
        ProjTransform x;
        x.setTranslationTo(pickedPoint_);
        x.invert();
        if (commitView(viewTransform_ * x)) drawFrame();
    }
    return 1;
}

int Renderer::gotoNodeView(Node* n, int immediate) {
    if (n == nullptr) return 0;
    // The tree may just have been laid out again from another node: what the last frame
    // recorded for picking no longer holds.
    pickBoundsValid_ = false;
    const ProjTransform v = viewTransform_;
    ProjPoint pn = dehomogenized((graph_->globalTransform(*n) * v).apply(ProjPoint()));
    if (!isFinite(pn)) return 0;  // an overflowed position cannot be brought anywhere

    const double r = pn.norm3();
    if (r > 1.0) {
        // Rounding has put the node outside the unit ball.
        std::fprintf(stderr, "Floating point error:  x %g y %g z %g w %g\n", pn.x, pn.y, pn.z,
                     pn.w);
        pn.scale3(1.0 / r);
        pn.x -= 0.01;
        pn.y -= 0.01;
        pn.z -= 0.01;
        std::fprintf(stderr, "Normalizing to:  x %g y %g z %g w %g\n", pn.x, pn.y, pn.z, pn.w);
    }

    ProjTransform x1;
    x1.setTranslationTo(pn);
    const ProjTransform v1 = v * x1.inverse();  // the view with the node at the centre

    ProjTransform n1 = graph_->globalTransform(*n) * v1;
    ProjTransform x2;
    x2.setTranslationTo(n1.apply(ProjPoint()));  // the residual offset, zero up to rounding
    n1 = n1 * x2.inverse();

    const ProjPoint a = dehomogenized(n1.apply(kReferencePoint));
    const ProjPoint b = dehomogenized(n1.apply(ProjPoint()));
    ProjTransform rotation;
    rotation.setRotationBetween(b.minus3(a), kReferencePoint);

    Quaternion q;
    q.fromMatrix(rotation);
    double amount = q.alignToIdentity();
    if (!isFinite(rotation) || !std::isfinite(amount)) {
        // The node itself lies outside the ball (only its corrected point could be centred):
        // there is no orientation to take, so the view is not turned.
        rotation.setIdentity();
        q = baseOrientation_;
        amount = 0.0;
    }

    // The frame at the end starts from the node, so that its cube and label come first however
    // many links it has, and it is the red centre node.
    if (immediate == 1) {
        if (!commitView(v1 * rotation)) return 0;
        centreNode_ = n;
        arrival_ = n;
        drawFrame();
    } else if (immediate == 0) {
        if (!isFinite(v1 * rotation)) return 0;  // the transition would end in overflow
        animateTo(pn, q, ProjPoint().distance(pn), amount, v, n);
    }
    return 1;
}

void Renderer::animateTo(const ProjPoint& p, const Quaternion& target, double distance,
                         double rotation, ProjTransform startView, Node* arrival) {
    if (distance <= 0.0001 && rotation <= 0.0001) {
        // Already there: the next frame starts at the node.
        if (arrival != nullptr) centreNode_ = arrival_ = arrival;
        return;
    }
    const float step = settings_.animationStep;
    float t = step;
    if (t > 1.01) return;
    if (!(step > 0.0f)) return;  // zero, negative or NaN: the transition would never end
    double s = 1.0;
    for (;;) {
        if (distance > 0.0001) s = std::tanh(t * distance) / std::tanh(distance);
        const ProjPoint pt(s * p.x, s * p.y, s * p.z, 1.0);
        ProjTransform xt;
        xt.setTranslationTo(pt);
        xt.invert();
        ProjTransform view = startView * xt;
        if (rotation > 0.0001) view = view * target.slerp(baseOrientation_, t).toMatrix();
        if (!commitView(view)) return;  // never hand a non-finite view to a frame
        // Single-precision accumulation: the sum is compared unrounded, then stored as a float.
        const double next = static_cast<double>(t) + static_cast<double>(step);
        const bool last = !(next <= 1.01) || static_cast<float>(next) == t;  // or lost to rounding
        if (last && arrival != nullptr) centreNode_ = arrival_ = arrival;
        drawFrame();
        if (last) break;
        t = static_cast<float>(next);
    }
}

}  // namespace orvo
