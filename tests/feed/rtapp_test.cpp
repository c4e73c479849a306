// The RT App link without an application on the other end: the Qs121 line,
// the version reply, the settings that switch the link off, the listen
// errors, and what the senders do while nobody is connected.

#include <string>

#include <gtest/gtest.h>
#include <netinet/in.h>

#include "rtapp_fixture.h"

namespace tavo::test {
namespace {

using namespace std::chrono_literals;

TEST_F(RTAppLinkTest, UserPositionLineCarriesTheSevenFieldsInTheirUnits) {
    EXPECT_EQ(gf_userPositionLine(goldenState()),
              "Qs121=-1000;-2000;1.500000;1000000;150000;0.872665;0.139626\r\n");
    // Nose down gives a positive first field; west and south give negative radians.
    UserAircraftState state;
    state.pitch = -0.05;
    state.bank = 0.3;
    state.heading = 6.2;
    state.indicatedAltitude = 35000.4;
    state.groundVelocity = 480.25;
    state.latitude = -33.9;
    state.longitude = -118.4;
    EXPECT_EQ(gf_userPositionLine(state), "Qs121=5000;30000;6.200000;35000400;480250;-0.591667;-2.066470\r\n");
}

class RTAppVersionTest : public RTAppLinkTest {};

TEST_F(RTAppVersionTest, ReplyGivesTheEditionAndTheServiceLine) {
    const struct {
        const char* reply;
        bool professional;
        const char* serviceLine;
        bool parseFailure;
    } cases[] = {
        {R"({"level":2,"version":"10.0.280"})", true, "RT App prof edition: 10.0.280", false},
        {R"({"level":1,"version":"9.1"})", false, "RT App stnd edition: 9.1", false},
        {"{}", false, "RT App stnd edition: ", false},
        {"[2, \"10.0\"]", false, "", false},  // no object: cleared quietly
        {"not json at all", false, "", true},
        {R"({"level":"2","version":"x"})", false, "", true},
        {R"({"level":2,"version":7})", false, "", true},
        {R"({"level":2.0,"version":"x"})", false, "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        g_rtProfessional.store(!c.professional);
        gf_gui().trafficServiceInfo = "old";
        newLogLines();
        gf_processRTVersion(c.reply);
        EXPECT_EQ(g_rtProfessional.load(), c.professional);
        logText();
        EXPECT_EQ(gf_gui().trafficServiceInfo, c.serviceLine);
        EXPECT_EQ(newLogLines().find("lf_processRTVersion: JSON parse failed: ") != std::string::npos, c.parseFailure);
    }
    gf_processRTVersion("");
    EXPECT_FALSE(g_rtProfessional.load());
    EXPECT_NE(logText().find("No RealTraffic version received?"), std::string::npos);
}

class RTAppSettingsTest : public RTAppLinkTest {};

// With AEROWINX on there is no server. The position sender used to find it
// unconnected and post NEW SETTINGS at every start, restarting for ever.
TEST_F(RTAppSettingsTest, WithoutServerHereOrWithAerowinxThereIsNoLinkAndNoRestartLoop) {
    for (const bool aerowinx : {false, true}) {
        SCOPED_TRACE(aerowinx);
        PSX_SERVER_HERE.setValue(aerowinx);  // with AEROWINX the server is here, as by default
        AEROWINX.setValue(aerowinx);
        g_rtProfessional.store(true);
        gf_openRTAppLink();
        EXPECT_TRUE(g_rtConnected.load());
        EXPECT_FALSE(g_rtAppServer.listenSocket().valid());
        EXPECT_EQ(g_readerResets.load(), 0);

        gf_publishUserAircraftState(goldenState());
        for (int i = 0; i < 3; ++i) gf_sendUserPosition();
        EXPECT_EQ(gf_pendingStopRequest(), nullptr);
        EXPECT_TRUE(g_rtConnected.load());
    }
    EXPECT_FALSE(g_rtProfessional.load()) << "with AEROWINX";
    EXPECT_EQ(logText().find("RealTraffic App gone"), std::string::npos);
}

TEST_F(RTAppSettingsTest, ServerWithoutClientMeansTheAppIsGone) {
    g_rtConnected.store(true);
    gf_sendUserPosition();  // no position yet: nothing is judged
    EXPECT_EQ(gf_pendingStopRequest(), nullptr);

    gf_publishUserAircraftState(goldenState());
    gf_sendUserPosition();
    const auto request = gf_pendingStopRequest();
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(request->reason, 3u);
    EXPECT_EQ(request->countdown, 0u);
    EXPECT_FALSE(g_rtConnected.load());
    EXPECT_NE(logText().find(" RealTraffic App gone"), std::string::npos);
}

class RTAppListenTest : public RTAppLinkTest {};

TEST_F(RTAppListenTest, ListenErrorsNameTheFailingStep) {
    try {
        g_rtAppServer.listen("no-such-service-here");
        ADD_FAILURE() << "listen on a port text that names no port must throw";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "getaddrinfo failed with error 10109");
    }

    const Socket taken = gf_openSocket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_TRUE(gf_bindIPv4(taken, port_));
    ASSERT_TRUE(gf_listenSocket(taken, 1));
    const std::size_t open = gf_openSocketCount();
    try {
        g_rtAppServer.listen(std::to_string(port_));
        ADD_FAILURE() << "listen on a port in use must throw";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Bind failed at port " + std::to_string(port_) + " with error 10048 Address already in use");
    }
    // The socket of the failed attempt is not left open.
    EXPECT_EQ(gf_openSocketCount(), open);
    EXPECT_FALSE(g_rtAppServer.listenSocket().valid());
    gf_closeSocket(taken);
}

TEST_F(RTAppLinkTest, WithoutAClientSendersSendNothingAndParkedListsAreEmptied) {
    gf_publishUserAircraftState(goldenState());
    EXPECT_FALSE(g_rtAppServer.sendDataPacket("Qs123=1000\r\n"));
    // A buffer request that could not be sent is not left pending.
    EXPECT_FALSE(gf_requestBufferTraffic());
    EXPECT_FALSE(g_bufferRequestPending.load());

    gf_setCurrentAirport(AirportListEntry{IcaoCode("EDDF"), {}, LaLo{50.033333, 8.570556}, 364});
    gf_requestParkedTraffic();
    EXPECT_EQ(g_parkedClears.load(), 1);
    gf_setRTAppReaderHooks({});
    gf_requestParkedTraffic();  // no reader registered: nothing to empty, no crash
    EXPECT_EQ(g_parkedClears.load(), 1);
}

}  // namespace
}  // namespace tavo::test
