// Loading the runway table: read once per airport and source, the checks and
// their log lines, the altitude comparison, the ignored runways and the final
// line; through the reader seam and on model airports.

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "airports/current_airport.h"
#include "motion/runway_fixture.h"
#include "simlink/facility_fixture.h"
#include "support/temp_dir.h"

namespace {

using tavo::test::makeRunway;
using tavo::test::placeOn;
using tavo::test::RunwaySpec;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The lines of a log text that begin with the prefix, in order.
std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with(prefix)) lines.push_back(line);
    }
    return lines;
}

class RunwayLoadTest : public tavo::test::LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        gf_clearRunwayTable();
        gf_setCurrentAirport({IcaoCode("EDDX"), {}, {50.0, 8.0}, 300});
        gf_setRunwayReader([this](std::string_view icao) -> std::optional<FacilityRunwaySet> {
            readsOf.emplace_back(icao);
            if (failNext > 0) {
                --failNext;
                return std::nullopt;
            }
            return FacilityRunwaySet{facilityAltitudeFt, runways};
        });
    }
    void TearDown() override {
        gf_setRunwayReader({});
        gf_clearRunwayTable();
        gf_clearCurrentAirport();
        LogFileTest::TearDown();
    }

    // Loads the runways and returns the lines logged meanwhile.
    std::string load(std::string_view code = "EDDX", std::string_view source = "stock") {
        newLogLines();
        loadAirportRunways(IcaoCode(code), source);
        return newLogLines();
    }

    std::vector<FacilityRunway> runways{makeRunway()};
    double facilityAltitudeFt = 300.0;
    int failNext = 0;
    std::vector<std::string> readsOf;
};

TEST_F(RunwayLoadTest, ReadOncePerAirportAndSource) {
    struct Step {
        const char* what;
        const char* code;
        const char* source;
        bool clearFirst;
        std::size_t reads;
    };
    const Step steps[] = {
        {"first load", "EDDX", "stock", false, 1},
        {"same airport and source", "EDDX", "stock", false, 1},
        {"another source", "EDDX", "thirdparty", false, 2},
        {"same again", "EDDX", "thirdparty", false, 2},
        {"another airport", "EDDY", "thirdparty", false, 3},
        {"after the planner's reset", "EDDY", "thirdparty", true, 4},
    };
    for (const Step& s : steps) {
        if (s.clearFirst) {
            gf_clearRunwayTable();
            EXPECT_TRUE(g_runwayTable.empty()) << s.what;
            EXPECT_FALSE(findRunwayMatch(runways[0].centre, tavo::test::radiansOf(90.0), false, runwayCrossFloorM))
                << s.what;
        }
        load(s.code, s.source);
        EXPECT_EQ(readsOf.size(), s.reads) << s.what;
        EXPECT_EQ(readsOf.back(), s.code) << s.what;
        EXPECT_EQ(g_runwayTable.size(), 1u) << s.what;
        EXPECT_EQ(g_runwayTableAirport.code, s.code) << s.what;
        EXPECT_EQ(g_runwayTableAirport.source, s.source) << s.what;
    }
    const auto m = findRunwayMatch(runways[0].centre, tavo::test::radiansOf(90.0), false, runwayCrossFloorM);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->endName, "09");
}

TEST_F(RunwayLoadTest, FailedReadLogsAndIsTriedAgain) {
    load("EDDX", "stock");  // a table from before
    ASSERT_EQ(g_runwayTable.size(), 1u);
    failNext = 1;
    const std::string lines = load("EDDY", "stock");
    EXPECT_NE(lines.find("==> RUNWAY_HEADING: reading runway facilities for EDDY failed\n"), std::string::npos)
        << lines;
    EXPECT_TRUE(g_runwayTable.empty()) << "the old airport's runways are gone";
    EXPECT_TRUE(g_runwayTableAirport.code.empty());
    EXPECT_TRUE(g_runwayTableAirport.source.empty());
    EXPECT_TRUE(linesStartingWith(lines, "RUNWAY_HEADING: EDDY ").empty()) << "no final line: " << lines;

    const std::string again = load("EDDY", "stock");
    EXPECT_EQ(readsOf.size(), 3u) << "the same airport is read again";
    EXPECT_EQ(g_runwayTable.size(), 1u);
    EXPECT_NE(again.find("RUNWAY_HEADING: EDDY 1 runway: 09-27\n"), std::string::npos) << again;
}

