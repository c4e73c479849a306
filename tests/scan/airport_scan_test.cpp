// The airport scan as the start calls it: whole scans of generated MSFS 2020
// and 2024 trees, with and without the simulator's facility data, giving the
// output folders, AirportsScanLog.txt and tblo.zip; every way the scan ends
// early keeping the previous data; the walk's link, skip and stop rules.

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/os/sorted_walk.h"
#include "scan/airport_generation.h"
#include "scan/airport_scan.h"
#include "scan_world.h"
#include "support/bgl_builder.h"
#include "support/scenery_tree.h"
#include "support/tree_snapshot.h"

namespace fs = std::filesystem;
using namespace tavo::test;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class AirportScan : public ScanWorldTest {
protected:
    // A tree of the simulator, its data files in the working folder, the
    // simulator chosen and its install path pointing at the tree.
    const SceneryTree& makeTree(bool msfs2024, std::size_t bulk = 3) {
        tree = makeSceneryTree(dir() / "scenery", {msfs2024, bulk, 4});
        tree.writeDataFiles(dir());
        // The start has read the airports list before it scans.
        gf_unloadAirportsForTests();
        EXPECT_TRUE(std::holds_alternative<std::size_t>(gf_loadAirports()));
        chooseSimulator(msfs2024);
        (msfs2024 ? MSFS_2024_INSTALL_PATH : MSFS_INSTALL_PATH).setValue(tree.installPath);
        return tree;
    }

    // The folders as a user has them from an older scan.
    static void makeOldData() {
        fs::create_directories(mySimaddonDir);
        fs::create_directories(myThirdpartyDir);
        writeFile(mySimaddonDir / "EGLL.xml", "old EGLL");
        writeFile(myThirdpartyDir / "KLAX.txt", "archive/thirdparty/Old/KLAX.enc\n");
        writeFile(airportsDir / "my_park_airports.txt", "EGLL\n");
    }
    struct Folders {
        TreeSnapshot simaddon, thirdparty;
        friend bool operator==(const Folders&, const Folders&) = default;
    };
    static Folders folders() { return {snapshotTree(mySimaddonDir), snapshotTree(myThirdpartyDir)}; }

    // The output folders as the expectations of the tree describe files.
    static std::map<std::string, ExpectedAirportFile> outputFiles() {
        std::map<std::string, ExpectedAirportFile> files;
        for (const fs::path& folder : {mySimaddonDir, myThirdpartyDir}) {
            std::vector<OsDirEntry> entries;
            gf_osListFolder(folder, entries);
            for (const OsDirEntry& e : entries) {
                ExpectedAirportFile file;
                if (e.path.extension() == ".txt") {
                    file.linkText = readFile(e.path);
                } else {
                    const ReadBackFile read = readAirportFile(e.path);
                    file.stands = read.stands.size();
                    for (const Stand& s : read.stands) file.helipads += s.heli ? 1 : 0;
                }
                files[folder.filename().string() + "/" + e.name] = file;
            }
        }
        return files;
    }
    static bool noTransactionLeft() {
        return !fs::exists(scanMarkerFile) && !fs::exists(lf_backupPath(mySimaddonDir)) &&
               !fs::exists(lf_backupPath(myThirdpartyDir));
    }
    std::string scanLogFile() const { return readFile(gf_airportsScanLogPath()); }

    SceneryTree tree;
};

std::string describe(const std::map<std::string, ExpectedAirportFile>& files) {
    std::string text;
    for (const auto& [name, f] : files) text += fmt::format("{} [{}{} {}] ", name, f.linkText, f.stands, f.helipads);
    return text;
}

// ---- whole scans ----

