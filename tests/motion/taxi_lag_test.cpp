// Streams as real traffic sends them, end to end on the motion harness,
// judged by what a viewer sees rather than by the leg planning's own
// bookkeeping: how long after its due time the pose reaches each report, the
// nose against the direction of travel, how fast it travels against the
// reports' own distance over time, and an aircraft that stands while its
// reports scatter.

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "airports/current_airport.h"
#include "foundation/geodesy.h"
#include "motion/motion_math.h"
#include "motion/runways.h"
#include "platform/simconnect/sim_model.h"
#include "support/motion_harness.h"
#include "support/temp_dir.h"

#include "runway_fixture.h"
#include "taxi_route.h"

using namespace tavo::test;

namespace {

constexpr double kDeg = degreesToRadians;
constexpr double kFieldFt = 300.0;
// The feed's delay: a report scheduled at tick t is due at t + 3000.
constexpr std::int32_t kFeedDelayTicks = 3000;

double lf_metres(LaLo a, LaLo b) { return gf_distanceNm(a, b) * metresPerNm; }
LaLo lf_at(const MotionSample& s) { return {s.pose.latitude, s.pose.longitude}; }

// One report as scheduled: where, and when it falls due.
struct Due {
    LaLo position{};
    std::int32_t tick = 0;
};

// The reports of a route every `everyS` from `fromTick`, with their due ticks.
std::vector<Due> lf_dues(const Route& route, double everyS, std::int32_t fromTick = 0) {
    std::vector<Due> out;
    const auto reports = route.reports(everyS);
    for (std::size_t i = 0; i < reports.size(); ++i)
        out.push_back({{reports[i].point.lat, reports[i].point.lon},
                       fromTick + static_cast<std::int32_t>(std::llround(i * everyS * 100.0)) + kFeedDelayTicks});
    return out;
}

// How late the pose reached each report: the first tick, searching on from
// where the report before was reached, at which it came within `nearM` of the
// report, less the report's due tick. A report the track never came that near
// (a corner its turn cut) is not judged.
struct Lag {
    std::int32_t dueTick = 0;
    double seconds = 0.0;
    // More than twice `nearM` from the report before: reached no sooner than
    // the pose came near it, not when it came near the one before.
    bool spaced = false;
};
std::vector<Lag> lf_lags(const AircraftRecord& r, const std::vector<Due>& dues, double nearM) {
    std::vector<Lag> out;
    std::size_t from = 0;
    for (std::size_t i = 0; i < dues.size(); ++i) {
        const Due& d = dues[i];
        const bool spaced = i > 0 && lf_metres(dues[i - 1].position, d.position) > 2.0 * nearM;
        for (std::size_t j = from; j < r.samples.size(); ++j) {
            if (lf_metres(lf_at(r.samples[j]), d.position) <= nearM) {
                out.push_back({d.tick, (r.samples[j].tick - d.tick) / 100.0, spaced});
                from = j;
                break;
            }
        }
    }
    return out;
}

double lf_worstLagS(const std::vector<Lag>& lags, std::int32_t fromDueTick = 0) {
    double worst = -1e9;
    for (const Lag& l : lags)
        if (l.dueTick >= fromDueTick) worst = std::max(worst, l.seconds);
    return worst;
}

// The speed (kt) of the pose over the `window` ticks ending at sample i.
double lf_speedKt(const AircraftRecord& r, std::size_t i, std::size_t window) {
    if (i < window) return 0.0;
    const double m = lf_metres(lf_at(r.samples[i - window]), lf_at(r.samples[i]));
    return m / (window / 100.0) * kMpsToKnots;
}

// The worst angle (degrees) between the nose and the direction of travel on
// the ground wherever it travels above 3 kt (over 0.2 s).
double lf_worstNoseOffDeg(const AircraftRecord& r) {
    constexpr std::size_t kWindow = 20;
    double worst = 0.0;
    for (std::size_t i = kWindow; i < r.samples.size(); ++i) {
        const MotionSample& a = r.samples[i - kWindow];
        const MotionSample& b = r.samples[i];
        if (!a.onGround || !b.onGround || b.tick - a.tick != static_cast<std::int32_t>(kWindow)) continue;
        if (b.phase == AcPhase::pushing_back || !(lf_speedKt(r, i, kWindow) > 3.0)) continue;
        const double travel = gf_bearing(lf_at(a), lf_at(b));
        const double nose = r.samples[i - kWindow / 2].pose.heading;
        worst = std::max(worst, std::fabs(std::remainder(travel - nose, fullCircle)) / kDeg);
    }
    return worst;
}

// The hardest start from a crawl of less than `crawlM` a tick on the
// ground, as the checker judges a start from rest: the rate (kt/s) that
// takes the aircraft evenly from rest to its mean speed over the half second
// after it.
double lf_worstSetOffKtPerS(const AircraftRecord& r, double crawlM) {
    constexpr std::size_t kWindow = 50;
    const auto& s = r.samples;
    const auto step = [&](std::size_t i) {
        const bool known = s[i].tick - s[i - 1].tick == 1 && s[i].onGround && s[i - 1].onGround;
        return known ? lf_metres(lf_at(s[i - 1]), lf_at(s[i])) : std::nan("");
    };
    double worst = 0.0;
    for (std::size_t i = 2; i + kWindow < s.size(); ++i) {
        if (!(step(i - 1) < crawlM) || !(step(i) >= crawlM) || s[i - 1 + kWindow].tick - s[i - 1].tick != kWindow)
            continue;
        const double meanMps = lf_metres(lf_at(s[i - 1]), lf_at(s[i - 1 + kWindow])) / (kWindow / 100.0);
        worst = std::max(worst, 2.0 * meanMps / (kWindow / 100.0) * kMpsToKnots);
    }
    return worst;
}

struct FedReport {
    double eastM, northM, kt, trackDeg, atS;
};

// Where and when reports `first` on of a feed played from `fromTick` fall due.
std::vector<Due> lf_fedDues(LaLo origin, const std::vector<FedReport>& reports, std::size_t first,
                            std::int32_t fromTick) {
    std::vector<Due> dues;
    for (std::size_t i = first; i < reports.size(); ++i)
        dues.push_back({{origin.lat + reports[i].northM / 111320.0,
                         origin.lon + reports[i].eastM / (111320.0 * std::cos(origin.lat * kDeg))},
                        fromTick + static_cast<std::int32_t>(std::lround(reports[i].atS * 100.0)) + kFeedDelayTicks});
    return dues;
}

// A route 1000 ft above the field at 140 kt along `headingDeg`, descending
// at 700 ft/min until it touches down, `touchdownS` after its start.
Route lf_approach(std::uint32_t hexid, LaLo start, double headingDeg, double& touchdownS) {
    Route route(hexid, start, headingDeg, 140.0, kFieldFt + 1000.0, true);
    route.climb(-700).straight(1000.0 * 60.0 / 700.0);
    touchdownS = route.duration();
    return route;
}

// The only runway: `lengthM` long along `headingDeg`, its centre `aheadM`
// on from `touchdown`.
void lf_layRunway(LaLo touchdown, double headingDeg, double lengthM, double aheadM) {
    gf_clearRunwayTable();
    RunwaySpec spec;
    spec.headingDeg = headingDeg;
    spec.primaryNumber = static_cast<std::int32_t>(std::lround(headingDeg / 10.0));
    spec.secondaryNumber = spec.primaryNumber + (spec.primaryNumber > 18 ? -18 : 18);
    spec.lengthM = lengthM;
    spec.centre = gf_destinationPoint(touchdown, {headingDeg * kDeg, aheadM * feetPerMetre});
    addAirportRunway(spec);
}

class TaxiLag : public LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        EngineHarness::Options options;
        options.userPosition = LaLo{49.9, 7.9};
        harness = std::make_unique<MotionHarness>(options);
        harness->engine().settings([](SettingsSnapshot& s) { s.MAX_HOLDING_MINUTES = 1; });
        gf_simModelSetTerrain([](double, double) { return kFieldFt; });
    }
    void TearDown() override {
        harness.reset();
        gf_clearRunwayTable();
        gf_clearCurrentAirport();
        LogFileTest::TearDown();
    }

    // Plays the route's reports every `everyS` from now; `fromTick` is set to
    // the tick its first report was scheduled at.
    const AircraftRecord& run(const Route& route, double everyS, int maxTicks, std::int32_t* fromTick = nullptr) {
        const std::int32_t from = harness->engine().engineTick() + 1;
        if (fromTick != nullptr) *fromTick = from;
        harness->add(route, everyS, from);
        EXPECT_TRUE(harness->runUntilGone(route.hexid(), maxTicks));
        const AircraftRecord* r = harness->record(route.hexid());
        EXPECT_NE(r, nullptr);
        static const AircraftRecord none;
        return r != nullptr ? *r : none;
    }

    // Plays reports as a feed sent them (metres east and north of `origin`,
    // ground speed, track, seconds after the first) and expects the aircraft
    // to keep up with them, its nose along its travel, at believable speeds.
    // What expectKeepsUp holds the motion to: a pilot's limits, or the earlier
    // ones where the motion does not yet meet a pilot's.
    MotionLimits limits;

    void expectKeepsUp(std::uint32_t hexid, LaLo origin, const std::vector<FedReport>& reports,
                       const char* plot = nullptr, const char* type = "A320", const char* airline = "DLH") {
        const std::int32_t from = harness->engine().engineTick() + 1;
        for (const FedReport& p : reports) {
            const LaLo at{origin.lat + p.northM / 111320.0,
                          origin.lon + p.eastM / (111320.0 * std::cos(origin.lat * kDeg))};
            Route one = taxiRoute(hexid, at, p.trackDeg, p.kt, type, airline);
            one.straight(0.1);
            harness->add(one, 10.0, from + static_cast<std::int32_t>(std::lround(p.atS * 100.0)));
        }
        ASSERT_TRUE(harness->runUntilGone(hexid, 40000));
        const AircraftRecord* r = harness->record(hexid);
        ASSERT_NE(r, nullptr);
        if (plot != nullptr) harness->writePlot(plot);
        const MotionCheckResult result = SmoothnessChecker{limits}.checkAll(*r);
        EXPECT_GE(result.judged.at(MotionCheck::Lag), reports.size() / 2);
        for (const MotionCheck check : {MotionCheck::Lag, MotionCheck::NoseTravel, MotionCheck::GroundSpeed,
                                        MotionCheck::TravelSpeed, MotionCheck::Backwards})
            EXPECT_EQ(result.count(check), 0u) << result.summary();
    }

    // Plays the reports as expectKeepsUp does, and how late the aircraft
    // came within `nearM` of each report from `first` on.
    std::vector<Lag> keepsUpLags(std::uint32_t hexid, LaLo origin, const std::vector<FedReport>& reports,
                                 std::size_t first, double nearM, const char* plot, const char* type = "A320",
                                 const char* airline = "DLH") {
        const std::int32_t from = harness->engine().engineTick() + 1;
        expectKeepsUp(hexid, origin, reports, plot, type, airline);
        const AircraftRecord* r = harness->record(hexid);
        return r != nullptr ? lf_lags(*r, lf_fedDues(origin, reports, first, from), nearM) : std::vector<Lag>{};
    }

    std::unique_ptr<MotionHarness> harness;
};

}  // namespace

