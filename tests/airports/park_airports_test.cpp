// The park airports: the user's file read into the queue and written back
// with every line it could not use, the handmade airports, the nearest park
// airport brought to the front, reach, and the choice of the current airport
// in the air and on the ground with what it asks of the feed and the window.

#include <filesystem>
#include <fstream>
#include <string>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "foundation/files.h"
#include "park_airport_fixture.h"

namespace fs = std::filesystem;
using namespace tavo::test;

namespace {

void writeText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// A position the given nautical miles north and east of another.
LaLo offset(LaLo from, double northNm, double eastNm) {
    return LaLo{from.lat + northNm / 60.0, from.lon + eastNm / 60.0 / std::cos(from.lat * 3.141592653589793 / 180.0)};
}

const LaLo kEddf{50.0333, 8.5706};

class ParkAirportsTest : public ParkAirportTest {
protected:
    std::string frontCode() {
        const auto front = lf_getCurrentParkAirport();
        return front ? std::string(front->icao.text()) : "";
    }
};

TEST_F(ParkAirportsTest, TheFileBecomesTheQueueAndGoesBackWithTheLinesItCouldNotUse) {
    writeText(gf_myParkAirportsFilePath(), "\xEF\xBB\xBF" "eddm\nEDDF\nEDDH,A,B\nXX-1\nZZZZ\n\nEDDF, B3 \n , \nEDDS,A12\n");
    newLogLines();
    gf_readMyParkAirportsFile();
    const std::string log = newLogLines();
    EXPECT_NE(log.find("my_park_airports.txt:EDDH,A,B wrong syntax, preserved"), std::string::npos) << log;
    EXPECT_NE(log.find("my_park_airports.txt:XX-1 invalid ICAO code, preserved"), std::string::npos);
    EXPECT_NE(log.find("airport ZZZZ is unknown"), std::string::npos) << "a highlighted status line";
    EXPECT_NE(log.find("\n    3 park airports read from 'airports/my_park_airports.txt'"), std::string::npos);
    EXPECT_NE(log.find("    3 park airports available in total"), std::string::npos);

    EXPECT_EQ(frontCode(), "EDDM") << "lower case taken upper-cased, in file order";
    EXPECT_EQ(gf_findParkAirportUserStand(IcaoCode("EDDF")), "B3") << "the later line's stand, at the first place";
    EXPECT_EQ(gf_findParkAirportUserStand(IcaoCode("EDDS")), "A12");
    EXPECT_EQ(gf_getParkAirportUserStand(), std::nullopt);
    {
        std::lock_guard lock(g_parkAirportsMutex);
        ASSERT_EQ(g_parkAirports.size(), 3u);
        EXPECT_EQ(g_parkAirports[1].icao, IcaoCode("EDDF"));
        EXPECT_DOUBLE_EQ(g_parkAirports[1].latitude, 50.0333) << "the list's reference point";
    }

    // The stand the user aircraft is seen at is kept for the front airport only.
    EXPECT_FALSE(gf_setParkAirportUserStand(IcaoCode("EDDF"), "C1"));
    gf_makeCurrentParkAirportWithStand(IcaoCode("EDDL"), LaLo{51.0, 6.0}, "V7");
    EXPECT_EQ(gf_getParkAirportUserStand(), "V7");
    EXPECT_EQ(gf_currentParkAirportPosition(), (std::pair{IcaoCode("EDDL"), LaLo{51.0, 6.0}}));

    gf_writeMyParkAirportsFile();
    EXPECT_EQ(readFile(gf_myParkAirportsFilePath()),
              "EDDF,B3\nEDDL,V7\nEDDM\nEDDS,A12\nEDDH,A,B\nXX-1\nZZZZ\n\n , \n");
    gf_writeMyParkAirportsFile();
    EXPECT_NE(newLogLines().find("Park airports file not saved: reading was not completed"), std::string::npos);
}

TEST_F(ParkAirportsTest, WithoutAirportsOrPreservedLinesTheFileIsNotTouched) {
    // An empty file exists: it is left as it is.
    writeText(gf_myParkAirportsFilePath(), "");
    newLogLines();
    gf_readMyParkAirportsFile();
    EXPECT_EQ(newLogLines(), "\n    0 park airports read from 'airports/my_park_airports.txt'\n");
    gf_writeMyParkAirportsFile();
    EXPECT_EQ(newLogLines(), "Park airports file left unchanged: 'airports/my_park_airports.txt'\n");
    EXPECT_TRUE(fs::exists(gf_myParkAirportsFilePath()));

    // No file: none is made.
    fs::remove(gf_myParkAirportsFilePath());
    gf_readMyParkAirportsFile();
    EXPECT_EQ(newLogLines(), "No saved park airports file: 'airports/my_park_airports.txt'\n");
    gf_writeMyParkAirportsFile();
    EXPECT_EQ(newLogLines(), "");
    EXPECT_FALSE(fs::exists(gf_myParkAirportsFilePath()));
}

TEST_F(ParkAirportsTest, ThreeThousandParkAirportsPassQuietlyOneMoreWarns) {
    gf_unloadAirportsForTests();
    writeAirportsEnc(dir(), airportsProfile(3001));
    ASSERT_TRUE(std::holds_alternative<std::size_t>(gf_loadAirports()));
    for (const std::size_t count : {3000u, 3001u}) {
        std::string text;
        for (std::size_t i = 0; i < count; ++i) text += profileIcao(i) + "\n";
        writeText(gf_myParkAirportsFilePath(), text);
        newLogLines();
        gf_readMyParkAirportsFile();
        const std::string log = newLogLines();
        EXPECT_NE(log.find(fmt::format("{:5} park airports available in total", count)), std::string::npos);
        EXPECT_EQ(log.find("Warning: There are a lot of park airports") != std::string::npos, count == 3001) << count;
    }
}

TEST_F(ParkAirportsTest, HandmadeAirportsJoinTheQueueOnceAndOnlyWhenKnown) {
    writeText(gf_myParkAirportsFilePath(), "EDDF\n");
    for (const char* name : {"EDDL.xml", "eddk.txt", "EDDF.xml", "ABCD.xml", "XY.xml"})
        writeText(myThirdpartyDir / name, "x");
    fs::create_directories(myThirdpartyDir / "EDDS");
    newLogLines();
    gf_readMyParkAirportsFile();
    EXPECT_NE(newLogLines().find("    2 park airports added from 'airports/my_thirdparty'"), std::string::npos);
    std::lock_guard lock(g_parkAirportsMutex);
    ASSERT_EQ(g_parkAirports.size(), 3u);
    EXPECT_EQ(g_parkAirports[1].icao, IcaoCode("EDDL"));
    EXPECT_EQ(g_parkAirports[2].icao, IcaoCode("EDDK"));
}

TEST_F(ParkAirportsTest, TheNearestComesToTheFrontOnceTheUserLeftTheRecheckRadius) {
    const LaLo start{50.0, 8.0};
    gf_makeCurrentParkAirport(IcaoCode("EDDK"), offset(start, -7.0, 0.0));
    gf_makeCurrentParkAirport(IcaoCode("EDDF"), offset(start, 2.0, 0.0));
    lf_moveNearestParkAirportToFront(start);  // checks at once: EDDF is nearest, radius 4 NM
    EXPECT_EQ(frontCode(), "EDDF");
    lf_moveNearestParkAirportToFront(offset(start, -3.0, 0.0));  // EDDK is nearer now, but within 4 NM
    EXPECT_EQ(frontCode(), "EDDF");
    lf_moveNearestParkAirportToFront(offset(start, -4.0, 0.0));
    EXPECT_EQ(frontCode(), "EDDK");

    // A front 20 NM away makes the radius 10 NM.
    gf_clearParkAirports();
    gf_makeCurrentParkAirport(IcaoCode("EDDK"), offset(start, 20.0, 0.0));
    gf_makeCurrentParkAirport(IcaoCode("EDDF"), offset(start, -24.0, 0.0));
    lf_moveNearestParkAirportToFront(start);
    EXPECT_EQ(frontCode(), "EDDK");
    lf_moveNearestParkAirportToFront(offset(start, -9.9, 0.0));
    EXPECT_EQ(frontCode(), "EDDK");
    lf_moveNearestParkAirportToFront(offset(start, -10.1, 0.0));
    EXPECT_EQ(frontCode(), "EDDF");
}

TEST_F(ParkAirportsTest, ReachEndsAboveTheAltitudeLimitAndBeyondTheRange) {
    const LaLo user = offset(kEddf, 19.9, 0.0);
    placeUserAircraft(user, 18000, false);
    EXPECT_TRUE(lf_isWithinReach(user, kEddf)) << "at the limit itself";
    EXPECT_FALSE(lf_isWithinReach(offset(kEddf, 20.1, 0.0), kEddf));
    placeUserAircraft(user, 18001, false);
    EXPECT_FALSE(lf_isWithinReach(user, kEddf));
}

TEST_F(ParkAirportsTest, InTheAirTheFrontParkAirportWithinReachBecomesCurrent) {
    for (const bool rtDirect : {false, true}) {
        SCOPED_TRACE(rtDirect ? "RT Direct" : "RT App");
        g_calls = ParkingCalls{};
        gf_clearCurrentAirport();
        g_parkingPlanRequested.store(false);
        useRTDirect(rtDirect);
        gf_enableControl(parking_percentage.controlId, true);
        gf_makeCurrentParkAirport(IcaoCode("EDDF"), kEddf);
        const LaLo user = offset(kEddf, 10.0, 0.0);
        placeUserAircraft(user, 5000, false);
        newLogLines();
        lf_selectParkAirportOnGround(user);
        ASSERT_TRUE(gf_currentAirport());
        EXPECT_EQ(gf_currentAirport()->icao, IcaoCode("EDDF"));
        EXPECT_EQ(gf_gui().parkAirport, IcaoCode("EDDF"));
        EXPECT_NE(newLogLines().find("\nThe park airport is EDDF\n"), std::string::npos);
        EXPECT_EQ(gf_gui().statusLine, "EDDF within reach");
        EXPECT_TRUE(g_parkingPlanRequested.load());
        EXPECT_EQ(gf_isControlEnabled(parking_percentage.controlId), false) << "the parking panel waits";
        EXPECT_EQ(g_calls.parkedRequests, rtDirect ? 0 : 1) << "RT Direct asks for parked traffic itself";
        EXPECT_EQ(g_calls.rtDirectMapClears, rtDirect ? 1 : 0);
    }

    // A front park airport out of reach changes nothing; one the list does not
    // know clears the shown airport.
    gf_clearCurrentAirport();
    g_parkingPlanRequested.store(false);
    lf_selectParkAirportOnGround(offset(kEddf, 30.0, 0.0));
    EXPECT_FALSE(gf_currentAirport());
    gf_makeCurrentParkAirport(IcaoCode("ABCD"), kEddf);
    lf_selectParkAirportOnGround(kEddf);
    EXPECT_FALSE(gf_currentAirport());
    EXPECT_TRUE(gf_gui().parkAirport.isNone());
    EXPECT_FALSE(g_parkingPlanRequested.load());
}

TEST_F(ParkAirportsTest, OnTheGroundTheAirportAtTheUserBecomesCurrent) {
    useRTDirect(false);
    placeUserAircraft(LaLo{40.0, 0.0}, 0, true);
    lf_selectParkAirportOnGround(LaLo{40.0, 0.0});
    EXPECT_EQ(gf_gui().statusLine, "User aircraft on the ground, no RT supported airport within reach");
    EXPECT_FALSE(gf_currentAirport());

    const LaLo user = offset(kEddf, 1.0, 0.0);
    placeUserAircraft(user, 364, true);
    newLogLines();
    lf_selectParkAirportOnGround(user);
    ASSERT_TRUE(gf_currentAirport());
    EXPECT_EQ(gf_currentAirport()->icao, IcaoCode("EDDF"));
    EXPECT_EQ(newLogLines(), "User aircraft on the ground at EDDF\n\nThe park airport is EDDF\n");
    EXPECT_EQ(gf_gui().parkAirport, IcaoCode("EDDF"));
    EXPECT_TRUE(g_parkingPlanRequested.load());
    EXPECT_EQ(gf_isControlEnabled(parking_percentage.controlId), false);
    EXPECT_EQ(g_calls.parkedRequests, 0);
}

TEST_F(ParkAirportsTest, InTheAirTheCurrentAirportsTrafficEndsOutOfReachOrForANearerParkAirport) {
    const auto current = *gf_findAirport(IcaoCode("EDDF"));
    struct Case {
        const char* what;
        LaLo user;
        bool onGround;
        const char* front;  // the park airport at the front, placed 5 NM north of EDDF
        const char* logged;
    };
    const Case cases[] = {
        {"within reach, its own park airport in front", offset(kEddf, 8.0, 0.0), false, "EDDF", nullptr},
        {"out of reach", offset(kEddf, 25.0, 0.0), false, "EDDF", "EDDF is no longer within reach, parked aircraft will be removed"},
        {"on the ground nothing is checked", offset(kEddf, 25.0, 0.0), true, "EDDF", nullptr},
        {"a nearer park airport", offset(kEddf, 8.0, 0.0), false, "EDDK", "EDDK is within reach, parked aircraft at EDDF will be removed first"},
        {"a farther park airport", offset(kEddf, -2.0, 0.0), false, "EDDK", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_calls = ParkingCalls{};
        gf_clearParkAirports();
        gf_setCurrentAirport(current);
        gf_makeCurrentParkAirport(IcaoCode(c.front), std::string(c.front) == "EDDF" ? kEddf : offset(kEddf, 5.0, 0.0));
        placeUserAircraft(c.user, 3000, c.onGround);
        newLogLines();
        lf_checkParkAirportReach(c.user);
        const std::string log = newLogLines();
        EXPECT_EQ(g_calls.endParkedTraffic, c.logged ? 1 : 0);
        if (c.logged) EXPECT_NE(log.find(c.logged), std::string::npos) << log;
    }
}

}  // namespace
