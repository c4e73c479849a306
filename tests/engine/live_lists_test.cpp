// The parked-aircraft action schedule, the list of active live aircraft for
// the aircraft selector and ObjectIdList.txt.

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gmock/gmock.h>

#include "engine/live_lists.h"
#include "foundation/files.h"
#include "foundation/random.h"
#include "foundation/text.h"

#include "engine_fixture.h"

using namespace tavo::test;
using ::testing::ElementsAre;

namespace {

using Event = std::pair<std::uint32_t, std::uint32_t>;

class LiveLists : public EngineTest {
protected:
    static LiveAc& parked(std::uint32_t hexid, std::uint32_t objectId) {
        LiveAc& ac = addLive(hexid, AcSimState::active, objectId, {point(50.0, 8.0)});
        ac.phase = AcPhase::parked;
        return ac;
    }
    static std::vector<Event> events() {
        std::vector<Event> out;
        for (const SimClientEventCommand& e : takeEvents()) out.emplace_back(e.eventId, e.data);
        return out;
    }
    static std::vector<Event> lights(std::array<std::uint32_t, 7> v) {
        return {{NAV_LIGHTS_SET, v[0]},   {BEACON_LIGHTS_SET, v[1]}, {LANDING_LIGHTS_SET, v[2]},
                {TAXI_LIGHTS_SET, v[3]},  {STROBES_SET, v[4]},       {LOGO_LIGHTS_SET, v[5]},
                {CABIN_LIGHTS_SET, v[6]}};
    }
    // Three active aircraft (parked on the ground, two in the air, one of
    // them without callsign, one without registration and a code of no
    // airline) and one not yet created.
    static void traffic() {
        LiveAc& a = parked(0x484B21, 101);
        a.onGround = 1;
        LiveAc& b = addLive(0x3C6444, AcSimState::active, 102, {}, "");
        b.registration = "D-AIBA";
        b.key.airline = gf_internAirlineCode("DLH");
        b.key.model = gf_internModelCode("A320");
        LiveAc& c = addLive(0xA00001, AcSimState::active, 300, {}, "AAL1");
        c.registration = "";
        c.key.airline = 60000;
        addLive(0xA00002, AcSimState::adding2sim, 0, {}, "UAL2");
    }
    static void simulator(std::uint8_t version) {
        startupChoice.store(std::make_shared<const StartupChoice>(StartupChoice{version, 0}));
    }
};

}  // namespace

TEST_F(LiveLists, OnlyTheLastScheduleEntryRunsOnceItIsDue) {
    parked(0x484B21, 101);
    parkedActionSchedule = {{0x484B21, 50, 0}, {0x484B21, 100, 1}};
    takeEvents();
    tickCount.store(99);
    gf_runParkedAcSchedule();
    EXPECT_TRUE(events().empty()) << "the first entry is due, the last one not";
    EXPECT_EQ(parkedActionSchedule.size(), 2u);
    tickCount.store(100);
    gf_runParkedAcSchedule();
    EXPECT_EQ(events(), lights({1, 0, 0, 1, 0, 1, 1}));
    gf_runParkedAcSchedule();
    EXPECT_THAT(events(), ElementsAre(Event{ENGINE_AUTO_SHUTDOWN, 0}));
    EXPECT_TRUE(parkedActionSchedule.empty());
}

