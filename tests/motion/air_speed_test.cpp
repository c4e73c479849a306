// Air motion against streams it was not tuned to: steep descents onto the
// runway, reports that stop in the air, irregular reports with gaps, long and
// short landings, go-arounds, streams that end on final or in the flare, an
// altitude spike and a way round onto the report after a pause in a turn.
// Every airborne pose keeps its category's speed floor, and every report is
// reached no more than 10 s after its due time.

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "airports/current_airport.h"
#include "engine/engine_lists.h"
#include "engine/engine_state.h"
#include "foundation/geodesy.h"
#include "motion/flight_phases.h"
#include "motion/runways.h"
#include "platform/simconnect/sim_model.h"
#include "support/motion_harness.h"
#include "support/temp_dir.h"

#include "air_run_fixture.h"
#include "runway_fixture.h"

using namespace tavo::test;

namespace {

constexpr double kFieldFt = kAirRunFieldFt;
constexpr double kDeg = degreesToRadians;
constexpr std::int32_t kLiveDelayTicks = 3000;
constexpr double kMostLagS = 10.0;

// A report as scheduled: what it says and when it is due.
struct Scheduled {
    StreamPoint point;
    std::int32_t dueTick = 0;
};

// What a flight showed: the slowest airborne travel against the floor, the
// latest report reached, and how the flight ended.
struct Flown {
    const AircraftRecord* record = nullptr;
    double slowestShare = 1e9;  // airborne speed over the floor, lowest
    double slowestTick = 0.0;
    double worstLagS = 0.0;
    std::size_t lagged = 0;  // reports judged for lag
    std::size_t airborneWindows = 0;
    bool touchedDown = false;
    // From the first report on the ground to the touchdown.
    double floatS = 0.0;
    // Poses with a value that is not a number (never sent to the simulator).
    std::size_t nonFinite = 0;
    double highestFt = 0.0;
    std::string text() const {
        return fmt::format(
            "slowest {:.2f} of the floor at tick {:.0f} ({} windows), worst lag {:.1f} s over {} reports, float {:.1f} s",
            slowestShare, slowestTick, airborneWindows, worstLagS, lagged, floatS);
    }
};

// One flight of a run: its route and the seconds it is reported at.
struct Flight {
    std::string name;
    Route route;
    std::vector<double> seconds;
    bool touchesDown = true;
    // Seconds from the first report on the ground to the touchdown.
    double mostFloatS = 15.0;
    // The latest a report may be reached after its due time.
    double mostLagS = kMostLagS;
    // Reports after this second are not judged (a stop at the stream's end
    // takes the time its braking needs).
    double judgedUntilS = 1e9;
};

// Every `every` seconds from `from` to `to`.
std::vector<double> lf_every(double every, double from, double to) {
    std::vector<double> out;
    for (double s = from; s <= to + 1e-9; s += every) out.push_back(s);
    return out;
}

// Every flight's track judged: never below the floor in the air, every
// report reached within 10 s of its due time, down soon after the stream has
// it on the runway (even from 300 ft above it: no float along the landing
// roll), and no pose that is not a number.
void lf_expectFlown(const std::vector<Flight>& flights, const std::vector<Flown>& flown) {
    ASSERT_EQ(flown.size(), flights.size());
    for (std::size_t i = 0; i < flights.size(); ++i) {
        SCOPED_TRACE(flights[i].name);
        const Flown& f = flown[i];
        ASSERT_NE(f.record, nullptr);
        EXPECT_EQ(f.touchedDown, flights[i].touchesDown) << f.text();
        EXPECT_GE(f.slowestShare, 1.0) << f.text();
        EXPECT_LE(f.worstLagS, flights[i].mostLagS) << f.text();
        EXPECT_GT(f.lagged, flights[i].seconds.size() / 2) << f.text();
        EXPECT_LE(f.floatS, flights[i].mostFloatS) << f.text();
        EXPECT_EQ(f.nonFinite, 0u);
    }
}

class AirSpeed : public AirRunTest {
protected:

    // Runway k (0 to 9) of the airport: 09/27, 3000 m, the runways 3.3 km
    // apart from south to north, the airport in their middle; the position
    // `pastM` past its 09 threshold.
    static RunwaySpec runwaySpec(int k) {
        RunwaySpec spec;
        spec.centre = {50.0 + 0.03 * k, 8.0};
        spec.altitudeFt = kFieldFt;
        return spec;
    }
    static LaLo onRunway(int k, double pastM) {
        if (g_runwayTable.empty()) {
            for (int i = 0; i < 10; ++i) g_runwayTable.emplace_back(makeRunway(runwaySpec(i)));
            gf_setCurrentAirport(AirportListEntry{IcaoCode("EDDF"), IataCode("FRA"), {50.135, 8.0},
                                                  static_cast<std::int32_t>(kFieldFt)});
        }
        const RunwaySpec spec = runwaySpec(k);
        return placeOn(makeRunway(spec), -spec.lengthM / 2.0 + pastM, 0.0);
    }
    // A route that descends at `fpm` from `heightFt` above the field onto
    // `touchdown`, heading east at `kt` (the descent ends on the ground).
    static Route approach(std::uint32_t hexid, LaLo touchdown, double kt, double fpm, double heightFt) {
        const double seconds = heightFt / fpm * 60.0;
        const LaLo start = gf_destinationPoint(touchdown, {270.0 * kDeg, kt * seconds / 3600.0 * feetPerNm});
        Route route(hexid, start, 90.0, kt, kFieldFt + heightFt, true);
        route.climb(-fpm).straight(seconds);
        return route;
    }

    // Every flight's reports posted when due (the reports of one tick in one
    // batch), run until all have gone (or, when `laterTicks` is given, until
    // that long after the last report was due), each judged.
    std::vector<Flown> fly(const std::vector<Flight>& flights,
                           const std::function<void(TrafficRecord&)>& change = {}, int laterTicks = 0) {
        constexpr int kMostTicks = 60000;
        std::map<std::int32_t, std::vector<TrafficRecord>> batches;
        std::vector<std::vector<Scheduled>> scheduled(flights.size());
        for (std::size_t f = 0; f < flights.size(); ++f)
            for (const double s : flights[f].seconds) {
                const auto tick = static_cast<std::int32_t>(std::llround(s * 100.0));
                TrafficRecord report = flights[f].route.reportAt(s);
                if (change) change(report);
                if (s <= flights[f].judgedUntilS) scheduled[f].push_back({report.point, tick + kLiveDelayTicks});
                batches[tick].push_back(report);
            }
        const std::int32_t lastDue = batches.empty() ? 0 : batches.rbegin()->first + kLiveDelayTicks;
        for (auto& [tick, batch] : batches) harness->engine().schedule(tick, std::move(batch));
        harness->runUntil(
            [&] {
                const std::int32_t now = harness->engine().engineTick();
                if (laterTicks > 0) return now >= lastDue + laterTicks;
                if (now < 4000) return false;
                return std::none_of(g_liveAircraft.begin(), g_liveAircraft.end(),
                                    [](const LiveAc& ac) { return ac.simState != AcSimState::removingfromsim; });
            },
            kMostTicks);
        std::vector<Flown> out;
        for (std::size_t f = 0; f < flights.size(); ++f) out.push_back(judge(flights[f].route.hexid(), scheduled[f]));
        return out;
    }