TEST_F(RunwayLoadTest, AirportAltitudeAgainstTheAirportFile) {
    struct Case {
        const char* name;
        bool currentAirport;
        double facilityFt;
        const char* line;  // empty: no altitude line
    };
    const Case cases[] = {
        {"150 ft higher", true, 650.0,
         "==> RUNWAY_HEADING: EDDX airport altitude difference too large: Facilities=650.0 ft, airport file=500.0 ft, "
         "difference=+150.0 ft"},
        {"101 ft lower", true, 399.0,
         "==> RUNWAY_HEADING: EDDX airport altitude difference too large: Facilities=399.0 ft, airport file=500.0 ft, "
         "difference=-101.0 ft"},
        {"exactly 100 ft higher", true, 600.0, ""},
        {"no current airport to compare with", false, 650.0, ""},
    };
    for (const Case& c : cases) {
        gf_clearRunwayTable();
        if (c.currentAirport)
            gf_setCurrentAirport({IcaoCode("EDDX"), {}, {50.0, 8.0}, 500});
        else
            gf_clearCurrentAirport();
        facilityAltitudeFt = c.facilityFt;
        const auto lines = linesStartingWith(load(), "==> RUNWAY_HEADING: EDDX airport altitude");
        if (*c.line == '\0') {
            EXPECT_TRUE(lines.empty()) << c.name << ": " << lines.front();
        } else {
            ASSERT_EQ(lines.size(), 1u) << c.name;
            EXPECT_EQ(lines[0], c.line) << c.name;
        }
        EXPECT_EQ(g_runwayTable.size(), 1u) << "the load goes on: " << c.name;
    }
}

