// The pose stream between the engine thread and the simulator thread.

#include <chrono>
#include <future>
#include <thread>

#include <gmock/gmock.h>

#include "simlink_fixture.h"

using namespace tavo::test;

namespace {

using PoseThreadsTest = SimLinkTest;

TEST_F(PoseThreadsTest, ABusyLockNeverBlocksAFrame) {
    connect();
    const auto id = createObject(0x410001);
    AiPose p;
    p.latitude = 50;
    p.longitude = 8;
    gf_stageAiPose(id, p);
    gf_publishStagedAiPoses(g_fakePoseNowNs);
    frame();
    ASSERT_TRUE(gf_simLink().poseHistory.contains(id));

    // The engine stages a new pose and holds the lock (as during its publication).
    p.latitude = 50.0001;
    gf_stageAiPose(id, p);
    gf_publishStagedAiPoses(g_fakePoseNowNs + 10 * kMs);
    std::promise<void> locked;
    std::promise<void> release;
    std::thread engine([&] {
        auto lock = gf_lockAiPositions();
        locked.set_value();
        release.get_future().wait();
    });
    locked.get_future().wait();
    const auto before = gf_simModelJournal(id).size();
    const auto start = std::chrono::steady_clock::now();
    gf_sendAiPositions();
    const auto took = std::chrono::steady_clock::now() - start;
    release.set_value();
    engine.join();
    EXPECT_LT(took, std::chrono::milliseconds(50));
    // Only the existing track was sent: one sample, the old pose.
    EXPECT_EQ(gf_simModelJournal(id).size(), before + 1);
    EXPECT_EQ(gf_simLink().poseHistory.at(id).samples.size(), 1u);
    // The next frame takes what the engine published meanwhile.
    gf_sendAiPositions();
    EXPECT_EQ(gf_simLink().poseHistory.at(id).samples.size(), 2u);
}

TEST_F(PoseThreadsTest, EnginePublishesWhileFramesSend) {
    connect();
    std::vector<std::uint32_t> ids;
    for (std::uint32_t i = 0; i < 8; ++i) ids.push_back(createObject(0x420000 + i));
    gf_setPoseClock(nullptr);
    std::atomic<bool> done{false};
    std::thread engine([&] {
        for (int tick = 0; tick < 300; ++tick) {
            for (std::size_t i = 0; i < ids.size(); ++i) {
                if (i == 0 && tick >= 150) continue;
                AiPose p;
                p.latitude = 50 + 0.000001 * tick;
                p.longitude = 8 + 0.01 * static_cast<double>(i);
                gf_stageAiPose(ids[i], p);
            }
            if (tick == 150) gf_removeAiAircraft(ids[0]);
            gf_publishStagedAiPoses(gf_poseClockNow());
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        done.store(true);
    });
    std::size_t frames = 0;
    while (!done.load()) {
        gf_sendAiPositions();
        gf_processFrameCommands();
        ++frames;
    }
    engine.join();
    gf_sendAiPositions();
    EXPECT_GT(frames, 0u);
    EXPECT_NE(g_simState.load(), SIM_QUITTING);
    for (std::size_t i = 1; i < ids.size(); ++i) {
        const auto info = gf_simModelObject(ids[i]);
        ASSERT_TRUE(info);
        EXPECT_NEAR(info->pose.longitudeDeg, 8 + 0.01 * static_cast<double>(i), 1e-9);
    }
}

// Another thread (the feed's or the shell's) removes aircraft while the
// engine stages the poses of its tick: the staging map is changed by both, so
// staging and forgetting must share its lock. Both threads start together and
// keep at it for a while, so that their accesses interleave for certain.
TEST_F(PoseThreadsTest, ARemovalFromAnotherThreadWhileTheEngineStages) {
    constexpr std::uint32_t kObjects = 64;
    constexpr int kRounds = 400;
    // Poses go only to objects the connection owns.
    for (std::uint32_t id = 1; id <= kObjects; ++id) gf_simLink().ownedObjects.insert(id);
    std::atomic<int> ready{0};
    const auto together = [&ready] {
        ready.fetch_add(1);
        while (ready.load() < 2) std::this_thread::yield();
    };
    std::thread engine([&] {
        together();
        AiPose p;
        p.latitude = 50;
        p.longitude = 8;
        for (int round = 0; round < kRounds; ++round) {
            for (std::uint32_t id = 1; id <= kObjects; ++id) gf_stageAiPose(id, p);
            if (round % 50 == 49) gf_publishStagedAiPoses(g_fakePoseNowNs + round * kMs);
        }
    });
    std::thread remover([&] {
        together();
        for (int round = 0; round < kRounds; ++round)
            for (std::uint32_t id = 1; id <= kObjects; id += 3) gf_removeAiAircraft(id);
    });
    engine.join();
    remover.join();
    // Every object the remover left alone reaches the simulator thread's
    // tracks with the engine's last publication.
    gf_publishStagedAiPoses(g_fakePoseNowNs + kRounds * kMs);
    gf_sendAiPositions();
    for (std::uint32_t id = 1; id <= kObjects; ++id)
        if (id % 3 != 1) {
            EXPECT_TRUE(gf_simLink().poseHistory.contains(id)) << id;
        }
}

}  // namespace
