#include "app/window_paint.h"

#include <exception>
#include <functional>
#include <string>

#include <fmt/format.h>

#include "airports/current_airport.h"
#include "airports/parking_state.h"
#include "feed/feed_state.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/version.h"
#include "settings/parameters.h"
#include "settings/snapshot.h"
#include "simlink/sim_link.h"

namespace {

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kYellow{255, 255, 0};

// Above the status band (the Gui's header band) lies the header line itself.
constexpr PixelRect kHeaderRect{0, 0, 900, 32};

// hPa to inHg.
constexpr double kInHgPerHpa = 0.029528744564459433;

// The simulator link counts as connected while it is stopped or running a flight.
bool lf_simConnected() {
    const auto state = g_simState.load();
    return state == SIM_STOPPED || state == SIM_RUNNING;
}

// A scan count: green with its number, or yellow with "..." while it is 0.
void lf_drawCount(Painter& painter, int x, std::string_view label, std::uint64_t count) {
    if (count == 0) {
        gf_drawText(painter, x, 71, fmt::format("{}...", label), kTextYellow);
    } else {
        gf_drawText(painter, x, 71, fmt::format("{}{}", label, count), kTextGreen);
    }
}

// One painted label of the settings band: a control's own label at its place,
// or a row caption; its colour decided from the snapshot taken for the paint.
struct LabelEntry {
    const GuiControl* control = nullptr;          // the label at the control's label position
    const SettingsBandText* caption = nullptr;    // or a caption of its own
    std::function<Rgb(const SettingsSnapshot&, const Gui&)> colour;  // null: black
    bool bold = false;
};

Rgb lf_timeShiftColour(const Gui& gui, bool yellow) {
    if (!gui.settingsLabelsActive) return kTextGrey;
    return yellow ? kTextYellow : kTextBlack;
}

// The labels of the settings band in drawing order, section by section.
const std::vector<LabelEntry>& lf_labelEntries() {
    using S = const SettingsSnapshot&;
    using G = const Gui&;
    static const std::vector<LabelEntry> entries = [] {
        const auto& captions = settingsRowCaptions;  // airports, liveries, radius, taxiing, include
        std::vector<LabelEntry> e;
        // Data sources
        e.push_back({nullptr, &captions[0], nullptr});
        e.push_back({&SKIP_AIRPORT_SCAN, nullptr, nullptr});
        e.push_back({nullptr, &captions[1], nullptr});
        e.push_back({&SKIP_LIVERIES_SCAN, nullptr, nullptr});
        e.push_back({&LIG_PRIORITIZE, nullptr, nullptr});
        e.push_back({&LIG_AUTOMATIC, nullptr, nullptr});
        // Collision avoidance
        e.push_back({&COLLISION_USER_GND, nullptr, nullptr});
        e.push_back({&COLLISION_USER_AIR, nullptr, nullptr});
        // Misc: a switch left in an unusual state shows yellow.
        e.push_back({&RANDOM, nullptr, [](S s, G) { return s.RANDOM ? kTextBlack : kTextYellow; }});
        e.push_back({&ALWAYS_ON_TOP, nullptr, nullptr});
        e.push_back({&FLIGHT_MESSAGES, nullptr, nullptr});
        e.push_back({&OBJECTID_LIST, nullptr, [](S s, G) { return s.OBJECTID_LIST > 0 ? kTextYellow : kTextBlack; }});
        e.push_back({&NAV_LIGHTS_WHILE_PARKED, nullptr, nullptr});
        e.push_back({&GUID_CHANGES, nullptr, [](S s, G) { return s.GUID_CHANGES ? kTextBlack : kTextYellow; }});
        // Time shift: grey while the time shift is not available.
        e.push_back({&KEEP_SIM_TIME_PAR, nullptr, [](S, G g) { return lf_timeShiftColour(g, false); }});
        e.push_back({&SIM_TIME, nullptr, [](S, G g) { return lf_timeShiftColour(g, false); }});
        e.push_back({&AEROWINX, nullptr, [](S, G) {
                         if (isRTDirect()) return kTextGrey;
                         return AEROWINX.value() ? kTextYellow : kTextBlack;
                     }});
        e.push_back({&TIME_SHIFT_DAYS, nullptr, [](S s, G g) { return lf_timeShiftColour(g, s.TIME_SHIFT_DAYS > 0); }});
        e.push_back({&TIME_SHIFT_HOURS, nullptr, [](S s, G g) { return lf_timeShiftColour(g, s.TIME_SHIFT_HOURS > 0); }});
        e.push_back({&TIME_SHIFT_MINS, nullptr, [](S s, G g) { return lf_timeShiftColour(g, s.TIME_SHIFT_MINS > 0); }});
        // Traffic injection
        e.push_back({nullptr, &captions[2], nullptr});
        e.push_back({&RANGE, nullptr, nullptr});
        e.push_back({&AUTO_RANGE, nullptr, nullptr});
        // No live aircraft at all is red; none live while parked ones may come, yellow.
        e.push_back({&MAX_LIVE_SEL, nullptr, [](S s, G) {
                         if (s.MAX_PARK_SEL == 0 && s.MAX_LIVE_SEL == 0) return kTextRed;
                         return s.MAX_LIVE_SEL == 0 ? kTextYellow : kTextBlack;
                     }});
        e.push_back({nullptr, &captions[3], nullptr});
        e.push_back({&HOLDING_THRESHOLD_METERS, nullptr, nullptr});
        e.push_back({&MAX_HOLDING_MINUTES, nullptr, nullptr});
        e.push_back({&MATCHING_DEPTH, nullptr, nullptr});
        e.push_back({&TCAS_FL, nullptr, nullptr});
        e.push_back({nullptr, &captions[4], nullptr});
        e.push_back({&TWO_PROPS, nullptr, nullptr});
        e.push_back({&LIGHT_AIRCRAFT, nullptr, nullptr});
        e.push_back({&HELICOPTERS, nullptr, nullptr});
        e.push_back({&HIGH_PERF_AIRCRAFT, nullptr, nullptr});
        // Parking: grey labels mirror the controls the two parking switches disable.
        e.push_back({&PARKING_INTERVAL_MINUTES, nullptr, nullptr, true});
        e.push_back({&RT_PARKTRAFFIC_ONLY, nullptr, nullptr});
        e.push_back({&MAX_FIT_FL, nullptr, [](S s, G) {
                         return (!s.RT_PARKTRAFFIC_ONLY && s.AUTO_PARK) ? kTextGrey : kTextBlack;
                     }});
        e.push_back({&MAX_PARK_SEL, nullptr, [](S s, G) { return s.MAX_PARK_SEL == 0 ? kTextYellow : kTextBlack; }});
        e.push_back({&DESTINATION, nullptr, nullptr});
        e.push_back({&STAND_SELECTOR, nullptr, nullptr});
        e.push_back({&AIRP_RANGE, nullptr, nullptr});
        e.push_back({&AIRP_HEIGHT, nullptr, nullptr});
        e.push_back({&parking_percentage, nullptr, [](S s, G) { return s.RT_PARKTRAFFIC_ONLY ? kTextGrey : kTextBlack; }});
        e.push_back({&AUTO_PARK, nullptr, [](S s, G) { return s.RT_PARKTRAFFIC_ONLY ? kTextGrey : kTextBlack; }});
        e.push_back({&WEEK, nullptr, [](S s, G) {
                         return (s.RT_PARKTRAFFIC_ONLY || s.AUTO_PARK) ? kTextGrey : kTextBlack;
                     }});
        e.push_back({&PARK_SOFT, nullptr, [](S s, G) {
                         return (s.RT_PARKTRAFFIC_ONLY || s.AUTO_PARK) ? kTextGrey : kTextBlack;
                     }});
        return e;
    }();
    return entries;
}

}  // namespace

