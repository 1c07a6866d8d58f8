#include "render/draw_batch.h"

#include <GL/gl.h>

#include <array>

#include "render/cube_vertices.h"
#include "render/fixed_function_gl.h"
#include "render/gles3_backend.h"

namespace orvo {

namespace {

#if ORVO_FIXED_FUNCTION_GL
void drawArrays(GLenum mode, const std::vector<double>& vertices, const float* colours,
                GLint colourSize) {
    if (vertices.empty()) return;
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(4, GL_DOUBLE, 0, vertices.data());
    if (colours != nullptr) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(colourSize, GL_FLOAT, 0, colours);
    }
    glDrawArrays(mode, 0, static_cast<GLsizei>(vertices.size() / 4));
    if (colours != nullptr) glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}
#endif

}  // namespace

DepthBandScope::DepthBandScope(bool on, const DepthBand& band) : on_(on) {
    if (on_) glDepthRange(band.nearDepth, band.farDepth);
}

DepthBandScope::~DepthBandScope() {
    if (on_) glDepthRange(0.0, 1.0);
}

OutlineDepthTest::OutlineDepthTest(bool on, DepthFunction& depthFunction)
    : on_(on), depthFunction_(depthFunction), saved_(depthFunction.current()) {
    if (on_ && saved_ == GL_LESS) depthFunction_.set(GL_LEQUAL);
}

OutlineDepthTest::~OutlineDepthTest() {
    if (on_ && saved_ == GL_LESS) depthFunction_.set(saved_);
}

void DrawBatch::addCube(const ProjTransform& nodeTransform, const float* colour, bool outlined) {
    const ProjTransform transform = nodeTransform * view_;
    // The 24 face vertices share 8 corners: each corner is carried through the transform once.
    ProjPoint corners[8];
    for (int c = 0; c < 8; ++c) {
        const double h = kHalfEdge;
        corners[c] =
            transform.apply(ProjPoint(c & 1 ? h : -h, c & 2 ? h : -h, c & 4 ? h : -h, 1.0));
    }
    if (modern_ != nullptr) {
        const size_t start = cubeCorners_.size();
        cubeCorners_.resize(start + 4 * 8);
        float* corner = cubeCorners_.data() + start;
        for (const ProjPoint& p : corners) {
            *corner++ = static_cast<float>(p.x);
            *corner++ = static_cast<float>(p.y);
            *corner++ = static_cast<float>(p.z);
            *corner++ = static_cast<float>(p.w);
        }
        for (int c = 0; c < 8; ++c) cornerColours_.insert(cornerColours_.end(), colour, colour + 3);
        if (outlined) {
            outlineCorners_.insert(outlineCorners_.end(), cubeCorners_.begin() + start,
                                   cubeCorners_.end());
        }
        return;
    }
    const size_t start = cubeVertices_.size();
    cubeVertices_.resize(start + 4 * kFaceCorners.size());
    cubeColours_.resize(cubeColours_.size() + 3 * kFaceCorners.size());
    double* vertex = cubeVertices_.data() + start;
    float* vertexColour = cubeColours_.data() + cubeColours_.size() - 3 * kFaceCorners.size();
    for (const int c : kFaceCorners) {
        const ProjPoint& p = corners[c];
        *vertex++ = p.x;
        *vertex++ = p.y;
        *vertex++ = p.z;
        *vertex++ = p.w;
        *vertexColour++ = colour[0];
        *vertexColour++ = colour[1];
        *vertexColour++ = colour[2];
    }
    if (outlined) {
        outlineVertices_.insert(outlineVertices_.end(), cubeVertices_.begin() + start,
                                cubeVertices_.end());
    }
}

void DrawBatch::addLink(const ProjPoint& fromPoint, const ProjPoint& toPoint,
                        const float* fromColour, const float* toColour, bool thick) {
    const ProjPoint from = view_.apply(fromPoint), to = view_.apply(toPoint);
    Lines& lines = thick ? thick_ : thin_;
    if (modern_ != nullptr) {
        lines.points.insert(
            lines.points.end(),
            {static_cast<float>(from.x), static_cast<float>(from.y), static_cast<float>(from.z),
             static_cast<float>(from.w), static_cast<float>(to.x), static_cast<float>(to.y),
             static_cast<float>(to.z), static_cast<float>(to.w)});
    } else {
        lines.vertices.insert(lines.vertices.end(),
                              {from.x, from.y, from.z, from.w, to.x, to.y, to.z, to.w});
    }
    lines.colours.insert(lines.colours.end(), fromColour, fromColour + 4);
    lines.colours.insert(lines.colours.end(), toColour, toColour + 4);
}

void DrawBatch::draw() {
    if (empty()) {
        nodes_ = 0;
        return;
    }
    if (modern_ != nullptr) {
        modern_->drawBatch(*this);
        clear();
        return;
    }
#if ORVO_FIXED_FUNCTION_GL
    // The view is in the vertices already: GL applies the camera alone.
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadMatrixd(camera_.m);
    if (!cubeVertices_.empty()) {
        const DepthBandScope band(cubesInFront_, kCubeDepths);
        glLineWidth(1.0f);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        drawArrays(GL_QUADS, cubeVertices_, cubeColours_.data(), 3);
        if (!outlineVertices_.empty()) {
            const OutlineDepthTest outlineTest(cubesInFront_, depthFunction_);
            glColor3f(0.0f, 0.0f, 0.0f);
            glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
            drawArrays(GL_QUADS, outlineVertices_, nullptr, 0);
            glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        }
    }
    const DepthBandScope band(cubesInFront_, kLinkDepths);
    if (!thick_.vertices.empty()) {
        glLineWidth(2.0f);
        drawArrays(GL_LINES, thick_.vertices, thick_.colours.data(), 4);
    }
    if (!thin_.vertices.empty()) {
        glLineWidth(1.0f);
        drawArrays(GL_LINES, thin_.vertices, thin_.colours.data(), 4);
    }
    glPopMatrix();
#endif
    clear();
}

void DrawBatch::clear() {
    cubeVertices_.clear();
    cubeColours_.clear();
    outlineVertices_.clear();
    cubeCorners_.clear();
    cornerColours_.clear();
    outlineCorners_.clear();
    for (Lines* lines : {&thick_, &thin_}) {
        lines->vertices.clear();
        lines->points.clear();
        lines->colours.clear();
    }
    nodes_ = 0;
}

}  // namespace orvo
