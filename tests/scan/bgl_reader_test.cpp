// The BGL reader: the walk of a file's airport sections with every error it
// can refuse a file with, the probe, the packed airport codes, the altitude,
// and helipads and parkings turned into stands, with every read kept inside
// the record and subrecord it belongs to.

#include <chrono>
#include <cmath>
#include <cstring>
#include <sstream>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "airports/airports_list.h"
#include "airports/weekly_traffic.h"
#include "foundation/geodesy.h"
#include "scan/bgl_reader.h"
#include "scan/scan_log.h"
#include "support/airports_data.h"
#include "support/bgl_builder.h"
#include "support/temp_dir.h"

namespace {

using namespace tavo::test;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

std::span<const std::uint8_t> spanOf(const BglBytes& bytes) { return {bytes.data(), bytes.size()}; }

// What reached the hand-over: one entry per airport.
struct HandedAirport {
    Airport airport;
    int helipads = 0;
};
std::vector<HandedAirport> g_handed;
void collect(Airport& airport, int helipads) { g_handed.push_back({airport, helipads}); }

class BglReaderTest : public LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        writeAirportsEnc(dir(), {airportEntry("EGLL", 51.47, -0.46, 83), airportEntry("KJFK", 40.64, -73.78, 13),
                                 airportEntry("EHAM", 52.31, 4.76, -11), airportEntry("LOWI", 47.26, 11.34, 1906)});
        gf_unloadAirportsForTests();
        ASSERT_TRUE(std::holds_alternative<std::size_t>(gf_loadAirports()));
        gf_clearWeeklyTrafficAirports();
        g_airportScanLog.clear();
        g_handed.clear();
        gf_setBglAirportHandover(&collect);
    }
    void TearDown() override {
        gf_setBglAirportHandover(nullptr);
        gf_setBglSteadyClock(nullptr);
        gf_unloadAirportsForTests();
        gf_clearWeeklyTrafficAirports();
        g_airportScanLog.clear();
        LogFileTest::TearDown();
    }

    // Writes the file and processes it; the airports handed on.
    std::vector<HandedAirport> process(const BglBytes& bytes, const std::string& name = "scenery.bgl") {
        writeBglFile(dir() / name, bytes);
        g_handed.clear();
        lf_processBGLfile(dir() / name);
        return g_handed;
    }
    // The stands of the one airport a file yields.
    std::vector<Stand> standsOf(const BglBytes& bytes) {
        const auto handed = process(bytes);
        if (handed.size() != 1) {
            ADD_FAILURE() << handed.size() << " airports handed on";
            return {};
        }
        return handed[0].airport.stands;
    }
    bool scanLogHas(const std::string& line) const {
        for (const auto& l : g_airportScanLog)
            if (l == line) return true;
        return false;
    }
};

std::vector<std::string> namesOf(const std::vector<Stand>& stands) {
    std::vector<std::string> names;
    for (const Stand& s : stands) names.push_back(s.name);
    return names;
}

BglError walkError(const BglBytes& bytes) {
    const BglWalkResult result = lf_walkBglAirportSections(spanOf(bytes));
    if (const auto* error = std::get_if<BglError>(&result)) return *error;
    ADD_FAILURE() << "the walk succeeded";
    return {};
}

std::vector<BglRecordRef> walkRefs(const BglBytes& bytes) {
    const BglWalkResult result = lf_walkBglAirportSections(spanOf(bytes));
    if (const auto* refs = std::get_if<std::vector<BglRecordRef>>(&result)) return *refs;
    const auto& e = std::get<BglError>(result);
    ADD_FAILURE() << "error " << int(e.code) << " at " << e.offset << ": " << e.message;
    return {};
}

const BglParking kGate{10, 9, 12, 30.0f, 90.0f, 51.4700, -0.4500, {}};

// --- the walk ---------------------------------------------------------------

TEST_F(BglReaderTest, EveryErrorCodeComesWithItsMessageAndOffset) {
    for (int code = 0; code <= 10; ++code) {
        SCOPED_TRACE(code);
        const BglCorruption c = bglCorruption(code);
        const BglError e = walkError(c.file.bytes);
        EXPECT_EQ(e.code, code);
        EXPECT_EQ(e.offset, c.offset);
        EXPECT_EQ(e.message, c.message);
        // Processing logs codes 2 and up; 0 and 1 are files of another layout.
        newLogLines();
        const std::string name = fmt::format("broken{}.bgl", code);
        EXPECT_TRUE(process(c.file.bytes, name).empty());
        const std::string line = fmt::format("==> BGL airport section parse error at byte {} in '{}': {}\n", c.offset,
                                             (dir() / name).string(), c.message);
        if (code <= 1) {
            EXPECT_THAT(newLogLines(), Not(HasSubstr("parse error")));
        } else {
            EXPECT_THAT(newLogLines(), HasSubstr(line));
        }
    }
}

