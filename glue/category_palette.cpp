#include "glue/category_palette.h"

#include <cmath>
#include <cstdint>

namespace orvo {

namespace {

// Picked once, farthest first from a grid of hues, saturations and values, keeping only colours
// at least 35 CIELAB units from white, mid grey and black; stored, so that no machine's floating
// point can pick otherwise.
constexpr std::array<uint32_t, kPaletteSize> kPalette{
    0xE69F00, 0x56B4E9, 0x009E73, 0xF0E442, 0x0072B2, 0xD55E00, 0xCC79A7, 0x332288,
    0x00FF00, 0xFF00FF, 0x0000FF, 0xFF0060, 0x735D1D, 0x73001D, 0x80FF8F, 0xBF80FF,
    0xCC0099, 0x00FFFF, 0x609900, 0xFFAF80, 0xFF0000, 0xBFFF00, 0x0060FF, 0x8000CC,
    0x731D5D, 0xCCBF66, 0xCC6666, 0x4087FF, 0x4DCC00, 0x991300, 0x413973, 0xFF80DF,
    0x4F7339, 0xCC336C, 0x00FFBF, 0x860099, 0xCFFF80, 0x000099, 0x009939, 0x998600,
    0x995126, 0xFF5840, 0x66CCBF, 0x4040FF, 0x00FF60, 0x66CC80, 0xCC8033, 0x99CC00,
    0x733939, 0xCC3346, 0xFFFF00, 0xBF00FF, 0x00DFFF, 0xFF409F, 0x00CC4D, 0xCC33CC,
    0x864C99, 0xFF809F, 0x009FFF, 0x567300, 0x7366CC, 0x99CC66, 0x004873, 0x994C69,
};

double linear(float channel) {
    const double c = channel;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

std::array<double, 3> lab(const Rgb& rgb) {
    const double r = linear(rgb[0]), g = linear(rgb[1]), b = linear(rgb[2]);
    // sRGB primaries, D65 white.
    const double x = (0.4124 * r + 0.3576 * g + 0.1805 * b) / 0.95047;
    const double y = 0.2126 * r + 0.7152 * g + 0.0722 * b;
    const double z = (0.0193 * r + 0.1192 * g + 0.9505 * b) / 1.08883;
    const auto f = [](double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116.0; };
    return {116.0 * f(y) - 16.0, 500.0 * (f(x) - f(y)), 200.0 * (f(y) - f(z))};
}

}  // namespace

Rgb paletteColour(size_t rank) {
    const uint32_t c = kPalette[rank % kPaletteSize];
    return {static_cast<float>((c >> 16) & 0xFF) / 255.0f, static_cast<float>((c >> 8) & 0xFF) / 255.0f,
            static_cast<float>(c & 0xFF) / 255.0f};
}

double colourDifference(const Rgb& a, const Rgb& b) {
    const auto p = lab(a), q = lab(b);
    return std::sqrt((p[0] - q[0]) * (p[0] - q[0]) + (p[1] - q[1]) * (p[1] - q[1]) +
                     (p[2] - q[2]) * (p[2] - q[2]));
}

}  // namespace orvo
