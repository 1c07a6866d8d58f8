// The drawing back end for GLs without fixed functions: OpenGL ES 3.0 (what WebGL 2 offers) and
// desktop GL 3.3 core. It draws what a slice gathered in its DrawBatch from vertex buffers
// through one small shader program, with the camera and projection as a uniform, and the
// sphere's wireframe and the marks' rings from buffers of their own.
//
// Lines wider than a pixel do not exist in core profiles: the two-pixel tree links are thin
// quads, one instance per line, that the vertex shader widens across the line's minor axis, as
// the rasteriser widens a wide line.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "geometry/proj_transform.h"
#include "render/gl_surface.h"
#include "render/glyph_atlas.h"
#include "render/label_space.h"
#include "render/sphere_wireframe.h"

namespace orvo {

class DrawBatch;
struct DepthBand;

class ModernBackend {
public:
    ModernBackend() = default;
    ~ModernBackend();
    ModernBackend(const ModernBackend&) = delete;
    ModernBackend& operator=(const ModernBackend&) = delete;

    /// Compiles the programs (GLSL 300 es or 330 core, after `api`) and makes the buffers in the
    /// current context. False, with the reason in error(), when the GL refuses any of it.
    bool init(GlApi api);
    const std::string& error() const { return error_; }
    /// Whether two-pixel links may be drawn as the GL's own wide lines where it has them (the
    /// default), rather than always as quads; set before init.
    void allowWideLines(bool on) { wideLinesAllowed_ = on; }
    /// Whether the two-pixel links are the GL's own wide lines (else quads).
    bool wideLines() const { return wideLines_; }
    bool ready() const { return ready_; }

    /// The projection the camera's matrix is followed by, and the window size in pixels.
    void setProjection(const ProjTransform& projection, int width, int height);
    /// Keeps the sphere's wireframe loops in a line buffer.
    void setSphere(const std::vector<SphereLoop>& loops);
    /// Draws the wireframe through `matrix` (the sphere's own points to the camera) in colour.
    void drawSphere(const ProjTransform& matrix, const float* colour, bool inLinkBand);
    /// Draws a batch: filled cubes, their outlines, then thick and thin links.
    void drawBatch(const DrawBatch& batch);
    /// Quads given in window pixels (x, y, z with the label pass's orthographic z, four
    /// corners each) filled in one colour.
    void drawWindowQuads(const std::vector<double>& corners, const float* colour);

    /// Takes the label font's glyphs as a texture. False (and no text drawn until another atlas
    /// is taken) for an atlas that is not valid or larger than the GL's textures.
    bool setGlyphAtlas(const GlyphAtlas& atlas);
    /// Drops the glyphs: labels are boxes without text.
    void dropGlyphAtlas() { hasAtlas_ = false; }
    bool hasGlyphAtlas() const { return hasAtlas_; }
    /// A label: its box filled at the label pass's z `boxZ` (window pixels, as drawWindowQuads),
    /// then its text with the pen starting at (penX, penY) at z `textZ`, each glyph on the pixels
    /// glBitmap would give it from that raster position. As with a raster position, no text at
    /// all is drawn when the pen's start lies outside the window or the label pass's depths.
    void drawLabel(const LabelBox& box, double boxZ, const float* boxColour, std::string_view text,
                   double penX, double penY, double textZ, const float* ink);

private:
    struct Program {
        unsigned id = 0;
        int matrix = -1, viewport = -1, halfWidth = -1;
    };
    bool build(Program& program, const char* vertexBody, bool widened,
               const char* fragmentBody = nullptr);
    /// Window pixels one to one, z as the label pass's orthographic projection takes it.
    ProjTransform windowPixels() const;
    /// Fills the glyph quads of the text into positions_ and texels_; how many there are.
    size_t glyphQuads(std::string_view text, double penX, double penY, double z);
    void useMatrix(const Program& program, const ProjTransform& matrix) const;
    /// Indices of shapes of a few vertices each (a quad's, a cube's corners) drawn as
    /// triangles or lines: a shape's indices, repeated for as many shapes as a batch holds.
    struct IndexPattern {
        std::vector<unsigned> shape;
        unsigned verticesPerShape = 0;
        unsigned buffer = 0;
        std::vector<unsigned> indices;
    };
    void drawIndexed(IndexPattern& pattern, size_t shapes, bool edges);
    /// Draws the quads (four vertices each) of the bound arrays as triangles or as edges.
    void drawQuads(size_t quads, bool edges);
    void drawWideLines(const std::vector<float>& vertices, const std::vector<float>& colours,
                       const ProjTransform& matrix);
    void setBand(bool on, const DepthBand& band) const;

    bool ready_ = false;
    bool wideLinesAllowed_ = true, wideLines_ = false;
    GlApi api_ = GlApi::Es3;
    std::string error_;
    Program flat_, wide_, glyph_;
    int glyphInk_ = -1, glyphAtlasUnit_ = -1;
    unsigned atlasTexture_ = 0;
    bool hasAtlas_ = false;
    std::array<GlyphAtlas::Glyph, 256> glyphs_{};
    unsigned vertexArray_ = 0;
    // A buffer for each stream a batch or a label uploads: a buffer is given new data only once
    // in a batch, so that a GL never has to keep its old contents for a draw still queued.
    enum Stream {
        kCubePositions,
        kCubeColours,
        kOutlinePositions,
        kThickPositions,
        kThickColours,
        kThinPositions,
        kThinColours,
        kWindowPositions,
        kGlyphPositions,
        kGlyphTexels,
        kStreams
    };
    unsigned buffers_[kStreams] = {};
    unsigned sphereBuffer_ = 0;
    IndexPattern quadTriangles_, quadEdges_, cubeTriangles_, cubeEdges_;
    std::vector<int> sphereLoopStarts_;  // a loop's first vertex; the last entry is the total
    ProjTransform projection_ = ProjTransform::identity();
    int width_ = 1, height_ = 1;
    // Scratch arrays kept between batches.
    std::vector<float> positions_, texels_, wideCorners_;
};

}  // namespace orvo
