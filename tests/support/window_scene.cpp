#include "support/window_scene.h"

#include "airports/current_airport.h"
#include "airports/parking_state.h"
#include "feed/feed_state.h"
#include "simlink/sim_link.h"

namespace tavo::test {

void gf_showWindowScene(Gui& gui) {
    gui.compact = false;
    gui.simulatorName = "MSFS 2024";
    gui.simulatorReady = true;
    gui.userStand = "A12";
    gui.trafficSourceNotStarted = false;
    gui.trafficReaderState = kReaderRunning;
    gui.weatherReaderState = kReaderRunning;
    gui.trafficServiceInfo = "RT Direct";
    gui.qnhHpa = 1013;
    gui.liveAircraftCount = 123;
    gui.simaddonCount = 12;
    gui.thirdpartyCount = 34;
    gui.liveriesCount = 5678;
    gui.parkAirport = IcaoCode("EDDF");
    gui.parkedTrafficTextFlag = true;
    gui.parkedTrafficText = "RT parked 12";
    gui.parkAirportText = "stock";
    gui.parkAirportFlag = true;
    gui.airportQualityText = "0.8";
    gui.standCount = 120;
    gui.liveParkedCount = 5;
    gui.liveFit = 2.5f;
    gui.parkingTargetCount = 40;
    gui.parkingTargetPercent = 30;
    gui.staticCount = 33;
    gui.staticsWaiting = 4;
    gui.staticFit = 3.5f;
    gui.parkingIntervalMinutes = 20;
    gui.userWingspanKnown = false;
    gui.statusLine = "Scanning liveries ...";
    g_simState.store(SIM_RUNNING);
    g_rtConnected.store(true);
    g_parkingActive.store(true);
    g_airportDataWeek.store(12);
    gf_makeCurrentParkAirport(IcaoCode("EDDF"), LaLo{50.03, 8.57});
    gf_setParkAirportUserStand(IcaoCode("EDDF"), "A12");
}

void gf_clearWindowScene() {
    g_simState.store(SIM_NOT_CONNECTED);
    g_rtConnected.store(false);
    g_parkingActive.store(false);
    g_airportDataWeek.store(0);
    gf_clearParkAirports();
}

}  // namespace tavo::test
