#pragma once
// The parked-traffic planner's surroundings: the park airports' world (small
// airports list, parking controls on the headless window, the GUI applying
// posts at once) and a clean engine with the simulator model and liveries,
// on a fixed clock (Wednesday, 10:15 UTC: day 3, slot 20), with plans made
// deterministic (RANDOM off, the walk direction reset) and the parking
// switches at known values.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "airports/parked_planner.h"
#include "airports/parked_traffic_status.h"
#include "airports/stand_searches.h"
#include "airports/static_placement.h"
#include "engine/engine_lists.h"
#include "engine/removal_policies.h"
#include "engine/stands.h"
#include "foundation/time.h"
#include "liveries/code_tables.h"
#include "park_airport_fixture.h"
#include "support/engine_harness.h"
#include "support/stand_table.h"
#include "support/synthetic_airport.h"

namespace tavo::test {

// Wednesday 3 January 2024, 10:15:00 UTC.
inline constexpr std::int64_t kPlannerNow = 1704276900;

inline StandOption flightOption(std::string_view airline, std::string_view model, std::string registration,
                                std::string callsign1, std::uint32_t day, std::uint32_t firstSlot,
                                std::uint32_t lastSlot, bool real = true, std::string callsign2 = {}) {
    StandOption option;
    option.key.airline = gf_internAirlineCode(airline);
    option.key.model = gf_internModelCode(model);
    option.registration = std::move(registration);
    option.callsign1 = std::move(callsign1);
    option.callsign2 = std::move(callsign2);
    for (std::uint32_t s = firstSlot; s <= lastSlot; ++s) option.hours.set(s);
    option.day = day;
    option.real = real ? 1 : 0;
    return option;
}

class PlannerTest : public ParkAirportTest {
protected:
    void SetUp() override {
        ParkAirportTest::SetUp();
        EngineHarness::Options options;
        options.simulator = SimVersion::MSFS2024;  // the airport files' simulator
        options.rtApp = true;                      // the fake feed stands in for the RT App
        harness = std::make_unique<EngineHarness>(options);
        harness->installLiveries(EngineHarness::defaultLiveries());
        gf_setSecondsClock([] { return kPlannerNow; });
        setWeek(3, 20);
        gf_updateSettings([](SettingsSnapshot& s) {
            s.RANDOM = 0;
            s.AUTO_PARK = 0;
            s.WEEK = 0;
            s.PARK_SOFT = 0;
            s.RT_PARKTRAFFIC_ONLY = 0;
            s.MAX_FIT = 4;
            s.MAX_PARK_SEL = 500;
            s.parking_percentage = 100;
            s.HELICOPTERS = 1;
        });
        gf_resetStandSearches();
        gf_resetStaticNumber();
        // What the program installs at its start.
        gf_setParkedTrafficServices(ParkedTrafficServices{&gf_parkedTrafficSetUp, &gf_loadedAirportHasStands,
                                                          &gf_countLiveParked, &gf_countStaticAircraft,
                                                          [] { g_generatingParking.store(false); }});
    }
    void TearDown() override {
        feed.reset();
        harness.reset();
        g_engineHandOverMaps.clear();
        gf_setParkedTrafficServices(std::nullopt);
        g_generatingParking.store(false);
        g_parkingActive.store(false);
        gf_setPlannerClock({});
        gf_setSecondsClock(nullptr);
        g_weekTime.store(1);
        gf_clearLoadedAirport();
        ParkAirportTest::TearDown();
    }

