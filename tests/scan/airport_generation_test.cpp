// What the scan writes for one airport: a link to the archive (simaddon, and
// thirdparty by version), or a file generated from the simulator's facility
// data or from the scenery's BGL file, with its log lines, its counts in the
// window, and the file read back as the program reads it.

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "scan/airport_generation.h"
#include "scan/bgl_reader.h"
#include "scan_world.h"
#include "support/bgl_builder.h"
#include "support/manifest_writer.h"

namespace fs = std::filesystem;
using namespace tavo::test;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class AirportGeneration : public ScanWorldTest {
protected:
    void SetUp() override {
        ScanWorldTest::SetUp();
        ArchivesBuilder archives;
        archives.publishers = {"Acme Sky Scenery, acme-sky"};
        archives.rejected = {"FSIM, Default Publisher"};
        archives.simaddons20 = {"EDDF"};
        ArchivesBuilder::Thirdparty acme;
        acme.pub = "Acme Sky Scenery";
        acme.aps = "KXYZ101,KXYZ110,KXYZ";
        acme.versions = {{"KXYZ101", "1.0.1"}, {"KXYZ110", "1.1.0"}};
        archives.thirdparties20 = {acme};
        loadWorld({airportEntry("EDDF", 50.03, 8.56, 364), airportEntry("LFPG", 49.0, 2.55, 392),
                   airportEntry("EGKK", 51.15, -0.18, 202), airportEntry("KXYZ", 40.0, -80.0, 900),
                   airportEntry("LOWI", 47.26, 11.34, 1906), airportEntry("LIRF", 41.8, 12.24, 13)},
                  "EDDF,LFPG,EGKK,KXYZ,LOWI", archives);
        fs::create_directories(airportsDir);
    }

    // A BGL of one airport under dir()/relative, with `parkings` gates (all
    // named alike when sameName) and `helipads` helipads; with a second
    // airport of the same stands when `secondIcao` is given.
    fs::path bgl(const std::string& relative, const std::string& icao, int parkings, int helipads,
                 bool sameName = false, const std::string& secondIcao = "") {
        BglAirport record{icao, -1, 100000, {}, -1};
        for (int h = 0; h < helipads; ++h) record.subrecords.push_back(bglHelipad({50.0 + 0.01 * h, 8.5, 20.0f, 32, -1}));
        std::vector<BglParking> gates;
        for (int p = 0; p < parkings; ++p) {
            BglParking gate;
            gate.number = sameName ? 1 : static_cast<std::uint32_t>(parkings - p);  // unsorted on purpose
            gate.lat = 50.0 + 0.001 * p;
            gate.lon = 8.6;
            gates.push_back(gate);
        }
        if (parkings > 0) record.subrecords.push_back(bglParkings(gates));
        const fs::path path = dir() / relative;
        fs::create_directories(path.parent_path());
        std::vector<BglAirport> records{record};
        if (!secondIcao.empty()) {
            records.push_back(record);
            records.back().icao = secondIcao;
        }
        writeBglFile(path, bglFileOf(records).bytes);
        return path;
    }

    // The whole scan of one file: the facility path, then the BGL reader.
    void scanFile(const fs::path& path) {
        if (!lf_readAirportFacilities(path)) lf_processBGLfile(path);
    }

    static std::vector<std::string> namesOf(const std::vector<Stand>& stands) {
        std::vector<std::string> names;
        for (const Stand& s : stands) names.push_back(s.name);
        return names;
    }

    static SimAirport modelAirport(const std::string& icao, double lat, double lon) {
        SimAirport a;
        a.icao = icao;
        a.latitudeDeg = lat;
        a.longitudeDeg = lon;
        return a;
    }
    void startModel(const SimAirport& airport) {
        gf_simModelAddAirport(airport);
        gf_simModelStart(SimVersion::MSFS2020);
    }
    static SimTaxiParking gate(std::uint32_t number, float radius = 20.0f, float biasX = 0.0f) {
        SimTaxiParking p;
        p.type = 9;
        p.name = 10;
        p.number = number;
        p.radiusM = radius;
        p.biasXM = biasX;
        return p;
    }
};

// ---- generated from a BGL file ----

