#include "render/glyph_atlas.h"

#include <algorithm>
#include <cmath>

namespace orvo {

namespace {

// A texel of space round each glyph, so that no sample of one glyph reaches its neighbour.
constexpr int kGap = 1;

}  // namespace

bool GlyphAtlas::valid() const {
    if (width < 0 || height < 0) return false;
    if (coverage.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) return false;
    for (const Glyph& g : glyphs) {
        if (g.width < 0 || g.rows < 0 || g.x < 0 || g.y < 0) return false;
        if (g.width > width - g.x || g.rows > height - g.y) return false;
    }
    return true;
}

bool GlyphAtlas::arrange(const std::array<std::array<int, 2>, 256>& sizes, int maxSide) {
    // Rows as wide as the square the glyphs would fill, and no narrower than the widest glyph.
    double area = 0.0;
    int widest = 0;
    for (const auto& [w, h] : sizes) {
        if (w < 0 || h < 0 || w > maxSide || h > maxSide) return false;
        area += double(w + kGap) * double(h + kGap);
        widest = std::max(widest, w + kGap);
    }
    const int rowWidth = std::max(widest, static_cast<int>(std::ceil(std::sqrt(area))));
    if (rowWidth > maxSide) return false;
    int x = 0, y = 0, rowHeight = 0;
    for (size_t code = 0; code < sizes.size(); ++code) {
        const int w = sizes[code][0], h = sizes[code][1];
        if (x + w + kGap > rowWidth) {
            x = 0;
            y += rowHeight;
            rowHeight = 0;
        }
        glyphs[code].x = x;
        glyphs[code].y = y;
        glyphs[code].width = w;
        glyphs[code].rows = h;
        x += w + kGap;
        rowHeight = std::max(rowHeight, h + kGap);
        if (y + rowHeight > maxSide) return false;
    }
    width = rowWidth;
    height = std::max(y + rowHeight, 1);
    coverage.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    return true;
}

}  // namespace orvo
