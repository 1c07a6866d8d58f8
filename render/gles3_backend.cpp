#include "render/gles3_backend.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>

#include "render/cube_vertices.h"
#include "render/draw_batch.h"

namespace orvo {

namespace {

// Attribute locations, bound before the programs are linked.
constexpr GLuint kPosition = 0, kColour = 1, kOther = 2;

constexpr const char* kEsHeader = "#version 300 es\nprecision highp float;\n";
constexpr const char* kCoreHeader = "#version 330 core\n";

constexpr const char* kFlatVertex = R"(
in vec4 position;
in vec4 colour;
uniform mat4 matrix;
out vec4 shade;
void main() {
    gl_Position = matrix * position;
    shade = colour;
}
)";

// A wide line's quad: four corners (a-, a+, b+, b-, drawn as the triangles a-, a+, b+ and
// a-, b+, b-), each its end moved half the width across the line's minor axis in window pixels
// (vertically for a line that runs more across than up), as the rasteriser widens a wide line;
// the ends are not extended. Each corner carries its own end, the other end and its end's
// colour: one instance per line would be simpler, but a software rasteriser sets up every
// instance as a draw of its own, and a frame of a hundred thousand links then took seconds.
constexpr const char* kWideVertex = R"(
in vec4 position;
in vec4 colour;
in vec4 other;
uniform mat4 matrix;
uniform vec2 viewport;
uniform float halfWidth;
out vec4 shade;
const float kSide[4] = float[4](-1.0, 1.0, 1.0, -1.0);
void main() {
    vec4 near = matrix * position;
    vec4 far = matrix * other;
    vec2 run = (far.xy / far.w - near.xy / near.w) * viewport;
    vec2 across = abs(run.x) >= abs(run.y) ? vec2(0.0, 1.0) : vec2(1.0, 0.0);
    float side = kSide[gl_VertexID % 4];
    gl_Position = near + vec4(across * (side * halfWidth * 2.0 * near.w) / viewport, 0.0, 0.0);
    shade = colour;
}
)";

constexpr const char* kFragment = R"(
in vec4 shade;
out vec4 fragColour;
void main() {
    fragColour = shade;
}
)";

// A glyph: window pixels, and the atlas texel each corner lies on. Coordinates run in texels, so
// that a pixel's centre falls on a texel's centre and texelFetch takes that very texel.
constexpr const char* kGlyphVertex = R"(
in vec4 position;
in vec2 texel;
uniform mat4 matrix;
out vec2 coord;
void main() {
    gl_Position = matrix * position;
    coord = texel;
}
)";

// A bitmap's pixel is drawn where its bit is set, in the ink, and nothing is drawn elsewhere.
constexpr const char* kGlyphFragment = R"(
in vec2 coord;
uniform vec4 ink;
uniform sampler2D atlas;
out vec4 fragColour;
void main() {
    if (texelFetch(atlas, ivec2(floor(coord)), 0).r < 0.5) discard;
    fragColour = ink;
}
)";

// Per quad of four vertices: its two triangles, and its four edges as the outline of a polygon
// drawn in lines.
constexpr GLuint kQuadTriangles[6] = {0, 1, 2, 0, 2, 3};
constexpr GLuint kQuadEdges[8] = {0, 1, 1, 2, 2, 3, 3, 0};

