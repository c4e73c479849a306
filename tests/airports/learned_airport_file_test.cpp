// Learned airport files read over the source stands (exact ids, repeated and
// new options, manual stands, handmade files, settings, broken files, options
// no file could hold left out) and saved from the stands of a visit (what is
// kept, the handmade form, the path fixed at load, the refused saves).

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "airports/airport_file_format.h"
#include "airports/current_airport.h"
#include "airports/learned_airport_file.h"
#include "airports/loaded_airport.h"
#include "airports/stand_options.h"
#include "services/gui.h"
#include "settings/parameters_file.h"
#include "support/airport_file_builder.h"
#include "support/loaded_airport.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
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
    ApfStand noName = apfStand("", "GATE_SMALL", 47.003, 11.0);
    noName.attributes.emplace_back("manual", "true");
    ApfStand brokenHours = apfStand("M3", "GATE_SMALL", 47.004, 11.0);
    brokenHours.attributes.emplace_back("manual", "true");
    brokenHours.options = {apfOption("OE-LAY", "3", "1,3"), apfOption("OE-LAZ", "3", "5")};
    file.stands = {manual, clash, noRadius, noName, brokenHours};
    gf_gui().attachGuiThread();  // the status line is applied at once
    newLogLines();
    const LearnedAirportData data = read(file);
    const std::string warning =
        "Warning: learned file airport name: 'Other' differs from archived file airport name: 'Innsbruck'";
    EXPECT_EQ(gf_gui().statusLine, warning);
    gf_gui().reset();
    ASSERT_EQ(data.stands.size(), 4u);
    EXPECT_TRUE(data.stands[2].manual);
    EXPECT_EQ(data.stands[2].name, "M1");
    ASSERT_EQ(data.stands[2].options.size(), 1u);
    EXPECT_EQ(data.stands[2].options[0].mark, 0u);
    // Hours that are not one run are left out of a manual stand as at the
    // merge, and the rest numbered from 1.
    ASSERT_EQ(data.stands[3].options.size(), 1u);
    EXPECT_EQ(data.stands[3].options[0].registration, "OE-LAZ");
    EXPECT_EQ(data.stands[3].options[0].number, 1u);
    Airport airport;
    airport.icao = IcaoCode("LOWI");
    airport.stands = data.stands;
    EXPECT_TRUE(gf_writeApf(airport, "again.xml", kApfModeLearned, 2, false, AirportParkingSettings{}));
    EXPECT_EQ(data.parkingPercentage, 40);
    EXPECT_EQ(data.week, true);
    EXPECT_EQ(data.maxFit, 2);
    EXPECT_FALSE(data.parkSoft.has_value());
    const std::string log = newLogLines();
    EXPECT_NE(log.find("==> manually created standid A1 already exists in learned.xml\n"), std::string::npos) << log;
    EXPECT_NE(log.find("==> manually created standid M2 misses correct attributes in learned.xml\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("==> manually created standid  misses correct attributes in learned.xml\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("==> learned option OE-LAY of stand M3 skipped: day 3 hours '1,3'\n"), std::string::npos)
        << log;
    EXPECT_NE(log.find(warning + "\n"), std::string::npos) << log;
    EXPECT_NE(log.find(fmt::format("{:24}: {}\n", "parking_percentage", 40)), std::string::npos) << log;
    EXPECT_NE(log.find(fmt::format("{:24}: {}\n", "AUTO_PARK", false)), std::string::npos) << log;
}

