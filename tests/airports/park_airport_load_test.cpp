// Loading the park airport's file: handmade and pointer files read in place,
// archive files downloaded once and then read from the cache, the failures a
// load reports (the missing elevation among them, which no longer stops the
// program), the exclusions of overlapping stands, the learned file over the
// stands, and the user aircraft's stand recorded.

#include <filesystem>
#include <fstream>
#include <string>
#include <variant>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "airports/airport_file_settings.h"
#include "airports/park_airport_load.h"
#include "airports/stand_options.h"
#include "platform/window/window.h"
#include "support/enc_writer.h"
#include "support/http_server.h"
#include "support/scoped_env.h"
#include "park_airport_fixture.h"

namespace fs = std::filesystem;
using namespace tavo::test;

namespace {

// The files the loads left in airports/ (the folders aside).
std::vector<std::string> airportsFolderFiles() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(airportsDir))
        if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class ParkAirportLoadTest : public ParkAirportTest {
protected:
    void SetUp() override {
        ParkAirportTest::SetUp();
        gf_setCurrentAirport(*gf_findAirport(IcaoCode("EDDF")));
        env.set("TAVO_DOWNLOAD_URL", server.url("/downloads"));
    }
    ParkedFileResult load() {
        newLogLines();
        return lf_readParkedFile();
    }

    LoopbackHttpServer server;
    ScopedEnv env;
};