    Flown judge(std::uint32_t hexid, const std::vector<Scheduled>& scheduled) {
        Flown out;
        out.record = harness->record(hexid);
        if (out.record == nullptr) return out;
        const std::vector<MotionSample>& s = out.record->samples;
        const double floorKt = out.record->airborneFloorKt;
        // Travel over half-second windows of airborne poses.
        constexpr std::size_t kWindow = 50;
        for (std::size_t i = kWindow; i < s.size(); ++i) {
            out.touchedDown = out.touchedDown || s[i].onGround;
            const MotionSample& a = s[i - kWindow];
            const MotionSample& b = s[i];
            if (a.onGround || b.onGround || b.tick - a.tick != static_cast<std::int32_t>(kWindow)) continue;
            const double nm = gf_distanceNm({a.pose.latitude, a.pose.longitude}, {b.pose.latitude, b.pose.longitude});
            const double kt = nm * 360000.0 / static_cast<double>(kWindow);
            ++out.airborneWindows;
            if (floorKt > 0.0 && kt / floorKt < out.slowestShare) {
                out.slowestShare = kt / floorKt;
                out.slowestTick = b.tick;
            }
        }
        for (const MotionSample& m : s) {
            const AiPose& p = m.pose;
            out.highestFt = std::max(out.highestFt, p.altitude);
            for (const double v : {p.latitude, p.longitude, p.pitch, p.bank, p.heading, p.altitude, p.verticalSpeed,
                                   p.trueAirspeed})
                if (!std::isfinite(v)) {
                    ++out.nonFinite;
                    break;
                }
        }
        const auto grounded = std::find_if(scheduled.begin(), scheduled.end(),
                                           [](const Scheduled& r) { return r.point.airborne == 0; });
        const auto landed = std::find_if(s.begin(), s.end(), [](const MotionSample& m) { return m.onGround; });
        if (grounded != scheduled.end() && landed != s.end())
            out.floatS = std::max(0.0, (landed->tick - grounded->dueTick) / 100.0);
        // A report is reached when the pose passes closest to it (within
        // 30 m); reports the motion leaves aside (a touchdown moved into the
        // first part of the runway, a point beside the path) are not judged.
        for (const Scheduled& r : scheduled) {
            double best = 30.0;
            std::int32_t at = 0;
            const auto from = std::lower_bound(s.begin(), s.end(), r.dueTick - 2000,
                                               [](const MotionSample& m, std::int32_t t) { return m.tick < t; });
            for (auto it = from; it != s.end() && it->tick <= r.dueTick + 3000; ++it) {
                const MotionSample& m = *it;
                const double d =
                    gf_distanceNm({m.pose.latitude, m.pose.longitude}, {r.point.lat, r.point.lon}) * metresPerNm;
                if (d < best) {
                    best = d;
                    at = m.tick;
                }
            }
            if (at == 0) continue;
            ++out.lagged;
            out.worstLagS = std::max(out.worstLagS, (at - r.dueTick) / 100.0);
        }
        return out;
    }

};

}  // namespace

TEST_F(AirSpeed, ApproachesAndLandingsKeepTheFloorAndTheirTime) {
    std::vector<Flight> flights;
    const auto add = [&](std::string name, Route route, std::vector<double> seconds, bool touchesDown = true,
                         double mostFloatS = 15.0) {
        flights.push_back(Flight{std::move(name), std::move(route), std::move(seconds), touchesDown, mostFloatS});
    };
    {
        // An A320 at 160 kt descending at 4000 ft/min onto the runway.
        Route r = approach(0xC20010, onRunway(9, 400.0), 160.0, 4000.0, 2500.0);
        r.identity("DLH510", "D-AIBL", "A320", "DLH").land().speedTo(40.0, 30);
        // On the stream's own descent it arrives on time, not high.
        add("steep descent", r, lf_every(2.0, 0.0, r.duration()), true, 6.0);
    }
    {
        // Long: reported 1800 m past the threshold, every 3 s.
        Route r = approach(0xC20001, onRunway(0, 1800.0), 140.0, 750.0, 900.0);
        r.identity("DLH501", "D-AIBD", "A320", "DLH").land().speedTo(40.0, 25);
        add("long landing", r, lf_every(3.0, 0.0, r.duration()));
    }
    {
        // Short: 30 m past the threshold, before the touchdown floor.
        Route r = approach(0xC20002, onRunway(1, 30.0), 135.0, 700.0, 800.0);
        r.identity("DLH502", "D-AIBE", "A320", "DLH").land().speedTo(40.0, 25);
        add("short landing", r, lf_every(2.0, 0.0, r.duration()));
    }
    {
        // The last report 20 ft above the field.
        Route r = approach(0xC20005, onRunway(4, 400.0), 140.0, 750.0, 800.0);
        r.identity("DLH505", "D-AIBH", "A320", "DLH");
        add("ends in the flare", r, lf_every(2.0, 0.0, (800.0 - 20.0) / 750.0 * 60.0));
    }
    {
        // Irregular reports, 1 to 10 s apart, with gaps of 30 and 25 s.
        Route r = approach(0xC20006, onRunway(5, 400.0), 150.0, 800.0, 1500.0);
        r.identity("DLH506", "D-AIBI", "A320", "DLH").land().speedTo(40.0, 25);
        std::vector<double> seconds;
        const double steps[] = {1, 7, 3, 10, 2, 30, 5, 1, 9, 4, 6, 25, 2, 8, 3};
        double at = 0.0;
        for (std::size_t i = 0; at <= r.duration(); ++i) {
            seconds.push_back(at);
            at += steps[i % std::size(steps)];
        }
        add("irregular with gaps", r, seconds);
    }
    {
        // Reported 300 ft high all the way (a pressure altitude on a low
        // QNH day): the touchdown report comes with the aircraft still 300 ft
        // above the runway.
        const Route low = approach(0xC20008, onRunway(7, 400.0), 140.0, 750.0, 700.0);
        Route r(0xC20008, low.at(0.0).position, 90.0, 140.0, kFieldFt + 1000.0, true);
        r.identity("DLH508", "D-AIBJ", "A320", "DLH").climb(-750).straight(low.duration()).land().speedTo(40.0, 25);
        add("high at the touchdown", r, lf_every(2.0, 0.0, r.duration()));
    }
    {
        // Reported 250 ft high, then nothing for 20 s, then on the ground
        // 2000 m past the threshold: the touchdown is moved into the first
        // part of the runway and must not be flown slower for its height.
        const Route low = approach(0xC20009, onRunway(8, 2000.0), 140.0, 750.0, 700.0);
        Route r(0xC20009, low.at(0.0).position, 90.0, 140.0, kFieldFt + 950.0, true);
        r.identity("DLH509", "D-AIBK", "A320", "DLH").climb(-750).straight(low.duration()).land().speedTo(40.0, 25);
        std::vector<double> seconds = lf_every(2.0, 0.0, low.duration() - 20.0);
        for (const double s : lf_every(2.0, low.duration(), r.duration())) seconds.push_back(s);
        add("long and high after a gap", r, seconds);
    }
    {
        Route r = approach(0xC20007, onRunway(6, 300.0), 65.0, 500.0, 800.0);
        r.identity("KLM507", "PH-ABC", "C172", "KLM").land().speedTo(15.0, 15);
        add("light aircraft", r, lf_every(2.0, 0.0, r.duration()));
    }
    // Every flight is down (or its stream has ended) 20 s after its last report.
    const std::vector<Flown> flown = fly(flights, {}, 2000);
    harness->writePlot("approaches_and_landings");
    lf_expectFlown(flights, flown);
}

