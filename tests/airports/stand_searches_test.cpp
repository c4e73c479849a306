// The stand searches: the week time of an offset, the offsets a search tries,
// the traffic service's records by age, the soft and helipad rules, option
// choice with and without randomness, options whose aircraft is in use, live
// names, the user's stands, the walk direction, and records or statics that
// cannot be placed being skipped without ending the search.

#include <functional>
#include <set>

#include "foundation/random.h"

#include "planner_fixture.h"
#include "support/user_aircraft.h"

namespace tavo::test {
namespace {

class StandSearchTest : public PlannerTest {
protected:
    static StandOption klm(std::string reg, std::string cs, WeekTime at, bool real = true) {
        return flightOption("KLM", "B738", std::move(reg), std::move(cs), at.day, at.slot, at.slot, real);
    }
    static constexpr WeekTime kNow{3, 20};
};

TEST_F(StandSearchTest, AnOffsetLooksBackAcrossMidnightAndTheWeeksEnd) {
    struct Row {
        WeekTime now;
        std::int32_t offset;
        WeekTime expected;
    };
    for (const Row& row : {Row{{1, 1}, 3, {7, 46}}, Row{{3, 20}, 0, {3, 20}}, Row{{7, 0}, 1, {6, 47}},
                           Row{{2, 47}, 47, {2, 0}}}) {
        EXPECT_EQ(gf_weekTimeBefore(row.now, row.offset), row.expected) << row.now.day << "/" << row.now.slot;
    }
}

TEST_F(StandSearchTest, TheOffsetsTriedEndAtMaxFitOrWithAutoParkAtTheDaysEnd) {
    struct Row {
        std::int32_t maxFit;
        bool autoPark;
        std::int32_t standingFor;  // the option's slot lies this many slots back
        bool found;
    };
    for (const Row& row : {Row{3, false, 3, true}, Row{3, false, 4, false}, Row{3, true, 47, true}}) {
        gf_updateSettings([&](SettingsSnapshot& s) {
            s.MAX_FIT = row.maxFit;
            s.AUTO_PARK = row.autoPark ? 1 : 0;
        });
        standsWithOptions({{klm("PH-BXA", "KLM1", gf_weekTimeBefore(kNow, row.standingFor))}});
        gf_clearStaticsToPlace();
        EXPECT_EQ(lf_searchAndReport(kNow, true, true, 1), row.found) << row.standingFor;
        ASSERT_EQ(staticsToPlace.size(), row.found ? 1u : 0u);
        if (row.found) EXPECT_EQ(staticsToPlace[0].ageSlots, row.standingFor);
    }
}

TEST_F(StandSearchTest, ServiceRecordsArePlacedAtTheOffsetOfTheirAge) {
    for (const std::int32_t maxFit : {5, 4}) {
        gf_updateSettings([&](SettingsSnapshot& s) { s.MAX_FIT = maxFit; });
        standsWithOptions({{}, {}, {}});
        feed->setParked({parkedAt(1, "KLM5", 5, 0x100005), parkedAt(2, "KLM2", 2, 0x100002)});
        gf_clearStaticsToPlace();
        newLogLines();
        lf_searchAndReport(kNow, true, true, 3);
        std::vector<std::int32_t> ages;
        for (const StaticToPlace& item : staticsToPlace) ages.push_back(item.ageSlots);
        // Aged 2: among the youngest, placed at offset 0; aged 5 waits for offset 5.
        EXPECT_EQ(ages, maxFit == 5 ? (std::vector<std::int32_t>{2, 5}) : std::vector<std::int32_t>{2}) << maxFit;
        EXPECT_NE(newLogLines().find(maxFit == 5 ? "2 RT park positions" : "1 RT park position\n"), std::string::npos);
    }
}

TEST_F(StandSearchTest, SoftOptionsAreSearchedOnlyAtAnAirportWithSoftRatings) {
    gf_updateSettings([](SettingsSnapshot& s) { s.PARK_SOFT = 1; });
    for (const std::int32_t qfSoft : {0, 30}) {
        standsWithOptions({{klm("PH-BXA", "KLM1", kNow, false)}});
        loadedWithSoft(qfSoft);
        gf_clearStaticsToPlace();
        lf_searchAllStands(kNow, 1);
        EXPECT_EQ(staticsToPlace.size(), qfSoft > 0 ? 1u : 0u) << qfSoft;
    }
}

TEST_F(StandSearchTest, AHelipadIsNeverChosenWhileHelicoptersAreOff) {
    for (const bool helipad : {true, false}) {
        gf_updateSettings([](SettingsSnapshot& s) { s.HELICOPTERS = 0; });
        standsWithOptions({{klm("PH-BXA", "KLM1", kNow)}});
        g_standTable[0].heli = helipad;
        gf_clearStaticsToPlace();
        SearchCounters counters;
        lf_searchStands(kNow, 0, true, true, counters, 1);
        EXPECT_EQ(staticsToPlace.size(), helipad ? 0u : 1u) << helipad;
    }
}

TEST_F(StandSearchTest, OfTwoOptionsTheFirstWinsWithoutRandomnessAndEitherWithIt) {
    threadRandomEngine().engine.seed(42);
    for (const bool random : {false, true}) {
        gf_updateSettings([&](SettingsSnapshot& s) { s.RANDOM = random ? 1 : 0; });
        std::set<std::string> chosen;
        for (int plan = 0; plan < 40; ++plan) {
            standsWithOptions({{klm("PH-BXA", "KLM1", kNow), klm("PH-BXB", "KLM2", kNow)}});
            gf_clearStaticsToPlace();
            SearchCounters counters;
            lf_searchStands(kNow, 0, true, true, counters, 1);
            ASSERT_EQ(staticsToPlace.size(), 1u);
            chosen.insert(staticsToPlace[0].callsign1);
        }
        EXPECT_EQ(chosen, random ? (std::set<std::string>{"KLM1", "KLM2"}) : std::set<std::string>{"KLM1"});
    }
}

// The static first shows the callsign of the flight that stands there now
// when the same aircraft still stands there in the next half-hour, else the
// flight it leaves as.
TEST_F(StandSearchTest, WhetherTheAircraftStaysIntoTheNextHalfHourDecidesWhichCallsignComesFirst) {
    const auto option = [](std::uint32_t day, std::uint32_t first, std::uint32_t last, std::string callsign2 = "KLM2",
                           std::string_view model = "B738") {
        return flightOption("KLM", model, "PH-BXA", "KLM1", day, first, last, true, std::move(callsign2));
    };
    struct Row {
        const char* what;
        WeekTime now;
        std::vector<StandOption> options;  // the first is the one found
        bool callsign1First;
    };
    const Row rows[] = {
        {"no second callsign", {3, 20}, {option(3, 20, 20, "")}, true},
        {"the option holds the next slot", {3, 20}, {option(3, 20, 21)}, true},
        {"the option ends now", {3, 20}, {option(3, 19, 20)}, false},
        {"tomorrow's option holds slot 0", {3, 47}, {option(3, 47, 47), option(4, 0, 2)}, true},
        {"tomorrow's option starts later", {3, 47}, {option(3, 47, 47), option(4, 1, 2)}, false},
        {"tomorrow's option is another type", {3, 47}, {option(3, 47, 47), option(4, 0, 2, "KLM2", "A320")}, false},
        {"after Sunday comes Monday", {7, 47}, {option(7, 47, 47), option(1, 0, 0)}, true},
    };
    for (const Row& row : rows) {
        standsWithOptions({row.options});
        gf_clearStaticsToPlace();
        SearchCounters counters;
        lf_searchStands(row.now, 0, true, true, counters, 1);
        ASSERT_EQ(planned(), std::vector<std::string>{"KLM1"}) << row.what;
        EXPECT_EQ(staticsToPlace[0].callsign1First, row.callsign1First) << row.what;
    }
}

// A static or a live stayer on a stand that excludes this one makes it a
// neighbour in use, as does a static planned there; a static on its way out
// does not.
TEST_F(StandSearchTest, ANeighbourIsInUseByAStaticThatStaysAStayerOrAPlannedStatic) {
    struct Row {
        const char* what;
        std::function<void()> arrange;
        bool inUse;
    };
    const Row rows[] = {
        {"a static on the neighbour", [] { staticAt(2, "STAT1", "PH-STA"); }, true},
        {"a static being removed", [] { staticAt(2, "STAT1", "PH-STA").simState = AcSimState::removingfromsim; },
         false},
        {"a live stayer", [] { stayers.push_back(StayerEntry{"LIVE1", "PH-LIV", 0, 2, 10}); }, true},
        {"a planned static", [] { staticsToPlace.push_back(StaticToPlace{0, 1, 2, 0, {}, "KLM1", {}, "PH-BXA", true}); },
         true},
        {"only on the stand itself", [] { staticAt(1, "STAT1", "PH-STA"); }, false},
        {"on a stand that does not exclude it", [] { staticAt(3, "STAT1", "PH-STA"); }, false},
    };
    for (const Row& row : rows) {
        standsWithOptions({{}, {}, {}});
        exclude(1, 2);
        g_staticAircraft.clear();
        stayers.clear();
        gf_clearStaticsToPlace();
        row.arrange();
        EXPECT_EQ(lf_isNeighbourInUse(1), row.inUse) << row.what;
    }
    stayers.clear();
}

TEST_F(StandSearchTest, AnOptionWhoseAircraftIsPlannedElsewhereIsParkedAtNumberZero) {
    // The same registration at two stands: the walk backwards takes S2 first.
    standsWithOptions({{klm("PH-BXA", "KLM7", kNow)}, {klm("PH-BXA", "KLM1", kNow)}});
    lf_searchAndReport(kNow, true, true, 2);
    EXPECT_EQ(planned(), std::vector<std::string>{"KLM1"});
    EXPECT_EQ(g_standTable[0].options[0].number, 0u) << "unusable until the next adjustment";

    lf_adjustParking(false);
    EXPECT_EQ(g_standTable[0].options[0].number, 1u) << "the adjustment renumbers";
}

// The live traffic's names as handed over, and the live aircraft's own.
TEST_F(StandSearchTest, ARecordWhoseCallsignFlysLiveWithAnUnderscoreIsSkipped) {
    standsWithOptions({{}, {}, {}, {}});
    feed->addLiveName("KLM1_", 0x200001);
    gf_takeParkedHandOverMaps();
    FlightIdentity flying;
    flying.callsign = "KLM3_";
    g_liveAircraft.emplace_back(std::deque<StreamPoint>{StreamPoint{}}, gf_makeAcInfo(flying), 1.7e9);
    std::vector<ParkedRecord> list{parkedAt(1, "KLM1", 0, 0x100001), parkedAt(2, "KLM2", 0, 0x100002),
                                   parkedAt(3, "KLM3", 0, 0x100003), parkedAt(4, "KLM4", 0, 0x100004)};
    gf_searchRtParkPositions(list, 4);
    EXPECT_EQ(planned(), (std::vector<std::string>{"KLM2", "KLM4"}));
    EXPECT_TRUE(lf_isLiveName("KLM1"));
    EXPECT_FALSE(lf_isLiveName("KLM2"));
    g_liveAircraft.clear();
}

// Within one search, what it has just planned or kept holds its stand's
// neighbours and its aircraft for the rest of the search.
TEST_F(StandSearchTest, WhatASearchHasJustPlannedOrKeptCountsForTheRestOfIt) {
    // With only the service's traffic: a record planned at S1 (a new record
    // does not look at its neighbours there) makes the twin beside it give
    // way; the twin at S3 kept first has the search look at neighbours before.
    standsWithOptions({{}, {}, {}});
    exclude(1, 2);
    staticAt(3, "TWINA", "PH-TWA", 0x100003);
    staticAt(2, "TWINB", "PH-TWB", 0x100002);
    std::vector<ParkedRecord> list{parkedAt(3, "TWINA", 0, 0x100003, "PH-TWA"), parkedAt(1, "NEW1", 1, 0x100001),
                                   parkedAt(2, "TWINB", 2, 0x100002, "PH-TWB")};
    gf_searchRtParkPositions(list, 3);
    EXPECT_EQ(planned(), std::vector<std::string>{"NEW1"});
    EXPECT_EQ(g_staticAircraft[0].plannerFlag, 1);
    EXPECT_EQ(g_staticAircraft[1].plannerFlag, 0) << "beside the record just planned";

    // A static kept at S1: an option of S2 with its callsign is not planned.
    gf_clearStaticsToPlace();
    g_staticAircraft.clear();
    standsWithOptions({{klm("PH-STA", "STAT1", kNow)}, {klm("PH-OTH", "STAT1", kNow)}});
    staticAt(1, "STAT1", "PH-STA");
    lf_searchAndReport(kNow, true, true, 2);
    EXPECT_EQ(g_staticAircraft[0].plannerFlag, 1);
    EXPECT_TRUE(planned().empty()) << "the kept static's callsign is in use";

    // A twin kept at S1 after a record was planned at S3: an option of S2 with
    // the twin's callsign is not planned.
    gf_clearStaticsToPlace();
    g_staticAircraft.clear();
    standsWithOptions({{}, {klm("PH-OTH", "TWIN1", kNow)}, {}});
    staticAt(1, "TWIN1", "PH-TWN", 0x100001);
    feed->setParked({parkedAt(3, "NEW1", 0, 0x100003), parkedAt(1, "TWIN1", 0, 0x100001, "PH-TWN")});
    lf_searchAndReport(kNow, true, true, 3);
    EXPECT_EQ(g_staticAircraft[0].plannerFlag, 1);
    EXPECT_EQ(planned(), std::vector<std::string>{"NEW1"}) << "the kept twin's callsign is in use";
}

TEST_F(StandSearchTest, TheUsersStandsAndTheStandsTheyExcludeAreBlocked) {
    standsWithOptions({{}, {}, {}, {}});
    exclude(2, 3);
    gf_makeCurrentParkAirportWithStand(IcaoCode("EDDF"), LaLo{50.0333, 8.5706}, "S2");
    placeUserAircraft(LaLo{g_standTable[3].latitude, g_standTable[3].longitude}, 0.0, true);
    newLogLines();
    lf_blockUserStands();
    std::vector<bool> blocked;
    for (const Stand& s : g_standTable) blocked.push_back(s.blocked);
    EXPECT_EQ(blocked, (std::vector<bool>{false, true, true, true}));
    const std::string log = newLogLines();
    EXPECT_NE(log.find("Reserved user stand 'S2' blocked for static aircraft"), std::string::npos);
    EXPECT_NE(log.find("S3 excluded by Reserved user stand 'S2' blocked for static aircraft"), std::string::npos);
    EXPECT_NE(log.find("User user stand 'S4' blocked for static aircraft"), std::string::npos);
}

TEST_F(StandSearchTest, EveryPassTurnsTheWalkAround) {
    standsWithOptions({{klm("PH-BXA", "KLM1", kNow)}, {klm("PH-BXB", "KLM2", kNow)}});
    std::vector<std::string> first;
    for (int pass = 0; pass < 3; ++pass) {
        gf_clearStandMarks();
        gf_clearStaticsToPlace();
        SearchCounters counters;
        ASSERT_TRUE(lf_searchStands(kNow, 0, true, true, counters, 1));
        first.push_back(staticsToPlace.at(0).callsign1);
    }
    EXPECT_EQ(first, (std::vector<std::string>{"KLM2", "KLM1", "KLM2"})) << "the first pass walks backwards";
}

// One record or static that cannot be placed is skipped; only a claim that
// reaches the wanted number ends a walk.
TEST_F(StandSearchTest, ABlockedTwinOrABusyNeighbourNoLongerEndsASearch) {
    standsWithOptions({{}, {}, {}, {}, {}});
    exclude(3, 4);
    // The service's static twin of record TWIN stands at S1, which is taken.
    staticAt(1, "TWIN", "PH-TWN", 0x100001);
    gf_claimStand(1, 99);
    ASSERT_TRUE(g_standTable[0].occupied);
    staticAt(4, "NEXT", "PH-NXT");  // in use beside S3
    feed->setParked({parkedAt(1, "TWIN", 0, 0x100001), parkedAt(3, "BESIDE", 0, 0x100003),
                     parkedAt(2, "FREE", 0, 0x100002)});
    SearchCounters counters;
    EXPECT_FALSE(lf_placeRtParkedByAge(0, counters, 5)) << "not reached: one stand of five";
    EXPECT_EQ(planned(), std::vector<std::string>{"FREE"});
    EXPECT_EQ(g_staticAircraft[0].plannerFlag, 0) << "the twin is not kept";

    // With only the service's traffic: a twin whose neighbour is in use.
    gf_clearStandMarks();
    gf_clearStaticsToPlace();
    g_staticAircraft.clear();
    staticAt(3, "TWIN", "PH-TWN", 0x100001);
    staticAt(4, "NEXT", "PH-NXT");
    std::vector<ParkedRecord> list{parkedAt(3, "TWIN", 0, 0x100001), parkedAt(2, "FREE", 0, 0x100002)};
    gf_searchRtParkPositions(list, 5);
    EXPECT_EQ(planned(), std::vector<std::string>{"FREE"});
    EXPECT_EQ(g_staticAircraft[0].plannerFlag, 0) << "the twin beside a stand in use is not kept";
    EXPECT_FALSE(g_standTable[2].occupied);

    // A static of the airport file beside a live stayer.
    gf_clearStandMarks();
    gf_clearStaticsToPlace();
    g_staticAircraft.clear();
    g_standTable[2].options = {klm("PH-AAA", "KLM1", kNow)};
    g_standTable[1].options = {klm("PH-BBB", "KLM2", kNow)};
    for (Stand& s : g_standTable)
        for (StandOption& o : s.options) o.number = 1;
    staticAt(3, "KLM1", "PH-AAA");
    staticAt(2, "KLM2", "PH-BBB");
    stayers.push_back(StayerEntry{"LIVE1", "PH-LIV", 0, 4, 10});
    EXPECT_FALSE(lf_keepFileStatics(kNow, 0, false, counters, 5));
    EXPECT_EQ(g_staticAircraft[0].plannerFlag, 0) << "beside the stayer";
    EXPECT_EQ(g_staticAircraft[1].plannerFlag, 1) << "the next static still stays";
    stayers.clear();
}

}  // namespace
}  // namespace tavo::test
