#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <stdexcept>

#include "airports/airports_list.h"
#include "airports/current_airport.h"
#include "engine/reports.h"
#include "engine/services.h"
#include "services/gui.h"
#include "settings/snapshot.h"
#include "support/airports_data.h"
#include "support/dbase_builder.h"
#include "support/temp_dir.h"

using ::testing::HasSubstr;

namespace {

class Reports : public tavo::test::LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        m_saved = settingsSnapshot.load();
        tavo::test::resetToSmallDbase();
        gf_resetTrafficExceptionCount();
        newLogLines();  // the database read's lines
    }
    void TearDown() override {
        settingsSnapshot.store(m_saved);
        gf_resetTrafficExceptionCount();
        gf_clearCurrentAirport();
        gf_unloadAirportsForTests();
        LogFileTest::TearDown();
    }

    static AcBase aircraft(std::string callsign, std::string registration, const char* origin,
                           const char* destination) {
        AcBase ac;
        ac.callsign = std::move(callsign);
        ac.registration = std::move(registration);
        ac.origin = IataCode(origin);
        ac.destination = IataCode(destination);
        ac.key.airline = gf_internAirlineCode("KLM");
        ac.key.model = gf_internModelCode("B738");
        return ac;
    }

    SettingsSnapshotPtr m_saved;
};

}  // namespace

TEST_F(Reports, RoutesAndDescriptions) {
    struct Row {
        const char* origin;
        const char* destination;
        const char* route;
    };
    for (const Row& row : {Row{"AMS", "LHR", "AMS->LHR"}, Row{"AMS", "", "AMS->   "}, Row{"", "LHR", "   ->LHR"},
                           Row{"", "", "        "}}) {
        const AcBase ac = aircraft("KLM1234", "PH-BXA", row.origin, row.destination);
        EXPECT_EQ(gf_routeText(ac), row.route);
        EXPECT_EQ(gf_describeAc(ac), fmt::format("KLM1234  PH-BXA       {} KLM     B738    ", row.route));
        EXPECT_EQ(fmt::format("{}", ac), fmt::format("KLM1234  PH-BXA       {} KLM     B738    ", row.route));
    }
    // Long texts are not cut; an operator and the flags show in the key.
    AcBase ac = aircraft("LONGCALLSIGN", "REGISTRATION1", "AMS", "JFK");
    ac.key.operatorIndex = gf_internAirlineCode("KLC");
    ac.key.flag = 1;
    ac.key.cargo = 1;
    EXPECT_EQ(gf_describeAc(ac), "LONGCALLSIGN REGISTRATION1 AMS->JFK KLM,KLC B738.(C)");
    EXPECT_EQ(fmt::format("{}", ac), "LONGCALLSIGN REGISTRATION1 AMS->JFK KLM,KLC B738.(C)");
    EXPECT_EQ(gf_airlineOperatorText(ac.key), "KLM,KLC");
    ac.key.operatorIndex = 0;
    EXPECT_EQ(gf_airlineOperatorText(ac.key), "KLM");
    EXPECT_EQ(gf_formatWithAcKey("{:8} {} {}", "DLH4", "D-AIBA", ac.key), "DLH4     D-AIBA KLM     B738.(C)");
    EXPECT_EQ(lf_formatIdPair(7, 4000000000u), "[7,4000000000]");
}

TEST_F(Reports, AirlineFromCallsign) {
    struct Row {
        const char* callsign;
        bool yields;
        const char* airline;
    };
    for (const Row& row : {Row{"abc1", true, "ABC"}, Row{"KLM1234", true, "KLM"}, Row{"1ABC", false, ""},
                           Row{"KL1M", false, ""}, Row{"KLMX", false, ""}, Row{"KLM", false, ""}}) {
        FlightIdentity id;
        id.callsign = row.callsign;
        EXPECT_EQ(gf_setAirlineFromCallsign(id), row.yields) << row.callsign;
        EXPECT_EQ(gf_airlineCodeAt(id.key.airline), row.airline) << row.callsign;
    }
}

TEST_F(Reports, AirportCodeNear) {
    // Two listed airports the same distance east and west of P, and one without an IATA code.
    tavo::test::writeAirportsEnc(dir(), {tavo::test::airportEntry("EAAA", 50.0, 8.05, 300, "AAA"),
                                         tavo::test::airportEntry("EZZZ", 50.0, 7.95, 300, "ZZZ"),
                                         tavo::test::airportEntry("ENON", 40.0, 8.0, 300)});
    ASSERT_TRUE(std::holds_alternative<std::size_t>(gf_loadAirports()));
    const LaLo p{50.0, 8.0};
    // 4: no current airport, no code, and nothing listed near.
    EXPECT_FALSE(gf_airportCodeNear(LaLo{10.0, 10.0}, IataCode()).isSet());
    EXPECT_FALSE(gf_airportCodeNear(LaLo{0.0, 0.0}, IataCode()).isSet());  // not a valid position
    // 3: the nearest listed airport; on equal distances the later entry.
    EXPECT_EQ(gf_airportCodeNear(p, IataCode()), IataCode("ZZZ"));
    EXPECT_EQ(gf_airportCodeNear(LaLo{50.0, 8.04}, IataCode()), IataCode("AAA"));
    EXPECT_FALSE(gf_airportCodeNear(LaLo{40.0, 8.001}, IataCode()).isSet());  // listed without a code
    // 2: the given code.
    EXPECT_EQ(gf_airportCodeNear(p, IataCode("FRA")), IataCode("FRA"));
    // 1: the current airport within 5 NM wins over the given code.
    AirportListEntry current;
    current.icao = IcaoCode("EDDF");
    current.iata = IataCode("FRA");
    current.position = LaLo{50.03, 8.0};
    gf_setCurrentAirport(current);
    EXPECT_EQ(gf_airportCodeNear(p, IataCode("MUC")), IataCode("FRA"));
    EXPECT_EQ(gf_airportCodeNear(LaLo{50.2, 8.0}, IataCode("MUC")), IataCode("MUC"));  // 10.2 NM away
}

