// What is drawn over everything else of a frame while labels never overlap: the labels and the
// rings that mark the centre and the selected nodes. They are drawn at the end of each slice at
// the nearest depths, so that the links and cubes of later slices, drawn into the same depth
// buffer, cannot cross them (cubes and links lie in depth bands behind, see draw_batch.h).
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "graph/graph.h"
#include "render/finite_check.h"
#include "render/fixed_function_gl.h"
#include "render/gles3_backend.h"
#include "render/renderer.h"
#include "settings/viewer_settings.h"

namespace orvo {

namespace {

// Orthographic z (the label pass maps z to window depth (1 - z) / 2) of what lies on top: the
// label boxes just behind the nearest depth, their text just in front of them, the rings behind
// the labels, and all of them in front of the cubes' depth band.
constexpr double kOnTopZ = 0.998;
constexpr double kMarkZ = 0.99;
// The ring: its gap from the cube, its width, and the edge on each side of it that sets it off
// from whatever lies around (a pixel).
constexpr double kMarkGap = 2.0, kMarkWidth = 2.0, kMarkEdge = 1.0;
// The smallest half size of the space the ring goes round, so that a node of a pixel or two
// still shows a ring.
constexpr double kMarkMinHalf = 3.0;

// A square frame between two rectangles, as four quads: x, y, z of each corner.
std::vector<double> frameQuads(double x0, double y0, double x1, double y1, double width, double z) {
    const double ix0 = x0 + width, iy0 = y0 + width, ix1 = x1 - width, iy1 = y1 - width;
    const double quads[4][4] = {
        {x0, y0, x1, iy0}, {x0, iy1, x1, y1}, {x0, iy0, ix0, iy1}, {ix1, iy0, x1, iy1}};
    std::vector<double> corners;
    corners.reserve(4 * 4 * 3);
    for (const auto& q : quads) {
        corners.insert(corners.end(), {q[0], q[1], z, q[2], q[1], z, q[2], q[3], z, q[0], q[3], z});
    }
    return corners;
}

#if ORVO_FIXED_FUNCTION_GL
void fillQuads(const std::vector<double>& corners) {
    glBegin(GL_QUADS);
    for (size_t i = 0; i + 3 <= corners.size(); i += 3)
        glVertex3d(corners[i], corners[i + 1], corners[i + 2]);
    glEnd();
}

// Window pixels one to one, for what is drawn in window coordinates; undone by the destructor.
class WindowPixels {
public:
    WindowPixels(int width, int height) {
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glOrtho(0.0, width, 0.0, height, -1.0, 1.0);
    }
    ~WindowPixels() {
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        glPopMatrix();
    }
    WindowPixels(const WindowPixels&) = delete;
    WindowPixels& operator=(const WindowPixels&) = delete;
};
#endif

}  // namespace

bool Renderer::labelsOnTop() const { return settings_.labelsOverlap == 0; }

namespace {

// The width in pixels from which a cube whose colour is rare in the frame keeps labels off it,
// and what rare is: fewer nodes of that colour than this share of those drawn.
constexpr double kRareCubeMinSize = 1.0;
constexpr uint32_t kRareShareDivisor = 20;

}  // namespace

void Renderer::noteCube(const Node& n, const ProjTransform& window) {
    if (!n.isShown() || (n.flags & Veiled) != 0 || n.generation >= settings_.nodeGenerationLimit)
        return;
    // A cube the size that carries a label under the overlapping rule always keeps labels off;
    // a small one only when its colour is rare (an added or a broken page among thousands):
    // keeping them all in sight would leave no room for labels.
    const bool large = n.apparentSize >= labelThreshold_;
    if (!large && n.apparentSize < kRareCubeMinSize) return;
    const WindowBox cube = cubeWindowBox(graph_->globalTransform(n), window);
    if (cube.isUnbounded() || !(cube.x0 <= cube.x1)) return;
    const LabelBox box{cube.x0, cube.y0, cube.x1, cube.y1};
    const float* colour = cubeColour(n);
    auto counted = std::find_if(frameColours_.begin(), frameColours_.end(),
                                [&](const auto& c) { return c.first == colour; });
    if (counted == frameColours_.end()) {
        frameColours_.emplace_back(colour, 1);
    } else {
        ++counted->second;
    }
    ++frameColouredNodes_;
    if (large) {
        labelSpace_.add(box);
    } else {
        smallCubes_.emplace_back(colour, box);
    }
}

void Renderer::reserveRareCubes() {
    for (const auto& [colour, box] : smallCubes_) {
        for (const auto& [counted, count] : frameColours_) {
            if (counted != colour) continue;
            if (count * kRareShareDivisor < frameColouredNodes_) labelSpace_.add(box);
            break;
        }
    }
    smallCubes_.clear();
}

WindowBox Renderer::markBoxOf(const Node& n) const {
    const WindowBox cube = cubeBoxOnScreen(n);
    if (!(cube.x0 <= cube.x1) || cube.isUnbounded() || !std::isfinite(cube.x0) ||
        !std::isfinite(cube.x1) || !std::isfinite(cube.y0) || !std::isfinite(cube.y1)) {
        return WindowBox{};
    }
    const double cx = 0.5 * (cube.x0 + cube.x1), cy = 0.5 * (cube.y0 + cube.y1);
    const double reach = kMarkGap + kMarkWidth + kMarkEdge;
    const double hx = std::max(0.5 * (cube.x1 - cube.x0), kMarkMinHalf) + reach;
    const double hy = std::max(0.5 * (cube.y1 - cube.y0), kMarkMinHalf) + reach;
    WindowBox box;
    box.add(std::round(cx - hx), std::round(cy - hy));
    box.add(std::round(cx + hx), std::round(cy + hy));
    return box;
}

void Renderer::noteMarked(Node& n) {
    markedNodes_.push_back(&n);
    // Its cube stays in sight; labels may cover a side of its ring (in a small view the ring
    // would otherwise take the room of the labels around it).
    const WindowBox b = cubeBoxOnScreen(n);
    if (b.x0 <= b.x1 && !b.isUnbounded()) labelSpace_.add(LabelBox{b.x0, b.y0, b.x1, b.y1});
}

void Renderer::keepLabelsOffMarkedCubes(const ProjTransform& window) {
    for (const Node* n : {centreNode_, lastSelected_}) {
        if (n == nullptr || !n->isShown() || (n->flags & Veiled) != 0) continue;
        const WindowBox b = cubeWindowBox(graph_->globalTransform(*n), window);
        if (b.x0 <= b.x1 && !b.isUnbounded()) labelSpace_.add(LabelBox{b.x0, b.y0, b.x1, b.y1});
    }
}

bool Renderer::isMarked(const Node& n) const {
    return labelsOnTop() && (n.generation == 0 || (n.flags & Selected) != 0);
}

void Renderer::drawMark(const Node& n) {
    if (!n.isShown() || n.generation >= settings_.nodeGenerationLimit) return;
    const WindowBox b = markBoxOf(n);
    if (!(b.x0 <= b.x1)) return;
    const bool selected = (n.flags & Selected) != 0;
    const Colour& ring = selected ? kSelectionRingColour : settings_.labelColor;
    const Colour& edge = selected ? settings_.labelColor : settings_.backgroundColor;
    const std::vector<double> edgeQuads =
        frameQuads(b.x0, b.y0, b.x1, b.y1, kMarkWidth + 2 * kMarkEdge, kMarkZ);
    // Over its edge, a little nearer: the same depth would not pass the depth test.
    const std::vector<double> ringQuads =
        frameQuads(b.x0 + kMarkEdge, b.y0 + kMarkEdge, b.x1 - kMarkEdge, b.y1 - kMarkEdge,
                   kMarkWidth, kMarkZ + 0.002);
    if (modern_ != nullptr) {
        modern_->drawWindowQuads(edgeQuads, edge.data());
        modern_->drawWindowQuads(ringQuads, ring.data());
        return;
    }
#if ORVO_FIXED_FUNCTION_GL
    const WindowPixels pixels(viewport_[2] - viewport_[0], viewport_[3] - viewport_[1]);
    glColor3f(edge[0], edge[1], edge[2]);
    fillQuads(edgeQuads);
    glColor3f(ring[0], ring[1], ring[2]);
    fillQuads(ringQuads);
#endif
}

void Renderer::drawLabelOnTop(const Node& n, const ProjPoint& anchor) {
    const unsigned depthFunc = depthFunction_.current();
    depthFunction_.set(GL_ALWAYS);
    drawLabelAt(n, anchor, kOnTopZ);
    depthFunction_.set(depthFunc);
}

void Renderer::drawOnTop(size_t labelsFrom, size_t marksFrom) {
    // Rings lie behind every label (a ring of a later slice leaves a label whole) and in front
    // of every cube and link, which cannot cross them afterwards.
    for (size_t i = marksFrom; i < markedNodes_.size(); ++i) drawMark(*markedNodes_[i]);
    depthFunction_.set(GL_ALWAYS);
    for (size_t i = labelsFrom; i < drawnLabels_.size(); ++i) {
        drawLabelAt(*drawnLabels_[i].node, drawnLabels_[i].anchor, kOnTopZ);
    }
    depthFunction_.set(GL_LESS);
}

}  // namespace orvo
