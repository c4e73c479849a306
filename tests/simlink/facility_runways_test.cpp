// Reading and checking an airport's runways, starts and thresholds through
// the facility-reader connection, and the names of runway ends.

#include <chrono>
#include <cmath>
#include <limits>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "foundation/geodesy.h"
#include "simlink/facility_fixture.h"

namespace {

using tavo::test::addRunway;
using tavo::test::countOf;
using tavo::test::kMetreNm;
using tavo::test::emptyAirport;
using tavo::test::facilityBlock;
using tavo::test::queueRaw;


class FacilityRunwaysTest : public tavo::test::FacilityTest {
protected:
    // Starts the simulator with the airport and reads it.
    std::optional<FacilityRunwaySet> readAirport(const SimAirport& a) {
        gf_simModelAddAirport(a);
        if (!gf_simModelIsRunning()) gf_simModelStart(SimVersion::MSFS2020);
        return gf_readRunwayHeadings(a.icao);
    }
    // A runway at a fresh EDDX, changed by `change`, read on a fresh connection.
    template <typename Change>
    std::optional<FacilityRunwaySet> readChanged(Change change) {
        gf_closeFacilityReader();
        gf_simModelReset();
        auto a = emptyAirport();
        addRunway(a, 9, 27, 90.0f);
        change(a);
        return readAirport(a);
    }
};

// ---- what a good answer gives ----

TEST_F(FacilityRunwaysTest, TwoRunwaysWithEndsStartsAndThresholds) {
    auto a = emptyAirport();
    addRunway(a, 9, 27, 90.0f);
    addRunway(a, 18, 36, 180.0f, 1, 2);  // 18L/36R
    a.runways[0].primaryThreshold = {300.0f, 45.0f, 1};
    a.runways[0].secondaryThreshold = {150.0f, 40.0f, 0};
    a.starts[1].altitudeM = 110.0;  // the start of 27

    const auto set = readAirport(a);
    ASSERT_TRUE(set.has_value());
    EXPECT_NEAR(set->airportAltitudeFt, 328.08399, 1e-6);
    ASSERT_EQ(set->runways.size(), 2u);

    const FacilityRunway& r = set->runways[0];
    EXPECT_EQ(r.centre, (LaLo{50.0, 8.0}));
    EXPECT_DOUBLE_EQ(r.lengthM, 3000.0);
    // The primary end lies half the length against the heading, the secondary along it.
    EXPECT_NEAR(gf_distanceNm(r.centre, r.end1) / kMetreNm, 1500.0, 0.5);
    EXPECT_NEAR(gf_distanceNm(r.centre, r.end2) / kMetreNm, 1500.0, 0.5);
    EXPECT_LT(r.end1.lon, r.centre.lon);
    EXPECT_GT(r.end2.lon, r.centre.lon);
    EXPECT_EQ(std::tie(r.primaryNumber, r.primaryDesignator, r.secondaryNumber, r.secondaryDesignator),
              std::make_tuple(9, 0, 27, 0));
    ASSERT_TRUE(r.primaryStart && r.secondaryStart);
    EXPECT_EQ(r.secondaryStart->number, 27);
    EXPECT_NEAR(r.secondaryStart->altitudeFt, 110.0 * 3.2808399, 1e-6);
    EXPECT_DOUBLE_EQ(r.secondaryStart->headingDeg, 270.0);
    EXPECT_DOUBLE_EQ(r.primaryThreshold.lengthM, 300.0);
    EXPECT_TRUE(r.primaryThreshold.enabled);
    EXPECT_DOUBLE_EQ(r.secondaryThreshold.widthM, 40.0);
    EXPECT_FALSE(r.secondaryThreshold.enabled);

    const FacilityRunway& s = set->runways[1];
    EXPECT_GT(s.end1.lat, s.centre.lat) << "18 starts at the north end";
    EXPECT_LT(s.end2.lat, s.centre.lat);
    EXPECT_EQ(s.primaryStart->designator, 1);
    EXPECT_EQ(s.secondaryStart->designator, 2);
}

// ---- the runway check ----

TEST_F(FacilityRunwaysTest, EndsMustBeReciprocal) {
    const struct {
        std::int32_t primary;
        std::int32_t secondary;
        bool valid;
    } cases[] = {{9, 27, true},  {36, 18, true},  {1, 19, true},   {37, 41, true},  {44, 40, true},
                 {9, 26, false}, {0, 18, false},  {36, 41, false}, {37, 19, false}, {45, 9, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(fmt::format("{}-{}", c.primary, c.secondary));
        const auto set = readChanged([&](SimAirport& a) {
            a = emptyAirport();
            addRunway(a, c.primary, c.secondary, 90.0f);
        });
        EXPECT_EQ(set.has_value(), c.valid);
        EXPECT_EQ(logHas(fmt::format("==> RUNWAY_HEADING: EDDX invalid or duplicate runway {}-{}; correction disabled",
                                     gf_runwayName(c.primary, 0), gf_runwayName(c.secondary, 0))),
                  !c.valid);
    }
}

TEST_F(FacilityRunwaysTest, ParallelRunwaysAreToldApartButTheSameEndTwiceIsADuplicate) {
    auto a = emptyAirport();
    addRunway(a, 9, 27, 90.0f, 1, 2);  // 09L/27R
    addRunway(a, 9, 27, 90.0f, 2, 1);  // 09R/27L
    addRunway(a, 9, 27, 90.0f, 3, 3);  // 09C/27C
    const auto set = readAirport(a);
    ASSERT_TRUE(set.has_value());
    EXPECT_EQ(set->runways.size(), 3u);

    EXPECT_FALSE(readChanged([](SimAirport& b) {
                     addRunway(b, 18, 36, 180.0f);
                     addRunway(b, 9, 27, 90.0f);
                 }).has_value());
    EXPECT_TRUE(logHas("==> RUNWAY_HEADING: EDDX invalid or duplicate runway 09-27; correction disabled\n"));
}

TEST_F(FacilityRunwaysTest, OutOfRangeFieldsMakeARunwayInvalid) {
    const auto check = [&](const std::string& what, auto change) {
        SCOPED_TRACE(what);
        EXPECT_FALSE(readChanged(change).has_value());
    };
    check("heading 360", [](SimAirport& a) { a.runways[0].headingDeg = 360.0f; });
    check("heading -1", [](SimAirport& a) { a.runways[0].headingDeg = -1.0f; });
    check("length 0", [](SimAirport& a) { a.runways[0].lengthM = 0.0f; });
    check("length 10001", [](SimAirport& a) { a.runways[0].lengthM = 10001.0f; });
    check("width 501", [](SimAirport& a) { a.runways[0].widthM = 501.0f; });
    check("width NaN", [](SimAirport& a) { a.runways[0].widthM = std::nanf(""); });
    check("altitude NaN", [](SimAirport& a) { a.runways[0].altitudeM = std::nan(""); });
    check("designator 7", [](SimAirport& a) {
        a.runways[0].primaryDesignator = 7;
        a.starts[0].designator = 7;
    });
    check("centre at 0,0", [](SimAirport& a) { a.runways[0].latitudeDeg = a.runways[0].longitudeDeg = 0.0; });
    check("27 served only by a start of another kind", [](SimAirport& a) { a.starts[1].type = 2; });
    EXPECT_EQ(countOf(logText(), "invalid or duplicate runway"), 10);
}

// ---- counts and the airport block ----

TEST_F(FacilityRunwaysTest, WrongCountsAndANaNAirportAltitudeDisableTheCorrection) {
    auto b = emptyAirport("EDDB");
    addRunway(b, 9, 27, 90.0f);
    b.advertisedRunways = std::numeric_limits<std::int32_t>::max();  // no huge reservation
    EXPECT_FALSE(readAirport(b).has_value());
    EXPECT_TRUE(logHas("==> RUNWAY_HEADING: EDDB incomplete runway data: advertised 2147483647, returned 1; "
                       "correction disabled\n"));

    auto c = emptyAirport("EDDC");
    addRunway(c, 9, 27, 90.0f);
    c.advertisedStarts = 3;
    EXPECT_FALSE(readAirport(c).has_value());
    EXPECT_TRUE(logHas("==> RUNWAY_HEADING: EDDC incomplete START data: advertised 3, returned 2; correction disabled\n"));

    auto d = emptyAirport("EDDD");
    addRunway(d, 9, 27, 90.0f);
    d.altitudeM = std::nan("");
    EXPECT_FALSE(readAirport(d).has_value());
    EXPECT_TRUE(logHas("==> RUNWAY_HEADING: EDDD invalid Facilities airport altitude; correction disabled\n"));
    EXPECT_TRUE(readerOpen()) << "failed checks keep the connection";
}

// ---- thresholds tied to their runway by the parent's identity ----

TEST_F(FacilityRunwaysTest, ThresholdsAreTiedToTheirRunwayByParentId) {
    // The answer of an airport whose one runway and thresholds are raw blocks
    // queued ahead of the simulator's own blocks (airport, starts).
    const auto readWithThresholds = [&](int thresholds, std::uint32_t parent) {
        gf_closeFacilityReader();
        gf_simModelReset();
        auto other = emptyAirport("EDDO");
        addRunway(other, 9, 27, 90.0f);
        auto a = emptyAirport();
        addRunway(a, 9, 27, 90.0f);
        a.runways.clear();
        a.advertisedRunways = 1;
        gf_simModelAddAirport(a);
        EXPECT_TRUE(readAirport(other).has_value());  // opens the connection

        auto runway = facilityBlock(92, 2002, 900001, 1, SIMCONNECT_FACILITY_DATA_RUNWAY);
        runway.put<double>(40, 50.0).put<double>(48, 8.0).put<double>(56, 100.0);
        runway.put<float>(64, 90.0f).put<float>(68, 3000.0f).put<float>(72, 45.0f);
        runway.put<std::int32_t>(76, 9).put<std::int32_t>(80, 0).put<std::int32_t>(84, 27).put<std::int32_t>(88, 0);
        queueRaw(runway);
        for (int i = 0; i < thresholds; ++i) {
            auto t = facilityBlock(52, 2002, 900010 + i, parent, SIMCONNECT_FACILITY_DATA_THRESHOLD);
            t.put<float>(40, 100.0f * (i + 1)).put<float>(44, 10.0f * (i + 1)).put<std::int32_t>(48, i == 0 ? 1 : 0);
            queueRaw(t);
        }
        return gf_readRunwayHeadings("EDDX");
    };
    // Thresholds seen, parent id: the primary and secondary lengths expected.
    const struct {
        int thresholds;
        std::uint32_t parent;
        double primary;
        double secondary;
    } cases[] = {{0, 900001, 0, 0}, {1, 900001, 100, 0}, {2, 900001, 100, 200}, {3, 900001, 100, 200},
                 {2, 12345, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(fmt::format("{} thresholds of parent {}", c.thresholds, c.parent));
        const auto set = readWithThresholds(c.thresholds, c.parent);
        ASSERT_TRUE(set.has_value());
        const auto& r = set->runways.at(0);
        EXPECT_DOUBLE_EQ(r.primaryThreshold.lengthM, c.primary);
        EXPECT_EQ(r.primaryThreshold.enabled, c.primary > 0);
        EXPECT_DOUBLE_EQ(r.secondaryThreshold.lengthM, c.secondary);
        EXPECT_DOUBLE_EQ(r.secondaryThreshold.widthM, c.secondary / 10);
        EXPECT_FALSE(r.secondaryThreshold.enabled);
    }
}

// ---- the connection ----

TEST_F(FacilityRunwaysTest, DefinitionIsMadeOncePerConnectionAndSharedWithStandReads) {
    auto a = emptyAirport();
    addRunway(a, 9, 27, 90.0f);
    ASSERT_TRUE(readAirport(a).has_value());
    const auto serial = reader().serial;
    Airport airport;
    std::uint32_t helipads = 0;
    ASSERT_TRUE(gf_readFacilityStands("EDDX", airport, helipads));
    ASSERT_TRUE(gf_readRunwayHeadings("EDDX").has_value());
    auto info = reader();
    EXPECT_EQ(info.serial, serial);
    ASSERT_EQ(info.facilityDefinitions.size(), 2u);
    EXPECT_EQ(info.facilityDefinitions[1].first, 1002u);
    EXPECT_EQ(info.facilityDefinitions[1].second.size(), 36u);

    gf_closeFacilityReader();
    ASSERT_TRUE(gf_readRunwayHeadings("EDDX").has_value());
    EXPECT_EQ(reader().facilityDefinitions.at(1).second.size(), 36u) << "defined anew on the new connection";
}

// A read that fails on the connection (not on the data) closes it, so the
// next read opens a fresh one instead of failing for the rest of the run.
TEST_F(FacilityRunwaysTest, ConnectionFailuresCloseTheReaderAndTheNextReadSucceeds) {
    const struct {
        SimCallFault fault;
        const char* line;
    } cases[] = {
        {{.call = SimCall::AddToFacilityDefinition, .text = "N_STARTS", .times = 1},
         "==> RUNWAY_HEADING: facility definition initialization failed\n"},
        {{.call = SimCall::RequestFacilityData, .times = 1},
         "==> RUNWAY_HEADING: RequestFacilityData for EDDX failed: 0x80004005\n"},
        {{.call = SimCall::CallDispatch, .connection = "PARKING_DATA_RDR", .times = 1},
         "==> RUNWAY_HEADING: SimConnect_CallDispatch failed for EDDX: 0x80004005\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        gf_closeFacilityReader();
        gf_simModelReset();
        auto a = emptyAirport();
        addRunway(a, 9, 27, 90.0f);
        gf_simModelAddAirport(a);
        gf_simModelStart(SimVersion::MSFS2020);
        gf_simModelAddCallFault(c.fault);
        EXPECT_FALSE(gf_readRunwayHeadings("EDDX").has_value());
        EXPECT_TRUE(logHas(c.line));
        EXPECT_FALSE(readerOpen());
        EXPECT_TRUE(gf_readRunwayHeadings("EDDX").has_value());
    }
}

TEST_F(FacilityRunwaysTest, ASimulatorRestartDoesNotBreakLaterReads) {
    auto a = emptyAirport();
    addRunway(a, 9, 27, 90.0f);
    ASSERT_TRUE(readAirport(a).has_value());
    gf_simModelStop();
    gf_simModelStart(SimVersion::MSFS2020);
    // The old connection is gone: this read fails on it and closes it ...
    EXPECT_FALSE(gf_readRunwayHeadings("EDDX").has_value());
    EXPECT_TRUE(logHas("==> RUNWAY_HEADING: "));
    // ... so the next one opens a fresh connection and succeeds.
    EXPECT_TRUE(gf_readRunwayHeadings("EDDX").has_value());
}

TEST_F(FacilityRunwaysTest, TimesOutAfterTenSecondsAndStartsFreshNextTime) {
    auto a = emptyAirport();
    addRunway(a, 9, 27, 90.0f);
    gf_simModelSetWithholdFacilityEnd(true);
    const auto wallStart = std::chrono::steady_clock::now();
    EXPECT_FALSE(readAirport(a).has_value());
    EXPECT_LT(std::chrono::steady_clock::now() - wallStart, std::chrono::seconds(5));
    EXPECT_GE(fakeElapsed().count(), 10.0);
    EXPECT_LE(fakeElapsed().count(), 11.5);
    EXPECT_TRUE(logHas("==> RUNWAY_HEADING: facility data request timed out for EDDX\n"));
    EXPECT_FALSE(readerOpen());
    gf_simModelSetWithholdFacilityEnd(false);
    EXPECT_TRUE(gf_readRunwayHeadings("EDDX").has_value()) << "no stale blocks of the first answer";
}

TEST_F(FacilityRunwaysTest, ASimulatorExceptionFailsButKeepsTheConnection) {
    gf_simModelStart(SimVersion::MSFS2020);
    EXPECT_FALSE(gf_readRunwayHeadings("ZZZZ").has_value());
    EXPECT_TRUE(logHas("==> RUNWAY_HEADING: SimConnect exception id=20 sendID="));
    EXPECT_TRUE(readerOpen());
}

TEST_F(FacilityRunwaysTest, ShortBlocksFailTheRead) {
    const struct {
        DWORD type;
        std::uint32_t cut;
        const char* line;
    } cases[] = {
        {SIMCONNECT_FACILITY_DATA_AIRPORT, 55, "airport block of 55 bytes, at least 56 expected"},
        {SIMCONNECT_FACILITY_DATA_RUNWAY, 91, "runway block of 91 bytes, at least 92 expected"},
        {SIMCONNECT_FACILITY_DATA_START, 79, "start block of 79 bytes, at least 80 expected"},
        {SIMCONNECT_FACILITY_DATA_THRESHOLD, 51, "threshold block of 51 bytes, at least 52 expected"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        gf_closeFacilityReader();
        gf_simModelReset();
        auto other = emptyAirport("EDDO");
        addRunway(other, 9, 27, 90.0f);
        gf_simModelAddAirport(emptyAirport());
        ASSERT_TRUE(readAirport(other).has_value());
        queueRaw(facilityBlock(c.cut, 2002, 900001, 0, c.type));
        EXPECT_FALSE(gf_readRunwayHeadings("EDDX").has_value());
        EXPECT_TRUE(logHas(c.line));
    }
}

// ---- names of runway ends ----

TEST(RunwayNameTest, NumbersCompassPointsAndDesignators) {
    const std::tuple<std::int32_t, std::int32_t, const char*> cases[] = {
        {9, 1, "09L"}, {27, 2, "27R"}, {18, 3, "18C"}, {36, 4, "36W"},      {1, 5, "01A"},  {2, 6, "02B"},
        {36, 0, "36"}, {37, 0, "N"},   {38, 0, "NE"},  {44, 2, "NWR"},     {45, 9, "#45(9)"}, {0, 0, "#0"},
        {-3, -1, "#-3(-1)"}};
    for (const auto& [number, designator, name] : cases) EXPECT_EQ(gf_runwayName(number, designator), name);
}

}  // namespace