// Per cube of 8 corners: each face as a quad of its corners, in the GL 1.1 path's order of faces
// and of each face's vertices, so that both rasterise the same triangles and the same edges (an
// edge two faces share is drawn twice, once each way, as there).
// The triangles are wound counterclockwise seen from outside the cube, so that culling drops the
// faces turned away: a face listed clockwise from outside has each triangle's last two corners
// swapped. Its first corner stays first, as the rasteriser's setup of a clockwise triangle
// keeps it: depths are then interpolated to the very same values, and the outlines drawn at
// equal depth over the faces show where they show in the GL 1.1 picture.
constexpr bool facesOutward(size_t face) {
    const float* a = kCubeVertices[4 * face];
    const float* b = kCubeVertices[4 * face + 1];
    const float* c = kCubeVertices[4 * face + 2];
    float ab[3], ac[3], centre[3];
    for (int i = 0; i < 3; ++i) {
        ab[i] = b[i] - a[i];
        ac[i] = c[i] - a[i];
        centre[i] = a[i] + 0.5f * ac[i];  // the face's centre, away from the cube's
    }
    const float normal[3] = {ab[1] * ac[2] - ab[2] * ac[1], ab[2] * ac[0] - ab[0] * ac[2],
                             ab[0] * ac[1] - ab[1] * ac[0]};
    return normal[0] * centre[0] + normal[1] * centre[1] + normal[2] * centre[2] > 0.0f;
}
template <size_t PerQuad>
constexpr std::array<GLuint, 6 * PerQuad> cubePattern(const GLuint (&quad)[PerQuad],
                                                      bool windOutward) {
    std::array<GLuint, 6 * PerQuad> pattern{};
    for (size_t face = 0; face < 6; ++face) {
        const bool reverse = windOutward && !facesOutward(face);
        for (size_t i = 0; i < PerQuad; ++i) {
            const size_t corner =
                reverse && i % 3 != 0 ? quad[i % 3 == 1 ? i + 1 : i - 1] : quad[i];
            pattern[face * PerQuad + i] = static_cast<GLuint>(kFaceCorners[4 * face + corner]);
        }
    }
    return pattern;
}
constexpr auto kCubeTriangles = cubePattern(kQuadTriangles, true);
constexpr auto kCubeEdges = cubePattern(kQuadEdges, false);

void upload(GLuint buffer, const std::vector<float>& values) {
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(values.size() * sizeof(float)),
                 values.data(), GL_STREAM_DRAW);
}

void attribute(GLuint location, GLuint buffer, GLint size) {
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glEnableVertexAttribArray(location);
    glVertexAttribPointer(location, size, GL_FLOAT, GL_FALSE, 0, nullptr);
}

std::string shaderLog(GLuint shader) {
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    std::string log(static_cast<size_t>(length > 0 ? length : 1), '\0');
    glGetShaderInfoLog(shader, length, nullptr, log.data());
    return log.c_str();
}

}  // namespace

ModernBackend::~ModernBackend() = default;  // the context's objects go with the context

bool ModernBackend::build(Program& program, const char* vertexBody, bool widened,
                          const char* fragmentBody) {
    const char* header = api_ == GlApi::Es3 ? kEsHeader : kCoreHeader;
    auto compile = [&](GLenum kind, const char* body) -> GLuint {
        const GLuint shader = glCreateShader(kind);
        const char* parts[2] = {header, body};
        glShaderSource(shader, 2, parts, nullptr);
        glCompileShader(shader);
        GLint ok = GL_FALSE;
        glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
        if (ok != GL_TRUE) {
            error_ = std::string(kind == GL_VERTEX_SHADER ? "vertex" : "fragment") +
                     " shader does not compile: " + shaderLog(shader);
            glDeleteShader(shader);
            return 0;
        }
        return shader;
    };
    const GLuint vertex = compile(GL_VERTEX_SHADER, vertexBody);
    if (vertex == 0) return false;
    const GLuint fragment =
        compile(GL_FRAGMENT_SHADER, fragmentBody != nullptr ? fragmentBody : kFragment);
    if (fragment == 0) {
        glDeleteShader(vertex);
        return false;
    }
    program.id = glCreateProgram();
    glAttachShader(program.id, vertex);
    glAttachShader(program.id, fragment);
    glBindAttribLocation(program.id, kPosition, "position");
    glBindAttribLocation(program.id, kColour, "colour");
    glBindAttribLocation(program.id, kOther, "texel");
    if (widened) glBindAttribLocation(program.id, kOther, "other");
    glLinkProgram(program.id);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    GLint linked = GL_FALSE;
    glGetProgramiv(program.id, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
        error_ = "shader program does not link";
        return false;
    }
    program.matrix = glGetUniformLocation(program.id, "matrix");
    program.viewport = glGetUniformLocation(program.id, "viewport");
    program.halfWidth = glGetUniformLocation(program.id, "halfWidth");
    return program.matrix >= 0 && (!widened || (program.viewport >= 0 && program.halfWidth >= 0));
}