TEST_F(AirportGeneration, BglAirportsGiveTheirLinesAndFilesReadBackSorted) {
    struct Row {
        std::string icao;
        int parkings, helipads;
        std::string line;  // empty: nothing written
        std::vector<std::string> names;
    };
    const std::vector<Row> rows = {
        {"LOWI", 1, 0, "Generated LOWI.xml: 1 position", {"GATE 1"}},
        {"EGKK", 2, 1, "Generated EGKK.xml: 3 positions of which 1 helipad", {"GATE 1", "GATE 2", "helipad1"}},
        {"KXYZ", 0, 2, "Generated KXYZ.xml: 2 positions of which 2 helipads", {"helipad1", "helipad2"}},
        {"LFPG", 0, 0, "", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.icao);
        g_airportScanLog.clear();
        gf_gui().thirdpartyCount = 99;
        scanFile(bgl("Community/otherdev-" + row.icao + "/scenery/airport.bgl", row.icao, row.parkings, row.helipads));
        const fs::path file = myThirdpartyDir / (row.icao + ".xml");
        if (row.line.empty()) {
            EXPECT_FALSE(fs::exists(file));
            for (const auto& line : g_airportScanLog) EXPECT_THAT(line, Not(HasSubstr("Generated")));
            continue;
        }
        EXPECT_TRUE(scanLogHas(row.line));
        const ReadBackFile read = readAirportFile(file);
        ASSERT_TRUE(read.loaded);
        EXPECT_THAT(namesOf(read.stands), ElementsAreArray(row.names));
        EXPECT_EQ(read.parameter("num_parkpos"), std::to_string(row.names.size()));
        EXPECT_EQ(read.parameter("publisher"), "");
        EXPECT_THAT(read.parameter("BGLpath"), HasSubstr("otherdev-" + row.icao));
        EXPECT_EQ(gf_gui().thirdpartyCount, gf_countAirportFiles(myThirdpartyDir));
    }
}

TEST_F(AirportGeneration, TwelveParkingsOfOneNameKeepElevenAndWarnOnce) {
    scanFile(bgl("Community/otherdev-egkk/EGKK.bgl", "EGKK", 12, 0, true));
    const ReadBackFile read = readAirportFile(myThirdpartyDir / "EGKK.xml");
    ASSERT_TRUE(read.loaded);
    EXPECT_THAT(namesOf(read.stands), ElementsAre("GATE 1", "GATE 1a", "GATE 1b", "GATE 1c", "GATE 1d", "GATE 1e",
                                                  "GATE 1f", "GATE 1g", "GATE 1h", "GATE 1i", "GATE 1j"));
    EXPECT_TRUE(scanLogHas("===> Warning: more than 10 duplicate IDs GATE 1"));
    EXPECT_TRUE(scanLogHas("Generated EGKK.xml: 11 positions"));
}

TEST_F(AirportGeneration, OfficialAirportsAreLinkedWhenTheArchiveHasThemAndGeneratedOtherwise) {
    scanFile(bgl("Official/asobo-airport-eddf/scenery/EDDF.bgl", "EDDF", 3, 0));
    EXPECT_EQ(readFile(mySimaddonDir / "EDDF.txt"), "archive/simaddon/EDDF.enc\n");
    EXPECT_FALSE(fs::exists(mySimaddonDir / "EDDF.xml"));
    EXPECT_TRUE(scanLogHas("simaddon airport EDDF linked to archive/simaddon/EDDF.enc\n"));
    EXPECT_EQ(gf_gui().simaddonCount, 1u);

    scanFile(bgl("Official/microsoft-airport-lfpg/scenery/LFPG.bgl", "LFPG", 2, 0));
    EXPECT_TRUE(scanLogHas("LFPG does not exist as simaddon"));
    const ReadBackFile read = readAirportFile(mySimaddonDir / "LFPG.xml");
    ASSERT_TRUE(read.loaded);
    EXPECT_EQ(read.parameter("publisher"), "simaddon");
    EXPECT_EQ(read.stands.size(), 2u);
    EXPECT_FALSE(fs::exists(myThirdpartyDir));
}