TEST_F(AirSpeed, FlightsWhoseStreamsEndOrGoWrongKeepTheFloorAndTheirTime) {
    std::vector<Flight> flights;
    const auto add = [&](std::string name, Route route, std::vector<double> seconds, bool touchesDown = true,
                         double mostFloatS = 15.0) {
        flights.push_back(Flight{std::move(name), std::move(route), std::move(seconds), touchesDown, mostFloatS});
    };
    {
        // Flying at 150 kt 2200 ft above the field when the reports stop.
        Route r(0xC20011, {50.4, 7.9}, 90.0, 150.0, kFieldFt + 2200.0, true);
        r.identity("DLH511", "D-AIBM", "A320", "DLH").straight(20.0);
        add("reports stop in flight", r, lf_every(2.0, 0.0, r.duration()), false);
    }
    {
        // Down to 150 ft over the threshold, then climbing away.
        Route r = approach(0xC20003, onRunway(2, 0.0), 145.0, 800.0, 900.0);
        const double level = (900.0 - 150.0) / 800.0 * 60.0;
        r = Route(0xC20003, r.at(0.0).position, 90.0, 145.0, kFieldFt + 900.0, true);
        r.identity("DLH503", "D-AIBF", "A320", "DLH").climb(-800).straight(level).climb(2000).speedTo(170.0, 20);
        add("go-around", r, lf_every(4.0, 0.0, r.duration()), false);
    }
    {
        // The reports end 900 ft above the field.
        Route r = approach(0xC20004, onRunway(3, 400.0), 140.0, 750.0, 1500.0);
        r.identity("DLH504", "D-AIBG", "A320", "DLH");
        add("ends on final", r, lf_every(2.0, 0.0, (1500.0 - 900.0) / 750.0 * 60.0), false);
    }
    {
        // One report without a true airspeed that is a number: it cannot
        // come from the wire, but the motion never stages such a pose.
        Route r(0xC20012, {49.9, 7.8}, 90.0, 200.0, kFieldFt + 5000.0, true);
        r.identity("DLH512", "D-AIBN", "A320", "DLH").straight(30.0);
        add("no airspeed", r, lf_every(2.0, 0.0, r.duration()), false);
    }
    {
        // One report 3000 ft above the others.
        Route r(0xC20013, {49.85, 7.8}, 90.0, 220.0, kFieldFt + 6000.0, true);
        r.identity("DLH513", "D-AIBO", "A320", "DLH").straight(40.0);
        add("altitude spike", r, lf_every(2.0, 0.0, r.duration()), false);
    }
    {
        // A light aircraft reported a knot over its floor (41.2 kt), turning
        // 30 degrees between its reports: each leg's way round, flown on
        // time, slows half-way through the turn.
        Route r(0xC20015, {49.8, 7.8}, 90.0, 42.2, kFieldFt + 1500.0, true);
        r.identity("KLM515", "PH-ABD", "C172", "KLM").straight(8.0).turn(150.0, 20.0).straight(8.0);
        add("turning at its slowest", r, lf_every(4.0, 0.0, r.duration()), false);
    }
    // 200 ft above the field the reports pause for 28 s; the first after
    // the pause is the receiver repeating the last one's position, on the
    // ground and at no speed, and the landing's reports follow. The copy is
    // no touchdown 200 ft up: the approach flies on to the runway.
    constexpr double kLastAloftS = 84.0;
    StreamPoint aloft;
    {
        Route r = approach(0xC20014, onRunway(6, 400.0), 130.0, 700.0, 1200.0);
        r.identity("DLH514", "D-AIBP", "A320", "DLH").land().speedTo(30.0, 25);
        aloft = r.reportAt(kLastAloftS).point;
        std::vector<double> seconds = lf_every(2.0, 0.0, kLastAloftS);
        seconds.push_back(kLastAloftS + 28.0);
        for (const double s : lf_every(2.0, kLastAloftS + 30.0, r.duration())) seconds.push_back(s);
        add("a copy on the ground after a pause on final", r, seconds);
    }
    const std::vector<Flown> flown = fly(flights, [&](TrafficRecord& report) {
        if (report.hexid == 0xC20012 && report.time >= 1.7e9 + 10.0) report.point.tasKt = std::nan("");
        if (report.hexid == 0xC20013 && report.time == 1.7e9 + 20.0) report.point.altitudeFt += 3000.0;
        if (report.hexid == 0xC20014 && report.time == 1.7e9 + kLastAloftS + 28.0) {
            report.point.lat = aloft.lat;
            report.point.lon = aloft.lon;
            report.point.groundSpeedKt = 0.0;
        }
    });
    harness->writePlot("streams_that_end_or_go_wrong");
    lf_expectFlown(flights, flown);
    // The spike is not flown up to: the climb stays within the category's.
    EXPECT_LT(flown[flown.size() - 2].highestFt, kFieldFt + 6000.0 + 300.0);
}