TEST_F(TaxiLag, ATaxiThroughTurnsGivesItsDelayBackAndKeepsTheNoseAlongItsTravel) {
    // At 15 kt with a report every 2 s: a straight taxi, a U-turn, a tight
    // U-turn slowed to 5 kt, and three sharp quarter turns. Each ends with a
    // minute straight on, reported as it went.
    struct Row {
        const char* name;
        std::function<void(Route&)> turns;
        // A quarter turn reported within a report's interval takes a Large
        // ten seconds or more at the most its nose turns on the ground: such
        // corners are judged by the delay being given back in the end.
        bool withinReach = true;
    };
    const std::vector<Row> rows{
        {"straight", [](Route& r) { r.straight(30); }},
        {"U-turn", [](Route& r) { r.speedTo(12, 3).turn(180, 26).speedTo(15, 3); }},
        {"U-turn at walking pace", [](Route& r) { r.speedTo(3, 6).turn(-180, 26).speedTo(15, 6); }},
        {"three corners", [](Route& r) { r.turn(90, 12).straight(10).turn(90, 12).straight(10).turn(-90, 12); }},
        {"three sharp corners",
         [](Route& r) { r.turn(90, 0.2).straight(16).turn(90, 0.2).straight(16).turn(-90, 0.2); }, false},
    };
    std::uint32_t hexid = 0xD10001;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::uint32_t id = hexid++;
        Route route = taxiRoute(id, {50.02, 8.02 + 0.01 * (id & 0xF)}, 90.0, 15.0);
        route.straight(20);
        row.turns(route);
        const double turnsEndS = route.duration();
        route.straight(60);
        std::int32_t from = 0;
        const AircraftRecord& r = run(route, 2.0, 40000, &from);
        harness->writePlot(fmt::format("taxi_lag_{}", id & 0xF));
        const std::vector<Due> dues = lf_dues(route, 2.0, from);
        const std::vector<Lag> lags = lf_lags(r, dues, 3.0);
        ASSERT_GT(lags.size(), dues.size() * 3 / 4);
        const std::int32_t settled =
            from + static_cast<std::int32_t>(std::lround((turnsEndS + 30.0) * 100.0)) + kFeedDelayTicks;
        if (row.withinReach) {
            EXPECT_LE(lf_worstLagS(lags), 10.0);
            EXPECT_LT(lf_worstLagS(lags, settled), 5.0);
        } else {
            EXPECT_LT(lags.back().seconds, 1.0) << "the delay is given back in the end";
        }
        // Catching up it never runs ahead of the reports.
        for (const Lag& l : lags)
            if (l.spaced) EXPECT_GT(l.seconds, -2.0) << "due at " << l.dueTick - from;
        EXPECT_LE(lf_worstNoseOffDeg(r), 30.0);
    }
}

TEST_F(TaxiLag, AnArrivalTurnsOffTheRunwayWithItsNoseAlongItsTravel) {
    // 1000 ft above the field on a 700 ft/min descent onto the runway, the
    // roll slowing to the exit speed and a quarter turn off it at that speed,
    // faster than a Large's nose turns on the ground.
    struct Row {
        double turnDeg, speedKt, turnS;
    };
    std::uint32_t hexid = 0xD10021;
    for (const Row row : {Row{90.0, 15.0, 4.0}}) {
        SCOPED_TRACE(row.turnDeg);
        double touchdownS = 0.0;
        Route route = lf_approach(hexid++, {50.0, 7.8}, 90.0, touchdownS);
        route.land().speedTo(row.speedKt, 35).turn(row.turnDeg, row.turnS).straight(16);
        lf_layRunway(route.at(touchdownS).position, 90.0, 3000.0, 1200.0);
        const AircraftRecord& r = run(route, 2.0, 40000);
        harness->writePlot(fmt::format("runway_exit_{}", hexid & 0xF));
        EXPECT_LE(lf_worstNoseOffDeg(r), 30.0);
        EXPECT_TRUE(std::any_of(r.samples.begin(), r.samples.end(),
                                [](const MotionSample& s) { return s.phase == AcPhase::taxi; }));
    }
}

TEST_F(TaxiLag, AnArrivalWhoseReportsPauseJustOffTheRunwayRollsOnAsATaxiDoes) {
    // Slowing to its exit speed, turning 45 degrees off the runway and
    // rolling on along the taxiway; its reports pause for 45 s from the
    // first one past the exit turn, reached while the aircraft is still a
    // landing roll. Its dead reckoning is a taxi's: it rolls on at the
    // reported speed as its reports do, not braked to rest a few metres on
    // as a roll's guess has it.
    struct Row {
        double exitKt, everyS;
    };
    std::uint32_t hexid = 0xD10161;
    for (const Row row : {Row{11.0, 5.0}, Row{16.0, 5.0}, Row{16.0, 4.0}}) {
        SCOPED_TRACE(row.exitKt);
        SCOPED_TRACE(row.everyS);
        double touchdownS = 0.0;
        Route route = lf_approach(hexid++, {50.0, 7.8}, 160.0, touchdownS);
        route.land().speedTo(row.exitKt, 40).turn(-45.0, 8.0);
        const double offS = route.duration();
        route.straight(60.0);
        lf_layRunway(route.at(touchdownS).position, 160.0, 4000.0, 1500.0);
        const auto reports = route.reports(row.everyS);
        const auto last = static_cast<std::size_t>(std::ceil(offS / row.everyS));
        ASSERT_LT(last + 1, reports.size());
        const std::int32_t from = harness->engine().engineTick() + 1;
        for (std::size_t i = 0; i < reports.size(); ++i) {
            const double atS = static_cast<double>(i) * row.everyS;
            if (i > last && atS < offS + 45.0) continue;
            harness->engine().schedule(from + static_cast<std::int32_t>(std::lround(atS * 100.0)), {reports[i]});
        }
        ASSERT_TRUE(harness->runUntilGone(route.hexid(), 40000));
        const AircraftRecord* r = harness->record(route.hexid());
        ASSERT_NE(r, nullptr);
        harness->writePlot(fmt::format("exit_pause_{}", hexid & 0xF));
        const LaLo lastReport{reports[last].point.lat, reports[last].point.lon};
        const auto reached = std::find_if(r->samples.begin(), r->samples.end(), [&](const MotionSample& s) {
            return s.onGround && lf_metres(lf_at(s), lastReport) <= 3.0;
        });
        ASSERT_NE(reached, r->samples.end());
        const auto later = std::find_if(reached, r->samples.end(),
                                        [&](const MotionSample& s) { return s.tick >= reached->tick + 900; });
        ASSERT_NE(later, r->samples.end());
        // 9 s on it is still rolling at about its exit speed, not standing
        // a few metres past the report.
        const double onM = lf_metres(lf_at(*later), lastReport);
        EXPECT_GT(onM, 0.8 * row.exitKt / kMpsToKnots * 9.0);
        EXPECT_GT(lf_speedKt(*r, static_cast<std::size_t>(later - r->samples.begin()), 50), 0.8 * row.exitKt);
        const MotionCheckResult result = SmoothnessChecker{}.checkAll(*r);
        for (const MotionCheck check : {MotionCheck::Lag, MotionCheck::NoseTravel, MotionCheck::TravelSpeed,
                                        MotionCheck::Backwards, MotionCheck::RestChange})
            EXPECT_EQ(result.count(check), 0u) << result.summary();
    }
}