TEST_F(AirportGeneration, ThirdpartyArchiveAnswersLinkOrGenerate) {
    struct Row {
        std::string version;
        std::string link;  // empty: not linked
        std::vector<std::string> lines;
        std::string statusLine;  // logged as a highlighted status line
    };
    const std::vector<Row> rows = {
        {"1.1.0", "archive/thirdparty/Acme%20Sky%20Scenery/KXYZ110.enc", {}, ""},
        {"", "archive/thirdparty/Acme%20Sky%20Scenery/KXYZ.enc", {}, ""},
        {"1.0.1",
         "archive/thirdparty/Acme%20Sky%20Scenery/KXYZ101.enc",
         {},
         "Warning: Acme Sky Scenery KXYZ version 1.0.1 is used; higher version 1.1.0 is present in the archive"},
        {"1.0.5",
         "",
         {"thirdparty Acme Sky Scenery KXYZ version 1.0.5 does not exist"},
         "Warning: Acme Sky Scenery KXYZ version 1.0.5 is not in the archive; higher version 1.1.0 is present. The "
         "airport is sent to TBLO"},
        {"1.2", "", {"thirdparty Acme Sky Scenery KXYZ version 1.2 does not exist"}, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.version);
        fs::remove_all(myThirdpartyDir);
        g_airportScanLog.clear();
        newLogLines();
        Airport airport;
        airport.icao = IcaoCode("KXYZ");
        airport.publisher = "Acme Sky Scenery";
        if (!row.version.empty()) airport.manifest = ManifestInfo{"KXYZ", row.version, "Acme", "Acme"};
        EXPECT_EQ(lf_linkToArchive(airport), !row.link.empty());
        if (row.link.empty()) {
            EXPECT_FALSE(fs::exists(myThirdpartyDir / "KXYZ.txt"));
        } else {
            EXPECT_EQ(readFile(myThirdpartyDir / "KXYZ.txt"), row.link + "\n");
            EXPECT_TRUE(scanLogHas(fmt::format("thirdparty airport KXYZ linked to {}\n", row.link)));
        }
        for (const std::string& line : row.lines) EXPECT_TRUE(scanLogHas(line)) << line;
        if (!row.statusLine.empty()) {
            EXPECT_TRUE(scanLogHas(row.statusLine));
            EXPECT_THAT(newLogLines(), HasSubstr(row.statusLine + "\n"));
        }
    }
    Airport unknown;
    unknown.icao = IcaoCode("KXYZ");
    unknown.publisher = "Nobody Scenery";
    EXPECT_FALSE(lf_linkToArchive(unknown));
    EXPECT_TRUE(scanLogHas("thirdparty Nobody Scenery KXYZ does not exist"));
    EXPECT_EQ(lf_archivePublisherPath("A  B C"), "A%20%20B%20C");
}

// An airport whose manifest names no publisher it may come from is dropped,
// and the scan log says why, once, though the facility path and then the
// BGL reader look at it.
TEST_F(AirportGeneration, AManifestPublisherNotAcceptedDropsTheAirportWithItsReason) {
    struct Row {
        std::string package, manufacturer, creator;
        std::string reason;  // empty: accepted, the file is generated
    };
    // Values shorter than 3 characters or rejected are emptied when they
    // are asked for the publisher; a package the publisher lists name keeps
    // its manifest as written.
    const std::vector<Row> rows = {
        {"otherdev", "", "Abc", "manufacturer '' is empty, creator 'Abc' has fewer than 4 characters"},
        {"otherdev", " Ab ", "Ab", "manufacturer '' is empty, creator '' is empty"},
        {"otherdev", "Default Publisher", "xyz", "manufacturer '' is empty, creator 'xyz' has fewer than 4 characters"},
        {"acme-sky", "Default Publisher", " Xyz ",
         "manufacturer 'Default Publisher' is rejected by archives data, creator 'Xyz' has fewer than 4 characters"},
        {"otherdev", "", "Abcd", ""},
        {"otherdev", "FSIM", "OtherDev", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.manufacturer + "/" + row.creator);
        fs::remove_all(dir() / "Community");
        fs::remove_all(airportsDir);
        g_airportScanLog.clear();
        const std::string package = "Community/" + row.package + "-egkk";
        ManifestWriter().string("manufacturer", row.manufacturer).string("creator", row.creator).writeInto(
            dir() / package);
        scanFile(bgl(package + "/scenery/EGKK.bgl", "EGKK", 2, 0));
        const ReadBackFile read = readAirportFile(myThirdpartyDir / "EGKK.xml");
        const std::string line = "===> EGKK not generated: the manifest names no accepted publisher (" + row.reason + ")";
        const auto lines = std::count(g_airportScanLog.begin(), g_airportScanLog.end(), line);
        if (row.reason.empty()) {
            EXPECT_EQ(read.parameter("creator"), row.creator);
            for (const std::string& l : g_airportScanLog) EXPECT_THAT(l, Not(HasSubstr("not generated")));
        } else {
            EXPECT_FALSE(read.loaded);
            EXPECT_EQ(lines, 1);
        }
    }
    EXPECT_TRUE(scanLogHas("manifest publisher value 'FSIM' rejected by archives data"));
}

