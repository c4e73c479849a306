#include "app/window_controls.h"

#include <algorithm>
#include <exception>
#include <vector>

#include <fmt/format.h>

#include "airports/current_airport.h"
#include "app/window_paint.h"
#include "foundation/log.h"
#include "foundation/text.h"

namespace {

constexpr Rgb kBoxOutline{96, 96, 96};
constexpr Rgb kBoxFill{255, 255, 255};
constexpr Rgb kBoxOutlineDisabled{160, 160, 160};
constexpr Rgb kBoxFillDisabled{240, 240, 240};
constexpr Rgb kTick{0, 0, 0};
constexpr Rgb kTickDisabled{128, 128, 128};

// The DPI of the font a new control gets: the controls font, or the normal
// painting font (made for 96 DPI) while there is none yet.
unsigned lf_newControlFontDpi(const Gui& gui) { return gui.controlsFontDpi.value_or(96); }

ControlSpec lf_specAt(const GuiControl& control, ControlKind kind, int width, int height) {
    ControlSpec setup;
    setup.kind = kind;
    setup.id = control.controlId;
    setup.x = control.x;
    setup.y = control.y + control.yOffset;
    setup.width = width;
    setup.height = height;
    return setup;
}

bool lf_create(GuiControl& control, WindowHandle parent, const ControlSpec& setup) {
    if (!gf_createControl(parent, setup)) return false;
    control.windowHandle.store(gf_controlHandleOf(setup.id), std::memory_order_release);
    return true;
}

bool lf_createDestinationEdit(WindowHandle parent, Gui& gui) {
    ControlSpec setup = lf_specAt(DESTINATION, ControlKind::Edit, kDestinationWidth, kDestinationHeight);
    // Disabled until the start-up enables the controls that apply; the stored
    // destination is shown only when asked for.
    setup.enabled = false;
    setup.background = kFillLightBlue;
    setup.fontDpi = lf_newControlFontDpi(gui);
    return lf_create(DESTINATION, parent, setup);
}

// One row of the creation table.
struct ControlRow {
    enum class Kind : std::uint8_t { CheckBox, Combo, Button, Destination };
    Kind kind;
    GuiControl* control;
    int width = 0;   // combo boxes
    int height = 0;  // combo boxes: the height with the list open
};

// The 54 controls in creation order (the z-order, hence the tab order).
const std::vector<ControlRow>& lf_controlRows() {
    using K = ControlRow::Kind;
    static const std::vector<ControlRow> rows{
        {K::Button, &TbloButton},
        {K::CheckBox, &SKIP_AIRPORT_SCAN},
        {K::CheckBox, &SKIP_LIVERIES_SCAN},
        {K::CheckBox, &LIG_PRIORITIZE},
        {K::CheckBox, &LIG_AUTOMATIC},
        {K::Combo, &AI_PACKAGE_SELECTOR, 200, 300},
        {K::Combo, &RT_CHOISE, 110, 80},
        {K::Combo, &QNH_UNIT, 110, 80},
        {K::Combo, &SIM_CHOICE, 110, 80},
        {K::Combo, &ALL_AIR_GND_SELECTOR, 135, 200},
        {K::Button, &AircraftButton},
        {K::Combo, &AIRCRAFT_SELECTOR, 400, 300},
        {K::Button, &BlockButton},
        {K::Button, &UnblockButton},
        {K::CheckBox, &COLLISION_USER_GND},
        {K::CheckBox, &COLLISION_USER_AIR},
        {K::Combo, &RANGE, 70, 200},
        {K::CheckBox, &AUTO_RANGE},
        {K::Combo, &MAX_LIVE_SEL, 70, 144},
        {K::Combo, &HOLDING_THRESHOLD_METERS, 70, 200},
        {K::Combo, &MAX_HOLDING_MINUTES, 70, 200},
        {K::CheckBox, &TWO_PROPS},
        {K::CheckBox, &LIGHT_AIRCRAFT},
        {K::CheckBox, &HELICOPTERS},
        {K::CheckBox, &HIGH_PERF_AIRCRAFT},
        {K::Combo, &MATCHING_DEPTH, 70, 120},
        {K::Combo, &TCAS_FL, 70, 200},
        {K::Combo, &PARKING_INTERVAL_MINUTES, 70, 200},
        {K::Destination, &DESTINATION},
        {K::Combo, &STAND_SELECTOR, 170, 300},
        {K::Combo, &AIRP_RANGE, 70, 144},
        {K::Combo, &AIRP_HEIGHT, 90, 230},
        {K::CheckBox, &RT_PARKTRAFFIC_ONLY},
        {K::Combo, &MAX_FIT_FL, 70, 300},
        {K::Combo, &MAX_PARK_SEL, 70, 144},
        {K::Combo, &parking_percentage, 70, 200},
        {K::CheckBox, &AUTO_PARK},
        {K::CheckBox, &WEEK},
        {K::CheckBox, &PARK_SOFT},
        {K::Button, &ParkButton},
        {K::Button, &FlushButton},
        {K::CheckBox, &RANDOM},
        {K::CheckBox, &ALWAYS_ON_TOP},
        {K::CheckBox, &FLIGHT_MESSAGES},
        {K::CheckBox, &AEROWINX},
        {K::CheckBox, &GUID_CHANGES},
        {K::CheckBox, &OBJECTID_LIST},
        {K::CheckBox, &NAV_LIGHTS_WHILE_PARKED},
        {K::Combo, &TIME_SHIFT_DAYS, 70, 200},
        {K::Button, &SetButton},
        {K::CheckBox, &SIM_TIME},
        {K::Combo, &TIME_SHIFT_HOURS, 70, 200},
        {K::CheckBox, &KEEP_SIM_TIME_PAR},
        {K::Combo, &TIME_SHIFT_MINS, 70, 300},
    };
    return rows;
}

void lf_logMissingControl(ControlId id) { gf_logNoThrow(fmt::format("GetDlgItem failed for ID {}", id)); }

// Sets a control's text from UTF-8 and repaints the settings band.
void lf_showValueText(ControlId id, const std::string& text, Gui& gui) {
    if (!gf_controlExists(id)) {
        lf_logMissingControl(id);
        return;
    }
    try {
        (void)utf8_to_wide(text);
    } catch (const std::exception& e) {
        gf_logNoThrow(fmt::format("utf8_to_wide failed for '{}': {}", text, e.what()));
        return;
    }
    gf_setControlText(id, text);
    gui.enqueue(GuiUpdate::repaint(kRepaintSettings));
}

}  // namespace

