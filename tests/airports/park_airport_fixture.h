#pragma once
// The surroundings of the park airports and their loading: a small airports
// list, the main window's parking controls on the headless backend, the GUI
// applying posts at once, a recorder for the end of parked traffic, the saved
// parameters, the runway reader and the feed's parked requests, and the
// settings and start-up choice put back afterwards.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "airports/airports_list.h"
#include "airports/current_airport.h"
#include "airports/loaded_airport.h"
#include "airports/park_airports.h"
#include "airports/parked_traffic_end.h"
#include "airports/parking_state.h"
#include "engine/stands.h"
#include "feed/rtapp/rtapp_link.h"
#include "feed/rtapp/traffic_reader.h"
#include "motion/runways.h"
#include "platform/window/headless.h"
#include "services/gui.h"
#include "services/parking_controls.h"
#include "services/shell.h"
#include "settings/parameters.h"
#include "settings/snapshot.h"
#include "support/airport_file_builder.h"
#include "support/airports_data.h"
#include "support/temp_dir.h"
#include "support/user_aircraft.h"

namespace tavo::test {

// Frankfurt's file with the given stands (publisher "stock", 364 ft) and
// further parameters.
inline ApfFile frankfurtFile(std::vector<ApfStand> stands,
                             std::vector<std::pair<std::string, std::string>> more = {}) {
    ApfFile file;
    file.parameters = {{"icao", "EDDF"}, {"airport_name", "Frankfurt"}, {"publisher", "stock"}, {"altitude", "364"}};
    file.parameters.insert(file.parameters.end(), more.begin(), more.end());
    file.stands = std::move(stands);
    return file;
}
// Three stands 0.1 NM apart, A1 to A3 from south to north.
inline std::vector<ApfStand> threeStands() {
    return {apfStand("A1", "GATE_HEAVY", 50.0300, 8.5700), apfStand("A2", "GATE_HEAVY", 50.0300 + 0.1 / 60, 8.5700),
            apfStand("A3", "GATE_HEAVY", 50.0300 + 0.2 / 60, 8.5700)};
}

// What the code under test asked of its neighbours.
struct ParkingCalls {
    int endParkedTraffic = 0;
    int parkedRequests = 0;  // RT App parked requests (each empties the parked lists first)
    int rtDirectMapClears = 0;
    std::vector<std::string> saved;      // parameters written to parameters.xml
    std::vector<std::string> runwayLoads;  // airports whose runways were read
};
inline ParkingCalls g_calls;

class ParkAirportTest : public LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        g_calls = ParkingCalls{};
        savedSettings_ = settingsSnapshot.load();
        savedChoice_ = startupChoice.load();
        saveParameters();
        gf_unloadAirportsForTests();
        gf_clearParkAirports();
        gf_clearCurrentAirport();
        gf_clearLoadedAirport();
        resetUserAircraft();
        g_parkingPlanRequested.store(false);
        g_webServerMaintenance.store(false);
        gf_gui().attachGuiThread();  // posts apply at once; highlighted status lines are logged
        gf_gui().reset();
        gf_setParkedTrafficEnd([] { ++g_calls.endParkedTraffic; });
        gf_setRTAppReaderHooks({nullptr, [] { ++g_calls.parkedRequests; }});
        gf_setRTDirectTrafficMapsClearer([] { ++g_calls.rtDirectMapClears; });
        gf_installParameterFileWriter([](const Parameter& p) noexcept { g_calls.saved.push_back(p.name); });
        gf_setRunwayReader([](std::string_view icao) -> std::optional<FacilityRunwaySet> {
            g_calls.runwayLoads.emplace_back(icao);
            return std::nullopt;
        });
        openWindow();
        writeAirportsEnc(dir(), {airportEntry("EDDF", 50.0333, 8.5706, 364), airportEntry("EDDM", 48.3538, 11.7861, 1487),
                                 airportEntry("EDDS", 48.6899, 9.2220, 1276), airportEntry("EDDK", 50.8659, 7.1427, 302),
                                 airportEntry("EDDL", 51.2895, 6.7668, 147)});
        ASSERT_TRUE(std::holds_alternative<std::size_t>(gf_loadAirports()));
    }

    void TearDown() override {
        gf_setRunwayReader(nullptr);
        gf_clearRunwayTable();
        gf_installParameterFileWriter(nullptr);
        gf_setRTDirectTrafficMapsClearer(nullptr);
        gf_setRTAppReaderHooks({});
        gf_setParkedTrafficEnd(nullptr);
        gf_gui().reset();
        g_standTable.clear();
        g_standNameIndex.clear();
        gf_publishStandSnapshot();
        gf_clearParkAirports();
        gf_clearCurrentAirport();
        gf_clearLoadedAirport();
        gf_unloadAirportsForTests();
        resetUserAircraft();
        g_webServerMaintenance.store(false);
        restoreParameters();
        settingsSnapshot.store(savedSettings_);
        startupChoice.store(savedChoice_);
        gf_installWindowBackend(nullptr);
        LogFileTest::TearDown();
    }

    void setSettings(void (*change)(SettingsSnapshot&)) { gf_updateSettings(change); }
    void useRTDirect(bool rtDirect, std::uint32_t simulator = 2) {
        startupChoice.store(std::make_shared<const StartupChoice>(StartupChoice{simulator, rtDirect ? std::uint8_t(0) : std::uint8_t(1)}));
    }

    std::shared_ptr<HeadlessBackend> backend = std::make_shared<HeadlessBackend>();

private:
    void openWindow() {
        gf_installWindowBackend(backend);
        MainWindowSpec window;
        window.proc = [](WindowHandle, std::uint32_t, std::uint64_t, std::int64_t) -> std::int64_t { return 0; };
        const WindowHandle handle = gf_createMainWindow(window);
        const auto control = [&](ControlKind kind, ControlId id) {
            ControlSpec spec;
            spec.kind = kind;
            spec.id = id;
            gf_createControl(handle, spec);
        };
        control(ControlKind::Button, FlushButton.controlId);
        for (const GuiBoolParameter* box : {&RT_PARKTRAFFIC_ONLY, &AUTO_PARK, &WEEK, &PARK_SOFT})
            control(ControlKind::CheckBox, box->controlId);
        control(ControlKind::ComboBox, parking_percentage.controlId);
        parking_percentage.fillCombo();
        control(ControlKind::ComboBox, MAX_FIT_FL.controlId);
        std::vector<std::string> hours;
        for (float h : MAX_FIT_FL.allowedValues()) hours.push_back(std::to_string(h));
        gf_setComboItems(MAX_FIT_FL.controlId, hours);
    }
    void saveParameters() {
        percentage_ = parking_percentage.value();
        maxFit_ = MAX_FIT.value();
        flags_ = {RT_PARKTRAFFIC_ONLY.value(), AUTO_PARK.value(), WEEK.value(), PARK_SOFT.value()};
    }
    void restoreParameters() {
        parking_percentage.set(percentage_);
        MAX_FIT.set(maxFit_);
        RT_PARKTRAFFIC_ONLY.setValue(flags_[0]);
        AUTO_PARK.setValue(flags_[1]);
        WEEK.setValue(flags_[2]);
        PARK_SOFT.setValue(flags_[3]);
    }

    SettingsSnapshotPtr savedSettings_;
    std::shared_ptr<const StartupChoice> savedChoice_;
    std::int32_t percentage_ = 0;
    std::int32_t maxFit_ = 0;
    std::array<bool, 4> flags_{};
};

}  // namespace tavo::test