TEST_F(BglReaderTest, WalkEdgeCases) {
    // A bare header with no sections walks and yields nothing.
    BglBytes bare = bglBuild({}).bytes;
    ASSERT_EQ(bare.size(), 56u);
    EXPECT_TRUE(walkRefs(bare).empty());

    // Count 0 with size 0 is an empty subsection; count 0 with 8 bytes is error 10.
    EXPECT_TRUE(walkRefs(bglBuild({BglSection{3, 0, {BglSubsection{}}}}).bytes).empty());
    BglFile eight = bglBuild({BglSection{3, 0, {BglSubsection{{bglPlainRecord(0x11, 8)}, 0}}}});
    EXPECT_EQ(walkError(eight.bytes).code, 10);

    // Record sizes 6 and 10 are not multiples of 4; 8 is the smallest legal record.
    for (const std::uint32_t size : {6u, 10u}) {
        BglFile f = bglBuild({BglSection{3, 0, {BglSubsection{{bglPlainRecord(0x11, 12)}}}}});
        f.putU32(f.records[0] + 2, size);
        EXPECT_EQ(walkError(f.bytes).code, 8) << size;
    }
    const BglFile smallest = bglBuild({BglSection{3, 0, {BglSubsection{{bglPlainRecord(0x11, 8)}}}}});
    EXPECT_THAT(walkRefs(smallest.bytes), ElementsAre(BglRecordRef{0x11, smallest.records[0], 8}));

    // Two airport sections naming one table: walked once, not an error.
    BglFile shared = bglFileOf({BglAirport{}});
    {
        BglSubsection sub{{bglAirportRecord(BglAirport{})}, -1};
        shared = bglBuild({BglSection{3, 0, {sub}}, BglSection{3, 0, {}}});
        shared.putU32(shared.sectionEntries[1] + 8, 1);
        shared.putU32(shared.sectionEntries[1] + 12, static_cast<std::uint32_t>(shared.subsectionTables[0]));
    }
    EXPECT_EQ(walkRefs(shared.bytes).size(), 1u);

    // Two descriptors naming one data block: walked once.
    BglFile sameBlock = bglBuild({BglSection{3, 0, {BglSubsection{{bglPlainRecord(0x11, 8)}}, BglSubsection{}}}});
    for (int field = 4; field < 16; field += 4)
        sameBlock.putU32(sameBlock.descriptors[1] + field, sameBlock.u32(sameBlock.descriptors[0] + field));
    EXPECT_EQ(walkRefs(sameBlock.bytes).size(), 1u);

    // Sizes whose product wraps in 32 bits: a section count times 20 of
    // 2^32 + 4, a descriptor count times 16 of 2^32.
    BglFile wrapsCount = bglFileOf({BglAirport{}});
    wrapsCount.putU32(20, 0x0CCCCCCD);
    EXPECT_EQ(walkError(wrapsCount.bytes).code, 2);
    BglFile wrapsTable = bglFileOf({BglAirport{}});
    wrapsTable.putU32(wrapsTable.sectionEntries[0] + 8, 0x10000000);
    EXPECT_EQ(walkError(wrapsTable.bytes).code, 3);

    // Data blocks that overlap partly are error 5.
    BglFile overlap = bglBuild({BglSection{3, 0, {BglSubsection{{bglPlainRecord(0x11, 16)}}, BglSubsection{}}}});
    overlap.putU32(overlap.descriptors[1] + 4, 1);
    overlap.putU32(overlap.descriptors[1] + 8, static_cast<std::uint32_t>(overlap.dataBlocks[0] + 8));
    overlap.putU32(overlap.descriptors[1] + 12, 8);
    const BglError e = walkError(overlap.bytes);
    EXPECT_EQ(e.code, 5);
    EXPECT_EQ(e.offset, overlap.dataBlocks[0] + 8);
    EXPECT_EQ(e.message, "Airport subsection data blocks overlap");
}

TEST_F(BglReaderTest, IntervalsAreInsertedOnceAndOverlapsFound) {
    BglIntervalSet set;
    struct Step {
        std::uint64_t start, length;
        int result;
    };
    const Step steps[] = {
        {100, 20, 0}, {100, 20, 1}, {100, 0, 0},  {120, 10, 0}, {90, 10, 0},  {95, 10, 2},
        {119, 2, 2},  {100, 21, 2}, {100, 19, 2}, {130, 1, 0},  {85, 100, 2}, {0, 0, 0},
    };
    for (const Step& s : steps) EXPECT_EQ(lf_insertInterval(set, s.start, s.length), s.result) << s.start << "+" << s.length;
    EXPECT_EQ(set.size(), 4u);
}