std::optional<GuiFont> gf_makeGuiFont(bool bold, unsigned dpi) {
    if (dpi == 0) return std::nullopt;
    return GuiFont{bold, dpi, -gf_mulDiv(12, static_cast<int>(dpi), 72)};
}

void gf_drawText(Painter& painter, int x, int y, std::string_view utf8, Rgb colour, bool bold) {
    // The text is checked the way the desktop system's wide-text call would
    // need it converted; a text that cannot be converted is not drawn at all.
    try {
        (void)utf8_to_wide(utf8);
    } catch (const std::exception& e) {
        gf_logNoThrow(fmt::format("TextOut utf8 to wide failed for '{}': {}", utf8, e.what()));
        return;
    }
    painter.text(x, y - 3, utf8, colour, bold);
}

void lf_paintStatusBand(Painter& painter, const Gui& gui) {
    const bool simConnected = lf_simConnected();
    Rgb simTextColour = kTextGreen;
    Rgb simLamp = kRed;
    if (simConnected) {
        simLamp = gui.simulatorReady ? kFillDarkGreen : kYellow;
        simTextColour = gui.simulatorReady ? kTextGreen : kTextYellow;
    }
    painter.fillRect(PixelRect{403, 34, 436, 96}, simLamp);
    if (simConnected) {
        gf_drawText(painter, 5, 39, gui.simulatorName, simTextColour);
        gf_drawText(painter, 222, 39, fmt::format("user stand: {}", gui.userStand), simTextColour);
    } else {
        gf_drawText(painter, 5, 39, "MSFS", kTextGreen);
    }

    lf_drawCount(painter, 5, "# simaddon: ", gui.simaddonCount);
    lf_drawCount(painter, 167, "# thirdp: ", gui.thirdpartyCount);
    if (gui.liveriesCount == 0) {
        gf_drawText(painter, 276, 71, "# liveries: ...", kTextYellow);
    } else {
        gf_drawText(painter, 276, 71, fmt::format("# livs: {}", gui.liveriesCount), kTextGreen);
    }

    const bool rtConnected = g_rtConnected.load();
    Rgb trafficLamp = kBlack;
    if (!gui.trafficSourceNotStarted) {
        if (!rtConnected) {
            trafficLamp = kRed;
        } else {
            trafficLamp = gui.trafficReaderState == kReaderRunning ? kFillDarkGreen : kYellow;
        }
    }
    painter.fillRect(PixelRect{435, 34, 468, 96}, trafficLamp);
    if (rtConnected) {
        gf_drawText(painter, 494, 39, gui.trafficServiceInfo, kTextGreen);
        if (gui.weatherReaderState != kReaderStopped) {
            gf_drawText(painter, 494, 71, "qnh:", gui.weatherReaderState != kReaderRunning ? kTextYellow : kTextGreen);
        }
        if (gui.trafficReaderState != kReaderStopped) {
            gf_drawText(painter, 657, 71, "# live aircraft:",
                        gui.trafficReaderState != kReaderRunning ? kTextYellow : kTextGreen);
        }
    }
    painter.line(435, 33, 435, 96, kBlack);
}

