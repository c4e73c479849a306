// The motion checker's checks against the reports, on made-up recordings: a
// track of poses beside the reports it follows, each row changing one thing
// (how far behind, which way the nose points, how fast, how still) on either
// side of the check's limit.

#include <algorithm>
#include <cmath>
#include <functional>

#include <gtest/gtest.h>

#include "engine/engine_state.h"
#include "engine/mailbox.h"
#include "foundation/geodesy.h"
#include "liveries/code_tables.h"
#include "motion/flight_phases.h"
#include "motion/motion_math.h"
#include "support/motion_harness.h"

namespace tavo::test {
namespace {

constexpr double kLat = 47.45;
constexpr double kLon = -122.3;
constexpr double kMetresPerDegLat = 111320.0;
const double kMetresPerDegLon = 111320.0 * std::cos(kLat * degreesToRadians);

// A Large aircraft's record, its category known, with nothing in it yet.
AircraftRecord lf_largeRecord(std::uint32_t hexid) {
    AircraftRecord r;
    r.hexid = hexid;
    r.category = Large;
    r.categoryKnown = true;
    return r;
}

LaLo lf_east(double metres, double north = 0.0) {
    return {kLat + north / kMetresPerDegLat, kLon + metres / kMetresPerDegLon};
}

// A record whose aircraft is reported every `everyS` seconds moving east at
// `reportedMps` (reports due from tick 0), while its pose, from tick 0 to
// `ticks`, is where `east(tick)` puts it, with the nose at `headingDeg`.
struct Made {
    AircraftRecord record;
    Made(double reportedMps, double everyS, int ticks, const std::function<double(int)>& east, double headingDeg,
         bool airborne = false) {
        record.hexid = 0xABC001;
        record.callsign = "TST1";
        record.registration = "N1TST";
        record.category = Large;
        record.categoryKnown = true;
        for (double t = 0; t * 100 <= ticks + 2000; t += everyS) {
            ReportedPosition p;
            p.time = 1.7e9 + t;
            p.dueTick = t * 100;
            p.position = lf_east(reportedMps * t);
            p.groundSpeedKt = reportedMps * kMpsToKnots;
            p.airborne = airborne;
            record.reports.push_back(p);
        }
        for (int tick = 0; tick <= ticks; ++tick) {
            MotionSample s;
            s.tick = tick;
            const LaLo at = lf_east(east(tick));
            s.pose = {at.lat, at.lon, 0.0, 0.0, headingDeg * degreesToRadians, 400.0, 0.0, 0.0};
            s.onGround = !airborne;
            s.phase = airborne ? AcPhase::flying : AcPhase::taxi;
            record.samples.push_back(s);
        }
    }
};

std::size_t lf_count(const AircraftRecord& r, MotionCheck check) { return SmoothnessChecker{}.check(r).count(check); }

TEST(MotionReportChecks, LagIsHowLongAfterItsDueTickAReportIsReached) {
    struct Row {
        double lagS;
        bool turnLately;  // a turn in the reports shortly before
        bool finding;
    };
    // Straight on for a minute: 5 s is the limit once 30 s have passed
    // since the last turn or hold; 10 s before that. At 8 m/s a report
    // counts as reached 5 m (0.6 s) before the pose is on it.
    for (const Row& row : {Row{0.0, false, false}, Row{-3.0, false, false}, Row{-8.0, false, false}, Row{4.9, false, false},
                           Row{5.8, false, true}, Row{9.5, false, true}, Row{9.5, true, false}, Row{11.2, true, true}}) {
        const double v = 8.0;
        Made m(v, 2.0, 8000, [&](int tick) { return std::max(0.0, v * (tick / 100.0 - row.lagS)); }, 90.0);
        if (row.turnLately) {
            // The reports step aside to the north and back: a turn (over
            // 30 degrees off the way, and passed within 10 m aside).
            for (ReportedPosition& p : m.record.reports)
                if (p.dueTick >= 5400 && p.dueTick <= 5600) p.position.lat += 9.5 / kMetresPerDegLat;
        }
        MotionCheckResult r = SmoothnessChecker{}.check(m.record);
        // Ahead of its reports is no share of the lag's limit.
        if (row.lagS <= 0.0) {
            EXPECT_LT(r.worstShare[MotionCheck::Lag], 0.1) << "lag " << row.lagS;
        }
        // The reports due in the 9 s after the turn.
        std::erase_if(r.findings, [](const MotionFinding& f) { return f.tick < 5600 || f.tick > 6500; });
        EXPECT_EQ(r.count(MotionCheck::Lag) != 0, row.finding) << "lag " << row.lagS << " turn " << row.turnLately;
        EXPECT_GT(r.judged[MotionCheck::Lag], 20u);
    }
}

TEST(MotionReportChecks, ACornerGivenAgainAtNoSpeedIsStillATurn) {
    // Reported every 2 s at 8 m/s east for 56 s, then north; the corner's
    // report is given again at no speed a second later (or not). The pose
    // runs the same way `lagS` behind, or on time cutting the corner from
    // `cutM` before it to `cutM` after it. Either way the corner is a turn:
    // 10 s are allowed there, and a pose passing inside it crosses the line
    // across the way the reports turn (within 10 m of the corner: a cut of
    // 12 m each way passes 8.5 m inside it), however often the feed repeats it.
    struct Row {
        bool repeated;
        double lagS, cutM;
    };
    for (const Row row : {Row{false, 7.0, 0.0}, Row{true, 7.0, 0.0}, Row{false, 0.0, 12.0}, Row{true, 0.0, 12.0}}) {
        SCOPED_TRACE(::testing::Message() << (row.repeated ? "repeated" : "once") << " lag " << row.lagS << " cut "
                                          << row.cutM);
        constexpr double v = 8.0;
        constexpr double cornerM = v * 56.0;
        const auto reported = [&](double metres) {
            return metres <= cornerM ? lf_east(metres) : lf_east(cornerM, metres - cornerM);
        };
        const double chamferM = row.cutM * std::sqrt(2.0);
        const auto flown = [&](double metres) {
            if (metres <= cornerM - row.cutM) return lf_east(metres);
            const double onChamfer = metres - (cornerM - row.cutM);
            if (onChamfer <= chamferM) {
                const double f = chamferM > 0.0 ? onChamfer / chamferM : 1.0;
                return lf_east(cornerM - row.cutM * (1.0 - f), row.cutM * f);
            }
            return lf_east(cornerM, row.cutM + onChamfer - chamferM);
        };
        AircraftRecord r = lf_largeRecord(0xABC004);
        for (double t = 0; t <= 90.0; t += 2.0) {
            ReportedPosition p;
            p.time = 1.7e9 + t;
            p.dueTick = t * 100;
            p.position = reported(v * t);
            p.groundSpeedKt = v * kMpsToKnots;
            r.reports.push_back(p);
            if (row.repeated && v * t == cornerM) {
                p.time += 1.0;
                p.dueTick += 100;
                p.groundSpeedKt = 0.0;
                r.reports.push_back(p);
            }
        }
        for (int tick = 0; tick <= 9000; ++tick) {
            MotionSample m;
            m.tick = tick;
            const double metres = std::max(0.0, v * (tick / 100.0 - row.lagS));
            const LaLo at = flown(metres);
            const double headingDeg = metres < cornerM - row.cutM ? 90.0 : metres < cornerM - row.cutM + chamferM ? 45.0 : 0.0;
            m.pose = {at.lat, at.lon, 0.0, 0.0, headingDeg * degreesToRadians, 400.0, 0.0, 0.0};
            m.onGround = true;
            m.phase = AcPhase::taxi;
            r.samples.push_back(m);
        }
        MotionCheckResult result = SmoothnessChecker{}.check(r);
        std::erase_if(result.findings, [](const MotionFinding& f) { return f.tick != 5600; });
        EXPECT_EQ(result.count(MotionCheck::Lag), 0u);
    }
}

TEST(MotionReportChecks, ATurnReportedInStepsShorterThanALegIsStillATurn) {
    // Taxiing east at 2 m/s, reported every 2 s (4 m apart); after 60 s it
    // turns left `turnDeg` in all, 15 degrees a report, and goes on. No two
    // reports 4 m apart turn 30 degrees, but the way through them does: the
    // pose running 9 s behind them (6.5 s once within 5 m of each) is within
    // the 10 s a turn allows for the reports after it. Straight on (or a 15
    // degree bend), it is late.
    struct Row {
        double turnDeg;
        bool finding;
    };
    for (const Row row : {Row{90.0, false}, Row{0.0, true}, Row{15.0, true}}) {
        SCOPED_TRACE(::testing::Message() << "turn " << row.turnDeg);
        constexpr double v = 2.0;
        constexpr double everyS = 2.0;
        constexpr double lagS = 9.0;
        AircraftRecord r = lf_largeRecord(0xABC005);
        double east = 0.0, north = 0.0, trackDeg = 90.0;
        for (double t = 0; t <= 120.0; t += everyS) {
            ReportedPosition p;
            p.time = 1.7e9 + t;
            p.dueTick = t * 100;
            p.position = lf_east(east, north);
            p.groundSpeedKt = v * kMpsToKnots;
            p.trackDeg = trackDeg;
            r.reports.push_back(p);
            if (t >= 60.0 && trackDeg > 90.0 - row.turnDeg) trackDeg = std::max(90.0 - row.turnDeg, trackDeg - 15.0);
            east += v * everyS * std::sin(trackDeg * degreesToRadians);
            north += v * everyS * std::cos(trackDeg * degreesToRadians);
        }
        // The pose plays the reports' way `lagS` late, point to point.
        for (int tick = 0; tick <= 12000; ++tick) {
            const double at = std::clamp(tick / 100.0 - lagS, 0.0, 120.0) / everyS;
            const auto i = std::min(static_cast<std::size_t>(at), r.reports.size() - 2);
            const double f = at - static_cast<double>(i);
            const LaLo a = r.reports[i].position, b = r.reports[i + 1].position;
            MotionSample m;
            m.tick = tick;
            m.pose = {a.lat + f * (b.lat - a.lat), a.lon + f * (b.lon - a.lon), 0.0, 0.0,
                      r.reports[i + 1].trackDeg * degreesToRadians, 400.0, 0.0, 0.0};
            m.onGround = true;
            m.phase = AcPhase::taxi;
            r.samples.push_back(m);
        }
        MotionCheckResult result = SmoothnessChecker{}.check(r);
        // The reports due in the 20 s after the turn began.
        std::erase_if(result.findings, [](const MotionFinding& f) { return f.tick < 6200 || f.tick > 8000; });
        EXPECT_EQ(result.count(MotionCheck::Lag) != 0, row.finding) << result.summary();
    }
}

TEST(MotionReportChecks, ATurnTheTracksShowAcrossAPauseIsATurn) {
    // Flying at 100 m/s, its first report on track `firstTrackDeg`, then a
    // minute's pause, then reports every 2 s on track 150; the first report
    // after the pause lies on a bearing of 130 from the one before, 20
    // degrees off the way on. The pose plays the reports' way 7 s late,
    // point to point. The tracks turned 60 degrees across the pause: a turn,
    // and 10 s are allowed for 30 s after it. Tracks that did not turn tell
    // none: 5 s.
    struct Row {
        double firstTrackDeg;
        bool finding;
    };
    for (const Row row : {Row{90.0, false}, Row{150.0, true}}) {
        SCOPED_TRACE(::testing::Message() << "first track " << row.firstTrackDeg);
        constexpr double v = 100.0;
        constexpr double lagS = 7.0;
        const auto onBearing = [](LaLo from, double deg, double metres) {
            return gf_destinationPoint(from, {deg * degreesToRadians, metres * feetPerMetre});
        };
        AircraftRecord r = lf_largeRecord(0xABC006);
        const auto add = [&](double t, LaLo at, double trackDeg) {
            ReportedPosition p;
            p.time = 1.7e9 + t;
            p.dueTick = t * 100;
            p.position = at;
            p.groundSpeedKt = v * kMpsToKnots;
            p.trackDeg = trackDeg;
            p.airborne = true;
            r.reports.push_back(p);
        };
        add(0.0, lf_east(0.0), row.firstTrackDeg);
        const LaLo afterPause = onBearing(lf_east(0.0), 130.0, v * 55.0);
        for (double t = 60.0; t <= 120.0; t += 2.0) add(t, onBearing(afterPause, 150.0, v * (t - 60.0)), 150.0);
        for (int tick = 0; tick <= 12700; ++tick) {
            const double at = std::max(0.0, tick / 100.0 - lagS);
            std::size_t i = 0;
            while (i + 2 < r.reports.size() && r.reports[i + 1].dueTick <= at * 100.0) ++i;
            const ReportedPosition& a = r.reports[i];
            const ReportedPosition& b = r.reports[i + 1];
            const double f = std::clamp((at * 100.0 - a.dueTick) / (b.dueTick - a.dueTick), 0.0, 1.0);
            MotionSample m;
            m.tick = tick;
            m.pose = {a.position.lat + f * (b.position.lat - a.position.lat),
                      a.position.lon + f * (b.position.lon - a.position.lon), 5000.0, 0.0,
                      b.trackDeg * degreesToRadians, 400.0, 0.0, 0.0};
            m.onGround = false;
            m.phase = AcPhase::flying;
            r.samples.push_back(m);
        }
        MotionCheckResult result = SmoothnessChecker{}.check(r);
        // The reports due in the 20 s after the pause.
        std::erase_if(result.findings, [](const MotionFinding& f) { return f.tick < 6000 || f.tick > 8000; });
        EXPECT_EQ(result.count(MotionCheck::Lag) != 0, row.finding) << result.summary();
    }
}

TEST(MotionReportChecks, AReportAloneIsPassedOnItsOwnTrack) {
    // One report, flying east at 85 m/s, due at tick 3000; the aircraft
    // appears at tick 2980 `startM` along its way from it (behind it when
    // negative, or `asideM` north of it) and flies on east at its speed.
    // Created past it along its track, it passed it on the way; created
    // 2 km short, it gets there 23 s late; beside it, it never passes it.
    struct Row {
        double startM, asideM;
        bool finding;
    };
    for (const Row row : {Row{267.0, 0.0, false}, Row{-2000.0, 0.0, true}, Row{267.0, 1500.0, true}}) {
        SCOPED_TRACE(::testing::Message() << "start " << row.startM << " aside " << row.asideM);
        constexpr double v = 85.0;
        AircraftRecord r = lf_largeRecord(0xABC007);
        ReportedPosition p;
        p.time = 1.7e9;
        p.dueTick = 3000;
        p.position = lf_east(0.0);
        p.groundSpeedKt = v * kMpsToKnots;
        p.trackDeg = 90.0;
        p.airborne = true;
        r.reports.push_back(p);
        for (int tick = 2980; tick <= 9000; ++tick) {
            MotionSample m;
            m.tick = tick;
            const LaLo at = lf_east(row.startM + v * (tick - 2980) / 100.0, row.asideM);
            m.pose = {at.lat, at.lon, 3000.0, 0.0, 90.0 * degreesToRadians, 400.0, 0.0, 0.0};
            m.onGround = false;
            m.phase = AcPhase::flying;
            r.samples.push_back(m);
        }
        const MotionCheckResult result = SmoothnessChecker{}.check(r);
        EXPECT_EQ(result.count(MotionCheck::Lag) != 0, row.finding) << result.summary();
    }
}

TEST(MotionReportChecks, AfterAGapAReportPassedCloseByItsOwnWayOnTimeIsReached) {
    // Taxiing west at 8 m/s, reported every 2 s up to 18 s; nothing for 40 s
    // while it turns; from 58 s on it is reported every 2 s from P, 40 m
    // south and 330 m west, on 160 degrees. The aircraft cuts the corner:
    // from where it stood at 18 s over C (25 m north, 15 m east of P) to
    // 30 m past P on the reported line, passing 13 m from P, then along the
    // line. On time it reaches P on its way; 12 s late it is late. The chord
    // from the report before the gap (253 degrees) says nothing of the way
    // at P: across it the aircraft never passes P that way.
    struct N {
        double north, east;
    };
    const double v = 8.0;
    const N a{0.0, -144.0}, p{-40.0, -330.0}, c{-15.0, -315.0};
    const N dir{std::cos(160.0 * degreesToRadians), std::sin(160.0 * degreesToRadians)};
    const auto onLine = [&](double m) { return N{p.north + m * dir.north, p.east + m * dir.east}; };
    const N j = onLine(30.0);
    const double ac = std::hypot(c.north - a.north, c.east - a.east), cj = std::hypot(j.north - c.north, j.east - c.east);
    for (const double lateS : {0.0, 12.0}) {
        const double start = 58.0 + 30.0 / v - (ac + cj) / v + lateS;
        const auto poseAt = [&](double t) {
            if (t <= 18.0) return N{0.0, -v * t};
            const double m = std::max(0.0, t - start) * v;
            if (m <= ac) return N{a.north + (c.north - a.north) * m / ac, a.east + (c.east - a.east) * m / ac};
            if (m <= ac + cj)
                return N{c.north + (j.north - c.north) * (m - ac) / cj, c.east + (j.east - c.east) * (m - ac) / cj};
            return onLine(30.0 + m - ac - cj);
        };
        AircraftRecord r = lf_largeRecord(0xABC003);
        for (double t = 0.0; t <= 98.0; t += 2.0) {
            if (t > 18.0 && t < 58.0) continue;
            const N at = t <= 18.0 ? N{0.0, -v * t} : onLine(v * (t - 58.0));
            ReportedPosition rp;
            rp.time = 1.7e9 + t;
            rp.dueTick = t * 100;
            rp.position = lf_east(at.east, at.north);
            rp.groundSpeedKt = v * kMpsToKnots;
            r.reports.push_back(rp);
        }
        for (int tick = 0; tick <= 9800; ++tick) {
            MotionSample sample;
            sample.tick = tick;
            const N at = poseAt(tick / 100.0);
            const LaLo ll = lf_east(at.east, at.north);
            sample.pose = {ll.lat, ll.lon, 0.0, 0.0, 0.0, 400.0, 0.0, 0.0};
            sample.onGround = true;
            sample.phase = AcPhase::taxi;
            r.samples.push_back(sample);
        }
        MotionCheckResult result = SmoothnessChecker{}.check(r);
        std::erase_if(result.findings, [](const MotionFinding& f) { return f.tick != 5800; });
        EXPECT_EQ(result.count(MotionCheck::Lag) != 0, lateS > 10.0) << lateS << " s late\n" << result.summary();
    }
}

TEST(MotionReportChecks, AReportNeverReachedIsLateOnlyIfTheAircraftStayedForItsTime) {
    // The aircraft stands still from tick 4000 on, short of every later
    // report; it leaves the simulator `leftAfter` ticks after that and comes
    // back at tick 7000, where it stood or where its reports are by then
    // (past the report it never reached before it left).
    for (const bool backAhead : {false, true}) {
        for (const int leftAfter : {400, 800}) {
            Made m(8.0, 2.0, 8000,
                   [&](int tick) { return 8.0 * (backAhead && tick >= 7000 ? tick : std::min(tick, 4000)) / 100.0; },
                   90.0);
            std::erase_if(m.record.samples,
                          [&](const MotionSample& s) { return s.tick > 4000 + leftAfter && s.tick < 7000; });
            MotionCheckResult r = SmoothnessChecker{}.check(m.record);
            // The report due at tick 4000, the last one the pose stood on.
            std::erase_if(r.findings, [](const MotionFinding& f) { return f.tick != 4200; });
            EXPECT_EQ(r.count(MotionCheck::Lag), leftAfter < 500 ? 0u : 1u) << leftAfter << " " << backAhead;
        }
    }
}

TEST(MotionReportChecks, ALonePositionMilesOffIsNoPlaceToReachButFlyingToItIsTooFast) {
    const double v = 8.0;
    Made m(v, 2.0, 4000, [&](int tick) { return v * tick / 100.0; }, 90.0);
    m.record.reports[10].position = lf_east(v * 20.0, 9260.0);  // 5 NM north of the track
    const MotionCheckResult r = SmoothnessChecker{}.check(m.record);
    EXPECT_FALSE(r.has(MotionCheck::Lag)) << r.summary();
    EXPECT_FALSE(r.has(MotionCheck::TravelSpeed)) << r.summary();

    // The pose that goes there and back in 4 s flies at thousands of knots.
    Made flown(v, 2.0, 4000, [&](int tick) { return v * tick / 100.0; }, 90.0);
    flown.record.reports[10].position = m.record.reports[10].position;
    for (MotionSample& s : flown.record.samples) {
        const double f = 1.0 - std::fabs(s.tick - 2000) / 200.0;
        if (f > 0) s.pose.latitude += f * 9260.0 / kMetresPerDegLat;
    }
    EXPECT_TRUE(SmoothnessChecker{}.check(flown.record).has(MotionCheck::TravelSpeed));
}

TEST(MotionReportChecks, TwoPositionsMilesOffInARowAreNoPlaceToReach) {
    // Two bad positions in a row, 5 NM north and 800 m apart: no place the
    // aircraft was, as the reports on both sides agree. One of them 5 NM off
    // and the other on the track is a lone one, told as before; two on a
    // detour the reports after them go on from are places to reach.
    const double v = 8.0;
    const auto track = [&](int tick) { return v * tick / 100.0; };
    Made m(v, 2.0, 4000, track, 90.0);
    m.record.reports[10].position = lf_east(v * 20.0, 9260.0);
    m.record.reports[11].position = lf_east(v * 22.0 + 800.0, 9260.0);
    const MotionCheckResult r = SmoothnessChecker{}.check(m.record);
    EXPECT_FALSE(r.has(MotionCheck::Lag)) << r.summary();

    Made detour(v, 2.0, 4000, track, 90.0);
    for (std::size_t i = 10; i < detour.record.reports.size(); ++i)
        detour.record.reports[i].position = lf_east(v * 2.0 * double(i), 9260.0);
    EXPECT_TRUE(SmoothnessChecker{}.check(detour.record).has(MotionCheck::Lag));
}

TEST(MotionReportChecks, AFirstReportWellOffTheLineTheTracksAgreeOnTellsNoPace) {
    // Flying east at 291 kt, reported every 2 s from 40 s on, the pose on the
    // reported line; the first report, 40 s before the second, lies 2.1 km
    // from it (a pace of 103 kt) at the row's angle off the track. Well off
    // the line the tracks agree on, it is a bad position and the pace of the
    // way from it is no pace of the aircraft's; near the line (a dogleg) the
    // aircraft is held to it. So it is 1.2 km off abeam, but not 1.2 km ahead
    // of the second report on the line: the way from there runs backwards.
    // A few hundred metres ahead may be the feed's scatter.
    struct Row {
        double offDeg;
        bool finding;
        double metres = 2121.0;
    };
    const double v = 150.0;
    for (const Row row : {Row{45.0, false}, Row{25.0, true}, Row{90.0, true, 1200.0}, Row{180.0, false, 1200.0},
                          Row{180.0, true, 400.0}}) {
        SCOPED_TRACE(testing::Message() << row.offDeg << " degrees, " << row.metres << " m");
        Made m(v, 2.0, 8000, [&](int tick) { return v * tick / 100.0; }, 90.0, true);
        std::erase_if(m.record.reports, [](const ReportedPosition& p) { return p.dueTick > 0 && p.dueTick < 4000; });
        for (ReportedPosition& p : m.record.reports) p.trackDeg = 90.0;
        const double a = row.offDeg * degreesToRadians;
        m.record.reports.front().position = lf_east(v * 40.0 - row.metres * std::cos(a), row.metres * std::sin(a));
        EXPECT_EQ(SmoothnessChecker{}.check(m.record).has(MotionCheck::TravelSpeed), row.finding);
    }
}

TEST(MotionReportChecks, AFirstFlyingReportTooNearTheNextForTheirPaceTellsNoPace) {
    // Flying east at 439 kt, reported every 2 s from tick 4000 on; the first
    // report, due at tick 0, lies on the line the row's metres short of the
    // second. At 40 kt from it to the second, against the 439 kt the reports
    // after it keep, it is a bad position, and the aircraft flying on from it
    // keeps to no pace of its; at 103 kt, more than a third of that pace less
    // a slack, it is taken as given, and the aircraft is held to it.
    const double v = 439.0 * kKnotsToMps;
    for (const auto& [metres, finding] : {std::pair{815.0, false}, std::pair{2121.0, true}}) {
        SCOPED_TRACE(metres);
        Made m(v, 2.0, 8000, [&](int tick) { return v * tick / 100.0; }, 90.0, true);
        std::erase_if(m.record.reports, [](const ReportedPosition& p) { return p.dueTick > 0 && p.dueTick < 4000; });
        for (ReportedPosition& p : m.record.reports) p.trackDeg = 90.0;
        m.record.reports.front().position = lf_east(v * 40.0 - metres, 0.0);
        const MotionCheckResult r = SmoothnessChecker{}.check(m.record);
        EXPECT_EQ(r.has(MotionCheck::TravelSpeed), finding) << r.summary();
    }
}

TEST(MotionReportChecks, ALastReportWellOffTheLineTheTracksAgreeOnIsNoPlaceToReach) {
    // Flying east at 351 kt, reported every 10 s to 40 s, the pose on the
    // reported line to 90 s; the last report, after a pause of 36.5 s, lies
    // at the row's angle and distance off the report before it. Well off the
    // line the tracks agree on (behind it: the way to it runs backwards) it
    // is a bad position: neither a place to reach nor the side that makes
    // the good reports before it look out of reach. Near the line the
    // aircraft is held to it.
    struct Row {
        double offDeg;
        double metres;
        bool finding;
    };
    const double v = 180.6;
    for (const Row row : {Row{180.0, 2675.0, false}, Row{90.0, 2675.0, false}, Row{25.0, 2675.0, true},
                          Row{90.0, 1200.0, true}, Row{180.0, 400.0, true}}) {
        SCOPED_TRACE(testing::Message() << row.offDeg << " degrees, " << row.metres << " m");
        Made m(v, 10.0, 9000, [&](int tick) { return v * tick / 100.0; }, 90.0, true);
        std::erase_if(m.record.reports, [](const ReportedPosition& p) { return p.dueTick > 4000; });
        ReportedPosition last = m.record.reports.back();
        last.time += 36.5;
        last.dueTick += 3650;
        const double a = row.offDeg * degreesToRadians;
        last.position = lf_east(v * 40.0 + row.metres * std::cos(a), row.metres * std::sin(a));
        m.record.reports.push_back(last);
        for (ReportedPosition& p : m.record.reports) p.trackDeg = 90.0;
        const MotionCheckResult r = SmoothnessChecker{}.check(m.record);
        EXPECT_EQ(r.has(MotionCheck::Lag) || r.has(MotionCheck::TravelSpeed), row.finding) << r.summary();
    }
}

TEST(MotionReportChecks, APositionMilesOffBesideAPauseIsNoPlaceToReachUnlessTheReportsGoOnFromIt) {
    // Flying east at 136 kt, reported every 2 s but for a pause from 22 s to
    // 62 s; the pose flies the reported line. One report 5 NM off it: out of
    // reach of the report on one side (2 s away), while over the pause the
    // aircraft could fly to it from the other side, though at twice the pace
    // the two sides keep with each other and more. A report that the reports
    // after it go on from is where the aircraft went: the pose that never
    // goes there is late. In the middle of a longer pause (to 104 s), 36 s
    // after the report before it, a report 5 NM off is within reach of both
    // sides, but going through it is four times the way the reported 136 kt
    // covers; one 1.2 km off the line is a dogleg the aircraft may have flown,
    // and so is one 6 km off when the reports on both sides tell 300 kt.
    struct Row {
        const char* name;
        double offAtS;
        double offNorthM, offEastM;
        bool reportsGoOnFromIt;
        bool late;
        double pauseEndS = 62.0;
        double sidesKt = 0.0;  // the speed the reports either side tell (0: the pace flown)
    };
    const Row rows[] = {
        {"north, just before the pause", 22.0, 9260.0, 0.0, false, false},
        {"north-east, just after the pause", 62.0, 6548.0, 6548.0, false, false},
        {"north, before the pause, the reports going on from there", 22.0, 9260.0, 0.0, true, true},
        // Out of reach of the report 2 s before it, and nearer the report
        // after the pause than the two sides' pace covers over it: going
        // through it is over twice their way, the detour of a report off it.
        {"north-east, ahead of the pause's end, just before it", 22.0, 1500.0, 4300.0, false, false},
        {"north-east, ahead of the pause's end, the reports going on from there", 22.0, 1500.0, 4300.0, true, true},
        {"south-west, in the middle of a longer pause", 58.0, -5572.0, -7396.0, false, false, 104.0},
        {"north, in the middle of a longer pause, the reports going on from there", 58.0, 9260.0, 0.0, true, true,
         104.0},
        {"north, in the middle of a longer pause, 1.2 km off the line", 58.0, 1200.0, 0.0, false, true, 104.0},
        {"north, in the middle of a longer pause, 6 km off, the sides at 300 kt", 58.0, 6000.0, 0.0, false, true, 104.0,
         300.0},
    };
    const double v = 70.0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Made m(v, 2.0, 13000, [&](int tick) { return v * tick / 100.0; }, 90.0, true);
        std::erase_if(m.record.reports, [&](const ReportedPosition& p) {
            return p.dueTick > 2200 && p.dueTick < row.pauseEndS * 100.0 && p.dueTick != row.offAtS * 100.0;
        });
        for (ReportedPosition& p : m.record.reports) {
            const double t = p.dueTick / 100.0;
            if (t == row.offAtS || (row.reportsGoOnFromIt && t > row.offAtS))
                p.position = lf_east(v * t + row.offEastM, row.offNorthM);
            if (row.sidesKt > 0.0 && (t == 22.0 || t == row.pauseEndS)) p.groundSpeedKt = row.sidesKt;
        }
        MotionCheckResult r = SmoothnessChecker{}.check(m.record);
        std::erase_if(r.findings, [&](const MotionFinding& f) { return f.tick != row.offAtS * 100.0; });
        EXPECT_EQ(r.has(MotionCheck::Lag), row.late) << r.summary();
    }
}

TEST(MotionReportChecks, TheNoseFollowsTheTravelAndNeverPointsBackOutsideAPushback) {
    struct Row {
        double headingDeg;  // travel is due east (90)
        double mps;
        bool pushing;
        std::size_t nose, backwards;
    };
    for (const Row& row : {Row{90, 5, false, 0, 0}, Row{119, 5, false, 0, 0}, Row{122, 5, false, 1, 0},
                           Row{122, 1.2, false, 0, 0},  // below 3 kt the nose is free
                           Row{178, 1.2, false, 0, 0}, Row{181, 1.2, false, 0, 1}, Row{270, 5, false, 1, 1},
                           Row{270, 2, true, 0, 0}, Row{245, 2, true, 0, 0}, Row{238, 2, true, 1, 0},
                           Row{90, 2, true, 1, 0}}) {
        Made m(row.mps, 2.0, 2000, [&](int tick) { return row.mps * tick / 100.0; }, row.headingDeg);
        for (MotionSample& s : m.record.samples) s.phase = row.pushing ? AcPhase::pushing_back : AcPhase::taxi;
        EXPECT_EQ(lf_count(m.record, MotionCheck::NoseTravel) != 0, row.nose != 0)
            << row.headingDeg << " deg at " << row.mps << " m/s" << (row.pushing ? " pushing back" : "");
        EXPECT_EQ(lf_count(m.record, MotionCheck::Backwards) != 0, row.backwards != 0)
            << row.headingDeg << " deg at " << row.mps << " m/s" << (row.pushing ? " pushing back" : "");
    }
}

LiveAc lf_aircraft(std::uint32_t category, bool slowLarge) {
    LiveAc ac({}, AcInfo{}, 1.7e9);
    ac.category = category;
    ac.isSlowLarge = slowLarge;
    return ac;
}

TEST(MotionReportChecks, InTheAirNoAircraftFliesSlowerThanItsFloor) {
    struct Row {
        std::uint32_t category;
        bool slowLarge;
    };
    for (const Row row : {Row{Light, false}, Row{Large, false}, Row{Large, true}, Row{Heavy, false},
                          Row{Rotorcraft, false}}) {
        const double floorKt = gf_airborneSpeedFloorKt(lf_aircraft(row.category, row.slowLarge));
        for (const double share : {0.9, 1.05}) {
            const double mps = std::max(floorKt * share, 1.0) * kKnotsToMps;
            Made m(mps, 4.0, 1500, [&](int tick) { return mps * tick / 100.0; }, 90.0, true);
            m.record.category = row.category;
            m.record.airborneFloorKt = floorKt;
            const bool slow = share < 1.0 && floorKt > 0.0;
            EXPECT_EQ(lf_count(m.record, MotionCheck::AirborneSpeed) != 0, slow)
                << row.category << (row.slowLarge ? " (slow type)" : "") << " at " << share;
        }
    }
    // A turboprop of the Large category flies slower than an airliner of it.
    EXPECT_LT(gf_airborneSpeedFloorKt(lf_aircraft(Large, true)), gf_airborneSpeedFloorKt(lf_aircraft(Large, false)));
}

TEST(MotionReportChecks, TheTravelIsHeldToAQuarterOverTheReportsOwnSpeedAndFiveKnotsOnTheGroundTenInTheAir) {
    // Reported at 10 kt on the ground by their positions: at most 17.5 kt of
    // travel; at 150 kt in the air at most 197.5 kt (a creation at 0 kt
    // catching up at 1.5 times the reported speed flies 225).
    struct Row {
        bool airborne;
        double reportedKt, kt;
        bool finding;
    };
    for (const Row& row : {Row{false, 10.0, 17.0, false}, Row{false, 10.0, 18.5, true}, Row{true, 150.0, 195.0, false},
                           Row{true, 150.0, 200.0, true}, Row{true, 150.0, 225.0, true}}) {
        const double reported = row.reportedKt * kKnotsToMps, mps = row.kt * kKnotsToMps;
        Made m(reported, 2.0, 1500,
               [&](int tick) { return tick < 500 ? reported * tick / 100.0 : reported * 5 + mps * (tick - 500) / 100.0; },
               90.0, row.airborne);
        const MotionCheckResult r = SmoothnessChecker{}.check(m.record);
        EXPECT_EQ(r.has(MotionCheck::TravelSpeed), row.finding) << row.kt << " kt against " << row.reportedKt;
    }
}

// The east offset (m) of a pose flying at `kt(t)` knots from t = 0, the
// speed integrated in 10 ms steps.
double lf_flown(const std::function<double(double)>& kt, int tick) {
    double east = 0.0;
    for (int k = 0; k < tick; ++k) east += kt(k / 100.0) * kKnotsToMps * 0.01;
    return east;
}

TEST(MotionReportChecks, AnAircraftCreatedInTheAirAppearsAtItsReportedSpeed) {
    // Reported at 150 kt from its creation on. Sound: it flies 150 kt from
    // its first tick. Faulty: it stands for a second and then flies 225 kt
    // until it has caught up (the jump of every creation in the air); or it
    // appears at 180 kt and eases down to 150 at 4 kt/s, each second within
    // the change and travel limits, but not at its reported speed.
    const double v = 150.0;
    const std::function<double(double)> sound = [&](double) { return v; };
    const std::function<double(double)> jumps = [&](double t) { return t < 1.0 ? 0.0 : t < 3.0 ? 1.5 * v : v; };
    const std::function<double(double)> eases = [&](double t) { return std::max(v, 1.2 * v - 4.0 * t); };
    struct Row {
        const std::function<double(double)>* speed;
        bool change, travel;
    };
    for (const Row& row : {Row{&sound, false, false}, Row{&jumps, true, true}, Row{&eases, true, false}}) {
        std::vector<double> east(1501);
        for (int tick = 0; tick <= 1500; ++tick) east[static_cast<std::size_t>(tick)] = lf_flown(*row.speed, tick);
        Made m(v * kKnotsToMps, 2.0, 1500, [&](int tick) { return east[static_cast<std::size_t>(tick)]; }, 90.0, true);
        MotionCheckResult r = SmoothnessChecker{}.check(m.record);
        EXPECT_EQ(r.has(MotionCheck::SpeedChange), row.change) << r.summary();
        EXPECT_EQ(r.has(MotionCheck::TravelSpeed), row.travel) << r.summary();
        EXPECT_GT(r.judged[MotionCheck::SpeedChange], 40u);
    }
}

TEST(MotionReportChecks, InTheAirNoSpeedChangesFasterThanFiveKnotsASecondBeyondWhatTheReportsShow) {
    // Reported at 200 kt; the pose speeds up from 10 s at `rate` kt/s for
    // 3 s and keeps that speed. The reports show a change of `reportedRate`
    // kt/s there, or none.
    struct Row {
        double rate, reportedRate;
        bool finding;
    };
    for (const Row& row : {Row{4.0, 0.0, false}, Row{8.0, 0.0, true}, Row{8.0, 8.0, false}, Row{16.0, 8.0, true}}) {
        const std::function<double(double)> kt = [&](double t) { return 200.0 + row.rate * std::clamp(t - 10.0, 0.0, 3.0); };
        std::vector<double> east(3001);
        for (int tick = 0; tick <= 3000; ++tick) east[static_cast<std::size_t>(tick)] = lf_flown(kt, tick);
        Made m(200.0 * kKnotsToMps, 1.0, 3000, [&](int tick) { return east[static_cast<std::size_t>(tick)]; }, 90.0, true);
        for (ReportedPosition& p : m.record.reports)
            p.groundSpeedKt = 200.0 + row.reportedRate * std::clamp(p.dueTick / 100.0 - 10.0, 0.0, 3.0);
        const MotionCheckResult r = SmoothnessChecker{}.check(m.record);
        EXPECT_EQ(r.has(MotionCheck::SpeedChange), row.finding) << row.rate << " kt/s\n" << r.summary();
    }
}

TEST(MotionReportChecks, AFlightWhoseReportsEndInTheAirGoesOnAtItsLastReportedSpeed) {
    // Reported at 234 kt until 20 s, then nothing. Sound: it flies on at
    // 234 kt. Faulty: it slows in level flight at 4.75 kt/s to 101 kt (no
    // faster than the change check allows, but a crawl no flight goes to).
    const double v = 234.0;
    const std::function<double(double)> goesOn = [&](double) { return v; };
    const std::function<double(double)> crawls = [&](double t) { return std::max(101.0, v - 4.75 * std::max(0.0, t - 20.0)); };
    for (const auto& [speed, finding] : {std::pair{goesOn, false}, std::pair{crawls, true}}) {
        std::vector<double> east(6001);
        for (int tick = 0; tick <= 6000; ++tick) east[static_cast<std::size_t>(tick)] = lf_flown(speed, tick);
        Made m(v * kKnotsToMps, 2.0, 6000, [&](int tick) { return east[static_cast<std::size_t>(tick)]; }, 90.0, true);
        std::erase_if(m.record.reports, [](const ReportedPosition& p) { return p.dueTick > 2000; });
        const MotionCheckResult r = SmoothnessChecker{}.check(m.record);
        EXPECT_EQ(r.has(MotionCheck::TravelSpeed), finding) << r.summary();
        EXPECT_FALSE(r.has(MotionCheck::SpeedChange)) << r.summary();
    }
}

TEST(MotionReportChecks, InTheAirTheNoseIsWithinThirtyDegreesOfTheTrack) {
    for (const auto& [headingDeg, finding] : {std::pair{90.0, false}, std::pair{115.0, false}, std::pair{125.0, true},
                                              std::pair{55.0, true}}) {
        const double mps = 150.0 * kKnotsToMps;
        Made m(mps, 2.0, 1500, [&](int tick) { return mps * tick / 100.0; }, headingDeg, true);
        EXPECT_EQ(lf_count(m.record, MotionCheck::NoseTravel) != 0, finding) << headingDeg;
    }
}

// Rolls east at 26 kt, slows to a stop at 10 s, turns `pivotDeg` to the
// left on the spot over 6 s (or, rolling, over 40 m) and rolls on to the
// north-east; reported rolling at 26 kt all along (or standing for the turn).
AircraftRecord lf_exitTurn(double pivotDeg, bool rolling, AcPhase phase, bool reportsStand) {
    AircraftRecord r = lf_largeRecord(0xABC010);
    const double v = 26.0 * kKnotsToMps;
    for (double t = 0; t <= 40.0; t += 2.0) {
        ReportedPosition p;
        p.time = 1.7e9 + t;
        p.dueTick = t * 100;
        p.position = lf_east(v * t);
        p.groundSpeedKt = reportsStand && t >= 10.0 && t <= 16.0 ? 0.0 : 26.0;
        r.reports.push_back(p);
    }
    double east = 0.0, north = 0.0, heading = 90.0;
    for (int tick = 0; tick <= 3000; ++tick) {
        const double t = tick / 100.0;
        double kt = t < 7.0 ? 26.0 : t < 10.0 ? 26.0 * (10.0 - t) / 3.0 : t < 16.0 ? 0.0 : 26.0;
        if (rolling && t >= 10.0 && t < 16.0) kt = 40.0 / 6.0 * kMpsToKnots;
        if (t >= 10.0 && t < 16.0) heading -= pivotDeg / 600.0;
        const double step = kt * kKnotsToMps * 0.01;
        east += step * std::sin(heading * degreesToRadians);
        north += step * std::cos(heading * degreesToRadians);
        MotionSample s;
        s.tick = tick;
        const LaLo at = lf_east(east, north);
        s.pose = {at.lat, at.lon, 0.0, 0.0, heading * degreesToRadians, 26.0, 0.0, 0.0};
        s.onGround = true;
        s.phase = t >= 10.0 && t < 16.0 ? phase : AcPhase::taxi;
        r.samples.push_back(s);
    }
    return r;
}

TEST(MotionReportChecks, NoTurnOnTheSpotButAtAStandOrWhereTheReportsStand) {
    struct Row {
        double pivotDeg;
        bool rolling;
        AcPhase phase;
        bool reportsStand, finding;
    };
    for (const Row& row : {Row{48.0, false, AcPhase::taxi, false, true}, Row{48.0, false, AcPhase::landing_roll, false, true},
                           Row{15.0, false, AcPhase::taxi, false, false},
                           // Rolling round the same turn is no pivot.
                           Row{48.0, true, AcPhase::taxi, false, false},
                           // At a stand, or where the reports stand, it may.
                           Row{48.0, false, AcPhase::parking, false, false}, Row{48.0, false, AcPhase::taxi, true, false}}) {
        const AircraftRecord r = lf_exitTurn(row.pivotDeg, row.rolling, row.phase, row.reportsStand);
        MotionCheckResult result = SmoothnessChecker{}.check(r);
        EXPECT_EQ(result.has(MotionCheck::SpotTurn), row.finding)
            << row.pivotDeg << " deg " << (row.rolling ? "rolling" : "on the spot") << " in "
            << gf_acPhaseName(row.phase) << (row.reportsStand ? ", reports standing" : "") << "\n" << result.summary();
        if (row.phase == AcPhase::taxi && !row.reportsStand) {
            EXPECT_GT(result.judged[MotionCheck::SpotTurn], 0u);
        }
    }
}

TEST(MotionReportChecks, OnTheGroundAReportIsReachedWithinTenMetresAsideAndAStandingOneWithinFifteen) {
    // Moving east at 8 m/s, the pose `asideM` north of the reports' line.
    for (const auto& [asideM, late] : {std::pair{8.0, false}, std::pair{14.0, true}}) {
        const double v = 8.0;
        Made m(v, 2.0, 3000, [&](int tick) { return v * tick / 100.0; }, 90.0);
        for (MotionSample& s : m.record.samples) s.pose.latitude += asideM / kMetresPerDegLat;
        EXPECT_EQ(SmoothnessChecker{}.check(m.record).has(MotionCheck::Lag), late) << asideM << " m aside";
    }
    // Standing, its reports scattered a metre about a spot `offM` from it.
    for (const auto& [off, late] : {std::pair{12.0, false}, std::pair{20.0, true}}) {
        const double offM = off;
        Made m(0.0, 3.0, 3000, [&](int) { return offM; }, 90.0);
        for (std::size_t i = 0; i < m.record.reports.size(); ++i)
            m.record.reports[i].position = lf_east(std::cos(i * 2.0), std::sin(i * 2.0));
        EXPECT_EQ(SmoothnessChecker{}.check(m.record).has(MotionCheck::Lag), late) << offM << " m off";
    }
}

TEST(MotionReportChecks, AReportIsPassedJustPastItNotWhereAPoseFarOnLinesUpWithItsWay) {
    // East at 8 m/s on time, but the report due at 30 s lies 13 m north of
    // the way: missed. From 45 s the pose runs 9 m north of the reports,
    // on the missed report's way far past it. That is no pass of it: the
    // one report is missed, and the ones after it are reached on time.
    const double v = 8.0;
    Made m(v, 2.0, 6000, [&](int tick) { return v * tick / 100.0; }, 90.0);
    for (ReportedPosition& p : m.record.reports)
        if (p.dueTick == 3000) p.position.lat += 13.0 / kMetresPerDegLat;
    for (MotionSample& s : m.record.samples)
        s.pose.latitude += std::clamp((s.tick - 4500) / 100.0, 0.0, 1.0) * 9.0 / kMetresPerDegLat;
    const MotionCheckResult r = SmoothnessChecker{}.check(m.record);
    EXPECT_EQ(r.count(MotionCheck::Lag), 1u) << r.summary();
    EXPECT_TRUE(std::all_of(r.findings.begin(), r.findings.end(),
                            [](const MotionFinding& f) { return f.check != MotionCheck::Lag || f.tick == 3000; }))
        << r.summary();
}

TEST(MotionReportChecks, TheReportsTheTrafficsMakerMadeBadAreLeftOutAndNoOthers) {
    // A position 5 NM north of the track among sound reports: listed as made
    // bad it is no place to reach; listed as sound (the maker lists the bad
    // ones, the checker guesses no more) the aircraft that never went there
    // is late for it.
    for (const auto& [listed, late] : {std::pair{true, false}, std::pair{false, true}}) {
        const double v = 8.0;
        Made m(v, 2.0, 4000, [&](int tick) { return v * tick / 100.0; }, 90.0);
        for (ReportedPosition& p : m.record.reports) p.madeBad = false;
        m.record.reports[10].position = lf_east(v * 20.0, 9260.0);
        m.record.reports[10].madeBad = listed;
        const MotionCheckResult r = SmoothnessChecker{}.check(m.record);
        EXPECT_EQ(r.has(MotionCheck::Lag), late) << (listed ? "listed" : "not listed") << "\n" << r.summary();
    }
}

TEST(MotionReportChecks, AnAircraftWhoseEveryReportWasMadeBadIsStillJudgedByWhatNeedsNoReport) {
    // An overflight whose only report before the traffic ended was one the
    // traffic's maker listed as bad (its position 5 NM off), yet the engine
    // made an aircraft of it: no report is left to reach or to pace it by,
    // and its track is judged all the same.
    // Sound: it flies on steadily. Faulty: it stands for a second and then
    // flies half as fast again (a jump no report shows).
    const double v = 150.0;
    const std::function<double(double)> steady = [&](double) { return v; };
    const std::function<double(double)> jumps = [&](double t) { return t < 1.0 ? 0.0 : 1.5 * v; };
    for (const auto& [speed, finding] : {std::pair{steady, false}, std::pair{jumps, true}}) {
        std::vector<double> east(1501);
        for (int tick = 0; tick <= 1500; ++tick) east[static_cast<std::size_t>(tick)] = lf_flown(speed, tick);
        Made m(v * kKnotsToMps, 2.0, 1500, [&](int tick) { return east[static_cast<std::size_t>(tick)]; }, 90.0, true);
        m.record.reports.resize(1);
        m.record.reports.front().madeBad = true;
        MotionCheckResult r = SmoothnessChecker{}.check(m.record);
        EXPECT_EQ(r.has(MotionCheck::SpeedChange), finding) << r.summary();
        EXPECT_GT(r.judged[MotionCheck::SpeedChange], 10u);
        EXPECT_EQ(r.judged[MotionCheck::Lag], 0u);
    }
}

TEST(MotionReportChecks, OnTheGroundTheSpeedIsHeldToAQuarterOverTheFasterOfTheReportedAndTheReportsOwnSpeed) {
    // Taxiing east with reports every 2 s that give 8 kt while their own
    // positions move `ownKt` (a feed that lags its positions, or repeats a
    // stale one and then jumps on), the pose at the positions' pace with half
    // a second at `burstKt` from tick 600. The reports' positions are the
    // way: following them is no racing, racing past them is. Lag is taken
    // back at no more than 1.25 times the reported speed and 5 kt, never
    // above 30 kt where the reports go slower: a 31 kt surge against 20 kt
    // reported is a finding, 29 kt is not.
    struct Row {
        double ownKt, burstKt;
        bool finding;
    };
    for (const Row& row : {Row{40.0, 40.0, false}, Row{40.0, 100.0, true}, Row{8.0, 8.0, false},
                           Row{8.0, 14.5, false}, Row{8.0, 16.0, true}, Row{20.0, 29.0, false},
                           Row{20.0, 31.0, true}, Row{24.0, 29.0, false}, Row{24.0, 31.0, true}}) {
        const double own = row.ownKt * kKnotsToMps, burst = row.burstKt * kKnotsToMps;
        Made m(own, 2.0, 1500,
               [&](int tick) { return own * tick / 100.0 + (burst - own) * std::clamp(tick - 600, 0, 50) / 100.0; },
               90.0);
        for (ReportedPosition& p : m.record.reports) p.groundSpeedKt = std::min(8.0, row.ownKt);
        for (MotionSample& sample : m.record.samples) sample.reportedKt = std::min(8.0, row.ownKt);
        const MotionCheckResult r = SmoothnessChecker{}.check(m.record);
        EXPECT_EQ(r.has(MotionCheck::GroundSpeed), row.finding)
            << row.ownKt << " kt by the positions, " << row.burstKt << " kt flown\n" << r.summary();
    }
}

TEST(MotionReportChecks, KnotsAreMeasuredAsTheProgramAndTheFeedsCountThemAMinuteOfArcANauticalMile) {
    // A taxi reported at 8 kt catching up at 14.997 kt, just under 1.25
    // times the reports and 5 kt, its positions laid out a nautical mile to
    // the minute of arc: on the limit, not over it (measured on a longer
    // degree its knots and the reports' come out 0.2 % more, but the 5 kt do
    // not, and it is over).
    constexpr double kMetresPerDegreeNm = 60.0 * 1852.0;
    const double perLon = kMetresPerDegreeNm * std::cos(kLat * degreesToRadians);
    const auto at = [&](double metres) { return LaLo{kLat, kLon + metres / perLon}; };
    for (const double flownKt : {14.997, 15.003}) {
        AircraftRecord r;
        r.hexid = 0xABC002;
        r.callsign = "TST2";
        r.category = Large;
        r.categoryKnown = true;
        const double reported = 8.0 * kKnotsToMps, flown = flownKt * kKnotsToMps;
        for (double t = 0; t <= 40; t += 2.0) {
            ReportedPosition p;
            p.time = 1.7e9 + t;
            p.dueTick = t * 100;
            p.position = at(reported * t);
            p.groundSpeedKt = 8.0;
            r.reports.push_back(p);
        }
        for (int tick = 0; tick <= 2000; ++tick) {
            MotionSample s;
            s.tick = tick;
            // 5 s behind its reports' way at first, catching up.
            const double t = tick / 100.0, gap = 5.0 * (flown - reported);
            const LaLo p = at(reported * t - gap + std::min(t, 5.0) * (flown - reported));
            s.pose = {p.lat, p.lon, 0.0, 0.0, 90.0 * degreesToRadians, 400.0, 0.0, 0.0};
            s.onGround = true;
            s.phase = AcPhase::taxi;
            s.reportedKt = 8.0;
            r.samples.push_back(s);
        }
        const MotionCheckResult result = SmoothnessChecker{}.check(r);
        EXPECT_EQ(result.has(MotionCheck::GroundSpeed), flownKt > 15.0) << flownKt << " kt\n" << result.summary();
    }
}

TEST(MotionReportChecks, OnTheGroundAStaleRepeatAtNoSpeedTellsNoStandingPaceForTheSpeed) {
    // Reported setting off south at 2.9 kt 2 m from where it stands (2 s),
    // then nothing until a copy of that report at no speed (45 s) and one
    // 385 m on at 8.3 kt (55 s): the aircraft taxied on through the pause.
    // The pose stands until 25 s, when the far report came, and covers the
    // 385 m speeding up for 6 s to 20 kt: the pace of the reports across the
    // copy is 14 kt, and a quarter more and 5 kt is no racing. Half a second
    // at 60 kt more is.
    for (const auto& [burstKt, finding] : {std::pair{0.0, false}, std::pair{60.0, true}}) {
        SCOPED_TRACE(burstKt);
        Made m(0.0, 1.0, 5500, [](int) { return 0.0; }, 180.0);
        auto& reports = m.record.reports;
        reports.resize(5);
        const std::pair<double, double> said[] = {{0.0, 0.0}, {2.0, 2.9}, {45.0, 0.0}, {55.0, 8.3}, {57.0, 8.3}};
        const double southM[] = {0.0, 2.0, 2.0, 385.0, 394.0};
        for (std::size_t i = 0; i < reports.size(); ++i) {
            reports[i].time = 1.7e9 + said[i].first;
            reports[i].dueTick = said[i].first * 100.0;
            reports[i].position = lf_east(0.0, -southM[i]);
            reports[i].groundSpeedKt = said[i].second;
        }
        const double top = 20.0 * kKnotsToMps;
        const double burst = burstKt * kKnotsToMps;
        for (MotionSample& s : m.record.samples) {
            const double t = std::max(0.0, s.tick / 100.0 - 25.0);
            double south = t < 6.0 ? top / 12.0 * t * t : 3.0 * top + top * (t - 6.0);
            if (burst > 0.0) south += (burst - top) * std::clamp(s.tick - 3000, 0, 50) / 100.0;
            const LaLo at = lf_east(0.0, -south);
            s.pose.latitude = at.lat;
            s.pose.longitude = at.lon;
            s.reportedKt = s.tick < 2500 ? 2.9 : 8.3;
        }
        const MotionCheckResult r = SmoothnessChecker{}.check(m.record);
        EXPECT_EQ(r.has(MotionCheck::GroundSpeed), finding) << r.summary();
    }
}

TEST(MotionReportChecks, AStaleRepeatOfTheReportBeforeIsNoStop) {
    // Flying east at 136 kt, reported every 2 s up to 18 s; then nothing
    // until a report at 60 s that repeats the one at 18 s, on the ground and
    // at rest, and 6 s after it the reports go on where the aircraft is. The
    // repeat says nothing of how fast the aircraft went: the travel is held
    // to the reports around it, and no faster than twice theirs.
    const double v = 70.0;
    for (const auto& [extraMps, finding] : {std::pair{0.0, false}, std::pair{2.0 * v, true}}) {
        Made m(v, 2.0, 7000,
               [&, extra = extraMps](int tick) {
                   return v * tick / 100.0 + extra * std::clamp(tick - 3000, 0, 500) / 100.0;
               },
               90.0, true);
        std::erase_if(m.record.reports, [](const ReportedPosition& p) { return p.dueTick > 1800 && p.dueTick < 6600; });
        ReportedPosition repeat = m.record.reports[9];
        repeat.time = 1.7e9 + 60.0;
        repeat.dueTick = 6000;
        repeat.groundSpeedKt = 0.0;
        repeat.airborne = false;
        m.record.reports.insert(m.record.reports.begin() + 10, repeat);
        const MotionCheckResult r = SmoothnessChecker{}.check(m.record);
        EXPECT_EQ(r.has(MotionCheck::TravelSpeed), finding) << extraMps << " m/s more\n" << r.summary();
        if (!finding) {
            EXPECT_FALSE(r.has(MotionCheck::Lag)) << r.summary();
        }
    }
}

TEST(MotionReportChecks, AStreamEndingOnARepeatOfAFlyingReportTellsNoStop) {
    // Reported every 2 s up to 18 s, then only at 60 s: the report of 18 s
    // again, on the ground at rest, and the stream ends there. The pose goes
    // on at the reports' pace all along. Repeating a report of the aircraft
    // flying (136 kt), it tells nothing of a stop, and the travel is not held
    // to the 20 kt a standing aircraft would be; repeating one of a roll on
    // the ground (58 kt) it may be where the aircraft stopped, and is. A roll
    // from 97 kt that brakes at 1.5 m/s^2 after its last report is held to
    // no less than the gentlest roll braking leaves it, not to 20 kt: at
    // 15 s it still goes 53 kt. So it is where the spot comes at rest once
    // more (at 40 s, then at 60 s), and a roll that never brakes is still
    // faulted there.
    struct Row {
        const char* what;
        double mps;
        bool airborne;
        double brakeMps2;  // from the last moving report (18 s) on
        bool twice;        // the spot also given at rest at 40 s
        bool finding;
    };
    for (const Row& row : {Row{"flying", 70.0, true, 0.0, false, false}, Row{"rolling", 30.0, false, 0.0, false, true},
                           Row{"braking roll", 50.0, false, 1.5, false, false},
                           Row{"braking roll, spot given twice", 50.0, false, 1.5, true, false},
                           Row{"rolling, spot given twice", 30.0, false, 0.0, true, true}}) {
        const auto east = [&](int tick) {
            const double t = tick / 100.0, after = std::max(0.0, t - 18.0);
            const double braked = row.brakeMps2 > 0.0 ? std::min(after, row.mps / row.brakeMps2) : after;
            return row.mps * (t - after) + row.mps * braked - 0.5 * row.brakeMps2 * braked * braked;
        };
        Made m(row.mps, 2.0, 7000, east, 90.0, row.airborne);
        std::erase_if(m.record.reports, [](const ReportedPosition& p) { return p.dueTick > 1800; });
        ReportedPosition repeat = m.record.reports[9];
        repeat.time = 1.7e9 + 60.0;
        repeat.dueTick = 6000;
        repeat.groundSpeedKt = 0.0;
        repeat.airborne = false;
        if (row.twice) {
            ReportedPosition earlier = repeat;
            earlier.time = 1.7e9 + 40.0;
            earlier.dueTick = 4000;
            m.record.reports.push_back(earlier);
        }
        m.record.reports.push_back(repeat);
        const MotionCheckResult r = SmoothnessChecker{}.check(m.record);
        EXPECT_EQ(r.has(MotionCheck::TravelSpeed), row.finding) << row.what << "\n" << r.summary();
    }
}

TEST(MotionReportChecks, AFlyingReportGivenAgainInTheAirTellsNoPace) {
    // Flying east at 335 kt: reported at 0 s, then at 10 s the same position
    // again in the air (at an absurd ground speed, or none), and from 28 s on
    // where the aircraft is. The repeat tells no pace: the travel around it
    // is held to the 335 kt of the reports either side of it, not to the
    // 20 kt of an aircraft that stayed put, and a pose flying 2.5 times the
    // reports' pace is still too fast.
    struct Row {
        const char* what;
        double repeatKt;
        double share;  // of the reports' pace the pose flies at for the first 5 s
        bool finding;
    };
    const double v = 335.0 * kKnotsToMps;
    for (const Row& row : {Row{"absurd speed", 1e6, 1.0, false}, Row{"no speed", 0.0, 1.0, false},
                           Row{"absurd speed, too fast", 1e6, 2.5, true}}) {
        Made m(v, 2.0, 5000,
               [&](int tick) { return v * tick / 100.0 + (row.share - 1.0) * v * std::min(tick, 500) / 100.0; },
               90.0, true);
        auto& reports = m.record.reports;
        std::erase_if(reports, [](const ReportedPosition& p) { return p.dueTick > 0 && p.dueTick < 2800; });
        ReportedPosition repeat = reports[0];
        repeat.time = 1.7e9 + 10.0;
        repeat.dueTick = 1000;
        repeat.groundSpeedKt = row.repeatKt;
        reports.insert(reports.begin() + 1, repeat);
        const MotionCheckResult r = SmoothnessChecker{}.check(m.record);
        EXPECT_EQ(r.has(MotionCheck::TravelSpeed), row.finding) << row.what << "\n" << r.summary();
    }
}

TEST(MotionReportChecks, AStaleRepeatOnTheGroundIsToldByTheGroundsPace) {
    // Taxiing east at 15.6 kt, reported every 2 s up to 18 s; then nothing
    // until a report at 60 s that repeats the one at 18 s at rest, and from
    // 66 s on the reports go on where the aircraft is (384 m on, 124 kt from
    // the repeat: no taxi goes so, but an airliner's flight may). The
    // aircraft stands from 18 s to 40 s and then catches up at `kt` until it
    // meets its reports: 24 kt is within a quarter over the reports' own pace
    // across the repeat plus 5 kt (24.4 kt), 30 kt is not.
    const double v = 8.0;
    for (const auto& [kt, finding] : {std::pair{24.0, false}, std::pair{30.0, true}}) {
        const double fast = kt * kKnotsToMps;
        Made m(v, 2.0, 9000,
               [&, fast](int tick) {
                   const double t = tick / 100.0;
                   return std::min(v * t, v * 18.0 + fast * std::max(0.0, t - 40.0));
               },
               90.0);
        std::erase_if(m.record.reports, [](const ReportedPosition& p) { return p.dueTick > 1800 && p.dueTick < 6600; });
        ReportedPosition repeat = m.record.reports[9];
        repeat.time = 1.7e9 + 60.0;
        repeat.dueTick = 6000;
        repeat.groundSpeedKt = 0.0;
        m.record.reports.insert(m.record.reports.begin() + 10, repeat);
        const MotionCheckResult r = SmoothnessChecker{}.check(m.record);
        EXPECT_EQ(r.has(MotionCheck::TravelSpeed), finding) << kt << " kt\n" << r.summary();
        if (!finding) {
            EXPECT_FALSE(r.has(MotionCheck::Lag)) << r.summary();
        }
    }
}

TEST(MotionReportChecks, AnAircraftMaySetOffBeforeARestTheNextReportShowsItLeftButNotOutOfARealHold) {
    // At rest at 0 s and again at 30 s, then reported 184 m south at 14.5 kt
    // (`farDueS`) and on at that speed every 10 s. The pose sets off at 19 s,
    // speeding up for 3 s to 22 kt, and keeps that pace until the far report,
    // then the reported one. At 37.7 s the far report lies 46 kt from the
    // one at rest: standing until then, no taxi at 14.5 kt gets there in time,
    // and setting off early is the aircraft's way there. At 55.7 s the reports
    // keep their speed, the hold was real, and leaving it 11 s early at 22 kt
    // is racing.
    for (const auto& [farDueS, finding] : {std::pair{37.7, false}, std::pair{55.7, true}}) {
        SCOPED_TRACE(farDueS);
        Made m(0.0, 1.0, static_cast<int>(farDueS * 100.0) + 2000, [](int) { return 0.0; }, 180.0);
        auto& reports = m.record.reports;
        reports.resize(5);
        const double farM = 184.0, paceMps = 14.5 * kKnotsToMps;
        for (std::size_t i = 0; i < reports.size(); ++i) {
            const double t = i == 0 ? 0.0 : i == 1 ? 30.0 : farDueS + 10.0 * static_cast<double>(i - 2);
            reports[i].time = 1.7e9 + t;
            reports[i].dueTick = t * 100.0;
            reports[i].position = lf_east(0.0, i < 2 ? 0.0 : -(farM + paceMps * (t - farDueS)));
            reports[i].groundSpeedKt = i < 2 ? 0.0 : 14.5;
        }
        const double top = 22.0 * kKnotsToMps, reachedS = 22.0 + (farM - 1.5 * top) / top;
        for (MotionSample& s : m.record.samples) {
            const double t = s.tick / 100.0;
            const double south = t < 19.0       ? 0.0
                                 : t < 22.0     ? top / 6.0 * (t - 19.0) * (t - 19.0)
                                 : t < reachedS ? 1.5 * top + top * (t - 22.0)
                                                : farM + paceMps * (t - reachedS);
            const LaLo at = lf_east(0.0, -south);
            s.pose.latitude = at.lat;
            s.pose.longitude = at.lon;
        }
        const MotionCheckResult r = SmoothnessChecker{}.check(m.record);
        EXPECT_EQ(r.has(MotionCheck::TravelSpeed), finding) << r.summary();
    }
}

TEST(MotionReportChecks, AfterAPushbackEndingAtACrawlTheAircraftMaySpeedUpOnTimeButNotLeaveEarly) {
    // The pushback's last report at 2.9 kt, then one 40 m south 29 s later at
    // 12.1 kt (their pace 2.7 kt) and on at that speed every 10 s. The pose
    // stands, turns from west to south where it stands over 6 s, then speeds
    // up at 2.5 m/s^2 to the report's speed and keeps it, setting off
    // `earlyS` before it reaches that report on time: on time it went at the
    // speed the report gives only where it had to, 7.5 s early it ran ahead
    // of reports that still had it waiting. Either way the reports had it
    // waiting where it turned.
    for (const auto& [earlyS, finding] : {std::pair{0.0, false}, std::pair{7.5, true}}) {
        SCOPED_TRACE(earlyS);
        const double farDueS = 29.0, farM = 40.0, kt = 12.1, mps = kt * kKnotsToMps, rate = 2.5;
        Made m(0.0, 1.0, 6000, [](int) { return 0.0; }, 180.0);
        auto& reports = m.record.reports;
        reports.resize(5);
        for (std::size_t i = 0; i < reports.size(); ++i) {
            const double t = i == 0 ? 0.0 : farDueS + 10.0 * static_cast<double>(i - 1);
            reports[i].time = 1.7e9 + t;
            reports[i].dueTick = t * 100.0;
            reports[i].position = lf_east(0.0, i == 0 ? 0.0 : -(farM + mps * (t - farDueS)));
            reports[i].groundSpeedKt = i == 0 ? 2.9 : kt;
        }
        const double speedUpS = mps / rate, speedUpM = mps * speedUpS / 2.0;
        const double setOffS = farDueS - earlyS - speedUpS - (farM - speedUpM) / mps;
        const double reachedS = farDueS - earlyS;
        for (MotionSample& s : m.record.samples) {
            const double t = s.tick / 100.0;
            // Early, it waits at the report for the reports to catch up.
            const double south = t < setOffS                  ? 0.0
                                 : t < setOffS + speedUpS     ? rate / 2.0 * (t - setOffS) * (t - setOffS)
                                 : t < reachedS               ? speedUpM + mps * (t - setOffS - speedUpS)
                                 : t < farDueS                ? farM
                                                              : farM + mps * (t - farDueS);
            const LaLo at = lf_east(0.0, -south);
            s.pose.latitude = at.lat;
            s.pose.longitude = at.lon;
            const double turned = std::clamp((t - (setOffS - 7.0)) / 6.0, 0.0, 1.0);
            s.pose.heading = (270.0 - 90.0 * turned) * degreesToRadians;
        }
        const MotionCheckResult r = SmoothnessChecker{}.check(m.record);
        EXPECT_EQ(r.has(MotionCheck::TravelSpeed), finding) << r.summary();
        EXPECT_FALSE(r.has(MotionCheck::SpotTurn)) << r.summary();
    }
}

TEST(MotionReportChecks, AcrossALongPauseInTheAirTheReportsGoNoSlowerThanTheSpeedsTheyGive) {
    // A holding at 190 kt round a circle of 3 km, reported every 2 s but for
    // a pause of 115 s (215 degrees of the circle): the straight line across
    // the pause keeps 100 kt. Flown round at the reported speed it is sound;
    // at 250 kt it is not.
    for (const auto& [flownKt, finding] : {std::pair{190.0, false}, std::pair{250.0, true}}) {
        SCOPED_TRACE(flownKt);
        const double radiusM = 3000.0, reportedMps = 190.0 * kKnotsToMps, flownMps = flownKt * kKnotsToMps;
        const auto onCircle = [&](double metres) {
            const double angle = metres / radiusM;
            return lf_east(radiusM * std::sin(angle), radiusM * (1.0 - std::cos(angle)));
        };
        AircraftRecord r = lf_largeRecord(0xABC020);
        for (double t = 0.0; t <= 160.0; t += 2.0) {
            if (t > 20.0 && t < 135.0) continue;
            ReportedPosition p;
            p.time = 1.7e9 + t;
            p.dueTick = t * 100.0;
            p.position = onCircle(reportedMps * t);
            p.trackDeg = 90.0 - reportedMps * t / radiusM * radiansToDegrees;
            p.groundSpeedKt = 190.0;
            p.airborne = true;
            r.reports.push_back(p);
        }
        // Faster in the middle of the pause only, with the reports at both ends.
        for (int tick = 0; tick <= 16000; ++tick) {
            const double t = tick / 100.0;
            const double extra = (flownMps - reportedMps) * std::clamp(std::min(t - 40.0, 115.0 - t), 0.0, 20.0);
            MotionSample s;
            s.tick = tick;
            const double metres = reportedMps * t + std::max(0.0, extra);
            const LaLo at = onCircle(metres);
            s.pose = {at.lat, at.lon, 0.0, 0.0, (90.0 - metres / radiusM * radiansToDegrees) * degreesToRadians,
                      190.0, 0.0, 0.0};
            s.onGround = false;
            s.phase = AcPhase::flying;
            r.samples.push_back(s);
        }
        const MotionCheckResult result = SmoothnessChecker{}.check(r);
        EXPECT_EQ(result.has(MotionCheck::TravelSpeed), finding) << result.summary();
    }
}

TEST(MotionReportChecks, RepeatsAtNoSpeedOfAMovingReportAreNoStopWhenTheAircraftWentOn) {
    // Rolling east at 15 m/s (29 kt), reported every 2 s; from 22 s to 50 s
    // the feed repeats the report of 20 s at 0 kt, and the pose rolls on at
    // that pace all along. The report at 52 s is where the aircraft is (480 m
    // on), or 5 m on at 3 kt: then it stood there and the repeats told it so.
    // A moving report below a taxi's walking pace tells no move to repeat.
    struct Row {
        const char* what;
        double movingKt;  // the report of 20 s
        bool wentOn;
        bool findings;
    };
    const double v = 15.0;
    for (const Row& row : {Row{"went on", 29.2, true, false}, Row{"stood, then moved off 5 m", 29.2, false, true},
                           Row{"crept at 3 kt", 3.0, true, true}}) {
        Made m(v, 2.0, 6000, [&](int tick) { return v * tick / 100.0; }, 90.0);
        auto& reports = m.record.reports;
        const ReportedPosition moving = reports[10];
        reports[10].groundSpeedKt = row.movingKt;
        for (ReportedPosition& p : reports)
            if (p.dueTick > 2000 && p.dueTick <= 5000) {
                p.position = moving.position;
                p.groundSpeedKt = 0.0;
            }
        if (!row.wentOn) {
            std::erase_if(reports, [](const ReportedPosition& p) { return p.dueTick > 5200; });
            reports.back().position = lf_east(v * 20.0 + 5.0);
            reports.back().groundSpeedKt = 3.0;
        }
        const MotionCheckResult r = SmoothnessChecker{}.check(m.record);
        EXPECT_EQ(r.has(MotionCheck::TravelSpeed), row.findings) << row.what << "\n" << r.summary();
        EXPECT_EQ(r.has(MotionCheck::StandingStill), row.findings) << row.what << "\n" << r.summary();
    }
}

TEST(MotionReportChecks, PastTheLastReportTheTravelIsNotHeldToTheReports) {
    // Reported at 10 kt until tick `lastReport`, then the pose speeds up to
    // 60 kt from tick 1000 (a takeoff roll dead-reckoned on).
    const double reported = 10.0 * kKnotsToMps;
    const double fast = 60.0 * kKnotsToMps;
    for (const auto& [lastReport, finding] : {std::pair{800.0, false}, std::pair{1600.0, true}}) {
        Made m(reported, 2.0, 2000,
               [&](int tick) { return tick < 1000 ? reported * tick / 100.0 : reported * 10 + fast * (tick - 1000) / 100.0; },
               90.0);
        std::erase_if(m.record.reports, [last = lastReport](const ReportedPosition& p) { return p.dueTick > last; });
        const MotionCheckResult r = SmoothnessChecker{}.check(m.record);
        EXPECT_EQ(r.has(MotionCheck::TravelSpeed), finding) << "last report at " << lastReport;
    }
}

TEST(MotionReportChecks, AParkedAircraftsFirstReportIsReachedWhereItScattersOffTheStand) {
    // The aircraft stands where its later reports scatter; its first report
    // lies `offM` away.
    for (const auto& [offM, finding] : {std::pair{20.0, false}, std::pair{80.0, true}}) {
        Made m(0.0, 3.0, 4000, [](int) { return 0.0; }, 90.0);
        m.record.reports.front().position = lf_east(offM);
        MotionCheckResult r = SmoothnessChecker{}.check(m.record);
        std::erase_if(r.findings, [](const MotionFinding& f) { return f.tick != 0; });
        EXPECT_EQ(r.count(MotionCheck::Lag) != 0, finding) << offM << " m";
    }
}

TEST(MotionReportChecks, ABadSpeedAmongTheReportsOfAStandingAircraftIsNoMove) {
    // A parked aircraft reported every 2 s, scattered 20 m about the stand it
    // stands on, one report saying 1e6 kt (or 200 kt, which a ground roll
    // may say). An absurd speed among the scatter does not ask it to go to
    // that report; a believable one does, and standing still it is late.
    for (const auto& [kt, finding] : {std::pair{1e6, false}, std::pair{200.0, true}}) {
        Made m(0.0, 2.0, 4000, [](int) { return 0.0; }, 90.0);
        for (std::size_t i = 0; i < m.record.reports.size(); ++i)
            m.record.reports[i].position = lf_east(20.0 * std::cos(i * 2.0), 20.0 * std::sin(i * 2.0));
        m.record.reports[10].groundSpeedKt = kt;
        const MotionCheckResult r = SmoothnessChecker{}.check(m.record);
        EXPECT_EQ(r.has(MotionCheck::Lag), finding) << kt << " kt\n" << r.summary();
    }
}

TEST(MotionReportChecks, AnAircraftWhoseReportsStandStillStandsStillWhereverTheyScatter) {
    for (const auto& [moveM, finding] : {std::pair{0.0, false}, std::pair{0.9, false}, std::pair{1.2, true},
                                         std::pair{15.0, true}}) {
        Made m(0.0, 3.0, 6000, [](int) { return 0.0; }, 90.0);
        for (std::size_t k = 0; k < m.record.reports.size(); ++k)
            m.record.reports[k].position = lf_east(static_cast<double>(k % 5) * 4.0, static_cast<double>(k % 3) * 6.0);
        // Half way through it creeps east and stays there.
        for (MotionSample& s : m.record.samples)
            if (s.tick >= 3000) s.pose.longitude = lf_east(std::min(moveM, (s.tick - 3000) * 0.01)).lon;
        EXPECT_EQ(lf_count(m.record, MotionCheck::StandingStill) != 0, finding) << moveM << " m";
    }
}

TEST(MotionReportChecks, ReportsStandingStillAtTwoPlacesAreTwoRunsWhileScatterIsOne) {
    // Reports every 3 s at no speed: 14 at the stand (scattered `scatterM`
    // east, every other one; or only the last `atStand` of them), none from
    // 42 s to 60 s, then the rest about 45 m south (every other one `apartM`
    // further). The aircraft stands, moves 45 m south while the reports
    // pause (2 m/s from tick 4000), and stands again; or, `wanders`, goes
    // 20 m east and back.
    struct Row {
        const char* what;
        double scatterM, apartM;
        bool wanders, finding;
        int atStand = 14;
    };
    for (const Row& row : {Row{"moved between two still places", 0.0, 0.0, false, false},
                           Row{"moved beyond 8 m of scatter", 8.0, 0.0, false, false},
                           Row{"moved beyond 35 m of scatter", 35.0, 0.0, false, true},
                           Row{"the second place's reports 6 m apart", 0.0, 6.0, false, true},
                           Row{"wandering 20 m among scattered reports", 16.0, 0.0, true, true},
                           Row{"moved after two reports at the stand", 0.0, 0.0, false, false, 2},
                           Row{"two at the stand, the second place 6 m apart", 0.0, 6.0, false, true, 2}}) {
        SCOPED_TRACE(row.what);
        Made m(0.0, 3.0, 8000, [](int) { return 0.0; }, 90.0);
        for (std::size_t k = 0; k < m.record.reports.size(); ++k) {
            const double east = k < 14 && k % 2 == 1 ? row.scatterM : 0.0;
            const double south = row.wanders || k < 14 ? 0.0 : 45.0 + (k % 2 == 1 ? row.apartM : 0.0);
            m.record.reports[k].position = lf_east(east, -south);
        }
        const int firstDue = (14 - row.atStand) * 300;
        std::erase_if(m.record.reports, [&](const ReportedPosition& p) {
            return p.dueTick < firstDue || (p.dueTick > 4000 && p.dueTick < 6300);
        });
        for (MotionSample& s : m.record.samples) {
            const double t = (s.tick - 4000) / 100.0;
            const LaLo at = row.wanders ? lf_east(20.0 * std::sin(std::clamp(t, 0.0, 30.0) * pi / 30.0))
                                        : lf_east(0.0, -std::clamp(2.0 * t, 0.0, 45.0));
            s.pose.latitude = at.lat;
            s.pose.longitude = at.lon;
        }
        EXPECT_EQ(lf_count(m.record, MotionCheck::StandingStill) != 0, row.finding);
    }
}

TEST(MotionReportChecks, RepeatsOfASlowMoveAreAPlaceOfTheirOwnWithoutShowingAScatter) {
    // A tow at 2.5 m/s (under 5 kt) east, reported every 3 s to 30 m at
    // 12 s; two reports at no speed at 15 s and 18 s; none until 40 s, then
    // at no speed on the stand 45 m further. The tow stops at the two
    // reports, goes on at 20 s and stands on the stand from 35 s. Where the
    // two repeat the moving report's position, the tow drove to a spot
    // known to the metre: the stand's reports are a place of their own. Two
    // reports 7.5 m past the moving one may be a scatter the run has not
    // shown yet: the stand is a place of its own only where its reports
    // stand together for as many as would show a scatter, not where the
    // stream ends after two of them.
    struct Row {
        double pastM;
        int standReports;
        bool finding;
    };
    for (const Row& row : {Row{0.0, 99, false}, Row{7.5, 99, false}, Row{0.0, 2, false}, Row{7.5, 2, true}}) {
        SCOPED_TRACE(testing::Message() << row.pastM << " m past, " << row.standReports << " at the stand");
        const double pastM = row.pastM;
        const double stopM = 30.0 + pastM;
        Made m(0.0, 3.0, 8000, [](int) { return 0.0; }, 90.0);
        auto& reports = m.record.reports;
        const int lastDue = 3900 + 300 * row.standReports;
        std::erase_if(reports, [&](const ReportedPosition& p) {
            return (p.dueTick > 1800 && p.dueTick < 4000) || p.dueTick > lastDue;
        });
        for (ReportedPosition& p : reports) {
            const double t = p.dueTick / 100.0;
            p.position = lf_east(t <= 12.0 ? 2.5 * t : t <= 18.0 ? stopM : 75.0);
            p.groundSpeedKt = t <= 12.0 ? 2.5 * kMpsToKnots : 0.0;
        }
        for (MotionSample& s : m.record.samples) {
            const double t = s.tick / 100.0;
            const double east = t <= 12.0 + pastM / 2.5 ? 2.5 * t
                                : t <= 20.0         ? stopM
                                                    : std::min(75.0, stopM + (75.0 - stopM) / 15.0 * (t - 20.0));
            s.pose.longitude = lf_east(east).lon;
        }
        EXPECT_EQ(lf_count(m.record, MotionCheck::StandingStill) != 0, row.finding);
    }
}

TEST(MotionReportChecks, ARunAtNoSpeedThatTheNextReportShowsLeftLongBeforeIsNoStand) {
    // Reports every 3 s at no speed up to 30 s, then one at 33 s `farM` south
    // at 15.5 kt; the aircraft left at 13 s, south at 7.2 m/s (14 kt). 144 m
    // on (48 m/s from the last report at no speed) is no taxi's pace: the
    // feed repeated a position the aircraft had left, and its pace is that
    // of the reports around the repeats. 24 m on is one, and it should have
    // stood; a position 9 km off is a bad report, no move.
    for (const auto& [farM, finding] : {std::pair{144.0, false}, std::pair{24.0, true}, std::pair{9000.0, true}}) {
        SCOPED_TRACE(farM);
        Made m(0.0, 3.0, 3300, [](int) { return 0.0; }, 180.0);
        auto& reports = m.record.reports;
        std::erase_if(reports, [](const ReportedPosition& p) { return p.dueTick > 3300; });
        reports.back().position = lf_east(0.0, -farM);
        reports.back().groundSpeedKt = 8.0 * kMpsToKnots;
        for (MotionSample& s : m.record.samples) {
            const LaLo at = lf_east(0.0, -std::max(0.0, 7.2 * (s.tick / 100.0 - 13.0)));
            s.pose.latitude = at.lat;
            s.pose.longitude = at.lon;
        }
        EXPECT_EQ(lf_count(m.record, MotionCheck::StandingStill) != 0, finding);
        EXPECT_EQ(lf_count(m.record, MotionCheck::TravelSpeed) != 0, finding);
    }
}

TEST(MotionReportChecks, AReportWhereAPausedMoveBroughtItAndWentOnFromEndsTheStandingRun) {
    // Reports every 3 s at no speed at the stand up to 39 s (the last
    // `atStand` of them), none until `atPlace` from 63 s `farM` south at no
    // speed (every other one `apartM` further), then on south at 2 m/s
    // (3.9 kt). The aircraft stands until the move brings it there on time
    // at 2 m/s, stands, and goes on. 45 m off the stand those reports are
    // where the move began from, no scatter: standing still until them would
    // leave them 22 s behind. 10 m off it may be scatter, and the aircraft
    // left the stand before it; so may a lone one 20 m off, or two 6 m apart,
    // after two at the stand. A second one there at 1e6 kt (due at
    // `absurdDue`) tells no move: the first is where the move brought the
    // aircraft all the same, and 10 m off it is scatter all the same. A lone
    // one at 1e6 kt with the move after it ends the stand's run, as a move.
    struct Row {
        double farM;
        int atStand, atPlace;
        double apartM;
        int absurdDue;  // 0: none
        bool finding;
    };
    for (const Row& row :
         {Row{45.0, 14, 1, 0.0, 0, false}, Row{10.0, 14, 1, 0.0, 0, true}, Row{45.0, 2, 2, 0.0, 0, false},
          Row{20.0, 2, 1, 0.0, 0, true}, Row{45.0, 2, 2, 6.0, 0, true}, Row{45.0, 14, 3, 0.0, 6600, false},
          Row{10.0, 14, 3, 0.0, 6600, true}, Row{10.0, 14, 1, 0.0, 6300, false}}) {
        SCOPED_TRACE(testing::Message() << row.farM << " m off, " << row.atStand << " at the stand, " << row.atPlace
                                        << " there " << row.apartM << " m apart"
                                        << (row.absurdDue != 0 ? ", one at 1e6 kt" : ""));
        const double goesOnS = 63.0 + 3.0 * (row.atPlace - 1);
        const auto southM = [&](double t) {
            return t < 63.0 ? std::max(0.0, 2.0 * (t - 63.0) + row.farM) : row.farM + 2.0 * std::max(0.0, t - goesOnS);
        };
        Made m(0.0, 3.0, 10000, [](int) { return 0.0; }, 180.0);
        auto& reports = m.record.reports;
        const int firstDue = (14 - row.atStand) * 300;
        std::erase_if(reports, [&](const ReportedPosition& p) {
            return p.dueTick < firstDue || (p.dueTick > 4000 && p.dueTick < 6300);
        });
        for (std::size_t k = 0; k < reports.size(); ++k) {
            ReportedPosition& p = reports[k];
            const double t = p.dueTick / 100.0;
            if (t < 63.0) continue;
            p.position = lf_east(0.0, -(southM(t) + (k % 2 == 1 && t <= goesOnS ? row.apartM : 0.0)));
            p.groundSpeedKt = t > goesOnS ? 2.0 * kMpsToKnots : 0.0;
            if (p.dueTick == row.absurdDue) p.groundSpeedKt = 1e6;
        }
        for (MotionSample& s : m.record.samples) {
            const LaLo at = lf_east(0.0, -southM(s.tick / 100.0));
            s.pose.latitude = at.lat;
            s.pose.longitude = at.lon;
        }
        EXPECT_EQ(lf_count(m.record, MotionCheck::StandingStill) != 0, row.finding);
    }
}

TEST(MotionReportChecks, EveryStopOnTheGroundIsBrakedForWhereverItComes) {
    // 8 m/s, then standing from one tick to the next: where the stream ends,
    // at a hold reported after the leg into it began, driving onto the stand,
    // on the landing roll.
    struct Row {
        const char* where;
        bool streamEnds, holdLate;
        AcPhase phase;
    };
    for (const Row& row : {Row{"taxiing", false, false, AcPhase::taxi}, Row{"stream end", true, false, AcPhase::taxi},
                           Row{"hold reported late", false, true, AcPhase::taxi},
                           Row{"onto the stand", false, false, AcPhase::parking},
                           Row{"landing roll", false, false, AcPhase::landing_roll}}) {
        Made m(8.0, 2.0, 1000, [](int tick) { return 8.0 * std::min(tick, 600) / 100.0; }, 90.0);
        for (MotionSample& s : m.record.samples) {
            s.phase = row.phase;
            s.streamEnds = row.streamEnds && s.tick >= 600;
            s.holding = row.holdLate && s.tick >= 600;
            s.holdKnownAtLegStart = !row.holdLate;
        }
        EXPECT_TRUE(SmoothnessChecker{}.check(m.record).has(MotionCheck::RestChange)) << row.where;
    }
}

TEST(MotionReportChecks, EveryAircraftIsCreatedWithinTenSecondsOfItsFirstReportOrNamedInTheLog) {
    struct Row {
        int createdAfterTicks;  // after the first report's due tick; -1 never
        double startWaitsEndTick;
        bool named;
        std::size_t findings;
        std::size_t judged;
        const char* registration = nullptr;  // else N1TST when named, N2TST when not
    };
    const std::string log = "12:00:00 something\nNo match found for:\nB738 KLM N1TST\n\nlater line N1TST\n"
                            "KLM3 N3TST stands where no stand is free for it: not shown until it moves\n"
                            "KLM4 N4TST flies 700 ft or less above the airport: not shown while it does\n"
                            "KLM5 N5TST rolls faster than a taxi where no stand is free for it: not shown until it slows\n";
    for (const Row& row : {Row{900, -1e9, false, 0, 1}, Row{1000, -1e9, false, 0, 1}, Row{1050, -1e9, false, 1, 1},
                           Row{-1, -1e9, false, 1, 1}, Row{-1, -1e9, true, 0, 1}, Row{-1, -1e9, false, 0, 1, "N3TST"},
                           Row{-1, -1e9, false, 0, 1, "N4TST"}, Row{-1, -1e9, false, 0, 1, "N5TST"},
                           // The start path's waits end later: counted from then, with the feed's delay.
                           Row{1500, -1500, false, 0, 1}, Row{1600, -1500, false, 1, 1},
                           // A deadline past the run's end is not judged.
                           Row{-1, 20000, false, 0, 0}}) {
        AircraftRecord r;
        r.hexid = 0xABC002;
        r.registration = row.registration != nullptr ? row.registration : row.named ? "N1TST" : "N2TST";
        for (int i = 0; i < 3; ++i) {
            ReportedPosition p;
            p.dueTick = 1000 + i * 200;
            r.reports.push_back(p);
        }
        if (row.createdAfterTicks >= 0) {
            MotionSample s;
            s.tick = 1000 + row.createdAfterTicks;
            r.samples.push_back(s);
        }
        const MotionCheckResult result = gf_checkCreatedOrTold({&r}, row.startWaitsEndTick, 5000, log);
        EXPECT_EQ(result.findings.size(), row.findings) << row.createdAfterTicks << " " << row.startWaitsEndTick;
        EXPECT_EQ(result.judged.count(MotionCheck::CreatedOrTold) ? result.judged.at(MotionCheck::CreatedOrTold) : 0u, row.judged);
    }
}

TEST(MotionReportChecks, TheCreateClockStartsAtTheFirstReportTheNextOneBearsOut) {
    // An overflight at 280 kt on track 180, reported every 10 s from tick 1000
    // on; the first report lies 9 km east of its way (a bad position) or
    // 5,000 ft above it (a bad height), or is sound. Created 900 ticks after
    // the second report falls due.
    struct Row {
        int reports;
        bool firstOff;
        std::size_t findings;
        std::size_t judged;
        bool firstHigh = false;
    };
    for (const Row& row : {Row{3, false, 1, 1}, Row{3, true, 0, 1}, Row{3, false, 0, 1, true},
                           // Two reports that contradict each other: nothing tells where it was.
                           Row{2, true, 0, 0}, Row{2, false, 1, 1}, Row{2, false, 0, 0, true}}) {
        AircraftRecord r;
        r.hexid = 0xABC003;
        r.registration = "N2TST";
        const LaLo start{47.0, -122.0};
        for (int i = 0; i < row.reports; ++i) {
            ReportedPosition p;
            p.time = 1000.0 + 10.0 * i;
            p.dueTick = 1000 + 1000 * i;
            p.position = gf_destinationPoint(start, {M_PI, 280.0 * 10.0 * i / 3600.0 * feetPerNm});
            if (i == 0 && row.firstOff) p.position = gf_destinationPoint(start, {M_PI / 2.0, 5.0 * feetPerNm});
            p.altitudeFt = i == 0 && row.firstHigh ? 16000.0 : 11000.0;
            p.groundSpeedKt = 280.0;
            p.trackDeg = 180.0;
            p.airborne = true;
            r.reports.push_back(p);
        }
        MotionSample s;
        s.tick = 2000 + 900;
        r.samples.push_back(s);
        const MotionCheckResult result = gf_checkCreatedOrTold({&r}, -1e9, 9000, "");
        SCOPED_TRACE(::testing::Message() << row.reports << " reports, first off " << row.firstOff << ", high "
                                          << row.firstHigh);
        EXPECT_EQ(result.findings.size(), row.findings);
        EXPECT_EQ(result.judged.count(MotionCheck::CreatedOrTold) ? result.judged.at(MotionCheck::CreatedOrTold) : 0u,
                  row.judged);
    }
}

TEST(MotionReportChecks, AnAircraftOfACrowdWaitsTheCreatePaceOfEachOneCreatedBeforeIt) {
    // The aircraft's first report is due at tick 1000; `others` aircraft are
    // created, 20 ticks apart, from tick `othersFrom` on; the aircraft itself
    // at 1000 + `createdAfterTicks`. The first other one is active for 20
    // ticks, then (`againAfter` > 0) removed and created again that many
    // ticks after its creation.
    struct Row {
        int others;
        int othersFrom;
        int createdAfterTicks;
        bool found;
        int againAfter = 0;
    };
    for (const Row& row : {Row{50, 1000, 1999, false}, Row{50, 1000, 2001, true},
                           // Those created before its first report was due or after it cost it nothing.
                           Row{50, 0, 1001, true}, Row{50, 2100, 1050, true},
                           // A created aircraft counts once while it stays.
                           Row{1, 1100, 1019, false}, Row{1, 1100, 1021, true},
                           // Created again (a restart creates every aircraft again), it takes a create of its own.
                           Row{1, 1100, 1021, false, 30}}) {
        std::vector<AircraftRecord> all(static_cast<std::size_t>(row.others) + 1);
        for (std::size_t i = 0; i < all.size(); ++i) {
            AircraftRecord& r = all[i];
            r.hexid = 0xABC100 + static_cast<std::uint32_t>(i);
            r.registration = "N2TST";
            for (int k = 0; k < 3; ++k) {
                ReportedPosition p;
                p.dueTick = i == 0 ? 1000 + k * 200 : -5000;
                r.reports.push_back(p);
            }
            MotionSample s;
            s.tick = i == 0 ? 1000 + row.createdAfterTicks : row.othersFrom + 20 * static_cast<int>(i - 1);
            r.samples.push_back(s);
            if (i == 1) {
                const int from = s.tick;
                for (s.tick = from + 1; s.tick <= from + 20; ++s.tick) r.samples.push_back(s);
                if (row.againAfter > 0) {
                    s.tick = from + row.againAfter;
                    r.samples.push_back(s);
                }
            }
        }
        std::vector<const AircraftRecord*> records;
        for (const AircraftRecord& r : all) records.push_back(&r);
        const MotionCheckResult result = gf_checkCreatedOrTold(records, -1e9, 9000, "");
        const bool found = std::any_of(result.findings.begin(), result.findings.end(),
                                       [](const MotionFinding& f) { return f.hexid == 0xABC100; });
        EXPECT_EQ(found, row.found) << row.others << " from " << row.othersFrom << ", " << row.createdAfterTicks;
    }
}

TEST(MotionReportChecks, AnAircraftRemovedWhileItsReportsGoOnIsCreatedAgainWithinTenSecondsOrToldAtThatTime) {
    // Reported every 2 s up to tick `reportsEnd`; recorded until tick 3000,
    // then again from `backAt` (-1 never). The first report due after the
    // removal is due at 3200: back by 4200. Log.txt names it as not shown on
    // a line written by tick `toldAt` (-1: no line); a line that names it
    // without saying so (it was removed) tells nothing.
    struct Row {
        int reportsEnd, backAt, toldAt;
        bool finding;
    };
    for (const Row& row : {Row{7000, 4100, -1, false}, Row{7000, 4400, -1, true}, Row{7000, -1, -1, true},
                           // Said why while it is gone, or just before it went.
                           Row{7000, -1, 3100, false}, Row{7000, -1, 2200, false},
                           // A reason told long before excuses no later loss.
                           Row{7000, -1, 1000, true},
                           // Its reports had ended: nothing to show it by.
                           Row{2900, -1, -1, false}}) {
        AircraftRecord r;
        r.hexid = 0xABC020;
        r.callsign = "KLM20";
        r.registration = "N20TS";
        for (int tick = 0; tick <= row.reportsEnd; tick += 200) {
            ReportedPosition p;
            p.time = 1.7e9 + tick / 100.0;
            p.dueTick = tick;
            p.position = lf_east(tick / 10.0);
            p.groundSpeedKt = 19.0;
            r.reports.push_back(p);
        }
        for (int tick = 0; tick <= 7000; ++tick) {
            if (tick > 3000 && (row.backAt < 0 || tick < row.backAt)) continue;
            MotionSample s;
            s.tick = tick;
            r.samples.push_back(s);
        }
        const std::string told = "KLM20 N20TS stands where no stand is free for it: not shown until it moves\n";
        const std::string removed = "GATE 6        : KLM20    removed\n";
        std::vector<LogMark> marks{{20.0, 0}};
        std::string log = "12:00:00 an unrelated line\n";
        marks.push_back({40.0, log.size()});
        if (row.toldAt >= 0) {
            log += told;
            marks.push_back({static_cast<double>(row.toldAt), log.size()});
        }
        log += removed;
        marks.push_back({3100.0, log.size()});
        const MotionCheckResult result = gf_checkCreatedAgain({&r}, 8000, log, marks);
        EXPECT_EQ(result.has(MotionCheck::Recreated), row.finding)
            << "reports to " << row.reportsEnd << ", back at " << row.backAt << ", told at " << row.toldAt << "\n"
            << result.summary();
    }
}

TEST(MotionReportChecks, AnAircraftThatLeavesTheRangeIsNoLossButOneRemovedInsideItIs) {
    // The user stands at the origin; the range is 10 NM, so TAVO lets an
    // aircraft that runs out of reports go from 9.5 NM on. Reports every 2 s
    // at the given distances east (NM), the first due at tick 0; the
    // aircraft is recorded until `removedAt` and never again.
    struct Row {
        std::vector<double> nm;
        int removedAt;
        bool finding;
    };
    for (const Row& row : {// Leaving: its last reports lie in the band TAVO lets it go in.
                           Row{{8.9, 9.1, 9.3, 9.5, 9.7, 9.9}, 850, false},
                           // Removed well inside the range while its reports go on there.
                           Row{{8.1, 8.3, 8.5, 8.7, 8.9, 9.1, 9.3}, 450, true},
                           // It turns back in: reports inside again count from then on.
                           Row{{9.3, 9.6, 9.9, 9.7, 9.4, 9.2, 9.0, 8.8}, 450, true}}) {
        AircraftRecord r;
        r.hexid = 0xABC030;
        r.callsign = "KLM30";
        r.registration = "N30TS";
        r.category = 2;
        for (std::size_t k = 0; k < row.nm.size(); ++k) {
            ReportedPosition p;
            p.time = 1.7e9 + 2.0 * static_cast<double>(k);
            p.dueTick = 200.0 * static_cast<double>(k);
            p.position = lf_east(row.nm[k] * metresPerNm);
            p.groundSpeedKt = 180.0;
            p.airborne = true;
            r.reports.push_back(p);
        }
        for (int tick = 0; tick <= row.removedAt; ++tick) {
            MotionSample s;
            s.tick = tick;
            r.samples.push_back(s);
        }
        TrafficRange range;
        range.user = lf_east(0.0);
        range.nm = 10.0;
        const MotionCheckResult result = gf_checkCreatedAgain({&r}, 8000, "", {}, range);
        EXPECT_EQ(result.has(MotionCheck::Recreated), row.finding)
            << "removed at " << row.removedAt << ", last report " << row.nm.back() << " NM\n"
            << result.summary();
    }
    // The automatic range the checker mirrors: the ground range on the
    // ground, growing band by band with the flight level in the air.
    const RangeLevels levels;
    EXPECT_EQ(gf_checkerAutoRangeNm(true, 35000.0, levels), 10.0);
    EXPECT_EQ(gf_checkerAutoRangeNm(false, 5000.0, levels), 15.0);
    EXPECT_EQ(gf_checkerAutoRangeNm(false, 25000.0, levels), 45.0);
    EXPECT_EQ(gf_checkerAutoRangeNm(false, 41000.0, levels), 60.0);
}

TEST(MotionReportChecks, ReportsCarriedAcrossARestartAreTheNewRunsOwnWhereItPlaysThem) {
    // The old run was handed reports due at ticks 1000, 2000 and 2100; it
    // restarts at tick 1500 and carries the two not yet due into the new
    // run, which is handed a report 10 s after them (they are borne out and
    // played: the checker keeps them) or 300 s after them (the program drops
    // them, and so does the checker).
    for (const double ownAfterS : {10.0, 300.0}) {
        SCOPED_TRACE(::testing::Message() << "own report " << ownAfterS << " s after");
        gf_resetTrafficMailbox();
        tickCount.store(1500);
        MotionRecorder recorder;
        recorder.dueTickOf([](double time) { return (time - 1.7e9) * 100.0 - 9000.0; });
        const auto made = [](double time, std::int32_t due) {
            TrafficRecord r;
            r.hexid = 0xABC050;
            r.time = 1.7e9 + time;
            r.point.playTick = due;
            return r;
        };
        for (const TrafficRecord& r : {made(100.0, 1000), made(110.0, 2000), made(120.0, 2100)})
            recorder.report(r, double(r.point.playTick), 0);
        const std::vector<TrafficRecord> notYetDue{made(110.0, 2000), made(120.0, 2100)};
        gf_keepReportsNotYetDue(notYetDue);
        gf_resetTrafficMailboxForNextRun();
        recorder.runBegan(1, 1500.0);
        std::vector<TrafficRecord> own{made(120.0 + ownAfterS, 0)};
        recorder.report(own.front(), std::nullopt, 1);
        gf_postTrafficBatch(own, 0, true);
        std::vector<TrafficRecord> taken;
        gf_takeHistoryRecords(taken);
        const bool played = taken.size() == 3;
        EXPECT_EQ(played, ownAfterS < 100.0);
        const std::vector<const AircraftRecord*> all = recorder.allRecords(0);
        ASSERT_EQ(all.size(), 1u);
        std::vector<double> times;
        for (const ReportedPosition& p : all.front()->reports) times.push_back(p.time - 1.7e9);
        const std::vector<double> expected = played ? std::vector<double>{100.0, 110.0, 120.0, 120.0 + ownAfterS}
                                                    : std::vector<double>{100.0, 120.0 + ownAfterS};
        EXPECT_EQ(times, expected);
    }
    gf_resetTrafficMailbox();
}

}  // namespace
}  // namespace tavo::test