TEST_F(BglReaderTest, ReadsStopAtTheEndOfTheImage) {
    const BglBytes bytes{1, 2, 3, 4, 5};
    EXPECT_EQ(lf_readBglU32(spanOf(bytes), 0), 0x04030201u);
    EXPECT_EQ(lf_readBglU32(spanOf(bytes), 1), 0x05040302u);
    EXPECT_FALSE(lf_readBglU32(spanOf(bytes), 2));
    EXPECT_EQ(lf_readBglU16(spanOf(bytes), 3), 0x0504u);
    EXPECT_FALSE(lf_readBglU16(spanOf(bytes), 4));
    EXPECT_FALSE(lf_readBglU16(spanOf(bytes), 6));
    EXPECT_FALSE(lf_readBglU32(spanOf(bytes), std::numeric_limits<std::uint64_t>::max() - 1));
    EXPECT_TRUE(lf_fitsBelow(4, 1, 5));
    EXPECT_FALSE(lf_fitsBelow(4, 2, 5));
    EXPECT_FALSE(lf_fitsBelow(6, 0, 5));
    EXPECT_FALSE(lf_fitsBelow(1, std::numeric_limits<std::uint64_t>::max(), 5));
}

// --- the probe --------------------------------------------------------------

TEST_F(BglReaderTest, ProbeNeedsAnAirportSectionWithinTheCount) {
    const auto probe = [&](const BglBytes& bytes) {
        writeBglFile(dir() / "probe.bgl", bytes);
        return lf_probeBglHeader(dir() / "probe.bgl");
    };
    const BglFile airport = bglFileOf({BglAirport{}});
    EXPECT_TRUE(probe(airport.bytes));
    // Another section first, then the airport section.
    EXPECT_TRUE(probe(bglBuild({BglSection{0x19, 0, {}}, BglSection{3, 0x10001, {}}, BglSection{5, 0, {}}}).bytes));
    // A one-section file whose section is no airport section fails, whatever
    // follows the table (here bytes that read as type 3 right behind it).
    BglFile other = bglBuild({BglSection{0x19, 0, {BglSubsection{{bglPlainRecord(0x03, 24)}}}}});
    other.putU32(56 + 20, 3);  // the subsection id of the other section's table
    EXPECT_FALSE(probe(other.bytes));
    // Count 0, and a count the file cannot hold.
    BglFile zero = airport;
    zero.putU32(20, 0);
    EXPECT_FALSE(probe(zero.bytes));
    BglFile tooMany = airport;
    tooMany.putU32(20, static_cast<std::uint32_t>((tooMany.bytes.size() - 56) / 20 + 1));
    EXPECT_FALSE(probe(tooMany.bytes));
    // 56 bytes walk, but the probe needs 57.
    BglFile header = bglBuild({BglSection{3, 0, {}}});
    header.bytes.resize(56);
    EXPECT_FALSE(probe(header.bytes));
    header.bytes.push_back(0);
    header.putU32(20, 0);
    EXPECT_FALSE(probe(header.bytes));
    EXPECT_FALSE(lf_probeBglHeader(dir() / "missing.bgl"));
    std::filesystem::create_directory(dir() / "folder.bgl");
    EXPECT_FALSE(lf_probeBglHeader(dir() / "folder.bgl"));
}

// --- codes and altitudes ----------------------------------------------------

TEST_F(BglReaderTest, PackedCodesDecode) {
    struct Case {
        std::uint32_t packed;
        std::string text;
        BglIcaoStatus status;
    };
    const Case cases[] = {
        {28954912, "EGLL", BglIcaoStatus::valid},         // worked out by hand
        {39621632, "KJFK", BglIcaoStatus::valid},
        {28954912 | 0x1F, "EGLL", BglIcaoStatus::valid},  // the low 5 bits are not part of it
        {bglPackIcao("EHAM"), "EHAM", BglIcaoStatus::valid},
        {0, "", BglIcaoStatus::badDigit},                 // one blank digit
        {(16u * 38 + 1) << 5, "", BglIcaoStatus::badDigit},
        {bglPackIcao("LHR"), "LHR", BglIcaoStatus::notFour},
        {bglPackIcao("K1"), "K1", BglIcaoStatus::notFour},
        {bglPackIcao("ZZZZ"), "ZZZZ", BglIcaoStatus::unknown},
        {bglPackIcao("0A9Z"), "0A9Z", BglIcaoStatus::unknown},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.packed);
        const BglIcao decoded = lf_decodeBglIcao(c.packed);
        EXPECT_EQ(decoded.status, c.status);
        if (c.status != BglIcaoStatus::badDigit) {
            EXPECT_EQ(decoded.text, c.text);
        }
    }
    EXPECT_THAT(g_airportScanLog, ElementsAre("ZZZZ is not known", "0A9Z is not known"));
}

