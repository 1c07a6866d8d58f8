// Node labels: a line of bitmap-font text on a box of the background colour, placed in window
// pixels beside the node and depth-tested at the node's depth.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "graph/graph.h"
#include "render/finite_check.h"
#include "render/fixed_function_gl.h"
#include "render/gles3_backend.h"
#include "render/glyph_atlas.h"
#include "render/renderer.h"
#include "settings/viewer_settings.h"

namespace orvo {

void Renderer::updateLabelThreshold() {
    const int width = viewport_[2], height = viewport_[3];
    const float aspect = static_cast<float>(static_cast<double>(width) / height);
    double base = width;
    // With the window aspect in use the base is the smaller window dimension.
    if (settings_.useWindowAspect != 0 && aspect > 1.0f) base = width / aspect;
    labelThreshold_ = static_cast<float>(base * 0.001 * settings_.labelSize);
}

void Renderer::buildFont() {
    if (settings_.fontFace == nullptr) return;
    if (!makeCurrent()) return;
    font_.ascent = 13;
    font_.descent = 0;
    font_.widths.fill(0);
    // The shader back end has no display lists: it draws the same glyphs from an atlas.
    if (modern_ != nullptr) {
        GlyphAtlas atlas;
        if (surface_.buildGlyphAtlas(settings_.fontFace, settings_.fontHeight, atlas) &&
            modern_->setGlyphAtlas(atlas)) {
            font_ = atlas.metrics;
        } else {
            modern_->dropGlyphAtlas();
        }
        return;
    }
#if ORVO_FIXED_FUNCTION_GL
    if (fontListBase_ == 0) fontListBase_ = glGenLists(256);
    // Without lists there is nowhere to put the glyphs (list 0 is not a list).
    if (fontListBase_ != 0) {
        surface_.buildFontLists(settings_.fontFace, settings_.fontHeight, fontListBase_, font_);
    }
#endif
}

int Renderer::textWidth(std::string_view text) const {
    int width = 0;
    for (char c : text) width += font_.widths[static_cast<unsigned char>(c)];
    return width;
}

ProjPoint Renderer::labelAnchorOf(const Node& n) const {
    const ScreenMeasure m = measureOnScreen(n);
    return labelAnchorFrom(n, labelRight_ ? m.right : m.left);
}

namespace {

// With labels on top, the pixels between a label's box and its node's cube.
constexpr double kLabelCubeGap = 2.0;
// How much nearer than its box (in the label pass's orthographic z) a label's text lies, so
// that the box cannot hide it.
constexpr double kLabelTextLift = 0.001;

}  // namespace

ProjPoint Renderer::labelAnchorFrom(const Node& n, const ProjPoint& side) const {
    ProjPoint anchor(side.x, side.y, -side.z, 1.0);
    if (!labelsOnTop()) return anchor;
    // Drawn over everything, the label must leave its own cube in sight, and its ring when it
    // has one: it starts beyond their edge on its side (the measuring points lie inside the
    // cube of a far node).
    const WindowBox cube = isMarked(n) ? markBoxOf(n) : cubeBoxOnScreen(n);
    if (cube.isUnbounded() || !(cube.x0 <= cube.x1)) return anchor;
    if (labelRight_) {
        anchor.x = std::max(anchor.x, static_cast<double>(cube.x1) + kLabelCubeGap);
    } else {
        anchor.x = std::min(anchor.x, static_cast<double>(cube.x0) - kLabelCubeGap);
    }
    return anchor;
}

namespace {

// While labels never overlap, nodes this fraction of the threshold's size get labels too: the
// nearest and largest nodes win the space, the others are left out.
constexpr float kPackedLabelFraction = 0.15f;

}  // namespace

float Renderer::labelLimit() const {
    return settings_.labelsOverlap != 0 ? labelThreshold_ : labelThreshold_ * kPackedLabelFraction;
}

LabelBox Renderer::labelBoxOf(const Node& n) const {
    return labelPlaceOf(labelText(n), labelAnchorOf(n)).box;
}

std::string_view Renderer::labelText(const Node& n) const {
    // A label the file gives is the node's name in either choice: the id's parts mean nothing
    // to whoever named the node.
    if (graph_ != nullptr) {
        if (const std::string_view given = graph_->labelOf(n); !given.empty()) return given;
    }
    return settings_.labelChoice == 1 ? n.shortLabel() : n.pathLabel();
}

Renderer::LabelPlace Renderer::labelPlaceOf(std::string_view text, const ProjPoint& anchor) const {
    const double ax = anchor.x, ay = anchor.y;
    const int w = textWidth(text);
    double x0, x1;
    size_t skipped = 0;
    if (labelRight_) {
        x0 = 0.0;
        x1 = w;
    } else {
        x0 = -w;
        x1 = 0.0;
        if (ax + x0 < 0.0) {
            // The box would cross the window's left edge: drop as many leading characters as
            // the overhang is wide (in average characters) and start at the edge.
            const double k = w > 0 ? std::trunc(text.size() * (ax + x0) / w) : 0.0;
            skipped = static_cast<size_t>(std::fmin(-k, static_cast<double>(text.size())));
            x0 = -ax;
        }
    }
    return {{ax + x0 - 1, ay - font_.descent, ax + x1 + 1, ay + font_.ascent}, ax + x0, skipped};
}

void Renderer::placeLabel(Node& n, const ProjPoint& anchor, DrawBatch* batch) {
    const std::string_view text = labelText(n);
    if (text.empty() || !isFinite(anchor)) return;
    const bool again = (n.flags & Labelled) != 0;  // drawn over itself (hover, selection)
    const bool onTop = labelsOnTop();
    // With labels on top the centre is the frame's first node: it always gets its label.
    const bool always = again || settings_.labelsOverlap != 0 ||
                        (n.flags & (Highlighted | Selected)) != 0 || &n == arrival_ ||
                        (onTop && n.generation == 0);
    if (!always && deferLabels_) {
        deferredLabels_.push_back({&n, anchor});
        return;
    }
    const LabelBox box = labelPlaceOf(text, anchor).box;
    if (!always && !labelSpace_.isFree(box)) return;
    if (onTop) {
        // In a slice the label waits for the slice's end, when it is drawn over all of it;
        // outside one (hover, selection) it is drawn over what is there now.
        if (!inSlice_) drawLabelOnTop(n, anchor);
    } else {
        if (batch != nullptr) batch->draw();  // what came before the label is drawn before it
        drawLabel(n, anchor);
    }
    if (again) return;
    n.flags |= Labelled;
    labelSpace_.add(box);
    drawLog_.push_back({&n, static_cast<int32_t>(drawnLabels_.size())});
    drawnLabels_.push_back({&n, box, anchor.z, anchor});
}

void Renderer::placeDeferredLabels() {
    deferLabels_ = false;
    if (deferredLabels_.empty()) return;
    if (labelRanks_ != nullptr && graph_ != nullptr && labelRanks_->size() == graph_->nodes.size()) {
        const std::vector<double>& rank = *labelRanks_;
        std::stable_sort(deferredLabels_.begin(), deferredLabels_.end(),
                         [&rank](const LabelCandidate& a, const LabelCandidate& b) {
                             const double ra = rank[static_cast<size_t>(a.node->index)];
                             const double rb = rank[static_cast<size_t>(b.node->index)];
                             return ra != rb ? ra > rb
                                             : a.node->apparentSize > b.node->apparentSize;
                         });
    } else {
        std::stable_sort(deferredLabels_.begin(), deferredLabels_.end(),
                         [](const LabelCandidate& a, const LabelCandidate& b) {
                             return a.node->apparentSize > b.node->apparentSize;
                         });
    }
    // The slice's batch has been drawn: labels put off are drawn at once.
    for (const LabelCandidate& c : deferredLabels_) placeLabel(*c.node, c.anchor, nullptr);
    deferredLabels_.clear();
}

void Renderer::drawLabel(const Node& n, const ProjPoint& anchor) {
    drawLabelAt(n, anchor, anchor.z);
}

void Renderer::drawLabelAt(const Node& n, const ProjPoint& anchor, double boxZ) {
    std::string_view text = labelText(n);
    if (text.empty()) return;
    if (!isFinite(anchor)) return;
    if (modern_ != nullptr) {
        drawModernLabel(n, anchor, boxZ);
        return;
    }
#if ORVO_FIXED_FUNCTION_GL

    glPolygonMode(GL_FRONT, GL_FILL);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, viewport_[2] - viewport_[0], 0.0, viewport_[3] - viewport_[1], -1.0, 1.0);

