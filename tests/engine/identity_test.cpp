// Identity changes of shown aircraft: callsigns and ghosts, routes
// (debounced and a respawn reason with MSFS 2020, logged with MSFS 2024),
// registrations and their liveries, and when a respawn is held back.

#include <gmock/gmock.h>

#include <span>
#include <string>
#include <vector>

#include "airports/current_airport.h"
#include "engine/identity.h"
#include "engine/stands.h"
#include "liveries/livery_tables.h"
#include "support/dbase_builder.h"
#include "support/stand_table.h"

#include "engine_fixture.h"

using namespace tavo::test;
using ::testing::HasSubstr;
using ::testing::Not;
using P = std::pair<const char*, const char*>;

namespace {

const std::string kIndent(16, ' ');

// The log holds exactly this line.
bool lf_hasLine(const std::string& log, const std::string& line) {
    return ("\n" + log).find("\n" + line + "\n") != std::string::npos;
}

class Identity : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        resetToSmallDbase();
        regcodeTitles["EI-DCL"] = "Ryanair B738";
    }
    void TearDown() override {
        gf_clearCurrentAirport();
        regcodeTitles.clear();
        clearStandTable();
        EngineTest::TearDown();
    }
    // A fresh shown aircraft (any earlier one goes) and a report of its own
    // identity.
    static LiveAc& fresh(const char* callsign = "KLM1234", const char* registration = "PH-BXA") {
        g_liveAircraft.clear();
        removeQueue.clear();
        LiveAc& ac = addLive(0x500001, AcSimState::active, 40, {}, callsign);
        ac.registration = registration;
        liveryByHexid[ac.hexid] = ac.liveryTitle;
        return ac;
    }
    static AcInfo report(const LiveAc& ac, P route = {nullptr, nullptr}) {
        AcInfo r;
        static_cast<FlightIdentity&>(r) = ac;
        if (route.first != nullptr) r.origin = IataCode(route.first);
        if (route.second != nullptr) r.destination = IataCode(route.second);
        return r;
    }
    static void setRoute(LiveAc& ac, const char* origin, const char* destination) {
        ac.origin = IataCode(origin);
        ac.destination = IataCode(destination);
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
        const char* other;  // callsign of another shown aircraft ("" none)
        const char* reported;
        const char* after;  // nullptr: the report is dropped
        bool otherRemoved;
    };
    const Row rows[] = {
        {"the ghost of a shown flight", "DLH5", "DLH5_", nullptr, false},
        {"the ghost of its own flight", "", "KLM1234_", nullptr, false},
        {"a ghost of no shown flight", "DLH7", "DLH8_", "DLH8_", false},
        {"a new callsign with a ghost twin", "DLH6_", "DLH6", "DLH6", true},
        {"the registration as callsign", "", "PH-BXA", "KLM1234", false},
        {"an empty callsign", "", "", "KLM1234", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fresh().identity3 = "KLM1235";
        if (*row.other != 0) addLive(0x500002, AcSimState::active, 41, {}, row.other);
        LiveAc& ac = g_liveAircraft[0];
        AcInfo r = report(ac);
        r.callsign = row.reported;
        if (row.after == nullptr) r.registration = "PH-BXB";  // changes nothing either
        newLogLines();
        EXPECT_EQ(lf_checkIdentityChange(ac, r), row.after != nullptr);
        const std::string after = row.after != nullptr ? row.after : "KLM1234";
        const bool changed = after != "KLM1234";
        EXPECT_EQ(ac.callsign, after);
        EXPECT_EQ(ac.identity3, changed ? "" : "KLM1235");
        EXPECT_EQ(ac.registration, "PH-BXA");
        const std::string line = kIndent + "callsign changed KLM1234 -> " + after;
        EXPECT_EQ(lf_hasLine(newLogLines(), line), changed);
        if (changed) EXPECT_EQ(ac.identity2, after);
        if (*row.other != 0) EXPECT_EQ(g_liveAircraft[1].simState == AcSimState::removingfromsim, row.otherRemoved);
    }
}