TEST_F(BglReaderTest, AltitudeIsSignedAndKeptWithinItsRange) {
    const std::pair<std::int32_t, std::int32_t> cases[] = {
        {3048000, 10000}, {3048400, 0},   {0, 0},     {25298, 83},   {-3048, -10},
        {-6096, -20},     {-6400, 0},     {-60960, 0}, {std::numeric_limits<std::int32_t>::min(), 0},
        {152, 0},         {153, 1},       {-152, 0},   {-153, -1},
    };
    for (const auto& [mm, feet] : cases) {
        BglAirport a;
        a.altitudeMm = mm;
        EXPECT_EQ(lf_initBglAirport(spanOf(bglAirportRecord(a))), feet) << mm;
    }
    // Through the whole file: the record of an airport below sea level.
    BglAirport below{"EHAM", -1, -3048, {bglParkings({kGate})}, -1};
    const auto handed = process(bglFileOf({below}).bytes);
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(handed[0].airport.altitude, -10);
    EXPECT_EQ(handed[0].airport.icao, IcaoCode("EHAM"));
    EXPECT_EQ(handed[0].airport.bglPath, (dir() / "scenery.bgl").string());
}

// --- stands -----------------------------------------------------------------

TEST_F(BglReaderTest, HelipadsAndParkingsBecomeStands) {
    BglParking cargo{5, 5, 7, 40.0f, 0.0f, 51.4710, -0.4510, {}};
    BglParking ga{1, 2, 3, 10.0f, 180.0f, 51.4720, -0.4520, {0x12345678, 0x9}};
    BglParking vehicle{10, 13, 4, 5.0f, 10.0f, 51.4730, -0.4530, {}};
    BglParking none{10, 0, 5, 5.0f, 10.0f, 51.4740, -0.4540, {}};
    BglParking gateZ{37, 15, 4095, 25.0f, 359.5f, -33.9461, 151.1772, {}};
    BglAirport egll{"EGLL", -1, 25298, {bglHelipad({51.4800, -0.4600, 30.0f}), bglHelipad({51.4810, -0.4610, 12.0f}),
                                        bglParkings({kGate, cargo, ga, vehicle, none, gateZ})}, -1};
    const auto handed = process(bglFileOf({egll}).bytes);
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(handed[0].helipads, 2);
    const auto& stands = handed[0].airport.stands;
    ASSERT_THAT(namesOf(stands), ElementsAre("helipad1", "helipad2", "GATE 12", "SE_PARKING 7", "PARKING 3",
                                             "GATE Z4095"));
    const Stand& heli = stands[0];
    EXPECT_NEAR(heli.latitude, 51.48, 1e-6);
    EXPECT_NEAR(heli.longitude, -0.46, 1e-6);
    EXPECT_DOUBLE_EQ(heli.radius, 15.0 / 1852.0);
    EXPECT_EQ(heli.heading, 0.0);
    EXPECT_TRUE(heli.heli);
    EXPECT_FALSE(heli.ramp || heli.cargo || heli.manual);
    EXPECT_EQ(heli.type, ParkingType::NONE);

    const Stand& gate = stands[2];
    EXPECT_NEAR(gate.latitude, 51.47, 1e-6);
    EXPECT_NEAR(gate.longitude, -0.45, 1e-6);
    EXPECT_DOUBLE_EQ(gate.heading, 90.0 * pi / 180.0);
    EXPECT_DOUBLE_EQ(gate.radius, 30.0 / 1852.0);  // not halved
    EXPECT_EQ(gate.type, ParkingType::GATE_MEDIUM);
    EXPECT_FALSE(gate.ramp || gate.cargo || gate.heli);

    EXPECT_DOUBLE_EQ(stands[3].heading, 2 * pi);  // exactly 0 degrees is stored as a full circle
    EXPECT_TRUE(stands[3].cargo);
    EXPECT_FALSE(stands[3].ramp);
    EXPECT_TRUE(stands[4].ramp);
    EXPECT_EQ(stands[4].type, ParkingType::RAMP_GA_SMALL);
    EXPECT_EQ(stands[5].type, ParkingType::GATE_EXTRA);
    EXPECT_NEAR(stands[5].latitude, -33.9461, 1e-6);
    EXPECT_NEAR(stands[5].longitude, 151.1772, 1e-6);
    for (const Stand& s : stands) EXPECT_EQ(s.id, 0u);
}

