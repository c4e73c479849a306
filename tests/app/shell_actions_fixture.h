#pragma once
// The main window open on a headless backend for the time shift, blocking and
// the destination: saves recorded, status lines applied at once (highlighted
// ones reach Log.txt), a wall clock the test sets, a real airports list (EDDF,
// LOWI) and recording fakes for the airport-file read and the park airports.

#include <optional>
#include <string>
#include <vector>

#include "airports/destination_services.h"
#include "app/blocking.h"
#include "app/destination.h"
#include "app/time_shift.h"
#include "feed/feed_state.h"
#include "feed/rtdirect/traffic_reader.h"
#include "feed/rtdirect/transport.h"
#include "feed/rtdirect/weather_reader.h"
#include "program_fixture.h"
#include "simlink/sim_link.h"
#include "support/airports_data.h"

namespace tavo::test {

inline std::int64_t g_testNow = 1'700'000'000;

class ShellActionsTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        gf_initCurlGlobal();
        putBack();
        gf_setSecondsClock([] { return g_testNow; });
        writeAirportsEnc(dir(), {airportEntry("EDDF", 50.033, 8.571, 364), airportEntry("LOWI", 47.26, 11.344, 1906)});
        ASSERT_TRUE(std::holds_alternative<std::size_t>(gf_loadAirports()));
        gf_setDestinationServices(DestinationServices{
            [this](const IcaoCode& icao) {
                reads.emplace_back(icao.text());
                return standsRead;
            },
            [this](const IcaoCode&) { return userStand; },
            [this](const IcaoCode& icao, const LaLo& at) {
                parkAirports.push_back(fmt::format("{} {:.3f} {:.3f}", icao, at.lat, at.lon));
            }});
        window = open();
    }
    void TearDown() override {
        putBack();
        gf_setSecondsClock(nullptr);
        ProgramTest::TearDown();
    }
    static void putBack() {
        gf_resetTimeShiftRun();
        g_testNow = 1'700'000'000;
        g_timeShiftActive.store(false);
        g_simTimeEpoch.store(kSimTimeInvalid);
        g_rtProfessional.store(false);
        g_blockedAircraftChanged.store(false);
        g_unblockPressed.store(false);
        gf_rtApiTrafficReader().timeOffset.store(0);
        gf_rtApiWeatherReader().timeOffset.store(0);
        gf_setDestinationServices(std::nullopt);
        gf_unloadAirportsForTests();
    }

    std::int64_t command(ControlId id, std::uint16_t code = BN_CLICKED) {
        return backend->send(window, WM_COMMAND, gf_commandWParam(id, code));
    }
    ControlState control(ControlId id) { return backend->controlState(id).value_or(ControlState{}); }
    // The bottom line, which must also be in the log (a highlighted line).
    std::string highlighted() { return logHas(gf_gui().statusLine + "\n") ? gf_gui().statusLine : "not logged"; }
    static std::string pendingStop() {
        const auto request = gf_pendingStopRequest();
        return request ? fmt::format("{}/{}", request->reason, request->countdown) : "none";
    }

    WindowHandle window = WindowHandle::None;
    ApfStandNames standsRead = std::vector<std::string>{"A1", "B2"};
    std::optional<std::string> userStand;
    std::vector<std::string> reads;
    std::vector<std::string> parkAirports;
};

}  // namespace tavo::test
