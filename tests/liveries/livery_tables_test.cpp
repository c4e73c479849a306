// The livery tables built from the scanned-liveries file: the index by airline,
// operator and model, titles, kinds, categories with their switch-off, generic
// liveries, the clean-up of stale reports and titles that outlive a rebuild.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "../settings/parameters_file_test_support.h"
#include "foundation/files.h"
#include "liveries/code_tables.h"
#include "liveries/livery_tables.h"
#include "liveries/scanned_liveries.h"
#include "services/gui.h"
#include "settings/snapshot.h"
#include "support/dbase_builder.h"
#include "support/scanned_liveries_builder.h"

namespace fs = std::filesystem;
using tavo::test::ScannedLiveriesBuilder;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::UnorderedElementsAre;

namespace {

std::uint16_t m(std::string_view code) { return gf_internModelCode(code); }
std::uint16_t a(std::string_view code) { return gf_internAirlineCode(code); }

std::vector<std::string> titlesOf(std::string_view airline, std::string_view model) {
    std::vector<std::string> titles;
    const auto key = liveryIndex.find(a(airline));
    if (key == liveryIndex.end()) return titles;
    const auto list = key->second.find(m(model));
    if (list == key->second.end()) return titles;
    for (const LiveryTitleEntry& entry : list->second) titles.emplace_back(entry.title);
    return titles;
}

class LiveryTables : public tavo::test::ParametersFileTest {
protected:
    void SetUp() override {
        ParametersFileTest::SetUp();
        tavo::test::resetToSmallDbase();
        gf_publishAllParameters();
        window = makeWindow();
        for (GuiBoolParameter* p : {&LIGHT_AIRCRAFT, &TWO_PROPS, &HIGH_PERF_AIRCRAFT, &HELICOPTERS}) {
            makeControl(window, ControlKind::CheckBox, p->controlId);
        }
        gf_gui().attachGuiThread();
        gf_gui().liveriesCount = 0;
    }
    void TearDown() override {
        gf_gui().reset();
        gf_publishAllParameters();
        ParametersFileTest::TearDown();
    }
    WindowHandle window = WindowHandle::None;
    std::string build(const ScannedLiveriesBuilder& builder) {
        builder.writeToOutput();
        newLogLines();
        gf_processScannedLiveries();
        return newLogLines();
    }
};

TEST_F(LiveryTables, OperatorLiveriesAreFoundThroughTheCombinedCodeAndTheOperator) {
    ScannedLiveriesBuilder b;
    b.livery("KLM", "E190", "KLM Cityhopper E190", "PH-EXA", "KLC");
    b.livery("DLH", "A320", "Shared A320");
    b.livery("BAW", "A320", "Shared A320");
    b.livery("FDX", "B77F", "FedEx B77F", "", "", true);
    const std::string log = build(b);

    EXPECT_THAT(titlesOf("KLMKLC", "E190"), ::testing::ElementsAre("KLM Cityhopper E190"));
    EXPECT_THAT(titlesOf("KLC", "E190"), ::testing::ElementsAre("KLM Cityhopper E190"));
    EXPECT_TRUE(titlesOf("KLM", "E190").empty());
    EXPECT_TRUE(gf_hasAirlineModelLivery(AcKey{a("KLC"), 0, m("E190"), 0, 0}));
    EXPECT_FALSE(gf_hasAirlineModelLivery(AcKey{a("KLM"), 0, m("E190"), 0, 0}));
    EXPECT_EQ(lf_collectLiveryAirlines(),
              (std::set<std::uint16_t>{a("KLMKLC"), a("KLC"), a("DLH"), a("BAW"), a("FDX")}));
    // One title under two keys: one livery title, two liveries of its category.
    EXPECT_THAT(log, HasSubstr("\n    3 livery titles\n"));
    EXPECT_THAT(log, HasSubstr("\nCategory Large: 4 pax liveries\n"));
    EXPECT_THAT(log, HasSubstr("\nCategory Heavy: 0 pax liveries and 1 cargo liverie\n"));
    EXPECT_THAT(log, HasSubstr("\n    5 airlines, 2 pax aircraft models and 1 cargo aircraft models\n"));
    // Kinds: cargo in the cargo maps only; a title's view is the canonical one.
    EXPECT_TRUE(airlineModelTitles[Cargo].contains(a("FDX")));
    EXPECT_FALSE(airlineModelTitles[Pax].contains(a("FDX")));
    EXPECT_EQ(modelTitles[Pax].at(m("A320")).size(), 2u);
    EXPECT_EQ(liveryTitles.at("Shared A320").data(), gf_internLiveryTitle("Shared A320").data());
    EXPECT_THAT(categoryModels[0], ::testing::ElementsAre(m("B77F")));  // Heavy
    EXPECT_THAT(categoryModels[1], UnorderedElementsAre(m("A320"), m("E190")));
    EXPECT_TRUE(std::is_sorted(categoryModels[1].begin(), categoryModels[1].end()));
    EXPECT_EQ(gf_gui().liveriesCount, 4u);
    EXPECT_TRUE(liveryTable.empty());
    EXPECT_THAT(log, HasSubstr("----- end of processing scanned liveries ------\n"));
}

// The records come sorted by airline, then operator: a second operator of one
// airline starts a run of its own and never lands under the first.
TEST_F(LiveryTables, TwoOperatorsUnderOneAirlineKeepTheirOwnLiveries) {
    ScannedLiveriesBuilder b;
    b.livery("KLM", "E190", "KLM E190");
    b.livery("KLM", "E190", "Cityhopper E190", "PH-EXA", "KLC");
    b.livery("KLM", "B738", "Martinair B738", "PH-MPA", "MPH");
    b.livery("KLM", "E190", "Martinair E190", "PH-MPB", "MPH");
    build(b);
    EXPECT_THAT(titlesOf("KLM", "E190"), ::testing::ElementsAre("KLM E190"));
    EXPECT_THAT(titlesOf("KLC", "E190"), ::testing::ElementsAre("Cityhopper E190"));
    EXPECT_THAT(titlesOf("KLMKLC", "E190"), ::testing::ElementsAre("Cityhopper E190"));
    EXPECT_TRUE(titlesOf("KLC", "B738").empty());
    EXPECT_THAT(titlesOf("MPH", "B738"), ::testing::ElementsAre("Martinair B738"));
    EXPECT_THAT(titlesOf("KLMMPH", "E190"), ::testing::ElementsAre("Martinair E190"));
    EXPECT_EQ(lf_collectLiveryAirlines(),
              (std::set<std::uint16_t>{a("KLM"), a("KLC"), a("KLMKLC"), a("MPH"), a("KLMMPH")}));
}

TEST_F(LiveryTables, OnlyHeavyPaxLiveriesSwitchTheSmallCategoriesOff) {
    ScannedLiveriesBuilder b;
    b.livery("DLH", "A388", "Lufthansa A388");
    TWO_PROPS.setValue(true);
    gf_publishAllParameters();
    const std::string log = build(b);

    EXPECT_THAT(log, HasSubstr("\nCategory Heavy: 1 pax liverie\n"));
    for (const char* name : {"Large", "Bizjet", "TwoProps", "Light", "Rotorcraft", "HighPerf"}) {
        EXPECT_THAT(log, HasSubstr(fmt::format("\nCategory {}: No livery found\n", name)));
    }
    EXPECT_THAT(log, HasSubstr("\nLIGHT_AIRCRAFT temporarily switched off because you do not have light aircraft installed\n"));
    EXPECT_THAT(log, HasSubstr("\nTWO_PROPS temporarily switched off because you do not have two-prop aircraft installed\n"));
    EXPECT_THAT(log, HasSubstr("\nHIGH_PERF_AIRCRAFT temporarily switched off because you do not have High Perf aircraft installed\n"));
    EXPECT_THAT(log, HasSubstr("\nHELICOPTERS temporarily switched off because you do not have Helicopters installed\n"));

    pugi::xml_document saved;
    ASSERT_TRUE(saved.load_file(file().c_str()));
    const SettingsSnapshotPtr snapshot = settingsSnapshot.load();
    for (GuiBoolParameter* p : {&LIGHT_AIRCRAFT, &TWO_PROPS, &HIGH_PERF_AIRCRAFT, &HELICOPTERS}) {
        EXPECT_FALSE(p->value()) << p->name;
        EXPECT_EQ(gf_readBoolXmlParameter(saved, p->name), false) << p->name;
        EXPECT_EQ(gf_isControlEnabled(p->controlId), false) << p->name;
    }
    EXPECT_EQ(snapshot->LIGHT_AIRCRAFT, 0);
    EXPECT_EQ(snapshot->TWO_PROPS, 0);
    EXPECT_EQ(snapshot->HIGH_PERF_AIRCRAFT, 0);
    EXPECT_EQ(snapshot->HELICOPTERS, 0);
    EXPECT_THAT(log, HasSubstr("\nNo generic liveries\n"));
}

// After the first start without light aircraft the option is off already: it
// is neither switched off again nor saved, but its box is still disabled. The
// window hears of the liveries read and, once everything is built, of the end.
TEST_F(LiveryTables, AnOptionAlreadyOffIsLeftAloneAndTheEndIsAnnounced) {
    LIGHT_AIRCRAFT.setValue(false);
    TWO_PROPS.setValue(true);
    gf_publishAllParameters();
    gf_gui().window.store(window);
    const std::uint64_t repaints = gf_gui().repaintCount;
    ScannedLiveriesBuilder b;
    b.livery("DLH", "A388", "Lufthansa A388");
    const std::string log = build(b);
    const std::uint64_t repaintsOfTheBuild = gf_gui().repaintCount - repaints;
    gf_gui().window.store(WindowHandle::None);

    EXPECT_THAT(log, HasSubstr("\nCategory Light: No livery found\n"));
    EXPECT_THAT(log, Not(HasSubstr("LIGHT_AIRCRAFT temporarily switched off")));
    EXPECT_THAT(log, HasSubstr("\nTWO_PROPS temporarily switched off"));
    EXPECT_EQ(gf_isControlEnabled(LIGHT_AIRCRAFT.controlId), false);
    pugi::xml_document saved;
    ASSERT_TRUE(saved.load_file(file().c_str()));
    EXPECT_EQ(gf_readBoolXmlParameter(saved, "LIGHT_AIRCRAFT"), std::nullopt) << "saved only when switched off";
    EXPECT_EQ(gf_readBoolXmlParameter(saved, "TWO_PROPS"), false);
    EXPECT_EQ(gf_gui().liveriesCount, 1u);
    EXPECT_EQ(repaintsOfTheBuild, 2u) << "the count of liveries read and the end of the build";
}

TEST_F(LiveryTables, ACategoryWithLiveriesKeepsItsOptionAndEnablesItsBox) {
    gf_enableControl(LIGHT_AIRCRAFT.controlId, false);
    gf_enableControl(HELICOPTERS.controlId, false);
    ScannedLiveriesBuilder b;
    b.livery("DLH", "C172", "Cessna one");
    b.livery("DLH", "C172", "Cessna two", "", "", true);
    b.livery("DLH", "C208", "Caravan", "", "", true);
    const std::string log = build(b);
    EXPECT_THAT(log, HasSubstr("\nCategory Light: 1 pax liverie and 2 cargo liveries\n"));
    EXPECT_THAT(log, HasSubstr("\n  C172,C208\n"));
    EXPECT_TRUE(LIGHT_AIRCRAFT.value());
    EXPECT_EQ(gf_isControlEnabled(LIGHT_AIRCRAFT.controlId), true);
    EXPECT_EQ(gf_isControlEnabled(HELICOPTERS.controlId), false);
    pugi::xml_document saved;
    saved.load_file(file().c_str());
    EXPECT_NE(gf_readBoolXmlParameter(saved, "LIGHT_AIRCRAFT"), std::optional<bool>(false));
    EXPECT_EQ(settingsSnapshot.load()->LIGHT_AIRCRAFT, 1);
}

TEST_F(LiveryTables, FortyOneModelsAreLoggedTwentyToALine) {
    tavo::test::DbaseBuilder db = tavo::test::DbaseBuilder::smallProfile();
    for (int i = 0; i < 41; ++i) {
        db.heavy.push_back(fmt::format("H{:02}", i));
        db.aircrafts.push_back(fmt::format("H{:02}", i));
    }
    tavo::test::loadDbase(db);
    ScannedLiveriesBuilder b;
    for (int i = 0; i < 41; ++i) b.livery("DLH", fmt::format("H{:02}", i), fmt::format("Title {}", i), "", "", i == 40);
    b.livery("ZZZ", "H07", "Generic");
    const std::string log = build(b);
    std::string first = "\n  ", second = "\n  ";
    for (int i = 0; i < 20; ++i) first += fmt::format("H{:02}{}", i, i < 19 ? "," : "\n");
    for (int i = 20; i < 40; ++i) second += fmt::format("H{:02}{}", i, i < 39 ? "," : "\n");
    EXPECT_THAT(log, HasSubstr("Category Heavy: 41 pax liveries and 1 cargo liverie" + first + second.substr(1) + "  H40\n"));
    EXPECT_THAT(log, HasSubstr("\n1 model have a generic livery\n  H07\n"));
}

TEST_F(LiveryTables, RecordsWithoutAirlineOrModelReachNoTable) {
    ScannedLiveriesBuilder b;
    b.livery("", "A320", "No airline");
    b.livery("DLH", "", "No model");
    b.livery("DLH", "", "No model with operator", "", "KLC");
    b.livery("DLH", "A320", "Good");
    const std::string log = build(b);
    EXPECT_THAT(log, HasSubstr(fmt::format("Invalid livery index: airl=0, opr=0, model={}, title=No airline", m("A320"))));
    EXPECT_THAT(log, HasSubstr(fmt::format("Invalid livery index: airl={}, opr=0, model=0, title=No model", a("DLH"))));
    EXPECT_THAT(log, HasSubstr(fmt::format("Invalid operator livery index: airl={}, opr={}, model=0, title=No model with operator",
                                           a("DLH"), a("KLC"))));
    EXPECT_EQ(liveryTitles.size(), 1u);
    EXPECT_FALSE(liveryIndex.contains(0));
    for (const auto& [key, models] : liveryIndex) EXPECT_FALSE(models.contains(0));
}

TEST_F(LiveryTables, AMissingFileThrowsAndLeavesTheTablesEmpty) {
    ScannedLiveriesBuilder b;
    b.livery("DLH", "A320", "Good");
    build(b);
    fs::remove(gf_liveriesScannedFilePath());
    try {
        gf_processScannedLiveries();
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "output/LiveriesScanned_MSFS2024.xml could not be read completely");
    }
    EXPECT_TRUE(liveryIndex.empty());
    EXPECT_TRUE(liveryTitles.empty());
    EXPECT_TRUE(modelTitles[Pax].empty());
}