TEST_F(LearnedFileTest, HandmadeFilesReplaceTheSourceStands) {
    ApfFile file;
    file.parameters = {{"airport_name", "Innsbruck"}, {"handmade", "true"}, {"AUTO_PARK", "true"}};
    ApfStand own = apfStand("H1", "GATE_SMALL", 47.0, 11.0);
    own.options = {apfOption("OE-LAC", "1", "7,9"), apfOption("OE-LAA", "1", "3")};
    file.stands = {own};
    newLogLines();
    const LearnedAirportData data = read(file);
    EXPECT_TRUE(data.handmade);
    EXPECT_TRUE(data.autoPark);
    ASSERT_EQ(data.stands.size(), 1u);
    EXPECT_EQ(data.stands[0].name, "H1");
    ASSERT_EQ(data.stands[0].options.size(), 1u);
    EXPECT_EQ(data.stands[0].options[0].mark, 1u);
    EXPECT_EQ(data.stands[0].options[0].number, 1u);
    EXPECT_NE(newLogLines().find("==> learned option OE-LAC of stand H1 skipped: day 1 hours '7,9'\n"),
              std::string::npos);
    // A handmade save writes every option it keeps.
    Airport airport;
    airport.icao = IcaoCode("LOWI");
    airport.stands = data.stands;
    EXPECT_TRUE(gf_writeApf(airport, "again.xml", kApfModeLearned, 2, true, AirportParkingSettings{}));
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

// The merge looks up each option's identity once; it must keep exactly the
// options that comparing with every option of the stand kept.
TEST_F(LearnedFileTest, MergeKeepsWhatComparingWithEveryOptionKept) {
    std::mt19937 random(20240613);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const char* registrations[] = {"OE-LAA", "OE-LAB", "OE-LAC", ""};
    ApfStand a1 = idOnly("A1");
    for (int i = 0; i < 3000; ++i) {
        const int first = pick(48);
        const int last = std::min(47, first + pick(4));
        std::string hh = first == last ? std::to_string(first) : fmt::format("{}:{}", first, last);
        if (pick(40) == 0) hh = fmt::format("{},{}", first, (first + 2) % 48);
        tavo::test::XmlAttributes opt = apfOption(registrations[pick(4)], std::to_string(pick(9)), hh);
        opt.emplace_back("airl", pick(2) == 0 ? "AUA" : "DLH");
        opt.emplace_back("type", pick(2) == 0 ? "A320" : "E195");
        if (pick(3) == 0) opt.emplace_back("soft", "true");
        a1.options.push_back(std::move(opt));
    }
    ApfFile file;
    file.stands = {a1};
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(file.text().c_str()));
    const pugi::xml_node parkpos = document.child("root").child("parkpositions").child("parkpos");

    Stand merged = sourceStands()[0];
    ASSERT_TRUE(lf_mergeLearnedOptions(parkpos, "A1", merged));

    Stand expected = sourceStands()[0];
    std::uint32_t number = expected.options.back().number + 1;
    for (const pugi::xml_node opt : parkpos.children("opt")) {
        const HoursBitset hours = gf_hours2bitset(opt.attribute("hh").as_string());
        if (hours.none()) continue;
        StandOption option = lf_optionFromElement(opt, hours, number, 0);
        if (option.day < 1 || option.day > 7 || !gf_bitset2hours(option.hours)) continue;
        const bool repeated = std::any_of(expected.options.begin(), expected.options.end(), [&](const StandOption& o) {
            return o.day == option.day && (o.real != 0) == (option.real != 0) && o.registration == option.registration &&
                   o.key.airline == option.key.airline && o.key.operatorIndex == option.key.operatorIndex &&
                   o.key.model == option.key.model && o.key.cargo == option.key.cargo && (o.hours & option.hours).any();
        });
        if (repeated) continue;
        expected.options.push_back(option);
        ++number;
    }
    ASSERT_GT(expected.options.size(), 100u);
    ASSERT_LT(expected.options.size(), 2000u) << "the options must repeat each other often";
    ASSERT_EQ(merged.options.size(), expected.options.size());
    for (std::size_t i = 0; i < merged.options.size(); ++i) {
        const StandOption& a = merged.options[i];
        const StandOption& b = expected.options[i];
        EXPECT_TRUE(a.registration == b.registration && a.day == b.day && a.real == b.real && a.key == b.key &&
                    a.hours == b.hours && a.number == b.number)
            << "option " << i;
    }
}

// Saving the stands of a visit: the current airport LOWI, its file loaded
// from airports/my_simaddon, so its learned file lies under learned/my_simaddon
// whatever the publisher says.
class SaveLearnedTest : public tavo::test::LogFileTest {
protected:
    static constexpr const char* kLearnedPath = "airports/learned/my_simaddon/LOWI.xml";

