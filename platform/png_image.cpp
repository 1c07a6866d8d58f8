// PNG files through libpng's simplified interface, which reports errors without longjmp.
#include "platform/png_image.h"

#include <png.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

namespace orvo {

namespace {

constexpr int kChannels = 4;
// Images read back are screenshots; anything beyond 256 megapixels is refused.
constexpr uint64_t kMaxReadPixels = uint64_t(1) << 28;

std::string quoted(const std::string& path) { return '"' + path + '"'; }

// The largest side libpng accepts, and a bound that keeps 4 * width * height within int rows.
bool sizeIsValid(int width, int height) {
    if (width <= 0 || height <= 0) return false;
    const uint64_t bytes = uint64_t(width) * uint64_t(height) * kChannels;
    return width <= std::numeric_limits<int>::max() / kChannels &&
           bytes <= uint64_t(std::numeric_limits<ptrdiff_t>::max());
}

// What libpng is told of width x height RGBA pixels to write.
png_image rgbaImage(int width, int height) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(width);
    image.height = png_uint_32(height);
    image.format = PNG_FORMAT_RGBA;
    return image;
}

// A negative row stride tells libpng that the buffer holds the bottom row first.
png_int_32 rowStride(int width, RowOrder order) {
    const png_int_32 stride = png_int_32(width * kChannels);
    return order == RowOrder::BottomUp ? -stride : stride;
}

}  // namespace

bool writePng(const std::string& path, int width, int height, std::span<const uint8_t> rgba,
              RowOrder order, std::string& error) {
    if (!sizeIsValid(width, height)) {
        error = "cannot write " + quoted(path) + ": invalid image size " + std::to_string(width) +
                "x" + std::to_string(height);
        return false;
    }
    const size_t expected = size_t(width) * size_t(height) * kChannels;
    if (rgba.size() != expected) {
        error = "cannot write " + quoted(path) + ": " + std::to_string(rgba.size()) +
                " bytes of pixels given for a " + std::to_string(width) + "x" +
                std::to_string(height) + " RGBA image";
        return false;
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = "cannot open " + quoted(path) + " for writing: " + std::strerror(errno);
        return false;
    }
    // Only a regular file is removed after a failed write: never a device or a pipe.
    struct stat status;
    const bool regularFile = fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode);
    png_image image = rgbaImage(width, height);
    const bool written = png_image_write_to_stdio(&image, file, 0, rgba.data(),
                                                  rowStride(width, order), nullptr) != 0;
    std::string reason = written ? std::string() : std::string(image.message);
    png_image_free(&image);
    const bool flushed = std::fflush(file) == 0 && !std::ferror(file);
    if (written && !flushed) reason = std::strerror(errno);
    const bool closed = std::fclose(file) == 0;
    if (written && flushed && !closed) reason = std::strerror(errno);
    if (written && flushed && closed) return true;
    if (regularFile) std::remove(path.c_str());
    error = "cannot write " + quoted(path) + ": " + reason;
    return false;
}

bool encodePng(int width, int height, std::span<const uint8_t> rgba, RowOrder order,
               std::vector<uint8_t>& png, std::string& error) {
    png.clear();
    if (!sizeIsValid(width, height) || rgba.size() != size_t(width) * size_t(height) * kChannels) {
        error = "invalid image size " + std::to_string(width) + "x" + std::to_string(height);
        return false;
    }
    png_image image = rgbaImage(width, height);
    const png_int_32 stride = rowStride(width, order);
    // First the size the encoding needs, then the encoding itself.
    png_alloc_size_t size = 0;
    bool ok =
        png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), stride, nullptr) != 0;
    if (ok) {
        png.resize(size);
        ok = png_image_write_to_memory(&image, png.data(), &size, 0, rgba.data(), stride,
                                       nullptr) != 0;
        png.resize(ok ? size : 0);
    }
    if (!ok) error = image.message;
    png_image_free(&image);
    return ok;
}

bool readPng(const std::string& path, RgbaImage& result, std::string& error) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        error = "cannot read " + quoted(path) + ": " + image.message;
        png_image_free(&image);
        return false;
    }
    image.format = PNG_FORMAT_RGBA;
    // libpng's own size macro computes in 32 bits; a hostile header could wrap it round.
    const uint64_t pixelCount = uint64_t(image.width) * uint64_t(image.height);
    if (pixelCount == 0 || pixelCount > kMaxReadPixels) {
        error = "cannot read " + quoted(path) + ": unsupported image size " +
                std::to_string(image.width) + "x" + std::to_string(image.height);
        png_image_free(&image);
        return false;
    }
    std::vector<uint8_t> pixels(size_t(pixelCount) * kChannels);
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        error = "cannot read " + quoted(path) + ": " + image.message;
        png_image_free(&image);
        return false;
    }
    result.width = int(image.width);
    result.height = int(image.height);
    result.pixels = std::move(pixels);
    return true;
}

void flipRows(std::span<uint8_t> pixels, int width, int height, int bytesPerPixel) {
    if (width <= 0 || height <= 1 || bytesPerPixel <= 0) return;
    const size_t rowBytes = size_t(width) * size_t(bytesPerPixel);
    if (pixels.size() < rowBytes * size_t(height)) return;
    for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom)
        std::swap_ranges(pixels.begin() + ptrdiff_t(top * rowBytes),
                         pixels.begin() + ptrdiff_t((top + 1) * rowBytes),
                         pixels.begin() + ptrdiff_t(bottom * rowBytes));
}

}  // namespace orvo
