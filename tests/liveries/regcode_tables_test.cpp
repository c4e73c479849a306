// Registration-code tables: in-line regcodes of the scanned liveries, the AIG
// file and the user's regcode files, their reports, and the don't-use readers.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "../settings/parameters_file_test_support.h"
#include "foundation/files.h"
#include "liveries/livery_tables.h"
#include "liveries/regcodes.h"
#include "liveries/scanned_liveries.h"
#include "services/gui.h"
#include "support/dbase_builder.h"
#include "support/regcodes_builder.h"
#include "support/scanned_liveries_builder.h"

namespace fs = std::filesystem;
using tavo::test::readFile;
using tavo::test::RegcodesBuilder;
using tavo::test::ScannedLiveriesBuilder;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class RegcodeTables : public tavo::test::ParametersFileTest {
protected:
    void SetUp() override {
        ParametersFileTest::SetUp();
        tavo::test::resetToSmallDbase();
        gf_gui().attachGuiThread();
        scanned.livery("DLH", "A320", "Lufthansa A320", "D-AIZA");
        scanned.livery("DLH", "A321", "Lufthansa A321", "D-AIZA");  // the registration clashes
        scanned.livery("BAW", "A320", "BA Retro", "");
        scanned.livery("BAW", "B744", "BA Negus", "");
        dontUseTitles.clear();
    }
    void TearDown() override {
        gf_gui().reset();
        dontUseTitles.clear();
        gf_publishAllParameters();
        ParametersFileTest::TearDown();
    }
    std::string build() {
        scanned.writeToOutput();
        newLogLines();
        gf_processScannedLiveries();
        return newLogLines();
    }
    ScannedLiveriesBuilder scanned;
};

TEST_F(RegcodeTables, TheFirstLiveryKeepsASharedRegistration) {
    fs::create_directories(outputInfoDir);
    tavo::test::writeFile(outputInfoDir / "OfflineRegcodes.txt", "from an earlier start\n");
    const std::string log = build();
    EXPECT_EQ(regcodeTitles.at("D-AIZA"), "Lufthansa A320");
    EXPECT_EQ(regcodeTitles.at("D-AIZA").data(), liveryTitles.at("Lufthansa A320").data());
    EXPECT_EQ(titleRegcodes.at("Lufthansa A321"), "D-AIZA");
    EXPECT_EQ(readFile(outputErrorsDir / "InlineRegcodes.txt"),
              "D-AIZA 'Lufthansa A321' => already in use by 'Lufthansa A320'\n");
    EXPECT_THAT(log, HasSubstr("    1 in-line regcode clashes, see 'output/errors/InlineRegcodes.txt'\n"));
    // Without an AIG file neither offline source is read.
    EXPECT_THAT(log, HasSubstr("==> input/AIG-regcodes.enc not available\n"));
    EXPECT_FALSE(fs::exists(outputInfoDir / "OfflineRegcodes.txt"));
    EXPECT_THAT(log, HasSubstr("\n    1 registration codes\n"));
}

