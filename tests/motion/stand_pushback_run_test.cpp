// Departures from a stand end to end on the motion harness, judged by the
// motion checker over the time the aircraft stands and is pushed back:
// pushbacks straight and with a turn, reported every 2 s and every 8 s, one
// reported every 25 s and streams that end during it.
// Its reports come half a minute before they fall due; the aircraft stands
// still until they move, reaches each of them on time, and faces away from
// the way it is pushed.

#include <gmock/gmock.h>

#include "stand_run_fixture.h"

using namespace tavo::test;

namespace {

class StandPushbackRun : public StandRunTest {
protected:
    // The gate the departures leave (facing 270) and an aircraft standing on
    // it for `seconds`.
    Route standing(std::uint32_t hexid, double seconds) {
        const LaLo stand = onField(200.0, -300.0);
        gate(stand, 270.0);
        Route at = ground(hexid, stand, 270.0, 0.0);
        at.straight(seconds);
        return at;
    }
};

// The phase the aircraft was in at a tick.
AcPhase lf_phaseAt(const AircraftRecord& r, double tick) {
    AcPhase phase = r.samples.empty() ? AcPhase::birth : r.samples.front().phase;
    for (const MotionSample& s : r.samples) {
        if (s.tick > tick) break;
        phase = s.phase;
    }
    return phase;
}

}  // namespace

TEST_F(StandPushbackRun, ItStandsUntilItsReportsMoveThenFollowsThemTailFirst) {
    struct Row {
        const char* name;
        double turnDeg;  // the pushback turns by this at its end
        double everyS;   // a report this often
        double pushEveryS = 0.0;  // the pushback's reports this often (0: everyS)
        bool taxis = true;        // the pushback and a taxi, or a stream that ends 9 s into the pushback
        double standS = 20.0;     // standing at the stand (60 s: shown before the pushback's reports come)
        // The reports pause from the start of the turn until the aircraft
        // stands at its end.
        bool turnUnreported = false;
    };
    const Row rows[] = {
        {"straight, a report every 2 s", 0.0, 2.0},
        {"straight, a report every 8 s", 0.0, 8.0},
        {"with a turn, a report every 2 s", -90.0, 2.0},
        {"with a turn, a report every 8 s", -90.0, 8.0},
        // Two reports of the turn 20 s apart: between them the curve their
        // tracks tell, not the chord across it.
        {"with a turn, the pushback reported every 20 s", -90.0, 2.0, 20.0},
        // Its only report of the pushback, 9 s after the last one at the
        // stand (about 11 m back): the stream ends with it.
        {"one report of the pushback, then none", 0.0, 2.0, 9.0, false, 60.0},
        // Created while its pushback goes on straight: the decoder sets its
        // walking-pace reports aside as adding nothing, and the stream ends
        // with the last of them.
        {"straight, the stream ends 9 s into it, a report every 2 s", 0.0, 2.0, 2.0, false},
        // The pushback's legs end before its next report comes; its last
        // report and the taxi's first ones came before it stopped.
        {"the pushback reported every 25 s, then a taxi", 0.0, 2.0, 25.0},
        // Pushed on from rest where its straight part ended, late: the
        // curve its reports' tracks tell is followed, the nose never swung
        // against a chord cut across it.
        {"with a turn its reports pause over", -90.0, 2.0, 0.0, true, 20.0, true},
    };
    std::uint32_t hexid = 0xE30000;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ++hexid;
        const Route at = standing(hexid, row.standS);
        const LaLo stand = at.at(0.0).position;
        Route push = ground(hexid, stand, 90.0, 0.0);
        if (row.turnUnreported)
            push.speedTo(3.0, 5).straight(10);
        else if (row.taxis)
            push.speedTo(3.0, 5).straight(10).turn(row.turnDeg, 30).speedTo(0.0, 5).straight(10);
        else
            push.speedTo(3.0, 4).straight(5);
        Route turn = ground(hexid, push.at(push.duration()).position, 90.0, 3.0);
        turn.turn(row.turnDeg, 20).speedTo(0.0, 4).straight(20);
        const Route& last = row.turnUnreported ? turn : push;
        Route away = ground(hexid, last.at(last.duration()).position, 180.0, 0.0);
        away.speedTo(12.0, 8).straight(22);
        // Each stretch's first report is the last one of the stretch before.
        const auto from = harness->engine().engineTick();
        const auto pushAt = from + static_cast<std::int32_t>(at.duration() * 100.0);
        const auto turnAt = pushAt + static_cast<std::int32_t>(push.duration() * 100.0);
        const auto awayAt = turnAt + (row.turnUnreported ? static_cast<std::int32_t>(turn.duration() * 100.0) : 0);
        harness->add(at, row.everyS, from);
        harness->add(push, row.pushEveryS > 0.0 ? row.pushEveryS : row.everyS, pushAt);
        if (row.turnUnreported) harness->add(turn, turn.duration(), turnAt);
        if (row.taxis) harness->add(away, row.everyS, awayAt);
        run(hexid, awayAt + static_cast<std::int32_t>(away.duration() * 100.0) + 3000);
        const AircraftRecord* r = harness->record(hexid);
        ASSERT_NE(r, nullptr);
        const MotionCheckResult result = SmoothnessChecker{}.checkAll(*r);
        for (const MotionFinding& f : result.findings) {
            const AcPhase phase = lf_phaseAt(*r, f.tick);
            if (phase != AcPhase::parked && phase != AcPhase::pushing_back && phase != AcPhase::pushed_back) continue;
            // A turning pushback turns the nose with it.
            if (f.check == MotionCheck::PushbackHeading && row.turnDeg != 0.0) continue;
            ADD_FAILURE() << gf_acPhaseName(phase) << ": " << f.text();
        }
        EXPECT_GT(result.judged.at(MotionCheck::Lag), 10u);
        EXPECT_THAT(judgeTrack(*r).phases, ::testing::IsSupersetOf({AcPhase::parked, AcPhase::pushing_back}));
    }
    harness->writePlot("stand_pushback_runs");
}

