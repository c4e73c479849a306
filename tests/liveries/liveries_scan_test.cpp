// The liveries scan: the roots of an automatic and a manual scan, the walk of
// a root, the search's log lines and priorities, every way out of the scan
// with the controls, the hint line and the end banner, and a whole scan of a
// generated package tree found through UserCfg.opt.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "../settings/parameters_file_test_support.h"
#include "app/install_paths.h"
#include "foundation/files.h"
#include "liveries/liveries_scan.h"
#include "liveries/scan_report.h"
#include "liveries/scanned_liveries.h"
#include "platform/os/os.h"
#include "services/gui.h"
#include "services/stop.h"
#include "settings/snapshot.h"
#include "support/aircraft_cfg_builder.h"
#include "support/dbase_builder.h"
#include "support/package_tree.h"
#include "support/regcodes_builder.h"
#include "support/scoped_env.h"
#include "support/tree_snapshot.h"

namespace fs = std::filesystem;
using tavo::test::PackageLivery;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

// One aircraft.cfg of A320 liveries of one airline.
void writeCfg(const fs::path& path, const std::vector<std::string>& titles, const std::string& airline = "DLH",
              const std::string& model = "A320") {
    tavo::test::AircraftCfgBuilder cfg;
    cfg.version().general({{"icao_type_designator", model}});
    for (std::size_t i = 0; i < titles.size(); ++i) {
        cfg.fltsim(static_cast<int>(i),
                   {{"title", titles[i]}, {"icao_airline", airline}, {"atc_parking_types", "GATE"}});
    }
    cfg.write(path);
}

std::set<std::string> scannedTitles() {
    std::set<std::string> titles;
    for (const ScannedLivery& l : scannedLiveries) titles.insert(l.title);
    return titles;
}

class LiveriesScan : public tavo::test::ParametersFileTest {
protected:
    void SetUp() override {
        ParametersFileTest::SetUp();
        tavo::test::resetToSmallDbase();
        window = makeWindow();
        makeControl(window, ControlKind::CheckBox, SKIP_LIVERIES_SCAN.controlId);
        makeControl(window, ControlKind::CheckBox, LIG_AUTOMATIC.controlId);
        makeControl(window, ControlKind::CheckBox, LIG_PRIORITIZE.controlId);
        makeControl(window, ControlKind::ComboBox, AI_PACKAGE_SELECTOR.controlId);
        gf_gui().attachGuiThread();
        gf_gui().reset();
        gf_gui().attachWindow(window);
        gf_clearStopMailbox();
        chooseSimulator(false);
        fs::create_directories(outputDir);
    }
    void TearDown() override {
        gf_setLiveriesScanRootHookForTest({});
        gf_osSetFaultHook({});
        gf_clearStopMailbox();
        gf_gui().window.store(WindowHandle::None);
        gf_gui().reset();
        scannedLiveries.clear();
        lf_clearScanMessages();  // the searches called directly leave them
        ParametersFileTest::TearDown();
    }

    static void chooseSimulator(bool msfs2020) {
        startupChoice.store(std::make_shared<const StartupChoice>(StartupChoice{msfs2020 ? 1u : 2u, 0}));
    }
    static void setScan(bool automatic, bool prioritize = true) {
        gf_updateSettings([&](SettingsSnapshot& s) {
            s.LIG_AUTOMATIC = automatic ? 1 : 0;
            s.LIG_PRIORITIZE = prioritize ? 1 : 0;
        });
    }
    // The folder a test builds its trees in, beside the working folder's files.
    fs::path tree(const std::string& relative = {}) const { return dir() / "tree" / relative; }
    fs::path community() const { return dir() / "sim" / "Community"; }
    void useCommunity() {
        fs::create_directories(community());
        MSFS_2024_INSTALL_PATH.setValue(community().parent_path());
    }
    std::vector<fs::path> findRoots(const std::string& choice) {
        AI_PACKAGE_SELECTOR.setValue(choice);
        std::vector<fs::path> roots;
        lf_selectAIPackages(community(), roots);
        return roots;
    }
    // The scan's exception text, or "" when it returned.
    static std::string scanFailure() {
        try {
            gf_scanLiveries();
            return {};
        } catch (const std::exception& e) {
            return e.what();
        }
    }
    std::string rootLine(std::size_t count, const fs::path& root) {
        return fmt::format("\n{:5} liverie{} found in {}\n", count, count == 1 ? "" : "s", root.string());
    }
    bool enabled(ControlId id) { return gf_isControlEnabled(id).value_or(false); }

