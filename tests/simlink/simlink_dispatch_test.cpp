// Dispatch of the simulator's records into state and engine results.

#include <set>

#include <gmock/gmock.h>

#include "foundation/text.h"
#include "simlink_fixture.h"

using namespace tavo::test;
using ::testing::HasSubstr;

namespace {

class DispatchTest : public SimLinkTest {
protected:
    // Connects with the user aircraft at 50N 8E, known to the link by its id.
    void connectWithTheUserAt50N8E() {
        SimUserAircraft user;
        user.pose.latitudeDeg = 50.0;
        user.pose.longitudeDeg = 8.0;
        gf_simModelSetUserAircraft(user);
        connect();
        gf_simLink().userObjectId.store(gf_simModelUserObjectId());
    }
};

SimTrafficAircraft trafficAt(double aglFt, const std::string& atcId = "FRGN1") {
    SimTrafficAircraft t;
    t.atcId = atcId;
    t.pose.latitudeDeg = 50.001;
    t.pose.longitudeDeg = 8.001;
    t.pose.altitudeFt = aglFt;  // terrain is 0
    return t;
}

TEST_F(DispatchTest, AircraftWithinRangeAreReportedBelow2500FeetOnly) {
    connectWithTheUserAt50N8E();
    const auto low = gf_simModelAddTraffic(trafficAt(2400));
    gf_simModelAddTraffic(trafficAt(2600, "HIGH1"));
    gf_simModelAddTraffic(trafficAt(100, ""));  // no ATC id
    const auto ownLive = createObject(0x880001);
    const auto ownParked = createObject(77);
    SimPose livePose;
    livePose.latitudeDeg = 50.002;
    livePose.longitudeDeg = 8.0;
    livePose.altitudeFt = 2400;
    gf_simModelSetObjectPose(ownLive, livePose, false);
    gf_simModelSetObjectPose(ownParked, SimPose{50.003, 8.0}, true);
    results();
    gf_queueSimRequest(SIM_REQUEST_AC_WITHIN_RANGE);
    frame();
    std::set<std::uint32_t> reported;
    for (const auto& r : results()) {
        ASSERT_EQ(r.kind, SIM_RESULT_GROUND_DATA);
        reported.insert(r.objectId);
        if (r.objectId == low) {
            EXPECT_EQ(r.hexid, 0u);
            EXPECT_DOUBLE_EQ(r.payload[0], 0.0);
            EXPECT_DOUBLE_EQ(r.payload[1], 2400.0);
        }
    }
    EXPECT_EQ(reported, (std::set<std::uint32_t>{low, ownLive}));
}

// A parked (static) aircraft gets no ground data; once the engine releases
// its id (it became a live aircraft), it does.
TEST_F(DispatchTest, AReleasedStaticIdGetsGroundDataAgain) {
    connectWithTheUserAt50N8E();
    const auto parked = createObject(78);
    gf_simModelSetObjectPose(parked, SimPose{50.003, 8.0}, true);
    const auto reportedNow = [&] {
        results();
        gf_queueSimRequest(SIM_REQUEST_AC_WITHIN_RANGE);
        frame();
        std::set<std::uint32_t> reported;
        for (const auto& r : results())
            if (r.kind == SIM_RESULT_GROUND_DATA) reported.insert(r.objectId);
        return reported;
    };
    EXPECT_FALSE(reportedNow().contains(parked));
    gf_releaseStaticObjectId(parked);
    EXPECT_TRUE(reportedNow().contains(parked));
    EXPECT_FALSE(gf_simLink().staticObjects.contains(parked));
}

TEST_F(DispatchTest, RemovalsOfAnyAircraftReachTheEngineAndForgetOwnTracks) {
    connect();
    const auto foreign = gf_simModelAddTraffic(trafficAt(1000));
    const auto own = createObject(0x880002);
    AiPose p;
    p.latitude = 50;
    p.longitude = 8;
    gf_stageAiPose(own, p);
    gf_publishStagedAiPoses(g_fakePoseNowNs);
    frame();
    ASSERT_TRUE(gf_simLink().poseHistory.contains(own));
    results();
    ASSERT_TRUE(gf_simModelRemoveTraffic(foreign));
    dispatch();
    // The simulator drops an own object by itself (as on a new flight).
    SimConnect_AIRemoveObject(gf_simHandle(), own, REQUEST_AI_REMOVE);
    dispatch();
    const auto r = results();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].kind, SIM_RESULT_REMOVED);
    EXPECT_EQ(r[0].objectId, foreign);
    EXPECT_EQ(r[1].objectId, own);
    EXPECT_FALSE(gf_simLink().ownedObjects.contains(own));
    EXPECT_FALSE(gf_simLink().poseHistory.contains(own));
    const auto sent = gf_simModelJournal(own).size();
    frame();
    EXPECT_EQ(gf_simModelJournal(own).size(), sent);
}