    void SetUp() override {
        LogFileTest::SetUp();
        tavo::test::loadTestAirport(kLearnedPath);
        g_learnedOptionCount = 0;
    }
    void TearDown() override {
        tavo::test::unloadTestAirport();
        g_learnedOptionCount = 0;
        LogFileTest::TearDown();
    }

    // The stands of a visit: the source stands, one option learned at A1, one
    // void option there, and a manual stand without options.
    static std::vector<Stand> visitStands() {
        std::vector<Stand> stands = sourceStands();
        gf_addStandOption(stands[0].options, AcKey{}, {2, 20}, "AUA1", "OE-LAB", false);
        StandOption voided = stands[0].options.back();
        voided.number = 0;
        stands[0].options.push_back(voided);
        stands.emplace_back("M1", std::vector<StandOption>{}, 47.002, 11.0, 0.0, 12.0, ParkingType::RAMP_GA_SMALL,
                            false, true, false);
        stands.back().manual = true;
        return stands;
    }

    static std::vector<std::string> parameterNames(const pugi::xml_document& document) {
        std::vector<std::string> names;
        for (const pugi::xml_node p : document.child("root").child("parameters").children("parameter")) {
            names.emplace_back(p.attribute("name").value());
        }
        return names;
    }
};

TEST_F(SaveLearnedTest, LearnedOptionsAndManualStandsGoToThePathFixedAtLoad) {
    newLogLines();
    gf_saveLearned(visitStands(), false);
    EXPECT_EQ(newLogLines(), fmt::format(" '{}' saved with 1 update\n", kLearnedPath));
    EXPECT_EQ(g_learnedOptionCount, 0u);
    pugi::xml_document document;
    ASSERT_TRUE(document.load_file(kLearnedPath));
    EXPECT_EQ(parameterNames(document),
              (std::vector<std::string>{"icao", "airport_name", "publisher", "RT_PARKTRAFFIC_ONLY", "AUTO_PARK",
                                        "parking_percentage", "MAX_FIT", "WEEK", "PARK_SOFT"}));
    std::vector<std::string> ids;
    for (const pugi::xml_node parkpos : document.child("root").child("parkpositions").children("parkpos")) {
        ids.emplace_back(parkpos.attribute("id").value());
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"A1", "M1"})) << "B2 kept nothing learned";
    const pugi::xml_node a1 = document.child("root").child("parkpositions").child("parkpos");
    EXPECT_FALSE(a1.attribute("latitude"));
    EXPECT_EQ(std::distance(a1.children("opt").begin(), a1.children("opt").end()), 1);
    EXPECT_STREQ(a1.child("opt").attribute("reg").value(), "OE-LAB");
    EXPECT_TRUE(a1.next_sibling("parkpos").attribute("manual").as_bool());
    EXPECT_TRUE(a1.next_sibling("parkpos").attribute("latitude"));

    // The next visit reads the file from the same path and adds to it: what
    // was learned on the first visit stays.
    auto read = gf_readLearnedAirportFile(kLearnedPath, "Innsbruck", sourceStands());
    ASSERT_TRUE(std::holds_alternative<LearnedAirportData>(read)) << std::get<std::string>(read);
    std::vector<Stand> stands = std::get<LearnedAirportData>(read).stands;
    ASSERT_EQ(stands.size(), 3u);
    EXPECT_TRUE(stands[2].manual);
    gf_addStandOption(stands[1].options, AcKey{}, {3, 30}, "AUA2", "OE-LAC", false);
    gf_saveLearned(stands, false);
    read = gf_readLearnedAirportFile(kLearnedPath, "Innsbruck", sourceStands());
    ASSERT_TRUE(std::holds_alternative<LearnedAirportData>(read));
    stands = std::get<LearnedAirportData>(read).stands;
    ASSERT_EQ(stands.at(0).options.size(), 2u);
    EXPECT_EQ(stands[0].options[1].registration, "OE-LAB");
    ASSERT_EQ(stands.at(1).options.size(), 1u);
    EXPECT_EQ(stands[1].options[0].registration, "OE-LAC");
    EXPECT_FALSE(fs::exists("airports/learned/simaddon"));
}

