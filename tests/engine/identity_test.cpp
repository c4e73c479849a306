// Identity changes of shown aircraft: new callsigns and ghosts, routes
// (debounced and a respawn reason with MSFS 2020, logged with MSFS 2024),
// registrations and their liveries, and when a respawn is held back.

#include <gmock/gmock.h>

#include <optional>
#include <string>
#include <vector>

#include "airports/current_airport.h"
#include "engine/identity.h"
#include "liveries/dbase.h"
#include "liveries/livery_tables.h"
#include "engine/stands.h"
#include "support/dbase_builder.h"
#include "support/stand_table.h"

#include "engine_fixture.h"

using namespace tavo::test;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

constexpr std::string_view kIndent = "                ";

// The log holds exactly this line.
bool lf_hasLine(const std::string& log, const std::string& line) {
    return ("\n" + log).find("\n" + line + "\n") != std::string::npos;
}

class Identity : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        resetToSmallDbase();
        harness->settings([](SettingsSnapshot& s) { s.GUID_CHANGES = 1; });
    }
    void TearDown() override {
        gf_clearCurrentAirport();
        regcodeTitles.clear();
        EngineTest::TearDown();
    }

    static LiveAc& find(std::uint32_t hexid) {
        for (LiveAc& ac : g_liveAircraft)
            if (ac.hexid == hexid) return ac;
        throw std::runtime_error("no such aircraft");
    }
    // A report carrying the aircraft's own identity.
    static AcInfo sameAs(const LiveAc& ac) {
        AcInfo r;
        static_cast<FlightIdentity&>(r) = ac;
        r.hexid = ac.hexid;
        return r;
    }
    static AcInfo withRoute(AcInfo r, const char* origin, const char* destination) {
        r.origin = IataCode(origin);
        r.destination = IataCode(destination);
        return r;
    }
    static void setHere(const char* iata) {
        gf_setCurrentAirport({IcaoCode("EDDF"), IataCode(iata), {50.03, 8.57}, 364});
    }
    static std::string route(const LiveAc& ac) { return ac.origin.text() + ">" + ac.destination.text(); }
};

class Identity2024 : public Identity {
protected:
    EngineHarness::Options options() const override {
        EngineHarness::Options o;
        o.simulator = SimVersion::MSFS2024;
        return o;
    }
};

}  // namespace

