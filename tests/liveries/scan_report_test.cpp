// Merging the scan's records by package priority, sorting and removing
// duplicates, and the scan report: the summary in the log and the seven
// report files.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "foundation/files.h"
#include "liveries/code_tables.h"
#include "liveries/scan_report.h"
#include "liveries/scanned_liveries.h"
#include "support/dbase_builder.h"
#include "support/scanned_liveries_builder.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

ScannedLivery lf_reportedLivery(std::string_view airline, std::string_view model, std::string title,
                        std::int16_t priority, std::string registration = {}, bool cargo = false,
                        std::string_view op = {}) {
    AcKey key;
    key.airline = gf_internAirlineCode(airline);
    key.operatorIndex = op.empty() ? 0 : gf_internAirlineCode(op);
    key.model = gf_internModelCode(model);
    key.cargo = cargo ? 1 : 0;
    return ScannedLivery{std::move(title), std::move(registration), key, priority};
}

std::vector<std::string> lf_titles(const std::vector<ScannedLivery>& liveries) {
    std::vector<std::string> out;
    for (const auto& l : liveries) out.push_back(l.title);
    return out;
}

class ScanMerge : public tavo::test::TempWorkDirTest {
protected:
    void SetUp() override {
        TempWorkDirTest::SetUp();
        tavo::test::resetToSmallDbase();
        scannedLiveries.clear();
    }
    void TearDown() override {
        scannedLiveries.clear();
        TempWorkDirTest::TearDown();
    }
    // Package A (priority 1): two KLM B738; package B (priority 2): one KLM
    // B738 and one KLM B737.
    static std::vector<ScannedLivery> packagesAAndB() {
        return {lf_reportedLivery("KLM", "B738", "B KLM 738", 2), lf_reportedLivery("KLM", "B738", "A KLM 738 one", 1),
                lf_reportedLivery("KLM", "B737", "B KLM 737", 2), lf_reportedLivery("KLM", "B738", "A KLM 738 two", 1)};
    }
};

TEST_F(ScanMerge, PriorityMergeKeepsTheBestPackagePerKey) {
    struct Case {
        const char* name;
        std::vector<ScannedLivery> records;
        std::size_t removed;
        std::vector<std::string> kept;  // in their order before the merge
    };
    const std::vector<Case> cases = {
        {"packages A and B", packagesAAndB(), 1, {"A KLM 738 one", "B KLM 737", "A KLM 738 two"}},
        {"one package brings many, a later one none",
         {lf_reportedLivery("DLH", "A320", "A1", 1), lf_reportedLivery("DLH", "A320", "A2", 1), lf_reportedLivery("DLH", "A320", "C", 3)},
         1,
         {"A1", "A2"}},
        {"cargo beside pax of a better package",
         {lf_reportedLivery("KLM", "B738", "pax", 1), lf_reportedLivery("KLM", "B738", "cargo", 2, "", true)},
         0,
         {"pax", "cargo"}},
        {"operator beside none",
         {lf_reportedLivery("KLM", "E190", "own", 1), lf_reportedLivery("KLM", "E190", "by KLC", 3, "", false, "KLC")},
         0,
         {"own", "by KLC"}},
        {"the best need not come first",
         {lf_reportedLivery("BAW", "B77W", "late", 5), lf_reportedLivery("BAW", "B77W", "mid", 3), lf_reportedLivery("BAW", "B77W", "best", 1)},
         2,
         {"best"}},
        {"nothing", {}, 0, {}},
    };
    for (const Case& c : cases) {
        scannedLiveries = c.records;
        EXPECT_EQ(lf_prioritizeLiveries(), c.removed) << c.name;
        EXPECT_EQ(lf_titles(scannedLiveries), c.kept) << c.name;
    }
}

TEST_F(ScanMerge, SortingAloneKeepsEveryPackageAndOrdersByKeyTitleRegistration) {
    scannedLiveries = packagesAAndB();
    EXPECT_EQ(lf_sortAndRemoveDuplicateLiveries(), 0u);
    // B737 has a lower model index than B738 in the database's sorted list.
    EXPECT_EQ(lf_titles(scannedLiveries),
              (std::vector<std::string>{"B KLM 737", "A KLM 738 one", "A KLM 738 two", "B KLM 738"}));
}

