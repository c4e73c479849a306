#include <string>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "foundation/version.h"
#include "foundation/winsock.h"
#include "support/temp_dir.h"

namespace {

using VersionTextTest = tavo::test::LogFileTest;

TEST_F(VersionTextTest, DottedFormsJsonObjectsAndMalformedTexts) {
    const std::pair<const char*, VersionData> good[] = {
        {"16.8.0", {16, 8, 0}},
        {"2.5", {2, 5, 0}},
        {"", {0, 0, 0}},
        {R"(  {"major": 3, "minor": 4, "patch": 5} )", {3, 4, 5}},
        {R"({"major": "7", "minor": 2, "patch": 1.5})", {0, 2, 0}},  // fields of another type count as 0
    };
    for (const auto& [text, expected] : good) {
        EXPECT_EQ(VersionData(text), expected) << text;
        EXPECT_EQ(newLogLines(), "") << text;
    }
    for (const char* text : {"v2.5", " 2.5", "2.5-RC1", "2..5", "2.5.1.1", "[1,2]", "{\"major\": 1", "abc"}) {
        EXPECT_EQ(VersionData(text), VersionData(0, 0, 0)) << text;
        EXPECT_EQ(newLogLines(), "VersionData exception: invalid version format\n") << text;
    }
    for (const char* text : {"99999999999.1", "1.2.4294967296"}) {
        EXPECT_EQ(VersionData(text), VersionData(0, 0, 0)) << text;
        EXPECT_EQ(newLogLines(), "VersionData exception: parse error in version string\n") << text;
    }
}

TEST(VersionTest, ProgramVersionTextAndOrder) {
    EXPECT_EQ(g_programVersion.toString(), "16.8.0");
    EXPECT_EQ(fmt::format("Version {}", VersionData(1, -2, 30)), "Version 1.-2.30");
    EXPECT_LT(VersionData(1, 9, 9), VersionData(2, 0, 0));
    EXPECT_LT(VersionData(2, 0, 9), VersionData(2, 1, 0));
    EXPECT_LT(VersionData(2, 1, 0), VersionData(2, 1, 1));
    EXPECT_GT(VersionData(16, 10, 0), VersionData(16, 9, 99));
}

TEST(ParseVersionTest, AcceptsTwoOrThreeWholeNumbers) {
    EXPECT_EQ(gf_parseVersion("1.2"), VersionData(1, 2, 0));
    EXPECT_EQ(gf_parseVersion("1.2.3."), VersionData(1, 2, 3));
    EXPECT_EQ(gf_parseVersion("-1.2.3"), VersionData(-1, 2, 3));
    EXPECT_EQ(gf_parseVersion("2147483647.0"), VersionData(2147483647, 0, 0));
    for (const char* bad : {"1.2.", "1", "1..2", "1.2.3.4", "1.2a", "", "2147483648.0", "+1.2", " 1.2"}) {
        EXPECT_FALSE(gf_parseVersion(bad).has_value()) << bad;
    }
}

TEST(ParseVersionTest, ReleaseCandidatesAndTheirRank) {
    const auto rc3 = gf_parseVersionRc("2.1.0-RC3");
    ASSERT_TRUE(rc3);
    EXPECT_EQ(rc3->version, VersionData(2, 1, 0));
    EXPECT_EQ(rc3->rcNumber, 3u);
    EXPECT_TRUE(rc3->isRc);
    EXPECT_EQ(gf_parseVersionRc("3.0.1Rc12")->rcNumber, 12u);
    EXPECT_FALSE(gf_parseVersionRc("2.1.0")->isRc);
    for (const char* bad : {"2.1.0-beta", "2.1-RC3x", "2.1--RC1", "RC1", "2.1.0-RC99999999999", "2.1 RC1"}) {
        EXPECT_FALSE(gf_parseVersionRc(bad).has_value()) << bad;
    }
    const auto v = [](const char* text) { return *gf_parseVersionRc(text); };
    EXPECT_LT(v("2.1.0-RC1"), v("2.1.0-RC2"));
    EXPECT_LT(v("2.1.0-RC9"), v("2.1.0"));
    EXPECT_LT(v("2.1.0rc"), v("2.1.0-RC1"));
    EXPECT_LT(v("2.1.0"), v("2.1.1-RC1"));
    EXPECT_EQ(v("2.1-rc4"), v("2.1.0-RC4"));
}

TEST(WinsockTest, ErrorTextsVerbatim) {
    EXPECT_EQ(gf_winsockErrorText(10061), "10061 Connection refused");
    EXPECT_EQ(gf_winsockErrorText(10058), "10058 Can't send numLines socket shutdown");
    EXPECT_EQ(gf_winsockErrorText(11004), "11004 No host data of that type was found");
    EXPECT_EQ(gf_winsockErrorText(10072), "10072 Unknown errror code");  // between listed codes
    EXPECT_EQ(gf_winsockErrorText(-1), "-1 Unknown errror code");
    int known = 0;  // every listed code has a text of its own
    for (int code = 10000; code <= 11010; ++code) {
        known += gf_winsockErrorText(code).find("Unknown errror code") == std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(known, 49);
}

TEST(WinsockTest, GuardCleansUpEachSessionOnce) {
    WinsockGuard guard;
    WsaData data;
    ASSERT_EQ(gf_wsaStartup(0x0202, data), 0);
    EXPECT_EQ(data.version, 0x0202);
    guard.hold(data);
    EXPECT_TRUE(guard.active());
    guard.hold(data);  // replacing cleans up the older session
    EXPECT_EQ(guard.cleanups(), 1u);
    guard.reset();
    guard.reset();  // nothing held: nothing to clean up
    EXPECT_FALSE(guard.active());
    EXPECT_EQ(guard.cleanups(), 2u);
}

}  // namespace
