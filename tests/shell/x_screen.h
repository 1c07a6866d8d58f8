// Reads what the X server shows: a rectangle of the root window as RGB pixels. With no
// compositor (Xvfb) the root window holds exactly the picture on screen.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace orvo {

struct ScreenImage {
    int x0 = 0, y0 = 0, width = 0, height = 0;
    std::vector<std::array<uint8_t, 3>> rgb;  // rows top-down

    const std::array<uint8_t, 3>& at(int x, int y) const {
        return rgb[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
    }
};

/// The rectangle (x, y, width, height) of the screen, clipped to it; false without a display.
inline bool captureScreen(int x, int y, int width, int height, ScreenImage& image) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;
    const Window root = DefaultRootWindow(display);
    XWindowAttributes attributes;
    XGetWindowAttributes(display, root, &attributes);
    if (x < 0) width += x, x = 0;
    if (y < 0) height += y, y = 0;
    width = std::min(width, attributes.width - x);
    height = std::min(height, attributes.height - y);
    XSync(display, False);
    XImage* shot = width <= 0 || height <= 0
                       ? nullptr
                       : XGetImage(display, root, x, y, static_cast<unsigned>(width),
                                   static_cast<unsigned>(height), AllPlanes, ZPixmap);
    const bool captured = shot != nullptr;
    if (captured) {
        image = {x, y, width, height, {}};
        for (int row = 0; row < height; ++row) {
            for (int col = 0; col < width; ++col) {
                const unsigned long p = XGetPixel(shot, col, row);
                const auto channel = [p](unsigned long mask) {
                    return static_cast<uint8_t>((p & mask) >> __builtin_ctzl(mask));
                };
                image.rgb.push_back(
                    {channel(shot->red_mask), channel(shot->green_mask), channel(shot->blue_mask)});
            }
        }
        XDestroyImage(shot);
    }
    XCloseDisplay(display);
    return captured;
}

}  // namespace orvo
