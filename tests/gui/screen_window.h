#pragma once
// Top-level windows as the X server shows them (any process's), looked at
// through a connection of the test's own: the screen a user sees.

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/window/window.h"

// After the program's headers: Xlib's macros (None among them) would replace
// the program's own names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#undef None

namespace tavo::test {

// A window's size and pixels, rows top to bottom.
struct ScreenImage {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels;
    Rgb at(int x, int y) const { return pixels.at(static_cast<std::size_t>(y) * width + x); }
    // Pixels darker than 64 in every channel inside the rectangle.
    int dark(const PixelRect& r) const {
        int count = 0;
        for (int y = std::max(0, r.top); y < std::min(height, r.bottom); ++y)
            for (int x = std::max(0, r.left); x < std::min(width, r.right); ++x) {
                const Rgb c = at(x, y);
                count += c.r < 64 && c.g < 64 && c.b < 64 ? 1 : 0;
            }
        return count;
    }
    int differentFrom(const PixelRect& r, Rgb background) const {
        int count = 0;
        for (int y = std::max(0, r.top); y < std::min(height, r.bottom); ++y)
            for (int x = std::max(0, r.left); x < std::min(width, r.right); ++x) count += at(x, y) == background ? 0 : 1;
        return count;
    }
};

// The shown top-level window of that title with its pixels (none asked for:
// its size alone); nothing when no such window is shown. Any thread.
inline std::optional<ScreenImage> gf_readScreenWindow(const char* title, bool pixels = true) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return std::nullopt;
    std::optional<ScreenImage> out;
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) != 0) {
        for (unsigned i = 0; i < count && !out; ++i) {
            char* name = nullptr;
            XWindowAttributes attributes{};
            if (XFetchName(display, children[i], &name) == 0) continue;
            const bool match = std::string(name) == title;
            XFree(name);
            if (!match || XGetWindowAttributes(display, children[i], &attributes) == 0 ||
                attributes.map_state != IsViewable)
                continue;
            if (!pixels) {
                out = ScreenImage{attributes.width, attributes.height, {}};
                continue;
            }
            XImage* image = XGetImage(display, children[i], 0, 0, static_cast<unsigned>(attributes.width),
                                      static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
            if (image == nullptr) continue;
            ScreenImage s;
            s.width = attributes.width;
            s.height = attributes.height;
            s.pixels.reserve(static_cast<std::size_t>(s.width) * s.height);
            for (int y = 0; y < s.height; ++y)
                for (int x = 0; x < s.width; ++x) {
                    const unsigned long p = XGetPixel(image, x, y);
                    s.pixels.push_back(Rgb{static_cast<std::uint8_t>((p >> 16) & 0xFF),
                                           static_cast<std::uint8_t>((p >> 8) & 0xFF), static_cast<std::uint8_t>(p & 0xFF)});
                }
            XDestroyImage(image);
            out = std::move(s);
        }
        if (children != nullptr) XFree(children);
    }
    XCloseDisplay(display);
    return out;
}

}  // namespace tavo::test
