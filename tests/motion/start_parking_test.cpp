// Parking at stands on single aircraft: the stands a live aircraft may not
// take and the drive it starts onto one it may, the live aircraft that make
// way, the arrival by distance and heading, and what the arrival schedules
// and records.

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "airports/stand_options.h"
#include "engine/collisions.h"
#include "engine/sim_commands.h"
#include "engine/sim_results.h"
#include "engine/spawn.h"
#include "engine/update.h"
#include "airports/loaded_airport.h"
#include "engine/geometry.h"
#include "foundation/random.h"
#include "motion/motion_math.h"
#include "motion/next_position.h"
#include "motion/stand_arrival.h"
#include "motion/start_parking.h"
#include "motion/tick_math.h"
#include "simlink/sim_ids.h"

#include "parking_fixture.h"

using namespace tavo::test;
using ::testing::HasSubstr;

namespace {

constexpr std::uint32_t kHex = 0x484B21;

class StartParking : public ParkingTest {
protected:
    static LiveAc* live(std::uint32_t hexid) {
        for (LiveAc& ac : g_liveAircraft)
            if (ac.hexid == hexid) return &ac;
        return nullptr;
    }
    // A parking aircraft whose pose ended `metres` from stand A1 (south of
    // it), heading `headingDeg`; A1 faces `standDeg`.
    static LiveAc& ending(double metres, double headingDeg, double standDeg = 0.0) {
        stand(1).heading = standDeg * degreesToRadians;
        LiveAc& ac = onGround(kHex, from(kA1, 180.0, metres), headingDeg, AcPhase::parking);
        gf_assignStandToAircraft(ac, stand(1));
        ac.prevPhase = AcPhase::taxi;
        return ac;
    }
    // A taxi `metres` south of A1 (facing north) at an airport whose file is
    // loaded (a slow stream may park it), heading `headingDeg`, its taxi
    // speed reference `taxiKt`, its one report at `reportedKt`.
    static LiveAc& towShortOfA1(double metres, double headingDeg, double taxiKt, double reportedKt) {
        LoadedAirport loaded;
        loaded.fileLoaded = true;
        gf_setLoadedAirport(loaded);
        stand(1).heading = 0.0;
        LiveAc& ac = onGround(kHex, from(kA1, 180.0, metres), headingDeg, AcPhase::taxi);
        ac.taxiSpeedRef = taxiKt;
        ac.stream.front().groundSpeedKt = reportedKt;
        return ac;
    }
    // Seeds the thread's engine so that the next draws below 10, 5 and 100
    // are the highest ones.
    static void seedHighestDraws() {
        for (std::uint32_t seed = 1;; ++seed) {
            ThreadRandomEngine probe{std::mt19937(seed)};
            if (probe.below(10) == 9 && probe.below(5) == 4 && probe.below(100) == 99) {
                threadRandomEngine().engine.seed(seed);
                return;
            }
        }
    }
};

}  // namespace