void lf_paintParkingBand(Painter& painter, const Gui& gui) {
    const int row1 = gui.compact ? 103 : 647;
    const int row2 = row1 + 32;
    const int row3 = row2 + 32;
    if (gui.parkAirport.isNone()) {
        if (lf_simConnected()) gf_drawText(painter, 5, row1, "No airport within reach", kTextGreen);
        return;
    }

    gf_drawText(painter, 5, row1, fmt::format("airport: {}", gui.parkAirport),
                gui.parkedTrafficTextFlag ? kTextGreen : kTextYellow);
    if (gui.parkedTrafficTextFlag) {
        gf_drawText(painter, 167, row1,
                    fmt::format(" {}   publisher: {}{},  week: {}", gui.parkedTrafficText, gui.parkAirportText,
                                gui.parkAirportFlag ? " (h)" : "", g_airportDataWeek.load()),
                    kTextGreen);
    }
    if (!gui.userWingspanKnown) gf_drawText(painter, 657, row1, "wingspan user ac unknown?", kTextYellow);

    const bool parkingActive = g_parkingActive.load();
    if (g_generatingParking.load()) {
        gf_drawText(painter, 5, row2, "generating parking ...", kTextYellow);
    } else if (parkingActive && gui.parkingIntervalMinutes >= 1 && gui.parkingIntervalMinutes <= 1440) {
        gf_drawText(painter, 5, row2, "next update (min):", kTextGreen);
        gf_drawText(painter, 167, row2, fmt::format("{}", gui.parkingIntervalMinutes), kTextGreen);
    }
    gf_drawText(painter, 440, row2, fmt::format("qf: {}", gui.airportQualityText), kTextGreen);
    if (parkingActive) {
        if (const auto stand = gf_findParkAirportUserStand(gui.parkAirport)) {
            gf_drawText(painter, 548, row2, fmt::format("reserved stand: {}", *stand), kTextGreen);
        }
    }
    gf_drawText(painter, 765, row2, fmt::format("# updates: {:4}", gui.standOptionUpdates), kTextGreen);

    gf_drawText(painter, 5, row3, fmt::format("# stands: {:3}", gui.standCount), kTextGreen);
    gf_drawText(painter, 167, row3, fmt::format("park live: {:3}", gui.liveParkedCount), kTextGreen);
    if (gui.liveFit > 0.0f) {
        gf_drawText(painter, 276, row3, fmt::format("live fit: {}", gf_formatOneDecimal(gui.liveFit)), kTextGreen);
    }
    if (gui.parkingTargetCount < 1) return;
    gf_drawText(painter, 440, row3, fmt::format("static: {:3}", gui.staticCount), kTextGreen);
    if (gui.staticsWaiting != 0) {
        gf_drawText(painter, 505, row3, fmt::format(" ({})", gui.staticsWaiting), kTextYellow);
    }
    if (!gui.parkedTrafficFlag && gui.staticFit > 0.0f) {
        gf_drawText(painter, 548, row3, fmt::format("static fit: {}", gf_formatOneDecimal(gui.staticFit)), kTextGreen);
    }
    gf_drawText(painter, 657, row3,
                fmt::format("max park: {:3} (={} %)", gui.parkingTargetCount, gui.parkingTargetPercent), kTextGreen);
}

