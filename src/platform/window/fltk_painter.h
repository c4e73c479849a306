#pragma once
// Drawing through FLTK: a Painter that maps layout units onto a client area
// of pixels itself (FLTK 1.3 draws in pixels only and has no transform), and
// the fonts and literal labels the FLTK backend uses. Everything here draws
// into FLTK's current surface (a window inside its draw, or an offscreen
// pixmap between fl_begin_offscreen and fl_end_offscreen) and so runs on the
// FLTK thread only, with the display open.

#include <string>
#include <string_view>

#include "platform/window/window.h"

// The text font of the window at 96 DPI, in pixels of em height. The layout
// places its texts for a narrow sans of 16 pixels; DejaVu Sans is about a
// fifth wider, so its condensed face at 13 pixels is used: at that size every
// label of the window ends before the control, text or edge that follows it.
inline constexpr int kFltkTextPixels96 = 13;
inline constexpr const char* kFltkFontFace = "DejaVu Sans Condensed";

// Registers the window's font faces (normal and bold) and the literal label
// types with FLTK; idempotent. Needs the display open.
void gf_fltkRegisterFonts();
// The FLTK font numbers of the window's normal and bold face.
int gf_fltkFont(bool bold);

// FLTK reads '&' in a label as the mark of a keyboard shortcut. A label that
// is shown as it stands has every '&' doubled; the literal label types draw
// a doubled one once.
std::string gf_fltkLiteralLabel(std::string_view text);
// The label types that draw a label's text exactly as it stands (after the
// doubled '&'), without FLTK's symbols ('@') or shortcut marks: one line
// aligned as the widget says, or wrapped at blanks within the label's width.
int gf_fltkLiteralLabelType();
int gf_fltkWrappedLabelType();
// The height in pixels of a text wrapped as the wrapped label type wraps it
// at a width, in the window's normal face at a pixel size.
int gf_fltkWrappedTextHeight(std::string_view text, int width, int pixels);

class FltkPainter final : public Painter {
public:
    // Draws onto a client area of clientWidth x clientHeight pixels whose top
    // left lies at (originX, originY) of the current surface. Until
    // setLayout, one layout unit is one pixel.
    FltkPainter(int clientWidth, int clientHeight, int originX = 0, int originY = 0);
    ~FltkPainter() override;
    FltkPainter(const FltkPainter&) = delete;
    FltkPainter& operator=(const FltkPainter&) = delete;

    void setLayout(int layoutWidth, int layoutHeight) override;
    void setLineWidth(int pixels) override;
    void fillRect(const LayoutRect& rect, Rgb colour) override;
    void outlineRect(const LayoutRect& rect, Rgb colour) override;
    void line(int x1, int y1, int x2, int y2, Rgb colour) override;
    void text(int x, int y, std::string_view utf8, Rgb colour, bool bold) override;

    // The text's width in pixels as text() draws it at the current layout.
    int textWidth(std::string_view utf8, bool bold) const;
    // The pixel size of the text font at the current layout.
    int textPixels() const;
    // A layout coordinate (or rectangle) in pixels of the surface.
    int pixelX(int x) const;
    int pixelY(int y) const;
    PixelRect pixelRect(const LayoutRect& rect) const;

private:
    int m_clientWidth;
    int m_clientHeight;
    int m_originX;
    int m_originY;
    int m_layoutWidth;
    int m_layoutHeight;
};
