// Airport files: the writer's two modes and its failures (the old file kept,
// no temporary file left), the stand and option readers with their log lines,
// and the canonical file name of a versioned file.

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "airports/airport_file_format.h"
#include "foundation/xml.h"
#include "liveries/code_tables.h"
#include "platform/os/os.h"
#include "support/airport_file_builder.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using tavo::test::apfOption;
using tavo::test::ApfFile;
using tavo::test::ApfStand;
using tavo::test::apfStand;

namespace {

constexpr double kPi = 3.141592653589793;

Stand makeStand(const std::string& name, ParkingType type, double radiusMetres = 20.0, double lat = 47.25,
                double lon = 11.34, double headingRad = kPi / 2) {
    return Stand(name, {}, lat, lon, headingRad, radiusMetres, type, false, false, false);
}

StandOption makeOption(const std::string& reg, std::uint32_t number, std::uint32_t day, int first, int last) {
    StandOption option;
    option.registration = reg;
    option.number = number;
    option.day = day;
    for (int slot = first; slot <= last; ++slot) option.hours.set(static_cast<std::size_t>(slot));
    option.real = 1;
    return option;
}

Airport makeAirport() {
    Airport airport;
    airport.icao = IcaoCode("LOWI");
    airport.iata = IataCode("INN");
    airport.latitude = 47.260278;
    airport.longitude = 11.343889;
    airport.name = "Innsbruck";
    airport.altitude = 1906;
    airport.publisher = "simaddon";
    airport.manifest = ManifestInfo{"Innsbruck", "1.2.3", "Maker", "Creator"};
    return airport;
}

const AirportParkingSettings kSettings{45, 3, 1, 0, 1, 0};

// The file from <parameters> on (meta carries today's date).
std::string body(const fs::path& path) {
    const std::string text = tavo::test::readFile(path);
    const std::size_t at = text.find("<parameters>");
    return at == std::string::npos ? text : text.substr(at);
}

std::vector<fs::path> folderEntries(const fs::path& folder) {
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(folder)) entries.push_back(entry.path().filename());
    return entries;
}

std::vector<Stand> readStands(const std::string& text) {
    pugi::xml_document document;
    EXPECT_TRUE(document.load_string(text.c_str()));
    std::vector<Stand> stands;
    lf_readParkPositions(document, stands);
    return stands;
}

class AirportFileTest : public tavo::test::LogFileTest {};

