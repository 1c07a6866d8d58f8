// The label font as one texture: a byte of coverage per texel, and for each code 0..255
// (Latin-1) where its glyph lies in it, where the glyph sits against the pen and how far the pen
// moves on. Whoever owns the surface fills it (FreeType on the desktop, a canvas in the browser),
// so that drawing needs no font library.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/gl_surface.h"

namespace orvo {

struct GlyphAtlas {
    struct Glyph {
        int x = 0, y = 0;         // the glyph's top-left texel in the atlas
        int width = 0, rows = 0;  // its size in texels (window pixels)
        int left = 0;             // pixels from the pen position to the glyph's left edge
        int top = 0;              // pixels from the baseline up to the glyph's top row
        int advance = 0;          // pixels the pen moves right after the glyph
    };

    int width = 0, height = 0;
    std::vector<uint8_t> coverage;  // width * height bytes, top row first; >= 128 is ink
    std::array<Glyph, 256> glyphs{};
    FontMetrics metrics;

    /// Whether the coverage has width * height bytes and every glyph lies inside it; a drawing
    /// back end takes no other atlas.
    bool valid() const;
    /// Lays out glyphs of the given sizes (indexed by code) in rows, sizes the coverage to hold
    /// them (cleared) and sets each glyph's x, y, width and rows. False when a size is negative
    /// or the atlas would be wider or taller than maxSide.
    bool arrange(const std::array<std::array<int, 2>, 256>& sizes, int maxSide);
    /// The texel at column x of row y of a glyph, counted from its top-left.
    uint8_t& at(const Glyph& glyph, int x, int y) {
        return coverage[static_cast<std::size_t>(glyph.y + y) * static_cast<std::size_t>(width) +
                        static_cast<std::size_t>(glyph.x + x)];
    }
};

}  // namespace orvo
