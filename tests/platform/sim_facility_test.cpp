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
    a.name = "Test Field With A Name Longer Than Thirty-Two";
    a.latitudeDeg = 47.25;
    a.longitudeDeg = -122.5;
    a.altitudeM = 100.0;
    a.parkings = {{.type = 10, .name = 11, .number = 7, .headingDeg = 270, .biasXM = -30},
                  {.type = 13, .number = 8}};
    a.helipads = {{.latitudeDeg = 47.26, .widthM = 20, .type = 2}};
    a.runways = {{.headingDeg = 180,
                  .primaryNumber = 16,
                  .secondaryNumber = 34,
                  .secondaryDesignator = 2,
                  .primaryThreshold = {120, 45, 1},
                  .secondaryThreshold = {}}};
    a.starts = {{.number = 16}, {.number = 34, .designator = 2}};
    return a;
}

void define(HANDLE h, DWORD id, const std::vector<std::string>& entries) {
    for (const auto& e : entries) ASSERT_EQ(SimConnect_AddToFacilityDefinition(h, id, e.c_str()), S_OK) << e;
}

DWORD blockType(const Record& r) { return field<DWORD>(r, 24); }

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
    EXPECT_EQ(blockType(ap), static_cast<DWORD>(SIMCONNECT_FACILITY_DATA_AIRPORT));
    ASSERT_EQ(ap.size(), 104u);
    EXPECT_EQ(field<double>(ap, 48), -122.5);
    EXPECT_EQ(text(ap, 64, 32), std::string(testAirport().name, 0, 32)) << "cut to 32 without NUL";
    EXPECT_EQ(field<std::int32_t>(ap, 96), 1);
    EXPECT_EQ(field<std::int32_t>(ap, 100), 2);
    for (int i = 1; i <= 2; ++i) {
        const auto& p = r.records[i];
        ASSERT_EQ(p.size(), 80u);
        EXPECT_EQ(blockType(p), static_cast<DWORD>(SIMCONNECT_FACILITY_DATA_TAXI_PARKING));
        EXPECT_EQ(field<DWORD>(p, 20), field<DWORD>(ap, 16)) << "parent is the airport";
        EXPECT_EQ(field<DWORD>(p, 32), static_cast<DWORD>(i - 1)) << "index";
        EXPECT_EQ(field<DWORD>(p, 36), 2u) << "of";
    }
    const auto& p = r.records[1];
    EXPECT_EQ(field<std::int32_t>(p, 40), 10);
    EXPECT_EQ(field<std::int32_t>(p, 48), 11);
    EXPECT_EQ(field<std::uint32_t>(p, 56), 7u);
    EXPECT_EQ(field<float>(p, 64), 270.0f);
    EXPECT_EQ(field<float>(p, 72), -30.0f);
    const auto& hp = r.records[3];
    EXPECT_EQ(blockType(hp), static_cast<DWORD>(SIMCONNECT_FACILITY_DATA_HELIPAD));
    ASSERT_EQ(hp.size(), 84u);
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
    EXPECT_EQ(text(r.records[0], 44, 10), "Test Field");
    EXPECT_EQ(blockType(r.records[1]), static_cast<DWORD>(SIMCONNECT_FACILITY_DATA_HELIPAD)) << "helipads first";
    EXPECT_EQ(field<std::int32_t>(r.records[1], 40), 2);
    EXPECT_EQ(field<float>(r.records[1], 44), 20.0f);
    EXPECT_EQ(blockType(r.records[2]), static_cast<DWORD>(SIMCONNECT_FACILITY_DATA_TAXI_PARKING));
    EXPECT_EQ(field<std::uint32_t>(r.records[2], 40), 7u);
    EXPECT_EQ(field<std::int32_t>(r.records[2], 44), 10);
}