TEST_F(SaveLearnedTest, HandmadeSavesKeepEveryStandWithTheRatings) {
    newLogLines();
    gf_saveLearned(visitStands(), true);
    EXPECT_EQ(newLogLines(), fmt::format(" handmade '{}' saved with 1 update\n", kLearnedPath));
    pugi::xml_document document;
    ASSERT_TRUE(document.load_file(kLearnedPath));
    EXPECT_EQ(gf_readStringXmlParameter(document, "handmade"), "true");
    EXPECT_EQ(gf_readIntXmlParameter(document, "altitude"), 1906);
    EXPECT_TRUE(gf_readIntXmlParameter(document, "Qf_real").has_value());
    std::vector<Stand> stands;
    lf_readParkPositions(document, stands);
    ASSERT_EQ(stands.size(), 3u);
    EXPECT_EQ(stands[0].options.size(), 2u) << "the source option and the learned one; not the void one";

    // No stand with an option: the ratings are -1 and no quality factor is written.
    std::vector<Stand> bare = sourceStands();
    for (Stand& stand : bare) stand.options.clear();
    gf_saveLearned(bare, true);
    ASSERT_TRUE(document.load_file(kLearnedPath));
    EXPECT_FALSE(gf_readIntXmlParameter(document, "Qf_real").has_value());
    EXPECT_FALSE(gf_readIntXmlParameter(document, "Qf_soft").has_value());
}

TEST_F(SaveLearnedTest, UpdateCountsAndRefusedSaves) {
    const std::pair<std::uint32_t, const char*> counts[] = {{0, "0 updates"}, {1, "1 update"}, {2, "2 updates"}};
    for (const auto& [count, words] : counts) {
        g_learnedOptionCount = count;
        newLogLines();
        gf_saveLearned(sourceStands(), false);
        EXPECT_EQ(newLogLines(), fmt::format(" '{}' saved with {}\n", kLearnedPath, words));
    }
    const std::string saved = tavo::test::readFile(kLearnedPath);

    // A save that cannot be written keeps the old file; the counter starts again.
    std::vector<Stand> broken = sourceStands();
    broken[0].options[0].mark = 0;
    broken[0].options[0].day = 0;
    g_learnedOptionCount = 4;
    newLogLines();
    gf_saveLearned(broken, false);
    EXPECT_NE(newLogLines().find(fmt::format("saving '{}' did not succeed\n", kLearnedPath)), std::string::npos);
    EXPECT_EQ(g_learnedOptionCount, 0u);
    EXPECT_EQ(tavo::test::readFile(kLearnedPath), saved);

    // No safe learned path, no loaded file, no current airport: nothing saved
    // and the counter untouched.
    LoadedAirport loaded = gf_loadedAirport();
    loaded.learnedPath.reset();
    loaded.publisher = "..";
    gf_setLoadedAirport(loaded);
    fs::remove(kLearnedPath);
    g_learnedOptionCount = 5;
    newLogLines();
    gf_saveLearned(sourceStands(), false);
    EXPECT_EQ(newLogLines(), "==> cannot construct a safe learned path for publisher '..'\n");
    loaded.fileLoaded = false;
    gf_setLoadedAirport(loaded);
    gf_saveLearned(sourceStands(), false);
    EXPECT_EQ(newLogLines(), "==> gf_saveLearned called without a loaded airport file\n");
    loaded.fileLoaded = true;
    loaded.learnedPath = kLearnedPath;
    gf_setLoadedAirport(loaded);
    gf_clearCurrentAirport();
    gf_saveLearned(sourceStands(), false);
    EXPECT_EQ(newLogLines(), "==> gf_saveLearned called without a loaded airport file\n");
    EXPECT_EQ(g_learnedOptionCount, 5u);
    EXPECT_FALSE(fs::exists(kLearnedPath));
}

}  // namespace
