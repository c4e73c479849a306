// Facility data: a registered definition gets its blocks in its order and
// layout; another order gets the other layout; bad definitions are refused.

#include <string>
#include <vector>

#include "platform/simconnect/sim_model.h"
#include "platform/simconnect/simconnect.h"
#include "sim_test_util.h"

using namespace tavo::test;

namespace {

const std::vector<std::string> kStandDefinition = {
    "OPEN AIRPORT", "LATITUDE", "LONGITUDE", "ALTITUDE", "NAME", "N_HELIPADS", "N_TAXI_PARKINGS",
    "OPEN TAXI_PARKING", "TYPE", "TAXI_POINT_TYPE", "NAME", "SUFFIX", "NUMBER", "ORIENTATION", "HEADING", "RADIUS",
    "BIAS_X", "BIAS_Z", "CLOSE TAXI_PARKING", "OPEN HELIPAD", "LATITUDE", "LONGITUDE", "ALTITUDE", "HEADING",
    "LENGTH", "WIDTH", "SURFACE", "TYPE", "CLOSE HELIPAD", "CLOSE AIRPORT"};

const std::vector<std::string> kRunwayDefinition = {
    "OPEN AIRPORT", "ALTITUDE", "N_RUNWAYS", "N_STARTS", "OPEN RUNWAY", "LATITUDE", "LONGITUDE", "ALTITUDE",
    "HEADING", "LENGTH", "WIDTH", "PRIMARY_NUMBER", "PRIMARY_DESIGNATOR", "SECONDARY_NUMBER", "SECONDARY_DESIGNATOR",
    "OPEN PRIMARY_THRESHOLD", "LENGTH", "WIDTH", "ENABLE", "CLOSE PRIMARY_THRESHOLD", "OPEN SECONDARY_THRESHOLD",
    "LENGTH", "WIDTH", "ENABLE", "CLOSE SECONDARY_THRESHOLD", "CLOSE RUNWAY", "OPEN START", "LATITUDE", "LONGITUDE",
    "ALTITUDE", "HEADING", "NUMBER", "DESIGNATOR", "TYPE", "CLOSE START", "CLOSE AIRPORT"};

SimAirport testAirport() {
    SimAirport a;
    a.icao = "KTST";
    a.region = "K1";
    a.name = "Test Field With A Name Longer Than Thirty-Two";
    a.latitudeDeg = 47.25;
    a.longitudeDeg = -122.5;
    a.altitudeM = 100.0;
    SimTaxiParking p1;
    p1.type = 10;
    p1.name = 11;
    p1.suffix = 12;
    p1.number = 7;
    p1.headingDeg = 270;
    p1.radiusM = 32;
    p1.biasXM = -30;
    p1.biasZM = 40;
    SimTaxiParking p2 = p1;
    p2.type = 13;
    p2.number = 8;
    a.parkings = {p1, p2};
    SimHelipad h;
    h.latitudeDeg = 47.26;
    h.longitudeDeg = -122.49;
    h.widthM = 20;
    h.type = 2;
    a.helipads = {h};
    SimRunway r;
    r.latitudeDeg = 47.25;
    r.longitudeDeg = -122.5;
    r.headingDeg = 180;
    r.lengthM = 3000;
    r.widthM = 45;
    r.primaryNumber = 16;
    r.primaryDesignator = 1;
    r.secondaryNumber = 34;
    r.secondaryDesignator = 2;
    r.primaryThreshold = {120, 45, 1};
    r.secondaryThreshold = {0, 45, 0};
    a.runways = {r};
    SimStart s1{47.26, -122.5, 100, 180, 16, 1, 1};
    SimStart s2{47.24, -122.5, 100, 0, 34, 2, 1};
    a.starts = {s1, s2};
    return a;
}

void define(HANDLE h, DWORD id, const std::vector<std::string>& entries) {
    for (const auto& e : entries) ASSERT_EQ(SimConnect_AddToFacilityDefinition(h, id, e.c_str()), S_OK) << e;
}

class SimFacilityTest : public SimModelTest {
protected:
    void SetUp() override {
        SimModelTest::SetUp();
        gf_simModelAddAirport(testAirport());
        gf_simModelStart(SimVersion::MSFS2020);
        h = open("PARKING_DATA_RDR");
        drain(h);
    }
    HANDLE h = nullptr;
};

}  // namespace