TEST_F(LiveLists, EachActionReachesOnlyAParkedAircraftWithItsOwnObject) {
    struct Row {
        const char* name;
        std::uint32_t action;
        std::uint8_t navWhileParked;
        bool cargoStand;
        AcPhase phase;
        std::uint32_t objectId;
        std::vector<Event> expected;
    };
    const Row rows[] = {
        {"engines off", 0, 1, false, AcPhase::parked, 101, {{ENGINE_AUTO_SHUTDOWN, 0}}},
        {"arrival lights", 1, 0, false, AcPhase::parked, 101, lights({1, 0, 0, 1, 0, 1, 1})},
        {"parked lights, nav on", 2, 1, false, AcPhase::parked, 101, lights({1, 0, 0, 0, 0, 1, 0})},
        {"parked lights, nav off", 2, 0, false, AcPhase::parked, 101, lights({0, 0, 0, 0, 0, 1, 0})},
        {"unknown action", 3, 1, false, AcPhase::parked, 101, {}},
        {"no longer parked", 0, 1, false, AcPhase::pushing_back, 101, {}},
        {"waiting for its object again", 0, 1, false, AcPhase::parked, 0, {}},
    };
    harness->settings([](SettingsSnapshot& s) { s.RANDOM = 0; });
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        harness->settings([&](SettingsSnapshot& s) { s.NAV_LIGHTS_WHILE_PARKED = row.navWhileParked; });
        LiveAc& ac = parked(0x484B21, row.objectId);
        ac.phase = row.phase;
        ac.isCargo = row.cargoStand ? 1 : 0;
        parkedActionSchedule = {{0x484B21, 0, row.action}};
        takeEvents();
        gf_runParkedAcSchedule();
        EXPECT_EQ(events(), row.expected);
        EXPECT_TRUE(parkedActionSchedule.empty());
        g_liveAircraft.clear();
    }
    // With RANDOM on, a passenger aircraft keeps its cabin lit in about nine
    // of ten draws; on a cargo stand never.
    harness->settings([](SettingsSnapshot& s) { s.RANDOM = 1; });
    threadRandomEngine().engine.seed(34);
    for (const bool cargo : {false, true}) {
        LiveAc& ac = parked(0x484B21, 101);
        ac.isCargo = cargo ? 1 : 0;
        int lit = 0;
        for (int i = 0; i < 400; ++i) {
            parkedActionSchedule = {{0x484B21, 0, 2}};
            gf_runParkedAcSchedule();
            lit += events().back() == Event{CABIN_LIGHTS_SET, 1} ? 1 : 0;
        }
        if (cargo)
            EXPECT_EQ(lit, 0);
        else
            EXPECT_THAT(lit, ::testing::AllOf(::testing::Gt(340), ::testing::Lt(390)));
        g_liveAircraft.clear();
    }
}

TEST_F(LiveLists, TheSelectorListsActiveAircraftSortedByTheAirOrGroundChoice) {
    traffic();
    const std::string parkedText = "KLM1234, PH-BXA, 484b21, oid=101";
    const std::string noCallsign = "null, D-AIBA, 3c6444, oid=102";
    const std::string noRegistration = "AAL1, null, a00001, oid=300";
    harness->settings([](SettingsSnapshot& s) { s.ALL_AIR_GND_SELECTOR = 0; });
    EXPECT_THAT(gf_listActiveLiveAc(), ElementsAre(noRegistration, parkedText, noCallsign));
    harness->settings([](SettingsSnapshot& s) { s.ALL_AIR_GND_SELECTOR = 1; });
    EXPECT_THAT(gf_listActiveLiveAc(), ElementsAre(noRegistration, noCallsign));
    harness->settings([](SettingsSnapshot& s) { s.ALL_AIR_GND_SELECTOR = 2; });
    EXPECT_THAT(gf_listActiveLiveAc(), ElementsAre(parkedText));
    simulator(2);
    EXPECT_THAT(gf_listActiveLiveAc(), ElementsAre("KLM1234, PH-BXA, 484b21, oid=65"));
}

TEST_F(LiveLists, ObjectIdListHoldsOneLinePerActiveAircraftInListOrder) {
    traffic();
    const auto read = [] {
        std::ifstream in(objectIdListFile, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    };
    gf_writeTrafficDump();
    EXPECT_EQ(read(),
              "101;KLM1234;PH-BXA;KLM;B738;GND;PARKED\n"
              "102;;D-AIBA;DLH;A320;AIR;\n"
              "300;AAL1;;;B738;AIR;\n");
    simulator(2);
    gf_writeTrafficDump();
    EXPECT_EQ(read(),
              "65;KLM1234;PH-BXA;KLM;B738;GND;PARKED\n"
              "66;;D-AIBA;DLH;A320;AIR;\n"
              "12c;AAL1;;;B738;AIR;\n");

    std::filesystem::remove(objectIdListFile);
    std::filesystem::create_directories(objectIdListFile);
    newLogLines();
    gf_writeTrafficDump();
    EXPECT_THAT(newLogLines(), ::testing::HasSubstr("Failed to write " +
                                                    gf_pathToUtf8(std::filesystem::absolute(objectIdListFile))));
}
