// The AI pose stream: interpolation, track starts, publication and sending.

#include <cmath>
#include <numbers>

#include <gmock/gmock.h>

#include "foundation/geodesy.h"
#include "simlink_fixture.h"

using namespace tavo::test;

namespace {

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
    const std::int64_t newest = t0 + 40 * kMs;
    // Latitude rises 0.0001 degree per 10 ms sample.
    const auto series = [&] {
        AiPoseTrack track;
        for (int i = 0; i < 5; ++i) gf_mergePoseSample(track, {poseAt(50.0 + 0.0001 * i, 8.0), t0 + i * 10 * kMs});
        return track;
    };
    AiPoseTrack track = series();
    EXPECT_DOUBLE_EQ(gf_interpolateAiPosition(track, newest + 20 * kMs)->latitude, 50.0004);

    track = series();
    auto halfway = gf_interpolateAiPosition(track, newest + 5 * kMs);
    ASSERT_TRUE(halfway);
    // 15 ms before the newest sample: halfway between the second and third newest.
    EXPECT_NEAR(halfway->latitude, 50.00025, 1e-9);
    EXPECT_NEAR(halfway->trueAirspeed, 150.0, 1e-9);
    // Samples no longer needed were dropped: the one before the interval stays.
    EXPECT_EQ(track.samples.size(), 3u);
    EXPECT_DOUBLE_EQ(gf_interpolateAiPosition(track, t0)->latitude, track.samples.front().pose.latitude);

    AiPoseTrack empty;
    EXPECT_FALSE(gf_interpolateAiPosition(empty, newest));
    AiPoseTrack one = trackOf({{poseAt(1, 2), t0}});
    EXPECT_DOUBLE_EQ(gf_interpolateAiPosition(one, t0 + 1000 * kMs)->longitude, 2.0);
}

TEST(PoseInterpolation, GapsAndJumpsStartANewTrack) {
    const std::int64_t t0 = 100 * kMs;
    // A second sample after the first: kept (2) or the start of a new track (1).
    // 0.01 degree of latitude is about 1.11 km.
    const struct {
        AiPose pose;
        std::int64_t after;
        std::size_t kept;
    } cases[] = {{poseAt(50.0001, 8), 250 * kMs, 2}, {poseAt(50.0001, 8), 300 * kMs, 1},
                 {poseAt(50.008, 8), 10 * kMs, 2},   {poseAt(50.01, 8), 10 * kMs, 1},
                 {poseAt(50, 8, 3100), 10 * kMs, 1}, {poseAt(50, 8), 0, 1},
                 // Diagonal steps, judged by their great-circle distance
                 // (at 50 degrees a degree of longitude is about 71.5 km):
                 // 556 m, 987 m, 1030 m.
                 {poseAt(50.004, 8.004), 10 * kMs, 2},  {poseAt(50.0085, 8.004), 10 * kMs, 2},
                 {poseAt(50.0088, 8.0045), 10 * kMs, 1}};
    for (const auto& c : cases) {
        const AiPoseTrack t = trackOf({{poseAt(50, 8, 1000), t0}, {c.pose, t0 + c.after}});
        EXPECT_EQ(t.samples.size(), c.kept) << c.pose.latitude << " " << c.pose.altitude << " " << c.after;
    }
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

    // Across north, both ways round: the short way, kept within [0, 2 pi).
    // Three quarters of the way an eastward turn has passed 2 pi and a
    // westward one has gone below 0: both wrap.
    const struct {
        double from, to;
        std::int64_t at;  // the time played, after the first sample
        double heading;
    } turns[] = {
        {6.2, 0.1, 5 * kMs, 0.0084073464}, {0.1, 6.2, 5 * kMs, 0.0084073464},
        {6.2, 0.1, 7'500'000, 0.054203673}, {0.1, 6.2, 7'500'000, 6.245796327},  // west across north
        {0.3, 0.1, 7'500'000, 0.15},  {6.0, 6.2, 2'500'000, 6.05},
    };
    for (const auto& turn : turns) {
        AiPoseTrack t =
            trackOf({{poseAt(50, 8, 1000, turn.from), t0}, {poseAt(50, 8, 1000, turn.to), t0 + 10 * kMs}});
        auto h = gf_interpolateAiPosition(t, t0 + 20 * kMs + turn.at);
        ASSERT_TRUE(h);
        EXPECT_NEAR(h->heading, turn.heading, 1e-6) << turn.from << " to " << turn.to;
        EXPECT_TRUE(h->heading >= 0.0 && h->heading < fullCircle) << h->heading;
    }
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

}  // namespace