TEST_F(TaxiLag, OneAbsurdGroundSpeedIsNotFlown) {
    // One report says 1e7 kt and another 0, their positions and times as
    // sane as the rest: 250 kt at 5000 ft with a report every 2 s, and a taxi
    // at 15 kt with one every 4 s.
    struct Row {
        const char* what;
        Route route;
        double seconds, kt, everyS;
    };
    Row rows[] = {
        {"flying", Route(0xD10041, {50.2, 7.5}, 90.0, 250.0, 5000.0, true), 120.0, 250.0, 2.0},
        {"taxiing", taxiRoute(0xD10042, {50.06, 8.06}, 90.0, 15.0), 80.0, 15.0, 4.0},
    };
    for (Row& row : rows) {
        SCOPED_TRACE(row.what);
        row.route.straight(row.seconds);
        auto reports = row.route.reports(row.everyS);
        reports[12].point.groundSpeedKt = 1e7;
        reports[20].point.groundSpeedKt = 0.0;
        const std::int32_t from = harness->engine().engineTick() + 1;
        for (std::size_t i = 0; i < reports.size(); ++i)
            harness->engine().schedule(from + static_cast<std::int32_t>(i * row.everyS * 100.0), {reports[i]});
        ASSERT_TRUE(harness->runUntilGone(row.route.hexid(), 40000));
        const AircraftRecord* r = harness->record(row.route.hexid());
        ASSERT_NE(r, nullptr);
        ASSERT_GT(r->samples.size(), 2500u);
        // Speed of travel over each second against the reports' own.
        double fastest = 0.0;
        for (std::size_t i = 100; i < r->samples.size(); i += 10)
            if (r->samples[i].tick - r->samples[i - 100].tick == 100) fastest = std::max(fastest, lf_speedKt(*r, i, 100));
        EXPECT_LE(fastest, 2.0 * row.kt + 20.0);
        EXPECT_GT(fastest, 0.8 * row.kt);
    }
}

TEST_F(TaxiLag, AnAircraftStandingWhileItsReportsScatterStaysWhereItStands) {
    // It taxis in and stops; then reports every 5 s for two minutes, speed 0,
    // each scattered around the place by 2 to 25 m and the heading by up to
    // 10 degrees.
    Route route = taxiRoute(0xD10051, {50.04, 8.06}, 270.0, 10.0);
    route.straight(20).speedTo(0, 4).straight(120);
    const double stopS = 24.0;
    const LaLo place = route.at(stopS).position;
    auto reports = route.reports(5.0);
    const double offsetsM[] = {0.0, 3.0, 20.0, 5.0, 25.0, 2.0, 15.0, 8.0, 22.0, 4.0, 18.0, 6.0};
    const std::int32_t from = harness->engine().engineTick() + 1;
    for (std::size_t i = 0; i < reports.size(); ++i) {
        if (i * 5.0 > stopS) {
            const LaLo p = gf_destinationPoint(place, {std::fmod(137.0 * i, 360.0) * kDeg, offsetsM[i % 12] * feetPerMetre});
            reports[i].point.lat = p.lat;
            reports[i].point.lon = p.lon;
            reports[i].point.trackDeg = 270.0 + (i % 3 == 0 ? -10.0 : i % 3 == 1 ? 7.0 : 0.0);
        }
        harness->engine().schedule(from + static_cast<std::int32_t>(i * 500), {reports[i]});
    }
    harness->run(kFeedDelayTicks + 150 * 100);
    const AircraftRecord* r = harness->record(route.hexid());
    ASSERT_NE(r, nullptr);
    // From the tick the first standing report falls due (and 10 s to brake).
    const std::int32_t standing = from + static_cast<std::int32_t>((stopS + 10.0) * 100.0) + kFeedDelayTicks;
    const auto first = std::find_if(r->samples.begin(), r->samples.end(),
                                    [standing](const MotionSample& s) { return s.tick >= standing; });
    ASSERT_NE(first, r->samples.end());
    ASSERT_GT(r->samples.end() - first, 5000);
    double farthest = 0.0;
    for (auto it = first; it != r->samples.end(); ++it) farthest = std::max(farthest, lf_metres(lf_at(*first), lf_at(*it)));
    EXPECT_LT(farthest, 1.0);
}

TEST_F(TaxiLag, AHoldReportedAfterADelayedCornerIsStillHeld) {
    // A sharp corner puts the taxi behind its reports; the 20 s it then
    // stands (24 s between the reports that move) is kept where it stands,
    // never dropped as a pause too short to show nor spent crawling on, and
    // the delay is given back after it.
    Route route = taxiRoute(0xD10061, {50.05, 8.07}, 90.0, 15.0);
    route.straight(20).turn(90, 0.2).straight(10).speedTo(0, 4).straight(20).speedTo(15, 4).straight(30);
    const LaLo stop = route.at(40.0).position;
    std::int32_t from = 0;
    const AircraftRecord& r = run(route, 2.0, 40000, &from);
    const std::int32_t lastDue = from + static_cast<std::int32_t>(route.duration() * 100.0) + kFeedDelayTicks;
    int restingTicks = 0;
    for (std::size_t i = 1; i < r.samples.size(); ++i)
        if (r.samples[i].tick < lastDue && lf_speedKt(r, i, 1) < 0.2 && lf_metres(lf_at(r.samples[i]), stop) < 3.0)
            ++restingTicks;
    EXPECT_GT(restingTicks, 1000);
    const std::vector<Lag> lags = lf_lags(r, lf_dues(route, 2.0, from), 3.0);
    EXPECT_LT(lf_worstLagS(lags, from + 6800 + kFeedDelayTicks), 5.0);
}

TEST_F(TaxiLag, AStreamThatComesBackSlowerThanItsPositionsMovedCatchesUp) {
    // The reports stop for 34 s while the taxi goes on at 15 kt and slows to
    // 8 kt; the first report after the dry spell gives 8 kt, its position
    // 210 m on. Timed at the speeds reported around it, the leg there would
    // take twice the time the reports give it; it catches up instead, no
    // faster than the checker allows around 8 kt.
    Route whole = taxiRoute(0xD10071, {50.06, 8.08}, 90.0, 15.0);
    whole.straight(42).speedTo(8, 4).straight(40);
    Route before = taxiRoute(0xD10071, {50.06, 8.08}, 90.0, 15.0);
    before.straight(20);
    Route after = taxiRoute(0xD10071, whole.at(54.0).position, 90.0, 8.0);
    after.straight(32);
    const std::int32_t from = harness->engine().engineTick() + 1;
    harness->add(before, 2.0, from);
    harness->add(after, 2.0, from + 5400);
    ASSERT_TRUE(harness->runUntilGone(whole.hexid(), 40000));
    const AircraftRecord* r = harness->record(whole.hexid());
    ASSERT_NE(r, nullptr);
    const MotionCheckResult result = SmoothnessChecker{}.checkAll(*r);
    EXPECT_GT(result.judged.at(MotionCheck::Lag), 20u);
    for (const MotionCheck check : {MotionCheck::Lag, MotionCheck::GroundSpeed, MotionCheck::TravelSpeed})
        EXPECT_EQ(result.count(check), 0u) << result.summary();
    // It drives on through the dry spell instead of standing in it: from
    // the last report before the spell until the first after it has been
    // reached, never slower than the 8 kt it slows to.
    const auto& m = r->samples;
    const std::int32_t spellFrom = from + 2000 + kFeedDelayTicks;
    const std::int32_t spellTo = from + 5400 + kFeedDelayTicks + 200;
    double slowestKt = 100.0;
    std::size_t judged = 0;
    for (std::size_t i = 100; i < m.size(); ++i) {
        if (m[i].tick < spellFrom || m[i].tick > spellTo) continue;
        slowestKt = std::min(slowestKt, lf_speedKt(*r, i, 100));
        ++judged;
    }
    EXPECT_GT(judged, 3000u);
    EXPECT_GT(slowestKt, 7.5);
}

TEST_F(TaxiLag, ATaxiReportingLessThanTheSpeedItsPositionsMoveKeepsUpWithThem) {
    // A report every 6 s, each giving a fraction of the speed its positions
    // move at: timed at the reported speed every leg would fall due that
    // many times as late as reported; held to twice the reported speed
    // while catching up (a tow giving 1 kt while it moves at 6) it still
    // falls further behind at every report.
    struct Row {
        double movingKt, reportedKt;
    };
    std::uint32_t hexid = 0xD10081;
    for (const Row row : {Row{12.0, 6.0}, Row{6.0, 1.1}}) {
        SCOPED_TRACE(row.reportedKt);
        Route route = taxiRoute(hexid++, {50.07, 8.09}, 90.0, row.movingKt);
        route.straight(60);
        auto reports = route.reports(6.0);
        const std::int32_t from = harness->engine().engineTick() + 1;
        for (std::size_t i = 0; i < reports.size(); ++i) {
            reports[i].point.groundSpeedKt = row.reportedKt;
            harness->engine().schedule(from + static_cast<std::int32_t>(i * 600), {reports[i]});
        }
        ASSERT_TRUE(harness->runUntilGone(route.hexid(), 40000));
        const AircraftRecord* r = harness->record(route.hexid());
        ASSERT_NE(r, nullptr);
        const std::vector<Lag> lags = lf_lags(*r, lf_dues(route, 6.0, from), 3.0);
        ASSERT_GT(lags.size(), 7u);
        EXPECT_LT(lf_worstLagS(lags), 5.0);
        // Catching up stays within what the checker allows the reports (the
        // earlier limits until the motion meets a pilot's here too).
        const MotionCheckResult result = SmoothnessChecker{MotionLimits::earlier()}.checkAll(*r);
        for (const MotionCheck check : {MotionCheck::GroundSpeed, MotionCheck::TravelSpeed})
            EXPECT_EQ(result.count(check), 0u) << result.summary();
    }
}