TEST_F(BglReaderTest, StandNamesAreMadeUnique) {
    std::vector<BglParking> same(12, BglParking{12, 9, 1, 20.0f, 45.0f, 51.47, -0.45, {}});
    for (std::size_t i = 0; i < same.size(); ++i) same[i].lat += 0.0001 * static_cast<double>(i);
    const auto stands = standsOf(bglFileOf({BglAirport{"EGLL", -1, 0, {bglParkings(same)}, -1}}).bytes);
    EXPECT_THAT(namesOf(stands), ElementsAre("GATE A1", "GATE A1a", "GATE A1b", "GATE A1c", "GATE A1d", "GATE A1e",
                                             "GATE A1f", "GATE A1g", "GATE A1h", "GATE A1i", "GATE A1j"));
    EXPECT_TRUE(scanLogHas("===> Warning: more than 10 duplicate IDs GATE A1"));
}

TEST_F(BglReaderTest, InvalidAndDoubleHelipadsAndParkingsAreSkipped) {
    BglAirport a{"KJFK", -1, 3962, {}, -1};
    a.subrecords = {
        bglHelipad({0.00005, 0.00005, 20.0f}),  // (0, 0): no position
        bglHelipad({0.00005, 0.5, 20.0f}),
        bglHelipad({0.00005, 0.5, 24.0f}),      // the same place again
        bglParkings({BglParking{10, 9, 1, 20.0f, 10.0f, 0.0, 0.0, {}}, BglParking{10, 9, 2, 20.0f, 10.0f, 40.6, -73.7, {}}}),
    };
    const auto stands = standsOf(bglFileOf({a}).bytes);
    EXPECT_THAT(namesOf(stands), ElementsAre("helipad1", "GATE 2"));
    EXPECT_TRUE(scanLogHas("lat/lon helipad incorrect (skipped): 0.000050,0.000050"));
    EXPECT_TRUE(scanLogHas("double helipad  (skipped) 0.000050,0.500000"));
    EXPECT_TRUE(scanLogHas("LatLon 0.000000,0.000000 invalid (skipped)"));
}

// Files of every shape the layout allows give the same stands as the plain form.
TEST_F(BglReaderTest, EveryLegalLayoutGivesTheSameStands) {
    const BglAirport plain{"EGLL", -1, 25298,
                           {bglHelipad({51.48, -0.46, 30.0f}), bglPlainRecord(0x19, 12), bglParkings({kGate})}, -1};
    const std::vector<Stand> expected = standsOf(bglFileOf({plain}).bytes);
    ASSERT_EQ(expected.size(), 2u);

    const auto sameAs = [&](const BglBytes& bytes, const char* what) {
        SCOPED_TRACE(what);
        const auto stands = standsOf(bytes);
        ASSERT_EQ(stands.size(), expected.size());
        for (std::size_t i = 0; i < stands.size(); ++i) {
            EXPECT_EQ(stands[i].name, expected[i].name);
            EXPECT_EQ(stands[i].latitude, expected[i].latitude);
            EXPECT_EQ(stands[i].longitude, expected[i].longitude);
            EXPECT_EQ(stands[i].heading, expected[i].heading);
            EXPECT_EQ(stands[i].radius, expected[i].radius);
            EXPECT_EQ(stands[i].type, expected[i].type);
        }
    };
    const BglSubsection sub{{bglAirportRecord(plain)}, -1};
    sameAs(bglBuild({BglSection{3, 0x3, {sub}}}).bytes, "flags 0x3");
    sameAs(bglBuild({BglSection{3, 0x10001, {sub}}}).bytes, "flags 0x10001: 20-byte descriptors");
    sameAs(bglBuild({BglSection{3, 0xFFFFFFFF, {sub}}}).bytes, "every flag bit");
    // With several subsections every descriptor after the first lies where
    // the size chosen by bit 0x10000 alone puts it; the low bits choose nothing.
    const BglSubsection other{{bglPlainRecord(0x11, 8)}, -1};
    sameAs(bglBuild({BglSection{3, 0x3, {other, other, sub}}}).bytes, "flags 0x3, three subsections");
    sameAs(bglBuild({BglSection{3, 0x6, {other, sub, other}}}).bytes, "flags 0x6, three subsections");
    sameAs(bglBuild({BglSection{3, 0x10006, {other, other, sub}}}).bytes, "flags 0x10006, three subsections");

    BglAirport wide = plain;
    wide.subrecords[0] = bglHelipad({51.48, -0.46, 30.0f, 36});
    sameAs(bglFileOf({wide}).bytes, "a 36-byte helipad");
    wide.subrecords[0] = bglHelipad({51.48, -0.46, 30.0f, 64});
    wide.subrecords[1] = bglPlainRecord(0x19, 8);
    sameAs(bglFileOf({wide}).bytes, "a 64-byte helipad, an 8-byte other subrecord");

    BglAirport airlines = plain;
    BglParking coded = kGate;
    coded.airlineCodes = {0x41414141, 0x42424242, 0x43434343};
    airlines.subrecords[2] = bglParkings({coded});
    sameAs(bglFileOf({airlines}).bytes, "airline codes");

    // Other sections, records and subsections around the airport.
    const BglSubsection others{{bglPlainRecord(0x11, 8), bglPlainRecord(0x33, 24)}, -1};
    sameAs(bglBuild({BglSection{0x22, 0, {others, others}}, BglSection{3, 0, {others}},
                     BglSection{3, 0x10000, {others, BglSubsection{{bglPlainRecord(0x12, 16), bglAirportRecord(plain)}}}},
                     BglSection{0x65, 0, {}}})
               .bytes,
           "several sections and subsections");

    // A data block at an offset that is not a multiple of 4.
    BglFile shifted = bglFileOf({plain});
    shifted.bytes.insert(shifted.bytes.begin() + static_cast<std::ptrdiff_t>(shifted.dataBlocks[0]), {0, 0});
    shifted.bytes.insert(shifted.bytes.end(), {0, 0});
    shifted.putU32(shifted.descriptors[0] + 8, static_cast<std::uint32_t>(shifted.dataBlocks[0] + 2));
    sameAs(shifted.bytes, "an unaligned data block");
}