TEST_F(Identity, NewCallsignsAndGhosts) {
    struct Row {
        const char* name;
        const char* other;     // callsign of another shown aircraft ("" none)
        const char* reported;  // the report's callsign
        bool used;
        const char* callsign;  // the aircraft's callsign afterwards
        bool otherRemoved;
    };
    const Row rows[] = {
        {"the ghost of a shown flight is dropped", "DLH5", "DLH5_", false, "KLM1234", false},
        {"the ghost of our own flight is dropped", "", "KLM1234_", false, "KLM1234", false},
        {"a ghost of no shown flight is taken", "DLH7", "DLH8_", true, "DLH8_", false},
        {"a new callsign removes its ghost", "DLH6_", "DLH6", true, "DLH6", true},
        {"the registration as callsign is no change", "", "PH-BXA", true, "KLM1234", false},
        {"an empty callsign is no change", "", "", true, "KLM1234", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        removeQueue.clear();
        addLive(0x500001, AcSimState::active, 40);
        if (*row.other != 0) addLive(0x500002, AcSimState::active, 41, {}, row.other);
        LiveAc& ac = find(0x500001);
        ac.identity2 = "KLM1234";
        ac.identity3 = "KLM1235";
        AcInfo report = sameAs(ac);
        report.callsign = row.reported;
        if (!row.used) report.registration = "PH-BXB";
        newLogLines();
        EXPECT_EQ(lf_checkIdentityChange(ac, report), row.used);
        EXPECT_EQ(ac.callsign, row.callsign);
        const bool changed = std::string(row.callsign) != "KLM1234";
        EXPECT_EQ(ac.identity2, row.callsign);
        EXPECT_EQ(ac.identity3, changed ? "" : "KLM1235");
        // A dropped ghost report changes nothing, not even the registration.
        if (!row.used) EXPECT_EQ(ac.registration, "PH-BXA");
        const std::string log = newLogLines();
        if (changed)
            EXPECT_TRUE(lf_hasLine(log, fmt::format("{}callsign changed KLM1234 -> {}", kIndent, row.callsign))) << log;
        else
            EXPECT_THAT(log, Not(HasSubstr("callsign changed")));
        if (*row.other != 0)
            EXPECT_EQ(find(0x500002).simState == AcSimState::removingfromsim, row.otherRemoved);
    }
}

TEST_F(Identity, AnAircraftNotYetShownOnlyFillsInItsIdentity) {
    LiveAc& ac = addLive(0x500010, AcSimState::buffer);
    ac.phase = AcPhase::birth;
    ac.destination = IataCode("JFK");
    AcInfo report = withRoute(sameAs(ac), "AMS", "");
    report.callsign = "KLM99";
    report.registration = "PH-BXB";
    regcodeTitles["PH-BXB"] = "Another title";
    EXPECT_TRUE(lf_checkIdentityChange(ac, report));
    EXPECT_EQ(route(ac), "AMS>JFK");  // an empty code does not clear
    EXPECT_EQ(ac.callsign, "KLM99");
    EXPECT_EQ(ac.registration, "PH-BXB");
    EXPECT_EQ(ac.simState, AcSimState::buffer);
    EXPECT_EQ(ac.phase, AcPhase::birth);
    EXPECT_EQ(ac.liveryTitle, "KLM B738");
    EXPECT_THAT(newLogLines(), Not(HasSubstr("changed")));
}

TEST_F(Identity, ARouteChangeIsTakenOnItsThirdReportInARow) {
    struct Row {
        const char* name;
        const char* here;  // IATA code of the current airport ("" none)
        const char* origin;
        const char* destination;
        std::vector<std::pair<const char*, const char*>> reports;
        std::vector<bool> nothingAdopted;
        const char* after;
    };
    using P = std::pair<const char*, const char*>;
    const Row rows[] = {
        {"three in a row", "", "AMS", "JFK", {P{"AMS", "LHR"}, P{"AMS", "LHR"}, P{"AMS", "LHR"}}, {true, true, false},
         "AMS>LHR"},
        {"another pair restarts the count", "", "AMS", "JFK",
         {P{"AMS", "LHR"}, P{"AMS", "LHR"}, P{"AMS", "BOS"}, P{"AMS", "LHR"}, P{"AMS", "LHR"}, P{"AMS", "LHR"}},
         {true, true, true, true, true, false}, "AMS>LHR"},
        {"the old pair in between restarts the count", "", "AMS", "JFK",
         {P{"AMS", "LHR"}, P{"AMS", "LHR"}, P{"AMS", "JFK"}, P{"AMS", "LHR"}, P{"AMS", "LHR"}},
         {true, true, true, true, true}, "AMS>JFK"},
        {"a missing code is filled in at once", "", "", "JFK", {P{"AMS", "JFK"}}, {false}, "AMS>JFK"},
        {"a filled-in code counts while the change waits", "", "", "JFK", {P{"AMS", "LHR"}}, {false}, "AMS>JFK"},
        {"a missing reported code is no change", "", "AMS", "JFK", {P{"", "JFK"}, P{"", ""}}, {true, true},
         "AMS>JFK"},
        {"a flight at the current airport keeps its pair", "FRA", "FRA", "JFK",
         {P{"AMS", "LHR"}, P{"AMS", "LHR"}, P{"AMS", "LHR"}}, {true, true, true}, "FRA>JFK"},
        {"a new pair at the current airport is taken", "FRA", "FRA", "JFK",
         {P{"FRA", "LHR"}, P{"FRA", "LHR"}, P{"FRA", "LHR"}}, {true, true, false}, "FRA>LHR"},
        {"the way back here is not taken", "FRA", "FRA", "JFK", {P{"JFK", "FRA"}, P{"JFK", "FRA"}, P{"JFK", "FRA"}},
         {true, true, true}, "FRA>JFK"},
        {"no current airport: any pair is taken", "", "FRA", "JFK", {P{"AMS", "LHR"}, P{"AMS", "LHR"}, P{"AMS", "LHR"}},
         {true, true, false}, "AMS>LHR"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        gf_clearCurrentAirport();
        if (*row.here != 0) setHere(row.here);
        LiveAc& ac = addLive(0x500020, AcSimState::active, 50);
        ac.origin = IataCode(row.origin);
        ac.destination = IataCode(row.destination);
        for (std::size_t i = 0; i < row.reports.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(checkOrigDestChange(ac, withRoute(sameAs(ac), row.reports[i].first, row.reports[i].second)),
                      row.nothingAdopted[i]);
        }
        EXPECT_EQ(route(ac), row.after);
        EXPECT_EQ(ac.phase, AcPhase::flying);  // in the air nothing else changes
    }
}

TEST_F(Identity, ARouteTakenOnTheGroundStartsATaxi) {
    struct Row {
        const char* name;
        AcPhase phase;
        std::int32_t extrapolation;
        AcPhase after;
        bool groundHeading;
    };
    const Row rows[] = {
        {"pushed back", AcPhase::pushed_back, 0, AcPhase::taxi, true},
        {"taxiing", AcPhase::taxi, 0, AcPhase::taxi, true},
        {"extrapolating", AcPhase::pushed_back, 1, AcPhase::pushed_back, false},
        {"pushing back", AcPhase::pushing_back, 0, AcPhase::pushing_back, false},
    };
    setHere("FRA");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        LiveAc& ac = addLive(0x500030, AcSimState::active, 60, {point(50.0, 8.0), point(50.0, 8.001, 0, false, 100)});
        ac.phase = row.phase;
        ac.extrapolationCount = row.extrapolation;
        ac.pose.heading = 1.25;
        ac.motion.groundHeading = 0.5;
        ac.origin = IataCode("AMS");
        ac.destination = IataCode("LHR");
        const AcInfo report = withRoute(sameAs(ac), "MUC", "FRA");
        checkOrigDestChange(ac, report);
        checkOrigDestChange(ac, report);
        EXPECT_FALSE(checkOrigDestChange(ac, report));
        EXPECT_EQ(route(ac), "MUC>FRA");
        EXPECT_EQ(ac.phase, row.after);
        EXPECT_EQ(ac.motion.groundHeading, row.groundHeading ? 1.25 : 0.5);
        EXPECT_EQ(ac.arrivingHere, row.after == AcPhase::taxi ? 1 : 0);
        if (row.phase != row.after) EXPECT_EQ(ac.prevPhase, row.phase);
    }
}

TEST_F(Identity, RegistrationsThatCallForAnotherKeyOrLivery) {
    struct Row {
        const char* name;
        const char* callsign;
        const char* registration;  // stored
        const char* reported;
        const char* regcodeTitle;  // of the reported registration ("" none)
        bool respawn;
        bool reset;
        const char* airline;  // of the key afterwards
        const char* model;
    };
    const Row rows[] = {
        {"first registration, same regcode livery", "KLM1234", "KLM1234", "PH-BXB", "KLM B738", true, false, "KLM",
         "B738"},
        {"first registration, other regcode livery", "KLM1234", "KLM1234", "EI-DCL", "Ryanair B738", true, true, "RYR",
         "B738"},
        {"first registration, regcode livery without database", "KLM1234", "KLM1234", "PH-BXC", "KLM B738 old", true,
         true, "KLM", "B738"},
        {"first registration, database key", "KLM1234", "KLM1234", "D-AIBA", "", true, true, "DLH", "A319"},
        {"first registration, known nowhere", "KLM1234", "KLM1234", "PH-ZZZ", "", true, false, "KLM", "B738"},
        {"no registration before", "KLM1234", "", "D-AIBA", "", true, true, "DLH", "A319"},
        {"a key of the callsign's airline", "DLH400", "D-ABCD", "D-AIBA", "", true, true, "DLH", "A319"},
        {"a key of the callsign's operator", "KLC22", "PH-ABC", "PH-EXA", "", true, true, "KLM", "E190"},
        {"a key of another airline", "KLM1234", "PH-BXA", "D-AIBA", "", true, false, "KLM", "B738"},
        {"a callsign without airline", "N12345", "PH-BXA", "D-AIBA", "", true, false, "KLM", "B738"},
        {"the same registration", "KLM1234", "PH-BXA", "PH-BXA", "Ryanair B738", false, false, "KLM", "B738"},
        {"no registration reported", "KLM1234", "PH-BXA", "", "", false, false, "KLM", "B738"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        removeQueue.clear();
        liveryByHexid.clear();
        regcodeTitles.clear();
        if (*row.regcodeTitle != 0) regcodeTitles[row.reported] = row.regcodeTitle;
        LiveAc& ac = addLive(0x500040, AcSimState::active, 70, {}, row.callsign);
        ac.registration = row.registration;
        liveryByHexid[ac.hexid] = ac.liveryTitle;
        AcInfo report = sameAs(ac);
        report.registration = row.reported;
        newLogLines();
        EXPECT_EQ(lf_checkIdentityChange(ac, report), !row.respawn);
        EXPECT_EQ(ac.registration, *row.reported != 0 ? row.reported : row.registration);
        EXPECT_EQ(gf_airlineCodeAt(ac.key.airline), row.airline);
        EXPECT_EQ(gf_modelCodeAt(ac.key.model), row.model);
        EXPECT_EQ(ac.simState, row.respawn ? AcSimState::liveryrespawn : AcSimState::active);
        EXPECT_EQ(removeQueue.size(), row.respawn ? 1u : 0u);
        // A reset gives up the livery, also the one remembered for the hexid,
        // and starts again from birth.
        EXPECT_EQ(ac.liveryTitle.empty(), row.reset);
        EXPECT_EQ(liveryByHexid.contains(ac.hexid), !row.reset);
        EXPECT_EQ(ac.phase, row.reset ? AcPhase::birth : AcPhase::flying);
        if (row.reset) EXPECT_EQ(ac.prevPhase, AcPhase::flying);
        const std::string log = newLogLines();
        if (row.respawn)
            EXPECT_TRUE(lf_hasLine(log, fmt::format("{}{:8} {:12} {} respawns because of regcode change", kIndent,
                                                    row.callsign, row.reported, gf_acKeyText(ac.key))))
                << log;
        else
            EXPECT_THAT(log, Not(HasSubstr("respawns")));
    }
}

TEST_F(Identity, RouteAndRegistrationReasonsAreJoined) {
    LiveAc& ac = addLive(0x500050, AcSimState::active, 80);
    ac.origin = IataCode("AMS");
    ac.destination = IataCode("JFK");
    AcInfo report = withRoute(sameAs(ac), "AMS", "LHR");
    EXPECT_TRUE(lf_checkIdentityChange(ac, report));
    EXPECT_TRUE(lf_checkIdentityChange(ac, report));
    report.registration = "PH-ZZZ";
    EXPECT_FALSE(lf_checkIdentityChange(ac, report));
    EXPECT_EQ(route(ac), "AMS>LHR");
    EXPECT_EQ(ac.simState, AcSimState::liveryrespawn);
    // A new flight plan only: livery and phase stay.
    EXPECT_EQ(ac.liveryTitle, "KLM B738");
    EXPECT_EQ(ac.phase, AcPhase::flying);
    EXPECT_THAT(newLogLines(), HasSubstr(" respawns because of orig-dest change, regcode change\n"));
}

TEST_F(Identity, ProtectedPhasesAndExtrapolatingAircraftKeepTheirObject) {
    struct Row {
        AcPhase phase;
        std::int32_t extrapolation;
        bool respawn;
    };
    const Row rows[] = {
        {AcPhase::pushing_back, 0, false}, {AcPhase::takeoff_roll, 0, false}, {AcPhase::takeoff, 0, false},
        {AcPhase::landing, 0, false},      {AcPhase::landing_roll, 0, false}, {AcPhase::parking, 0, false},
        {AcPhase::parked, 0, false},       {AcPhase::taxi, 1, false},         {AcPhase::flying, 3, false},
        {AcPhase::pushed_back, 0, true},   {AcPhase::taxi, 0, true},          {AcPhase::flying, 0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(fmt::format("{} extrapolating {}", gf_acPhaseName(row.phase), row.extrapolation));
        g_liveAircraft.clear();
        removeQueue.clear();
        regcodeTitles["EI-DCL"] = "Ryanair B738";
        LiveAc& ac = addLive(0x500060, AcSimState::active, 90, {}, "KLM1234");
        ac.registration = "KLM1234";
        ac.phase = row.phase;
        ac.extrapolationCount = row.extrapolation;
        AcInfo report = sameAs(ac);
        report.callsign = "RYR12";
        report.registration = "EI-DCL";
        EXPECT_EQ(lf_checkIdentityChange(ac, report), !row.respawn);
        EXPECT_EQ(ac.callsign, "RYR12");  // the callsign is taken in any phase
        EXPECT_EQ(ac.simState, row.respawn ? AcSimState::liveryrespawn : AcSimState::active);
        EXPECT_EQ(removeQueue.size(), row.respawn ? 1u : 0u);
        EXPECT_EQ(ac.liveryTitle.empty(), row.respawn);
        EXPECT_EQ(ac.phase, row.respawn ? AcPhase::birth : row.phase);
    }
}

TEST_F(Identity, WithoutGuidChangesANewLiveryIsOnlyStored) {
    harness->settings([](SettingsSnapshot& s) { s.GUID_CHANGES = 0; });
    regcodeTitles["EI-DCL"] = "Ryanair B738";
    LiveAc& ac = addLive(0x500070, AcSimState::active, 95, {point(50.0, 8.0), point(50.0, 8.001, 0, false, 100)});
    ac.registration = ac.callsign;
    ac.phase = AcPhase::taxi;
    liveryByHexid[ac.hexid] = ac.liveryTitle;
    AcInfo report = sameAs(ac);
    report.registration = "EI-DCL";
    EXPECT_TRUE(lf_checkIdentityChange(ac, report));
    // The aircraft goes on showing as it is: still taxiing in its livery.
    EXPECT_EQ(ac.simState, AcSimState::active);
    EXPECT_EQ(ac.phase, AcPhase::taxi);
    EXPECT_EQ(ac.liveryTitle, "KLM B738");
    EXPECT_TRUE(liveryByHexid.contains(ac.hexid));
    EXPECT_TRUE(removeQueue.empty());
    EXPECT_EQ(ac.registration, "EI-DCL");
    EXPECT_EQ(gf_airlineCodeAt(ac.key.airline), "RYR");
    EXPECT_THAT(newLogLines(), Not(HasSubstr("respawns")));
    // The next report changes nothing more.
    EXPECT_TRUE(lf_checkIdentityChange(ac, report));
    EXPECT_EQ(ac.phase, AcPhase::taxi);
}

TEST_F(Identity2024, RouteChangesAreLoggedAndNoRespawnReason) {
    struct Row {
        const char* name;
        AcPhase phase;
        const char* origin;
        const char* destination;
        const char* reported[2];
        int reports;
        const char* line;  // "" none
    };
    const Row rows[] = {
        {"both filled in", AcPhase::flying, "", "", {"AMS", "JFK"}, 1, "KLM1234 AMS->JFK orig-dest changed"},
        {"destination filled in", AcPhase::flying, "", "", {"", "JFK"}, 1, "KLM1234    ->JFK orig-dest changed"},
        {"a change on its third report", AcPhase::flying, "AMS", "JFK", {"AMS", "LHR"}, 3,
         "KLM1234 AMS->LHR orig-dest changed"},
        {"also while landing", AcPhase::landing, "AMS", "JFK", {"AMS", "LHR"}, 3,
         "KLM1234 AMS->LHR orig-dest changed"},
        {"not before its third report", AcPhase::flying, "AMS", "JFK", {"AMS", "LHR"}, 2, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_liveAircraft.clear();
        removeQueue.clear();
        LiveAc& ac = addLive(0x500080, AcSimState::active, 99);
        ac.phase = row.phase;
        ac.origin = IataCode(row.origin);
        ac.destination = IataCode(row.destination);
        const AcInfo report = withRoute(sameAs(ac), row.reported[0], row.reported[1]);
        newLogLines();
        for (int i = 0; i < row.reports; ++i) EXPECT_TRUE(lf_checkIdentityChange(ac, report));
        EXPECT_EQ(ac.simState, AcSimState::active);
        EXPECT_TRUE(removeQueue.empty());
        const std::string log = newLogLines();
        if (*row.line != 0)
            EXPECT_TRUE(lf_hasLine(log, fmt::format("{}{}", kIndent, row.line))) << log;
        else
            EXPECT_THAT(log, Not(HasSubstr("orig-dest")));
    }
}

TEST_F(Identity, AParkedAircraftRecordsItsStandUnderItsNewRegistration) {
    setStandTable({{"A1", {50.0, 8.0}}});
    LiveAc& ac = addLive(0x500090, AcSimState::active, 98, {point(50.0, 8.0), point(50.0, 8.0, 0, false, 100)},
                         "DLH400");
    ac.phase = AcPhase::parked;
    ac.standId = 1;
    ac.registration = "D-ABCD";
    AcInfo report = sameAs(ac);
    report.registration = "D-AIBA";
    bool resetDue = false;
    EXPECT_FALSE(checkRegistrationChange(ac, report, false, resetDue));
    EXPECT_TRUE(resetDue);
    EXPECT_EQ(gf_modelCodeAt(ac.key.model), "A319");
    const Stand* stand = gf_standById(1);
    ASSERT_NE(stand, nullptr);
    ASSERT_EQ(stand->options.size(), 1u);
    EXPECT_EQ(stand->options[0].registration, "D-AIBA");
    EXPECT_EQ(stand->options[0].key, ac.key);
    clearStandTable();
}
