#pragma once
// The common ground of the RT App link tests: a fresh working folder with its
// own Log.txt, the link's settings on a free port, short handshake waits, an
// empty stop mailbox, and everything the link touches put back afterwards.

#include <atomic>
#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "airports/current_airport.h"
#include "engine/user_position.h"
#include "feed/feed_state.h"
#include "feed/hang_guard.h"
#include "feed/rtapp/rtapp_link.h"
#include "feed/rtapp/rtapp_server.h"
#include "foundation/log.h"
#include "services/gui.h"
#include "services/stop.h"
#include "settings/parameters.h"
#include "settings/snapshot.h"
#include "support/rtapp_peer.h"
#include "support/temp_dir.h"

namespace tavo::test {

// Counts of the reader hooks the link calls.
inline std::atomic<int> g_readerResets{0};
inline std::atomic<int> g_parkedClears{0};

class RTAppLinkTest : public LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        gf_clearStopMailbox();
        gf_gui().drain();
        gf_gui().reset();
        savedPsx_ = PSX_SERVER_HERE.value();
        savedAerowinx_ = AEROWINX.value();
        savedPort_ = PORT_NUMBER.value();
        savedTiming_ = gf_rtAppHandshakeTiming();
        PSX_SERVER_HERE.setValue(true);
        AEROWINX.setValue(false);
        port_ = freeTcpPort();
        ASSERT_NE(port_, 0);
        PORT_NUMBER.setValue(std::to_string(port_));
        // A reply that comes ends the wait for it at once; only a silent
        // application waits the whole time-out.
        gf_setRTAppHandshakeTiming({kHangGuard, std::chrono::milliseconds(100)});
        g_rtConnected.store(false);
        g_rtProfessional.store(false);
        g_waitingForRTApp.store(false);
        g_bufferRequestPending.store(false);
        gf_publishUserAircraftState(UserAircraftState{});
        gf_clearCurrentAirport();
        g_readerResets.store(0);
        g_parkedClears.store(0);
        gf_setRTAppReaderHooks({[] { ++g_readerResets; }, [] { ++g_parkedClears; }});
        gf_setUserOnGroundQuery(nullptr);
    }

    void TearDown() override {
        g_rtAppServer.closeAll();
        gf_setRTAppReaderHooks({});
        gf_setUserOnGroundQuery(nullptr);
        gf_clearCurrentAirport();
        gf_publishUserAircraftState(UserAircraftState{});
        PSX_SERVER_HERE.setValue(savedPsx_);
        AEROWINX.setValue(savedAerowinx_);
        PORT_NUMBER.setValue(savedPort_);
        gf_setRTAppHandshakeTiming(savedTiming_);
        g_rtConnected.store(false);
        g_rtProfessional.store(false);
        g_bufferRequestPending.store(false);
        gf_clearStopMailbox();
        gf_gui().drain();
        gf_gui().reset();
        LogFileTest::TearDown();
    }

    // Applies what the link posted to the window (in order) and returns the log.
    std::string logText() {
        gf_gui().drain();
        return LogFileTest::logText();
    }

    static UserAircraftState goldenState() {
        UserAircraftState state;
        state.pitch = 0.01;
        state.bank = -0.02;
        state.heading = 1.5;
        state.indicatedAltitude = 1000.0;
        state.groundVelocity = 150.0;
        state.latitude = 50.0;
        state.longitude = 8.0;
        return state;
    }

    std::uint16_t port_ = 0;

private:
    bool savedPsx_ = true;
    bool savedAerowinx_ = false;
    std::string savedPort_;
    RTAppHandshakeTiming savedTiming_;
};

}  // namespace tavo::test
