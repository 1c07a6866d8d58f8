// The wxGLCanvas surface. Continuation slices draw into the front buffer and must add to the
// picture on screen; see copyBackToFront for why the front buffer is refreshed at each swap.
#define GL_GLEXT_PROTOTYPES 1
#include "platform/wx_gl_surface.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <wx/glcanvas.h>
#include <wx/log.h>
#if defined(__WXGTK__) || defined(__WXX11__)
#include <GL/glx.h>
#include <wx/utils.h>
#endif

#include <chrono>

#include "platform/extension_list.h"
#include "platform/freetype_font.h"

namespace orvo {

const int* WxGlSurface::canvasAttributes() {
    static const int attributes[] = {WX_GL_RGBA,
                                     WX_GL_DOUBLEBUFFER,
                                     WX_GL_DEPTH_SIZE,
                                     24,
                                     WX_GL_MIN_RED,
                                     8,
                                     WX_GL_MIN_GREEN,
                                     8,
                                     WX_GL_MIN_BLUE,
                                     8,
                                     0};
    return attributes;
}

WxGlSurface::WxGlSurface(wxGLCanvas& canvas, GlChoice choice) : canvas_(canvas), choice_(choice) {}

WxGlSurface::~WxGlSurface() = default;

namespace {

#if defined(__WXGTK__) || defined(__WXX11__)
// Whether the X server's GLX makes contexts of that kind. The toolkit makes a throw-away context
// before it asks for one by attributes, and an X error there ends the process: a kind the server
// lacks is not asked for at all.
bool serverOffers(wxGLCanvas& canvas, GlApi api) {
    Display* display = wxGetX11Display();
    const auto* visual = static_cast<const XVisualInfo*>(canvas.GetXVisualInfo());
    if (display == nullptr || visual == nullptr) return false;
    const char* list = glXQueryExtensionsString(display, visual->screen);
    if (!hasExtension(list, "GLX_ARB_create_context") ||
        !hasExtension(list, "GLX_ARB_create_context_profile"))
        return false;
    return api != GlApi::Es3 || hasExtension(list, "GLX_EXT_create_context_es2_profile") ||
           hasExtension(list, "GLX_EXT_create_context_es_profile");
}
#else
bool serverOffers(wxGLCanvas&, GlApi) { return true; }
#endif

}  // namespace

GlContext* WxGlSurface::makeContext(GlApi api) {
    // The context of an earlier file goes first: nothing keeps display lists across files.
    context_.reset();
    std::unique_ptr<wxGLContext> context;
    if (api == GlApi::Compatibility) {
        context = std::make_unique<wxGLContext>(&canvas_);
    } else {
        if (!serverOffers(canvas_, api)) return nullptr;
        wxGLContextAttrs attributes;
        // Its constructor leaves the direct-rendering and RGBA flags unset: whatever the stack
        // held there (a zero after a folder's import) asked for an indirect context, which an X
        // server without indirect GLX refuses with an error that ends the process.
        attributes.PlatformDefaults();
        if (api == GlApi::Core33) {
            attributes.CoreProfile().OGLVersion(3, 3);
        } else {
            attributes.ES2().OGLVersion(3, 0);
        }
        attributes.EndList();
        // A driver without that kind is no error here: the caller falls back, or says so itself.
        // The toolkit would show its own message box for it.
        const wxLogNull quiet;
        context = std::make_unique<wxGLContext>(&canvas_, nullptr, &attributes);
    }
    if (!context->IsOK()) return nullptr;
    context_ = std::move(context);
    api_ = api;
    return reinterpret_cast<GlContext*>(context_.get());
}

GlContext* WxGlSurface::createContext() {
    if (choice_ != GlChoice::Legacy) {
        for (const GlApi api : {GlApi::Core33, GlApi::Es3}) {
            if (GlContext* context = makeContext(api)) return context;
        }
        if (choice_ == GlChoice::Modern) return nullptr;
    }
    return makeContext(GlApi::Compatibility);
}

GlContext* WxGlSurface::createFallbackContext() {
    if (choice_ != GlChoice::Auto || api_ == GlApi::Compatibility) return nullptr;
    return makeContext(GlApi::Compatibility);
}

bool WxGlSurface::makeCurrent(GlContext* context) {
    if (context == nullptr) return false;
    return canvas_.SetCurrent(*reinterpret_cast<wxGLContext*>(context));
}

// One thread has one current context across GLX and EGL: a GLX context left current keeps an
// EGL one from being made current.
void WxGlSurface::releaseCurrent() {
#if defined(__WXGTK__) || defined(__WXX11__)
    if (glXGetCurrentContext() != nullptr) glXMakeCurrent(glXGetCurrentDisplay(), None, nullptr);
#endif
}

void WxGlSurface::swapBuffers() {
    copyBackToFront();
    canvas_.SwapBuffers();
    ++swapCount_;
}

void WxGlSurface::setDrawBuffer(DrawBuffer buffer) {
    glDrawBuffer(buffer == DrawBuffer::Back ? GL_BACK : GL_FRONT);
}

void WxGlSurface::flushFront() { glFlush(); }

bool WxGlSurface::buildFontLists(const char* face, int pixelHeight, unsigned listBase,
                                 FontMetrics& metrics) {
    return buildFreeTypeFontLists(face, pixelHeight, listBase, metrics);
}

bool WxGlSurface::buildGlyphAtlas(const char* face, int pixelHeight, GlyphAtlas& atlas) {
    return buildFreeTypeGlyphAtlas(face, pixelHeight, atlas);
}

// With Mesa's software path under X the front buffer is a private copy that a swap does not
// update: drawing into it after a swap would put back the picture of before the swap. So the
// frame about to be shown is copied into the front buffer first; with a driver that flips
// buffers the copy is merely redundant, and continuation slices add to what is on screen.
void WxGlSurface::copyBackToFront() {
    const auto start = std::chrono::steady_clock::now();
    const wxSize size = canvas_.GetClientSize() * canvas_.GetContentScaleFactor();
    GLint drawBuffer = GL_BACK, readBuffer = GL_BACK;
    glGetIntegerv(GL_DRAW_BUFFER, &drawBuffer);
    glGetIntegerv(GL_READ_BUFFER, &readBuffer);
    // The blit honours the scissor box; the whole window is copied.
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    if (scissor) glDisable(GL_SCISSOR_TEST);
    glReadBuffer(GL_BACK);
    glDrawBuffer(GL_FRONT);
    glBlitFramebuffer(0, 0, size.x, size.y, 0, 0, size.x, size.y, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glDrawBuffer(static_cast<GLenum>(drawBuffer));
    glReadBuffer(static_cast<GLenum>(readBuffer));
    if (scissor) glEnable(GL_SCISSOR_TEST);
    frontCopyMicros_ += std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
}

}  // namespace orvo
