// The simulator removes objects while the engine stages and publishes their
// poses: the SimClient thread forgets the removed objects' poses while the
// engine thread writes them, so both must hold the pose locks for each change.

#include <latch>
#include <thread>

#include <gmock/gmock.h>

#include "simlink_fixture.h"

using namespace tavo::test;

namespace {

using LostObjectsThreadsTest = SimLinkTest;

TEST_F(LostObjectsThreadsTest, TheSimulatorRemovesObjectsWhileTheEngineStagesThem) {
    connect();
    std::vector<std::uint32_t> ids;
    for (std::uint32_t i = 0; i < 16; ++i) ids.push_back(createObject(0x520000 + i));
    results();
    constexpr int kRounds = 300;
    std::latch start(2);
    std::thread engine([&] {
        start.arrive_and_wait();
        for (int round = 0; round < kRounds; ++round) {
            for (std::size_t i = 0; i < ids.size(); ++i) {
                AiPose p;
                p.latitude = 50.0 + 0.000001 * round;
                p.longitude = 8.0 + 0.01 * static_cast<double>(i);
                gf_stageAiPose(ids[i], p);
            }
            gf_publishStagedAiPoses(g_fakePoseNowNs + round * kMs);
        }
    });
    std::thread simClient([&] {
        start.arrive_and_wait();
        for (std::size_t i = 0; i < ids.size(); i += 2) {
            gf_simModelRemoveAiObject(ids[i]);
            for (int k = 0; k < 20; ++k) {
                dispatch();
                gf_sendAiPositions();
            }
        }
    });
    engine.join();
    simClient.join();

    // One more publication of every object, as the engine would until it
    // handles the removals: only the objects still there get poses and tracks.
    for (const auto id : ids) gf_stageAiPose(id, AiPose{50.0, 8.0, 0, 0, 0, 0, 0, 0});
    gf_publishStagedAiPoses(g_fakePoseNowNs + kRounds * kMs);
    const auto before = gf_simModelConnection("TAVO").calls.size();
    gf_sendAiPositions();
    const auto calls = gf_simModelConnection("TAVO").calls;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const bool removed = i % 2 == 0;
        EXPECT_EQ(gf_simLink().poseHistory.contains(ids[i]), !removed) << i;
        const auto sent = std::count_if(calls.begin() + static_cast<std::ptrdiff_t>(before), calls.end(),
                                        [&](const SimCallRecord& c) {
                                            return c.call == SimCall::SetDataOnSimObject && c.id2 == ids[i];
                                        });
        EXPECT_EQ(sent, removed ? 0 : 1) << i;
    }
    const auto removals = results();
    EXPECT_EQ(removals.size(), ids.size() / 2);
}

}  // namespace
