// The airports list and the current airport under threads: callers that race
// to load the list read the file once while others look codes up, and a clear
// of the current airport that races the elevation replace stays a clear.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <latch>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include "airports/airports_list.h"
#include "airports/current_airport.h"
#include "foundation/encrypted.h"
#include "support/airports_data.h"
#include "support/temp_dir.h"

namespace {

std::atomic<int> l_decryptions{0};

// Counts the decryptions (the reader asks for the file's size once per read)
// and holds the first one back, so that every racing caller is inside
// gf_loadAirports before the first load can finish.
std::uintmax_t lf_countingSize(const std::filesystem::path& path, std::error_code& ec) {
    if (l_decryptions.fetch_add(1) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return std::filesystem::file_size(path, ec);
}

class AirportsThreadsTest : public tavo::test::LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        gf_unloadAirportsForTests();
        gf_clearCurrentAirport();
    }
    void TearDown() override {
        gf_setEncryptedFileSizeQuery(nullptr);
        gf_unloadAirportsForTests();
        gf_clearCurrentAirport();
        LogFileTest::TearDown();
    }
};

TEST_F(AirportsThreadsTest, RacingLoadersReadTheFileOnceWhileOthersLookUp) {
    const auto profile = tavo::test::airportsProfile(3000);
    tavo::test::writeAirportsEnc(dir(), profile);
    const IcaoCode probe(*profile[1234].c);
    const std::int32_t probeAltitude = std::stoi(*profile[1234].a);
    l_decryptions = 0;
    gf_setEncryptedFileSizeQuery(&lf_countingSize);

    constexpr int kLoaders = 4;
    constexpr int kReaders = 2;
    std::latch start(kLoaders + kReaders);
    std::atomic<int> loadersDone{0};
    std::vector<AirportsLoadResult> results(kLoaders);
    std::atomic<int> inconsistent{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kLoaders; ++i)
        threads.emplace_back([&, i] {
            start.arrive_and_wait();
            results[static_cast<std::size_t>(i)] = gf_loadAirports();
            ++loadersDone;
        });
    for (int i = 0; i < kReaders; ++i)
        threads.emplace_back([&] {
            start.arrive_and_wait();
            // Bounded: the loaders finish within the test's time-out or it fails.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (loadersDone.load() < kLoaders && std::chrono::steady_clock::now() < deadline) {
                const auto entry = gf_findAirport(probe);
                if (entry && entry->altitudeFt != probeAltitude) ++inconsistent;
                if (entry && !gf_isKnownAirport(IcaoCode(*profile[2999].c))) ++inconsistent;
            }
        });
    for (auto& thread : threads) thread.join();

    EXPECT_EQ(l_decryptions.load(), 1);
    for (const auto& result : results) {
        ASSERT_TRUE(std::holds_alternative<std::size_t>(result));
        EXPECT_EQ(std::get<std::size_t>(result), 3000u);
    }
    EXPECT_EQ(inconsistent.load(), 0);
    EXPECT_EQ(newLogLines(), " 3000 airports read\n");
}

TEST_F(AirportsThreadsTest, AClearRacingTheAltitudeReplaceStaysAClear) {
    const AirportListEntry airport{IcaoCode("LOWI"), IataCode("INN"), LaLo{47.260278, 11.343889}, 1906};
    constexpr int kRounds = 2000;
    // Each round the main thread sets the airport and opens the round; the
    // replacer replaces the elevation again and again until it has seen the
    // clear, so that the clear lands in the middle of replaces.
    std::atomic<int> round{-1};
    std::atomic<int> cleared{-1};
    std::atomic<int> done{0};
    std::thread clearer([&] {
        for (int r = 0; r < kRounds; ++r) {
            while (round.load() < r) std::this_thread::yield();
            for (int i = 0; i < r % 4; ++i) std::this_thread::yield();
            gf_clearCurrentAirport();
            cleared.store(r);
            ++done;
        }
    });
    std::thread replacer([&] {
        for (int r = 0; r < kRounds; ++r) {
            while (round.load() < r) std::this_thread::yield();
            int altitude = 1900;
            while (cleared.load() < r) gf_setCurrentAirportAltitude(++altitude);
            gf_setCurrentAirportAltitude(++altitude);
            ++done;
        }
    });
    int undone = 0;
    for (int r = 0; r < kRounds; ++r) {
        gf_setCurrentAirport(airport);
        round.store(r);
        while (done.load() < 2 * (r + 1)) std::this_thread::yield();
        if (gf_currentAirport().has_value()) ++undone;
    }
    clearer.join();
    replacer.join();
    EXPECT_EQ(undone, 0) << "rounds in which the cleared airport came back";
}

}  // namespace