// The scan writes its error lists into output/errors just before the build;
// only the build's own reports of an earlier start go.
TEST_F(LiveryTables, TheCleanUpRemovesOnlyTheBuildsOwnReports) {
    fs::create_directories(outputErrorsDir);
    tavo::test::writeFile(outputErrorsDir / "InvalidAirlineCodes.txt", "XX1\n");
    tavo::test::writeFile(outputErrorsDir / "InlineRegcodes.txt", "stale\n");
    tavo::test::writeFile(outputErrorsDir / "MissingCustomRepaints.txt", "stale\n");
    ScannedLiveriesBuilder b;
    b.livery("DLH", "A320", "Good", "D-AIZA");
    build(b);
    EXPECT_EQ(tavo::test::readFile(outputErrorsDir / "InvalidAirlineCodes.txt"), "XX1\n");
    EXPECT_FALSE(fs::exists(outputErrorsDir / "InlineRegcodes.txt"));
    EXPECT_FALSE(fs::exists(outputErrorsDir / "MissingCustomRepaints.txt"));
}

// Records keep views of titles from one start to the next (an aircraft's
// livery, a registration's title); a second build must not free them.
TEST_F(LiveryTables, ViewsOfAFirstBuildStayIntactAfterASecond) {
    ScannedLiveriesBuilder first;
    first.livery("DLH", "A320", std::string(64, 'L') + " first", "D-AIZA");
    build(first);
    const std::string_view registrationTitle = regcodeTitles.at("D-AIZA");
    const std::string_view aircraftTitle = titlesOf("DLH", "A320").empty() ? std::string_view{}
                                                                            : liveryIndex.at(a("DLH")).at(m("A320"))[0].title;
    ScannedLiveriesBuilder second;
    second.livery("BAW", "B744", std::string(64, 'B') + " second", "G-BNLA");
    build(second);
    EXPECT_EQ(registrationTitle, std::string(64, 'L') + " first");
    EXPECT_EQ(aircraftTitle, std::string(64, 'L') + " first");
    EXPECT_FALSE(regcodeTitles.contains("D-AIZA"));
}

}  // namespace
