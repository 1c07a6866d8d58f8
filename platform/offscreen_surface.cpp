// Offscreen GL surface on EGL: one display per process (shared by all surfaces and kept until
// exit), contexts made on demand, and a pair of framebuffer objects per context.
#include "platform/offscreen_surface.h"

#define EGL_NO_X11 1
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdio>

#include "platform/extension_list.h"
#include "platform/freetype_font.h"

namespace orvo {

namespace {

constexpr int kRoleCount = 2;
int roleIndex(DrawBuffer role) { return role == DrawBuffer::Back ? 0 : 1; }

// Framebuffer objects are beyond GL 1.1: their entry points are asked of EGL once. They are
// never deleted one by one: destroying a context frees its objects.
struct FramebufferFunctions {
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus = nullptr;
    PFNGLGENRENDERBUFFERSPROC genRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC bindRenderbuffer = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage = nullptr;
    PFNGLBLITFRAMEBUFFERPROC blitFramebuffer = nullptr;
    PFNGLCLEARDEPTHFPROC clearDepthf = nullptr;  // what ES has for glClearDepth

    bool complete() const {
        return genFramebuffers && bindFramebuffer && framebufferRenderbuffer &&
               checkFramebufferStatus && genRenderbuffers && bindRenderbuffer &&
               renderbufferStorage && blitFramebuffer && clearDepthf;
    }
};

template <typename Function>
void lookUp(Function& function, const char* name) {
    function = reinterpret_cast<Function>(eglGetProcAddress(name));
}

const FramebufferFunctions& framebufferFunctions() {
    static const FramebufferFunctions functions = [] {
        FramebufferFunctions f;
        lookUp(f.genFramebuffers, "glGenFramebuffers");
        lookUp(f.bindFramebuffer, "glBindFramebuffer");
        lookUp(f.framebufferRenderbuffer, "glFramebufferRenderbuffer");
        lookUp(f.checkFramebufferStatus, "glCheckFramebufferStatus");
        lookUp(f.genRenderbuffers, "glGenRenderbuffers");
        lookUp(f.bindRenderbuffer, "glBindRenderbuffer");
        lookUp(f.renderbufferStorage, "glRenderbufferStorage");
        lookUp(f.blitFramebuffer, "glBlitFramebuffer");
        lookUp(f.clearDepthf, "glClearDepthf");
        return f;
    }();
    return functions;
}

std::string eglFailure(const char* what) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%04X", unsigned(eglGetError()));
    return std::string(what) + " failed (EGL error " + code + ")";
}

}  // namespace

struct OffscreenSurface::Display {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLConfig config = nullptr;
    EGLSurface pbuffer = EGL_NO_SURFACE;  // only where contexts cannot be made current bare
};

struct OffscreenSurface::Context {
    EGLContext egl = EGL_NO_CONTEXT;
    bool released = false;
    bool madeCurrent = false;
    int width = 0;  // size of the renderbuffers, 0 before they exist
    int height = 0;
    GLuint framebuffers[kRoleCount] = {0, 0};
    GLuint colour[kRoleCount] = {0, 0};
    GLuint depth = 0;
};