    WindowHandle window = WindowHandle::None;
};

// --- automatic roots ---

TEST(LiveriesScanChoices, EveryChoiceGivesTheKindsItsTextNamesInOrder) {
    const std::map<std::string, AIPackageKind> byName = {{"AIG", AIPackageKind::AIG},
                                                         {"FSLTL", AIPackageKind::FSLTL},
                                                         {"JF", AIPackageKind::JF},
                                                         {"MTL", AIPackageKind::MTL}};
    ASSERT_EQ(AI_PACKAGE_SELECTOR.choices().size(), 64u);
    for (std::size_t i = 0; i < 64; ++i) {
        std::vector<AIPackageKind> expected;
        for (const std::string& name : gf_splitAtComma(AI_PACKAGE_SELECTOR.valueAt(i))) {
            expected.push_back(byName.at(name));
        }
        const auto kinds = lf_aiPackageKinds(i);
        EXPECT_EQ(std::vector<AIPackageKind>(kinds.begin(), kinds.end()), expected) << AI_PACKAGE_SELECTOR.valueAt(i);
    }
    EXPECT_TRUE(lf_aiPackageKinds(64).empty());
    EXPECT_EQ(gf_aiPackageKindName(AIPackageKind::MTL), "IVAO_MTL");
    EXPECT_EQ(gf_aiPackageKindName(static_cast<AIPackageKind>(4)), "unknown");
}

TEST_F(LiveriesScan, PackageFolderNamesAreTestedWithCaseAndTheBetaOnlyFor2020) {
    struct Row {
        AIPackageKind kind;
        const char* name;
        bool msfs2020, msfs2024;
    };
    const Row rows[] = {
        {AIPackageKind::AIG, "aig-aitraffic-oci", true, true},
        {AIPackageKind::AIG, "aig-aitraffic-oci-beta", true, false},
        {AIPackageKind::AIG, "my-aig-aitraffic-oci-beta2", true, false},
        {AIPackageKind::AIG, "aig-aitraffic-oci_CVT_", false, false},
        {AIPackageKind::AIG, "AIG-AITRAFFIC-OCI", false, false},
        {AIPackageKind::FSLTL, "fsltl-traffic-base", true, true},
        {AIPackageKind::FSLTL, "fsltl-traffic-base_CVT_", false, false},
        {AIPackageKind::FSLTL, "aig-aitraffic-oci", false, false},
        {AIPackageKind::JF, "justflight-aircraft-traffic-fleet", true, true},
        {AIPackageKind::JF, "justflight-fstraffic-module", true, true},
        {AIPackageKind::JF, "justflight-aircraft", false, false},
        {AIPackageKind::MTL, "IVAO_MTL_v2", true, true},
        {AIPackageKind::MTL, "ivao_mtl", false, false},
        {static_cast<AIPackageKind>(9), "aig-aitraffic-oci", false, false},
    };
    for (const bool msfs2020 : {true, false}) {
        chooseSimulator(msfs2020);
        for (const Row& row : rows) {
            EXPECT_EQ(lf_isAIPackageFolder(row.kind, row.name), msfs2020 ? row.msfs2020 : row.msfs2024)
                << row.name << (msfs2020 ? " 2020" : " 2024");
        }
    }
}

