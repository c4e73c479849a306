// The parked-traffic planner: the wanted number with only the service's
// parked traffic, the time a plan is credited to the engine clock, surplus
// live stayers, switching RT_PARKTRAFFIC_ONLY, the fourteen-second step
// without a user position, the end of an airport's parked traffic in its
// order, and a load that fails.

#include <filesystem>
#include <fstream>
#include <sstream>

#include "airports/stand_options.h"
#include "engine/engine_state.h"
#include "planner_fixture.h"
#include "support/user_aircraft.h"

namespace tavo::test {
namespace {

class ParkedPlannerTest : public PlannerTest {
protected:
    void SetUp() override {
        PlannerTest::SetUp();
        setParkingParameters();
    }
    // Frankfurt's three stands A1..A3 with a flight each around now (day 3,
    // slots 18 to 22), as a handmade file.
    static void writeFrankfurt() {
        std::vector<ApfStand> stands = threeStands();
        stands[0].options = {apfOption("PH-BXA", "3", "18:22", std::string("KLM1"))};
        frankfurtFile(stands, {{"Qf_real", "40"}}).write(myThirdpartyDir / "EDDF.xml");
        gf_setCurrentAirport(*gf_findAirport(IcaoCode("EDDF")));
    }
    // A live aircraft parked at the stand for that many minutes.
    static void liveParkedAt(std::uint32_t stand, std::uint32_t hexid, std::int64_t minutes) {
        FlightIdentity id;
        id.key.airline = gf_internAirlineCode("KLM");
        id.key.model = gf_internModelCode("B738");
        id.callsign = fmt::format("LIVE{}", hexid);
        id.registration = fmt::format("PH-L{:02}", hexid);
        AcInfo info = gf_makeAcInfo(id);
        info.hexid = 0x300000 + hexid;
        StreamPoint p;
        p.lat = g_standTable[stand - 1].latitude;
        p.lon = g_standTable[stand - 1].longitude;
        g_liveAircraft.emplace_back(std::deque<StreamPoint>{p}, info, 1.7e9);
        LiveAc& ac = g_liveAircraft.back();
        ac.simState = AcSimState::active;
        ac.objectId = 900 + hexid;
        ac.phase = AcPhase::parked;
        ac.onGround = 1;
        ac.standId = static_cast<std::int32_t>(stand);
        ac.phaseStartClock = gf_systemClock100ns() - minutes * 600'000'000;
    }
    static std::vector<std::string> removedStatics() {
        std::vector<std::string> out;
        for (const AcBase& s : g_staticAircraft)
            if (s.simState == AcSimState::removingfromsim) out.push_back(s.callsign);
        return out;
    }
};

TEST_F(ParkedPlannerTest, WithOnlyTheServicesParkedTrafficTheWantedNumberIsCappedByTheStands) {
    gf_updateSettings([](SettingsSnapshot& s) { s.RT_PARKTRAFFIC_ONLY = 1; });
    struct Row {
        std::int32_t maxParkSel;
        std::int32_t wanted;
        std::int32_t percent;
        int fetches;
    };
    for (const Row& row : {Row{500, 37, 100, 1}, Row{0, 0, 0, 0}}) {
        gf_updateSettings([&](SettingsSnapshot& s) { s.MAX_PARK_SEL = row.maxParkSel; });
        standsWithOptions(std::vector<std::vector<StandOption>>(37));
        feed->fetches = 0;
        newLogLines();
        lf_planParking();
        EXPECT_EQ(gf_gui().parkingTargetCount, row.wanted);
        EXPECT_EQ(gf_gui().parkingTargetPercent, row.percent);
        EXPECT_EQ(parkedTarget, row.wanted);
        EXPECT_EQ(feed->fetches, row.fetches) << "handed over only when statics are wanted";
        EXPECT_NE(newLogLines().find("no parking positions found"), std::string::npos);
        EXPECT_FALSE(g_generatingParking.load()) << "the controls are enabled at once";
    }
}

TEST_F(ParkedPlannerTest, APlanOfFiveMillisecondsOrMoreIsCreditedToTheEngineClockInWholeTicks) {
    writeFrankfurt();
    for (const auto& [ms, ticks] : {std::pair{4, 0}, {5, 1}, {14, 1}, {15, 2}}) {
        std::int64_t calls = 0;
        gf_setPlannerClock([&calls, ms = ms] { return calls++ == 0 ? 1'000'000'000 : 1'000'000'000 + ms * 1'000'000; });
        const std::int32_t before = tickCount.load();
        gf_planParkedTraffic();
        EXPECT_EQ(tickCount.load() - before, ticks) << ms << " ms";
    }
}

TEST_F(ParkedPlannerTest, AnAdjustmentWithMoreLiveStayersThanWantedRemovesTheLongestParkedFirst) {
    gf_updateSettings([](SettingsSnapshot& s) { s.parking_percentage = 50; });
    standsWithOptions(std::vector<std::vector<StandOption>>(20));
    for (std::uint32_t i = 1; i <= 12; ++i) liveParkedAt(i, i, 5 * i);  // LIVE12 stood longest
    newLogLines();
    lf_adjustParking(false);
    std::vector<std::string> removed;
    for (const LiveAc& ac : g_liveAircraft)
        if (ac.simState == AcSimState::removingfromsim) removed.push_back(ac.callsign);
    std::sort(removed.begin(), removed.end());
    EXPECT_EQ(removed, (std::vector<std::string>{"LIVE11", "LIVE12"}));
    EXPECT_EQ(stayers.size(), 10u);
    EXPECT_NE(newLogLines().find("Parking adjustments: 2 more live ac than wanted"), std::string::npos);
}

TEST_F(ParkedPlannerTest, SwitchingParkTrafficOnlyOnDropsTheFileStaticsAndOffKeepsTheServicesTwins) {
    standsWithOptions(std::vector<std::vector<StandOption>>(4));
    staticAt(1, "FILE1", "PH-FIL");
    staticAt(2, "RT2", "PH-RT2", 0x100002);
    staticAt(3, "RT3", "PH-RT3", 0x100003);

    gf_updateSettings([](SettingsSnapshot& s) { s.RT_PARKTRAFFIC_ONLY = 1; });
    lf_adjustParking(true);
    EXPECT_EQ(removedStatics(), std::vector<std::string>{"FILE1"}) << "the service's statics stay";

    for (AcBase& s : g_staticAircraft) s.simState = AcSimState::active;
    gf_updateSettings([](SettingsSnapshot& s) { s.RT_PARKTRAFFIC_ONLY = 0; });
    feed->setParked({parkedAt(2, "RT2", 0, 0x100002, "PH-RT2")});
    lf_adjustParking(false);
    EXPECT_EQ(g_staticAircraft[1].plannerFlag, 1) << "the parked record keeps its twin";
    EXPECT_EQ(removedStatics(), (std::vector<std::string>{"FILE1", "RT3"}));
}

// What a plan or an adjustment plans can be placed. With only the service's
// parked traffic, a service static whose stand a younger record was just
// planned for is not kept: it is removed and the new aircraft takes the
// stand. A static that stays where a static was planned (one the switch to
// that mode keeps, one a plan never removes, one still being created) takes
// the planned one off the plan.
TEST_F(ParkedPlannerTest, EveryPlannedStaticCanBePlaced) {
    enum class Run { plan, adjust, switchOn };
    struct Row {
        const char* what;
        bool rtOnly;
        Run run;
        bool twinRecord;  // the static's own record is still in the service's list
        AcSimState stateBefore;
        std::vector<std::string> placed;
        AcSimState stateAfter;
        const char* line;
    };
    const Row rows[] = {
        {"a twin whose stand was just planned", true, Run::adjust, true, AcSimState::active, {"NEW1"},
         AcSimState::removingfromsim, "RT Parking changes: 1 to be removed, 1 to be added"},
        {"a static the switch keeps", true, Run::switchOn, false, AcSimState::active, {}, AcSimState::active,
         "RT Parking changes: 0 to be removed, 0 to be added"},
        {"a static a plan keeps", false, Run::plan, false, AcSimState::active, {"KLM2"}, AcSimState::active,
         "1 positions (50% vs wanted 100%)"},
        {"a static still being created", false, Run::adjust, false, AcSimState::adding2sim, {"KLM2"},
         AcSimState::adding2sim, "Parking adjustments: 1 to be removed, 1 to be added"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        gf_updateSettings([&](SettingsSnapshot& s) { s.RT_PARKTRAFFIC_ONLY = row.rtOnly ? 1 : 0; });
        // S1 and S2 each hold a flight of the airport file now; OLD1 stands
        // at S1 with a flight of its own.
        standsWithOptions({{flightOption("KLM", "B738", "PH-BXA", "KLM1", 3, 20, 20)},
                           {flightOption("KLM", "B738", "PH-BXB", "KLM2", 3, 20, 20)}});
        g_staticAircraft.clear();
        staticCreateQueue.clear();
        staticAt(1, "OLD1", "PH-OLD", row.rtOnly ? 0x100001 : 0).simState = row.stateBefore;
        std::vector<ParkedRecord> records;
        // The youngest record names S1; the twin's own record now names S2.
        if (row.rtOnly) records.push_back(parkedAt(1, "NEW1", 0, 0x100009, "PH-NEW"));
        if (row.twinRecord) records.push_back(parkedAt(2, "OLD1", 3, 0x100001, "PH-OLD"));
        feed->setParked(records);
        newLogLines();
        if (row.run == Run::plan) lf_planParking();
        else lf_adjustParking(row.run == Run::switchOn);
        EXPECT_EQ(g_staticAircraft[0].simState, row.stateAfter);
        EXPECT_EQ(planned(), row.placed);
        const std::string log = newLogLines();
        EXPECT_NE(log.find(row.line), std::string::npos) << log;
        while (!staticsToPlace.empty()) gf_placeNextStaticAircraft();
        EXPECT_EQ(staticCreateQueue.size(), row.placed.size()) << "every planned static is placed";
    }
}

TEST_F(ParkedPlannerTest, WithoutAUserPositionTheStepOnlyEndsAFinishedPlan) {
    writeFrankfurt();
    gf_clearCurrentAirport();
    g_generatingParking.store(true);
    placeUserAircraft(LaLo{0.0, 0.0}, 0.0, true);
    gf_updateParkedTraffic();
    EXPECT_FALSE(g_generatingParking.load()) << "the plan's statics are all placed";
    EXPECT_EQ(gf_gui().staticFit, 0.0f) << "the statics' average stay is shown";
    EXPECT_FALSE(gf_currentAirport()) << "no airport is chosen at (0, 0)";

    placeUserAircraft(LaLo{50.0333, 8.5706}, 364.0, true);
    gf_updateParkedTraffic();
    ASSERT_TRUE(gf_currentAirport());
    EXPECT_EQ(gf_currentAirport()->icao, IcaoCode("EDDF"));
    EXPECT_TRUE(g_parkingPlanRequested.load());
}

TEST_F(ParkedPlannerTest, TheEndOfAnAirportsParkedTrafficSavesSetsBackAndEmptiesEverything) {
    writeFrankfurt();
    const std::int32_t userPercentage = parking_percentage.value();
    gf_planParkedTraffic();
    ASSERT_EQ(g_standTable.size(), 3u);
    ASSERT_TRUE(gf_parkedTrafficSetUp());
    EXPECT_TRUE(gf_loadedAirportHasStands());
    // Learned at A2 during the visit; the airport's settings were changed.
    StandOption learned = flightOption("DLH", "A320", "D-ALRN", "DLH9", 3, 20, 20);
    learned.number = 1;
    g_standTable[1].options.push_back(learned);
    g_learnedOptionCount = 1;
    parking_percentage.set(userPercentage == 65 ? 30 : 65);
    const LaLo a1{g_standTable[0].latitude, g_standTable[0].longitude};
    placeUserAircraft(LaLo{a1.lat + 0.001, a1.lon}, 0.0, true);

    gf_resetParkedTraffic();
    std::ostringstream saved;
    saved << std::ifstream(learnedThirdpartyDir / "stock" / "EDDF.xml").rdbuf();
    EXPECT_NE(saved.str().find("D-ALRN"), std::string::npos) << "saved before the stands were emptied";
    EXPECT_EQ(parking_percentage.value(), userPercentage);
    EXPECT_FALSE(gf_parkedTrafficSetUp());
    EXPECT_FALSE(gf_loadedAirportHasStands());
    EXPECT_FALSE(gf_currentAirport());
    EXPECT_TRUE(gf_gui().parkAirport.isNone());
    EXPECT_EQ(gf_gui().standOptionUpdates, 0u);
    EXPECT_TRUE(gf_gui().parkedTrafficText.empty() && gf_gui().parkAirportText.empty());
    EXPECT_TRUE(g_standTable.empty() && g_standNameIndex.empty() && staticsToPlace.empty());
    EXPECT_FALSE(gf_standNameAtPosition(a1)) << "the published stands are empty";
    EXPECT_EQ(parkedTarget, -1);
    EXPECT_EQ(gf_isControlEnabled(FlushButton.controlId), false);
}

TEST_F(ParkedPlannerTest, AFailedLoadIsShownAndEndsTheParkedTraffic) {
    AirportListEntry unknown = *gf_findAirport(IcaoCode("EDDM"));
    unknown.icao = IcaoCode("ABCD");  // no file anywhere
    gf_setCurrentAirport(unknown);
    g_generatingParking.store(true);
    gf_planParkedTraffic();
    EXPECT_EQ(gf_gui().statusLine, "lf_readParkedFile ABCD not found") << "still shown after the reset";
    EXPECT_FALSE(gf_currentAirport());
    EXPECT_FALSE(g_parkingActive.load());
    EXPECT_FALSE(g_generatingParking.load());
}

}  // namespace
}  // namespace tavo::test
