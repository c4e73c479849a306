// The two start paths against real peers: the RT App path with the feed's
// server and readers and the RealTraffic application stand-in, the RT Direct
// path with the fake web API. The shell's waits run on the test clock.

#include <future>

#include "feed/credential.h"
#include "feed/hang_guard.h"
#include "feed/rtapp/qnh_reader.h"
#include "feed/rtapp/traffic_reader.h"
#include "feed/rtdirect/readers.h"
#include "main_loop_fixture.h"
#include "support/fake_rtapi.h"
#include "support/rtapp_peer.h"
#include "support/scoped_env.h"

namespace tavo::test {
namespace {

class StartPathsThreads : public MainLoopTest {
protected:
    void SetUp() override {
        MainLoopTest::SetUp();
        clock.realSleep = 2ms;  // so that a wait that times out gives the readers time
        gf_setRTAppUdpPorts({0, 0});
        gf_setRTAppUdpTiming({100ms, 150ms, 10ms});
        gf_setRTAppHandshakeTiming({5s, 10ms});
    }
    void TearDown() override {
        stopTraffic();
        gf_setRTAppUdpPorts({});
        gf_setRTAppUdpTiming({});
        gf_setRTAppHandshakeTiming({});
        gf_setUserOnGroundQuery(nullptr);
        gf_setRTAppReaderHooks({});
        g_rtProfessional.store(false);
        MainLoopTest::TearDown();
    }
    // Both sources' readers stopped and joined, the link closed, all reset.
    static void stopTraffic() {
        gf_stopRTAppReaders();
        gf_closeRTDirect(true);
        gf_stopAndJoin(g_weatherReaderThread);
        gf_stopAndJoin(g_trafficReaderThread);
        g_rtAppServer.closeAll();
        gf_resetRTAppReaders();
        g_qnhReader.clearState(true);
        g_rtConnected.store(false);
        gf_clearStopMailbox();
    }
};

TEST_F(StartPathsThreads, TheRTAppPathLinksStartsItsReadersAndAsksForParkedTrafficOnlyAtAParkAirport) {
    struct Row {
        bool serverHere, aerowinx, onGround, bufferSent, professionalAfter;
    };
    parkAirport = ParkAirportSpot{IcaoCode("EDDF"), LaLo{50.03, 8.57}};
    for (const Row row : {Row{true, false, true, true, true}, Row{true, false, false, false, true},
                          Row{false, false, true, false, true}, Row{true, true, false, false, false}}) {
        SCOPED_TRACE(fmt::format("server {} aerowinx {} ground {}", row.serverHere, row.aerowinx, row.onGround));
        stopTraffic();
        const std::uint16_t port = freeTcpPort();
        PORT_NUMBER.setValue(std::to_string(port));
        PSX_SERVER_HERE.setValue(row.serverHere);
        AEROWINX.setValue(row.aerowinx);
        g_rtProfessional.store(true);
        placeUser(row.onGround);
        g_simTimeEpoch.store(1'700'000'000);
        taken();
        newLogLines();
        // The buffer the peer sends is waited for however slow the machine.
        clock.duringSleep = [&row](SteadyTime) {
            if (row.bufferSent) eventually([] { return g_trafficReader.bufferReceived.load(); });
        };
        auto path = std::async(std::launch::async, [] { return lf_startRTApp(); });
        RTAppPeer peer;
        const bool linked = peer.connect(port, row.serverHere && !row.aerowinx ? 5000ms : 300ms);
        EXPECT_EQ(linked, row.serverHere && !row.aerowinx);
        if (linked && row.bufferSent) {
            ASSERT_TRUE(peer.waitForLine("Qs999=sendbuffer"));
            ASSERT_TRUE(peer.sendLines(g_trafficReader.boundPort(), {"RTBUF_EOT"}));
        }
        ASSERT_EQ(path.wait_for(kHangGuard), std::future_status::ready);
        EXPECT_TRUE(path.get());
        const std::string log = newLogLines();
        EXPECT_TRUE(g_rtConnected.load());
        EXPECT_EQ(g_rtProfessional.load(), row.professionalAfter);
        EXPECT_EQ(taken().front(), "scan");
        EXPECT_FALSE(gf_isTrafficDeliveryEnabled());
        EXPECT_EQ(log.find("==> Time out: no buffer traffic received?") != std::string::npos, !row.bufferSent);
        EXPECT_EQ(log.find("user not at an airport, no RT parked Traffic needed") != std::string::npos, !row.onGround);
        if (linked) {
            // The simulator's epoch time in milliseconds, the user's position, the buffer.
            EXPECT_TRUE(peer.waitForLine("Qs123=1700000000000\r\n", 0ms));
            EXPECT_TRUE(peer.waitForLine("Qs121=", 0ms));
            EXPECT_TRUE(peer.waitForLine("Qs999=sendbuffer", 0ms));
            EXPECT_EQ(peer.waitForLine("Qs999=sendparked", 0ms).has_value(), row.onGround);
        }
    }
}

TEST_F(StartPathsThreads, AStopDuringTheBufferWaitEndsTheRTAppPathAtOnce) {
    PSX_SERVER_HERE.setValue(false);
    clock.duringSleep = [](SteadyTime) { requestStop(StopReason::UserClosedSim, 0); };
    EXPECT_FALSE(lf_startRTApp());
    EXPECT_EQ(clock.sleeps.load(), 1);
    EXPECT_FALSE(logHas("Time out"));
}

class RTDirectPathThreads : public StartPathsThreads {
protected:
    void SetUp() override {
        StartPathsThreads::SetUp();
        env.set("TAVO_RT_API_URL", api.baseUrl());
        g_rtCredential = "ABCD-1234";
        useRTApp(false);
        api.setDefaultReply("/v6/traffic", FakeRtApi::json(FakeRtApi::envelope(200, "OK", nlohmann::json::object(),
                                                                               {{"rrl", 100}})));
        // Once the readers run, the clock moves on only after the traffic
        // reader's loop began (or the run stopped).
        clock.duringSleep = [](SteadyTime) { waitForReaderLoop(); };
    }
    static void waitForReaderLoop() {
        if (g_trafficReaderThread.joinable())
            eventually([] { return gf_rtApiTrafficReader().loopRunning.load() || !keepRunning(); });
    }
    FakeRtApi api;
    ScopedEnv env;
};

TEST_F(RTDirectPathThreads, WithoutTrafficInTheRegionTheRunGoesOnOnceTheReaderLoopRuns) {
    KEEP_SIM_TIME_PAR.setValue(true);
    placeUser(true);
    ASSERT_TRUE(lf_startRTDirect());
    EXPECT_EQ(api.requestCount("/v6/auth"), 1u);
    EXPECT_TRUE(logHas("No traffic in this region"));
    EXPECT_FALSE(logHas("RTAPI TrafficReader receiving timed out after 10 seconds?"));
    EXPECT_EQ(pendingStop(), "none");
    // A standard licence has no time sync: the shift and the kept sim time go.
    EXPECT_FALSE(KEEP_SIM_TIME_PAR.value());
    EXPECT_FALSE(checked(KEEP_SIM_TIME_PAR.controlId));
    EXPECT_NE(std::find(saves().begin(), saves().end(), "KEEP_SIM_TIME_PAR=0"), saves().end());
}

TEST_F(RTDirectPathThreads, AMissingUserPositionIsWaitedForSixtySecondsAndAStopEndsTheWaitAtOnce) {
    for (const bool stop : {false, true}) {
        stopTraffic();
        gf_resetUserAircraft();
        gf_publishUserAircraftState(UserAircraftState{});
        clock.duringSleep = [stop](SteadyTime) {
            if (stop) requestStop(StopReason::UserClosedSim, 0);
            waitForReaderLoop();
        };
        const SteadyTime start = clock.now();
        newLogLines();
        EXPECT_EQ(lf_startRTDirect(), !stop);
        const std::string log = newLogLines();
        EXPECT_EQ(log.find("position still not valid after 60 seconds, continuing aborted") != std::string::npos, !stop);
        EXPECT_EQ(log.find("waiting for user aircraft position interrupted, program is stopping") != std::string::npos,
                  stop);
        EXPECT_EQ(api.requestCount("/v6/auth"), 1u);  // the run that waited logged in; the stopped one did not
        if (stop) {
            EXPECT_TRUE(clock.now() - start == 100ms);  // one step of the first poll
        }
    }
}

}  // namespace
}  // namespace tavo::test
