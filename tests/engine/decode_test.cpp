#include <gmock/gmock.h>

#include <array>
#include <gtest/gtest.h>

#include "decode_fixture.h"
#include "engine/engine_setup.h"
#include "engine_fixture.h"
#include "liveries/dbase.h"
#include "motion/motion_math.h"
#include "motion/runway_fixture.h"

using namespace tavo::test;
using ::testing::HasSubstr;

namespace {

constexpr std::uint32_t kHex = 0x4840D6;
const LaLo kFar{51.0, 9.0};  // far from every runway of the tests

// Runways 36L/18R and 36R/18L side by side 1 km apart, 20 ft above sea level.
const FacilityRunway kWest = makeRunway({LaLo{50.0, 8.0}, 0.0, 3000.0, 45.0, 36, 1, 18, 2, 20.0});
const FacilityRunway kEast = makeRunway({LaLo{50.0, 8.014}, 0.0, 3000.0, 45.0, 36, 2, 18, 1, 20.0});

void loadRunways() {
    g_runwayTable.emplace_back(kWest);
    g_runwayTable.emplace_back(kEast);
}

// A ground report `dt` seconds after time 1000, `metres` north of kFar, at
// `gs` kt.
struct GroundReport {
    double dt, metres, gs;
};

// The last kept point at kFar at `lastKt` (stationary or not), due at tick
// 500; reported at time 1000.
std::deque<StreamPoint> lastPointAtFar(double lastKt, bool stationary) {
    StreamPoint last = streamPoint(kFar, lastKt, false, 500);
    last.stationary = stationary ? 1 : 0;
    return {last};
}

// Each report due as many ticks after that point as its seconds make.
void decodeGroundReports(const std::vector<GroundReport>& reports) {
    for (const GroundReport& r : reports)
        decodeMessage(
            report(kHex, streamPoint(northOf(kFar, r.metres), r.gs, false, 500 + int(r.dt * 100)), 1000.0 + r.dt));
}

}  // namespace