    // The parking parameters as the settings above: a file's load publishes
    // them into the settings.
    static void setParkingParameters() {
        parking_percentage.set(100);
        MAX_FIT.set(4);
        for (GuiBoolParameter* flag : {&RT_PARKTRAFFIC_ONLY, &AUTO_PARK, &WEEK, &PARK_SOFT}) flag->setValue(false);
    }
    static void setWeek(std::uint32_t day, std::uint32_t slot) {
        g_weekTime.store((std::uint64_t{slot} << 32) | day);
    }
    // Stands S1..Sn 0.1 NM apart, heavy gates, each with the given options
    // (numbered 1, 2, ...).
    static void standsWithOptions(const std::vector<std::vector<StandOption>>& options) {
        std::vector<StandSpec> specs;
        for (std::size_t i = 0; i < options.size(); ++i)
            specs.emplace_back("S" + std::to_string(i + 1), LaLo{50.0 + double(i) * 0.1 / 60.0, 8.0},
                               ParkingType::GATE_HEAVY, 40.0);
        setStandTable(specs);
        for (std::size_t i = 0; i < options.size(); ++i) {
            g_standTable[i].options = options[i];
            for (std::size_t k = 0; k < options[i].size(); ++k) g_standTable[i].options[k].number = std::uint32_t(k + 1);
        }
    }
    static void exclude(std::uint32_t a, std::uint32_t b) {
        g_standTable[a - 1].excludes.push_back(b);
        g_standTable[b - 1].excludes.push_back(a);
    }
    static void loadedWithSoft(std::int32_t qfSoft) {
        LoadedAirport loaded = gf_loadedAirport();
        loaded.qfSoft = qfSoft;
        gf_setLoadedAirport(loaded);
    }
    // The callsigns of the statics to place, front to back.
    static std::vector<std::string> planned() {
        std::vector<std::string> out;
        for (const StaticToPlace& item : staticsToPlace) out.push_back(item.callsign1);
        return out;
    }
    static std::vector<std::int32_t> plannedStands() {
        std::vector<std::int32_t> out;
        for (const StaticToPlace& item : staticsToPlace) out.push_back(item.standId);
        return out;
    }
    // A record of the traffic service's parked list at stand n's position.
    static ParkedRecord parkedAt(std::uint32_t stand, std::string callsign, std::int32_t age, std::uint32_t hexid,
                                 std::string registration = {}) {
        ParkedRecord r;
        r.identity.key.airline = gf_internAirlineCode("KLM");
        r.identity.key.model = gf_internModelCode("B738");
        r.identity.callsign = std::move(callsign);
        r.identity.registration = std::move(registration);
        r.position = LaLo{g_standTable[stand - 1].latitude, g_standTable[stand - 1].longitude};
        r.standName = "Gate " + g_standTable[stand - 1].name;
        r.hexid = hexid;
        r.age = age;
        r.slot = ((20 - age) % 48 + 48) % 48;
        return r;
    }
    // An active static at stand n (from the airport file unless a service
    // hexid is given).
    static AcBase& staticAt(std::uint32_t stand, std::string callsign, std::string registration,
                            std::uint32_t serviceHexid = 0) {
        FlightIdentity id;
        id.key.airline = gf_internAirlineCode("KLM");
        id.key.model = gf_internModelCode("B738");
        id.callsign = callsign;
        id.identity2 = callsign;
        id.registration = std::move(registration);
        AcInfo info = gf_makeAcInfo(id);
        info.hexid = static_cast<std::uint32_t>(g_staticAircraft.size() + 1);
        info.liveryTitle = "KLM B738";
        const Stand& s = g_standTable[stand - 1];
        AcBase ac = gf_initStaticAircraft(info, std::int32_t(stand), LaLo{s.latitude, s.longitude}, s.heading, false);
        ac.simState = AcSimState::active;
        ac.objectId = 500 + info.hexid;
        ac.fromAirportFile = serviceHexid == 0 ? 1 : 0;
        ac.realHexid = serviceHexid;
        g_staticAircraft.push_back(ac);
        return g_staticAircraft.back();
    }

    std::unique_ptr<EngineHarness> harness;
    std::unique_ptr<FakeParkedFeed> feed = std::make_unique<FakeParkedFeed>();
};

}  // namespace tavo::test
