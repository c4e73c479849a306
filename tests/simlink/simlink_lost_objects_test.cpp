// Objects the link loses: one the simulator removes by itself gets no pose
// after its removal, and creates a lost connection never saw answered come
// back to the engine as lost.

#include <algorithm>

#include <gmock/gmock.h>

#include "simlink_fixture.h"

using namespace tavo::test;

namespace {

AiPose lf_poseAt(double lat) {
    AiPose p;
    p.latitude = lat;
    p.longitude = 8.0;
    p.altitude = 1000.0;
    return p;
}

std::size_t lf_posesSentTo(std::uint32_t objectId, const std::vector<SimCallRecord>& calls, std::size_t from = 0) {
    return static_cast<std::size_t>(std::count_if(calls.begin() + static_cast<std::ptrdiff_t>(from), calls.end(),
                                                  [&](const SimCallRecord& c) {
                                                      return c.call == SimCall::SetDataOnSimObject &&
                                                             c.id == DEFINITION_LATLONPIBAHEALVSTAS &&
                                                             c.id2 == objectId;
                                                  }));
}

class LostObjectsTest : public SimLinkTest {};

TEST_F(LostObjectsTest, AnObjectTheSimulatorRemovedGetsNoMorePoses) {
    connect();
    const auto id = createObject(0x510001);
    const auto other = createObject(0x510002);
    for (int i = 0; i < 3; ++i) {
        gf_stageAiPose(id, lf_poseAt(50.0 + 0.00001 * i));
        gf_stageAiPose(other, lf_poseAt(51.0));
        gf_publishStagedAiPoses(g_fakePoseNowNs + i * 10 * kMs);
    }
    frame();
    ASSERT_EQ(lf_posesSentTo(id, calls()), 1u);
    results();

    // Published before the link hears of the removal: dropped with it.
    gf_stageAiPose(id, lf_poseAt(50.0001));
    gf_publishStagedAiPoses(g_fakePoseNowNs + 30 * kMs);
    ASSERT_TRUE(gf_simModelRemoveAiObject(id));
    dispatch();
    gf_sendAiPositions();
    EXPECT_FALSE(gf_simLink().poseFrontBatch.contains(id));
    const auto removed = results();
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0].kind, SIM_RESULT_REMOVED);

    // The engine, not yet aware, publishes once more: five frames send
    // nothing to the removed id, and the other object keeps its poses.
    gf_stageAiPose(id, lf_poseAt(50.0002));
    gf_stageAiPose(other, lf_poseAt(51.0));
    gf_publishStagedAiPoses(g_fakePoseNowNs + 40 * kMs);
    const std::size_t from = calls().size();
    for (int i = 0; i < 5; ++i) frame();
    EXPECT_EQ(lf_posesSentTo(id, calls(), from), 0u);
    EXPECT_EQ(lf_posesSentTo(other, calls(), from), 5u);
    EXPECT_FALSE(gf_simLink().poseHistory.contains(id));
    EXPECT_NE(g_simState.load(), SIM_QUITTING);
}

TEST_F(LostObjectsTest, AReconnectionReportsTheCreatesItLostAndTheObjectsItHad) {
    connect();
    const auto owned = createObject(0x510003);
    results();
    gf_simModelSetAnswerDelay(5);
    SimCreateCommand create;
    create.position = {50.0, 8.0, 1000.0, 0, 0, 90.0, 0, 0};
    create.title = "Test Title";
    create.tailNumber = "D-LATE";
    const std::uint32_t firstRequest = gf_peekNextCreateRequestId();
    for (const std::uint32_t hexid : {0x510004u, 42u}) {
        create.hexid = hexid;
        gf_queueAiCreate(create);
    }
    frame();
    EXPECT_TRUE(results().empty()) << "no answer yet";

    SimConnect_Close(gf_simHandle());
    reopen();
    gf_forgetConnectionObjects();
    auto lost = results();
    std::stable_sort(lost.begin(), lost.end(), [](const SimCommand& a, const SimCommand& b) { return a.kind < b.kind; });
    ASSERT_EQ(lost.size(), 3u);
    EXPECT_EQ(lost[0].kind, SIM_RESULT_REMOVED);
    EXPECT_EQ(lost[0].objectId, owned);
    EXPECT_EQ(lost[1].kind, SIM_RESULT_CREATE_LOST);
    EXPECT_EQ(lost[1].hexid, 0x510004u);
    EXPECT_EQ(lost[1].payload[0], static_cast<double>(firstRequest));
    EXPECT_EQ(lost[2].kind, SIM_RESULT_CREATE_LOST);
    EXPECT_EQ(lost[2].hexid, 42u);
    EXPECT_EQ(lost[2].payload[0], static_cast<double>(firstRequest + 1));
    EXPECT_TRUE(gf_simLink().pendingCreates.empty());
    gf_forgetConnectionObjects();
    EXPECT_TRUE(results().empty()) << "reported once";
}

}  // namespace
