#include "render/draw_batch.h"

#include <GL/gl.h>

#include "render/cube_vertices.h"

namespace orvo {

namespace {

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

}  // namespace

void DrawBatch::addCube(const ProjTransform& transform, const float* colour, bool outlined) {
    const size_t start = cubeVertices_.size();
    for (const auto& corner : kCubeVertices) {
        const ProjPoint p = transform.apply(ProjPoint(corner[0], corner[1], corner[2], 1.0));
        cubeVertices_.insert(cubeVertices_.end(), {p.x, p.y, p.z, p.w});
        cubeColours_.insert(cubeColours_.end(), {colour[0], colour[1], colour[2]});
    }
    if (outlined) {
        outlineVertices_.insert(outlineVertices_.end(), cubeVertices_.begin() + start,
                                cubeVertices_.end());
    }
}

void DrawBatch::addLink(const ProjPoint& from, const ProjPoint& to, const float* fromColour,
                        const float* toColour, bool thick) {
    Lines& lines = thick ? thick_ : thin_;
    lines.vertices.insert(lines.vertices.end(),
                          {from.x, from.y, from.z, from.w, to.x, to.y, to.z, to.w});
    lines.colours.insert(lines.colours.end(), fromColour, fromColour + 4);
    lines.colours.insert(lines.colours.end(), toColour, toColour + 4);
}

void DrawBatch::draw() {
    if (!cubeVertices_.empty()) {
        glLineWidth(1.0f);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        drawArrays(GL_QUADS, cubeVertices_, cubeColours_.data(), 3);
        if (!outlineVertices_.empty()) {
            glColor3f(0.0f, 0.0f, 0.0f);
            glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
            drawArrays(GL_QUADS, outlineVertices_, nullptr, 0);
            glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        }
    }
    if (!thick_.vertices.empty()) {
        glLineWidth(2.0f);
        drawArrays(GL_LINES, thick_.vertices, thick_.colours.data(), 4);
    }
    if (!thin_.vertices.empty()) {
        glLineWidth(1.0f);
        drawArrays(GL_LINES, thin_.vertices, thin_.colours.data(), 4);
    }
    cubeVertices_.clear();
    cubeColours_.clear();
    outlineVertices_.clear();
    thick_.vertices.clear();
    thick_.colours.clear();
    thin_.vertices.clear();
    thin_.colours.clear();
    nodes_ = 0;
}

}  // namespace orvo
