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
#include "render/depth_function.h"

namespace orvo {

/// A band of window depths that glDepthRange maps a kind of primitive into.
struct DepthBand {
    double nearDepth, farDepth;
};
/// With labels on top: every cube in front of every link (a node is never hidden by a link,
/// however many pass in front of it), each kind in its own depth order, and both behind the
/// labels and marks, which lie at the nearest depths.
inline constexpr DepthBand kCubeDepths{0.01, 0.3};
inline constexpr DepthBand kLinkDepths{0.3, 1.0};

/// Sets a depth band while it lives (none: the whole range, as GL starts), then the whole range.
class DepthBandScope {
public:
    DepthBandScope(bool on, const DepthBand& band);
    ~DepthBandScope();
    DepthBandScope(const DepthBandScope&) = delete;
    DepthBandScope& operator=(const DepthBandScope&) = delete;

private:
    bool on_;
};

/// In the cubes' narrow band an outline edge meets its faces at equal depths: while it lives,
/// equal depths pass (when `on`), so that the outline shows as it does in the whole range.
class OutlineDepthTest {
public:
    OutlineDepthTest(bool on, DepthFunction& depthFunction);
    ~OutlineDepthTest();
    OutlineDepthTest(const OutlineDepthTest&) = delete;
    OutlineDepthTest& operator=(const OutlineDepthTest&) = delete;

private:
    bool on_;
    DepthFunction& depthFunction_;
    unsigned saved_ = 0;
};

class ModernBackend;

class DrawBatch {
public:
    /// `depthFunction`: the one its owner sets GL's depth function through.
    explicit DrawBatch(DepthFunction& depthFunction) : depthFunction_(depthFunction) {}

    /// Lines gathered for drawing: both ends of each line in turn, x, y, z, w after the view, in
    /// double precision for the GL 1.1 arrays or in single precision (what a shader reads) for
    /// the shader back end.
    struct Lines {
        std::vector<double> vertices;
        std::vector<float> points;
        std::vector<float> colours;  // red, green, blue, alpha
        size_t ends() const { return (vertices.size() + points.size()) / 4; }
        bool empty() const { return vertices.empty() && points.empty(); }
    };

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
    /// Whether cubes and links are drawn into their depth bands (cubes in front of links).
    void setCubesInFront(bool on) { cubesInFront_ = on; }
    /// Where draw sends the batch: the shader back end, or (nullptr) the GL 1.1 vertex arrays.
    void setModernBackend(ModernBackend* backend) { modern_ = backend; }
    /// The depth function its owner sets, which the outlines change while they are drawn.
    DepthFunction& depthFunction() const { return depthFunction_; }

    bool full() const {
        return nodes_ >= kNodesPerBatch || thick_.ends() + thin_.ends() >= kLinkEndsPerBatch;
    }
    /// Draws what was gathered (filled cubes, outlines, then the two widths of lines) and
    /// empties the batch, keeping its buffers for the next one.
    void draw();

    // What was gathered for the shader back end: each cube's 8 corners once (corner c at +x for
    // bit 0 of c, +y for bit 1, +z for bit 2; x, y, z, w after the view, single precision) with
    // its colour at each corner (red, green, blue), the corners of the outlined cubes again, and
    // the two widths of lines. The back end takes the faces from the corners by index: a
    // rasteriser then carries 8 corners of a cube through its shader instead of 24 face vertices.
    const std::vector<float>& cubeCorners() const { return cubeCorners_; }
    const std::vector<float>& cornerColours() const { return cornerColours_; }
    const std::vector<float>& outlineCorners() const { return outlineCorners_; }
    const Lines& thickLines() const { return thick_; }
    const Lines& thinLines() const { return thin_; }
    const ProjTransform& camera() const { return camera_; }
    bool cubesInFront() const { return cubesInFront_; }

private:
    void clear();

    bool empty() const {
        return cubeVertices_.empty() && cubeCorners_.empty() && thick_.empty() && thin_.empty();
    }

    // The GL 1.1 arrays: four vertices for each face, x, y, z, w: 24 a cube.
    std::vector<double> cubeVertices_;
    std::vector<float> cubeColours_;  // red, green, blue
    std::vector<double> outlineVertices_;
    std::vector<float> cubeCorners_, cornerColours_, outlineCorners_;
    Lines thick_, thin_;
    size_t nodes_ = 0;
    bool cubesInFront_ = false;
    ProjTransform view_ = ProjTransform::identity();
    ProjTransform camera_ = ProjTransform::identity();
    ModernBackend* modern_ = nullptr;
    DepthFunction& depthFunction_;
};

}  // namespace orvo