TEST_F(AirportScan, ScansOfGeneratedTreesGiveTheirFoldersLogAndArchive) {
    for (const bool msfs2024 : {false, true}) {
        for (const bool facilities : {false, true}) {
            SCOPED_TRACE(fmt::format("MSFS {} {}", msfs2024 ? 2024 : 2020, facilities ? "with facility data" : ""));
            clearScanState();
            fs::remove_all(airportsDir);
            fs::remove_all(tbloDir);
            fs::remove_all(dir() / "scenery");
            makeOldData();
            makeTree(msfs2024);
            gf_simModelReset();
            if (facilities) gf_simModelLoadScenario(tree.scenario.string());
            newLogLines();

            gf_scanAirports();

            const auto expected = tree.expectedFiles(facilities);
            const auto found = outputFiles();
            EXPECT_EQ(found, expected) << "found " << describe(found) << "\nexpected " << describe(expected);
            EXPECT_TRUE(noTransactionLeft());
            EXPECT_EQ(gf_gui().simaddonCount, gf_countAirportFiles(mySimaddonDir));
            EXPECT_EQ(gf_gui().thirdpartyCount, gf_countAirportFiles(myThirdpartyDir));

            std::set<std::string> zipped;
            for (const auto& [name, bytes] : zipContents(tbloDir / "tblo.zip")) zipped.insert(name);
            EXPECT_EQ(zipped, tree.expectedTblo(facilities));
            EXPECT_EQ(readFile(tbloNoteFile), std::string(kTbloContactAddress) + "\n");
            EXPECT_TRUE(g_tbloPending.load());
            EXPECT_TRUE(enabled(TbloButton.controlId));
            EXPECT_TRUE(enabled(SKIP_AIRPORT_SCAN.controlId));
            EXPECT_TRUE(g_simaddonAirports.empty()) << "the archives data is dropped at the end";
            EXPECT_TRUE(g_airportScanLog.empty());

            const std::string log = newLogLines();
            EXPECT_THAT(log, HasSubstr(fmt::format("The scan will search {} folders\n", tree.roots.size())));
            EXPECT_THAT(log, HasSubstr("++++++++++++++++++++++++ airports scan automatic  starts"));
            EXPECT_THAT(log, HasSubstr("-------------------------- airports scan ends -------------------------------\n"));
            EXPECT_THAT(log, HasSubstr(gf_pathToUtf8(gf_airportsScanLogPath()) + " written\n"));
            const std::string scanLog = scanLogFile();
            for (const fs::path& root : tree.roots) EXPECT_THAT(scanLog, HasSubstr("\nScan: " + root.string() + "\n"));
            EXPECT_THAT(scanLog, HasSubstr("thirdparty airport KBOS linked to archive/thirdparty/Acme%20Sky%20Scenery/"
                                           "KBOS101.enc\n"));
            EXPECT_THAT(scanLog, HasSubstr("\nAirports scan finished!\n"));
            // The cycle is entered once, the outside folder through its first link only.
            const fs::path community = tree.installPath / "Community";
            EXPECT_THAT(scanLog, HasSubstr(fmt::format("===> skipping recursive directory link during airport scan, "
                                                       "depth 2, folder: {}, resolved target: {}\n",
                                                       (tree.cyclePackage / "scenery" / "loop").string(),
                                                       tree.cyclePackage.string())));
            EXPECT_THAT(scanLog, HasSubstr(fmt::format("following airport scan directory link, depth 0, folder: {}, "
                                                       "resolved target: {}\n",
                                                       (community / "linked-ebbr").string(),
                                                       tree.outsideFolder.string())));
            EXPECT_THAT(scanLog, HasSubstr(fmt::format("===> skipping recursive directory link during airport scan, "
                                                       "depth 0, folder: {}",
                                                       (community / "linked-ebbr-again").string())));
            EXPECT_THAT(scanLog, Not(HasSubstr("LPPT"))) << "statics are passed by";
            EXPECT_THAT(scanLog, Not(HasSubstr("EGLC"))) << "Tutorials are passed by";
            if (msfs2024) {
                EXPECT_THAT(scanLog, HasSubstr("airport has 'LTFM' in folder path\n"));
                EXPECT_THAT(scanLog, HasSubstr("streamed package manifest found, version '2.0'\n"));
            } else {
                EXPECT_THAT(scanLog, HasSubstr("Fac depth 3: " +
                                               (tree.roots[0] / "OneStore" / "asobo-airport-eddf" / "scenery" /
                                                "EDDF.bgl")
                                                   .string() +
                                               "\n"));
            }
            gf_simModelReset();
        }
    }
}

