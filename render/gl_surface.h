// What the renderer needs of the window system: a drawable with GL contexts, buffer roles and
// a bitmap font. The offscreen (EGL) and window (wxGLCanvas) implementations live in platform/.
#pragma once

#include <array>
#include <string_view>

namespace orvo {

/// An opaque GL context made by a surface.
struct GlContext;
struct GlyphAtlas;

/// The two buffer roles of progressive drawing: a frame's first slice goes to Back and is shown
/// by swapBuffers; continuation slices, hover and selection redraws go to Front and must add to
/// the picture on screen as they are drawn.
enum class DrawBuffer { Back, Front };

/// Which kind of GL a surface's contexts speak: the fixed-function compatibility profile the
/// legacy drawing path needs, OpenGL ES 3.0 (what WebGL 2 offers), or desktop GL 3.3 core.
/// The last two have neither display lists nor a matrix stack: only shaders and buffers draw.
enum class GlApi { Compatibility, Es3, Core33 };

/// The name of the kind of GL ("compatibility", "es3", "core33").
constexpr const char* glApiName(GlApi api) {
    return api == GlApi::Es3 ? "es3" : api == GlApi::Core33 ? "core33" : "compatibility";
}

/// The drawing path a user asks for: the fixed functions, shaders and buffers, or (auto) shaders
/// and buffers where the window system offers a context for them, else the fixed functions.
enum class GlChoice { Auto, Legacy, Modern };

/// The choice named "auto", "legacy" or "modern"; false for any other name.
constexpr bool parseGlChoice(std::string_view name, GlChoice& choice) {
    if (name == "auto") {
        choice = GlChoice::Auto;
    } else if (name == "legacy") {
        choice = GlChoice::Legacy;
    } else if (name == "modern") {
        choice = GlChoice::Modern;
    } else {
        return false;
    }
    return true;
}

struct FontMetrics {
    int ascent = 13;
    int descent = 0;
    std::array<int, 256> widths{};  // advance widths in pixels, codes 0..255 (Latin-1)
};

class GlSurface {
public:
    virtual ~GlSurface() = default;

    /// Makes a new GL context (compatibility profile, RGBA, depth buffer, double buffered) for
    /// this surface, releasing the one made before. nullptr when it cannot be made.
    virtual GlContext* createContext() = 0;
    /// The kind of GL the contexts of this surface speak.
    virtual GlApi api() const { return GlApi::Compatibility; }
    /// Where the surface chose a newer kind of GL by itself and the shader back end cannot be
    /// set up on it: a compatibility-profile context in its place (releasing the other), so that
    /// the fixed functions draw. nullptr where there is no such choice to undo.
    virtual GlContext* createFallbackContext() { return nullptr; }
    /// Makes the context current on this surface.
    virtual bool makeCurrent(GlContext* context) = 0;
    /// Lets go of this surface's context on the calling thread, so that a context of another
    /// window-system interface (a headless one, say) can be made current; the next makeCurrent
    /// takes it up again.
    virtual void releaseCurrent() {}
    /// Shows the back buffer (the end of a frame's first slice).
    virtual void swapBuffers() = 0;
    /// Stands in for glDrawBuffer(GL_BACK / GL_FRONT).
    virtual void setDrawBuffer(DrawBuffer buffer) = 0;
    /// Called after a run of drawing into Front (a continuation slice, a hover or selection
    /// redraw) so that it reaches the screen.
    virtual void flushFront() = 0;
    /// Rasterises the face (found through the system's font configuration) at pixelHeight into
    /// 256 bitmap display lists from listBase, for codes 0..255; fills metrics. False when no
    /// font could be had (metrics then keep their defaults).
    virtual bool buildFontLists(const char* face, int pixelHeight, unsigned listBase,
                                FontMetrics& metrics) = 0;
    /// The same face and height as a glyph atlas, for back ends without display lists: the
    /// glyphs the bitmap lists would draw, texel for pixel, with their metrics. Needs no GL
    /// context. False (atlas untouched) when the surface has no font to give: no labels then.
    virtual bool buildGlyphAtlas(const char* /*face*/, int /*pixelHeight*/, GlyphAtlas& /*atlas*/) {
        return false;
    }
};

}  // namespace orvo
