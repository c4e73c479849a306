#include "scan/scan_log.h"

// libstdc++'s regex compiler trips -Wmaybe-uninitialized inside std::function
// when optimised; the pattern here only checks the hand matcher.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

// What the pattern "(?:^|[^A-Z0-9])([A-Z0-9]{4})(?=$|[^A-Z0-9])", searched
// repeatedly, takes as group 1. Used only here, on short generated texts, to
// check the hand matcher.
std::vector<std::string> groupsByPattern(const std::string& upper) {
    static const std::regex pattern("(?:^|[^A-Z0-9])([A-Z0-9]{4})(?=$|[^A-Z0-9])", std::regex::ECMAScript);
    std::vector<std::string> groups;
    for (auto it = std::sregex_iterator(upper.begin(), upper.end(), pattern); it != std::sregex_iterator(); ++it) {
        groups.push_back((*it)[1].str());
    }
    return groups;
}

std::vector<std::string> groupsByMatcher(const std::string& upper) {
    std::vector<std::string> groups;
    gf_forEachIcaoGroup(upper, [&](std::string_view g) {
        groups.emplace_back(g);
        return false;
    });
    return groups;
}

TEST(IcaoGroups, MatchThePatternOnGeneratedTexts) {
    // Letters, digits, separators, lower case and bytes above 127, in runs of
    // every length around four.
    const std::string alphabet = "AZ09EGLLK/\\-_. a\x80\xC3\xA9";
    std::mt19937 random(20261207);
    for (int i = 0; i < 20000; ++i) {
        std::string text;
        const int length = static_cast<int>(random() % 24);
        for (int k = 0; k < length; ++k) text += alphabet[random() % alphabet.size()];
        ASSERT_EQ(groupsByMatcher(text), groupsByPattern(text)) << text;
    }
    const char* fixed[] = {"", "EGLL", "EGLLX", "/EGLL-", "XEGLLX", "ABCD/EFGH", "ABCD-EFGH-IJKL", "A/BCDE/FGHI",
                           "1234", "12345", "/ab/EGLL"};
    for (const char* text : fixed) EXPECT_EQ(groupsByMatcher(text), groupsByPattern(text)) << text;
}

TEST(IcaoCandidates, FirstCodeThatPassesBothFilters) {
    auto known = [](const IcaoCode& c) { return c.text() != "ABCD"; };
    auto weekly = [](const IcaoCode& c) { return c.text() != "WXYZ"; };
    IcaoFilters both{known, weekly};
    struct Case {
        const char* path;
        const char* code;  // "" for none
    } cases[] = {
        {"Community/fs24-egll-airport", "EGLL"},       // FS24 is never a candidate
        {"Community/FS24/scenery", ""},                // nor alone
        {"x/XEGLLX/y", ""},                            // groups are bounded
        {"x/EGLL-/y", "EGLL"},
        {"abcd/wxyz/kjfk/egll", "KJFK"},               // each filter skips one
        {"C:\\p\\lfpg_airport", "LFPG"},
        {"", ""},
        {"abc/abcde", ""},
    };
    for (const auto& c : cases) {
        std::optional<IcaoCode> got = gf_icaoCandidatesInPath(c.path, both);
        EXPECT_EQ(got ? std::string(got->text()) : std::string(), c.code) << c.path;
    }
    EXPECT_EQ(gf_icaoCandidatesInPath("abcd/wxyz", IcaoFilters{}), IcaoCode("ABCD"));
    EXPECT_EQ(gf_icaoCandidatesInPath("abcd/wxyz", IcaoFilters{known, {}}), IcaoCode("WXYZ"));
    // A long path is walked without trouble.
    std::string longPath(200000, 'A');
    longPath += "/kxyz";
    EXPECT_EQ(gf_icaoCandidatesInPath(longPath, both), IcaoCode("KXYZ"));
}

class ScanLogFileTest : public tavo::test::TempWorkDirTest {
protected:
    void TearDown() override {
        g_airportScanLog.clear();
        TempWorkDirTest::TearDown();
    }
};

TEST_F(ScanLogFileTest, WritesEveryLineAndReplacesTheFile) {
    const auto path = dir() / "AirportsScanLog.txt";
    tavo::test::writeFile(path, "old content that is longer than the new one\n");
    gf_startAirportScanLog();
    EXPECT_GE(g_airportScanLog.capacity(), 2048u);
    gf_appendScanLogLine("publisher 'simaddon'");
    gf_appendScanLogLine("");
    gf_appendScanLogLine("airport has code 'EGLL' in stem");
    ASSERT_TRUE(gf_writeAirportsScanLog(path));
    EXPECT_EQ(tavo::test::readFile(path), "publisher 'simaddon'\n\nairport has code 'EGLL' in stem\n");
    gf_startAirportScanLog();
    EXPECT_TRUE(g_airportScanLog.empty());
    ASSERT_TRUE(gf_writeAirportsScanLog(path));
    EXPECT_EQ(tavo::test::readFile(path), "");
    EXPECT_FALSE(gf_writeAirportsScanLog(dir() / "missing" / "AirportsScanLog.txt"));
    EXPECT_EQ(gf_airportsScanLogPath().filename(), "AirportsScanLog.txt");
}

}  // namespace
