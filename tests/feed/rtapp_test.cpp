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

TEST(RTAppLines, UserPositionLineCarriesTheSevenFieldsInTheirUnits) {
    UserAircraftState state;
    state.pitch = 0.01;
    state.bank = -0.02;
    state.heading = 1.5;
    state.indicatedAltitude = 1000.0;
    state.groundVelocity = 150.0;
    state.latitude = 50.0;
    state.longitude = 8.0;
    EXPECT_EQ(gf_userPositionLine(state), "Qs121=-1000;-2000;1.500000;1000000;150000;0.872665;0.139626\r\n");

    // Nose down gives a positive first field; west and south give negative radians.
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

TEST_F(RTAppVersionTest, LevelTwoIsTheProfessionalEdition) {
    gf_processRTVersion(R"({"level":2,"version":"10.0.280"})");
    EXPECT_TRUE(g_rtProfessional.load());
    logText();
    EXPECT_EQ(gf_gui().trafficServiceInfo, "RT App prof edition: 10.0.280");

    gf_processRTVersion(R"({"level":1,"version":"9.1"})");
    EXPECT_FALSE(g_rtProfessional.load());
    logText();
    EXPECT_EQ(gf_gui().trafficServiceInfo, "RT App stnd edition: 9.1");
}

TEST_F(RTAppVersionTest, MissingMembersGiveStandardAndAnEmptyVersion) {
    g_rtProfessional.store(true);
    gf_processRTVersion("{}");
    EXPECT_FALSE(g_rtProfessional.load());
    logText();
    EXPECT_EQ(gf_gui().trafficServiceInfo, "RT App stnd edition: ");
}

TEST_F(RTAppVersionTest, ReplyThatIsNoObjectClearsTheServiceLineQuietly) {
    gf_gui().trafficServiceInfo = "old";
    g_rtProfessional.store(true);
    gf_processRTVersion("[2, \"10.0\"]");
    EXPECT_FALSE(g_rtProfessional.load());
    const std::string log = logText();
    EXPECT_EQ(gf_gui().trafficServiceInfo, "");
    EXPECT_EQ(log.find("JSON parse failed"), std::string::npos);
}

TEST_F(RTAppVersionTest, BadJsonOrBadValuesAreLoggedAndTakenAsStandard) {
    for (const std::string reply : {"not json at all", R"({"level":"2","version":"x"})", R"({"level":2,"version":7})",
                                    R"({"level":2.0,"version":"x"})"}) {
        g_rtProfessional.store(true);
        gf_gui().trafficServiceInfo = "old";
        gf_processRTVersion(reply);
        EXPECT_FALSE(g_rtProfessional.load()) << reply;
        logText();
        EXPECT_EQ(gf_gui().trafficServiceInfo, "") << reply;
    }
    const std::string log = logText();
    std::size_t count = 0;
    for (std::size_t at = log.find("lf_processRTVersion: JSON parse failed: "); at != std::string::npos;
         at = log.find("lf_processRTVersion: JSON parse failed: ", at + 1))
        ++count;
    EXPECT_EQ(count, 4u);
}

TEST_F(RTAppVersionTest, EmptyReplyAsksWhetherAVersionCame) {
    g_rtProfessional.store(true);
    gf_processRTVersion("");
    EXPECT_FALSE(g_rtProfessional.load());
    EXPECT_NE(logText().find("No RealTraffic version received?"), std::string::npos);
}

class RTAppSettingsTest : public RTAppLinkTest {};

TEST_F(RTAppSettingsTest, LinkRunsOnlyWithServerHereAndWithoutAerowinx) {
    EXPECT_TRUE(gf_rtAppTcpLinkWanted());
    AEROWINX.setValue(true);
    EXPECT_FALSE(gf_rtAppTcpLinkWanted());
    PSX_SERVER_HERE.setValue(false);
    EXPECT_FALSE(gf_rtAppTcpLinkWanted());
    AEROWINX.setValue(false);
    EXPECT_FALSE(gf_rtAppTcpLinkWanted());
}

TEST_F(RTAppSettingsTest, WithoutServerHereTheSourceIsConnectedAndNothingListens) {
    PSX_SERVER_HERE.setValue(false);
    gf_openRTAppLink();
    EXPECT_TRUE(g_rtConnected.load());
    EXPECT_FALSE(g_rtAppServer.listenSocket().valid());

    gf_publishUserAircraftState(goldenState());
    gf_sendUserPosition();
    EXPECT_EQ(gf_pendingStopRequest(), nullptr);
    EXPECT_TRUE(g_rtConnected.load());
}

// With AEROWINX on there is no server. The position sender used to find it
// unconnected and post NEW SETTINGS at every start, restarting for ever.
TEST_F(RTAppSettingsTest, AerowinxMeansNoLinkAndNoRestartLoop) {
    AEROWINX.setValue(true);
    g_rtProfessional.store(true);
    gf_openRTAppLink();
    EXPECT_TRUE(g_rtConnected.load());
    EXPECT_FALSE(g_rtProfessional.load());
    EXPECT_FALSE(g_rtAppServer.listenSocket().valid());
    EXPECT_EQ(g_readerResets.load(), 0);

    gf_publishUserAircraftState(goldenState());
    for (int i = 0; i < 3; ++i) gf_sendUserPosition();
    EXPECT_EQ(gf_pendingStopRequest(), nullptr);
    EXPECT_TRUE(g_rtConnected.load());
    EXPECT_EQ(logText().find("RealTraffic App gone"), std::string::npos);
}

TEST_F(RTAppSettingsTest, ServerWithoutClientMeansTheAppIsGone) {
    g_rtConnected.store(true);
    // No position yet: nothing is judged.
    gf_sendUserPosition();
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
        FAIL() << "listen on a port text that names no port must throw";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "getaddrinfo failed with error 10109");
    }
    EXPECT_FALSE(g_rtAppServer.listenSocket().valid());

    const Socket taken = gf_openSocket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_TRUE(gf_bindIPv4(taken, port_));
    ASSERT_TRUE(gf_listenSocket(taken, 1));
    const std::size_t open = gf_openSocketCount();
    try {
        g_rtAppServer.listen(std::to_string(port_));
        FAIL() << "listen on a port in use must throw";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Bind failed at port " + std::to_string(port_) + " with error 10048 Address already in use");
    }
    // The socket of the failed attempt is not left open.
    EXPECT_EQ(gf_openSocketCount(), open);
    EXPECT_FALSE(g_rtAppServer.listenSocket().valid());
    gf_closeSocket(taken);
}