TEST_F(TaxiLag, OneAbsurdGroundSpeedOnTheLandingRollIsNotRolled) {
    // Touching down at 140 kt and slowing to 30 kt over a minute; one
    // report late on the roll (decoded while the aircraft already rolls)
    // gives 1e6 kt, its position and time as sane as the rest. The roll
    // neither crosses its leg in a tick nor starts the next one from that
    // speed, nor gives it.
    struct Row {
        double everyS, afterTouchdownS;
    };
    std::uint32_t hexid = 0xD100A1;
    for (const Row row : {Row{2.0, 40.0}, Row{4.0, 44.0}, Row{8.0, 48.0}}) {
        SCOPED_TRACE(row.everyS);
        double touchdownS = 0.0;
        Route route = lf_approach(hexid++, {50.0, 7.85}, 90.0, touchdownS);
        route.land().speedTo(30, 60).straight(10);
        lf_layRunway(route.at(touchdownS).position, 90.0, 4000.0, 1800.0);
        auto reports = route.reports(row.everyS);
        const auto absurd = static_cast<std::size_t>(std::lround((touchdownS + row.afterTouchdownS) / row.everyS));
        ASSERT_LT(absurd, reports.size());
        reports[absurd].point.groundSpeedKt = 1e6;
        const std::int32_t from = harness->engine().engineTick() + 1;
        for (std::size_t i = 0; i < reports.size(); ++i)
            harness->engine().schedule(from + static_cast<std::int32_t>(std::lround(i * row.everyS * 100.0)),
                                       {reports[i]});
        ASSERT_TRUE(harness->runUntilGone(route.hexid(), 40000));
        const AircraftRecord* r = harness->record(route.hexid());
        ASSERT_NE(r, nullptr);
        double fastestKt = 0.0;
        double fastestGivenKt = 0.0;
        for (std::size_t i = 50; i < r->samples.size(); ++i) {
            if (!r->samples[i].onGround || r->samples[i].tick - r->samples[i - 50].tick != 50) continue;
            fastestKt = std::max(fastestKt, lf_speedKt(*r, i, 50));
            fastestGivenKt = std::max(fastestGivenKt, r->samples[i].pose.trueAirspeed);
        }
        EXPECT_GT(fastestKt, 100.0);
        EXPECT_LT(fastestKt, 170.0);
        EXPECT_LT(fastestGivenKt, 170.0);
    }
}

TEST_F(TaxiLag, ACornerReportedAfterTheLegIntoItBeganIsTurnedOnTheWay) {
    // Taxi reports as a feed sent them, 6 to 10 s apart (position, ground
    // speed, seconds after the first), with corners of 53 and 52 degrees
    // 10 s apart. The reports before the first corner lie all but in line
    // and are taken as one leg of 20 s, so that the report after the corner
    // (due more than the feed's delay after that leg's start) comes while
    // the aircraft already rolls into the corner. Judged by the checker: the
    // lag after the turns, the nose along the travel, the speeds.
    struct Report {
        double lat, lon, kt, atS;
    };
    const std::vector<Report> reports{
        {47.447684, -122.308260, 15.3, 0.0},   {47.448277, -122.307851, 15.3, 9.24},
        {47.448652, -122.307592, 11.8, 15.34}, {47.449119, -122.307632, 13.2, 25.34},
        {47.449498, -122.307836, 17.1, 31.02}, {47.449890, -122.308047, 12.5, 37.09},
        {47.450208, -122.308191, 8.3, 44.44},  {47.450508, -122.307894, 8.3, 54.44},
        {47.450530, -122.307357, 13.6, 62.22}, {47.450530, -122.306374, 17.2, 70.97},
        {47.450530, -122.305391, 17.2, 78.97}, {47.450530, -122.304408, 17.2, 86.97},
    };
    constexpr std::uint32_t kHexid = 0xD100C1;
    const std::int32_t from = harness->engine().engineTick() + 1;
    for (std::size_t i = 0; i < reports.size(); ++i) {
        const Report& p = reports[i];
        const Report& q = reports[i + 1 < reports.size() ? i + 1 : i - 1];
        double track = gf_bearing({p.lat, p.lon}, {q.lat, q.lon}) / kDeg;
        if (i + 1 == reports.size()) track = std::fmod(track + 180.0, 360.0);
        Route one = taxiRoute(kHexid, {p.lat, p.lon}, track, p.kt);
        one.straight(0.1);
        harness->add(one, 10.0, from + static_cast<std::int32_t>(std::lround(p.atS * 100.0)));
    }
    ASSERT_TRUE(harness->runUntilGone(kHexid, 40000));
    const AircraftRecord* r = harness->record(kHexid);
    ASSERT_NE(r, nullptr);
    harness->writePlot("taxi_late_corner");
    const MotionCheckResult result = SmoothnessChecker{}.checkAll(*r);
    EXPECT_GE(result.judged.at(MotionCheck::Lag), reports.size() - 2);
    for (const MotionCheck check : {MotionCheck::Lag, MotionCheck::NoseTravel, MotionCheck::GroundSpeed,
                                    MotionCheck::TravelSpeed, MotionCheck::Backwards})
        EXPECT_EQ(result.count(check), 0u) << result.summary();
}

TEST_F(TaxiLag, ATowSettingOffFromRestIntoTheBendOntoItsStandKeepsUpWithItsReports) {
    // A tow as a feed sent it (metres east and north of where it stood,
    // ground speed, track, seconds after the first report): standing on the
    // gate lane, a pause in the reports while it sets off, then towed at
    // 4 kt round the bend off the lane toward its stand. The first leg from
    // rest reaches into the bend; played at an even speed after speeding up
    // at the taxi rate, its nose keeps up with the bend, so the leg keeps the
    // time its reports give it (judged eased over the whole leg, it was made
    // half a minute late).
    const std::vector<FedReport> reports{
        {0.0, 0.0, 0.0, 180, 0.00},      {0.0, 0.0, 0.0, 180, 3.30},      {0.0, 0.0, 0.0, 180, 5.64},
        {0.0, 0.0, 0.0, 180, 9.81},      {-1.0, -47.2, 4.2, 197, 45.36},  {-1.8, -50.0, 4.2, 202, 46.65},
        {-2.7, -52.2, 4.2, 206, 47.77},  {-5.0, -56.7, 4.2, 215, 50.09},  {-7.8, -60.2, 4.2, 223, 52.14},
        {-9.8, -62.5, 4.2, 229, 53.50},  {-12.6, -64.9, 4.2, 235, 55.21}, {-15.1, -66.6, 4.2, 241, 56.62},
        {-18.8, -68.6, 4.2, 248, 58.55}, {-21.8, -69.7, 4.2, 254, 59.99}, {-26.4, -70.9, 4.2, 262, 62.21},
        {-30.1, -71.4, 4.2, 268, 63.91}, {-32.9, -71.5, 4.2, 270, 65.20}, {-38.1, -71.5, 4.2, 270, 67.58},
        {-43.7, -71.5, 4.2, 270, 70.14}, {-48.0, -71.5, 4.2, 270, 72.13}, {-54.5, -71.5, 4.2, 270, 75.09},
        {-60.6, -71.5, 4.2, 270, 77.87}, {-65.3, -71.5, 4.2, 270, 80.06}, {-70.6, -71.5, 4.2, 270, 82.46},
        {-75.6, -71.5, 4.2, 270, 84.74}, {-83.0, -71.5, 4.2, 270, 88.12}, {-88.2, -71.5, 3.2, 270, 90.88},
        {-91.8, -71.5, 2.2, 270, 93.39}, {-94.4, -71.5, 1.0, 270, 96.49}, {-95.2, -71.5, 0.0, 270, 100.71},
        {-95.2, -71.5, 0.0, 270, 104.78},
    };
    expectKeepsUp(0xD100D1, {47.448, -122.3007}, reports, "taxi_tow_bend");
}

TEST_F(TaxiLag, ASetOffFromRestIntoABendThatTightensWhereItStandsKeepsUpWithItsReports) {
    // Standing with its nose along a bend that is tightest where it stands,
    // then reported at the bend's end rolling at 12 kt, and on straight. Set
    // off from rest, it creeps while the bend is tight and speeds up as it
    // opens: judged at an even speed throughout, the bend seemed beyond the
    // nose however slow the leg, and the leg was given the widest delay.
    struct Row {
        const char* name;
        double startDeg, swingDeg, tightM;  // the bend's heading swing, most of it within ~tightM
        double leaveS, bendM;               // the reports' lead over a timely set-off; the bend's length
    };
    const Row rows[] = {
        {"90 degrees within 8 m", 243.0, -90.0, 1.0, 0.0, 8.0},
        {"120 degrees within 10 m", 243.0, -120.0, 1.0, 0.0, 10.0},
        {"150 degrees within 10 m", 243.0, -150.0, 1.0, 0.0, 10.0},
        {"170 degrees within 12 m", 243.0, -170.0, 1.0, 0.0, 12.0},
        {"120 degrees within 15 m, tightest in its first 0.3 m", 243.0, -120.0, 0.3, 0.0, 15.0},
        {"120 degrees within 15 m, reported a second sooner", 243.0, -120.0, 1.0, -1.0, 15.0},
    };
    std::uint32_t hexid = 0xD200D2;
    LaLo origin{47.448, -122.3007};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ++hexid;
        origin.lat += 0.01;
        constexpr double kKt = 12.0;
        const auto headingAt = [&](double s) {
            return row.startDeg + row.swingDeg * std::log1p(std::min(s, row.bendM) / row.tightM) /
                                      std::log1p(row.bendM / row.tightM);
        };
        std::vector<FedReport> reports{{0.0, 0.0, 0.0, row.startDeg, 0.0},
                                       {0.0, 0.0, 0.0, row.startDeg, 4.0},
                                       {0.0, 0.0, 0.0, row.startDeg, 8.0}};
        // Along the path in steps of 0.1 m: a report at the end of the bend,
        // then every 10 m.
        double east = 0.0, north = 0.0, s = 0.0;
        const double mps = kKt * 0.514444;
        const auto bendEnd = static_cast<int>(std::lround(row.bendM * 10.0));
        for (int i = 1; i <= 800; ++i) {
            const double h = headingAt(s + 0.05) * kDeg;
            east += 0.1 * std::sin(h);
            north += 0.1 * std::cos(h);
            s += 0.1;
            if (i == bendEnd || (i > bendEnd && i % 100 == 0))
                reports.push_back({east, north, kKt, headingAt(s), 8.0 + row.leaveS + s / mps});
        }
        expectKeepsUp(hexid, origin, reports);
    }
}

