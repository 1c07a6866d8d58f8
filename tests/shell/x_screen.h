// Reads what the X server shows: a rectangle of the root window as RGB pixels. With no
// compositor (Xvfb) the root window holds exactly the picture on screen.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

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
    if (x + width > attributes.width) width = attributes.width - x;
    if (y + height > attributes.height) height = attributes.height - y;
    if (width <= 0 || height <= 0) {
        XCloseDisplay(display);
        return false;
    }
    XSync(display, False);
    XImage* shot = XGetImage(display, root, x, y, static_cast<unsigned>(width),
                             static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (shot == nullptr) {
        XCloseDisplay(display);
        return false;
    }
    image.x0 = x;
    image.y0 = y;
    image.width = width;
    image.height = height;
    image.rgb.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int row = 0; row < height; ++row) {
        for (int col = 0; col < width; ++col) {
            const unsigned long p = XGetPixel(shot, col, row);
            image.rgb[static_cast<size_t>(row) * static_cast<size_t>(width) +
                      static_cast<size_t>(col)] = {
                static_cast<uint8_t>((p & shot->red_mask) >> __builtin_ctzl(shot->red_mask)),
                static_cast<uint8_t>((p & shot->green_mask) >> __builtin_ctzl(shot->green_mask)),
                static_cast<uint8_t>((p & shot->blue_mask) >> __builtin_ctzl(shot->blue_mask))};
        }
    }
    XDestroyImage(shot);
    XCloseDisplay(display);
    return true;
}

}  // namespace orvo
