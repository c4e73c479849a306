// The airports list: loading input/airports.enc (bad entries one by one, bad
// files as a whole), lookups by code, the airport at a position, and the
// current airport's distance and elevation.

#include <filesystem>
#include <string>
#include <variant>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "airports/airports_list.h"
#include "airports/current_airport.h"
#include "foundation/encrypted.h"
#include "support/airports_data.h"
#include "support/http_server.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace {

using tavo::test::airportEntry;
using tavo::test::AirportDataEntry;
using tavo::test::DataFileFault;

class AirportsListTest : public tavo::test::LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        gf_unloadAirportsForTests();
        gf_clearCurrentAirport();
        gf_setClosestStandReader(nullptr);
        // The default reader fetches archived airport files: none here.
        env.set("TAVO_DOWNLOAD_URL", server.url("/downloads"));
    }
    void TearDown() override {
        gf_unloadAirportsForTests();
        gf_clearCurrentAirport();
        gf_setClosestStandReader(nullptr);
        LogFileTest::TearDown();
    }

    void write(const std::vector<AirportDataEntry>& entries, DataFileFault fault = DataFileFault::none,
               const tavo::test::EncWriterOptions& options = {}) {
        tavo::test::writeAirportsEnc(dir(), entries, fault, options);
    }
    // Loads and expects success.
    std::size_t load() {
        const AirportsLoadResult result = gf_loadAirports();
        if (const auto* error = std::get_if<std::string>(&result)) ADD_FAILURE() << *error;
        return std::holds_alternative<std::size_t>(result) ? std::get<std::size_t>(result) : 0;
    }

    tavo::test::LoopbackHttpServer server;
    tavo::test::ScopedEnv env;
};

AirportDataEntry lf_with(AirportDataEntry entry, std::optional<std::string> AirportDataEntry::*field,
                         std::optional<std::string> value) {
    entry.*field = std::move(value);
    return entry;
}

const AirportDataEntry kGood = airportEntry("LOWI", 47.260278, 11.343889, 1906, "INN");