// A jump is held for the next report (see
// AGroundPositionOutOfReachWhileParkingOrTaxiingWaitsForTheNextReport).
TEST_F(DecodeTest, JumpsOnTheGroundAreHeldForTheNextReport) {
    loadRunways();
    struct Row {
        const char* name;
        AcPhase phase;
        bool airborne;
        LaLo from, to;
        double dt, gs;
        bool held, appended;
    };
    const double mps100 = 100.0 * kKnotsToMps;
    const Row rows[] = {
        {"900 m in 10 s while taxiing", AcPhase::taxi, false, kFar, northOf(kFar, 900), 10.0, 10.0, true, false},
        {"900 m in 10 s at 1e6 kt while taxiing", AcPhase::taxi, false, kFar, northOf(kFar, 900), 10.0, 1e6, true,
         false},
        {"20 m in 0.8 s: the 1 s rule", AcPhase::taxi, false, kFar, northOf(kFar, 20), 0.8, 10.0, false, false},
        // Over 30 kt a report is never thinned: only the 1 s rule drops it.
        {"20 m in 0.8 s at 40 kt: the 1 s rule alone", AcPhase::taxi, false, kFar, northOf(kFar, 20), 0.8, 40.0,
         false, false},
        {"20 m in 1.2 s at 40 kt", AcPhase::taxi, false, kFar, northOf(kFar, 20), 1.2, 40.0, false, true},
        // Against 10 kt (three times is 30 kt) the 60 kt floor decides.
        {"59 kt against 10 kt", AcPhase::taxi, false, kFar, northOf(kFar, 59 * 10 * kKnotsToMps), 10.0, 10.0, false,
         true},
        {"61 kt against 10 kt", AcPhase::taxi, false, kFar, northOf(kFar, 61 * 10 * kKnotsToMps), 10.0, 10.0, true,
         false},
        // Out of reach of a roll, held by the roll's own rule (see
        // AGroundPositionOutOfReachOnARollWaitsForTheNextReport).
        {"landing_roll by its own rule", AcPhase::landing_roll, false, kFar, northOf(kFar, 900), 10.0, 10.0, true,
         false},
        {"an airborne report is not judged", AcPhase::taxi, true, kFar, northOf(kFar, 900), 10.0, 10.0, false, true},
        {"100 kt against 40 kt away from runways", AcPhase::taxi, false, kFar, northOf(kFar, 1000), 1000 / mps100,
         40.0, false, true},
        {"100 kt across two runways", AcPhase::taxi, false, placeOn(kWest, 0, 0), placeOn(kEast, 0, 0),
         gf_distanceNm(placeOn(kWest, 0, 0), placeOn(kEast, 0, 0)) * 1852 / mps100, 40.0, true, false},
        {"100 kt along one runway", AcPhase::taxi, false, placeOn(kWest, -500, 0), placeOn(kWest, 500, 0),
         1000 / mps100, 40.0, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        quarantine.clear();
        removeQueue.clear();
        LiveAc& ac = aircraft(kHex, row.phase, {streamPoint(row.from, row.gs, false, 500)});
        decodeMessage(report(kHex, streamPoint(row.to, row.gs, row.airborne, 600), 1000.0 + row.dt));
        EXPECT_EQ(ac.simState, AcSimState::active);
        EXPECT_TRUE(removeQueue.empty());
        EXPECT_FALSE(quarantine.contains(kHex));
        EXPECT_EQ(ac.stream.size(), row.appended ? 2u : 1u);
        EXPECT_EQ(ac.motion.heldJumpSet, row.held ? 1 : 0);
        if (row.held) EXPECT_EQ(ac.motion.heldJump.lat, row.to.lat);
    }
}

TEST_F(DecodeTest, QuarantineReleasesOnStableOrAirborneReports) {
    struct Step {
        double time, metres;
        bool airborne, released;
        std::uint32_t count;  // when still quarantined
    };
    struct Row {
        const char* name;
        std::vector<Step> steps;
    };
    const Row rows[] = {
        {"three stable reports 20 s apart", {{20, 50, false, false, 2}, {40, 100, false, true, 0}}},
        {"a gap over 60 s restarts the count",
         {{20, 50, false, false, 2}, {81, 60, false, false, 1}, {101, 70, false, false, 2}, {121, 80, false, true, 0}}},
        {"60 s is no gap", {{20, 50, false, false, 2}, {80, 60, false, true, 0}}},
        {"151 m restarts", {{20, 151, false, false, 1}, {40, 160, false, false, 2}}},
        {"an older report changes no count", {{-5, 0, false, false, 1}, {15, 10, false, false, 2}}},
        {"an airborne report releases", {{5, 5000, true, true, 0}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        quarantine.clear();
        quarantine[kHex] = QuarantineEntry{kFar, 0.0, 1, 0};
        for (const Step& s : row.steps) {
            EXPECT_EQ(gf_passQuarantine(kHex, streamPoint(northOf(kFar, s.metres), 10, s.airborne), s.time),
                      s.released);
            ASSERT_EQ(quarantine.contains(kHex), !s.released);
            if (!s.released) EXPECT_EQ(quarantine[kHex].count, s.count);
        }
    }
    EXPECT_TRUE(gf_passQuarantine(0x123456, streamPoint(kFar), 0.0)) << "not quarantined";
}

TEST_F(DecodeTest, QuarantinedAircraftIsCreatedOnlyOnceReleased) {
    LiveAc& ac = aircraft(kHex, AcPhase::taxi, {streamPoint(kFar, 10, false, 500)});
    decodeMessage(report(kHex, streamPoint(northOf(kFar, 900), 10, false, 1500), 1010.0));
    ASSERT_EQ(ac.simState, AcSimState::active) << "held for the next report";
    decodeMessage(report(kHex, streamPoint(northOf(kFar, 910), 10, false, 1700), 1012.0));
    ASSERT_EQ(ac.simState, AcSimState::removingfromsim);
    EXPECT_EQ(quarantine[kHex].time, 1012.0);
    // While it is being removed its reports only feed the quarantine.
    decodeMessage(report(kHex, streamPoint(northOf(kFar, 920), 10), 1030.0));
    EXPECT_EQ(ac.stream.size(), 1u);
    EXPECT_EQ(quarantine[kHex].count, 2u);

    g_liveAircraft.clear();  // the removed result erased it
    quarantine[kHex].count = 1;
    decodeMessage(report(kHex, streamPoint(northOf(kFar, 940), 10), 1050.0));
    EXPECT_TRUE(g_liveAircraft.empty());
    decodeMessage(report(kHex, streamPoint(northOf(kFar, 960), 10), 1070.0));
    ASSERT_EQ(g_liveAircraft.size(), 1u);
    EXPECT_FALSE(quarantine.contains(kHex));
}

TEST_F(DecodeTest, ThinningDropsReportsThatAddNothing) {
    struct Row {
        const char* name;
        bool airborne;
        double gs, track0, track1, dt;
        std::int32_t extrapolating;
        double metresOn;
        bool kept;
        double lastKt = -1.0;  // the last point's speed, when not the report's
    };
    const Row rows[] = {
        {"0 kt within 15 s", false, 0, 90, 90, 14.9, 0, 0, false},
        {"0 kt after 15 s", false, 0, 90, 90, 15.1, 0, 0, true},
        {"0 kt 45 m on within 15 s: a repeat judged by time", false, 0, 90, 90, 5.0, 0, 45, false},
        {"10 kt within 20 m", false, 10, 90, 90, 3.8, 0, 0, false},
        {"10 kt beyond 20 m", false, 10, 90, 90, 4.0, 0, 0, true},
        {"10 kt turning 3 degrees", false, 10, 90, 93, 2.0, 0, 0, true},
        {"1.5 kt 19 m on within its time", false, 1.5, 90, 90, 10.0, 0, 19, false},
        {"1.5 kt 45 m on within its time", false, 1.5, 90, 90, 10.0, 0, 45, true},
        {"17 kt 21 m on in 2.1 s: about what its speed goes", false, 17, 90, 90, 2.1, 0, 21, false},
        {"6 kt 26 m on in 2.1 s: twice what its speed goes", false, 6, 90, 90, 2.1, 0, 26, true},
        {"1.5 kt 45 m on after standing", false, 1.5, 90, 90, 10.0, 0, 45, true, 0.0},
        {"2.25 kt 25 m on in 6 s after 10 kt: braking to a stop", false, 2.25, 90, 90, 6.0, 0, 25, false, 10.0},
        {"300 kt within 450 m", true, 300, 90, 90, 2.9, 0, 0, false},
        {"300 kt beyond 450 m", true, 300, 90, 90, 3.0, 0, 0, true},
        {"150 kt 400 m on within its time", true, 150, 90, 90, 5.0, 0, 400, false},
        {"150 kt 700 m on: within twice what its speed goes", true, 150, 90, 90, 5.0, 0, 700, false},
        {"150 kt 900 m on within its time", true, 150, 90, 90, 5.0, 0, 900, true},
        {"300 kt straight north", true, 300, 359.5, 0.5, 2.5, 0, 0, false},
        {"300 kt turning 1.5 degrees", true, 300, 90, 91.5, 2.5, 0, 0, true},
        {"300 kt while extrapolating", true, 300, 90, 90, 2.5, 1, 0, true},
        {"a time that is not a number", false, 10, 0, 90, std::nan(""), 0, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        LiveAc& ac = aircraft(kHex, row.airborne ? AcPhase::flying : AcPhase::taxi,
                              {streamPoint(kFar, row.lastKt >= 0.0 ? row.lastKt : row.gs, row.airborne, 500, 0, row.track0)});
        ac.extrapolationCount = row.extrapolating;
        decodeMessage(report(kHex, streamPoint(northOf(kFar, row.metresOn), row.gs, row.airborne, 600, 0, row.track1),
                            1000.0 + row.dt));
        EXPECT_EQ(ac.stream.size(), row.kept ? 2u : 1u);
        EXPECT_EQ(ac.lastReportTime, row.kept ? 1000.0 + row.dt : 1000.0);
    }
}

TEST_F(DecodeTest, AReportThatTheAircraftCameToRestIsNotThinnedOut) {
    // The last kept point moves north (at 4 kt 20 m take 9.7 s) or stands;
    // then reports (seconds after it, metres north of it, kt), the last at
    // no speed: kept only when it says an aircraft creeping below 5 kt
    // stopped further on, or one that stood came to rest more than 20 m on.
    // One that stood and set off, easing on to rest: the first report moving
    // off the spot goes in with its own play tick once the next one would be
    // thinned out against the spot too, and the stop is judged against it
    // (`points`: metres north of kFar of the points after the first).
    struct Row {
        const char* name;
        double lastKt;
        bool lastStationary;
        std::vector<GroundReport> reports;
        bool kept;
        AcPhase phase = AcPhase::taxi;
        std::vector<double> points = {};
    };
    const Row rows[] = {
        {"stopped 3 m on, 5 s later", 4, false, {{5, 3, 0}}, true},
        {"stopped after a slower report thinned out", 4, false, {{2, 2, 1.5}, {4, 3, 0}}, true},
        {"at the last point's place", 4, false, {{5, 0, 0}}, false},
        {"the receiver repeating the thinned report's position", 4, false, {{2, 2, 4}, {4, 2, 0}}, false},
        {"repeating a report dropped as too soon after the last", 4, false, {{0.9, 2, 4}, {4, 2, 0}}, false},
        {"creeping at 4.9 kt", 4.9, false, {{5, 3, 0}}, true},
        {"from 5 kt: the leg into it brakes", 5, false, {{5, 3, 0}}, false},
        {"after a last point at no speed", 0, false, {{5, 3, 0}}, false},
        {"after a stationary last point", 4, true, {{5, 3, 0}}, false},
        {"a slow report, not a stop", 4, false, {{5, 3, 0.5}}, false},
        // Heard before: a repeat of its place (for the standing rows).
        {"after a stationary last point, at rest 30 m on", 4, true, {{5, 0, 0}, {10, 30, 0}}, true},
        {"after a last point at no speed, at rest 30 m on, driving onto its stand", 0, false, {{5, 0, 0}, {10, 30, 0}},
         true, AcPhase::parking},
        {"after a stationary last point, 19 m on", 4, true, {{5, 0, 0}, {10, 19, 0}}, false},
        {"parked: its stand's watch judges the scatter", 0, true, {{5, 0, 0}, {10, 30, 0}}, false, AcPhase::parked},
        {"set off from a pause, eased on, at rest 14 m on", 0, false,
         {{2, 7.5, 3.2}, {3.2, 9.3, 2.7}, {4.9, 11.3, 2}, {8.5, 14, 0}}, true, AcPhase::taxi, {7.5, 14}},
        {"set off from a copy held at the spot, at rest 14 m on", 0, true,
         {{2, 7.5, 3.2}, {3.2, 9.3, 2.7}, {4.9, 11.3, 2}, {8.5, 14, 0}}, true, AcPhase::taxi, {7.5, 14}},
        {"tenths of a knot off the spot: scatter", 0, false, {{2, 2, 0.5}, {3.2, 3, 0.4}, {8.5, 14, 0}}, false},
        {"a knot and a half half a metre off: the same spot", 0, false, {{2, 0.5, 1.5}, {3.2, 0.6, 1.5}, {8.5, 14, 0}},
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        LiveAc& ac = aircraft(kHex, row.phase, lastPointAtFar(row.lastKt, row.lastStationary));
        ac.lastReportTime = 1000.0;
        decodeGroundReports(row.reports);
        EXPECT_EQ(ac.stream.size(), row.kept ? std::max<std::size_t>(2, row.points.size() + 1) : 1u);
        EXPECT_EQ(ac.lastReportTime, row.kept ? 1000.0 + row.reports.back().dt : 1000.0);
        for (std::size_t i = 0; i < row.points.size() && i + 1 < ac.stream.size(); ++i) {
            const StreamPoint& p = ac.stream[i + 1];
            EXPECT_NEAR(gf_distanceNm({p.lat, p.lon}, kFar) * metresPerNm, row.points[i], 0.01);
        }
        if (row.points.size() > 1 && ac.stream.size() > 1)
            EXPECT_EQ(ac.stream[1].playTick, 500 + int(row.reports.front().dt * 100)) << "due when it set off";
    }
}

// The motion checks of a report see the report heard before it (where, how
// fast), whatever became of that one: a repeat of its place at no speed is
// told from a stop by it. So is each later repeat of a run of them: the
// reports at no speed at one place repeat the one that passed it.
TEST_F(DecodeTest, TheReportHeardBeforeIsKeptForTheChecksOfTheNext) {
    struct Row {
        const char* name;
        double dt1, gs1;  // the first report, 5 m north of the last point
        bool kept1;       // it went into the stream
        int repeats = 0;  // reports at no speed at its place, 2 s apart, before the last
    };
    const Row rows[] = {
        {"kept", 8, 6.6, true},
        {"thinned out", 2, 4, false},
        {"too soon after the last", 0.9, 6.6, false},
        {"its place repeated at no speed, then again", 2, 4, false, 1},
        {"a run of three repeats", 2, 4, false, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        LiveAc& ac = aircraft(kHex, AcPhase::taxi, {streamPoint(kFar, 4, false, 500)});
        ac.lastReportTime = 1000.0;
        const LaLo first = northOf(kFar, row.kept1 ? 25 : 5);
        decodeMessage(report(kHex, streamPoint(first, row.gs1, false, 600), 1000.0 + row.dt1));
        for (int i = 1; i <= row.repeats; ++i)
            decodeMessage(report(kHex, streamPoint(first, 0, false, 600 + 200 * i), 1000.0 + row.dt1 + 2.0 * i));
        EXPECT_EQ(ac.stream.size(), row.kept1 ? 2u : 1u);
        LaLo seenAt{};
        double seenKt = -1.0;
        rec.onExtend = [&](const LiveAc& seen) {
            seenAt = seen.motion.heardBeforePosition;
            seenKt = seen.motion.heardBeforeKt;
        };
        const LaLo lastAt = row.repeats > 0 ? first : northOf(kFar, 60);
        decodeMessage(report(kHex, streamPoint(lastAt, 0, false, 1200), 1025.0));
        rec.onExtend = nullptr;
        EXPECT_EQ(ac.motion.heardBeforeSet, 1);
        EXPECT_LT(gf_distanceNm(seenAt, first) * metresPerNm, 0.01);
        EXPECT_EQ(seenKt, row.gs1);
    }
}

TEST_F(DecodeTest, TheLastThinnedGroundReportIsPlayedWhenTheReportsPause) {
    // Taxiing north at 5 kt (20 m take 7.8 s), the reports coming in at tick
    // 1000. Each step is a report (seconds after the last kept one, metres
    // north, airborne) or, with a tick, a play at that tick.
    struct Step {
        double dt, metres;
        bool airborne;
        std::int32_t playAt;  // 0: a report
        bool shown = true;    // at a play: an aircraft not yet shown is shown by then
        double kt = 5.0;      // a ground report's speed
    };
    struct Row {
        const char* name;
        std::int32_t lastDue;  // the last kept point's play tick
        std::vector<Step> steps;
        double lastTime;    // the report time the aircraft holds at the end
        double lastNorthM;  // where its stream's last point lies
        std::size_t points;
        AcPhase phase = AcPhase::taxi;
        AcPhase phaseAtPlay = AcPhase::taxi;  // when it came before it was shown, or on the roll
        double lastKt = 5.0;                  // the last kept point's speed
    };
    const Row rows[] = {
        {"no later report: played 5 s before the last point is due", 3000,
         {{5, 10, false, 0}, {0, 0, false, 2500}}, 1005, 10, 2},
        {"5.01 s before: it waits", 3000, {{5, 10, false, 0}, {0, 0, false, 2499}}, 1000, 0, 1},
        {"the last point due: played 10 s after it came", 1200, {{5, 10, false, 0}, {0, 0, false, 2000}}, 1005, 10,
         2},
        {"9.99 s after: it waits", 1200, {{5, 10, false, 0}, {0, 0, false, 1999}}, 1000, 0, 1},
        {"played once only", 3000, {{5, 10, false, 0}, {0, 0, false, 2500}, {0, 0, false, 2600}}, 1005, 10, 2},
        {"the latest of two thinned reports", 3000, {{3, 6, false, 0}, {6, 12, false, 0}, {0, 0, false, 2900}},
         1006, 12, 2},
        {"the latest also when the earlier came late", 3000,
         {{6, 12, false, 0}, {3, 6, false, 0}, {0, 0, false, 2900}}, 1006, 12, 2},
        {"a later report kept: nothing more to play", 3000,
         {{5, 10, false, 0}, {9, 24, false, 0}, {0, 0, false, 2900}}, 1009, 24, 2},
        {"an airborne report is not kept aside", 3000, {{2, 300, true, 0}, {0, 0, false, 2900}}, 1000, 0, 1},
        {"nor a report of a pushback", 3000, {{5, 10, false, 0}, {0, 0, false, 2900}}, 1000, 0, 1,
         AcPhase::pushed_back},
        {"one that came before the aircraft was shown is played once it taxis", 3000,
         {{5, 10, false, 0}, {0, 0, false, 2600, false}, {0, 0, false, 2900}}, 1005, 10, 2, AcPhase::birth},
        {"not once it was shown parked", 3000, {{5, 10, false, 0}, {0, 0, false, 2900}}, 1000, 0, 1, AcPhase::birth,
         AcPhase::parked},
        // No aircraft comes to rest on the very spot it passed at 5 kt: the
        // feed repeating that place while it went on.
        {"the last point's place repeated at no speed", 3000, {{5, 0, false, 0, true, 0.0}, {0, 0, false, 2500}},
         1000, 0, 1},
        {"the same after a creep: it may stop there", 3000, {{5, 0, false, 0, true, 0.0}, {0, 0, false, 2500}}, 1005,
         0, 2, AcPhase::taxi, AcPhase::taxi, 4.0},
        {"one of a landing roll on its wheels is played while it still rolls", 3000,
         {{5, 10, false, 0}, {0, 0, false, 2500}}, 1005, 10, 2, AcPhase::landing_roll, AcPhase::landing_roll},
        {"not once the roll has turned off into a taxi", 3000, {{5, 10, false, 0}, {0, 0, false, 2500}}, 1000, 0, 1,
         AcPhase::landing_roll, AcPhase::taxi},
        {"but so when the taxi's stream ends at rest short of it: it sets off from there", 3000,
         {{5, 10, false, 0}, {0, 0, false, 2500}}, 1005, 10, 2, AcPhase::landing_roll, AcPhase::taxi, 0.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        tickCount.store(1000);
        LiveAc& ac = aircraft(kHex, row.phase, {streamPoint(kFar, row.lastKt, false, row.lastDue)});
        for (const Step& s : row.steps) {
            if (s.playAt != 0) {
                tickCount.store(s.playAt);
                if ((ac.phase == AcPhase::birth || ac.phase == AcPhase::landing_roll) && s.shown)
                    ac.phase = row.phaseAtPlay;
                gf_playThinnedReports();
                continue;
            }
            const double gs = s.airborne ? 300.0 : s.kt;
            decodeMessage(
                report(kHex, streamPoint(northOf(kFar, s.metres), gs, s.airborne, 3000), 1000.0 + s.dt));
        }
        EXPECT_EQ(ac.lastReportTime, row.lastTime);
        ASSERT_EQ(ac.stream.size(), row.points);
        EXPECT_NEAR(gf_distanceNm(kFar, {ac.stream.back().lat, ac.stream.back().lon}) * metresPerNm, row.lastNorthM,
                    0.01);
    }
}

TEST_F(DecodeTest, AReportAtNoSpeedAtThePlaceTheLastReportPassedAtAPaceStaysOutOfTheStream) {
    // Reports north from kFar: 40 m on at 1010 s at `kt`, then `copies`
    // reports at no speed `copyM` north, 5 s apart from 1020 s, turned off
    // its track (none is thinned out), and, unless the reports end there,
    // 100 m north at 1040 s at 11 kt. No aircraft comes to rest on the very
    // spot it passed at a pace: the feed gave that place again while the
    // aircraft went on. Where it stopped metres on, or crept through the
    // place, the report is a stop.
    struct Row {
        const char* name;
        double kt, copyM;
        int copies;
        std::vector<double> points;  // metres north of kFar of the stream's points after the first
        bool ends = false;           // no report after the copies
        bool unshown = false;
    };
    const Row rows[] = {
        {"passed at 12.8 kt, given again at no speed", 12.8, 40, 1, {40, 100}},
        {"a run of copies", 12.8, 40, 3, {40, 100}},
        {"the reports end in it: the stream ends moving", 12.8, 40, 2, {40}, true},
        {"not yet shown", 12.8, 40, 1, {40, 100}, false, true},
        {"at rest 3 m on: a stop", 12.8, 43, 1, {40, 43, 100}},
        {"not yet shown, at rest 3 m on", 12.8, 43, 1, {40, 43, 100}, false, true},
        {"crept through at 4 kt: it may stop there", 4, 40, 1, {40, 40, 100}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        const auto due = [](double s) { return static_cast<std::int32_t>(std::lround(500 + (s - 1000.0) * 100)); };
        LiveAc& ac = row.unshown
                         ? aircraft(kHex, AcPhase::birth, {streamPoint(kFar, 12.8, false, 500)}, AcSimState::buffer)
                         : aircraft(kHex, AcPhase::taxi, {streamPoint(kFar, 12.8, false, 500)});
        ac.lastReportTime = 1000.0;
        decodeMessage(report(kHex, streamPoint(northOf(kFar, 40), row.kt, false, due(1010)), 1010.0));
        for (int i = 0; i < row.copies; ++i) {
            const double at = 1020.0 + 5.0 * i;
            decodeMessage(report(kHex, streamPoint(northOf(kFar, row.copyM), 0, false, due(at), 0.0, 216.9), at));
        }
        if (!row.ends) decodeMessage(report(kHex, streamPoint(northOf(kFar, 100), 11, false, due(1040)), 1040.0));
        EXPECT_EQ(ac.stream.size(), row.points.size() + 1);
        for (std::size_t i = 0; i < row.points.size() && i + 1 < ac.stream.size(); ++i) {
            const StreamPoint& p = ac.stream[i + 1];
            EXPECT_NEAR(gf_distanceNm({p.lat, p.lon}, kFar) * metresPerNm, row.points[i], 0.01) << i;
        }
        if (row.ends) EXPECT_EQ(ac.stream.back().groundSpeedKt, row.kt);
    }
}

TEST_F(DecodeTest, AThinnedReportThatComesAgainKeepsThePlayTickItFirstCameWith) {
    // A taxi's report set aside, then the same report again in a batch timed
    // 3.7 s earlier: nothing new, it leaves the one set aside as it was.
    g_liveAircraft.clear();
    tickCount.store(1000);
    LiveAc& ac = aircraft(kHex, AcPhase::taxi, {streamPoint(kFar, 5.0, false, 3000)});
    decodeMessage(report(kHex, streamPoint(northOf(kFar, 10.0), 5.0, false, 3000), 1005.0));
    ASSERT_EQ(ac.motion.thinnedReportSet, 1);
    decodeMessage(report(kHex, streamPoint(northOf(kFar, 10.0), 5.0, false, 2630), 1005.0));
    EXPECT_EQ(ac.motion.thinnedReport.playTick, 3000);
    EXPECT_EQ(ac.motion.thinnedReportTime, 1005.0);
}

TEST_F(DecodeTest, AKeptReportCarriesThePaceItsPositionMovedAtSinceTheOneBefore) {
    // Taxiing at 10 kt, reports kept at 1010 s (25 m north) and then after a
    // pause `atS` (`metres` north): the later one carries the pace from the
    // earlier, from the first report at a place given again (the feed repeats
    // a place at no speed while the aircraft moves on), none from reports
    // stamped less than 3 s apart. Also from a report kept before the
    // aircraft was shown: paced from the far older report it was made from,
    // an arrival shown only once it had landed and slowed to a taxi took
    // the 77 kt from its report on final as the pace of its reports. Also
    // after a place given again where a landing roll has come to rest a
    // little further on: the repeat is held as a copy of where the aircraft
    // stands, and the report after it is paced from where and when the place
    // was first reported. So is one after reports creeping on from a stop,
    // each held as a copy of where the aircraft stopped: the aircraft leaves
    // from there, and paced from the last copy's place 1.5 s before it, the
    // report showed no pace at all (an arrival whose reports crept round a
    // corner drove the 18 m on from its stop at 2.5 kt, 10.5 s late).
    struct Row {
        const char* name;
        bool repeated;  // the 25 m report given again at 1030 s
        bool unshown;   // the 25 m report came before the aircraft was shown
        double atS, metres, pacedKt;
        double restM = 0.0;  // > 0: the roll came to rest this far north before the repeat
        bool creep = false;  // the 25 m report creeps at 0.8 kt, then reports creep on up to 37 m
    };
    for (const Row& row : {Row{"across a pause", false, false, 1050, 225, 200 / 40.0 * kMpsToKnots},
                           Row{"after a place given again", true, false, 1050, 225, 200 / 40.0 * kMpsToKnots},
                           Row{"after a place given again where the roll stands further on", true, false, 1050, 225,
                               200 / 40.0 * kMpsToKnots, 34.0},
                           Row{"from a report before it was shown", false, true, 1050, 225, 200 / 40.0 * kMpsToKnots},
                           Row{"after copies of reports creeping on from a stop", false, false, 1029.5, 47,
                               22 / 19.5 * kMpsToKnots, 0.0, true},
                           Row{"too close in time", false, false, 1012.9, 40, 0.0}}) {
        SCOPED_TRACE(row.name);
        // Due as late after the first report as they came after it.
        const auto due = [](double s) { return static_cast<std::int32_t>(std::lround(500 + (s - 1000.0) * 100)); };
        g_liveAircraft.clear();
        LiveAc& ac = row.unshown ? aircraft(kHex, AcPhase::birth, {streamPoint(kFar, 10, false, 500)}, AcSimState::buffer)
                                 : aircraft(kHex, AcPhase::taxi, {streamPoint(kFar, 10, false, 500)});
        ac.lastReportTime = 1000.0;
        decodeMessage(report(kHex, streamPoint(northOf(kFar, 25), row.creep ? 0.8 : 10, false, due(1010.0), 0.0,
                                               row.creep ? 10.0 : 0.0),
                             1010.0));
        ASSERT_EQ(ac.stream.size(), 2u);
        if (row.unshown) {
            ac.phase = AcPhase::taxi;
            ac.simState = AcSimState::active;
            ac.objectId = 77;
        }
        // The engine's own stream checks make the copy (the copies).
        DecodeCalls calls = recordingCalls(rec);
        if (row.creep) {
            calls.acceptNewStreamPoint = nullptr;
            calls.checkExtendingSituations = nullptr;
        }
        gf_setDecodeCalls(row.restM > 0.0 ? DecodeCalls{} : calls);
        if (row.restM > 0.0) {
            StreamPoint rest = streamPoint(northOf(kFar, row.restM), 0, false, due(1020.0));
            rest.stationary = 1;
            ac.stream.assign({rest});
            ac.phase = AcPhase::landing_roll;
            ac.onGround = 1;
            ac.extrapolationCount = 5;  // dead-reckoned to that rest
        }
        if (row.repeated) {
            decodeMessage(report(kHex, streamPoint(northOf(kFar, 25), 0, false, due(1030.0)), 1030.0));
            EXPECT_EQ(ac.stream.back().pacedKt, 0.0);
            EXPECT_EQ(ac.stream.back().heldCopy, row.restM > 0.0 ? 1 : 0);
        }
        if (row.creep) {
            // Turning as they creep, so that none is thinned out.
            const double times[] = {1013, 1016, 1019, 1022, 1025, 1028};
            const double metres[] = {26, 28, 31, 34, 37, 39};
            for (std::size_t i = 0; i < std::size(times); ++i) {
                decodeMessage(report(kHex,
                                     streamPoint(northOf(kFar, metres[i]), 0.8, false, due(times[i]), 0.0,
                                                 20.0 + 10.0 * static_cast<double>(i)),
                                     times[i]));
            }
            ASSERT_EQ(ac.stream.size(), 8u);
            EXPECT_EQ(ac.stream.back().heldCopy, 1);
        }
        const std::size_t before = ac.stream.size();
        // Over 30 kt a report so soon is kept, not thinned out.
        const double kt = row.atS - 1010.0 < 3.0 ? 40.0 : 10.0;
        decodeMessage(report(kHex, streamPoint(northOf(kFar, row.metres), kt, false, due(row.atS)), row.atS));
        // Moving on, the aircraft keeps no stop there.
        if (row.creep)
            ASSERT_NEAR(gf_distanceNm(kFar, {ac.stream.back().lat, ac.stream.back().lon}) * metresPerNm, row.metres,
                        0.01);
        else
            ASSERT_EQ(ac.stream.size(), before + 1);
        EXPECT_NEAR(ac.stream.back().pacedKt, row.pacedKt, 0.05);
    }
}

TEST_F(DecodeTest, AReportAfterAStandIsPacedFromTheLastReportThatHadTheAircraftStanding) {
    // Reported creeping 25 m north of kFar at 1010 s, at that very place at
    // no speed at 1030 s, then 225 m north at 1050 s at `farKt`: paced from
    // 1030 when that pace is about the speed reported, else (a stale repeat)
    // from 1010. So too where the reports at the place end a pushback, which
    // the stream does not take.
    struct Row {
        const char* name;
        AcPhase phase;
        double farKt, pacedKt;
    };
    const double fromStood = 200.0 / 20.0 * kMpsToKnots;
    const double fromFirst = 200.0 / 40.0 * kMpsToKnots;
    for (const Row& row : {Row{"taxiing, rolling off at the speed reported", AcPhase::taxi, 18.0, fromStood},
                           Row{"taxiing, far faster than reported", AcPhase::taxi, 10.0, fromFirst},
                           Row{"pushed back, rolling off at the speed reported", AcPhase::pushed_back, 18.0,
                               fromStood},
                           Row{"pushed back, far faster than reported", AcPhase::pushed_back, 10.0, fromFirst}}) {
        SCOPED_TRACE(row.name);
        const auto due = [](double s) { return static_cast<std::int32_t>(std::lround(500 + (s - 1000.0) * 100)); };
        g_liveAircraft.clear();
        LiveAc& ac = aircraft(kHex, row.phase, {streamPoint(kFar, 10, false, 500)});
        ac.lastReportTime = 1000.0;
        // Pushed back, the stream takes none of the reports at the place.
        rec.extend = row.phase != AcPhase::pushed_back;
        decodeMessage(report(kHex, streamPoint(northOf(kFar, 25), 4, false, due(1010.0)), 1010.0));
        decodeMessage(report(kHex, streamPoint(northOf(kFar, 25), 0, false, due(1030.0)), 1030.0));
        ac.phase = AcPhase::taxi;
        rec.extend = true;
        const std::size_t before = ac.stream.size();
        decodeMessage(report(kHex, streamPoint(northOf(kFar, 225), row.farKt, false, due(1050.0)), 1050.0));
        ASSERT_EQ(ac.stream.size(), before + 1);
        EXPECT_NEAR(ac.stream.back().pacedKt, row.pacedKt, 0.05);
    }
}

TEST_F(DecodeTest, TheLastStandingReportBeforeTheAircraftSetsOffIsKept) {
    // The aircraft's last kept point stands at kFar (at `lastKt`), reported at
    // time 1000; a report at `thinnedTime` at `thinnedKt` (thinned out,
    // `thinnedNorthM` north of it), then one at time 1020 moving off
    // (`movedNorthM` north, at 15 kt). The thinned one goes into the stream
    // before the moving one when it says the aircraft still stood at the
    // spot: else it set off that much early.
    struct Row {
        const char* name;
        AcPhase phase;
        AcSimState state;
        double lastKt, thinnedKt, thinnedNorthM, movedNorthM;
        bool airborne;
        bool kept;
        double thinnedTime = 1010.0;
    };
    const Row rows[] = {
        {"not yet shown, standing at a stand that was not free", AcPhase::birth, AcSimState::buffer, 0, 0, 0, 150,
         false, true},
        {"not yet shown, a few tenths of a knot at the spot 7 s before it moves: still standing", AcPhase::birth,
         AcSimState::buffer, 0, 0.3, 0, 150, false, true, 1013.0},
        {"taxiing, holding at a spot", AcPhase::taxi, AcSimState::active, 0, 0, 0, 150, false, true},
        {"the thinned report elsewhere: scatter, not the spot it stood at", AcPhase::taxi, AcSimState::active, 0, 0, 8,
         150, false, false},
        {"the thinned report 0.2 m off: the same spot", AcPhase::taxi, AcSimState::active, 0, 0, 0.2, 150, false, true},
        {"the last point still moving: no standing run", AcPhase::taxi, AcSimState::active, 6, 0, 0, 150, false, false},
        {"a report still at the spot: it has not set off", AcPhase::taxi, AcSimState::active, 0, 0, 0, 0, false, false},
        {"an airborne report", AcPhase::taxi, AcSimState::active, 0, 0, 0, 150, true, false},
        {"a parked aircraft's reports go to its stand's watch", AcPhase::parked, AcSimState::active, 0, 0, 0, 150,
         false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        tickCount.store(1000);
        LiveAc& ac = aircraft(kHex, row.phase, {streamPoint(kFar, row.lastKt, false, 1500)}, row.state);
        ac.lastReportTime = 1000.0;
        if (row.state == AcSimState::buffer) {
            // Two points, so that it no longer needs the report for a second.
            ac.stream.push_back(streamPoint(kFar, 0, false, 2000));
            ac.lastReportTime = 1000.0;
        }
        const std::size_t before = ac.stream.size();
        decodeMessage(
            report(kHex, streamPoint(northOf(kFar, row.thinnedNorthM), row.thinnedKt, false, 2500), row.thinnedTime));
        ASSERT_EQ(ac.stream.size(), before) << "thinned out";
        const double gs = row.airborne ? 150.0 : (row.movedNorthM > 0.0 ? 15.0 : 0.0);
        decodeMessage(report(kHex, streamPoint(northOf(kFar, row.movedNorthM), gs, row.airborne, 3500), 1020.0));
        ASSERT_EQ(ac.stream.size(), before + (row.kept ? 2 : 1));
        EXPECT_EQ(ac.lastReportTime, 1020.0);
        if (!row.kept) continue;
        const StreamPoint& stood = ac.stream[ac.stream.size() - 2];
        EXPECT_NEAR(gf_distanceNm({stood.lat, stood.lon}, kFar) * metresPerNm, row.thinnedNorthM, 0.01);
        EXPECT_EQ(stood.groundSpeedKt, row.thinnedKt);
        EXPECT_GE(stood.playTick, 2500) << "due when its report said the aircraft stood there";
        EXPECT_LT(stood.playTick, ac.stream.back().playTick);
    }
}

TEST_F(DecodeTest, APushbackReportAFewMetresOnIsNotThinnedOut) {
    // The last point a report pushing the aircraft south at 2.6 kt, reported
    // at time 1000; 3.6 s later one `southM` further south at `kt`, on the
    // same track. At its stand or pushing back, a moving report goes to the
    // stand's watch, which nothing plays later: the last report of a
    // pushback is kept however near the one before. Taxiing, it is set aside.
    struct Row {
        const char* name;
        AcPhase phase;
        double southM, kt;
        bool kept;
    };
    const Row rows[] = {
        {"at its stand, the pushback 5.3 m on", AcPhase::parked, 5.3, 2.9, true},
        {"pushing back, 5.3 m on", AcPhase::pushing_back, 5.3, 2.9, true},
        {"at its stand, 5.3 m on at 0.5 kt: no move yet, thinned out", AcPhase::parked, 5.3, 0.5, false},
        {"taxiing, 5.3 m on: set aside", AcPhase::taxi, 5.3, 2.9, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        tickCount.store(1000);
        LiveAc& ac = aircraft(kHex, row.phase, {streamPoint(kFar, 2.6, false, 1500, 0.0, 180.0)});
        ac.lastReportTime = 1000.0;
        decodeMessage(report(kHex, streamPoint(northOf(kFar, -row.southM), row.kt, false, 1860, 0.0, 180.0), 1003.6));
        ASSERT_EQ(ac.stream.size(), row.kept ? 2u : 1u);
        if (!row.kept) continue;
        EXPECT_NEAR(gf_distanceNm({ac.stream.back().lat, ac.stream.back().lon}, kFar) * metresPerNm, row.southM, 0.01);
        EXPECT_EQ(ac.lastReportTime, 1003.6);
    }
}

TEST_F(DecodeTest, AThinnedReportWhereTheAircraftTurnedDuringAPauseIsKept) {
    // The last kept point at kFar, going north at 6 kt, reported at time
    // 1000; 12 s later a report 18 m north at 2.9 kt (thinned out), then,
    // after a pause, one at 10 kt `eastM` east of that one and `northM`
    // further north. The thinned one goes into the stream first where the
    // new one lies off the line on from the last point by way of it (the
    // aircraft turned there): else the stream cut the corner. Or where the
    // last point is at rest, on the way or not: the thinned one tells when
    // the aircraft set off from there, unless the new one (at newKt) stands
    // at its very place. Or where the last point and the thinned one push
    // the aircraft back (nose south) and the new one taxis it back south
    // past them, nose first: the push ended at the thinned one, however
    // short the way round by it.
    struct Row {
        const char* name;
        AcPhase phase;
        AcSimState state;
        double pauseS, eastM, northM, thinnedKt;
        bool kept;
        double lastKt = 6.0;
        double newKt = 10.0;
        bool pushed = false;
    };
    const Row rows[] = {
        {"not yet shown, turned onto the taxi after its pushback", AcPhase::birth, AcSimState::buffer, 25, 28, 0, 2.9,
         true},
        {"taxiing", AcPhase::taxi, AcSimState::active, 25, 28, 0, 2.9, true},
        {"straight on: on the way", AcPhase::taxi, AcSimState::active, 25, 0, 30, 2.9, false},
        {"a gentle bend: on the way", AcPhase::taxi, AcSimState::active, 25, 8, 30, 2.9, false},
        {"no pause", AcPhase::taxi, AcSimState::active, 5, 28, 0, 2.9, false},
        {"a thinned report at no speed tells no place", AcPhase::taxi, AcSimState::active, 25, 28, 0, 0.0, false},
        {"not yet shown, set off from where it stood", AcPhase::birth, AcSimState::buffer, 25, 0, 60, 2.3, true, 0.0},
        {"taxiing, set off from where it stood", AcPhase::taxi, AcSimState::active, 25, 0, 60, 2.3, true, 0.0},
        {"set off, no pause", AcPhase::taxi, AcSimState::active, 5, 0, 10, 2.3, false, 0.0},
        {"set off, then its place repeated at no speed", AcPhase::birth, AcSimState::buffer, 10, 0, 0, 1.7, false, 0.0,
         0.0},
        {"not yet shown, its pushback ended there, then taxis back past it", AcPhase::birth, AcSimState::buffer, 25, 0,
         -250, 2.9, true, 2.9, 10.0, true},
        {"taxiing back past it after a turn there", AcPhase::taxi, AcSimState::active, 25, 0, -250, 2.9, false, 2.9},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        tickCount.store(1000);
        LiveAc& ac = aircraft(kHex, row.phase, {streamPoint(kFar, row.lastKt, false, 1500)}, row.state);
        if (row.state == AcSimState::buffer) ac.stream.push_front(streamPoint(kFar, 0, false, 1200));
        ac.lastReportTime = 1000.0;
        const auto nose = [](StreamPoint p, double noseDeg) {
            p.hasTrueHeading = 1;
            p.trueHeading = noseDeg * degreesToRadians;
            return p;
        };
        if (row.pushed) ac.stream.back() = nose(ac.stream.back(), 180.0);
        const std::size_t before = ac.stream.size();
        const LaLo aside = northOf(kFar, 18);
        const StreamPoint thinned = streamPoint(aside, row.thinnedKt, false, 2700);
        decodeMessage(report(kHex, row.pushed ? nose(thinned, 180.0) : thinned, 1012.0));
        ASSERT_EQ(ac.stream.size(), before) << "thinned out";
        const LaLo moved =
            gf_destinationPoint(northOf(aside, row.northM), {pi / 2.0, row.eastM * feetPerMetre});
        const StreamPoint next =
            streamPoint(moved, row.newKt, false, 2700 + int(row.pauseS * 100), 0.0, row.northM < 0.0 ? 180.0 : 0.0);
        decodeMessage(report(kHex, row.northM < 0.0 ? nose(next, 180.0) : next, 1012.0 + row.pauseS));
        ASSERT_EQ(ac.stream.size(), before + (row.kept ? 2 : 1));
        EXPECT_EQ(ac.lastReportTime, 1012.0 + row.pauseS);
        if (!row.kept) continue;
        const StreamPoint& turned = ac.stream[ac.stream.size() - 2];
        EXPECT_TRUE(gf_isSamePlace({turned.lat, turned.lon}, aside));
        EXPECT_EQ(turned.playTick, 2700) << "due when it was reported there";
    }
}

TEST_F(DecodeTest, AnAircraftNotYetShownKeepsTheReportThatGivesItASecondPoint) {
    // Standing at 0 kt, the report 5 s after the first: a new aircraft with a
    // single point needs it to be shown at all (the spawn gate drops a lone
    // point once it is due); with two points, or once shown, it adds nothing.
    struct Row {
        AcSimState state;
        int points;
        bool kept;
    };
    for (const Row row : {Row{AcSimState::buffer, 1, true}, Row{AcSimState::buffer, 2, false},
                          Row{AcSimState::active, 1, false}}) {
        SCOPED_TRACE(static_cast<int>(row.state) * 10 + row.points);
        g_liveAircraft.clear();
        std::deque<StreamPoint> stream;
        for (int i = 0; i < row.points; ++i) stream.push_back(streamPoint(kFar, 0, false, 500 + i, 0, 90));
        LiveAc& ac = aircraft(kHex, row.state == AcSimState::buffer ? AcPhase::birth : AcPhase::parked, stream, row.state);
        decodeMessage(report(kHex, streamPoint(kFar, 0, false, 600, 0, 90), 1005.0));
        EXPECT_EQ(ac.stream.size(), static_cast<std::size_t>(row.points + (row.kept ? 1 : 0)));
    }
}

TEST_F(DecodeTest, NewAircraftFilters) {
    struct Row {
        const char* name;
        std::uint32_t hexid;
        const char* type;
        const char* callsign;
        double altitudeFt;
        bool airportAt100, created;
    };
    const Row rows[] = {
        {"hexid 0", 0, "B738", "KLM1", 5000, false, false},
        {"hexid 10000 is a static's", 10000, "B738", "KLM1", 5000, false, false},
        {"hexid 10001", 10001, "B738", "KLM1", 5000, false, true},
        {"an unknown type", kHex, "ZZ99", "KLM1", 5000, false, false},
        {"an excluded category", kHex, "C172", "KLM1", 5000, false, false},
        {"callsign and type live under another hexid", kHex, "A320", "DLH9", 5000, false, false},
        {"the callsign live with another type", kHex, "A321", "DLH9", 5000, false, true},
        {"150 ft over a 100 ft airport", kHex, "B738", "KLM1", 150, true, false},
        {"220 ft over a 100 ft airport", kHex, "B738", "KLM1", 220, true, false},
        {"221 ft over a 100 ft airport", kHex, "B738", "KLM1", 221, true, true},
        {"300 ft over a 100 ft airport", kHex, "B738", "KLM1", 300, true, true},
        {"150 ft without an airport", kHex, "B738", "KLM1", 150, false, true},
    };
    gf_updateSettings([](SettingsSnapshot& s) { s.LIGHT_AIRCRAFT = 0; });
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        gf_clearCurrentAirport();
        if (row.airportAt100) gf_setCurrentAirport({IcaoCode("EDDF"), IataCode("FRA"), LaLo{50.0, 8.5}, 100});
        aircraft(0xAAAAAA, AcPhase::flying, {streamPoint(kFar)}, AcSimState::active, "A320").callsign = "DLH9";
        decodeMessage(report(row.hexid, streamPoint(kFar, 250, true, 0, row.altitudeFt), 1000.0, row.type,
                             row.callsign));
        EXPECT_EQ(g_liveAircraft.size(), row.created ? 2u : 1u);
    }
}

// The reports of an aircraft flying low over the airport are dropped before
// it is kept, as the spawn gate drops them after: the log says so once, also
// when every report before its landing roll came that low, and not again
// once it is kept. A ground report at the airport's altitude is no flight.
TEST_F(DecodeTest, AReportDroppedAsFlyingLowOverTheAirportIsToldOnce) {
    const std::string told = "KLM1 XX-TEST flies 700 ft or less above the airport: not shown while it does";
    gf_setCurrentAirport({IcaoCode("EDDF"), IataCode("FRA"), LaLo{50.0, 8.5}, 100});
    decodeMessage(report(kHex, streamPoint(kFar, 140, true, 0, 200), 1000.0, "B738", "KLM1"));
    decodeMessage(report(kHex, streamPoint(northOf(kFar, 500), 140, true, 100, 110), 1007.0, "B738", "KLM1"));
    decodeMessage(report(kHex + 1, streamPoint(kFar, 0, false, 0, 100), 1000.0, "B738", "KLM2"));
    EXPECT_TRUE(g_liveAircraft.empty());
    const std::string lines = newLogLines();
    EXPECT_EQ(countOf(lines, told), 1u) << lines;
    EXPECT_EQ(countOf(lines, "KLM2"), 0u) << lines;

    decodeMessage(report(kHex, streamPoint(northOf(kFar, 1000), 120, false, 0, 0), 1014.0, "B738", "KLM1"));
    ASSERT_EQ(g_liveAircraft.size(), 1u);
    EXPECT_EQ(g_liveAircraft.front().toldLowOverAirport, 1) << "the spawn gate does not say it again";

    // Kept, not yet shown: its own report that low is told once as well.
    LiveAc& buffered = aircraft(7, AcPhase::birth, {streamPoint(kFar, 250, true, 0, 1000)}, AcSimState::buffer);
    for (double t : {1010.0, 1020.0})
        decodeMessage(report(7, streamPoint(northOf(kFar, 2000), 250, true, 3000, 180), t));
    EXPECT_EQ(buffered.stream.size(), 1u);
    EXPECT_EQ(countOf(newLogLines(), "KLM7 KLM7 flies 700 ft or less above the airport"), 1u);
}

TEST_F(DecodeTest, NewAircraftStartsInBufferWithItsCategoryLimits) {
    struct Row {
        const char* type;
        double climbRateLimit, taxiSpeedRef;
    };
    const Row rows[] = {{"C172", 0.5, 4.0}, {"DH8D", 0.6, 3.5}, {"C56X", 0.75, 3.5}, {"B738", 0.6, 3.0},
                        {"B77W", 0.5, 2.0}, {"F16", 1.0, 4.5},  {"EC35", 0.75, 5.0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type);
        g_liveAircraft.clear();
        TrafficRecord r = report(kHex, streamPoint(kFar, 250, true, 4321, 5000), 1234.5, row.type);
        r.identity.identity3 = "x";
        r.identity.value = 9;
        decodeMessage(r);
        ASSERT_EQ(g_liveAircraft.size(), 1u);
        const LiveAc& ac = g_liveAircraft.front();
        EXPECT_EQ(ac.climbRateLimit, row.climbRateLimit);
        EXPECT_EQ(ac.taxiSpeedRef, row.taxiSpeedRef);
        EXPECT_EQ(ac.turnRateLimit, ac.turnRateRad);
        EXPECT_EQ(ac.hexid, kHex);
        EXPECT_EQ(ac.simState, AcSimState::buffer);
        EXPECT_EQ(ac.phase, AcPhase::birth);
        EXPECT_EQ(ac.lastReportTime, 1234.5);
        ASSERT_EQ(ac.stream.size(), 1u);
        EXPECT_EQ(ac.stream.front().playTick, 4321);
        EXPECT_EQ(ac.identity2, "KLM1234");
        EXPECT_EQ(ac.identity3, "");
        EXPECT_EQ(ac.value, 0u);
    }
    EXPECT_THROW(gf_categoryLimits(7), std::out_of_range);

    g_liveAircraft.clear();
    TrafficRecord r = report(kHex, streamPoint(kFar, 250, true, 0, 5000), 1000.0, "A320");
    r.identity.registration = "PH-BXA";
    decodeMessage(r);
    ASSERT_EQ(g_liveAircraft.size(), 1u);
    EXPECT_EQ(g_liveAircraft.front().key, *gf_findRegistration("PH-BXA")) << "the database's key is taken";
}

TEST_F(DecodeTest, KnownAircraftReportsThatAreDropped) {
    // A buffered aircraft at the airport's altitude, one being respawned, and
    // one whose identity check refuses the report.
    gf_setCurrentAirport({IcaoCode("EDDF"), IataCode("FRA"), LaLo{50.0, 8.5}, 100});
    LiveAc& buffered = aircraft(1, AcPhase::birth, {streamPoint(kFar, 250, true, 0, 1000)}, AcSimState::buffer);
    decodeMessage(report(1, streamPoint(northOf(kFar, 2000), 250, true, 3000, 180), 1010.0));
    EXPECT_EQ(buffered.stream.size(), 1u);
    decodeMessage(report(1, streamPoint(northOf(kFar, 2000), 250, true, 3000, 300), 1010.0));
    EXPECT_EQ(buffered.stream.size(), 2u);

    LiveAc& respawning = aircraft(2, AcPhase::flying, {streamPoint(kFar, 250, true)}, AcSimState::liveryrespawn);
    decodeMessage(report(2, streamPoint(northOf(kFar, 2000), 250, true, 100, 3000), 1010.0));
    EXPECT_EQ(respawning.stream.size(), 1u);

    rec.identityOk = false;
    LiveAc& refused = aircraft(3, AcPhase::flying, {streamPoint(kFar, 250, true)});
    decodeMessage(report(3, streamPoint(northOf(kFar, 2000), 250, true, 100, 3000), 1010.0));
    EXPECT_EQ(refused.stream.size(), 1u);
    EXPECT_EQ(refused.lastReportTime, 1000.0);
}

TEST_F(DecodeTest, StreamLimitsAndHolding) {
    gf_updateSettings([](SettingsSnapshot& s) { s.HOLDING_THRESHOLD_METERS = 250; });
    LiveAc& overlong = aircraft(1, AcPhase::flying, std::deque<StreamPoint>(201, streamPoint(kFar, 250, true)));
    decodeExisting(overlong, streamPoint(kFar, 250, true));
    EXPECT_EQ(overlong.simState, AcSimState::removingfromsim);
    LiveAc& longest = aircraft(2, AcPhase::flying, std::deque<StreamPoint>(200, streamPoint(kFar, 250, true)));
    decodeExisting(longest, streamPoint(kFar, 250, true));
    EXPECT_EQ(longest.simState, AcSimState::active);
    EXPECT_EQ(longest.stream.size(), 201u);

    struct Row {
        double metres;
        bool removed;
    };
    for (const Row row : {Row{240, false}, Row{260, true}}) {
        SCOPED_TRACE(row.metres);
        g_liveAircraft.clear();
        removeQueue.clear();
        LiveAc& ac = aircraft(kHex, AcPhase::taxi, {streamPoint(kFar, 0, false, 100)});
        ac.motion.holding = 1;
        ac.motion.holdingStartTick = 900;
        ac.extrapolationCount = 4;
        decodeExisting(ac, streamPoint(northOf(kFar, row.metres), 5, false, 200));
        EXPECT_EQ(ac.simState == AcSimState::removingfromsim, row.removed);
        EXPECT_EQ(ac.motion.holding, row.removed ? 0 : 1);
        EXPECT_EQ(ac.motion.advanceLimit, row.removed ? 2700 : 900);
        EXPECT_EQ(ac.motion.delayLimit, row.removed ? 2700 : 900);
        EXPECT_EQ(ac.extrapolationCount, row.removed ? 0 : 4);
        EXPECT_EQ(ac.stream.size(), row.removed ? 1u : 2u);
    }
}

TEST_F(DecodeTest, BirthAppendsAcceptedPointsInOrder) {
    LiveAc& ac = aircraft(kHex, AcPhase::birth, {streamPoint(kFar, 250, true, 500)}, AcSimState::buffer);
    decodeExisting(ac, streamPoint(kFar, 250, true, 400));
    decodeExisting(ac, streamPoint(kFar, 250, true, 700));
    rec.accept = false;
    decodeExisting(ac, streamPoint(kFar, 250, true, 900));
    ASSERT_EQ(ac.stream.size(), 3u);
    EXPECT_EQ(ac.stream[1].playTick, 501);
    EXPECT_EQ(ac.stream[2].playTick, 700);
    EXPECT_TRUE(rec.calls.empty()) << "no takeoff is looked for before the aircraft exists";
}

TEST_F(DecodeTest, StationaryRuns) {
    auto still = [](std::int32_t tick) {
        StreamPoint p = streamPoint(kFar, 0, false, tick);
        p.stationary = 1;
        return p;
    };
    auto moving = [](double metres, std::int32_t tick) { return streamPoint(northOf(kFar, metres), 10, false, tick); };

    // Nothing but stationary points: one is kept, and with the new one the
    // aircraft stands from now on.
    LiveAc& standing = aircraft(1, AcPhase::taxi, {still(100), still(200), still(300)});
    StreamPoint last = still(400);
    last.groundSpeedKt = 0.5;
    decodeExisting(standing, last);
    ASSERT_EQ(standing.stream.size(), 2u);
    EXPECT_EQ(standing.stream[0].playTick, 1001);
    EXPECT_EQ(standing.stream[0].groundSpeedKt, 0.5);

    struct Row {
        const char* name;
        std::deque<StreamPoint> stream;
        StreamPoint point;
        std::size_t size;
    };
    const Row rows[] = {
        {"moving on 10 s after the last movement", {moving(0, 0), moving(10, 100), still(200), still(300)},
         moving(60, 1100), 3},
        {"22 s after", {moving(0, 0), moving(10, 100), still(200), still(300)}, moving(60, 2300), 3},
        {"23 s after", {moving(0, 0), moving(10, 100), still(200), still(300)}, moving(60, 2400), 5},
        {"faster than 35 kt", {moving(0, 0), moving(10, 100), still(200), still(300)}, moving(400, 1100), 5},
        {"the last movement the last seven points' first",
         {moving(0, 0), moving(1, 10), moving(2, 20), moving(3, 30), still(40), still(50), still(60), still(70),
          still(80), still(90)},
         moving(20, 500), 5},
        {"the only movement the front point, which is never searched", {moving(0, 0), still(100), still(200)},
         moving(20, 500), 4},
        {"the last movement beyond the last seven points",
         {moving(0, 0), moving(1, 10), moving(2, 20), still(30), still(40), still(50), still(60), still(70), still(80),
          still(90)},
         moving(20, 500), 11},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        LiveAc& ac = aircraft(kHex, AcPhase::taxi, row.stream);
        decodeExisting(ac, row.point);
        EXPECT_EQ(ac.stream.size(), row.size);
        EXPECT_EQ(ac.stream.back().playTick, row.point.playTick);
    }
}

TEST_F(DecodeTest, PlayTicksAndAirborneRetiming) {
    struct Row {
        const char* name;
        bool airborne;
        double metres;
        std::int32_t tick, expected;
    };
    // Large: at least 360 kt, so 5 NM take 50 s; 10 m take 0.05 s, raised to 25 ticks.
    const Row rows[] = {
        {"a ground point due before the last", false, 10, 900, 1001},
        {"5 NM in 1 s", true, 5 * 1852.0, 1100, 6000},
        {"10 m at once", true, 10, 1000, 1025},
        {"5 NM in 60 s", true, 5 * 1852.0, 7000, 7000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        LiveAc& ac = aircraft(kHex, row.airborne ? AcPhase::flying : AcPhase::taxi,
                              {streamPoint(kFar, 100, row.airborne, 1000, 5000)});
        decodeExisting(ac, streamPoint(northOf(kFar, row.metres), 100, row.airborne, row.tick, 5000));
        EXPECT_NEAR(ac.stream.back().playTick, row.expected, 1);
    }
}

TEST_F(DecodeTest, ALonePositionOutOfReachInTheAirWaitsForTheNextReport) {
    // From a point due at tick 1000, a report 5 NM off 3 s later (out of
    // reach), then one 3 s after that: near the stream again (the off one
    // was wrong), or near the off one (the aircraft really is there).
    struct Row {
        const char* name;
        AcPhase phase;
        AcSimState state;
        std::uint8_t onGround;
        double nextNorthM;  // the report after the off one
        std::vector<double> northM;  // the stream afterwards
    };
    const double offM = 5 * 1852.0;
    const Row rows[] = {
        {"flying, a lone bad position", AcPhase::flying, AcSimState::active, 0, 900.0, {0.0, 900.0}},
        {"flying, a real move", AcPhase::flying, AcSimState::active, 0, offM + 300.0, {0.0, offM, offM + 300.0}},
        {"not yet shown, a lone bad position", AcPhase::birth, AcSimState::buffer, 0, 900.0, {0.0, 900.0}},
        {"on the ground: the ground rules judge it", AcPhase::taxi, AcSimState::active, 1, offM + 300.0,
         {0.0, offM, offM + 300.0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        LiveAc& ac = aircraft(kHex, row.phase, {streamPoint(kFar, 250, true, 1000, 5000)}, row.state);
        ac.onGround = row.onGround;
        decodeExisting(ac, streamPoint(northOf(kFar, offM), 250, true, 1300, 5000));
        decodeExisting(ac, streamPoint(northOf(kFar, row.nextNorthM), 250, true, 1600, 5000));
        std::vector<double> northM;
        for (const StreamPoint& p : ac.stream) northM.push_back(std::round(gf_distanceNm(kFar, {p.lat, p.lon}) * 1852.0));
        EXPECT_EQ(northM, row.northM);
    }
    // Dead reckoning ran ahead of the reports: the report that ends it goes
    // to the rules for that at once, not held as out of reach of a
    // dead-reckoned point due later than itself.
    g_liveAircraft.clear();
    LiveAc& ac = aircraft(kHex, AcPhase::flying,
                          {streamPoint(kFar, 250, true, 1000, 5000), streamPoint(northOf(kFar, 3000), 250, true, 2000, 5000)});
    ac.onGround = 0;
    ac.extrapolationCount = 3;
    decodeExisting(ac, streamPoint(northOf(kFar, 300), 250, true, 1300, 5000));
    EXPECT_EQ(ac.stream.size(), 3u);
    // It is judged against the last report the stream took (here 300 m
    // north, due at 1300): 30 s later, 3700 m on is taken; 5 NM off to the
    // east of that (650 kt) waits for the next report, which bears it out:
    // so far abeam of the line its track keeps, the aircraft is made again
    // there rather than flown round to it.
    for (const double eastNm : {0.0, 5.0}) {
        SCOPED_TRACE(eastNm);
        g_liveAircraft.clear();
        LiveAc& on = aircraft(kHex, AcPhase::flying, {streamPoint(kFar, 250, true, 1000, 5000)});
        on.onGround = 0;
        decodeExisting(on, streamPoint(northOf(kFar, 300), 250, true, 1300, 5000));
        on.stream.push_back(streamPoint(northOf(kFar, 3000), 250, true, 2300, 5000));
        on.extrapolationCount = 3;
        const LaLo at = gf_destinationPoint(northOf(kFar, 4000), {pi / 2.0, eastNm * feetPerNm});
        decodeExisting(on, streamPoint(at, 250, true, 4300, 5000));
        EXPECT_EQ(on.stream.size(), eastNm > 0.0 ? 3u : 4u);
        const LaLo next = gf_destinationPoint(northOf(kFar, 4400), {pi / 2.0, eastNm * feetPerNm});
        decodeExisting(on, streamPoint(next, 250, true, 4600, 5000));
        if (eastNm > 0.0)
            EXPECT_EQ(on.simState, AcSimState::removingfromsim);
        else
            EXPECT_EQ(on.stream.size(), 5u);
    }
}

namespace {

// An aircraft made from its first report remembers it as the last report
// (the stream's last point: one on the ground may lie before it).
void lf_madeFromItsReport(LiveAc& ac) {
    ac.motion.lastAirReport = ac.stream.back();
    ac.motion.lastAirReportSet = 1;
    ac.motion.lastAirReportTime = ac.lastReportTime;
}

// No aircraft, none quarantined or waiting to be removed.
void lf_emptyWorld() {
    g_liveAircraft.clear();
    quarantine.clear();
    removeQueue.clear();
}

// Shown in the air, made from its first report.
LiveAc& lf_flyingFromItsReport(LiveAc& ac) {
    lf_madeFromItsReport(ac);
    ac.onGround = 0;
    return ac;
}

}  // namespace

TEST_F(DecodeTest, TheAirReportBeforeTheLatestIsKeptAsItWentIn) {
    // Flying north at 250 kt from kFar, then turning right: each airborne
    // report the stream takes becomes the latest, and the one before it is
    // kept as it went in (the pace across a pause in the reports is told by
    // the two).
    LiveAc& ac = aircraft(kHex, AcPhase::flying, {streamPoint(kFar, 250, true, 1000, 5000)});
    lf_madeFromItsReport(ac);
    ac.onGround = 0;
    const LaLo first = northOf(kFar, 643);
    decodeExisting(ac, streamPoint(first, 250, true, 1500, 5000));
    const StreamPoint firstIn = ac.motion.lastAirReport;
    ASSERT_DOUBLE_EQ(firstIn.lat, first.lat);
    const LaLo second = gf_destinationPoint(first, {pi / 4.0, 643.0 * feetPerMetre});
    decodeExisting(ac, streamPoint(second, 250, true, 2000, 5000, 45.0));
    ASSERT_EQ(ac.motion.airReportBeforeSet, 1);
    EXPECT_DOUBLE_EQ(ac.motion.airReportBefore.lat, firstIn.lat);
    EXPECT_EQ(ac.motion.airReportBefore.playTick, firstIn.playTick);
    EXPECT_DOUBLE_EQ(ac.motion.lastAirReport.lon, second.lon);
}

TEST_F(DecodeTest, AFlyingReportBeforeTheAircraftIsShownFallsDueNoSoonerThanItsOwnTimeAfterTheLast) {
    // The stream holds a report due at 2000 (reported at 1000 s); the next,
    // 560 m on and reported 5.5 s later (200 kt), came in a batch timed
    // apart: due 1.9 s after it it reads as 570 kt, out of reach.
    struct Row {
        const char* name;
        std::int32_t tick;
        std::int32_t due;  // of the stream's last point afterwards
    };
    const Row rows[] = {
        {"timed short: due 5.5 s after the last", 2190, 2550},
        {"timed later: kept", 2700, 2700},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        LiveAc& ac = aircraft(kHex, AcPhase::birth, {streamPoint(kFar, 200, true, 2000, 5000)}, AcSimState::buffer);
        lf_flyingFromItsReport(ac);
        decodeMessage(report(kHex, streamPoint(northOf(kFar, 560), 200, true, row.tick, 5000), 1005.5));
        ASSERT_EQ(ac.stream.size(), 2u);
        EXPECT_EQ(ac.motion.heldJumpSet, 0);
        EXPECT_EQ(ac.stream.back().playTick, row.due);
    }
}

TEST_F(DecodeTest, AFlyingReportThatCameLateBeforeTheAircraftIsShownFallsDueAtItsOwnSpacing) {
    // The stream holds a report due at 2000 (reported at 1000 s, flying
    // north at 200 kt), after a point on the ground due at the row's tick
    // where it has one; the next two, 206 m on 2 s later and 720 m on 7 s
    // later, come in batches timed as the row has them. The due ticks of the
    // stream's last three points afterwards.
    struct Row {
        const char* name;
        std::int32_t second, third;
        std::array<std::int32_t, 3> due;
        std::int32_t ground = 0;
    };
    const Row rows[] = {
        // Kept, the late one had the one on time, and all after it, fall
        // due 4.7 s late.
        {"one 4.7 s late, then one on time: the late one is pulled back", 2670, 2700, {2000, 2200, 2700}},
        {"both as late: kept", 2670, 3170, {2000, 2670, 3170}},
        {"on time, then one timed short: that one waits", 2200, 2550, {2000, 2200, 2700}},
        // The first one came 5 s late: nothing before it tells, the third
        // one does. Kept, every report after the first one fell due as late.
        {"the first one 5 s late, then two on time: both before the third are pulled back", 1700, 2200,
         {1500, 1700, 2200}},
        {"the third timed shorter still: back no further than the second's batch had it", 1700, 2100,
         {1500, 1700, 2200}},
        {"the third timed as the first one has it: kept", 1700, 2700, {2000, 2200, 2700}},
        {"a point on the ground before them: back no further than that", 1700, 2200, {1951, 2151, 2651}, 1950},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        lf_emptyWorld();
        std::deque<StreamPoint> stream{streamPoint(kFar, 200, true, 2000, 5000)};
        if (row.ground != 0) stream.push_front(streamPoint(northOf(kFar, -300), 150, false, row.ground, 0));
        LiveAc& ac = lf_flyingFromItsReport(aircraft(kHex, AcPhase::birth, stream, AcSimState::buffer));
        // After a point on the ground it is not the aircraft's second point,
        // kept whatever it adds: turning a little, it adds a track.
        const double track = row.ground != 0 ? 1.5 : 0.0;
        decodeMessage(report(kHex, streamPoint(northOf(kFar, 206), 200, true, row.second, 5000, track), 1002.0));
        decodeMessage(report(kHex, streamPoint(northOf(kFar, 720), 200, true, row.third, 5000), 1007.0));
        ASSERT_EQ(ac.stream.size(), stream.size() + 2);
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_EQ(ac.stream[ac.stream.size() - 3 + i].playTick, row.due[i]) << "point " << i;
    }
}

TEST_F(DecodeTest, AReportOffTheLineTheTracksAgreeOnPutsTheAircraftThere) {
    // Flying north at 250 kt, its last report at kFar at time 1000; the next
    // report, also at 250 kt, comes the row's seconds later where the row puts
    // it (metres from kFar along a bearing), on the row's track.
    struct Row {
        const char* name;
        double bearingDeg, metres, dt, trackDeg;
        bool removed;
        bool held = false;  // out of reach: it waits for the next report
    };
    const double mps = 250.0 * kKnotsToMps;
    const Row rows[] = {
        {"on the line, at its pace", 0, 40 * mps, 40, 0, false},
        {"5 NM abeam: a detour no aircraft flies", 90, 5 * 1852.0, 40, 0, true},
        {"45 degrees off at a crawl", 45, 2000, 40, 0, true},
        {"45 degrees off at 1.6 times its pace", 45, 64 * mps, 40, 0, true},
        {"45 degrees off at twice its pace: out of reach", 45, 80 * mps, 40, 0, false, true},
        {"45 degrees off at its pace: a dogleg", 45, 40 * mps, 40, 0, false},
        {"25 degrees off at a crawl", 25, 2000, 40, 0, false},
        {"tracks 20 degrees apart: it turned", 90, 5 * 1852.0, 40, 20, false},
        {"within a mile", 90, 1800, 40, 0, false},
        {"time to turn a whole circle", 90, 5 * 1852.0, 101, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        lf_emptyWorld();
        LiveAc& ac =
            lf_flyingFromItsReport(aircraft(kHex, AcPhase::flying, {streamPoint(kFar, 250, true, 1000, 5000)}));
        const LaLo at = gf_destinationPoint(kFar, {row.bearingDeg * degreesToRadians, row.metres * feetPerMetre});
        decodeMessage(report(kHex, streamPoint(at, 250, true, 1000 + std::int32_t(row.dt * 100), 5000, row.trackDeg),
                             1000.0 + row.dt));
        EXPECT_EQ(ac.simState == AcSimState::removingfromsim, row.removed);
        EXPECT_EQ(quarantine.contains(kHex), row.removed);
        EXPECT_EQ(ac.stream.size(), row.removed || row.held ? 1u : 2u);
    }
    // Out of reach (3 km abeam 5 s later), it waits for the next report; that
    // one bears it out: the last report was the wrong one, and the aircraft
    // is made again where the reports are. Borne out on the line, the
    // aircraft flies there.
    for (const double bearingDeg : {90.0, 0.0}) {
        SCOPED_TRACE(bearingDeg);
        g_liveAircraft.clear();
        quarantine.clear();
        LiveAc& ac = aircraft(kHex, AcPhase::flying, {streamPoint(kFar, 250, true, 1000, 5000)});
        lf_madeFromItsReport(ac);
        ac.onGround = 0;
        const double b = bearingDeg * degreesToRadians;
        const LaLo held = gf_destinationPoint(kFar, {b, 3000.0 * feetPerMetre});
        decodeMessage(report(kHex, streamPoint(held, 250, true, 1500, 5000), 1005.0));
        EXPECT_EQ(ac.stream.size(), 1u);
        decodeMessage(report(kHex, streamPoint(northOf(held, 3 * mps), 250, true, 1800, 5000), 1008.0));
        EXPECT_EQ(ac.simState == AcSimState::removingfromsim, bearingDeg == 90.0);
        EXPECT_EQ(ac.stream.size(), bearingDeg == 90.0 ? 1u : 3u);
    }
    // Judged against the last report, not the stream's last point: where an
    // aircraft created late was placed, on the course of a report before a
    // turn, says nothing of the way its reports went.
    {
        g_liveAircraft.clear();
        quarantine.clear();
        LiveAc& ac = aircraft(kHex, AcPhase::flying, {streamPoint(kFar, 250, true, 1000, 5000)});
        lf_madeFromItsReport(ac);
        ac.onGround = 0;
        const LaLo placed = gf_destinationPoint(kFar, {pi / 3.0, 2000.0 * feetPerMetre});
        ac.stream.back() = streamPoint(placed, 250, true, 1200, 5000, 60.0);
        const LaLo at = gf_destinationPoint(placed, {-pi / 6.0, 3000.0 * feetPerMetre});
        decodeMessage(report(kHex, streamPoint(at, 250, true, 5000, 5000, 60.0), 1040.0));
        EXPECT_NE(ac.simState, AcSimState::removingfromsim);
        EXPECT_EQ(ac.stream.size(), 2u);
    }
    // Not yet shown, its first report alone: that one was the odd one, and
    // the aircraft starts where the new report's track and speed put it at
    // the first report's time.
    g_liveAircraft.clear();
    LiveAc& ac = aircraft(kHex, AcPhase::birth, {streamPoint(kFar, 250, true, 1000, 5000)}, AcSimState::buffer);
    lf_madeFromItsReport(ac);
    ac.onGround = 0;
    const LaLo at = gf_destinationPoint(kFar, {pi / 2.0, 2000.0 * feetPerMetre});
    decodeMessage(report(kHex, streamPoint(at, 250, true, 3000, 5000), 1020.0));
    EXPECT_EQ(ac.simState, AcSimState::buffer);
    ASSERT_EQ(ac.stream.size(), 2u);
    EXPECT_NEAR(gf_distanceNm(at, {ac.stream.back().lat, ac.stream.back().lon}) * 1852.0, 0.0, 1.0);
    EXPECT_NEAR(gf_distanceNm(northOf(at, -20 * mps), {ac.stream.front().lat, ac.stream.front().lon}) * 1852.0, 0.0, 1.0);
    EXPECT_EQ(ac.stream.front().playTick, 1000);
    // The same with a report held in between: the first report lay 5 NM off
    // (8.6 km north and 4.5 km east of an aircraft flying east at 478 kt),
    // the next one came 23 s later out of its reach and waited, and the one
    // 10 s after that lies within the first one's reach but off its line.
    // The held one, which it bears out, takes the first one's place (from
    // the first one's time on) and the new one follows it: dropped, the
    // aircraft waited for a third report before it could be shown.
    {
        lf_emptyWorld();
        const double v = 478 * kKnotsToMps;
        const auto east = [](double m) { return gf_destinationPoint(kFar, {pi / 2.0, m * feetPerMetre}); };
        const LaLo first = gf_destinationPoint(east(4500.0), {0.0, 8600.0 * feetPerMetre});
        LiveAc& born = lf_flyingFromItsReport(aircraft(
            kHex, AcPhase::birth, {streamPoint(first, 478, true, 1000, 36500, 90)}, AcSimState::buffer));
        decodeMessage(report(kHex, streamPoint(east(23 * v), 478, true, 3300, 36500, 90), 1023.0));
        EXPECT_EQ(born.stream.size(), 1u);
        decodeMessage(report(kHex, streamPoint(east(33 * v), 478, true, 4300, 36500, 90), 1033.0));
        ASSERT_EQ(born.stream.size(), 3u);
        // (Taken back along its track: a great circle's heading drifts off
        // east by a few metres over the way.)
        const double expectedEastM[] = {0.0, 23 * v, 33 * v};
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_NEAR(gf_distanceNm(east(expectedEastM[i]), {born.stream[i].lat, born.stream[i].lon}) * 1852.0, 0.0,
                        10.0)
                << i;
        EXPECT_EQ(born.stream.front().playTick, 1000);
        EXPECT_EQ(born.motion.heldJumpSet, 0);
    }
}

TEST_F(DecodeTest, TheReportAfterAHeldOneDecidesWhichWasWrong) {
    // Flying north at 250 kt (out of reach above 500 kt) from a point due at
    // tick 1000; reports 3 s apart from firstTick, the first at firstKt, at
    // 5000 ft unless the row gives their altitudes. More than 1000 ft and
    // 100 ft a second off the report before is out of reach as well.
    struct Row {
        const char* name;
        AcPhase phase;
        std::vector<double> reportsNorthM;
        double firstKt;
        std::int32_t firstTick;
        std::vector<double> northM;  // the stream afterwards
        std::int32_t frontTick;
        std::vector<double> altitudesFt = {};
    };
    const double offM = 5 * 1852.0;
    const double back3sM = std::round(250 * kKnotsToMps * 3);
    const Row rows[] = {
        // 2000 m in 6 s reads as 648 kt (as from a point retimed late).
        {"out of reach of both, nearer the stream", AcPhase::flying, {offM, 2000, 2200}, 250, 1300, {0, 2200}, 1000},
        // Two bad positions in a row, each out of reach of the other: neither
        // goes in; the one after them bears out none of them.
        {"out of reach of both, nearer the held one", AcPhase::flying, {offM, offM + 1800, offM + 1900}, 250, 1300,
         {0, offM + 1800, offM + 1900}, 1000},
        {"two bad positions in a row, then on course", AcPhase::flying, {offM, offM + 900, 2000, 2300}, 250, 1300,
         {0, 2000, 2300}, 1000},
        {"not yet shown, its first report the bad one: from it on time", AcPhase::birth, {offM, offM + 300}, 250, 1300,
         {offM - back3sM, offM, offM + 300}, 1000},
        {"the same, 31 s before", AcPhase::birth, {offM, offM + 300}, 250, 4100, {offM, offM + 300}, 4100},
        {"the same, at an absurd speed", AcPhase::birth, {offM, offM + 300}, 1e6, 1300, {offM, offM + 300}, 1300},
        {"an altitude 5000 ft off", AcPhase::flying, {400, 800}, 250, 1300, {0, 800}, 1000, {10000, 5000}},
        {"the same, not yet shown", AcPhase::birth, {400, 800}, 250, 1300, {0, 800}, 1000, {10000, 5000}},
        {"the same, borne out by the next report", AcPhase::flying, {400, 800}, 250, 1300, {0, 400, 800}, 1000,
         {10000, 10100}},
        {"a steep climb: 1200 ft in 3 s", AcPhase::flying, {400, 800}, 250, 1300, {0, 400, 800}, 1000, {6200, 6300}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        LiveAc& ac = aircraft(kHex, row.phase, {streamPoint(kFar, 250, true, 1000, 5000)},
                              row.phase == AcPhase::birth ? AcSimState::buffer : AcSimState::active);
        ac.onGround = 0;
        for (std::size_t i = 0; i < row.reportsNorthM.size(); ++i)
            decodeExisting(ac, streamPoint(northOf(kFar, row.reportsNorthM[i]), i == 0 ? row.firstKt : 250, true,
                                           row.firstTick + 300 * std::int32_t(i),
                                           row.altitudesFt.empty() ? 5000.0 : row.altitudesFt[i]));
        std::vector<double> northM;
        for (const StreamPoint& p : ac.stream) northM.push_back(std::round(gf_distanceNm(kFar, {p.lat, p.lon}) * 1852.0));
        EXPECT_EQ(northM, row.northM);
        EXPECT_EQ(ac.stream.front().playTick, row.frontTick);
    }
}

TEST_F(DecodeTest, ABadPositionWithinReachOfTheReportBeforeItGoesWhenTheReportsAfterItAgree) {
    // Flying north at 250 kt: a report 30 s on along its track, then one 30 s
    // later 6 km west of it (389 kt from it: within reach, so taken), then
    // one 6 s later back on the line 36 s on from the first (out of reach of
    // the west one: held), borne out 3 s later by the next. The west report,
    // on a track of its own (so no detour off a line the tracks agree on),
    // was the bad one: not yet flown to, it is dropped; on the leg to it, the
    // aircraft is made again where the reports are. Off the line as well
    // (12 km east: out of reach of the report before too), the reports after
    // it, on a turn, only show the aircraft flying there: it keeps them all.
    // So it does when the held report came due before the west one (out of
    // its reach by time alone, as when the stream retimed its last point).
    struct Row {
        const char* name;
        bool onTheLegToIt;
        double heldEastM;
        std::vector<double> northM;  // the stream afterwards, metres north of kFar
        bool remade;
        std::int32_t heldTick = 7600;
    };
    const double mps = 250.0 * kKnotsToMps;
    const double aM = std::round(30 * mps);
    const double cM = std::round(66 * mps);
    const double dM = std::round(69 * mps);
    const Row rows[] = {
        {"not yet on the way there", false, 0.0, {0, aM, cM, dM}, false},
        {"on the leg to it", true, 0.0, {aM}, true},
        {"the report before it out of reach too", false, 12000.0, {0, aM, aM, cM, dM}, false},
        {"the held report due before it", false, 0.0, {0, aM, aM, cM, dM}, false, 6900},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        lf_emptyWorld();
        LiveAc& ac =
            lf_flyingFromItsReport(aircraft(kHex, AcPhase::flying, {streamPoint(kFar, 250, true, 1000, 5000)}));
        const double track = row.heldEastM > 0.0 ? 20.0 : 0.0;
        const LaLo a = northOf(kFar, aM);
        decodeExisting(ac, streamPoint(a, 250, true, 4000, 5000));
        decodeExisting(
            ac, streamPoint(gf_destinationPoint(a, {-pi / 2.0, 6000.0 * feetPerMetre}), 250, true, 7000, 5000, 90.0));
        ASSERT_EQ(ac.stream.size(), 3u);
        if (row.onTheLegToIt) ac.stream.erase(ac.stream.begin(), ac.stream.begin() + 2);
        const auto east = [&](double northM) {
            return gf_destinationPoint(northOf(kFar, northM), {pi / 2.0, row.heldEastM * feetPerMetre});
        };
        decodeExisting(ac, streamPoint(east(cM), 250, true, row.heldTick, 5000, track));
        decodeExisting(ac, streamPoint(east(dM), 250, true, row.heldTick + 300, 5000, track));
        EXPECT_EQ(ac.simState == AcSimState::removingfromsim, row.remade);
        EXPECT_EQ(quarantine.contains(kHex), row.remade);
        std::vector<double> northM;
        for (const StreamPoint& p : ac.stream)
            northM.push_back(std::round(gf_distanceNm(kFar, {p.lat, p.lon}) * 1852.0 *
                                        std::cos(gf_bearing(kFar, {p.lat, p.lon}))));
        EXPECT_EQ(northM, row.northM);
    }
}

TEST_F(DecodeTest, DeadReckoningFarAheadOfItsReportsIsMadeAgainWhereTheyAre) {
    // Flying north at 250 kt, dead reckoning 10 km on from its last report
    // (at kFar; each report comes at the pace from there):
    // a report behind it on its course further than it flies in 10 s (and a
    // mile) makes it again where the report is. One nearer behind is left to
    // the stream (which refuses it), as is one far off abeam (a turn), unless
    // it falls due so much later that the aircraft, flying on at no less than
    // its floor, is that far past it by then.
    struct Row {
        const char* name;
        double northM, eastM;
        bool remade;
        std::int32_t dueIn = 0;  // ticks from now; 0: at the pace from kFar
    };
    const Row rows[] = {
        {"3 km behind", 7000.0, 0.0, true},
        {"1.2 km behind", 8800.0, 0.0, false},
        {"3 km abeam", 10000.0, 3000.0, false},
        {"1.2 km behind, due in 30 s", 8800.0, 0.0, true, 3000},
        {"3 km abeam, due in 30 s", 10000.0, 3000.0, false, 3000},
    };
    // Now is when the aircraft, 10 km on at 250 kt, is there.
    const auto now = 1000 + static_cast<std::int32_t>(10000.0 / (250.0 * kKnotsToMps) * 100.0);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        lf_emptyWorld();
        tickCount.store(now);
        const LaLo ahead = northOf(kFar, 10000.0);
        LiveAc& ac = lf_flyingFromItsReport(
            aircraft(kHex, AcPhase::flying, {streamPoint(ahead, 250, true, 1000, 5000)}));
        ac.pose.latitude = ahead.lat;
        ac.pose.longitude = ahead.lon;
        ac.pose.heading = 0.0;
        ac.extrapolationCount = 3;
        ac.motion.lastAirReport = streamPoint(kFar, 250, true, 1000, 5000);
        const LaLo at = gf_destinationPoint(northOf(kFar, row.northM), {pi / 2.0, row.eastM * feetPerMetre});
        const double metres = std::hypot(row.northM, row.eastM);
        const auto due = row.dueIn > 0 ? now + row.dueIn
                                       : 1000 + static_cast<std::int32_t>(metres / (250.0 * kKnotsToMps) * 100.0);
        gf_forgetReportsToMakeAgainFrom();
        decodeExisting(ac, streamPoint(at, 250, true, due, 5000));
        EXPECT_EQ(ac.simState == AcSimState::removingfromsim, row.remade);
        EXPECT_EQ(quarantine.contains(kHex), row.remade);
        // Made again from that report first.
        const std::optional<StreamPoint> from = gf_reportToMakeAgainFrom(kHex);
        EXPECT_EQ(from.has_value(), row.remade);
        if (from) EXPECT_EQ(from->playTick, due);
    }
}

TEST_F(DecodeTest, AnAltitudeBeyondWhatTheCategoryClimbsWaitsForTheNextReport) {
    // A C172 flying north at 100 kt at 5000 ft (due at tick 1000); after a
    // pause of 40 s a report at the row's altitude, then one 3 s after it.
    // The category climbs 3000 ft in those 40 s (and 1000 ft of slack):
    // 4700 ft up is within the steepest rate of any aircraft, not of this one.
    // A report on the ground (at 0 ft, as the feed gives it) stands at the
    // 100 ft airport, 4900 ft down: within the steepest rate too.
    struct Row {
        const char* name;
        double offFt, nextFt;
        std::vector<double> altitudesFt;  // the stream afterwards
        bool offOnGround = false, nextOnGround = false;
    };
    const Row rows[] = {
        {"4700 ft up, then back down: dropped", 9700, 5000, {5000, 5000}},
        // Taken: the report back down 3 s later is the one out of reach.
        {"2900 ft up: within the category's climb", 7900, 5000, {5000, 7900}},
        {"3900 ft down, borne out by the next report", 1100, 1100, {5000, 1100, 1100}},
        {"3900 ft down, then back up: dropped", 1100, 5000, {5000, 5000}},
        {"3900 ft down, borne out by a touchdown", 1100, 0, {5000, 1100, 0}, false, true},
        {"a touchdown, then back up: dropped", 0, 5000, {5000, 5000}, true, false},
    };
    gf_setCurrentAirport({IcaoCode("EDDF"), IataCode("FRA"), LaLo{50.0, 8.5}, 100});
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        LiveAc& ac = aircraft(kHex, AcPhase::flying, {streamPoint(kFar, 100, true, 1000, 5000)}, AcSimState::active,
                              "C172");
        ac.onGround = 0;
        ac.climbRateLimit = gf_categoryLimits(ac.category).climbRateLimit;
        decodeExisting(ac, streamPoint(northOf(kFar, 2058), 100, !row.offOnGround, 5000, row.offFt));
        decodeExisting(ac, streamPoint(northOf(kFar, 2212), 100, !row.nextOnGround, 5300, row.nextFt));
        std::vector<double> altitudesFt;
        for (const StreamPoint& p : ac.stream) altitudesFt.push_back(p.altitudeFt);
        EXPECT_EQ(altitudesFt, row.altitudesFt);
    }
}

TEST_F(DecodeTest, AGroundPositionOutOfReachBeforeTheAircraftIsShownWaitsForTheNextReport) {
    // Not yet shown, standing at 0 kt (due at tick 1000); a report at the
    // given distance 3 s later, then one 3 s after that.
    struct Row {
        const char* name;
        double offM, offKt, nextNorthM;
        std::vector<double> northM;  // the stream afterwards
    };
    const double offM = 5 * 1852.0;
    const Row rows[] = {
        {"5 NM off, then back near the stream: dropped", offM, 0, 10, {0, 10}},
        // The first report was the odd one: the held report takes its place.
        {"5 NM off, then near it: the aircraft is there", offM, 0, offM + 10, {offM, offM + 10}},
        // 92 m in 3 s is 59.6 kt: a move at that pace is a move, however
        // slowly it is reported (the point before may be a stale one).
        {"92 m on from standing", 92, 0, 80, {0, 92, 80}},
        {"94 m on from standing: out of reach", 94, 0, 80, {0, 80}},
        // The next report goes on the way the held one went (94 + 56 m
        // against 150 m straight): the standing point was a stale one.
        {"94 m on from standing, then further on: the aircraft went there", 94, 0, 150, {0, 94, 150}},
        {"94 m on from standing, then back short of it", 94, 0, 30, {0, 30}},
        // Reported at 30 kt: up to 90 kt (138.9 m in 3 s) is a move. The
        // next report back short of it bears out neither.
        {"138 m on at 30 kt", 138, 30, 100, {0, 138, 100}},
        {"140 m on at 30 kt: out of reach", 140, 30, 100, {0, 100}},
        // A speed no roll goes vouches for no move: 5 NM in 3 s stays a jump.
        {"5 NM off at 1e6 kt, then back near the stream: dropped", offM, 1e6, 10, {0, 10}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        LiveAc& ac = aircraft(kHex, AcPhase::birth, {streamPoint(kFar, 0, false, 1000)}, AcSimState::buffer);
        decodeExisting(ac, streamPoint(northOf(kFar, row.offM), row.offKt, false, 1300));
        decodeExisting(ac, streamPoint(northOf(kFar, row.nextNorthM), row.offKt, false, 1600));
        std::vector<double> northM;
        for (const StreamPoint& p : ac.stream) northM.push_back(std::round(gf_distanceNm(kFar, {p.lat, p.lon}) * 1852.0));
        EXPECT_EQ(northM, row.northM);
    }
}

TEST_F(DecodeTest, AGroundFirstReportOutOfReachOfTheTwoAfterItGivesWayToThem) {
    // Not yet shown, first reported 5 NM off (due at tick 1000), then at its
    // place 3 s and 6 s later (the next report nextM on from the held one),
    // with the stream checks of the engine: the reports after the odd one
    // are judged against the held report, not against a place miles off.
    gf_setDecodeCalls({});
    struct Row {
        const char* name;
        double kt, nextM;
        std::vector<double> northM;  // the stream afterwards, from the held report
        std::int32_t frontTick;
        bool nextStands;
    };
    const Row rows[] = {
        // 20 m off at no speed: the scatter of a parked aircraft's reports,
        // a copy of where it stands (from the first report's time).
        {"standing, its reports scattered", 0, 20, {0, 0}, 1000, true},
        {"taxiing at 10 kt", 10, 15, {0, 15}, 1300, false},
    };
    const double offM = 5 * 1852.0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        LiveAc& ac = aircraft(kHex, AcPhase::birth, {streamPoint(kFar, row.kt, false, 1000)}, AcSimState::buffer);
        const LaLo held = northOf(kFar, offM);
        decodeExisting(ac, streamPoint(held, row.kt, false, 1300));
        decodeExisting(ac, streamPoint(northOf(held, row.nextM), row.kt, false, 1600));
        std::vector<double> northM;
        for (const StreamPoint& p : ac.stream) northM.push_back(std::round(gf_distanceNm(held, {p.lat, p.lon}) * 1852.0));
        EXPECT_EQ(northM, row.northM);
        EXPECT_EQ(ac.stream.front().playTick, row.frontTick);
        EXPECT_EQ(ac.stream.back().stationary != 0, row.nextStands);
    }
}

TEST_F(DecodeTest, AGroundPositionOutOfReachOnARollWaitsForTheNextReport) {
    // Shown and rolling at 100 kt, the last point due at lastTick; a report
    // at offM north of it 3 s later (tick 1300, due streamLag later), then
    // one 3 s after that at nextNorthM.
    struct Row {
        const char* name;
        AcPhase phase;
        std::int32_t lastTick, streamLag;
        double offM, nextNorthM;
        std::vector<double> northM;  // the stream afterwards
    };
    const double offM = 5 * 1852.0;
    const Row rows[] = {
        {"landing roll, 5 NM off, then back near the stream: dropped", AcPhase::landing_roll, 1000, 0, offM, 300,
         {0, 300}},
        {"landing roll, 5 NM off, then near it: the aircraft is there", AcPhase::landing_roll, 1000, 0, offM,
         offM + 300, {0, offM, offM + 300}},
        {"takeoff roll, 5 NM off, then back near the stream: dropped", AcPhase::takeoff_roll, 1000, 0, offM, 300,
         {0, 300}},
        // 300 m in 3 s is 194 kt, under three times the roll's 100 kt.
        {"landing roll, 300 m on: a move", AcPhase::landing_roll, 1000, 0, 300, 450, {0, 300, 450}},
        // The stream runs 5 s late: the last point fell due at 1500 and the
        // off one at 1800, 3 s after it.
        {"a stream running late, 5 NM off: dropped", AcPhase::landing_roll, 1500, 500, offM, 300, {0, 300}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        LiveAc& ac = aircraft(kHex, row.phase, {streamPoint(kFar, 100, false, row.lastTick)});
        ac.motion.streamLagTicks = row.streamLag;
        decodeExisting(ac, streamPoint(northOf(kFar, row.offM), 100, false, 1300));
        decodeExisting(ac, streamPoint(northOf(kFar, row.nextNorthM), 100, false, 1600));
        std::vector<double> northM;
        for (const StreamPoint& p : ac.stream) northM.push_back(std::round(gf_distanceNm(kFar, {p.lat, p.lon}) * 1852.0));
        EXPECT_EQ(northM, row.northM);
    }
}

TEST_F(DecodeTest, AReportOnARollIsJudgedForReachByItsOwnTimeAfterTheLastReport) {
    // Rolling out at 19 kt: a report at kFar 4 s after the one before, then
    // put laterTicks later than it came (as a leg braking into it over a
    // pause may put it), and a report onM north of it 3.3 s after it by its
    // own time.
    struct Row {
        const char* name;
        std::int32_t laterTicks;
        double onM;
        double lastNorthM;  // the stream's last point afterwards
    };
    const double offM = 5 * 1852.0;
    const Row rows[] = {
        {"31 m on after a report put 2.6 s later: taken", 262, 31.0, 31.0},
        {"5 NM off after a report put 2.6 s later: held", 262, offM, 0.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        lf_emptyWorld();
        LiveAc& ac = aircraft(kHex, AcPhase::landing_roll, {streamPoint(northOf(kFar, -60.0), 25.0, false, 600)});
        decodeMessage(report(kHex, streamPoint(kFar, 19.2, false, 1000), 1004.0));
        ASSERT_EQ(ac.stream.size(), 2u);
        ac.stream.back().playTick += row.laterTicks;
        decodeMessage(report(kHex, streamPoint(northOf(kFar, row.onM), 19.2, false, 1332), 1007.32));
        const StreamPoint& last = ac.stream.back();
        EXPECT_NEAR(gf_distanceNm(kFar, {last.lat, last.lon}) * 1852.0, row.lastNorthM, 0.5);
    }
}

TEST_F(DecodeTest, AGroundReportAfterStaleRepeatsIsJudgedForReachFromTheirFirstReportBeforeTheAircraftIsShown) {
    // Not yet shown, rolling out at 23 kt onto kFar (due at tick 1000), which
    // the feed then gives again at 0 kt 3 s and 7 s later; the next report
    // lies onM on 3.3 s after the last repeat, 10.3 s after the aircraft was
    // at kFar by its reports.
    struct Row {
        const char* name;
        double onM;
        double lastNorthM;  // the stream's last point afterwards
    };
    const Row rows[] = {
        // 124 m in 10.3 s is 23 kt, in 3.3 s 73 kt: out of reach of the repeat.
        {"124 m on: taken", 124.0, 124.0},
        {"5 NM off: held", 5 * 1852.0, 0.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        lf_emptyWorld();
        LiveAc& ac = aircraft(kHex, AcPhase::birth, {streamPoint(northOf(kFar, -35.0), 23.0, false, 700)},
                              AcSimState::buffer);
        decodeMessage(report(kHex, streamPoint(kFar, 23.0, false, 1000), 1000.0));
        decodeMessage(report(kHex, streamPoint(kFar, 0.0, false, 1300), 1003.0));
        decodeMessage(report(kHex, streamPoint(kFar, 0.0, false, 1700), 1007.0));
        decodeMessage(report(kHex, streamPoint(northOf(kFar, row.onM), 23.4, false, 2030), 1010.3));
        const StreamPoint& last = ac.stream.back();
        EXPECT_NEAR(gf_distanceNm(kFar, {last.lat, last.lon}) * 1852.0, row.lastNorthM, 0.5);
    }
}

TEST_F(DecodeTest, AGroundPositionOutOfReachWhileParkingOrTaxiingWaitsForTheNextReport) {
    // Towed at 3 kt, onto its stand or along its lane, the last point at kFar
    // due at tick 1000: a report 5 NM off 30 s later, then one 7 s after it
    // back where the tow was, or near the far one. Back there, the far one is
    // dropped; near it, the aircraft is made again there. 80 m on is within
    // a tow's reach.
    struct Row {
        const char* name;
        AcPhase phase;
        double offM, nextNorthM;
        double farthestM;  // of the stream's points from kFar afterwards
        bool remade;
    };
    const double offM = 5 * 1852.0;
    const Row rows[] = {
        {"parking, 5 NM off, then back at the stand", AcPhase::parking, offM, 0.0, 0.0, false},
        {"parking, 5 NM off, then near it", AcPhase::parking, offM, offM + 20.0, 0.0, true},
        {"parking, 80 m on", AcPhase::parking, 80.0, 85.0, 80.0, false},
        {"taxiing, 5 NM off, then back on the lane", AcPhase::taxi, offM, 0.0, 0.0, false},
        {"taxiing, 5 NM off, then near it", AcPhase::taxi, offM, offM + 20.0, 0.0, true},
        {"taxiing, 80 m on", AcPhase::taxi, 80.0, 85.0, 80.0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        lf_emptyWorld();
        LiveAc& ac = aircraft(kHex, row.phase, {streamPoint(kFar, 3.0, false, 1000)});
        decodeMessage(report(kHex, streamPoint(northOf(kFar, row.offM), 0.0, false, 4000), 1030.0));
        decodeMessage(report(kHex, streamPoint(northOf(kFar, row.nextNorthM), 0.0, false, 4700), 1037.0));
        EXPECT_EQ(ac.simState == AcSimState::removingfromsim, row.remade);
        EXPECT_EQ(quarantine.contains(kHex), row.remade);
        if (row.phase == AcPhase::taxi) EXPECT_EQ(ac.motion.heldJumpSet, 0) << "the report after it decided";
        double farthestM = 0.0;
        for (const StreamPoint& p : ac.stream)
            farthestM = std::max(farthestM, gf_distanceNm(kFar, {p.lat, p.lon}) * 1852.0);
        EXPECT_NEAR(farthestM, row.farthestM, 0.5);
    }
}

TEST_F(DecodeTest, ATaxiReportAfterCopiesOfAPlaceIsJudgedForReachFromTheFirstReportThere) {
    // Taxiing at 17 kt onto kFar (reported at time 1005), which the feed
    // then gives again at no speed for 23 s; the next report lies onM north
    // of it at 17.9 kt, 29 s after the aircraft was there by its reports and
    // 6 s after the last copy.
    struct Row {
        const char* name;
        double onM;
        bool held;
    };
    const Row rows[] = {
        // 262 m in 29 s is 17.6 kt, in 6 s 85 kt.
        {"262 m on: taken", 262.0, false},
        {"5 NM off: held", 5 * 1852.0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        lf_emptyWorld();
        LiveAc& ac = aircraft(kHex, AcPhase::taxi, {streamPoint(northOf(kFar, -60.0), 17.0, false, 500)});
        decodeMessage(report(kHex, streamPoint(kFar, 17.2, false, 1000), 1005.0));
        decodeMessage(report(kHex, streamPoint(kFar, 0.0, false, 1800), 1013.0));
        decodeMessage(report(kHex, streamPoint(kFar, 0.0, false, 2500), 1020.0));
        decodeMessage(report(kHex, streamPoint(kFar, 0.0, false, 3300), 1028.0));
        decodeMessage(report(kHex, streamPoint(northOf(kFar, row.onM), 17.9, false, 3900), 1034.0));
        EXPECT_EQ(ac.simState, AcSimState::active);
        EXPECT_EQ(ac.motion.heldJumpSet, row.held ? 1 : 0);
        const StreamPoint& last = ac.stream.back();
        EXPECT_NEAR(gf_distanceNm(kFar, {last.lat, last.lon}) * 1852.0, row.held ? 0.0 : row.onM, 0.5);
    }
}

TEST_F(DecodeTest, ChecksThatHoldThePointBack) {
    LiveAc& ac = aircraft(kHex, AcPhase::flying, {streamPoint(kFar, 250, true, 100, 3000)});
    rec.extend = false;
    decodeExisting(ac, streamPoint(kFar, 250, true, 200, 3500));
    EXPECT_EQ(ac.motion.lastAirborneAltitudeValid, 0);
    rec.extend = true;
    rec.heldOnRunway = true;
    decodeExisting(ac, streamPoint(kFar, 250, true, 200, 3500));
    EXPECT_EQ(ac.stream.size(), 1u);
    EXPECT_EQ(ac.motion.lastAirborneAltitudeValid, 1);
    EXPECT_EQ(ac.motion.lastAirborneAltitudeFt, 3500.0);
}

TEST_F(DecodeTest, TakeoffDetection) {
    loadRunways();
    const LaLo onRunway = placeOn(kWest, -1000, 0);
    struct Row {
        const char* name;
        AcPhase phase, prevPhase;
        bool taxiStarted;
        AcSimState state;
        StreamPoint last, point;
        double refSpeed;
        const char* call;  // "" none
    };
    const StreamPoint ground = streamPoint(onRunway, 20, false, 100, 20);
    const StreamPoint air = streamPoint(onRunway, 150, true, 100, 300);
    StreamPoint climbing = streamPoint(onRunway, 150, true, 200, 360);
    StreamPoint climbFrom = air;
    climbing.verticalSpeed = climbFrom.verticalSpeed = 500;
    StreamPoint slowClimb = climbing;
    slowClimb.verticalSpeed = 300;
    const StreamPoint fast = streamPoint(onRunway, 80, false, 200, 20);
    const StreamPoint slow = streamPoint(onRunway, 40, false, 200, 20);
    const double noSpeed = std::numeric_limits<double>::quiet_NaN();
    const auto active = AcSimState::active;
    const Row rows[] = {
        {"touch-and-go", AcPhase::landing_roll, AcPhase::landing, false, active, air, air, 140, "roll 1"},
        {"a Large aircraft rolling out", AcPhase::landing_roll, AcPhase::landing, false, active, ground, ground, 140,
         ""},
        {"climbing out of taxi after landing", AcPhase::taxi, AcPhase::landing_roll, true, active, climbFrom,
         climbing, 140, "roll 0"},
        {"climbing too slowly", AcPhase::taxi, AcPhase::landing_roll, true, active, climbFrom, slowClimb, 140, ""},
        {"towed and airborne", AcPhase::taxi, AcPhase::parked, false, active, ground, air, 140, "towed"},
        {"towed and fast on a runway", AcPhase::taxi, AcPhase::parked, false, active, fast, fast, 140, "towed"},
        {"towed below half the reference speed", AcPhase::taxi, AcPhase::parked, false, active, fast, fast, 170, ""},
        {"towed at 80 kt, 43 kt needed", AcPhase::taxi, AcPhase::parked, false, active, fast, fast, 60, "towed"},
        {"towed at 40 kt, 43 kt needed", AcPhase::taxi, AcPhase::parked, false, active, slow, slow, 60, ""},
        {"towed without a reference speed", AcPhase::taxi, AcPhase::parked, false, active, fast, fast, noSpeed, ""},
        {"fast after a taxi start", AcPhase::taxi, AcPhase::parked, true, active, fast, fast, 140, ""},
        {"not yet active", AcPhase::taxi, AcPhase::parked, false, AcSimState::adding2sim, ground, air, 140, ""},
        {"already rolling", AcPhase::takeoff_roll, AcPhase::taxi, false, active, air, air, 140, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        rec.calls.clear();
        rec.refSpeed = row.refSpeed;
        LiveAc& ac = aircraft(kHex, row.phase, {row.last}, row.state);
        ac.prevPhase = row.prevPhase;
        ac.motion.taxiStarted = row.taxiStarted;
        ac.pose.latitude = onRunway.lat;
        ac.pose.longitude = onRunway.lon;
        decodeExisting(ac, row.point);
        EXPECT_EQ(rec.calls, std::string(row.call).empty() ? std::vector<std::string>{}
                                                           : std::vector<std::string>{row.call});
        EXPECT_EQ(ac.stream.size(), 2u);
    }
}

TEST_F(DecodeTest, LightTouchAndGoClimbsFromTheSlowestPointOfItsRoll) {
    loadRunways();  // 20 ft above sea level
    const LaLo onRunway = placeOn(kWest, -1000, 0);
    struct Row {
        const char* name;
        StreamPoint remembered;
        bool hasRemembered;
        double lastGs;
        std::int32_t pointTick;
        double pointAltitudeFt;
        std::int32_t rememberedTick;
        bool roll;
    };
    // The last point stands at 40 ft, tick 1000.
    const Row rows[] = {
        {"a climb of 20 ft from the runway", {}, false, 30, 1500, 60, 1000, true},
        {"9 ft above the runway is no climb", {}, false, 30, 1500, 29, 1000, false},
        {"a slower last point replaces the remembered",
         streamPoint(onRunway, 35, false, 900, 40), true, 30, 1500, 60, 1000, true},
        {"a faster one does not", streamPoint(onRunway, 25, false, 900, 40), true, 30, 1500, 30, 900, false},
        {"2001 ticks later a faster one does", streamPoint(onRunway, 25, false, 0, 40), true, 30, 2001, 30, 1000,
         false},
        {"2000 ticks later it does not", streamPoint(onRunway, 25, false, 1, 40), true, 30, 2001, 30, 1, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        rec.calls.clear();
        rec.refSpeed = 80;  // a speed taken for an altitude would hide every climb here
        LiveAc& ac = aircraft(kHex, AcPhase::landing_roll, {streamPoint(onRunway, row.lastGs, false, 1000, 40)},
                              AcSimState::active, "C172");
        ac.motion.rollSlowestPoint = row.remembered;
        ac.motion.hasRollSlowestPoint = row.hasRemembered;
        ac.pose.latitude = onRunway.lat;
        ac.pose.longitude = onRunway.lon;
        decodeExisting(ac, streamPoint(onRunway, 40, false, row.pointTick, row.pointAltitudeFt));
        EXPECT_EQ(ac.motion.rollSlowestPoint.playTick, row.rememberedTick);
        EXPECT_EQ(rec.calls, row.roll ? std::vector<std::string>{"roll 1"} : std::vector<std::string>{});
    }
}

TEST_F(DecodeTest, ExceptionsAreReportedAndTheRecordDropped) {
    rec.throwOnExtend = true;
    LiveAc& ac = aircraft(kHex, AcPhase::flying, {streamPoint(kFar, 250, true, 100, 3000)});
    decodeMessage(report(kHex, streamPoint(northOf(kFar, 2000), 250, true, 200, 3000), 1010.0));
    const std::string log = newLogLines();
    EXPECT_THAT(log, HasSubstr("decodeExisting exception boom"));
    EXPECT_THAT(log, HasSubstr("Traffic exception in decodeMessage: boom"));
    EXPECT_EQ(ac.stream.size(), 1u);
}

TEST_F(DecodeTest, TheMailboxStepDecodesHistoryFirstThenTwoLiveRecords) {
    gf_setTrafficDelivery(true);
    std::vector<TrafficRecord> batch;
    for (std::uint32_t h : {0x100001u, 0x100002u, 0x100003u})
        batch.push_back(report(h, streamPoint(kFar, 250, true, 0, 5000), 1000.0, "B738", ""));
    gf_postTrafficBatch(batch, 30, true);
    for (std::uint32_t n = 0; n < 2; ++n) {
        for (std::uint32_t h : {0x200001u, 0x200002u})
            batch.push_back(report(h + 0x10 * n, streamPoint(kFar, 250, true, 0, 5000), 1000.0, "B738", ""));
        gf_postTrafficBatch(batch, 6 * n, true);
    }
    gf_decodeMailboxRecords();
    gf_setTrafficDelivery(false);
    std::vector<std::uint32_t> order;
    for (const LiveAc& ac : g_liveAircraft) order.push_back(ac.hexid);
    EXPECT_EQ(order, (std::vector<std::uint32_t>{0x200001, 0x200002, 0x200011, 0x200012, 0x100003, 0x100002}));
}

namespace {
std::atomic<std::int64_t> l_restartNs{0};
}  // namespace

// A restart empties the engine while the feed's delay still holds the next
// half minute of each aircraft's reports. Those not yet played go to the next
// run, at their own time once its start path's standing clock is allowed for,
// where the next run's own reports bear them out in time; those already
// played do not, nor does the buffer's copy of a carried report play twice.
TEST_F(DecodeTest, ARestartHandsTheReportsNotYetPlayedToTheNextRun) {
    constexpr std::uint32_t kAhead = 0x300001;
    constexpr std::uint32_t kPlayed = 0x300002;
    constexpr std::uint32_t kOwn = 0x300003;
    struct Row {
        const char* what;
        double ownTime;  // the next run's own report (NaN: none came)
        bool carried;
    };
    const double none = std::numeric_limits<double>::quiet_NaN();
    for (const Row& row : {Row{"the link back 12 s on", 1012.0, true},
                           Row{"a time shift an hour further back", 1000.0 - 3600.0, false},
                           Row{"a link down for ten minutes", 1600.0, false},
                           Row{"nothing of its own yet", none, false}}) {
        SCOPED_TRACE(row.what);
        g_liveAircraft.clear();
        tickCount.store(1000);
        gf_resetTrafficMailbox();
        gf_setMailboxClock([] { return l_restartNs.load(); });
        l_restartNs.store(0);
        gf_setTrafficDelivery(true);
        const TrafficRecord ahead = report(kAhead, streamPoint(kFar, 250, true, 0, 5000), 1000.0, "B738", "KLM1");
        std::vector<TrafficRecord> live{ahead};
        gf_postTrafficBatch(live, 30, true);  // due 30 s on, at tick 4000
        std::vector<TrafficRecord> history{
            report(kPlayed, streamPoint(northOf(kFar, 5000), 250, true, 0, 5000), 1000.0, "B738", "KLM2")};
        gf_postTrafficBatch(history, 0, true);  // due now
        gf_decodeMailboxRecords();
        ASSERT_NE(gf_findLiveByHexid(kAhead), nullptr);
        ASSERT_NE(gf_findLiveByHexid(kPlayed), nullptr);

        gf_resetTrafficEngine();
        EXPECT_TRUE(g_liveAircraft.empty());
        // The start path waits 20 s with the engine's clock standing, keeps
        // what the feed sends meanwhile, and the buffer does not come.
        gf_setTrafficDelivery(false);
        gf_keepLiveTrafficWhileStarting();
        if (!std::isnan(row.ownTime)) {
            std::vector<TrafficRecord> own{
                report(kOwn, streamPoint(northOf(kFar, 9000), 250, true, 0, 5000), row.ownTime, "B738", "KLM3")};
            gf_postTrafficBatch(own, 30, true);
        }
        l_restartNs.store(20'000'000'000);
        gf_setTrafficDelivery(true);
        gf_decodeMailboxRecords();
        EXPECT_EQ(gf_findLiveByHexid(kOwn) != nullptr, !std::isnan(row.ownTime));
        EXPECT_EQ(gf_findLiveByHexid(kPlayed), nullptr);
        const LiveAc* again = gf_findLiveByHexid(kAhead);
        ASSERT_EQ(again != nullptr, row.carried);
        if (again == nullptr) continue;
        ASSERT_EQ(again->stream.size(), 1u);
        EXPECT_EQ(again->stream.front().playTick, 2000);
        // When the buffer comes, its copy of the carried report adds nothing.
        std::vector<TrafficRecord> buffer{ahead};
        gf_postTrafficBatch(buffer, 0, true);
        gf_decodeMailboxRecords();
        EXPECT_EQ(gf_findLiveByHexid(kAhead)->stream.size(), 1u);

        // Played by the time of the next restart, it is not carried again.
        tickCount.store(4000);
        gf_resetTrafficEngine();
        std::vector<TrafficRecord> later{
            report(kOwn, streamPoint(northOf(kFar, 9000), 250, true, 0, 5000), 1040.0, "B738", "KLM3")};
        gf_postTrafficBatch(later, 0, true);
        gf_decodeMailboxRecords();
        EXPECT_EQ(gf_findLiveByHexid(kAhead), nullptr);
    }
    gf_setTrafficDelivery(false);
    gf_setMailboxClock({});
}

TEST_F(DecodeTest, AFlyingAircraftTakenOutForAReportItFlewPastStartsAgainFromThatReport) {
    // Taken out because it had flown on far past a report (its reports
    // turned while dead reckoning flew on), it is made again from that
    // report when the next one comes within a minute of it, followed by that
    // one; without it, or with one older than that, from the new report alone.
    struct Row {
        const char* what;
        bool taken;
        double takenBeforeS;
        bool startsThere;
    };
    const Row rows[] = {{"taken out 9 s before", true, 9.0, true},
                        {"never taken out", false, 9.0, false},
                        {"taken out 90 s before", true, 90.0, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        g_liveAircraft.clear();
        gf_forgetReportsToMakeAgainFrom();
        const StreamPoint there = streamPoint(kFar, 200.0, true, 9020, 6900.0);
        if (row.taken) gf_makeAgainFromReport(kHex, there, 2000.0 - row.takenBeforeS);
        const LaLo on = northOf(kFar, 200.0 * 0.5144 * row.takenBeforeS);
        decodeMessage(report(kHex, streamPoint(on, 200.0, true, 9020 + int(row.takenBeforeS * 100), 6900.0), 2000.0));
        ASSERT_EQ(g_liveAircraft.size(), 1u);
        const auto& stream = g_liveAircraft.front().stream;
        ASSERT_EQ(stream.size(), row.startsThere ? 2u : 1u);
        EXPECT_EQ(stream.front().playTick, row.startsThere ? 9020 : 9020 + int(row.takenBeforeS * 100));
        EXPECT_DOUBLE_EQ(stream.back().lat, on.lat);
    }
}
