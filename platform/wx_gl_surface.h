// The window surface: a GlSurface over a double-buffered wxGLCanvas with a depth buffer. The
// canvas belongs to the window side; the surface makes its contexts and keeps the buffer roles.
#pragma once

#include <memory>

#include "render/gl_surface.h"

class wxGLCanvas;
class wxGLContext;
class wxWindow;

namespace orvo {

class WxGlSurface final : public GlSurface {
public:
    /// The attribute list a canvas must be created with (RGBA, double buffer, depth 24).
    static const int* canvasAttributes();

    /// A surface whose contexts speak the kind of GL `choice` asks for: legacy, the
    /// compatibility profile; modern, 3.3 core or else OpenGL ES 3.0; auto, those, else the
    /// compatibility profile.
    explicit WxGlSurface(wxGLCanvas& canvas, GlChoice choice = GlChoice::Legacy);
    ~WxGlSurface() override;

    GlContext* createContext() override;
    GlContext* createFallbackContext() override;
    GlApi api() const override { return api_; }
    bool makeCurrent(GlContext* context) override;
    void releaseCurrent() override;
    void swapBuffers() override;
    void setDrawBuffer(DrawBuffer buffer) override;
    void flushFront() override;
    bool buildFontLists(const char* face, int pixelHeight, unsigned listBase,
                        FontMetrics& metrics) override;
    bool buildGlyphAtlas(const char* face, int pixelHeight, GlyphAtlas& atlas) override;

    wxGLCanvas& canvas() { return canvas_; }
    /// Number of swaps so far (for tests).
    long swapCount() const { return swapCount_; }
    /// Time spent copying the back buffer to the front, in microseconds (for measurements).
    long long frontCopyMicros() const { return frontCopyMicros_; }

private:
    void copyBackToFront();

    /// A context of that kind, made current-ready as context_; nullptr when it cannot be made.
    GlContext* makeContext(GlApi api);

    wxGLCanvas& canvas_;
    GlChoice choice_;
    GlApi api_ = GlApi::Compatibility;
    std::unique_ptr<wxGLContext> context_;
    long swapCount_ = 0;
    long long frontCopyMicros_ = 0;
};

}  // namespace orvo