TEST_F(ScanMerge, DuplicatesAreEqualTitleKeyAndRegistrationWhateverThePriority) {
    struct Case {
        const char* name;
        std::vector<ScannedLivery> records;
        std::size_t removed;
        std::vector<std::pair<std::string, std::int16_t>> kept;  // title and priority, sorted
    };
    const std::vector<Case> cases = {
        {"same title, key and registration",
         {lf_reportedLivery("KLM", "B738", "T", 2, "PH-BXA"), lf_reportedLivery("KLM", "B738", "T", 1, "PH-BXA")},
         1,
         {{"T", 2}}},
        {"registration differs",
         {lf_reportedLivery("KLM", "B738", "T", 1, "PH-BXA"), lf_reportedLivery("KLM", "B738", "T", 1, "PH-BXB")},
         0,
         {{"T", 1}, {"T", 1}}},
        {"cargo flag differs",
         {lf_reportedLivery("KLM", "B738", "T", 1), lf_reportedLivery("KLM", "B738", "T", 1, "", true)},
         0,
         {{"T", 1}, {"T", 1}}},
        {"operator differs",
         {lf_reportedLivery("KLM", "E190", "T", 1), lf_reportedLivery("KLM", "E190", "T", 1, "", false, "KLC")},
         0,
         {{"T", 1}, {"T", 1}}},
        {"a run of three",
         {lf_reportedLivery("DLH", "A320", "T", 4), lf_reportedLivery("DLH", "A320", "T", 4), lf_reportedLivery("DLH", "A320", "T", 4),
          lf_reportedLivery("DLH", "A320", "U", 4)},
         2,
         {{"T", 4}, {"U", 4}}},
    };
    for (const Case& c : cases) {
        scannedLiveries = c.records;
        EXPECT_EQ(lf_sortAndRemoveDuplicateLiveries(), c.removed) << c.name;
        std::vector<std::pair<std::string, std::int16_t>> kept;
        for (const auto& l : scannedLiveries) kept.emplace_back(l.title, l.priority);
        EXPECT_EQ(kept, c.kept) << c.name;
    }
}

TEST_F(ScanMerge, TheUniqueStepKeepsTheFirstOfEachRun) {
    std::vector<ScannedLivery> range = {lf_reportedLivery("DLH", "A320", "T", 7), lf_reportedLivery("DLH", "A320", "T", 2),
                                        lf_reportedLivery("DLH", "A320", "U", 3)};
    const auto end = lf_findDuplicateLivery(range.begin(), range.end());
    ASSERT_EQ(end - range.begin(), 2);
    EXPECT_EQ(range[0].priority, 7);
    EXPECT_EQ(range[1].title, "U");
}

class ScanReport : public tavo::test::LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        lf_clearScanMessages();
        // The start-up makes both report folders before any scan.
        fs::create_directories(outputInfoDir);
        fs::create_directories(outputErrorsDir);
        newLogLines();
    }
    void TearDown() override {
        lf_clearScanMessages();
        LogFileTest::TearDown();
    }
    static std::string file(ScanListFile index) {
        return tavo::test::readFile(lf_scanListFileName()[index]);
    }
};

TEST_F(ScanReport, TheSevenFilesAndTheirFolders) {
    std::vector<std::string> names;
    for (const auto& path : lf_scanListFileName()) names.push_back(path.generic_string());
    EXPECT_EQ(names, (std::vector<std::string>{"output/info/AircraftCfgWithNoFltsimSection.txt",
                                               "output/info/DontUseLiveries.txt",
                                               "output/errors/InvalidAirlineCodes.txt",
                                               "output/errors/InvalidAircraftCodes.txt",
                                               "output/errors/Fixes.txt",
                                               "output/errors/InvalidAircraftCfgFiles.txt",
                                               "output/errors/IncompleFltsimSections.txt"}));
    EXPECT_EQ(&lf_scanListFileName(), &lf_scanListFileName());
}

TEST_F(ScanReport, MessagesArePaddedCodeInPath) {
    lf_addScanMessage("DLX", "aig/klm/aircraft.cfg", "[fltsim.3]");
    lf_addScanMessage("ABCDEFGHIJKLMN", "x/aircraft.cfg", "");
    lf_addModelFixMessage("B7X7", "aig/b7x7/aircraft.cfg");
    lf_addModelFixMessage("  ", "aig/none/aircraft.cfg");
    EXPECT_EQ(scanInvalidAirlineCodes, (std::list<std::string>{"DLX          in aig/klm/aircraft.cfg [fltsim.3]",
                                                               "ABCDEFGHIJKLMN in x/aircraft.cfg "}));
    EXPECT_EQ(scanInvalidModelCodes, (std::list<std::string>{"B7X7             in aig/b7x7/aircraft.cfg",
                                                             "                 in aig/none/aircraft.cfg"}));
}