TEST_F(TaxiLag, ATaxiThatStoodWhereItsReportsPausedCatchesUpWithTheReportAfterThePause) {
    // Braked to rest where its reports paused; the first report after the
    // pause lies 260 m on round a corner, at 8 kt though the positions moved
    // at 15. The leg there is split where its speed changes and a turn's
    // entry point goes in before that: the leg after the entry point takes
    // the pace of the positions around it, not twice the 8 kt reported.
    const std::vector<FedReport> reports{
        {0.0, 0.0, 12.0, 90, 0.0},      {18.0, 0.0, 10.0, 90, 3.2},     {31.0, 0.0, 7.0, 90, 6.1},
        {195.0, -205.0, 7.8, 128, 40.0}, {210.0, -210.0, 8.2, 72, 45.1}, {225.0, -204.0, 10.1, 70, 48.2},
        {241.0, -198.0, 10.1, 70, 51.3}, {259.0, -192.0, 10.1, 70, 54.8}, {274.0, -187.0, 10.1, 70, 57.7},
        {290.0, -181.0, 10.1, 70, 60.8}, {306.0, -175.0, 10.1, 70, 63.9}, {322.0, -169.0, 10.1, 70, 67.0},
    };
    // The reports after the pause are reached within 5 s of their due time
    // (held to twice the 8 kt reported, it came 8 s late to each).
    const std::vector<Lag> lags = keepsUpLags(0xD100E1, {47.447, -122.3007}, reports, 3, 5.0, "taxi_pause_corner");
    ASSERT_GT(lags.size(), 8u);
    EXPECT_LT(lf_worstLagS(lags), 5.0);
}

TEST_F(TaxiLag, ATowBrakingIntoItsStandRoundABendItsNoseCannotFollowKeepsUpWithItsReports) {
    // A tow as a feed sent it: off the stand southward, a pause in the
    // reports while it turns onto the lane westward, then braking to rest
    // 50 m on. The leg into rest bends from where the tow is (heading south)
    // onto the lane; the nose lags that bend at any pace, and waiting the
    // widest delay for it only put the tow 27 s behind its reports.
    const std::vector<FedReport> reports{
        {0.0, 0.0, 0.0, 180, 0.00},       {0.0, -0.2, 0.6, 180, 1.82},      {0.0, -1.6, 1.6, 180, 4.16},
        {0.0, -6.0, 3.0, 180, 7.94},      {0.0, -12.1, 4.3, 180, 11.17},    {0.0, -20.6, 5.6, 180, 14.52},
        {0.0, -30.1, 6.7, 180, 17.49},    {0.0, -41.3, 7.8, 180, 20.47},    {-45.2, -121.9, 7.8, 270, 48.43},
        {-57.9, -121.9, 7.5, 270, 51.59}, {-70.2, -121.9, 6.1, 270, 55.08}, {-77.4, -121.9, 5.2, 270, 57.55},
        {-86.3, -121.9, 3.6, 270, 61.52}, {-89.8, -121.9, 2.8, 270, 63.55}, {-92.4, -121.9, 2.0, 270, 65.65},
        {-94.9, -121.9, 0.5, 270, 69.55}, {-95.2, -121.9, 0.0, 270, 72.36}, {-95.2, -121.9, 0.0, 270, 74.92},
        {-95.2, -121.9, 0.0, 270, 77.23}, {-95.2, -121.9, 0.0, 270, 79.69}, {-95.2, -121.9, 0.0, 270, 82.26},
    };
    expectKeepsUp(0xD100F1, {47.44879, -122.300717}, reports, "taxi_tow_bend_into_rest");
}

TEST_F(TaxiLag, ATowBrakingIntoItsStandRoundABendInItsFirstMetresKeepsUpWithItsReports) {
    // A heavy's tow as a feed sent it: off its stand southward at 7 kt,
    // turning westward onto the lane, then a pause in the reports of 32 s
    // until it stands on its new stand 83 m on. The leg into rest bends
    // through its first metres and then runs straight at an even speed,
    // braking at its end; judged as if eased over its whole length (twice
    // its mean speed in that bend), it was stretched 4.5 s past its report's
    // time and reached its stand 3.8 s late.
    const std::vector<FedReport> reports{
        {0.0, 0.0, 0.0, 180, 0.00},       {0.0, 0.0, 0.0, 180, 3.83},       {0.0, 0.0, 0.0, 180, 8.85},
        {0.0, 0.0, 0.0, 180, 12.68},      {0.0, -3.7, 2.4, 180, 25.73},     {0.0, -14.7, 4.7, 180, 31.78},
        {0.0, -31.6, 6.9, 180, 37.41},    {0.0, -50.9, 7.2, 180, 42.66},    {-1.5, -76.8, 7.2, 197, 49.70},
        {-12.5, -95.8, 7.2, 227, 55.73},  {-95.2, -108.4, 0.1, 270, 88.07}, {-95.2, -108.4, 0.0, 270, 94.53},
        {-95.2, -108.4, 0.0, 270, 98.08}, {-95.2, -108.4, 0.0, 270, 102.38}, {-95.2, -108.4, 0.0, 270, 109.16},
    };
    const LaLo origin{47.449344, -122.300717};
    const std::int32_t from = harness->engine().engineTick() + 1;
    expectKeepsUp(0xD10111, origin, reports, "taxi_tow_bend_first_metres", "B77W", "KLM");
    // The leg keeps the time its report gives it: the stand is reached
    // within 2 s of that report's due time.
    const AircraftRecord* r = harness->record(0xD10111);
    ASSERT_NE(r, nullptr);
    const std::vector<Lag> lags = lf_lags(*r, lf_fedDues(origin, reports, 10, from), 2.0);
    ASSERT_FALSE(lags.empty());
    EXPECT_LT(lf_worstLagS(lags), 2.0);
}

TEST_F(TaxiLag, AFarExitTurnedFromACrawlSpeedsUpOnItsStraightAsItsReportsDo) {
    // An arrival off its runway exit as a feed sent it: slowing to a crawl
    // as it turns 77 degrees onto the taxiway, then speeding up to 21 kt
    // straight along it. The turn is one bend to the report 150 m on, timed
    // at the mean of its ends' speeds: the nose keeps up only slowly through
    // the turn at its start, and the straight after it goes as fast as the
    // reports there do (played at the bend's even speed after the turn, it
    // reached that report more than 5 s late).
    const std::vector<FedReport> reports{
        {0.0, 0.0, 21.4, 10, 0.0},     {10.8, 61.2, 9.2, 10, 8.0},    {10.6, 80.2, 6.4, 340, 14.2},
        {6.2, 93.3, 2.1, 18, 20.1},    {7.4, 96.2, 0.9, 66, 25.9},    {22.1, 97.3, 7.5, 90, 33.5},
        {75.5, 97.3, 16.0, 90, 42.3},  {157.3, 97.3, 21.4, 90, 50.4}, {231.3, 97.3, 21.4, 90, 57.1},
        {329.7, 97.3, 21.4, 90, 66.0}, {399.4, 97.3, 21.4, 90, 72.4}, {454.0, 97.3, 18.9, 90, 77.5},
        {497.1, 97.3, 15.1, 90, 82.4}, {548.8, 97.2, 8.4, 96, 91.0},
    };
    const LaLo origin{47.448, -122.3007};
    const std::int32_t from = harness->engine().engineTick() + 1;
    expectKeepsUp(0xD10101, origin, reports, "taxi_far_exit_from_crawl");
    // The reports on the straight after the turn are reached within 5 s of
    // their due time.
    const std::vector<Due> dues = lf_fedDues(origin, reports, 7, from);
    const std::vector<Lag> lags = lf_lags(*harness->record(0xD10101), dues, 2.0);
    ASSERT_EQ(lags.size(), dues.size());
    EXPECT_LT(lf_worstLagS(lags), 5.0);
}

TEST_F(TaxiLag, ACornerWhoseBendSwingsInItsFirstMetresIsLeftAtWalkingPaceUntilTheNoseIsRound) {
    // A departure as a feed sent it: south at 18 kt slowing to 8 kt, its
    // last report before a 24 s pause 5 m past the one before and already
    // turning, then west at 17 kt 145 m on. The bend from the report before
    // the pause swings 59 degrees in its first 2 m: taken at walking pace
    // there, the nose is still 35 degrees behind where the path opens out,
    // and sped up at once it ran at 14 kt that far off its travel.
    const std::vector<FedReport> reports{
        {0.0, 0.0, 18.1, 180, 0.00},         {0.0, -9.4, 18.1, 180, 1.00},        {0.0, -22.2, 18.1, 180, 2.37},
        {0.0, -31.5, 17.8, 180, 3.37},       {0.0, -44.2, 16.6, 180, 4.80},       {0.0, -52.5, 15.9, 180, 5.80},
        {0.0, -61.8, 15.0, 180, 6.96},       {0.0, -72.1, 13.9, 180, 8.35},       {0.0, -81.7, 12.8, 180, 9.75},
        {0.0, -88.1, 12.0, 180, 10.75},      {0.0, -95.0, 11.1, 180, 11.90},      {0.0, -100.5, 10.3, 180, 12.90},
        {0.0, -106.2, 9.5, 180, 14.01},      {0.0, -111.0, 8.7, 184, 15.05},      {-0.5, -116.1, 8.3, 192, 16.23},
        {-132.9, -145.2, 17.7, 270, 40.53},  {-141.8, -145.2, 16.9, 270, 41.53},  {-150.3, -145.2, 16.1, 270, 42.53},
        {-158.4, -145.2, 15.3, 270, 43.53},  {-168.4, -145.2, 14.3, 270, 44.85},  {-176.7, -145.2, 13.4, 270, 46.01},
        {-183.5, -145.2, 12.6, 270, 47.02},  {-191.0, -145.2, 11.7, 270, 48.22},  {-197.1, -145.2, 10.9, 270, 49.27},
        {-204.6, -145.2, 9.8, 270, 50.69},
    };
    expectKeepsUp(0xD10131, {47.444005, -122.300717}, reports, "taxi_corner_swung_at_once");
}

