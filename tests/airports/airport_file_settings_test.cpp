// An airport file's settings: the rules for poor and tiny airports, a learned
// file's own settings, and the set-back to the user's values when the visit
// ends; the cache file's identity; the two destination reads and the nearest
// airport they decide.

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <variant>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "airports/airport_file_settings.h"
#include "platform/window/window.h"
#include "support/enc_writer.h"
#include "support/http_server.h"
#include "support/scoped_env.h"
#include "park_airport_fixture.h"

namespace fs = std::filesystem;
using namespace tavo::test;

namespace {

AirportReadResult readResult(std::size_t stands, std::int32_t qfReal) {
    AirportReadResult result;
    result.name = "Frankfurt";
    result.publisher = "stock";
    result.altitude = 364;
    result.qfReal = qfReal;
    for (std::size_t i = 0; i < stands; ++i)
        result.stands.emplace_back(fmt::format("S{}", i), std::vector<StandOption>{}, 50.0 + i * 0.01, 8.0, 0.0, 30.0,
                                   ParkingType::GATE_SMALL, false, false, false);
    return result;
}

void setUserValues(std::int32_t percentage, bool autoPark, bool rtOnly) {
    parking_percentage.set(percentage);
    AUTO_PARK.setValue(autoPark);
    RT_PARKTRAFFIC_ONLY.setValue(rtOnly);
    WEEK.setValue(false);
    PARK_SOFT.setValue(false);
    MAX_FIT.set(47);
    gf_publishParkingSettings();
}

using AirportFileSettingsTest = ParkAirportTest;

TEST_F(AirportFileSettingsTest, WithoutALearnedFilePoorAndTinyAirportsGetTheirRules) {
    struct Case {
        std::int32_t qfReal;
        std::size_t stands;
        std::int32_t percentage;
        std::int32_t wantPercentage;
        bool wantRules;  // AUTO_PARK set and RT_PARKTRAFFIC_ONLY cleared
        const char* logged;
    };
    const Case cases[] = {
        {15, 3, 30, 30, true, "auto park set because Qf is very low: 15/ 0"},
        {16, 3, 30, 30, false, nullptr},
        {40, 0, 50, 65, true, "target parking % set at 65, because this airport has just 0 stands"},
        {40, 1, 50, 100, true, "target parking % set at 100, because this airport has just 1 stand\n"},
        {40, 2, 50, 65, true, "target parking % set at 65, because this airport has just 2 stands"},
        {40, 1, 65, 65, false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(fmt::format("Qf {}, {} stands, {} %", c.qfReal, c.stands, c.percentage));
        setUserValues(c.percentage, false, true);
        newLogLines();
        lf_applyAirportFileSettings(readResult(c.stands, c.qfReal));
        const std::string log = newLogLines();
        EXPECT_NE(log.find("learned airport file not available"), std::string::npos);
        if (c.logged) EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        EXPECT_EQ(parking_percentage.value(), c.wantPercentage);
        EXPECT_EQ(settingsSnapshot.load()->parking_percentage, c.wantPercentage);
        EXPECT_EQ(gf_comboSelectedText(parking_percentage.controlId), std::to_string(c.wantPercentage));
        EXPECT_EQ(AUTO_PARK.value(), c.wantRules);
        EXPECT_EQ(gf_controlCheck(AUTO_PARK.controlId).value_or(false), c.wantRules);
        EXPECT_EQ(settingsSnapshot.load()->RT_PARKTRAFFIC_ONLY, c.wantRules ? 0 : 1);
        EXPECT_EQ(gf_gui().standCount, c.stands);
        EXPECT_TRUE(g_calls.saved.empty()) << "the rules apply to this visit only";
        gf_restoreUserParkingSettings();
        g_calls.saved.clear();
    }
}

TEST_F(AirportFileSettingsTest, ALearnedFileBringsItsOwnSettings) {
    setUserValues(50, false, false);
    AirportReadResult result = readResult(5, 40);
    result.learnedRead = true;
    result.handmade = true;
    result.week = true;
    result.maxFit = 3;
    result.autoPark = true;
    newLogLines();
    lf_applyAirportFileSettings(result);
    EXPECT_EQ(parking_percentage.value(), parking_percentage.defaultValue()) << "not the value before";
    EXPECT_TRUE(WEEK.value());
    EXPECT_EQ(gf_controlCheck(WEEK.controlId), true);
    EXPECT_FALSE(PARK_SOFT.value()) << "what the file does not hold stays";
    EXPECT_EQ(MAX_FIT.value(), 3);
    EXPECT_FLOAT_EQ(MAX_FIT_FL.value(), 2.0f);
    EXPECT_EQ(settingsSnapshot.load()->MAX_FIT, 3);
    EXPECT_EQ(gf_isControlEnabled(WEEK.controlId), false) << "the parking options follow auto park";
    EXPECT_NE(newLogLines().find("A handmade airport file overruled the archived file!"), std::string::npos);
    EXPECT_TRUE(gf_loadedAirport().fileLoaded);
    EXPECT_TRUE(gf_loadedAirport().handmade);
}

TEST_F(AirportFileSettingsTest, TheSetBackGivesTheUsersValuesBackAndSavesOnlyWhatDiffers) {
    setUserValues(30, false, true);
    lf_applyAirportFileSettings(readResult(1, 10));  // 100 %, auto park on, RT only off
    ASSERT_EQ(parking_percentage.value(), 100);
    PARK_SOFT.setValue(true);  // the user ticks a box during the visit
    PARK_SOFT.save();
    g_calls.saved.clear();

    gf_restoreUserParkingSettings();
    EXPECT_EQ(g_calls.saved,
              (std::vector<std::string>{"parking_percentage", "RT_PARKTRAFFIC_ONLY", "AUTO_PARK", "PARK_SOFT"}));
    EXPECT_EQ(parking_percentage.value(), 30);
    EXPECT_TRUE(RT_PARKTRAFFIC_ONLY.value());
    EXPECT_FALSE(AUTO_PARK.value());
    EXPECT_FALSE(PARK_SOFT.value());
    EXPECT_EQ(gf_controlCheck(RT_PARKTRAFFIC_ONLY.controlId), true);
    EXPECT_EQ(gf_comboSelectedText(parking_percentage.controlId), "30");
    const auto snapshot = settingsSnapshot.load();
    EXPECT_EQ(snapshot->parking_percentage, 30);
    EXPECT_EQ(snapshot->AUTO_PARK, 0);
    EXPECT_EQ(gf_isControlEnabled(AUTO_PARK.controlId), false) << "RT parked only governs the parking options";
    EXPECT_EQ(gf_isControlEnabled(MAX_FIT_FL.controlId), true);

    // Nothing is remembered any more: a second set-back changes nothing.
    parking_percentage.set(45);
    g_calls.saved.clear();
    gf_restoreUserParkingSettings();
    EXPECT_EQ(parking_percentage.value(), 45);
    EXPECT_TRUE(g_calls.saved.empty());
}

TEST_F(AirportFileSettingsTest, TheCacheIsKnownByItsCodePublisherAndVersionDigits) {
    struct Case {
        const char* icao;
        const char* version;  // nullptr: no version parameter
        std::optional<AirportCacheInfo> want;
    };
    const Case cases[] = {
        {"eddf", "1.2.10", AirportCacheInfo{IcaoCode("EDDF"), "Pub", "1210"}},
        {"EDDF", nullptr, AirportCacheInfo{IcaoCode("EDDF"), "Pub", ""}},
        {"EDD", "1", std::nullopt},
        {"ED-F", "1", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.icao);
        ApfFile file;
        file.parameters = {{"icao", c.icao}, {"publisher", "Pub"}};
        if (c.version) file.parameters.emplace_back("version", c.version);
        file.write(parkAirportFile);
        EXPECT_EQ(lf_readAirportCacheInfo(), c.want);
    }
    std::ofstream(parkAirportFile) << "<root>";
    newLogLines();
    EXPECT_EQ(lf_readAirportCacheInfo(), std::nullopt);
    EXPECT_NE(newLogLines().find("airports/park_airport.xml not loaded: "), std::string::npos);
}

TEST_F(AirportFileSettingsTest, TheDestinationReadsGiveTheClosestStandAndTheStandNames) {
    const fs::path handmade = myThirdpartyDir / "EDDF.xml";
    ApfFile file = frankfurtFile({apfStand("A1", "GATE_HEAVY", 50.0100, 8.5000), ApfStand{{{"latitude", "50.0"}, {"longitude", "8.5"}}, {}},
                                  apfStand(" b2 ", "GATE_HEAVY", 50.0020, 8.5000), apfStand("B2", "GATE_HEAVY", 50.0, 8.5),
                                  apfStand("", "GATE_HEAVY", 50.0, 8.5)});
    file.write(handmade);
    const ClosestStandRead closest = gf_readDestApfForClosestStand(IcaoCode("EDDF"), LaLo{50.0, 8.5});
    ASSERT_TRUE(std::holds_alternative<ClosestStand>(closest)) << std::get<std::string>(closest);
    EXPECT_EQ(std::get<ClosestStand>(closest).name, "B2") << "a stand without id counts for nothing";
    const ClosestStandRead near = gf_readDestApfForClosestStand(IcaoCode("EDDF"), LaLo{50.0018, 8.5});
    EXPECT_NEAR(std::get<ClosestStand>(near).distanceNm, 0.0002 * 60.0, 1e-9) << "nautical miles, not squared";
    EXPECT_EQ(std::get<std::vector<std::string>>(gf_readApfForStands(IcaoCode("EDDF"))),
              (std::vector<std::string>{"A1", "B2"}));

    ApfFile otherSim = file;
    otherSim.metaXml = ApfFile::defaultMeta(1);
    ApfFile noSection = file;
    noSection.withParkpositions = false;
    noSection.stands.clear();
    ApfFile noValidStand = frankfurtFile({ApfStand{{{"id", "X"}}, {}}});
    struct Case {
        const char* what;
        const ApfFile* content;
        IcaoCode icao;
        LaLo reference;
        std::string closestError;
        std::string standsError;
    };
    const Case cases[] = {
        {"invalid reference", &file, IcaoCode("EDDF"), LaLo{0.0, 0.0}, "invalid reference position", ""},
        {"no source", &file, IcaoCode("ABCD"), LaLo{50.0, 8.5}, "airport source path not found",
         "airport source path not found"},
        {"other simulator", &otherSim, IcaoCode("EDDF"), LaLo{50.0, 8.5}, "airport file has invalid metadata",
         "airport file has invalid metadata"},
        {"no section", &noSection, IcaoCode("EDDF"), LaLo{50.0, 8.5},
         "airport file airports/my_thirdparty/EDDF.xml has no 'parkpositions' section",
         "airport file has no 'parkpositions' section"},
        {"no valid stand", &noValidStand, IcaoCode("EDDF"), LaLo{50.0, 8.5}, "airport file has no valid stands", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.content->write(handmade);
        const ClosestStandRead read = gf_readDestApfForClosestStand(c.icao, c.reference);
        ASSERT_TRUE(std::holds_alternative<std::string>(read));
        EXPECT_EQ(std::get<std::string>(read), c.closestError);
        if (c.standsError.empty()) continue;
        const StandNamesRead names = gf_readApfForStands(c.icao);
        ASSERT_TRUE(std::holds_alternative<std::string>(names));
        EXPECT_EQ(std::get<std::string>(names), c.standsError);
    }
}

TEST_F(AirportFileSettingsTest, AnArchivedDestinationIsDownloadedForTheReadOnly) {
    LoopbackHttpServer server;
    ScopedEnv env;
    env.set("TAVO_DOWNLOAD_URL", server.url("/downloads"));
    const auto bytes = makeEncryptedBytes(frankfurtFile({apfStand("V1", "RAMP_GA", 48.35, 11.78)}).text());
    server.setReply("GET", "/downloads/MSFS2024/archive/stock/EDDM.enc", HttpReply::ok(std::string(bytes.begin(), bytes.end())));
    EXPECT_EQ(std::get<std::vector<std::string>>(gf_readApfForStands(IcaoCode("EDDM"))), std::vector<std::string>{"V1"});
    EXPECT_TRUE(fs::is_empty(airportsDir)) << "the download is gone, the cache untouched";
}

TEST_F(AirportFileSettingsTest, AStandCloserThanTheNearestCentreDecidesTheNearestAirport) {
    gf_unloadAirportsForTests();
    // EDDX's centre is 3 NM north of the user, EDDF's 1 NM south.
    writeAirportsEnc(dir(), {airportEntry("EDDF", 50.0 - 1.0 / 60, 8.5, 364), airportEntry("EDDX", 50.05, 8.5, 300)});
    ASSERT_TRUE(std::holds_alternative<std::size_t>(gf_loadAirports()));
    frankfurtFile({apfStand("F1", "GATE_HEAVY", 50.0 - 0.5 / 60, 8.5)}).write(myThirdpartyDir / "EDDF.xml");
    frankfurtFile({apfStand("X1", "GATE_HEAVY", 50.0 + 0.1 / 60, 8.5)}).write(myThirdpartyDir / "EDDX.xml");
    const auto found = gf_findNearestAirport(LaLo{50.0, 8.5});
    ASSERT_TRUE(found);
    EXPECT_EQ(found->icao, IcaoCode("EDDX"));
}

}  // namespace
