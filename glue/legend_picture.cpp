#include "glue/legend_picture.h"

#include <algorithm>
#include <optional>
#include <string>

namespace orvo {

namespace {

constexpr int kPad = 6;
constexpr int kGap = 6;  // between a swatch and its name, and between a name and its count

// The text's code points, those past Latin-1 (which the label font lacks) as '?'; a malformed
// byte counts as its own Latin-1 character.
std::vector<unsigned char> latin1(const std::string& utf8) {
    std::vector<unsigned char> out;
    for (size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        size_t length = b < 0x80         ? 1
                        : (b >> 5) == 6  ? 2
                        : (b >> 4) == 14 ? 3
                        : (b >> 3) == 30 ? 4
                                         : 0;
        bool valid = length != 0 && i + length <= utf8.size();
        for (size_t k = 1; valid && k < length; ++k) {
            valid = (static_cast<unsigned char>(utf8[i + k]) & 0xC0) == 0x80;
        }
        if (!valid) {
            out.push_back(b);
            ++i;
            continue;
        }
        if (length == 1) {
            out.push_back(b);
        } else if (length == 2) {
            const unsigned cp =
                ((b & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
            out.push_back(cp < 256 ? static_cast<unsigned char>(cp) : '?');
        } else {
            out.push_back('?');
        }
        i += length;
    }
    return out;
}

int textWidth(const std::vector<unsigned char>& text, const RasterFont& font) {
    int w = 0;
    for (unsigned char c : text) w += font.glyphs[c].advance;
    return w;
}

std::string countText(const LegendRow& row) { return legendCount(row.nodes); }

int lineHeight(const RasterFont& font) { return font.metrics.ascent + font.metrics.descent + 4; }

class Canvas {
public:
    Canvas(std::vector<uint8_t>& rgba, int width, int height, bool bottomUp)
        : rgba_(rgba), width_(width), height_(height), bottomUp_(bottomUp) {}

    void set(int x, int y, const Rgb& c) {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
        const int row = bottomUp_ ? height_ - 1 - y : y;
        uint8_t* p = &rgba_[(static_cast<size_t>(row) * static_cast<size_t>(width_) +
                             static_cast<size_t>(x)) *
                            4];
        for (int k = 0; k < 3; ++k) {
            p[k] = static_cast<uint8_t>(std::clamp(c[static_cast<size_t>(k)], 0.0f, 1.0f) * 255.0f +
                                        0.5f);
        }
        p[3] = 255;
    }
    void fill(const LegendPlacement::Box& b, const Rgb& c) {
        for (int y = b.y0; y < b.y1; ++y) {
            for (int x = b.x0; x < b.x1; ++x) set(x, y, c);
        }
    }
    void frame(const LegendPlacement::Box& b, const Rgb& c) {
        for (int x = b.x0; x < b.x1; ++x) {
            set(x, b.y0, c);
            set(x, b.y1 - 1, c);
        }
        for (int y = b.y0; y < b.y1; ++y) {
            set(b.x0, y, c);
            set(b.x1 - 1, y, c);
        }
    }
    // Text with its baseline at y, starting at x.
    void text(int x, int baseline, const std::vector<unsigned char>& text, const RasterFont& font,
              const Rgb& c) {
        for (unsigned char ch : text) {
            const GlyphBitmap& g = font.glyphs[ch];
            for (int r = 0; r < g.rows; ++r) {
                for (int col = 0; col < g.width; ++col) {
                    if (g.pixel(col, r))
                        set(x + g.left + col, baseline - g.top + (g.rows - 1 - r), c);
                }
            }
            x += g.advance;
        }
    }

private:
    std::vector<uint8_t>& rgba_;
    int width_, height_;
    bool bottomUp_;
};

struct Measures {
    int line = 0, swatch = 0, nameColumn = 0, nameWidth = 0, countWidth = 0, titleWidth = 0;
};

Measures measure(const Legend& legend, const RasterFont& font) {
    Measures m;
    m.line = lineHeight(font);
    m.swatch = std::max(4, m.line - 6);
    m.titleWidth = textWidth(latin1(legend.title), font);
    for (const LegendRow& row : legend.rows) {
        m.nameWidth = std::max(m.nameWidth, textWidth(latin1(row.name), font));
        m.countWidth = std::max(m.countWidth, textWidth(latin1(countText(row)), font));
    }
    m.nameColumn = kPad + m.swatch + kGap;
    return m;
}

}  // namespace

LegendPlacement placeLegend(const Legend& legend, const RasterFont& font) {
    const Measures m = measure(legend, font);
    LegendPlacement p;
    const int rowsWidth = m.nameColumn + m.nameWidth + kGap * 2 + m.countWidth + kPad;
    p.box = {0, 0, std::max(rowsWidth, m.titleWidth + 2 * kPad),
             kPad * 2 + m.line * static_cast<int>(legend.rows.size() + 1)};
    for (size_t i = 0; i < legend.rows.size(); ++i) {
        const int top = kPad + m.line * static_cast<int>(i + 1) + (m.line - m.swatch) / 2;
        p.swatches.push_back({kPad, top, kPad + m.swatch, top + m.swatch});
    }
    return p;
}

void drawLegend(std::vector<uint8_t>& rgba, int width, int height, bool bottomUp,
                const Legend& legend, const RasterFont& font, const Rgb& background,
                const Rgb& text) {
    if (width <= 0 || height <= 0 ||
        rgba.size() < static_cast<size_t>(width) * static_cast<size_t>(height) * 4) {
        return;
    }
    const Measures m = measure(legend, font);
    const LegendPlacement p = placeLegend(legend, font);
    Canvas canvas(rgba, width, height, bottomUp);
    canvas.fill(p.box, background);
    canvas.frame(p.box, text);
    // Hidden groups are written in a colour halfway to the background.
    Rgb faint;
    for (size_t k = 0; k < 3; ++k) faint[k] = (text[k] + background[k]) / 2.0f;
    const int ascentOffset = 2 + font.metrics.ascent;
    canvas.text(kPad, kPad + ascentOffset, latin1(legend.title), font, text);
    for (size_t i = 0; i < legend.rows.size(); ++i) {
        const LegendRow& row = legend.rows[i];
        const LegendPlacement::Box& s = p.swatches[i];
        if (row.hidden) {
            canvas.frame(s, row.colour);  // a hidden group's swatch is only an outline
        } else {
            canvas.fill(s, row.colour);
            canvas.frame(s, text);
        }
        const Rgb& ink = row.hidden ? faint : text;
        const int baseline = kPad + m.line * static_cast<int>(i + 1) + ascentOffset;
        canvas.text(m.nameColumn, baseline, latin1(row.name), font, ink);
        const auto count = latin1(countText(row));
        canvas.text(p.box.x1 - kPad - textWidth(count, font), baseline, count, font, ink);
    }
}

// The ramp is never narrower than this, so that its bands can be told apart.
constexpr int kMinRampWidth = 160;

MeasureLegendPlacement placeMeasureLegend(const MeasureLegend& legend, const RasterFont& font) {
    const int line = lineHeight(font);
    const int ends = textWidth(latin1(legend.lowText), font) + 2 * kGap +
                     textWidth(latin1(legend.highText), font);
    const int inner = std::max({kMinRampWidth, textWidth(latin1(legend.title), font), ends});
    MeasureLegendPlacement p;
    p.box = {0, 0, inner + 2 * kPad, 2 * kPad + 3 * line};
    p.ramp = {kPad, kPad + line + 2, kPad + inner, kPad + 2 * line - 2};
    return p;
}

void drawMeasureLegend(std::vector<uint8_t>& rgba, int width, int height, bool bottomUp,
                       const MeasureLegend& legend, const RasterFont& font, const Rgb& background,
                       const Rgb& text) {
    if (width <= 0 || height <= 0 ||
        rgba.size() < static_cast<size_t>(width) * static_cast<size_t>(height) * 4) {
        return;
    }
    const MeasureLegendPlacement p = placeMeasureLegend(legend, font);
    Canvas canvas(rgba, width, height, bottomUp);
    canvas.fill(p.box, background);
    canvas.frame(p.box, text);
    const int line = lineHeight(font), ascentOffset = 2 + font.metrics.ascent;
    canvas.text(kPad, kPad + ascentOffset, latin1(legend.title), font, text);
    const size_t steps = legend.ramp.size();
    const int rampWidth = p.ramp.x1 - p.ramp.x0;
    for (size_t i = 0; i < steps; ++i) {
        const int x0 = p.ramp.x0 + static_cast<int>(rampWidth * i / steps);
        const int x1 = p.ramp.x0 + static_cast<int>(rampWidth * (i + 1) / steps);
        canvas.fill({x0, p.ramp.y0, x1, p.ramp.y1}, legend.ramp[i]);
    }
    const int baseline = kPad + 2 * line + ascentOffset;
    canvas.text(p.ramp.x0, baseline, latin1(legend.lowText), font, text);
    const auto high = latin1(legend.highText);
    canvas.text(p.ramp.x1 - textWidth(high, font), baseline, high, font, text);
}

bool drawViewLegend(std::vector<uint8_t>& rgba, int width, int height, const Graph& graph,
                    const ViewerSettings& settings, std::string& error,
                    const MeasureLegend* measure) {
    const std::optional<RasterFont> font =
        rasteriseLatin1Font(settings.fontFace, settings.fontHeight);
    if (!font) {
        error = "no font to write the legend with";
        return false;
    }
    const Rgb background{settings.backgroundColor[0], settings.backgroundColor[1],
                         settings.backgroundColor[2]};
    const Rgb text{settings.labelColor[0], settings.labelColor[1], settings.labelColor[2]};
    if (measure != nullptr && !measure->title.empty()) {
        drawMeasureLegend(rgba, width, height, true, *measure, *font, background, text);
    } else {
        drawLegend(rgba, width, height, true, groupLegend(graph, kPictureLegendRows), *font,
                   background, text);
    }
    return true;
}

}  // namespace orvo
