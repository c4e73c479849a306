// The generator of RealTraffic application traffic for generated worlds:
// the same seed gives the same traffic everywhere, and what it sends is what
// the application sends and what the world says it holds.

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include <gtest/gtest.h>

#include "sample_fixture.h"
#include "tools/sample_feed/world_generator.h"

namespace tavo::sample {
namespace {

class WorldGeneratorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        world_ = new SampleWorld(gf_loadSampleWorld(test::sampleScenario()));
        airfield_ = new SampleAirfield(*world_);
    }
    static void TearDownTestSuite() {
        delete airfield_;
        delete world_;
    }
    static GeneratedWorld generate(std::uint64_t seed, double seconds = 180.0, int crowd = -1) {
        WorldOptions o;
        o.durationS = seconds;
        o.crowd = crowd;
        return gf_generateWorld(*world_, *airfield_, seed, o);
    }
    // Every line the application sends in the world, second by second.
    static std::vector<std::string> allLines(const GeneratedWorld& w, double epoch) {
        std::vector<std::string> lines;
        for (std::int64_t s = -40; s <= static_cast<std::int64_t>(w.durationS) + 10; ++s)
            for (std::string& l : gf_worldLiveLines(w, s, epoch)) lines.push_back(std::move(l));
        return lines;
    }
    static SampleWorld* world_;
    static SampleAirfield* airfield_;
};
SampleWorld* WorldGeneratorTest::world_ = nullptr;
SampleAirfield* WorldGeneratorTest::airfield_ = nullptr;

TEST(WorldRandom, IsSplitmix64SoThatASeedDrawsTheSameEverywhere) {
    // The first outputs of splitmix64 from state 0, as its authors publish them.
    WorldRandom r(0);
    EXPECT_EQ(r.next(), 0xE220A8397B1DCDAFull);
    EXPECT_EQ(r.next(), 0x6E789E6AA1B965F4ull);
    EXPECT_EQ(r.next(), 0x06C45D188009454Full);
    WorldRandom u(42);
    for (int i = 0; i < 10000; ++i) {
        const double x = u.unit();
        ASSERT_GE(x, 0.0);
        ASSERT_LT(x, 1.0);
        ASSERT_LT(u.below(7), 7u);
    }
    EXPECT_EQ(u.below(0), 0u);
}

TEST_F(WorldGeneratorTest, ASeedGivesTheSameTrafficEveryTimeAndAnotherSeedOther) {
    const auto a = allLines(generate(11), 1.8e9);
    const auto b = allLines(generate(11), 1.8e9);
    const auto c = allLines(generate(12), 1.8e9);
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
}

TEST_F(WorldGeneratorTest, LiveLinesAreWholeRttfcLinesOfTheirSecondClosedByTheEndTag) {
    for (const std::uint64_t seed : {1, 2, 3, 4, 5}) {
        const GeneratedWorld w = generate(seed);
        const double epoch = 1.8e9;
        std::map<std::uint32_t, double> lastTime;
        bool late = false, repeated = false;
        for (std::int64_t s = -40; s <= 200; ++s) {
            const auto lines = gf_worldLiveLines(w, s, epoch);
            if (lines.empty()) continue;
            EXPECT_EQ(lines.back(), "RTTFC_EOT");
            std::set<std::string> seen;
            for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
                const auto f = test::fieldsOf(lines[i]);
                ASSERT_EQ(f.size(), 44u) << lines[i];
                EXPECT_EQ(f[0], "RTTFC");
                const double time = std::stod(f[14]);
                // Sent after the moment it reports, within a few seconds.
                EXPECT_LE(time, epoch + static_cast<double>(s) + 1.0) << lines[i];
                EXPECT_GE(time, epoch + static_cast<double>(s) - 5.0) << lines[i];
                const auto hexid = static_cast<std::uint32_t>(std::stoul(f[1]));
                ASSERT_NE(w.find(hexid), nullptr);
                if (lastTime.count(hexid) && time < lastTime[hexid]) late = true;
                lastTime[hexid] = std::max(lastTime[hexid], time);
                if (!seen.insert(lines[i]).second) repeated = true;
            }
        }
        const auto kinds = w.kinds();
        const auto has = [&](const char* kind) { return std::find(kinds.begin(), kinds.end(), kind) != kinds.end(); };
        // What the world says it holds is what it sends.
        EXPECT_EQ(late, has("datagram out of order")) << seed;
        EXPECT_EQ(repeated, has("repeated datagram")) << seed;
    }
}

TEST_F(WorldGeneratorTest, ReportsComeEveryOneToTenSecondsSaveTheirGaps) {
    const GeneratedWorld w = generate(7);
    for (const GeneratedAircraft& a : w.aircraft) {
        for (std::size_t i = 1; i < a.reports.size(); ++i) {
            const double gap = a.reports[i].t - a.reports[i - 1].t;
            EXPECT_GE(gap, 1.0 - 1e-9) << a.description;
            const bool listedGap = std::find(a.kinds.begin(), a.kinds.end(), "report gap of 20-40 s") != a.kinds.end();
            if (!listedGap) EXPECT_LE(gap, 10.0 + 1e-9) << a.description;
            else EXPECT_LE(gap, 50.0) << a.description;
        }
    }
}

TEST_F(WorldGeneratorTest, TheBufferIsTheLastThirtySecondsInFiveSegmentsAndParkedLinesLieInTheirBox) {
    const GeneratedWorld w = generate(3);
    const double epoch = 1.8e9;
    const auto buffer = gf_worldBufferLines(w, 20, epoch);
    ASSERT_FALSE(buffer.empty());
    EXPECT_EQ(buffer.back(), "RTBUF_EOT");
    EXPECT_EQ(std::count(buffer.begin(), buffer.end(), "RTBUF_SEP"), 5);
    for (const std::string& line : buffer) {
        if (line.rfind("RTBUF,", 0) != 0) continue;
        const double t = std::stod(test::fieldsOf(line)[14]) - epoch;
        EXPECT_GE(t, -10.0 - 1e-6);
        EXPECT_LT(t, 20.0);
    }
    ParkedBox everywhere;
    const auto parked = gf_worldParkedLines(w, epoch, everywhere);
    EXPECT_EQ(parked.size(), w.parked.size() + 1);
    EXPECT_EQ(parked.back(), "RTPARK_EOT");
    const ParkedBox nowhere{10, 10, 11, 11};
    EXPECT_EQ(gf_worldParkedLines(w, epoch, nowhere).size(), 1u);
}

TEST_F(WorldGeneratorTest, ACrowdedWorldHoldsTwoHundredAircraftWithinTenMilesAtOnce) {
    const GeneratedWorld w = generate(5, 120.0, 200);
    // Reported the whole time, every report (but a single absurd one) within
    // ten miles of the airport: the traffic range of a user on the ground.
    std::size_t near = 0;
    for (const GeneratedAircraft& a : w.aircraft) {
        if (std::find(a.kinds.begin(), a.kinds.end(), "200 aircraft at once") == a.kinds.end()) continue;
        std::size_t outside = 0;
        for (const GeneratedReport& r : a.reports)
            outside += length(world_->frame.toLocal(r.position)) > 10.0 * kMetresPerNm ? 1 : 0;
        const bool wholeTime = !a.reports.empty() && a.reports.front().t <= 0.0 && a.reports.back().t >= 115.0;
        near += outside <= 1 && wholeTime ? 1 : 0;
    }
    EXPECT_EQ(near, 200u);
}

}  // namespace
}  // namespace tavo::sample