TEST_F(StartParking, StandsThatCannotBeTakenAreRefusedAndAFreeOneIsDrivenOnto) {
    struct Row {
        const char* what;
        void (*prepare)(LiveAc& ac);
    };
    const Row rows[] = {
        {"empty stream", [](LiveAc& ac) { ac.stream.clear(); }},
        {"excluded stand", [](LiveAc&) { stand(1).blocked = true; }},
        {"helipad", [](LiveAc&) { stand(1).heli = true; }},
        {"rotorcraft off a helipad", [](LiveAc& ac) { ac.category = Rotorcraft; }},
        {"too small", [](LiveAc& ac) { ac.wingRadiusNm = 0.05; }},
        {"another live one parking there",
         [](LiveAc&) { parkedOn(0x500002, 1, "DLH2").phase = AcPhase::parking; }},
        {"another live one pushed back from it",
         [](LiveAc&) { parkedOn(0x500002, 1, "DLH2").phase = AcPhase::pushed_back; }},
        {"another live one parked there without its object yet",
         [](LiveAc&) { parkedOn(0x500002, 1, "DLH2").simState = AcSimState::adding2sim; }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        g_liveAircraft.clear();
        stand(1).blocked = false;
        stand(1).heli = false;
        LiveAc& ac = onGround(kHex, from(kA1, 180.0, 60.0), 0.0, AcPhase::taxi);
        row.prepare(ac);
        LiveAc& me = *live(kHex);
        const auto streamSize = me.stream.size();
        EXPECT_FALSE(startParkingAtStand(me, stand(1), false));
        EXPECT_EQ(me.phase, AcPhase::taxi);
        EXPECT_EQ(me.standId, 0);
        EXPECT_EQ(me.stream.size(), streamSize);
        if (LiveAc* other = live(0x500002)) EXPECT_NE(other->simState, AcSimState::removingfromsim);
    }
    // Free: claimed and driven onto. The front point was put on the stand
    // while the aircraft is still short of it: the drive starts from the pose.
    g_liveAircraft.clear();
    LiveAc& ac = onGround(kHex, from(kA1, 180.0, 60.0), 0.0, AcPhase::taxi);
    ac.stream.front() = groundPoint(kA1, 5000);
    ac.stream.push_back(groundPoint(from(kA1, 0.0, 30.0), 6000));
    ASSERT_TRUE(startParkingAtStand(ac, stand(1), false));
    EXPECT_EQ(ac.phase, AcPhase::parking);
    EXPECT_EQ(ac.standId, 1);
    EXPECT_EQ(ac.stream.front().lat, ac.pose.latitude);
    EXPECT_EQ(ac.stream.front().playTick, 10000);
    EXPECT_EQ(ac.stream[ac.stream.size() - 2].lat, kA1.lat);
    EXPECT_EQ(ac.stream.back().stationary, 1);
}

TEST_F(StartParking, LiveAircraftInTheWayAreRemovedAndTheStandTakenOnceTheyAreGone) {
    // Parked on the wanted stand: removed, and this attempt fails; once the
    // simulator confirms the removal the next attempt succeeds.
    LiveAc& other = parkedOn(0x500002, 1, "DLH2");
    const std::uint32_t otherObject = other.objectId;
    onGround(kHex, from(kA1, 180.0, 60.0), 0.0, AcPhase::taxi);
    newLogLines();
    EXPECT_FALSE(startParkingAtStand(*live(kHex), stand(1), false));
    EXPECT_THAT(newLogLines(), HasSubstr("GATE A1       : DLH2     removed, KLM1234 wants to park there"));
    EXPECT_EQ(live(0x500002)->simState, AcSimState::removingfromsim);
    EXPECT_FALSE(startParkingAtStand(*live(kHex), stand(1), false)) << "until the removal is confirmed";
    gf_queueSimCommand(result(SIM_RESULT_REMOVED, otherObject));
    gf_processSimCommands();
    ASSERT_EQ(live(0x500002), nullptr);
    EXPECT_TRUE(startParkingAtStand(*live(kHex), stand(1), false));

    // Parked on the colliding stand 30 m away: removed when the two circles
    // reach across (radii summing to more than 30 m), left alone otherwise.
    struct Row {
        double radiusEachNm;
        AcPhase phase;
        bool removed;
    };
    for (const Row row : {Row{0.0085, AcPhase::parked, true}, Row{0.0075, AcPhase::parked, false},
                          Row{0.0085, AcPhase::pushing_back, true}, Row{0.0085, AcPhase::pushed_back, false}}) {
        SCOPED_TRACE(row.radiusEachNm);
        g_liveAircraft.clear();
        LiveAc& neighbour = parkedOn(0x500003, 2, "DLH3");
        neighbour.collisionRadiusNm = row.radiusEachNm;
        neighbour.phase = row.phase;
        LiveAc& ac = onGround(kHex, from(kA1, 180.0, 60.0), 0.0, AcPhase::taxi);
        ac.collisionRadiusNm = row.radiusEachNm;
        newLogLines();
        // A pushed-back neighbour reaching across keeps the stand taken.
        EXPECT_EQ(startParkingAtStand(ac, stand(1), false), !row.removed && row.phase == AcPhase::parked);
        EXPECT_EQ(live(0x500003)->simState == AcSimState::removingfromsim, row.removed);
        EXPECT_EQ(newLogLines().find("GATE A2       : DLH3     removed by parking KLM1234 at colliding adjacent "
                                     "stand GATE A1") != std::string::npos,
                  row.removed);
    }
}

TEST_F(StartParking, TheParkedCollisionRedirectDrivesOntoTheFreedStand) {
    AcBase& s = addStatic(5, AcSimState::active, 50);
    gf_assignStandToAircraft(s, stand(1));
    s.collisionRadiusNm = 0.01;
    LiveAc& ac = onGround(kHex, from(kA1, 180.0, 20.0), 0.0, AcPhase::taxi);
    ac.prevPhase = AcPhase::landing_roll;
    ac.collisionRadiusNm = 0.01;
    collisionWithParked(ac);
    EXPECT_EQ(s.simState, AcSimState::removingfromsim);
    EXPECT_EQ(ac.phase, AcPhase::parking);
    EXPECT_EQ(ac.standId, 1);
    ASSERT_EQ(ac.stream.size(), 4u) << "from the pose by the approach point onto the stand, then the stop";
    EXPECT_EQ(ac.stream[0].lat, ac.pose.latitude);
    EXPECT_EQ(ac.stream[0].playTick, 10000);
    EXPECT_EQ(ac.stream[2].lat, kA1.lat);
    EXPECT_EQ(ac.stream[3].stationary, 1);
}

TEST_F(StartParking, ArrivalByDistanceAndHeading) {
    struct Row {
        double metres, headingDeg, standDeg;
        bool result;
        AcPhase phase;
        std::int32_t standId, counter;
    };
    const Row rows[] = {
        {17, 39, 0, true, AcPhase::parked, 1, 0},
        {19, 0, 0, true, AcPhase::taxi, 0, 0},  // gives the stand up and taxis
        {17, 41, 0, false, AcPhase::parking, 1, 1},
        {19, 41, 0, false, AcPhase::parking, 1, 1},
        // Headings either side of north are compared the short way round.
        {10, 1, 359, true, AcPhase::parked, 1, 0},
        {10, 359, 1, true, AcPhase::parked, 1, 0},
        {10, 339, 20, false, AcPhase::parking, 1, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.metres << " m, " << row.headingDeg << " on " << row.standDeg);
        g_liveAircraft.clear();
        LiveAc& ac = ending(row.metres, row.headingDeg, row.standDeg);
        EXPECT_EQ(checkArrivedAtStand(ac), row.result);
        EXPECT_EQ(ac.phase, row.phase);
        EXPECT_EQ(ac.standId, row.standId);
        EXPECT_EQ(ac.extrapolationCount, row.counter);
        EXPECT_EQ(ac.motion.advanceLimit, 900);
    }
    // A refused arrival removes the aircraft when its stream runs dry.
    g_liveAircraft.clear();
    LiveAc& refused = ending(17, 41);
    nextPosMain(refused);
    EXPECT_EQ(refused.simState, AcSimState::removingfromsim);
    // So does another live aircraft on the stand.
    g_liveAircraft.clear();
    parkedOn(0x500002, 1, "DLH2");
    EXPECT_FALSE(checkArrivedAtStand(ending(5, 0)));
}

TEST_F(StartParking, TheArrivalSchedulesEnginesAndLightsAndRecordsThePark) {
    struct Row {
        bool highest;
        std::int32_t enginesOff, firstLights, secondLights;
    };
    for (const Row row : {Row{false, 1000, 1500, 3000}, Row{true, 1900, 2800, 13800}}) {
        SCOPED_TRACE(row.highest);
        g_liveAircraft.clear();
        g_staticAircraft.clear();
        parkedActionSchedule = {{0x111111, 10000 + 2000, 1}};
        newLiveCheckQueue.clear();
        stand(1).options.clear();
        harness->settings([&](SettingsSnapshot& s) { s.RANDOM = row.highest ? 1 : 0; });
        // One parked aircraft wanted: the arrival counts itself, so the static
        // on the other stand goes.
        parkedTarget = 1;
        AcBase& stat = addStatic(5, AcSimState::active, 50);
        gf_assignStandToAircraft(stat, stand(3));
        LiveAc& ac = ending(5, 0);
        if (row.highest) seedHighestDraws();
        ac.motion.towed = row.highest ? 1 : 0;
        const std::int32_t t = ac.stream.front().playTick;
        newLogLines();
        ASSERT_TRUE(checkArrivedAtStand(ac));

        using A = ParkedAcAction;
        const auto entries = [](const std::vector<A>& v) {
            std::vector<std::tuple<std::uint32_t, std::int32_t, std::uint32_t>> out;
            for (const A& a : v) out.emplace_back(a.hexid, a.dueTick, a.action);
            return out;
        };
        std::vector<A> wanted{{kHex, t + row.secondLights, 2}, {0x111111, 12000, 1}, {kHex, t + row.firstLights, 1},
                              {kHex, t + row.enginesOff, 0}};
        std::stable_sort(wanted.begin(), wanted.end(), [](const A& a, const A& b) { return a.dueTick > b.dueTick; });
        EXPECT_EQ(entries(parkedActionSchedule), entries(wanted)) << "the entry due first is the last";

        const std::string log = newLogLines();
        EXPECT_THAT(log, HasSubstr("GATE A1       : KLM1234  arrived at stand"));
        EXPECT_EQ(log.find("          towed aircraft ") != std::string::npos, row.highest);
        EXPECT_EQ(ac.phase, AcPhase::parked);
        EXPECT_EQ(ac.stream.front().stationary, 1);
        EXPECT_EQ(ac.phaseStartClock, kClock100ns);
        EXPECT_EQ(ac.parkTime, static_cast<double>(kWeekTime));
        EXPECT_EQ(ac.throttleStep, 0u);
        EXPECT_EQ(ac.flapsIndex, 0u);
        EXPECT_THAT(newLiveCheckQueue, ::testing::ElementsAre(kHex));
        ASSERT_EQ(stand(1).options.size(), 1u);
        EXPECT_FALSE(stand(1).options[0].cpl) << "recorded as an arrival";
        EXPECT_EQ(stat.simState, AcSimState::removingfromsim) << "trimmed with no extra aircraft";
        EXPECT_EQ(ac.simState, AcSimState::active);
    }
}

TEST_F(StartParking, TheDriveOntoTheStandIsOnItWhenItsReportsRestThere) {
    // A tow (taxi speed reference 3 kt: a drive at 2.4 kt) 55 m short of
    // A1, in line with it; its reports move at 4 kt at most and rest on the
    // stand `restAfter` ticks from now (put off by `lagTicks` not given back
    // yet). Planned at its own pace the drive takes 55 m at 2.4 kt; the leg
    // onto the stand, 10 m, ends at rest from twice its mean speed.
    struct Row {
        const char* what;
        std::int32_t restAfter;
        std::int32_t lagTicks;
        double standDueAfter;  // < 0: as early as twice the reports' speed allows
        double rollingKt = 0.0;  // > 0: the stream holds the resting report alone, the aircraft rolls at this
        bool standing = false;   // the reports before and on the stand both say 0 kt (no mid point)
        std::int32_t copyAfter = 0;  // > 0: a copy of the resting report this many ticks after it
        double midKt = 0.0;          // > 0: the report on the way gives this speed
        double taxiKt = 3.0;         // the taxi speed reference (the drive goes at 0.8 of it)
    };
    const double plannedTicks = 55.0 / (2.4 * kKnotsToMps) * 100.0;
    const double reportedKt = 4.0;
    const Row rows[] = {
        {"resting long before: as fast as it may catch up", 1200, 0, -1.0},
        {"resting a little before: on the stand as they rest", 3000, 0, 3000.0},
        {"resting after the drive: as planned", 6000, 0, plannedTicks},
        {"points put off by a delay: as reported", 4300, 1300, 3000.0},
        {"the resting report alone, rolling at 8 kt", 1700, 0, 1700.0, 8.0},
        {"moved between reports at 0 kt: at their own pace", 3000, 0, 3000.0, 0.0, true},
        {"a jump between reports at 0 kt faster than any ground move: as planned", 50, 0, plannedTicks, 0.0, true},
        {"copies of the resting report after it: on the stand as it first rests", 3000, 0, 3000.0, 0.0, false,
         2000},
        // A speed no aircraft goes on the ground tells no pace to catch up at.
        {"a report of 1e6 kt on the way: as fast as the others allow", 1200, 0, -1.0, 0.0, false, 0, 1e6},
        // Planned at 4.8 kt, the leg onto the stand is braked to rest from
        // 9.6 kt, above the 8 it may catch up at: it keeps its time, and the
        // 45 m before it still catch up.
        {"the leg onto the stand planned above the most: the legs before it catch up", 1700, 0, 1700.0, 0.0, false,
         0, 0.0, 6.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        g_liveAircraft.clear();
        stand(1).heading = 0.0;
        const std::int32_t now = tickCount.load();
        LiveAc& ac = onGround(kHex, from(kA1, 180.0, 55.0), 0.0, AcPhase::taxi);
        ac.taxiSpeedRef = row.taxiKt;
        ac.motion.streamLagTicks = row.lagTicks;
        if (row.rollingKt > 0.0) {
            ac.stream = {groundPoint(kA1, now + row.restAfter, 0.0)};
            ac.motion.lastStepTick = now;
            ac.motion.lastStepM = row.rollingKt * kKnotsToMps / 100.0;
        } else if (row.standing) {
            ac.stream.front().groundSpeedKt = 0.0;
            ac.stream.push_back(groundPoint(kA1, now + row.restAfter, 0.0));
        } else {
            ac.stream.front().groundSpeedKt = reportedKt;
            ac.stream.push_back(groundPoint(from(kA1, 180.0, 10.0), now + row.restAfter / 2,
                                            row.midKt > 0.0 ? row.midKt : reportedKt));
            ac.stream.push_back(groundPoint(kA1, now + row.restAfter, 0.0));
        }
        if (row.copyAfter > 0) {
            ac.stream.push_back(ac.stream.back());
            ac.stream.back().playTick = now + row.restAfter + row.copyAfter;
            ac.stream.back().stationary = 1;
        }
        ASSERT_TRUE(startParkingAtStand(ac, stand(1), false));
        const auto& s = ac.stream;
        ASSERT_GE(s.size(), 3u);
        const StreamPoint& onStand = s[s.size() - 2];
        EXPECT_EQ(onStand.lat, kA1.lat);
        // The fastest it goes: the leg onto the stand at twice its mean.
        double fastestKt = 0.0;
        LaLo at{ac.pose.latitude, ac.pose.longitude};
        std::int32_t tick = now;
        for (std::size_t i = 1; i + 1 < s.size(); ++i) {
            const LaLo to{s[i].lat, s[i].lon};
            const double kt = gf_distanceNm(at, to) * metresPerNm / (gf_ticksBetween(tick, s[i].playTick) / 100.0) *
                              kMpsToKnots;
            fastestKt = std::max(fastestKt, i + 2 == s.size() ? 2.0 * kt : kt);
            at = to;
            tick = s[i].playTick;
        }
        if (row.standDueAfter < 0.0) {
            EXPECT_NEAR(fastestKt, 2.0 * reportedKt, 0.1);
            EXPECT_GT(onStand.playTick, now + row.restAfter);
        } else {
            EXPECT_NEAR(onStand.playTick - now, row.standDueAfter, 3.0);
            // No leg faster than it may catch up at, but the leg onto the
            // stand where it was planned faster than that.
            EXPECT_LE(fastestKt, std::max(2.0 * std::max(reportedKt, row.rollingKt), 2.0 * 0.8 * row.taxiKt) + 0.1);
        }
        EXPECT_EQ(s.back().stationary, 1);
        EXPECT_EQ(s.back().playTick, onStand.playTick + 50);
    }
}

TEST_F(StartParking, AnAircraftAlreadyOnItsStandStopsThereInsteadOfDrivingRound) {
    // A1 faces north; the aircraft stands `northM` north of its point (past
    // it when positive), its nose `offDeg` off the stand's heading.
    struct Row {
        const char* what;
        double northM;
        double offDeg;
        bool stops;  // stops where it is: no point on the stand to drive to
    };
    const Row rows[] = {
        {"2 m past it, aligned", 2.0, 0.0, true},
        {"a hair past it, 8 degrees off", 0.3, 8.0, true},
        {"5 m past it, aligned", 5.0, 0.0, true},
        {"2 m short of it, aligned: drives on", -2.0, 0.0, false},
        {"2 m past it, 60 degrees off: not aligned", 2.0, 60.0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        g_liveAircraft.clear();
        stand(1).heading = 0.0;
        LiveAc& ac = onGround(kHex, from(kA1, 0.0, row.northM), row.offDeg, AcPhase::taxi);
        ASSERT_TRUE(startParkingAtStand(ac, stand(1), false));
        const auto& s = ac.stream;
        const bool onStandPoint = std::any_of(s.begin(), s.end(), [](const StreamPoint& p) {
            return p.stationary == 0 && gf_distanceNm({p.lat, p.lon}, kA1) * metresPerNm < 0.01;
        });
        EXPECT_EQ(!onStandPoint, row.stops);
        if (row.stops) {
            ASSERT_EQ(s.size(), 2u);
            EXPECT_EQ(s.back().stationary, 1);
            EXPECT_LT(gf_distanceNm({s.back().lat, s.back().lon}, {ac.pose.latitude, ac.pose.longitude}) * metresPerNm,
                      0.01);
        }
    }
}

TEST_F(StartParking, ADriveStartedAtTheEndOfALegEndsItsFirstLegWhereItsPointIsAndNeverGoesBack) {
    // A tow 62 m short of A1 (facing north), 20 degrees across its way; its
    // reports go on at 5.3 kt and rest on the stand. The leg planning
    // at the end of its leg builds a start turn toward the reports before
    // the slow stream parks it; the drive onto the stand replaces them.
    const std::int32_t now = tickCount.load();
    LiveAc& ac = towShortOfA1(62.0, 20.0, 5.0, 5.3);
    ac.stream.push_back(groundPoint(kA1, now + 2300, 0.2));
    nextPosMain(ac);
    ASSERT_EQ(ac.phase, AcPhase::parking);
    ASSERT_GE(ac.stream.size(), 2u);
    const LaLo firstEnd{ac.stream.front().lat, ac.stream.front().lon};
    const std::int32_t firstDue = ac.stream.front().playTick;
    double worstBackM = 0.0;
    double missM = -1.0;
    for (int i = 0; i < 4000 && ac.phase == AcPhase::parking; ++i) {
        const LaLo before{ac.pose.latitude, ac.pose.longitude};
        tickCount.store(tickCount.load() + 1);
        updateLiveAc(ac);
        const LaLo after{ac.pose.latitude, ac.pose.longitude};
        const double along = gf_relativePosition(before, ac.pose.heading, after).along;
        worstBackM = std::max(worstBackM, -along);
        if (tickCount.load() == firstDue) missM = gf_distanceNm(after, firstEnd) * metresPerNm;
    }
    EXPECT_GE(missM, 0.0) << "the first leg never ended";
    EXPECT_LT(missM, 0.5);
    EXPECT_LT(worstBackM, 0.001);
    gf_clearLoadedAirport();
}

TEST_F(StartParking, ATowBrakingForAHoldWhenItsStandIsFoundDrivesOnOntoItWithoutStoppingShort) {
    // A tow rolling north at 4.3 kt, 30 m short of A1, its reports held at a
    // copy where it is: it brakes to rest before the hold, and the slow
    // stream finds the stand. The drive replaces the hold it braked for, so
    // it rolls on to the stand and comes to rest there only.
    const std::int32_t now = tickCount.load();
    const double rollingKt = 4.3;
    LiveAc& ac = towShortOfA1(30.0, 0.0, 5.4, rollingKt);
    ac.stream.push_back(groundPoint(from(kA1, 180.0, 30.0), now + 300, 0.0));
    ac.stream.back().stationary = 1;
    ac.motion.lastStepTick = now;
    ac.motion.lastStepM = rollingKt * kKnotsToMps / 100.0;
    tickCount.store(now + 1);
    nextPosMain(ac);
    ASSERT_EQ(ac.phase, AcPhase::parking);
    // The slowest it goes while more than 2 m short of the stand (kt).
    double slowestKt = 1e9;
    for (int i = 0; i < 6000 && ac.phase == AcPhase::parking; ++i) {
        const LaLo before{ac.pose.latitude, ac.pose.longitude};
        tickCount.store(tickCount.load() + 1);
        updateLiveAc(ac);
        const LaLo after{ac.pose.latitude, ac.pose.longitude};
        if (gf_distanceNm(after, kA1) * metresPerNm > 2.0)
            slowestKt = std::min(slowestKt, gf_distanceNm(before, after) * metresPerNm * 100.0 * kMpsToKnots);
    }
    EXPECT_EQ(ac.phase, AcPhase::parked);
    EXPECT_GT(slowestKt, 1.0) << "came to rest short of the stand";
    gf_clearLoadedAirport();
}

TEST_F(StartParking, ADriveFromAPointReportedSlowerThanTheAircraftRollsIsOnTheStandAsItsReportsRest) {
    // A tow (a drive at 6.7 kt) 48 m short of A1, in line with it; the point
    // it is at gives `frontKt` (a midpoint at half a 0.7 kt report: 0.3),
    // and its reports rest on the stand 14 s on.
    struct Row {
        const char* what;
        double frontKt;
        double rollingKt;  // 0: it stands
    };
    const Row rows[] = {
        {"rolling at 9.4 kt through a point given 0.3", 0.3, 9.4},
        {"standing at a point given 0", 0.0, 0.0},
    };
    const std::int32_t restAfter = 1400;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        g_liveAircraft.clear();
        const std::int32_t now = tickCount.load();
        LiveAc& ac = towShortOfA1(48.0, 0.0, 8.4, row.frontKt);
        ac.stream.push_back(groundPoint(kA1, now + restAfter, 0.7));
        if (row.rollingKt > 0.0) {
            ac.motion.lastStepTick = now;
            ac.motion.lastStepM = row.rollingKt * kKnotsToMps / 100.0;
        }
        ASSERT_TRUE(startParkingAtStand(ac, stand(1), false));
        std::int32_t onStandTick = -1;
        for (int i = 0; i < 6000 && ac.phase == AcPhase::parking && onStandTick < 0; ++i) {
            tickCount.store(tickCount.load() + 1);
            updateLiveAc(ac);
            if (gf_distanceNm({ac.pose.latitude, ac.pose.longitude}, kA1) * metresPerNm < 0.5)
                onStandTick = tickCount.load();
        }
        ASSERT_GE(onStandTick, 0) << "never came onto the stand";
        EXPECT_LE(onStandTick - now, restAfter + 150);
    }
    gf_clearLoadedAirport();
}

TEST_F(StartParking, ATowAllButAtRestWhenItsStandIsFoundDrivesOntoItAtTheDrivesPace) {
    // A tow 57 m short of A1 in line with it (taxi speed reference 4.7 kt:
    // a drive at 3.76 kt), its dead reckoning having slowed it to `rollingKt`
    // when its report resting on the stand came, due as the drive plans to
    // be there. It speeds up to the drive's pace in a moment and is on the
    // stand as its report rests there, never faster than twice that pace.
    const double driveKt = 0.8 * 4.7;
    for (const double rollingKt : {1.9, 3.5}) {
        SCOPED_TRACE(rollingKt);
        g_liveAircraft.clear();
        const std::int32_t now = tickCount.load();
        const auto due = now + static_cast<std::int32_t>(std::lround(57.0 / (driveKt * kKnotsToMps) * 100.0));
        LiveAc& ac = towShortOfA1(57.0, 0.0, 4.7, rollingKt);
        ac.stream.push_back(groundPoint(kA1, due, 0.0));
        ac.motion.lastStepTick = now;
        ac.motion.lastStepM = rollingKt * kKnotsToMps / 100.0;
        tickCount.store(now + 1);
        nextPosMain(ac);
        ASSERT_EQ(ac.phase, AcPhase::parking);
        std::int32_t onStand = 0;
        double fastestKt = 0.0;
        for (int i = 0; i < 6000 && onStand == 0; ++i) {
            const LaLo before{ac.pose.latitude, ac.pose.longitude};
            tickCount.store(tickCount.load() + 1);
            updateLiveAc(ac);
            const LaLo after{ac.pose.latitude, ac.pose.longitude};
            fastestKt = std::max(fastestKt, gf_distanceNm(before, after) * metresPerNm * 100.0 * kMpsToKnots);
            if (gf_distanceNm(after, kA1) * metresPerNm < 1.0) onStand = tickCount.load();
        }
        ASSERT_GT(onStand, 0) << "never reached the stand";
        EXPECT_LE(onStand, due + 200) << "late on the stand";
        EXPECT_LE(fastestKt, 2.0 * driveKt);
    }
    gf_clearLoadedAirport();
}
