// Learned airport files read over the source stands: exact ids, repeated and
// new options, manual stands, handmade files, settings, broken files, and
// options no file could hold left out at the merge.

#include <string>
#include <variant>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "airports/airport_file_format.h"
#include "airports/learned_airport_file.h"
#include "support/airport_file_builder.h"
#include "support/temp_dir.h"

using tavo::test::apfOption;
using tavo::test::ApfFile;
using tavo::test::ApfStand;
using tavo::test::apfStand;

namespace {

std::vector<Stand> sourceStands() {
    std::vector<Stand> stands;
    StandOption archived;
    archived.registration = "OE-LAA";
    archived.number = 1;
    archived.day = 1;
    archived.mark = 1;
    archived.real = 1;
    archived.hours.set(10);
    archived.hours.set(11);
    stands.emplace_back("A1", std::vector<StandOption>{archived}, 47.0, 11.0, 0.0, 30.0, ParkingType::GATE_HEAVY,
                        false, false, false);
    stands.emplace_back("B2", std::vector<StandOption>{}, 47.001, 11.0, 0.0, 30.0, ParkingType::GATE_HEAVY, false,
                        false, false);
    return stands;
}

ApfStand idOnly(const std::string& id) { return ApfStand{{{"id", id}}, {}}; }

class LearnedFileTest : public tavo::test::LogFileTest {
protected:
    LearnedAirportData read(const ApfFile& file, const std::string& name = "Innsbruck") {
        file.write("learned.xml");
        auto result = gf_readLearnedAirportFile("learned.xml", name, sourceStands());
        if (auto* error = std::get_if<std::string>(&result)) {
            ADD_FAILURE() << *error;
            return {};
        }
        return std::get<LearnedAirportData>(std::move(result));
    }
};

TEST_F(LearnedFileTest, OptionsMergeIntoStandsOfExactlyTheirId) {
    ApfFile file;
    file.parameters = {{"airport_name", "Innsbruck"}};
    ApfStand a1 = idOnly("A1");
    a1.options = {apfOption("OE-LAA", "1", "11:12"),   // overlaps the archived option: not added
                  apfOption("OE-LAA", "1", "20:21"),   // disjoint: added as number 2
                  apfOption("OE-LAA", "1", "21"),      // overlaps the one just added
                  apfOption("OE-LAB", "9", "3"),       // day outside 1..7: left out
                  apfOption("OE-LAC", "2", "1,3"),     // not one run: left out
                  apfOption("OE-LAD", "2", "zz")};     // no hours
    file.stands = {a1, idOnly(" B2"), idOnly("C3")};
    newLogLines();
    const LearnedAirportData data = read(file);
    ASSERT_EQ(data.stands.size(), 2u);
    const auto& options = data.stands[0].options;
    ASSERT_EQ(options.size(), 2u);
    EXPECT_EQ(options[1].number, 2u);
    EXPECT_EQ(options[1].mark, 0u);
    EXPECT_EQ(options[1].hours.count(), 2u);
    const std::string log = newLogLines();
    EXPECT_NE(log.find("==> learned option OE-LAB of stand A1 skipped: day 9 hours '3'\n"), std::string::npos) << log;
    EXPECT_NE(log.find("==> learned option OE-LAC of stand A1 skipped: day 2 hours '1,3'\n"), std::string::npos)
        << log;
    EXPECT_NE(log.find("==> empty bit set\n"), std::string::npos) << log;
    EXPECT_NE(log.find("learned stand  B2 in learned.xml not found?\n"), std::string::npos) << log;
    EXPECT_NE(log.find("learned stand C3 in learned.xml not found?\n"), std::string::npos) << log;
    EXPECT_FALSE(data.handmade);
    EXPECT_FALSE(data.autoPark);
    EXPECT_FALSE(data.parkingPercentage.has_value());

    // What was merged can always be written again.
    Airport airport;
    airport.icao = IcaoCode("LOWI");
    airport.stands = data.stands;
    EXPECT_TRUE(gf_writeApf(airport, "again.xml", kApfModeLearned, 2, false, AirportParkingSettings{}));
}

TEST_F(LearnedFileTest, ManualStandsAndSettings) {
    ApfFile file;
    file.parameters = {{"airport_name", "Other"}, {"parking_percentage", "40"}, {"WEEK", "true"}, {"MAX_FIT", "2"}};
    ApfStand manual = apfStand("M1", "RAMP_GA_SMALL", 47.002, 11.0, 90.0, 12.0);
    manual.attributes.emplace_back("manual", "true");
    manual.options = {apfOption("OE-LAX", "3", "4")};
    ApfStand clash = apfStand("A1", "GATE_SMALL", 47.002, 11.0);
    clash.attributes.emplace_back("manual", "true");
    ApfStand noRadius = apfStand("M2", "GATE_SMALL", 47.002, 11.0, 90.0, 0.0);
    noRadius.attributes.emplace_back("manual", "true");
    file.stands = {manual, clash, noRadius};
    newLogLines();
    const LearnedAirportData data = read(file);
    ASSERT_EQ(data.stands.size(), 3u);
    EXPECT_TRUE(data.stands[2].manual);
    EXPECT_EQ(data.stands[2].name, "M1");
    ASSERT_EQ(data.stands[2].options.size(), 1u);
    EXPECT_EQ(data.stands[2].options[0].mark, 0u);
    EXPECT_EQ(data.parkingPercentage, 40);
    EXPECT_EQ(data.week, true);
    EXPECT_EQ(data.maxFit, 2);
    EXPECT_FALSE(data.parkSoft.has_value());
    const std::string log = newLogLines();
    EXPECT_NE(log.find("==> manually created standid A1 already exists in learned.xml\n"), std::string::npos) << log;
    EXPECT_NE(log.find("==> manually created standid M2 misses correct attributes in learned.xml\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(fmt::format("{:24}: {}\n", "parking_percentage", 40)), std::string::npos) << log;
    EXPECT_NE(log.find(fmt::format("{:24}: {}\n", "AUTO_PARK", false)), std::string::npos) << log;
}

TEST_F(LearnedFileTest, HandmadeFilesReplaceTheSourceStands) {
    ApfFile file;
    file.parameters = {{"airport_name", "Innsbruck"}, {"handmade", "true"}, {"AUTO_PARK", "true"}};
    ApfStand own = apfStand("H1", "GATE_SMALL", 47.0, 11.0);
    own.options = {apfOption("OE-LAA", "1", "3")};
    file.stands = {own};
    const LearnedAirportData data = read(file);
    EXPECT_TRUE(data.handmade);
    EXPECT_TRUE(data.autoPark);
    ASSERT_EQ(data.stands.size(), 1u);
    EXPECT_EQ(data.stands[0].name, "H1");
    EXPECT_EQ(data.stands[0].options.at(0).mark, 1u);
}

TEST_F(LearnedFileTest, SettingsWithoutParkpositionsAndBrokenFiles) {
    ApfFile file;
    file.parameters = {{"airport_name", "Innsbruck"}, {"PARK_SOFT", "false"}};
    file.withParkpositions = false;
    newLogLines();
    const LearnedAirportData data = read(file);
    EXPECT_EQ(data.parkSoft, false);
    EXPECT_EQ(data.stands.size(), 2u);
    EXPECT_NE(newLogLines().find("learned file learned.xml has no 'parkpositions' section\n"), std::string::npos);

    auto missing = gf_readLearnedAirportFile("none.xml", "X", {});
    EXPECT_EQ(std::get<std::string>(missing), "none.xml could not be opened");

    tavo::test::writeFile("broken.xml", "<root><parameters>");
    auto broken = gf_readLearnedAirportFile("broken.xml", "X", {});
    ASSERT_TRUE(std::holds_alternative<std::string>(broken));
    EXPECT_EQ(std::get<std::string>(broken).rfind("broken.xml not loaded: ", 0), 0u);
    EXPECT_EQ(tavo::test::readFile("broken0.xml"), "<root><parameters>");

    ApfFile noMeta;
    noMeta.metaXml.reset();
    noMeta.write("nometa.xml");
    auto invalid = gf_readLearnedAirportFile("nometa.xml", "X", {});
    EXPECT_EQ(std::get<std::string>(invalid), "nometa.xml has invalid metadata");
}

TEST(DropArchiveOptionsTest, RemovesSourceAndVoidOptionsInOrder) {
    std::vector<StandOption> options(5);
    const std::uint32_t marks[] = {1, 0, 0, 1, 0};
    const std::uint32_t numbers[] = {1, 2, 0, 4, 5};
    for (int i = 0; i < 5; ++i) {
        options[i].mark = marks[i];
        options[i].number = numbers[i];
    }
    EXPECT_EQ(lf_dropArchiveOptions(options), 3u);
    ASSERT_EQ(options.size(), 2u);
    EXPECT_EQ(options[0].number, 2u);
    EXPECT_EQ(options[1].number, 5u);
}

}  // namespace
