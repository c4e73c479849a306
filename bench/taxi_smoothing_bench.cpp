// Taxi path smoothing and the runway line-up watch. makeTurnGnd at its worst
// (the first build, the far exit and the short-leg rebuild all tried and
// refused) and its other long ways (the corner-keeping rebuild, the curved
// leg after a refused build) beside one ground turn built; the per-tick
// watch of an aircraft standing lined up on a runway with no point ahead,
// which looks its runway up on every tick, beside that lookup alone.

#include <benchmark/benchmark.h>

#include <deque>
#include <initializer_list>
#include <utility>

#include "airports/current_airport.h"
#include "engine/engine_state.h"
#include "engine/records.h"
#include "foundation/geodesy.h"
#include "liveries/code_tables.h"
#include "motion/curves.h"
#include "motion/runway_lineup.h"
#include "motion/runways.h"
#include "motion/taxi_smoothing.h"
#include "support/dbase_builder.h"

namespace {

constexpr double kDeg = degreesToRadians;
constexpr LaLo kStart{50.01, 8.0};
constexpr LaLo kCentre{50.0, 8.0};

LaLo lf_ahead(LaLo from, double bearingDeg, double metres) {
    return gf_destinationPoint(from, {bearingDeg * kDeg, metres * feetPerMetre});
}

StreamPoint lf_point(LaLo at, std::int32_t playTick, double speedKt) {
    StreamPoint p;
    p.lat = at.lat;
    p.lon = at.lon;
    p.playTick = playTick;
    p.groundSpeedKt = speedKt;
    return p;
}

// A Large aircraft taxiing at 10 kt from kStart, heading `headingDeg`, its
// points one leg (bearing, metres) after another 5 s apart.
LiveAc lf_taxiing(double headingDeg, std::initializer_list<std::pair<double, double>> legs) {
    static const bool loaded = [] {
        tavo::test::resetToSmallDbase();
        return true;
    }();
    (void)loaded;
    FlightIdentity id;
    id.key.model = gf_internModelCode("B738");
    id.callsign = "BEN1";
    AcInfo info = gf_makeAcInfo(id);
    info.hexid = 0x610001;
    info.category = Large;
    info.turnRateRad = 10.0 * kDeg / 100.0;
    info.turnRateLimit = info.turnRateRad;
    std::deque<StreamPoint> stream{lf_point(kStart, 1000, 10.0)};
    LaLo at = kStart;
    for (const auto& [bearing, metres] : legs) {
        at = lf_ahead(at, bearing, metres);
        stream.push_back(lf_point(at, stream.back().playTick + 500, 10.0));
    }
    LiveAc ac(std::move(stream), info, 1.7e9);
    ac.simState = AcSimState::active;
    ac.objectId = 2000;
    ac.phase = AcPhase::taxi;
    ac.prevPhase = AcPhase::pushed_back;
    ac.onGround = 1;
    ac.pose.latitude = kStart.lat;
    ac.pose.longitude = kStart.lon;
    ac.pose.heading = headingDeg * kDeg;
    ac.pose.trueAirspeed = 10.0;
    return ac;
}

// Times makeTurnGnd on the aircraft, its stream put back after each call.
void lf_timeTurns(benchmark::State& state, LiveAc ac, bool wanted) {
    tickCount.store(1000);
    const std::deque<StreamPoint> stream = ac.stream;
    if (makeTurnGnd(ac, 90.0) != wanted) state.SkipWithError("not the case meant");
    for (auto _ : state) {
        ac.stream = stream;
        benchmark::DoNotOptimize(makeTurnGnd(ac, 90.0));
    }
}

// Heading north, three legs of 20 m due east: the first build is refused
// for its heading change, the far exit 60 m on is refused, and the rebuild
// for two short legs strays too far from its chord. Budget: under 100 us.
void BM_MakeTurnGndWorst(benchmark::State& state) {
    lf_timeTurns(state, lf_taxiing(0.0, {{90.0, 20.0}, {90.0, 20.0}, {90.0, 20.0}}), false);
}
BENCHMARK(BM_MakeTurnGndWorst);

// A right angle before a leg five times as long: the turn is built, then
// built again to end at the corner.
void BM_MakeTurnGndCornerKept(benchmark::State& state) {
    lf_timeTurns(state, lf_taxiing(90.0, {{90.0, 30.0}, {0.0, 150.0}}), true);
}
BENCHMARK(BM_MakeTurnGndCornerKept);

// A last leg of 1.5 m is too short for a turn: the curved leg is built.
void BM_MakeTurnGndCurvedLeg(benchmark::State& state) {
    lf_timeTurns(state, lf_taxiing(90.0, {{90.0, 40.0}, {150.0, 1.5}}), true);
}
BENCHMARK(BM_MakeTurnGndCurvedLeg);

// Baseline: one ground turn built round a 40-degree corner (usable, its
// whole length walked).
void BM_OneTaxiCornerTurn(benchmark::State& state) {
    const LaLo corner = lf_ahead(kStart, 90.0, 40.0);
    const LaLo exit = lf_ahead(corner, 130.0, 80.0);
    GroundTurnInput in;
    in.entryLat = kStart.lat;
    in.entryLon = kStart.lon;
    in.cornerLat = corner.lat;
    in.cornerLon = corner.lon;
    in.exitLat = exit.lat;
    in.exitLon = exit.lon;
    in.startHeading = 90.0 * kDeg;
    GroundTurn turn;
    if (!buildGroundTurn(turn, in)) state.SkipWithError("no turn");
    for (auto _ : state) {
        benchmark::DoNotOptimize(buildGroundTurn(turn, in));
        benchmark::DoNotOptimize(turn);
    }
}
BENCHMARK(BM_OneTaxiCornerTurn);

// Runway 09/27 at FRA with a parallel 400 m south and a crossing 18/36.
void lf_airport() {
    gf_clearRunwayTable();
    const auto add = [](LaLo centre, double headingDeg, std::int32_t primary, std::int32_t designator) {
        FacilityRunway r;
        r.centre = centre;
        r.headingDeg = headingDeg;
        r.lengthM = 3000.0;
        r.widthM = 45.0;
        r.altitudeFt = 300.0;
        r.end1 = lf_ahead(centre, headingDeg + 180.0, 1500.0);
        r.end2 = lf_ahead(centre, headingDeg, 1500.0);
        r.primaryNumber = primary;
        r.primaryDesignator = designator;
        r.secondaryNumber = primary + 18;
        r.secondaryDesignator = designator == 1 ? 2 : designator == 2 ? 1 : 0;
        g_runwayTable.emplace_back(r);
    };
    add(kCentre, 90.0, 9, 1);
    add(lf_ahead(kCentre, 180.0, 400.0), 90.0, 9, 2);
    add(lf_ahead(kCentre, 0.0, 1200.0), 0.0, 18, 0);
    gf_setCurrentAirport(AirportListEntry{IcaoCode("EDDF"), IataCode("FRA"), kCentre, 300});
}

// A departure standing 100 m past the 09L threshold with no point ahead,
// lined up by the holding watch.
LiveAc lf_standingOnRunway() {
    LiveAc ac = lf_taxiing(110.0, {});
    const LaLo at = lf_ahead(kCentre, 270.0, 1400.0);
    ac.stream.front() = lf_point(at, 1000, 0.0);
    ac.pose.latitude = at.lat;
    ac.pose.longitude = at.lon;
    ac.origin = IataCode("FRA");
    tickCount.store(1000);
    for (int i = 0; i < 1000; ++i) {
        tickCount.store(tickCount.load() + 1);
        handleNoFutureOnRunway(ac);
    }
    return ac;
}

// One tick of the watch: the distance moved, the runway looked up, the
// aircraft held and kept facing the runway. Budget: under 3 us.
void BM_HandleNoFutureOnRunway(benchmark::State& state) {
    lf_airport();
    LiveAc ac = lf_standingOnRunway();
    if (!ac.motion.lineUp.key || ac.motion.lineUp.noFuture == 0) state.SkipWithError("not lined up");
    for (auto _ : state) {
        tickCount.store(tickCount.load() + 1);
        handleNoFutureOnRunway(ac);
        benchmark::DoNotOptimize(ac.pose);
    }
    if (!ac.motion.lineUp.key) state.SkipWithError("the line-up was lost");
    gf_clearRunwayTable();
    gf_clearCurrentAirport();
}
BENCHMARK(BM_HandleNoFutureOnRunway);

// Baseline: the runway lookup at the same place alone.
void BM_RunwayStartLookup(benchmark::State& state) {
    lf_airport();
    const LiveAc ac = lf_standingOnRunway();
    const LaLo at{ac.pose.latitude, ac.pose.longitude};
    for (auto _ : state) benchmark::DoNotOptimize(findRunwayMatch(at, ac.pose.heading, true, runwayCrossFloorM));
    gf_clearRunwayTable();
    gf_clearCurrentAirport();
}
BENCHMARK(BM_RunwayStartLookup);

}  // namespace
