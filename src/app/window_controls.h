#pragma once
// The child controls of the main window: the 54 controls made from the
// parameter objects of the settings (check boxes, drop-down lists, push
// buttons and the destination field), the painting of the owner-drawn check
// boxes, their rescaling to a new DPI, the controls font, the folder picker,
// and the moving of texts between a control and its parameter by control id.
// The labels beside the controls are painted by the window (window_paint.h).
// GUI thread unless said otherwise.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/window/window.h"
#include "services/gui.h"
#include "settings/parameters.h"

// The fixed sizes of the controls at 96 DPI.
inline constexpr int kCheckBoxSize = 14;
inline constexpr int kButtonWidth = 80;
inline constexpr int kButtonHeight = 26;
inline constexpr int kDestinationWidth = 70;
inline constexpr int kDestinationHeight = 28;

// The value a parameter object keeps as its control's handle once the control
// exists: the window layer addresses controls by id, so the id stands in.
WindowHandle gf_controlHandleOf(ControlId id);

// Creates the check box of a GUI flag at (x, row + offset), 14 x 14, owner-
// drawn by lf_paintCheckBox; checks it from the flag's value and enables it.
// False when the window refused it (the handle then stays empty).
bool gf_createCheckBox(GuiBoolParameter& parameter, WindowHandle parent);
// Creates the drop-down list of an option with its width and (open) height;
// sets the controls font on it (the painting font while there is none) and
// records a height of at least 1 as its base height in the Gui.
bool gf_createComboBox(GuiControl& option, WindowHandle parent, int width, int height, Gui& gui);
// Creates a push button captioned with the button's key.
bool gf_createButton(GuiButton& button, WindowHandle parent, int width, int height, Gui& gui);

// Paints one check box in its own pixels: the settings band's light blue
// around a white (enabled) or light grey (disabled) box and, when checked, a
// tick whose pen width follows the window DPI.
void lf_paintCheckBox(Painter& painter, const OwnerDrawState& state);

// Creates the 54 controls in their order; then repaints the settings band,
// clears the current airport and posts SetCompact with the value of COLLAPSED.
// Every control that was made is appended to gui.expandedOnlyControls.
void lf_createControls(WindowHandle window, Gui& gui = gf_gui());

// Moves and sizes every control from the old DPI to the new one; a drop-down
// list takes its height from its base height. Nothing when there is no
// window, the old DPI is 0 or both are equal.
void gf_rescaleChildren(unsigned oldDpi, unsigned newDpi, Gui& gui = gf_gui());
// Makes the controls font for the DPI and sets it on every control; nothing
// changes when the font cannot be made.
void gf_setControlsFont(unsigned dpi, Gui& gui = gf_gui());

// The folder the user chose, or nothing when cancelled or on any failure.
// The folder is given without trailing separators (a picker gives one after
// a folder the user went into), so that its last part is its name; a root
// stays what it is.
std::optional<std::filesystem::path> gf_pickFolder(WindowHandle owner, const std::filesystem::path& initialFolder);

// The control's text; empty (and a log line) when there is no such control.
std::string lf_getTextFromId(ControlId id);
// Shows the parameter's value in its control and repaints the settings band.
void gf_showIntParameterValue(const IntParameter& parameter, Gui& gui = gf_gui());
void gf_showStringParameterValue(const StringParameter& parameter, Gui& gui = gf_gui());