TEST_F(TaxiLag, ABendSetOffWhereTheTaxiCameToRestLeavesRestAtTheTaxiRate) {
    // An arrival's taxi as a feed sent it: off the runway at 22 kt, slowing
    // to a crawl into a corner, then speeding up again round a bend onto the
    // taxiway. It catches up into a short leg before the bend and brakes to
    // rest there while its nose comes round; the bend then sets off from
    // that rest at the taxi rate, not at its own even speed within a tick.
    const std::vector<FedReport> reports{
        {0.0, 0.0, 22.2, 160, 0.00},       {61.8, -68.6, 22.0, 115, 8.93},   {108.0, -90.2, 22.2, 115, 13.40},
        {186.3, -126.6, 22.2, 115, 20.95}, {260.0, -161.0, 9.2, 115, 30.53}, {274.4, -169.8, 3.7, 148, 36.81},
        {280.7, -185.2, 4.6, 160, 43.27},  {280.9, -194.6, 1.5, 228, 52.05}, {265.3, -201.6, 7.9, 250, 60.12},
        {240.4, -210.6, 12.8, 250, 65.11}, {196.2, -226.7, 17.3, 250, 70.99}, {121.0, -254.1, 17.3, 250, 79.98},
        {80.6, -268.8, 17.3, 250, 84.80},
    };
    expectKeepsUp(0xD10121, {47.4499676, -122.3109213}, reports, "taxi_bend_from_rest");
    // A crawl under half a knot (1 m in 4 s) left is a start from rest.
    EXPECT_LE(lf_worstSetOffKtPerS(*harness->record(0xD10121), 0.0025), 16.0);
}

TEST_F(TaxiLag, ATaxiBrakingPastItsPointToTurnOnTheSpotTurnsTowardTheCornerFromWhereItStops) {
    // Rolling west at 8 kt onto a report whose next leg bends 40 degrees
    // away, too far to turn on the way: it brakes past the report and turns
    // on the spot. The point put in before the next corner lies on the way
    // from where it stops, not from the report: laid from the report, it lay
    // abeam of the stop, and the taxi turned 90 degrees on the spot to drive
    // 7 m to it and 50 more there, 17 s behind its reports.
    const std::vector<FedReport> reports{
        {0.0, 0.0, 0.3, 265, 0.0},        {0.0, 0.0, 0.0, 270, 9.0},        {-64.1, -0.3, 8.3, 261, 17.0},
        {-93.0, -23.0, 8.3, 198, 26.1},   {-93.0, -23.0, 0.0, 180, 31.4},   {-95.1, -111.2, 16.5, 180, 39.6},
        {-95.1, -178.4, 16.5, 180, 47.5}, {-95.1, -250.1, 16.5, 180, 55.9}, {-95.1, -306.6, 16.5, 180, 62.5},
    };
    const LaLo origin{47.452555, -122.299453};
    expectKeepsUp(0xD100E8, origin, reports, "taxi_brake_past_corner");
}

TEST_F(TaxiLag, ATaxiThatStoodWhereItsReportsPausedSetsOffAtThePaceItsReportsKeptAcrossThePause) {
    // Rolling north at 20 kt when its reports pause for 47 s: dead reckoning
    // brings it to rest 200 m on, and the report after the pause lies 240 m
    // further, 23 degrees off the nose, at 5 kt, its positions having kept
    // 16 kt across the pause. The leg there is split where its speed
    // changes, and a turn's entry point goes in before the split: held to
    // twice the 5 kt reported on the way to the split, the taxi crawled its
    // first half and came 3.2 s late to the report however fast the second
    // half caught up. The leg into the split catches up from the pace its
    // reports kept, as the one after it does, and has time to spare.
    std::vector<FedReport> reports{{0.0, 0.0, 20.0, 0, 0.0}, {0.0, 31.0, 20.0, 0, 3.0}, {0.0, 62.0, 20.0, 0, 6.0}};
    for (int i = 0; i < 8; ++i) {
        const double m = 240.0 + 5.0 / kMpsToKnots * 5.0 * i;
        reports.push_back({m * std::sin(23.0 * kDeg), 200.0 + m * std::cos(23.0 * kDeg), 5.0, 23, 53.0 + 5.0 * i});
    }
    const std::vector<Lag> lags = keepsUpLags(0xD10131, {47.4365, -122.3036}, reports, 3, 2.0, "taxi_pause_set_off");
    ASSERT_EQ(lags.size(), reports.size() - 3);
    EXPECT_LT(lf_worstLagS(lags), 1.5);
}

TEST_F(TaxiLag, ATaxiCreatedOnAReportOfAnAbsurdSpeedPassesTheReportsAfterItOnTime) {
    // An arrival first shown on its way off the runway, on a report giving
    // 1e6 kt: its positions cover the 158 m to the next report at 31 kt,
    // then only 58 m to the one after, bending 20 degrees there, as it slows
    // to 12. Taken for a fast taxi, the two legs became one bend played at
    // one pace, and the report between them was passed 5 s late.
    const std::vector<FedReport> reports{
        {0.0, 0.0, 1e6, 340, 0.0},        {-54.1, 148.6, 15.6, 340, 10.0}, {-62.6, 205.8, 10.4, 24, 20.0},
        {-49.2, 234.7, 15.1, 25, 24.83},  {-16.0, 305.7, 15.6, 25, 34.63}, {17.8, 378.4, 15.6, 25, 44.63},
        {43.1, 432.5, 9.7, 25, 52.78},    {43.1, 432.5, 0.0, 25, 62.78},   {43.1, 432.5, 0.0, 25, 72.78},
    };
    const std::vector<Lag> lags =
        keepsUpLags(0xD10141, {47.448337, -122.318343}, reports, 1, 5.0, "taxi_absurd_speed_first");
    ASSERT_GE(lags.size(), 5u);
    EXPECT_LT(lf_worstLagS(lags), 2.5);
}

TEST_F(TaxiLag, ATowTurnedJustBeforeItsCornerOntoALongLegAcrossAPauseKeepsItsNoseAlongItsTravel) {
    // A tow as a feed sent it: southward from rest up to 7 kt, its last
    // reports before a 24 s pause bending 20 degrees right, 4 m apart; the
    // report after the pause stands 79 m on to the west, and it eases on
    // from there to rest. The turn from the report 7 m short of the last
    // before the pause onto the long leg swung 31 degrees in its first
    // 1.3 m: braking to rest, the tow slid through it with its nose 36
    // degrees off its travel.
    const std::vector<FedReport> reports{
        {0.0, 0.0, 0.0, 180, 0.00},         {0.0, 0.0, 0.0, 180, 6.17},         {0.0, 0.0, 0.0, 180, 11.66},
        {0.0, 0.0, 0.0, 180, 17.47},        {0.0, 0.0, 0.0, 180, 23.38},        {0.0, -0.2, 0.6, 180, 24.88},
        {0.0, -0.7, 1.0, 180, 25.88},       {0.0, -1.7, 1.6, 180, 27.47},       {0.0, -3.1, 2.1, 180, 28.92},
        {0.0, -4.8, 2.7, 180, 30.28},       {0.0, -6.7, 3.2, 180, 31.54},       {0.0, -8.7, 3.6, 180, 32.69},
        {0.0, -11.1, 4.1, 180, 33.92},      {0.0, -13.9, 4.6, 180, 35.20},      {0.0, -16.9, 5.1, 180, 36.42},
        {0.0, -20.9, 5.6, 180, 37.86},      {0.0, -25.3, 6.2, 180, 39.28},      {0.0, -28.8, 6.6, 180, 40.36},
        {0.0, -33.5, 7.0, 180, 41.71},      {0.0, -38.5, 7.1, 180, 43.08},      {0.0, -42.2, 7.1, 180, 44.08},
        {0.0, -47.9, 7.1, 180, 45.64},      {0.0, -52.7, 7.1, 180, 46.96},      {0.0, -58.2, 7.1, 180, 48.48},
        {0.0, -63.1, 7.1, 180, 49.84},      {0.0, -66.8, 7.1, 180, 50.84},      {0.0, -66.8, 0.0, 180, 52.26},
        {0.0, -76.9, 7.1, 180.4, 53.65},    {-0.2, -82.8, 7.1, 187.9, 55.26},   {-0.7, -86.4, 7.1, 193.8, 56.26},
        {-1.7, -90.1, 7.1, 199.9, 57.29},   {-76.6, -114.5, 0.0, 270, 82.55},   {-82.1, -114.5, 4.4, 270, 91.69},
        {-87.8, -114.5, 3.3, 270, 94.49},   {-91.7, -114.5, 2.3, 270, 97.21},   {-94.1, -114.5, 1.2, 270, 99.88},
        {-95.1, -114.5, 0.3, 270, 102.31},
    };
    expectKeepsUp(0xD10151, {47.448094, -122.300717}, reports, "taxi_tow_turn_before_pause");
}

