#include "services/parking_controls.h"

#include <array>
#include <utility>

#include <fmt/format.h>

#include "platform/window/window.h"
#include "services/gui.h"
#include "settings/parameters.h"
#include "settings/snapshot.h"

std::mutex g_parkingRequestMutex;
ParkingRequest g_parkingRequest;
std::atomic<std::int32_t> g_pendingParkingInterval{-1};

namespace {

std::mutex l_servicesMutex;
std::optional<ParkedTrafficServices> l_services;

const std::array<const GuiControl*, 11>& lf_parkingControls() {
    static const std::array<const GuiControl*, 11> controls{
        &parking_percentage, &MAX_FIT_FL, &MAX_PARK_SEL, &MAX_LIVE_SEL, &PARKING_INTERVAL_MINUTES, &AUTO_PARK,
        &WEEK,               &PARK_SOFT,  &RT_PARKTRAFFIC_ONLY, &FlushButton, &ParkButton};
    return controls;
}

void lf_enable(const GuiControl& control, bool enable) { gf_enableControl(control.controlId, enable); }

// MAX_FIT_FL limits the age of the parked traffic the planner takes from the
// traffic service; automatic parking without it takes no such traffic.
void lf_applyMaxFitRule(bool rtOnly, bool autoPark) { lf_enable(MAX_FIT_FL, rtOnly || !autoPark); }

// Under the parking request mutex.
void lf_recordRefresh(bool refresh) {
    ++g_parkingRequest.requestId;
    g_parkingRequest.refreshRequested = refresh;
}

void lf_announce(const std::optional<bool>& refresh) {
    Gui::addStatusLine(fmt::format("{} will update static parking soon ...", "TAVO"), false);
    gf_disableParkingControls();
    std::lock_guard lock(g_parkingRequestMutex);
    if (refresh) lf_recordRefresh(*refresh);
    ++g_parkingRequest.requestCount;
}

}  // namespace

void gf_announceParkingUpdate() { lf_announce(std::nullopt); }

void gf_announceParkingRefresh(bool refresh) { lf_announce(refresh); }

void gf_recordParkingRefresh(bool refresh) {
    std::lock_guard lock(g_parkingRequestMutex);
    lf_recordRefresh(refresh);
}

void gf_disableParkingControls() {
    for (const GuiControl* control : lf_parkingControls()) lf_enable(*control, false);
    Gui::repaintSettingsBand();
}

void gf_enableParkingControls() {
    const ParkedTrafficServices services = gf_parkedTrafficServices();
    services.endGeneratingParking();
    const bool hasStands = services.loadedAirportHasStands();
    for (const GuiControl* control : lf_parkingControls()) {
        // Flush removes the statics of the loaded airport: with no stands
        // there are none to remove.
        lf_enable(*control, control != &FlushButton || hasStands);
    }
    gf_applyRtParkTrafficOnly();
    gf_applyAutoPark();
    lf_applyMaxFitRule(RT_PARKTRAFFIC_ONLY.value(), AUTO_PARK.value());
    Gui::enqueueUpdate(GuiUpdate::parkingInterval(settingsSnapshot.load()->PARKING_INTERVAL_MINUTES));
    Gui::repaintSettingsBand();
    Gui::showTbloHintOrClear();
}

void gf_applyRtParkTrafficOnly() {
    const bool rtOnly = RT_PARKTRAFFIC_ONLY.value();
    const bool autoPark = AUTO_PARK.value();
    // With only the traffic service's parked aircraft there is no planning of
    // our own to tune.
    for (const GuiControl* control : {static_cast<const GuiControl*>(&parking_percentage),
                                      static_cast<const GuiControl*>(&AUTO_PARK), static_cast<const GuiControl*>(&WEEK),
                                      static_cast<const GuiControl*>(&PARK_SOFT)}) {
        lf_enable(*control, !rtOnly);
    }
    lf_applyMaxFitRule(rtOnly, autoPark);
    Gui::repaintSettingsBand();
}

void gf_applyAutoPark() {
    const bool rtOnly = RT_PARKTRAFFIC_ONLY.value();
    const bool autoPark = AUTO_PARK.value();
    lf_applyMaxFitRule(rtOnly, autoPark);
    lf_enable(WEEK, !autoPark);
    lf_enable(PARK_SOFT, !autoPark);
    Gui::repaintSettingsBand();
}

void gf_applyParkingOptions() {
    gf_applyRtParkTrafficOnly();
    gf_applyAutoPark();
    lf_applyMaxFitRule(RT_PARKTRAFFIC_ONLY.value(), AUTO_PARK.value());
}

void gf_showParkingInterval() {
    const std::int32_t minutes = settingsSnapshot.load()->PARKING_INTERVAL_MINUTES;
    g_pendingParkingInterval.store(minutes);
    Gui::enqueueUpdate(GuiUpdate::parkingInterval(minutes));
}

void gf_setParkedTrafficServices(std::optional<ParkedTrafficServices> services) {
    std::lock_guard lock(l_servicesMutex);
    l_services = std::move(services);
}

ParkedTrafficServices gf_parkedTrafficServices() {
    ParkedTrafficServices services;
    {
        std::lock_guard lock(l_servicesMutex);
        if (l_services) services = *l_services;
    }
    if (!services.parkedTrafficSetUp) services.parkedTrafficSetUp = [] { return false; };
    if (!services.loadedAirportHasStands) services.loadedAirportHasStands = [] { return false; };
    if (!services.countLiveParked) services.countLiveParked = [](bool) { return std::uint32_t{0}; };
    if (!services.countStaticAircraft) services.countStaticAircraft = [](bool) { return std::int64_t{0}; };
    if (!services.endGeneratingParking) services.endGeneratingParking = [] {};
    return services;
}
