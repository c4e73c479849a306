// Placing and removing static aircraft: the running numbers, the callsign a
// static shows, a placement with its create request and arrival time, the
// placements refused because the stand is taken, removals and placements that
// cancel out, the callsign switch of a leaving flight, and the average stay.

#include "planner_fixture.h"

namespace tavo::test {
namespace {

class StaticPlacementTest : public PlannerTest {
protected:
    static StaticToPlace item(std::int32_t standId, std::string callsign1, std::string callsign2 = {},
                              bool callsign1First = true, std::string_view model = "B738") {
        StaticToPlace i;
        i.source = 1;
        i.standId = standId;
        i.key.airline = gf_internAirlineCode("KLM");
        i.key.model = gf_internModelCode(model);
        i.callsign1 = std::move(callsign1);
        i.callsign2 = std::move(callsign2);
        i.registration = "PH-BXA";
        i.callsign1First = callsign1First;
        return i;
    }
    static std::uint64_t packed(std::uint32_t day, std::uint32_t slot) { return (std::uint64_t{slot} << 32) | day; }
};

TEST_F(StaticPlacementTest, TheRunningNumberSkipsZeroAndEveryNumberStillHeld) {
    standsWithOptions({{}, {}, {}, {}});
    struct Row {
        std::uint32_t last;
        std::vector<std::uint32_t> held;
        std::uint32_t next;
    };
    for (const Row& row : {Row{9998, {}, 9999}, Row{9999, {}, 1}, Row{9999, {1, 2}, 3}, Row{5, {6, 8}, 7}}) {
        g_staticAircraft.clear();
        for (const std::uint32_t n : row.held) staticAt(1, "HELD", "PH-HLD").hexid = n;
        gf_resetStaticNumber(row.last);
        EXPECT_EQ(gf_nextStaticNumber(), row.next) << row.last;
    }
}

TEST_F(StaticPlacementTest, TheCallsignShownIsThePreferredOneWithoutTrailingUnderscores) {
    struct Row {
        StaticToPlace item;
        std::string callsign;
    };
    const Row rows[] = {{item(1, "KLM1__", "KLM2"), "KLM1"},
                        {item(1, "KLM1", "KLM2_", false), "KLM2"},
                        {item(1, "KLM1", "", false), "KLM1"},
                        {item(1, "", "", true), ""}};
    for (const Row& row : rows) EXPECT_EQ(lf_determineStaticCallsign(row.item), row.callsign) << row.item.callsign1;
    EXPECT_NE(newLogLines().find("==> lf_determineStaticCallsign callsign is empty.."), std::string::npos);
}

TEST_F(StaticPlacementTest, APlacedStaticIsQueuedWithItsLiveryAndTakenToHaveArrivedAgeSlotsAgo) {
    standsWithOptions({{}, {}});
    g_standTable[1].heading = 1.0;
    setWeek(1, 0);  // Monday 00:15
    StaticToPlace planned = item(2, "KLM1__");
    planned.ageSlots = 3;
    planned.hexid = 0x4840D6;
    planned.source = 0;
    staticsToPlace = {planned, item(1, "")};
    gf_placeNextStaticAircraft();  // the last item first: no callsign of its own
    gf_placeNextStaticAircraft();
    ASSERT_EQ(g_staticAircraft.size(), 2u);
    EXPECT_EQ(g_staticAircraft[0].callsign, "KLM1") << "airline code and running number";
    const AcBase& s = g_staticAircraft[1];
    EXPECT_EQ(s.callsign, "KLM1");
    EXPECT_EQ(s.hexid, 2u);
    EXPECT_EQ(s.realHexid, 0x4840D6u);
    EXPECT_EQ(s.fromAirportFile, 0u);
    EXPECT_EQ(s.simState, AcSimState::adding2sim);
    EXPECT_EQ(s.parkTime, static_cast<double>(packed(7, 45))) << "Sunday, slot 45";
    ASSERT_EQ(staticCreateQueue.size(), 2u);
    const AiCreateRequest& request = staticCreateQueue.back();
    EXPECT_EQ(request.title, "KLM B738");
    EXPECT_EQ(request.tailNumber, "PH-BXA");
    EXPECT_EQ(request.hexid, 2u);
    EXPECT_DOUBLE_EQ(request.position.Heading, 57.29577951308232);
    EXPECT_DOUBLE_EQ(request.position.Latitude, g_standTable[1].latitude);
}

TEST_F(StaticPlacementTest, AStandThatIsTakenOrBesideAMovingAircraftGetsNoStatic) {
    struct Row {
        const char* what;
        std::function<void()> arrange;
        std::int32_t standId;
        const char* logged;  // empty: dropped without a line
    };
    const Row rows[] = {
        {"a live aircraft pushing back from a neighbour",
         [] {
             FlightIdentity id;
             id.callsign = "LIVE1";
             g_liveAircraft.emplace_back(std::deque<StreamPoint>{StreamPoint{}}, gf_makeAcInfo(id), 1.7e9);
             g_liveAircraft.back().phase = AcPhase::pushing_back;
             g_liveAircraft.back().standId = 2;
         },
         1, "S1            : no static parking for KLM1, live aircraft LIVE1 is adjacent at S2, possibly colliding"},
        {"a static on the stand", [] { staticAt(1, "STAT1", "PH-STA"); }, 1,
         "S1            : no static parking for KLM1, static aircraft STAT1 standing here"},
        {"an unknown stand", [] {}, 9, "==> stand with id 9 not found"},
        {"helicopters switched off", [] { gf_updateSettings([](SettingsSnapshot& s) { s.HELICOPTERS = 0; }); }, 1, ""},
    };
    for (const Row& row : rows) {
        standsWithOptions({{}, {}});
        exclude(1, 2);
        g_liveAircraft.clear();
        g_staticAircraft.clear();
        row.arrange();
        staticsToPlace = {item(row.standId, "KLM1", "", true, std::string_view(row.logged).empty() ? "EC35" : "B738")};
        newLogLines();
        gf_placeNextStaticAircraft();
        EXPECT_TRUE(staticCreateQueue.empty()) << row.what;
        EXPECT_TRUE(staticsToPlace.empty()) << row.what;
        const std::string log = newLogLines();
        if (*row.logged != '\0') EXPECT_NE(log.find(row.logged), std::string::npos) << row.what << "\n" << log;
        else EXPECT_EQ(log.find("no static parking"), std::string::npos) << row.what;
    }
}

// A static on its way out of the simulator holds neither its own stand nor
// the stands it excludes; one that stays holds both.
TEST_F(StaticPlacementTest, AStaticBeingRemovedNoLongerBlocksItsStandOrItsNeighbours) {
    struct Row {
        std::uint32_t staticStand;
        AcSimState state;
        bool placed;
    };
    for (const Row& row : {Row{1, AcSimState::removingfromsim, true}, Row{2, AcSimState::removingfromsim, true},
                           Row{1, AcSimState::active, false}, Row{2, AcSimState::active, false}}) {
        standsWithOptions({{}, {}});
        exclude(1, 2);
        g_staticAircraft.clear();
        staticCreateQueue.clear();
        staticAt(row.staticStand, "OLD1", "PH-OLD").simState = row.state;
        staticsToPlace = {item(1, "KLM1")};
        gf_placeNextStaticAircraft();
        EXPECT_EQ(staticCreateQueue.size(), row.placed ? 1u : 0u)
            << "static at S" << row.staticStand << (row.placed ? " being removed" : " staying");
    }
}

TEST_F(StaticPlacementTest, ARemovalAndAPlacementOfOneCallsignAtOneStandCancelOut) {
    standsWithOptions(std::vector<std::vector<StandOption>>(12));
    staticAt(12, "X", "PH-XXX");
    staticAt(3, "A", "PH-AAA");
    staticAt(5, "B", "PH-BBB");
    staticRemovals = {{"A", 3}, {"X", 12}, {"B", 5}};
    staticsToPlace = {item(12, "X"), item(5, "NEW")};
    lf_cancelRemovalsAndPlacements();
    std::vector<std::string> removals;
    for (const StaticRemoval& r : staticRemovals) removals.push_back(r.callsign);
    EXPECT_EQ(removals, (std::vector<std::string>{"B", "A"})) << "stand 5 gets a new static: cleared first";
    EXPECT_EQ(planned(), std::vector<std::string>{"NEW"});
    lf_removeRemovals();
    EXPECT_EQ(g_staticAircraft[0].simState, AcSimState::active) << "the static at stand 12 is not touched";
    EXPECT_EQ(g_staticAircraft[1].simState, AcSimState::removingfromsim);
}

TEST_F(StaticPlacementTest, AKeptStaticShowsItsDepartingCallsignWhenItsFlightLeavesWithinTheHalfHour) {
    struct Row {
        std::uint32_t slot;
        std::vector<StandOption> options;
        const char* shown;
    };
    const auto option = [](std::uint32_t day, std::uint32_t first, std::uint32_t last) {
        return flightOption("KLM", "B738", "PH-BXA", "KLM1", day, first, last, true, "KLM2");
    };
    const Row rows[] = {{20, {option(3, 18, 20)}, "KLM2"},
                        {20, {option(3, 18, 21)}, "KLM1"},
                        {47, {option(3, 40, 47), option(4, 0, 3)}, "KLM1"},
                        {47, {option(3, 40, 47)}, "KLM2"},
                        {20, {option(2, 18, 20)}, "KLM1"}};  // no option today: it keeps its callsign
    for (const Row& row : rows) {
        standsWithOptions({row.options});
        g_staticAircraft.clear();
        AcBase& s = staticAt(1, "KLM1", "PH-BXA");
        s.identity3 = "KLM2";
        s.plannerFlag = 1;
        lf_switchStaticCallsigns(WeekTime{3, row.slot});
        EXPECT_EQ(g_staticAircraft[0].callsign, row.shown) << row.slot << " " << row.options.size();
    }
}

TEST_F(StaticPlacementTest, TheAverageStayCountsTheStaticsSinceTheyArrivedThisWeek) {
    standsWithOptions({{}, {}, {}});
    staticAt(1, "A", "PH-AAA").parkTime = static_cast<double>(packed(3, 16));  // 4 slots ago
    staticAt(2, "B", "PH-BBB").parkTime = static_cast<double>(packed(3, 12));  // 8 slots ago
    staticAt(3, "C", "PH-CCC").parkTime = static_cast<double>(packed(5, 0));   // later in the week
    EXPECT_EQ(gf_countStaticAircraft(true), 3);
    EXPECT_FLOAT_EQ(gf_gui().staticFit, 3.5f);

    gf_gui().staticFit = -1.0f;
    g_weekSearchUsed = true;
    EXPECT_EQ(gf_countStaticAircraft(true), 3);
    EXPECT_FLOAT_EQ(gf_gui().staticFit, -1.0f) << "a week search says nothing about stays";
}

}  // namespace
}  // namespace tavo::test
