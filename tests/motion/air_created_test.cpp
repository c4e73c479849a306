// An aircraft's speed in the air as the simulator shows it, from the pose it
// is created with on: an aircraft created in the air flies on at its
// reported speed from its first moment, a delay behind its reports is given
// back no more than 10 % or 15 kt faster than they go (whichever is less) and
// without a sudden change of speed, and an aircraft whose reports end in
// flight goes on at its last reported speed until it is removed.

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "engine/engine_state.h"
#include "foundation/geodesy.h"
#include "motion/next_position.h"
#include "motion/tick_math.h"
#include "platform/simconnect/sim_model.h"
#include "simlink/sim_ids.h"
#include "support/motion_harness.h"

#include "air_run_fixture.h"

using namespace tavo::test;

namespace {

constexpr std::int64_t kNsPerS = 1'000'000'000;
// Speeds are measured over a second of the poses shown, every half second:
// what an eye following the aircraft for a moment sees.
constexpr std::int64_t kWindowNs = kNsPerS;
constexpr std::int64_t kEveryNs = kNsPerS / 2;
// What a pilot's eye accepts in the air: no change of speed faster than
// 5 kt a second that the reports do not show.
constexpr double kMostChangeKtPerS = 5.0;

struct ShownPose {
    std::int64_t timeNs = 0;
    LaLo at{};
};

// One second of the aircraft's travel as shown: its start and its speed.
struct ShownSpeed {
    std::int64_t fromNs = 0;
    double kt = 0.0;
};

// Where the simulator showed the object, in order: the place it was created
// at, then every pose it was sent.
std::vector<ShownPose> lf_shownPoses(std::uint32_t objectId) {
    std::vector<ShownPose> out;
    for (const SimJournalEntry& e : gf_simModelJournal(objectId)) {
        const bool created = e.kind == SimJournalKind::Created && e.values.size() >= 2;
        const bool posed =
            e.kind == SimJournalKind::SetData && e.id == DEFINITION_LATLONPIBAHEALVSTAS && e.values.size() >= 8;
        if (created || posed) out.push_back({e.timeNs, {e.values[0], e.values[1]}});
    }
    return out;
}

// The speed over each second of the poses shown, a window every half second
// from the creation on.
std::vector<ShownSpeed> lf_shownSpeeds(const std::vector<ShownPose>& poses) {
    std::vector<ShownSpeed> out;
    if (poses.empty()) return out;
    std::size_t j = 0;
    for (std::int64_t from = poses.front().timeNs;; from += kEveryNs) {
        // The last pose shown at the window's start and at its end.
        auto shownAt = [&](std::int64_t t) {
            while (j + 1 < poses.size() && poses[j + 1].timeNs <= t) ++j;
            return j;
        };
        const std::size_t a = shownAt(from);
        const std::size_t b = shownAt(from + kWindowNs);
        // Over the poses' own times (they come with the simulator's frames).
        const std::int64_t spanNs = poses[b].timeNs - poses[a].timeNs;
        if (spanNs < kWindowNs - kEveryNs) break;  // the poses ended
        const double nm = gf_distanceNm(poses[a].at, poses[b].at);
        out.push_back({from, nm / (static_cast<double>(spanNs) / kNsPerS / 3600.0)});
        j = a;
    }
    return out;
}

// The largest change of the shown speed in a second (between windows a
// second apart), with where it happened.
struct Change {
    double ktPerS = 0.0;
    std::int64_t atNs = 0;
};
Change lf_largestChange(const std::vector<ShownSpeed>& speeds) {
    constexpr std::size_t kApart = kWindowNs / kEveryNs;
    Change c;
    for (std::size_t i = kApart; i < speeds.size(); ++i) {
        const double rate = std::fabs(speeds[i].kt - speeds[i - kApart].kt) /
                            (static_cast<double>(speeds[i].fromNs - speeds[i - kApart].fromNs) / kNsPerS);
        if (rate > c.ktPerS) c = {rate, speeds[i].fromNs};
    }
    return c;
}

std::string lf_text(const std::vector<ShownSpeed>& speeds, std::size_t most = 24) {
    std::string out;
    for (std::size_t i = speeds.size() > most ? speeds.size() - most : 0; i < speeds.size(); ++i)
        out += fmt::format(" {:.1f}s:{:.0f}", static_cast<double>(speeds[i].fromNs - speeds.front().fromNs) / kNsPerS,
                           speeds[i].kt);
    return out;
}

class AirCreated : public AirRunTest {
protected:
    // The object the aircraft was shown as, and its speeds from its creation.
    std::vector<ShownSpeed> shown(std::uint32_t hexid) {
        const AircraftRecord* r = harness->record(hexid);
        EXPECT_NE(r, nullptr);
        if (r == nullptr) return {};
        return lf_shownSpeeds(lf_shownPoses(r->objectId));
    }
};

}  // namespace