TEST_F(Identity, AnAircraftNotYetShownOnlyFillsInItsIdentity) {
    LiveAc& ac = fresh("KLM1234", "KLM1234");
    ac.simState = AcSimState::buffer;
    setRoute(ac, "", "JFK");
    AcInfo r = report(ac, {"AMS", ""});
    r.callsign = "KLM99";
    r.registration = "EI-DCL";
    EXPECT_TRUE(lf_checkIdentityChange(ac, r));
    EXPECT_EQ(route(ac), "AMS>JFK");
    EXPECT_EQ(ac.callsign + " " + ac.registration, "KLM99 EI-DCL");
    EXPECT_EQ(ac.simState, AcSimState::buffer);
    EXPECT_EQ(ac.liveryTitle, "KLM B738");
}

TEST_F(Identity, ARouteChangeIsTakenOnItsThirdReportInARow) {
    struct Row {
        const char* name;
        const char* here;  // IATA code of the current airport ("" none)
        P stored;
        std::vector<P> reports;
        std::string nothingAdopted;  // per report: 't' nothing adopted
        const char* after;
    };
    const P lhr{"AMS", "LHR"};
    const Row rows[] = {
        {"three in a row", "", {"AMS", "JFK"}, {lhr, lhr, lhr}, "ttf", "AMS>LHR"},
        {"another pair restarts the count", "", {"AMS", "JFK"}, {lhr, lhr, {"AMS", "BOS"}, lhr, lhr, lhr}, "tttttf",
         "AMS>LHR"},
        {"the stored pair restarts the count", "", {"AMS", "JFK"}, {lhr, lhr, {"AMS", "JFK"}, lhr, lhr}, "ttttt",
         "AMS>JFK"},
        {"a missing code is filled in at once", "", {"", "JFK"}, {{"AMS", "JFK"}}, "f", "AMS>JFK"},
        {"a filled-in code counts while a change waits", "", {"", "JFK"}, {lhr}, "f", "AMS>JFK"},
        {"a missing reported code is no change", "", {"AMS", "JFK"}, {{"", "JFK"}, {"", ""}}, "tt", "AMS>JFK"},
        {"a flight at the current airport keeps its pair", "FRA", {"FRA", "JFK"}, {lhr, lhr, lhr}, "ttt", "FRA>JFK"},
        {"a new pair at the current airport", "FRA", {"FRA", "JFK"}, {{"FRA", "LHR"}, {"FRA", "LHR"}, {"FRA", "LHR"}},
         "ttf", "FRA>LHR"},
        {"the way back here", "FRA", {"FRA", "JFK"}, {{"JFK", "FRA"}, {"JFK", "FRA"}, {"JFK", "FRA"}}, "ttt",
         "FRA>JFK"},
        {"no current airport", "", {"FRA", "JFK"}, {lhr, lhr, lhr}, "ttf", "AMS>LHR"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        gf_clearCurrentAirport();
        if (*row.here != 0) gf_setCurrentAirport({IcaoCode("EDDF"), IataCode(row.here), {50.03, 8.57}, 364});
        LiveAc& ac = fresh();
        setRoute(ac, row.stored.first, row.stored.second);
        std::string results;
        for (const P& r : row.reports) results += checkOrigDestChange(ac, report(ac, r)) ? 't' : 'f';
        EXPECT_EQ(results, row.nothingAdopted);
        EXPECT_EQ(route(ac), row.after);
        EXPECT_EQ(ac.phase, AcPhase::flying);
    }
}

TEST_F(Identity, ARouteTakenOnTheGroundStartsATaxiArrivingHere) {
    gf_setCurrentAirport({IcaoCode("EDDF"), IataCode("FRA"), {50.03, 8.57}, 364});
    for (const std::int32_t extrapolation : {0, 1}) {
        SCOPED_TRACE(extrapolation);
        LiveAc& ac = fresh();
        ac.onGround = 1;
        ac.phase = AcPhase::pushed_back;
        ac.extrapolationCount = extrapolation;
        ac.pose.heading = 1.25;
        setRoute(ac, "AMS", "LHR");
        for (int i = 0; i < 3; ++i) checkOrigDestChange(ac, report(ac, {"MUC", "FRA"}));
        EXPECT_EQ(route(ac), "MUC>FRA");
        const bool taxi = extrapolation == 0;
        EXPECT_EQ(ac.phase, taxi ? AcPhase::taxi : AcPhase::pushed_back);
        EXPECT_EQ(ac.motion.groundHeading, taxi ? 1.25 : 0.0);
        EXPECT_EQ(ac.arrivingHere, taxi ? 1 : 0);
    }
}

TEST_F(Identity, RegistrationsThatCallForAnotherKeyOrLivery) {
    struct Row {
        const char* name;
        const char* callsign;
        const char* stored;
        const char* reported;
        bool respawn, reset;
        const char* key;  // airline and model afterwards
    };
    const Row rows[] = {
        {"first registration, same regcode livery", "KLM1234", "KLM1234", "PH-BXB", true, false, "KLM B738"},
        {"first registration, other regcode livery", "KLM1234", "KLM1234", "EI-DCL", true, true, "RYR B738"},
        {"first registration, database key", "KLM1234", "KLM1234", "D-AIBA", true, true, "DLH A319"},
        {"first registration, known nowhere", "KLM1234", "KLM1234", "PH-ZZZ", true, false, "KLM B738"},
        {"none before", "KLM1234", "", "D-AIBA", true, true, "DLH A319"},
        {"the callsign's airline", "DLH400", "D-ABCD", "D-AIBA", true, true, "DLH A319"},
        {"the callsign's operator", "KLC22", "PH-ABC", "PH-EXA", true, true, "KLM E190"},
        {"another airline", "KLM1234", "PH-BXA", "D-AIBA", true, false, "KLM B738"},
        {"a callsign without airline", "N12345", "PH-BXA", "D-AIBA", true, false, "KLM B738"},
        {"the same registration", "KLM1234", "EI-DCL", "EI-DCL", false, false, "KLM B738"},
        {"none reported", "KLM1234", "PH-BXA", "", false, false, "KLM B738"},
    };
    regcodeTitles["PH-BXB"] = "KLM B738";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LiveAc& ac = fresh(row.callsign, row.stored);
        AcInfo r = report(ac);
        r.registration = row.reported;
        newLogLines();
        EXPECT_EQ(lf_checkIdentityChange(ac, r), !row.respawn);
        EXPECT_EQ(ac.registration, *row.reported != 0 ? row.reported : row.stored);
        EXPECT_EQ(fmt::format("{} {}", gf_airlineCodeAt(ac.key.airline), gf_modelCodeAt(ac.key.model)), row.key);
        EXPECT_EQ(ac.simState, row.respawn ? AcSimState::liveryrespawn : AcSimState::active);
        EXPECT_EQ(removeQueue.size(), row.respawn ? 1u : 0u);
        // A reset gives up the livery, also the one remembered for the hexid.
        EXPECT_EQ(ac.liveryTitle.empty() && !liveryByHexid.contains(ac.hexid), row.reset);
        EXPECT_EQ(ac.phase, row.reset ? AcPhase::birth : AcPhase::flying);
        const std::string line = fmt::format("{}{:8} {:12} {} respawns because of regcode change", kIndent,
                                             row.callsign, ac.registration, gf_acKeyText(ac.key));
        EXPECT_EQ(lf_hasLine(newLogLines(), line), row.respawn);
    }
}

