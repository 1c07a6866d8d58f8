#include "web/webgl_surface.h"

#include <emscripten/html5.h>

#include <utility>

namespace orvo {

struct GlContext {
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE handle;
};

namespace web {

WebGlSurface::WebGlSurface(std::string canvas) : canvas_(std::move(canvas)) {}

WebGlSurface::~WebGlSurface() { destroyContext(); }

void WebGlSurface::destroyContext() {
    if (context_ == nullptr) return;
    emscripten_webgl_destroy_context(context_->handle);
    delete context_;
    context_ = nullptr;
}

GlContext* WebGlSurface::createContext() {
    destroyContext();
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.majorVersion = 2;
    attributes.minorVersion = 0;
    attributes.alpha = false;
    attributes.depth = true;
    attributes.stencil = false;
    // Pixels as the desktop draws them: no multisampling, and the picture kept between the
    // slices of a frame.
    attributes.antialias = false;
    attributes.preserveDrawingBuffer = true;
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE handle =
        emscripten_webgl_create_context(canvas_.c_str(), &attributes);
    if (handle <= 0) {
        error_ = "the canvas " + canvas_ + " offers no WebGL 2 context";
        return nullptr;
    }
    error_.clear();
    context_ = new GlContext{handle};
    return context_;
}

bool WebGlSurface::makeCurrent(GlContext* context) {
    return context != nullptr &&
           emscripten_webgl_make_context_current(context->handle) == EMSCRIPTEN_RESULT_SUCCESS;
}

}  // namespace web

}  // namespace orvo
