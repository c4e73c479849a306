// The removal policies: ghosts, static twins, the airport change,
// categories, the destination stand, live-vs-parked passes, the parking
// target, the live limit, long stayers, the block, TCAS coverage and the
// average stay.

#include <gmock/gmock.h>

#include <fmt/format.h>

#include "airports/parking_state.h"
#include "engine/removal_policies.h"
#include "engine/user_position.h"
#include "foundation/geodesy.h"
#include "services/gui.h"
#include "support/dbase_builder.h"
#include "support/stand_table.h"

#include "engine_fixture.h"

using namespace tavo::test;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

std::atomic<std::int64_t> l_clock100ns{0};
constexpr std::int64_t kMinute = 600'000'000;

std::uint64_t lf_week(std::uint32_t day, std::uint32_t slot) { return (std::uint64_t{slot} << 32) | day; }

class Policies : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        gf_setSystemClock100ns([] { return l_clock100ns.load(); });
    }
    void TearDown() override {
        gf_setSystemClock100ns(nullptr);
        EngineTest::TearDown();
    }
    static LiveAc& parkedLive(std::uint32_t hexid, std::int64_t since, std::int32_t standId = 0) {
        LiveAc& ac = addLive(hexid, AcSimState::active, hexid & 0xFF);
        ac.phase = AcPhase::parked;
        ac.category = Large;
        ac.phaseStartClock = since;
        ac.standId = standId;
        return ac;
    }
    // The states of the list, 'r' for an aircraft being removed.
    template <typename List>
    static std::string gone(const List& list) {
        std::string out;
        for (const auto& a : list) out += a.simState == AcSimState::removingfromsim ? 'r' : '.';
        return out;
    }
};

}  // namespace

TEST_F(Policies, GhostsAndStaticTwins) {
    setStandTable({StandSpec("B7", {50.0, 8.0})});
    addLive(0x100001, AcSimState::active, 1, {}, "DLH400");
    for (AcPhase phase : {AcPhase::taxi, AcPhase::parked}) {
        LiveAc& ghost = addLive(0x100002, AcSimState::active, 2, {}, "DLH400_");
        ghost.phase = phase;
        ghost.standId = 1;
        EXPECT_TRUE(lf_hasLiveWithCallsignStem("DLH400_"));
        lf_removeGhostWithUnderscoreIfPresent("DLH400");
    }
    EXPECT_EQ(gone(g_liveAircraft), ".rr");
    EXPECT_THAT(removedGhosts, ElementsAre("DLH400_", "DLH400_"));
    EXPECT_EQ(newLogLines(),
              "          DLH400_  is a ghost and will be removed, continue with DLH400\n"
              "B7            : DLH400_  is a ghost and will be removed, continue with DLH400\n");

    // Statics that are a live flight: by the service's hexid, registration,
    // identity texts and the stem of a ghost's callsign.
    struct Row {
        std::string callsign, identity3;
        std::uint32_t fromFile;
        std::string staticRegistration, staticIdentity2;
        bool removed;
    };
    const Row rows[] = {{"DLH400", "", 0, "", "", true},         {"DLH400", "", 1, "", "", false},
                        {"DLH400", "", 1, "PH-BXA", "", true},   {"DLH400", "", 1, "", "DLH400", true},
                        {"DLH400", "LH400", 1, "", "LH400", true}, {"DLH400_", "", 1, "", "DLH400", true},
                        {"DLH40", "", 1, "", "DLH4", false}};
    for (const Row& row : rows) {
        g_staticAircraft.clear();
        AcBase& s = addStatic(4, AcSimState::active, 40);
        s.realHexid = 0x4840D6;
        s.fromAirportFile = row.fromFile;
        s.registration = row.staticRegistration;
        s.identity2 = row.staticIdentity2;
        LiveAc& ac = addLive(0x4840D6, AcSimState::active, 3, {}, row.callsign);
        ac.identity3 = row.identity3;
        lf_checkForStaticWithCallsignOrHexidAndRemove(ac);
        EXPECT_EQ(s.simState == AcSimState::removingfromsim, row.removed) << row.callsign << row.staticIdentity2;
    }
    // On the ground the registrations decide when both have one.
    g_liveAircraft.clear();
    g_staticAircraft.clear();
    addStatic(5, AcSimState::active, 50).registration = "D-AIBB";
    addStatic(6, AcSimState::active, 60).identity3 = "KLM1234";
    addLive(0x4840D7, AcSimState::active, 2, {point(50, 8), point(50, 8.001, 0, false, 100)});
    gf_checkForAllGndIfParkedVersionExistsAndRemove();
    EXPECT_EQ(gone(g_staticAircraft), ".r");
    // One static a call: a second twin waits for the next.
    addLive(0x4840D8, AcSimState::active, 3, {point(50, 8), point(50, 8.001, 0, false, 100)}).registration = "D-AIBB";
    gf_checkForAllGndIfParkedVersionExistsAndRemove();
    EXPECT_EQ(gone(g_staticAircraft), "rr");
    addStatic(7, AcSimState::active, 70).identity3 = "KLM1234";
    addStatic(8, AcSimState::active, 80).identity3 = "KLM1234";
    gf_checkForAllGndIfParkedVersionExistsAndRemove();
    EXPECT_EQ(gone(g_staticAircraft), "rrr.");
}

