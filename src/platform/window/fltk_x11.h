#pragma once
// The few calls of the FLTK backend that go to X11 itself. They stand in a
// file of their own because Xlib's macros (None, Bool, Status, True) would
// change the meaning of the program's own names elsewhere. FLTK thread only.

#include <functional>
#include <optional>
#include <vector>

#include "platform/window/window.h"

class Fl_Window;

// Opens the display named by DISPLAY and hands it to FLTK; true when FLTK
// has a display (also when it was open already). False, with FLTK untouched,
// when no display can be opened.
bool gf_fltkOpenDisplay();
// Closes FLTK's display; a later gf_fltkOpenDisplay opens a new one.
void gf_fltkCloseDisplay();
// The screen's Xft.dpi setting, when it has a usable one (48 to 480).
std::optional<unsigned> gf_fltkScreenDpiSetting();
// Asks the window manager to keep a shown window above the others (its
// "above" state), or no longer to.
void gf_fltkSetAbove(Fl_Window* window, bool above);
// Waits until the display has carried out every request sent so far.
void gf_fltkSync();

// A pixmap of the display's depth that FLTK can draw into.
class FltkOffscreen {
public:
    FltkOffscreen(int width, int height);
    ~FltkOffscreen();
    FltkOffscreen(const FltkOffscreen&) = delete;
    FltkOffscreen& operator=(const FltkOffscreen&) = delete;
    // Runs draw with FLTK's drawing directed into the pixmap.
    void draw(const std::function<void()>& draw);
    // The pixmap's pixels, rows top to bottom.
    std::vector<Rgb> pixels();
    int width() const { return m_width; }
    int height() const { return m_height; }

private:
    int m_width;
    int m_height;
    unsigned long m_pixmap;
};

// Reads a rectangle of FLTK's current drawing surface, rows top to bottom.
std::vector<Rgb> gf_fltkReadPixels(int x, int y, int width, int height);
