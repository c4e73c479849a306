// The parked traffic end to end on the simulator model: a planned airport
// gets its statics created one per 20 engine ticks with the liveries that
// matching gives, made active and counted; an adjustment later in the day
// removes those whose flights left and adds the next one; leaving the
// airport's reach removes the rest.

#include <algorithm>
#include <map>

#include "airports/parked_traffic_end.h"
#include "planner_fixture.h"

namespace tavo::test {
namespace {

class ParkedTrafficEndToEnd : public PlannerTest {
protected:
    void SetUp() override {
        PlannerTest::SetUp();
        setParkingParameters();
        harness->connect();
    }
    static std::size_t activeStatics() {
        return static_cast<std::size_t>(std::count_if(g_staticAircraft.begin(), g_staticAircraft.end(), [](const AcBase& s) {
            return s.simState == AcSimState::active;
        }));
    }
    static std::map<std::string, std::string> titlesByCallsign() {
        std::map<std::string, std::string> out;
        for (const AcBase& s : g_staticAircraft) out[s.callsign] = std::string(s.liveryTitle);
        return out;
    }
};

TEST_F(ParkedTrafficEndToEnd, APlannedAirportGetsItsStaticsAndAnAdjustmentRemovesAndAdds) {
    std::vector<ApfStand> stands = threeStands();
    // Day 3: KLM and Lufthansa stand from 09:00 to 11:29, BA from 15:00.
    stands[0].options = {apfOption("PH-BXA", "3", "18:22", std::string("KLM1"))};
    XmlAttributes dlh = apfOption("D-ADLH", "3", "18:22", std::string("DLH2"));
    dlh.insert(dlh.end(), {{"airl", "DLH"}, {"type", "A320"}});
    XmlAttributes baw = apfOption("G-EUPA", "3", "30:34", std::string("BAW3"));
    baw.insert(baw.end(), {{"airl", "BAW"}, {"type", "A319"}});
    stands[1].options = {dlh};
    stands[2].options = {baw};
    frankfurtFile(stands, {{"Qf_real", "40"}}).write(myThirdpartyDir / "EDDF.xml");
    gf_setCurrentAirport(*gf_findAirport(IcaoCode("EDDF")));
    gf_setParkedTrafficEnd(nullptr);

    gf_planParkedTraffic();
    ASSERT_EQ(staticsToPlace.size(), 2u);

    // One creation slot every 20 ticks: note the tick at which each static
    // was placed.
    std::vector<std::int32_t> placedAt;
    ASSERT_TRUE(harness->tickUntil(
        [&] {
            if (g_staticAircraft.size() > placedAt.size()) placedAt.push_back(harness->engineTick());
            return activeStatics() == 2;
        },
        3000));
    ASSERT_EQ(placedAt.size(), 2u);
    EXPECT_EQ(placedAt[1] - placedAt[0], 20);
    EXPECT_EQ(titlesByCallsign(), (std::map<std::string, std::string>{{"DLH2", "Lufthansa A320"}, {"KLM1", "KLM B738"}}));
    for (const AcBase& s : g_staticAircraft) EXPECT_NE(s.objectId, 0u) << s.callsign;
    EXPECT_EQ(gf_countStaticAircraft(false), 2);
    EXPECT_EQ(g_parkedStaticsCount.load(), 2u);

    gf_updateParkedTraffic();
    EXPECT_FALSE(g_generatingParking.load()) << "every planned static is placed";

    // 16:00: the morning flights have left, BA's stands there.
    setWeek(3, 32);
    newLogLines();
    lf_adjustParking(false);
    const std::string log = newLogLines();
    EXPECT_NE(log.find("KLM1     static parked removed, no longer within your specs"), std::string::npos) << log;
    EXPECT_NE(log.find("Parking adjustments: 2 to be removed, 1 to be added"), std::string::npos);
    ASSERT_TRUE(harness->tickUntil(
        [] { return g_staticAircraft.size() == 1 && activeStatics() == 1; }, 3000));
    EXPECT_EQ(titlesByCallsign(), (std::map<std::string, std::string>{{"BAW3", "BA A319"}}));
    EXPECT_EQ(gf_countStaticAircraft(false), 1);

    // The user leaves the airport's reach: its parked traffic ends.
    gf_endParkedTraffic();
    EXPECT_FALSE(gf_currentAirport());
    EXPECT_TRUE(g_standTable.empty());
    ASSERT_TRUE(harness->tickUntil([] { return g_staticAircraft.empty(); }, 3000));
}

}  // namespace
}  // namespace tavo::test