TEST_F(TaxiLag, ACrawlThatGoesOffItsWayAndTurnsOnPassesEachOfItsReportsOnTime) {
    // An arrival taxiing east-north-east slows to a crawl and creeps 15 m
    // north in 15 s, its reports a few metres apart and their tracks along
    // that way, then sets off east. Taken for a crawl's scatter, the reports
    // north were dropped and the leg went straight to the first report east:
    // the turn onto the east line there cut inside the report 11 m north and
    // never passed it.
    const std::vector<FedReport> reports{
        {0.0, 0.0, 18.7, 70.0, 0.00},     {36.0, 13.0, 18.2, 70.0, 3.98},   {67.4, 24.5, 11.3, 70.0, 8.38},
        {79.2, 28.8, 7.2, 70.0, 11.01},   {87.3, 33.2, 1.2, 13.0, 16.61},   {87.8, 36.1, 2.6, 346.3, 20.66},
        {84.0, 47.3, 3.2, 351.9, 26.31},  {83.9, 51.0, 0.8, 46.6, 31.02},   {85.4, 52.3, 1.7, 76.4, 35.41},
        {91.4, 52.9, 5.1, 90.0, 38.94},   {106.0, 52.9, 9.0, 90.0, 42.97},  {133.0, 52.9, 12.1, 90.0, 47.72},
        {149.2, 52.9, 12.1, 90.0, 50.30}, {174.3, 52.9, 12.1, 90.0, 54.32}, {209.6, 52.9, 12.1, 90.0, 60.00},
        {229.6, 52.9, 12.1, 90.0, 63.19}, {261.4, 52.9, 12.1, 90.0, 68.28}, {297.0, 52.9, 12.1, 90.0, 74.00},
        {315.1, 52.9, 8.0, 90.0, 76.91},  {326.0, 52.9, 3.0, 90.0, 80.00},  {329.0, 52.9, 0.0, 90.0, 83.00},
        {329.0, 52.9, 0.0, 90.0, 93.00},
    };
    expectKeepsUp(0xD10161, {47.450055, -122.309480}, reports, "taxi_crawl_off_its_way");
}

TEST_F(TaxiLag, ATaxiBrakingIntoASharpCornerAtTheEndOfItsStreamKeepsItsPaceOnTheStraightBeforeIt) {
    // Rolling at 14 kt, its reports slow to 3 kt 51 m on (a repeat of the
    // last place at no speed between), turn 85 degrees left there and creep
    // 12 m on, where the stream ends when the leg is planned; the reports
    // after come seconds later. Braked to rest at the creep's end along one
    // bend, the leg was played at the single even speed its last metres
    // allow the nose: it crept the straight at 3 kt and passed the corner's
    // report 11 s late.
    const std::vector<FedReport> reports{
        {0.0, 0.0, 9.5, 355.2, 0.00},      {20.9, 40.1, 9.5, 63.9, 9.80},    {60.8, 55.1, 14.0, 70, 16.65},
        {128.8, 79.8, 14.0, 70, 26.65},    {128.8, 79.8, 0.0, 70, 34.04},    {175.1, 101.6, 3.1, 341.8, 43.43},
        {171.2, 112.5, 3.0, 354.7, 48.85}, {174.0, 117.6, 2.8, 87.9, 58.85}, {205.7, 117.7, 11.3, 90, 67.60},
        {205.7, 117.7, 0.0, 90, 75.32},    {359.6, 117.7, 19.8, 90, 84.53},  {413.4, 117.7, 19.8, 90, 89.79},
    };
    // The turn cuts inside the corner's report: from the creep's end on,
    // each report is reached within a few seconds of its time.
    const std::vector<Lag> lags =
        keepsUpLags(0xD10162, {47.449473, -122.310640}, reports, 6, 5.0, "taxi_brake_into_corner");
    ASSERT_GE(lags.size(), 4u);
    EXPECT_LT(lf_worstLagS(lags), 5.0);
}

TEST_F(TaxiLag, ATaxiSlowingIntoAHookAtTheStreamsEndRollsOnToItAndSlowsOnlyRoundIt) {
    // An arrival's taxi as a feed sent it: east-south-east at 16-20 kt, then
    // 39 m on at 1.2 kt on a 35 degree corner and 9 m south of it at 3.2 kt,
    // turning west-south-west, where it sets off again at 12-15 kt. The leg
    // to the report past the corner is planned before the report after it
    // comes: it slows to rest there, round a bend that hooks 60 degrees in
    // its last metres. Stretched evenly until the nose kept up, it crawled
    // the whole 47 m at 3 kt, turned 86 degrees on the spot at its end, and
    // came 15 s late to the reports on the west-south-west leg.
    const std::vector<FedReport> reports{
        {-212.7, 103.8, 12.1, 133.2, 0.00}, {-148.6, 69.4, 18.5, 115, 10.00}, {-55.4, 25.9, 20.1, 115, 20.00},
        {0.0, 0.0, 15.7, 115, 26.22},       {36.9, -17.7, 1.2, 150.1, 36.22}, {37.2, -26.5, 3.2, 250, 46.22},
        {0.5, -39.7, 12.5, 250, 56.72},     {-46.2, -56.8, 14.7, 250, 63.44}, {-97.5, -75.5, 14.7, 250, 70.62},
        {-155.7, -96.6, 14.7, 250, 78.77},  {-227.0, -122.7, 14.7, 250, 88.77}, {-298.4, -148.6, 14.7, 250, 98.77},
    };
    const LaLo origin{47.448447, -122.307679};
    const std::int32_t from = harness->engine().engineTick() + 1;
    expectKeepsUp(0xD10164, origin, reports, "taxi_hook_at_stream_end", "B77W", "KLM");
    // It rolls on to the hook and slows round it, the nose along the bend
    // (braked evenly through it, the nose was 23 degrees off its travel at
    // 4 kt), comes to rest at its end without a dead stop, and passes the
    // reports from where it sets off again within 5 s.
    const AircraftRecord* r = harness->record(0xD10164);
    ASSERT_NE(r, nullptr);
    const MotionCheckResult result = SmoothnessChecker{}.checkAll(*r);
    EXPECT_EQ(result.count(MotionCheck::RestChange), 0u) << result.summary();
    AircraftRecord intoHook = *r;
    const LaLo hookEnd = lf_fedDues(origin, reports, 5, from).front().position;
    intoHook.samples.erase(std::find_if(intoHook.samples.begin(), intoHook.samples.end(),
                                        [&](const MotionSample& m) { return lf_metres(lf_at(m), hookEnd) <= 1.0; }),
                           intoHook.samples.end());
    EXPECT_LT(lf_worstNoseOffDeg(intoHook), 12.0);
    const std::vector<Lag> lags = lf_lags(*r, lf_fedDues(origin, reports, 6, from), 5.0);
    ASSERT_GE(lags.size(), 4u);
    EXPECT_LT(lf_worstLagS(lags), 5.0);
}

TEST_F(TaxiLag, ATaxiDeadReckonedIntoACornerItsReportsRoundedInAPauseCatchesUpAtTheirStraightPace) {
    limits = MotionLimits::earlier();  // until the motion meets a pilot's limits here too
    // A heavy taxiing south at 9.9 kt when its reports pause for 42 s: dead
    // reckoning rolls it on south to the corner, and the report after the
    // pause, coming as it rolls there, lies 59 m south and 190 m west of the
    // last one, heading west at 7.6 kt. The straight line between the two
    // gives 9.2 kt, where round the corner they went 11.5. The aircraft
    // brakes, turns on the spot and sets off west, catching up from the
    // 9.2 kt the reports kept (at most 1.25 times it and 5 kt on, 16.5 kt):
    // from the 11.5 round the corner it ran 19.4 kt, where a late B738 whose
    // reports so kept 10.2 kt across a pause was seen at 23.7. The turn on
    // the spot costs it time it cannot make up that slowly: it comes within
    // the lag a pilot's eye allows, not on time.
    const std::vector<FedReport> reports{
        {0.0, 0.0, 9.9, 180, 0.0},          {0.0, -41.0, 9.9, 180, 8.0},        {0.0, -82.0, 9.9, 180, 16.0},
        {-190.0, -141.0, 7.6, 270, 58.2},   {-229.0, -141.0, 7.6, 270, 68.2},   {-268.0, -141.0, 7.6, 270, 78.2},
        {-307.0, -141.0, 7.6, 270, 88.2},
    };
    const std::int32_t from = harness->engine().engineTick() + 1;
    const std::vector<Lag> lags =
        keepsUpLags(0xD10163, {47.4448, -122.3007}, reports, 3, 5.0, "taxi_pause_round_corner", "B77W", "KLM");
    ASSERT_EQ(lags.size(), reports.size() - 3);
    EXPECT_LT(lf_worstLagS(lags), 10.0);
    const AircraftRecord* r = harness->record(0xD10163);
    ASSERT_NE(r, nullptr);
    double fastestKt = 0.0;
    for (std::size_t i = 100; i < r->samples.size(); ++i)
        if (r->samples[i].tick > from + 3000 && r->samples[i].tick - r->samples[i - 100].tick == 100)
            fastestKt = std::max(fastestKt, lf_speedKt(*r, i, 100));
    EXPECT_GT(fastestKt, 9.2) << "it catches up";
    EXPECT_LE(fastestKt, 1.25 * 9.2 + 5.0) << "no faster than a catch-up from the pace its reports kept";
}