TEST_F(LiveriesScan, AutomaticRootsFollowTheChoiceAndTakeTheFirstListedFolderOfAKind) {
    useCommunity();
    for (const char* name : {"IVAO_MTL_v2", "aig-aitraffic-oci", "fsltl-traffic-base", "fsltl-traffic-base-liveries",
                             "user-aitraffic_CVT_", "user-aitraffic_mine"}) {
        fs::create_directories(community() / name);
    }
    tavo::test::writeFile(community() / "aig-aitraffic-oci.zip", "not a folder");
    tavo::test::writeFile(community() / "user-aitraffic-old.zip", "not a folder, listed first");
    const fs::path c = community();
    EXPECT_EQ(findRoots("MTL, AIG"),
              (std::vector<fs::path>{c / "IVAO_MTL_v2", c / "aig-aitraffic-oci", c / "user-aitraffic_mine"}));
    const std::string log = newLogLines();
    EXPECT_THAT(log,
                HasSubstr(fmt::format("\nAutomatic IVAO_MTL scan found folder: '{}'\n", (c / "IVAO_MTL_v2").string())));
    EXPECT_THAT(
        log, HasSubstr(fmt::format("\nAutomatic AIG scan found folder: '{}'\n", (c / "aig-aitraffic-oci").string())));
    EXPECT_THAT(log, HasSubstr(fmt::format("\nAutomatic user-aitraffic scan found folder: '{}'\n",
                                           (c / "user-aitraffic_mine").string())));
    // Only the first of the two FSLTL folders; a kind without a folder adds nothing.
    EXPECT_EQ(findRoots("JF, FSLTL, AIG"),
              (std::vector<fs::path>{c / "fsltl-traffic-base", c / "aig-aitraffic-oci", c / "user-aitraffic_mine"}));
    fs::remove(c / "user-aitraffic_mine");
    EXPECT_EQ(findRoots("FSLTL"), (std::vector<fs::path>{c / "fsltl-traffic-base"}));

    AI_PACKAGE_SELECTOR.setValue("AIG,FSLTL");
    std::vector<fs::path> roots;
    try {
        lf_selectAIPackages(c, roots);
        ADD_FAILURE() << "a choice that is none of the texts";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "AI_PACKAGE_SELECTOR not set");
    }
}

TEST_F(LiveriesScan, TheBetaFolderIsAigOnlyFor2020AndLinkedPackagesAreFolders) {
    useCommunity();
    fs::create_directories(community() / "aig-aitraffic-oci-beta");
    fs::create_directories(tree("linked/justflight-fstraffic-module"));
    fs::create_directory_symlink(tree("linked/justflight-fstraffic-module"),
                                 community() / "justflight-fstraffic-module");
    const fs::path beta = community() / "aig-aitraffic-oci-beta", jf = community() / "justflight-fstraffic-module";
    chooseSimulator(true);
    EXPECT_EQ(findRoots("AIG, JF"), (std::vector<fs::path>{beta, jf}));
    chooseSimulator(false);
    EXPECT_EQ(findRoots("AIG, JF"), (std::vector<fs::path>{jf}));
    fs::create_directories(community() / "aig-aitraffic-oci");
    EXPECT_EQ(findRoots("AIG"), (std::vector<fs::path>{community() / "aig-aitraffic-oci"}));
    chooseSimulator(true);  // both qualify: the first listed
    EXPECT_EQ(findRoots("AIG"), (std::vector<fs::path>{community() / "aig-aitraffic-oci"}));
}

TEST_F(LiveriesScan, ACommunityFolderThatCannotBeListedIsWarnedAboutAndGivesNoRoot) {
    useCommunity();
    fs::create_directories(community() / "aig-aitraffic-oci");
    gf_osSetFaultHook([&](OsOperation op, const fs::path& from, const fs::path&) -> std::error_code {
        if (op == OsOperation::listFolder && from == community()) return std::make_error_code(std::errc::io_error);
        return {};
    });
    EXPECT_TRUE(findRoots("AIG").empty());
    const std::string message = std::make_error_code(std::errc::io_error).message();
    const std::string log = newLogLines();
    EXPECT_THAT(log, HasSubstr(fmt::format("\nAutomatic AI package scan warning in '{}': {}\n", community().string(),
                                           message)));
    EXPECT_THAT(log, HasSubstr(fmt::format("\n==> Automatic user-aitraffic scan warning in '{}': {}\n",
                                           community().string(), message)));
}

