#include "glue/category_palette.h"

#include <cmath>
#include <cstdint>

namespace orvo {

namespace {

// Eight colours apart for every reader, then each picked farthest from all before it (and from
// the links' red and blue, the hover green, the selection yellow and the default grey) out of a
// grid of hues, saturations and values at least 35 CIELAB units from white, mid grey and black.
// Stored, so that no machine's floating point can pick otherwise.
constexpr std::array<uint32_t, kPaletteSize> kPalette{
    0xE69F00, 0x56B4E9, 0x009E73, 0xF0E442, 0x0072B2, 0xD55E00, 0xCC79A7, 0x117733,
    0xFF00FF, 0x0000FF, 0xFF009F, 0x80FF8F, 0x735600, 0xFF0040, 0xCF80FF, 0x00FFFF,
    0xFFAF80, 0x4058FF, 0x739900, 0x990086, 0x4087FF, 0xCCBF66, 0x66CC00, 0x9900CC,
    0xCC336C, 0x000099, 0xFF8080, 0xFF2000, 0x00FFBF, 0x730039, 0x009913, 0xCFFF80,
    0xFF80DF, 0xBFFF00, 0x990000, 0x7C994C, 0x003973, 0x998600, 0x66CCBF, 0xCC8033,
    0x00FF60, 0x9F00FF, 0x66CC80, 0x8066CC, 0x733D1D, 0x1A00CC, 0x994C60, 0xCC33CC,
    0x00DFFF, 0x560073, 0xFF5840, 0x009FFF, 0x994C99, 0xFF4070, 0x99CC66, 0x647300,
    0x00CC66, 0xCC5933, 0x994C00, 0xCC8066, 0xCC3393, 0xA6CC33, 0x80FFDF, 0xCC1A00,
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
    return {static_cast<float>((c >> 16) & 0xFF) / 255.0f,
            static_cast<float>((c >> 8) & 0xFF) / 255.0f, static_cast<float>(c & 0xFF) / 255.0f};
}

double colourDifference(const Rgb& a, const Rgb& b) {
    const auto p = lab(a), q = lab(b);
    return std::sqrt((p[0] - q[0]) * (p[0] - q[0]) + (p[1] - q[1]) * (p[1] - q[1]) +
                     (p[2] - q[2]) * (p[2] - q[2]));
}

}  // namespace orvo