bool ModernBackend::init(GlApi api) {
    api_ = api;
    ready_ = false;
    error_.clear();
    if (api == GlApi::Compatibility) {
        error_ = "the shader back end needs an OpenGL ES 3.0 or 3.3 core context";
        return false;
    }
    while (glGetError() != GL_NO_ERROR) {
    }
    if (!build(flat_, kFlatVertex, false) || !build(wide_, kWideVertex, true) ||
        !build(glyph_, kGlyphVertex, false, kGlyphFragment)) {
        if (error_.empty()) error_ = "shader program lacks a uniform";
        return false;
    }
    float lineWidths[2] = {1.0f, 1.0f};
    glGetFloatv(GL_ALIASED_LINE_WIDTH_RANGE, lineWidths);
    wideLines_ = wideLinesAllowed_ && lineWidths[1] >= 2.0f;
    glyphInk_ = glGetUniformLocation(glyph_.id, "ink");
    glyphAtlasUnit_ = glGetUniformLocation(glyph_.id, "atlas");
    if (glyphInk_ < 0 || glyphAtlasUnit_ < 0) {
        error_ = "the glyph program lacks a uniform";
        return false;
    }
    glGenTextures(1, &atlasTexture_);
    glGenVertexArrays(1, &vertexArray_);
    glGenBuffers(kStreams, buffers_);
    glGenBuffers(1, &sphereBuffer_);
    const auto makePattern = [](IndexPattern& pattern, const auto& shape, unsigned vertices) {
        pattern.shape.assign(std::begin(shape), std::end(shape));
        pattern.verticesPerShape = vertices;
        pattern.indices.clear();
        glGenBuffers(1, &pattern.buffer);
    };
    makePattern(quadTriangles_, kQuadTriangles, 4);
    makePattern(quadEdges_, kQuadEdges, 4);
    makePattern(cubeTriangles_, kCubeTriangles, 8);
    makePattern(cubeEdges_, kCubeEdges, 8);
    const GLenum failure = glGetError();
    if (failure != GL_NO_ERROR) {
        error_ = "GL error " + std::to_string(failure) + " while setting up the shader back end";
        return false;
    }
    ready_ = true;
    return true;
}

void ModernBackend::setProjection(const ProjTransform& projection, int width, int height) {
    projection_ = projection;
    width_ = width > 0 ? width : 1;
    height_ = height > 0 ? height : 1;
}

void ModernBackend::useMatrix(const Program& program, const ProjTransform& matrix) const {
    float m[16];
    for (int i = 0; i < 16; ++i) m[i] = static_cast<float>(matrix.m[i]);
    glUseProgram(program.id);
    glUniformMatrix4fv(program.matrix, 1, GL_FALSE, m);
}

void ModernBackend::setBand(bool on, const DepthBand& band) const {
    if (on) {
        glDepthRangef(static_cast<float>(band.nearDepth), static_cast<float>(band.farDepth));
    } else {
        glDepthRangef(0.0f, 1.0f);
    }
}

void ModernBackend::setSphere(const std::vector<SphereLoop>& loops) {
    if (!ready_) return;
    std::vector<float> points;
    sphereLoopStarts_.clear();
    for (const SphereLoop& loop : loops) {
        sphereLoopStarts_.push_back(static_cast<int>(points.size() / 4));
        for (const auto& v : loop) points.insert(points.end(), {v[0], v[1], v[2], 1.0f});
    }
    sphereLoopStarts_.push_back(static_cast<int>(points.size() / 4));
    upload(sphereBuffer_, points);
}

void ModernBackend::drawSphere(const ProjTransform& matrix, const float* colour, bool inLinkBand) {
    if (!ready_ || sphereLoopStarts_.size() < 2) return;
    glBindVertexArray(vertexArray_);
    useMatrix(flat_, matrix);
    attribute(kPosition, sphereBuffer_, 4);
    glDisableVertexAttribArray(kColour);
    glVertexAttrib4f(kColour, colour[0], colour[1], colour[2], 1.0f);
    glLineWidth(1.0f);
    setBand(inLinkBand, kLinkDepths);
    for (size_t i = 0; i + 1 < sphereLoopStarts_.size(); ++i) {
        glDrawArrays(GL_LINE_LOOP, sphereLoopStarts_[i],
                     sphereLoopStarts_[i + 1] - sphereLoopStarts_[i]);
    }
    setBand(false, kLinkDepths);
}

