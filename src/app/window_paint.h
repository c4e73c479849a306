#pragma once
// Painting of the main window: the header, the status band with its two lamps,
// the settings band's headings and labels, the parking band and the bottom
// line. Everything is drawn in the 900-unit layout at 96 DPI, which the painter
// maps onto the client area; painting reads only the fields of Gui, the
// settings snapshot and a few flags of the traffic source, the simulator link
// and the parked-traffic planner. GUI thread.

#include <string_view>

#include "platform/window/window.h"
#include "services/gui.h"

// Text colours of the window.
inline constexpr Rgb kTextGreen{50, 210, 50};
inline constexpr Rgb kTextYellow{255, 255, 0};
inline constexpr Rgb kTextRed{255, 0, 0};
inline constexpr Rgb kTextWhite{255, 255, 255};
inline constexpr Rgb kTextBlack{0, 0, 0};
inline constexpr Rgb kTextGrey{160, 160, 160};
// Fill colours (the brushes of the window).
inline constexpr Rgb kFillLightBlue{153, 204, 255};
inline constexpr Rgb kFillDarkGreen{25, 150, 25};

// The Expand/Compact box in layout units; its device-pixel rectangle is stored
// in Gui::expandBox at every paint for the click test.
inline constexpr PixelRect kExpandBox{765, 4, 855, 30};

// The header's copyright line.
inline constexpr std::string_view kCopyrightLine = "(c) 2026 the TAVO developers";

// Paints the whole client area for the current mode; stores the Expand/Compact
// box in device pixels.
void lf_paintMainWindow(Painter& painter, Gui& gui);
// The lamps and texts of the status band.
void lf_paintStatusBand(Painter& painter, const Gui& gui);
// The parking band (expanded, or compact with a park airport).
void lf_paintParkingBand(Painter& painter, const Gui& gui);
// The settings band's headings and labels, coloured by the state of their
// settings (expanded only).
void lf_paintSettingsLabels(Painter& painter, const Gui& gui);

// Draws a UTF-8 text with its top-left at (x, y - 3) in the normal or bold
// painting font. A text that is not valid UTF-8 is logged ("TextOut utf8 to
// wide failed for '{}': {}") and not drawn.
void gf_drawText(Painter& painter, int x, int y, std::string_view utf8, Rgb colour, bool bold = false);

// A font of the layer: the sans font of 12 points for a DPI, normal or bold;
// height is the negative character height in pixels (12 x DPI / 72, rounded).
struct GuiFont {
    bool bold = false;
    unsigned dpi = 96;
    int height = -16;
};
// Nothing for DPI 0 (no font can be made for it).
std::optional<GuiFont> gf_makeGuiFont(bool bold, unsigned dpi);