TEST_F(Policies, AirportChangeCategoriesAndTheDestinationStand) {
    using P = AcPhase;
    for (P phase : {P::pushing_back, P::pushed_back, P::taxi, P::takeoff_roll, P::landing_roll, P::parked,
                    P::takeoff, P::flying, P::landing, P::parking}) {
        LiveAc& ac = addLive(0x200000 + std::uint32_t(phase), AcSimState::active, 20 + std::uint32_t(phase));
        ac.phase = phase;
        ac.standId = 3;
    }
    addLive(0x200100, AcSimState::adding2sim).phase = P::taxi;  // its create still waits
    liveCreateQueue.push_back(request(0x200100));
    addStatic(7, AcSimState::active, 70);
    addStatic(8, AcSimState::adding2sim);
    staticCreateQueue.push_back(request(8));
    lf_removeAllStaticAndLiveAtAirport();
    EXPECT_THAT(newLogLines(), HasSubstr("sid==0?       : STA7     removed"));
    EXPECT_EQ(gone(g_staticAircraft), "r");  // the queued one taken back
    EXPECT_TRUE(staticCreateQueue.empty() && liveCreateQueue.empty());
    EXPECT_EQ(gone(g_liveAircraft), "rrrrrr....");
    EXPECT_EQ(g_liveAircraft[5].standId, 0);
    EXPECT_EQ(g_liveAircraft[9].standId, 3);

    resetToSmallDbase();
    g_liveAircraft.clear();
    g_staticAircraft.clear();
    addLive(0x300001, AcSimState::active, 31);
    addLive(0x300002, AcSimState::active, 32).category = Heavy;
    gf_removeLiveAircraftCategory(Large);
    EXPECT_THAT(newLogLines(), HasSubstr("KLM1234 B738 removed because 'Large' no longer included category"));
    EXPECT_EQ(gone(g_liveAircraft), "r.");
    addStatic(9, AcSimState::active, 90);
    gf_removeStaticAircraftCategory(Rotorcraft);
    EXPECT_EQ(gone(g_staticAircraft), ".");
    gf_removeStaticAircraftCategory(Large);
    EXPECT_EQ(gone(g_staticAircraft), "r");

    // The destination stand: its static first, then a live one parked there;
    // a name that names no stand frees nothing.
    g_liveAircraft.clear();
    g_staticAircraft.clear();
    setStandTable({StandSpec("A1", {50.0, 8.0}), StandSpec("A2", {50.001, 8.0})});
    parkedLive(0x400001, 0, 2);
    parkedLive(0x400002, 0, 0);
    addStatic(10, AcSimState::active, 101).standId = 2;
    for (const char* name : {"", "Z9", "A2", "A2"}) gf_clearUserDestGate(name);
    EXPECT_EQ(gone(g_staticAircraft) + gone(g_liveAircraft), "rr.");
}

TEST_F(Policies, LiveVsParkedChecksMoversUnlessAFullPassIsDue) {
    for (int i = 0; i < 3; ++i)
        addLive(0x500001 + i, AcSimState::active, 51 + i, {point(50 + i * 0.01, 8), point(50, 8.001)})
            .collisionRadiusNm = 0.01;
    const auto lay = [](int i) {
        AcBase& s = addStatic(20 + i, AcSimState::active, 120 + i);
        s.standPos = {50 + i * 0.01, 8.0};
        s.collisionRadiusNm = 0.01;
    };
    gf_checkLiveVsParkedCollisions();  // nothing parked: no call counted
    lay(0);
    gf_checkLiveVsParkedCollisions();  // never checked: all three
    lay(1);
    gf_checkLiveVsParkedCollisions();  // nobody moved
    EXPECT_EQ(gone(g_staticAircraft), "r.");
    g_liveAircraft[2].pose.latitude += 0.0001;  // 0.006 NM
    lay(2);
    gf_checkLiveVsParkedCollisions();  // the mover only
    EXPECT_EQ(gone(g_staticAircraft), "r.r");
    g_parkedStaticsCount.fetch_add(1);  // the window's count changed
    gf_checkLiveVsParkedCollisions();
    EXPECT_EQ(gone(g_staticAircraft), "rrr");
    g_staticAircraft[1].simState = AcSimState::active;
    for (int call = 5; call < 60; ++call) gf_checkLiveVsParkedCollisions();
    EXPECT_EQ(gone(g_staticAircraft), "r.r");
    gf_checkLiveVsParkedCollisions();  // the 60th call
    EXPECT_EQ(gone(g_staticAircraft), "rrr");
}