TEST_F(BglReaderTest, OnlyKnownAirportsWithWeeklyTrafficAreHandedOn) {
    writeWktrafficEnc(dir(), {"EGLL,LOWI"});
    ASSERT_TRUE(gf_loadWeeklyTrafficAirports());
    std::vector<BglAirport> airports;
    for (const char* code : {"EGLL", "KJFK", "ZZZZ", "LOWI"})
        airports.push_back(BglAirport{code, -1, 0, {bglParkings({kGate})}, -1});
    airports.push_back(BglAirport{"", 0, 0, {bglParkings({kGate})}, -1});
    // No stands: nothing is handed on.
    airports.push_back(BglAirport{"EGLL", -1, 0, {bglPlainRecord(0x19, 8)}, -1});
    const auto handed = process(bglFileOf(airports).bytes);
    ASSERT_EQ(handed.size(), 2u);
    EXPECT_EQ(handed[0].airport.icao, IcaoCode("EGLL"));
    EXPECT_EQ(handed[1].airport.icao, IcaoCode("LOWI"));
    EXPECT_TRUE(scanLogHas("ZZZZ is not known"));
}

// --- mends: every read stays inside its record and subrecord ----------------

TEST_F(BglReaderTest, AnAirportRecordTooSmallForItsIcaoReadsNothingBehindIt) {
    // An 8-byte airport record followed by a record whose bytes hold EGLL where
    // the small record's ICAO would be, and a parking subrecord where its
    // subrecords would start.
    const BglBytes small = bglPlainRecord(0x56, 8);
    const BglBytes parkings = bglParkings({kGate});
    BglBytes follower = bglPlainRecord(0x11, static_cast<std::uint32_t>(60 + parkings.size()));
    const std::uint32_t egll = bglPackIcao("EGLL");
    std::memcpy(follower.data() + 32, &egll, 4);
    std::copy(parkings.begin(), parkings.end(), follower.begin() + 60);
    const BglFile f = bglBuild({BglSection{3, 0, {BglSubsection{{small, follower}}}}});
    newLogLines();
    EXPECT_TRUE(process(f.bytes).empty());
    EXPECT_THAT(newLogLines(),
                HasSubstr(fmt::format("==> Airport record at byte {} is too small to contain an ICAO\n", f.records[0])));
}

