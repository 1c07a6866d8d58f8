// A headless GL surface: an EGL context with framebuffer objects standing in for the front and
// back buffers, so that both buffer roles can be drawn into and read back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "render/gl_surface.h"

namespace orvo {

/// Draws without a window. The context is a compatibility-profile desktop GL context (or, when
/// asked, an OpenGL ES 3.0 or a desktop GL 3.3 core-profile context) on EGL's
/// surfaceless platform (or, where that is missing, on the default display with a small
/// pbuffer). Two colour renderbuffers play the front and back buffers and share one 24-bit
/// depth buffer, so depth testing carries over from a frame's first slice in the back buffer
/// to its continuation in the front buffer. swapBuffers copies back to front and keeps the back.
///
/// There is no OSMesa fallback: the process reaches GL through the vendor-neutral dispatch
/// library, whose entry points never reach an OSMesa context, so such a context would draw
/// nothing of what the renderer issues.
class OffscreenSurface final : public GlSurface {
public:
    OffscreenSurface(int width, int height, GlApi api = GlApi::Compatibility);
    ~OffscreenSurface() override;
    OffscreenSurface(const OffscreenSurface&) = delete;
    OffscreenSurface& operator=(const OffscreenSurface&) = delete;

    /// False when no EGL display could be set up: createContext then returns nullptr.
    bool valid() const;
    /// Why the display, the last context or its framebuffers could not be made; "" when fine.
    const std::string& lastError() const { return lastError_; }

    /// The new context is current from its first makeCurrent on; the first makeCurrent also
    /// sets the viewport and scissor box to the surface, as a window system does for a window.
    GlContext* createContext() override;
    GlApi api() const override { return api_; }
    bool makeCurrent(GlContext* context) override;
    void swapBuffers() override;
    void setDrawBuffer(DrawBuffer buffer) override;
    void flushFront() override;
    bool buildFontLists(const char* face, int pixelHeight, unsigned listBase,
                        FontMetrics& metrics) override;
    bool buildGlyphAtlas(const char* face, int pixelHeight, GlyphAtlas& atlas) override;

    int width() const { return width_; }
    int height() const { return height_; }
    /// Changes the size of both buffers; their content is lost. False for a size the context
    /// cannot hold (the old size stays).
    bool resize(int width, int height);
    /// Reads a buffer of the current context as RGBA bytes, bottom row first (as GL gives it;
    /// flipRows in platform/png_image.h turns it top-down). False when no context is current.
    bool readPixels(DrawBuffer buffer, std::vector<uint8_t>& rgba);
    /// The buffer role drawing goes to.
    DrawBuffer drawBuffer() const { return drawBuffer_; }
    /// How many times swapBuffers has shown the back buffer.
    int swapCount() const { return swapCount_; }

private:
    struct Display;
    struct Context;

    Context* findLive(GlContext* handle) const;
    bool currentIsOurs() const;
    bool prepareFramebuffers(Context& context);
    void clearBoth(const Context& context) const;
    void bindDrawBuffer() const;

    std::unique_ptr<Display> display_;                // EGL display, config and (if needed) pbuffer
    std::vector<std::unique_ptr<Context>> contexts_;  // released ones kept: handles stay unique
    Context* current_ = nullptr;
    GlApi api_;
    int width_;
    int height_;
    DrawBuffer drawBuffer_ = DrawBuffer::Back;
    int swapCount_ = 0;
    std::string lastError_;
};

}  // namespace orvo