// --- manual roots ---

TEST_F(LiveriesScan, ManualRootsTakeEverySetPathAndFailOnAMissingOne) {
    fs::create_directories(tree("a"));
    tavo::test::writeFile(tree("file.txt"), "x");
    lfolder1.setValue(tree("file.txt").string());
    lfolder2.setValue(tree("a").string());
    lfolder9.setValue(tree("a").string());
    std::vector<fs::path> roots;
    lf_checkLfolderPaths(roots);
    EXPECT_EQ(roots, (std::vector<fs::path>{tree("file.txt"), tree("a"), tree("a")}));

    lfolder4.setValue(tree("missing").string());
    roots.clear();
    try {
        lf_checkLfolderPaths(roots);
        ADD_FAILURE() << "a missing path";
    } catch (const tavo::UserRelatedException& e) {
        EXPECT_EQ(e.code, 243);
        EXPECT_STREQ(e.what(), "243: the path pointed to by parameter 'lfolder4' does not exist, see Log.txt!");
    }
    EXPECT_THAT(newLogLines(),
                HasSubstr(fmt::format("\n==> lfolder4: '{}' does not exist\n", tree("missing").string())));
}

// --- the search ---

TEST_F(LiveriesScan, SkippedRootsAreLoggedAndTheFirstFolderGetsPriorityOne) {
    writeCfg(tree("only/aircraft.cfg"), {"Only one"});
    tavo::test::writeFile(tree("file.txt"), "x");
    const std::vector<fs::path> roots{fs::path(), tree("missing"), tree("file.txt"), tree("only")};
    EXPECT_EQ(lf_searchLiveries(roots, true), kLiveriesScanDone);
    ASSERT_EQ(scannedLiveries.size(), 1u);
    EXPECT_EQ(scannedLiveries[0].priority, 1);
    const std::string log = newLogLines();
    EXPECT_THAT(log, HasSubstr(fmt::format("\n{} does not exist, skipped!\n", tree("missing").string())));
    EXPECT_THAT(log, HasSubstr(fmt::format("\n{} is not a folder name, skipped!\n", tree("file.txt").string())));
    EXPECT_THAT(log, HasSubstr(rootLine(1, tree("only"))));
    // Four roots were given, so the merge runs.
    EXPECT_THAT(log, HasSubstr("\n\nPrioritizing the scanned liveries ...\n"
                               "    0 same airl+model liveries removed because from lower ai-package\n"
                               "    1 in total\n"));
    EXPECT_THAT(log, HasSubstr("\n==> input/AIG-regcodes.enc not available\n"));
    EXPECT_TRUE(fs::exists(gf_liveriesScannedFilePath()));
}

TEST_F(LiveriesScan, RootCountsTakeTheirPluralAndASingleRootIsNotMerged) {
    writeCfg(tree("one/aircraft.cfg"), {"One DLH"});
    writeCfg(tree("three/aircraft.cfg"), {"Three 1", "Three 2", "Three 3"}, "KLM");
    fs::create_directories(tree("none"));
    EXPECT_EQ(lf_searchLiveries({tree("one"), tree("three"), tree("none")}, false), kLiveriesScanDone);
    std::string log = newLogLines();
    EXPECT_THAT(log, HasSubstr(rootLine(1, tree("one"))));
    EXPECT_THAT(log, HasSubstr(rootLine(3, tree("three"))));
    EXPECT_THAT(log, HasSubstr(fmt::format("\nNo liveries found in {}\n", tree("none").string())));
    EXPECT_THAT(log, Not(HasSubstr("Prioritizing")));
    EXPECT_THAT(log, HasSubstr("\n    4 in total\n"));

    lf_clearScanMessages();  // the scan's titles, as the end of a scan leaves them
    EXPECT_EQ(lf_searchLiveries({tree("three")}, true), kLiveriesScanDone);
    log = newLogLines();
    EXPECT_THAT(log, HasSubstr(rootLine(3, tree("three"))));
    EXPECT_THAT(log, Not(HasSubstr("Prioritizing")));
    EXPECT_THAT(log, Not(HasSubstr("in total")));
}