TEST_F(RTAppListenTest, ListeningAgainReplacesTheSocketOnTheSamePort) {
    g_rtAppServer.listen(std::to_string(port_));
    const Socket first = g_rtAppServer.listenSocket();
    EXPECT_EQ(g_rtAppServer.listenPort(), port_);
    const std::size_t open = gf_openSocketCount();
    g_rtAppServer.listen(std::to_string(port_));
    EXPECT_FALSE(g_rtAppServer.listenSocket() == first);
    EXPECT_EQ(g_rtAppServer.listenPort(), port_);
    EXPECT_EQ(gf_openSocketCount(), open);
    g_rtAppServer.closeAll();
    g_rtAppServer.closeAll();
    EXPECT_FALSE(g_rtAppServer.listenSocket().valid());
    EXPECT_FALSE(g_rtAppServer.waitForClient());
}

class RTAppUnconnectedTest : public RTAppLinkTest {};

TEST_F(RTAppUnconnectedTest, SendersFindNoClientAndSendNothing) {
    gf_publishUserAircraftState(goldenState());
    EXPECT_FALSE(g_rtAppServer.sendDataPacket("Qs123=1000\r\n"));
    gf_sendTimeOffset(5);
    EXPECT_EQ(g_rtAppServer.receive(0ms), "");
    g_rtAppServer.drainReceiveBuffer();

    // A buffer request that could not be sent is not left pending.
    EXPECT_FALSE(gf_requestBufferTraffic());
    EXPECT_FALSE(g_bufferRequestPending.load());
}

TEST_F(RTAppUnconnectedTest, ParkedRequestAlwaysEmptiesTheParkedLists) {
    gf_requestParkedTraffic();
    EXPECT_EQ(g_parkedClears.load(), 1);
    gf_setCurrentAirport(AirportListEntry{IcaoCode("EDDF"), {}, LaLo{50.033333, 8.570556}, 364});
    gf_requestParkedTraffic();
    EXPECT_EQ(g_parkedClears.load(), 2);
    gf_setRTAppReaderHooks({});
    gf_requestParkedTraffic();  // no reader registered: nothing to empty, no crash
    EXPECT_EQ(g_parkedClears.load(), 2);
}

}  // namespace
}  // namespace tavo::test