// Its reports pause as the pushback begins and come back standing where it
// ended, tail first from the stand, then with the taxi driving off from there
// back past the stand: it is pushed back to that place, not straight back
// from its stand nor left standing on it, and taxis from there on time.
TEST_F(StandPushbackRun, APushbackSeenOnlyWhereItEndedTakesTheAircraftThere) {
    struct Row {
        const char* name;
        double straightS;  // pushed straight on this long at 3 kt
        double turnDeg;    // then turning by this over 30 s
        bool walkSeen;     // one report 3.5 s into the pushback, walking, 2 m off
        int standing;      // reports standing where it ended, 4 s apart
        bool streamEnds;   // the stream ends 4 s into the taxi
    };
    const Row rows[] = {
        {"with a turn, 55 m off, one report where it ended", 8.0, -90.0, false, 1, false},
        // Within a stand's scatter of it, but seen walking off first.
        {"straight, 42 m off, seen walking off, two reports where it ended", 22.0, 0.0, true, 2, true},
        {"straight, 42 m off, seen walking off, one report where it ended", 22.0, 0.0, true, 1, true},
    };
    std::uint32_t hexid = 0xE30100;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ++hexid;
        const Route at = standing(hexid, 20.0);
        const LaLo stand = at.at(0.0).position;
        Route push = ground(hexid, stand, 90.0, 0.0);
        push.speedTo(3.0, 5).straight(row.straightS);
        if (row.turnDeg != 0.0) push.turn(row.turnDeg, 30);
        push.speedTo(0.0, 5);
        const LaLo end = push.at(push.duration()).position;
        const Route::State walking = push.at(3.5);
        Route walk = ground(hexid, walking.position, 90.0, walking.speedKt);
        walk.straight(0.5);
        Route stands = ground(hexid, end, push.at(push.duration()).headingDeg, 0.0);
        stands.straight(4.0 * (row.standing - 1));
        Route away = ground(hexid, end, 180.0, 5.0);
        if (row.streamEnds)
            away.speedTo(8.0, 4);
        else
            away.speedTo(12.0, 8).straight(22);
        const auto from = harness->engine().engineTick();
        const auto pushAt = from + static_cast<std::int32_t>(at.duration() * 100.0);
        const auto endAt = pushAt + static_cast<std::int32_t>(push.duration() * 100.0);
        const auto awayAt = endAt + static_cast<std::int32_t>(stands.duration() * 100.0) + 600;
        harness->add(at, 2.0, from);
        if (row.walkSeen) harness->add(walk, 1.0, pushAt + 350);
        harness->add(stands, 4.0, endAt);
        harness->add(away, 2.0, awayAt);
        run(hexid, awayAt + static_cast<std::int32_t>(away.duration() * 100.0) + 3000);
        const AircraftRecord* r = harness->record(hexid);
        ASSERT_NE(r, nullptr);
        const MotionSample* lastPushed = nullptr;
        for (const MotionSample& s : r->samples)
            if (s.phase == AcPhase::pushing_back) lastPushed = &s;
        ASSERT_NE(lastPushed, nullptr);
        EXPECT_LT(gf_distanceNm({lastPushed->pose.latitude, lastPushed->pose.longitude}, end) * metresPerNm, 3.0);
        const MotionCheckResult result = SmoothnessChecker{}.checkAll(*r);
        for (const MotionFinding& f : result.findings)
            if (f.check == MotionCheck::Lag || f.check == MotionCheck::NoseTravel) ADD_FAILURE() << f.text();
    }
}