TEST_F(SimFacilityTest, StandDefinitionGetsAirportParkingsHelipadsThenEnd) {
    define(h, 1001, kStandDefinition);
    ASSERT_EQ(SimConnect_RequestFacilityData(h, 1001, 2001, "ktst", "K1"), S_OK);
    auto r = drain(h);
    ASSERT_EQ(r.records.size(), 5u);
    const auto& ap = r.records[0];
    EXPECT_EQ(recvId(ap), SIMCONNECT_RECV_ID_FACILITY_DATA);
    EXPECT_EQ(field<DWORD>(ap, 12), 2001u);
    EXPECT_EQ(field<DWORD>(ap, 24), static_cast<DWORD>(SIMCONNECT_FACILITY_DATA_AIRPORT));
    EXPECT_EQ(ap.size(), 104u);
    EXPECT_EQ(field<double>(ap, 40), 47.25);
    EXPECT_EQ(field<double>(ap, 48), -122.5);
    EXPECT_EQ(field<double>(ap, 56), 100.0);
    EXPECT_EQ(text(ap, 64, 32), std::string("Test Field With A Name Longer Than Thirty-Two").substr(0, 32))
        << "cut to 32 without NUL";
    EXPECT_EQ(field<std::int32_t>(ap, 96), 1);
    EXPECT_EQ(field<std::int32_t>(ap, 100), 2);

    const DWORD airportUid = field<DWORD>(ap, 16);
    for (int i = 1; i <= 2; ++i) {
        const auto& p = r.records[i];
        EXPECT_EQ(field<DWORD>(p, 24), static_cast<DWORD>(SIMCONNECT_FACILITY_DATA_TAXI_PARKING));
        EXPECT_EQ(field<DWORD>(p, 20), airportUid) << "parent is the airport";
        EXPECT_EQ(field<DWORD>(p, 32), static_cast<DWORD>(i - 1));
        EXPECT_EQ(field<DWORD>(p, 36), 2u);
        EXPECT_EQ(p.size(), 80u);
    }
    const auto& p = r.records[1];
    EXPECT_EQ(field<std::int32_t>(p, 40), 10);
    EXPECT_EQ(field<std::int32_t>(p, 48), 11);
    EXPECT_EQ(field<std::int32_t>(p, 52), 12);
    EXPECT_EQ(field<std::uint32_t>(p, 56), 7u);
    EXPECT_EQ(field<float>(p, 64), 270.0f);
    EXPECT_EQ(field<float>(p, 68), 32.0f);
    EXPECT_EQ(field<float>(p, 72), -30.0f);
    EXPECT_EQ(field<float>(p, 76), 40.0f);
    EXPECT_EQ(field<std::int32_t>(r.records[2], 40), 13) << "a vehicle parking is delivered; the reader skips it";

    const auto& hp = r.records[3];
    EXPECT_EQ(field<DWORD>(hp, 24), static_cast<DWORD>(SIMCONNECT_FACILITY_DATA_HELIPAD));
    EXPECT_EQ(hp.size(), 84u);
    EXPECT_EQ(field<double>(hp, 40), 47.26);
    EXPECT_EQ(field<float>(hp, 72), 20.0f);
    EXPECT_EQ(field<std::int32_t>(hp, 80), 2);

    EXPECT_EQ(recvId(r.records[4]), SIMCONNECT_RECV_ID_FACILITY_DATA_END);
    EXPECT_EQ(field<DWORD>(r.records[4], 12), 2001u);
}

TEST_F(SimFacilityTest, AnotherOrderGetsTheOtherLayout) {
    define(h, 7, {"OPEN AIRPORT", "N_TAXI_PARKINGS", "NAME", "OPEN HELIPAD", "TYPE", "WIDTH", "CLOSE HELIPAD",
                  "OPEN TAXI_PARKING", "NUMBER", "TYPE", "CLOSE TAXI_PARKING", "CLOSE AIRPORT"});
    ASSERT_EQ(SimConnect_RequestFacilityData(h, 7, 3, "KTST"), S_OK);
    auto r = drain(h);
    ASSERT_EQ(r.records.size(), 5u);
    EXPECT_EQ(r.records[0].size(), 40u + 4 + 32);
    EXPECT_EQ(field<std::int32_t>(r.records[0], 40), 2);
    EXPECT_EQ(text(r.records[0], 44, 32).substr(0, 10), "Test Field");
    EXPECT_EQ(field<DWORD>(r.records[1], 24), static_cast<DWORD>(SIMCONNECT_FACILITY_DATA_HELIPAD)) << "helipads first";
    EXPECT_EQ(field<std::int32_t>(r.records[1], 40), 2);
    EXPECT_EQ(field<float>(r.records[1], 44), 20.0f);
    EXPECT_EQ(field<DWORD>(r.records[2], 24), static_cast<DWORD>(SIMCONNECT_FACILITY_DATA_TAXI_PARKING));
    EXPECT_EQ(field<std::uint32_t>(r.records[2], 40), 7u);
    EXPECT_EQ(field<std::int32_t>(r.records[2], 44), 10);
}

