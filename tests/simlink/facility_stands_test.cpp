// Reading an airport's stands and helipads through the facility-reader
// connection, against model airports of the simulator model.

#include <chrono>
#include <cmath>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "foundation/geodesy.h"
#include "simlink/facility_fixture.h"
#include "support/source_paths.h"

namespace {

using tavo::test::countOf;
using tavo::test::kMetreNm;
using tavo::test::emptyAirport;
using tavo::test::facilityBlock;
using tavo::test::facilityEnd;
using tavo::test::queueRaw;


class FacilityStandsTest : public tavo::test::FacilityTest {
protected:
    bool read(const std::string& icao = "EDDX") { return gf_readFacilityStands(icao, airport, helipads); }
    // Starts the simulator with the airport and reads it.
    bool readAirport(const SimAirport& a) {
        gf_simModelAddAirport(a);
        gf_simModelStart(SimVersion::MSFS2020);
        return read(a.icao);
    }
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
    auto p = parking(9, 10, 12);
    p.headingDeg = 90.0f;
    p.radiusM = 18.52f;
    a.parkings.push_back(p);
    airport.publisher = "simaddon";

    ASSERT_TRUE(readAirport(a));
    EXPECT_EQ(airport.name, std::string(32, 'N'));
    EXPECT_DOUBLE_EQ(airport.latitude, 50.0);
    EXPECT_EQ(airport.altitude, 328);  // 100 m
    EXPECT_EQ(airport.publisher, "simaddon") << "fields the facility data does not give stay";
    EXPECT_EQ(helipads, 0u);
    ASSERT_EQ(airport.stands.size(), 1u);
    const Stand& s = airport.stands[0];
    EXPECT_EQ(s.name, "GATE 12");
    EXPECT_DOUBLE_EQ(s.longitude, 8.0);
    EXPECT_NEAR(s.heading, M_PI / 2, 1e-9);
    EXPECT_NEAR(s.radius, 0.01, 1e-9) << "18.52 m is 0.01 NM";
    EXPECT_EQ(s.type, ParkingType::GATE_MEDIUM);
}

TEST_F(FacilityStandsTest, EveryParkingTypeGivesItsStandAndFlags) {
    auto a = emptyAirport();
    for (std::int32_t type = -1; type <= 17; ++type)
        a.parkings.push_back(parking(type, 1, static_cast<std::uint32_t>(type + 100)));
    ASSERT_TRUE(readAirport(a));
    for (std::int32_t type = -1; type <= 17; ++type) {
        SCOPED_TRACE(type);
        const Stand* s = standNamed("PARKING " + std::to_string(type + 100));
        const bool isStand = type >= 1 && type <= 15 && type != 13;
        ASSERT_EQ(s != nullptr, isStand);
        if (!s) continue;
        EXPECT_EQ(s->type, static_cast<ParkingType>(type));
        EXPECT_EQ(s->ramp, type <= 4 || type == 14);
        EXPECT_EQ(s->cargo, type == 5 || type == 6);
    }
    EXPECT_EQ(airport.stands.size(), 14u);
}

TEST_F(FacilityStandsTest, NamesFollowNameIndexNumberAndSuffix) {
    auto a = emptyAirport();
    const std::int32_t names[] = {0, 1, 2, 9, 10, 11, 12, 37, 38, 40, -1};
    for (const std::int32_t name : names) a.parkings.push_back(parking(8, name, 7));
    a.parkings.push_back(parking(8, 10, 3, 12));
    a.parkings.push_back(parking(8, 10, 4, 37));
    a.parkings.push_back(parking(8, 10, 5, 5));
    a.parkings.push_back(parking(8, 10, 6, 38));
    a.parkings.push_back(parking(8, 1, 4294967295u, 0));
    ASSERT_TRUE(readAirport(a));
    std::vector<std::string> got;
    for (const auto& s : airport.stands) got.push_back(s.name);
    // Lettered gates have no blank after the letter; an index beyond the
    // table has no prefix; a suffix is a letter or "?".
    const std::vector<std::string> expected{
        "7",       "PARKING 7", "N_PARKING 7", "NW_PARKING 7", "GATE 7",  "DOCK 7",
        "GATE A7", "GATE Z7",   "7",           "7",            "7",       "GATE 3A",
        "GATE 4Z", "GATE 5?",   "GATE 6?",     "PARKING 4294967295"};
    EXPECT_EQ(got, expected);
}

TEST_F(FacilityStandsTest, BiasMovesEastWestThenNorthSouth) {
    auto a = emptyAirport();
    const std::pair<float, float> biases[] = {{-30.0f, 40.0f}, {100.0f, 0.0f}, {0.0f, -250.0f}};
    std::uint32_t number = 0;
    for (const auto& [x, z] : biases) {
        auto p = parking(8, 10, ++number);
        p.biasXM = x;
        p.biasZM = z;
        a.parkings.push_back(p);
    }
    ASSERT_TRUE(readAirport(a));
    ASSERT_EQ(airport.stands.size(), 3u);
    const LaLo ref{50.0, 8.0};
    const auto at = [&](std::size_t i) { return LaLo{airport.stands[i].latitude, airport.stands[i].longitude}; };
    // 30 m west and 40 m north: 50 m away, at 360 - atan(30/40).
    EXPECT_NEAR(gf_distanceNm(ref, at(0)) / kMetreNm, 50.0, 0.05);
    EXPECT_NEAR(gf_bearing(ref, at(0)) * radiansToDegrees, 360.0 - 36.8699, 0.01);
    EXPECT_NEAR(gf_distanceNm(ref, at(1)) / kMetreNm, 100.0, 0.05);
    EXPECT_NEAR(gf_bearing(ref, at(1)) * radiansToDegrees, 90.0, 0.01);
    EXPECT_NEAR(gf_distanceNm(ref, at(2)) / kMetreNm, 250.0, 0.05);
    EXPECT_NEAR(at(2).lon, ref.lon, 1e-12) << "due south";
    EXPECT_LT(at(2).lat, ref.lat);
}

TEST_F(FacilityStandsTest, HelipadsAreNumberedAndSizedAndUnusableEntriesSkipped) {
    auto a = emptyAirport();
    a.parkings.push_back(parking(1, 1, 1));
    auto broken = parking(8, 10, 1);
    broken.radiusM = std::nanf("");
    a.parkings.push_back(broken);
    SimHelipad h;
    a.helipads.push_back(h);  // at (0, 0)
    h.latitudeDeg = 50.001;
    h.longitudeDeg = 8.002;
    h.headingDeg = 180.0f;
    h.widthM = 20.0f;
    h.type = 2;
    a.helipads.push_back(h);
    h.type = 3;
    h.headingDeg = -90.0f;
    a.helipads.push_back(h);

    ASSERT_TRUE(readAirport(a));
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
    EXPECT_FALSE(h1.ramp || h1.cargo);
    EXPECT_DOUBLE_EQ(h1.latitude, 50.001);
    EXPECT_NEAR(h1.heading, M_PI, 1e-9);
    EXPECT_NEAR(h2.heading, 1.5 * M_PI, 1e-9) << "headings are kept in [0, 2 pi)";
    EXPECT_TRUE(logHas("Fac: EDDX skipped stand GATE 1"));
    EXPECT_TRUE(logHas("Fac: EDDX skipped a helipad at 0.000000,0.000000"));
}

// ---- the connection ----

TEST_F(FacilityStandsTest, ASecondReadReusesTheConnectionAndItsDefinition) {
    gf_simModelAddAirport(emptyAirport("EDDY"));
    ASSERT_TRUE(readAirport(emptyAirport("EDDX")));
    const auto first = reader();
    ASSERT_TRUE(read("EDDY"));
    const auto second = reader();
    EXPECT_EQ(first.serial, second.serial);
    int additions = 0;
    for (const auto& c : second.calls) additions += c.call == SimCall::AddToFacilityDefinition ? 1 : 0;
    EXPECT_EQ(additions, 30);
    ASSERT_EQ(second.facilityDefinitions.size(), 1u);
    EXPECT_EQ(second.facilityDefinitions[0].first, 1001u);
    EXPECT_EQ(airport.icao, IcaoCode("EDDY"));
}

TEST_F(FacilityStandsTest, NoSimulatorFailsAtOnce) {
    const auto wallStart = std::chrono::steady_clock::now();
    EXPECT_FALSE(read());
    EXPECT_LT(std::chrono::steady_clock::now() - wallStart, std::chrono::seconds(1));
    EXPECT_EQ(sleeps, 0);
    EXPECT_EQ(helipads, 99u) << "nothing is filled on failure";
    EXPECT_TRUE(logHas("==> SimConnect_Open (PARKING_DATA_RDR) FAILED hr=0x80004005\n"));
}

// Every failure of a read closes the reader, so the next read starts on a
// fresh connection; the airport is left as it was.
TEST_F(FacilityStandsTest, FailuresAreLoggedAndCloseTheReader) {
    struct Case {
        const char* line;
        std::function<void(SimAirport&)> arrange;
    };
    const Case cases[] = {
        {"==> SimConnect facility definition initialization failed\n",
         [](SimAirport&) { gf_simModelAddCallFault({.call = SimCall::AddToFacilityDefinition, .nth = 5, .times = 1}); }},
        {"==> RequestFacilityData failed for EDDX (airport EDDX)\n",
         [](SimAirport&) { gf_simModelAddCallFault({.call = SimCall::RequestFacilityData, .times = 1}); }},
        {"==> SimConnect_CallDispatch failed for EDDX: 0x80070006\n",
         [](SimAirport&) {
             gf_simModelAddCallFault(
                 {.call = SimCall::CallDispatch, .connection = "PARKING_DATA_RDR", .result = E_HANDLE, .times = 1});
         }},
        {"==> SimConnect EXCEPTION id=20 sendID=", [](SimAirport& a) { a.icao = "ZZZZ"; }},
        {"==> Fac: EDDX facility data without a valid airport position\n",
         [](SimAirport& a) { a.latitudeDeg = a.longitudeDeg = 0.0; }},
        {"==> Fac: EDDX facility data with an invalid airport altitude\n",
         [](SimAirport& a) { a.altitudeM = std::nan(""); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        gf_closeFacilityReader();
        gf_simModelReset();
        auto a = emptyAirport();
        a.parkings.push_back(parking(8, 10, 1));
        c.arrange(a);
        gf_simModelAddAirport(a);
        gf_simModelStart(SimVersion::MSFS2020);
        airport = Airport{};
        EXPECT_FALSE(read());
        EXPECT_TRUE(airport.stands.empty());
        EXPECT_TRUE(logHas(c.line));
        EXPECT_FALSE(readerOpen());
        if (a.icao == "EDDX" && std::isfinite(a.altitudeM) && a.latitudeDeg != 0.0) {
            EXPECT_TRUE(read()) << "the next read works";
            EXPECT_EQ(reader().facilityDefinitions.at(0).second.size(), 30u);
        }
    }
}

TEST_F(FacilityStandsTest, TimesOutAfterThirtySecondsOnTheInjectedClock) {
    gf_simModelSetWithholdFacilityEnd(true);
    const auto wallStart = std::chrono::steady_clock::now();
    EXPECT_FALSE(readAirport(emptyAirport()));
    EXPECT_LT(std::chrono::steady_clock::now() - wallStart, std::chrono::seconds(5));
    EXPECT_GE(fakeElapsed().count(), 30.0);
    EXPECT_LE(fakeElapsed().count(), 31.5);
    EXPECT_FALSE(readerOpen());
    EXPECT_EQ(countOf(logText(), "==> Facility data request timed out for EDDX\n"), 1);
}

// ---- answers that cannot be trusted ----

TEST_F(FacilityStandsTest, AnAnswerWithoutAnAirportBlockFails) {
    ASSERT_TRUE(readAirport(emptyAirport("EDDY")));  // opens the connection
    // A helipad and the end of the answer, but no airport block.
    auto helipad = facilityBlock(84, 2001, 900001, 0, SIMCONNECT_FACILITY_DATA_HELIPAD);
    helipad.put<double>(40, 50.0).put<double>(48, 8.0).put<float>(72, 20.0f);
    queueRaw(helipad);
    queueRaw(facilityEnd(2001));
    airport = Airport{};
    EXPECT_FALSE(read("EDDY"));
    EXPECT_TRUE(airport.stands.empty());
    EXPECT_TRUE(logHas("==> Fac: EDDY facility data without a valid airport position\n"));

    // A parking before the airport block.
    ASSERT_TRUE(read("EDDY"));
    auto p = facilityBlock(80, 2001, 900001, 0, SIMCONNECT_FACILITY_DATA_TAXI_PARKING);
    p.put<std::int32_t>(40, 8);
    queueRaw(p);
    EXPECT_FALSE(read("EDDY"));
    EXPECT_TRUE(logHas("==> onRecvFacilityData exception: taxi parking before the airport block\n"));
}

TEST_F(FacilityStandsTest, ShortBlocksFailTheRead) {
    for (const std::uint32_t cut : {12u, 39u, 60u, 100u}) {
        SCOPED_TRACE(cut);
        gf_simModelReset();
        auto a = emptyAirport();
        a.parkings.push_back(parking(8, 10, 1));
        gf_simModelAddRecordFault(
            {.recvId = SIMCONNECT_RECV_ID_FACILITY_DATA, .requestId = 2001u, .truncateTo = cut, .times = 1});
        airport = Airport{};
        EXPECT_FALSE(readAirport(a));
        EXPECT_TRUE(airport.stands.empty());
    }
    EXPECT_TRUE(logHas("exception: airport block of 60 bytes, at least 104 expected"));
    EXPECT_TRUE(logHas("exception: facility data block of 39 bytes, at least 40 expected"));
}

}  // namespace

namespace {

// The sample world the run command starts with: its gates carry gate names,
// its runways point the way their numbers say, and the user aircraft stands
// on a stand, so a new user sees a stand named at once.
TEST_F(FacilityStandsTest, SampleScenarioHasGateNamesRunwaysAlongTheirNumbersAndTheUserOnAStand) {
    gf_simModelLoadScenario(tavo::test::sourceDir().string() + "/data/scenarios/sample.xml");
    ASSERT_TRUE(read("KSEA"));
    int gates = 0;
    for (const auto& s : airport.stands) {
        const bool gate = s.type == ParkingType::GATE_SMALL || s.type == ParkingType::GATE_MEDIUM ||
                          s.type == ParkingType::GATE_HEAVY;
        if (!gate) continue;
        ++gates;
        EXPECT_EQ(s.name.rfind("GATE ", 0), 0u) << s.name;
    }
    EXPECT_GE(gates, 1);

    const auto user = gf_simModelUserAircraft().pose;
    double nearestM = 1e9;
    for (const auto& s : airport.stands)
        nearestM = std::min(nearestM, gf_distanceNm({user.latitudeDeg, user.longitudeDeg}, {s.latitude, s.longitude}) *
                                          metresPerNm);
    EXPECT_LE(nearestM, 20.0);

    const auto runways = gf_readRunwayHeadings("KSEA");
    ASSERT_TRUE(runways.has_value());
    ASSERT_FALSE(runways->runways.empty());
    for (const auto& r : runways->runways) {
        // A runway's number is its magnetic heading in tens of degrees; the
        // true heading differs by the variation, a few degrees to some 20.
        const double off = std::abs(std::remainder(r.headingDeg - r.primaryNumber * 10.0, 360.0));
        EXPECT_LE(off, 20.0) << gf_runwayName(r.primaryNumber, r.primaryDesignator) << " " << r.headingDeg;
        EXPECT_EQ((r.primaryNumber + 18 - 1) % 36 + 1, r.secondaryNumber);
    }
}

}  // namespace
