// The page's canvas as a drawing surface: WebGL 2 contexts (OpenGL ES 3.0) made through the
// browser, so the renderer takes its shader back end there. The canvas keeps its drawing buffer
// between frames, so a frame's later slices, hover and click redraws add to the picture as the
// desktop's front buffer does.
#pragma once

#include <string>

#include "render/gl_surface.h"

namespace orvo::web {

class WebGlSurface : public GlSurface {
public:
    /// `canvas` is the canvas's CSS selector ("#view").
    explicit WebGlSurface(std::string canvas);
    ~WebGlSurface() override;
    WebGlSurface(const WebGlSurface&) = delete;
    WebGlSurface& operator=(const WebGlSurface&) = delete;

    GlContext* createContext() override;
    GlApi api() const override { return GlApi::Es3; }
    bool makeCurrent(GlContext* context) override;
    // The browser shows the canvas when the page's script returns: there is nothing to swap,
    // and one drawing buffer serves both roles.
    void swapBuffers() override {}
    void setDrawBuffer(DrawBuffer) override {}
    void flushFront() override {}
    // Labels in the browser come from a glyph atlas drawn with the browser's fonts; no bitmap
    // font here.
    bool buildFontLists(const char*, int, unsigned, FontMetrics&) override { return false; }
    /// The face (or the browser's sans-serif when it has not that face) drawn glyph by glyph on
    /// a 2D canvas at the em size a cell of pixelHeight gives, as the desktop's font does; false
    /// where there is no canvas to draw text on (no labels then).
    bool buildGlyphAtlas(const char* face, int pixelHeight, GlyphAtlas& atlas) override;

    /// Why the last context could not be made; "" when it was.
    const std::string& lastError() const { return error_; }

private:
    void destroyContext();

    std::string canvas_;
    GlContext* context_ = nullptr;
    std::string error_;
};

}  // namespace orvo::web