TEST_F(AirportFileTest, GeneratedModeWritesGeometryWithoutOptionsOrSettings) {
    Airport airport = makeAirport();
    Stand none = makeStand("G 1", ParkingType::NONE, 16.0);
    none.cargo = true;
    none.options.push_back(makeOption("OE-LAA", 1, 1, 10, 12));
    Stand heli = makeStand("H1", ParkingType::NONE, 10.0, 47.26, 11.35, 0.0);
    heli.heli = true;
    airport.stands = {makeStand("A1", ParkingType::GATE_HEAVY, 40.0, 47.25, 11.34, 3 * kPi / 2), none, heli};
    airport.publisher.clear();
    airport.bglPath = "C:/x/APX.bgl";
    ASSERT_TRUE(gf_writeApf(airport, "out/LOWI.xml", kApfModeGenerated, 2, false, std::nullopt));
    EXPECT_EQ(body("out/LOWI.xml"),
              "<parameters>\n"
              "    <parameter name=\"icao\" value=\"LOWI\" />\n"
              "    <parameter name=\"iata\" value=\"INN\" />\n"
              "    <parameter name=\"airport_name\" value=\"Innsbruck\" />\n"
              "    <parameter name=\"latitude\" value=\"47.2603\" />\n"
              "    <parameter name=\"longitude\" value=\"11.3439\" />\n"
              "    <parameter name=\"publisher\" value=\"\" />\n"
              "    <parameter name=\"version\" value=\"1.2.3\" />\n"
              "    <parameter name=\"altitude\" value=\"1906\" />\n"
              "    <parameter name=\"num_parkpos\" value=\"3\" />\n"
              "    <parameter name=\"BGLpath\" value=\"C:/x/APX.bgl\" />\n"
              "    <parameter name=\"manufacturer\" value=\"Maker\" />\n"
              "    <parameter name=\"creator\" value=\"Creator\" />\n"
              "  </parameters>\n"
              "  <parkpositions>\n"
              "    <parkpos id=\"A1\" typestr=\"GATE_HEAVY\" latitude=\"47.250000\" longitude=\"11.340000\" "
              "heading=\"270.0\" radius=\"40.0\" />\n"
              "    <parkpos id=\"G 1\" typestr=\"NONE\" latitude=\"47.250000\" longitude=\"11.340000\" "
              "heading=\"90.0\" radius=\"16.0\" type=\"0\" cargo=\"true\" ramp=\"false\" />\n"
              "    <parkpos id=\"H1\" typestr=\"NONE\" latitude=\"47.260000\" longitude=\"11.350000\" "
              "heading=\"0.0\" radius=\"10.0\" heli=\"true\" />\n"
              "  </parkpositions>\n"
              "</root>\n");
    // Read back: the NONE stand gets a type from cargo, the helipad stays NONE.
    pugi::xml_document document;
    ASSERT_TRUE(document.load_file("out/LOWI.xml"));
    std::vector<Stand> stands;
    lf_readParkPositions(document, stands);
    ASSERT_EQ(stands.size(), 3u);
    EXPECT_EQ(stands[0].type, ParkingType::GATE_HEAVY);
    EXPECT_NEAR(stands[0].heading, 3 * kPi / 2, 1e-12);
    EXPECT_NEAR(stands[0].radius, 40.0 / 1852.0, 1e-15);
    EXPECT_EQ(stands[1].type, ParkingType::RAMP_CARGO);
    EXPECT_TRUE(stands[1].options.empty());
    EXPECT_EQ(stands[2].type, ParkingType::NONE);
    EXPECT_TRUE(stands[2].heli);
    const auto meta = gf_readDataFileMeta(document, false);
    ASSERT_TRUE(meta);
    EXPECT_EQ(meta->sim, 2u);
    EXPECT_EQ(meta->version, "16.8.0");
}

TEST_F(AirportFileTest, LearnedModeWritesOptionsAndSettings) {
    Airport airport = makeAirport();
    airport.qfReal = 40;
    airport.qfSoft = 0;
    airport.latitude = 0.0;
    airport.longitude = 0.0;
    airport.publisher = "stock";
    Stand learned = makeStand("B2", ParkingType::GATE_MEDIUM);  // not manual: id and options only
    StandOption a = makeOption("OE-LAA", 1, 1, 10, 12);
    a.key.airline = gf_internAirlineCode("AUA");
    a.key.model = gf_internModelCode("A320");
    a.callsign1 = "AUA123";
    a.callsign2 = "AUA124";
    a.cpl = true;
    StandOption b = makeOption("D-AIBA", 2, 7, 47, 47);
    b.key.flag = 1;
    b.real = 0;
    b.callsign1 = "DLH1";
    StandOption unnumbered = makeOption("X-1", 0, 1, 1, 1);
    StandOption unregistered = makeOption("", 3, 1, 1, 1);
    learned.options = {a, unnumbered, b, unregistered};
    Stand manual = makeStand("M1", ParkingType::RAMP_GA_SMALL, 12.0);
    manual.manual = true;
    airport.stands = {learned, manual};
    ASSERT_TRUE(gf_writeApf(airport, "LOWI.xml", kApfModeLearned, 1, false, kSettings));
    EXPECT_EQ(body("LOWI.xml"),
              "<parameters>\n"
              "    <parameter name=\"icao\" value=\"LOWI\" />\n"
              "    <parameter name=\"iata\" value=\"INN\" />\n"
              "    <parameter name=\"airport_name\" value=\"Innsbruck\" />\n"
              "    <parameter name=\"publisher\" value=\"stock\" />\n"
              "    <parameter name=\"RT_PARKTRAFFIC_ONLY\" value=\"true\" />\n"
              "    <parameter name=\"AUTO_PARK\" value=\"false\" />\n"
              "    <parameter name=\"parking_percentage\" value=\"45\" />\n"
              "    <parameter name=\"MAX_FIT\" value=\"3\" />\n"
              "    <parameter name=\"WEEK\" value=\"true\" />\n"
              "    <parameter name=\"PARK_SOFT\" value=\"false\" />\n"
              "  </parameters>\n"
              "  <parkpositions>\n"
              "    <parkpos id=\"B2\">\n"
              "      <opt reg=\"OE-LAA\" airl=\"AUA\" type=\"A320\" day=\"1\" hh=\"10:12\" cs=\"AUA123:AUA124\" "
              "cpl=\"true\" />\n"
              "      <opt reg=\"D-AIBA\" soft=\"true\" day=\"7\" hh=\"47\" cs=\"DLH1\" />\n"
              "    </parkpos>\n"
              "    <parkpos id=\"M1\" typestr=\"RAMP_GA_SMALL\" latitude=\"47.250000\" longitude=\"11.340000\" "
              "heading=\"90.0\" radius=\"12.0\" manual=\"true\" />\n"
              "  </parkpositions>\n"
              "</root>\n");
}

