// The label font of every GL surface: a face found through fontconfig, rasterised by FreeType
// into 256 glBitmap display lists (Latin-1 codes 0..255) or one glyph atlas, with ascent,
// descent and widths.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "render/gl_surface.h"
#include "render/glyph_atlas.h"

namespace orvo {

/// The font file the system's font configuration chose for a requested face.
struct FontFile {
    std::string path;
    int faceIndex = 0;
    std::string family;
};

/// Finds a regular, upright, scalable face by family name. A name the system lacks gives the
/// closest match (a metric-compatible substitute where one is configured, else the system's
/// sans-serif face). nullopt when the system has no usable font at all.
std::optional<FontFile> findFontFile(const char* face);

/// One glyph as glBitmap takes it: rows bottom-up, each (width + 7) / 8 bytes with the
/// leftmost pixel in the most significant bit.
struct GlyphBitmap {
    int width = 0;
    int rows = 0;
    int left = 0;     // pixels from the pen position to the bitmap's left edge
    int top = 0;      // pixels from the baseline up to the bitmap's top row
    int advance = 0;  // pixels the pen moves right after the glyph
    std::vector<uint8_t> bits;

    bool pixel(int x, int rowFromBottom) const {
        return (bits[size_t(rowFromBottom) * size_t((width + 7) / 8) + size_t(x / 8)] >>
                (7 - x % 8)) &
               1;
    }
};

/// A face rasterised for codes 0..255, where code c is the Unicode code point c.
struct RasterFont {
    FontFile file;
    int pixelsPerEm = 0;
    FontMetrics metrics;
    std::array<GlyphBitmap, 256> glyphs;
};

/// Rasterises the face at a font height given as a Windows font height is: a positive height is
/// the cell height (ascent + descent) in pixels, a negative one the em size, 0 the default 12.
/// Glyphs are monochrome and hinted; control codes get empty glyphs that keep their advance.
std::optional<RasterFont> rasteriseLatin1Font(const char* face, int height);

/// Compiles the 256 glyphs into display lists listBase .. listBase + 255 on the current
/// context: each list draws its glyph at the raster position and advances it by the width.
void compileGlyphLists(const RasterFont& font, unsigned listBase);

/// Rasterises and compiles the font, and fills metrics; false (metrics untouched, no lists
/// compiled) when no font can be had or listBase is 0. Needs a current GL context.
bool buildFreeTypeFontLists(const char* face, int height, unsigned listBase, FontMetrics& metrics);

/// Puts the 256 glyphs into an atlas, each set bit of a bitmap a texel of full coverage, with
/// the font's metrics. False (atlas untouched) when they do not fit a texture of maxSide.
bool fillGlyphAtlas(const RasterFont& font, int maxSide, GlyphAtlas& atlas);

/// Rasterises the face as buildFreeTypeFontLists does and fills the atlas from the very same
/// bitmaps. False (atlas untouched) when no font can be had. Needs no GL context.
bool buildFreeTypeGlyphAtlas(const char* face, int height, GlyphAtlas& atlas);

}  // namespace orvo