OffscreenSurface::OffscreenSurface(int width, int height, GlApi api)
    : display_(std::make_unique<Display>()),
      api_(api),
      width_(std::max(width, 1)),
      height_(std::max(height, 1)) {
    EGLDisplay display = EGL_NO_DISPLAY;
    bool bare = false;  // contexts can be made current without a surface
    if (hasExtension(eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS),
                     "EGL_MESA_platform_surfaceless")) {
        display = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA,
                                        reinterpret_cast<void*>(EGL_DEFAULT_DISPLAY), nullptr);
        if (display != EGL_NO_DISPLAY && !eglInitialize(display, nullptr, nullptr))
            display = EGL_NO_DISPLAY;
        bare = display != EGL_NO_DISPLAY;
    }
    if (display == EGL_NO_DISPLAY) {
        display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
        if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr)) {
            lastError_ = eglFailure("eglInitialize");
            return;
        }
        bare = hasExtension(eglQueryString(display, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context");
    }
    display_->display = display;

    // clang-format off
    const EGLint configAttributes[] = {
        EGL_SURFACE_TYPE, EGL_PBUFFER_BIT,
        EGL_RENDERABLE_TYPE, api == GlApi::Es3 ? EGL_OPENGL_ES3_BIT : EGL_OPENGL_BIT,
        EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8,
        EGL_NONE};
    // clang-format on
    EGLint count = 0;
    if (!eglChooseConfig(display, configAttributes, &display_->config, 1, &count) || count < 1) {
        lastError_ = eglFailure("eglChooseConfig");
        display_->config = nullptr;
        return;
    }
    if (!bare) {
        const EGLint pbufferAttributes[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
        display_->pbuffer = eglCreatePbufferSurface(display, display_->config, pbufferAttributes);
        if (display_->pbuffer == EGL_NO_SURFACE) {
            lastError_ = eglFailure("eglCreatePbufferSurface");
            display_->config = nullptr;
        }
    }
}

OffscreenSurface::~OffscreenSurface() {
    const EGLDisplay display = display_->display;
    if (display == EGL_NO_DISPLAY) return;
    // A released context that is still current lives on until it is not: let go of whichever
    // of ours is current, then destroy the ones not yet released.
    const EGLContext current = eglGetCurrentContext();
    for (const auto& context : contexts_)
        if (context->egl == current)
            eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    for (const auto& context : contexts_)
        if (!context->released) eglDestroyContext(display, context->egl);
    if (display_->pbuffer != EGL_NO_SURFACE) eglDestroySurface(display, display_->pbuffer);
    // The display stays initialised: EGL hands every surface the same one, so terminating it
    // would pull the contexts from under other surfaces, and loading the driver again for the
    // next surface is slow. It lives as long as the process, like a window-system connection.
}

bool OffscreenSurface::valid() const {
    return display_->display != EGL_NO_DISPLAY && display_->config != nullptr;
}

GlContext* OffscreenSurface::createContext() {
    if (!valid()) return nullptr;
    const bool es = api_ == GlApi::Es3;
    if (!eglBindAPI(es ? EGL_OPENGL_ES_API : EGL_OPENGL_API)) {
        lastError_ = eglFailure(es ? "eglBindAPI(EGL_OPENGL_ES_API)" : "eglBindAPI(EGL_OPENGL_API)");
        return nullptr;
    }
    EGLContext egl = EGL_NO_CONTEXT;
    if (api_ == GlApi::Compatibility) {
        const EGLint compatibility[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                        EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
        egl = eglCreateContext(display_->display, display_->config, EGL_NO_CONTEXT, compatibility);
        // An implementation that rejects the profile attribute still gives a compatibility
        // context by default.
        if (egl == EGL_NO_CONTEXT)
            egl = eglCreateContext(display_->display, display_->config, EGL_NO_CONTEXT, nullptr);
    } else {
        // No fallback here: a context of another kind would leave the shaders without a GL
        // that runs them, so the caller hears that this kind is not offered.
        const EGLint es3[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 0, EGL_NONE};
        const EGLint core33[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                 EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
        egl = eglCreateContext(display_->display, display_->config, EGL_NO_CONTEXT,
                               es ? es3 : core33);
    }
    if (egl == EGL_NO_CONTEXT) {
        lastError_ = eglFailure(api_ == GlApi::Compatibility ? "eglCreateContext"
                                : es ? "eglCreateContext (OpenGL ES 3.0)"
                                     : "eglCreateContext (OpenGL 3.3 core)");
        return nullptr;
    }
    // The earlier context goes; EGL keeps it alive while it is still current.
    for (const auto& earlier : contexts_) {
        if (earlier->released) continue;
        eglDestroyContext(display_->display, earlier->egl);
        earlier->released = true;
        if (current_ == earlier.get()) current_ = nullptr;
    }
    auto context = std::make_unique<Context>();
    context->egl = egl;
    contexts_.push_back(std::move(context));
    lastError_.clear();
    return reinterpret_cast<GlContext*>(contexts_.back().get());
}

OffscreenSurface::Context* OffscreenSurface::findLive(GlContext* handle) const {
    for (const auto& context : contexts_)
        if (reinterpret_cast<GlContext*>(context.get()) == handle)
            return context->released ? nullptr : context.get();
    return nullptr;
}

bool OffscreenSurface::currentIsOurs() const {
    return current_ && eglGetCurrentContext() == current_->egl;
}

bool OffscreenSurface::makeCurrent(GlContext* handle) {
    Context* context = findLive(handle);
    if (!context) return false;
    // The renderer makes its context current before every group of GL calls; switching only
    // when another context is current keeps that cheap.
    if (eglGetCurrentContext() != context->egl &&
        !eglMakeCurrent(display_->display, display_->pbuffer, display_->pbuffer, context->egl)) {
        lastError_ = eglFailure("eglMakeCurrent");
        return false;
    }
    current_ = context;
    if (!prepareFramebuffers(*context)) {
        current_ = nullptr;
        return false;
    }
    if (!context->madeCurrent) {
        // A window system sizes the viewport and scissor box to the drawable the first time a
        // context is made current on it; a bare context would start with an empty viewport.
        glViewport(0, 0, width_, height_);
        glScissor(0, 0, width_, height_);
        context->madeCurrent = true;
    }
    bindDrawBuffer();
    return true;
}

// Creates the two colour renderbuffers and the shared depth buffer at the surface's size, or
// re-sizes them after a resize. Needs the context current.
bool OffscreenSurface::prepareFramebuffers(Context& context) {
    if (context.width == width_ && context.height == height_) return true;
    const FramebufferFunctions& gl = framebufferFunctions();
    if (!gl.complete()) {
        lastError_ = "framebuffer objects are not available";
        return false;
    }
    if (context.depth == 0) {
        gl.genFramebuffers(kRoleCount, context.framebuffers);
        gl.genRenderbuffers(kRoleCount, context.colour);
        gl.genRenderbuffers(1, &context.depth);
    }
    gl.bindRenderbuffer(GL_RENDERBUFFER, context.depth);
    gl.renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width_, height_);
    for (int role = 0; role < kRoleCount; ++role) {
        gl.bindRenderbuffer(GL_RENDERBUFFER, context.colour[role]);
        gl.renderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width_, height_);
        gl.bindFramebuffer(GL_FRAMEBUFFER, context.framebuffers[role]);
        gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                   context.colour[role]);
        gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                                   context.depth);
        if (gl.checkFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            lastError_ = "framebuffer of " + std::to_string(width_) + "x" +
                         std::to_string(height_) + " is incomplete";
            context.width = context.height = 0;
            return false;
        }
    }
    gl.bindRenderbuffer(GL_RENDERBUFFER, 0);
    context.width = width_;
    context.height = height_;
    // New storage holds undefined values: start both buffers black and the depth cleared,
    // leaving the clear values and scissor test as the caller had them.
    if (api_ == GlApi::Compatibility) {
        glPushAttrib(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_SCISSOR_BIT);
        glDisable(GL_SCISSOR_TEST);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClearDepth(1.0);
        clearBoth(context);
        glPopAttrib();
        return true;
    }
    // Without an attribute stack the values are read and put back one by one.
    GLfloat clearColour[4], clearDepth = 1.0f;
    GLboolean depthMask = GL_TRUE, colourMask[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColour);
    glGetFloatv(GL_DEPTH_CLEAR_VALUE, &clearDepth);
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthMask);
    glGetBooleanv(GL_COLOR_WRITEMASK, colourMask);
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glDepthMask(GL_TRUE);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    gl.clearDepthf(1.0f);
    clearBoth(context);
    gl.clearDepthf(clearDepth);
    glClearColor(clearColour[0], clearColour[1], clearColour[2], clearColour[3]);
    glDepthMask(depthMask);
    glColorMask(colourMask[0], colourMask[1], colourMask[2], colourMask[3]);
    if (scissor) glEnable(GL_SCISSOR_TEST);
    return true;
}