TEST_F(SimFacilityTest, RunwaysCarryTheirThresholdsAsChildrenThenStarts) {
    define(h, 1002, kRunwayDefinition);
    ASSERT_EQ(SimConnect_RequestFacilityData(h, 1002, 2002, "KTST", ""), S_OK);
    auto r = drain(h);
    ASSERT_EQ(r.records.size(), 7u);
    const auto& ap = r.records[0];
    EXPECT_EQ(ap.size(), 56u);
    EXPECT_EQ(field<double>(ap, 40), 100.0);
    EXPECT_EQ(field<std::int32_t>(ap, 48), 1);
    EXPECT_EQ(field<std::int32_t>(ap, 52), 2);
    const auto& rw = r.records[1];
    EXPECT_EQ(field<DWORD>(rw, 24), static_cast<DWORD>(SIMCONNECT_FACILITY_DATA_RUNWAY));
    EXPECT_EQ(rw.size(), 92u);
    EXPECT_EQ(field<float>(rw, 64), 180.0f);
    EXPECT_EQ(field<std::int32_t>(rw, 76), 16);
    EXPECT_EQ(field<std::int32_t>(rw, 80), 1);
    EXPECT_EQ(field<std::int32_t>(rw, 84), 34);
    EXPECT_EQ(field<std::int32_t>(rw, 88), 2);
    const DWORD runwayUid = field<DWORD>(rw, 16);
    for (int i : {2, 3}) {
        EXPECT_EQ(field<DWORD>(r.records[i], 24), static_cast<DWORD>(SIMCONNECT_FACILITY_DATA_THRESHOLD));
        EXPECT_EQ(field<DWORD>(r.records[i], 20), runwayUid);
        EXPECT_EQ(r.records[i].size(), 52u);
    }
    EXPECT_EQ(field<float>(r.records[2], 40), 120.0f);
    EXPECT_EQ(field<std::int32_t>(r.records[2], 48), 1);
    EXPECT_EQ(field<std::int32_t>(r.records[3], 48), 0);
    for (int i : {4, 5}) {
        EXPECT_EQ(field<DWORD>(r.records[i], 24), static_cast<DWORD>(SIMCONNECT_FACILITY_DATA_START));
        EXPECT_EQ(r.records[i].size(), 80u);
    }
    EXPECT_EQ(field<std::int32_t>(r.records[5], 68), 34);
    EXPECT_EQ(field<std::int32_t>(r.records[5], 72), 2);
    EXPECT_EQ(field<std::int32_t>(r.records[5], 76), 1);
    EXPECT_EQ(recvId(r.records[6]), SIMCONNECT_RECV_ID_FACILITY_DATA_END);
}

TEST_F(SimFacilityTest, AdvertisedCountsWithheldEndUnknownAirportsAndBadDefinitions) {
    auto a = testAirport();
    a.icao = "KBAD";
    a.advertisedRunways = 3;
    gf_simModelAddAirport(a);
    define(h, 1002, kRunwayDefinition);
    gf_simModelSetWithholdFacilityEnd(true);
    ASSERT_EQ(SimConnect_RequestFacilityData(h, 1002, 2002, "KBAD"), S_OK);
    auto r = drain(h);
    ASSERT_EQ(r.records.size(), 6u) << "no END";
    EXPECT_EQ(field<std::int32_t>(r.records[0], 48), 3);
    EXPECT_TRUE(ofKind(r, SIMCONNECT_RECV_ID_FACILITY_DATA_END).empty());

    ASSERT_EQ(SimConnect_RequestFacilityData(h, 1002, 2002, "ZZZZ"), S_OK);
    r = drain(h);
    ASSERT_EQ(r.records.size(), 1u);
    EXPECT_EQ(field<DWORD>(r.records[0], 12), 20u);

    EXPECT_EQ(SimConnect_AddToFacilityDefinition(h, 9, "LATITUDE"), E_INVALIDARG) << "field outside a block";
    EXPECT_EQ(SimConnect_AddToFacilityDefinition(h, 9, "OPEN AIRPORT"), S_OK);
    EXPECT_EQ(SimConnect_AddToFacilityDefinition(h, 9, "NO_SUCH_FIELD"), E_INVALIDARG);
    EXPECT_EQ(SimConnect_AddToFacilityDefinition(h, 9, "OPEN PRIMARY_THRESHOLD"), E_INVALIDARG) << "only in a runway";
    EXPECT_EQ(SimConnect_AddToFacilityDefinition(h, 9, "CLOSE RUNWAY"), E_INVALIDARG);
    ASSERT_EQ(SimConnect_RequestFacilityData(h, 9, 5, "KTST"), S_OK);
    r = drain(h);
    ASSERT_EQ(r.records.size(), 1u) << "an unclosed definition is an error";
    EXPECT_EQ(field<DWORD>(r.records[0], 12), 20u);
}

TEST_F(SimFacilityTest, TruncatedFacilityBlocks) {
    define(h, 1002, kRunwayDefinition);
    gf_simModelAddRecordFault({.recvId = SIMCONNECT_RECV_ID_FACILITY_DATA, .requestId = 2002u, .truncateTo = 60});
    ASSERT_EQ(SimConnect_RequestFacilityData(h, 1002, 2002, "KTST"), S_OK);
    auto r = drain(h);
    ASSERT_EQ(r.sizes.size(), 7u);
    EXPECT_EQ(r.sizes[0], 56u) << "already shorter";
    EXPECT_EQ(r.sizes[1], 60u);
    EXPECT_EQ(r.sizes[6], 16u) << "END is another kind";
}