TEST_F(TaxiLag, ATaxiSlowingIntoAStopRoundACornerComesToRestOnItsReport) {
    limits = MotionLimits::earlier();  // until the motion meets a pilot's limits here too
    // South at 20 kt, then a report at rest 61 m west and 12 m south of the
    // last one moving: the leg into it bends round the corner and slows to
    // rest. Taken on the bend's schedule without braking at its end, the
    // taxi reached its stop at 20 kt and came to rest 15 m past it.
    std::vector<FedReport> reports;
    const double mps = 20.0 * kKnotsToMps;
    for (int i = 0; i < 8; ++i) reports.push_back({0.0, -mps * 2.0 * i, 20.0, 180, 2.0 * i});
    const double cornerN = -mps * 14.0 - 40.0;
    reports.push_back({0.0, cornerN, 20.0, 180, 16.0});
    for (const double atS : {26.0, 40.0, 50.0}) reports.push_back({-60.9, cornerN - 12.0, 0.0, 270, atS});
    const LaLo origin{47.444005, -122.300717};
    expectKeepsUp(0xD10171, origin, reports, "taxi_stop_round_corner");
    const AircraftRecord* r = harness->record(0xD10171);
    ASSERT_NE(r, nullptr);
    ASSERT_FALSE(r->samples.empty());
    const LaLo stop = lf_fedDues(origin, reports, reports.size() - 1, 0).front().position;
    EXPECT_LT(lf_metres(lf_at(r->samples.back()), stop), 1.0);
}

TEST_F(TaxiLag, ATowThatCreptToAStopStandsThereUntilItsLastReportAtRestThere) {
    // Standing, it creeps 2.4 m south at 1.9 kt and stops; its reports at
    // rest there pause for 36 s, so that its stream runs dry and it holds
    // there. The report after the pause still stands there, and only the one
    // 8 s after it lies 99 m on, at 4.4 kt. The reports at rest at the very
    // place of the creep look like a receiver repeating a moving report, but
    // the aircraft stands there: the report after the pause keeps it there
    // until its time, and then it sets off for the far one. Dropped, the tow
    // left as soon as the far report came, and was 66 m on when its last
    // report at rest there fell due.
    const std::vector<FedReport> reports{
        {0.0, 0.0, 0.0, 180, 0.0},       {0.0, 0.0, 0.0, 180, 9.1},       {0.0, 0.0, 0.0, 180, 18.6},
        {0.0, -2.4, 1.9, 180, 27.8},     {0.0, -2.4, 0.0, 180, 32.7},     {0.0, -2.4, 0.0, 180, 37.1},
        {0.0, -2.4, 0.0, 266, 73.3},     {-52.5, -84.7, 4.4, 270, 81.4},  {-64.2, -84.7, 4.4, 270, 86.4},
        {-82.6, -84.7, 4.3, 270, 94.5},  {-95.2, -84.7, 0.0, 270, 128.1}, {-95.2, -84.7, 0.0, 270, 134.0},
        {-95.2, -84.7, 0.0, 270, 138.1}, {-95.2, -84.7, 0.0, 270, 143.3},
    };
    expectKeepsUp(0xD10181, {47.449806, -122.300717}, reports, "tow_stands_after_creep");
    const AircraftRecord* r = harness->record(0xD10181);
    ASSERT_NE(r, nullptr);
    const MotionCheckResult result = SmoothnessChecker{}.checkAll(*r);
    EXPECT_GE(result.judged.at(MotionCheck::StandingStill), 1u) << "the stand after the creep is judged";
    EXPECT_EQ(result.count(MotionCheck::StandingStill), 0u) << result.summary();
    EXPECT_EQ(result.count(MotionCheck::RestChange), 0u) << result.summary();
}

TEST_F(TaxiLag, ATaxiDeadReckonedPastTheBendItsReportsTookInAPauseSlowsWhereTheNoseCannotKeepUp) {
    // Taxiing west at 16 kt, slowing to 10.8, when its reports pause for
    // 36 s: dead reckoning rolls it on west, and the report after the pause,
    // coming as it rolls, lies 50 m south and 54 m west of the last one at
    // 5 kt, the stream then braking to rest further west. The bend from the nose onto that report swings 74 degrees in
    // 54 m, more than the nose follows at the pace it rolls even at the
    // widest delay. Played evenly at that delay, a business jet slid
    // through it with the nose 44 degrees off its travel; the bend's
    // schedule slows to walking pace through its tightest stretch instead.
    const std::vector<FedReport> reports{
        {107.4, 0.0, 16.5, 270, 0.0},      {47.4, 0.0, 16.1, 270, 7.06},      {0.0, 0.0, 10.8, 270, 13.89},
        {-53.6, -50.1, 5.0, 244, 50.21},   {-84.1, -61.5, 12.1, 250, 57.73},  {-120.8, -74.9, 6.9, 250, 65.43},
        {-132.6, -79.3, 3.1, 250, 70.32},  {-135.6, -80.4, 0.0, 250, 77.29},  {-135.6, -80.4, 0.0, 250, 85.36},
    };
    expectKeepsUp(0xD10191, {47.455794, -122.310520}, reports, "taxi_pause_bend_beyond_nose");
}

TEST_F(TaxiLag, ATaxiRoundingABendPassesTheReportInItsMiddle) {
    // A light aircraft's taxi as a feed sent it: south-south-east at 24 kt,
    // copies of its reports at no speed between them, round a bend whose
    // middle report (track 131) lies 34 degrees off the legs either side.
    // Turned round that report toward the one after it, the taxi passed it
    // 13 m inside and never reached it.
    const std::vector<FedReport> reports{
        {0.0, 0.0, 42.8, 160.0, 0.00},      {26.1, -71.8, 31.8, 160.0, 3.97},   {39.3, -107.9, 24.5, 160.0, 6.62},
        {49.4, -135.6, 24.0, 160.0, 9.00},  {49.4, -135.6, 0.0, 156.0, 12.23},  {89.6, -209.6, 24.0, 130.6, 15.88},
        {89.6, -209.6, 0.0, 115.0, 19.89},  {175.3, -254.1, 24.0, 115.0, 23.71}, {216.5, -273.4, 24.0, 115.0, 27.38},
        {216.5, -273.4, 0.0, 115.0, 29.50}, {284.1, -304.9, 23.3, 115.0, 33.40}, {313.5, -319.0, 19.2, 122.0, 36.42},
        {334.8, -339.3, 19.2, 147.9, 39.41}, {345.0, -362.2, 17.3, 160.0, 42.01},
    };
    expectKeepsUp(0xD101A2, {47.460874, -122.316791}, reports, "taxi_corner_report_in_bend", "C172", "KLM");
}

TEST_F(TaxiLag, ATaxiWhoseReportsGiveAFasterSpeedThanTheirPositionsKeepGoesAtTheirPace) {
    // Taxiing west, its reports 10 s apart and 49 m apart (9.5 kt by their
    // positions) all giving 17.5 kt, as a feed's speeds run ahead of its
    // positions. Timed at the speed they give, each leg ran at 17.5 kt and
    // waited for its report where the reports allow 1.25 times their pace
    // and 5 kt on (16.9): the leg goes at its reports' pace instead, and
    // still comes to each report on time.
    std::vector<FedReport> reports;
    for (int i = 0; i < 9; ++i) reports.push_back({-49.0 * i, 0.0, 17.5, 270, 10.0 * i});
    reports.push_back({-49.0 * 9, 0.0, 0.0, 270, 90.0});
    reports.push_back({-49.0 * 9, 0.0, 0.0, 270, 100.0});
    expectKeepsUp(0xD101A1, {47.4448, -122.3007}, reports, "taxi_speeds_ahead_of_positions");
    const AircraftRecord* r = harness->record(0xD101A1);
    ASSERT_NE(r, nullptr);
    double fastestKt = 0.0;
    for (std::size_t i = 100; i < r->samples.size(); ++i)
        if (r->samples[i].tick - r->samples[i - 100].tick == 100)
            fastestKt = std::max(fastestKt, lf_speedKt(*r, i, 100));
    EXPECT_GT(fastestKt, 9.0);
    EXPECT_LE(fastestKt, 1.25 * 9.5 + 5.0);
}

TEST_F(TaxiLag, ATaxiRolledSlowAfterAPauseCatchesUpNoFasterThanItsReportsPaceAllows) {
    // South at 18 kt when its reports pause for 34 s: dead reckoning rolls
    // it on south, and the report after the pause lies 173 m south and 55 m
    // west (10.3 kt by the positions), heading west at 12.4. Ahead of its
    // reports, it slows through the bend onto the report to 7 kt, and the
    // leg on from there, timed at the 16.6 kt its points give (under the
    // 17.9 a catch-up from 10.3 allows), sped up from that crawl at the taxi
    // rate to a cruise of 23 kt to cover the leg in its time. The leg takes
    // the time a catch-up from the speed it rolls at needs instead.
    const std::vector<FedReport> reports{
        {0.0, 0.0, 9.9, 180, 0.00},          {0.0, -39.7, 15.8, 180, 6.01},       {0.0, -75.5, 18.0, 180, 10.00},
        {0.0, -100.9, 18.0, 180, 12.75},     {-54.8, -274.3, 12.4, 270, 47.10},   {-76.9, -274.3, 15.4, 270, 50.17},
        {-106.8, -274.3, 18.0, 270, 53.59},  {-160.2, -274.3, 17.5, 270, 59.37},  {-202.9, -274.3, 13.3, 270, 64.75},
        {-222.4, -274.3, 10.9, 270, 67.88},  {-240.0, -274.3, 0.0, 270, 75.00},   {-240.0, -274.3, 0.0, 270, 85.00},
    };
    expectKeepsUp(0xD101A3, {47.445165, -122.300717}, reports, "taxi_pause_crawl_catch_up");
}