TEST_F(AirCreated, AnAircraftCreatedInTheAirFliesOnAtItsReportedSpeedFromItsFirstMoment) {
    // Straight and level at their reported speeds, reported every 2 s: from
    // the pose each is created with, every second they are shown at their
    // reported speed, give or take what the catch-up allows, and their speed
    // never jumps (standing still where they were created, they leapt to
    // their speed and beyond as they were let go).
    struct Case {
        const char* type;
        double kt;
    };
    const std::vector<Case> cases{{"B738", 150.0}, {"B738", 250.0}, {"B77W", 250.0}, {"C172", 100.0}, {"EC35", 110.0}};
    std::vector<Route> routes;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        Route route(0xC20001 + static_cast<std::uint32_t>(i), {50.1 + 0.05 * static_cast<double>(i), 8.0}, 90.0,
                    cases[i].kt, kAirRunFieldFt + 4000.0, true);
        route.identity(fmt::format("KLM6{:02}", i), fmt::format("PH-KC{}", static_cast<char>('A' + i)), cases[i].type,
                       "KLM");
        route.straight(40);
        harness->add(route, 2.0);
        routes.push_back(route);
    }
    harness->run(3000 + 4000);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(fmt::format("{} at {} kt", cases[i].type, cases[i].kt));
        const std::vector<ShownSpeed> speeds = shown(routes[i].hexid());
        // Shown from its creation for most of its 40 s of reports.
        ASSERT_GT(speeds.size(), 60u) << lf_text(speeds);
        const double mostKt = cases[i].kt + std::min(0.1 * cases[i].kt, 15.0);
        for (const ShownSpeed& s : speeds) {
            EXPECT_GE(s.kt, 0.97 * cases[i].kt) << lf_text(speeds);
            EXPECT_LE(s.kt, mostKt) << lf_text(speeds);
        }
        const Change change = lf_largestChange(speeds);
        EXPECT_LE(change.ktPerS, kMostChangeKtPerS)
            << "at " << static_cast<double>(change.atNs - speeds.front().fromNs) / kNsPerS << " s:" << lf_text(speeds);
    }
}

TEST_F(AirCreated, ADelayBehindTheReportsIsGivenBackGentlyInTheAir) {
    // Its later reports fall due 4 s sooner than they were played at first
    // (the feed's delay shrank once): the aircraft, 4 s behind them, takes
    // the delay back at no more than 10 % over their speed, easing in and
    // out, and is with them again before its reports end. Half as fast
    // again, it flew 225 kt where its reports said 150.
    constexpr double kKt = 150.0;
    Route route(0xC20101, {50.2, 8.0}, 90.0, kKt, kAirRunFieldFt + 5000.0, true);
    route.straight(90);
    harness->add(route, 2.0);
    constexpr std::int32_t kShiftTick = 3000 + 1000;
    constexpr std::int32_t kShiftTicks = 400;
    bool shifted = false;
    std::int32_t newestShifted = 0;
    harness->afterTick([&](LiveAc& ac) {
        if (ac.hexid != route.hexid() || tickCount.load() < kShiftTick || ac.stream.size() < 3) return;
        // From then on every point past the one flown to falls due sooner,
        // those that come later too.
        for (std::size_t k = 2; k < ac.stream.size(); ++k) {
            if (shifted && ac.stream[k].playTick <= newestShifted) continue;
            ac.stream[k].playTick = gf_tickPlus(ac.stream[k].playTick, -kShiftTicks);
            newestShifted = ac.stream[k].playTick;
        }
        shifted = true;
    });
    harness->run(3000 + 9000);
    ASSERT_TRUE(shifted);

    const AircraftRecord* r = harness->record(route.hexid());
    ASSERT_NE(r, nullptr);
    const std::vector<ShownSpeed> speeds = lf_shownSpeeds(lf_shownPoses(r->objectId));
    ASSERT_GT(speeds.size(), 150u);
    double fastest = 0.0;
    for (const ShownSpeed& s : speeds) {
        fastest = std::max(fastest, s.kt);
        EXPECT_GE(s.kt, 0.97 * kKt) << lf_text(speeds, 200);
    }
    // It did take the delay back, at no more than 10 % over the reports.
    EXPECT_GT(fastest, kKt + 5.0) << lf_text(speeds, 200);
    EXPECT_LE(fastest, 1.1 * kKt + 0.5) << lf_text(speeds, 200);
    const Change change = lf_largestChange(speeds);
    EXPECT_LE(change.ktPerS, kMostChangeKtPerS)
        << "at " << static_cast<double>(change.atNs - speeds.front().fromNs) / kNsPerS << " s:" << lf_text(speeds, 200);
    // With its reports again before they end: the last ones reached when due.
    std::size_t onTime = 0;
    for (const PointArrival& a : r->arrivals)
        if (a.tick >= kShiftTick + 6000 && !a.first && a.tick - a.dueTick <= 1) ++onTime;
    EXPECT_GE(onTime, 3u);
}

