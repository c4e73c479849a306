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
using tavo::test::emptyAirport;
using tavo::test::facilityBlock;
using tavo::test::facilityEnd;
using tavo::test::queueRaw;
using tavo::test::readLogFile;

constexpr double kMetreNm = 1.0 / 1852.0;

class FacilityRunwaysTest : public tavo::test::FacilityTest {
protected:
    // Starts the simulator with the airport and reads it.
    std::optional<FacilityRunwaySet> readAirport(const SimAirport& a) {
        gf_simModelAddAirport(a);
        if (!gf_simModelIsRunning()) gf_simModelStart(SimVersion::MSFS2020);
        return gf_readRunwayHeadings(a.icao);
    }
    static bool logHas(const std::string& line) { return readLogFile().find(line) != std::string::npos; }
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
    EXPECT_DOUBLE_EQ(r.headingDeg, 90.0);
    EXPECT_DOUBLE_EQ(r.lengthM, 3000.0);
    EXPECT_DOUBLE_EQ(r.widthM, 45.0);
    EXPECT_NEAR(r.altitudeFt, 328.08399, 1e-6);
    // The primary end lies half the length against the heading, the secondary along it.
    EXPECT_NEAR(gf_distanceNm(r.centre, r.end1) / kMetreNm, 1500.0, 0.5);
    EXPECT_NEAR(gf_distanceNm(r.centre, r.end2) / kMetreNm, 1500.0, 0.5);
    EXPECT_LT(r.end1.lon, r.centre.lon);
    EXPECT_GT(r.end2.lon, r.centre.lon);
    EXPECT_EQ(std::tie(r.primaryNumber, r.primaryDesignator, r.secondaryNumber, r.secondaryDesignator),
              std::make_tuple(9, 0, 27, 0));
    ASSERT_TRUE(r.primaryStart && r.secondaryStart);
    EXPECT_EQ(r.primaryStart->number, 9);
    EXPECT_EQ(r.secondaryStart->number, 27);
    EXPECT_NEAR(r.secondaryStart->altitudeFt, 110.0 * 3.2808399, 1e-6);
    EXPECT_DOUBLE_EQ(r.secondaryStart->headingDeg, 270.0);
    EXPECT_EQ(r.primaryStart->type, 1);
    EXPECT_DOUBLE_EQ(r.primaryThreshold.lengthM, 300.0);
    EXPECT_DOUBLE_EQ(r.primaryThreshold.widthM, 45.0);
    EXPECT_TRUE(r.primaryThreshold.enabled);
    EXPECT_DOUBLE_EQ(r.secondaryThreshold.lengthM, 150.0);
    EXPECT_FALSE(r.secondaryThreshold.enabled);

    const FacilityRunway& s = set->runways[1];
    EXPECT_GT(s.end1.lat, s.centre.lat) << "18 starts at the north end";
    EXPECT_LT(s.end2.lat, s.centre.lat);
    EXPECT_EQ(s.primaryDesignator, 1);
    EXPECT_EQ(s.secondaryDesignator, 2);
    EXPECT_EQ(s.primaryStart->designator, 1);
    EXPECT_EQ(s.secondaryStart->designator, 2);
}

TEST_F(FacilityRunwaysTest, ParallelRunwaysAreToldApartByDesignator) {
    auto a = emptyAirport();
    addRunway(a, 9, 27, 90.0f, 1, 2);  // 09L/27R
    addRunway(a, 9, 27, 90.0f, 2, 1);  // 09R/27L
    addRunway(a, 9, 27, 90.0f, 3, 3);  // 09C/27C
    const auto set = readAirport(a);
    ASSERT_TRUE(set.has_value());
    EXPECT_EQ(set->runways.size(), 3u);
}

// ---- the runway check ----

struct NumberCase {
    std::int32_t primary;
    std::int32_t secondary;
    bool valid;
};

class RunwayNumbersTest : public FacilityRunwaysTest, public ::testing::WithParamInterface<NumberCase> {};

TEST_P(RunwayNumbersTest, EndsMustBeReciprocal) {
    const auto [primary, secondary, valid] = GetParam();
    auto a = emptyAirport();
    addRunway(a, primary, secondary, 90.0f);
    EXPECT_EQ(readAirport(a).has_value(), valid);
    if (!valid) {
        EXPECT_TRUE(logHas(fmt::format("==> RUNWAY_HEADING: EDDX invalid or duplicate runway {}-{}; correction disabled",
                                       gf_runwayName(primary, 0), gf_runwayName(secondary, 0))));
    }
}

