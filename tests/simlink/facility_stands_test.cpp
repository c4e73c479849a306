// Reading an airport's stands and helipads through the facility-reader
// connection, against model airports of the simulator model.

#include <chrono>
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "foundation/geodesy.h"
#include "simlink/facility_fixture.h"

namespace {

using tavo::test::countOf;
using tavo::test::emptyAirport;
using tavo::test::facilityBlock;
using tavo::test::facilityEnd;
using tavo::test::queueRaw;
using tavo::test::readLogFile;

constexpr double kMetreNm = 1.0 / 1852.0;

class FacilityStandsTest : public tavo::test::FacilityTest {
protected:
    bool read(const std::string& icao = "EDDX") { return gf_readFacilityStands(icao, airport, helipads); }

    const Stand* standNamed(const std::string& name) const {
        for (const auto& s : airport.stands)
            if (s.name == name) return &s;
        return nullptr;
    }

    Airport airport;
    std::uint32_t helipads = 99;
};

SimTaxiParking parking(std::int32_t type, std::int32_t name, std::uint32_t number, std::int32_t suffix = 0) {
    SimTaxiParking p;
    p.type = type;
    p.name = name;
    p.number = number;
    p.suffix = suffix;
    return p;
}

// ---- what one stand read gives ----

TEST_F(FacilityStandsTest, FillsTheAirportFromItsBlock) {
    auto a = emptyAirport();
    a.name = std::string(40, 'N');  // longer than the 32 characters the block carries
    a.altitudeM = 100.0;
    auto p = parking(9, 10, 12);
    p.headingDeg = 90.0f;
    p.radiusM = 18.52f;
    a.parkings.push_back(p);
    gf_simModelAddAirport(a);
    gf_simModelStart(SimVersion::MSFS2020);
    airport.publisher = "simaddon";

    ASSERT_TRUE(read());
    EXPECT_EQ(airport.icao, IcaoCode("EDDX"));
    EXPECT_EQ(airport.name, std::string(32, 'N'));
    EXPECT_DOUBLE_EQ(airport.latitude, 50.0);
    EXPECT_DOUBLE_EQ(airport.longitude, 8.0);
    EXPECT_EQ(airport.altitude, 328);  // 100 m
    EXPECT_EQ(airport.publisher, "simaddon") << "fields the facility data does not give stay";
    EXPECT_EQ(helipads, 0u);
    ASSERT_EQ(airport.stands.size(), 1u);
    const Stand& s = airport.stands[0];
    EXPECT_EQ(s.name, "GATE 12");
    EXPECT_DOUBLE_EQ(s.latitude, 50.0);
    EXPECT_DOUBLE_EQ(s.longitude, 8.0);
    EXPECT_NEAR(s.heading, M_PI / 2, 1e-9);
    EXPECT_NEAR(s.radius, 0.01, 1e-9) << "18.52 m is 0.01 NM";
    EXPECT_EQ(s.type, ParkingType::GATE_MEDIUM);
    EXPECT_TRUE(s.options.empty());
    EXPECT_EQ(s.id, 0u);
    EXPECT_FALSE(s.heli);
}

TEST_F(FacilityStandsTest, EveryParkingTypeGivesItsStandAndFlags) {
    auto a = emptyAirport();
    for (std::int32_t type = -1; type <= 17; ++type) a.parkings.push_back(parking(type, 1, static_cast<std::uint32_t>(type + 100)));
    gf_simModelAddAirport(a);
    gf_simModelStart(SimVersion::MSFS2020);

    ASSERT_TRUE(read());
    for (std::int32_t type = -1; type <= 17; ++type) {
        SCOPED_TRACE(type);
        const Stand* s = standNamed("PARKING " + std::to_string(type + 100));
        const bool isStand = type >= 1 && type <= 15 && type != 13;
        ASSERT_EQ(s != nullptr, isStand);
        if (!s) continue;
        EXPECT_EQ(s->type, static_cast<ParkingType>(type));
        EXPECT_EQ(s->ramp, type <= 4 || type == 14);
        EXPECT_EQ(s->cargo, type == 5 || type == 6);
        EXPECT_FALSE(s->heli);
    }
    EXPECT_EQ(airport.stands.size(), 14u);
}

TEST_F(FacilityStandsTest, NamesFollowNameIndexNumberAndSuffix) {
    auto a = emptyAirport();
    for (std::int32_t name = 0; name <= 40; ++name) a.parkings.push_back(parking(8, name, 7));
    a.parkings.push_back(parking(8, 10, 3, 12));
    a.parkings.push_back(parking(8, 10, 4, 37));
    a.parkings.push_back(parking(8, 10, 5, 5));
    a.parkings.push_back(parking(8, 10, 6, 38));
    a.parkings.push_back(parking(8, 1, 4294967295u, 0));
    gf_simModelAddAirport(a);
    gf_simModelStart(SimVersion::MSFS2020);

    ASSERT_TRUE(read());
    ASSERT_EQ(airport.stands.size(), 46u);
    EXPECT_EQ(airport.stands[0].name, "7");
    EXPECT_EQ(airport.stands[1].name, "PARKING 7");
    EXPECT_EQ(airport.stands[2].name, "N_PARKING 7");
    EXPECT_EQ(airport.stands[9].name, "NW_PARKING 7");
    EXPECT_EQ(airport.stands[10].name, "GATE 7");
    EXPECT_EQ(airport.stands[11].name, "DOCK 7");
    EXPECT_EQ(airport.stands[12].name, "GATE A7");
    EXPECT_EQ(airport.stands[37].name, "GATE Z7");
    EXPECT_EQ(airport.stands[38].name, "7") << "an index beyond the table has no prefix";
    EXPECT_EQ(airport.stands[40].name, "7");
    EXPECT_EQ(airport.stands[41].name, "GATE 3A");
    EXPECT_EQ(airport.stands[42].name, "GATE 4Z");
    EXPECT_EQ(airport.stands[43].name, "GATE 5?");
    EXPECT_EQ(airport.stands[44].name, "GATE 6?");
    EXPECT_EQ(airport.stands[45].name, "PARKING 4294967295");
}

TEST_F(FacilityStandsTest, BiasMovesEastWestThenNorthSouth) {
    auto a = emptyAirport();
    auto p = parking(8, 10, 1);
    p.biasXM = -30.0f;
    p.biasZM = 40.0f;
    a.parkings.push_back(p);
    p = parking(8, 10, 2);
    p.biasXM = 100.0f;
    a.parkings.push_back(p);
    p = parking(8, 10, 3);
    p.biasZM = -250.0f;
    a.parkings.push_back(p);
    gf_simModelAddAirport(a);
    gf_simModelStart(SimVersion::MSFS2020);

    ASSERT_TRUE(read());
    const LaLo ref{50.0, 8.0};
    const auto at = [&](const std::string& name) {
        const Stand* s = standNamed(name);
        EXPECT_NE(s, nullptr) << name;
        return s ? LaLo{s->latitude, s->longitude} : ref;
    };
    // 30 m west and 40 m north: 50 m away, at 360 - atan(30/40).
    const LaLo one = at("GATE 1");
    EXPECT_NEAR(gf_distanceNm(ref, one) / kMetreNm, 50.0, 0.05);
    EXPECT_NEAR(gf_bearing(ref, one) * radiansToDegrees, 360.0 - 36.8699, 0.01);
    EXPECT_GT(one.lat, ref.lat);
    EXPECT_LT(one.lon, ref.lon);

    const LaLo two = at("GATE 2");
    EXPECT_NEAR(gf_distanceNm(ref, two) / kMetreNm, 100.0, 0.05);
    EXPECT_NEAR(gf_bearing(ref, two) * radiansToDegrees, 90.0, 0.01);

    const LaLo three = at("GATE 3");
    EXPECT_NEAR(gf_distanceNm(ref, three) / kMetreNm, 250.0, 0.05);
    EXPECT_NEAR(three.lon, ref.lon, 1e-12) << "due south";
    EXPECT_LT(three.lat, ref.lat);
}

TEST_F(FacilityStandsTest, HelipadsAreNumberedAndSizedByType) {
    auto a = emptyAirport();
    a.parkings.push_back(parking(1, 1, 1));
    SimHelipad h;
    h.latitudeDeg = 50.001;
    h.longitudeDeg = 8.002;
    h.headingDeg = 180.0f;
    h.widthM = 20.0f;
    h.type = 2;
    a.helipads.push_back(h);
    h.type = 3;
    h.headingDeg = -90.0f;
    a.helipads.push_back(h);
    gf_simModelAddAirport(a);
    gf_simModelStart(SimVersion::MSFS2020);

    ASSERT_TRUE(read());
    EXPECT_EQ(helipads, 2u);
    ASSERT_EQ(airport.stands.size(), 3u);
    EXPECT_EQ(airport.stands[0].name, "PARKING 1");
    const Stand& h1 = airport.stands[1];
    const Stand& h2 = airport.stands[2];
    EXPECT_EQ(h1.name, "HELIPAD 1");
    EXPECT_EQ(h2.name, "HELIPAD 2");
    EXPECT_NEAR(h1.radius, 14.0 * kMetreNm, 1e-12);
    EXPECT_NEAR(h2.radius, 10.0 * kMetreNm, 1e-12);
    EXPECT_TRUE(h1.heli);
    EXPECT_FALSE(h1.ramp);
    EXPECT_FALSE(h1.cargo);
    EXPECT_EQ(h1.type, ParkingType::NONE);
    EXPECT_DOUBLE_EQ(h1.latitude, 50.001);
    EXPECT_DOUBLE_EQ(h1.longitude, 8.002);
    EXPECT_NEAR(h1.heading, M_PI, 1e-9);
    EXPECT_NEAR(h2.heading, 1.5 * M_PI, 1e-9) << "headings are kept in [0, 2 pi)";
}

TEST_F(FacilityStandsTest, AnAirportWithoutStandsIsReturned) {
    gf_simModelAddAirport(emptyAirport());
    gf_simModelStart(SimVersion::MSFS2020);
    ASSERT_TRUE(read());
    EXPECT_TRUE(airport.stands.empty());
    EXPECT_EQ(helipads, 0u);
    EXPECT_NE(readLogFile().find("Fac: EDDX has no stands\n"), std::string::npos);
}

TEST_F(FacilityStandsTest, StandsWithoutAUsablePositionOrSizeAreSkipped) {
    auto a = emptyAirport();
    auto p = parking(8, 10, 1);
    p.radiusM = std::nanf("");
    a.parkings.push_back(p);
    a.parkings.push_back(parking(8, 10, 2));
    SimHelipad h;  // at (0, 0)
    a.helipads.push_back(h);
    h.latitudeDeg = 50.0;
    h.longitudeDeg = 8.0;
    a.helipads.push_back(h);
    gf_simModelAddAirport(a);
    gf_simModelStart(SimVersion::MSFS2020);

    ASSERT_TRUE(read());
    ASSERT_EQ(airport.stands.size(), 2u);
    EXPECT_EQ(airport.stands[0].name, "GATE 2");
    EXPECT_EQ(airport.stands[1].name, "HELIPAD 1");
    EXPECT_EQ(helipads, 1u);
    const std::string log = readLogFile();
    EXPECT_NE(log.find("Fac: EDDX skipped stand GATE 1"), std::string::npos);
    EXPECT_NE(log.find("Fac: EDDX skipped a helipad at 0.000000,0.000000"), std::string::npos);
}

// ---- the connection ----

TEST_F(FacilityStandsTest, ASecondReadReusesTheConnectionAndItsDefinition) {
    gf_simModelAddAirport(emptyAirport("EDDX"));
    gf_simModelAddAirport(emptyAirport("EDDY"));
    gf_simModelStart(SimVersion::MSFS2020);
    ASSERT_TRUE(read("EDDX"));
    const auto first = reader();
    ASSERT_TRUE(read("EDDY"));
    const auto second = reader();
    EXPECT_EQ(first.serial, second.serial);
    int additions = 0;
    for (const auto& c : second.calls) additions += c.call == SimCall::AddToFacilityDefinition ? 1 : 0;
    EXPECT_EQ(additions, 30);
    ASSERT_EQ(second.facilityDefinitions.size(), 1u);
    EXPECT_EQ(second.facilityDefinitions[0].first, 1001u);
    EXPECT_EQ(second.facilityDefinitions[0].second.front(), "OPEN AIRPORT");
    EXPECT_EQ(second.facilityDefinitions[0].second.back(), "CLOSE AIRPORT");
    EXPECT_EQ(airport.icao, IcaoCode("EDDY"));
}

TEST_F(FacilityStandsTest, TheLongFormAsksForIcaoAndRegionButNamesByAirportName) {
    gf_simModelAddAirport(emptyAirport("EDDX"));
    gf_simModelStart(SimVersion::MSFS2020);
    ASSERT_TRUE(gf_readFacilityStands("ABCD", "eddx", "ED", airport, helipads));
    EXPECT_EQ(airport.icao, IcaoCode("ABCD"));
    bool asked = false;
    for (const auto& c : reader().calls)
        if (c.call == SimCall::RequestFacilityData) asked = c.text == "eddx" && c.id == 1001 && c.id2 == 2001;
    EXPECT_TRUE(asked);
}

TEST_F(FacilityStandsTest, NoSimulatorFailsAtOnce) {
    const auto wallStart = std::chrono::steady_clock::now();
    EXPECT_FALSE(read());
    EXPECT_LT(std::chrono::steady_clock::now() - wallStart, std::chrono::seconds(1));
    EXPECT_EQ(sleeps, 0);
    EXPECT_EQ(helipads, 99u) << "nothing is filled on failure";
    EXPECT_NE(readLogFile().find("==> SimConnect_Open (PARKING_DATA_RDR) FAILED hr=0x80004005\n"), std::string::npos);
}

TEST_F(FacilityStandsTest, AFailedDefinitionClosesTheHandleAndTheNextReadStartsAgain) {
    gf_simModelAddAirport(emptyAirport());
    gf_simModelStart(SimVersion::MSFS2020);
    gf_simModelAddCallFault({.call = SimCall::AddToFacilityDefinition, .nth = 5, .times = 1});
    EXPECT_FALSE(read());
    EXPECT_FALSE(readerOpen());
    EXPECT_NE(readLogFile().find("==> SimConnect facility definition initialization failed\n"), std::string::npos);
    EXPECT_TRUE(read());
    EXPECT_EQ(reader().facilityDefinitions.at(0).second.size(), 30u);
}

TEST_F(FacilityStandsTest, AFailedRequestIsLoggedAndClosesTheReader) {
    gf_simModelAddAirport(emptyAirport());
    gf_simModelStart(SimVersion::MSFS2020);
    gf_simModelAddCallFault({.call = SimCall::RequestFacilityData});
    EXPECT_FALSE(gf_readFacilityStands("EDDX", "EDDZ", "", airport, helipads));
    EXPECT_FALSE(readerOpen());
    const std::string log = readLogFile();
    EXPECT_NE(log.find("==> RequestFacilityData failed for EDDZ (airport EDDX)\n"), std::string::npos);
    EXPECT_NE(log.find("SimConnect (PARKING_DATA_RDR) closed\n"), std::string::npos);
}

TEST_F(FacilityStandsTest, TimesOutAfterThirtySecondsAndCloses) {
    gf_simModelAddAirport(emptyAirport());
    gf_simModelStart(SimVersion::MSFS2020);
    gf_simModelSetWithholdFacilityEnd(true);
    const auto wallStart = std::chrono::steady_clock::now();
    EXPECT_FALSE(read());
    EXPECT_LT(std::chrono::steady_clock::now() - wallStart, std::chrono::seconds(5));
    EXPECT_GE(fakeElapsed().count(), 30.0);
    EXPECT_LE(fakeElapsed().count(), 31.5);
    EXPECT_FALSE(readerOpen());
    const std::string log = readLogFile();
    EXPECT_EQ(countOf(log, "==> Facility data request timed out for EDDX\n"), 1);
    EXPECT_NE(log.find("SimConnect closed ok\n"), std::string::npos);
}

TEST_F(FacilityStandsTest, AFailedDispatchIsLoggedWithItsResult) {
    gf_simModelAddAirport(emptyAirport());
    gf_simModelStart(SimVersion::MSFS2020);
    gf_simModelAddCallFault({.call = SimCall::CallDispatch, .connection = "PARKING_DATA_RDR", .result = E_HANDLE});
    EXPECT_FALSE(read());
    EXPECT_NE(readLogFile().find("==> SimConnect_CallDispatch failed for EDDX: 0x80070006\n"), std::string::npos);
    EXPECT_FALSE(readerOpen());
}

TEST_F(FacilityStandsTest, ASimulatorExceptionFailsTheRead) {
    gf_simModelStart(SimVersion::MSFS2020);  // knows no airport at all
    EXPECT_FALSE(read());
    EXPECT_NE(readLogFile().find("==> SimConnect EXCEPTION id=20 sendID="), std::string::npos);
    EXPECT_FALSE(readerOpen());
}

TEST_F(FacilityStandsTest, AStopRequestEndsTheWait) {
    gf_simModelAddAirport(emptyAirport());
    gf_simModelStart(SimVersion::MSFS2020);
    gf_simModelSetWithholdFacilityEnd(true);
    requestStop(StopReason::NewSettings, 0);
    EXPECT_FALSE(read());
    EXPECT_EQ(sleeps, 0);
    EXPECT_FALSE(readerOpen());
}

TEST_F(FacilityStandsTest, CloseLogsItsLinesOnceAndFailureToClose) {
    gf_simModelAddAirport(emptyAirport());
    gf_simModelStart(SimVersion::MSFS2020);
    ASSERT_TRUE(read());
    gf_simModelAddCallFault({.call = SimCall::Close, .connection = "PARKING_DATA_RDR", .times = 1});
    gf_closeFacilityReader();
    gf_closeFacilityReader();  // already closed: nothing more
    const std::string log = readLogFile();
    EXPECT_EQ(countOf(log, "==> Closing SimConnect failed?!\n"), 1);
    EXPECT_EQ(countOf(log, "SimConnect (PARKING_DATA_RDR) closed\n"), 1);
    ASSERT_TRUE(read()) << "a fresh connection after closing";
}

// ---- answers that cannot be trusted ----

TEST_F(FacilityStandsTest, AnAirportAtZeroZeroIsNotRead) {
    auto a = emptyAirport();
    a.latitudeDeg = 0.0;
    a.longitudeDeg = 0.0;
    a.parkings.push_back(parking(8, 10, 1));
    gf_simModelAddAirport(a);
    gf_simModelStart(SimVersion::MSFS2020);
    EXPECT_FALSE(read());
    EXPECT_TRUE(airport.stands.empty());
    EXPECT_NE(readLogFile().find("==> Fac: EDDX facility data without a valid airport position\n"),
              std::string::npos);
    EXPECT_FALSE(readerOpen());
}

TEST_F(FacilityStandsTest, AnAirportWithANaNAltitudeIsNotRead) {
    auto a = emptyAirport();
    a.altitudeM = std::nan("");
    gf_simModelAddAirport(a);
    gf_simModelStart(SimVersion::MSFS2020);
    EXPECT_FALSE(read());
    EXPECT_NE(readLogFile().find("==> Fac: EDDX facility data with an invalid airport altitude\n"),
              std::string::npos);
}

TEST_F(FacilityStandsTest, AnAnswerWithoutAnAirportBlockFails) {
    gf_simModelAddAirport(emptyAirport("EDDY"));
    gf_simModelStart(SimVersion::MSFS2020);
    ASSERT_TRUE(read("EDDY"));  // opens the connection

    // A helipad and the end of the answer, but no airport block.
    auto helipad = facilityBlock(84, 2001, 900001, 0, SIMCONNECT_FACILITY_DATA_HELIPAD);
    helipad.put<double>(40, 50.0).put<double>(48, 8.0).put<float>(72, 20.0f);
    queueRaw(helipad);
    queueRaw(facilityEnd(2001));
    airport = Airport{};
    EXPECT_FALSE(read("EDDY"));
    EXPECT_TRUE(airport.stands.empty());
    EXPECT_NE(readLogFile().find("==> Fac: EDDY facility data without a valid airport position\n"),
              std::string::npos);
}

TEST_F(FacilityStandsTest, AParkingBeforeTheAirportBlockFails) {
    gf_simModelAddAirport(emptyAirport("EDDY"));
    gf_simModelStart(SimVersion::MSFS2020);
    ASSERT_TRUE(read("EDDY"));
    auto p = facilityBlock(80, 2001, 900001, 0, SIMCONNECT_FACILITY_DATA_TAXI_PARKING);
    p.put<std::int32_t>(40, 8);
    queueRaw(p);
    EXPECT_FALSE(read("EDDY"));
    EXPECT_NE(readLogFile().find("==> onRecvFacilityData exception: taxi parking before the airport block\n"),
              std::string::npos);
}

TEST_F(FacilityStandsTest, ShortBlocksFailTheRead) {
    for (const std::uint32_t cut : {12u, 39u, 60u, 100u}) {
        SCOPED_TRACE(cut);
        gf_simModelReset();
        auto a = emptyAirport();
        a.parkings.push_back(parking(8, 10, 1));
        gf_simModelAddAirport(a);
        gf_simModelStart(SimVersion::MSFS2020);
        gf_simModelAddRecordFault(
            {.recvId = SIMCONNECT_RECV_ID_FACILITY_DATA, .requestId = 2001u, .truncateTo = cut, .times = 1});
        Airport fresh;
        std::uint32_t count = 0;
        EXPECT_FALSE(gf_readFacilityStands("EDDX", fresh, count));
        EXPECT_TRUE(fresh.stands.empty());
    }
    const std::string log = readLogFile();
    EXPECT_NE(log.find("exception: airport block of 60 bytes, at least 104 expected"), std::string::npos);
    EXPECT_NE(log.find("exception: facility data block of 39 bytes, at least 40 expected"), std::string::npos);
}

TEST_F(FacilityStandsTest, ANameThatIsNoCodeFailsWithoutAskingTheSimulator) {
    gf_simModelStart(SimVersion::MSFS2020);
    EXPECT_FALSE(read("ED"));
    EXPECT_FALSE(reader().found) << "no connection was opened";
    EXPECT_NE(readLogFile().find("==> gf_readFacilityStands exception: 'ED' IcaoCode: invalid string"),
              std::string::npos);
}

}  // namespace