// ---- the facility path ----

TEST_F(AirportGeneration, TheSimulatorsFacilityDataGivesTheFile) {
    SimAirport egkk = modelAirport("EGKK", 51.15, -0.18);
    egkk.name = "Gatwick";
    egkk.altitudeM = 61.6;
    egkk.parkings = {gate(2), gate(1, 20.0f, 40.0f)};
    egkk.helipads = {SimHelipad{51.152, -0.18, 61.6, 0, 20, 20, 0, 1}};
    startModel(egkk);
    const fs::path path = bgl("Community/otherdev-egkk/scenery/EGKK.bgl", "EGKK", 5, 0);
    EXPECT_TRUE(lf_readAirportFacilities(path));
    EXPECT_TRUE(scanLogHas("Generated EGKK.xml: 3 positions of which 1 helipad"));
    const ReadBackFile read = readAirportFile(myThirdpartyDir / "EGKK.xml");
    ASSERT_TRUE(read.loaded);
    EXPECT_THAT(namesOf(read.stands), ElementsAre("GATE 1", "GATE 2", "HELIPAD 1"));
    EXPECT_EQ(read.parameter("airport_name"), "Gatwick");
    EXPECT_EQ(read.parameter("altitude"), "202");
    EXPECT_EQ(gf_gui().thirdpartyCount, 1u);

    // The facility path writes whatever the simulator gives, no stand at all too.
    gf_simModelAddAirport(modelAirport("LOWI", 47.26, 11.34));
    EXPECT_TRUE(lf_readAirportFacilities(bgl("Community/otherdev-lowi/LOWI.bgl", "LOWI", 2, 0)));
    EXPECT_TRUE(scanLogHas("Generated LOWI.xml: 0 positions"));
    EXPECT_TRUE(readAirportFile(myThirdpartyDir / "LOWI.xml").loaded);
}

TEST_F(AirportGeneration, WithoutTheSimulatorTheBglReaderTakesOver) {
    const fs::path path = bgl("Community/otherdev-egkk/scenery/EGKK.bgl", "EGKK", 2, 0);
    newLogLines();
    EXPECT_FALSE(lf_readAirportFacilities(path));
    const std::string line = "Reading Facilites data for EGKK via SimConnect failed, is MSFS connected?";
    EXPECT_THAT(newLogLines(), HasSubstr(line + "\n"));
    EXPECT_THAT(readFile(gf_airportsScanLogPath()), HasSubstr(line + "\n")) << "the scan log so far is written";
    EXPECT_FALSE(fs::exists(myThirdpartyDir / "EGKK.xml"));
    lf_processBGLfile(path);
    EXPECT_EQ(readAirportFile(myThirdpartyDir / "EGKK.xml").stands.size(), 2u);

    // A streamed package has no BGL file to fall back on.
    Airport streamed;
    streamed.icao = IcaoCode("LOWI");
    streamed.path = dir() / "StreamedPackages" / "fs24-lowi";
    lf_readPackageAirportFacilities(streamed);
    EXPECT_TRUE(scanLogHas("Reading Facilities data for LOWI via SimConnect failed, is MSFS connected?"));
    EXPECT_FALSE(fs::exists(myThirdpartyDir / "LOWI.xml"));
}