TEST_F(AirSpeed, ATurnOnFinalWhoseReportsEndTurnsTheNoseOnWithItsTrack) {
    // Turning onto final at 3 deg/s 1300 ft above the field when the reports
    // stop: dead reckoning turns on with the track, and the nose turns with
    // it, whether or not the reports gave a true heading.
    struct Row {
        const char* name;
        std::uint32_t hexid;
        const char* callsign;
        const char* registration;
    };
    const Row rows[] = {{"true headings reported", 0xC20021, "DLH521", "D-AIBQ"},
                        {"no true heading", 0xC20022, "DLH522", "D-AIBR"}};
    std::vector<Flight> flights;
    onRunway(4, 0.0);
    for (const Row& row : rows) {
        Route r(row.hexid, {50.08, 7.93 + 0.02 * static_cast<double>(flights.size())}, 0.0, 140.0, kFieldFt + 1500.0,
                true);
        r.identity(row.callsign, row.registration, "A320", "DLH").climb(-700).turn(90.0, 30.0).straight(30.0);
        flights.push_back(Flight{row.name, r, lf_every(2.0, 0.0, 16.0), false});
    }
    const std::vector<Flown> flown = fly(
        flights,
        [&](TrafficRecord& report) {
            report.point.hasTrueHeading = report.hexid == rows[0].hexid ? 1 : 0;
            report.point.trueHeading = report.point.trackDeg * kDeg;
        },
        6000);
    ASSERT_EQ(flown.size(), std::size(rows));
    for (std::size_t i = 0; i < flown.size(); ++i) {
        SCOPED_TRACE(rows[i].name);
        ASSERT_NE(flown[i].record, nullptr);
        const auto& samples = flown[i].record->samples;
        EXPECT_TRUE(std::any_of(samples.begin(), samples.end(),
                                [](const MotionSample& m) { return m.phase == AcPhase::landing; }));
        const MotionCheckResult result = SmoothnessChecker{}.check(*flown[i].record);
        EXPECT_GT(result.judged.at(MotionCheck::Backwards), 100u);
        EXPECT_FALSE(result.has(MotionCheck::Backwards)) << result.summary();
    }
}

