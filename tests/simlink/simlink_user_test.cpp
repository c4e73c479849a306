// The user aircraft: position, teleports, Zulu time, title, model and span.

#include <gmock/gmock.h>

#include "engine/services.h"
#include "engine/stands.h"
#include "liveries/code_tables.h"
#include "support/dbase_builder.h"
#include "support/stand_table.h"
#include "simlink_fixture.h"

using namespace tavo::test;
using ::testing::HasSubstr;

namespace {

class UserAircraftTest : public SimLinkTest {
protected:
    void SetUp() override {
        SimLinkTest::SetUp();
        tavo::test::resetToSmallDbase();
        tavo::test::clearStandTable();
    }
    void TearDown() override {
        tavo::test::clearStandTable();
        tavo::test::resetToSmallDbase();
        SimLinkTest::TearDown();
    }
    void placeUser(double lat, double lon, double altitude = 500, bool onGround = false) {
        SimUserAircraft user = gf_simModelUserAircraft();
        user.pose.latitudeDeg = lat;
        user.pose.longitudeDeg = lon;
        user.pose.altitudeFt = altitude;
        user.onGround = onGround;
        gf_simModelSetUserAircraft(user);
    }
    void askPosition() {
        gf_queueSimRequest(SIM_REQUEST_USER_POSITION);
        frame();
    }
    void askTitleAndModel(const std::string& title, const std::string& atcModel) {
        SimUserAircraft user = gf_simModelUserAircraft();
        user.title = title;
        user.atcModel = atcModel;
        gf_simModelSetUserAircraft(user);
        gf_queueSimRequest(SIM_REQUEST_USER_TITLE_AND_MODEL);
        frame();
    }
};

TEST_F(UserAircraftTest, PositionIsStoredAndATeleportAsksForANewFlight) {
    placeUser(50.0, 8.0, -15);
    connect();
    askPosition();
    auto state = gf_getUserAircraftState();
    EXPECT_DOUBLE_EQ(state.latitude, 50.0);
    EXPECT_DOUBLE_EQ(state.altitude, 0.0);  // below sea level is stored as 0
    EXPECT_EQ(gf_userObjectId(), gf_simModelUserObjectId());
    EXPECT_FALSE(gf_pendingStopRequest());  // the first reply is never a teleport

    placeUser(50.0 + 9.0 / 60.0, 8.0);  // 9 NM north
    askPosition();
    EXPECT_FALSE(gf_pendingStopRequest());
    placeUser(50.0 + 21.0 / 60.0, 8.0);  // 12 NM further
    askPosition();
    const auto stop = gf_pendingStopRequest();
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->reason, static_cast<std::uint32_t>(StopReason::NewFlight));
    EXPECT_EQ(countOccurrences(logText(), "Teleport\n"), 1u);
}

TEST_F(UserAircraftTest, ZuluTimeOnlyWithAValidDateAndTheProfessionalEdition) {
    placeUser(50.0, 8.0);
    connect();
    gf_simModelSetZuluFields(2024, 1, 0);
    askPosition();
    EXPECT_FALSE(gf_simTime());  // not the professional edition

    g_rtProfessional.store(true);
    askPosition();
    EXPECT_EQ(gf_simTime(), 1704067200);
    gf_simModelSetZuluFields(2024, 366, 0);
    askPosition();
    EXPECT_EQ(gf_simTime(), 1704067200 + 365 * 86400);
    gf_simModelSetZuluFields(2023, 366, 0);
    askPosition();
    askPosition();
    EXPECT_FALSE(gf_simTime());
    gf_simModelSetZuluFields(2024, 10, -5);
    askPosition();
    EXPECT_FALSE(gf_simTime());
    gf_simModelSetZuluFields(2024, 10, 86400);
    askPosition();
    EXPECT_FALSE(gf_simTime());
    const std::string log = logText();
    EXPECT_EQ(countOccurrences(log, "Invalid simulator Zulu time"), 1u);  // once until a valid time
    EXPECT_THAT(log, HasSubstr("==> Invalid simulator Zulu time: year=2023, day-of-year=366, seconds=0"));
    gf_simModelSetZuluFields(2000, 366, 86399);
    askPosition();
    EXPECT_EQ(gf_simTime(), 978307199);  // 2000 is a leap year: the last second of 2000
}