TEST_F(AirportFileTest, HandmadeParametersAndQualityFactors) {
    struct Case {
        int real, soft;
        const char* expected;
    };
    const Case cases[] = {
        {40, 0, "Qf_real=40 "}, {0, 5, "Qf_real=0 Qf_soft=5 "}, {-1, 5, "Qf_soft=5 "},
        {12, 7, "Qf_real=12 Qf_soft=7 "}, {0, 0, ""}, {-1, 0, ""},
    };
    for (const Case& c : cases) {
        Airport airport = makeAirport();
        airport.qfReal = c.real;
        airport.qfSoft = c.soft;
        pugi::xml_document document;
        ASSERT_TRUE(lf_writeAirportParameters(document.append_child("root"), airport, kApfModeLearned, true, kSettings));
        std::string names;
        bool handmade = false;
        bool altitude = false;
        for (const auto parameter : document.child("root").child("parameters").children("parameter")) {
            const std::string name = parameter.attribute("name").as_string();
            if (name.rfind("Qf_", 0) == 0) names += name + "=" + parameter.attribute("value").as_string() + " ";
            handmade = handmade || (name == "handmade" && std::string(parameter.attribute("value").as_string()) == "true");
            altitude = altitude || name == "altitude";
        }
        EXPECT_EQ(names, c.expected) << c.real << "/" << c.soft;
        EXPECT_TRUE(handmade && altitude);
    }
    pugi::xml_document document;
    EXPECT_FALSE(lf_writeAirportParameters(document.append_child("root"), makeAirport(), kApfModeLearned, false,
                                           std::nullopt))
        << "learned mode needs settings";
}

TEST_F(AirportFileTest, FailedWritesKeepTheOldFileAndLeaveNoTemporary) {
    tavo::test::writeFile("LOWI.xml", "old");
    Stand badDay = makeStand("C1", ParkingType::GATE_SMALL);
    badDay.options.push_back(makeOption("OE-LAA", 1, 0, 3, 4));
    Stand brokenHours = makeStand("C1", ParkingType::GATE_SMALL);
    StandOption gap = makeOption("OE-LAB", 1, 2, 3, 3);
    gap.hours.set(5);
    gap.callsign1 = "AUA1";
    brokenHours.options.push_back(gap);
    Stand noPosition = makeStand("Z1", ParkingType::GATE_SMALL, 20.0, 0.00005, 0.00005);
    noPosition.manual = true;
    Stand zeroRadius = makeStand("Z2", ParkingType::GATE_SMALL, 0.0);
    Stand nanHeading = makeStand("Z3", ParkingType::GATE_SMALL, 20.0, 47.0, 11.0, std::nan(""));
    struct Case {
        const char* what;
        std::vector<Stand> stands;
        int mode;
        std::string log;  // the start of the logged text
    };
    const Case cases[] = {
        {"empty id", {makeStand("", ParkingType::GATE_SMALL)}, kApfModeGenerated,
         "==> gf_writeApf: empty or duplicate stand id ''\n"},
        {"repeated id", {makeStand("A", ParkingType::GATE_SMALL), makeStand("A", ParkingType::GATE_SMALL)},
         kApfModeGenerated, "==> gf_writeApf: empty or duplicate stand id 'A'\n"},
        {"position at zero", {noPosition}, kApfModeLearned, "==> gf_writeApf: stand 'Z1' has invalid geometry\n"},
        {"zero radius", {zeroRadius}, kApfModeGenerated, "==> gf_writeApf: stand 'Z2' has invalid geometry\n"},
        {"heading not a number", {nanHeading}, kApfModeGenerated,
         "==> gf_writeApf: stand 'Z3' has invalid geometry\n"},
        {"option on day 0", {badDay}, kApfModeLearned, "==> invalid flight option: OE-LAA  "},
        {"hours not one run", {brokenHours}, kApfModeLearned, "==> invalid flight option: OE-LAB AUA1 "},
    };
    for (const Case& c : cases) {
        Airport airport = makeAirport();
        airport.stands = c.stands;
        newLogLines();
        EXPECT_FALSE(gf_writeApf(airport, "LOWI.xml", c.mode, 2, false, kSettings)) << c.what;
        const std::string log = newLogLines();
        EXPECT_EQ(log.rfind(c.log, 0), 0u)
            << c.what << ": " << log;
        EXPECT_EQ(tavo::test::readFile("LOWI.xml"), "old") << c.what;
        EXPECT_EQ(folderEntries(".").size(), 2u) << c.what << " (LOWI.xml and Log.txt only)";
    }
    // The day 0 option in generated mode is not written and does not fail.
    Airport airport = makeAirport();
    airport.stands = {badDay};
    EXPECT_TRUE(gf_writeApf(airport, "LOWI.xml", kApfModeGenerated, 2, false, std::nullopt));
    // An empty path fails with its line.
    newLogLines();
    EXPECT_FALSE(gf_writeApf(airport, "", kApfModeGenerated, 2, false, std::nullopt));
    EXPECT_EQ(newLogLines(), "==> gf_writeApf: empty output filename\n");
}

TEST_F(AirportFileTest, AFailedMoveKeepsTheOldFileAndRemovesTheTemporary) {
    tavo::test::writeFile("LOWI.xml", "old");
    Airport airport = makeAirport();
    airport.stands = {makeStand("A1", ParkingType::GATE_SMALL)};
    {
        const ScopedOsFaultHook hook([](OsOperation operation, const fs::path&, const fs::path&) {
            return operation == OsOperation::move || operation == OsOperation::copy
                       ? std::make_error_code(std::errc::permission_denied)
                       : std::error_code{};
        });
        EXPECT_FALSE(gf_writeApf(airport, "LOWI.xml", kApfModeGenerated, 2, false, std::nullopt));
    }
    EXPECT_EQ(tavo::test::readFile("LOWI.xml"), "old");
    EXPECT_EQ(folderEntries(".").size(), 2u);
    ASSERT_TRUE(gf_writeApf(airport, "LOWI.xml", kApfModeGenerated, 2, false, std::nullopt));
    EXPECT_NE(tavo::test::readFile("LOWI.xml"), "old");
    EXPECT_EQ(folderEntries(".").size(), 2u);
}

TEST_F(AirportFileTest, SixHundredStandsAreWrittenAndTheFirst512Read) {
    Airport airport = makeAirport();
    for (int i = 0; i < 600; ++i)
        airport.stands.push_back(makeStand(fmt::format("S{}", i), ParkingType::GATE_SMALL, 20.0, 47.0 + i * 1e-4));
    ASSERT_TRUE(gf_writeApf(airport, "LOWI.xml", kApfModeGenerated, 2, false, std::nullopt));
    pugi::xml_document document;
    ASSERT_TRUE(document.load_file("LOWI.xml"));
    EXPECT_EQ(std::distance(document.child("root").child("parkpositions").children("parkpos").begin(),
                            document.child("root").child("parkpositions").children("parkpos").end()),
              600);
    std::vector<Stand> stands;
    newLogLines();
    lf_readParkPositions(document, stands);
    ASSERT_EQ(stands.size(), 512u);
    EXPECT_EQ(stands.back().name, "S511");
    EXPECT_EQ(newLogLines(), "==> airport file contains more than 512 stands; remaining stands skipped\n");
}

TEST_F(AirportFileTest, StandReaderTypesPositionsAndHeadings) {
    struct Case {
        const char* what;
        ApfStand stand;
        std::optional<ParkingType> type;  // nothing: rejected
        std::string log;
    };
    auto with = [](ApfStand stand, tavo::test::XmlAttributes extra) {
        for (auto& attribute : extra) stand.attributes.push_back(attribute);
        return stand;
    };
    const ApfStand noType = apfStand("N", "", 47.0, 11.0, 90.0, 16.0);
    const Case cases[] = {
        {"typestr", apfStand("N", "RAMP_GA_EXTRA", 47.0, 11.0), ParkingType::RAMP_GA_EXTRA, ""},
        {"typestr case", with(apfStand("N", "gate_heavy", 47.0, 11.0, 90.0, 15.9), {{"cargo", "false"}, {"ramp", "false"}}),
         ParkingType::GATE_SMALL, ""},
        {"16.0 m gate", with(noType, {{"type", "0"}, {"cargo", "false"}, {"ramp", "false"}}), ParkingType::GATE_MEDIUM, ""},
        {"30.0 m gate", with(apfStand("N", "NONE", 47.0, 11.0, 90.0, 30.0), {{"cargo", "false"}, {"ramp", "false"}}),
         ParkingType::GATE_HEAVY, ""},
        {"30.0 m ramp", with(apfStand("N", "NONE", 47.0, 11.0, 90.0, 30.0), {{"cargo", "false"}, {"ramp", "true"}}),
         ParkingType::RAMP_GA_LARGE, ""},
        {"16.0 m ramp", with(noType, {{"cargo", "false"}, {"ramp", "true"}}), ParkingType::RAMP_GA_MEDIUM, ""},
        {"cargo", with(noType, {{"cargo", "true"}, {"ramp", "true"}}), ParkingType::RAMP_CARGO, ""},
        {"numeric type", with(noType, {{"type", "6"}}), ParkingType::RAMP_MIL_CARGO, ""},
        {"numeric type out of table", with(noType, {{"type", "16"}}), std::nullopt,
         "==> stand N has no valid type, and no valid cargo/ramp fallback info\n"},
        {"no fallback", apfStand("N", "NONE", 47.0, 11.0), std::nullopt,
         "==> stand N has no valid type, and no valid cargo/ramp fallback info\n"},
        {"fallback without radius", with(apfStand("N", "NONE", 47.0, 11.0, 90.0, 0.0), {{"cargo", "0"}, {"ramp", "0"}}),
         std::nullopt, "==> stand N has no valid type and no usable radius\n"},
        {"helipad", with(apfStand("N", "NONE", 47.0, 11.0), {{"heli", "true"}}), ParkingType::NONE, ""},
        {"helipad without radius", with(apfStand("N", "NONE", 47.0, 11.0, 90.0, 0.0), {{"heli", "true"}}),
         std::nullopt, "==> stand N has invalid radius or heading\n"},
        {"typed without radius", apfStand("N", "GATE_SMALL", 47.0, 11.0, 90.0, 0.0), std::nullopt,
         "==> stand N has invalid radius or heading\n"},
        {"near (0, 0)", apfStand("N", "GATE_SMALL", 0.00005, 0.00005), std::nullopt,
         "==> stand N has no valid lat/lon\n"},
        {"(0, 0.0002)", apfStand("N", "GATE_SMALL", 0.0, 0.0002), ParkingType::GATE_SMALL, ""},
        {"latitude 90.5", apfStand("N", "GATE_SMALL", 90.5, 11.0), std::nullopt, "==> stand N has no valid lat/lon\n"},
    };
    for (const Case& c : cases) {
        ApfFile file;
        file.stands = {c.stand};
        newLogLines();
        const std::vector<Stand> stands = readStands(file.text());
        EXPECT_EQ(newLogLines(), c.log) << c.what;
        ASSERT_EQ(stands.size(), c.type ? 1u : 0u) << c.what;
        if (c.type) {
            EXPECT_EQ(stands[0].type, *c.type) << c.what;
        }
    }
    // Flags come from the type and the cargo/ramp attributes are then ignored.
    ApfFile flags;
    flags.stands = {with(apfStand("C", "RAMP_MIL_CARGO", 47.0, 11.0), {{"cargo", "false"}, {"ramp", "true"}}),
                    with(apfStand("R", "RAMP_GA", 47.0, 11.0), {{"cargo", "true"}})};
    const auto flagged = readStands(flags.text());
    ASSERT_EQ(flagged.size(), 2u);
    EXPECT_TRUE(flagged[0].cargo && !flagged[0].ramp);
    EXPECT_TRUE(!flagged[1].cargo && flagged[1].ramp);
    // Headings in [0, 2 pi).
    const std::pair<double, double> headings[] = {{-90.0, 3 * kPi / 2}, {360.0, 0.0}, {0.0, 0.0}, {450.0, kPi / 2}};
    for (const auto& [degrees, radians] : headings) {
        ApfFile file;
        file.stands = {apfStand("H", "GATE_SMALL", 47.0, 11.0, degrees)};
        const auto stands = readStands(file.text());
        ASSERT_EQ(stands.size(), 1u);
        EXPECT_NEAR(stands[0].heading, radians, 1e-12) << degrees;
        EXPECT_LT(stands[0].heading, 2 * kPi);
    }
}

TEST_F(AirportFileTest, IdsAreTrimmedAndCountedAndTheBoundIsOnElements) {
    ApfFile file;
    ApfStand noId = apfStand("x", "GATE_SMALL", 47.0, 11.0);
    noId.attributes.erase(noId.attributes.begin());
    file.stands = {noId, apfStand(" \t", "GATE_SMALL", 47.0, 11.0), apfStand(" A1\r\n", "GATE_SMALL", 47.0, 11.0),
                   apfStand("A1", "GATE_SMALL", 47.1, 11.0), apfStand("B", "GATE_SMALL", 0.0, 0.0),
                   apfStand("B", "GATE_SMALL", 47.2, 11.0)};
    newLogLines();
    auto stands = readStands(file.text());
    ASSERT_EQ(stands.size(), 1u);
    EXPECT_EQ(stands[0].name, "A1");
    EXPECT_EQ(stands[0].latitude, 47.0);
    EXPECT_EQ(newLogLines(),
              "==> Parking position #1 has no 'id' attribute, skipped.\n"
              "==> Stand #2 has empty 'id' attribute, skipped.\n"
              "==> Stand 'A1' appears more than once, last one skipped!\n"
              "==> stand B has no valid lat/lon\n"
              "==> Stand 'B' appears more than once, last one skipped!\n");
    // 512 rejected elements, then a good one: the good one is never read.
    ApfFile bound;
    for (int i = 0; i < 512; ++i) bound.stands.push_back(apfStand(fmt::format("R{}", i), "GATE_SMALL", 0.0, 0.0));
    bound.stands.push_back(apfStand("GOOD", "GATE_SMALL", 47.0, 11.0));
    EXPECT_TRUE(readStands(bound.text()).empty());
    // No parkpositions: one plain log line; a document without root is read too.
    ApfFile none;
    none.withParkpositions = false;
    newLogLines();
    EXPECT_TRUE(readStands(none.text()).empty());
    EXPECT_EQ(newLogLines(), "airport file has no 'parkpositions' section\n");
    ApfFile rootless;
    rootless.withRoot = false;
    rootless.metaXml.reset();
    rootless.stands = {apfStand("A", "GATE_SMALL", 47.0, 11.0)};
    EXPECT_EQ(readStands(rootless.text()).size(), 1u);
}

TEST_F(AirportFileTest, OptionsAndTheirIdentity) {
    ApfStand stand = apfStand("A", "GATE_SMALL", 47.0, 11.0);
    auto withKey = [](tavo::test::XmlAttributes option) {
        option.emplace_back("airl", "AUA");
        option.emplace_back("type", "A320");
        return option;
    };
    stand.options = {
        withKey(apfOption("OE-LAA", "1", "10:12", std::string("AUA1:"))),
        apfOption("OE-LAB", "0", "3"),       // day 0: skipped
        apfOption("OE-LAC", "8", "3"),       // day 8: skipped
        apfOption("OE-LAD", "2", ""),        // no hours: skipped
        apfOption("OE-LAE", "2", "zz"),      // gives no set: skipped
        apfOption("OE-LAF", "7", "47", std::string(":AUA2")),
        apfOption("OE-LAG", "3", "0", std::string("A:B:C")),
    };
    stand.options[5].emplace_back("soft", "true");
    stand.options[6].emplace_back("cpl", "true");
    ApfFile file;
    file.stands = {stand};
    newLogLines();
    const auto stands = readStands(file.text());
    // The stand reader says nothing; the one line is the hours parser's about "zz".
    const std::string log = newLogLines();
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    EXPECT_NE(log.find("'zz'"), std::string::npos) << log;
    ASSERT_EQ(stands.size(), 1u);
    const auto& options = stands[0].options;
    ASSERT_EQ(options.size(), 3u);
    EXPECT_EQ(options[0].registration, "OE-LAA");
    EXPECT_EQ(options[0].callsign1, "AUA1");
    EXPECT_EQ(options[0].callsign2, "");
    EXPECT_EQ(options[0].key.airline, gf_internAirlineCode("AUA"));
    EXPECT_EQ(options[0].key.model, gf_internModelCode("A320"));
    EXPECT_EQ(options[0].hours.count(), 3u);
    EXPECT_TRUE(options[0].hours.test(10) && options[0].hours.test(12));
    EXPECT_EQ(options[0].real, 1u);
    EXPECT_EQ(options[0].mark, 1u);
    EXPECT_EQ(options[1].callsign1, "");
    EXPECT_EQ(options[1].callsign2, "AUA2");
    EXPECT_EQ(options[1].real, 0u);
    EXPECT_EQ(options[1].day, 7u);
    EXPECT_EQ(options[2].callsign1, "A");
    EXPECT_EQ(options[2].callsign2, "B:C");
    EXPECT_TRUE(options[2].cpl);
    for (std::uint32_t i = 0; i < 3; ++i) EXPECT_EQ(options[i].number, i + 1);
    // The caller's mark goes to every option.
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(file.text().c_str()));
    std::vector<Stand> manual;
    ASSERT_TRUE(lf_readParkpos(document.child("root").child("parkpositions").child("parkpos"), "A", 0, manual));
    EXPECT_EQ(manual.at(0).options.at(0).mark, 0u);
}

TEST_F(AirportFileTest, WrittenOptionsReadBackTheSame) {
    Airport airport = makeAirport();
    Stand stand = makeStand("A1", ParkingType::GATE_MEDIUM);
    stand.manual = true;
    StandOption option = makeOption("OE-LAA", 1, 3, 20, 27);
    option.key.airline = gf_internAirlineCode("AUA");
    option.key.model = gf_internModelCode("E195");
    option.callsign1 = "AUA7";
    option.callsign2 = "AUA8";
    option.cpl = true;
    stand.options = {option};
    airport.stands = {stand};
    ASSERT_TRUE(gf_writeApf(airport, "x/LOWI.xml", kApfModeLearned, 2, false, kSettings));
    pugi::xml_document document;
    ASSERT_TRUE(document.load_file("x/LOWI.xml"));
    std::vector<Stand> stands;
    lf_readParkPositions(document, stands);
    ASSERT_EQ(stands.size(), 1u);
    const StandOption& read = stands[0].options.at(0);
    EXPECT_EQ(read.key, option.key);
    EXPECT_EQ(read.hours, option.hours);
    EXPECT_EQ(read.day, 3u);
    EXPECT_EQ(read.callsign1, "AUA7");
    EXPECT_EQ(read.callsign2, "AUA8");
    EXPECT_TRUE(read.cpl);
    EXPECT_EQ(read.real, 1u);
}

// Every stand the reader accepts comes back from the writer as a stand the
// reader accepts again, with its values: radii that one decimal would round
// to 0, positions that six decimals would move into the refused corner around
// (0, 0), and a second callsign without a first.
TEST_F(AirportFileTest, WhatTheReaderAcceptsTheWriterGivesBack) {
    struct Case {
        const char* what;
        std::string latitude, longitude, radius, cs;
        std::string writtenRadius;  // empty: not compared
    };
    const Case cases[] = {
        {"ordinary", "47.25", "11.34", "12.34", "AUA1:AUA2", "12.3"},
        {"radius below 5 cm", "47.25", "11.34", "0.04", "AUA1", "0.04"},
        {"radius of 0.1 mm", "47.25", "11.34", "1e-4", "", ""},
        {"radius just at 5 cm", "47.25", "11.34", "0.05", "", "0.1"},
        {"radius far below a metre", "47.25", "11.34", "3e-300", "", ""},
        {"latitude just outside the corner", "0.00010049", "0", "20", "", ""},
        {"longitude just outside the corner", "0", "-0.0001004", "20", "", ""},
        {"second callsign alone", "47.25", "11.34", "20", ":AUA2", ""},
    };
    for (const Case& c : cases) {
        ApfFile file;
        ApfStand stand{{{"id", "A1"},
                        {"typestr", "GATE_SMALL"},
                        {"latitude", c.latitude},
                        {"longitude", c.longitude},
                        {"heading", "90"},
                        {"radius", c.radius}},
                       {apfOption("OE-LAA", "2", "3:5", c.cs)}};
        file.stands = {stand};
        Airport airport = makeAirport();
        airport.stands = readStands(file.text());
        ASSERT_EQ(airport.stands.size(), 1u) << c.what;
        ASSERT_TRUE(gf_writeApf(airport, "again.xml", kApfModeLearned, 2, true, kSettings)) << c.what;
        pugi::xml_document written;
        ASSERT_TRUE(written.load_file("again.xml")) << c.what;
        const pugi::xml_node parkpos = written.child("root").child("parkpositions").child("parkpos");
        if (!c.writtenRadius.empty()) EXPECT_STREQ(parkpos.attribute("radius").value(), c.writtenRadius.c_str()) << c.what;
        std::vector<Stand> again;
        lf_readParkPositions(written, again);
        ASSERT_EQ(again.size(), 1u) << c.what;
        const Stand& before = airport.stands[0];
        // One decimal moves a radius by up to 5 cm; a smaller one stays within 1 %.
        EXPECT_NEAR(again[0].radius, before.radius, std::max(before.radius * 0.01, 0.05 * metresToNm)) << c.what;
        EXPECT_NEAR(again[0].latitude, before.latitude, 1e-6) << c.what;
        EXPECT_NEAR(again[0].longitude, before.longitude, 1e-6) << c.what;
        ASSERT_EQ(again[0].options.size(), 1u) << c.what;
        EXPECT_EQ(again[0].options[0].callsign1, before.options[0].callsign1) << c.what;
        EXPECT_EQ(again[0].options[0].callsign2, before.options[0].callsign2) << c.what;
    }
    // A radius that vanishes in nautical miles is refused on reading: no file
    // could carry the stand it would make.
    ApfFile tiny;
    tiny.stands = {apfStand("T1", "GATE_SMALL", 47.25, 11.34)};
    tiny.stands[0].attributes[5].second = "4e-321";
    newLogLines();
    EXPECT_TRUE(readStands(tiny.text()).empty());
    EXPECT_NE(newLogLines().find("==> stand T1 has invalid radius or heading\n"), std::string::npos);
}

TEST(CanonicalAirportFilePathTest, VersionedNamesLoseTheirVersion) {
    const std::pair<fs::path, fs::path> cases[] = {
        {"archive/thirdparty/x/EGLL3.enc", "archive/thirdparty/x/EGLL.enc"},
        {"archive/stock/EGLL.xml", "archive/stock/EGLL.xml"},
        {"EGLL12.xml", "EGLL.xml"},
        {"abc.xml", "abc.xml"},
    };
    for (const auto& [path, expected] : cases) EXPECT_EQ(gf_canonicalAirportFilePath(path), expected) << path;
}

}  // namespace