TEST_F(AirSpeed, LandingRollsKeepTheTimeOfTheirReports) {
    // A straight landing long after any turn: every report reached within
    // the 5 s a settled aircraft may run behind.
    constexpr double kSettledLagS = 5.0;
    std::vector<Flight> flights;
    const auto add = [&](std::string name, Route route, std::vector<double> seconds, double judgedUntilS = 1e9) {
        flights.push_back(
            Flight{std::move(name), std::move(route), std::move(seconds), true, 15.0, kSettledLagS, judgedUntilS});
    };
    {
        // Nothing from 600 ft above the field until the roll is 10 s old:
        // dead reckoning slowed the approach meanwhile.
        Route r = approach(0xC20021, onRunway(0, 400.0), 135.0, 750.0, 1500.0);
        const double down = r.duration();
        r.identity("DLH521", "D-AICA", "A320", "DLH").land().speedTo(40.0, 10.0).speedTo(20.0, 10.0);
        std::vector<double> seconds = lf_every(2.0, 0.0, (1500.0 - 600.0) / 750.0 * 60.0);
        for (const double s : lf_every(2.0, down + 10.0, r.duration())) seconds.push_back(s);
        add("gap on final into the roll", r, seconds);
    }
    // Rolling on fast after the touchdown and braking late to 25 kt, reported
    // 8 s after the touchdown and then only from `resumeS` on.
    struct Roll {
        const char* what;
        std::uint32_t hexid;
        const char* callsign;
        const char* registration;
        double fastS, resumeS;
    };
    const Roll rolls[] = {
        // Timed at the mean of the speeds at its ends, the leg to the report
        // after the braking would run 7 s behind the reports.
        {"late braking, sparse roll reports", 0xC20022, "DLH522", "D-AICB", 18.0, 28.0},
        // The roll runs out of reports meanwhile, and the one that comes
        // then takes over from its dead reckoning.
        {"roll reports pause", 0xC20023, "DLH523", "D-AICC", 40.0, 50.0},
    };
    for (const Roll& roll : rolls) {
        Route r = approach(roll.hexid, onRunway(1 + static_cast<int>(roll.hexid & 1), 400.0), 135.0, 750.0, 900.0);
        const double down = r.duration();
        r.identity(roll.callsign, roll.registration, "A320", "DLH").land().straight(roll.fastS).speedTo(25.0, 10.0);
        r.speedTo(0.0, 8.0).straight(6.0);
        std::vector<double> seconds = lf_every(2.0, 0.0, down);
        seconds.push_back(down + 8.0);
        for (const double s : lf_every(2.0, down + roll.resumeS, r.duration())) seconds.push_back(s);
        add(roll.what, r, seconds, down + roll.resumeS);
    }
    // A light aircraft rolling on at its touchdown speed for 32 s and braking
    // late to 15 kt; its reports pause after the touchdown, the feed gives
    // the touchdown place again at 0 kt 43 s on, and 5.5 s later the roll is
    // found 1.4 km on. Dead reckoning braked it to rest meanwhile (firmly,
    // once the copy was heard); it rolls on from where and how fast it is
    // when the report comes, and catches up with the reports after it.
    constexpr std::uint32_t kCopiedTouchdown = 0xC20024;
    constexpr double kCopyAfterS = 43.0, kFoundAfterS = 48.5;
    double copyS = 0.0;
    StreamPoint touchdown;
    {
        Route r = approach(kCopiedTouchdown, onRunway(3, 300.0), 70.0, 600.0, 1000.0);
        const double down = r.duration() + 2.0;
        r.identity("KLM524", "PH-ABE", "C172", "KLM").land().straight(32.0).speedTo(15.0, 12.0).straight(30.0);
        touchdown = r.reportAt(down).point;
        copyS = down + kCopyAfterS;
        std::vector<double> seconds = lf_every(2.0, 0.0, down);
        seconds.push_back(copyS);
        for (const double s : lf_every(4.0, down + kFoundAfterS, r.duration())) seconds.push_back(s);
        add("touchdown copied at no speed after a pause", r, seconds);
    }
    const std::vector<Flown> flown = fly(flights, [&](TrafficRecord& report) {
        if (report.hexid != kCopiedTouchdown || report.time != 1.7e9 + copyS) return;
        report.point.lat = touchdown.lat;
        report.point.lon = touchdown.lon;
        report.point.groundSpeedKt = 0.0;
    }, 2000);
    harness->writePlot("landing_rolls_on_time");
    lf_expectFlown(flights, flown);
    // Every other check holds on the way too.
    const MotionCheckResult copied = SmoothnessChecker{}.checkAll(*flown.back().record);
    EXPECT_TRUE(copied.findings.empty()) << copied.summary();
}

