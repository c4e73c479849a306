// Similar models: the split of a model code, the edit distance, the closest
// model and the two tables built from the database's groups.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "liveries/code_tables.h"
#include "liveries/livery_tables.h"
#include "support/dbase_builder.h"
#include "support/temp_dir.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

using Models = std::vector<std::uint16_t>;

std::uint16_t modelCode(std::string_view code) { return gf_internModelCode(code); }
std::uint16_t airlineCode(std::string_view code) { return gf_internAirlineCode(code); }

void clearLiveryTables() {
    liveryIndex.clear();
    for (auto& table : modelTitles) table.clear();
    similarModelsWithLiveries.clear();
    similarModelsByAirline.clear();
}

// The airline gets a pax livery of the model, as the livery tables would hold it.
void giveLivery(std::string_view airline, std::string_view model) {
    const std::string_view title = gf_internLiveryTitle(std::string(airline) + " " + std::string(model));
    liveryIndex[airlineCode(airline)][modelCode(model)].push_back({title, 0});
    modelTitles[Pax][modelCode(model)].push_back(title);
}

class SimilarModels : public tavo::test::LogFileTest {
protected:
    void load(std::vector<std::vector<std::string>> groups) {
        tavo::test::DbaseBuilder builder = tavo::test::DbaseBuilder::smallProfile();
        builder.similar = std::move(groups);
        tavo::test::loadDbase(builder);
        clearLiveryTables();
        newLogLines();
    }
    void TearDown() override {
        clearLiveryTables();
        LogFileTest::TearDown();
    }
};

TEST(SimilarModelCode, SplitsAsciiLettersAndDigitsOnly) {
    const struct {
        std::string code, letters, digits;
    } cases[] = {
        {"B738", "B", "738"},
        {"A20N", "AN", "20"},
        {"DH8D", "DHD", "8"},
        {"", "", ""},
        {"B-7.3 8", "B", "738"},
        // Bytes of other scripts are no letters or digits, whatever their sign.
        {"B7\xC3\xA9" "8", "B", "78"},
        {"\xD9\xA3" "A1", "A", "1"},  // ARABIC-INDIC DIGIT THREE is no digit
        {"\xFF\x80Z9", "Z", "9"},
    };
    for (const auto& c : cases) {
        const auto [letters, digits] = lf_splitModelCode(c.code);
        EXPECT_EQ(letters, c.letters) << c.code;
        EXPECT_EQ(digits, c.digits) << c.code;
    }
}

TEST(SimilarModelCode, EditDistanceCountsInsertionsDeletionsAndSubstitutions) {
    const struct {
        std::string left, right;
        unsigned distance;
    } cases[] = {
        {"", "", 0},      {"A320", "", 4},     {"", "B7", 2},         {"A320", "A320", 0},
        {"A320", "A321", 1}, {"A320", "A20N", 2}, {"kitten", "sitting", 3}, {"B738", "B38M", 2},
        {"AN", "A", 1},   {"738", "38", 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lf_editDistance(c.left, c.right), c.distance) << c.left << " / " << c.right;
        EXPECT_EQ(lf_editDistance(c.right, c.left), c.distance) << c.right << " / " << c.left;
    }
}

TEST_F(SimilarModels, ClosestModelTable) {
    load({});
    const struct {
        std::string model;
        std::vector<std::string> candidates;
        std::optional<std::string> closest;
    } cases[] = {
        {"A320", {}, std::nullopt},
        {"A320", {"B744"}, "B744"},           // one candidate is taken without the test
        {"A320", {"A20N", "A321"}, "A321"},   // A20N: letters AN, whole-code distance 2
        // Letters that differ: the whole code may differ by one character, not two.
        {"DH8D", {"DH8C", "B744"}, "DH8C"},
        {"A320", {"A20N", "B744"}, std::nullopt},
        {"B738", {"A320", "A319"}, std::nullopt},
        {"B738", {"B739", "B737"}, "B737"},   // equal distances: the smaller code text
        {"B738", {"B38M", "B739"}, "B739"},
        {"A321", {"A319", "A320"}, "A320"},   // the numeric difference decides
        {"ZZ99", {"ZZ98", "ZZ9"}, "ZZ98"},    // a code outside the database is still a code
    };
    for (const auto& c : cases) {
        Models candidates;
        for (const std::string& code : c.candidates) candidates.push_back(modelCode(code));
        const std::optional<std::uint16_t> closest = lf_findClosestModel(modelCode(c.model), candidates);
        if (!c.closest) {
            EXPECT_FALSE(closest.has_value()) << c.model;
        } else {
            ASSERT_TRUE(closest.has_value()) << c.model;
            EXPECT_EQ(gf_modelCodeAt(*closest), *c.closest) << c.model;
        }
    }
}