TEST_F(AirportsListTest, BadEntriesAreLoggedAndSkippedOneByOne) {
    const AirportDataEntry egll = airportEntry("EGLL", 51.4775, -0.461389, 83, "LHR");
    struct Case {
        const char* what;
        AirportDataEntry entry;
        std::string log;  // lines before the count line
    };
    const Case cases[] = {
        {"lower-case code", lf_with(egll, &AirportDataEntry::c, "egll"), ""},
        {"three-character code", lf_with(egll, &AirportDataEntry::c, "EGL"),
         "Skipped invalid airport code 'EGL': 'EGL' IcaoCode: invalid string\n"},
        {"no code", lf_with(egll, &AirportDataEntry::c, std::nullopt),
         "==> Skipped airport entry with missing ICAO code attribute\n"},
        {"bad IATA code", lf_with(egll, &AirportDataEntry::i, "L-R"),
         "Skipped airport 'EGLL' 'L-R': 'L-R' IataCode: invalid string\n"},
        {"latitude without longitude", lf_with(egll, &AirportDataEntry::lo, std::nullopt),
         "==> Missing latLons for airport 'EGLL'\n"},
        {"no elevation", lf_with(egll, &AirportDataEntry::a, std::nullopt), "==> Missing alt for airport 'EGLL'\n"},
        {"longitude that does not parse", lf_with(egll, &AirportDataEntry::lo, "0.46W"),
         "==> Invalid numeric data for airport 'EGLL'\n"},
        {"elevation with a fraction", lf_with(egll, &AirportDataEntry::a, "83.5"),
         "==> Invalid numeric data for airport 'EGLL'\n"},
        {"latitude not a number", lf_with(egll, &AirportDataEntry::la, "nan"),
         "==> Invalid numeric data for airport 'EGLL'\n"},
        {"blank before a number", lf_with(egll, &AirportDataEntry::a, " 83"),
         "==> Invalid numeric data for airport 'EGLL'\n"},
        {"both coordinates zero", airportEntry("EGLL", 0.0, 0.0, 83), "==> Invalid position for airport 'EGLL'\n"},
        {"latitude beyond the pole", airportEntry("EGLL", 90.5, 1.0, 83), "==> Invalid position for airport 'EGLL'\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gf_unloadAirportsForTests();
        newLogLines();
        write({kGood, c.entry});
        const bool kept = c.log.empty();
        EXPECT_EQ(load(), kept ? 2u : 1u);
        EXPECT_EQ(newLogLines(), c.log + fmt::format("{:5} airports read\n", kept ? 2 : 1));
        EXPECT_EQ(gf_isKnownAirport(IcaoCode("EGLL")), kept);
        EXPECT_TRUE(gf_isKnownAirport(IcaoCode("LOWI")));
    }
}

TEST_F(AirportsListTest, EntriesKeepTheirCodesPositionAndElevation) {
    write({kGood, airportEntry("EDDF", 50.033333, 8.570556, 364), lf_with(kGood, &AirportDataEntry::i, "")});
    EXPECT_EQ(load(), 2u);
    const auto lowi = gf_findAirport(IcaoCode("LOWI"));
    ASSERT_TRUE(lowi);
    EXPECT_EQ(lowi->iata.text(), "INN") << "the first of two entries of one code stays";
    EXPECT_DOUBLE_EQ(lowi->position.lat, 47.260278);
    EXPECT_DOUBLE_EQ(lowi->position.lon, 11.343889);
    EXPECT_EQ(lowi->altitudeFt, 1906);
    EXPECT_EQ(gf_findAirport(IcaoCode("EDDF"))->iata.text(), "XXX") << "no IATA code";
    EXPECT_FALSE(gf_findAirport(IcaoCode("EDDM")));
    EXPECT_FALSE(gf_isKnownAirport(IcaoCode()));
}

TEST_F(AirportsListTest, DuplicatesAreCountedInOneLine) {
    const AirportDataEntry second = airportEntry("LOWI", 1.0, 2.0, 3);
    write({kGood, second});
    EXPECT_EQ(load(), 1u);
    EXPECT_EQ(newLogLines(), "==> Skipped 1 duplicate airport entry\n    1 airports read\n");
    EXPECT_EQ(gf_findAirport(IcaoCode("LOWI"))->altitudeFt, 1906);

    gf_unloadAirportsForTests();
    write({second, kGood, airportEntry("EDDF", 50.0, 8.5, 364), second, airportEntry("EDDF", 1.0, 1.0, 1)});
    EXPECT_EQ(load(), 2u);
    EXPECT_EQ(newLogLines(), "==> Skipped 3 duplicate airport entries\n    2 airports read\n");
    EXPECT_EQ(gf_findAirport(IcaoCode("LOWI"))->altitudeFt, 3) << "the first in the file stays";
    EXPECT_EQ(gf_findAirport(IcaoCode("EDDF"))->altitudeFt, 364);
}

TEST_F(AirportsListTest, AFailedLoadLeavesTheListEmptyAndALaterCallLoads) {
    const std::string path = "input/airports.enc";
    tavo::test::EncWriterOptions foreignKey;
    foreignKey.key.assign(32, 0x5A);
    struct Case {
        const char* what;
        std::function<void()> make;
        std::string error;  // empty: computed below
    };
    const Case cases[] = {
        {"missing file", [] {}, path + " not available"},
        {"a folder that cannot be checked",
         [&] { std::filesystem::create_directory_symlink("input", dir() / "input"); },
         "Could not check whether " + path + " exists: Too many levels of symbolic links"},
        {"wrong key", [&] { write({kGood}, DataFileFault::none, foreignKey); }, ""},
        {"parse error", [&] { write({kGood}, DataFileFault::malformed); },
         path + " not loaded: Start-end tags mismatch"},
        {"no root", [&] { write({kGood}, DataFileFault::noRoot); }, path + " has no <root> root"},
        {"no section", [&] { write({kGood}, DataFileFault::noSection); }, path + " has no <airports> section"},
        {"nothing valid", [&] { write({airportEntry("LOWI", 0.0, 0.0, 1)}); }, path + " contains no valid airports"},
        {"no entries", [&] { write({}); }, path + " contains no valid airports"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(dir() / "input");
        c.make();
        std::string expected = c.error;
        if (expected.empty())
            expected = fmt::format("{} not loaded: {}", path, gf_readEncryptedFile(path, kAirportsEncLimit).error);
        const AirportsLoadResult result = gf_loadAirports();
        ASSERT_TRUE(std::holds_alternative<std::string>(result));
        EXPECT_EQ(std::get<std::string>(result), expected);
        EXPECT_FALSE(gf_isKnownAirport(IcaoCode("LOWI")));
        EXPECT_EQ(newLogLines().find("airports read"), std::string::npos);
    }
    std::filesystem::remove_all(dir() / "input");
    write({kGood});
    EXPECT_EQ(load(), 1u) << "a failed load leaves the list unloaded";
    EXPECT_TRUE(gf_isKnownAirport(IcaoCode("LOWI")));
}

TEST_F(AirportsListTest, ASecondCallReadsNothing) {
    write({kGood, airportEntry("EDDF", 50.033333, 8.570556, 364)});
    EXPECT_EQ(load(), 2u);
    EXPECT_EQ(newLogLines(), "    2 airports read\n");
    write({kGood}, DataFileFault::noRoot);
    EXPECT_EQ(load(), 2u);
    EXPECT_EQ(newLogLines(), "");
}

TEST_F(AirportsListTest, TheFullSizeListLoadsSorted) {
    const auto profile = tavo::test::airportsProfile();
    write(profile);
    EXPECT_EQ(load(), 24000u);
    for (std::size_t n = 0; n < profile.size(); n += 997) {
        const auto entry = gf_findAirport(IcaoCode(*profile[n].c));
        ASSERT_TRUE(entry) << *profile[n].c;
        EXPECT_EQ(fmt::format("{:.6f}", entry->position.lat), *profile[n].la);
    }
}

// Closest-stand readers for the nearest-airport tests; each answers from the
// table the test puts in place.
struct StandAnswer {
    const char* icao;
    double distanceNm;  // negative: no stand
};
std::vector<StandAnswer> l_standAnswers;
std::vector<std::string> l_standQuestions;

ClosestStandRead lf_answerFromTable(const IcaoCode& icao, LaLo) {
    l_standQuestions.emplace_back(icao.text());
    for (const StandAnswer& answer : l_standAnswers)
        if (icao.text() == answer.icao && answer.distanceNm >= 0.0)
            return ClosestStand{fmt::format("G{}", answer.icao), answer.distanceNm};
    return std::string("no stands");
}

TEST_F(AirportsListTest, TheNearestAirportIsWithinFiveMiles) {
    write({airportEntry("AAAA", 30.0, 10.0, 100)});
    load();
    gf_setClosestStandReader(&lf_answerFromTable);
    l_standQuestions.clear();
    const auto found = gf_findNearestAirport(LaLo{30.0 + 5.0 / 60.0, 10.0});
    ASSERT_TRUE(found) << "5 NM north is a candidate";
    EXPECT_EQ(found->icao, IcaoCode("AAAA"));
    EXPECT_TRUE(l_standQuestions.empty()) << "one candidate asks for no stand";
    EXPECT_FALSE(gf_findNearestAirport(LaLo{30.0 + 5.01 / 60.0, 10.0}));
    EXPECT_FALSE(gf_findNearestAirport(LaLo{30.0, 10.0 + 5.01 / 60.0 / 0.8660254037844387}));
    EXPECT_TRUE(gf_findNearestAirport(LaLo{30.0, 10.0 + 4.99 / 60.0 / 0.8660254037844387}));
    // 4 NM north and 4 NM east: inside the square, outside the circle.
    EXPECT_FALSE(gf_findNearestAirport(LaLo{30.0 + 4.0 / 60.0, 10.0 + 4.0 / 60.0 / 0.8660254037844387}));
}

TEST_F(AirportsListTest, NeighboursAcrossTheDateLineAreFound) {
    write({airportEntry("NZCH", -43.489, -179.995, 123), airportEntry("NZWN", -43.489, 170.0, 41)});
    load();
    const auto found = gf_findNearestAirport(LaLo{-43.489, 179.995});
    ASSERT_TRUE(found);
    EXPECT_EQ(found->icao, IcaoCode("NZCH"));
    gf_setCurrentAirport(*found);
    EXPECT_TRUE(gf_isNearCurrentAirport(LaLo{-43.489, 179.995}));
    EXPECT_TRUE(gf_isNearCurrentAirport(LaLo{-43.4, -179.9}));
}

TEST_F(AirportsListTest, AmongSeveralTheStrictlyCloserStandDecides) {
    // Centres 1, 2 and 3 NM north of the position.
    write({airportEntry("CCCC", 30.0 + 3.0 / 60.0, 10.0, 3), airportEntry("AAAA", 30.0 + 1.0 / 60.0, 10.0, 1),
           airportEntry("BBBB", 30.0 + 2.0 / 60.0, 10.0, 2), airportEntry("DDDD", 31.0, 10.0, 4)});
    load();
    gf_setClosestStandReader(&lf_answerFromTable);
    struct Case {
        const char* what;
        std::vector<StandAnswer> answers;
        const char* chosen;
        std::string log;
    };
    const Case cases[] = {
        {"no stand anywhere", {}, "AAAA", ""},
        {"a strictly closer stand", {{"AAAA", 0.5}, {"BBBB", 0.25}, {"CCCC", 0.3}}, "BBBB",
         "Airport AAAA has the closest center, but stand GBBBB at BBBB is closer (463 meters)\n"},
        {"an equal stand", {{"AAAA", 0.5}, {"BBBB", 0.5}, {"CCCC", 0.5}}, "AAAA", ""},
        {"only the farthest has a stand", {{"CCCC", 2.0}}, "CCCC",
         "Airport AAAA has the closest center, but stand GCCCC at CCCC is closer (3704 meters)\n"},
        {"stands 100 NM away count as none", {{"BBBB", 100.0}}, "AAAA", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        l_standAnswers = c.answers;
        l_standQuestions.clear();
        newLogLines();
        const auto found = gf_findNearestAirport(LaLo{30.0, 10.0});
        ASSERT_TRUE(found);
        EXPECT_EQ(found->icao, IcaoCode(c.chosen));
        EXPECT_EQ(newLogLines(), c.log);
        EXPECT_EQ(l_standQuestions, (std::vector<std::string>{"AAAA", "BBBB", "CCCC"})) << "nearest centre first";
    }
}

TEST_F(AirportsListTest, WithoutAirportFilesTheNearestCentreIsTaken) {
    write({airportEntry("BBBB", 30.0 + 2.0 / 60.0, 10.0, 2), airportEntry("AAAA", 30.0 - 1.0 / 60.0, 10.0, 1)});
    load();
    const auto found = gf_findNearestAirport(LaLo{30.0, 10.0});
    ASSERT_TRUE(found);
    EXPECT_EQ(found->icao, IcaoCode("AAAA"));
}

TEST_F(AirportsListTest, TheCurrentAirportIsNearWithinTenMiles) {
    const AirportListEntry airport{IcaoCode("EEEE"), IataCode("EEE"), LaLo{15.0, 20.0}, 1234};
    EXPECT_FALSE(gf_isNearCurrentAirport(LaLo{15.0, 20.0})) << "no current airport";
    gf_setCurrentAirport(airport);
    EXPECT_TRUE(gf_isNearCurrentAirport(LaLo{15.0 + 10.0 / 60.0, 20.0}));
    EXPECT_FALSE(gf_isNearCurrentAirport(LaLo{15.0 + 10.01 / 60.0, 20.0}));
    EXPECT_TRUE(gf_isNearCurrentAirport(LaLo{15.0, 20.0 + 9.99 / 60.0 / 0.9659258262890683}));
    EXPECT_FALSE(gf_isNearCurrentAirport(LaLo{15.0, 20.0 + 10.01 / 60.0 / 0.9659258262890683}));
}

TEST_F(AirportsListTest, TheAltitudeNeedsAValidCurrentAirport) {
    EXPECT_EQ(gf_getCurrentAirportAltitude(), std::nullopt);
    gf_setCurrentAirport(AirportListEntry{IcaoCode("EEEE"), {}, LaLo{0.0, 0.0}, 1234});
    EXPECT_EQ(gf_getCurrentAirportAltitude(), std::nullopt) << "no valid position";
    EXPECT_FALSE(gf_isNearCurrentAirport(LaLo{0.0, 0.0}));
    gf_setCurrentAirport(AirportListEntry{IcaoCode(), {}, LaLo{15.0, 20.0}, 1234});
    EXPECT_EQ(gf_getCurrentAirportAltitude(), std::nullopt) << "no code";
    gf_setCurrentAirport(AirportListEntry{IcaoCode("EEEE"), {}, LaLo{15.0, 20.0}, 1234});
    EXPECT_EQ(gf_getCurrentAirportAltitude(), 1234.0);
    gf_setCurrentAirportAltitude(1250);
    EXPECT_EQ(gf_getCurrentAirportAltitude(), 1250.0);
    EXPECT_EQ(gf_currentAirport()->icao, IcaoCode("EEEE")) << "only the elevation changes";
    gf_clearCurrentAirport();
    gf_setCurrentAirportAltitude(1300);
    EXPECT_EQ(gf_currentAirport(), std::nullopt) << "a replaced elevation does not bring a cleared airport back";
    EXPECT_EQ(gf_getCurrentAirportAltitude(), std::nullopt);
}

}  // namespace