TEST_F(Identity, RouteAndRegistrationReasonsAreJoined) {
    LiveAc& ac = fresh();
    setRoute(ac, "AMS", "JFK");
    AcInfo r = report(ac, {"AMS", "LHR"});
    EXPECT_TRUE(lf_checkIdentityChange(ac, r));
    EXPECT_TRUE(lf_checkIdentityChange(ac, r));
    r.registration = "PH-ZZZ";
    EXPECT_FALSE(lf_checkIdentityChange(ac, r));
    EXPECT_EQ(route(ac), "AMS>LHR");
    EXPECT_EQ(ac.liveryTitle, "KLM B738");  // a new flight plan only
    EXPECT_THAT(newLogLines(), HasSubstr(" respawns because of orig-dest change, regcode change\n"));
}

TEST_F(Identity, ProtectedPhasesAndExtrapolatingAircraftKeepTheirObject) {
    using enum AcPhase;
    const std::pair<AcPhase, std::int32_t> kept[] = {{pushing_back, 0}, {takeoff_roll, 0}, {takeoff, 0},
                                                     {landing, 0},      {landing_roll, 0}, {parking, 0},
                                                     {parked, 0},       {taxi, 1},         {flying, 3}};
    const std::pair<AcPhase, std::int32_t> respawned[] = {{pushed_back, 0}, {taxi, 0}, {flying, 0}};
    using Rows = std::span<const std::pair<AcPhase, std::int32_t>>;
    for (const Rows rows : {Rows(kept), Rows(respawned)}) {
        for (const auto& [phase, extrapolation] : rows) {
            SCOPED_TRACE(fmt::format("{} {}", gf_acPhaseName(phase), extrapolation));
            LiveAc& ac = fresh("KLM1234", "KLM1234");
            ac.phase = phase;
            ac.extrapolationCount = extrapolation;
            AcInfo r = report(ac);
            r.callsign = "RYR12";
            r.registration = "EI-DCL";
            const bool respawn = rows.data() == respawned;
            EXPECT_EQ(lf_checkIdentityChange(ac, r), !respawn);
            EXPECT_EQ(ac.callsign, "RYR12");
            EXPECT_EQ(ac.simState, respawn ? AcSimState::liveryrespawn : AcSimState::active);
            EXPECT_EQ(ac.phase, respawn ? birth : phase);
        }
    }
}