TEST_F(RunwayLoadTest, FindingsOfOneRunway) {
    const auto finding = [](const char* key, const char* text) {
        return fmt::format("==> RUNWAY_HEADING: EDDX runway {}: {}", key, text);
    };
    struct Case {
        const char* name;
        std::function<FacilityRunway()> runway;
        std::vector<std::string> findings;
    };
    const auto with = [](RunwaySpec spec, std::function<void(FacilityRunway&)> change = {}) {
        return [spec, change] {
            FacilityRunway r = makeRunway(spec);
            if (change) change(r);
            return r;
        };
    };
    const Case cases[] = {
        {"a sound runway", with({}), {}},
        {"36 and 18", with({.headingDeg = 0.0, .primaryNumber = 36, .secondaryNumber = 18}), {}},
        {"36 and 17", with({.headingDeg = 0.0, .primaryNumber = 36, .secondaryNumber = 17}),
         {finding("36-17", "runway numbers are not reciprocal")}},
        {"0 and 17: not tested", with({.headingDeg = 0.0, .primaryNumber = 0, .secondaryNumber = 17}), {}},
        {"37 and 17: not tested", with({.headingDeg = 0.0, .primaryNumber = 37, .secondaryNumber = 17}), {}},
        {"L and R", with({.primaryDesignator = 1, .secondaryDesignator = 2}), {}},
        {"W and W", with({.primaryDesignator = 4, .secondaryDesignator = 4}), {}},
        {"L and L", with({.primaryDesignator = 1, .secondaryDesignator = 1}),
         {finding("09L-27L", "runway designators are not reciprocal")}},
        {"C and L", with({.primaryDesignator = 3, .secondaryDesignator = 1}),
         {finding("09C-27L", "runway designators are not reciprocal")}},
        {"none and L", with({.primaryDesignator = 0, .secondaryDesignator = 1}),
         {finding("09-27L", "runway designators are not reciprocal")}},
        {"A and B: not tested", with({.primaryDesignator = 5, .secondaryDesignator = 6}), {}},
        {"an end at (0, 0)", with({}, [](FacilityRunway& r) { r.end1 = {}; }),
         {finding("09-27", "invalid center or endpoint coordinates")}},
        {"heading 360", with({}, [](FacilityRunway& r) { r.headingDeg = 360.0; }),
         {finding("09-27", "invalid facility heading"),
          finding("09-27", "endpoint bearing differs from facility heading")}},
        {"heading NaN", with({}, [](FacilityRunway& r) { r.headingDeg = kNaN; }),
         {finding("09-27", "invalid facility heading")}},
        {"length 0", with({}, [](FacilityRunway& r) { r.lengthM = 0.0; }),
         {finding("09-27", "implausible runway length"),
          finding("09-27", "endpoint distance differs from facility length")}},
        {"width 501", with({.widthM = 501.0}), {finding("09-27", "implausible runway width")}},
        {"altitude NaN", with({}, [](FacilityRunway& r) { r.altitudeFt = kNaN; }),
         {finding("09-27", "invalid runway altitude")}},
        {"no secondary START", with({}, [](FacilityRunway& r) { r.secondaryStart.reset(); }),
         {finding("09-27", "one or both runway START records are missing")}},
        {"heading 0.2 degrees off its ends", with({}, [](FacilityRunway& r) { r.headingDeg += 0.2; }),
         {finding("09-27", "endpoint bearing differs from facility heading")}},
        {"heading 0.05 degrees off its ends", with({}, [](FacilityRunway& r) { r.headingDeg += 0.05; }), {}},
        {"length 10 m longer than its ends", with({}, [](FacilityRunway& r) { r.lengthM += 10.0; }),
         {finding("09-27", "endpoint distance differs from facility length")}},
        {"length 2 m longer than its ends", with({}, [](FacilityRunway& r) { r.lengthM += 2.0; }), {}},
        // A tenth of a percent of a short runway is below a metre: a metre is allowed all the same.
        {"500 m, 0.8 m longer than its ends", with({.lengthM = 500.0}, [](FacilityRunway& r) { r.lengthM += 0.8; }),
         {}},
        {"500 m, 1.2 m longer than its ends", with({.lengthM = 500.0}, [](FacilityRunway& r) { r.lengthM += 1.2; }),
         {finding("09-27", "endpoint distance differs from facility length")}},
        {"11 NM from the reference point", with({.centre = {50.0 + 11.0 / 60.0, 8.0}}),
         {finding("09-27", "center is more than 10 NM from airport reference point")}},
        {"9 NM from the reference point", with({.centre = {50.0 + 9.0 / 60.0, 8.0}}), {}},
        {"primary START 60 ft up, secondary 10 ft down",
         with({}, [](FacilityRunway& r) {
             r.primaryStart->altitudeFt = 360.0;
             r.secondaryStart->altitudeFt = 290.0;
         }),
         {finding("09-27",
                  "primary START altitude 360.0 ft differs from runway center 300.0 ft; using runway center altitude")}},
        {"secondary START 60 ft down, primary 60 ft up: a slope",
         with({}, [](FacilityRunway& r) {
             r.primaryStart->altitudeFt = 360.0;
             r.secondaryStart->altitudeFt = 240.0;
         }),
         {}},
        {"secondary START 70 ft down, no primary START",
         with({}, [](FacilityRunway& r) {
             r.primaryStart.reset();
             r.secondaryStart->altitudeFt = 230.0;
         }),
         {finding("09-27", "one or both runway START records are missing"),
          finding("09-27",
                  "secondary START altitude 230.0 ft differs from runway center 300.0 ft; using runway center "
                  "altitude")}},
    };
    for (const Case& c : cases) {
        gf_clearRunwayTable();
        runways = {c.runway()};
        const std::string lines = load();
        EXPECT_EQ(linesStartingWith(lines, "==> RUNWAY_HEADING: EDDX runway "), c.findings) << c.name;
        EXPECT_EQ(g_runwayTable.size(), 1u) << "findings remove nothing: " << c.name;
    }
    // Without a current airport there is no reference point to be far from.
    gf_clearCurrentAirport();
    gf_clearRunwayTable();
    runways = {makeRunway({.centre = {47.0, 11.0}})};
    EXPECT_EQ(linesStartingWith(load(), "==> RUNWAY_HEADING: EDDX runway "), std::vector<std::string>{})
        << "no current airport";
}