TEST_F(AirSpeed, AWayRoundOntoTheReportAfterAPauseKeepsTheNoseWithTheTravel) {
    // At 115 kt its reports pause for 45 s from the first one, while the
    // aircraft turns through a right angle: dead reckoning flies straight on
    // at its speed, and the report after the pause lies far off the nose. The
    // way round onto it is flown over the floor to catch up with the
    // reports: its turns are wide enough for that speed, so that the nose,
    // turning no faster than the category does, keeps within 30 degrees of
    // the direction of travel, and every report is still reached within 10 s
    // of its due time.
    Route r(0xC20031, {50.6, 8.2}, 155.0, 115.0, kFieldFt + 3000.0, true);
    r.identity("DLH531", "D-AIBS", "A320", "DLH").straight(10.0).turn(90.0, 20.0).straight(120.0);
    std::vector<double> seconds{0.0};
    for (const double s : lf_every(10.0, 45.0, r.duration())) seconds.push_back(s);
    const std::vector<Flight> flights{Flight{"a pause over a turn", r, seconds, false}};
    const std::vector<Flown> flown = fly(flights);
    harness->writePlot("way_round_after_a_pause");
    lf_expectFlown(flights, flown);
    ASSERT_NE(flown[0].record, nullptr);
    const std::vector<MotionSample>& s = flown[0].record->samples;
    // The direction of travel over each second of flight, against the nose
    // half-way through it.
    constexpr std::size_t kWindow = 100;
    double worstDeg = 0.0;
    std::int32_t worstTick = 0;
    std::size_t judged = 0;
    for (std::size_t i = kWindow; i < s.size(); ++i) {
        const MotionSample& a = s[i - kWindow];
        const MotionSample& b = s[i];
        if (a.onGround || b.onGround || b.tick - a.tick != static_cast<std::int32_t>(kWindow)) continue;
        const LaLo from{a.pose.latitude, a.pose.longitude};
        const LaLo to{b.pose.latitude, b.pose.longitude};
        if (!(gf_distanceNm(from, to) * metresPerNm > 20.0)) continue;
        const double nose = s[i - kWindow / 2].pose.heading;
        const double offDeg = std::fabs(std::remainder(nose - gf_bearing(from, to), 2.0 * pi)) / kDeg;
        ++judged;
        if (offDeg > worstDeg) {
            worstDeg = offDeg;
            worstTick = b.tick;
        }
    }
    EXPECT_GT(judged, 10000u);
    EXPECT_LE(worstDeg, 30.0) << "at tick " << worstTick << "; " << flown[0].text();
    // The way's pace is gathered evenly from the speed flown into it and
    // kept: no surge at its first points, none past its pace later.
    const MotionCheckResult checked = SmoothnessChecker{}.check(*flown[0].record);
    for (const MotionCheck check : {MotionCheck::SpeedChange, MotionCheck::TravelSpeed})
        EXPECT_EQ(checked.count(check), 0u) << checked.summary();
}