TEST_F(ScanReport, SummaryLinesAndTheirCounts) {
    struct Case {
        const char* name;
        std::function<void()> fill;
        std::string logged;
    };
    const std::string errors = "output/errors/";
    const std::vector<Case> cases = {
        {"nothing", [] {}, "\nNo errors\n"},
        {"only files without sections",
         [] { scanNoSectionFiles = {"b/aircraft.cfg", "a/aircraft.cfg"}; },
         "\nNo errors\n\nInformation:\n"
         "    2 empty aircraft.cfg files, see output/info/AircraftCfgWithNoFltsimSection.txt\n"},
        {"one airline code", [] { lf_addScanMessage("XXX", "p", ""); },
         "\nErrors:\n    1 invalid airline code, see " + errors + "InvalidAirlineCodes.txt\n"},
        {"two airline codes",
         [] {
             lf_addScanMessage("XXX", "p", "");
             lf_addScanMessage("YYY", "p", "");
         },
         "\nErrors:\n    2 invalid airline codes, see " + errors + "InvalidAirlineCodes.txt\n"},
        // A fix is written to the errors folder: the summary must not say "No errors" above it.
        {"only model fixes", [] { scanFixes = {"Model fix: B7M8 found in p changed into B38M"}; },
         "\nErrors:\n    1 fixes, see " + errors + "Fixes.txt\n"},
        {"one model code", [] { lf_addModelFixMessage("M", "p"); },
         "\nErrors:\n    1 invalid model code, see " + errors + "InvalidAircraftCodes.txt\n"},
        {"every list",
         [] {
             lf_addScanMessage("XXX", "p", "");
             lf_addModelFixMessage("M", "p");
             lf_addModelFixMessage("N", "p");
             scanFixes = {"Model fix: B7M8 found in p changed into B38M"};
             scanInvalidCfgFiles = {"f"};
             scanIncompleteSections = {"s2", "s1", "s2"};
             scanNoSectionFiles = {"e"};
         },
         "\nErrors:\n"
         "    1 invalid airline code, see " + errors + "InvalidAirlineCodes.txt\n"
         "    2 invalid model codes, see " + errors + "InvalidAircraftCodes.txt\n"
         "    1 fixes, see " + errors + "Fixes.txt\n"
         "    1 invalid aircraft.cfg files, see " + errors + "InvalidAircraftCfgFiles.txt\n"
         "    2 incomplete [fltsim.x] sections, see " + errors + "IncompleFltsimSections.txt\n"
         "\nInformation:\n"
         "    1 empty aircraft.cfg files, see output/info/AircraftCfgWithNoFltsimSection.txt\n"},
    };
    for (const Case& c : cases) {
        lf_clearScanMessages();
        c.fill();
        lf_writeScanReport();
        EXPECT_EQ(newLogLines(), c.logged) << c.name;
    }
}

TEST_F(ScanReport, TheFilesHoldTheirLinesSortedWithLineFeeds) {
    lf_addScanMessage("ZZZ", "pkg/b/aircraft.cfg", "[fltsim.1]");
    lf_addScanMessage("AAA", "pkg/a/aircraft.cfg", "[fltsim.0]");
    lf_addModelFixMessage("Q1", "pkg/q/aircraft.cfg");
    lf_addModelFixMessage("B7", "pkg/b/aircraft.cfg");
    scanFixes = {"Model fix: Z found in p changed into A", "Model fix: A found in p changed into Z"};
    scanInvalidCfgFiles = {"pkg/z/aircraft.cfg: no title", "pkg/a/aircraft.cfg: unreadable"};
    scanIncompleteSections = {"pkg/b [fltsim.2] no model", "pkg/a [fltsim.0] no title", "pkg/b [fltsim.2] no model",
                              "Pkg/b [fltsim.2] no model"};
    scanNoSectionFiles = {"pkg/y/aircraft.cfg", "pkg/x/aircraft.cfg"};
    lf_writeScanReport();

    EXPECT_EQ(file(invalidAirlineCodesList), "AAA          in pkg/a/aircraft.cfg [fltsim.0]\n"
                                             "ZZZ          in pkg/b/aircraft.cfg [fltsim.1]\n");
    EXPECT_EQ(file(invalidModelCodesList), "B7               in pkg/b/aircraft.cfg\n"
                                           "Q1               in pkg/q/aircraft.cfg\n");
    EXPECT_EQ(file(fixesList), "Model fix: Z found in p changed into A\nModel fix: A found in p changed into Z\n");
    EXPECT_EQ(file(invalidCfgFilesList), "pkg/a/aircraft.cfg: unreadable\npkg/z/aircraft.cfg: no title\n");
    // Byte order: upper case first; equal lines once.
    EXPECT_EQ(file(incompleteSectionsList),
              "Pkg/b [fltsim.2] no model\npkg/a [fltsim.0] no title\npkg/b [fltsim.2] no model\n");
    EXPECT_EQ(file(noSectionFilesList), "pkg/x/aircraft.cfg\npkg/y/aircraft.cfg\n");
    EXPECT_FALSE(fs::exists(lf_scanListFileName()[dontUseTitlesList]));

    // An empty list writes no file and leaves an old one alone.
    lf_clearScanMessages();
    lf_addModelFixMessage("NEW", "p");
    lf_writeScanReport();
    EXPECT_EQ(file(invalidModelCodesList), "NEW              in p\n");
    EXPECT_EQ(file(fixesList), "Model fix: Z found in p changed into A\nModel fix: A found in p changed into Z\n");
}