void OffscreenSurface::clearBoth(const Context& context) const {
    for (int role = 0; role < kRoleCount; ++role) {
        framebufferFunctions().bindFramebuffer(GL_FRAMEBUFFER, context.framebuffers[role]);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
}

void OffscreenSurface::bindDrawBuffer() const {
    framebufferFunctions().bindFramebuffer(GL_FRAMEBUFFER,
                                           current_->framebuffers[roleIndex(drawBuffer_)]);
}

void OffscreenSurface::swapBuffers() {
    if (!currentIsOurs()) return;
    const FramebufferFunctions& gl = framebufferFunctions();
    const Context& context = *current_;
    gl.bindFramebuffer(GL_READ_FRAMEBUFFER, context.framebuffers[roleIndex(DrawBuffer::Back)]);
    gl.bindFramebuffer(GL_DRAW_FRAMEBUFFER, context.framebuffers[roleIndex(DrawBuffer::Front)]);
    // The copy obeys the scissor test; a swap shows the whole buffer whatever the caller set.
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    if (scissor) glDisable(GL_SCISSOR_TEST);
    gl.blitFramebuffer(0, 0, context.width, context.height, 0, 0, context.width, context.height,
                       GL_COLOR_BUFFER_BIT, GL_NEAREST);
    if (scissor) glEnable(GL_SCISSOR_TEST);
    bindDrawBuffer();
    ++swapCount_;
}

void OffscreenSurface::setDrawBuffer(DrawBuffer buffer) {
    drawBuffer_ = buffer;
    if (currentIsOurs()) bindDrawBuffer();
}

void OffscreenSurface::flushFront() {
    if (currentIsOurs()) glFlush();
}

bool OffscreenSurface::buildFontLists(const char* face, int pixelHeight, unsigned listBase,
                                      FontMetrics& metrics) {
    if (api_ != GlApi::Compatibility) return false;  // no display lists to put glyphs in
    return buildFreeTypeFontLists(face, pixelHeight, listBase, metrics);
}

bool OffscreenSurface::buildGlyphAtlas(const char* face, int pixelHeight, GlyphAtlas& atlas) {
    return buildFreeTypeGlyphAtlas(face, pixelHeight, atlas);
}

bool OffscreenSurface::resize(int width, int height) {
    if (width <= 0 || height <= 0) return false;
    const int oldWidth = width_, oldHeight = height_;
    width_ = width;
    height_ = height;
    if (!currentIsOurs()) return true;  // the buffers follow at the next makeCurrent
    GLint largest = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largest);
    if (width > largest || height > largest || !prepareFramebuffers(*current_)) {
        width_ = oldWidth;
        height_ = oldHeight;
        current_->width = current_->height = 0;
        prepareFramebuffers(*current_);
        bindDrawBuffer();
        return false;
    }
    bindDrawBuffer();
    return true;
}