TEST_F(RegcodeTables, OfflineSourcesOverrideRegistrationByRegistration) {
    RegcodesBuilder aig;
    aig.livery("BA Retro", "G-BNLA");
    aig.livery("BA Negus", "G-CIVB,G-CIVC", "true");  // special with two registrations
    aig.livery("Lufthansa A321", "D-AIDA", "true");    // special with one registration
    aig.livery("Not scanned", "N12345");
    aig.writeToInput();
    tavo::test::writeRegcodeFile(myRegcodesPath / "mine.txt",
                                 {"BA Negus;G-BNLA,G-CIVD", "Custom repaint;D-ABCD", "Other custom;D-ABCE,D-ABCF"}, false);
    fs::create_directories(outputInfoDir);
    tavo::test::writeFile(outputInfoDir / "OfflineRegcodes.txt", "stale\n");
    const std::string log = build();

    EXPECT_EQ(regcodeTitles.at("G-BNLA"), "BA Negus");  // my_regcodes over AIG
    EXPECT_EQ(regcodeTitles.at("G-CIVC"), "BA Negus");
    EXPECT_FALSE(regcodeTitles.contains("N12345"));
    EXPECT_FALSE(regcodeTitles.contains("D-ABCD"));
    EXPECT_TRUE(specialTitles.contains("BA Negus"));
    EXPECT_TRUE(specialTitles.contains("Lufthansa A321"));
    EXPECT_EQ(uniqueRegcodes, (std::set<std::string, std::less<>>{"D-AIDA"}));
    EXPECT_EQ(readFile(outputInfoDir / "OfflineRegcodes.txt"),
              "Processing 'input/AIG-regcodes.enc'\n"
              "4 new regcodes added, 2 regcodes defined as special\n"
              "Processing files in input/my_regcodes\n"
              "   regcode G-BNLA for 'BA Negus', instead of the same for 'BA Retro'\n"
              "1 new regcode added, 1 regcode replaced\n");
    EXPECT_EQ(readFile(outputErrorsDir / "MissingCustomRepaints.txt"),
              "Custom repaint; D-ABCD\nOther custom; D-ABCE, D-ABCF\n");
    EXPECT_THAT(log, HasSubstr("    2 custom repaint titles not found in scanned liveries, see "
                               "'output/errors/MissingCustomRepaints.txt'\n"));
    EXPECT_THAT(log, HasSubstr("****** Offline regcode files processed, results can be found in "
                               "'output/info/OfflineRegcodes.txt' ******\n"));
    EXPECT_THAT(log, HasSubstr("\n    2 special liveries\n    1 unique liveries\n"));
}

TEST_F(RegcodeTables, AFileNamedLikeTheUsersRegcodeFolderIsReported) {
    RegcodesBuilder aig;
    aig.livery("BA Retro", "G-BNLA");
    aig.writeToInput();
    fs::remove_all(myRegcodesPath);
    tavo::test::writeFile(myRegcodesPath, "BA Negus;G-CIVD\n");
    const std::string log = build();
    EXPECT_THAT(log, HasSubstr("==> 'input/my_regcodes' is not a directory\n"));
    EXPECT_FALSE(regcodeTitles.contains("G-CIVD"));
    EXPECT_EQ(readFile(outputInfoDir / "OfflineRegcodes.txt"),
              "Processing 'input/AIG-regcodes.enc'\n1 new regcode added\n");
}

TEST_F(RegcodeTables, TheCountLineTakesItsPlurals) {
    const struct {
        std::vector<RegcodesBuilder::Livery> liveries;
        std::string line;
    } cases[] = {
        {{{"BA Retro", "G-BNLA", {}}}, "1 new regcode added"},
        {{{"BA Retro", "", {}}}, "0 new regcodes added"},
        {{{"BA Retro", "G-BNLA,G-BNLB", "true"}}, "2 new regcodes added, 1 regcode defined as special"},
        {{{"BA Retro", "D-AIZA", {}}}, "0 new regcodes added, 1 regcode replaced"},
        {{{"BA Retro", "D-AIZA", {}}, {"BA Negus", "D-AIZA", {}}}, "0 new regcodes added, 2 regcodes replaced"},
    };
    for (const auto& c : cases) {
        RegcodesBuilder aig;
        aig.liveries = c.liveries;
        aig.writeToInput();
        build();
        EXPECT_THAT(readFile(outputInfoDir / "OfflineRegcodes.txt"), HasSubstr("\n" + c.line + "\n")) << c.line;
    }
}

TEST_F(RegcodeTables, DontUseReadersCountOnlyNewTitles) {
    RegcodesBuilder file;
    file.livery("Never A", "");
    file.livery("Never B", {});
    file.livery("With regcode", "D-ABCD");
    file.write("dontuse.enc");
    newLogLines();
    gf_readDontUseTitlesFile("dontuse.enc");
    EXPECT_THAT(newLogLines(), HasSubstr("    2 don't use titles read\n"));
    tavo::test::writeRegcodeFile("dontuse/a.txt", {"Never A", "Never C", "Coded;D-ABCE"}, true);
    gf_readDontUseTitlesFolder("dontuse");
    EXPECT_THAT(newLogLines(), HasSubstr("    1 don't use title read from files in dontuse\n"));
    EXPECT_EQ(dontUseTitles, (TitleSet{"Never A", "Never B", "Never C"}));
    gf_readDontUseTitlesFile("dontuse.enc");
    EXPECT_THAT(newLogLines(), HasSubstr("    0 don't use titles read\n"));
}

}  // namespace