WindowHandle gf_controlHandleOf(ControlId id) { return static_cast<WindowHandle>(id); }

void lf_paintCheckBox(Painter& painter, const OwnerDrawState& state) {
    const int w = state.width;
    const int h = state.height;
    const PixelRect client{0, 0, w, h};
    painter.fillRect(client, kFillLightBlue);
    painter.fillRect(client, state.enabled ? kBoxFill : kBoxFillDisabled);
    painter.outlineRect(client, state.enabled ? kBoxOutline : kBoxOutlineDisabled);
    if (!state.checked) return;
    painter.setLineWidth(std::max(gf_mulDiv(2, static_cast<int>(state.dpi), 96), 1));
    const Rgb tick = state.enabled ? kTick : kTickDisabled;
    painter.line(w / 5, h / 2, 2 * w / 5, 3 * h / 4, tick);
    painter.line(2 * w / 5, 3 * h / 4, 4 * w / 5, h / 4, tick);
}

bool gf_createCheckBox(GuiBoolParameter& parameter, WindowHandle parent) {
    ControlSpec setup = lf_specAt(parameter, ControlKind::CheckBox, kCheckBoxSize, kCheckBoxSize);
    setup.paint = lf_paintCheckBox;
    if (!lf_create(parameter, parent, setup)) return false;
    gf_setControlCheck(parameter.controlId, parameter.value());
    gf_enableControl(parameter.controlId, true);
    return true;
}

bool gf_createComboBox(GuiControl& option, WindowHandle parent, int width, int height, Gui& gui) {
    ControlSpec setup = lf_specAt(option, ControlKind::ComboBox, width, height);
    setup.fontDpi = lf_newControlFontDpi(gui);
    if (!lf_create(option, parent, setup)) return false;
    if (height >= 1) gui.baseHeights[option.controlId] = height;
    return true;
}

bool gf_createButton(GuiButton& button, WindowHandle parent, int width, int height, Gui& gui) {
    ControlSpec setup = lf_specAt(button, ControlKind::Button, width, height);
    setup.text = button.name;
    setup.fontDpi = lf_newControlFontDpi(gui);
    return lf_create(button, parent, setup);
}

