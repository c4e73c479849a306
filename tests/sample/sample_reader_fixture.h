#pragma once
// TAVO's RT App line reader at the sample airport: the reader's test fixture
// with its own position and current airport there, the shipped aircraft
// database, and every kind of aircraft shown (as the program's parameters
// have it), so that every line of the sample traffic can become a record.

#include <memory>
#include <string>

#include <gmock/gmock.h>

#include "airports/current_airport.h"
#include "feed/rtapp_udp_fixture.h"
#include "liveries/dbase.h"
#include "sample/sample_fixture.h"

namespace tavo::test {

// The reader's error lines: a traffic or parked line it refused.
inline void expectNoReaderErrorLines(const std::string& log) {
    EXPECT_THAT(log, ::testing::Not(::testing::HasSubstr("exception in process")));
    EXPECT_THAT(log, ::testing::Not(::testing::HasSubstr("Ignoring incomplete")));
}

class SampleReaderTest : public RTAppUdpTest {
protected:
    void SetUp() override {
        RTAppUdpTest::SetUp();
        const sample::SampleWorld& w = sampleTraffic().world();
        g_trafficReader.setOwnPosition(w.reference.lat, w.reference.lon);
        gf_setCurrentAirport({IcaoCode(w.icao), IataCode("SEA"), LaLo{w.reference.lat, w.reference.lon},
                              static_cast<std::int32_t>(w.elevationFt)});
        ASSERT_TRUE(gf_readDbase(installDir() / "input" / "dbase.enc"));
        auto settings = std::make_shared<SettingsSnapshot>(*settingsSnapshot.load());
        settings->TWO_PROPS = settings->LIGHT_AIRCRAFT = settings->HELICOPTERS = 1;
        settingsSnapshot.store(settings);
        newLogLines();
    }
    void TearDown() override {
        gf_clearCurrentAirport();
        RTAppUdpTest::TearDown();
    }
};

}  // namespace tavo::test
