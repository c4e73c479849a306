// The AI pose stream: interpolation, track starts, publication and sending.

#include <cmath>
#include <numbers>

#include <gmock/gmock.h>

#include "simlink_fixture.h"

using namespace tavo::test;

namespace {

constexpr std::int64_t kMs = 1'000'000;

AiPose poseAt(double lat, double lon, double alt = 1000.0, double heading = 0.0) {
    AiPose p;
    p.latitude = lat;
    p.longitude = lon;
    p.altitude = alt;
    p.heading = heading;
    p.pitch = 0.01;
    p.trueAirspeed = 150;
    return p;
}

AiPoseTrack trackOf(std::initializer_list<AiPositionSample> samples) {
    AiPoseTrack t;
    for (const auto& s : samples) gf_mergePoseSample(t, s);
    return t;
}

TEST(PoseInterpolation, PlaysTwentyMillisecondsBehindAndClampsAtTheEnds) {
    const std::int64_t t0 = 5'000 * kMs;
    // Latitude rises 0.0001 degree per 10 ms sample.
    AiPoseTrack track;
    for (int i = 0; i < 5; ++i) gf_mergePoseSample(track, {poseAt(50.0 + 0.0001 * i, 8.0), t0 + i * 10 * kMs});
    const std::int64_t newest = t0 + 40 * kMs;
    auto atNewestPlus20 = gf_interpolateAiPosition(track, newest + 20 * kMs);
    ASSERT_TRUE(atNewestPlus20);
    EXPECT_DOUBLE_EQ(atNewestPlus20->latitude, 50.0004);

    AiPoseTrack again;
    for (int i = 0; i < 5; ++i) gf_mergePoseSample(again, {poseAt(50.0 + 0.0001 * i, 8.0), t0 + i * 10 * kMs});
    auto halfway = gf_interpolateAiPosition(again, newest + 5 * kMs);
    ASSERT_TRUE(halfway);
    // 15 ms before the newest sample: halfway between the second and third newest.
    EXPECT_NEAR(halfway->latitude, 50.00025, 1e-9);
    EXPECT_NEAR(halfway->trueAirspeed, 150.0, 1e-9);
    // Samples no longer needed were dropped: the one before the interval stays.
    EXPECT_EQ(again.samples.size(), 3u);

    auto early = gf_interpolateAiPosition(again, t0);
    ASSERT_TRUE(early);
    EXPECT_DOUBLE_EQ(early->latitude, again.samples.front().pose.latitude);

    AiPoseTrack empty;
    EXPECT_FALSE(gf_interpolateAiPosition(empty, newest));
    AiPoseTrack one = trackOf({{poseAt(1, 2), t0}});
    EXPECT_DOUBLE_EQ(gf_interpolateAiPosition(one, t0 + 1000 * kMs)->longitude, 2.0);
}

TEST(PoseInterpolation, GapsAndJumpsStartANewTrack) {
    const std::int64_t t0 = 100 * kMs;
    AiPoseTrack gap = trackOf({{poseAt(50, 8), t0}, {poseAt(50.0001, 8), t0 + 10 * kMs}, {poseAt(50.0002, 8), t0 + 310 * kMs}});
    EXPECT_EQ(gap.samples.size(), 1u);
    AiPoseTrack exactly250 = trackOf({{poseAt(50, 8), t0}, {poseAt(50.0001, 8), t0 + 250 * kMs}});
    EXPECT_EQ(exactly250.samples.size(), 2u);
    // 0.01 degree of latitude is about 1.11 km.
    AiPoseTrack jump = trackOf({{poseAt(50, 8), t0}, {poseAt(50.01, 8), t0 + 10 * kMs}});
    EXPECT_EQ(jump.samples.size(), 1u);
    AiPoseTrack nearJump = trackOf({{poseAt(50, 8), t0}, {poseAt(50.008, 8), t0 + 10 * kMs}});
    EXPECT_EQ(nearJump.samples.size(), 2u);
    AiPoseTrack climb = trackOf({{poseAt(50, 8, 1000), t0}, {poseAt(50, 8, 3100), t0 + 10 * kMs}});
    EXPECT_EQ(climb.samples.size(), 1u);
    AiPoseTrack sameTime = trackOf({{poseAt(50, 8), t0}, {poseAt(50, 8), t0}});
    EXPECT_EQ(sameTime.samples.size(), 1u);
    AiPoseTrack many;
    for (int i = 0; i < 20; ++i) gf_mergePoseSample(many, {poseAt(50, 8), t0 + i * kMs});
    EXPECT_EQ(many.samples.size(), 16u);
    EXPECT_EQ(many.samples.front().timeNs, t0 + 4 * kMs);
}

TEST(PoseInterpolation, LongitudeAndHeadingTakeTheShortWay) {
    const std::int64_t t0 = 100 * kMs;
    // 179.9 to -179.9 is 0.2 degree (about 12 km at the equator, so near the pole).
    AiPoseTrack dateLine = trackOf({{poseAt(89.99, 179.9), t0}, {poseAt(89.99, -179.9), t0 + 10 * kMs}});
    ASSERT_EQ(dateLine.samples.size(), 2u);
    auto mid = gf_interpolateAiPosition(dateLine, t0 + 25 * kMs);
    ASSERT_TRUE(mid);
    EXPECT_NEAR(std::fabs(mid->longitude), 180.0, 1e-9);
    EXPECT_LE(std::fabs(mid->longitude), 180.0);

    AiPoseTrack north = trackOf({{poseAt(50, 8, 1000, 6.2), t0}, {poseAt(50, 8, 1000, 0.1), t0 + 10 * kMs}});
    auto h = gf_interpolateAiPosition(north, t0 + 25 * kMs);
    ASSERT_TRUE(h);
    EXPECT_NEAR(h->heading, std::fmod(6.2 + std::remainder(0.1 - 6.2, 2 * std::numbers::pi) / 2, 2 * std::numbers::pi),
                1e-12);
    EXPECT_NEAR(h->heading, 0.0084, 0.0001);

    AiPoseTrack back = trackOf({{poseAt(50, 8, 1000, 0.1), t0}, {poseAt(50, 8, 1000, 6.2), t0 + 10 * kMs}});
    auto b = gf_interpolateAiPosition(back, t0 + 25 * kMs);
    ASSERT_TRUE(b);
    EXPECT_NEAR(b->heading, 0.0084, 0.0001);
    EXPECT_GE(b->heading, 0.0);
}

using PoseStreamTest = SimLinkTest;

TEST_F(PoseStreamTest, PublicationKeepsTheNewestSixteenAndFramesSendThem) {
    connect();
    const auto id = createObject(0x400001);
    gf_simLink().userObjectId.store(gf_simModelUserObjectId());
    const std::int64_t t0 = g_fakePoseNowNs;
    for (int i = 0; i < 20; ++i) {
        gf_stageAiPose(id, poseAt(50.0 + 0.00001 * i, 8.0));
        gf_publishStagedAiPoses(t0 + i * 10 * kMs);
    }
    g_fakePoseNowNs = t0 + 19 * 10 * kMs + 20 * kMs;  // exactly the newest sample's playback time
    frame();
    const auto& track = gf_simLink().poseHistory.at(id);
    EXPECT_LE(track.samples.size(), 16u);
    const auto info = gf_simModelObject(id);
    ASSERT_TRUE(info);
    EXPECT_NEAR(info->pose.latitudeDeg, 50.00019, 1e-9);
    EXPECT_NEAR(info->pose.trueAirspeedKt, 150.0, 1e-9);
    EXPECT_TRUE(gf_simLink().lastAiPoseUpdate.valid);
    EXPECT_EQ(gf_simLink().lastAiPoseUpdate.objectId, id);

    // Without new samples every frame sends the newest pose again.
    const auto before = gf_simModelJournal(id).size();
    frame();
    EXPECT_EQ(gf_simModelJournal(id).size(), before + 1);

    // The user's own aircraft never gets an AI pose.
    gf_stageAiPose(gf_simModelUserObjectId(), poseAt(10, 10));
    gf_publishStagedAiPoses(g_fakePoseNowNs);
    const auto userBefore = gf_simModelJournal(gf_simModelUserObjectId()).size();
    frame();
    EXPECT_EQ(gf_simModelJournal(gf_simModelUserObjectId()).size(), userBefore);
}

TEST_F(PoseStreamTest, RemovalAndClearingForgetPoses) {
    connect();
    const auto a = createObject(0x400002);
    const auto b = createObject(0x400003);
    gf_stageAiPose(a, poseAt(50, 8));
    gf_stageAiPose(b, poseAt(51, 8));
    gf_publishStagedAiPoses(g_fakePoseNowNs);
    gf_stageAiPose(a, poseAt(50, 8));  // staged again, then removed in the same tick
    gf_removeAiAircraft(a);
    gf_publishStagedAiPoses(g_fakePoseNowNs + 10 * kMs);
    frame();
    EXPECT_FALSE(gf_simLink().poseHistory.contains(a));
    EXPECT_TRUE(gf_simLink().poseHistory.contains(b));

    gf_clearAiPoseStream();
    frame();
    EXPECT_TRUE(gf_simLink().poseHistory.empty());
}

TEST_F(PoseStreamTest, FailedPoseCallEndsTheFrameWithTheDecimalObjectId) {
    selectSimulator(SimVersion::MSFS2024);
    connect(SimVersion::MSFS2024);
    const auto id = createObject(0x400004);
    gf_simModelAddCallFault({SimCall::SetDataOnSimObject, 1});
    gf_stageAiPose(id, poseAt(50, 8));
    gf_publishStagedAiPoses(g_fakePoseNowNs);
    frame();
    EXPECT_EQ(g_simState.load(), SIM_QUITTING);
    EXPECT_THAT(readLogFile(),
                ::testing::HasSubstr(fmt::format("SimConnect_SetDataOnSimObject batch failed, objectid: {}", id)));
    EXPECT_EQ(gf_simLink().lastAiPoseUpdate.result, E_FAIL);
    gf_logAiPositionDiagnostics();
    EXPECT_THAT(readLogFile(), ::testing::HasSubstr(fmt::format(
                                   "tailnumber='D-TEST', objectid={:x}, result=0x80004005, position=50.000000,8.000000",
                                   id)));
}

}  // namespace