void ModernBackend::drawIndexed(IndexPattern& pattern, size_t shapes, bool edges) {
    // An index buffer grows to the largest batch and is kept.
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, pattern.buffer);
    const size_t perShape = pattern.shape.size();
    if (pattern.indices.size() < shapes * perShape) {
        const size_t have = pattern.indices.size() / perShape;
        const size_t want = std::max(shapes, 2 * have);
        for (size_t q = have; q < want; ++q)
            for (const GLuint i : pattern.shape)
                pattern.indices.push_back(static_cast<GLuint>(pattern.verticesPerShape * q) + i);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER,
                     static_cast<GLsizeiptr>(pattern.indices.size() * sizeof(GLuint)),
                     pattern.indices.data(), GL_STATIC_DRAW);
    }
    glDrawElements(edges ? GL_LINES : GL_TRIANGLES, static_cast<GLsizei>(shapes * perShape),
                   GL_UNSIGNED_INT, nullptr);
}

void ModernBackend::drawQuads(size_t quads, bool edges) {
    drawIndexed(edges ? quadEdges_ : quadTriangles_, quads, edges);
}

void ModernBackend::drawWideLines(const std::vector<float>& vertices,
                                  const std::vector<float>& colours, const ProjTransform& matrix) {
    // The batch holds both ends of each line in turn; each of a quad's corners gets its own end,
    // the other end and its end's colour, side by side.
    constexpr size_t kCornerFloats = 12;
    constexpr GLsizei kCornerStride = kCornerFloats * sizeof(float);
    const size_t lines = vertices.size() / 8;
    wideCorners_.resize(lines * 4 * kCornerFloats);
    float* corner = wideCorners_.data();
    for (size_t line = 0; line < lines; ++line) {
        const float* ends = &vertices[line * 8];
        const float* shades = &colours[line * 8];
        for (size_t k = 0; k < 4; ++k, corner += kCornerFloats) {
            // a- and a+ at the line's first end, b+ and b- at the other
            const size_t own = k < 2 ? 0 : 4;
            std::copy_n(ends + own, 4, corner);
            std::copy_n(ends + (4 - own), 4, corner + 4);
            std::copy_n(shades + own, 4, corner + 8);
        }
    }
    useMatrix(wide_, matrix);
    glUniform2f(wide_.viewport, static_cast<float>(width_), static_cast<float>(height_));
    glUniform1f(wide_.halfWidth, 1.0f);
    upload(buffers_[kThickPositions], wideCorners_);
    const auto interleaved = [](GLuint location, size_t firstFloat) {
        glEnableVertexAttribArray(location);
        glVertexAttribPointer(location, 4, GL_FLOAT, GL_FALSE, kCornerStride,
                              reinterpret_cast<const void*>(firstFloat * sizeof(float)));
    };
    interleaved(kPosition, 0);
    interleaved(kOther, 4);
    interleaved(kColour, 8);
    drawIndexed(quadTriangles_, lines, false);
    glDisableVertexAttribArray(kOther);
}