    const double az = boxZ;
    const LabelInks inks = labelInksOf(n);
    const float* boxColour = inks.box;
    const float* ink = inks.text;
    const LabelPlace place = labelPlaceOf(text, anchor);
    const LabelBox& box = place.box;
    text.remove_prefix(place.skipped);

    glColor3f(boxColour[0], boxColour[1], boxColour[2]);
    glBegin(GL_TRIANGLE_STRIP);
    glVertex3d(box.x0, box.y0, az);
    glVertex3d(box.x1, box.y0, az);
    glVertex3d(box.x0, box.y1, az);
    glVertex3d(box.x1, box.y1, az);
    glEnd();

    glColor3f(ink[0], ink[1], ink[2]);
    glRasterPos3d(place.textX, anchor.y, az + kLabelTextLift);
    if (fontListBase_ != 0 && !text.empty()) {
        glListBase(fontListBase_);
        glCallLists(static_cast<GLsizei>(text.size()), GL_UNSIGNED_BYTE, text.data());
    }

    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
#else
    static_cast<void>(boxZ);
#endif
}

Renderer::LabelInks Renderer::labelInksOf(const Node& n) const {
    if ((n.flags & Highlighted) != 0)
        return {settings_.labelColor.data(), settings_.backgroundColor.data()};
    return {settings_.backgroundColor.data(), settings_.labelColor.data()};
}

void Renderer::drawModernLabel(const Node& n, const ProjPoint& anchor, double boxZ) {
    std::string_view text = labelText(n);
    const LabelInks inks = labelInksOf(n);
    const LabelPlace place = labelPlaceOf(text, anchor);
    text.remove_prefix(place.skipped);
    modern_->drawLabel(place.box, boxZ, inks.box, text, place.textX, anchor.y,
                       boxZ + kLabelTextLift, inks.text);
}

}  // namespace orvo