void lf_paintSettingsLabels(Painter& painter, const Gui& gui) {
    const auto settings = settingsSnapshot.load();
    for (const SettingsBandText& heading : settingsSectionHeadings) {
        // The time-shift heading fades with its labels while the time shift
        // cannot be used.
        const bool faded = heading.text == "TIME SHIFT" && !gui.settingsLabelsActive;
        gf_drawText(painter, heading.x, heading.y, heading.text, faded ? kTextGrey : kTextBlack, !faded);
    }
    for (const LabelEntry& entry : lf_labelEntries()) {
        const Rgb colour = entry.colour ? entry.colour(*settings, gui) : kTextBlack;
        if (entry.control != nullptr) {
            gf_drawText(painter, entry.control->labelX, entry.control->y, entry.control->label, colour, entry.bold);
        } else {
            gf_drawText(painter, entry.caption->x, entry.caption->y, entry.caption->text, colour, entry.bold);
        }
    }
}

void lf_paintMainWindow(Painter& painter, Gui& gui) {
    const int layoutHeight = gui.clientLayoutHeight();
    const bool expanded = !gui.compact;
    const bool compactWithPark = gui.compact && !gui.parkAirport.isNone();
    painter.setLayout(900, layoutHeight);

    painter.fillRect(kHeaderRect, kBlack);
    painter.fillRect(kHeaderBand, kBlack);
    if (expanded) {
        painter.fillRect(kSettingsBand, kFillLightBlue);
        painter.fillRect(kParkingExpanded, kBlack);
    } else if (compactWithPark) {
        painter.fillRect(kParkingCompact, kBlack);
    }
    const PixelRect bottom =
        expanded ? kBottomExpanded : (compactWithPark ? kBottomCompactPark : kBottomCompact);
    painter.fillRect(bottom, kFillDarkGreen);

    painter.line(0, 32, 900, 32, kWhite);
    if (expanded) {
        painter.line(0, 97, 900, 97, kWhite);
        painter.line(0, 200, 900, 200, kBlack);
        painter.line(0, 336, 900, 336, kBlack);
        painter.line(0, 504, 647, 504, kBlack);
        painter.line(647, 464, 900, 464, kBlack);
        painter.line(647, 96, 647, 504, kBlack);
    }

    gf_drawText(painter, 3, 7, fmt::format("Version {}", g_programVersion), kTextGreen);
    gf_drawText(painter, 415, 7, "TAVO", kTextGreen);
    gf_drawText(painter, 528, 7, kCopyrightLine, kTextGreen);

    painter.outlineRect(kExpandBox, kWhite);
    gf_drawText(painter, 773, 6, gui.compact ? "Expand" : "Compact", kTextGreen);
    const int d = static_cast<int>(gui.dpi);
    gui.expandBox = PixelRect{gf_mulDiv(kExpandBox.left, d, 96), gf_mulDiv(kExpandBox.top, d, 96),
                              gf_mulDiv(kExpandBox.right, d, 96), gf_mulDiv(kExpandBox.bottom, d, 96)};

    lf_paintStatusBand(painter, gui);

    const bool rtConnected = g_rtConnected.load();
    if (rtConnected && gui.weatherReaderState < kReaderStopped && gui.qnhHpa > 0) {
        const std::string qnh = gui.qnhInHg ? fmt::format("{:.2F} inHg", gui.qnhHpa * kInHgPerHpa)
                                            : fmt::format("{} hPa", gui.qnhHpa);
        gf_drawText(painter, 548, 71, qnh, kTextGreen);
    }
    if (rtConnected && gui.trafficReaderState < kReaderStopped) {
        gf_drawText(painter, 785, 71, fmt::format("{:3}", gui.liveAircraftCount), kTextGreen);
    }

    if (expanded) lf_paintSettingsLabels(painter, gui);
    if (expanded || compactWithPark) lf_paintParkingBand(painter, gui);

    // The error keeps the bottom line, red, until it is cleared.
    if (!gui.errorText.empty()) {
        painter.fillRect(bottom, kRed);
        gf_drawText(painter, 3, bottom.top + 7, gui.errorText, kTextWhite);
    } else {
        painter.fillRect(bottom, kFillDarkGreen);
        if (!gui.statusLine.empty()) gf_drawText(painter, 3, bottom.top + 7, gui.statusLine, kTextWhite);
    }

    if (gui.compact) painter.line(0, 96, 900, 96, kWhite);
}