void ModernBackend::drawBatch(const DrawBatch& batch) {
    if (!ready_) return;
    glBindVertexArray(vertexArray_);
    const ProjTransform matrix = batch.camera() * projection_;
    const bool bands = batch.cubesInFront();
    glLineWidth(1.0f);
    if (!batch.cubeCorners().empty()) {
        setBand(bands, kCubeDepths);
        useMatrix(flat_, matrix);
        upload(buffers_[kCubePositions], batch.cubeCorners());
        attribute(kPosition, buffers_[kCubePositions], 4);
        upload(buffers_[kCubeColours], batch.cornerColours());
        attribute(kColour, buffers_[kCubeColours], 3);
        // A cube is closed and one colour: its faces turned away lie behind the faces turned
        // towards the eye, on the same pixels, and need not be drawn.
        glEnable(GL_CULL_FACE);
        drawIndexed(cubeTriangles_, batch.cubeCorners().size() / 32, false);
        glDisable(GL_CULL_FACE);
        if (!batch.outlineCorners().empty()) {
            const OutlineDepthTest outlineTest(bands, batch.depthFunction());
            upload(buffers_[kOutlinePositions], batch.outlineCorners());
            attribute(kPosition, buffers_[kOutlinePositions], 4);
            glDisableVertexAttribArray(kColour);
            glVertexAttrib4f(kColour, 0.0f, 0.0f, 0.0f, 1.0f);
            drawIndexed(cubeEdges_, batch.outlineCorners().size() / 32, true);
        }
        setBand(false, kCubeDepths);
    }
    setBand(bands, kLinkDepths);
    const auto drawLines = [&](const DrawBatch::Lines& lines, float width, Stream positionStream,
                               Stream colourStream) {
        useMatrix(flat_, matrix);
        const unsigned positions = buffers_[positionStream];
        const unsigned colours = buffers_[colourStream];
        upload(positions, lines.points);
        attribute(kPosition, positions, 4);
        upload(colours, lines.colours);
        attribute(kColour, colours, 4);
        glLineWidth(width);
        glDrawArrays(GL_LINES, 0, static_cast<GLsizei>(lines.ends()));
        glLineWidth(1.0f);
    };
    const DrawBatch::Lines& thick = batch.thickLines();
    if (!thick.empty()) {
        if (wideLines_) {
            drawLines(thick, 2.0f, kThickPositions, kThickColours);
        } else {
            drawWideLines(thick.points, thick.colours, matrix);
        }
    }
    if (!batch.thinLines().empty())
        drawLines(batch.thinLines(), 1.0f, kThinPositions, kThinColours);
    setBand(false, kLinkDepths);
}

void ModernBackend::drawWindowQuads(const std::vector<double>& corners, const float* colour) {
    if (!ready_ || corners.empty()) return;
    glBindVertexArray(vertexArray_);
    useMatrix(flat_, windowPixels());
    positions_.clear();
    for (size_t i = 0; i + 3 <= corners.size(); i += 3) {
        positions_.insert(positions_.end(),
                          {static_cast<float>(corners[i]), static_cast<float>(corners[i + 1]),
                           static_cast<float>(corners[i + 2]), 1.0f});
    }
    upload(buffers_[kWindowPositions], positions_);
    attribute(kPosition, buffers_[kWindowPositions], 4);
    glDisableVertexAttribArray(kColour);
    glVertexAttrib4f(kColour, colour[0], colour[1], colour[2], 1.0f);
    drawQuads(positions_.size() / 16, false);
}

ProjTransform ModernBackend::windowPixels() const {
    ProjTransform window = ProjTransform::identity();
    window.m[0] = 2.0 / width_;
    window.m[5] = 2.0 / height_;
    window.m[10] = -1.0;
    window.m[12] = -1.0;
    window.m[13] = -1.0;
    return window;
}

bool ModernBackend::setGlyphAtlas(const GlyphAtlas& atlas) {
    hasAtlas_ = false;
    if (!ready_ || !atlas.valid()) return false;
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    if (atlas.width > largest || atlas.height > largest) return false;
    while (glGetError() != GL_NO_ERROR) {
    }
    // The coverage rows are packed bytes: an unpack alignment of 4 would skew every row whose
    // width is not a multiple of 4.
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, atlasTexture_);
    // One channel, and mipmaps none: texelFetch reads level 0 only.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_R8, atlas.width, atlas.height, 0, GL_RED, GL_UNSIGNED_BYTE,
                 atlas.coverage.empty() ? nullptr : atlas.coverage.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    if (glGetError() != GL_NO_ERROR) return false;
    glyphs_ = atlas.glyphs;
    hasAtlas_ = true;
    return true;
}

