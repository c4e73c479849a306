#include "platform/window/fltk_x11.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <cstdlib>
#include <memory>

bool gf_fltkOpenDisplay() {
    if (fl_display != nullptr) return true;
    // FLTK's own opening ends the process when there is no display; opened
    // here first, a missing display is an answer instead.
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;
    fl_open_display(display);
    return true;
}

void gf_fltkCloseDisplay() {
    if (fl_display == nullptr) return;
    fl_close_display();
    // FLTK leaves its pointer to the closed display behind.
    fl_display = nullptr;
}

std::optional<unsigned> gf_fltkScreenDpiSetting() {
    if (fl_display == nullptr) return std::nullopt;
    const char* value = XGetDefault(fl_display, "Xft", "dpi");
    if (value == nullptr) return std::nullopt;
    char* end = nullptr;
    const double dpi = std::strtod(value, &end);
    if (end == value || !(dpi >= 48.0 && dpi <= 480.0)) return std::nullopt;
    return static_cast<unsigned>(dpi + 0.5);
}

void gf_fltkSetAbove(Fl_Window* window, bool above) {
    if (window == nullptr || !window->shown() || fl_display == nullptr) return;
    // The window manager's protocol: a client message to the root window
    // that adds or removes the state.
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = fl_xid(window);
    event.xclient.message_type = XInternAtom(fl_display, "_NET_WM_STATE", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = above ? 1 : 0;  // add : remove
    event.xclient.data.l[1] = static_cast<long>(XInternAtom(fl_display, "_NET_WM_STATE_ABOVE", False));
    event.xclient.data.l[2] = 0;
    event.xclient.data.l[3] = 1;  // asked for by a normal application
    XSendEvent(fl_display, RootWindow(fl_display, fl_screen), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(fl_display);
}

void gf_fltkSync() {
    if (fl_display != nullptr) XSync(fl_display, False);
}

FltkOffscreen::FltkOffscreen(int width, int height)
    : m_width(width), m_height(height), m_pixmap(fl_create_offscreen(width, height)) {}

FltkOffscreen::~FltkOffscreen() { fl_delete_offscreen(m_pixmap); }

void FltkOffscreen::draw(const std::function<void()>& draw) {
    fl_begin_offscreen(m_pixmap);
    draw();
    fl_end_offscreen();
}

std::vector<Rgb> FltkOffscreen::pixels() {
    std::vector<Rgb> out;
    draw([&] { out = gf_fltkReadPixels(0, 0, m_width, m_height); });
    return out;
}

std::vector<Rgb> gf_fltkReadPixels(int x, int y, int width, int height) {
    std::vector<Rgb> out;
    if (width <= 0 || height <= 0) return out;
    std::unique_ptr<uchar[]> data(fl_read_image(nullptr, x, y, width, height));
    if (!data) return out;
    out.reserve(static_cast<std::size_t>(width) * height);
    for (std::size_t i = 0; i < static_cast<std::size_t>(width) * height; ++i) {
        out.push_back(Rgb{data[3 * i], data[3 * i + 1], data[3 * i + 2]});
    }
    return out;
}

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAVO_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(TAVO_ADDRESS_SANITIZER)
// fontconfig, under FLTK's fonts, keeps what it reads for the life of the
// process and frees none of it; the leak checker of the sanitizer builds is
// told so.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif
