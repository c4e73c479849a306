// aircraft.cfg key readers, the [fltsim.N] header check and the model code of
// a file with the database's fixes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "liveries/aircraft_cfg.h"
#include "liveries/code_tables.h"
#include "liveries/scan_report.h"
#include "support/dbase_builder.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

using Reader = bool (*)(std::string_view, std::string&);

struct ReaderCase {
    const char* name;
    Reader reader;
    std::string line;
    bool found;
    std::string value;
};

TEST(CfgKeys, ReadersTakeTheValueAsThePackageMeantIt) {
    const std::vector<ReaderCase> cases = {
        {"quoted title", lf_getCfgTitle, "title=\"Airbus A320 Lufthansa\"", true, "Airbus A320 Lufthansa"},
        {"empty title", lf_getCfgTitle, "title=", false, ""},
        {"empty quotes", lf_getCfgTitle, "title=\"\"", false, ""},
        {"capitals and blanks", lf_getCfgTitle, " \tTitle = Boeing 737 \t", true, "Boeing 737"},
        {"comment kept", lf_getCfgTitle, "title=A320 DLH ; old paint", true, "A320 DLH ; old paint"},
        {"other key", lf_getCfgTitle, "ui_title=A320", false, ""},
        {"key behind comment", lf_getCfgTitle, ";title=A320", false, ""},
        {"texture", lf_getCfgTexture, "texture=DLH", true, "DLH"},
        {"atc_id of 3", lf_getCfgAtcId, "atc_id=ABC", false, ""},
        {"atc_id of 6", lf_getCfgAtcId, "atc_id=D-AIBA", true, "D-AIBA"},
        {"atc_id quoted", lf_getCfgAtcId, "ATC_ID=\"D-AIBA\"", true, "D-AIBA"},
        {"airline upper-cased", lf_getCfgIcaoAirline, "icao_airline=dlh", true, "DLH"},
        {"ZZZZ", lf_getCfgIcaoAirline, "ICAO_AIRLINE=ZZZZ", true, "ZZZ"},
        {"empty quoted airline", lf_getCfgIcaoAirline, "icao_airline=\"\"", true, "ZZZ"},
        {"airline without value", lf_getCfgIcaoAirline, "icao_airline=", false, ""},
        {"parking types", lf_getCfgAtcParkingTypes, "atc_parking_types=GATE,RAMP", true, "GATE,RAMP"},
    };
    for (const auto& c : cases) {
        std::string value = "unchanged";
        EXPECT_EQ(c.reader(c.line, value), c.found) << c.name;
        if (c.found) EXPECT_EQ(value, c.value) << c.name;
        else EXPECT_EQ(value, "unchanged") << c.name;
    }
}

TEST(CfgKeys, ModelReadersCutAndLookUp) {
    EXPECT_EQ(lf_getCfgIcaoTypeDesignator("icao_type_designator=b738w"), "B738");
    EXPECT_EQ(lf_getCfgIcaoTypeDesignator("icao_type_designator=\"a20n\""), "A20N");
    EXPECT_EQ(lf_getCfgIcaoTypeDesignator("icao_type_designator="), "");
    EXPECT_EQ(lf_getCfgBaseContainer("base_container=..\\Asobo_A320_NEO"), "A20N");
    EXPECT_EQ(lf_getCfgBaseContainer("base_container=\"..\\Asobo_B787_10\""), "B78X");
    EXPECT_EQ(lf_getCfgBaseContainer("base_container=..\\asobo_a320_neo"), "");
    EXPECT_EQ(lf_getCfgBaseContainer("base_container=..\\Unknown"), "");
    EXPECT_EQ(lf_getCfgBaseContainer("base_container=abc"), "");
}

TEST(CfgKeys, KeyTestsFindTheWordAnywhere) {
    EXPECT_TRUE(lf_isAtcIdLine("ATC_ID=D-AIBA"));
    EXPECT_FALSE(lf_isAtcIdLine("atc_id = D-AIBA"));
    EXPECT_TRUE(lf_hasIcaoAirlineKey("; ICAO_Airline"));
    EXPECT_TRUE(lf_hasAtcParkingTypesKey("x atc_parking_TYPES"));
    EXPECT_FALSE(lf_hasAtcParkingTypesKey("atc_parking_codes=DLH"));
    EXPECT_EQ(lf_findSemicolon("D-AIBA;comment"), 6);
    EXPECT_EQ(lf_findSemicolon("D-AIBA"), -1);
    EXPECT_EQ(lf_findSemicolon(""), -1);
}

TEST(CfgKeys, FltSimNumbers) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"[fltsim.12]", "12"},      {"  [FLTSIM.3]  \r", "3"}, {"[fltsim.x]", "10000"},
        {";[fltsim.0]", ""},        {"//[fltsim.0]", ""},      {"[general]", ""},
        {"[fltsim.-1]", "-1"},      {"[fltsim.1] x", "10000"}, {"title=[fltsim.2]", "10000"},
    };
    for (const auto& [line, number] : cases) EXPECT_EQ(lf_getFltSimNumber(line), number) << line;
}