TEST_F(Policies, TrimToTheParkingTarget) {
    g_weekTime.store(lf_week(3, 20));
    struct Row {
        std::int32_t target;
        int live, statics;
        const char *liveGone, *staticsGone;
    };
    for (const Row row : {Row{10, 6, 5, "......", "rr..."}, Row{10, 11, 5, ".........rr", "rrrrr"},
                          Row{10, 4, 5, "....", "....."}, Row{-1, 20, 1, "....................", "."}}) {
        g_liveAircraft.clear();
        g_staticAircraft.clear();
        parkedTarget = row.target;
        for (int i = 0; i < row.live; ++i) parkedLive(0x600000 + i, 1000 - i);  // the last parked first
        for (int i = 0; i < row.statics; ++i)
            addStatic(30 + i, AcSimState::active, 130 + i).parkTime = double(lf_week(3, 10 + i));
        gf_trimParkedToTarget(1);
        EXPECT_EQ(gone(g_liveAircraft), row.liveGone);
        EXPECT_EQ(gone(g_staticAircraft), row.staticsGone);
    }
    EXPECT_THAT(newLogLines(), HasSubstr("sid==0?       : static parked STA30 removed"));
    // One parked longest whose departure has begun stays: the next oldest goes.
    g_liveAircraft.clear();
    g_staticAircraft.clear();
    parkedTarget = 3;
    for (int i = 0; i < 4; ++i) parkedLive(0x610000 + i, 1000 - i);
    g_liveAircraft[3].motion.departurePending = 1;
    gf_trimParkedToTarget(1);
    EXPECT_EQ(gone(g_liveAircraft), ".rr.");
    // Statics on their way out no longer count: two calls remove 2, not 4.
    g_liveAircraft.clear();
    g_staticAircraft.clear();
    parkedTarget = 10;
    for (int i = 0; i < 12; ++i) addStatic(40 + i, AcSimState::active, 140 + i).parkTime = lf_week(3, i);
    gf_trimParkedToTarget(0);
    gf_trimParkedToTarget(0);
    EXPECT_EQ(gone(g_staticAircraft), "rr..........");
}

TEST_F(Policies, TheFarthestGoesAtTheLiveLimit) {
    UserAircraftState user;
    user.latitude = 50.0;
    user.longitude = 8.0;
    gf_publishUserAircraftState(user);
    const auto place = [](std::vector<double> distances) {
        g_liveAircraft.clear();
        for (std::size_t i = 0; i < distances.size(); ++i) {
            const LaLo at = gf_destinationPoint({50.0, 8.0}, {0.7, distances[i] * feetPerNm});
            LiveAc& ac = addLive(0x700001 + i, AcSimState::active, 71 + i);
            ac.pose.latitude = at.lat;
            ac.pose.longitude = at.lon;
        }
    };
    place({4.0, 7.0, 5.05});
    EXPECT_FALSE(lf_isThisTheFurthestLive(5.0));
    EXPECT_EQ(gone(g_liveAircraft), ".r.");
    place({5.05});
    EXPECT_TRUE(lf_isThisTheFurthestLive(5.0));
    EXPECT_EQ(gone(g_liveAircraft), ".");
    place({4.0, 5.05});
    EXPECT_FALSE(lf_isThisTheFurthestLive(-1.0));  // the farthest, however near
    EXPECT_EQ(gone(g_liveAircraft), ".r");
}

TEST_F(Policies, TheLiveLimitJudgesEveryDirectionByTheGreatCircle) {
    // Far out, away from north and south, a flat distance reads short; the
    // aircraft the exact distance names still goes, and the near ones stay.
    struct Row {
        double userLat, newNm;
        std::vector<std::pair<double, double>> bearingAndNm;
        const char* gone;
    };
    for (const Row& row : {Row{50.0, 79.85, {{135.0, 80.0}}, "r"}, Row{50.0, -1.0, {{180.0, 79.7}, {135.0, 80.0}}, ".r"},
                           Row{60.0, 99.5, {{120.0, 100.0}}, "r"}, Row{60.0, 99.5, {{45.0, 100.0}}, "r"},
                           Row{-60.0, 99.5, {{60.0, 100.0}}, "r"}, Row{50.0, 79.85, {{135.0, 79.9}}, "."},
                           Row{50.0, 79.85, {{135.0, 79.96}, {90.0, 79.0}}, "r."}}) {
        SCOPED_TRACE(::testing::Message() << row.userLat << " " << row.newNm << " " << row.gone);
        UserAircraftState user;
        user.latitude = row.userLat;
        user.longitude = 179.5;
        gf_publishUserAircraftState(user);
        g_liveAircraft.clear();
        for (std::size_t i = 0; i < row.bearingAndNm.size(); ++i) {
            const auto [bearing, nm] = row.bearingAndNm[i];
            const LaLo at = gf_destinationPoint({row.userLat, 179.5}, {bearing * degreesToRadians, nm * feetPerNm});
            ASSERT_NEAR(gf_distanceNm({row.userLat, 179.5}, at), nm, 1e-6);
            LiveAc& ac = addLive(0x700101 + i, AcSimState::active, 81 + i);
            ac.pose.latitude = at.lat;
            ac.pose.longitude = at.lon;
        }
        EXPECT_EQ(lf_isThisTheFurthestLive(row.newNm), std::string(row.gone).find('r') == std::string::npos);
        EXPECT_EQ(gone(g_liveAircraft), row.gone);
    }
}