TEST_F(ParkAirportLoadTest, HandmadeAndPointerFilesAreReadInPlaceAndCopiedToTheCache) {
    struct Case {
        const char* what;
        fs::path pointer;  // empty: no pointer file
        fs::path file;
    };
    const Case cases[] = {{"handmade", {}, myThirdpartyDir / "EDDF.xml"},
                          {"pointer", myThirdpartyDir / "EDDF.txt", "airports/mine/frankfurt.xml"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_calls.runwayLoads.clear();
        frankfurtFile(threeStands(), {{"Qf_real", "40"}, {"version", "1.2"}}).write(c.file);
        if (!c.pointer.empty()) std::ofstream(c.pointer) << c.file.string() << "\n";
        const ParkedFileResult result = load();
        ASSERT_TRUE(result.success) << result.error;
        ASSERT_EQ(g_standTable.size(), 3u);
        EXPECT_EQ(g_standTable[2].id, 3u);
        EXPECT_EQ(g_standNameIndex.at("A2"), 2u);
        EXPECT_EQ(readFile(parkAirportFile), readFile(c.file));
        EXPECT_NE(newLogLines().find(fmt::format("Airport file read from '{}'", c.file.string())), std::string::npos);
        const LoadedAirport loaded = gf_loadedAirport();
        EXPECT_TRUE(loaded.fileLoaded);
        EXPECT_EQ(loaded.publisher, "stock");
        EXPECT_EQ(loaded.qfReal, 40);
        EXPECT_EQ(loaded.standCount, 3u);
        EXPECT_EQ(gf_gui().standCount, 3u);
        EXPECT_EQ(gf_gui().parkedTrafficText, "Frankfurt");
        EXPECT_EQ(gf_gui().parkAirportText, "stock (1.2)");
        EXPECT_EQ(gf_isControlEnabled(FlushButton.controlId), true);
        EXPECT_EQ(g_calls.runwayLoads, std::vector<std::string>{"EDDF"});
        EXPECT_EQ(gf_currentAirport()->altitudeFt, 364);
        fs::remove(c.file);
    }
    // The learned path belongs to the source file and its publisher.
    frankfurtFile(threeStands()).write(myThirdpartyDir / "EDDF.xml");
    fs::remove(myThirdpartyDir / "EDDF.txt");
    ASSERT_TRUE(load().success);
    EXPECT_EQ(gf_loadedAirport().learnedPath, learnedThirdpartyDir / "stock" / "EDDF.xml");
}

TEST_F(ParkAirportLoadTest, AnArchiveFileIsDownloadedOnceThenReadFromTheCache) {
    const std::string path = "/downloads/MSFS2024/archive/stock/EDDF.enc";
    const auto bytes = makeEncryptedBytes(frankfurtFile(threeStands()).text());
    server.setReply("GET", path, HttpReply::ok(std::string(bytes.begin(), bytes.end())));
    ASSERT_TRUE(load().success);
    EXPECT_EQ(newLogLines().find("cached:"), std::string::npos);
    EXPECT_EQ(airportsFolderFiles(), std::vector<std::string>{"park_airport.xml"}) << "the download is gone";
    EXPECT_EQ(gf_loadedAirport().learnedPath, learnedStockDir / "EDDF.xml");

    ASSERT_TRUE(load().success);
    const std::string log = newLogLines();
    EXPECT_NE(log.find("cached: 'airports/park_airport.xml' is taken instead of 'archive/stock/EDDF.enc'"),
              std::string::npos);
    EXPECT_NE(log.find("Airport file read from 'airports/park_airport.xml'"), std::string::npos);
    EXPECT_EQ(server.requestCount(path), 1u);
    EXPECT_EQ(g_standTable.size(), 3u);

    // A pointer file written on Windows names the archive file with "\".
    fs::remove(parkAirportFile);
    fs::create_directories(myThirdpartyDir);
    std::ofstream(myThirdpartyDir / "EDDF.txt") << "archive\\stock\\EDDF.enc\n";
    ASSERT_TRUE(load().success);
    EXPECT_EQ(server.requestCount(path), 2u);
}

TEST_F(ParkAirportLoadTest, AFailedLoadGivesItsErrorTextAndTheProgramRunsOn) {
    const fs::path handmade = myThirdpartyDir / "EDDF.xml";
    ApfFile withoutMeta = frankfurtFile(threeStands());
    withoutMeta.metaXml = std::nullopt;
    ApfFile withoutAltitude = frankfurtFile(threeStands());
    withoutAltitude.parameters.erase(withoutAltitude.parameters.begin() + 3);
    struct Case {
        const char* what;
        std::optional<ApfFile> file;  // written as the handmade file; none: the archive file
        std::uint32_t simulator;
        bool maintenance;
        std::string error;
        bool shown;  // also a status line (the planner shows every error)
    };
    const std::string url = server.url("/downloads/MSFS/archive/stock/EDDF.enc");
    const Case cases[] = {
        {"not on the server", std::nullopt, 1, false, fmt::format("failed to download: '{}'", url), true},
        {"maintenance", std::nullopt, 2, true, "Web server temporarily unavailable due to maintenance.", false},
        {"no meta block", withoutMeta, 2, false, "airports/my_thirdparty/EDDF.xml: refused to load", false},
        {"no altitude", withoutAltitude, 2, false, "65: Parameter altitude not found", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(handmade);
        if (c.file) c.file->write(handmade);
        useRTDirect(true, c.simulator);
        g_webServerMaintenance.store(c.maintenance);
        gf_gui().reset();
        ParkedFileResult result;
        ASSERT_NO_THROW(result = load());
        EXPECT_FALSE(result.success);
        EXPECT_EQ(result.error, c.error);
        EXPECT_EQ(airportsFolderFiles(), std::vector<std::string>{}) << "no download or cache left behind";
        EXPECT_EQ(gf_gui().statusLine, c.shown ? c.error : "");
    }
    gf_setCurrentAirport(AirportListEntry{IcaoCode("ABCD"), IataCode("ABC"), LaLo{1.0, 1.0}, 0});
    EXPECT_EQ(load().error, "lf_readParkedFile ABCD not found");
}

TEST_F(ParkAirportLoadTest, WithoutStandsTheLoadSucceedsAndFlushStaysDisabled) {
    gf_enableControl(FlushButton.controlId, true);
    frankfurtFile({}).write(myThirdpartyDir / "EDDF.xml");
    ASSERT_TRUE(load().success);
    EXPECT_NE(newLogLines().find("no stands found in the airport file"), std::string::npos);
    EXPECT_EQ(gf_isControlEnabled(FlushButton.controlId), false);
    EXPECT_TRUE(g_standTable.empty());
}

TEST_F(ParkAirportLoadTest, StandsCloserThanTheirRadiiAllowExcludeEachOther) {
    // Radii of 0.02 NM each: 1.1 x 0.036 = 0.0396 is below 0.04, 1.1 x 0.037 is not.
    for (const double apartNm : {0.036, 0.037}) {
        std::vector<Stand> stands;
        for (int i = 0; i < 3; ++i)
            stands.emplace_back(fmt::format("S{}", i), std::vector<StandOption>{}, 50.0 + i * apartNm / 60.0, 8.0,
                                0.0, 0.02 * 1852.0, ParkingType::GATE_SMALL, false, false, false);
        stands[1].excludes = {9};  // anything there before is replaced
        lf_computeStandExclusions(stands);
        const bool overlap = apartNm < 0.0365;
        EXPECT_EQ(stands[0].excludes, overlap ? std::vector<std::uint32_t>{2} : std::vector<std::uint32_t>{}) << apartNm;
        EXPECT_EQ(stands[1].excludes, overlap ? (std::vector<std::uint32_t>{1, 3}) : std::vector<std::uint32_t>{});
        EXPECT_EQ(stands[2].id, 3u);
    }
}

TEST_F(ParkAirportLoadTest, ALearnedFileIsReadOverTheStandsAndTheRatingsRecomputed) {
    frankfurtFile(threeStands(), {{"Qf_real", "77"}, {"Qf_soft", "77"}}).write(myThirdpartyDir / "EDDF.xml");
    ApfFile learned;
    learned.parameters = {{"airport_name", "Frankfurt"}, {"AUTO_PARK", "true"}};
    learned.stands = {ApfStand{{{"id", "A2"}}, {apfOption("D-AIBA", "1", "10:14", std::string("DLH1"))}}};
    learned.write(learnedThirdpartyDir / "stock" / "EDDF.xml");
    ASSERT_TRUE(load().success);
    ASSERT_EQ(g_standTable.size(), 3u);
    EXPECT_EQ(g_standTable[1].options.size(), 1u);
    const std::uint64_t ratings = gf_rateAirportStands(g_standTable);
    EXPECT_EQ(gf_loadedAirport().qfReal, static_cast<std::int32_t>(ratings & 0xFFFFFFFFu));
    EXPECT_NE(gf_loadedAirport().qfReal, 77);

    // A broken learned file is logged; the stands stay as the source file has them.
    std::ofstream(learnedThirdpartyDir / "stock" / "EDDF.xml") << "<root><parameters>";
    ASSERT_TRUE(load().success);
    EXPECT_TRUE(g_standTable[1].options.empty());
    EXPECT_EQ(gf_loadedAirport().qfReal, 77);
}

TEST_F(ParkAirportLoadTest, TheUserAtAStandBecomesTheParkAirportsUserStand) {
    frankfurtFile(threeStands()).write(myThirdpartyDir / "EDDF.xml");
    const LaLo a2{50.0300 + 0.1 / 60, 8.5700};
    struct Case {
        const char* what;
        const char* front;  // the park airport in front before the load; empty: none
        LaLo user;
        const char* logged;
        const char* userStand;  // EDDF's afterwards
    };
    const Case cases[] = {
        {"EDDF in front", "EDDF", a2, "\nUser aircraft at stand: A2\n", "A2"},
        {"another in front", "EDDM", a2, "\nUser aircraft at stand: A2\n", "A2"},
        {"no park airport, not at a stand", "", LaLo{50.1, 8.6}, "\nUser aircraft is not at a stand\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gf_clearParkAirports();
        if (*c.front) gf_makeCurrentParkAirportWithStand(IcaoCode(c.front), LaLo{50.0, 8.5}, "Z9");
        placeUserAircraft(c.user, 364, true);
        ASSERT_TRUE(load().success);
        EXPECT_NE(newLogLines().find(c.logged), std::string::npos);
        const auto front = lf_getCurrentParkAirport();
        ASSERT_TRUE(front);
        EXPECT_EQ(front->icao, IcaoCode("EDDF"));
        EXPECT_EQ(front->userStand, c.userStand);
    }
}

}  // namespace
