// RGBA images in PNG files: the snapshot tool writes what a surface drew, tests read it back.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace orvo {

/// Order of the rows in a pixel buffer: GL reads framebuffers bottom row first.
enum class RowOrder { TopDown, BottomUp };

/// 8-bit RGBA pixels, rows top-down, 4 * width bytes each.
struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};

/// Writes width x height RGBA pixels (4 * width * height bytes) to a PNG file. On failure returns
/// false with a one-line reason in error and leaves no partly written file behind.
bool writePng(const std::string& path, int width, int height, std::span<const uint8_t> rgba,
              RowOrder order, std::string& error);

/// Encodes width x height RGBA pixels as the bytes of a PNG file (for writers that put the
/// bytes in place themselves). False with a one-line reason in error.
bool encodePng(int width, int height, std::span<const uint8_t> rgba, RowOrder order,
               std::vector<uint8_t>& png, std::string& error);

/// Reads a PNG file of any colour type into 8-bit RGBA, rows top-down.
bool readPng(const std::string& path, RgbaImage& image, std::string& error);

/// Reverses the order of the rows of a width x height buffer with bytesPerPixel bytes a pixel.
void flipRows(std::span<uint8_t> pixels, int width, int height, int bytesPerPixel = 4);

}  // namespace orvo