TEST_F(DispatchTest, ShortPayloadsAreRefusedWithTheirLine) {
    gf_simModelAddTitle({"CG Title", "A320", 7.5, 0.02});
    connect();
    const auto id = createObject(0x880003, "CG Title");
    gf_simModelAddRecordFault({SIMCONNECT_RECV_ID_SIMOBJECT_DATA, REQUEST_AI_STATIC_CG, 50, 1});
    gf_simModelAddRecordFault({SIMCONNECT_RECV_ID_SIMOBJECT_DATA, REQUEST_AI_INITIAL_POSE, 103, 1});
    gf_requestAiStaticCg(id);
    gf_requestAiInitialPose(id);
    frame();
    EXPECT_TRUE(results().empty());
    const std::string log = logText();
    EXPECT_THAT(log, HasSubstr("==> SimConnect AI_STATIC_CG_AND_PITCH payload too small: 50 < 56 bytes"));
    EXPECT_THAT(log, HasSubstr("==> SimConnect AI_INITIAL_POSE payload too small: 103 < 104 bytes"));
    gf_simModelQueueRawRecord("TAVO", std::vector<std::byte>(8));
    dispatch();
    EXPECT_THAT(logText(), HasSubstr("SimConnect RECV payload too small: 8 < 12 bytes"));
}

TEST_F(DispatchTest, ExceptionsAndUnknownRecords) {
    connect();
    gf_simModelSendException("TAVO", SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS, 1, 0);
    gf_simModelSendException("TAVO", 99, 1, 0);
    std::vector<std::byte> unknown(12);
    unknown[0] = std::byte{12};
    unknown[8] = std::byte{42};
    gf_simModelQueueRawRecord("TAVO", unknown);
    dispatch();
    EXPECT_EQ(gf_gui().statusLine, "SimConnect: too many objects (max 1000)");
    const std::string log = logText();
    EXPECT_THAT(log, HasSubstr("==> SIMCONNECT_EXCEPTION #99"));
    EXPECT_THAT(log, HasSubstr("! Unknown Dispatch dwID 42"));
    gf_simModelSendException("TAVO", SIMCONNECT_EXCEPTION_VERSION_MISMATCH, 1, 7);
    try {
        dispatch();
        ADD_FAILURE() << "version mismatch must end the thread";
    } catch (const tavo::UserRelatedException& e) {
        EXPECT_EQ(e.code, 95);
        EXPECT_THAT(e.what(), HasSubstr("SimConnect Version Mismatch, dwIndex: 7"));
    }
}

TEST_F(DispatchTest, TheOtherSimulatorSetsQuitAndMismatch) {
    g_userSwitchedSim.store(true);
    gf_simModelSetApplicationName(std::nullopt);
    connect(SimVersion::MSFS2024);  // MSFS 2020 is selected
    EXPECT_TRUE(context.quit);
    EXPECT_TRUE(context.simulatorMismatch);
    EXPECT_TRUE(g_userSwitchedSim.load());  // cleared only by a matching simulator
    EXPECT_EQ(gf_gui().simulatorName, "");
}

}  // namespace