TEST_F(LiveriesScan, RootsFromTheTenthOnShareTheLowestPriority) {
    std::vector<fs::path> roots;
    const char* airlines[] = {"DLH", "KLM", "BAW", "AFR", "UAL", "DAL", "AAL", "RYR", "EZY", "SWR", "FDX", "UPS"};
    for (int i = 0; i < 12; ++i) {
        roots.push_back(tree(fmt::format("r{:02}", i)));
        writeCfg(roots.back() / "aircraft.cfg", {fmt::format("Root {}", i)}, airlines[i]);
    }
    roots.insert(roots.begin() + 3, tree("missing"));  // skipped roots take no number
    ASSERT_EQ(lf_searchLiveries(roots, true), kLiveriesScanDone);
    std::map<std::string, int> priorities;
    for (const ScannedLivery& l : scannedLiveries) priorities[l.title] = l.priority;
    for (int i = 0; i < 12; ++i) EXPECT_EQ(priorities[fmt::format("Root {}", i)], std::min(i + 1, 10)) << i;
}

TEST_F(LiveriesScan, TheWalkPassesBySkipWordsLongPathsLinksAndOtherFileNames) {
    const fs::path root = tree("pkg");
    writeCfg(root / "Airport_A320" / "aircraft.cfg", {"In Airport"});
    writeCfg(root / "my-airport-pack" / "aircraft.cfg", {"In airport pack"});
    const char* words[] = {"airport",   "lvfr",     "mkstudios", "simwings", "fsdreamteam",
                           "navigraph", "flytampa", "inibuilds", "_CVT_"};
    for (const char* word : words) writeCfg(root / fmt::format("x{}x", word) / "deeper" / "aircraft.cfg", {word});
    writeCfg(root / "Upper" / "AIRCRAFT.CFG", {"Upper case name"});
    writeCfg(root / "Backup" / "aircraft.cfg.bak", {"Backup file"});
    writeCfg(tree("outside/aircraft.cfg"), {"Behind a link"});
    fs::create_directory_symlink(tree("outside"), root / "link");
    for (const std::size_t length : {std::size_t{249}, std::size_t{250}}) {
        const std::string prefix = (root / "L").string();
        writeCfg(fs::path(prefix + std::string(length - prefix.size(), 'x')) / "aircraft.cfg",
                 {fmt::format("Path {}", length)});
    }
    lf_searchLiveriesInFolder(3, root);
    EXPECT_EQ(scannedTitles(), (std::set<std::string>{"In Airport", "Upper case name", "Path 249"}));
    for (const ScannedLivery& l : scannedLiveries) EXPECT_EQ(l.priority, 3);

    // A root that holds a skip word itself: its own aircraft.cfg is read,
    // none of its folders is entered.
    scannedLiveries.clear();
    writeCfg(tree("inibuilds-pack/aircraft.cfg"), {"Root file"});
    writeCfg(tree("inibuilds-pack/sub/aircraft.cfg"), {"Sub file"});
    lf_searchLiveriesInFolder(1, tree("inibuilds-pack"));
    EXPECT_EQ(scannedTitles(), (std::set<std::string>{"Root file"}));
}