bool OffscreenSurface::readPixels(DrawBuffer buffer, std::vector<uint8_t>& rgba) {
    if (!currentIsOurs()) return false;
    const Context& context = *current_;
    rgba.resize(size_t(context.width) * size_t(context.height) * 4);
    const FramebufferFunctions& gl = framebufferFunctions();
    gl.bindFramebuffer(GL_READ_FRAMEBUFFER, context.framebuffers[roleIndex(buffer)]);
    if (api_ == GlApi::Compatibility) {
        glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glPixelStorei(GL_PACK_ROW_LENGTH, 0);
        glPixelStorei(GL_PACK_SKIP_ROWS, 0);
        glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
        glPixelStorei(GL_PACK_SWAP_BYTES, GL_FALSE);
        glReadPixels(0, 0, context.width, context.height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        glPopClientAttrib();
    } else {
        // No client attribute stack: the packing is set for the read and put back after.
        GLint alignment = 4, rowLength = 0, skipRows = 0, skipPixels = 0;
        glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
        glGetIntegerv(GL_PACK_ROW_LENGTH, &rowLength);
        glGetIntegerv(GL_PACK_SKIP_ROWS, &skipRows);
        glGetIntegerv(GL_PACK_SKIP_PIXELS, &skipPixels);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glPixelStorei(GL_PACK_ROW_LENGTH, 0);
        glPixelStorei(GL_PACK_SKIP_ROWS, 0);
        glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
        glReadPixels(0, 0, context.width, context.height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        glPixelStorei(GL_PACK_ALIGNMENT, alignment);
        glPixelStorei(GL_PACK_ROW_LENGTH, rowLength);
        glPixelStorei(GL_PACK_SKIP_ROWS, skipRows);
        glPixelStorei(GL_PACK_SKIP_PIXELS, skipPixels);
    }
    bindDrawBuffer();
    return true;
}

}  // namespace orvo