TEST_F(AirCreated, AFlightWhoseReportsEndInTheClimbGoesOnAtItsLastSpeedUntilRemoved) {
    // Reports end at 234 kt climbing through 6,300 ft: dead-reckoned on, it
    // keeps that speed (the category's floor lies far under it) until it is
    // removed, a minute later. Slowed a tenth a point, an airliner fell to its
    // floor of about 100 kt within half a minute and crawled on at it.
    constexpr double kKt = 234.0;
    Route route(0xC20201, {50.2, 8.0}, 90.0, kKt, 5300.0, true);
    route.identity("KLM701", "PH-KCZ", "B738", "KLM");
    route.climb(1500).straight(40);
    ASSERT_NEAR(route.at(route.duration()).altitudeFt, 6300.0, 1.0);
    harness->add(route, 2.0);
    ASSERT_TRUE(harness->runUntilGone(route.hexid(), 3000 + 12000));

    const AircraftRecord* r = harness->record(route.hexid());
    ASSERT_NE(r, nullptr);
    // The ticks it flew on after its last report was due.
    const std::int32_t lastDue = 3000 + static_cast<std::int32_t>(route.duration() * 100.0);
    ASSERT_GT(r->samples.back().tick, lastDue + 5000) << "not dead-reckoned for long";
    std::vector<ShownSpeed> speeds = shown(route.hexid());
    ASSERT_GT(speeds.size(), 150u);
    // Up to the last second shown: its removal waits its turn, the object
    // standing where it was last sent for a frame or two.
    speeds.resize(speeds.size() - 2);
    for (const ShownSpeed& s : speeds) {
        EXPECT_GE(s.kt, 0.98 * kKt) << lf_text(speeds, 250);
        EXPECT_LE(s.kt, kKt + 2.0) << lf_text(speeds, 250);
    }
    const Change change = lf_largestChange(speeds);
    EXPECT_LE(change.ktPerS, kMostChangeKtPerS)
        << "at " << static_cast<double>(change.atNs - speeds.front().fromNs) / kNsPerS << " s:" << lf_text(speeds, 30);
    // Every airborne pose of the dead reckoning flew it too, tick by tick.
    std::size_t judged = 0;
    for (std::size_t i = 100; i < r->samples.size(); ++i) {
        const MotionSample& a = r->samples[i - 100];
        const MotionSample& b = r->samples[i];
        if (a.tick <= lastDue || b.tick - a.tick != 100) continue;
        const double kt = gf_distanceNm({a.pose.latitude, a.pose.longitude}, {b.pose.latitude, b.pose.longitude}) * 3600.0;
        EXPECT_NEAR(kt, kKt, 2.0) << "tick " << b.tick;
        ++judged;
    }
    EXPECT_GT(judged, 4000u);
}