TEST_F(BglReaderTest, AHelipadAsTheLastSubrecordEndsTheRecord) {
    // The record after the airport has the id of a parking subrecord; it must
    // not be read as the airport's parkings.
    BglAirport a{"EGLL", -1, 0, {bglHelipad({51.48, -0.46, 30.0f})}, -1};
    BglBytes lookalike = bglParkings({kGate});
    const auto stands = standsOf(bglBuild({BglSection{3, 0, {BglSubsection{{bglAirportRecord(a), lookalike}}}}}).bytes);
    EXPECT_THAT(namesOf(stands), ElementsAre("helipad1"));
}

TEST_F(BglReaderTest, ParkingEntriesBeyondTheirSubrecordAreNotRead) {
    BglParking second = kGate;
    second.number = 13;
    BglParking outside = kGate;
    outside.number = 99;
    // The count says 3, the subrecord holds 2; a third entry follows in the next subrecord.
    BglBytes parkings = bglParkings({kGate, second}, 3);
    BglBytes behind = bglParkings({outside});
    BglAirport a{"EGLL", -1, 0, {parkings, behind}, -1};
    newLogLines();
    const auto stands = standsOf(bglFileOf({a}).bytes);
    EXPECT_THAT(namesOf(stands), ElementsAre("GATE 12", "GATE 13"));
    EXPECT_THAT(newLogLines(), HasSubstr("   Warning: parking 3 of 3 at byte"));

    // A parking subrecord whose size field runs past its airport record.
    BglAirport over{"EGLL", -1, 0, {bglParkings({kGate}, -1, 8 + 56 + 4)}, -1};
    EXPECT_TRUE(process(bglFileOf({over}).bytes).empty());
}

TEST_F(BglReaderTest, ASubrecordOverrunningItsRecordEndsTheWalk) {
    // The helipad's size field claims the next record too.
    BglAirport a{"EGLL", -1, 0, {bglHelipad({51.48, -0.46, 30.0f, 32, 32 + 68 + 64})}, -1};
    BglAirport b{"KJFK", -1, 0, {bglParkings({kGate})}, -1};
    newLogLines();
    const auto handed = process(bglFileOf({a, b}).bytes);
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(handed[0].airport.icao, IcaoCode("KJFK"));
    EXPECT_THAT(newLogLines(), HasSubstr("exceeds its airport record"));
}

TEST_F(BglReaderTest, AHelipadTooShortForItsFieldsIsSteppedOver) {
    BglAirport a{"EGLL", -1, 0, {bglHelipad({51.48, -0.46, 30.0f, 16}), bglParkings({kGate})}, -1};
    newLogLines();
    EXPECT_THAT(namesOf(standsOf(bglFileOf({a}).bytes)), ElementsAre("GATE 12"));
    EXPECT_THAT(newLogLines(), HasSubstr("is smaller than its fields (16 bytes), skipped."));
}

TEST_F(BglReaderTest, HelipadsInARowAreAllRead) {
    BglAirport a{"EGLL", -1, 0,
                 {bglHelipad({51.48, -0.46, 30.0f}), bglHelipad({51.49, -0.46, 30.0f, 36}),
                  bglHelipad({51.50, -0.46, 30.0f}), bglParkings({kGate})},
                 -1};
    const auto handed = process(bglFileOf({a}).bytes);
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_THAT(namesOf(handed[0].airport.stands), ElementsAre("helipad1", "helipad2", "helipad3", "GATE 12"));
    EXPECT_EQ(handed[0].helipads, 3);
}

TEST_F(BglReaderTest, StandsWithoutAUsableRadiusOrHeadingAreSkipped) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<BglParking> parkings;
    const std::pair<float, float> radiusHeading[] = {{nan, 10.0f}, {0.0f, 10.0f}, {-5.0f, 10.0f}, {inf, 10.0f},
                                                     {20.0f, nan}, {20.0f, inf},  {20.0f, -inf},  {20.0f, 10.0f}};
    std::uint32_t number = 1;
    for (const auto& [radius, heading] : radiusHeading) {
        parkings.push_back(BglParking{10, 9, number, radius, heading, 51.47, -0.45 + 0.001 * number, {}});
        ++number;
    }
    BglAirport a{"EGLL", -1, 0,
                 {bglHelipad({51.48, -0.46, nan}), bglHelipad({51.49, -0.46, 0.0f}), bglHelipad({51.50, -0.46, 8.0f}),
                  bglParkings(parkings)},
                 -1};
    const auto handed = process(bglFileOf({a}).bytes);
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_THAT(namesOf(handed[0].airport.stands), ElementsAre("helipad1", "GATE 8"));
    EXPECT_EQ(handed[0].helipads, 1);
    EXPECT_TRUE(scanLogHas("GATE 1         radius nan invalid (skipped) 51.470000,-0.449000"));
    EXPECT_TRUE(scanLogHas("GATE 5         heading nan invalid (skipped) 51.470000,-0.445000"));
    EXPECT_TRUE(scanLogHas("helipad1       size 0 invalid (skipped) 51.490000,-0.460000"));
}