TEST_F(UserAircraftTest, OnGroundNeedsAPositionFirstAndAStandWithin20MetresIsShown) {
    placeUser(50.0, 8.0, 300, true);
    tavo::test::setStandTable({{"GATE A12", LaLo{50.0001, 8.0}}, {"GATE B1", LaLo{50.01, 8.0}}});
    connect();
    gf_queueSimRequest(SIM_REQUEST_USER_ON_GROUND);  // answered once a second from now on
    frame();
    gf_simModelSeconds(1);
    dispatch();
    // Before any position only the seen flag goes up.
    EXPECT_TRUE(g_userGroundDataSeen.exchange(false));
    EXPECT_EQ(g_userOnGroundState.load(), -1);
    askPosition();
    gf_simModelSeconds(2);
    dispatch();
    EXPECT_EQ(g_userOnGroundState.load(), 1);
    ASSERT_TRUE(g_userOnGround.load());
    EXPECT_EQ(countOccurrences(logText(), "User ground data: SIM ON GROUND=1"), 1u);
    askPosition();
    EXPECT_EQ(gf_gui().userStand, "GATE A12");
    placeUser(50.0005, 8.0, 300, true);  // about 55 m away
    askPosition();
    EXPECT_EQ(gf_gui().userStand, "");
}

TEST_F(UserAircraftTest, TitleIsCutTo48BytesAtACharacterBoundary) {
    connect();
    askTitleAndModel(std::string(60, 'T'), "B738");
    EXPECT_EQ(gf_userAircraftTitle(), std::string(48, 'T'));
    EXPECT_EQ(g_userInfoFlags.load() & 3, 3);
    askTitleAndModel(std::string(47, 'a') + "\xC3\xA9xyz", "B738");
    EXPECT_EQ(gf_userAircraftTitle(), std::string(47, 'a'));
    askTitleAndModel("", "B738");
    EXPECT_EQ(gf_userAircraftTitle(), std::string(47, 'a'));
    EXPECT_THAT(logText(), HasSubstr("! Title of your aircraft is empty?"));
}

TEST_F(UserAircraftTest, ModelGivesSpanAndCategory) {
    connect();
    askTitleAndModel("PMDG 737-800", "ATCCOM.AC_MODEL B738.0.text");
    EXPECT_NEAR(g_userHalfWingSpan.load(), 35.8 / 2 / 1852, 1e-12);
    EXPECT_EQ(g_userCategory.load(), Large);
    EXPECT_TRUE(gf_gui().userWingspanKnown);
    EXPECT_THAT(logText(),
                HasSubstr("SimConnect: User aircraft model: B738, half wing span: 17.9 meter, category: Large"));
}

TEST_F(UserAircraftTest, UnknownSpansFallBackToTheLargest) {
    connect();
    askTitleAndModel("Some Aircraft", "");
    EXPECT_DOUBLE_EQ(g_userHalfWingSpan.load(), gf_maxWingRadius());
    EXPECT_FALSE(gf_gui().userWingspanKnown);
    EXPECT_THAT(gf_gui().statusLine, HasSubstr("171: No model info"));

    askTitleAndModel("Aerosoft A320 Professional", "LONGMODEL");
    EXPECT_NEAR(g_userHalfWingSpan.load(), 35.8 / 2 / 1852, 1e-12);
    EXPECT_THAT(logText(), HasSubstr("SimConnect: User aircraft model deduced from title: A320"));

    askTitleAndModel("Drone", "camerapod");
    EXPECT_NEAR(g_userHalfWingSpan.load(), 28.72 / 2 / 1852, 1e-12);
    EXPECT_EQ(g_userCategory.load(), 0);

    // A model index beyond the database's table never gets a made-up span.
    for (int i = 0; gf_internModelCode(fmt::format("Z{}", i)) < 2700; ++i) {
    }
    askTitleAndModel("Unknown", "QQQQ");
    EXPECT_DOUBLE_EQ(g_userHalfWingSpan.load(), gf_maxWingRadius());
    EXPECT_LT(g_userHalfWingSpan.load(), 1.0);
}

}  // namespace
