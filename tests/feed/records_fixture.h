#pragma once
// A clean world for record and hand-over tests: default settings, RT App as
// the source, no user position, no current airport, fresh aircraft tables,
// and everything put back afterwards.

#include <gtest/gtest.h>

#include <memory>

#include "airports/current_airport.h"
#include "airports/static_placement.h"
#include "engine/services.h"
#include "engine/stands.h"
#include "engine/user_position.h"
#include "feed/handover.h"
#include "feed/records.h"
#include "liveries/code_tables.h"
#include "support/dbase_builder.h"
#include "support/stand_table.h"
#include "settings/snapshot.h"
#include "simlink/sim_link.h"

namespace tavo::test {

class RecordsWorld : public ::testing::Test {
protected:
    void SetUp() override {
        m_savedSettings = settingsSnapshot.load();
        m_savedChoice = startupChoice.load();
        settingsSnapshot.store(std::make_shared<const SettingsSnapshot>());
        useRtApp();
        clearWorld();
    }
    void TearDown() override {
        settingsSnapshot.store(m_savedSettings);
        startupChoice.store(m_savedChoice);
        clearWorld();
    }
    static void clearWorld() {
        gf_publishUserAircraftState(UserAircraftState{});
        gf_clearCurrentAirport();
        gf_clearParkAirports();
        tavo::test::clearStandTable();
        g_userOnGround.store(false);
        gf_clearParkedTrafficSources();
        gf_clearStaticsToPlace();
        tavo::test::resetToSmallDbase();
    }

    static void useRtApp() { startupChoice.store(std::make_shared<const StartupChoice>(StartupChoice{2, 1})); }
    static void useRtDirect() { startupChoice.store(std::make_shared<const StartupChoice>(StartupChoice{2, 0})); }

    template <class Change>
    static void changeSettings(Change&& change) {
        auto copy = std::make_shared<SettingsSnapshot>(*settingsSnapshot.load());
        change(*copy);
        settingsSnapshot.store(std::move(copy));
    }

    // An own position at 52N 4E with the current settings, as RT App takes it.
    static OwnPositionSnapshot ownAt(double lat = 52.0, double lon = 4.0) {
        OwnPositionSnapshot own;
        own.latitude = lat;
        own.longitude = lon;
        own.cosLatitude = std::cos(lat * 3.14159265358979323846 / 180.0);
        own.qnh = 1013;
        own.settings = settingsSnapshot.load();
        own.collectHandOver = true;
        own.handOverBeforeFilters = true;
        return own;
    }

    // An airborne airliner 10 NM north of the own position, fully identified.
    static TrafficFields airliner() {
        TrafficFields f;
        f.time = 1704067200.0;
        f.hexid = 0x4840D6;
        f.position = LaLo{52.0 + 10.0 / 60.0, 4.0};
        f.altitude = 5000.0;
        f.verticalSpeed = 500.0;
        f.track = 90.0;
        f.groundSpeed = 250.0;
        f.roll = 0.0;
        f.trueAirspeed = 260.0;
        f.callsign = "KLM1234";
        f.aircraftType = "B738";
        f.registration = "PH-BXA";
        f.origin = "AMS";
        f.destination = "LHR";
        f.dataSource = "adsb";
        f.emitterCategory = "A3";
        f.airline = "KLM";
        return f;
    }

    static void setAirportAt(double lat, double lon, std::int32_t altitudeFt = 0) {
        AirportListEntry airport;
        airport.icao = IcaoCode("EHAM");
        airport.position = LaLo{lat, lon};
        airport.altitudeFt = altitudeFt;
        gf_setCurrentAirport(airport);
    }

private:
    SettingsSnapshotPtr m_savedSettings;
    std::shared_ptr<const StartupChoice> m_savedChoice;
};

}  // namespace tavo::test
