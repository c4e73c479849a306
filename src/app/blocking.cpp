#include "app/blocking.h"

#include <algorithm>
#include <vector>

#include <fmt/format.h>

#include "foundation/text.h"
#include "platform/window/window.h"
#include "services/gui.h"
#include "settings/parameters.h"
#include "settings/snapshot.h"

std::atomic<bool> g_blockedAircraftChanged{false};
std::atomic<bool> g_unblockPressed{false};

namespace {

std::optional<std::uint32_t> lf_parseHex32(std::string_view text) {
    std::uint64_t value = 0;
    for (const char c : text) {
        int digit = 0;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return std::nullopt;
        }
        value = value * 16 + static_cast<std::uint64_t>(digit);
        if (value > 0xFFFFFFFFu) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

}  // namespace

std::optional<BlockSelection> lf_parseBlockSelection(std::string_view text) {
    const std::vector<std::string> parts = gf_split(text, ',');
    if (parts.size() != 4) return std::nullopt;
    const auto hexid = lf_parseHex32(parts[2]);
    if (!hexid) return std::nullopt;
    return BlockSelection{parts[0], parts[1], *hexid};
}

void lf_blockAircraft() {
    const std::string text = AIRCRAFT_SELECTOR.value();
    const auto selection = lf_parseBlockSelection(text);
    if (!selection) {
        BLOCK_AIRCRAFT.setAndSave("");
        gf_publishParameter(BLOCK_AIRCRAFT);
        return;
    }
    BLOCK_AIRCRAFT.setAndSave(text);
    BLOCK_CALLSIGN.setAndSave(selection->callsign);
    BLOCK_REGCODE.setAndSave(selection->registration);
    g_blockedCallsignPrefix.store(selection->callsign.ends_with('_') ? 1 : 0);
    // Clamped while still unsigned: a hexid above the int range must end at
    // the maximum, not wrap to a negative value and end at 0.
    BLOCK_HEXIDDEC.setAndSave(static_cast<std::int32_t>(
        std::min<std::uint32_t>(selection->hexid, static_cast<std::uint32_t>(BLOCK_HEXIDDEC.maximum()))));
    gf_publishParameter(BLOCK_AIRCRAFT);
    Gui::addStatusLine(fmt::format("Aircraft with callsign: {}, regcode: {} and hexid: {:x} is blocked",
                                   selection->callsign, selection->registration, selection->hexid),
                       true);
    gf_enableControl(BlockButton.controlId, false);
    gf_enableControl(UnblockButton.controlId, true);
    gf_enableControl(AircraftButton.controlId, false);
    gf_enableControl(AIRCRAFT_SELECTOR.controlId, false);
    gf_enableControl(ALL_AIR_GND_SELECTOR.controlId, false);
    g_blockedAircraftChanged.store(true);
}

void lf_unblockAircraft() {
    Gui::addStatusLine(fmt::format("No more blocking of aircraft: cs: {} reg: {} hexid: {:x} ", BLOCK_CALLSIGN.value(),
                                   BLOCK_REGCODE.value(), BLOCK_HEXIDDEC.value()),
                       true);
    BLOCK_AIRCRAFT.setAndSave("");
    BLOCK_CALLSIGN.setAndSave("");
    BLOCK_REGCODE.setAndSave("");
    g_blockedCallsignPrefix.store(0);
    BLOCK_HEXIDDEC.setAndSave(0);
    gf_publishParameter(BLOCK_AIRCRAFT);
    gf_enableControl(BlockButton.controlId, false);
    gf_enableControl(UnblockButton.controlId, false);
    gf_enableControl(AircraftButton.controlId, true);
    gf_enableControl(AIRCRAFT_SELECTOR.controlId, false);
    gf_enableControl(ALL_AIR_GND_SELECTOR.controlId, true);
    AIRCRAFT_SELECTOR.replaceChoices({""});
    AIRCRAFT_SELECTOR.setValue("");
    AIRCRAFT_SELECTOR.fillCombo();
}

void gf_blockButtonPressed() {
    if (AIRCRAFT_SELECTOR.value().empty()) {
        Gui::addStatusLine("Nothing to block ...", true);
        return;
    }
    lf_blockAircraft();
}

void gf_unblockButtonPressed() {
    g_unblockPressed.store(true);
    if (BLOCK_AIRCRAFT.value().empty()) {
        Gui::addStatusLine("Nothing to unblock...", true);
        return;
    }
    lf_unblockAircraft();
}