class CfgFile : public tavo::test::LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        tavo::test::resetToSmallDbase();
        lf_clearScanMessages();
        newLogLines();
    }
    void TearDown() override {
        lf_clearScanMessages();
        LogFileTest::TearDown();
    }
    const fs::path file = "Community/pkg/SimObjects/Airplanes/A320/aircraft.cfg";
    const std::string refused =
        "Community/pkg/SimObjects/Airplanes/A320/aircraft.cfg contains a [fltsim.x] section with a number < 0 or > "
        "10000";
};

TEST_F(CfgFile, SectionNumbersDecideWhetherTheFileIsRead) {
    struct Case {
        const char* name;
        std::vector<std::string> lines;
        bool accepted;
        std::vector<std::string> invalidFiles, noSectionFiles;
    };
    const std::vector<Case> cases = {
        {"0, 1, 10000", {"[fltsim.0]", "[fltsim.1]", "[fltsim.10000]"}, true, {}, {}},
        {"letter", {"[fltsim.0]", "[fltsim.a]"}, true, {}, {}},
        {"0, 1, 10001", {"[fltsim.0]", "[fltsim.1]", "[fltsim.10001]"}, false, {refused}, {}},
        {"-1", {"[fltsim.0]", "[fltsim.-1]"}, false, {refused}, {}},
        {"none", {"[general]", "title=x"}, true, {}, {file.generic_string()}},
        {"only behind ';'", {";[fltsim.0]"}, true, {}, {file.generic_string()}},
    };
    for (const auto& c : cases) {
        lf_clearScanMessages();
        EXPECT_EQ(lf_collectFltSimSections(c.lines, file), c.accepted) << c.name;
        EXPECT_EQ(std::vector<std::string>(scanInvalidCfgFiles.begin(), scanInvalidCfgFiles.end()), c.invalidFiles)
            << c.name;
        EXPECT_EQ(std::vector<std::string>(scanNoSectionFiles.begin(), scanNoSectionFiles.end()), c.noSectionFiles)
            << c.name;
    }
}

TEST_F(CfgFile, AnUnreadableSectionNumberIsLogged) {
    EXPECT_FALSE(lf_collectFltSimSections({"[fltsim.99999999999]"}, file));
    EXPECT_EQ(newLogLines(), "==> fltsim num [fltsim.99999999999] incorrect\n");
    EXPECT_TRUE(scanInvalidCfgFiles.empty());
}

TEST_F(CfgFile, ModelCodesAreCheckedAgainstTheDatabase) {
    const std::string path = file.generic_string();
    EXPECT_EQ(lf_fixModelCode(file, {"[GENERAL]", "icao_type_designator=b738"}), "B738");
    EXPECT_EQ(lf_fixModelCode(file, {"icao_type_designator=\"\"", "icao_type_designator=A32N"}), "A20N");
    EXPECT_EQ(scanFixes, (std::vector<std::string>{"Model fix: A32N found in " + path + " changed into A20N"}));
    EXPECT_EQ(lf_fixModelCode(file, {"icao_type_designator=QQQQ"}), "QQQQ");
    EXPECT_EQ(std::vector<std::string>(scanInvalidModelCodes.begin(), scanInvalidModelCodes.end()),
              (std::vector<std::string>{"QQQQ             in " + path}));
    EXPECT_EQ(lf_fixModelCode(file, {"base_container=..\\Asobo_A320_NEO"}), "A20N");
    EXPECT_EQ(lf_fixModelCode(file, {"title=x"}), "");
    EXPECT_EQ(std::vector<std::string>(scanInvalidCfgFiles.begin(), scanInvalidCfgFiles.end()),
              (std::vector<std::string>{"Line icao_type_designator= is missing in [General] section of " + path}));
    // Two aircraft name their model elsewhere: no complaint.
    EXPECT_EQ(lf_fixModelCode("Community/pmdg-aircraft-77w/aircraft.cfg", {"title=x"}), "");
    EXPECT_EQ(scanInvalidCfgFiles.size(), 1u);
    // Nothing of this goes to the log.
    EXPECT_EQ(newLogLines(), "");
}

TEST_F(CfgFile, IvaoModelsComeFromTheFolderName) {
    EXPECT_EQ(lf_fixIVAOModel("C:\\Community\\IVAO_MTL\\SimObjects\\Airplanes\\IVAO_B738WL\\aircraft.cfg"), "B738");
    EXPECT_EQ(lf_fixIVAOModel("/c/ivao_x-csl/SimObjects/Airplanes/IVAO_A32N/aircraft.cfg"), "A20N");
    EXPECT_EQ(scanFixes.size(), 1u);
    EXPECT_EQ(lf_fixIVAOModel("/c/IVAO_MTL/SimObjects/Airplanes/B738/aircraft.cfg"), "");
    EXPECT_EQ(std::vector<std::string>(scanInvalidModelCodes.begin(), scanInvalidModelCodes.end()),
              (std::vector<std::string>{"                 in /c/IVAO_MTL/SimObjects/Airplanes/B738/aircraft.cfg"}));
}

}  // namespace