TEST_F(SimFacilityTest, RunwaysCarryTheirThresholdsAsChildrenThenStarts) {
    define(h, 1002, kRunwayDefinition);
    ASSERT_EQ(SimConnect_RequestFacilityData(h, 1002, 2002, "KTST", ""), S_OK);
    auto r = drain(h);
    ASSERT_EQ(r.records.size(), 7u);
    EXPECT_EQ(r.records[0].size(), 56u);
    EXPECT_EQ(field<std::int32_t>(r.records[0], 48), 1);
    EXPECT_EQ(field<std::int32_t>(r.records[0], 52), 2);
    const auto& rw = r.records[1];
    EXPECT_EQ(blockType(rw), static_cast<DWORD>(SIMCONNECT_FACILITY_DATA_RUNWAY));
    ASSERT_EQ(rw.size(), 92u);
    EXPECT_EQ(field<float>(rw, 64), 180.0f);
    EXPECT_EQ(field<std::int32_t>(rw, 76), 16);
    EXPECT_EQ(field<std::int32_t>(rw, 88), 2);
    for (int i : {2, 3}) {
        EXPECT_EQ(blockType(r.records[i]), static_cast<DWORD>(SIMCONNECT_FACILITY_DATA_THRESHOLD));
        EXPECT_EQ(field<DWORD>(r.records[i], 20), field<DWORD>(rw, 16)) << "parent is the runway";
        EXPECT_EQ(r.records[i].size(), 52u);
    }
    EXPECT_EQ(field<float>(r.records[2], 40), 120.0f);
    EXPECT_EQ(field<std::int32_t>(r.records[2], 48), 1);
    EXPECT_EQ(field<std::int32_t>(r.records[3], 48), 0);
    for (int i : {4, 5}) {
        EXPECT_EQ(blockType(r.records[i]), static_cast<DWORD>(SIMCONNECT_FACILITY_DATA_START));
        EXPECT_EQ(r.records[i].size(), 80u);
    }
    EXPECT_EQ(field<std::int32_t>(r.records[5], 68), 34);
    EXPECT_EQ(field<std::int32_t>(r.records[5], 72), 2);
    EXPECT_EQ(recvId(r.records[6]), SIMCONNECT_RECV_ID_FACILITY_DATA_END);
}

TEST_F(SimFacilityTest, WithheldEndTruncatedBlocksUnknownAirportsAndBadDefinitions) {
    auto a = testAirport();
    a.icao = "KBAD";
    a.advertisedRunways = 3;
    gf_simModelAddAirport(a);
    define(h, 1002, kRunwayDefinition);
    gf_simModelSetWithholdFacilityEnd(true);
    ASSERT_EQ(SimConnect_RequestFacilityData(h, 1002, 2002, "KBAD"), S_OK);
    auto r = drain(h);
    ASSERT_EQ(r.records.size(), 6u) << "no END";
    EXPECT_EQ(field<std::int32_t>(r.records[0], 48), 3) << "the advertised count";
    EXPECT_TRUE(ofKind(r, SIMCONNECT_RECV_ID_FACILITY_DATA_END).empty());
    gf_simModelSetWithholdFacilityEnd(false);

    gf_simModelAddRecordFault({.recvId = SIMCONNECT_RECV_ID_FACILITY_DATA, .requestId = 2003u, .truncateTo = 60});
    ASSERT_EQ(SimConnect_RequestFacilityData(h, 1002, 2003, "KTST"), S_OK);
    r = drain(h);
    ASSERT_EQ(r.sizes.size(), 7u);
    EXPECT_EQ(r.sizes[0], 56u) << "already shorter";
    EXPECT_EQ(r.sizes[1], 60u);
    EXPECT_EQ(r.sizes[6], 16u) << "END is another kind";

    ASSERT_EQ(SimConnect_RequestFacilityData(h, 1002, 2002, "ZZZZ"), S_OK);
    EXPECT_EQ(exceptionOf(drain(h).records.at(0)), 20u);
    EXPECT_EQ(SimConnect_AddToFacilityDefinition(h, 9, "LATITUDE"), E_INVALIDARG) << "field outside a block";
    EXPECT_EQ(SimConnect_AddToFacilityDefinition(h, 9, "OPEN AIRPORT"), S_OK);
    EXPECT_EQ(SimConnect_AddToFacilityDefinition(h, 9, "NO_SUCH_FIELD"), E_INVALIDARG);
    EXPECT_EQ(SimConnect_AddToFacilityDefinition(h, 9, "OPEN PRIMARY_THRESHOLD"), E_INVALIDARG) << "only in a runway";
    ASSERT_EQ(SimConnect_RequestFacilityData(h, 9, 5, "KTST"), S_OK);
    r = drain(h);
    ASSERT_EQ(r.records.size(), 1u) << "an unclosed definition is an error";
    EXPECT_EQ(exceptionOf(r.records[0]), 20u);
}
