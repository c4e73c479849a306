// aircraft.cfg files of general and IVAO packages read into ScannedLivery
// records, with every refusal or repair in the scan's report lists.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <fmt/format.h>

#include "liveries/aircraft_cfg.h"
#include "liveries/code_tables.h"
#include "liveries/scan_report.h"
#include "support/aircraft_cfg_builder.h"
#include "support/dbase_builder.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using tavo::test::AircraftCfgBuilder;
using tavo::test::CfgEncoding;
using Keys = AircraftCfgBuilder::Keys;

namespace {

// A record in codes, for readable comparisons.
struct Record {
    std::string title, registration, airline, op, model;
    int cargo = 0;
    int priority = 0;
    friend bool operator==(const Record&, const Record&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Record& r) {
        return out << fmt::format("{{'{}' '{}' {} {} {} c{} p{}}}", r.title, r.registration, r.airline, r.op,
                                  r.model, r.cargo, r.priority);
    }
};

std::vector<Record> lf_records(const std::vector<ScannedLivery>& liveries) {
    std::vector<Record> out;
    for (const auto& l : liveries)
        out.push_back({l.title, l.registration, std::string(gf_airlineCodeAt(l.key.airline)),
                       std::string(gf_airlineCodeAt(l.key.operatorIndex)), std::string(gf_modelCodeAt(l.key.model)),
                       l.key.cargo, l.priority});
    return out;
}

template <typename List>
std::vector<std::string> lf_lines(const List& list) {
    return std::vector<std::string>(list.begin(), list.end());
}

class CfgSections : public tavo::test::LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        // A registration short enough to be found inside a title.
        tavo::test::loadDbase(tavo::test::DbaseBuilder::smallProfile().record("N123A", "DAL", "C172"));
        lf_clearScanMessages();
        newLogLines();
    }
    void TearDown() override {
        lf_clearScanMessages();
        LogFileTest::TearDown();
    }
    // One general file in pkg/<model>/ with the sections given.
    std::vector<Record> readGeneral(const std::string& model, const std::vector<Keys>& sections,
                                    std::uint32_t priority = 3) {
        AircraftCfgBuilder cfg;
        cfg.version().general({{"icao_type_designator", model}});
        for (std::size_t i = 0; i < sections.size(); ++i) cfg.fltsim(static_cast<int>(i), sections[i]);
        const fs::path file = fs::path("pkg") / model / "aircraft.cfg";
        cfg.write(file);
        return lf_records(lf_searchLiveriesinFile(priority, file));
    }
};

constexpr const char* kInvisible = "     \u200E\u200E";

struct GeneralCase {
    const char* name;
    std::string model;
    Keys keys;
    std::vector<Record> records;
    std::vector<std::string> incomplete;       // "{folder}" and "{file}" are replaced
    std::vector<std::string> invalidAirlines;  // the same
};

TEST_F(CfgSections, GeneralSections) {
    const std::string missing = "{file} [fltsim.0] icao_airline is missing, or it has invalid info ";
    const std::vector<GeneralCase> cases = {
        {"complete",
         "A320",
         {{"title", "\"A320 DLH\""}, {"icao_airline", "DLH"}, {"atc_id", "D-AXYZ"}, {"atc_parking_types", "GATE,RAMP"}},
         {{"A320 DLH", "D-AXYZ", "DLH", "", "A320", 0, 3}},
         {},
         {}},
        {"database registration",
         "A320",
         {{"title", "A320 DLH"}, {"icao_airline", "KLM"}, {"atc_id", "D-AIBA"}, {"atc_parking_types", "CARGO"}},
         {{"A320 DLH", "D-AIBA", "DLH", "", "A319", 0, 3}},
         {},
         {}},
        {"DLHX", "A320", {{"title", "t"}, {"icao_airline", "DLHX"}}, {{"t", "", "DLH", "", "A320", 0, 3}}, {}, {}},
        {"DLHC", "A320", {{"icao_airline", "dlhc"}, {"title", "t"}}, {{"t", "", "DLH", "", "A320", 0, 3}}, {}, {}},
        {"DLHB",
         "A320",
         {{"title", "t"}, {"icao_airline", "DLHB"}},
         {{"t", "", "PVT", "", "A320", 0, 3}},
         {missing},
         {"DLHB         in {file} [fltsim.0]"}},
        {"RFO", "A320", {{"title", "t"}, {"icao_airline", "RFO"}}, {}, {missing}, {}},
        {"cargo", "A320", {{"title", "t"}, {"icao_airline", "DLH"}, {"atc_parking_types", "cargo"}},
         {{"t", "", "DLH", "", "A320", 1, 3}}, {}, {}},
        {"cargo and gate", "A320", {{"title", "t"}, {"icao_airline", "DLH"}, {"atc_parking_types", "CARGO, GATE"}},
         {{"t", "", "DLH", "", "A320", 0, 3}}, {}, {}},
        {"comment after atc_id", "A320", {{"title", "t"}, {"icao_airline", "DLH"}, {"atc_id", "D-AXYZ;comment"}},
         {{"t", "D-AXYZ", "DLH", "", "A320", 0, 3}}, {}, {}},
        {"two registrations", "A320", {{"title", "t"}, {"icao_airline", "DLH"}, {"atc_id", "D-AXYZ, D-AXYW"}},
         {{"t", "", "DLH", "", "A320", 0, 3}}, {}, {}},
        {"long registration", "A320", {{"title", "t"}, {"icao_airline", "DLH"}, {"atc_id", "ABCDEFGHIJKLM"}},
         {{"t", "", "DLH", "", "A320", 0, 3}}, {"invalid atc_id=ABCDEFGHIJKLM in: t"}, {}},
        {"starred registration", "A320", {{"title", "t"}, {"icao_airline", "DLH"}, {"atc_id", "D-A*BC"}},
         {{"t", "", "DLH", "", "A320", 0, 3}}, {"invalid atc_id=D-A*BC in: t"}, {}},
        // Five blanks and two LEFT-TO-RIGHT MARKs, as a real livery has them.
        {"blanks and invisible marks", "A320", {{"title", "t"}, {"icao_airline", "DLH"}, {"atc_id", kInvisible}},
         {{"t", "", "DLH", "", "A320", 0, 3}}, {"invalid atc_id=\u200E\u200E in: t"}, {}},
        {"quoted blanks and invisible marks", "A320",
         {{"title", "t"}, {"icao_airline", "DLH"}, {"atc_id", "\"" + std::string(kInvisible) + "\""}},
         {{"t", "", "DLH", "", "A320", 0, 3}}, {"invalid atc_id=" + std::string(kInvisible) + " in: t"}, {}},
        {"PMDG before its airline", "A320", {{"title", "PMDG 737 DLH"}, {"icao_airline", "DLH"}}, {}, {missing}, {}},
        {"Fenix after its airline", "A320", {{"icao_airline", "DLH"}, {"title", "FenixA320 DLH"}}, {}, {}, {}},
        {"Fictional", "A320", {{"title", "Fictional DLH"}, {"icao_airline", "DLH"}}, {}, {}, {}},
        {"STUB", "A320", {{"title", "A320-STUB"}, {"icao_airline", "DLH"}, {"atc_id", "D-AXYZ"}},
         {{"A320-STUB", "", "ZZZ", "", "A320", 0, 3}}, {}, {}},
        {"Heavy without airline", "B77W", {{"title", "t"}}, {},
         {missing, "'{folder}' '[fltsim.0]' has no airline and no regcode info"}, {}},
        {"Heavy, unknown registration", "B77W", {{"title", "t"}, {"atc_id", "D-AXYZ"}}, {},
         {missing, "'{folder}' '[fltsim.0]' has no airline and regcode not in dbase"}, {}},
        {"Heavy, known registration", "B77W", {{"title", "t"}, {"atc_id", "G-STBA"}},
         {{"t", "G-STBA", "BAW", "", "B77W", 0, 3}}, {missing}, {}},
        {"Light without airline", "C172", {{"title", "Cessna"}}, {{"Cessna", "", "PVT", "", "C172", 0, 3}},
         {missing}, {}},
        {"Light, registration in the title", "C172", {{"title", "Cessna N123A"}},
         {{"Cessna N123A", "N123A", "DAL", "", "C172", 0, 3}}, {missing}, {}},
        {"Light, unknown registration", "C172", {{"title", "c"}, {"atc_id", "D-EXYZ"}},
         {{"c", "D-EXYZ", "PVT", "", "C172", 0, 3}}, {missing}, {}},
        {"operator from the database", "E190", {{"title", "t"}, {"icao_airline", "DLH"}, {"atc_id", "PH-EXA"}},
         {{"t", "PH-EXA", "KLM", "KLC", "E190", 0, 3}}, {}, {}},
        {"second title", "A320", {{"title", "t"}, {"icao_airline", "DLH"}, {"title", "u"}}, {},
         {"{folder} [fltsim.0] has more than one title key"}, {}},
        {"second airline", "A320", {{"title", "t"}, {"icao_airline", "DLH"}, {"ICAO_AIRLINE", "KLM"}}, {},
         {"{folder} [fltsim.0] has more than one atc_parking_codes key"}, {}},
        {"second parking types", "A320",
         {{"title", "t"}, {"icao_airline", "DLH"}, {"atc_parking_types", "GATE"}, {"atc_parking_types", "RAMP"}}, {},
         {"{folder} [fltsim.0] has more than one atc_parking_types key"}, {}},
        {"second atc_id", "A320", {{"title", "t"}, {"icao_airline", "DLH"}, {"atc_id", "D-AXYZ"}, {"atc_id", "D-AXYW"}},
         {}, {"{folder}, [fltsim.0], has more than one atc_id key"}, {}},
        {"no title", "A320", {{"icao_airline", "DLH"}}, {}, {"{folder} [fltsim.0] misses title"}, {}},
        {"comment kept in the title", "A320", {{"title", "A320 ; old"}, {"icao_airline", "DLH"}},
         {{"A320 ; old", "", "DLH", "", "A320", 0, 3}}, {}, {}},
    };
    for (const auto& c : cases) {
        lf_clearScanMessages();
        const auto records = readGeneral(c.model, {c.keys});
        const std::string folder = "pkg/" + c.model, file = folder + "/aircraft.cfg";
        auto fill = [&](std::vector<std::string> lines) {
            for (auto& line : lines) line = fmt::format(fmt::runtime(line), fmt::arg("folder", folder),
                                                        fmt::arg("file", file));
            return lines;
        };
        EXPECT_EQ(records, c.records) << c.name;
        EXPECT_EQ(lf_lines(scanIncompleteSections), fill(c.incomplete)) << c.name;
        EXPECT_EQ(lf_lines(scanInvalidAirlineCodes), fill(c.invalidAirlines)) << c.name;
    }
}

TEST_F(CfgSections, DontUseTitlesAndTitlesTakenBefore) {
    dontUseTitles.insert("banned");
    const Keys banned = {{"title", "banned"}, {"icao_airline", "DLH"}};
    const Keys shared = {{"title", "shared"}, {"icao_airline", "DLH"}};
    EXPECT_EQ(readGeneral("A320", {banned, shared}).size(), 1u);
    EXPECT_TRUE(scanIncompleteSections.empty());
    // The same title in another package: reported, no record.
    EXPECT_TRUE(readGeneral("A319", {shared}).empty());
    EXPECT_EQ(lf_lines(scanIncompleteSections),
              (std::vector<std::string>{"pkg/A319 [fltsim.0] title 'shared' already exists"}));
}

TEST_F(CfgSections, SectionsEndAtOtherHeadersAndMalformedHeadersCount) {
    AircraftCfgBuilder cfg;
    cfg.general({{"icao_type_designator", "a320"}})
        .line("title=outside")
        .section("  [FLTSIM.7]", {{"title", "seven"}, {"icao_airline", "DLH"}})
        .section("[fltsim.x]", {{"title", "malformed"}, {"icao_airline", "KLM"}})
        .line(";[fltsim.8]")
        .line("atc_id=D-AXYZ")
        .section("[Effects]", {{"title", "not a livery"}});
    cfg.write("pkg/A320/aircraft.cfg");
    EXPECT_EQ(lf_records(lf_searchLiveriesinFile(0, "pkg/A320/aircraft.cfg")),
              (std::vector<Record>{{"seven", "", "DLH", "", "A320", 0, 0}, {"malformed", "D-AXYZ", "KLM", "", "A320", 0, 0}}));
    // The commented header is a plain line of the section before it.
    EXPECT_EQ(lf_lines(scanIncompleteSections), std::vector<std::string>{});
}

TEST_F(CfgSections, FilesThatGiveNothing) {
    EXPECT_TRUE(lf_searchLiveriesinFile(0, "pkg/none/aircraft.cfg").empty());
    EXPECT_EQ(newLogLines(), "");
    // A file without a model.
    AircraftCfgBuilder().fltsim(0, {{"title", "t"}, {"icao_airline", "DLH"}}).write("pkg/x/aircraft.cfg");
    EXPECT_TRUE(lf_searchLiveriesinFile(0, "pkg/x/aircraft.cfg").empty());
    EXPECT_EQ(lf_lines(scanInvalidCfgFiles),
              (std::vector<std::string>{"Line icao_type_designator= is missing in [General] section of pkg/x/aircraft.cfg"}));
    // A refused section number.
    AircraftCfgBuilder().general({{"icao_type_designator", "A320"}}).fltsim(-1, {{"title", "t"}}).write("pkg/y/aircraft.cfg");
    EXPECT_TRUE(lf_searchLiveriesinFile(0, "pkg/y/aircraft.cfg").empty());
    EXPECT_EQ(scanInvalidCfgFiles.back(),
              "pkg/y/aircraft.cfg contains a [fltsim.x] section with a number < 0 or > 10000");
    EXPECT_TRUE(scanTitles.empty());
}

TEST_F(CfgSections, EveryEncodingGivesTheSameRecords) {
    AircraftCfgBuilder cfg;
    cfg.version().general({{"ICAO_TYPE_DESIGNATOR", "A320"}});
    cfg.fltsim(0, {{"title", "\"A320 Lufthansa Café\""}, {"icao_airline", "DLH"}, {"atc_id", "D-AXYZ"}});
    cfg.fltsim(1, {{"Title", "A320 KLM Müller – 2"}, {"atc_parking_types", "CARGO"}, {"icao_airline", "klm"}});
    cfg.fltsim(2, {{"title", "A320 BAW"}, {"atc_id", "G-EUPA"}});
    const std::vector<Record> expected = {{"A320 Lufthansa Café", "D-AXYZ", "DLH", "", "A320", 0, 1},
                                          {"A320 KLM Müller – 2", "", "KLM", "", "A320", 1, 1},
                                          {"A320 BAW", "G-EUPA", "BAW", "", "A319", 0, 1}};
    for (const bool crlf : {true, false}) {
        cfg.crlf = crlf;
        for (const auto encoding : tavo::test::allCfgEncodings) {
            lf_clearScanMessages();
            const fs::path file = fmt::format("pkg/{}{}/aircraft.cfg", tavo::test::cfgEncodingName(encoding), crlf);
            cfg.write(file, encoding);
            EXPECT_EQ(lf_records(lf_searchLiveriesinFile(1, file)), expected)
                << tavo::test::cfgEncodingName(encoding) << " crlf " << crlf;
        }
    }
}

// --- IVAO packages -----------------------------------------------------------

class IvaoSections : public CfgSections {
protected:
    // One IVAO file in IVAO_<folder> with the sections and texture folders.
    std::vector<Record> readIvao(const std::string& folder, const std::vector<Keys>& sections,
                                 const std::vector<std::string>& textures) {
        const fs::path file = tavo::test::ivaoCfgPath("Community", folder);
        AircraftCfgBuilder cfg;
        for (std::size_t i = 0; i < sections.size(); ++i) cfg.fltsim(static_cast<int>(i), sections[i]);
        cfg.write(file);
        tavo::test::makeTextureFolders(file, textures);
        return lf_records(lf_searchLiveriesinIVAOFile(2, file));
    }
};

struct IvaoCase {
    const char* name;
    std::string folder;
    Keys keys;
    std::vector<std::string> textures;
    std::vector<Record> records;
    std::vector<std::string> incomplete;  // "{folder}" replaced
    std::vector<std::string> invalidAirlines;
};

TEST_F(IvaoSections, Sections) {
    const std::vector<IvaoCase> cases = {
        {"winglet folder", "B738WLfa", {{"title", "B738W DLH 123"}, {"texture", "DLH"}}, {"DLH"},
         {{"B738W DLH 123", "", "DLH", "", "B738", 0, 2}}, {}, {}},
        {"other folder", "B738WL", {{"title", "B738 KLM"}, {"texture", "KLM"}, {"atc_id", "PH-ABC"}}, {"KLM"},
         {{"B738 KLM", "PH-ABC", "KLM", "", "B738", 0, 2}}, {}, {}},
        {"W in another folder", "B738WL", {{"title", "B738W DLH 123"}, {"texture", "DLH"}}, {"DLH"}, {},
         {"{folder} [fltsim.0] misses airlinecode in title: B738W DLH 123, and no regcode"}, {}},
        {"W read as the airline elsewhere", "B738WL", {{"title", "B738WDL 1"}, {"texture", "DLH"}}, {"DLH"}, {}, {},
         {"WDL          in {folder}/aircraft.cfg [fltsim.0]"}},
        {"texture in other case", "B738", {{"title", "B738 DLH"}, {"texture", "dlh"}}, {"DLH"},
         {{"B738 DLH", "", "DLH", "", "B738", 0, 2}}, {}, {}},
        {"missing texture folder", "B738", {{"title", "B738 DLH"}, {"texture", "DLH"}}, {"KLM"}, {},
         {"{folder}/texture.DLH [fltsim.0] does not exist"}, {}},
        {"bare texture folder", "B738", {{"title", "B738 DLH"}}, {""}, {{"B738 DLH", "", "DLH", "", "B738", 0, 2}},
         {}, {}},
        {"bare texture folder missing", "B738", {{"title", "B738 DLH"}}, {"DLH"}, {},
         {"{folder}/texture [fltsim.0] does not exist"}, {}},
        {"bracket in the title", "B738", {{"texture", "DLH"}, {"title", "Boeing [test]"}}, {"DLH"}, {},
         {"{folder} [fltsim.0] misses title"}, {}},
        {"unknown airline", "B738", {{"title", "B738 QQQ"}, {"texture", "Q"}}, {"Q"}, {}, {},
         {"QQQ          in {folder}/aircraft.cfg [fltsim.0]"}},
        {"no airline, no registration", "B738", {{"title", "Boeing 737"}}, {""}, {},
         {"{folder} [fltsim.0] misses airlinecode in title: Boeing 737, and no regcode"}, {}},
        {"no airline, unknown registration", "B738", {{"title", "Boeing 737"}, {"atc_id", "EI-ZZZ"}}, {""}, {},
         {"{folder} [fltsim.0] misses airlinecode in title: Boeing 737, and regcode unknown EI-ZZZ"}, {}},
        {"no airline, known registration", "B738", {{"title", "Boeing 737"}, {"atc_id", "EI-DCL"}}, {""},
         {{"Boeing 737", "EI-DCL", "RYR", "", "B738", 0, 2}}, {}, {}},
        {"atc_id keeps its semicolon", "B738", {{"title", "B738 DLH"}, {"atc_id", "D-AXYZ;x"}}, {""},
         {{"B738 DLH", "D-AXYZ;x", "DLH", "", "B738", 0, 2}}, {}, {}},
        {"invalid atc_id", "B738", {{"title", "B738 DLH"}, {"atc_id", "D-A*YZ"}}, {""},
         {{"B738 DLH", "", "DLH", "", "B738", 0, 2}}, {"invalid atc_id=D-A*YZ in B738 DLH"}, {}},
        {"atc_id of blanks and invisible marks", "B738", {{"title", "B738 DLH"}, {"atc_id", kInvisible}}, {""},
         {{"B738 DLH", "", "DLH", "", "B738", 0, 2}}, {"invalid atc_id=\u200E\u200E in B738 DLH"}, {}},
        {"second title", "B738", {{"title", "B738 DLH"}, {"title", "x"}}, {""}, {},
         {"{folder} [fltsim.0] has more than one title key"}, {}},
        {"second parking types", "B738", {{"title", "B738 DLH"}, {"atc_parking_types", "G"}, {"atc_parking_types", "R"}},
         {""}, {}, {"{folder} [fltsim.0] has more than one atc_parking_types key"}, {}},
        {"second atc_id", "B738", {{"title", "B738 DLH"}, {"atc_id", "D-AXYZ"}, {"ATC_ID", "D-AXYW"}}, {""}, {},
         {"{folder}, [fltsim.0], has more than one atc_id key"}, {}},
    };
    for (const auto& c : cases) {
        lf_clearScanMessages();
        fs::remove_all("Community");
        const auto records = readIvao(c.folder, {c.keys}, c.textures);
        const std::string folder = "Community/IVAO_MTL/SimObjects/Airplanes/IVAO_" + c.folder;
        auto fill = [&](std::vector<std::string> lines) {
            for (auto& line : lines) line = fmt::format(fmt::runtime(line), fmt::arg("folder", folder));
            return lines;
        };
        EXPECT_EQ(records, c.records) << c.name;
        EXPECT_EQ(lf_lines(scanIncompleteSections), fill(c.incomplete)) << c.name;
        EXPECT_EQ(lf_lines(scanInvalidAirlineCodes), fill(c.invalidAirlines)) << c.name;
    }
}

TEST_F(IvaoSections, TitlesTakenBeforeAndTrimmedTitles) {
    const auto first = readIvao("B738", {{{"title", "\" B738 DLH \""}}, {{"title", "B738 DLH"}}}, {""});
    EXPECT_EQ(first, (std::vector<Record>{{"B738 DLH", "", "DLH", "", "B738", 0, 2}}));
    EXPECT_EQ(lf_lines(scanIncompleteSections),
              (std::vector<std::string>{
                  "Community/IVAO_MTL/SimObjects/Airplanes/IVAO_B738 [fltsim.1] title already exists: B738 DLH"}));
    EXPECT_EQ(newLogLines(), "removed spaces around title ' B738 DLH ' --> 'B738 DLH'\n");
}

TEST_F(IvaoSections, MissingFilesAndFoldersOutsideThePackages) {
    const fs::path missing = tavo::test::ivaoCfgPath("Community", "B738");
    EXPECT_TRUE(lf_searchLiveriesinIVAOFile(0, missing).empty());
    EXPECT_EQ(newLogLines(), "==> ! No text encoding detected for " + missing.generic_string() + "\n");
    EXPECT_TRUE(lf_searchLiveriesinIVAOFile(0, "Community/other/B738/aircraft.cfg").empty());
    EXPECT_EQ(lf_lines(scanInvalidModelCodes),
              (std::vector<std::string>{"                 in Community/other/B738/aircraft.cfg"}));
}

}  // namespace