// --- limits, exceptions, slow files -----------------------------------------

TEST_F(BglReaderTest, TheSubrecordWalkGivesUpAfter9000Steps) {
    BglAirport a{"EGLL", -1, 0, std::vector<BglBytes>(9000, bglPlainRecord(0x19, 8)), -1};
    a.subrecords.push_back(bglParkings({kGate}));
    newLogLines();
    EXPECT_TRUE(process(bglFileOf({a}).bytes).empty());
    EXPECT_THAT(newLogLines(), HasSubstr("==> Error: Maximum loop iterations reached (1) \xE2\x80\x94 possible corrupt "
                                         "SIA or malformed input\n"));
    a.subrecords.erase(a.subrecords.begin());
    EXPECT_EQ(process(bglFileOf({a}).bytes).size(), 1u);
}

void throwingHandover(Airport&, int) { throw std::runtime_error("disk full"); }

TEST_F(BglReaderTest, ExceptionsAreLoggedAndPassedOn) {
    gf_setBglAirportHandover(&throwingHandover);
    writeBglFile(dir() / "x.bgl", bglFileOf({BglAirport{"EGLL", -1, 0, {bglParkings({kGate})}, -1}}).bytes);
    newLogLines();
    EXPECT_THROW(lf_processBGLfile(dir() / "x.bgl"), std::runtime_error);
    EXPECT_THAT(newLogLines(), HasSubstr(fmt::format("==> Exception in lf_processBGLfile (std::ex): {} \xE2\x80\x94 "
                                                     "disk full\n",
                                                     (dir() / "x.bgl").string())));
}

std::chrono::steady_clock::time_point g_fakeNow{};
std::chrono::steady_clock::time_point slowClock() {
    const auto now = g_fakeNow;
    g_fakeNow += std::chrono::milliseconds(1500);
    return now;
}
std::chrono::steady_clock::time_point fastClock() {
    const auto now = g_fakeNow;
    g_fakeNow += std::chrono::milliseconds(400);
    return now;
}

TEST_F(BglReaderTest, SlowFilesAreLoggedWithTheirPhase) {
    const BglFile f = bglFileOf({BglAirport{"EGLL", -1, 0, {bglParkings({kGate})}, -1}});
    writeBglFile(dir() / "slow.bgl", f.bytes);
    const std::string path = (dir() / "slow.bgl").string();
    newLogLines();
    gf_setBglSteadyClock(&slowClock);
    lf_processBGLfile(dir() / "slow.bgl");
    EXPECT_TRUE(lf_probeBglHeader(dir() / "slow.bgl"));
    lf_processBGLfile(dir() / "missing.bgl");
    EXPECT_EQ(newLogLines(),
              fmt::format("==> Slow BGL processing: 1.50 s, {} bytes, phase complete, file '{}'\n"
                          "==> Slow BGL processing: 1.50 s, {} bytes, phase probing header, file '{}'\n"
                          "==> Slow BGL processing: 1.50 s, unknown size, phase opening, file '{}'\n",
                          f.bytes.size(), path, f.bytes.size(), path, (dir() / "missing.bgl").string()));
    gf_setBglSteadyClock(&fastClock);
    lf_processBGLfile(dir() / "slow.bgl");
    EXPECT_EQ(newLogLines(), "");
}

TEST_F(BglReaderTest, FilesAreReadAsWholeWords) {
    const auto words = [](const std::string& bytes) {
        std::istringstream in(bytes);
        return lf_readFileWords(in);
    };
    EXPECT_TRUE(words("").empty());
    // A folder opens as a stream that claims the largest size there is: it is
    // no file, not an allocation of that size.
    std::filesystem::create_directory(dir() / "folder.bgl");
    newLogLines();
    lf_processBGLfile(dir() / "folder.bgl");
    EXPECT_EQ(newLogLines(), "");
    EXPECT_TRUE(words("abc").empty());
    EXPECT_THAT(words("abcdefg"), ElementsAre(0x64636261u));
    EXPECT_THAT(words("abcdefgh"), ElementsAre(0x64636261u, 0x68676665u));
    // A file whose length is not a multiple of 4 walks without its last bytes.
    BglFile f = bglFileOf({BglAirport{"EGLL", -1, 0, {bglParkings({kGate})}, -1}});
    f.bytes.push_back(0xAB);
    EXPECT_EQ(process(f.bytes).size(), 1u);
}

}  // namespace
