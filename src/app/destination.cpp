#include "app/destination.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "airports/destination_services.h"
#include "app/window_controls.h"
#include "foundation/files.h"
#include "platform/window/window.h"
#include "services/gui.h"
#include "settings/parameters.h"
#include "settings/snapshot.h"

namespace {

// Held across a whole change of the destination, so that DESTINATION, the
// stand selector and the park airport always belong to the same airport when
// the main thread's start-up and a typed destination meet.
std::mutex l_destinationMutex;

void lf_emptyStandSelector() {
    STAND_SELECTOR.replaceChoices({""});
    STAND_SELECTOR.setValue("");
    STAND_SELECTOR.fillCombo();
    gf_enableControl(STAND_SELECTOR.controlId, false);
}

void lf_fillStandSelector(const DestinationServices& services, const std::string& text, const IcaoCode& icao,
                          const std::vector<std::string>& stands) {
    std::vector<std::string> list;
    list.reserve(stands.size() + 1);
    const auto userStand = services.findParkAirportUserStand(icao);
    if (userStand && std::find(stands.begin(), stands.end(), *userStand) != stands.end()) {
        Gui::addStatusLine(fmt::format("New destination: {}, with reserved stand: {}", text, *userStand), true);
        STAND_SELECTOR.setValue(*userStand);
    } else {
        Gui::addStatusLine(stands.empty() ? fmt::format("New destination: {}, no stands available", text)
                                          : fmt::format("New destination: {}", text),
                           true);
        list.emplace_back("select a stand");
        STAND_SELECTOR.setValue("select a stand");
    }
    list.insert(list.end(), stands.begin(), stands.end());
    STAND_SELECTOR.replaceChoices(std::move(list));
    STAND_SELECTOR.fillCombo();
    gf_enableControl(STAND_SELECTOR.controlId, !stands.empty());
}

// lf_setDestinationStand with the destination lock held.
void lf_applyDestination(std::string_view text, const AirportListEntry& entry) {
    const std::string code(text);
    DESTINATION.setAndSave(code);
    gf_publishParameter(DESTINATION);
    gf_showStringParameterValue(DESTINATION);

    const DestinationServices services = gf_destinationServices();
    const ApfStandNames read = services.readApfForStands(entry.icao);
    STAND_SELECTOR.replaceChoices({});
    if (const auto* error = std::get_if<std::string>(&read)) {
        Gui::addStatusLine(fmt::format("New destination: {}, failed to read stands, {}", code, *error), true);
        gf_enableControl(STAND_SELECTOR.controlId, false);
    } else {
        lf_fillStandSelector(services, code, entry.icao, std::get<std::vector<std::string>>(read));
    }
    services.makeCurrentParkAirport(entry.icao, entry.position);
}

std::string lf_upperAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    return text;
}

// Steps 3 to 7 of a typed destination; false when the text was rejected and
// the field must show the stored destination again.
// lf_clearDestination with the destination lock held.
void lf_emptyDestination() {
    DESTINATION.setAndSave("");
    gf_publishParameter(DESTINATION);
    gf_showStringParameterValue(DESTINATION);
    lf_emptyStandSelector();
}

bool lf_takeTypedDestination(const std::string& typed) {
    if (typed.empty()) {
        lf_emptyDestination();
        Gui::addStatusLine("destination set to empty", true);
        return true;
    }
    // Four characters that are not all letters and digits are no airport code
    // either: rejected here like a wrong length, before the code is built.
    const std::string code = lf_upperAscii(typed);
    if (typed.size() != 4 || !gf_isAirportCode(code)) {
        Gui::addStatusLine(fmt::format("destination '{}' is not valid", typed), true);
        return false;
    }
    if (code == DESTINATION.value()) {
        Gui::addStatusLine(fmt::format("destination '{}' was already set ...", code), true);
        return false;
    }
    const auto entry = gf_findAirport(IcaoCode(code));
    if (!entry) {
        Gui::addStatusLine(fmt::format("destination '{}' is not supported ...", code), true);
        return false;
    }
    lf_applyDestination(code, *entry);
    return true;
}

}  // namespace

void lf_destinationReturnPressed() {
    Gui::showTbloHintOrClear();
    lf_setDestination();
}

void lf_setDestination() {
    Gui::showTbloHintOrClear();
    std::lock_guard lock(l_destinationMutex);
    const std::string typed = lf_getTextFromId(DESTINATION.controlId);
    if (!lf_takeTypedDestination(typed)) gf_showStringParameterValue(DESTINATION);
}

void lf_setDestinationStand(std::string_view text, const AirportListEntry& entry) {
    std::lock_guard lock(l_destinationMutex);
    lf_applyDestination(text, entry);
}

void lf_clearDestination() {
    std::lock_guard lock(l_destinationMutex);
    lf_emptyDestination();
}