// Pushed back straight, it stands where the pushback ended, is reported
// setting off a few metres at a walking pace across its nose, and its reports
// then pause: the next one lies 270 m on, its positions having kept 12.7 kt
// across the pause though it gives 8.3. Turning on the spot toward it first,
// the aircraft catches up from the pace its positions kept (at most 20.9
// kt, 1.25 times it and 5 kt on), not from the speed that report gives, and
// comes to it and those after no more than 7 s late (caught up from the
// 8.3 kt reported, 15.4 kt at most, it came 10.3 s late).
TEST_F(StandPushbackRun, TheTaxiAfterAPauseCatchesUpAtThePaceItsReportsKept) {
    const std::uint32_t hexid = 0xE30200;
    const Route at = standing(hexid, 20.0);
    Route push = ground(hexid, at.at(0.0).position, 90.0, 0.0);
    push.speedTo(2.9, 5).straight(50).speedTo(0.0, 5);
    const LaLo end = push.at(push.duration()).position;
    Route stands = ground(hexid, end, 270.0, 0.0);
    stands.straight(14.0);
    Route creepWay = ground(hexid, end, 180.0, 3.6);
    creepWay.straight(1.9);
    const Route creeps = ground(hexid, creepWay.at(creepWay.duration()).position, 180.0, 3.6);
    constexpr double kPauseS = 41.6;
    Route away = ground(hexid, creeps.at(0.0).position, 180.0, 12.7);
    away.straight(kPauseS);
    Route taxi = ground(hexid, away.at(away.duration()).position, 180.0, 8.3);
    taxi.straight(20.0);
    const auto from = harness->engine().engineTick();
    const auto pushAt = from + static_cast<std::int32_t>(at.duration() * 100.0);
    const auto endAt = pushAt + static_cast<std::int32_t>(push.duration() * 100.0);
    const auto creepAt = endAt + static_cast<std::int32_t>(stands.duration() * 100.0) + 600;
    const auto taxiAt = creepAt + static_cast<std::int32_t>(kPauseS * 100.0);
    harness->add(at, 5.0, from);
    harness->add(push, 5.0, pushAt);
    harness->add(stands, 4.0, endAt);
    harness->add(creeps, 1.0, creepAt);
    harness->add(taxi, 5.0, taxiAt);
    run(hexid, taxiAt + static_cast<std::int32_t>(taxi.duration() * 100.0) + 3000);
    const AircraftRecord* r = harness->record(hexid);
    ASSERT_NE(r, nullptr);
    // Held to the earlier limits until the motion meets a pilot's here too.
    const MotionCheckResult result = SmoothnessChecker{MotionLimits::earlier()}.checkAll(*r);
    EXPECT_GT(result.judged.at(MotionCheck::Lag), 10u);
    for (const MotionFinding& f : result.findings)
        if (f.check != MotionCheck::Lag || f.value > 7.0) ADD_FAILURE() << f.text();
}