TEST_F(AirCreated, AFlightWhoseReportsEndWhileItCatchesUpEasesBackToTheirSpeed) {
    // A B738 at 175 kt whose later reports fall due 4 s sooner than at
    // first: it catches up faster than they go, and they end before it is
    // with them again. From the last report on it goes on
    // at their 175 kt, easing down to it from the speed it caught up at:
    // dead-reckoned at once at their speed, it dropped 14 kt in a tick.
    constexpr double kKt = 175.0;
    Route route(0xC20301, {50.2, 8.0}, 90.0, kKt, kAirRunFieldFt + 8000.0, true);
    route.identity("KLM690", "PH-BXB", "B738", "KLM");
    route.straight(40);
    harness->add(route, 2.0);
    constexpr std::int32_t kShiftTick = 3000 + 1000;
    bool shifted = false;
    std::int32_t newestShifted = 0;
    harness->afterTick([&](LiveAc& ac) {
        if (ac.hexid != route.hexid() || tickCount.load() < kShiftTick || ac.stream.size() < 3 ||
            ac.extrapolationCount > 0)
            return;
        for (std::size_t k = 2; k < ac.stream.size(); ++k) {
            if (shifted && ac.stream[k].playTick <= newestShifted) continue;
            ac.stream[k].playTick = gf_tickPlus(ac.stream[k].playTick, -400);
            newestShifted = ac.stream[k].playTick;
        }
        shifted = true;
    });
    ASSERT_TRUE(harness->runUntilGone(route.hexid(), 3000 + 14000));
    ASSERT_TRUE(shifted);
    const std::vector<ShownSpeed> speeds = shown(route.hexid());
    ASSERT_GT(speeds.size(), 80u);
    double fastest = 0.0;
    for (const ShownSpeed& s : speeds) fastest = std::max(fastest, s.kt);
    EXPECT_GT(fastest, kKt + 8.0) << "it was catching up when the reports ended";
    // Up to the last second shown (its removal waits its turn).
    std::vector<ShownSpeed> judged(speeds.begin(), speeds.end() - 2);
    const Change change = lf_largestChange(judged);
    EXPECT_LE(change.ktPerS, kMostChangeKtPerS)
        << "at " << static_cast<double>(change.atNs - speeds.front().fromNs) / kNsPerS << " s:" << lf_text(judged, 200);
    EXPECT_NEAR(judged.back().kt, kKt, 2.0) << lf_text(judged, 200);
}

TEST(FlyingCatchUp, TakesADelayBackAtMostATenthOr15KtFasterEasedInAndOut) {
    // No delay, or no speed: the leg's own speed.
    EXPECT_DOUBLE_EQ(gf_flyingCatchUpKt(150.0, 0.0, 150.0, 200.0), 150.0);
    EXPECT_DOUBLE_EQ(gf_flyingCatchUpKt(0.0, 500.0, 150.0, 200.0), 0.0);
    // A long delay, already flown at the most: a tenth faster below 150 kt,
    // 15 kt faster above it.
    EXPECT_NEAR(gf_flyingCatchUpKt(100.0, 1000.0, 110.0, 200.0), 110.0, 1e-9);
    EXPECT_NEAR(gf_flyingCatchUpKt(300.0, 1000.0, 315.0, 200.0), 315.0, 1e-9);
    EXPECT_NEAR(gf_flyingCatchUpKt(300.0, 1000.0, 400.0, 200.0), 315.0, 1e-9);
    // Built up from the speed flown now by a step a leg, 2 kt a second of it
    // and 4 kt at most: from the reports' own speed a 2 s leg goes 4 kt
    // faster; from no speed known likewise, never at once to the most.
    EXPECT_NEAR(gf_flyingCatchUpKt(300.0, 1000.0, 300.0, 200.0), 304.0, 1e-9);
    EXPECT_NEAR(gf_flyingCatchUpKt(300.0, 1000.0, std::nan(""), 200.0), 304.0, 1e-9);
    EXPECT_NEAR(gf_flyingCatchUpKt(300.0, 1000.0, 306.0, 600.0), 310.0, 1e-9);
    EXPECT_NEAR(gf_flyingCatchUpKt(300.0, 1000.0, 306.0, 50.0), 307.0, 1e-9);
    // Eased off as the delay runs out, a step of 4 kt a leg: 0.1 s behind at
    // 250 kt (25 kt s to make up) on 2 s legs leaves about 8 kt over (legs
    // at 8, 4 and 0 kt over make up 24 kt s); on 8 s legs about 3.4 kt (the
    // one leg makes up 27 kt s).
    EXPECT_NEAR(gf_flyingCatchUpKt(250.0, 10.0, 265.0, 200.0), 258.2, 0.1);
    EXPECT_NEAR(gf_flyingCatchUpKt(250.0, 10.0, 265.0, 800.0), 253.4, 0.1);
    // Slower than the reports is never the answer.
    EXPECT_GE(gf_flyingCatchUpKt(250.0, 10.0, 100.0, 200.0), 250.0);
}
