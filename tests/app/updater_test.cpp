#include <optional>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/updater.h"
#include "foundation/text.h"
#include "services/shell.h"
#include "support/temp_dir.h"

namespace {

class WebVersionTest : public tavo::test::LogFileTest {};

// Version numbers come from a file on the web: anything but a whole number
// within signed 32 bits is no number, so a version is never made up of
// truncated or wrapped values.
TEST_F(WebVersionTest, OnlyWholeNumbersWithinSigned32BitsMakeAVersion) {
    struct Case {
        const char* json;
        std::optional<VersionData> expected;
        const char* logLine;
    };
    const Case cases[] = {
        {R"({"major":16,"minor":9,"patch":5})", VersionData{16, 9, 5}, ""},
        {R"({"major":16,"minor":9,"patch":5,"build":3})", VersionData{16, 9, 5}, ""},
        {R"({"major":-1,"minor":0,"patch":2147483647})", VersionData{-1, 0, 2147483647}, ""},
        {R"({"major":-2147483648,"minor":0,"patch":0})", VersionData{-2147483648, 0, 0}, ""},
        {R"({"major":16.0,"minor":9,"patch":5})", VersionData{16, 9, 5}, ""},
        {R"({"major":16.5,"minor":9,"patch":5})", std::nullopt, "==> Invalid web version numbers for 'k'\n"},
        {R"({"major":16,"minor":2147483648,"patch":5})", std::nullopt, "==> Invalid web version numbers for 'k'\n"},
        {R"({"major":16,"minor":4294967305,"patch":5})", std::nullopt, "==> Invalid web version numbers for 'k'\n"},
        {R"({"major":16,"minor":-2147483649,"patch":5})", std::nullopt, "==> Invalid web version numbers for 'k'\n"},
        {R"({"major":16,"minor":9,"patch":1e300})", std::nullopt, "==> Invalid web version numbers for 'k'\n"},
        {R"({"major":"16","minor":9,"patch":5})", std::nullopt, "==> Invalid web version numbers for 'k'\n"},
        {R"({"major":16,"minor":9})", std::nullopt, "==> Invalid web version numbers for 'k'\n"},
        {R"({"major":true,"minor":9,"patch":5})", std::nullopt, "==> Invalid web version numbers for 'k'\n"},
        {R"("16.9.5")", std::nullopt, "==> Invalid web version data for 'k'\n"},
        {R"([16,9,5])", std::nullopt, "==> Invalid web version data for 'k'\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        const nlohmann::json manifest = {{"k", nlohmann::json::parse(c.json)}};
        EXPECT_EQ(lf_readWebVersion(manifest, "k"), c.expected);
        EXPECT_EQ(newLogLines(), c.logLine);
    }
    EXPECT_EQ(lf_readWebVersion(nlohmann::json::object(), "maintenance"), std::nullopt);
    EXPECT_EQ(newLogLines(), "==> maintenance version not found\n");
}

TEST_F(WebVersionTest, MaintenanceSetsTheFlagAndThrows2026) {
    g_webServerMaintenance.store(false);
    try {
        lf_throwMaintenance();
        FAIL() << "no exception";
    } catch (const tavo::UserRelatedException& e) {
        EXPECT_EQ(e.code, 2026);
        EXPECT_STREQ(e.what(), "2026: Web server temporarily unavailable due to maintenance. Please try again later.");
    }
    EXPECT_TRUE(g_webServerMaintenance.load());
    g_webServerMaintenance.store(false);
}

}  // namespace