size_t ModernBackend::glyphQuads(std::string_view text, double penX, double penY, double z) {
    positions_.clear();
    texels_.clear();
    // The raster position as the fixed functions compute it, in single precision: the label
    // pass's orthographic projection, then the viewport. A position outside the clip volume is
    // not valid, and a bitmap at an invalid one draws nothing.
    const float w = static_cast<float>(width_), h = static_cast<float>(height_);
    const float clipX = 2.0f / w * static_cast<float>(penX) - 1.0f;
    const float clipY = 2.0f / h * static_cast<float>(penY) - 1.0f;
    const float clipZ = -static_cast<float>(z);
    if (!(std::fabs(clipX) <= 1.0f && std::fabs(clipY) <= 1.0f && std::fabs(clipZ) <= 1.0f)) {
        return 0;
    }
    float x = clipX * (0.5f * w) + 0.5f * w;
    const float y = clipY * (0.5f * h) + 0.5f * h;
    const float depth = static_cast<float>(z);
    // A bitmap's lower left corner goes to the raster position less its origin, rounded down
    // after a small nudge up (a position a hair below a whole pixel counts as that pixel).
    constexpr float kNudge = 0.0001f;
    for (const char c : text) {
        const GlyphAtlas::Glyph& g = glyphs_[static_cast<unsigned char>(c)];
        if (g.width > 0 && g.rows > 0) {
            const float xOrigin = static_cast<float>(-g.left);
            const float yOrigin = static_cast<float>(g.rows - g.top);
            const float x0 = std::floor(x - xOrigin + kNudge);
            const float y0 = std::floor(y - yOrigin + kNudge);
            const float x1 = x0 + static_cast<float>(g.width);
            const float y1 = y0 + static_cast<float>(g.rows);
            const float s0 = static_cast<float>(g.x), s1 = s0 + static_cast<float>(g.width);
            // The atlas's rows run top-down, the window's bottom-up.
            const float t0 = static_cast<float>(g.y + g.rows), t1 = static_cast<float>(g.y);
            positions_.insert(positions_.end(), {x0, y0, depth, 1.0f, x1, y0, depth, 1.0f, x1, y1,
                                                 depth, 1.0f, x0, y1, depth, 1.0f});
            texels_.insert(texels_.end(), {s0, t0, s1, t0, s1, t1, s0, t1});
        }
        x += static_cast<float>(g.advance);
    }
    return positions_.size() / 16;
}

void ModernBackend::drawLabel(const LabelBox& box, double boxZ, const float* boxColour,
                              std::string_view text, double penX, double penY, double textZ,
                              const float* ink) {
    if (!ready_) return;
    glBindVertexArray(vertexArray_);
    const ProjTransform window = windowPixels();
    const auto z = static_cast<float>(boxZ);
    positions_.assign({static_cast<float>(box.x0), static_cast<float>(box.y0), z, 1.0f,
                       static_cast<float>(box.x1), static_cast<float>(box.y0), z, 1.0f,
                       static_cast<float>(box.x1), static_cast<float>(box.y1), z, 1.0f,
                       static_cast<float>(box.x0), static_cast<float>(box.y1), z, 1.0f});
    useMatrix(flat_, window);
    upload(buffers_[kWindowPositions], positions_);
    attribute(kPosition, buffers_[kWindowPositions], 4);
    glDisableVertexAttribArray(kColour);
    glVertexAttrib4f(kColour, boxColour[0], boxColour[1], boxColour[2], 1.0f);
    drawQuads(1, false);

    if (!hasAtlas_ || text.empty()) return;
    const size_t quads = glyphQuads(text, penX, penY, textZ);
    if (quads == 0) return;
    useMatrix(glyph_, window);
    glUniform4f(glyphInk_, ink[0], ink[1], ink[2], 1.0f);
    glUniform1i(glyphAtlasUnit_, 0);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, atlasTexture_);
    upload(buffers_[kGlyphPositions], positions_);
    attribute(kPosition, buffers_[kGlyphPositions], 4);
    upload(buffers_[kGlyphTexels], texels_);
    attribute(kOther, buffers_[kGlyphTexels], 2);
    drawQuads(quads, false);
    glDisableVertexAttribArray(kOther);
}

}  // namespace orvo