// Offsets of 1/16 degree are exact, so the two distances are equal to the
// last bit and only the list order decides: the later entry, on either side.
// A current airport whose IATA code is the no-code mark "XXX" gives no code.
TEST_F(Reports, AirportCodeNearOnExactlyEqualDistancesAndTheNoCodeMark) {
    const LaLo p{50.0, 8.0};
    for (const double east : {1.0, -1.0}) {
        gf_unloadAirportsForTests();
        tavo::test::writeAirportsEnc(dir(), {tavo::test::airportEntry("EAAA", 50.0, 8.0 + east * 0.0625, 300, "AAA"),
                                             tavo::test::airportEntry("EZZZ", 50.0, 8.0 - east * 0.0625, 300, "ZZZ")});
        ASSERT_TRUE(std::holds_alternative<std::size_t>(gf_loadAirports()));
        EXPECT_EQ(gf_airportCodeNear(p, IataCode()), IataCode("ZZZ")) << east;
    }
    AirportListEntry current;
    current.icao = IcaoCode("EDDF");
    current.iata = gf_noIataCode();
    current.position = LaLo{50.0, 8.0};
    gf_setCurrentAirport(current);
    EXPECT_EQ(gf_airportCodeNear(p, IataCode("MUC")), IataCode("MUC"));
    EXPECT_EQ(gf_airportCodeNear(p, IataCode()), IataCode("ZZZ"));
}

TEST_F(Reports, MovementGoesToTheWindowOrOnlyTheLog) {
    gf_gui().attachGuiThread();
    gf_gui().reset();
    auto s = std::make_shared<SettingsSnapshot>(*settingsSnapshot.load());
    s->FLIGHT_MESSAGES = 1;
    settingsSnapshot.store(s);
    gf_reportMovement("KLM1234 takeoff AMS");
    EXPECT_EQ(gf_gui().statusLine, "KLM1234 takeoff AMS");
    EXPECT_THAT(newLogLines(), HasSubstr("KLM1234 takeoff AMS\n"));

    s = std::make_shared<SettingsSnapshot>(*s);
    s->FLIGHT_MESSAGES = 0;
    settingsSnapshot.store(s);
    gf_reportMovement("KLM1234 touchdown LHR");
    EXPECT_EQ(gf_gui().statusLine, "KLM1234 takeoff AMS");
    EXPECT_THAT(newLogLines(), HasSubstr("KLM1234 touchdown LHR\n"));
    gf_gui().reset();
}

TEST_F(Reports, ExceptionTexts) {
    try {
        throw std::runtime_error("bad stream");
    } catch (...) {
        gf_reportTrafficException("updateLiveAc");
    }
    try {
        throw 42;
    } catch (...) {
        gf_reportTrafficException("decodeMessage");
    }
    gf_reportTrafficException("collisionWithParked");
    EXPECT_EQ(newLogLines(),
              "==> Traffic exception in updateLiveAc: bad stream\n"
              "==> Traffic exception in decodeMessage: non-standard exception\n"
              "==> Traffic exception in collisionWithParked: unknown exception\n");
}

TEST_F(Reports, TheTwentiethReportSaysTheRestAreSuppressed) {
    for (int i = 0; i < 25; ++i) gf_reportTrafficException("updateLiveAc");
    const std::string lines = newLogLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 20);
    EXPECT_THAT(lines, ::testing::EndsWith(
                           "==> Traffic exception in updateLiveAc: unknown exception (further traffic exceptions "
                           "will be suppressed)\n"));
    // A new run reports again.
    gf_resetTrafficExceptionCount();
    gf_reportTrafficException("decodeMessage");
    EXPECT_EQ(newLogLines(), "==> Traffic exception in decodeMessage: unknown exception\n");
}

TEST_F(Reports, DropPendingCreateKeepsTheOrderOfTheRest) {
    std::deque<AiCreateRequest> queue;
    for (std::uint32_t hexid : {1u, 2u, 3u, 2u, 4u}) {
        AiCreateRequest r;
        r.hexid = hexid;
        r.title = fmt::format("t{}", queue.size());
        queue.push_back(r);
    }
    EXPECT_TRUE(gf_dropPendingCreate(queue, 2));
    ASSERT_EQ(queue.size(), 3u);
    EXPECT_EQ(queue[0].title, "t0");
    EXPECT_EQ(queue[1].title, "t2");
    EXPECT_EQ(queue[2].title, "t4");
    EXPECT_FALSE(gf_dropPendingCreate(queue, 9));
    EXPECT_EQ(queue.size(), 3u);
}