TEST_F(ScanReport, TheDontUseTitlesAreWrittenInTheSetsOrder) {
    dontUseTitles = {"Title B", "Title A", "Title C"};
    const fs::path path = lf_scanListFileName()[dontUseTitlesList];
    lf_writeScanListFile(dontUseTitles, path);
    std::string expected;
    for (const auto& title : dontUseTitles) expected += title + "\n";
    EXPECT_EQ(tavo::test::readFile(path), expected);
}

TEST_F(ScanReport, AReportFileThatCannotBeWrittenIsLogged) {
    // A folder where the report file should be: it cannot be opened as a file.
    const fs::path target = lf_scanListFileName()[invalidAirlineCodesList];
    fs::create_directories(target);
    lf_addScanMessage("XXX", "p", "");
    lf_writeScanReport();
    EXPECT_EQ(newLogLines(), "\nErrors:\n"
                             "Error writing file output/errors/InvalidAirlineCodes.txt: Is a directory\n"
                             "    1 invalid airline code, see output/errors/InvalidAirlineCodes.txt\n");
    EXPECT_TRUE(fs::is_directory(target));
    EXPECT_TRUE(fs::is_empty(outputErrorsDir / "InvalidAirlineCodes.txt"));
    EXPECT_EQ(std::distance(fs::directory_iterator(outputErrorsDir), fs::directory_iterator()), 1);

    // The files-without-sections report goes straight into output/info.
    fs::remove_all(outputInfoDir);
    lf_clearScanMessages();
    scanNoSectionFiles = {"e"};
    lf_writeScanReport();
    EXPECT_EQ(newLogLines(), "\nNo errors\n\nInformation:\n"
                             "Error writing file output/info/AircraftCfgWithNoFltsimSection.txt: "
                             "No such file or directory\n"
                             "    1 empty aircraft.cfg files, see output/info/AircraftCfgWithNoFltsimSection.txt\n");
}

TEST_F(ScanReport, AFolderThatCannotBeMadeIsLoggedAndNothingWritten) {
    fs::remove_all(outputDir);
    tavo::test::writeFile(outputDir, "a file where the folder should be");
    lf_addModelFixMessage("M", "p");
    lf_writeScanReport();
    const std::string log = newLogLines();
    const std::string prefix = "\nErrors:\nError creating directories output/errors: ";
    ASSERT_EQ(log.substr(0, prefix.size()), prefix) << log;
    const std::string rest = log.substr(prefix.size());
    const auto lineEnd = rest.find('\n');
    EXPECT_GT(lineEnd, 0u) << log;  // the system's reason
    EXPECT_EQ(rest.substr(lineEnd + 1), "    1 invalid model code, see output/errors/InvalidAircraftCodes.txt\n");
    EXPECT_EQ(tavo::test::readFile(outputDir), "a file where the folder should be");
}

TEST_F(ScanReport, MissingFoldersAreMadeForTheErrorReports) {
    fs::remove_all(outputDir);
    lf_addScanMessage("XXX", "p", "");
    lf_writeScanReport();
    EXPECT_EQ(file(invalidAirlineCodesList), "XXX          in p \n");
}

TEST_F(ScanReport, ClearingEmptiesEveryListAndBothTitleSets) {
    lf_addScanMessage("XXX", "p", "");
    lf_addModelFixMessage("M", "p");
    scanFixes = {"f"};
    scanInvalidCfgFiles = {"c"};
    scanIncompleteSections = {"s"};
    scanNoSectionFiles = {"e"};
    scanTitles = {"t"};
    dontUseTitles = {"d"};
    lf_clearScanMessages();
    EXPECT_TRUE(scanInvalidAirlineCodes.empty());
    EXPECT_TRUE(scanInvalidModelCodes.empty());
    EXPECT_TRUE(scanFixes.empty());
    EXPECT_TRUE(scanInvalidCfgFiles.empty());
    EXPECT_TRUE(scanIncompleteSections.empty());
    EXPECT_TRUE(scanNoSectionFiles.empty());
    EXPECT_TRUE(scanTitles.empty());
    EXPECT_TRUE(dontUseTitles.empty());
}

}  // namespace