TEST_F(RunwayLoadTest, FinalLineCountsAndListsTheKeysOnce) {
    const FacilityRunway r09 = makeRunway();
    const FacilityRunway r18L = makeRunway({.headingDeg = 180.0,
                                            .primaryNumber = 18,
                                            .primaryDesignator = 1,
                                            .secondaryNumber = 36,
                                            .secondaryDesignator = 2});
    const FacilityRunway r28 = makeRunway({.headingDeg = 280.0, .primaryNumber = 28, .secondaryNumber = 10});
    struct Case {
        const char* name;
        const char* code;
        std::vector<FacilityRunway> runways;
        std::size_t tableSize;
        const char* finalLine;
        int duplicateFindings;
    };
    const Case cases[] = {
        {"one", "EDDX", {r09}, 1, "RUNWAY_HEADING: EDDX 1 runway: 09-27", 0},
        {"two, listed in text order", "EDDX", {r18L, r09}, 2, "RUNWAY_HEADING: EDDX 2 runways: 09-27, 18L-36R", 0},
        {"a duplicate stays and is listed once", "EDDX", {r09, r18L, r09}, 3,
         "RUNWAY_HEADING: EDDX 3 runways: 09-27, 18L-36R", 1},
        {"none left after the ignored one", "CYUL", {r28}, 0, "RUNWAY_HEADING: CYUL 0 runways: ", 0},
    };
    for (const Case& c : cases) {
        gf_clearRunwayTable();
        runways = c.runways;
        const std::string lines = load(c.code, "stock");
        EXPECT_EQ(g_runwayTable.size(), c.tableSize) << c.name;
        const auto finals = linesStartingWith(lines, fmt::format("RUNWAY_HEADING: {} {} runway", c.code, c.tableSize));
        ASSERT_EQ(finals.size(), 1u) << c.name << ":\n" << lines;
        EXPECT_EQ(finals[0], c.finalLine) << c.name;
        EXPECT_EQ(tavo::test::countOf(lines, "duplicate runway designation"), c.duplicateFindings) << c.name;
    }
}

TEST_F(RunwayLoadTest, IgnoredRunwaysByAirportSourceAndEnds) {
    struct Case {
        const char* name;
        const char* code;
        const char* source;
        RunwaySpec ignoredCandidate;
        bool removed;
        const char* ignoredLine;
    };
    const Case cases[] = {
        {"CYUL 28-10 in stock (ends swapped)", "CYUL", "stock",
         {.headingDeg = 280.0, .primaryNumber = 28, .secondaryNumber = 10}, true,
         "RUNWAY_HEADING: CYUL stock runway 28-10 ignored: permanently converted to Taxiway C"},
        {"CYUL 10-28 in stock", "CYUL", "stock", {.headingDeg = 100.0, .primaryNumber = 10, .secondaryNumber = 28},
         true, "RUNWAY_HEADING: CYUL stock runway 10-28 ignored: permanently converted to Taxiway C"},
        {"CYYC 08-26 in stock", "CYYC", "stock", {.headingDeg = 80.0, .primaryNumber = 8, .secondaryNumber = 26},
         true, "RUNWAY_HEADING: CYYC stock runway 08-26 ignored: permanently converted to Taxiway L"},
        {"CYUL 28-10 of another source", "CYUL", "thirdparty",
         {.headingDeg = 280.0, .primaryNumber = 28, .secondaryNumber = 10}, false, ""},
        {"CYUL 10L-28R in stock", "CYUL", "stock",
         {.headingDeg = 100.0, .primaryNumber = 10, .primaryDesignator = 1, .secondaryNumber = 28,
          .secondaryDesignator = 2},
         false, ""},
        {"CYYC's runway at CYUL", "CYUL", "stock", {.headingDeg = 80.0, .primaryNumber = 8, .secondaryNumber = 26},
         false, ""},
    };
    for (const Case& c : cases) {
        gf_clearRunwayTable();
        const FacilityRunway kept =
            makeRunway({.headingDeg = 60.0, .primaryNumber = 6, .primaryDesignator = 1, .secondaryNumber = 24,
                        .secondaryDesignator = 2});
        const FacilityRunway candidate = makeRunway(c.ignoredCandidate);
        runways = {candidate, kept};
        const std::string lines = load(c.code, c.source);
        const auto ignored = linesStartingWith(lines, fmt::format("RUNWAY_HEADING: {} {} runway", c.code, c.source));
        const TableRunway candidateNames(candidate);
        if (c.removed) {
            ASSERT_EQ(g_runwayTable.size(), 1u) << c.name;
            EXPECT_EQ(g_runwayTable[0].key, "06L-24R") << c.name;
            ASSERT_EQ(ignored.size(), 1u) << c.name;
            EXPECT_EQ(ignored[0], c.ignoredLine) << c.name;
            EXPECT_NE(lines.find(fmt::format("RUNWAY_HEADING: {} 1 runway: 06L-24R\n", c.code)), std::string::npos)
                << c.name << ":\n" << lines;
        } else {
            ASSERT_EQ(g_runwayTable.size(), 2u) << c.name;
            EXPECT_EQ(g_runwayTable[0].key, candidateNames.key) << "the order is kept: " << c.name;
            EXPECT_TRUE(ignored.empty()) << c.name;
            EXPECT_NE(lines.find(fmt::format("RUNWAY_HEADING: {} 2 runways: 06L-24R, {}\n", c.code,
                                             candidateNames.key)),
                      std::string::npos)
                << c.name << ":\n" << lines;
        }
    }
}