TEST_F(SimilarModels, AnAirlineGetsTheClosestModelItHas) {
    load({{"B737", "B738", "B739"}});
    giveLivery("DLH", "B737");
    giveLivery("DLH", "B739");
    giveLivery("KLM", "B738");
    gf_findSimilarModelsWithLiveries();

    ASSERT_TRUE(similarModelsByAirline.contains(airlineCode("DLH")));
    const auto& dlh = similarModelsByAirline.at(airlineCode("DLH"));
    EXPECT_EQ(dlh.size(), 1u);
    EXPECT_THAT(dlh.at(modelCode("B738")), ElementsAre(modelCode("B737")));
    // KLM has B738; for B737 and B739 it has only B738, the closest one.
    const auto& klm = similarModelsByAirline.at(airlineCode("KLM"));
    EXPECT_FALSE(klm.contains(modelCode("B738")));
    EXPECT_THAT(klm.at(modelCode("B737")), ElementsAre(modelCode("B738")));
    EXPECT_THAT(klm.at(modelCode("B739")), ElementsAre(modelCode("B738")));
    // Any airline: B738 has both others and ends with the closest.
    EXPECT_THAT(similarModelsWithLiveries.at(modelCode("B738")), ElementsAre(modelCode("B737")));
    EXPECT_THAT(newLogLines(), HasSubstr("    3 similar model definitions\n"));
}

TEST_F(SimilarModels, ListsWithoutAClosestModelStayWhole) {
    load({{"A319", "A320", "B738"}, {"C208"}, {"A321", "A321", "E190"}});
    giveLivery("BAW", "A319");
    giveLivery("BAW", "A320");
    giveLivery("BAW", "A321");
    giveLivery("RYR", "C208");
    gf_findSimilarModelsWithLiveries();

    const auto& baw = similarModelsByAirline.at(airlineCode("BAW"));
    EXPECT_THAT(baw.at(modelCode("B738")), ElementsAre(modelCode("A319"), modelCode("A320")));
    EXPECT_THAT(similarModelsWithLiveries.at(modelCode("B738")), ElementsAre(modelCode("A319"), modelCode("A320")));
    // A group of one code adds nothing; a code twice in a group is never its own similar model.
    EXPECT_FALSE(similarModelsWithLiveries.contains(modelCode("C208")));
    EXPECT_FALSE(similarModelsWithLiveries.contains(modelCode("A321")));
    EXPECT_THAT(similarModelsWithLiveries.at(modelCode("E190")), ElementsAre(modelCode("A321")));
    // One candidate stays.
    EXPECT_THAT(similarModelsWithLiveries.at(modelCode("A319")), ElementsAre(modelCode("A320")));
    EXPECT_FALSE(similarModelsByAirline.contains(airlineCode("RYR")));
}

TEST_F(SimilarModels, NoGroupWithLiveriesLeavesBothTablesEmpty) {
    load({{"B737", "B738", "B739"}});
    giveLivery("DLH", "A320");
    similarModelsByAirline[airlineCode("DLH")][modelCode("B738")] = {modelCode("B737")};  // left over from an earlier start
    gf_findSimilarModelsWithLiveries();
    EXPECT_TRUE(similarModelsWithLiveries.empty());
    EXPECT_TRUE(similarModelsByAirline.empty());
    EXPECT_THAT(newLogLines(), HasSubstr("No similar model definitions with installed liveries found\n"));
}

}  // namespace
