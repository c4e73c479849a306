#include <fstream>
#include <sstream>
#include <string>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "foundation/log.h"
#include "foundation/version.h"
#include "foundation/winsock.h"
#include "support/temp_dir.h"

namespace {

class VersionTextTest : public tavo::test::TempWorkDirTest {
protected:
    void SetUp() override {
        TempWorkDirTest::SetUp();
        gf_openLogFile();
    }
    void TearDown() override {
        gf_logger().close();
        TempWorkDirTest::TearDown();
    }
    std::string log() {
        gf_flushLog();
        std::ifstream in("Log.txt", std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
    void expectVersion(std::string_view text, VersionData expected, const std::string& logged) {
        const std::size_t before = log().size();
        const VersionData v(text);
        EXPECT_EQ(v, expected) << text;
        const std::string added = log().substr(before);
        if (logged.empty()) {
            EXPECT_EQ(added, "") << text;
        } else {
            EXPECT_EQ(added, "VersionData exception: " + logged + "\n") << text;
        }
    }
};

TEST_F(VersionTextTest, DottedFormsAndJsonObjects) {
    expectVersion("16.8.0", {16, 8, 0}, "");
    expectVersion("2.5", {2, 5, 0}, "");
    expectVersion("0.0.7", {0, 0, 7}, "");
    expectVersion("", {0, 0, 0}, "");
    expectVersion(R"({"major": 1, "minor": 2})", {1, 2, 0}, "");
    expectVersion(R"(  {"major": 3, "minor": 4, "patch": 5} )", {3, 4, 5}, "");
    expectVersion(R"({"major": "7", "minor": 2, "patch": 1.5})", {0, 2, 0}, "");
}

TEST_F(VersionTextTest, MalformedTextsGiveZeroAndOneLine) {
    for (const char* text : {"v2.5", " 2.5", "2.5-RC1", "2.5.", "2..5", "2.5.1.1", "[1,2]", "{\"major\": 1",
                             "\"1.2\"", "abc"}) {
        expectVersion(text, {0, 0, 0}, "invalid version format");
    }
    expectVersion("99999999999.1", {0, 0, 0}, "parse error in version string");
    expectVersion("1.2.4294967296", {0, 0, 0}, "parse error in version string");
}

TEST(VersionTest, ProgramVersionAndTextForms) {
    EXPECT_EQ(g_programVersion, VersionData(kProgramVersionText));
    EXPECT_EQ(g_programVersion.toString(), "16.8.0");
    EXPECT_EQ(fmt::format("Version {}", VersionData(1, -2, 30)), "Version 1.-2.30");
}

TEST(VersionTest, OrderIsFieldByField) {
    EXPECT_LT(VersionData(1, 9, 9), VersionData(2, 0, 0));
    EXPECT_LT(VersionData(2, 0, 9), VersionData(2, 1, 0));
    EXPECT_LT(VersionData(2, 1, 0), VersionData(2, 1, 1));
    EXPECT_EQ(VersionData(2, 1, 1), VersionData(2, 1, 1));
    EXPECT_GT(VersionData(16, 10, 0), VersionData(16, 9, 99));
}

TEST(ParseVersionTest, AcceptsTwoOrThreeWholeNumbers) {
    EXPECT_EQ(gf_parseVersion("1.2"), VersionData(1, 2, 0));
    EXPECT_EQ(gf_parseVersion("1.2.3"), VersionData(1, 2, 3));
    EXPECT_EQ(gf_parseVersion("1.2.3."), VersionData(1, 2, 3));
    EXPECT_EQ(gf_parseVersion("-1.2.3"), VersionData(-1, 2, 3));
    EXPECT_EQ(gf_parseVersion("2147483647.0"), VersionData(2147483647, 0, 0));
    for (const char* bad : {"1.2.", "1", "1..2", "1.2.3.4", "1.2a", "", ".", "1.2.3..", "a.b", "2147483648.0",
                            "+1.2", " 1.2"}) {
        EXPECT_FALSE(gf_parseVersion(bad).has_value()) << bad;
    }
}

TEST(ParseVersionTest, ReleaseCandidates) {
    const auto rc3 = gf_parseVersionRc("2.1.0-RC3");
    ASSERT_TRUE(rc3);
    EXPECT_EQ(rc3->version, VersionData(2, 1, 0));
    EXPECT_EQ(rc3->rcNumber, 3u);
    EXPECT_TRUE(rc3->isRc);
    const auto rc = gf_parseVersionRc("2.1rc");
    ASSERT_TRUE(rc);
    EXPECT_EQ(rc->version, VersionData(2, 1, 0));
    EXPECT_EQ(rc->rcNumber, 0u);
    EXPECT_TRUE(rc->isRc);
    const auto mixed = gf_parseVersionRc("3.0.1Rc12");
    ASSERT_TRUE(mixed);
    EXPECT_EQ(mixed->rcNumber, 12u);
    const auto plain = gf_parseVersionRc("2.1.0");
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->isRc);
    EXPECT_EQ(plain->rcNumber, 0u);
    for (const char* bad : {"2.1.0-beta", "2.1-RC3x", "2.1--RC1", "RC1", "2.1-R", "2.1.0-RC99999999999", "2-RC1",
                            "2.1 RC1"}) {
        EXPECT_FALSE(gf_parseVersionRc(bad).has_value()) << bad;
    }
}

TEST(ParseVersionTest, ReleaseCandidatesRankBelowTheRelease) {
    const auto v = [](const char* text) { return *gf_parseVersionRc(text); };
    EXPECT_LT(v("2.1.0-RC1"), v("2.1.0-RC2"));
    EXPECT_LT(v("2.1.0-RC9"), v("2.1.0"));
    EXPECT_LT(v("2.1.0rc"), v("2.1.0-RC1"));
    EXPECT_LT(v("2.1.0"), v("2.1.1-RC1"));
    EXPECT_EQ(v("2.1-rc4"), v("2.1.0-RC4"));
    EXPECT_GT(v("3.0"), v("2.99.99"));
}

TEST(WinsockTest, ErrorTextsVerbatim) {
    EXPECT_EQ(gf_winsockErrorText(10061), "10061 Connection refused");
    EXPECT_EQ(gf_winsockErrorText(12345), "12345 Unknown errror code");
    EXPECT_EQ(gf_winsockErrorText(0), "0 Unknown errror code");
    EXPECT_EQ(gf_winsockErrorText(-1), "-1 Unknown errror code");
    EXPECT_EQ(gf_winsockErrorText(10035), "10035 Operation would block");
    EXPECT_EQ(gf_winsockErrorText(10040), "10040 Messenger too long");
    EXPECT_EQ(gf_winsockErrorText(10049), "10049 Can't assign requested address");
    EXPECT_EQ(gf_winsockErrorText(10053), "10053 Software caused connection abort");
    EXPECT_EQ(gf_winsockErrorText(10054), "10054 Connection reset by peer");
    EXPECT_EQ(gf_winsockErrorText(10058), "10058 Can't send numLines socket shutdown");
    EXPECT_EQ(gf_winsockErrorText(10059), "10059 Too many references, can't splice");
    EXPECT_EQ(gf_winsockErrorText(10071), "10071 Too many levels of remote in path");
    EXPECT_EQ(gf_winsockErrorText(10093), "10093 WSAStartup not yet called");
    EXPECT_EQ(gf_winsockErrorText(10101), "10101 Graceful shutdown in progress");
    EXPECT_EQ(gf_winsockErrorText(11004), "11004 No host data of that type was found");
    // Codes between the listed ones are unknown.
    EXPECT_EQ(gf_winsockErrorText(10072), "10072 Unknown errror code");
    EXPECT_EQ(gf_winsockErrorText(10090), "10090 Unknown errror code");
    // Every listed code has its own text.
    int known = 0;
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
    EXPECT_FALSE(guard.active());
    guard.hold(data);
    EXPECT_TRUE(guard.active());
    guard.hold(data);  // replacing cleans up the older session
    EXPECT_EQ(guard.cleanups(), 1u);
    guard.reset();
    EXPECT_FALSE(guard.active());
    EXPECT_EQ(guard.cleanups(), 2u);
    guard.reset();  // nothing held: nothing to clean up
    EXPECT_EQ(guard.cleanups(), 2u);
}

}  // namespace