// ---- on model airports, through the facility reader ----

class RunwayModelTest : public tavo::test::FacilityTest {
protected:
    void SetUp() override {
        FacilityTest::SetUp();
        gf_clearRunwayTable();
        gf_setRunwayReader({});
        gf_setCurrentAirport({IcaoCode("EDDX"), {}, {50.0, 8.0}, 328});
    }
    void TearDown() override {
        gf_clearRunwayTable();
        gf_clearCurrentAirport();
        FacilityTest::TearDown();
    }
    static std::size_t facilityRequests() {
        const auto calls = reader().calls;
        return static_cast<std::size_t>(std::count_if(calls.begin(), calls.end(), [](const SimCallRecord& c) {
            return c.call == SimCall::RequestFacilityData;
        }));
    }
};

TEST_F(RunwayModelTest, LoadsTheModelAirportOnceAndRetriesAfterAFailure) {
    auto a = tavo::test::emptyAirport();
    tavo::test::addRunway(a, 18, 36, 180.0f, 1, 2);
    tavo::test::addRunway(a, 9, 27, 90.0f);
    gf_simModelAddAirport(a);

    // The simulator is not running yet: the read fails and is logged.
    newLogLines();
    loadAirportRunways(IcaoCode("EDDX"), "stock");
    EXPECT_TRUE(g_runwayTable.empty());
    EXPECT_TRUE(logHas("==> RUNWAY_HEADING: reading runway facilities for EDDX failed"));

    gf_simModelStart(SimVersion::MSFS2020);
    loadAirportRunways(IcaoCode("EDDX"), "stock");
    ASSERT_EQ(g_runwayTable.size(), 2u);
    EXPECT_EQ(g_runwayTable[0].key, "18L-36R");
    EXPECT_EQ(g_runwayTable[1].key, "09-27");
    EXPECT_EQ(facilityRequests(), 1u);
    const std::string lines = newLogLines();
    EXPECT_NE(lines.find("RUNWAY_HEADING: EDDX 2 runways: 09-27, 18L-36R\n"), std::string::npos) << lines;
    EXPECT_EQ(lines.find("==> RUNWAY_HEADING: EDDX runway"), std::string::npos) << "the model's runways are sound";
    EXPECT_EQ(lines.find("altitude difference"), std::string::npos) << lines;

    loadAirportRunways(IcaoCode("EDDX"), "stock");
    EXPECT_EQ(facilityRequests(), 1u) << "read once";
    loadAirportRunways(IcaoCode("EDDX"), "thirdparty");
    EXPECT_EQ(facilityRequests(), 2u) << "another source reloads";

    // The runways answer lookups: lined up on 36R at its threshold.
    const TableRunway& r36 = g_runwayTable[0];
    const LaLo threshold36R = placeOn(r36, 1400.0, 0.0);
    const auto m = findTakeoffRunway(threshold36R, 0.0);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->endName, "36R");
    EXPECT_NEAR(m->altitudeFt, 328.08399, 1e-3);
}

}  // namespace