INSTANTIATE_TEST_SUITE_P(Pairs, RunwayNumbersTest,
                         ::testing::Values(NumberCase{9, 27, true}, NumberCase{27, 9, true},
                                           NumberCase{18, 36, true}, NumberCase{36, 18, true},
                                           NumberCase{1, 19, true}, NumberCase{37, 41, true},
                                           NumberCase{44, 40, true}, NumberCase{41, 37, true},
                                           NumberCase{9, 26, false}, NumberCase{0, 18, false},
                                           NumberCase{36, 41, false}, NumberCase{37, 19, false},
                                           NumberCase{45, 9, false}, NumberCase{-9, 27, false}));

TEST_F(FacilityRunwaysTest, TheSameEndTwiceIsADuplicate) {
    auto a = emptyAirport();
    addRunway(a, 9, 27, 90.0f);
    addRunway(a, 18, 36, 180.0f);
    addRunway(a, 9, 27, 90.0f);
    EXPECT_FALSE(readAirport(a).has_value());
    EXPECT_TRUE(logHas("==> RUNWAY_HEADING: EDDX invalid or duplicate runway 09-27; correction disabled\n"));
}

TEST_F(FacilityRunwaysTest, OutOfRangeFieldsMakeARunwayInvalid) {
    const auto check = [&](const std::string& what, auto change) {
        SCOPED_TRACE(what);
        gf_simModelReset();
        auto a = emptyAirport();
        addRunway(a, 9, 27, 90.0f);
        change(a);
        EXPECT_FALSE(readAirport(a).has_value());
        gf_closeFacilityReader();
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
    check("centre at 0,0", [](SimAirport& a) {
        a.runways[0].latitudeDeg = 0.0;
        a.runways[0].longitudeDeg = 0.0;
    });
    EXPECT_EQ(countOf(readLogFile(), "invalid or duplicate runway"), 9);
}

// ---- starts ----

TEST_F(FacilityRunwaysTest, OnlyRunwayStartsServeARunway) {
    auto a = emptyAirport();
    addRunway(a, 9, 27, 90.0f);
    a.starts[1].type = 2;  // 27 is served only by a start of another kind
    EXPECT_FALSE(readAirport(a).has_value());
    EXPECT_TRUE(logHas("invalid or duplicate runway 09-27; correction disabled"));
}

TEST_F(FacilityRunwaysTest, ALaterStartReplacesAnEarlierOneAndStrayStartsAreIgnored) {
    auto a = emptyAirport();
    addRunway(a, 9, 27, 90.0f);
    SimStart later = a.starts[0];
    later.altitudeM = 200.0;
    a.starts.push_back(later);
    SimStart stray = a.starts[0];
    stray.number = 14;  // no runway 14
    a.starts.push_back(stray);
    const auto set = readAirport(a);
    ASSERT_TRUE(set.has_value());
    EXPECT_NEAR(set->runways[0].primaryStart->altitudeFt, 200.0 * 3.2808399, 1e-6);
}

// ---- counts and the airport block ----

TEST_F(FacilityRunwaysTest, AdvertisedCountsMustMatch) {
    auto a = emptyAirport();
    a.advertisedRunways = 0;
    EXPECT_FALSE(readAirport(a).has_value());
    EXPECT_TRUE(logHas("==> RUNWAY_HEADING: EDDX incomplete runway data: advertised 0, returned 0; correction disabled\n"));

    auto b = emptyAirport("EDDB");
    addRunway(b, 9, 27, 90.0f);
    b.advertisedRunways = 2;
    EXPECT_FALSE(readAirport(b).has_value());
    EXPECT_TRUE(logHas("==> RUNWAY_HEADING: EDDB incomplete runway data: advertised 2, returned 1; correction disabled\n"));

    auto c = emptyAirport("EDDC");
    addRunway(c, 9, 27, 90.0f);
    c.advertisedStarts = 3;
    EXPECT_FALSE(readAirport(c).has_value());
    EXPECT_TRUE(logHas("==> RUNWAY_HEADING: EDDC incomplete START data: advertised 3, returned 2; correction disabled\n"));

    auto d = emptyAirport("EDDD");
    addRunway(d, 9, 27, 90.0f);
    d.advertisedRunways = std::numeric_limits<std::int32_t>::max();  // no huge reservation
    EXPECT_FALSE(readAirport(d).has_value());
    EXPECT_TRUE(logHas("EDDD incomplete runway data: advertised 2147483647, returned 1"));
    EXPECT_TRUE(readerOpen()) << "failed checks keep the connection";
}

TEST_F(FacilityRunwaysTest, ANaNAirportAltitudeDisablesTheCorrection) {
    auto a = emptyAirport();
    addRunway(a, 9, 27, 90.0f);
    a.altitudeM = std::nan("");
    a.runways[0].altitudeM = 100.0;
    EXPECT_FALSE(readAirport(a).has_value());
    EXPECT_TRUE(logHas("==> RUNWAY_HEADING: EDDX invalid Facilities airport altitude; correction disabled\n"));
}

// ---- thresholds tied to their runway by the parent's identity ----

class ThresholdTest : public FacilityRunwaysTest {
protected:
    // The answer of an airport whose one runway and thresholds are raw
    // blocks queued ahead of the simulator's own blocks (airport, starts).
    std::optional<FacilityRunwaySet> readWithThresholds(int thresholds, std::uint32_t parent = 900001) {
        auto other = emptyAirport("EDDO");
        addRunway(other, 9, 27, 90.0f);
        auto a = emptyAirport();
        addRunway(a, 9, 27, 90.0f);
        a.runways.clear();
        a.advertisedRunways = 1;
        gf_simModelAddAirport(other);
        gf_simModelAddAirport(a);
        gf_simModelStart(SimVersion::MSFS2020);
        EXPECT_TRUE(gf_readRunwayHeadings("EDDO").has_value());  // opens the connection

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
    }
};

TEST_F(ThresholdTest, NoThresholdLeavesBothCleared) {
    const auto set = readWithThresholds(0);
    ASSERT_TRUE(set.has_value());
    const auto& r = set->runways.at(0);
    EXPECT_EQ(r.primaryThreshold.lengthM, 0.0);
    EXPECT_FALSE(r.primaryThreshold.enabled);
    EXPECT_EQ(r.secondaryThreshold.lengthM, 0.0);
}

TEST_F(ThresholdTest, OneThresholdIsThePrimary) {
    const auto set = readWithThresholds(1);
    ASSERT_TRUE(set.has_value());
    const auto& r = set->runways.at(0);
    EXPECT_DOUBLE_EQ(r.primaryThreshold.lengthM, 100.0);
    EXPECT_TRUE(r.primaryThreshold.enabled);
    EXPECT_EQ(r.secondaryThreshold.lengthM, 0.0);
}

TEST_F(ThresholdTest, TwoAndThreeThresholdsGiveTheSameRunway) {
    const auto two = readWithThresholds(2);
    ASSERT_TRUE(two.has_value());
    gf_closeFacilityReader();
    gf_simModelReset();
    const auto three = readWithThresholds(3);
    ASSERT_TRUE(three.has_value());
    for (const auto* set : {&*two, &*three}) {
        const auto& r = set->runways.at(0);
        EXPECT_DOUBLE_EQ(r.primaryThreshold.lengthM, 100.0);
        EXPECT_DOUBLE_EQ(r.secondaryThreshold.lengthM, 200.0);
        EXPECT_DOUBLE_EQ(r.secondaryThreshold.widthM, 20.0);
        EXPECT_FALSE(r.secondaryThreshold.enabled);
    }
}

TEST_F(ThresholdTest, AThresholdOfAnUnknownParentIsIgnored) {
    const auto set = readWithThresholds(2, 12345);
    ASSERT_TRUE(set.has_value());
    EXPECT_EQ(set->runways.at(0).primaryThreshold.lengthM, 0.0);
}

// ---- the connection ----

TEST_F(FacilityRunwaysTest, DefinitionIsMadeOncePerConnection) {
    auto a = emptyAirport();
    addRunway(a, 9, 27, 90.0f);
    ASSERT_TRUE(readAirport(a).has_value());
    ASSERT_TRUE(gf_readRunwayHeadings("EDDX").has_value());
    auto info = reader();
    ASSERT_EQ(info.facilityDefinitions.size(), 2u);
    EXPECT_EQ(info.facilityDefinitions[1].first, 1002u);
    EXPECT_EQ(info.facilityDefinitions[1].second.size(), 36u);

    gf_closeFacilityReader();
    ASSERT_TRUE(gf_readRunwayHeadings("EDDX").has_value());
    info = reader();
    EXPECT_EQ(info.facilityDefinitions.at(1).second.size(), 36u) << "defined anew on the new connection";
}

TEST_F(FacilityRunwaysTest, AFailedDefinitionClosesSoTheNextReadDefinesCleanly) {
    auto a = emptyAirport();
    addRunway(a, 9, 27, 90.0f);
    gf_simModelAddCallFault({.call = SimCall::AddToFacilityDefinition, .text = "N_STARTS", .times = 1});
    EXPECT_FALSE(readAirport(a).has_value());
    EXPECT_TRUE(logHas("==> RUNWAY_HEADING: facility definition initialization failed\n"));
    EXPECT_FALSE(readerOpen());
    EXPECT_TRUE(gf_readRunwayHeadings("EDDX").has_value());
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

TEST_F(FacilityRunwaysTest, AFailedRequestClosesTheReader) {
    auto a = emptyAirport();
    addRunway(a, 9, 27, 90.0f);
    gf_simModelAddAirport(a);
    gf_simModelStart(SimVersion::MSFS2020);
    gf_simModelAddCallFault({.call = SimCall::RequestFacilityData, .times = 1});
    EXPECT_FALSE(gf_readRunwayHeadings("EDDX").has_value());
    EXPECT_TRUE(logHas("==> RUNWAY_HEADING: RequestFacilityData for EDDX failed: 0x80004005\n"));
    EXPECT_FALSE(readerOpen());
    EXPECT_TRUE(gf_readRunwayHeadings("EDDX").has_value());
}

TEST_F(FacilityRunwaysTest, AFailedDispatchClosesTheReader) {
    auto a = emptyAirport();
    addRunway(a, 9, 27, 90.0f);
    gf_simModelAddAirport(a);
    gf_simModelStart(SimVersion::MSFS2020);
    gf_simModelAddCallFault({.call = SimCall::CallDispatch, .connection = "PARKING_DATA_RDR", .times = 1});
    EXPECT_FALSE(gf_readRunwayHeadings("EDDX").has_value());
    EXPECT_TRUE(logHas("==> RUNWAY_HEADING: SimConnect_CallDispatch failed for EDDX: 0x80004005\n"));
    EXPECT_FALSE(readerOpen());
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
        auto a = emptyAirport();
        gf_simModelAddAirport(other);
        gf_simModelAddAirport(a);
        gf_simModelStart(SimVersion::MSFS2020);
        ASSERT_TRUE(gf_readRunwayHeadings("EDDO").has_value());
        queueRaw(facilityBlock(c.cut, 2002, 900001, 0, c.type));
        EXPECT_FALSE(gf_readRunwayHeadings("EDDX").has_value());
        EXPECT_TRUE(logHas(c.line));
    }
}

TEST_F(FacilityRunwaysTest, NoSimulatorGivesNothingAtOnce) {
    const auto wallStart = std::chrono::steady_clock::now();
    EXPECT_FALSE(gf_readRunwayHeadings("EDDX").has_value());
    EXPECT_LT(std::chrono::steady_clock::now() - wallStart, std::chrono::seconds(1));
    EXPECT_EQ(sleeps, 0);
}

TEST_F(FacilityRunwaysTest, StandAndRunwayReadsShareTheConnection) {
    auto a = emptyAirport();
    addRunway(a, 9, 27, 90.0f);
    ASSERT_TRUE(readAirport(a).has_value());
    const auto serial = reader().serial;
    Airport airport;
    std::uint32_t helipads = 0;
    ASSERT_TRUE(gf_readFacilityStands("EDDX", airport, helipads));
    ASSERT_TRUE(gf_readRunwayHeadings("EDDX").has_value());
    EXPECT_EQ(reader().serial, serial);
}

// ---- names of runway ends ----

TEST(RunwayNameTest, NumbersCompassPointsAndDesignators) {
    EXPECT_EQ(gf_runwayName(9, 1), "09L");
    EXPECT_EQ(gf_runwayName(27, 2), "27R");
    EXPECT_EQ(gf_runwayName(18, 3), "18C");
    EXPECT_EQ(gf_runwayName(36, 4), "36W");
    EXPECT_EQ(gf_runwayName(1, 5), "01A");
    EXPECT_EQ(gf_runwayName(2, 6), "02B");
    EXPECT_EQ(gf_runwayName(36, 0), "36");
    EXPECT_EQ(gf_runwayName(37, 0), "N");
    EXPECT_EQ(gf_runwayName(38, 0), "NE");
    EXPECT_EQ(gf_runwayName(41, 0), "S");
    EXPECT_EQ(gf_runwayName(44, 2), "NWR");
    EXPECT_EQ(gf_runwayName(45, 9), "#45(9)");
    EXPECT_EQ(gf_runwayName(0, 0), "#0");
    EXPECT_EQ(gf_runwayName(-3, -1), "#-3(-1)");
}

}  // namespace