// Without the simulator the facility path checks the archive, fails to read
// the stands, and the BGL reader takes the airport over: the archive's
// answer, a warning in the window among them, is given once, and the file
// still goes to its publisher's folder.
TEST_F(AirportGeneration, WithoutTheSimulatorEachAirportIsCheckedAgainstTheArchiveOnce) {
    struct Row {
        std::string package, icao, version;
        std::string line;
        bool statusLine;  // also a highlighted status line
        fs::path folder;  // where the generated file goes
    };
    const std::string notInArchive = "Warning: Acme Sky Scenery KXYZ version 1.0.5 is not in the archive; higher "
                                     "version 1.1.0 is present. The airport is sent to TBLO";
    const std::vector<Row> rows = {
        {"Community/acme-sky-kxyz", "KXYZ", "1.0.5", notInArchive, true, myThirdpartyDir},
        {"Community/acme-sky-kxyz", "KXYZ", "1.0.5", "thirdparty Acme Sky Scenery KXYZ version 1.0.5 does not exist",
         false, myThirdpartyDir},
        {"Community/acme-sky-kxyz", "KXYZ", "1.2", "thirdparty Acme Sky Scenery KXYZ version 1.2 does not exist", false,
         myThirdpartyDir},
        {"Official/microsoft-airport-lfpg", "LFPG", "", "LFPG does not exist as simaddon", false, mySimaddonDir},
        {"Official/microsoft-airport-lfpg", "LFPG", "", "publisher: simaddon", false, mySimaddonDir},
    };
    const auto count = [](const std::vector<std::string>& lines, const std::string& line) {
        return std::count(lines.begin(), lines.end(), line);
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        fs::remove_all(dir() / "Community");
        fs::remove_all(airportsDir);
        g_airportScanLog.clear();
        if (!row.version.empty())
            ManifestWriter().string("package_version", row.version).string("creator", "Acme Sky").writeInto(
                dir() / row.package);
        newLogLines();
        scanFile(bgl(row.package + "/scenery/airport.bgl", row.icao, 2, 0));
        EXPECT_EQ(count(g_airportScanLog, row.line), 1);
        std::vector<std::string> logLines;
        std::istringstream log(newLogLines());
        for (std::string line; std::getline(log, line);) logLines.push_back(line);
        EXPECT_EQ(count(logLines, row.line), row.statusLine ? 1 : 0);
        EXPECT_EQ(readAirportFile(row.folder / (row.icao + ".xml")).stands.size(), 2u);
    }

    // A second airport of the file, one the facility path did not take, is
    // checked on its own: the archive has it.
    fs::remove_all(airportsDir);
    ManifestWriter().string("package_version", "1.1.0").string("creator", "Acme Sky").writeInto(
        dir() / "Community" / "acme-sky-egkk");
    scanFile(bgl("Community/acme-sky-egkk/scenery/airport.bgl", "EGKK", 2, 0, false, "KXYZ"));
    EXPECT_EQ(readAirportFile(myThirdpartyDir / "EGKK.xml").stands.size(), 2u);
    EXPECT_EQ(readFile(myThirdpartyDir / "KXYZ.txt"), "archive/thirdparty/Acme%20Sky%20Scenery/KXYZ110.enc\n");
}

// Facility data may name two parkings alike and give one no size; either
// would make the airport file refuse the whole airport.
TEST_F(AirportGeneration, FacilityParkingsOfOneNameOrWithoutSizeStillGiveTheFile) {
    SimAirport lfpg = modelAirport("LFPG", 49.0, 2.55);
    lfpg.parkings = {gate(1), gate(1, 20.0f, 50.0f), gate(2, 0.0f, 100.0f)};
    lfpg.helipads = {SimHelipad{49.002, 2.55, 0, 0, 0, 0, 0, 1}, SimHelipad{49.003, 2.55, 0, 0, 20, 20, 0, 1}};
    startModel(lfpg);
    Airport streamed;
    streamed.icao = IcaoCode("LFPG");
    streamed.publisher = "simaddon";
    streamed.path = dir() / "StreamedPackages" / "fs24-microsoft-airport-lfpg";
    lf_readPackageAirportFacilities(streamed);
    const ReadBackFile read = readAirportFile(mySimaddonDir / "LFPG.xml");
    ASSERT_TRUE(read.loaded);
    EXPECT_THAT(namesOf(read.stands), ElementsAre("GATE 1", "GATE 1a", "HELIPAD 2"));
    EXPECT_TRUE(scanLogHas("Generated LFPG.xml: 3 positions of which 1 helipad"));
    EXPECT_EQ(gf_gui().thirdpartyCount, 0u);
}

}  // namespace