void lf_createControls(WindowHandle window, Gui& gui) {
    using K = ControlRow::Kind;
    for (const ControlRow& row : lf_controlRows()) {
        bool made = false;
        switch (row.kind) {
            case K::CheckBox:
                made = gf_createCheckBox(static_cast<GuiBoolParameter&>(*row.control), window);
                break;
            case K::Combo:
                made = gf_createComboBox(*row.control, window, row.width, row.height, gui);
                break;
            case K::Button:
                made = gf_createButton(static_cast<GuiButton&>(*row.control), window, kButtonWidth, kButtonHeight, gui);
                break;
            case K::Destination:
                made = lf_createDestinationEdit(window, gui);
                break;
        }
        // A control the window refused stays out of the list; calls on its id
        // find no control and log that.
        if (made) gui.expandedOnlyControls.push_back(row.control->controlId);
    }
    gui.enqueue(GuiUpdate::repaint(kRepaintSettings));
    gf_clearCurrentAirport();
    gui.enqueue(GuiUpdate::setCompact(COLLAPSED.value()));
}

void gf_rescaleChildren(unsigned oldDpi, unsigned newDpi, Gui& gui) {
    if (gui.window.load() == WindowHandle::None || oldDpi == 0 || oldDpi == newDpi) return;
    const int o = static_cast<int>(oldDpi);
    const int n = static_cast<int>(newDpi);
    for (ControlId id : gf_controlIds()) {
        const auto bounds = gf_controlBounds(id);
        if (!bounds) continue;
        const int left = gf_mulDiv(bounds->left, n, o);
        const int top = gf_mulDiv(bounds->top, n, o);
        const int width = gf_mulDiv(bounds->width(), n, o);
        // A drop-down list's current height is its closed height; its open
        // height scales from the one it was created with.
        const auto base = gui.baseHeights.find(id);
        const int height = base != gui.baseHeights.end() ? gf_mulDiv(base->second, n, 96)
                                                         : gf_mulDiv(bounds->height(), n, o);
        gf_setControlBounds(id, PixelRect{left, top, left + width, top + height});
    }
}

void gf_setControlsFont(unsigned dpi, Gui& gui) {
    const auto font = gf_makeGuiFont(false, dpi);
    if (!font) return;
    gui.controlsFontDpi = font->dpi;
    for (ControlId id : gf_controlIds()) gf_setControlFont(id, font->dpi);
}

std::optional<std::filesystem::path> gf_pickFolder(WindowHandle owner, const std::filesystem::path& initialFolder) {
    try {
        const auto chosen = gf_showFolderPicker(owner, initialFolder);
        if (!chosen || chosen->empty()) return std::nullopt;
        std::string text = chosen->string();
        const std::size_t end = text.find_last_not_of("\\/");
        if (end != std::string::npos) text.erase(end + 1);
        return std::filesystem::path(text);
    } catch (...) {
        return std::nullopt;
    }
}

std::string lf_getTextFromId(ControlId id) {
    const auto text = gf_controlText(id);
    if (!text) {
        gf_logNoThrow(fmt::format("{}: GetDlgItem failed for ID {}", "lf_getTextFromId", id));
        return {};
    }
    // The layer hands texts over as UTF-8 already; one that is not valid is
    // refused as the conversion of the control's wide text would refuse it.
    try {
        (void)utf8_to_wide(*text);
    } catch (const std::exception& e) {
        try {
            gf_logError(fmt::format("{}: UTF-16 to UTF-8 failed for ID {}: {}", "lf_getTextFromId", id, e.what()));
        } catch (...) {
        }
        return {};
    }
    return *text;
}

void gf_showIntParameterValue(const IntParameter& parameter, Gui& gui) {
    const auto* control = dynamic_cast<const GuiControl*>(&parameter);
    if (control == nullptr) {
        lf_logMissingControl(0);
        return;
    }
    lf_showValueText(control->controlId, fmt::format("{}", parameter.value()), gui);
}

void gf_showStringParameterValue(const StringParameter& parameter, Gui& gui) {
    const auto* control = dynamic_cast<const GuiControl*>(&parameter);
    if (control == nullptr) {
        lf_logMissingControl(0);
        return;
    }
    lf_showValueText(control->controlId, parameter.value(), gui);
}