TEST_F(LiveriesScan, AFolderThatCannotBeReadIsPassedOverAndAnExceptionEndsOnlyItsRoot) {
    writeCfg(tree("pkg/a/aircraft.cfg"), {"A one"});
    writeCfg(tree("pkg/b/aircraft.cfg"), {"B one"});
    writeCfg(tree("pkg/c/aircraft.cfg"), {"C one"});
    writeCfg(tree("pkg/d/aircraft.cfg"), {"D one"});
    writeCfg(tree("next/aircraft.cfg"), {"Next root"}, "KLM");
    fs::create_directories(tree("gone"));
    const std::string denied = std::make_error_code(std::errc::permission_denied).message();
    gf_osSetFaultHook([&](OsOperation op, const fs::path& from, const fs::path&) -> std::error_code {
        if (op == OsOperation::listFolder && from == tree("pkg/b")) {
            return std::make_error_code(std::errc::permission_denied);
        }
        if (op == OsOperation::readEntry && from == tree("pkg/d/aircraft.cfg")) throw std::runtime_error("disk gone");
        if (op == OsOperation::listFolder && from == tree("gone")) {
            return std::make_error_code(std::errc::permission_denied);
        }
        return {};
    });
    ASSERT_EQ(lf_searchLiveries({tree("gone"), tree("pkg"), tree("next")}, false), kLiveriesScanDone);
    // c is walked before d is listed: what was found before the exception stays.
    EXPECT_EQ(scannedTitles(), (std::set<std::string>{"A one", "C one", "Next root"}));
    const std::string log = newLogLines();
    EXPECT_THAT(log, HasSubstr(fmt::format("\n==> liveries search in {}: {} passed over, cause: {}\n",
                                           tree("pkg").string(), tree("pkg/b").string(), denied)));
    EXPECT_THAT(
        log, HasSubstr(fmt::format("\n==> liveries search in {} aborted, cause: disk gone\n", tree("pkg").string())));
    EXPECT_THAT(log, HasSubstr(fmt::format("\n==> Could not start liveries search in {}, cause: {}\n",
                                           tree("gone").string(), denied)));
    EXPECT_THAT(log, HasSubstr(rootLine(1, tree("next"))));
}

// --- every way out of the scan ---