TEST_F(Policies, StayersBlockAndTcasCoverage) {
    l_clock100ns.store(1000 * kMinute);
    parkedLive(0x800001, 900 * kMinute, 4).category = Heavy;  // 100 minutes
    parkedLive(0x800002, 900 * kMinute);
    parkedLive(0x800003, 920 * kMinute).registration = "PH-X";
    parkedLive(0x800004, 0).motion.departurePending = 1;  // leaving: never too long
    // The stays themselves may be reached, not passed.
    parkedLive(0x800005, 820 * kMinute).category = Heavy;  // 180 minutes
    parkedLive(0x800006, 819 * kMinute).category = Heavy;
    parkedLive(0x800007, 910 * kMinute);  // 90 minutes
    parkedLive(0x800008, 909 * kMinute);
    lf_collectLiveStayers();
    EXPECT_EQ(gone(g_liveAircraft), ".r...r.r");
    std::vector<std::string> listed;
    for (const StayerEntry& e : stayers)
        listed.push_back(fmt::format("{} {} {}", e.registration, e.standId, e.minutesParked));
    EXPECT_THAT(listed, ElementsAre("PH-BXA 0 0", "PH-X 0 80", "PH-BXA 0 90", "PH-BXA 4 100", "PH-BXA 0 180"));

    struct Block {
        std::int32_t hexid;
        const char *callsign, *registration, *gone;
    };
    for (const Block b : {Block{0x900002, "KLM1", "PH-1", ".r."}, Block{0x9FFFFF, "KLM3", "PH-1", "..r"},
                          Block{0, "", "PH-1", "r.."}, Block{0, "KLM9", "PH-1", "..."}}) {
        g_liveAircraft.clear();
        for (int i = 1; i <= 3; ++i)
            addLive(0x900000 + i, AcSimState::active, i, {}, "KLM" + std::to_string(i)).registration =
                "PH-" + std::to_string(i);
        harness->settings([&](SettingsSnapshot& s) {
            s.blocked.BLOCK_HEXIDDEC = b.hexid;
            s.blocked.BLOCK_CALLSIGN = b.callsign;
            s.blocked.BLOCK_REGCODE = b.registration;
        });
        gf_removeBlockedAc();
        EXPECT_EQ(gone(g_liveAircraft), b.gone) << b.callsign;
    }

    g_liveAircraft.clear();
    harness->settings([](SettingsSnapshot& s) { s.TCAS_FL = 100; });
    for (double altitude : {8999.0, 9000.0}) {
        LiveAc& ac = addLive(0xA00000 + std::uint32_t(altitude), AcSimState::active, 1);
        ac.weakLiveryMatch = 1;
        ac.pose.altitude = altitude;
        liveryByHexid[ac.hexid] = "KLM B738";
    }
    addLive(0xA00001, AcSimState::active, 1).pose.altitude = 100.0;  // a proper match
    gf_removeTCASCoverageAcs();
    EXPECT_EQ(gone(g_liveAircraft), "r..");
    EXPECT_EQ(liveryByHexid.count(0xA00000 + 8999) + liveryByHexid.count(0xA00000 + 9000), 1u);
}

TEST_F(Policies, AverageStayAcrossTheWeeksEnd) {
    g_weekTime.store(lf_week(1, 1));                            // Monday 00:30
    parkedLive(0xB00001, 0).parkTime = double(lf_week(7, 44));  // 5 slots before
    parkedLive(0xB00002, 0).parkTime = double(lf_week(1, 0));   // 1 slot before
    parkedLive(0xB00003, 0).parkTime = double(lf_week(1, 1));   // this slot: not counted
    parkedLive(0xB00004, 0);                                    // no week time
    addLive(0xB00005, AcSimState::active, 5);                   // not parked
    EXPECT_EQ(gf_countLiveParked(true), 4u);
    EXPECT_FLOAT_EQ(gf_gui().liveFit, 2.0f);  // (5 + 1) slots / (2 x 2), rounded
}