// ---- scans that end early keep what was there ----

TEST_F(AirportScan, SkipAirportScanTouchesNothingAndShowsTheCounts) {
    makeOldData();
    makeTree(false);
    gf_updateSettings([](SettingsSnapshot& s) { s.SKIP_AIRPORT_SCAN = 1; });
    const Folders before = folders();
    gf_gui().simaddonCount = gf_gui().thirdpartyCount = 99;
    newLogLines();
    gf_scanAirports();
    EXPECT_EQ(folders(), before);
    EXPECT_EQ(gf_gui().simaddonCount, 1u);
    EXPECT_EQ(gf_gui().thirdpartyCount, 1u);
    const std::string log = newLogLines();
    EXPECT_THAT(log, HasSubstr("Airport scan skipped because SKIP_AIRPORT_SCAN=true\n"));
    EXPECT_THAT(log, HasSubstr("Airport scan suppressed by parameter SKIP_AIRPORT_SCAN\n"));
    EXPECT_THAT(log, Not(HasSubstr("airports scan ends")));
    EXPECT_FALSE(fs::exists(tbloDir));
    EXPECT_FALSE(fs::exists(gf_airportsScanLogPath()));
}

TEST_F(AirportScan, EveryEarlyEndKeepsThePreviousData) {
    struct Row {
        std::string name;
        void (*prepare)(const fs::path& work);
        std::string line;  // in Log.txt
        bool banner;       // the end banner is logged
    };
    const std::vector<Row> rows = {
        {"nothing found",
         [](const fs::path&) {
             fs::remove_all("scenery/sim2020/Official");
             fs::remove_all("scenery/sim2020/Community");
             fs::create_directories("scenery/sim2020/Community/empty-package");
         },
         "Airport scan produced no add-on data; keeping previous airport scan data", true},
        {"no weekly traffic", [](const fs::path&) { fs::remove(wktrafficEncFile); },
         "Reading RT weekly airports failed; keeping previous airport scan data", true},
        {"archives data missing", [](const fs::path&) { fs::remove(archivesEncFile); },
         "Airport scan failed; previous airport scan data restored: input/archives.enc not available", true},
        {"archives data without root",
         [](const fs::path&) {
             ArchivesBuilder broken;
             broken.rootName = "archives";
             broken.writeToInput();
         },
         "Reading archives failed; keeping previous airport scan data", true},
        {"tblo folder cannot be made",
         [](const fs::path&) {
             fs::remove_all(tbloDir);
             gf_osSetFaultHook([](OsOperation op, const fs::path& from, const fs::path&) {
                 return op == OsOperation::createFolder && from == tbloDir
                            ? std::make_error_code(std::errc::no_space_on_device)
                            : std::error_code();
             });
         },
         "Airport scan failed; TAVO will continue with the previous airport data", true},
        {"recovery fails", [](const fs::path&) { writeFile(scanMarkerFile, "broken"); },
         "Airport scan skipped: recovery of a previously interrupted scan failed", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        clearScanState();
        gf_osSetFaultHook({});
        fs::remove_all(airportsDir);
        fs::remove_all(dir() / "scenery");
        makeOldData();
        makeTree(false);
        fs::create_directories(tbloDir);
        writeFile(tbloDir / "tblo.zip", "from an older scan");
        row.prepare(dir());
        const Folders before = folders();
        newLogLines();
        gf_scanAirports();
        EXPECT_EQ(folders(), before);
        const std::string log = newLogLines();
        EXPECT_THAT(log, HasSubstr(row.line + "\n"));
        EXPECT_EQ(log.find("airports scan ends") != std::string::npos, row.banner);
        EXPECT_FALSE(g_tbloPending.load());
        if (row.banner) {
            EXPECT_FALSE(fs::exists(tbloDir)) << "a failed scan leaves no archive to send";
            EXPECT_FALSE(enabled(TbloButton.controlId));
            EXPECT_TRUE(enabled(SKIP_AIRPORT_SCAN.controlId));
        }
        fs::remove(scanMarkerFile);
    }
}

// A stop request ends the walk; what the scan found so far is logged but does
// not replace complete data from an earlier scan.
TEST_F(AirportScan, AStopEndsTheWalkWithItsLogWrittenAndKeepsTheOldData) {
    makeOldData();
    makeTree(false);
    const Folders before = folders();
    gf_osSetFaultHook([](OsOperation op, const fs::path& from, const fs::path&) {
        if (op == OsOperation::listFolder && from.filename() == "otherdev-egkk") requestStop(StopReason::NewFlight, 60);
        return std::error_code();
    });
    newLogLines();
    gf_scanAirports();
    EXPECT_EQ(folders(), before);
    EXPECT_TRUE(noTransactionLeft());
    const std::string scanLog = scanLogFile();
    EXPECT_THAT(scanLog, HasSubstr("Generated KJFK.xml: 2 positions\n")) << "found before the stop";
    EXPECT_THAT(scanLog, Not(HasSubstr("EGKK")));
    EXPECT_THAT(scanLog, Not(HasSubstr("Airports scan finished!")));
    const std::string log = newLogLines();
    EXPECT_THAT(log, HasSubstr("Airport scan stopped; keeping previous airport scan data\n"));
    EXPECT_THAT(log, Not(HasSubstr("Warning: Scan has not found any add-on airports")));
    EXPECT_FALSE(fs::exists(tbloDir));
}

// ---- roots and the walk ----

TEST_F(AirportScan, RootsAreCountedAndCheckedBeforeTheirWalk) {
    makeTree(false, 0);
    fs::remove_all(tree.roots[0]);  // no Official folder: one root left
    const auto roots = lf_scanRoots();
    ASSERT_EQ(roots.size(), 1u);
    newLogLines();
    lf_runAirportsScan(roots);
    EXPECT_THAT(newLogLines(), HasSubstr("The scan will search 1 folder\n"));

    writeFile("a-file", "x");
    newLogLines();
    lf_scanRootFolder({dir() / "missing", dir() / "a-file", {}});
    const std::string log = newLogLines();
    EXPECT_THAT(log, HasSubstr((dir() / "missing").string() + " does not exist, skipped!\n"));
    EXPECT_THAT(log, HasSubstr((dir() / "a-file").string() + " is not a folder name, skipped!\n"));
}

TEST_F(AirportScan, SkippedPackagesByWordInAnyCaseAndByLength) {
    EXPECT_TRUE(lf_isSkippedPackage("/sim/Community/Tutorials-pack"));
    EXPECT_TRUE(lf_isSkippedPackage("/sim/Community/GSX-Pro-data"));
    EXPECT_FALSE(lf_isSkippedPackage("/sim/Community/otherdev-egkk"));
    const std::string base = "/sim/Community/";
    EXPECT_FALSE(lf_isSkippedPackage(base + std::string(249 - base.size(), 'x')));
    EXPECT_TRUE(lf_isSkippedPackage(base + std::string(250 - base.size(), 'x')));
    // Characters, not bytes: 248 characters in 493 bytes stay below the limit.
    std::string accented = "/a/";
    for (int i = 0; i < 245; ++i) accented += "\xC3\xA9";
    EXPECT_FALSE(lf_isSkippedPackage(accented));
    EXPECT_TRUE(lf_isSkippedPackage(accented + "ab"));
}

TEST_F(AirportScan, AFileWhoseHandlingThrowsIsSkippedAndTheWalkGoesOn) {
    makeTree(false, 0);
    ASSERT_TRUE(gf_readPublishers(true));
    // my_thirdparty cannot be made: writing a thirdparty airport throws.
    fs::create_directories(airportsDir);
    writeFile(myThirdpartyDir, "a file in the folder's place");
    lf_scanFolderTree(tree.roots[1] / "otherdev-lowi");
    lf_scanFolderTree(tree.roots[0]);
    const fs::path lowi = tree.roots[1] / "otherdev-lowi" / "scenery" / "LOWI.bgl";
    bool skipped = false;
    for (const std::string& line : g_airportScanLog) {
        if (line.starts_with(fmt::format("===> airport file skipped after an exception, depth 1, file {}, cause: ",
                                         lowi.string())))
            skipped = true;
    }
    EXPECT_TRUE(skipped);
    EXPECT_TRUE(fs::exists(mySimaddonDir / "LFPG.xml")) << "the walk went on";
}

// The root is a folder the walk has been in: a link back to it is not
// followed, so no scenery file of the root is taken twice.
TEST_F(AirportScan, ALinkBackToTheScanRootIsNotFollowed) {
    loadWorld({airportEntry("EGKK", 51.15, -0.18, 202)}, "EGKK", ArchivesBuilder{});
    const fs::path root = dir() / "Community";
    BglAirport egkk{"EGKK", -1, 100000, {bglParkings({BglParking{}})}, -1};
    fs::create_directories(root / "otherdev");
    writeBglFile(root / "EGKK.bgl", bglFileOf({egkk}).bytes);
    fs::create_directory_symlink(root, root / "otherdev" / "back");
    lf_scanFolderTree(root);
    const auto taken = std::count_if(g_airportScanLog.begin(), g_airportScanLog.end(),
                                     [](const std::string& line) { return line.starts_with("Fac depth"); });
    EXPECT_EQ(taken, 1);
    EXPECT_TRUE(scanLogHas(fmt::format("===> skipping recursive directory link during airport scan, depth 1, "
                                       "folder: {}, resolved target: {}",
                                       (root / "otherdev" / "back").string(), fs::canonical(root).string())));
}

// The install path's folders are found in any letter case; the streamed
// packages folder must then still be scanned package by package, not walked
// for scenery files it does not hold.
TEST_F(AirportScan, AStreamedPackagesFolderInAnyLetterCaseIsScannedPackageByPackage) {
    for (const std::string name : {"StreamedPackages", "streamedpackages", "STREAMEDPACKAGES"}) {
        SCOPED_TRACE(name);
        clearScanState();
        fs::remove_all("sim");
        fs::create_directories(dir() / "sim" / "Community");
        fs::create_directories(dir() / "sim" / "Official2024");
        fs::create_directories(dir() / "sim" / name / "fs24-otherdev-ltfm");
        chooseSimulator(true);
        MSFS_2024_INSTALL_PATH.setValue(dir() / "sim");
        loadWorld({airportEntry("LTFM", 41.26, 28.74, 325)}, "LTFM", ArchivesBuilder{});
        lf_scanRootFolder(lf_scanRoots());
        EXPECT_TRUE(scanLogHas("airport has 'LTFM' in folder path"));
        EXPECT_TRUE(scanLogHas("\nScan: " + (dir() / "sim" / name).string()));
    }
}

TEST_F(AirportScan, EveryTenthOfficialStreamedAirportIsCounted) {
    for (const std::size_t count : {9u, 10u}) {
        SCOPED_TRACE(count);
        clearScanState();
        fs::remove_all("streamed");
        std::vector<AirportDataEntry> airports;
        std::string weekly;
        for (std::size_t i = 0; i < count; ++i) {
            const std::string code = profileIcao(i + 50);
            airports.push_back(airportEntry(code, 10.0 + static_cast<double>(i), 20.0, 100));
            weekly += (weekly.empty() ? "" : ",") + code;
            fs::create_directories(dir() / "streamed" / "StreamedPackages" / ("fs24-asobo-airport-" + code));
        }
        loadWorld(airports, weekly, ArchivesBuilder{});
        gf_gui().simaddonCount = 99;
        lf_scanPackageFolder(dir() / "streamed" / "StreamedPackages");
        EXPECT_EQ(gf_gui().simaddonCount, count == 10 ? 10u : 99u);
        EXPECT_TRUE(scanLogHas(fmt::format("airport has '{}' in directory path", profileIcao(50))));
    }
}

}  // namespace