TEST_F(LiveriesScan, EveryWayOutLeavesTheControlsHintLineListsAndBannerAsItShould) {
    struct Expected {
        bool selector, skip, automatic;
    };
    struct Row {
        const char* name;
        std::function<void()> setUp;
        std::string failure;  // the exception's text; empty: the scan returns
        Expected controls;
        bool fileWritten;
    };
    const std::string oldFile = "old file bytes\n";
    const fs::path scanned = gf_liveriesScannedFilePath();
    auto package = [this] {
        useCommunity();
        writeCfg(community() / "aig-aitraffic-oci" / "a" / "aircraft.cfg", {"AIG one"});
    };
    const Row rows[] = {
        {"success", package, "", {false, true, false}, true},
        {"no install path",
         [] { MSFS_2024_INSTALL_PATH.setValue({}); },
         "148: Automatic scan has not found any AI packages, choose a different selection, or de-select automatic",
         {true, false, true},
         false},
        {"no package",
         [this] { useCommunity(); },
         "148: Automatic scan has not found any AI packages, choose a different selection, or de-select automatic",
         {true, false, true},
         false},
        {"no livery, automatic",
         [this] {
             useCommunity();
             fs::create_directories(community() / "aig-aitraffic-oci");
         },
         "553: Automatic scan has not found any liveries in your packages, choose a different selection, or de-select "
         "automatic",
         {true, false, true},
         false},
        {"no lfolder",
         [] { setScan(false); },
         "48: Exit TAVO, and then set one or more lfolderx parameters to your liveries in the file parameters.xml",
         {false, false, false},
         false},
        {"missing lfolder",
         [this] {
             setScan(false);
             lfolder0.setValue(tree("missing").string());
         },
         "243: the path pointed to by parameter 'lfolder0' does not exist, see Log.txt!",
         {false, false, false},
         false},
        {"no livery, manual",
         [this] {
             setScan(false);
             fs::create_directories(tree("empty"));
             lfolder0.setValue(tree("empty").string());
         },
         "53: no liveries found, did you set lfolderx parameter(s)?",
         {false, false, false},
         false},
        {"replace fails",
         [&] {
             package();
             gf_osSetFaultHook([scanned](OsOperation op, const fs::path&, const fs::path& to) -> std::error_code {
                 if (op == OsOperation::move && to == scanned) return std::make_error_code(std::errc::io_error);
                 return {};
             });
         },
         "the new output/LiveriesScanned_MSFS2024.xml could not be committed safely",
         {false, true, false},
         false},
        {"stopping",
         [&] {
             package();
             gf_setLiveriesScanRootHookForTest([](const fs::path&) { requestStop(StopReason::NewSettings, 0); });
         },
         "",
         {false, true, false},
         false},
        {"no such choice",
         [this] {
             useCommunity();
             AI_PACKAGE_SELECTOR.setValue("everything");
         },
         "AI_PACKAGE_SELECTOR not set",
         {false, false, false},
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        tavo::test::resetSettingsToDefaults();
        setScan(true);
        MSFS_2024_INSTALL_PATH.setValue({});
        fs::remove_all(dir() / "sim");
        tavo::test::writeFile(scanned, oldFile);
        // What the start-up leaves before the scan.
        for (ControlId id : {SKIP_LIVERIES_SCAN.controlId, AI_PACKAGE_SELECTOR.controlId}) gf_enableControl(id, true);
        gf_enableControl(LIG_AUTOMATIC.controlId, false);
        gf_gui().reset();
        backend->clearRecords();
        scanTitles.insert("left from before");
        scanFixes.push_back("left from before");
        newLogLines();
        row.setUp();

        EXPECT_EQ(scanFailure(), row.failure);

        gf_setLiveriesScanRootHookForTest({});
        gf_osSetFaultHook({});
        const bool stopped = !keepRunning();
        gf_clearStopMailbox();
        EXPECT_EQ(enabled(AI_PACKAGE_SELECTOR.controlId), row.controls.selector);
        EXPECT_EQ(enabled(SKIP_LIVERIES_SCAN.controlId), row.controls.skip);
        EXPECT_EQ(enabled(LIG_AUTOMATIC.controlId), row.controls.automatic);
        EXPECT_TRUE(scanTitles.empty() && scanFixes.empty() && dontUseTitles.empty());
        EXPECT_EQ(gf_gui().statusLine, "") << "the hint line is cleared";
        bool headerRepainted = false;
        for (const InvalidateRecord& r : backend->invalidations()) {
            headerRepainted |= r.rect && r.rect->top == kHeaderBand.top;
        }
        EXPECT_TRUE(headerRepainted);
        const std::string log = newLogLines();
        EXPECT_THAT(log, HasSubstr(" starts ++++"));
        EXPECT_THAT(log,
                    HasSubstr("\n\n++++++++++++++++++++++++ liveries scan ends ++++++++++++++++++++++++++++++++\n\n"));
        if (row.failure.empty()) {
            EXPECT_THAT(log, Not(HasSubstr("Liveries scan failed")));
        } else {
            EXPECT_THAT(log, HasSubstr("\n==> Liveries scan failed: " + row.failure + "\n"));
        }
        EXPECT_EQ(stopped, std::string(row.name) == "stopping");
        if (stopped) EXPECT_THAT(log, HasSubstr("\nLiveries scan cancelled\n"));
        if (row.fileWritten) {
            EXPECT_NE(tavo::test::readFile(scanned), oldFile);
            EXPECT_EQ(gf_gui().liveriesCount, 1u);
        } else {
            EXPECT_EQ(tavo::test::readFile(scanned), oldFile) << "the old file stays byte for byte";
            EXPECT_FALSE(fs::exists(fs::path(scanned.string() + ".scan_tmp")));
        }
        gf_gui().liveriesCount = 0;
    }
}

TEST_F(LiveriesScan, TheHintLineShowsTheArchiveHintWhenOneWaits) {
    setScan(false);
    gf_setTbloPendingQuery(+[] { return true; });
    EXPECT_NE(scanFailure(), "");
    gf_setTbloPendingQuery(nullptr);
    EXPECT_THAT(gf_gui().statusLine, HasSubstr("tblo.zip"));
}

// --- a whole scan ---

PackageLivery fromFile(const pugi::xml_node& l) {
    PackageLivery livery;
    livery.title = l.attribute("t").value();
    livery.registration = l.attribute("r").value();
    livery.airline = l.attribute("a").value();
    livery.model = l.attribute("m").value();
    livery.cargo = l.attribute("c").as_bool();
    EXPECT_TRUE(l.attribute("o").empty()) << "no operator in the generated tree";
    return livery;
}

TEST_F(LiveriesScan, AGeneratedTreeFoundThroughUserCfgGivesThePredictedFileAndTheSameFilesTwice) {
    const tavo::test::PackageTree packages =
        tavo::test::makePackageTree(dir() / "gen", tavo::test::PackageTreeSize::small);
    {
        tavo::test::ScopedEnv env;
        env.set("TAVO_APPDATA_DIR", packages.roamingAppData.string());
        env.set("TAVO_LOCALAPPDATA_DIR", packages.localAppData.string());
        MSFS_2024_INSTALL_PATH.setValue(gf_findSimulatorPaths());
    }
    ASSERT_EQ(MSFS_2024_INSTALL_PATH.value(), packages.packagesRoot);
    const std::string dontUse = packages.liveriesOf(packages.fsltl).front().title;
    tavo::test::RegcodesBuilder regcodes;
    regcodes.livery(dontUse, std::nullopt);
    regcodes.livery("Some other title", "D-ABCD");
    regcodes.writeToInput();
    setScan(true);
    newLogLines();

    ASSERT_EQ(scanFailure(), "");
    const auto expected = packages.predict(packages.automaticRoots(), true, {dontUse});
    pugi::xml_document document;
    ASSERT_TRUE(document.load_file(gf_liveriesScannedFilePath().c_str()));
    std::vector<PackageLivery> written;
    for (const pugi::xml_node& l : document.child("root").child("liveries").children("l")) {
        written.push_back(fromFile(l));
    }
    std::vector<PackageLivery> predicted = expected;
    for (PackageLivery& l : predicted) {
        l.package.clear();
        l.priority = 0;
    }
    std::sort(written.begin(), written.end(), [](const PackageLivery& a, const PackageLivery& b) {
        return std::tie(a.airline, a.model, a.cargo, a.title, a.registration) <
               std::tie(b.airline, b.model, b.cargo, b.title, b.registration);
    });
    EXPECT_GT(predicted.size(), 150u);
    EXPECT_EQ(written, predicted);
    EXPECT_EQ(gf_gui().liveriesCount, predicted.size());

    const std::string log = newLogLines();
    std::size_t total = 0;
    const std::pair<const char*, fs::path> kinds[] = {
        {"AIG", packages.aig}, {"FSLTL", packages.fsltl}, {"JF", packages.jf}, {"IVAO_MTL", packages.mtl}};
    for (const auto& [kind, folder] : kinds) {
        EXPECT_THAT(log, HasSubstr(fmt::format("\nAutomatic {} scan found folder: '{}'\n", kind, folder.string())));
    }
    EXPECT_THAT(log, HasSubstr(fmt::format("\nAutomatic user-aitraffic scan found folder: '{}'\n",
                                           packages.userAitraffic.string())));
    for (const fs::path& root : packages.automaticRoots()) {
        const std::size_t count = packages.predict({root}, false, {dontUse}).size();
        total += count;
        EXPECT_THAT(log, HasSubstr(rootLine(count, root)));
    }
    EXPECT_THAT(log, HasSubstr(fmt::format("\n{:5} in total\n", predicted.size())));
    EXPECT_THAT(log, HasSubstr(fmt::format("\n{:5} same airl+model liveries removed because from lower ai-package\n",
                                           total - predicted.size())));
    EXPECT_THAT(log, HasSubstr("\n    1 don't use liveries\n"));
    EXPECT_EQ(tavo::test::readFile(outputInfoDir / "DontUseLiveries.txt"), dontUse + "\n");
    EXPECT_THAT(tavo::test::readFile(outputErrorsDir / "Fixes.txt"), HasSubstr("Model fix: A32N found in"));
    EXPECT_THAT(tavo::test::readFile(outputErrorsDir / "InvalidAirlineCodes.txt"), HasSubstr("XYZ"));

    const tavo::test::TreeSnapshot first = tavo::test::snapshotTree(outputDir);
    ASSERT_EQ(scanFailure(), "");
    EXPECT_EQ(tavo::test::snapshotTree(outputDir), first) << tavo::test::describe(first);
}

}  // namespace
