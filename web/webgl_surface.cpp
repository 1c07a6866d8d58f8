#include "web/webgl_surface.h"

#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include <array>
#include <utility>
#include <vector>

#include "render/glyph_atlas.h"

namespace {

constexpr int kGlyphFields = 5;  // width, rows, left, top, advance
// The largest texture WebGL 2 is sure to take.
constexpr int kAtlasMaxSide = 2048;

}  // namespace

// Draws codes 32..255 (Latin-1, control codes left empty) one at a time on a 2D canvas in the
// face at the em size a cell of `height` CSS pixels gives (the face's ascent plus descent make the
// cell, as on the desktop; a negative height is the em size), and keeps each glyph's ink (alpha of at least half) cut to its box
// for orvo_copy_glyphs. Writes width, rows, left, top and advance of each code to `fields`, then
// the ascent and the descent. 0 where no canvas can draw text.
EM_JS(int, orvo_rasterise_glyphs, (const char* face, int height, int* fields), {
  var canvas = null;
  if (typeof OffscreenCanvas !== "undefined") canvas = new OffscreenCanvas(16, 16);
  else if (typeof document !== "undefined") canvas = document.createElement("canvas");
  if (!canvas) return 0;
  var context = canvas.getContext("2d", { willReadFrequently: true });
  if (!context) return 0;
  // The face's name between quotes in a CSS font (quotes and backslashes in it dropped).
  var quote = String.fromCharCode(34), backslash = String.fromCharCode(92);
  var family = UTF8ToString(face).split(quote).join("").split(backslash).join("");
  var fontOf = function (pixels) {
    return pixels + "px " + quote + family + quote + ", sans-serif";
  };
  if (height === 0) height = 12;
  // The canvas has a pixel for each of the screen's (devicePixelRatio to a CSS pixel): the text
  // is as large to the eye as the desktop's on a screen of ordinary density.
  var ratio = (typeof window !== "undefined" && window.devicePixelRatio) || 1;
  height = Math.round(height * Math.max(1, Math.min(ratio, 4)));
  var em = -height;
  if (height > 0) {
    context.font = fontOf(100);
    var probe = context.measureText("Hg");
    var cell = probe.fontBoundingBoxAscent + probe.fontBoundingBoxDescent;
    em = Math.round(cell > 0 ? height * 100 / cell : height);
  }
  em = Math.max(1, Math.min(em, 512));
  context.font = fontOf(em);
  var sized = context.measureText("Hg");
  var ascent = Math.round(sized.fontBoundingBoxAscent || em * 0.9);
  var descent = Math.round(sized.fontBoundingBoxDescent || em * 0.2);
  var pad = em, side = 4 * em;
  canvas.width = side;
  canvas.height = side;
  context.font = fontOf(em); // a resized canvas forgets its font
  context.textBaseline = "alphabetic";
  context.fillStyle = "#fff";
  var baseline = pad + ascent;
  var bits = [];
  for (var code = 0; code < 256; ++code) {
    var at = (fields >> 2) + code * 5;
    for (var k = 0; k < 5; ++k) HEAP32[at + k] = 0;
    bits.push(null);
    if (code < 32 || (code >= 127 && code < 160)) continue;
    var text = String.fromCharCode(code);
    context.clearRect(0, 0, side, side);
    context.fillText(text, pad, baseline);
    var alpha = context.getImageData(0, 0, side, side).data;
    var x0 = side, y0 = side, x1 = -1, y1 = -1;
    for (var y = 0; y < side; ++y)
      for (var x = 0; x < side; ++x)
        if (alpha[(y * side + x) * 4 + 3] >= 128) {
          if (x < x0) x0 = x;
          if (x > x1) x1 = x;
          if (y < y0) y0 = y;
          if (y > y1) y1 = y;
        }
    HEAP32[at + 4] = Math.round(context.measureText(text).width);
    if (x1 < 0) continue;
    var width = x1 - x0 + 1, rows = y1 - y0 + 1, ink = new Uint8Array(width * rows);
    for (var r = 0; r < rows; ++r)
      for (var c = 0; c < width; ++c)
        if (alpha[((y0 + r) * side + x0 + c) * 4 + 3] >= 128) ink[r * width + c] = 255;
    bits[code] = ink;
    HEAP32[at] = width;
    HEAP32[at + 1] = rows;
    HEAP32[at + 2] = x0 - pad;
    HEAP32[at + 3] = baseline - y0;
  }
  HEAP32[(fields >> 2) + 256 * 5] = ascent;
  HEAP32[(fields >> 2) + 256 * 5 + 1] = descent;
  Module.orvoGlyphInk = bits;
  return 1;
});

// Copies the ink orvo_rasterise_glyphs kept into the atlas's coverage (`width` bytes a row), each
// glyph at its place (x, y of each code in `places`), and lets the ink go.
EM_JS(void, orvo_copy_glyphs, (const int* places, unsigned char* coverage, int width), {
  var bits = Module.orvoGlyphInk;
  Module.orvoGlyphInk = null;
  if (!bits || !places || !coverage) return;
  for (var code = 0; code < 256; ++code) {
    var ink = bits[code];
    if (!ink) continue;
    var x = HEAP32[(places >> 2) + code * 4], y = HEAP32[(places >> 2) + code * 4 + 1];
    var w = HEAP32[(places >> 2) + code * 4 + 2], rows = HEAP32[(places >> 2) + code * 4 + 3];
    for (var r = 0; r < rows; ++r)
      HEAPU8.set(ink.subarray(r * w, (r + 1) * w), coverage + (y + r) * width + x);
  }
});

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

bool WebGlSurface::buildGlyphAtlas(const char* face, int pixelHeight, GlyphAtlas& atlas) {
    if (face == nullptr) return false;
    std::vector<int> fields(256 * kGlyphFields + 2, 0);
    if (orvo_rasterise_glyphs(face, pixelHeight, fields.data()) == 0) return false;
    std::array<std::array<int, 2>, 256> sizes{};
    for (size_t code = 0; code < 256; ++code)
        sizes[code] = {fields[code * kGlyphFields], fields[code * kGlyphFields + 1]};
    GlyphAtlas filled;
    if (!filled.arrange(sizes, kAtlasMaxSide)) {
        orvo_copy_glyphs(nullptr, nullptr, 0);  // lets the ink go
        return false;
    }
    std::vector<int> places(256 * 4, 0);
    for (size_t code = 0; code < 256; ++code) {
        GlyphAtlas::Glyph& glyph = filled.glyphs[code];
        const int* f = &fields[code * kGlyphFields];
        glyph.left = f[2];
        glyph.top = f[3];
        glyph.advance = f[4];
        filled.metrics.widths[code] = f[4];
        places[code * 4] = glyph.x;
        places[code * 4 + 1] = glyph.y;
        places[code * 4 + 2] = glyph.width;
        places[code * 4 + 3] = glyph.rows;
    }
    filled.metrics.ascent = fields[256 * kGlyphFields];
    filled.metrics.descent = fields[256 * kGlyphFields + 1];
    orvo_copy_glyphs(places.data(), filled.coverage.data(), filled.width);
    if (!filled.valid()) return false;
    atlas = std::move(filled);
    return true;
}

}  // namespace web

}  // namespace orvo
