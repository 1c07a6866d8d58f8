// A slice's cubes and links gathered into vertex arrays and drawn with a few calls. The software
// rasteriser spends most of a node's time on per-node state (a matrix pushed and multiplied, a
// colour, a display list); here each cube corner is carried through its node's transform on the
// CPU, and the whole batch goes down as one array per kind of primitive.
//
// The view is applied here too, in double precision, and GL is given only the camera: far from
// the home view a node's transform and the view both hold entries in the thousands, and their
// product taken in GL's single precision turned cubes into spikes across the picture.
#pragma once

#include <cstddef>
#include <vector>

#include "geometry/proj_point.h"
#include "geometry/proj_transform.h"

namespace orvo {

class DrawBatch {
public:
    /// Nodes after which the batch is drawn, so that a slice's time check sees the drawing.
    static constexpr size_t kNodesPerBatch = 256;
    /// Line ends after which the batch is drawn (a node may carry a hundred thousand links).
    static constexpr size_t kLinkEndsPerBatch = 16384;

    /// The view that carries layout points before the camera, and the camera GL then applies.
    void setView(const ProjTransform& view, const ProjTransform& camera) {
        view_ = view;
        camera_ = camera;
    }
    /// A filled cube in `colour` (red, green, blue) through the node's transform; its black
    /// outline too when `outlined`.
    void addCube(const ProjTransform& nodeTransform, const float* colour, bool outlined);
    /// A line from layout point `from` to layout point `to`, shaded from one colour (red, green,
    /// blue, alpha) to the other; `thick` lines are two pixels wide, the others one.
    void addLink(const ProjPoint& from, const ProjPoint& to, const float* fromColour,
                 const float* toColour, bool thick);
    void countNode() { ++nodes_; }

    bool full() const {
        return nodes_ >= kNodesPerBatch || thick_.ends() + thin_.ends() >= kLinkEndsPerBatch;
    }
    /// Draws what was gathered (filled cubes, outlines, then the two widths of lines) and
    /// empties the batch, keeping its buffers for the next one.
    void draw();

private:
    struct Lines {
        std::vector<double> vertices;  // x, y, z, w
        std::vector<float> colours;    // red, green, blue, alpha
        size_t ends() const { return vertices.size() / 4; }
    };
    std::vector<double> cubeVertices_;  // x, y, z, w: 24 a cube
    std::vector<float> cubeColours_;    // red, green, blue
    std::vector<double> outlineVertices_;
    Lines thick_, thin_;
    size_t nodes_ = 0;
    ProjTransform view_ = ProjTransform::identity();
    ProjTransform camera_ = ProjTransform::identity();
};

}  // namespace orvo
