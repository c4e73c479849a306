// Publications from many threads at once: no update is lost, readers always
// see whole records, and parameter values are safe to read while written.

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "settings_test_support.h"

namespace {

using tavo::test::SettingsTest;

constexpr int kThreads = 8;
constexpr int kRounds = 10000;

// Eight different integer fields; each thread counts its own up by one per
// publication, so a lost update shows as a count below kRounds.
std::int32_t SettingsSnapshot::*const kCounters[kThreads] = {
    &SettingsSnapshot::parking_percentage, &SettingsSnapshot::MAX_PARK_SEL,
    &SettingsSnapshot::MAX_LIVE_SEL,       &SettingsSnapshot::MATCHING_DEPTH,
    &SettingsSnapshot::TCAS_FL,            &SettingsSnapshot::AIRP_RANGE,
    &SettingsSnapshot::AIRP_HEIGHT,        &SettingsSnapshot::TIME_SHIFT_MINS,
};

TEST_F(SettingsTest, EightThreadsPublishingDifferentFieldsLoseNoUpdate) {
    gf_updateSettings([](SettingsSnapshot& s) {
        for (auto field : kCounters) s.*field = 0;
    });
    std::atomic<bool> go{false};
    std::atomic<bool> readerSawBackwards{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            while (!go.load()) std::this_thread::yield();
            for (int i = 0; i < kRounds; ++i) {
                gf_updateSettings([t](SettingsSnapshot& s) { s.*kCounters[t] += 1; });
            }
        });
    }
    // A reader that checks that no counter ever goes back.
    std::thread reader([&] {
        std::int32_t last[kThreads] = {};
        while (!go.load()) std::this_thread::yield();
        for (int i = 0; i < 20000; ++i) {
            const SettingsSnapshotPtr s = settingsSnapshot.load();
            for (int t = 0; t < kThreads; ++t) {
                if (s.get()->*kCounters[t] < last[t]) readerSawBackwards.store(true);
                last[t] = s.get()->*kCounters[t];
            }
        }
    });
    go.store(true);
    for (auto& th : threads) th.join();
    reader.join();
    const SettingsSnapshotPtr final = settingsSnapshot.load();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(final.get()->*kCounters[t], kRounds) << "thread " << t;
    EXPECT_FALSE(readerSawBackwards.load());
}

TEST_F(SettingsTest, PublishAllDoesNotSwallowAConcurrentAdoption) {
    BLOCK_AIRCRAFT.setValue("AAL1, N123, a00001");
    BLOCK_HEXIDDEC.set(0xa00001);
    gf_publishAllParameters();
    std::atomic<bool> go{false};
    std::thread adopter([&] {
        while (!go.load()) std::this_thread::yield();
        for (std::uint32_t i = 1; i <= 3000; ++i) gf_adoptBlockedHexidRegcode(0xa00000 + i, "N123");
    });
    std::thread publisher([&] {
        while (!go.load()) std::this_thread::yield();
        for (int i = 0; i < 3000; ++i) gf_publishAllParameters();
    });
    go.store(true);
    adopter.join();
    publisher.join();
    // The adoption's last hexid survives every whole-record publication.
    EXPECT_EQ(settingsSnapshot.load()->blocked.BLOCK_HEXIDDEC, 0xa00000 + 3000);
}

TEST_F(SettingsTest, TextParametersAreSafeToReadWhileAnotherThreadWritesThem) {
    const std::string a(200, 'a');
    const std::string b(300, 'b');
    std::atomic<bool> torn{false};
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i) {
            DESTINATION.setValue(i % 2 ? a : b);
            MSFS_INSTALL_PATH.setValue(i % 2 ? a : b);
        }
    });
    std::thread reader([&] {
        for (int i = 0; i < 20000; ++i) {
            const std::string v = DESTINATION.value();
            const std::string p = MSFS_INSTALL_PATH.value().string();
            if (!(v.empty() || v == a || v == b) || !(p.empty() || p == a || p == b)) torn.store(true);
        }
    });
    writer.join();
    reader.join();
    EXPECT_FALSE(torn.load());
}

}  // namespace