TEST_F(Identity, WithoutGuidChangesANewLiveryIsOnlyStored) {
    harness->settings([](SettingsSnapshot& s) { s.GUID_CHANGES = 0; });
    LiveAc& ac = fresh("KLM1234", "KLM1234");
    ac.phase = AcPhase::taxi;
    AcInfo r = report(ac);
    r.registration = "EI-DCL";
    EXPECT_TRUE(lf_checkIdentityChange(ac, r));
    // Still shown as it was: taxiing in its livery, with the new key.
    EXPECT_EQ(ac.simState, AcSimState::active);
    EXPECT_EQ(ac.phase, AcPhase::taxi);
    EXPECT_EQ(ac.liveryTitle, "KLM B738");
    EXPECT_TRUE(liveryByHexid.contains(ac.hexid));
    EXPECT_EQ(fmt::format("{} {}", ac.registration, gf_airlineCodeAt(ac.key.airline)), "EI-DCL RYR");
    EXPECT_TRUE(removeQueue.empty());
}

TEST_F(Identity, AParkedAircraftRecordsItsStandUnderItsNewRegistration) {
    setStandTable({{"A1", {50.0, 8.0}}});
    LiveAc& ac = fresh("DLH400", "D-ABCD");
    ac.phase = AcPhase::parked;
    ac.standId = 1;
    AcInfo r = report(ac);
    r.registration = "D-AIBA";
    bool resetDue = false;
    EXPECT_FALSE(checkRegistrationChange(ac, r, false, resetDue));
    EXPECT_TRUE(resetDue);
    const Stand* stand = gf_standById(1);
    ASSERT_EQ(stand->options.size(), 1u);
    EXPECT_EQ(stand->options[0].registration, "D-AIBA");
    EXPECT_EQ(gf_modelCodeAt(stand->options[0].key.model), "A319");
}

TEST_F(Identity2024, RouteChangesAreLoggedAndNoRespawnReason) {
    struct Row {
        AcPhase phase;
        P stored, reported;
        int reports;
        const char* line;  // nullptr: none
    };
    const Row rows[] = {
        {AcPhase::flying, {"", ""}, {"AMS", "JFK"}, 1, "KLM1234 AMS->JFK orig-dest changed"},
        {AcPhase::flying, {"", ""}, {"", "JFK"}, 1, "KLM1234    ->JFK orig-dest changed"},
        {AcPhase::flying, {"AMS", "JFK"}, {"AMS", "LHR"}, 2, nullptr},
        {AcPhase::landing, {"AMS", "JFK"}, {"AMS", "LHR"}, 3, "KLM1234 AMS->LHR orig-dest changed"},
    };
    for (const Row& row : rows) {
        LiveAc& ac = fresh();
        ac.phase = row.phase;
        setRoute(ac, row.stored.first, row.stored.second);
        newLogLines();
        for (int i = 0; i < row.reports; ++i) EXPECT_TRUE(lf_checkIdentityChange(ac, report(ac, row.reported)));
        EXPECT_EQ(ac.simState, AcSimState::active);
        const std::string log = newLogLines();
        if (row.line != nullptr)
            EXPECT_TRUE(lf_hasLine(log, kIndent + row.line)) << log;
        else
            EXPECT_THAT(log, Not(HasSubstr("orig-dest")));
    }
}
